// The time bar without drawing: step positions, scrubbing and snapping, play/pause, "Now", "Update",
// the font table and the timeline's labels. Local times use a fixed zone set here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "Fixtures.h"
#include "ForecastData.h"
#include "TimeBarControl.h"
#include "TimeBarLayout.h"

using testsupport::TempDir;

namespace {

// US Central time with its daylight-saving rule; 2024-01-15 00:00 CST is 06:00 UTC, a Monday.
const char* kCentral = "CST6CDT,M3.2.0,M11.1.0";
const double kMidnight = 1705298400.0;

void useZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
}

class LocalZone : public ::testing::Test {
protected:
    void SetUp() override { useZone(kCentral); }
    void TearDown() override { useZone("UTC"); }
};

bool loadForecast(const std::string& path, int steps, ForecastData& fc) {
    auto opt = testsupport::smallForecast(12, 9, steps);
    opt.start = static_cast<std::int64_t>(kMidnight);
    testsupport::writeForecast(path, forecastwriter::makeSampleForecast(opt));
    testing::internal::CaptureStderr();
    const bool ok = fc.load(path.c_str());
    testing::internal::GetCapturedStderr();
    return ok;
}

// 21 three-hourly steps from local midnight, loaded into a real dataset before the bar is built.
class TimeBarOnForecast : public LocalZone {
protected:
    void SetUp() override {
        LocalZone::SetUp();
        ASSERT_TRUE(loaded);
    }
    float xOf(double step) const { return bar.stepX(step); }
    TempDir dir;
    ForecastData fc;
    bool loaded = loadForecast(dir.file("f.nc"), 21, fc);
    TimeBarControl bar{fc};
};

TEST_F(TimeBarOnForecast, StepsSpreadEvenlyFromLeftToRight) {
    EXPECT_EQ(bar.getStepCount(), 21);
    EXPECT_FLOAT_EQ(bar.getLastIndex(), 20);
    EXPECT_FLOAT_EQ(xOf(0), -0.9f);
    EXPECT_FLOAT_EQ(xOf(20), 0.8f);
    EXPECT_NEAR(xOf(10), -0.05f, 1e-6);
    EXPECT_NEAR(xOf(4.3), -0.9f + 4.3f * 0.085f, 1e-6);
    EXPECT_FALSE(bar.isPlaying());
    bar.play();
    EXPECT_TRUE(bar.isPlaying());
}

TEST_F(TimeBarOnForecast, ClicksSnapToTheNearestStepDragsAndOtherButtonsDoNot) {
    const float y = -0.9f;
    bar.play();
    EXPECT_TRUE(bar.handleMouse(LeftButton, Pressed, xOf(4.3), y));
    EXPECT_DOUBLE_EQ(fc.getCurrentTime(), 4.0);
    EXPECT_FALSE(bar.isPlaying());
    EXPECT_TRUE(bar.handleMouse(LeftButton, Released, xOf(4.7), y));
    EXPECT_DOUBLE_EQ(fc.getCurrentTime(), 5.0);

    // Press, two motions (a drag), release at 4.3: the position stays between steps.
    bar.handleMouse(LeftButton, Pressed, xOf(2), y);
    bar.handleMouse(NoButton, Dragged, xOf(3), y);
    bar.handleMouse(NoButton, Dragged, xOf(4), -0.5f);  // motion counts wherever the pointer is
    EXPECT_NEAR(fc.getCurrentTime(), 4.0, 1e-5);
    bar.handleMouse(LeftButton, Released, xOf(4.3), y);
    EXPECT_NEAR(fc.getCurrentTime(), 4.3, 1e-5);

    EXPECT_TRUE(bar.handleMouse(RightButton, Pressed, xOf(4.3), y));
    EXPECT_NEAR(fc.getCurrentTime(), 4.3, 1e-5);

    // Beyond either end of the bar the position is clamped to the first or last step.
    bar.handleMouse(LeftButton, Pressed, 0.95f, -0.8f);
    EXPECT_DOUBLE_EQ(fc.getCurrentTime(), 20.0);
    bar.handleMouse(LeftButton, Pressed, -0.895f, y);
    EXPECT_DOUBLE_EQ(fc.getCurrentTime(), 0.0);
}

