#include "UpdateScript.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kScriptPath = "./update_data.sh";
std::vector<pid_t> backgroundScripts;
int lastStatus = -1;

}  // namespace

bool runUpdateScript(bool wait) {
    char name[] = "update_data.sh";
    char* argv[] = {name, nullptr};
    pid_t pid = -1;
    if (const int error = posix_spawn(&pid, kScriptPath, nullptr, nullptr, argv, environ)) {
        errno = error;
        return false;
    }
    if (!wait) {
        backgroundScripts.push_back(pid);
        return true;
    }
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    if (r == pid) lastStatus = status;
    return true;
}

int reapUpdateScripts() {
    int collected = 0;
    for (auto it = backgroundScripts.begin(); it != backgroundScripts.end();) {
        int status = 0;
        const pid_t r = waitpid(*it, &status, WNOHANG);
        if (r == 0 || (r < 0 && errno == EINTR)) {
            ++it;
            continue;
        }
        // Ended (or no longer our child, which can only mean someone else collected it).
        if (r == *it) {
            lastStatus = status;
            ++collected;
        }
        it = backgroundScripts.erase(it);
    }
    return collected;
}

int pendingUpdateScripts() { return static_cast<int>(backgroundScripts.size()); }

int lastUpdateScriptStatus() { return lastStatus; }
