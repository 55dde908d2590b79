#include "Input.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "AppState.h"
#include "Capture.h"
#include "CommandMenu.h"
#include "DataSummary.h"
#include "ForecastData.h"
#include "MapKey.h"
#include "MapScene.h"
#include "NumberField.h"
#include "Overlays.h"
#include "PressureLabels.h"
#include "Refresh.h"
#include "Streaklets.h"
#include "TimeBar.h"
#include "UIPiece.h"
#include "driftView.h"

namespace {

const Preset kPresets[5] = {
    // width keys tex col contours shaded key1 key0 jet textures dark numbers
    {145, 1, 1, 0, true, false, 1, 0, false, true, false, true},
    {145, 1, 2, 0, true, false, 2, 0, false, true, false, true},
    {72, 0, 1, 1, false, false, 4, 1, true, false, true, false},
    {145, 1, 3, 2, false, false, 3, 2, false, true, false, true},
    {72, 0, 1, 0, true, true, 1, 0, false, true, false, true},
};

// Edges of the gesture's top strip and corners, and of the time bar's strip, in normalised units.
constexpr float kTopStrip = 0.85f;
constexpr float kCorner = 0.85f;
constexpr float kTimeBarStrip = -0.85f;

bool isBackgroundVariable(int i) { return i >= 0 && i < kBackgroundVariableCount; }

float windowY(int y) { return static_cast<float>(app.windowHeight - y); }

}  // namespace

int nextExitGestureStep(int step, int state, float nx, float ny) {
    if (state != Pressed) return step;
    if (ny < kTopStrip) return 0;
    switch (step) {
    case 0: return nx > kCorner ? 1 : 0;
    case 1: return nx < -kCorner ? 2 : 1;
    case 2: return nx < -kCorner ? kExitGestureDone : 0;
    default: return 0;
    }
}

void checkExitGesture(int state, float nx, float ny) {
    app.exitGestureStep = nextExitGestureStep(app.exitGestureStep, state, nx, ny);
    if (app.exitGestureStep == kExitGestureDone) std::exit(0);
}

int cycleOutlines(AppState& s) {
    s.showStates = !s.showStates;
    if (!s.showStates)
        s.showCoast = !s.showCoast;
    else if (s.showCoast)
        s.showStates = s.showCoast = false;
    return (s.showStates ? 1 : 0) + 2 * (s.showCoast ? 1 : 0);
}

const Preset* presetSettings(int n) { return n >= 1 && n <= 5 ? &kPresets[n - 1] : nullptr; }

void applyPreset(int n) {
    const Preset* p = presetSettings(n);
    if (!p) return;
    app.mapKeyWidth = p->mapKeyWidth;
    if (mapKey) {
        mapKey->setLastKey(p->lastKey);
        mapKey->setGeometry(static_cast<float>(app.windowWidth - 150), 0.1f * static_cast<float>(app.windowHeight),
                            static_cast<float>(app.mapKeyWidth), -1);
    }
    background.setTextureVariable(p->textureVariable);
    background.setColourVariable(p->colourVariable);
    background.setContours(p->contours);
    background.setShading(p->shaded);
    if (mapKey) {
        mapKey->setKey(variables[p->key1Variable], 1);
        mapKey->setKey(variables[p->key0Variable], 0);
    }
    app.showJetStream = p->jetStream;
    app.showTextures = p->textures;
    background.setShowTexture(app.showTextures);
    if (surfaceStreaklets) surfaceStreaklets->setTexture(p->darkStreaks ? streakTextureDark : streakTextureLight);
    app.currentPreset = n;
    app.showNumbers = p->numbers;
}

