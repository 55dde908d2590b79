// The viewer's overlays, panels and input on a real GL context, built once from a small forecast
// the way start-up builds them. The tests share that one composition, so each leaves the state it
// changes as it found it.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "AnimationShader.h"
#include "AppState.h"
#include "CommandMenu.h"
#include "DataSummary.h"
#include "Fixtures.h"
#include "ForecastData.h"
#include "GlContext.h"
#include "Input.h"
#include "MapKey.h"
#include "MapScene.h"
#include "NumberField.h"
#include "Overlays.h"
#include "PressureLabels.h"
#include "Refresh.h"
#include "SceneHooks.h"
#include "Streaklets.h"
#include "Texture.h"
#include "TimeBar.h"
#include "driftView.h"

using testsupport::GlContext;

namespace {

constexpr int NX = 40, NY = 30, NT = 4;
// A window of the default size: the geometry of the menus and key is laid out for it.
constexpr int WW = 1834, WH = 1030;

std::string buildConsole;

class Composition : public testsupport::GlTest {
protected:
    static void SetUpTestSuite() {
        if (!GlContext::instance().ok()) return;
        static testsupport::TempDir dir;
        testsupport::writeForecast(dir.file("f.nc"),
                                   forecastwriter::makeSampleForecast(testsupport::smallForecast(NX, NY, NT)));
        testing::internal::CaptureStderr();
        const bool loaded = forecast.load(dir.file("f.nc").c_str());
        testing::internal::GetCapturedStderr();
        if (!loaded) return;
        forecast.setTimeStep(0.05);
        app.initialWidth = app.windowWidth = WW;
        app.initialHeight = app.windowHeight = WH;
        app.viewRowMin = 2;
        app.viewRowMax = NY - 3;
        app.viewColMin = 2;
        app.viewColMax = NX - 3;
        forecast.setRegion(app.viewRowMin, app.viewRowMax, app.viewColMin, app.viewColMax);
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd) || chdir(SKYLOOM_SOURCE_DIR "/data") != 0) return;  // textons, logo
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        buildMapScene();
        buildOverlaysAndPanels();
        buildConsole = testing::internal::GetCapturedStderr();
        testing::internal::GetCapturedStdout();
        if (chdir(cwd) != 0) return;
        layoutForWindowSize(WW, WH);
    }

    void SetUp() override {
        GlTest::SetUp();
        ASSERT_NE(timeBar, nullptr) << "the composition was not built";
        app.frameDrawn = true;
    }
};

// A pointer height (window pixels, y up) on row `row` of a menu.
float rowHeight(const CommandMenu& m, int row) {
    for (float py = m.y + 1; py < m.y + m.height; py += 1)
        if (menuRowAt(py, m.y, m.height, m.getItemCount()) == row) return py + 2;
    return -1;
}

// GLUT's y (from the top) for a window-pixel height from the bottom.
int glutY(float py) { return WH - static_cast<int>(py); }

