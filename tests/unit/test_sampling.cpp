// Sampling in space and time, slices, and the region of interest.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Fixtures.h"
#include "ForecastData.h"

using testsupport::TempDir;

namespace {

constexpr int NX = 10, NY = 8, NT = 4;

// Temperature = 100 t + 10 row + col: linear, so interpolation has a closed form.
class Sampling : public ::testing::Test {
protected:
    void SetUp() override {
        auto ds = forecastwriter::makeSampleForecast(testsupport::smallForecast(NX, NY, NT));
        auto& t = ds.find("TMP_2maboveground")->floats;
        for (int k = 0; k < NT; ++k)
            for (int r = 0; r < NY; ++r)
                for (int c = 0; c < NX; ++c) t[(k * NY + r) * NX + c] = 100.0f * k + 10.0f * r + c;
        testsupport::writeForecast(dir.file("f.nc"), ds);
        testing::internal::CaptureStderr();
        ASSERT_TRUE(fc.load(dir.file("f.nc").c_str()));
        testing::internal::GetCapturedStderr();
        field = fc.slotField(TEMPERATURE);
    }
    TempDir dir;
    ForecastData fc;
    const float* field = nullptr;
};

TEST_F(Sampling, NodesAreExactAndInteriorPointsInterpolate) {
    EXPECT_EQ(fc.sample(field, 3, 4, 2), 234.0f);
    EXPECT_EQ(fc.sample(field, 0, 0, 0), 0.0f);
    EXPECT_EQ(fc.sample(field, NY - 1, NX - 1, NT - 1), 379.0f);
    EXPECT_NEAR(fc.sample(field, 3.5f, 4.25f, 0), 39.25f, 1e-4);
    EXPECT_NEAR(fc.sample(field, 3.5f, 4.25f, 1.5f), 189.25f, 1e-4);
    EXPECT_NEAR(fc.sample(field, 6.9f, 8.1f, 2.75f), 352.1f, 1e-3);
}

TEST_F(Sampling, TheLastRowColumnAndStepRepeatInsteadOfExtrapolating) {
    // Between numRows - 1 and numRows: the last row's value.
    EXPECT_NEAR(fc.sample(field, 7.5f, 2, 0), 72.0f, 1e-4);
    EXPECT_NEAR(fc.sample(field, 3, 9.6f, 0), 39.0f, 1e-4);
    // At the last step and between it and numTimes only the last step is used.
    EXPECT_NEAR(fc.sample(field, 3, 4, 3), 334.0f, 1e-4);
    EXPECT_NEAR(fc.sample(field, 3, 4, 3.7f), 334.0f, 1e-4);
    // Exactly the dimension size reads the last cell rather than past the array.
    EXPECT_NEAR(fc.sample(field, NY, NX, NT), 379.0f, 1e-4);
}

TEST_F(Sampling, OutOfRangeAndNaNPositionsGiveZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(fc.sample(field, -0.01f, 3, 1), 0.0f);
    EXPECT_EQ(fc.sample(field, 3, -1, 1), 0.0f);
    EXPECT_EQ(fc.sample(field, 3, 3, -0.5f), 0.0f);
    EXPECT_EQ(fc.sample(field, NY + 0.01f, 3, 1), 0.0f);
    EXPECT_EQ(fc.sample(field, 3, NX + 1, 1), 0.0f);
    EXPECT_EQ(fc.sample(field, 3, 3, NT + 0.5f), 0.0f);
    EXPECT_EQ(fc.sample(field, nan, 3, 1), 0.0f);
    EXPECT_EQ(fc.sample(field, 3, nan, 1), 0.0f);
    EXPECT_EQ(fc.sample(field, 3, 3, nan), 0.0f);
    EXPECT_EQ(fc.sample(nullptr, 3, 3, 1), 0.0f);
}

TEST_F(Sampling, AccessorsApplyTheTimeArgumentFirst) {
    fc.setTimeStep(0.5);
    fc.setTime(1.0);
    EXPECT_NEAR(fc.temperatureAt(2, 2, -2), 122.0f, 1e-4);
    EXPECT_EQ(fc.getCurrentTime(), 1.0);
    EXPECT_NEAR(fc.temperatureAt(2, 2, -1), 172.0f, 1e-4);  // moved half a step first
    EXPECT_EQ(fc.getCurrentTime(), 1.5);
    EXPECT_NEAR(fc.sampleSlot(TEMPERATURE, 2, 2, 3), 322.0f, 1e-4);
    EXPECT_EQ(fc.getCurrentTime(), 3.0);
    EXPECT_EQ(fc.sampleSlot(NUM_SLOTS, 2, 2, -2), 0.0f);
    // The wind accessors read the derived fields.
    fc.setTime(0.0);
    const float u = fc.windUAt(4, 5, -2), v = fc.windVAt(4, 5, -2);
    EXPECT_NEAR(fc.windSpeedAt(4, 5, -2), std::hypot(u, v), 1e-4);
    EXPECT_NEAR(fc.windDirXAt(4, 5, -2), u / std::hypot(u, v), 1e-5);
    const float ju = fc.jetUAt(4, 5, -2), jv = fc.jetVAt(4, 5, -2);
    EXPECT_NEAR(fc.jetSpeedAt(4, 5, -2), std::hypot(ju, jv), 1e-3);
    EXPECT_NEAR(fc.jetDirYAt(4, 5, -2), jv / std::hypot(ju, jv), 1e-5);
}

TEST_F(Sampling, SlicesAreWholeStepsAndResampleInterpolatesInTime) {
    const float* s = fc.slotSlice(TEMPERATURE, 2.7);
    EXPECT_EQ(fc.getCurrentTime(), 2.7);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s, field + 2 * NY * NX);
    EXPECT_EQ(fc.temperatureSlice(-2), s);
    EXPECT_EQ(fc.windSpeedSlice(-2), fc.slotField(WIND_SPEED) + 2 * NY * NX);
    EXPECT_EQ(fc.slotSlice(-1, -2), nullptr);