TEST(TimeBarSnapping, ExactlyHalfwayIsNotSnapped) {
    EXPECT_EQ(snapToStep(4.3), 4.0);
    EXPECT_EQ(snapToStep(4.7), 5.0);
    EXPECT_EQ(snapToStep(4.5), 4.5);
    EXPECT_EQ(snapToStep(7.0), 7.0);
    EXPECT_NEAR(scrubPosition(-0.9f + 4.3f * 0.085f, -0.9f, 0.8f, 20, RightButton, false), 4.3, 1e-5);
    EXPECT_EQ(scrubPosition(-0.9f + 4.3f * 0.085f, -0.9f, 0.8f, 20, LeftButton, false), 4.0);
    EXPECT_NEAR(scrubPosition(-0.9f + 4.3f * 0.085f, -0.9f, 0.8f, 20, LeftButton, true), 4.3, 1e-5);
}

TEST_F(TimeBarOnForecast, PlayPauseTogglesOnPressesLeftOfTheBarOnly) {
    EXPECT_TRUE(bar.handleMouse(LeftButton, Pressed, -0.95f, -0.9f));
    EXPECT_TRUE(bar.isPlaying());
    EXPECT_TRUE(bar.handleMouse(LeftButton, Released, -0.95f, -0.9f));
    EXPECT_TRUE(bar.isPlaying());
    EXPECT_TRUE(bar.handleMouse(RightButton, Pressed, -0.99f, -0.99f));
    EXPECT_FALSE(bar.isPlaying());
}

TEST_F(TimeBarOnForecast, NowFindsThePresentAndClampsAtBothEnds) {
    double now = kMidnight + 7.5 * 3600;
    bar.setClock([&now] { return now; });
    bar.play();
    const float nowX = 0.35f * -0.9f, y = -0.95f;
    EXPECT_TRUE(bar.handleMouse(LeftButton, Pressed, nowX, y));
    EXPECT_DOUBLE_EQ(fc.getCurrentTime(), 2.5);
    EXPECT_FALSE(bar.isPlaying());
    now = kMidnight + 100 * 3600;
    bar.handleMouse(LeftButton, Pressed, nowX, y);
    EXPECT_DOUBLE_EQ(fc.getCurrentTime(), 20.0);
    now = kMidnight - 3600;
    bar.handleMouse(LeftButton, Pressed, nowX, y);
    EXPECT_DOUBLE_EQ(fc.getCurrentTime(), 0.0);
    // The region answers even with the button hidden; a release there is passed on.
    bar.setNowButtonShown(false);
    now = kMidnight + 3 * 3600;
    EXPECT_TRUE(bar.handleMouse(LeftButton, Pressed, nowX, y));
    EXPECT_DOUBLE_EQ(fc.getCurrentTime(), 1.0);
    EXPECT_FALSE(bar.handleMouse(LeftButton, Released, nowX, y));
    EXPECT_FALSE(bar.handleMouse(LeftButton, Pressed, 0.5f, y)) << "right of the buttons";
    EXPECT_FALSE(bar.handleMouse(LeftButton, Pressed, nowX, 0.2f)) << "above the scrub band";
}

TEST_F(TimeBarOnForecast, UpdateStartsOneRefreshUntilTheEndIsReported) {
    int started = 0;
    bar.setUpdateFunction([&started] {
        ++started;
        return true;
    });
    const float updateX = 0.15f * -0.9f, y = -0.95f;
    EXPECT_TRUE(bar.handleMouse(LeftButton, Pressed, updateX, y));
    EXPECT_EQ(started, 1);
    EXPECT_FALSE(bar.isUpdateReady());
    EXPECT_TRUE(bar.handleMouse(LeftButton, Pressed, updateX, y)) << "consumed while updating";
    EXPECT_EQ(started, 1);

    bar.setUpdateReady(true);
    bar.setUpdateShown(false);
    EXPECT_TRUE(bar.handleMouse(LeftButton, Pressed, updateX, y));
    EXPECT_EQ(started, 1);
    bar.setUpdateShown(true);
    // Between the two buttons (0.3 left ... 0.25 left) nothing happens.
    EXPECT_TRUE(bar.handleMouse(LeftButton, Pressed, 0.27f * -0.9f, y));
    EXPECT_EQ(started, 1);
    EXPECT_TRUE(bar.handleMouse(LeftButton, Pressed, updateX, y));
    EXPECT_EQ(started, 2);
}