TEST_F(Composition, BuildsEveryPieceInItsStartState) {
    // The first step's overlays are built at once, the others as the clock reaches them.
    EXPECT_NE(buildConsole.find("Calculating wind min/maxima for t = 0\n"), std::string::npos) << buildConsole;
    EXPECT_EQ(buildConsole.find("Calculating wind min/maxima for t = 1\n"), std::string::npos) << buildConsole;
    EXPECT_EQ(forecast.getCurrentTime(), 0.0);  // the precomputation put the clock back
    EXPECT_NEAR(forecast.setTimeStep(0), 0.05, 1e-12);

    EXPECT_TRUE(timeBar->isPlaying());
    EXPECT_TRUE(animationPlaying());
    EXPECT_EQ(mapKey->getLastKey(), 1);
    EXPECT_EQ(mapKey->keyVariable(0), variables[0]);
    EXPECT_EQ(mapKey->keyVariable(1), variables[1]);
    EXPECT_EQ(mapKey->keyKind(1), KeyTextons);

    ASSERT_EQ(configMenu->getItemCount(), 16);
    const char* keys = "gxtcrowdsjblezkf";
    const int initial[16] = {0, 1, 1, 1, 0, 1, 1, 0, 1, 0, 0, 0, 1, 1, 1, 1};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(configMenu->item(i).key, keys[i]) << i;
        EXPECT_EQ(configMenu->item(i).value, initial[i]) << configMenu->item(i).label;
    }
    EXPECT_EQ(configMenu->item(13).choiceCount, 3);
    EXPECT_STREQ(configMenu->item(13).choices[2], "Coast");
    ASSERT_EQ(presetMenu->getItemCount(), 3);
    EXPECT_EQ(presetMenu->item(0).value, 1);
    EXPECT_EQ(presetMenu->item(1).key, '3');
    EXPECT_EQ(presetMenu->getFont(), BitmapFont::Helvetica18);
    EXPECT_EQ(configMenu->getFont(), BitmapFont::Helvetica10);

    EXPECT_FLOAT_EQ(dataSummary->x, -150);  // off screen until the first click
    EXPECT_EQ(pressureLabels->getShowLabels(), false);
    EXPECT_EQ(pressureLabels->getShowHL(), true);
    EXPECT_EQ(numberField->getNumLists(), NT * 3);
    EXPECT_GT(logoTexture->name, 0u);
    EXPECT_EQ(GlContext::glErrors(), "");
}

TEST_F(Composition, ReshapeAnchorsTheKeyAndThinsTheNumbers) {
    layoutForWindowSize(WW / 2, WH / 2);
    EXPECT_FLOAT_EQ(mapKey->x, WW / 2 - 150);
    EXPECT_FLOAT_EQ(mapKey->y, 0.1f * (WH / 2));
    EXPECT_FLOAT_EQ(mapKey->width, 145);
    EXPECT_FLOAT_EQ(mapKey->height, 468);  // kept
    EXPECT_FLOAT_EQ(configMenu->y, 0.3f * (WH / 2));
    EXPECT_FLOAT_EQ(presetMenu->y, 0.1f * (WH / 2));
    EXPECT_EQ(numberField->getLevelOfDetail(), 3);  // 917 pixels
    EXPECT_EQ(pressureLabels->getScreenW(), WW / 2);
    EXPECT_EQ(timeBar->getWindowWidth(), WW / 2);
    layoutForWindowSize(1100, 700);
    EXPECT_EQ(app.numberDensity, 2);
    layoutForWindowSize(WW, WH);
    EXPECT_EQ(numberField->getLevelOfDetail(), 1);
}

