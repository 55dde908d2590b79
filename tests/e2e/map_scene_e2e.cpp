// The animated map in the real viewer: it moves, and it says nothing beyond its documented lines.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "ViewerHarness.h"

namespace {

class MapSceneE2E : public e2e::ViewerTest {};

std::set<std::string> unexpectedLines(const std::string& text, const std::set<std::string>& allowedPrefixes) {
    std::set<std::string> odd;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;  // the banner's spacing
        bool ok = false;
        for (const std::string& p : allowedPrefixes) ok = ok || line.rfind(p, 0) == 0;
        if (!ok) odd.insert(line);
    }
    return odd;
}

TEST_F(MapSceneE2E, TheMapMovesAndTheConsoleHoldsOnlyDocumentedLines) {
    ASSERT_TRUE(dir.makeForecast("forecast.nc", 3));
    ASSERT_TRUE(viewer.start({"-window"}));
    ASSERT_FALSE(viewer.waitForWindow(90).empty()) << viewer.stderrText();
    ASSERT_GT(viewer.waitForFps(30), 0);
    e2e::Geometry g;
    ASSERT_TRUE(viewer.geometry(g));

    e2e::Image first, second;
    ASSERT_TRUE(e2e::screenshot(first));
    ASSERT_TRUE(viewer.waitForNewFrames(5));
    ASSERT_TRUE(e2e::screenshot(second));
    const e2e::Rect map{g.x + g.width / 8, g.y + g.height / 8, g.width * 3 / 4, g.height * 3 / 4};
    // Streaklets drift and the field blends between steps.
    EXPECT_GT(e2e::meanDifference(first, second, map), 1.0);
    // Something is painted: not the black clear colour.
    const e2e::Colour mean = e2e::meanColour(second, map);
    EXPECT_GT(mean.r + mean.g + mean.b, 60.0);

    ASSERT_TRUE(viewer.key("Escape"));
    ASSERT_TRUE(viewer.waitForExit(15));
    EXPECT_EQ(viewer.exitCode(), 0);

    // The outline files were found and read.
    const std::string errors = viewer.stderrText();
    EXPECT_EQ(errors.find("Can't open file"), std::string::npos) << errors;
    EXPECT_EQ(unexpectedLines(errors, {"N Lines :", "initializing secondary data...", "done.",
                                      "Calculating wind min/maxima for t = "}),
              std::set<std::string>{})
        << errors;
    EXPECT_EQ(unexpectedLines(viewer.stdoutText(),
                              {"      ", "OpenGL ", "Generating Background ", "Escape key pressed. exit."})
                  .size(),
              0u)
        << viewer.stdoutText();
    for (const char* name : {"Temperature", "Pressure", "Precipitation", "Cloud Cover"})
        EXPECT_NE(viewer.stdoutText().find(std::string("Generating Background ") + name + " Textures...\n"),
                  std::string::npos);
}

}  // namespace
