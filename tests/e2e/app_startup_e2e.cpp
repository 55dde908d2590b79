// The viewer's start-up, window, frame loop and exit paths, run as a user would.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>
#include <string>

#include <unistd.h>

#include "ViewerHarness.h"

namespace {

constexpr double kStart = 30.0;  // generous: the llvmpipe build machine is shared
constexpr const char* kBannerLine = "      ================> Skyloom <================\n";

class StartupE2E : public e2e::ViewerTest {
protected:
    void expectExit(int code, double timeout = kStart) {
        ASSERT_TRUE(viewer.waitForExit(timeout)) << viewer.stdoutText() << viewer.stderrText();
        ASSERT_TRUE(viewer.exited()) << "ended by signal " << viewer.termSignal();
        EXPECT_EQ(viewer.exitCode(), code) << viewer.stdoutText() << viewer.stderrText();
    }

    // An update script that takes a moment, says so on standard error when it has finished and
    // installs staged.nc as the forecast through a rename, as a real download would.
    void writeInstallingScript() {
        ASSERT_TRUE(dir.makeForecast("staged.nc"));
        ASSERT_TRUE(dir.writeUpdateScript("echo run >> runs.log\n"
                                          "sleep 0.3\n"
                                          "cp staged.nc forecast.tmp && mv forecast.tmp forecast.nc\n"
                                          "echo 'update script finished' >&2\n"));
    }

    // Without a window manager a size change lands a few events after the window appears.
    static bool waitForSize(e2e::Viewer& v, int width, int height, e2e::Geometry& g) {
        for (int i = 0; i < 100; ++i) {
            if (v.geometry(g) && g.width == width && g.height == height) return true;
            usleep(100000);
        }
        return false;
    }

    static int count(const std::string& text, const std::string& what) {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
        return n;
    }
};

}  // namespace

TEST_F(StartupE2E, OpensCentredWindowShowsFrameRateAndQuitsOnEscape) {
    ASSERT_TRUE(dir.makeForecast());
    ASSERT_TRUE(viewer.start());
    ASSERT_TRUE(viewer.waitForStdout(kBannerLine, kStart)) << viewer.stdoutText();
    EXPECT_EQ(viewer.stdoutText().rfind("\n\n\n", 0), 0u) << "banner starts with three blank lines";

    ASSERT_FALSE(viewer.waitForWindow(kStart).empty()) << viewer.stderrText();
    EXPECT_GT(viewer.waitForFps(kStart), 0) << viewer.title();

    // No window manager and no work area: the default size, centred on the 1920 x 1080 screen.
    e2e::Geometry g;
    ASSERT_TRUE(viewer.geometry(g));
    EXPECT_EQ(g.width, 1834);
    EXPECT_EQ(g.height, 1030);
    EXPECT_EQ(g.x, 43);
    EXPECT_EQ(g.y, 25);

    // The window is painted (the map fills it) while the screen around it stays black.
    e2e::Image shot;
    std::string error;
    ASSERT_TRUE(e2e::screenshot(shot, &error)) << error;
    ASSERT_EQ(shot.width, 1920);
    ASSERT_EQ(shot.height, 1080);
    const e2e::Colour inside = e2e::meanColour(shot, {g.x, g.y, g.width, g.height});
    const e2e::Colour outside = e2e::meanColour(shot, {0, 0, g.x, 1080});
    EXPECT_GT(inside.r + inside.g + inside.b, 60.0);
    EXPECT_LT(outside.r + outside.g + outside.b, 1.0);

    ASSERT_TRUE(viewer.key("Escape"));
    EXPECT_TRUE(viewer.waitForStdout("Escape key pressed. exit.\n", kStart));
    expectExit(0);
}

TEST_F(StartupE2E, ExitTimeOptionEndsTheViewerByItself) {
    // The exit time is checked every 101st idle call, about every 101 frames; a small window keeps
    // llvmpipe's frames short enough for that to come round quickly.
    const e2e::CommandResult set = e2e::runCommand(
        {"xprop", "-root", "-f", "_NET_WORKAREA", "32c", "-set", "_NET_WORKAREA", "0, 0, 700, 450"});
    ASSERT_EQ(set.status, 0) << set.errors;
    ASSERT_TRUE(dir.makeForecast());
    ASSERT_TRUE(viewer.start({"-k+0.0003"}));  // about one second
    expectExit(0, 120.0);  // 101 frames; slow when the machine is busy
    EXPECT_NE(viewer.stdoutText().find(kBannerLine), std::string::npos);
    EXPECT_EQ(viewer.stdoutText().find("Escape key pressed"), std::string::npos);
}