TEST_F(Composition, EveryCommandReportsItsNewState) {
    AnimationShader* shader = background.getShader();
    ASSERT_NE(shader, nullptr);
    const AppState before = app;

    EXPECT_EQ(onCommand('a'), -1);
    EXPECT_TRUE(app.showConfigMenu);
    EXPECT_EQ(onCommand('A'), -1);  // either case
    EXPECT_FALSE(app.showConfigMenu);

    const int g = onCommand('g');
    EXPECT_EQ(g, 1);
    EXPECT_EQ(mapKey->keyVariable(0), variables[1]);
    for (int i = 0; i < 3; ++i) onCommand('g');  // round to temperature again
    EXPECT_EQ(mapKey->keyVariable(0), variables[0]);
    EXPECT_EQ(onCommand('x'), 2);
    EXPECT_EQ(mapKey->keyVariable(1), variables[2]);
    for (int i = 0; i < 3; ++i) onCommand('x');
    EXPECT_EQ(mapKey->keyVariable(1), variables[1]);

    shader->setMethod(3);
    EXPECT_EQ(onCommand('t'), 0);  // method 1, "OFF"
    EXPECT_EQ(shader->getMethod(), 1);
    EXPECT_EQ(onCommand('T'), 1);
    EXPECT_EQ(onCommand('t'), 2);  // "Shaded"
    onCommand('t');
    onCommand('t');
    EXPECT_EQ(shader->getMethod(), 2);

    // The default preset draws contours: "c" turns them off, then on again.
    ASSERT_TRUE(shader->getContours());
    EXPECT_EQ(onCommand('c'), 0);
    EXPECT_FALSE(shader->getContours());
    EXPECT_EQ(onCommand('c'), 1);
    EXPECT_TRUE(shader->getContours());

    EXPECT_EQ(onCommand('r'), 1);
    EXPECT_EQ(onCommand('r'), 0);
    EXPECT_EQ(onCommand('o'), 0);
    EXPECT_FALSE(app.showTextures);
    EXPECT_EQ(onCommand('o'), 1);
    EXPECT_EQ(onCommand('w'), 0);
    EXPECT_EQ(onCommand('W'), 1);
    EXPECT_EQ(onCommand('s'), 0);
    EXPECT_EQ(onCommand('s'), 1);
    EXPECT_EQ(onCommand('j'), 1);
    EXPECT_EQ(onCommand('j'), 0);
    EXPECT_EQ(onCommand('b'), 1);
    EXPECT_EQ(onCommand('b'), 0);
    EXPECT_EQ(onCommand('k'), 0);
    EXPECT_EQ(onCommand('k'), 1);
    EXPECT_EQ(onCommand('d'), 1);
    EXPECT_TRUE(numberField->isLive());
    EXPECT_EQ(onCommand('d'), 0);
    EXPECT_EQ(onCommand('f'), 0);
    EXPECT_EQ(onCommand('f'), 1);

    // From the start state: coast only, none, states only.
    EXPECT_EQ(onCommand('z'), 2);
    EXPECT_EQ(onCommand('z'), 0);
    EXPECT_EQ(onCommand('z'), 1);
    EXPECT_TRUE(app.showStates);
    EXPECT_FALSE(app.showCoast);

    for (int code : {int('q'), int('y'), int('6'), int('9'), int('?'), 0, 255, -1})
        EXPECT_EQ(onCommand(code), -1) << code;
    EXPECT_EQ(onCommand('a' + 256), -1);  // only the low 8 bits count: this is "a"
    EXPECT_TRUE(app.showConfigMenu);
    onCommand('a');

    // Everything toggled twice is back.
    EXPECT_EQ(app.showNumbers, before.showNumbers);
    EXPECT_EQ(app.showJetStream, before.showJetStream);
    EXPECT_EQ(app.hardContours, before.hardContours);
    EXPECT_EQ(GlContext::glErrors(), "");
}

// Pixels the pressure overlay of step i paints on a cleared frame.
int pressurePixels(int i) {
    const int W = GlContext::instance().width(), H = GlContext::instance().height();
    glViewport(0, 0, W, H);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, WW, 0, WH, -350, 350);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    background.pushMapTransform();
    pressureLabels->showFrame(i);
    background.popMapTransform();
    int lit = 0;
    for (int y = 0; y < H; y += 2)
        for (int x = 0; x < W; x += 2) {
            const auto p = GlContext::readPixel(x, y);
            if (p[0] + p[1] + p[2] > 60) ++lit;
        }
    return lit;
}

// Steps of the pressure overlay that paint anything.
int paintedSteps() {
    int n = 0;
    for (int i = 0; i < NT; ++i) {
        needStepOverlays(i);  // as a frame at that step does
        n += pressurePixels(i) > 0;
    }
    return n;
}

