// Input rules that need no display: the corner-tap exit gesture, the outline cycle, the presets'
// table and the number density by window width.
#include <gtest/gtest.h>

#include "AppState.h"
#include "Input.h"
#include "Overlays.h"
#include "UIPiece.h"

namespace {

// Presses at normalised positions, run through the gesture from step 0.
int pressAll(std::initializer_list<std::pair<float, float>> presses) {
    int step = 0;
    for (const auto& p : presses) {
        step = nextExitGestureStep(step, Pressed, p.first, p.second);
        if (step == kExitGestureDone) break;
    }
    return step;
}

constexpr std::pair<float, float> kTopRight{0.95f, 0.95f}, kTopLeft{-0.95f, 0.95f}, kTopMiddle{0.0f, 0.95f},
    kMap{0.0f, 0.0f};

TEST(ExitGesture, TopRightThenTopLeftTwiceExits) {
    EXPECT_EQ(pressAll({kTopRight}), 1);
    EXPECT_EQ(pressAll({kTopRight, kTopLeft}), 2);
    EXPECT_EQ(pressAll({kTopRight, kTopLeft, kTopLeft}), kExitGestureDone);
    // Presses elsewhere in the strip keep steps 0 and 1 ...
    EXPECT_EQ(pressAll({kTopMiddle, kTopRight, kTopMiddle, kTopLeft, kTopLeft}), kExitGestureDone);
}

TEST(ExitGesture, AMiddlePressOrAPressBelowTheStripResets) {
    EXPECT_EQ(pressAll({kTopRight, kTopLeft, kTopMiddle, kTopLeft}), 0);
    EXPECT_EQ(pressAll({kTopRight, kTopLeft, kMap, kTopLeft}), 0);
    EXPECT_EQ(pressAll({kTopLeft, kTopLeft, kTopLeft}), 0);  // must begin at the top right
    // Edges: the strip starts at 0.85, the corners lie beyond +-0.85.
    EXPECT_EQ(nextExitGestureStep(0, Pressed, 0.86f, 0.85f), 1);
    EXPECT_EQ(nextExitGestureStep(0, Pressed, 0.85f, 0.95f), 0);
    EXPECT_EQ(nextExitGestureStep(1, Pressed, -0.95f, 0.84f), 0);
}

TEST(ExitGesture, OnlyPressesCount) {
    for (int state : {Released, Dragged, Moved}) {
        EXPECT_EQ(nextExitGestureStep(2, state, -0.95f, 0.95f), 2);
        EXPECT_EQ(nextExitGestureStep(1, state, 0.0f, 0.0f), 1);
    }
}

TEST(OutlineCycle, GoesCoastNoneStatesFromTheStartState) {
    AppState s;
    ASSERT_TRUE(s.showStates);
    ASSERT_FALSE(s.showCoast);
    EXPECT_EQ(cycleOutlines(s), 2);
    EXPECT_EQ(cycleOutlines(s), 0);
    EXPECT_EQ(cycleOutlines(s), 1);
    EXPECT_TRUE(s.showStates);
    EXPECT_FALSE(s.showCoast);
    // Both on (not reachable by the cycle) goes to none.
    s.showCoast = true;
    EXPECT_EQ(cycleOutlines(s), 0);
}

TEST(Presets, OnlyTheOneKeyPresetsNarrowTheKey) {
    EXPECT_EQ(presetSettings(0), nullptr);
    EXPECT_EQ(presetSettings(6), nullptr);
    for (int n = 1; n <= 5; ++n) {
        const Preset* p = presetSettings(n);
        ASSERT_NE(p, nullptr);
        const bool narrow = n == 3 || n == 5;
        EXPECT_EQ(p->mapKeyWidth, narrow ? 72 : 145) << n;
        EXPECT_EQ(p->lastKey, narrow ? 0 : 1) << n;
        EXPECT_EQ(p->jetStream, n == 3) << n;
        EXPECT_EQ(p->numbers, n != 3) << n;
        EXPECT_EQ(p->shaded, n == 5) << n;
    }
    EXPECT_EQ(presetSettings(4)->colourVariable, 2);
    EXPECT_EQ(presetSettings(4)->textureVariable, 3);
    EXPECT_EQ(presetSettings(3)->key1Variable, 4);  // wind
}

TEST(Presets, PressureOverlayOnlyWithPresetsOneThreeFive) {
    for (int n = 1; n <= 5; ++n) EXPECT_EQ(presetShowsPressure(n), n % 2 == 1) << n;
}

TEST(Layout, NumberDensityByWindowWidth) {
    EXPECT_EQ(numberDensityForWidth(1834), 1);
    EXPECT_EQ(numberDensityForWidth(1440), 1);
    EXPECT_EQ(numberDensityForWidth(1439), 2);
    EXPECT_EQ(numberDensityForWidth(1024), 2);
    EXPECT_EQ(numberDensityForWidth(917), 3);
    EXPECT_EQ(numberDensityForWidth(0), 3);
}

}  // namespace
