// The drag detector shared by all pieces and the movable window rectangle.
#include <gtest/gtest.h>

#include "UIPiece.h"

namespace {

TEST(DragDetector, OneStrayMotionIsStillAClickTwoMakeADrag) {
    UIPiece p;
    p.handleMouse(LeftButton, Pressed, 0, 0);
    p.handleMouse(NoButton, Dragged, 0, 0);
    p.handleMouse(LeftButton, Released, 0, 0);
    EXPECT_FALSE(dragDetected);

    p.handleMouse(LeftButton, Pressed, 0, 0);
    p.handleMouse(NoButton, Dragged, 0, 0);
    EXPECT_FALSE(dragDetected);
    p.handleMouse(NoButton, Moved, 0, 0);
    EXPECT_TRUE(dragDetected);
    EXPECT_FALSE(p.handleMouse(LeftButton, Released, 0, 0));
    EXPECT_TRUE(dragDetected) << "a drag stays a drag through its release";

    p.handleMouse(RightButton, Pressed, 0, 0);
    EXPECT_FALSE(dragDetected);
    EXPECT_EQ(motionCount, 0);
}

TEST(UIWindowGeometry, NegativeSizesKeepTheCurrentSizeZeroIsTaken) {
    UIWindow w(0, 0, 150, 100);
    w.setGeometry(10, 20, -1, -1);
    EXPECT_FLOAT_EQ(w.x, 10);
    EXPECT_FLOAT_EQ(w.y, 20);
    EXPECT_FLOAT_EQ(w.width, 150);
    EXPECT_FLOAT_EQ(w.height, 100);
    w.setGeometry(10, 20, 0, 5);
    EXPECT_FLOAT_EQ(w.width, 0);
    EXPECT_FLOAT_EQ(w.height, 5);
    w.setGeometry(-3, -4, 7, -0.5f);
    EXPECT_FLOAT_EQ(w.x, -3);
    EXPECT_FLOAT_EQ(w.width, 7);
    EXPECT_FLOAT_EQ(w.height, 5);
    EXPECT_FALSE(UIWindow(1, 2, -5, -6).dragging);
    EXPECT_FLOAT_EQ(UIWindow(1, 2, -5, -6).width, 0) << "a negative start size is not taken";
}

TEST(UIWindowDrag, PressOnTheRightEdgeStartsADrag) {
    UIWindow w(100, 50, 150, 100);
    EXPECT_TRUE(w.handleMouse(LeftButton, Pressed, 250, 100));
    EXPECT_TRUE(w.dragging);
    EXPECT_TRUE(w.handleMouse(LeftButton, Released, 250, 100));
    EXPECT_FALSE(w.dragging);
    EXPECT_FALSE(w.handleMouse(LeftButton, Pressed, 250.01f, 100));
    EXPECT_FALSE(w.dragging);
    EXPECT_FALSE(w.handleMouse(NoButton, Moved, 120, 70)) << "hover without a drag is not consumed";
}

TEST(UIWindowDrag, FractionalPixelMovesAreFollowedExactly) {
    UIWindow w(100, 50, 150, 100);
    ASSERT_TRUE(w.handleMouse(LeftButton, Pressed, 150.9f, 80.2f));
    EXPECT_EQ(w.grabX, 150);
    EXPECT_EQ(w.grabY, 80);
    EXPECT_TRUE(w.handleMouse(NoButton, Dragged, 155.7f, 76.8f));
    EXPECT_NEAR(w.x, 105.7f, 1e-4);
    EXPECT_NEAR(w.y, 46.8f, 1e-4);
    EXPECT_EQ(w.grabX, 155);
    EXPECT_EQ(w.grabY, 76);
    // A release outside the rectangle does not end the drag; it moves the window under the pointer.
    EXPECT_TRUE(w.handleMouse(LeftButton, Released, 500, 500));
    EXPECT_TRUE(w.dragging);
    EXPECT_NEAR(w.x, 450.7f, 1e-3);
    EXPECT_NEAR(w.y, 470.8f, 1e-3);
    EXPECT_TRUE(w.handleMouse(LeftButton, Released, 500, 500));
    EXPECT_FALSE(w.dragging);
}

TEST(Scope2D, AnUnpairedEndLeavesTheDepthAlone) {
    overlayDepth = 0;
    end2D();  // no GL call may happen at depth 0, which is what lets this run without a context
    EXPECT_EQ(overlayDepth, 0);
}

}  // namespace
