#include "ViewerHarness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point deadlineAfter(double seconds) {
    return Clock::now() + std::chrono::microseconds(static_cast<long long>(seconds * 1e6));
}

// Short pause between polls of something that gives no notification (a child's exit, X state).
void pollPause() { usleep(20000); }

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (auto& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

// The current environment with `overrides` ("NAME=value") replacing same-named entries.
std::vector<std::string> environment(const std::vector<std::string>& overrides) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& o : overrides)
            if (o.substr(0, o.find('=')) == name) replaced = true;
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), overrides.begin(), overrides.end());
    return env;
}

void appendAvailable(int fd, std::string& into, bool& open) {
    char buf[4096];
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0)
        into.append(buf, static_cast<size_t>(n));
    else if (n == 0 || (errno != EINTR && errno != EAGAIN))
        open = false;
}

int parseInt(const std::string& text, const std::string& key) {
    const size_t at = text.find(key + "=");
    if (at == std::string::npos) return -1;
    return std::atoi(text.c_str() + at + key.size() + 1);
}

}  // namespace

CommandResult runCommand(const std::vector<std::string>& argv, double timeoutSeconds, const std::string& cwd) {
    CommandResult result;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return result;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return result;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
    std::vector<std::string> args = argv;
    std::vector<char*> p = pointers(args);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, p[0], &fa, nullptr, p.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(outPipe[1]);
    close(errPipe[1]);
    if (rc != 0) {
        result.errors = std::string("cannot start ") + argv[0] + ": " + std::strerror(rc);
        close(outPipe[0]);
        close(errPipe[0]);
        return result;
    }
    const auto deadline = deadlineAfter(timeoutSeconds);
    bool outOpen = true, errOpen = true;
    while ((outOpen || errOpen) && Clock::now() < deadline) {
        pollfd fds[2] = {{outOpen ? outPipe[0] : -1, POLLIN, 0}, {errOpen ? errPipe[0] : -1, POLLIN, 0}};
        const int n = poll(fds, 2, 50);
        if (n <= 0) continue;
        if (fds[0].revents) appendAvailable(outPipe[0], result.output, outOpen);
        if (fds[1].revents) appendAvailable(errPipe[0], result.errors, errOpen);
    }
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    pid_t r = 0;
    while ((r = waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() < deadline) pollPause();
    if (r == 0) {
        result.timedOut = true;
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return result;
    }
    if (r == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    return result;
}

std::string buildProgram(const std::string& name) { return std::string(SKYLOOM_BUILD_DIR) + "/" + name; }

// ---------------------------------------------------------------------------------------------

WorkDir::WorkDir() {
    if (!ok()) return;
    // Bundled textures and outlines, as the run script prepares them.
    const std::filesystem::path data = std::filesystem::path(SKYLOOM_SOURCE_DIR) / "data";
    std::error_code ec;
    if (!std::filesystem::is_directory(data, ec)) return;
    for (const auto& entry : std::filesystem::directory_iterator(data, ec))
        if (entry.is_regular_file(ec))
            std::filesystem::copy_file(entry.path(), std::filesystem::path(path()) / entry.path().filename(), ec);
}

bool WorkDir::makeForecast(const std::string& name, int steps, const std::string& size,
                           const std::vector<std::string>& extra, std::string* error) {
    std::vector<std::string> argv = {buildProgram("skyloom-sample-forecast"), file(name), "--steps",
                                     std::to_string(steps), "--size", size};
    argv.insert(argv.end(), extra.begin(), extra.end());
    const CommandResult r = runCommand(argv, 60.0);
    if (r.status == 0 && exists(name)) return true;
    if (error) *error = r.output + r.errors + (r.timedOut ? " (timed out)" : "");
    return false;
}

bool WorkDir::writeUpdateScript(const std::string& body) {
    write("update_data.sh", "#!/bin/sh\n" + body);
    return chmod(file("update_data.sh").c_str(), 0755) == 0;
}

bool WorkDir::exists(const std::string& name) const { return access(file(name).c_str(), F_OK) == 0; }

std::string WorkDir::read(const std::string& name) const { return testsupport::readFile(file(name)); }

void WorkDir::write(const std::string& name, const std::string& contents) const {
    testsupport::writeFile(file(name), contents);
}

// ---------------------------------------------------------------------------------------------

// Beside the working directory, so that nothing a test lists or compares in it changes.
Viewer::Viewer(std::string workDir) : workDir_(std::move(workDir)), frameFile_(workDir_ + ".frames") {}

Viewer::~Viewer() {
    stop();
    unlink(frameFile_.c_str());
    unlink((frameFile_ + ".part").c_str());
}

bool Viewer::start(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
    if (pid_ > 0) return false;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) return false;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return false;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&fa, errPipe[1], 2);
    posix_spawn_file_actions_addchdir_np(&fa, workDir_.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);

    std::vector<std::string> argv = {buildProgram("skyloom")};
    argv.insert(argv.end(), args.begin(), args.end());
    unlink(frameFile_.c_str());
    std::vector<std::string> overrides = {"SKYLOOM_FRAME_FILE=" + frameFile_};
    overrides.insert(overrides.end(), extraEnv.begin(), extraEnv.end());
    std::vector<std::string> env = environment(overrides);
    std::vector<char*> argp = pointers(argv), envp = pointers(env);
    const int rc = posix_spawn(&pid_, argp[0], &fa, &attr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    close(outPipe[1]);
    close(errPipe[1]);
    if (rc != 0) {
        pid_ = -1;
        close(outPipe[0]);
        close(errPipe[0]);
        return false;
    }
    readers_.emplace_back(&Viewer::reader, this, outPipe[0], &Viewer::out_);
    readers_.emplace_back(&Viewer::reader, this, errPipe[0], &Viewer::err_);
    return true;
}

void Viewer::reader(int fd, std::string Viewer::*buffer) {
    char buf[4096];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            (this->*buffer).append(buf, static_cast<size_t>(n));
        }
        changed_.notify_all();
    }
    close(fd);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++readersDone_;
    }
    changed_.notify_all();
}

