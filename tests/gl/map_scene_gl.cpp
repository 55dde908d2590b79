// The map scene on a real GL context: the background layer's textures, transform and picture, the
// streaklet systems' shared settings, and the whole scene built from a small forecast.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "AnimationShader.h"
#include "AppState.h"
#include "Color.h"
#include "DataVariable.h"
#include "Fixtures.h"
#include "ForecastData.h"
#include "GlContext.h"
#include "MapScene.h"
#include "Shader.h"
#include "Streaklets.h"
#include "Texture.h"
#include "driftView.h"

using testsupport::GlContext;
using testsupport::TempDir;

namespace {

constexpr int NX = 40, NY = 30, NT = 3;

// Cloud cover 10 % west of column 20 and 85 % from there on; calm-free westerly winds.
void writeKnownForecast(const std::string& path) {
    auto ds = forecastwriter::makeSampleForecast(testsupport::smallForecast(NX, NY, NT));
    auto& cloud = ds.find("TCDC_entireatmosphere_consideredasasinglelayer_")->floats;
    for (size_t i = 0; i < cloud.size(); ++i) cloud[i] = (i % NX) < 20 ? 10.0f : 85.0f;
    testsupport::writeForecast(path, ds);
}

class MapGl : public testsupport::GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        Shader::initialize();
        writeKnownForecast(dir.file("f.nc"));
        testing::internal::CaptureStderr();
        ASSERT_TRUE(fc.load(dir.file("f.nc").c_str()));
        testing::internal::GetCapturedStderr();
        W = GlContext::instance().width();
        H = GlContext::instance().height();
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, W, 0, H, -350, 350);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
    TempDir dir;
    ForecastData fc;
    int W = 0, H = 0;
};

// Four colour-scale entries; a position p shows entry floor(4 p).
unsigned char kColormap[4][4] = {{40, 200, 100, 255}, {90, 160, 110, 255}, {140, 120, 120, 255}, {190, 80, 130, 255}};

TEST_F(MapGl, MapTransformPutsTheRegionCornersWhereExpected) {
    testing::internal::CaptureStderr();
    driftView view(dir.file("none1").c_str(), dir.file("none2").c_str());
    testing::internal::GetCapturedStderr();
    fc.setRegion(5, 25, 4, 36);
    DataVariable* none[1] = {nullptr};
    view.init(&fc, none, 0);
    view.setMapView(static_cast<float>(W), static_cast<float>(H));
    const float sx = W / 32.0f, sy = H / 20.0f;

    view.pushMapTransform();
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    // (colMin, rowMin) -> (sx (2 - sx / 2), sy (2 - sy / 2)); (colMax, rowMax) one region further.
    EXPECT_NEAR(m[0] * 4 + m[12], sx * (2 - 0.5f * sx), 1e-3);
    EXPECT_NEAR(m[5] * 5 + m[13], sy * (2 - 0.5f * sy), 1e-3);
    EXPECT_NEAR(m[0] * 36 + m[12], W + sx * (2 - 0.5f * sx), 1e-3);
    EXPECT_NEAR(m[5] * 25 + m[13], H + sy * (2 - 0.5f * sy), 1e-3);
    EXPECT_NEAR(view.screenX(20), m[0] * 20 + m[12], 1e-3);
    EXPECT_NEAR(view.gridRow(view.screenY(12.5f)), 12.5f, 1e-4);

    // A point drawn at a grid position lights the pixel the transform predicts.
    glClear(GL_COLOR_BUFFER_BIT);
    glColor4f(1, 1, 1, 1);
    glPointSize(3);
    glBegin(GL_POINTS);
    glVertex2f(20, 15);
    glEnd();
    view.popMapTransform();
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_EQ(m[0], 1.0f);  // popped
    const auto px = GlContext::readPixel(static_cast<int>(view.screenX(20)), static_cast<int>(view.screenY(15)));
    EXPECT_EQ(px[0], 255);
    EXPECT_EQ(GlContext::glErrors(), "");
}

