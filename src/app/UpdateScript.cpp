#include "UpdateScript.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kScriptPath = "./update_data.sh";

// A background script and our read ends of the files that hold its standard error and output.
struct Child {
    pid_t pid;
    int err;       // -1 when its standard error is ours (no file could be made)
    int out = -1;  // -1 when its standard output is ours
    std::string partial, last;
};
std::vector<Child> backgroundScripts;
int lastStatus = -1;
std::string lastMessage;

// What is read of an ended script's output before it is reported; beyond this only its tail is
// read, so that a viewer far behind a chatty script still reports it at once.
constexpr std::size_t kOutputAtEnd = 1024 * 1024;
constexpr off_t kTailAtEnd = 4096;

// An unlinked file in `dir`, opened once for appending (the script's end) and once for reading
// (ours). Unlike a pipe it never fills, so the script never waits for us, and it has no reader to
// lose, so a script that outlives us is not killed by SIGPIPE at its next message. The space goes
// back to the system when both ends are closed. False (nothing open) when it cannot be made.
bool openOutputFileIn(const std::string& dir, int& readFd, int& writeFd) {
    std::string path = dir + "/skyloom-update-XXXXXX";
    const int fd = mkostemp(&path[0], O_CLOEXEC);
    if (fd < 0) return false;
    readFd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    writeFd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    unlink(path.c_str());
    close(fd);
    if (readFd >= 0 && writeFd >= 0) return true;
    if (readFd >= 0) close(readFd);
    if (writeFd >= 0) close(writeFd);
    readFd = writeFd = -1;
    return false;
}

bool openOutputFile(int& readFd, int& writeFd) {
    const char* dir = std::getenv("TMPDIR");
    if (dir && *dir && openOutputFileIn(dir, readFd, writeFd)) return true;
    return openOutputFileIn("/tmp", readFd, writeFd);
}

// Passes on at most `budget` bytes of what the script has written since the last read (the
// console still shows it) and keeps its last line, which says why it failed. Sets `atEnd` when a
// read found nothing more. Returns the bytes read.
std::size_t drain(Child& c, std::size_t budget, bool& atEnd) {
    atEnd = c.err < 0;
    char buf[16384];
    std::size_t total = 0;
    while (c.err >= 0 && total < budget) {
        const ssize_t n = read(c.err, buf, std::min(sizeof buf, budget - total));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {  // a read error would recur: give up on the rest
            atEnd = true;
            break;
        }
        total += static_cast<std::size_t>(n);
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
    return total;
}

// Passes on at most `budget` bytes of the script's standard output to ours.
std::size_t passOnOutput(Child& c, std::size_t budget) {
    char buf[16384];
    std::size_t total = 0;
    while (c.out >= 0 && total < budget) {
        const ssize_t n = read(c.out, buf, std::min(sizeof buf, budget - total));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        total += static_cast<std::size_t>(n);
        std::fwrite(buf, 1, static_cast<std::size_t>(n), stdout);
    }
    return total;
}

// An ended script's standard output, within kOutputAtEnd; the rest is only counted.
void passOnOutputAtEnd(Child& c) {
    if (c.out < 0) return;
    passOnOutput(c, kOutputAtEnd);
    struct stat st {};
    const off_t at = lseek(c.out, 0, SEEK_CUR);
    if (at >= 0 && fstat(c.out, &st) == 0 && st.st_size > at)
        std::fprintf(stdout, "\n[%lld bytes of update_data.sh output not shown]\n", static_cast<long long>(st.st_size - at));
    std::fflush(stdout);
    close(c.out);
    c.out = -1;
}

// Reads what an ended script left unread, within kOutputAtEnd; past that, skips to its tail, which
// holds the last line. Anything written after this (by a process the script left behind) is
// not read: the file closes with the report.
void drainAtEnd(Child& c) {
    bool atEnd = false;
    drain(c, kOutputAtEnd, atEnd);
    if (atEnd) return;
    struct stat st {};
    const off_t at = lseek(c.err, 0, SEEK_CUR);
    if (at < 0 || fstat(c.err, &st) != 0 || st.st_size - kTailAtEnd <= at) {
        drain(c, static_cast<std::size_t>(kTailAtEnd), atEnd);
        return;
    }
    std::fprintf(stderr, "\n[%lld bytes of update_data.sh output not shown]\n",
                 static_cast<long long>(st.st_size - kTailAtEnd - at));
    if (lseek(c.err, st.st_size - kTailAtEnd, SEEK_SET) < 0) return;
    c.partial.clear();  // a line cut in two says nothing
    drain(c, static_cast<std::size_t>(kTailAtEnd), atEnd);
}

}  // namespace

bool runUpdateScript(bool wait) {
    char name[] = "update_data.sh";
    char* argv[] = {name, nullptr};
    pid_t pid = -1;
    int readFd = -1, writeFd = -1, outReadFd = -1, outWriteFd = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // A waited-for script writes to our console directly; a background one to files we read
    // between frames (its last line of standard error goes into the failure report), so that it
    // never waits for us nor dies writing to a console we took with us. Without the files it
    // writes to our console too.
    if (!wait && openOutputFile(readFd, writeFd))
        posix_spawn_file_actions_adddup2(&actions, writeFd, STDERR_FILENO);
    if (!wait && openOutputFile(outReadFd, outWriteFd))
        posix_spawn_file_actions_adddup2(&actions, outWriteFd, STDOUT_FILENO);
    std::fflush(stdout);
    const int error = posix_spawn(&pid, kScriptPath, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (writeFd >= 0) close(writeFd);
    if (outWriteFd >= 0) close(outWriteFd);
    if (error) {
        if (readFd >= 0) close(readFd);
        if (outReadFd >= 0) close(outReadFd);
        errno = error;
        return false;
    }
    if (!wait) {
        Child c;
        c.pid = pid;
        c.err = readFd;
        c.out = outReadFd;
        backgroundScripts.push_back(c);
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

std::size_t pollUpdateScriptOutput(std::size_t limit) {
    std::size_t total = 0;
    bool atEnd = false;
    for (Child& c : backgroundScripts) {
        total += drain(c, limit - total, atEnd);
        total += passOnOutput(c, limit - total);
    }
    return total;
}

int reapUpdateScripts() {
    int collected = 0;
    for (auto it = backgroundScripts.begin(); it != backgroundScripts.end();) {
        int status = 0;
        const pid_t r = waitpid(it->pid, &status, WNOHANG);
        if (r == 0 || (r < 0 && errno == EINTR)) {
            ++it;
            continue;
        }
        // Ended (or no longer our child, which can only mean someone else collected it). Read
        // after the wait: an ended script has written all it will.
        if (it->err >= 0) {
            drainAtEnd(*it);
            close(it->err);
        }
        passOnOutputAtEnd(*it);
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
