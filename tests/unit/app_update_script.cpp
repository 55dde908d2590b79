#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "Fixtures.h"
#include "UpdateScript.h"

namespace {

// Runs the test inside a fresh directory, where runUpdateScript looks for ./update_data.sh.
class UpdateScriptTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
    }
    void TearDown() override { ASSERT_EQ(chdir(previous), 0); }

    void writeScript(const std::string& body) {
        testsupport::writeFile(dir.file("update_data.sh"), "#!/bin/sh\n" + body);
        ASSERT_EQ(chmod(dir.file("update_data.sh").c_str(), 0755), 0);
    }

    // Collects finished background scripts until `count` have been collected or 10 s pass.
    int reapWithin(int count) {
        int collected = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (collected < count && std::chrono::steady_clock::now() < deadline) {
            collected += reapUpdateScripts();
            if (collected < count) usleep(5000);
        }
        return collected;
    }

    // Whether `name` appears within 10 s.
    bool appearsWithin(const std::string& name) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (access(dir.file(name).c_str(), F_OK) != 0) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            usleep(5000);
        }
        return true;
    }

    testsupport::TempDir dir;
    char previous[4096] = {};
};

// Sends our standard error to a file while it lives, so that what is passed on can be counted.
class StderrToFile {
public:
    explicit StderrToFile(const std::string& path) {
        std::fflush(stderr);
        saved_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd >= 0) {
            dup2(fd, STDERR_FILENO);
            close(fd);
        }
    }
    ~StderrToFile() {
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }

private:
    int saved_;
};

}  // namespace

TEST_F(UpdateScriptTest, WaitingRunReturnsAfterTheScriptHasFinished) {
    // The script's only argument is its own name; it writes its output through a rename, so
    // the file exists on return only if the call waited for the script to end.
    writeScript("echo \"$(basename \"$0\") $#\" > args.txt\nsleep 0.2\necho done > out.tmp && mv out.tmp out.txt\nexit 3\n");
    ASSERT_TRUE(runUpdateScript(true));
    EXPECT_EQ(testsupport::readFile(dir.file("out.txt")), "done\n");
    EXPECT_EQ(testsupport::readFile(dir.file("args.txt")), "update_data.sh 0\n");
    const int status = lastUpdateScriptStatus();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(pendingUpdateScripts(), 0);
}

TEST_F(UpdateScriptTest, BackgroundRunReturnsAtOnceAndIsReapedWhenItEnds) {
    // The script blocks on a FIFO until the test lets it go.
    ASSERT_EQ(mkfifo(dir.file("gate").c_str(), 0600), 0);
    writeScript("read line < gate\necho first >&2\nprintf 'update_data.sh: the reason' >&2\nexit 5\n");
    const auto openFiles = [] {
        int n = 0;
        for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) n += e.path().empty() ? 0 : 1;
        return n;
    };
    const int filesBefore = openFiles();
    ASSERT_TRUE(runUpdateScript(false));
    EXPECT_EQ(pendingUpdateScripts(), 1);
    EXPECT_EQ(reapUpdateScripts(), 0);  // still running: not blocked on it
    EXPECT_EQ(pendingUpdateScripts(), 1);

    const int gate = open(dir.file("gate").c_str(), O_WRONLY);
    ASSERT_GE(gate, 0);
    ASSERT_EQ(write(gate, "go\n", 3), 3);
    close(gate);

    EXPECT_EQ(reapWithin(1), 1);
    EXPECT_EQ(pendingUpdateScripts(), 0);
    const int status = lastUpdateScriptStatus();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 5);
    // Its last line, even without a newline, is kept for the failure report; its output file is closed.
    EXPECT_EQ(lastUpdateScriptMessage(), "update_data.sh: the reason");
    EXPECT_EQ(openFiles(), filesBefore);
    // Nothing of ours is left to wait for: no zombie.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
}

TEST_F(UpdateScriptTest, MissingOrNonExecutableScriptStartsNothing) {
    EXPECT_FALSE(runUpdateScript(true));
    EXPECT_FALSE(runUpdateScript(false));
    EXPECT_EQ(pendingUpdateScripts(), 0);

    testsupport::writeFile(dir.file("update_data.sh"), "#!/bin/sh\ntouch ran\n");  // not executable
    EXPECT_FALSE(runUpdateScript(true));
    EXPECT_FALSE(runUpdateScript(false));
    EXPECT_EQ(pendingUpdateScripts(), 0);
    EXPECT_NE(access(dir.file("ran").c_str(), F_OK), 0);
}