int onCommand(int code) {
    const int c = std::tolower(code & 0xFF);
    switch (c) {
    case 'a':
        app.showConfigMenu = !app.showConfigMenu;
        return -1;
    case 'g': {
        const int i = background.cycleColourVariable();
        if (mapKey && isBackgroundVariable(i)) mapKey->setKey(variables[i], 0);
        return i;
    }
    case 'x': {
        const int i = background.cycleTextureVariable();
        if (mapKey && isBackgroundVariable(i)) mapKey->setKey(variables[i], 1);
        return i;
    }
    case 't':
        return background.cycleMethod() - 1;
    case 'c':
        return background.toggleContours() ? 1 : 0;
    case 'r':
        app.hardContours = !app.hardContours;
        background.setContourType(app.hardContours ? 1 : 0);
        background.setContourWidth(app.hardContours ? 0.4f : 2.0f);
        return app.hardContours;
    case 'o':
        app.showTextures = !app.showTextures;
        background.setShowTexture(app.showTextures);
        return app.showTextures;
    case 'w':
        return app.showNumbers = !app.showNumbers;
    case 's':
        return app.showStreaklets = !app.showStreaklets;
    case 'j':
        return app.showJetStream = !app.showJetStream;
    case 'b':
        return app.showWindBarbs = !app.showWindBarbs;
    case 'l':
        // The lists are compiled with the setting, so every step is rebuilt for it to show at once.
        app.showPressureLabels = !app.showPressureLabels;
        if (pressureLabels) pressureLabels->setShowLabels(app.showPressureLabels);
        rebuildPressureOverlay();
        return app.showPressureLabels;
    case 'e':
        app.showPressureHL = !app.showPressureHL;
        if (pressureLabels) pressureLabels->setShowHL(app.showPressureHL);
        rebuildPressureOverlay();
        return app.showPressureHL;
    case 'z':
        return cycleOutlines(app);
    case 'k':
        return app.showMapKey = !app.showMapKey;
    case 'd':
        return numberField ? numberField->toggleLive() : 0;
    case 'f':
        return app.showPresetMenu = !app.showPresetMenu;
    case '&':
        reloadForecast();
        return 1;
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
        applyPreset(c - '0');
        return 1;
    default:
        return -1;
    }
}

bool stepClock(double timeArgument) {
    if (!app.frameDrawn) return false;
    const double r = forecast.setTime(timeArgument);
    if (r < 0 && surfaceStreaklets && jetStreaklets) {
        const bool backward = timeArgument == -6 || timeArgument == -3;
        const double to = backward ? forecast.numTimes() - 1 : 0;
        surfaceStreaklets->advance(to, 5);
        jetStreaklets->advance(to, 40);
    }
    app.frameDrawn = false;
    return true;
}

void onKeyboard(unsigned char key, int, int) {
    switch (key) {
    case 27:
        std::printf("Escape key pressed. exit.\n");
        std::exit(0);
    case 8: stepClock(-6); break;
    case '<':
    case '[': stepClock(-3); break;
    case ' ': stepClock(-4); break;
    case '>':
    case ']': stepClock(-1); break;
    case '0': forecast.setTime(0); break;
    default:
        // Capture keys have no command of their own, but go on to the dispatcher like any key.
        requestCapture(key);
        onCommand(key);
        break;
    }
}

void onMouse(int button, int state, int x, int y) {
    if (app.windowWidth <= 0 || app.windowHeight <= 0 || !timeBar) return;
    const float nx = 2.0f * static_cast<float>(x) / static_cast<float>(app.windowWidth) - 1.0f;
    const float ny = 1.0f - 2.0f * static_cast<float>(y) / static_cast<float>(app.windowHeight);
    checkExitGesture(state, nx, ny);

    const float px = static_cast<float>(x), py = windowY(y);
    if (ny < kTimeBarStrip && timeBar->handleMouse(button, state, nx, ny)) return;
    if (mapKey->handleMouse(button, state, px, py)) return;
    if (app.showConfigMenu && configMenu->handleMouse(button, state, px, py)) return;
    // A hidden preset menu still takes clicks on its area.
    if (presetMenu->handleMouse(button, state, px, py)) return;
    if (ny >= kTimeBarStrip) dataSummary->handleMouse(button, state, px, py);
}

void onMotion(int x, int y) { onMouse(NoButton, Dragged, x, y); }

void onPassiveMotion(int x, int y) {
    if (!presetMenu) return;
    const float px = static_cast<float>(x), py = windowY(y);
    // The menus hover on the dragged code; the read-out panel only tracks the pointer resting on it.
    presetMenu->handleMouse(NoButton, Dragged, px, py);
    if (app.showConfigMenu) configMenu->handleMouse(NoButton, Dragged, px, py);
    dataSummary->handleMouse(NoButton, Moved, px, py);
}