TEST_F(TimeBarOnForecast, ARefreshThatCannotStartLeavesTheButtonReady) {
    bar.setUpdateFunction([] { return false; });
    EXPECT_TRUE(bar.handleMouse(LeftButton, Pressed, 0.15f * -0.9f, -0.95f));
    EXPECT_TRUE(bar.isUpdateReady());
}

TEST_F(TimeBarOnForecast, ARebuildAfterAReloadTakesTheNewNumberOfSteps) {
    ASSERT_TRUE(loadForecast(dir.file("g.nc"), 5, fc));

    // Before the rebuild a click at the old last step may not reach past the new data.
    bar.handleMouse(LeftButton, Pressed, 0.8f, -0.9f);
    EXPECT_LE(fc.getCurrentTime(), 4.0);

    bar.rebuildTimeline();
    EXPECT_EQ(bar.getStepCount(), 5);
    EXPECT_FLOAT_EQ(bar.getLastIndex(), 4);
    bar.handleMouse(LeftButton, Pressed, bar.stepX(2), -0.9f);
    EXPECT_DOUBLE_EQ(fc.getCurrentTime(), 2.0);
}

TEST(TimeBarWithoutSteps, PositionsStayFinite) {
    ForecastData empty;
    TimeBarControl bar(empty);
    EXPECT_FLOAT_EQ(bar.stepX(0), -0.9f);
    EXPECT_FLOAT_EQ(timeBarX(0, -0.9f, 1.7f, 0), -0.9f) << "a single step sits at the left end";
    bar.setClock([] { return 1e9; });
    bar.handleMouse(LeftButton, Pressed, 0.3f, -0.9f);
    EXPECT_EQ(empty.getCurrentTime(), 0.0);
    bar.handleMouse(LeftButton, Pressed, 0.35f * -0.9f, -0.95f);
    EXPECT_EQ(empty.getCurrentTime(), 0.0);
    EXPECT_EQ(nowPosition(5000, 1000, 1000, 1), 0.0) << "equal step times give no division by zero";
}

TEST(TimeBarFonts, SwitchAtEveryBoundaryWidth) {
    using F = BitmapFont;
    struct Row {
        int w;
        F date, readout;
    };
    const Row rows[] = {{1023, F::Helvetica10, F::Helvetica10}, {1024, F::Helvetica10, F::Helvetica12},
                        {1279, F::Helvetica10, F::Helvetica12}, {1280, F::Helvetica12, F::Helvetica12},
                        {1439, F::Helvetica12, F::Helvetica12}, {1440, F::Helvetica12, F::Helvetica18},
                        {1549, F::Helvetica12, F::Helvetica18}, {1550, F::Helvetica18, F::Helvetica18},
                        {1799, F::Helvetica18, F::Helvetica18}, {1800, F::Helvetica18, F::TimesRoman24}};
    for (const Row& r : rows) {
        const TimeBarFonts f = timeBarFonts(r.w);
        EXPECT_EQ(f.dateLabel, r.date) << r.w;
        EXPECT_EQ(f.readout, r.readout) << r.w;
        EXPECT_EQ(f.small, F::Helvetica10) << r.w;
    }
}

TEST_F(TimeBarOnForecast, HourLabelsEverySecondStepWithHoursAheadWhenWide) {
    const auto wide = hourLabels(fc.timeValues(), 1280);
    ASSERT_EQ(wide.size(), 10u);
    EXPECT_EQ(wide[0].step, 2);
    EXPECT_EQ(wide[0].text, "06:00(+6h)");
    EXPECT_EQ(wide[1].text, "12:00(+12h)");
    EXPECT_EQ(wide[3].text, "00:00(+24h)");
    EXPECT_EQ(wide[9].step, 20);
    EXPECT_EQ(wide[9].text, "12:00(+60h)");
    const auto narrow = hourLabels(fc.timeValues(), 1279);
    ASSERT_EQ(narrow.size(), 10u);
    EXPECT_EQ(narrow[0].text, "06:00");
    EXPECT_EQ(narrow[9].text, "12:00");
    EXPECT_EQ(firstStepLabel(fc.timeValue(0)), "1/15/24 00:00");
}

