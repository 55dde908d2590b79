#pragma once
// End-to-end harness: runs the real `skyloom` binary in a temporary working directory on a private
// Xvfb and drives it the way a user would. Every wait takes a timeout in seconds and returns
// false (or an empty result) when it runs out; every process the harness starts is ended by it.
//
// Typical use:
//   class MyE2E : public e2e::ViewerTest {};
//   TEST_F(MyE2E, Something) {
//       ASSERT_TRUE(dir.makeForecast());
//       ASSERT_TRUE(viewer.start({"-i"}));
//       ASSERT_FALSE(viewer.waitForWindow(20).empty()) << viewer.stderrText();
//       ASSERT_TRUE(viewer.key("Escape"));
//       ASSERT_TRUE(viewer.waitForExit(10));
//       EXPECT_EQ(viewer.exitCode(), 0);
//   }

#include <gtest/gtest.h>
#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Fixtures.h"
#include "Xvfb.h"

namespace e2e {

// Result of runCommand. status is the exit code, or -1 when the program could not be started,
// was killed by a signal or ran past its timeout.
struct CommandResult {
    int status = -1;
    bool timedOut = false;
    std::string output;  // standard output followed by nothing else; standard error is in `errors`
    std::string errors;
};

// Runs argv (looked up in PATH, no shell) with the current environment, optionally in `cwd`,
// and waits at most timeoutSeconds (then kills it).
CommandResult runCommand(const std::vector<std::string>& argv, double timeoutSeconds = 10.0,
                         const std::string& cwd = std::string());

// Path of a program in the build tree (the viewer, skyloom-sample-forecast, ...).
std::string buildProgram(const std::string& name);

// A temporary working directory for one viewer run, removed afterwards. It holds the bundled data
// files of the source tree's data/ directory (when there is one) and whatever the test adds.
class WorkDir {
public:
    WorkDir();
    bool ok() const { return !dir_.path().empty(); }
    const std::string& path() const { return dir_.path(); }
    std::string file(const std::string& name) const { return dir_.file(name); }

    // Generates a forecast with skyloom-sample-forecast. The default is the full 614 x 428 grid
    // (the viewer's region of interest needs it) with two steps. `extra` adds tool options
    // (e.g. {"--seed", "3"}). On failure returns false and fills *error with the tool's output.
    bool makeForecast(const std::string& name = "forecast.nc", int steps = 2, const std::string& size = "614x428",
                      const std::vector<std::string>& extra = {}, std::string* error = nullptr);

    // Writes an executable update_data.sh: "#!/bin/sh", then `body`, run in this directory.
    bool writeUpdateScript(const std::string& body);

    bool exists(const std::string& name) const;
    std::string read(const std::string& name) const;
    void write(const std::string& name, const std::string& contents) const;

private:
    testsupport::TempDir dir_;
};

// Window geometry in root-window pixels (the Xvfb screen; there is no window manager).
struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

// The viewer as a child process: its own process group (so scripts it starts end with it), the
// working directory given, standard input /dev/null, standard output and error captured through
// pipes by background readers, DISPLAY inherited (testsupport::Xvfb sets it).
class Viewer {
public:
    explicit Viewer(std::string workDir);
    ~Viewer();  // stop()
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    // Starts `skyloom args...`. extraEnv entries are "NAME=value" and override the environment.
    bool start(const std::vector<std::string>& args = {}, const std::vector<std::string>& extraEnv = {});
    pid_t pid() const { return pid_; }

    // Everything printed so far.
    std::string stdoutText() const;
    std::string stderrText() const;

    // Wait until `text` has appeared on the stream (at any point so far).
    bool waitForStdout(const std::string& text, double timeoutSeconds);
    bool waitForStderr(const std::string& text, double timeoutSeconds);

