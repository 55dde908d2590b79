// The time argument encoding, clamping at both ends, and valid-time interpolation.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Fixtures.h"
#include "ForecastData.h"

using testsupport::TempDir;

namespace {

class TimeArgument : public ::testing::Test {
protected:
    void SetUp() override {
        auto opt = testsupport::smallForecast(12, 9, 5);
        testsupport::writeForecast(dir.file("f.nc"), forecastwriter::makeSampleForecast(opt));
        ASSERT_TRUE(fc.load(dir.file("f.nc").c_str()));
        start = static_cast<double>(opt.start);
    }
    TempDir dir;
    ForecastData fc;
    double start = 0;
};

TEST_F(TimeArgument, ForwardStepsRunToTheLastIndexThenReportTheEnd) {
    fc.setTimeStep(0.05);
    double r = 0;
    int calls = 0;
    while ((r = fc.setTime(-1)) >= 0 && calls < 1000) ++calls;
    EXPECT_EQ(r, -1.0);
    EXPECT_EQ(fc.getCurrentTime(), 4.0);
    // 4 / 0.05 = 80 steps; floating-point sums may land just short of 4 and take one more.
    EXPECT_GE(calls, 79);
    EXPECT_LE(calls, 81);
}

TEST_F(TimeArgument, BackwardStepAtTheStartReportsTheStartAndStaysThere) {
    EXPECT_EQ(fc.setTime(-3), -3.0);
    EXPECT_EQ(fc.getCurrentTime(), 0.0);
}

TEST_F(TimeArgument, JumpsGoToTheNearestWholeStep) {
    struct Case { double from, arg, to, result; } cases[] = {
        {2.3, -4, 3, 3}, {2.6, -4, 4, 4}, {2.5, -5, 3, 3}, {0.7, -6, 0, 0}, {0.2, -6, 0, -3}, {3.6, -4, 4, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "from " << c.from << " with " << c.arg);
        fc.setTime(c.from);
        EXPECT_EQ(fc.setTime(c.arg), c.result);
        EXPECT_EQ(fc.getCurrentTime(), c.to);
    }
}

TEST_F(TimeArgument, MinusTwoAndNonFiniteArgumentsKeepTheClock) {
    fc.setTime(1.25);
    EXPECT_EQ(fc.setTime(-2), 1.25);
    EXPECT_EQ(fc.setTime(std::numeric_limits<double>::quiet_NaN()), 1.25);
    EXPECT_EQ(fc.setTime(std::numeric_limits<double>::infinity()), 1.25);
    EXPECT_EQ(fc.setTime(-std::numeric_limits<double>::infinity()), 1.25);
    EXPECT_EQ(fc.getCurrentTime(), 1.25);
}

TEST_F(TimeArgument, RelativeMovesUseTheTimeStep) {
    EXPECT_EQ(fc.setTimeStep(0), 1.0);
    EXPECT_EQ(fc.setTimeStep(-1), 1.0);
    EXPECT_EQ(fc.setTimeStep(0.25), 0.25);
    EXPECT_EQ(fc.setTimeStep(0), 0.25);
    fc.setTime(2.0);
    EXPECT_DOUBLE_EQ(fc.setTime(-1), 2.25);
    EXPECT_DOUBLE_EQ(fc.setTime(-3), 2.0);
    EXPECT_DOUBLE_EQ(fc.setTime(-1.5), 2.125);  // half a step forward
}

TEST_F(TimeArgument, ClampsAtTheEndButKeepsTheSliver) {
    EXPECT_EQ(fc.setTime(4.00005), 4.00005);  // within numTimes - 0.9999: left alone
    EXPECT_EQ(fc.getCurrentTime(), 4.00005);
    EXPECT_EQ(fc.setTime(4.5), -1.0);
    EXPECT_EQ(fc.getCurrentTime(), 4.0);
    EXPECT_EQ(fc.setTime(1e12), -1.0);
    EXPECT_EQ(fc.getCurrentTime(), 4.0);
}

TEST_F(TimeArgument, ValidTimesInterpolateAndClampAtBothEnds) {
    const double h3 = 3 * 3600.0;
    EXPECT_DOUBLE_EQ(fc.timeValue(0), start);
    EXPECT_DOUBLE_EQ(fc.timeValue(1.5), start + 1.5 * h3);
    EXPECT_DOUBLE_EQ(fc.timeValue(4), start + 4 * h3);       // last index: no read past the array
    EXPECT_DOUBLE_EQ(fc.timeValue(4.7), start + 4 * h3);     // beyond the end
    EXPECT_DOUBLE_EQ(fc.timeValue(400), start + 4 * h3);
    fc.setTime(1.5);
    EXPECT_DOUBLE_EQ(fc.timeValue(-2), start + 1.5 * h3);    // now
    EXPECT_DOUBLE_EQ(fc.timeValue(-1), start + 2.5 * h3);    // one step later
    EXPECT_DOUBLE_EQ(fc.timeValue(-3), start + 0.5 * h3);    // one step earlier
    EXPECT_DOUBLE_EQ(fc.timeValue(-10), start);              // before the first step
    fc.setTime(4);
    EXPECT_DOUBLE_EQ(fc.timeValue(-1), start + 4 * h3);      // after the last step
    EXPECT_EQ(fc.getCurrentTime(), 4.0);                     // never moves the clock
}

TEST(TimeArgumentUnloaded, NothingLoadedIsSafe) {
    ForecastData fc;
    EXPECT_FALSE(fc.isLoaded());
    EXPECT_EQ(fc.timeValue(1.0), 0.0);
    EXPECT_EQ(fc.setTime(-1), -1.0);
    EXPECT_EQ(fc.getCurrentTime(), 0.0);
    EXPECT_EQ(fc.sampleSlot(TEMPERATURE, 0, 0, -2), 0.0f);
    EXPECT_EQ(fc.slotSlice(TEMPERATURE, -2), nullptr);
    EXPECT_EQ(fc.resampleSlice(fc.slotField(TEMPERATURE)), nullptr);
}

}  // namespace
