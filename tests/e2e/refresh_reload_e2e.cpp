// A running viewer notices a new forecast file, reloads it, survives bad ones, and runs its refresh
// script from the Update button.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "ViewerHarness.h"

namespace {

using Clock = std::chrono::steady_clock;

// The file check comes round every 101 frames; llvmpipe on a shared machine may draw only a few
// frames a second even in a small window.
constexpr double kCheck = 120.0;

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

class ReloadE2E : public e2e::ViewerTest {
protected:
    void startSmallViewer(int steps = 2) {
        // A small window keeps frames cheap, so the periodic checks come round quickly.
        const e2e::CommandResult set = e2e::runCommand(
            {"xprop", "-root", "-f", "_NET_WORKAREA", "32c", "-set", "_NET_WORKAREA", "0, 0, 700, 450"});
        ASSERT_EQ(set.status, 0) << set.errors;
        ASSERT_TRUE(dir.makeForecast("forecast.nc", steps));
        ASSERT_TRUE(viewer.start({"-window"}));
        ASSERT_FALSE(viewer.waitForWindow(90).empty()) << viewer.stderrText();
        ASSERT_GT(viewer.waitForFps(60), 0);
        ASSERT_TRUE(viewer.geometry(g));
    }

    // Background texture builds so far: four per-variable lines each.
    int textureLines() { return count(viewer.stdoutText(), "Generating Background "); }
    // Forecasts taken so far, the one at start included: each prints those four lines.
    int builds() { return textureLines() / 4; }

    bool waitForStderrCount(const std::string& what, int n, double timeout) {
        const auto end = Clock::now() + std::chrono::duration<double>(timeout);
        while (count(viewer.stderrText(), what) < n) {
            if (Clock::now() > end || !viewer.running()) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));  // poll the growing buffer
        }
        return true;
    }
    bool waitForReloads(int n, double timeout = kCheck) {
        const auto end = Clock::now() + std::chrono::duration<double>(timeout);
        while (builds() < n) {
            if (Clock::now() > end || !viewer.running()) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));  // poll the growing buffer
        }
        return true;
    }

    // Installs `name` as forecast.nc in one rename, as a finished download does.
    void install(const std::string& name) {
        ASSERT_EQ(std::rename(dir.file(name).c_str(), dir.file("forecast.nc").c_str()), 0);
    }

    e2e::Rect map() const { return {g.x + g.width / 8, g.y + g.height / 8, g.width * 3 / 4, g.height / 2}; }
    // Change of the map over a few drawn frames: well above 0 while the forecast animates.
    double motion() {
        const e2e::Image first = e2e::screen();
        EXPECT_TRUE(viewer.waitForNewFrames(4));
        return e2e::meanDifference(first, e2e::screen(), map());
    }

    e2e::Geometry g;
};

TEST_F(ReloadE2E, NewFilesReloadBadOnesAreRefusedOnceAndTheForecastKeepsAnimating) {
    startSmallViewer();
    ASSERT_EQ(builds(), 1);

    // Touching the file, content unchanged, is a new version: a full reload.
    ASSERT_EQ(e2e::runCommand({"touch", dir.file("forecast.nc")}).status, 0);
    ASSERT_TRUE(waitForReloads(2)) << viewer.stderrText();

    // Three steps instead of two: everything follows the new count, and it keeps animating.
    ASSERT_TRUE(dir.makeForecast("three.nc", 3, "614x428", {"--seed", "7"}));
    install("three.nc");
    ASSERT_TRUE(waitForReloads(3)) << viewer.stderrText();
    // Its third step's overlays are built when the clock first reaches it.
    ASSERT_TRUE(waitForStderrCount("Calculating wind min/maxima for t = 2\n", 1, kCheck)) << viewer.stderrText();
    EXPECT_EQ(viewer.stdoutText().find("Cannot add"), std::string::npos) << viewer.stdoutText();
    EXPECT_GT(motion(), 0.5);

    // Garbage, then a forecast on another grid: each refused in one line, the old one stays.
    dir.write("bad.tmp", "half a download\n");
    install("bad.tmp");
    ASSERT_TRUE(waitForStderrCount("Cannot load forecast", 1, kCheck)) << viewer.stderrText();
    ASSERT_TRUE(dir.makeForecast("small.nc", 2, "300x200"));
    install("small.nc");
    ASSERT_TRUE(waitForStderrCount("Cannot load forecast", 2, kCheck)) << viewer.stderrText();
    const std::string err = viewer.stderrText();
    EXPECT_NE(err.find("differs from the loaded 614 x 428"), std::string::npos) << err;
    // A download cut short behind a whole header: refused the same way.
    ASSERT_TRUE(dir.makeForecast("cut.nc", 3, "614x428", {"--seed", "8"}));
    ASSERT_EQ(truncate(dir.file("cut.nc").c_str(), 6 << 20), 0);
    install("cut.nc");
    ASSERT_TRUE(waitForStderrCount("Cannot load forecast", 3, kCheck)) << viewer.stderrText();
    EXPECT_EQ(builds(), 3);
    EXPECT_GT(motion(), 0.5);

    // A refused file is not tried again at every check, and while the file is missing nothing
    // happens. The file is checked every 101 idle calls, and each frame follows an idle call of
    // its own: so many frames hold at least one check.
    constexpr int kCheckRound = 102;
    ASSERT_TRUE(viewer.waitForNewFrames(kCheckRound, 300));
    ASSERT_EQ(std::remove(dir.file("forecast.nc").c_str()), 0);
    ASSERT_TRUE(viewer.waitForNewFrames(kCheckRound, 300));
    EXPECT_EQ(count(viewer.stderrText(), "Cannot load forecast"), 3) << viewer.stderrText();
    EXPECT_EQ(builds(), 3);
    ASSERT_TRUE(viewer.running());
    ASSERT_TRUE(dir.makeForecast("back.nc", 2));
    install("back.nc");
    ASSERT_TRUE(waitForReloads(4)) << viewer.stderrText();
    EXPECT_EQ(count(viewer.stderrText(), "Cannot load forecast"), 3);
    EXPECT_GT(motion(), 0.5);
}