TEST_F(TimeBarOnForecast, DayMarksAtEachLocalMidnight) {
    const auto marks = dayMarks(fc.timeValues());
    ASSERT_EQ(marks.size(), 3u);
    const int steps[] = {0, 8, 16};
    const char* dates[] = {"1/15/24", "1/16/24", "1/17/24"};
    const char* days[] = {"Monday", "Tuesday", "Wednesday"};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(marks[k].step, steps[k]);
        EXPECT_DOUBLE_EQ(marks[k].position, steps[k]);
        EXPECT_EQ(marks[k].date, dates[k]);
        EXPECT_STREQ(marks[k].weekday, days[k]);
    }
}

TEST(TimeBarDayMarks, TheWeekdayStartsAfterADateTooWideForItsUsualPlace) {
    // "12/10/26 " in Helvetica 18 (1550 px and wider) is 75 px: past the usual place 0.04 right.
    EXPECT_NEAR(weekdayX(0.2f, true, 75, 1550), 0.2f - 0.03f + 150.0f / 1550, 1e-6);
    EXPECT_NEAR(weekdayX(0.2f, true, 75, 1920), 0.2f - 0.03f + 150.0f / 1920, 1e-6);
    // A date that ends before it leaves the usual places, with and without the Now button.
    EXPECT_FLOAT_EQ(weekdayX(0.2f, true, 40, 1550), 0.24f);
    EXPECT_FLOAT_EQ(weekdayX(0.2f, false, 75, 1550), 0.27f);
}

TEST_F(LocalZone, AStepLateInTheEveningMarksTheComingMidnight) {
    const double h = 3600;
    // 22:30, 01:30, 04:30, ... and one series at 21:00, 00:00, ...
    auto late = dayMarks({kMidnight - 1.5 * h, kMidnight + 1.5 * h, kMidnight + 4.5 * h});
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].step, 0);
    EXPECT_DOUBLE_EQ(late[0].position, 0.5);
    EXPECT_EQ(late[0].date, "1/15/24");
    EXPECT_STREQ(late[0].weekday, "Monday");
    auto nine = dayMarks({kMidnight - 3 * h, kMidnight});
    ASSERT_EQ(nine.size(), 1u);
    EXPECT_EQ(nine[0].step, 1);
}

TEST_F(LocalZone, ReadoutNamesTheZoneInForceAtTheTimeShown) {
    const double july = kMidnight + 182 * 86400.0;  // 2024-07-15
    EXPECT_EQ(timeZoneName(kMidnight), "CST");
    EXPECT_EQ(timeZoneName(july), "CDT");
    EXPECT_EQ(readoutText(kMidnight + 13 * 3600 + 5 * 60, timeZoneName(kMidnight)), " 1/15/24   13:05  CST");
    EXPECT_EQ(modelLine("NAM", kMidnight + 61), "Data from the NAM model, downloaded 1/15/24 @ 00:01");
    useZone("UTC");
    EXPECT_EQ(timeZoneName(july), "UTC");
    EXPECT_EQ(readoutText(kMidnight, timeZoneName(kMidnight)), " 1/15/24   06:00  UTC");
}

TEST_F(LocalZone, OtherYearsAndSixHourlyStepsLabelTheirOwnTimes) {
    const double start = 820821600.0;  // 1996-01-05 00:00 CST
    std::vector<double> times;
    for (int i = 0; i < 9; ++i) times.push_back(start + i * 21600.0);
    const auto labels = hourLabels(times, 1280);
    ASSERT_EQ(labels.size(), 4u);
    EXPECT_EQ(labels[0].text, "12:00(+12h)");
    EXPECT_EQ(labels[1].text, "00:00(+24h)");
    EXPECT_EQ(hourLabels(times, 1279)[0].text, "12:00");
    EXPECT_EQ(firstStepLabel(start), "1/05/96 00:00");
    EXPECT_EQ(dayMarks(times).at(0).date, "1/05/96");
    EXPECT_EQ(readoutText(start, "CST"), " 1/05/96   00:00  CST");
    EXPECT_EQ(modelLine("NAM", start), "Data from the NAM model, downloaded 1/05/96 @ 00:00");
}

}  // namespace