    // Wait for the process to end. Afterwards exited() tells whether it ended through exit()
    // (then exitCode()) or by a signal (then termSignal()).
    bool waitForExit(double timeoutSeconds);
    bool running();
    bool exited() const { return ended_ && exitedNormally_; }
    int exitCode() const { return exited() ? exitCode_ : -1; }
    int termSignal() const { return ended_ && !exitedNormally_ ? signal_ : 0; }

    // Wait for the window, found by its frame-rate title ("Skyloom. FPS: N", first set one second
    // after start-up). Returns its X window id, or "" on timeout or when the viewer ended.
    std::string waitForWindow(double timeoutSeconds);
    const std::string& windowId() const { return window_; }

    std::string title();
    // Wait until the title shows a frame rate above zero; returns it, or -1 on timeout.
    int waitForFps(double timeoutSeconds);
    bool geometry(Geometry& out);

    // Frames drawn so far and already on the X server, read from the viewer's frame channel
    // (SKYLOOM_FRAME_FILE, which start() turns on); -1 before the first frame.
    long long framesDrawn() const;
    // Waits until `count` more frames than now have been drawn; false on timeout or when the
    // viewer has ended.
    bool waitForNewFrames(int count, double timeoutSeconds = 120);

    // Keys and clicks need the pointer in the window (without a window manager X sends key events
    // to the window under the pointer). key() moves it to the window's centre first; keysym names
    // are xdotool's ("Escape", "space", "a", "Right", "shift+s"). click() takes window
    // coordinates with the origin at the top left and presses button 1, 2 or 3.
    // Each returns once the viewer has drawn frames after handling the event, so a screenshot taken
    // then shows its effect; false if it could not be sent or no frame followed. A key that ends
    // the viewer returns true once it has ended (the caller checks how).
    bool key(const std::string& keysym);
    bool click(int x, int y, int button = 1);
    bool movePointer(int x, int y);

    // Ends the viewer and everything in its process group: SIGTERM, then SIGKILL after 3 s.
    void stop();

private:
    bool waitForText(std::string Viewer::*buffer, const std::string& text, double timeoutSeconds);
    // Runs an xdotool command that sends input, then waits for the frames that show its effect.
    bool sendInput(const std::vector<std::string>& xdotoolArgs);
    void reader(int fd, std::string Viewer::*buffer);
    bool reap(bool block);

    std::string workDir_;
    std::string frameFile_;
    pid_t pid_ = -1;
    bool ended_ = false, exitedNormally_ = false;
    int exitCode_ = -1, signal_ = 0;
    std::string window_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string out_, err_;
    std::vector<std::thread> readers_;
    size_t readersDone_ = 0;  // readers that reached the end of their pipe
};

// An image in 8-bit RGBA, rows from the top.
struct Image {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;
    bool empty() const { return width <= 0 || height <= 0; }
    const std::uint8_t* pixel(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

struct Colour {
    double r = 0, g = 0, b = 0;
};

// The whole X screen (`import -window root`). Returns false and an empty image on failure.
bool screenshot(Image& out, std::string* error = nullptr);

// The whole screen for checks inside a test: a failed screenshot fails the test and gives an empty image.
Image screen();


// Mean colour (0-255 per channel) of a rectangle, clipped to the image.
Colour meanColour(const Image& image, const Rect& r);

// Mean absolute per-channel difference (0-255) between the same rectangle of two images of equal
// size; -1 if the sizes differ or the rectangle is empty after clipping.
double meanDifference(const Image& a, const Image& b, const Rect& r);

// Reads a TIFF file (any layout libtiff can convert) into RGBA, top row first.
bool readTiff(const std::string& path, Image& out, std::string* error = nullptr);

// A test fixture with a private Xvfb (1920 x 1080 x 24), a working directory and a viewer that
// will run in it. Members are ended in reverse order: viewer, directory, X server.
class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override;

    testsupport::Xvfb xvfb;
    WorkDir dir;
    Viewer viewer{dir.path()};
};

}  // namespace e2e