TEST_F(StartupE2E, WorkAreaShrinksTheWindowAndAZeroEdgeSkipsCentring) {
    // What a desktop panel along the top leaves: 1600 x 870 at (0, 40).
    const e2e::CommandResult set = e2e::runCommand(
        {"xprop", "-root", "-f", "_NET_WORKAREA", "32c", "-set", "_NET_WORKAREA", "0, 40, 1600, 870"});
    ASSERT_EQ(set.status, 0) << set.errors;
    ASSERT_TRUE(dir.makeForecast());
    ASSERT_TRUE(viewer.start());
    ASSERT_FALSE(viewer.waitForWindow(kStart).empty()) << viewer.stderrText();
    e2e::Geometry g;
    ASSERT_TRUE(viewer.geometry(g));
    EXPECT_EQ(g.width, 1580);
    EXPECT_EQ(g.height, 840);
    EXPECT_EQ(g.x, 0);
    EXPECT_EQ(g.y, 40);
}

TEST_F(StartupE2E, PresentationOptionGoesFullScreenAndLaterWindowOptionWins) {
    ASSERT_TRUE(dir.makeForecast());
    {
        e2e::Viewer fullScreen(dir.path());
        ASSERT_TRUE(fullScreen.start({"-p"}));
        ASSERT_FALSE(fullScreen.waitForWindow(kStart).empty()) << fullScreen.stderrText();
        e2e::Geometry g;
        EXPECT_TRUE(waitForSize(fullScreen, 1920, 1080, g)) << g.width << " x " << g.height;
    }
    ASSERT_TRUE(viewer.start({"-p", "-window"}));
    ASSERT_FALSE(viewer.waitForWindow(kStart).empty()) << viewer.stderrText();
    e2e::Geometry g;
    ASSERT_TRUE(viewer.geometry(g));
    EXPECT_EQ(g.width, 1834);
    EXPECT_EQ(g.height, 1030);
}

TEST_F(StartupE2E, MissingForecastIsFetchedByTheUpdateScript) {
    writeInstallingScript();
    ASSERT_TRUE(viewer.start());
    ASSERT_FALSE(viewer.waitForWindow(kStart).empty()) << viewer.stdoutText() << viewer.stderrText();
    const std::string out = viewer.stdoutText();
    const size_t attempt = out.find("Attempting to update data file...\n");
    ASSERT_NE(attempt, std::string::npos) << out;
    EXPECT_GT(out.find(kBannerLine), attempt);
    EXPECT_EQ(dir.read("runs.log"), "run\n");
    // The viewer waited for the script: the forecast it loaded was the one the script installed.
    EXPECT_LT(viewer.stderrText().find("update script finished"), viewer.stderrText().find("initializing secondary data"));
}

TEST_F(StartupE2E, UpdateOptionWithMissingForecastRunsTheScriptTwiceWaitingEachTime) {
    writeInstallingScript();
    ASSERT_TRUE(viewer.start({"-update"}));
    ASSERT_FALSE(viewer.waitForWindow(kStart).empty()) << viewer.stdoutText() << viewer.stderrText();
    EXPECT_EQ(dir.read("runs.log"), "run\nrun\n");
    const std::string err = viewer.stderrText();
    EXPECT_EQ(count(err, "update script finished"), 2) << err;
    // Both runs had finished before the forecast was loaded.
    EXPECT_LT(err.rfind("update script finished"), err.find("initializing secondary data")) << err;
    EXPECT_EQ(count(viewer.stdoutText(), "Attempting to update data file..."), 1);
}

TEST_F(StartupE2E, UpdateOptionWithForecastPresentRunsTheScriptOnce) {
    ASSERT_TRUE(dir.makeForecast());
    ASSERT_TRUE(dir.makeForecast("staged.nc", 3));
    ASSERT_TRUE(dir.writeUpdateScript("echo run >> runs.log\ncp staged.nc forecast.tmp && mv forecast.tmp forecast.nc\n"));
    ASSERT_TRUE(viewer.start({"-update"}));
    ASSERT_FALSE(viewer.waitForWindow(kStart).empty()) << viewer.stderrText();
    EXPECT_EQ(dir.read("runs.log"), "run\n");
    EXPECT_EQ(viewer.stdoutText().find("Attempting to update data file..."), std::string::npos);
}

TEST_F(StartupE2E, NoForecastAndNoWorkingScriptEndsWithStatusOne) {
    // No script at all.
    ASSERT_TRUE(viewer.start());
    expectExit(1);
    EXPECT_EQ(viewer.stdoutText(), "Attempting to update data file...\nProblem opening forecast.nc.  Quiting!\n");

    // A script that runs but produces nothing.
    ASSERT_TRUE(dir.writeUpdateScript("echo run >> runs.log\nexit 2\n"));
    e2e::Viewer second(dir.path());
    ASSERT_TRUE(second.start());
    ASSERT_TRUE(second.waitForExit(kStart));
    ASSERT_TRUE(second.exited());
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_EQ(second.stdoutText(), "Attempting to update data file...\nProblem opening forecast.nc.  Quiting!\n");
    EXPECT_EQ(dir.read("runs.log"), "run\n");
}