std::string Viewer::stdoutText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return out_;
}

std::string Viewer::stderrText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return err_;
}

bool Viewer::waitForText(std::string Viewer::*buffer, const std::string& text, double timeoutSeconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_until(lock, deadlineAfter(timeoutSeconds),
                               [&] { return (this->*buffer).find(text) != std::string::npos; });
}

bool Viewer::waitForStdout(const std::string& text, double timeoutSeconds) {
    return waitForText(&Viewer::out_, text, timeoutSeconds);
}

bool Viewer::waitForStderr(const std::string& text, double timeoutSeconds) {
    return waitForText(&Viewer::err_, text, timeoutSeconds);
}

bool Viewer::reap(bool block) {
    if (pid_ <= 0 || ended_) return ended_;
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r != pid_) return false;
    ended_ = true;
    exitedNormally_ = WIFEXITED(status);
    exitCode_ = exitedNormally_ ? WEXITSTATUS(status) : -1;
    signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return true;
}

bool Viewer::running() { return pid_ > 0 && !reap(false); }

bool Viewer::waitForExit(double timeoutSeconds) {
    if (pid_ <= 0) return false;
    const auto deadline = deadlineAfter(timeoutSeconds);
    while (!reap(false)) {
        if (Clock::now() >= deadline) return false;
        pollPause();
    }
    // The process is gone but its last lines may still sit in the pipes: wait for the readers to
    // reach the end (bounded, since a child of the viewer may still hold a pipe open).
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_until(lock, std::min(deadline, deadlineAfter(5.0)), [&] { return readersDone_ >= readers_.size(); });
    return true;
}

std::string Viewer::waitForWindow(double timeoutSeconds) {
    const auto deadline = deadlineAfter(timeoutSeconds);
    while (Clock::now() < deadline && running()) {
        // Only our viewer runs on this private X server.
        const CommandResult r = runCommand({"xdotool", "search", "--name", "Skyloom\\. FPS"}, 5.0);
        if (r.status == 0) {
            std::istringstream lines(r.output);
            std::string id;
            if (std::getline(lines, id) && !id.empty()) {
                window_ = id;
                return window_;
            }
        }
        pollPause();
    }
    return std::string();
}

std::string Viewer::title() {
    if (window_.empty()) return std::string();
    CommandResult r = runCommand({"xdotool", "getwindowname", window_}, 5.0);
    if (r.status != 0) return std::string();
    while (!r.output.empty() && r.output.back() == '\n') r.output.pop_back();
    return r.output;
}

int Viewer::waitForFps(double timeoutSeconds) {
    const auto deadline = deadlineAfter(timeoutSeconds);
    while (Clock::now() < deadline && running()) {
        int fps = -1;
        char tail = 0;
        if (std::sscanf(title().c_str(), "Skyloom. FPS: %d%c", &fps, &tail) == 1 && fps > 0) return fps;
        pollPause();
    }
    return -1;
}