TEST_F(MapGl, BackgroundTexturesForEveryVariableAndStepAndTheColormapsOnScreen) {
    testing::internal::CaptureStderr();
    driftView view(dir.file("none1").c_str(), dir.file("none2").c_str());
    testing::internal::GetCapturedStderr();
    Texture colormap(GL_TEXTURE_1D);
    colormap.setData1D(4, &kColormap[0][0]);
    DataVariable cloud(UNIT_PERCENT, "Cloud Cover", CLOUD_COVER);
    cloud.setColormapTexture(&colormap);
    cloud.setLow(0);
    cloud.setHigh(100);
    DataVariable other(UNIT_KELVIN, "Temperature", TEMPERATURE);
    other.setColormapTexture(&colormap);
    other.setLow(240);
    other.setHigh(320);
    DataVariable* vars[4] = {&cloud, &other, &cloud, &other};

    fc.setTime(1.5);
    testing::internal::CaptureStdout();
    view.init(&fc, vars, 4);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Generating Background Cloud Cover Textures...\n"), std::string::npos) << out;
    EXPECT_EQ(fc.getCurrentTime(), 1.5);  // the clock is put back
    AnimationShader* shader = view.getShader();
    ASSERT_NE(shader, nullptr);
    // Built as they are drawn: every step of every variable can be, none is held before a draw.
    EXPECT_EQ(shader->heldFrames(), 0);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < NT; ++j) {
            std::unique_ptr<Texture> t(view.buildFrameTexture(j, i));
            EXPECT_TRUE(t && t->width == NX && t->height == NY) << i << "," << j;
        }
    EXPECT_EQ(view.buildFrameTexture(NT, 0), nullptr);
    EXPECT_EQ(view.buildFrameTexture(0, 4), nullptr);
    EXPECT_EQ(shader->getMethod(), 1);  // colormaps only
    ASSERT_NE(view.getQuadList(), 0u);

    // 10 % shows entry 0 west of column 20, 85 % entry 3 east of it.
    view.setMapView(static_cast<float>(W), static_cast<float>(H));
    glClear(GL_COLOR_BUFFER_BIT);
    view.pushMapTransform();
    view.drawBackground(0.0);
    view.popMapTransform();
    const int y = static_cast<int>(view.screenY(15));
    const auto west = GlContext::readPixel(static_cast<int>(view.screenX(8)), y);
    const auto east = GlContext::readPixel(static_cast<int>(view.screenX(32)), y);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(west[c], kColormap[0][c], 3) << "channel " << c;
        EXPECT_NEAR(east[c], kColormap[3][c], 3) << "channel " << c;
    }
    EXPECT_EQ(shader->heldFrames(), 2);  // steps 0 and 1 of the colour variable
    // A jump to the last step builds it at once; a variable no longer drawn lets its steps go.
    view.cycleColourVariable();
    view.pushMapTransform();
    view.drawBackground(NT - 1);
    view.popMapTransform();
    EXPECT_NE(shader->getFrame(NT - 1, 1), nullptr);
    EXPECT_EQ(shader->getFrame(0, 0), nullptr);
    EXPECT_EQ(shader->heldFrames(), 2);
    view.setColourVariable(0);
    EXPECT_EQ(GlContext::glErrors(), "");

    // Forwarded settings.
    view.setShading(false);
    EXPECT_EQ(shader->getMethod(), 2);  // nothing remembered yet
    view.setShading(true);
    EXPECT_EQ(shader->getMethod(), 3);
    view.setShading(false);
    EXPECT_EQ(shader->getMethod(), 2);
    EXPECT_EQ(view.cycleMethod(), 3);
    EXPECT_EQ(view.cycleMethod(), 1);
    EXPECT_EQ(view.cycleColourVariable(), 1);
    EXPECT_EQ(view.setTextureVariable(3), 3);
    EXPECT_EQ(shader->getSecondary(), 3);
    EXPECT_FALSE(view.toggleContours());
}