    fc.setTime(1.25);
    const float* slice = fc.resampleSlice(field);
    ASSERT_EQ(slice, fc.getSlice());
    EXPECT_NEAR(slice[0], 125.0f, 1e-3);
    EXPECT_NEAR(slice[3 * NX + 7], 162.0f, 1e-3);
    EXPECT_NEAR(slice[NY * NX - 1], 204.0f, 1e-3);
    EXPECT_EQ(fc.getCurrentTime(), 1.25);
}

TEST_F(Sampling, RegionsAreClippedToTheGrid) {
    fc.setRegion(2, 5, 3, 8);
    EXPECT_EQ(fc.regionRows(), 4);
    EXPECT_EQ(fc.regionCols(), 6);
    EXPECT_FLOAT_EQ(fc.scaledRowMin(1.0f), 2.0f);
    EXPECT_FLOAT_EQ(fc.scaledRowMin(2.0f), 0.5f);   // centre 3.5, scaled about it
    EXPECT_FLOAT_EQ(fc.scaledColMin(0.5f), 4.25f);  // centre 5.5

    // The viewer's fixed region on a grid that lies wholly outside it: never an empty region.
    fc.setRegion(58, 328, 99, 588);
    EXPECT_EQ(fc.regionRowMin(), 0);
    EXPECT_EQ(fc.regionRowMax(), NY - 1);
    EXPECT_EQ(fc.regionColMin(), 0);
    EXPECT_EQ(fc.regionColMax(), NX - 1);
    fc.setRegion(-5, 3, 4, 400);
    EXPECT_EQ(fc.regionRowMin(), 0);
    EXPECT_EQ(fc.regionRowMax(), 3);
    EXPECT_EQ(fc.regionColMin(), 4);
    EXPECT_EQ(fc.regionColMax(), 9);
    fc.setRegion(-50, -10, 20, 30);  // no overlap at all: the whole axis
    EXPECT_EQ(fc.regionRowMin(), 0);
    EXPECT_EQ(fc.regionRowMax(), NY - 1);
    EXPECT_EQ(fc.regionColMin(), 0);
    EXPECT_EQ(fc.regionColMax(), NX - 1);
}

TEST_F(Sampling, ClampToRegionUsesTheScaledRegionAndTheGrid) {
    fc.setRegion(2, 6, 2, 8);  // centre (4, 5)
    float r = 3, c = 4;
    EXPECT_FALSE(fc.clampToRegion(r, c, 1.0f));
    r = 1, c = 9;
    EXPECT_TRUE(fc.clampToRegion(r, c, 1.0f));
    EXPECT_EQ(r, 2.0f);
    EXPECT_EQ(c, 8.0f);
    r = 6.5f, c = 1.5f;
    EXPECT_TRUE(fc.clampToRegion(r, c, 0.5f));  // rows 3..5, cols 3.5..6.5
    EXPECT_EQ(r, 5.0f);
    EXPECT_EQ(c, 3.5f);
    r = -3, c = 20;
    EXPECT_TRUE(fc.clampToRegion(r, c, 3.0f));  // scaled past the grid: the grid's edge
    EXPECT_EQ(r, 0.0f);
    EXPECT_EQ(c, 9.0f);
}

}  // namespace
