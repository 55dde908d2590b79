// The real viewer driven by key presses and clicks: what each one changes on screen.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "CommandMenu.h"
#include "ViewerHarness.h"

namespace {

using Clock = std::chrono::steady_clock;

class CompositionE2E : public e2e::ViewerTest {
protected:
    // Starts the viewer with a 3-step forecast and waits for drawn frames.
    void startViewer() {
        ASSERT_TRUE(dir.makeForecast("forecast.nc", 3));
        ASSERT_TRUE(viewer.start({"-window"}));
        ASSERT_FALSE(viewer.waitForWindow(90).empty()) << viewer.stderrText();
        ASSERT_GT(viewer.waitForFps(30), 0);
        ASSERT_TRUE(viewer.geometry(g));
    }

    // A rectangle in window pixels (origin top left) as screen coordinates.
    e2e::Rect area(int x, int y, int w, int h) const { return {g.x + x, g.y + y, w, h}; }
    e2e::Rect map() const { return area(g.width / 8, g.height / 8, g.width * 3 / 4, g.height * 5 / 8); }

    // Change of `r` while the viewer draws `frames` more frames: near 0 while the picture stands still.
    double motion(const e2e::Rect& r, int frames = 3) {
        const e2e::Image first = e2e::screen();
        EXPECT_TRUE(viewer.waitForNewFrames(frames));
        return e2e::meanDifference(first, e2e::screen(), r);
    }
    // Difference between `r` on screen now and in `before`.
    double changeSince(const e2e::Image& before, const e2e::Rect& r) {
        return e2e::meanDifference(before, e2e::screen(), r);
    }