bool Viewer::geometry(Geometry& out) {
    if (window_.empty()) return false;
    const CommandResult r = runCommand({"xdotool", "getwindowgeometry", "--shell", window_}, 5.0);
    if (r.status != 0) return false;
    out.x = parseInt(r.output, "X");
    out.y = parseInt(r.output, "Y");
    out.width = parseInt(r.output, "WIDTH");
    out.height = parseInt(r.output, "HEIGHT");
    return out.width > 0 && out.height > 0;
}

long long Viewer::framesDrawn() const {
    // The viewer replaces the file whole, so a read sees one complete number or none.
    const std::string text = testsupport::readFile(frameFile_);
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return -1;
    return std::atoll(text.c_str());
}

bool Viewer::waitForNewFrames(int count, double timeoutSeconds) {
    const long long target = std::max(framesDrawn(), 0LL) + count;
    const auto deadline = deadlineAfter(timeoutSeconds);
    while (framesDrawn() < target) {
        if (Clock::now() >= deadline || !running()) return false;
        usleep(5000);
    }
    return true;
}

// Three frames after the input was sent: the frame being drawn when the event arrived may have
// started before it, the next one starts after the event loop has handled it, and the one after
// that makes sure its picture was flushed before the announcement (the viewer also syncs with the
// X server before announcing). The event itself is on the server before xdotool exits.
bool Viewer::sendInput(const std::vector<std::string>& xdotoolArgs) {
    constexpr int kFramesAfterInput = 3;
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), xdotoolArgs.begin(), xdotoolArgs.end());
    // An xdotool run now and then fails on a busy machine; a viewer that has ended fails every try.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!running()) return false;
        const long long before = std::max(framesDrawn(), 0LL);
        if (runCommand(argv, 5.0).status == 0) {
            const auto deadline = deadlineAfter(120.0);
            while (framesDrawn() < before + kFramesAfterInput) {
                // A key that ends the viewer: the caller checks how it ended.
                if (!running()) return true;
                if (Clock::now() >= deadline) return false;
                usleep(5000);
            }
            return true;
        }
        // A key that ends the viewer can take the window away before xdotool sends the release, and
        // xdotool then fails with BadWindow although the press was delivered; the caller checks how
        // the viewer ended.
        if (waitForExit(2.0)) return true;
    }
    return false;
}

bool Viewer::movePointer(int x, int y) {
    if (window_.empty()) return false;
    return sendInput({"mousemove", "--window", window_, std::to_string(x), std::to_string(y)});
}

// The pointer move and the event go out in one xdotool run, on one X connection, so the server
// handles them in that order.
bool Viewer::key(const std::string& keysym) {
    Geometry g;
    for (int attempt = 0; attempt < 3 && running() && !geometry(g); ++attempt) pollPause();
    if (window_.empty() || !running() || g.width <= 0) return false;
    return sendInput({"mousemove", "--window", window_, std::to_string(g.width / 2), std::to_string(g.height / 2),
                      "key", "--window", window_, keysym});
}

bool Viewer::click(int x, int y, int button) {
    if (window_.empty()) return false;
    return sendInput({"mousemove", "--window", window_, std::to_string(x), std::to_string(y), "click",
                      std::to_string(button)});
}

void Viewer::stop() {
    if (pid_ > 0) {
        // The whole group: the viewer and any refresh script it started.
        kill(-pid_, SIGTERM);
        if (!waitForExit(3.0)) {
            kill(-pid_, SIGKILL);
            reap(true);
        }
        kill(-pid_, SIGKILL);
    }
    for (auto& t : readers_)
        if (t.joinable()) t.join();
    readers_.clear();
    readersDone_ = 0;
}

// ---------------------------------------------------------------------------------------------

Image screen() {
    Image im;
    std::string error;
    EXPECT_TRUE(screenshot(im, &error)) << error;
    return im;
}

