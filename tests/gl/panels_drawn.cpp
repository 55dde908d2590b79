// The key and read-out panels drawn for real: what their layout says is where the pixels are.
#include <gtest/gtest.h>

#include <GL/glew.h>

#include <cstdlib>
#include <memory>

#include "Color.h"
#include "DataSummary.h"
#include "DataVariable.h"
#include "ForecastData.h"
#include "GlContext.h"
#include "MapKey.h"
#include "Texture.h"

using testsupport::GlContext;

namespace {

using Pixel = std::array<int, 4>;

bool near(const Pixel& p, int r, int g, int b, int tol = 3) {
    return std::abs(p[0] - r) <= tol && std::abs(p[1] - g) <= tol && std::abs(p[2] - b) <= tol;
}
bool dark(const Pixel& p) { return p[0] < 40 && p[1] < 40 && p[2] < 40; }
bool white(const Pixel& p) { return p[0] > 230 && p[1] > 230 && p[2] > 230; }

class DrawnPanelTest : public testsupport::GlTest {
protected:
    void SetUp() override {
        testsupport::GlTest::SetUp();
        // The application's drawing state: depth test and blending on, opaque black clear colour.
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glClearColor(0, 0, 0, 1);
        overlayDepth = 0;
    }
    void TearDown() override {
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_SCISSOR_TEST);
        glViewport(0, 0, w, h);
    }
    // Fills the whole window with one colour, as the map would be beneath the panels.
    void backdrop(float r, float g, float b) {
        glViewport(0, 0, w, h);
        glClearColor(r, g, b, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glClearColor(0, 0, 0, 1);
    }
    int w = GlContext::instance().width(), h = GlContext::instance().height();
};

// A one-dimensional colour map fading from `low` to `high` in ten entries.
struct Ramp {
    Ramp(const Color& low, const Color& high) : colors{low, high}, calc(colors, 2) { texture.fillFromCalculator(calc, 10); }
    Color colors[2];
    FadeCalculator calc;
    Texture texture{GL_TEXTURE_1D};
};

// Key panel 145 x 230 at (100, 10): pixel of a point in its normalised coordinates.
constexpr float kX = 100, kY = 10, kW = 145, kH = 230;
Pixel keyPixel(float nx, float ny) {
    return GlContext::readPixel(static_cast<int>(kX + (nx + 1) / 2 * kW), static_cast<int>(kY + (ny + 1) / 2 * kH));
}

TEST_F(DrawnPanelTest, ColourMapKeyShowsItsRampTicksLabelsAndLegend) {
    Ramp ramp(Color(1, 0, 0, 1), Color(0, 0, 1, 1));
    DataVariable v(UNIT_PASCAL, "Pressure", 1, "Pres (mb)");
    v.setLow(0);
    v.setHigh(100);
    v.setColormapTexture(&ramp.texture);
    ASSERT_EQ(v.levelCount(), 10);

    MapKey key(2);
    key.setGeometry(kX, kY, kW, kH);
    key.addKey(&v, KeyColormap);
    float legend[3] = {0, 0, 0};
    key.setSpeedNumberFunction([&](float x, float y, float value, int, int) {
        legend[0] = x, legend[1] = y, legend[2] = value;
    });
    backdrop(0, 1, 0);
    key.draw();
    ASSERT_NE(key.getListBase(), 0u);
    EXPECT_TRUE(glIsList(key.getListBase()));

    // The bar (x -0.95 ... 0.486, y -0.75 ... 0.95): lowest value red at the bottom, blue at the top.
    const Pixel bottom = keyPixel(-0.5f, -0.7f), top = keyPixel(-0.5f, 0.9f);
    EXPECT_GT(bottom[0], 200);
    EXPECT_LT(bottom[2], 60);
    EXPECT_GT(top[2], 200);
    EXPECT_LT(top[0], 60);
    // The middle inner tick (level 5 of 10, y 0.1) is a black line across the bar.
    bool tickFound = false;
    const int tickRow = static_cast<int>(kY + 1.1f / 2 * kH);
    for (int y = tickRow - 2; y <= tickRow + 2; ++y)
        tickFound |= dark(GlContext::readPixel(static_cast<int>(kX + 0.5f / 2 * kW), y));
    EXPECT_TRUE(tickFound);
    // Labels in white right of labelX (0.536); the panel is cleared to black; the map outside stays.
    int labelPixels = 0;
    for (int y = static_cast<int>(kY + 0.2f * kH); y < static_cast<int>(kY + 0.95f * kH); ++y)
        for (int x = static_cast<int>(kX + 1.536f / 2 * kW); x < static_cast<int>(kX + kW - 3); ++x)
            labelPixels += white(GlContext::readPixel(x, y));
    EXPECT_GT(labelPixels, 20);
    EXPECT_TRUE(near(GlContext::readPixel(static_cast<int>(kX - 5), 100), 0, 255, 0));
    // The legend's sample number, 7.5 knots, on its grey patch below the wind line.
    EXPECT_FLOAT_EQ(legend[0], -0.6f);
    EXPECT_FLOAT_EQ(legend[1], -0.945f);
    EXPECT_FLOAT_EQ(legend[2], 7.5f);
    EXPECT_TRUE(near(keyPixel(-0.2f, -0.96f), 128, 128, 128));
    EXPECT_EQ(overlayDepth, 0);
    EXPECT_EQ(GlContext::glErrors(), "");
}

TEST_F(DrawnPanelTest, TheWindCaptionFitsTheOneKeyPanel) {
    // Drawn from the panel's middle: in full two keys wide (145 px), shortened in the one-key panel
    // (72 px) so that it ends, outline included, inside the border instead of being cut off.
    EXPECT_EQ(MapKey::windCaption(145), "Wind (kts)");
    const std::string narrow = MapKey::windCaption(72);
    EXPECT_NE(narrow.find("kts"), std::string::npos);
    EXPECT_LE(textWidth(narrow, BitmapFont::Helvetica12) + 1, 72 / 2 - 2);
}

TEST_F(DrawnPanelTest, SetKeyRecompilesOnlyThatSlotsBar) {
    Ramp red(Color(1, 0, 0, 1), Color(1, 0, 0, 1)), green(Color(0, 1, 0, 1), Color(0, 1, 0, 1));
    DataVariable a(UNIT_KELVIN, "A", 0, "A"), b(UNIT_KELVIN, "B", 0, "B");
    a.setColormapTexture(&red.texture);
    b.setColormapTexture(&green.texture);
    MapKey key(2);
    key.setGeometry(kX, kY, kW, kH);
    key.addKey(&a, KeyColormap);
    key.addKey(&a, KeyColormap);
    backdrop(0, 0, 0);
    key.draw();
    // Two keys: slot 0 bar from -0.95, slot 1 bar from 0.
    EXPECT_TRUE(near(keyPixel(-0.8f, 0), 255, 0, 0));
    EXPECT_TRUE(near(keyPixel(0.15f, 0), 255, 0, 0));

    key.setKey(&b, 1);
    backdrop(0, 0, 0);
    key.draw();
    EXPECT_TRUE(near(keyPixel(-0.8f, 0), 255, 0, 0));
    EXPECT_TRUE(near(keyPixel(0.15f, 0), 0, 255, 0));

    // Back to one key: slot 0's bar widens across the panel.
    key.setLastKey(0);
    backdrop(0, 0, 0);
    key.draw();
    EXPECT_TRUE(near(keyPixel(0.15f, 0), 255, 0, 0));
    EXPECT_EQ(GlContext::glErrors(), "");
}

TEST_F(DrawnPanelTest, KeyWithoutLevelsHasNoTicksAndMissingTextureDrawsNothing) {
    // A texture but no range: zero level intervals.
    Ramp grey(Color(0.5f, 0.5f, 0.5f, 1), Color(0.5f, 0.5f, 0.5f, 1));
    DataVariable flat(UNIT_PERCENT, "Flat", 3, "Flat");
    flat.setColormapTexture(&grey.texture);
    ASSERT_EQ(flat.levelCount(), 0);
    DataVariable bare(UNIT_PERCENT, "Bare", 3, "Bare (%)");  // no texton volume

    MapKey key(2);
    key.setGeometry(kX, kY, kW, kH);
    key.addKey(&flat, KeyColormap);
    key.addKey(&bare, KeyTextons);
    backdrop(0, 0, 0);
    key.draw();
    EXPECT_EQ(GlContext::glErrors(), "");
    // The flat key's bar (x -0.95 ... -0.464) is grey from bottom to top with no line across it.
    const int col = static_cast<int>(kX + 0.3f / 2 * kW);
    int greyRows = 0;
    for (int y = static_cast<int>(kY + 0.27f / 2 * kH); y < static_cast<int>(kY + 1.93f / 2 * kH); ++y)
        greyRows += near(GlContext::readPixel(col, y), 128, 128, 128);
    EXPECT_EQ(greyRows, static_cast<int>(kY + 1.93f / 2 * kH) - static_cast<int>(kY + 0.27f / 2 * kH));
    // The bare slot (0 ... 0.95 above the legend) shows nothing, not even its name.
    int lit = 0;
    for (int y = static_cast<int>(kY + 0.2f / 2 * kH); y < static_cast<int>(kY + kH - 4); ++y)
        for (int x = static_cast<int>(kX + kW / 2 + 2); x < static_cast<int>(kX + kW - 4); ++x)
            lit += !dark(GlContext::readPixel(x, y));
    EXPECT_EQ(lit, 0);
}

struct ColourMark : CursorMark {
    int draws = 0;
    float colour[4] = {0, 0, 0, 0};
    void setPosition(int, int) override {}
    void draw() override {
        ++draws;
        glGetFloatv(GL_CURRENT_COLOR, colour);
    }
};

TEST_F(DrawnPanelTest, ReadoutPanelDarkensTheMapUnderItAndFadesAway) {
    ForecastData empty;  // samples read 0; the panel does not need data to draw
    DataVariable v(UNIT_PERCENT, "Cloud Cover", 3, "Clouds (%)");
    DataVariable* six[] = {&v, &v, &v, &v, &v, &v};
    auto mark = std::make_unique<ColourMark>();
    ColourMark* m = mark.get();
    DataSummary panel(empty, six, 6, std::move(mark));
    panel.setGeometry(-150, -100, 150, 100);
    panel.setWindowSize(w, h);

    backdrop(1, 1, 1);
    panel.draw();
    EXPECT_EQ(m->draws, 0) << "hidden until the first click";
    EXPECT_TRUE(near(GlContext::readPixel(100, 100), 255, 255, 255));

    panel.handleMouse(LeftButton, Pressed, 60, 200);  // panel at x 70 ... 220, y 90 ... 190
    ASSERT_FLOAT_EQ(panel.x, 70);
    ASSERT_FLOAT_EQ(panel.y, 90);
    backdrop(1, 1, 1);
    panel.draw();
    ASSERT_EQ(m->draws, 1);
    EXPECT_FLOAT_EQ(m->colour[0], 1);
    EXPECT_NEAR(m->colour[1], 0.7f, 1e-6);
    EXPECT_NEAR(m->colour[3], 0.7f, 1e-6);
    // Half-transparent black over the white map, right of the text; the map outside untouched.
    EXPECT_TRUE(near(GlContext::readPixel(205, 140), 128, 128, 128, 4));
    EXPECT_TRUE(near(GlContext::readPixel(230, 140), 255, 255, 255));
    // White text on the darkened panel.
    int text = 0;
    for (int y = 92; y < 188; ++y)
        for (int x = 72; x < 160; ++x) text += white(GlContext::readPixel(x, y));
    EXPECT_GT(text, 40);
    EXPECT_EQ(overlayDepth, 0);
    EXPECT_EQ(GlContext::glErrors(), "");

    // After fading out nothing is drawn, not even the cursor.
    while (panel.advanceLevel()) {
    }
    glViewport(0, 0, w, h);
    backdrop(1, 1, 1);
    panel.draw();
    EXPECT_EQ(m->draws, 1);
    EXPECT_TRUE(near(GlContext::readPixel(205, 140), 255, 255, 255));
}

}  // namespace
