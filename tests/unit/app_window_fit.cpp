#include <gtest/gtest.h>

#include "AppState.h"
#include "WorkArea.h"

namespace {

WorkArea area(int left, int top, int width, int height) {
    WorkArea a;
    a.left = left;
    a.top = top;
    a.right = left + width;
    a.bottom = top + height;
    return a;
}

}  // namespace

TEST(WindowFit, LargeWorkAreaKeepsDefaultWindowAndCentresIt) {
    for (const WorkArea& wa : {area(0, 0, 1834, 1030), area(0, 0, 1920, 1050), area(0, 0, 3840, 2160)}) {
        AppState s;
        fitToWorkArea(s, wa);
        EXPECT_EQ(s.initialWidth, 1834);
        EXPECT_EQ(s.initialHeight, 1030);
        EXPECT_EQ(s.windowX, 80);
        EXPECT_EQ(s.windowY, 80);
        int x = -1, y = -1;
        ASSERT_TRUE(centredWindowPosition(s, x, y));
        EXPECT_EQ(x, 43);
        EXPECT_EQ(y, 25);
    }
}

TEST(WindowFit, SmallWorkAreaAtOriginShrinksAndSkipsCentring) {
    AppState s;
    fitToWorkArea(s, area(0, 0, 1600, 870));
    EXPECT_EQ(s.initialWidth, 1580);
    EXPECT_EQ(s.initialHeight, 840);
    EXPECT_EQ(s.windowX, 0);
    EXPECT_EQ(s.windowY, 0);
    int x = -1, y = -1;
    EXPECT_FALSE(centredWindowPosition(s, x, y));
}

TEST(WindowFit, OneZeroCoordinateIsEnoughToSkipCentring) {
    AppState s;
    fitToWorkArea(s, area(0, 40, 1600, 870));  // a panel along the top
    EXPECT_EQ(s.initialWidth, 1580);
    EXPECT_EQ(s.initialHeight, 840);
    EXPECT_EQ(s.windowX, 0);
    EXPECT_EQ(s.windowY, 40);
    int x = 0, y = 0;
    EXPECT_FALSE(centredWindowPosition(s, x, y));

    AppState tall;
    fitToWorkArea(tall, area(0, 0, 1920, 900));  // only the height is too small
    EXPECT_EQ(tall.initialWidth, 1834);
    EXPECT_EQ(tall.windowX, 80);
    EXPECT_EQ(tall.initialHeight, 870);
    EXPECT_EQ(tall.windowY, 0);
    EXPECT_FALSE(centredWindowPosition(tall, x, y));
}

TEST(WindowFit, OffsetWorkAreaMovesTheWindowToItsEdgeAndCentresOnTheFullScreen) {
    AppState s;
    fitToWorkArea(s, area(100, 24, 1700, 1000));  // side panel on the left, top bar
    EXPECT_EQ(s.initialWidth, 1680);
    EXPECT_EQ(s.initialHeight, 970);
    EXPECT_EQ(s.windowX, 100);
    EXPECT_EQ(s.windowY, 24);
    int x = 0, y = 0;
    ASSERT_TRUE(centredWindowPosition(s, x, y));
    EXPECT_EQ(x, (1920 - 1680) / 2);
    EXPECT_EQ(y, (1080 - 970) / 2);
}