TEST_F(MapGl, ASystemBecomesCurrentOnlyWhenItStepsOrDraws) {
    StreakletParameters saved = streakletParameters;
    fc.setRegion(0, NY - 1, 0, NX - 1);
    std::srand(1);
    Streaklets surface(&fc, 50, 8);
    Streaklets jet(&fc, 20, 40);
    jet.setSlot(JET_SPEED);
    jet.setSpeedThreshold(50);
    surface.setSpeedThreshold(0);  // not current, but written through at once
    EXPECT_EQ(streakletParameters.speedThreshold, 0.0f);
    EXPECT_EQ(streakletParameters.slot, JET_SPEED);

    surface.advance(-2, 1);
    EXPECT_EQ(streakletParameters.currentSystem, &surface);
    // The viewer draws with the depth test on; drawing turns it off and must turn it on again.
    glEnable(GL_DEPTH_TEST);
    EXPECT_EQ(streakletParameters.slot, WIND_SPEED);
    EXPECT_EQ(streakletParameters.trailLength, 8);
    jet.draw();
    EXPECT_EQ(streakletParameters.currentSystem, &jet);
    EXPECT_EQ(streakletParameters.speedThreshold, 50.0f);
    EXPECT_EQ(streakletParameters.trailLength, 40);
    EXPECT_NE(streakletParameters.streakTexture, nullptr);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST) == GL_TRUE);  // restored
    glDisable(GL_DEPTH_TEST);
    EXPECT_EQ(GlContext::glErrors(), "");
    streakletParameters = saved;
}