bool screenshot(Image& out, std::string* error) {
    out = Image();
    char path[] = "/tmp/skyloom-shot-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return false;
    close(fd);
    const std::string target = std::string("ppm:") + path;
    const CommandResult r = runCommand({"import", "-window", "root", "-depth", "8", target}, 20.0);
    const std::string data = testsupport::readFile(path);
    unlink(path);
    if (r.status != 0) {
        if (error) *error = "import failed: " + r.errors;
        return false;
    }
    // Binary PPM: "P6" width height maxval, whitespace-separated (comments allowed), then RGB.
    size_t pos = 0;
    auto nextToken = [&]() {
        for (;;) {
            while (pos < data.size() && std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
            if (pos < data.size() && data[pos] == '#') {
                while (pos < data.size() && data[pos] != '\n') ++pos;
                continue;
            }
            break;
        }
        const size_t start = pos;
        while (pos < data.size() && !std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
        return data.substr(start, pos - start);
    };
    const std::string magic = nextToken();
    const int w = std::atoi(nextToken().c_str());
    const int h = std::atoi(nextToken().c_str());
    const int maxval = std::atoi(nextToken().c_str());
    ++pos;  // the single whitespace byte before the pixels
    const size_t need = static_cast<size_t>(w) * static_cast<size_t>(h) * 3;
    if (magic != "P6" || w <= 0 || h <= 0 || maxval != 255 || data.size() < pos + need) {
        if (error) *error = "unexpected screenshot format";
        return false;
    }
    out.width = w;
    out.height = h;
    out.rgba.resize(static_cast<size_t>(w) * h * 4);
    for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
        for (int c = 0; c < 3; ++c) out.rgba[i * 4 + c] = static_cast<std::uint8_t>(data[pos + i * 3 + c]);
        out.rgba[i * 4 + 3] = 255;
    }
    return true;
}

namespace {

bool clip(const Image& image, Rect& r) {
    const int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
    const int x1 = std::min(r.x + r.width, image.width), y1 = std::min(r.y + r.height, image.height);
    r = Rect{x0, y0, x1 - x0, y1 - y0};
    return r.width > 0 && r.height > 0;
}

}  // namespace

Colour meanColour(const Image& image, const Rect& rect) {
    Rect r = rect;
    Colour c;
    if (!clip(image, r)) return c;
    double sum[3] = {0, 0, 0};
    for (int y = r.y; y < r.y + r.height; ++y)
        for (int x = r.x; x < r.x + r.width; ++x)
            for (int k = 0; k < 3; ++k) sum[k] += image.pixel(x, y)[k];
    const double n = static_cast<double>(r.width) * r.height;
    c.r = sum[0] / n;
    c.g = sum[1] / n;
    c.b = sum[2] / n;
    return c;
}

double meanDifference(const Image& a, const Image& b, const Rect& rect) {
    if (a.width != b.width || a.height != b.height) return -1;
    Rect r = rect;
    if (!clip(a, r)) return -1;
    double sum = 0;
    for (int y = r.y; y < r.y + r.height; ++y)
        for (int x = r.x; x < r.x + r.width; ++x)
            for (int k = 0; k < 3; ++k) sum += std::abs(int(a.pixel(x, y)[k]) - int(b.pixel(x, y)[k]));
    return sum / (3.0 * r.width * r.height);
}

bool readTiff(const std::string& path, Image& out, std::string* error) {
    out = Image();
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) {
        if (error) *error = "cannot open " + path;
        return false;
    }
    uint32_t w = 0, h = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    std::vector<uint32_t> raster(static_cast<size_t>(w) * h);
    const bool ok = w > 0 && h > 0 && TIFFReadRGBAImageOriented(tif, w, h, raster.data(), ORIENTATION_TOPLEFT, 0);
    TIFFClose(tif);
    if (!ok) {
        if (error) *error = "cannot decode " + path;
        return false;
    }
    out.width = static_cast<int>(w);
    out.height = static_cast<int>(h);
    out.rgba.resize(raster.size() * 4);
    for (size_t i = 0; i < raster.size(); ++i) {
        out.rgba[i * 4 + 0] = static_cast<std::uint8_t>(TIFFGetR(raster[i]));
        out.rgba[i * 4 + 1] = static_cast<std::uint8_t>(TIFFGetG(raster[i]));
        out.rgba[i * 4 + 2] = static_cast<std::uint8_t>(TIFFGetB(raster[i]));
        out.rgba[i * 4 + 3] = static_cast<std::uint8_t>(TIFFGetA(raster[i]));
    }
    return true;
}

// ---------------------------------------------------------------------------------------------

void ViewerTest::SetUp() {
    ASSERT_TRUE(xvfb.ok()) << xvfb.error();
    ASSERT_TRUE(dir.ok());
}

}  // namespace e2e
