// Grid overlays compiled into display lists from a generated forecast and read back as pixels.
#include <gtest/gtest.h>

#include <GL/glew.h>

#include <cmath>
#include <functional>
#include <vector>

#include "DataVariable.h"
#include "Fixtures.h"
#include "ForecastData.h"
#include "GlContext.h"
#include "NumberField.h"
#include "PositionCursor.h"
#include "PressureLabels.h"
#include "Texture.h"
#include "UIPiece.h"
#include "WindBarbField.h"

using testsupport::GlContext;

namespace {

using Pred = std::function<bool(int r, int g, int b)>;

constexpr int kCols = 100, kRows = 80, kSteps = 3;
constexpr int kLowRow = 30, kLowCol = 30, kHighRow = 50, kHighCol = 70;

// A small forecast whose pressure is one low and one high on a flat 1013 mb, the same every step.
class OverlayTest : public testsupport::GlTest {
protected:
    static void SetUpTestSuite() {
        dir = new testsupport::TempDir;
        forecastwriter::Dataset ds = forecastwriter::makeSampleForecast(testsupport::smallForecast(kCols, kRows, kSteps));
        forecastwriter::Variable* p = ds.find("PRMSL_meansealevel");
        ASSERT_NE(p, nullptr);
        for (int t = 0; t < kSteps; ++t)
            for (int r = 0; r < kRows; ++r)
                for (int c = 0; c < kCols; ++c) {
                    const auto bump = [&](int r0, int c0) {
                        const double d2 = (r - r0) * (r - r0) + (c - c0) * (c - c0);
                        return std::exp(-d2 / 400.0);
                    };
                    p->floats[(static_cast<size_t>(t) * kRows + r) * kCols + c] =
                        static_cast<float>(101300.0 - 3000.0 * bump(kLowRow, kLowCol) + 3000.0 * bump(kHighRow, kHighCol));
                }
        testsupport::writeForecast(dir->file("forecast.nc"), ds);
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }

    void SetUp() override {
        testsupport::GlTest::SetUp();
        ASSERT_TRUE(data.load(dir->file("forecast.nc").c_str()));
        ramp.levels = 18;
        pressure.setColormapTexture(&ramp);
        pressure.setStep(4, UNIT_MILLIBAR);
        pressure.setCentre(1016, UNIT_KEEP);
        wind.setDisplayUnit(UNIT_KNOTS);
        w = GlContext::instance().width();
        h = GlContext::instance().height();
        // The map transform: the whole grid over the window, x = column, y = row.
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, kCols - 1, 0, kRows - 1, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        overlayDepth = 0;
        compilingDisplayList = false;
    }
    void TearDown() override {
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
    }