// The small grid has no system isolated enough for an H or L, so the isobar labels are what shows.
TEST_F(Composition, PressureSwitchesShowOnEveryStepAtOnce) {
    // Stand on the last step: the earlier steps' lists must change too.
    forecast.setTime(NT - 1);
    ASSERT_EQ(paintedSteps(), 0);

    EXPECT_EQ(onCommand('l'), 1);
    EXPECT_EQ(paintedSteps(), NT);
    EXPECT_EQ(forecast.getCurrentTime(), NT - 1.0);  // clock and time step restored
    EXPECT_NEAR(forecast.setTimeStep(0), 0.05, 1e-12);
    EXPECT_EQ(onCommand('l'), 0);
    EXPECT_EQ(paintedSteps(), 0);

    // "e" rebuilds every step too: labels switched on behind its back show after it.
    pressureLabels->setShowLabels(true);
    EXPECT_EQ(paintedSteps(), 0);
    EXPECT_EQ(onCommand('e'), 0);
    EXPECT_FALSE(pressureLabels->getShowHL());
    EXPECT_EQ(paintedSteps(), NT);

    pressureLabels->setShowLabels(false);
    EXPECT_EQ(onCommand('e'), 1);
    EXPECT_EQ(paintedSteps(), 0);
    forecast.setTime(0);
    EXPECT_EQ(GlContext::glErrors(), "");
}

TEST_F(Composition, PresetsSetTheirLayersAndUndoEachOther) {
    AnimationShader* shader = background.getShader();
    EXPECT_EQ(onCommand('3'), 1);
    EXPECT_EQ(app.currentPreset, 3);
    EXPECT_EQ(app.mapKeyWidth, 72);
    EXPECT_FLOAT_EQ(mapKey->width, 72);
    EXPECT_EQ(mapKey->getLastKey(), 0);
    EXPECT_EQ(mapKey->keyVariable(0), variables[1]);
    EXPECT_EQ(mapKey->keyVariable(1), variables[4]);
    EXPECT_TRUE(app.showJetStream);
    EXPECT_FALSE(app.showNumbers);
    EXPECT_FALSE(app.showTextures);
    EXPECT_EQ(surfaceStreaklets->getTexture(), streakTextureDark);

    EXPECT_EQ(onCommand('1'), 1);
    EXPECT_FLOAT_EQ(mapKey->width, 145);
    EXPECT_FLOAT_EQ(mapKey->x, WW - 150);
    EXPECT_EQ(mapKey->getLastKey(), 1);
    EXPECT_FALSE(app.showJetStream);
    EXPECT_TRUE(app.showNumbers);
    EXPECT_TRUE(app.showTextures);
    EXPECT_EQ(surfaceStreaklets->getTexture(), streakTextureLight);
    EXPECT_EQ(mapKey->keyVariable(0), variables[0]);
    EXPECT_EQ(mapKey->keyVariable(1), variables[1]);

    // Shading remembers the texton method it replaced.
    shader->setMethod(1);
    onCommand('5');
    EXPECT_EQ(shader->getMethod(), 3);
    EXPECT_EQ(app.mapKeyWidth, 72);
    onCommand('1');
    EXPECT_EQ(shader->getMethod(), 1);
    shader->setMethod(2);

    onCommand('4');
    EXPECT_EQ(app.mapKeyWidth, 145);
    EXPECT_EQ(mapKey->keyVariable(0), variables[2]);
    EXPECT_EQ(mapKey->keyVariable(1), variables[3]);
    EXPECT_FALSE(presetShowsPressure(app.currentPreset));
    onCommand('2');
    EXPECT_EQ(mapKey->keyVariable(1), variables[2]);
    onCommand('1');
    // Keys never move the menu's highlight.
    EXPECT_EQ(presetMenu->item(0).value, 1);
    EXPECT_EQ(GlContext::glErrors(), "");
}

