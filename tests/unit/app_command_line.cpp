#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "AppState.h"
#include "CommandLine.h"

namespace {

constexpr std::time_t kNow = 1700000000;  // 2023-11-14 22:13:20 UTC

// Arguments in heap blocks of exactly their own size, so a read past an argument's end is a real
// out-of-bounds access (and caught by the sanitizer build).
class Args {
public:
    Args(std::initializer_list<const char*> list) {
        storage.emplace_back(copy("skyloom"));
        for (const char* a : list) storage.emplace_back(copy(a));
        for (auto& s : storage) pointers.push_back(s.get());
    }
    int argc() const { return static_cast<int>(pointers.size()); }
    const char* const* argv() const { return pointers.data(); }

private:
    static std::unique_ptr<char[]> copy(const char* s) {
        const size_t n = std::strlen(s) + 1;
        std::unique_ptr<char[]> p(new char[n]);
        std::memcpy(p.get(), s, n);
        return p;
    }
    std::vector<std::unique_ptr<char[]>> storage;
    std::vector<const char*> pointers;
};

AppState parse(const Args& args, std::time_t now = kNow, int* updates = nullptr) {
    AppState state;
    parseCommandLine(args.argc(), args.argv(), state, [now] { return now; }, [updates] {
        if (updates) ++*updates;
    });
    return state;
}

// Runs the test body in a given time zone, restoring the previous one afterwards.
class TimeZone {
public:
    explicit TimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) {
            had = true;
            previous = old;
        }
        setenv("TZ", tz, 1);
        tzset();
    }
    ~TimeZone() {
        if (had)
            setenv("TZ", previous.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool had = false;
    std::string previous;
};

}  // namespace

TEST(CommandLine, NoArgumentsKeepWindowedStartWithUpdateButtonAndNoExit) {
    const AppState s = parse({});
    EXPECT_FALSE(s.startFullScreen);
    EXPECT_TRUE(s.showUpdateButton);
    EXPECT_EQ(s.exitTime, -1);
}

TEST(CommandLine, WindowOptionsAndTheirOrder) {
    AppState s = parse({"-i"});
    EXPECT_FALSE(s.startFullScreen);
    EXPECT_FALSE(s.showUpdateButton);

    s = parse({"-p"});
    EXPECT_TRUE(s.startFullScreen);
    EXPECT_FALSE(s.showUpdateButton);

    s = parse({"-fullscreen"});
    EXPECT_TRUE(s.startFullScreen);
    EXPECT_TRUE(s.showUpdateButton);

    s = parse({"-p", "-window"});
    EXPECT_FALSE(s.startFullScreen);
    EXPECT_FALSE(s.showUpdateButton);

    s = parse({"-window", "-p"});
    EXPECT_TRUE(s.startFullScreen);
    EXPECT_FALSE(s.showUpdateButton);

    s = parse({"-fullscreen", "-i"});
    EXPECT_FALSE(s.startFullScreen);
}

TEST(CommandLine, ShortOptionsMatchByPrefixLongOnesExactly) {
    AppState s = parse({"-interactive"});
    EXPECT_FALSE(s.showUpdateButton);
    s = parse({"-presentation"});
    EXPECT_TRUE(s.startFullScreen);

    s = parse({"-fullscreen2", "-Window", "fullscreen", "-", "", "-updates", "--update"});
    EXPECT_FALSE(s.startFullScreen);
    EXPECT_TRUE(s.showUpdateButton);
    EXPECT_EQ(s.exitTime, -1);

    s = parse({"-fullscreen", "-windowed"});
    EXPECT_TRUE(s.startFullScreen);
}

TEST(CommandLine, UpdateRunsTheScriptWhereItAppears) {
    int updates = 0;
    parse({"-update"}, kNow, &updates);
    EXPECT_EQ(updates, 1);

    updates = 0;
    parse({"-update", "-i", "-update"}, kNow, &updates);
    EXPECT_EQ(updates, 2);

    // The script runs during the scan: options before it are already in effect.
    AppState state;
    bool fullScreenAtUpdate = false;
    const Args args{"-p", "-update", "-window"};
    parseCommandLine(args.argc(), args.argv(), state, [] { return kNow; },
                     [&] { fullScreenAtUpdate = state.startFullScreen; });
    EXPECT_TRUE(fullScreenAtUpdate);
    EXPECT_FALSE(state.startFullScreen);
}