TEST_F(StartupE2E, UnreadableForecastIsReportedAndEndsWithStatusOne) {
    dir.write("forecast.nc", "this is not a netCDF file\n");
    ASSERT_TRUE(viewer.start());
    expectExit(1);
    EXPECT_NE(viewer.stdoutText().find(kBannerLine), std::string::npos);
    EXPECT_NE(viewer.stderrText().find("forecast.nc"), std::string::npos) << viewer.stderrText();

    // A real forecast cut short, as an interrupted download leaves it.
    ASSERT_TRUE(dir.makeForecast("full.nc"));
    dir.write("forecast.nc", dir.read("full.nc").substr(0, 200000));
    e2e::Viewer second(dir.path());
    ASSERT_TRUE(second.start());
    ASSERT_TRUE(second.waitForExit(kStart));
    ASSERT_TRUE(second.exited()) << "ended by signal " << second.termSignal();
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_NE(second.stderrText().find("forecast.nc"), std::string::npos) << second.stderrText();
}

TEST_F(StartupE2E, GridSmallerThanTheRegionAndNoTextonsStillDrawEveryLayer) {
    // Under the sanitizer build this run is what shows every layer keeps inside the small arrays.
    const e2e::CommandResult set = e2e::runCommand(
        {"xprop", "-root", "-f", "_NET_WORKAREA", "32c", "-set", "_NET_WORKAREA", "0, 0, 700, 450"});
    ASSERT_EQ(set.status, 0) << set.errors;
    ASSERT_EQ(std::remove(dir.file("Textons.png").c_str()), 0);
    ASSERT_TRUE(dir.makeForecast("forecast.nc", 3, "60x40"));
    ASSERT_TRUE(viewer.start());
    ASSERT_FALSE(viewer.waitForWindow(kStart).empty()) << viewer.stderrText();
    ASSERT_GT(viewer.waitForFps(kStart), 0);
    EXPECT_NE(viewer.stderrText().find("Textons.png"), std::string::npos) << viewer.stderrText();

    // Barbs, pressure labels, jet stream, contours and live numbers on; every drawing method; every step.
    for (const char* k : {"b", "l", "j", "c", "d", "t", "t", "t", "t", "bracketright", "bracketright", "bracketright"})
        ASSERT_TRUE(viewer.key(k)) << k;
    e2e::Geometry g;
    ASSERT_TRUE(viewer.geometry(g));
    ASSERT_TRUE(viewer.click(g.width / 2, g.height / 2));  // the read-out at a grid point
    ASSERT_TRUE(viewer.key("1"));
    ASSERT_GT(viewer.waitForFps(kStart), 0);

    e2e::Image shot;
    ASSERT_TRUE(e2e::screenshot(shot));
    const e2e::Rect map{g.x, g.y, g.width, g.height * 9 / 10};
    const e2e::Colour mean = e2e::meanColour(shot, map);
    EXPECT_GT(mean.r + mean.g + mean.b, 60.0) << "the map is drawn";
    ASSERT_TRUE(viewer.running()) << viewer.stderrText();
    ASSERT_TRUE(viewer.key("Escape")) << viewer.stderrText();
    expectExit(0);
}

TEST(Harness, ReadsTiffFramesTopRowFirst) {
    testsupport::TempDir dir;
    const std::string path = dir.file("frame.tiff");
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    const int w = 3, h = 2;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    const uint16_t extra[] = {EXTRASAMPLE_ASSOCALPHA};
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    unsigned char top[w * 4] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255};
    unsigned char bottom[w * 4] = {10, 20, 30, 255, 40, 50, 60, 255, 70, 80, 90, 255};
    ASSERT_EQ(TIFFWriteScanline(tif, top, 0, 0), 1);
    ASSERT_EQ(TIFFWriteScanline(tif, bottom, 1, 0), 1);
    TIFFClose(tif);

    e2e::Image image;
    std::string error;
    ASSERT_TRUE(e2e::readTiff(path, image, &error)) << error;
    ASSERT_EQ(image.width, w);
    ASSERT_EQ(image.height, h);
    EXPECT_EQ(image.pixel(0, 0)[0], 255);
    EXPECT_EQ(image.pixel(1, 0)[1], 255);
    EXPECT_EQ(image.pixel(2, 1)[2], 90);
    EXPECT_EQ(image.pixel(2, 1)[3], 255);
    const e2e::Colour bottomRow = e2e::meanColour(image, {0, 1, 3, 1});
    EXPECT_DOUBLE_EQ(bottomRow.r, 40.0);
    e2e::Image changed = image;
    changed.rgba[(1 * w + 2) * 4 + 2] = 0;  // blue 90 -> 0 in one pixel of the bottom row
    EXPECT_DOUBLE_EQ(e2e::meanDifference(image, changed, {0, 1, 3, 1}), 90.0 / 9.0);
    EXPECT_DOUBLE_EQ(e2e::meanDifference(image, changed, {0, 0, 3, 1}), 0.0);
    EXPECT_FALSE(e2e::readTiff(dir.file("missing.tiff"), image));
    EXPECT_TRUE(image.empty());
}