    e2e::Geometry g;
};

TEST_F(CompositionE2E, KeysMenusAndClicksChangeThePicture) {
    startViewer();
    // Every key and click below returns once the viewer has drawn frames after handling it, so
    // the screenshot after it shows its effect.
    // Without streaklets a paused map stands still.
    ASSERT_TRUE(viewer.key("s"));
    const e2e::Rect playButton = area(0, g.height - 70, 90, 70);
    e2e::Image before = e2e::screen();
    ASSERT_TRUE(viewer.click(30, g.height - 35));  // left of the time bar: pause
    EXPECT_GT(changeSince(before, playButton), 2.0);  // "playing" becomes "paused"
    EXPECT_LT(motion(map()), 0.5);

    // Paused between steps; "0" goes to the first whole step.
    ASSERT_TRUE(viewer.key("0"));
    const e2e::Image step0 = e2e::screen();
    // Space steps forward, Backspace back, "0" to the first step.
    ASSERT_TRUE(viewer.key("space"));
    EXPECT_GT(changeSince(step0, map()), 3.0);
    ASSERT_TRUE(viewer.key("BackSpace"));
    EXPECT_LT(changeSince(step0, map()), 0.5);
    ASSERT_TRUE(viewer.key("space"));
    ASSERT_GT(changeSince(step0, map()), 3.0);
    ASSERT_TRUE(viewer.key("space"));
    const e2e::Image step2 = e2e::screen();
    ASSERT_TRUE(viewer.key("0"));
    EXPECT_LT(changeSince(step0, map()), 0.5);
    EXPECT_GT(e2e::meanDifference(step2, step0, map()), 3.0);

    // "w" hides the wind numbers, "k" the key panel; both come back.
    ASSERT_TRUE(viewer.key("w"));
    EXPECT_GT(changeSince(step0, map()), 1.0);
    ASSERT_TRUE(viewer.key("w"));
    EXPECT_LT(changeSince(step0, map()), 0.5);
    const e2e::Rect key = area(g.width - 150, static_cast<int>(0.9 * g.height) - 468, 145, 468);
    ASSERT_TRUE(viewer.key("k"));
    EXPECT_GT(changeSince(step0, key), 10.0);
    ASSERT_TRUE(viewer.key("k"));
    EXPECT_LT(changeSince(step0, key), 1.0);

    // "l": isobar labels at once on the step shown.
    ASSERT_TRUE(viewer.key("l"));
    EXPECT_GT(changeSince(step0, map()), 0.3);
    ASSERT_TRUE(viewer.key("l"));
    EXPECT_LT(changeSince(step0, map()), 0.5);

    // Presets repaint the map; preset 1 brings the picture back.
    ASSERT_TRUE(viewer.key("4"));
    EXPECT_GT(changeSince(step0, map()), 20.0);
    ASSERT_TRUE(viewer.key("1"));
    EXPECT_LT(changeSince(step0, map()), 1.0);

    // "a" shows the configuration menu; a click on a row moves its highlight.
    const int menuBottom = g.height - static_cast<int>(0.3 * g.height);
    const e2e::Rect menu = area(2, menuBottom - 385, 160, 385);
    ASSERT_TRUE(viewer.key("a"));
    EXPECT_GT(changeSince(step0, menu), 5.0);
    // Row 7, "Dynamic Windspeeds", from OFF to ON; the pointer stays there so the menu stays opaque.
    float rowY = 0;
    for (float py = 0.3f * g.height; py < 0.3f * g.height + 385; py += 1)
        if (menuRowAt(py, 0.3f * g.height, 385, 16) == 7) rowY = py + 3;
    const int rowTop = g.height - static_cast<int>(rowY) - 12;
    const e2e::Rect row = area(2, rowTop, 160, 24);
    ASSERT_TRUE(viewer.movePointer(80, g.height - static_cast<int>(rowY)));
    // The menu fades in by a twentieth a frame while the pointer is over it.
    ASSERT_TRUE(viewer.waitForNewFrames(22));
    const e2e::Image rowBefore = e2e::screen();
    EXPECT_LT(motion(menu), 0.05) << "the fade-in has finished";
    ASSERT_TRUE(viewer.click(130, g.height - static_cast<int>(rowY)));
    EXPECT_GT(changeSince(rowBefore, row), 3.0);
    ASSERT_TRUE(viewer.key("a"));

    // A click on the map opens the read-out panel beside the pointer.
    const e2e::Rect panel = area(g.width / 2 + 10, g.height / 2 + 10, 150, 100);
    const e2e::Image noPanel = e2e::screen();
    ASSERT_TRUE(viewer.click(g.width / 2, g.height / 2));
    EXPECT_GT(changeSince(noPanel, panel), 5.0);

    // A click on the bar scrubs to another time.
    const e2e::Image beforeScrub = e2e::screen();
    ASSERT_TRUE(viewer.click(g.width * 3 / 4, static_cast<int>(g.height * 0.955)));
    EXPECT_GT(changeSince(beforeScrub, map()), 3.0);

    // Playing again, the field moves.
    ASSERT_TRUE(viewer.click(30, g.height - 35));
    EXPECT_GT(motion(map(), 4), 0.5);

    ASSERT_TRUE(viewer.key("Escape"));
    ASSERT_TRUE(viewer.waitForExit(15));
    EXPECT_EQ(viewer.exitCode(), 0);
}

// Shaded relief once left its texton texture switched on for all later drawing: outlines, marks
// and panels were gone until restart. Visiting it, by preset or by "t", must leave no trace.
TEST_F(CompositionE2E, AVisitToShadedReliefLeavesThePictureAsItWas) {
    startViewer();
    ASSERT_TRUE(viewer.key("s"));
    ASSERT_TRUE(viewer.click(30, g.height - 35));  // pause: a still picture
    ASSERT_TRUE(viewer.key("1"));
    const e2e::Rect window = area(0, 0, g.width, g.height);
    const e2e::Image before = e2e::screen();

    ASSERT_TRUE(viewer.key("5"));
    EXPECT_GT(changeSince(before, map()), 3.0);  // the relief is drawn
    ASSERT_TRUE(viewer.key("1"));
    EXPECT_LT(changeSince(before, window), 0.05) << "after 5 then 1";

    // "t" from the texton layer: Shaded, OFF, then back ON.
    ASSERT_TRUE(viewer.key("t"));
    EXPECT_GT(changeSince(before, map()), 3.0);
    ASSERT_TRUE(viewer.key("t"));
    ASSERT_TRUE(viewer.key("t"));
    EXPECT_LT(changeSince(before, window), 0.05) << "after t through Shaded";

    ASSERT_TRUE(viewer.key("Escape"));
    ASSERT_TRUE(viewer.waitForExit(15));
    EXPECT_EQ(viewer.exitCode(), 0);
}

TEST_F(CompositionE2E, ResizeKeepsTheKeyAtTheRightEdgeAndCornerTapsExit) {
    startViewer();
    ASSERT_TRUE(viewer.key("s"));
    ASSERT_TRUE(viewer.click(30, g.height - 35));  // pause: a still picture
    const int w = 900, h = 600;
    const e2e::CommandResult r =
        e2e::runCommand({"xdotool", "windowsize", viewer.windowId(), std::to_string(w), std::to_string(h)});
    ASSERT_EQ(r.status, 0) << r.errors;
    e2e::Geometry small;
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (viewer.geometry(small) && small.width != w && Clock::now() < end) {}
    ASSERT_EQ(small.width, w);
    g = small;

    // The key sits at w - 150: switching it off changes that column, not the one it used to be in.
    const e2e::Rect key = area(w - 150, static_cast<int>(0.9 * h) - 468, 145, 468);
    ASSERT_TRUE(viewer.waitForNewFrames(3));  // drawn at the new size
    const e2e::Image withKey = e2e::screen();
    ASSERT_TRUE(viewer.key("k"));
    EXPECT_GT(changeSince(withKey, key), 10.0);
    ASSERT_TRUE(viewer.key("k"));

    // At 900 pixels the numbers are thinned to a third: "w" changes the small map far less per
    // pixel than four times the full-size density would.
    const e2e::Rect smallMap = area(w / 8, h / 8, w * 3 / 4, h * 5 / 8);
    const e2e::Image numbers = e2e::screen();
    ASSERT_TRUE(viewer.key("w"));
    const double change = changeSince(numbers, smallMap);
    EXPECT_GT(change, 0.3);
    ASSERT_TRUE(viewer.key("w"));
    // Back to full size, the same toggle changes a comparable area by a similar amount or more.
    ASSERT_EQ(e2e::runCommand({"xdotool", "windowsize", viewer.windowId(), "1834", "1030"}).status, 0);
    e2e::Geometry big;
    const auto end2 = Clock::now() + std::chrono::seconds(10);
    while (viewer.geometry(big) && big.width != 1834 && Clock::now() < end2) {}
    g = big;
    ASSERT_EQ(big.width, 1834);
    ASSERT_TRUE(viewer.waitForNewFrames(3));
    const e2e::Image full = e2e::screen();
    ASSERT_TRUE(viewer.key("w"));
    const double fullChange = changeSince(full, map());
    // Unthinned, a half-size window would carry about four times the full-size ink per pixel.
    EXPECT_LT(change, 2.5 * fullChange) << change << " vs " << fullChange;

    // Top right, then top left twice: the program ends with status 0.
    ASSERT_TRUE(viewer.click(g.width - 10, 10));
    ASSERT_TRUE(viewer.click(10, 10));
    ASSERT_TRUE(viewer.click(10, 10));
    ASSERT_TRUE(viewer.waitForExit(15));
    EXPECT_EQ(viewer.exitCode(), 0);
}

}  // namespace
