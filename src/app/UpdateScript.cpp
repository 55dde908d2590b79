#include "UpdateScript.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kScriptPath = "./update_data.sh";

// A background script and the read end of the pipe that carries its standard error.
struct Child {
    pid_t pid;
    int err;
    std::string partial, last;
};
std::vector<Child> backgroundScripts;
int lastStatus = -1;
std::string lastMessage;

// Passes on what the script has written to its standard error so far (the console still shows
// it) and keeps its last line, which says why it failed.
void drain(Child& c) {
    char buf[4096];
    for (;;) {
        const ssize_t n = read(c.err, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        std::fwrite(buf, 1, static_cast<std::size_t>(n), stderr);
        for (ssize_t k = 0; k < n; ++k) {
            if (buf[k] != '\n') {
                if (c.partial.size() < 4096) c.partial += buf[k];
                continue;
            }
            if (!c.partial.empty()) c.last.swap(c.partial);
            c.partial.clear();
        }
    }
}

}  // namespace

bool runUpdateScript(bool wait) {
    char name[] = "update_data.sh";
    char* argv[] = {name, nullptr};
    pid_t pid = -1;
    int pipeFds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // A waited-for script writes to our console directly; a background one through a pipe we read
    // between frames, so that its last line can go into the failure report.
    if (!wait && pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) == 0) {
        fcntl(pipeFds[1], F_SETFL, 0);  // the script's end blocks as usual
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    }
    const int error = posix_spawn(&pid, kScriptPath, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (pipeFds[1] >= 0) close(pipeFds[1]);
    if (error) {
        if (pipeFds[0] >= 0) close(pipeFds[0]);
        errno = error;
        return false;
    }
    if (!wait) {
        backgroundScripts.push_back({pid, pipeFds[0], std::string(), std::string()});
        return true;
    }
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    if (r == pid) {
        lastStatus = status;
        lastMessage.clear();
    }
    return true;
}

int reapUpdateScripts() {
    int collected = 0;
    for (auto it = backgroundScripts.begin(); it != backgroundScripts.end();) {
        if (it->err >= 0) drain(*it);
        int status = 0;
        const pid_t r = waitpid(it->pid, &status, WNOHANG);
        if (r == 0 || (r < 0 && errno == EINTR)) {
            ++it;
            continue;
        }
        // Ended (or no longer our child, which can only mean someone else collected it).
        if (it->err >= 0) {
            drain(*it);  // what it wrote just before it ended
            close(it->err);
        }
        if (r == it->pid) {
            lastStatus = status;
            lastMessage = it->partial.empty() ? it->last : it->partial;
            ++collected;
        }
        it = backgroundScripts.erase(it);
    }
    return collected;
}

int pendingUpdateScripts() { return static_cast<int>(backgroundScripts.size()); }

int lastUpdateScriptStatus() { return lastStatus; }

const std::string& lastUpdateScriptMessage() { return lastMessage; }