TEST_F(Composition, SteppingKeysTakeOneStepPerFrameAndWrap) {
    forecast.setTime(NT - 1);
    onKeyboard(' ', 0, 0);
    EXPECT_EQ(forecast.getCurrentTime(), 0.0);  // wrapped, trails re-rolled at step 0
    EXPECT_FALSE(app.frameDrawn);
    onKeyboard(' ', 0, 0);  // no frame drawn since: ignored
    EXPECT_EQ(forecast.getCurrentTime(), 0.0);

    app.frameDrawn = true;
    onKeyboard(8, 0, 0);  // Backspace at step 0 wraps to the last step
    EXPECT_EQ(forecast.getCurrentTime(), NT - 1.0);

    app.frameDrawn = true;
    forecast.setTime(1.3);
    onKeyboard('[', 0, 0);
    EXPECT_NEAR(forecast.getCurrentTime(), 1.25, 1e-9);
    app.frameDrawn = true;
    onKeyboard(']', 0, 0);
    EXPECT_NEAR(forecast.getCurrentTime(), 1.3, 1e-9);
    app.frameDrawn = true;
    onKeyboard(' ', 0, 0);
    EXPECT_EQ(forecast.getCurrentTime(), 2.0);

    app.frameDrawn = false;
    onKeyboard('0', 0, 0);  // not a step: no latch
    EXPECT_EQ(forecast.getCurrentTime(), 0.0);
    // Other keys are commands.
    onKeyboard('w', 0, 0);
    EXPECT_FALSE(app.showNumbers);
    onKeyboard('w', 0, 0);
}

TEST_F(Composition, MouseReachesThePiecesInOrder) {
    // A hidden configuration menu does not hover.
    ASSERT_FALSE(app.showConfigMenu);
    const float cx = configMenu->x + 50, cy = rowHeight(*configMenu, 3);
    onPassiveMotion(static_cast<int>(cx), glutY(cy));
    EXPECT_FALSE(configMenu->isHovered());
    onCommand('a');
    onPassiveMotion(static_cast<int>(cx), glutY(cy));
    EXPECT_TRUE(configMenu->isHovered());
    // A click on a row runs its command and shows the result.
    const int row = 6;  // "Wind speed numbers"
    onMouse(LeftButton, Pressed, static_cast<int>(cx), glutY(rowHeight(*configMenu, row)));
    onMouse(LeftButton, Released, static_cast<int>(cx), glutY(rowHeight(*configMenu, row)));
    EXPECT_FALSE(app.showNumbers);
    EXPECT_EQ(configMenu->item(row).value, 0);
    onMouse(LeftButton, Pressed, static_cast<int>(cx), glutY(rowHeight(*configMenu, row)));
    EXPECT_TRUE(app.showNumbers);
    onCommand('a');

    // A hidden preset menu still takes clicks.
    onCommand('f');
    const float px = presetMenu->x + 50, py = rowHeight(*presetMenu, 1);
    onMouse(LeftButton, Pressed, static_cast<int>(px), glutY(py));
    EXPECT_EQ(app.currentPreset, 3);
    EXPECT_EQ(presetMenu->item(1).value, 1);
    EXPECT_EQ(presetMenu->item(0).value, 0);
    onMouse(LeftButton, Pressed, static_cast<int>(px), glutY(rowHeight(*presetMenu, 0)));
    EXPECT_EQ(app.currentPreset, 1);
    onCommand('f');

    // Left of the time bar: pause, then play.
    ASSERT_TRUE(timeBar->isPlaying());
    onMouse(LeftButton, Pressed, 20, WH - 30);
    onMouse(LeftButton, Released, 20, WH - 30);
    EXPECT_FALSE(animationPlaying());
    onMouse(LeftButton, Pressed, 20, WH - 30);
    EXPECT_TRUE(animationPlaying());

    // On the map: the read-out panel opens beside the pointer and the cursor goes to the point.
    onMouse(LeftButton, Pressed, WW / 2, WH / 2);
    EXPECT_NEAR(dataSummary->x, WW / 2 + 10, 1);
    EXPECT_GT(dataSummary->getLevel(), 0.0f);
    EXPECT_GE(dataSummary->getRow(), app.viewRowMin);
    EXPECT_LE(dataSummary->getColumn(), app.viewColMax);
    onMouse(LeftButton, Released, WW / 2, WH / 2);
}