TEST_F(MapGl, TrailsDrawnInOneCallMatchEachTrailDrawnOnItsOwn) {
    StreakletParameters saved = streakletParameters;
    fc.setRegion(0, NY - 1, 0, NX - 1);
    std::srand(3);
    Streaklets surface(&fc, 300, 8);
    surface.advance(-2, 12);
    glScalef(static_cast<float>(W) / NX, static_cast<float>(H) / NY, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    auto picture = [&] {
        std::vector<unsigned char> p(static_cast<size_t>(W) * H * 4);
        glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
        return p;
    };
    glClearColor(0.1f, 0.2f, 0.3f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    const std::vector<unsigned char> blank = picture();
    surface.draw();
    const std::vector<unsigned char> together = picture();

    glClear(GL_COLOR_BUFFER_BIT);
    for (int i = 0; i < surface.size(); ++i) surface.drawOne(i);
    const std::vector<unsigned char> alone = picture();

    size_t lit = 0, differing = 0;
    for (size_t i = 0; i < alone.size(); ++i) {
        lit += alone[i] != blank[i];
        differing += alone[i] != together[i];
    }
    EXPECT_GT(lit, 500u) << "trails were drawn";
    EXPECT_EQ(differing, 0u);
    glDisable(GL_BLEND);
    glLoadIdentity();
    EXPECT_EQ(GlContext::glErrors(), "");
    streakletParameters = saved;
}

// The light surface streaks (2 px) and the jet streaks (4 px) of the viewer, drawn over a plain
// background under a stretched map transform. Their ink (mean absolute change per channel) and
// coverage (share of pixels changed by more than 4 of 255) were measured from the smoothed line
// strips the layer drew with before; the drawing may change how, not how much.
TEST_F(MapGl, StreakletsInkTheMapAsSmoothedLinesDidAndLeaveTheGlStateAsFound) {
    StreakletParameters saved = streakletParameters;
    const Color d2[2] = {Color(0, 0, 0, 1), Color(1, 1, 1, 0.6f)};
    const Color e1[2] = {Color(0.8f, 1, 1, 0), Color(0.7f, 1, 1, 1)};
    const Color e2[2] = {Color(0.8f, 1, 1, 0), Color(0.7f, 1, 1, 0.7f)};
    std::unique_ptr<Texture> light(makeStreakTexture(FadeCalculator(d2, 2), FadeCalculator(e1, 2)));
    std::unique_ptr<Texture> jetInk(makeStreakTexture(FadeCalculator(d2, 2), FadeCalculator(e2, 2)));
    fc.setRegion(0, NY - 1, 0, NX - 1);
    std::srand(7);
    Streaklets surface(&fc, 400, 8);
    surface.setTexture(light.get());
    surface.setSpeedScale(0.28f);
    surface.setSpeedExponent(0.65f);
    surface.setSpeedThreshold(0);
    surface.reset(-2);
    Streaklets jet(&fc, 150, 40);
    jet.setTexture(jetInk.get());
    jet.setSlot(JET_SPEED);
    jet.setSpeedScale(0.1f);
    jet.setSpeedExponent(1);
    jet.setSpeedThreshold(50);
    jet.setLineWidth(4);
    jet.setSeedFactor(1.2f);
    jet.reset(-2);

    // Someone else's textures bound (not enabled) on units 0-2, and the viewer's other settings.
    GLuint others[3];
    glGenTextures(3, others);
    for (int u = 0; u < 3; ++u) {
        glActiveTexture(GL_TEXTURE0 + u);
        glBindTexture(u < 2 ? GL_TEXTURE_2D : GL_TEXTURE_1D, others[u]);
    }
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glLineWidth(1.5f);
    glColor4f(0.9f, 0.9f, 0.7f, 0.65f);
    auto state = [] {
        std::vector<GLint> v(2);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &v[0]);
        glGetIntegerv(GL_CLIENT_ACTIVE_TEXTURE, &v[1]);
        for (int u = 0; u < 3; ++u) {
            glActiveTexture(GL_TEXTURE0 + u);
            GLint b2 = 0, b1 = 0, mode = 0;
            glGetIntegerv(GL_TEXTURE_BINDING_2D, &b2);
            glGetIntegerv(GL_TEXTURE_BINDING_1D, &b1);
            glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
            v.insert(v.end(), {b2, b1, mode, glIsEnabled(GL_TEXTURE_2D), glIsEnabled(GL_TEXTURE_1D)});
            glClientActiveTexture(GL_TEXTURE0 + u);
            v.push_back(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
        }
        glActiveTexture(GL_TEXTURE0);
        glClientActiveTexture(GL_TEXTURE0);
        GLfloat width = 0;
        glGetFloatv(GL_LINE_WIDTH, &width);
        v.push_back(static_cast<GLint>(width * 10));
        for (GLenum e : {GL_DEPTH_TEST, GL_BLEND, GL_LINE_SMOOTH, GL_CULL_FACE, GL_VERTEX_ARRAY, GL_COLOR_ARRAY})
            v.push_back(glIsEnabled(e));
        return v;
    };
    // state() reads the active units first and leaves unit 0 active for the draw.
    const std::vector<GLint> before = state();

    glPushMatrix();
    glScalef(static_cast<float>(W) / (NX - 1), static_cast<float>(H) / (NY - 1), 1);
    auto picture = [&] {
        std::vector<unsigned char> p(static_cast<size_t>(W) * H * 4);
        glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
        return p;
    };
    glClearColor(0.25f, 0.35f, 0.3f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const std::vector<unsigned char> blank = picture();
    struct Look {
        double ink, coverage;
    };
    auto look = [&](Streaklets& system) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        system.draw();
        const std::vector<unsigned char> p = picture();
        double sum = 0;
        size_t changed = 0;
        for (size_t i = 0; i < p.size(); i += 4) {
            int most = 0;
            for (size_t c = 0; c < 3; ++c) {
                const int d = std::abs(p[i + c] - blank[i + c]);
                sum += d;
                most = std::max(most, d);
            }
            changed += most > 4;
        }
        const double pixels = static_cast<double>(W) * H;
        return Look{sum / (3 * pixels), changed / pixels};
    };
    const Look s = look(surface), j = look(jet);
    glPopMatrix();
    std::printf("surface ink %.4f coverage %.4f; jet ink %.4f coverage %.4f\n", s.ink, s.coverage, j.ink, j.coverage);
    // Measured with smoothed (GL_LINE_SMOOTH) line strips on llvmpipe, Mesa 22.3, 1920 x 1080.
    constexpr double kSurfaceInk = 8.7385, kSurfaceCoverage = 0.3154, kJetInk = 4.9719, kJetCoverage = 0.2222;
    EXPECT_NEAR(s.ink, kSurfaceInk, 0.15 * kSurfaceInk);
    EXPECT_NEAR(s.coverage, kSurfaceCoverage, 0.15 * kSurfaceCoverage);
    EXPECT_NEAR(j.ink, kJetInk, 0.15 * kJetInk);
    EXPECT_NEAR(j.coverage, kJetCoverage, 0.15 * kJetCoverage);

    EXPECT_EQ(GlContext::glErrors(), "");
    EXPECT_EQ(state(), before);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glLineWidth(1);
    glColor4f(1, 1, 1, 1);
    for (int u = 2; u >= 0; --u) {
        glActiveTexture(GL_TEXTURE0 + u);
        glBindTexture(u < 2 ? GL_TEXTURE_2D : GL_TEXTURE_1D, 0);
    }
    glDeleteTextures(3, others);
    streakletParameters = saved;
}

TEST_F(MapGl, TheWholeSceneBuildsFromASmallForecast) {
    StreakletParameters saved = streakletParameters;
    app.initialWidth = W;
    app.initialHeight = H;
    forecast.load(dir.file("f.nc").c_str());
    forecast.setRegion(2, NY - 3, 2, NX - 3);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(SKYLOOM_SOURCE_DIR "/data"), 0);  // the texton strips
    testing::internal::CaptureStdout();
    buildMapSceneComponents();
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(chdir(cwd), 0);

    // The temperature ramp: 18 texels, the last halfway between the ninth and tenth colours.
    Texture* ramp = variables[0]->colormapTexture();
    ASSERT_NE(ramp, nullptr);
    ASSERT_EQ(ramp->getLevels(), 18);
    const unsigned char* last = ramp->pixels + 17 * 4;
    EXPECT_EQ(last[0], 187);
    EXPECT_EQ(last[1], 161);
    EXPECT_EQ(last[2], 146);
    EXPECT_EQ(last[3], 255);

    // Ranges derived from the real textures.
    const float meanF = variables[0]->toDisplay(forecast.slotMean(TEMPERATURE));
    EXPECT_FLOAT_EQ(variables[0]->centre(), std::floor(meanF / 5) * 5);
    EXPECT_FLOAT_EQ(variables[0]->high() - variables[0]->low(), 5.0f * 18);
    const int textons = variables[1]->textonTexture()->getLevels();
    ASSERT_GT(textons, 1);
    EXPECT_EQ(variables[1]->levelCount(), textons);
    EXPECT_FLOAT_EQ(variables[1]->low(), 1016.0f - 4.0f * textons / 2);
    EXPECT_TRUE(variables[1]->usesTextons());
    EXPECT_EQ(variables[2]->levelCount(), 20);
    EXPECT_GT(variables[3]->levelCount(), 1);
    EXPECT_EQ(variables[3]->levelCount(), variables[3]->textonTexture()->getLevels());
    EXPECT_EQ(variables[4]->levelCount(), 0);  // no textures: conversion only
    EXPECT_NEAR(variables[4]->toDisplay(10), 19.438f, 1e-3);
    EXPECT_EQ(background.getShader()->getMethod(), 2);

    EXPECT_EQ(surfaceStreaklets->size(), 10000);
    EXPECT_EQ(jetStreaklets->size(), 2200);
    EXPECT_EQ(jetStreaklets->getSlot(), JET_SPEED);
    EXPECT_EQ(jetStreaklets->getLineWidth(), 4);
    EXPECT_EQ(surfaceStreaklets->getTexture(), streakTextureLight);
    EXPECT_EQ(jetStreaklets->getTexture(), streakTextureJet);

    // A frame draws, and a hidden jet stream keeps its particles where they were.
    app.showJetStream = false;
    std::vector<float> jetCols, surfaceCols;
    for (int i = 0; i < 100; ++i) {
        jetCols.push_back(jetStreaklets->particle(i).getCol());
        surfaceCols.push_back(surfaceStreaklets->particle(i).getCol());
    }
    drawMapSceneLayers(nullptr);
    drawMapSceneLayers(nullptr);
    int surfaceMoved = 0;
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(jetStreaklets->particle(i).getCol(), jetCols[static_cast<size_t>(i)]);
        if (surfaceStreaklets->particle(i).getCol() != surfaceCols[static_cast<size_t>(i)]) ++surfaceMoved;
    }
    EXPECT_GT(surfaceMoved, 50);
    EXPECT_EQ(GlContext::glErrors(), "");

    // The wrap pre-roll moves the clock to 0.
    forecast.setTime(1.7);
    restartMapScene();
    EXPECT_EQ(forecast.getCurrentTime(), 0.0);
    streakletParameters = saved;
}

}  // namespace