    void clear(float grey) {
        glClearColor(grey, grey, grey, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    std::vector<unsigned char> pixels() const {
        std::vector<unsigned char> p(static_cast<size_t>(w) * h * 4);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
        return p;
    }
    // Pixels matching pred inside the box [x0, x1] x [y0, y1] (window pixels from the bottom).
    int count(const std::vector<unsigned char>& p, const Pred& pred, int x0 = 0, int y0 = 0, int x1 = 1 << 20,
              int y1 = 1 << 20) const {
        int n = 0;
        for (int y = std::max(0, y0); y <= std::min(h - 1, y1); ++y)
            for (int x = std::max(0, x0); x <= std::min(w - 1, x1); ++x) {
                const unsigned char* c = &p[(static_cast<size_t>(y) * w + x) * 4];
                if (pred(c[0], c[1], c[2])) ++n;
            }
        return n;
    }
    int near(const std::vector<unsigned char>& p, const Pred& pred, float row, float col, int r = 3) const {
        const int x = static_cast<int>(col / (kCols - 1) * w), y = static_cast<int>(row / (kRows - 1) * h);
        return count(p, pred, x - r, y - r, x + r, y + r);
    }

    // Pressure labels over the whole grid showing H and L only, step 0 built.
    void highsAndLowsOnly(PressureLabels& labels) {
        labels.setRegion(0, kRows - 1, 0, kCols - 1);
        labels.setVariable(&pressure);
        labels.attachDataset(&data);
        labels.setDepth(0.1f);
        labels.setShowHL(true);
        labels.setShowLabels(false);
        labels.buildFrame(0, 1.0f);
    }

    static testsupport::TempDir* dir;
    ForecastData data;
    Texture ramp{GL_TEXTURE_2D};
    DataVariable pressure{UNIT_PASCAL, "Pressure", PRESSURE};
    DataVariable wind{UNIT_METRES_PER_SECOND, "Wind speed", WIND_SPEED};
    int w = 0, h = 0;
};

testsupport::TempDir* OverlayTest::dir = nullptr;

const Pred kRed = [](int r, int g, int b) { return r > 200 && g < 90 && b < 90; };
const Pred kBlue = [](int r, int g, int b) { return b > 200 && r < 90 && g < 120; };

TEST_F(OverlayTest, HighAndLowMarksSitOnTheExtremaAndLabelsFollowTheirSwitch) {
    PressureLabels labels(kRows, kCols, kSteps);
    highsAndLowsOnly(labels);
    EXPECT_FALSE(compilingDisplayList);
    EXPECT_EQ(GlContext::glErrors(), "");

    clear(0);
    labels.showFrame(0);
    std::vector<unsigned char> p = pixels();
    EXPECT_GT(near(p, kRed, kLowRow + 2, kLowCol - 1), 0);  // the L's upright
    EXPECT_GT(near(p, kBlue, kHighRow, kHighCol), 0);       // the H's bar
    EXPECT_EQ(near(p, kRed, kHighRow, kHighCol, 12), 0);
    EXPECT_EQ(near(p, kBlue, kLowRow, kLowCol, 12), 0);
    EXPECT_EQ(count(p, kRed), count(p, kRed, 0, 0, w / 2, h / 2 + 20));  // one L, nothing elsewhere

    // Isobar labels appear only in lists built after the switch; with both switches off the list
    // is empty.
    const Pred grey = [](int r, int g, int b) {
        return std::abs(r - 204) < 8 && std::abs(g - 204) < 8 && std::abs(b - 204) < 8;
    };
    labels.setShowLabels(true);
    clear(0);
    labels.showFrame(0);
    EXPECT_EQ(count(pixels(), grey), 0);
    labels.buildFrame(1, 1.0f);
    EXPECT_FALSE(compilingDisplayList);
    clear(0);
    labels.showFrame(1);
    p = pixels();
    EXPECT_GT(count(p, grey), 20);
    EXPECT_GT(count(p, kRed), 0);
    labels.setShowLabels(false);
    labels.setShowHL(false);
    labels.buildFrame(2, 1.0f);
    clear(0);
    labels.showFrame(2);
    EXPECT_EQ(count(pixels(), [](int r, int g, int b) { return r + g + b > 0; }), 0);
    EXPECT_EQ(GlContext::glErrors(), "");
}

TEST_F(OverlayTest, ExtremaOnTheEdgeOfTheSearchAreaGetNoMark) {
    // The search area starts on the low's east slope: its lowest point lies on the area's first
    // column, where the pressure simply keeps falling outward. Only the closed high is marked.
    data.createExtremaFinders(0, kRows - 1, kLowCol + 6, kCols - 1);
    PressureLabels labels(kRows, kCols, kSteps);
    highsAndLowsOnly(labels);
    clear(0);
    labels.showFrame(0);
    const std::vector<unsigned char> p = pixels();
    EXPECT_EQ(count(p, kRed), 0);
    EXPECT_GT(near(p, kBlue, kHighRow, kHighCol), 0);
    EXPECT_EQ(GlContext::glErrors(), "");
}

TEST_F(OverlayTest, NumbersFollowTheLevelOfDetailAndTheBottomLimit) {
    const float colour[4] = {1, 0.1f, 0.1f, 1};
    NumberField numbers(kRows, kCols, kSteps, NumberField::LATTICE, 3);
    numbers.setRegion(0, kRows - 1, 0, kCols - 1);
    numbers.setColour(colour);
    numbers.setVariable(&wind);
    numbers.setSpacing(10, 2);
    numbers.attachDataset(&data);
    numbers.setScreenSize(w, h);
    numbers.setLevelOfDetail(2);
    numbers.buildFrame(0, data.slotField(WIND_SPEED), data.windSpeedMaxima(), 0);
    EXPECT_FALSE(compilingDisplayList);
    EXPECT_EQ(numbers.getLevelOfDetail(), 2);  // building leaves the chosen density alone
    EXPECT_EQ(numbers.getScreenW(), w);

    int shown[4] = {};
    for (int lod = 1; lod <= 3; ++lod) {
        numbers.setLevelOfDetail(lod);
        clear(0);
        numbers.showFrame(0);
        shown[lod] = count(pixels(), kRed);
    }
    EXPECT_GT(shown[3], 0);
    EXPECT_LT(shown[3], shown[2]);
    EXPECT_LT(shown[2], shown[1]);

    // Numbers at or below the bottom limit are left out of the lists.
    numbers.setBottomLimit(0.0f);
    numbers.buildFrame(1, data.slotField(WIND_SPEED), data.windSpeedMaxima(), 0);
    numbers.setLevelOfDetail(1);
    clear(0);
    numbers.showFrame(1);
    const std::vector<unsigned char> p = pixels();
    EXPECT_GT(count(p, kRed, 0, h / 2 + 2, w, h), 0);
    EXPECT_EQ(count(p, kRed, 0, 0, w, h / 2 - 4), 0);

    // Dynamic mode draws from the data every frame.
    EXPECT_TRUE(numbers.toggleLive());
    clear(0);
    numbers.draw();
    EXPECT_GT(count(pixels(), kRed), 0);
    EXPECT_EQ(GlContext::glErrors(), "");
}

TEST_F(OverlayTest, BarbsAreLightWithADarkHaloAndTheListMatchesTheLiveDrawing) {
    WindBarbField barbs(kRows, kCols, kSteps, 10.0f);
    barbs.setRegion(0, kRows - 1, 0, kCols - 1);
    barbs.setVariable(&wind);
    barbs.attachDataset(&data);
    barbs.setDepth(0.5f);
    barbs.buildFrame(1, 1.0f);
    EXPECT_DOUBLE_EQ(data.getCurrentTime(), 1.0);

    const Pred light = [](int r, int g, int b) { return g > 200 && b > 200 && r < 200; };
    const Pred dark = [](int r, int g, int b) { return r < 70 && g < 70 && b < 70; };
    clear(0.5f);
    barbs.setDynamic(false);
    barbs.showFrame(1);
    const std::vector<unsigned char> listed = pixels();
    EXPECT_GT(count(listed, light), 0);
    EXPECT_GT(count(listed, dark), 0);
    EXPECT_GT(near(listed, light, 5, 5, 2), 0);  // the first station's dot

    clear(0.5f);
    barbs.setDynamic(true);
    barbs.draw();  // live, at the clock the build left at step 1
    EXPECT_EQ(pixels(), listed);
    EXPECT_EQ(GlContext::glErrors(), "");
}

TEST_F(OverlayTest, ARebuildWithMoreStepsGrowsTheBlockInsteadOfOverwritingOtherLists) {
    WindBarbField barbs(kRows, kCols, 2, 10.0f);  // built for fewer steps than the data have
    const GLuint other = glGenLists(1);
    glNewList(other, GL_COMPILE);
    glColor3f(1, 0, 0);
    glRectf(0, 0, kCols - 1, kRows - 1);
    glEndList();

    barbs.setRegion(0, kRows - 1, 0, kCols - 1);
    barbs.setVariable(&wind);
    barbs.attachDataset(&data);
    for (int i = 0; i < kSteps; ++i) barbs.buildFrame(i, 1.0f);
    EXPECT_GE(barbs.getNumLists(), kSteps);

    clear(0);
    glCallList(other);
    EXPECT_EQ(GlContext::readPixel(w / 2, h / 2)[0], 255);
    EXPECT_EQ(GlContext::readPixel(w / 2, h / 2)[1], 0);
    glDeleteLists(other, 1);

    // A step index outside the block draws nothing.
    barbs.setDynamic(false);
    clear(0);
    barbs.showFrame(kSteps + 5);
    barbs.showFrame(-1);
    EXPECT_EQ(count(pixels(), [](int r, int g, int b) { return r + g + b > 0; }), 0);
    EXPECT_EQ(GlContext::glErrors(), "");
}

TEST_F(OverlayTest, TheCursorAppearsOnlyOncePlacedAndTurnsEachFrame) {
    PositionCursor cursor(kRows, kCols, kSteps, 12.0f);
    cursor.setDepth(0.9f);
    glColor3f(1, 0, 0);
    clear(0);
    cursor.draw();
    EXPECT_EQ(count(pixels(), kRed), 0);
    EXPECT_EQ(cursor.getAngle(), 0.0f);

    cursor.setPosition(40, 50);
    cursor.draw();
    const std::vector<unsigned char> p = pixels();
    EXPECT_GT(near(p, kRed, 40 + 9, 50, 2), 0);  // the arrow above the point
    EXPECT_EQ(near(p, kRed, 40, 50, 1), 0);      // arrows point at an empty centre
    EXPECT_EQ(cursor.getAngle(), -0.5f);
    EXPECT_EQ(GlContext::glErrors(), "");
}

}  // namespace