TEST_F(UpdateScriptTest, ChattyScriptNeverWaitsForUsAndItsOutputIsPassedOnInBoundedReads) {
    // 300 kB (whole lines) is several pipe buffers: a script whose output we do not read for a
    // while must still get to its marker.
    writeScript("yes 0123456789abcdef | head -c 300016 >&2\necho 'update_data.sh: the reason' >&2\n"
                "touch marker\nexit 2\n");
    const std::string echoed = dir.file("echoed.txt");
    {
        StderrToFile capture(echoed);
        ASSERT_TRUE(runUpdateScript(false));
        const bool finished = appearsWithin("marker");
        // Collected either way, so that a stuck script does not outlive the test.
        const std::size_t first = finished ? pollUpdateScriptOutput() : 0;
        EXPECT_EQ(reapWithin(1), 1);
        ASSERT_TRUE(finished);
        EXPECT_EQ(first, kUpdateOutputPerPoll);  // one call reads no more than its share
    }
    EXPECT_EQ(pendingUpdateScripts(), 0);
    ASSERT_TRUE(WIFEXITED(lastUpdateScriptStatus()));
    EXPECT_EQ(WEXITSTATUS(lastUpdateScriptStatus()), 2);
    EXPECT_EQ(lastUpdateScriptMessage(), "update_data.sh: the reason");
    // All of it reached our standard error, once, in order.
    const std::string all = testsupport::readFile(echoed);
    EXPECT_EQ(all.size(), 300016u + 27u);
    EXPECT_EQ(all.compare(0, 17, "0123456789abcdef\n"), 0);
    EXPECT_EQ(all.substr(all.size() > 27 ? all.size() - 27 : 0), "update_data.sh: the reason\n");
}

TEST_F(UpdateScriptTest, ScriptOutlivingTheViewerFinishesItsWork) {
    // The script writes to its standard error and output only after the process that started it
    // has gone, and with it the reader of that process's console (a pipe here, as under a launcher).
    ASSERT_EQ(mkfifo(dir.file("gate").c_str(), 0600), 0);
    writeScript("read line < gate\necho 'update_data.sh: still here' >&2\necho 'update_data.sh: and here'\n"
                "touch marker\n");
    int console[2];
    ASSERT_EQ(pipe(console), 0);
    const pid_t viewer = fork();
    ASSERT_GE(viewer, 0);
    if (viewer == 0) {
        dup2(console[1], STDOUT_FILENO);
        dup2(console[1], STDERR_FILENO);
        close(console[0]);
        close(console[1]);
        _exit(runUpdateScript(false) ? 0 : 1);
    }
    close(console[0]);
    close(console[1]);
    int status = 0;
    ASSERT_EQ(waitpid(viewer, &status, 0), viewer);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);

    // Open the gate once the script is reading it (ENXIO until then), within 10 s.
    int gate = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((gate = open(dir.file("gate").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) < 0 &&
           errno == ENXIO && std::chrono::steady_clock::now() < deadline)
        usleep(5000);
    ASSERT_GE(gate, 0);
    ASSERT_EQ(write(gate, "go\n", 3), 3);
    close(gate);
    EXPECT_TRUE(appearsWithin("marker"));
}

TEST_F(UpdateScriptTest, FloodBeforeTheEndIsCutToItsTailSoTheReportComesAtOnce) {
    // 2 MB never read while the script ran: the reap passes on 1 MiB, says how much it skipped,
    // and reads the last 4 KiB for the reason.
    writeScript("yes 0123456789abcdef | head -c 2040000 >&2\necho 'update_data.sh: the reason' >&2\nexit 1\n");
    const std::string echoed = dir.file("echoed.txt");
    {
        StderrToFile capture(echoed);
        ASSERT_TRUE(runUpdateScript(false));
        EXPECT_EQ(reapWithin(1), 1);
    }
    EXPECT_EQ(lastUpdateScriptMessage(), "update_data.sh: the reason");
    const std::string all = testsupport::readFile(echoed);
    const std::string note = "\n[987355 bytes of update_data.sh output not shown]\n";  // 2040027 - 1 MiB - 4 KiB
    EXPECT_EQ(all.size(), 1048576u + note.size() + 4096u);
    EXPECT_EQ(all.find(note), 1048576u);
}