TEST_F(ReloadE2E, ReloadCommandAndUpdateButtonRunTheScriptAndOfferTheButtonAgain) {
    startSmallViewer();
    ASSERT_TRUE(viewer.key("s"));                       // streaklets off and ...
    ASSERT_TRUE(viewer.click(10, g.height - 15));       // ... paused: a still picture
    ASSERT_TRUE(viewer.key("0"));                       // at step 0, where a reload puts the clock
    // The Update button and the space beside it, where "Updating..." is written instead.
    const e2e::Rect button{g.x + g.width * 36 / 100, g.y + g.height * 96 / 100, g.width * 10 / 100,
                           g.height * 4 / 100};
    // The reload lines of "&" come at once, without the script (there is none yet).
    ASSERT_TRUE(viewer.key("ampersand"));
    ASSERT_TRUE(waitForReloads(2, 30)) << viewer.stderrText();
    ASSERT_TRUE(viewer.waitForNewFrames(3));  // the reload has ended and the picture is back
    const e2e::Image ready = e2e::screen();

    // A script that waits for our word, then installs a copy of the same forecast.
    ASSERT_TRUE(dir.writeUpdateScript("echo run >> runs.log\n"
                                      "i=0\n"
                                      "while [ ! -e go ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i+1)); done\n"
                                      "cp forecast.nc forecast.tmp && mv forecast.tmp forecast.nc\n"));
    const int updateX = g.width * 42 / 100, updateY = g.height * 98 / 100;
    ASSERT_TRUE(viewer.click(updateX, updateY));
    // "Updating..." replaces the button while the script runs.
    EXPECT_GE(e2e::meanDifference(ready, e2e::screen(), button), 3.0);
    ASSERT_TRUE(viewer.click(updateX, updateY));  // a second click while it runs starts nothing
    dir.write("go", "");
    ASSERT_TRUE(waitForReloads(3)) << viewer.stderrText();
    EXPECT_EQ(dir.read("runs.log"), "run\n");
    // Back to "Update" once the reload has ended (no frame is drawn during it): the picture is the
    // one before the click.
    ASSERT_TRUE(viewer.waitForNewFrames(3));
    EXPECT_LE(e2e::meanDifference(ready, e2e::screen(), button), 1.0);

    // A script that fails: one line with its status and its own reason, and the button is offered again.
    ASSERT_TRUE(dir.writeUpdateScript("echo 'update_data.sh: cannot reach nomads.ncep.noaa.gov: Could not resolve host' >&2\n"
                                      "exit 1\n"));
    ASSERT_TRUE(viewer.click(updateX, updateY));
    ASSERT_TRUE(waitForStderrCount(
        "update_data.sh failed with exit status 1: cannot reach nomads.ncep.noaa.gov: Could not resolve host\n", 1, kCheck))
        << viewer.stderrText();
    // The button is offered again in the same check that reports the failure.
    ASSERT_TRUE(viewer.waitForNewFrames(3));
    EXPECT_LE(e2e::meanDifference(ready, e2e::screen(), button), 1.0);

    // A script that cannot start says so at once and leaves the button as it was.
    ASSERT_EQ(std::remove(dir.file("update_data.sh").c_str()), 0);
    ASSERT_TRUE(viewer.click(updateX, updateY));
    ASSERT_TRUE(viewer.waitForStderr("Cannot start update_data.sh: No such file or directory\n", 30))
        << viewer.stderrText();
    EXPECT_EQ(builds(), 3);
    ASSERT_TRUE(viewer.running());
}

}  // namespace
