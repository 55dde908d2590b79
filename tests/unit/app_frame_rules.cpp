#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "ForecastData.h"
#include "FrameLoop.h"
#include "Startup.h"

namespace {

// Frames that each take `drawMs` to draw on a millisecond clock: returns the sleeps after each.
std::vector<int> sleepsForSteadyFrames(int drawMs, int frames, bool recording = false) {
    std::int64_t clockMs = 1700000000000LL;
    double lastFrameTime = 0.0;
    std::vector<int> sleeps;
    for (int i = 0; i < frames; ++i) {
        clockMs += drawMs;
        const double now = static_cast<double>(clockMs / 1000) + static_cast<double>(clockMs % 1000) / 1000.0;
        const int sleep = pacingSleepMs(now, lastFrameTime, recording);
        lastFrameTime = now;
        clockMs += sleep;
        sleeps.push_back(sleep);
    }
    return sleeps;
}

}  // namespace

TEST(Pacing, SteadyTenMillisecondFramesSleepTenTwentyThirtyThenNone) {
    // The first frame follows no earlier one (lastFrameTime 0): no sleep. After that the measured
    // interval includes the previous sleep.
    const std::vector<int> sleeps = sleepsForSteadyFrames(10, 10);
    EXPECT_EQ(sleeps, (std::vector<int>{0, 10, 20, 30, 0, 10, 20, 30, 0, 10}));
}

TEST(Pacing, LongFramesAndRecordingAreNeverDelayed) {
    for (int s : sleepsForSteadyFrames(40, 6)) EXPECT_EQ(s, 0);
    for (int s : sleepsForSteadyFrames(36, 6)) EXPECT_EQ(s, 0);
    for (int s : sleepsForSteadyFrames(5, 12, /*recording=*/true)) EXPECT_EQ(s, 0);
    EXPECT_EQ(pacingSleepMs(100.035, 100.0, false), 35);  // the longest pause
    EXPECT_EQ(pacingSleepMs(100.036, 100.0, false), 0);
    EXPECT_EQ(pacingSleepMs(99.0, 100.0, false), 0);      // clock stepped back
}

TEST(IdleChecks, RunOnEveryHundredAndFirstCall) {
    unsigned int idleCount = 0;
    std::vector<int> dueAt;
    for (int call = 1; call <= 303; ++call)
        if (countIdleCall(idleCount)) dueAt.push_back(call);
    EXPECT_EQ(dueAt, (std::vector<int>{101, 202, 303}));
    EXPECT_EQ(idleCount, 0u);
}

TEST(ExitTime, OnlyAPassedTimeEndsTheProgram) {
    EXPECT_FALSE(exitTimeReached(-1, 1700000000));
    EXPECT_FALSE(exitTimeReached(1700000000, 1700000000));
    EXPECT_TRUE(exitTimeReached(1700000000, 1700000001));
    EXPECT_TRUE(exitTimeReached(0, 1700000000));
}

TEST(Seed, FixedByTheEnvironmentOtherwiseTheTime) {
    EXPECT_EQ(chooseSeed("12345", 1700000000), 12345u);
    EXPECT_EQ(chooseSeed("0", 1700000000), 0u);
    EXPECT_EQ(chooseSeed("4294967295", 1), 4294967295u);
    for (const char* bad : {static_cast<const char*>(nullptr), "", "abc", "12x", "-1", "4294967296"})
        EXPECT_EQ(chooseSeed(bad, 1700000000), 1700000000u) << (bad ? bad : "(unset)");
}

TEST(AnimationClock, PlaysToTheLastStepThenStartsAgainAtStepZero) {
    testsupport::TempDir dir;
    const std::string path = dir.file("forecast.nc");
    testsupport::writeForecast(path, forecastwriter::makeSampleForecast(testsupport::smallForecast(24, 18, 3)));
    ForecastData data;
    ASSERT_TRUE(data.load(path.c_str()));
    data.setTimeStep(0.05);

    // 40 frames of 1/20 step reach the last step (2.0) without wrapping.
    for (int frame = 1; frame <= 40; ++frame) ASSERT_FALSE(advanceAnimationClock(data)) << "frame " << frame;
    EXPECT_NEAR(data.getCurrentTime(), 2.0, 1e-9);
    // The next forward step overruns the end: that frame is drawn at time 0.
    EXPECT_TRUE(advanceAnimationClock(data));
    EXPECT_EQ(data.getCurrentTime(), 0.0);
    EXPECT_FALSE(advanceAnimationClock(data));
    EXPECT_NEAR(data.getCurrentTime(), 0.05, 1e-12);
}
