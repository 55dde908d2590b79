// The sample forecast tool: layout, attributes, plausible ranges and times.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "Fixtures.h"
#include "ForecastData.h"
#include "ForecastWriter.h"

using testsupport::TempDir;

namespace {

int runTool(const std::string& args) {
    const std::string cmd = std::string(SKYLOOM_BUILD_DIR) + "/skyloom-sample-forecast " + args + " 2>/dev/null";
    return std::system(cmd.c_str());
}

std::string textAtt(int nc, const char* var, const char* att) {
    int id = NC_GLOBAL;
    if (nc_inq_varid(nc, var, &id) != NC_NOERR) return "<no variable>";
    size_t len = 0;
    if (nc_inq_attlen(nc, id, att, &len) != NC_NOERR) return "<no attribute>";
    std::string s(len, '\0');
    nc_get_att_text(nc, id, att, s.data());
    return s;
}

bool hasAtt(int nc, const char* var, const char* att) {
    int id = 0;
    return nc_inq_varid(nc, var, &id) == NC_NOERR && nc_inq_att(nc, id, att, nullptr, nullptr) == NC_NOERR;
}

std::pair<float, float> range(const float* f, size_t n) {
    float lo = INFINITY, hi = -INFINITY;
    for (size_t i = 0; i < n; ++i)
        if (f[i] < 1e20f) lo = std::min(lo, f[i]), hi = std::max(hi, f[i]);
    return {lo, hi};
}

TEST(SampleForecastTool, WritesTheNamLayoutWithPlausibleWeather) {
    TempDir dir;
    const std::string path = dir.file("forecast.nc");
    ASSERT_EQ(runTool(path + " --steps 4 --start 1700020800 --seed 3"), 0);

    int nc = -1;
    ASSERT_EQ(nc_open(path.c_str(), NC_NOWRITE, &nc), NC_NOERR);
    int format = 0, unlimited = -1;
    nc_inq_format(nc, &format);
    EXPECT_EQ(format, NC_FORMAT_CLASSIC);
    nc_inq_unlimdim(nc, &unlimited);
    char dimName[NC_MAX_NAME + 1] = {};
    nc_inq_dimname(nc, unlimited, dimName);
    EXPECT_STREQ(dimName, "time");
    EXPECT_EQ(textAtt(nc, "UGRD_10maboveground", "units"), "m/s");
    EXPECT_EQ(textAtt(nc, "PRMSL_meansealevel", "units"), "Pa");
    EXPECT_EQ(textAtt(nc, "TMP_2maboveground", "units"), "K");
    EXPECT_EQ(textAtt(nc, "TCDC_entireatmosphere_consideredasasinglelayer_", "units"), "%");
    EXPECT_TRUE(hasAtt(nc, "APCP_surface", "_FillValue"));
    EXPECT_FALSE(hasAtt(nc, "UGRD_10maboveground", "missing_value"));
    EXPECT_EQ(textAtt(nc, "time", "units").rfind("seconds since 1970-01-01 00:00:00", 0), 0u);
    nc_close(nc);

    ForecastData fc;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(fc.load(path.c_str()));
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(fc.numCols(), 614);
    ASSERT_EQ(fc.numRows(), 428);
    ASSERT_EQ(fc.numTimes(), 4);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(fc.timeValues()[k], 1700020800.0 + k * 10800.0);

    // Grid 218's corners.
    EXPECT_NEAR(fc.latitudes()[0], 12.190, 1e-3);
    EXPECT_NEAR(fc.longitudes()[0], -133.459, 1e-3);
    EXPECT_NEAR(fc.latitudes().back(), 57.328, 0.01);
    EXPECT_NEAR(fc.longitudes().back(), -49.420, 0.01);

    const size_t n = 4ul * 614 * 428, plane = 614ul * 428;
    auto p = range(fc.slotField(PRESSURE), n);
    EXPECT_GE(p.first, 96000.0f);
    EXPECT_LE(p.second, 104500.0f);
    EXPECT_LT(p.first, 100000.0f) << "no deep low";
    EXPECT_GT(p.second, 102000.0f) << "no high";
    auto w = range(fc.slotField(WIND_SPEED), n);
    EXPECT_LE(w.second, 25.01f);
    EXPECT_GT(w.second, 12.0f);
    auto j = range(fc.slotField(JET_SPEED), n);
    EXPECT_GE(j.second, 30.0f);
    EXPECT_LE(j.second, 80.01f);
    auto t = range(fc.slotField(TEMPERATURE), n);
    EXPECT_GE(t.first, 240.0f);
    EXPECT_LE(t.second, 315.0f);
    EXPECT_GT(t.second - t.first, 25.0f);
    auto c = range(fc.slotField(CLOUD_COVER), n);
    EXPECT_EQ(c.first, 0.0f);
    EXPECT_EQ(c.second, 100.0f);

    // Precipitation: all fill at the first step, then accumulating.
    const float* pr = fc.slotField(PRECIPITATION);
    EXPECT_TRUE(std::all_of(pr, pr + plane, [](float v) { return v == 9.999e20f; }));
    float total = 0;
    for (size_t q = plane; q < n; ++q) {
        if (q >= 2 * plane) {
            ASSERT_GE(pr[q], pr[q - plane]) << q;
        }
        total += pr[q];
    }
    EXPECT_GT(total, 0.0f);

    // The weather moves: the pressure field differs between the first and last steps.
    size_t changed = 0;
    for (size_t q = 0; q < plane; ++q) changed += std::fabs(fc.slotField(PRESSURE)[q] - fc.slotField(PRESSURE)[q + 3 * plane]) > 100.0f;
    EXPECT_GT(changed, plane / 10);
}

TEST(SampleForecastTool, OptionsSizeMissingValueAndMissingPoints) {
    TempDir dir;
    const std::string path = dir.file("f.nc");
    ASSERT_EQ(runTool(path + " --size 30x20 --steps 3 --step-hours 6 --start 1700020800 --missing-value --missing-points 25"), 0);
    int nc = -1;
    ASSERT_EQ(nc_open(path.c_str(), NC_NOWRITE, &nc), NC_NOERR);
    EXPECT_TRUE(hasAtt(nc, "UGRD_10maboveground", "missing_value"));
    nc_close(nc);
    ForecastData fc;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(fc.load(path.c_str()));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(fc.numCols(), 30);
    EXPECT_EQ(fc.numRows(), 20);
    EXPECT_EQ(fc.timeValue(2), 1700020800.0 + 12 * 3600.0);
    const float* s = fc.slotField(WIND_SPEED);
    const size_t zeros = std::count(s, s + 3 * 30 * 20, 0.0f);
    EXPECT_GE(zeros, 20u);  // 25 picks, a few may coincide
    EXPECT_LE(zeros, 25u);

    for (const char* bad : {"", "--size 0x5", "--size 12", "--steps 0", "--steps x", "--bogus"}) {
        SCOPED_TRACE(bad);
        EXPECT_NE(runTool(dir.file("g.nc") + " " + bad + (std::string(bad).empty() ? " --steps" : "")), 0);
    }
    EXPECT_NE(runTool(""), 0);  // no output named
}

TEST(SampleForecastTool, DefaultStartIsTheLatestSixHourCycle) {
    const long long cycle = 1700006400;  // 2023-11-15 00:00 UTC
    EXPECT_EQ(forecastwriter::latestCycle(cycle), cycle);
    EXPECT_EQ(forecastwriter::latestCycle(cycle + 21599), cycle);
    EXPECT_EQ(forecastwriter::latestCycle(cycle + 21600), cycle + 21600);
    EXPECT_EQ(forecastwriter::latestCycle(cycle - 1), cycle - 21600);
}

TEST(SampleForecastTool, GridPointsAndLatLonAreInverses) {
    for (double col : {0.0, 99.0, 306.5, 613.0})
        for (double row : {0.0, 58.0, 327.25, 427.0}) {
            double lat, lon, c, r;
            forecastwriter::grid218LatLon(col, row, lat, lon);
            forecastwriter::grid218Point(lat, lon, c, r);
            EXPECT_NEAR(c, col, 1e-6);
            EXPECT_NEAR(r, row, 1e-6);
        }
    double lat, lon;
    forecastwriter::grid218LatLon(0, 0, lat, lon);  // the first point as published
    EXPECT_NEAR(lat, 12.190, 1e-6);
    EXPECT_NEAR(lon, -133.459, 1e-6);
}

}  // namespace