TEST(CommandLine, ExitAfterHoursTruncatesToWholeSeconds) {
    EXPECT_EQ(parse({"-k+0.5"}).exitTime, kNow + 1800);
    EXPECT_EQ(parse({"-k+2"}).exitTime, kNow + 7200);
    EXPECT_EQ(parse({"-k+0.0004"}).exitTime, kNow + 1);  // 1.44 s
    EXPECT_EQ(parse({"-k+0.0001"}).exitTime, kNow);      // 0.36 s
    EXPECT_EQ(parse({"-k+"}).exitTime, kNow);
    EXPECT_EQ(parse({"-k+1", "-k+3"}).exitTime, kNow + 3 * 3600);
}

TEST(CommandLine, EveryExitOptionReadsTheClockAgain) {
    AppState state;
    std::time_t clock = kNow;
    const Args args{"-k+1", "-k+1"};
    parseCommandLine(args.argc(), args.argv(), state, [&] { return clock += 100; }, nullptr);
    EXPECT_EQ(state.exitTime, kNow + 200 + 3600);
}

TEST(CommandLine, ExitAfterHoursOutOfRangeIsSafe) {
    EXPECT_EQ(parse({"-k+1e300"}).exitTime, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(parse({"-k+-1e300"}).exitTime, std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(parse({"-k+nan"}).exitTime, -1);
    EXPECT_EQ(parse({"-k+2", "-k+nan"}).exitTime, kNow + 7200);
}

TEST(CommandLine, ExitAtClockTimeKeepsTheCurrentSeconds) {
    TimeZone utc("UTC0");
    // Local time is 22:13:20.
    EXPECT_EQ(parse({"-k23"}).exitTime, kNow + (47 * 60));
    EXPECT_EQ(parse({"-k2300"}).exitTime, kNow + (47 * 60));
    EXPECT_EQ(parse({"-k2215"}).exitTime, kNow + 2 * 60);
    // Already past today: a time before now, so the first check exits.
    EXPECT_EQ(parse({"-k0930"}).exitTime, kNow + ((9 - 22) * 60 + (30 - 13)) * 60);
    EXPECT_LT(parse({"-k0930"}).exitTime, kNow);
}

TEST(CommandLine, ExitAtClockTimeUsesTheLocalZone) {
    TimeZone india("<+0530>-5:30");
    // 22:13:20 UTC is 03:43:20 at +05:30.
    EXPECT_EQ(parse({"-k0930"}).exitTime, kNow + ((9 - 3) * 60 + (30 - 43)) * 60);
    EXPECT_EQ(parse({"-k04"}).exitTime, kNow + ((4 - 3) * 60 + (0 - 43)) * 60);
}

TEST(CommandLine, ShortExitTimesNeverReadPastTheArgument) {
    TimeZone utc("UTC0");
    // Too short to hold an hour: ignored, an earlier exit time stays.
    EXPECT_EQ(parse({"-k"}).exitTime, -1);
    EXPECT_EQ(parse({"-k9"}).exitTime, -1);
    EXPECT_EQ(parse({"-k+1", "-k9"}).exitTime, kNow + 3600);
    // Digits are not validated: "-k093" has one minute character; the arithmetic uses the
    // terminator as the second, as for any other non-digit.
    EXPECT_EQ(parse({"-k093"}).exitTime, kNow + ((9 - 22) * 60 + ((3 * 10 + ('\0' - '0')) - 13)) * 60);
    // A fifth character below '0' means no minutes.
    EXPECT_EQ(parse({"-k23-5"}).exitTime, kNow + (47 * 60));
}

TEST(CommandLine, HelpIsAskedForOnlyByTheExactOptionAndListsEveryOption) {
    const Args help{"-i", "--help"};
    EXPECT_TRUE(helpRequested(help.argc(), help.argv()));
    const Args others{"--helpme", "-help", "--HELP"};
    EXPECT_FALSE(helpRequested(others.argc(), others.argv()));
    // Unknown arguments, "--help" among them for the parser, change nothing.
    const AppState s = parse(Args{"--help", "--helpme"});
    EXPECT_FALSE(s.startFullScreen);
    EXPECT_TRUE(s.showUpdateButton);
    const std::string text = usageText();
    for (const char* option : {"-k+H", "-kHH[MM]", "-i ", "-p ", "-fullscreen", "-window", "-update", "--help"})
        EXPECT_NE(text.find(option), std::string::npos) << option;
}