TEST_F(Composition, AFrameDrawsEveryLayerWithoutGlErrors) {
    app.showWindBarbs = true;
    app.showPressureLabels = true;
    onCommand('a');
    drawMapScene();
    drawWindowPanels();
    // The panels leave the whole window as the viewport.
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], WW);
    EXPECT_EQ(vp[3], WH);
    GLint depth = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    onCommand('d');  // dynamic numbers are laid out from the data
    drawMapScene();
    onCommand('d');
    onCommand('a');
    app.showWindBarbs = false;
    app.showPressureLabels = false;
    EXPECT_EQ(GlContext::glErrors(), "");
}

// The overlays that change only at whole steps are drawn into a texture and reused. After a
// toggle, a step change, a resize and a reload, the next frame must show what drawing them
// straight into the frame shows, and that must differ from the picture before the change (or the
// check would prove nothing).
TEST_F(Composition, CachedOverlaysShowEveryChangeOnTheNextFrame) {
    const int side = GlContext::instance().width();
    auto overlays = [side] {
        glViewport(0, 0, app.windowWidth, app.windowHeight);
        glClearColor(0.2f, 0.3f, 0.4f, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, app.initialWidth, 0, app.initialHeight, -350, 350);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        background.pushMapTransform();
        drawMapOverlays();
        background.popMapTransform();
        std::vector<unsigned char> p(static_cast<size_t>(side) * side * 4);
        glReadPixels(0, 0, side, side, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
        return p;
    };
    auto differing = [](const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
        long n = 0;
        for (size_t i = 0; i < a.size(); i += 4)
            n += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
        return n;
    };
    std::vector<unsigned char> last;
    auto check = [&](const char* what) {
        SCOPED_TRACE(what);
        const std::vector<unsigned char> cached = overlays();
        setStillOverlayCache(false);
        const std::vector<unsigned char> direct = overlays();
        setStillOverlayCache(true);
        EXPECT_LE(differing(cached, direct), static_cast<long>(cached.size() / 4 / 1000));
        if (!last.empty()) {
            EXPECT_GT(differing(last, direct), 20);
        }
        last = direct;
    };
    app.showPressureLabels = true;
    rebuildPressureOverlay();
    // A jump to the last step before any other was built shows what playing up to it shows, and
    // only the steps near the clock stay held.
    forecast.setTime(NT - 1);
    const std::vector<unsigned char> jumped = overlays();
    for (int i = 0; i < NT; ++i) {
        forecast.setTime(i);
        overlays();
    }
    EXPECT_EQ(differing(jumped, overlays()), 0);
    EXPECT_LE(builtOverlaySteps(), 3);
    forecast.setTime(0);
    check("start");
    onCommand('w');
    check("numbers off");
    onCommand('w');
    check("numbers on");
    forecast.setTime(2);
    check("a later step");
    app.windowWidth = 1000;
    app.windowHeight = 600;
    layoutForWindowSize(app.windowWidth, app.windowHeight);
    check("a smaller window");
    app.windowWidth = WW;
    app.windowHeight = WH;
    layoutForWindowSize(WW, WH);
    check("the window size again");

    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    testsupport::TempDir other;
    auto options = testsupport::smallForecast(NX, NY, NT);
    options.seed = 9;
    testsupport::writeForecast(other.file("forecast.nc"), forecastwriter::makeSampleForecast(options));
    ASSERT_EQ(chdir(other.path().c_str()), 0);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    const bool reloaded = reloadForecast();
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(reloaded);
    forecast.setTime(2);
    check("another forecast");
    // Back to the suite's forecast for the tests after this one.
    testsupport::writeForecast(other.file("forecast.nc"),
                               forecastwriter::makeSampleForecast(testsupport::smallForecast(NX, NY, NT)));
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_TRUE(reloadForecast());
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(chdir(cwd), 0);
    forecast.setTime(0);
    app.showPressureLabels = false;
    rebuildPressureOverlay();
    glViewport(0, 0, side, side);
    EXPECT_EQ(GlContext::glErrors(), "");
}

}  // namespace
