// Menus and the time bar drawn for real: what the geometry says is where the pixels are.
#include <gtest/gtest.h>

#include <GL/glew.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "CommandMenu.h"
#include "Fixtures.h"
#include "ForecastData.h"
#include "GlContext.h"
#include "TimeBar.h"

using testsupport::GlContext;

namespace {

class PanelTest : public testsupport::GlTest {
protected:
    void SetUp() override {
        testsupport::GlTest::SetUp();
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        overlayDepth = 0;
    }
    void TearDown() override {
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_SCISSOR_TEST);
    }
    int w = GlContext::instance().width(), h = GlContext::instance().height();
};

bool near(const std::array<int, 4>& p, int r, int g, int b) {
    return std::abs(p[0] - r) <= 2 && std::abs(p[1] - g) <= 2 && std::abs(p[2] - b) <= 2;
}

// Pixel of a point given in the menu's normalised coordinates.
int toPixel(float n, float origin, float size) { return static_cast<int>(origin + (n + 1) / 2 * size); }

TEST_F(PanelTest, MenuShowsBorderBackgroundHighlightedCellAndCaption) {
    // Full opacity so the colours read back unblended.
    CommandMenu menu(1.0f, 2);
    const float mx = 20, my = 30, mw = 200, mh = 160;
    menu.setGeometry(mx, my, mw, mh);
    menu.addItem("Colour", 'c', 2, "A", "B", "C");
    menu.addItem("Apply", 'a', 1);
    menu.draw();
    glViewport(0, 0, w, h);

    const int n = 2;
    const MenuRect cell = menuHighlight(menu.item(0), 0, n);
    // Inside the selected cell, right of its short caption: highlight colour (0.5, 0.8, 0.8).
    const auto hl = GlContext::readPixel(toPixel(cell.x1 - 0.05f, mx, mw), toPixel(cell.y0 + 0.02f, my, mh));
    EXPECT_TRUE(near(hl, 128, 204, 204)) << hl[0] << "," << hl[1] << "," << hl[2];
    // The first cell is not selected: background (0.3, 0.5, 0.5) below its caption.
    const auto bg = GlContext::readPixel(toPixel(-0.5f, mx, mw), toPixel(cell.y0 + 0.02f, my, mh));
    EXPECT_TRUE(near(bg, 77, 128, 128)) << bg[0] << "," << bg[1] << "," << bg[2];
    // The command row's bar spans the row.
    const MenuRect bar = menuHighlight(menu.item(1), 1, n);
    const auto cmd = GlContext::readPixel(toPixel(0.8f, mx, mw), toPixel((bar.y0 + bar.y1) / 2, my, mh));
    EXPECT_TRUE(near(cmd, 128, 204, 204));
    // Border on the rectangle's edge; nothing outside it.
    EXPECT_TRUE(near(GlContext::readPixel(static_cast<int>(mx), static_cast<int>(my + mh / 4)), 0, 0, 0));
    EXPECT_TRUE(near(GlContext::readPixel(static_cast<int>(mx + 5), static_cast<int>(my + mh - 5)), 77, 128, 128));
    EXPECT_TRUE(near(GlContext::readPixel(static_cast<int>(mx + mw + 3), static_cast<int>(my + 5)), 0, 0, 0));

    // The caption "C" is white, drawn over the third cell just above its bottom edge.
    int white = 0;
    const int x0 = toPixel(cell.x0, mx, mw), x1 = toPixel(cell.x1, mx, mw);
    const int y0 = toPixel(menuRowBottom(0, n), my, mh), y1 = toPixel(menuRowTop(0, n), my, mh);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            if (near(GlContext::readPixel(x, y), 255, 255, 255)) ++white;
    EXPECT_GT(white, 5);
    GLboolean scissor = GL_TRUE;
    glGetBooleanv(GL_SCISSOR_TEST, &scissor);
    EXPECT_FALSE(scissor);
    EXPECT_EQ(GlContext::glErrors(), "");
}

// Columns of one pixel row whose colour is the cursor's light line (0.7, 0.8, 1.0), unblended.
double cursorColumn(int row, int width) {
    double sum = 0;
    int count = 0;
    for (int x = 0; x < width; ++x)
        if (near(GlContext::readPixel(x, row), 178, 204, 255)) sum += x, ++count;
    return count ? sum / count : -1;
}

TEST_F(PanelTest, TimeBarCursorFollowsTheDatasetTime) {
    testsupport::TempDir dir;
    auto opt = testsupport::smallForecast(12, 9, 21);
    testsupport::writeForecast(dir.file("f.nc"), forecastwriter::makeSampleForecast(opt));
    ForecastData fc;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(fc.load(dir.file("f.nc").c_str()));
    testing::internal::GetCapturedStderr();

    TimeBar bar(fc);
    bar.setWindowWidth(w);
    EXPECT_NE(bar.getTimelineList(), 0u);
    EXPECT_TRUE(glIsList(bar.getTimelineList()));
    const int row = static_cast<int>((1 + (bar.top + bar.bottom) / 2) / 2 * h);

    for (double t : {0.0, 10.0, 15.5}) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        fc.setTime(t);
        bar.draw();
        const double expected = (bar.stepX(t) + 1) / 2 * w;
        EXPECT_NEAR(cursorColumn(row, w), expected, 1.5) << "t = " << t;
    }
    EXPECT_EQ(overlayDepth, 0);
    GLfloat lineWidth = 0;
    glGetFloatv(GL_LINE_WIDTH, &lineWidth);
    EXPECT_EQ(lineWidth, 1.0f);
    EXPECT_EQ(GlContext::glErrors(), "");
}

}  // namespace
