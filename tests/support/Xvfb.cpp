#include "Xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

extern char** environ;

namespace testsupport {

Xvfb::Xvfb(const std::string& screen) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error_ = "pipe failed";
        return;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    // Xvfb writes its display number on this descriptor once it accepts connections.
    posix_spawn_file_actions_adddup2(&fa, fds[1], 3);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    std::string scr = screen;
    const char* argv[] = {"Xvfb", "-displayfd", "3", "-screen", "0", scr.c_str(), "-nolisten", "tcp", "-noreset", nullptr};
    const int rc = posix_spawnp(&pid_, "Xvfb", &fa, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    if (rc != 0) {
        pid_ = -1;
        error_ = std::string("cannot start Xvfb: ") + std::strerror(rc);
        close(fds[0]);
        return;
    }
    std::string number;
    const std::time_t deadline = std::time(nullptr) + 20;
    while (std::time(nullptr) < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 500) <= 0) continue;
        char buf[32];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        number.append(buf, static_cast<size_t>(n));
        if (number.find('\n') != std::string::npos) break;
    }
    close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == '\r')) number.pop_back();
    if (number.empty()) {
        error_ = "Xvfb did not report a display within 20 s";
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return;
    }
    display_ = ":" + number;
    if (const char* d = std::getenv("DISPLAY")) {
        hadDisplay_ = true;
        previousDisplay_ = d;
    }
    setenv("DISPLAY", display_.c_str(), 1);
}

Xvfb::~Xvfb() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    if (hadDisplay_)
        setenv("DISPLAY", previousDisplay_.c_str(), 1);
    else if (!display_.empty())
        unsetenv("DISPLAY");
}

}  // namespace testsupport
