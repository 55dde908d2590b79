// The GRIB2 -> forecast.nc converter on fixtures shaped like NCEP's files: values, winds and times
// checked against what the GRIB holds, not only names and shapes.
#include <gtest/gtest.h>
#include <eccodes.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "ForecastData.h"
#include "GribFixtures.h"
#include "Ingest.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRun2026120900 = 1796774400.0;  // 2026-12-09 00:00 UTC
constexpr double kRun2024011512 = 1705320000.0;  // 2024-01-15 12:00 UTC

// Concatenates files, as update_data.sh does with the fetched byte ranges of one hour.
std::string concat(const std::string& out, const std::vector<std::string>& parts) {
    std::string all;
    for (const std::string& p : parts) all += readFile(p);
    writeFile(out, all);
    return out;
}

// Values of the first message with this shortName, as ecCodes decodes them.
std::vector<double> gribValues(const std::string& path, const char* shortName) {
    std::vector<double> values;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    int err = 0;
    while (codes_handle* h = codes_handle_new_from_file(nullptr, f, PRODUCT_GRIB, &err)) {
        char name[64];
        size_t len = sizeof name;
        codes_get_string(h, "shortName", name, &len);
        if (values.empty() && std::string(name) == shortName) {
            size_t n = 0;
            codes_get_size(h, "values", &n);
            values.resize(n);
            codes_get_double_array(h, "values", values.data(), &n);
        }
        codes_handle_delete(h);
    }
    std::fclose(f);
    return values;
}

}  // namespace

TEST(IngestRrfs, RegridsOntoGrid218WithSmoothValuesEarthTrueWindsAndValidTimes) {
    TempDir dir;
    const std::vector<int> hours = {0, 3, 6};
    const gribfixture::RunFiles run = gribfixture::writeRrfsRun(dir.path(), "2026120900", hours);
    ingest::Options opt;
    opt.model = ingest::Model::Rrfs;
    opt.cycle = "2026120900";
    opt.hours = hours;
    for (size_t k = 0; k < hours.size(); ++k)
        opt.files.push_back(concat(dir.file("h" + std::to_string(k)), {run.twoD[k], run.prslev[k]}));
    opt.output = dir.file("forecast.nc");
    std::string error;
    ASSERT_TRUE(ingest::convert(opt, error)) << error;

    ForecastData fd;
    ASSERT_TRUE(fd.load(opt.output.c_str()));
    EXPECT_STREQ(fd.sourceName(), "NOAA NCEP Rapid Refresh Forecast System (RRFS)");
    ASSERT_EQ(fd.numRows(), 428);
    ASSERT_EQ(fd.numCols(), 614);
    EXPECT_EQ(fd.timeValues(), (std::vector<double>{kRun2026120900, kRun2026120900 + 3 * 3600, kRun2026120900 + 6 * 3600}));

    // Every grid-218 point, with its position from the project's own grid-218 formulas: the smooth
    // field within interpolation and packing error, and both winds still what they were on earth.
    // Lambert conformal: grid-relative (u, v) turn into earth-relative by n (lon - LoV). The
    // fixture domain's southern edge cuts off the Pacific south-west of grid 218: fill there only.
    const double n = std::sin(25.0 * kPi / 180.0);
    double worstT = 0.0, worstWest = 0.0, worstSouth = 0.0, worstSpeed = 0.0;
    int outside = 0;
    for (int row = 0; row < 428; ++row) {
        for (int col = 0; col < 614; ++col) {
            const float t = fd.temperatureAt(row, col, 1);
            if (t == ingest::kFill) {
                ++outside;
                EXPECT_TRUE(row < 120 && col < 300) << row << " " << col;
                EXPECT_EQ(fd.jetUAt(row, col, 1), ingest::kFill);
                continue;
            }
            double lat, lon;
            forecastwriter::grid218LatLon(col, row, lat, lon);
            worstT = std::max(worstT, std::fabs(t - gribfixture::rrfsTemperature(lat, lon, 3)));
            const double a = n * (lon + 95.0) * kPi / 180.0;
            auto earth = [&](double u, double v) {
                return std::atan2(-std::sin(a) * u + std::cos(a) * v, std::cos(a) * u + std::sin(a) * v) * 180.0 / kPi;
            };
            worstWest = std::max(worstWest, std::fabs(earth(fd.windUAt(row, col, 2), fd.windVAt(row, col, 2))));
            worstSouth = std::max(worstSouth, std::fabs(earth(fd.jetUAt(row, col, 2), fd.jetVAt(row, col, 2)) - 90.0));
            worstSpeed = std::max(worstSpeed, std::fabs(fd.windSpeedAt(row, col, 2) - 10.0));
        }
    }
    EXPECT_GT(outside, 0);
    EXPECT_LT(outside, 428 * 614 / 20);
    EXPECT_LT(worstT, 0.02);
    EXPECT_LT(worstWest, 1.0);   // blowing towards the east
    EXPECT_LT(worstSouth, 1.0);  // blowing towards the north
    EXPECT_LT(worstSpeed, 0.05);
    std::printf("outside %d, worst: T %.4f K, 10 m %.3f deg, 250 mb %.3f deg, speed %.4f m/s\n", outside, worstT,
                worstWest, worstSouth, worstSpeed);
    // MSLET stands in for PRMSL; the run total, not the 1-hour bucket; no precipitation at hour 0.
    EXPECT_FLOAT_EQ(fd.pressureAt(200, 300, 2), 101060.0f);
    EXPECT_FLOAT_EQ(fd.cloudAt(200, 300, 1), 13.0f);
    EXPECT_FLOAT_EQ(fd.precipitationAt(200, 300, 0), 9.999e20f);
    EXPECT_FLOAT_EQ(fd.precipitationAt(200, 300, 2), 3.0f);

}

TEST(IngestNam, CopiesGrid218AsItIsInAnyMessageOrderAndRefusesOtherGrids) {
    TempDir dir;
    ingest::Options opt;
    opt.model = ingest::Model::Nam;
    opt.cycle = "2024011512";
    opt.hours = {0, 1, 2};
    for (int h : opt.hours) {
        opt.files.push_back(dir.file("nam.t12z.awphys0" + std::to_string(h) + ".tm00.grib2"));
        gribfixture::writeNamHour(opt.files.back(), opt.cycle, h, h == 2 ? 0 : 7 + h);  // NCEP's order at hour 2
    }
    opt.output = dir.file("forecast.nc");
    std::string error;
    ASSERT_TRUE(ingest::convert(opt, error)) << error;

    ForecastData fd;
    ASSERT_TRUE(fd.load(opt.output.c_str()));
    EXPECT_STREQ(fd.sourceName(), "NOAA NCEP North American Mesoscale (NAM)");
    EXPECT_EQ(fd.timeValues(), (std::vector<double>{kRun2024011512, kRun2024011512 + 3600, kRun2024011512 + 7200}));
    for (int h : opt.hours) {
        const std::vector<double> t = gribValues(opt.files[h], "2t");
        ASSERT_EQ(t.size(), 614u * 428u);
        for (auto rc : {std::pair<int, int>{0, 0}, {0, 613}, {427, 0}, {427, 613}, {211, 305}})
            EXPECT_EQ(fd.temperatureAt(rc.first, rc.second, h), static_cast<float>(t[rc.first * 614 + rc.second]))
                << h << ": " << rc.first << " " << rc.second;
    }
    EXPECT_FLOAT_EQ(fd.windUAt(100, 200, 1), 1.5f);  // grid-relative, as NAM gives them
    EXPECT_FLOAT_EQ(fd.windVAt(100, 200, 1), -2.5f);
    EXPECT_FLOAT_EQ(fd.jetUAt(100, 200, 2), 30.0f);  // not the 200 mb wind
    EXPECT_FLOAT_EQ(fd.jetVAt(100, 200, 2), -10.0f);
    EXPECT_FLOAT_EQ(fd.pressureAt(5, 6, 2), 101020.0f);
    EXPECT_FLOAT_EQ(fd.precipitationAt(5, 6, 2), 1.0f);

    // A file on another grid: one line naming both grids, and the previous output untouched.
    const std::string before = readFile(opt.output);
    gribfixture::writeNamHour(opt.files[1], opt.cycle, 1, 0, gribfixture::Grid::LatLon);
    EXPECT_FALSE(ingest::convert(opt, error));
    EXPECT_NE(error.find("hour 1: nam.t12z.awphys01.tm00.grib2 message 1: grid is regular latitude-longitude"),
              std::string::npos) << error;
    EXPECT_NE(error.find("expected NCEP grid 218"), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(readFile(opt.output), before);
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_NE(e.path().filename().string()[0], '.') << e.path();  // no temporary left behind
}

// Found by fuzzing: damaged messages that ecCodes, reading several fields per message, freed twice
// (the converter aborted): a section running past the message's end, and a message whose last
// section is not the data section. Both are now refused before ecCodes reads the file.
TEST(IngestDamaged, MessagesWithBrokenSectionsAreRefusedBeforeEcCodesReadsThem) {
    TempDir dir;
    const struct {
        const char* file;
        const char* error;
    } cases[] = {
        {"grib-section-overrun.grib2", "message 5 (byte 764) has a damaged section at byte 801"},
        {"grib-section-out-of-order.grib2", "message 5 (byte 764) has a damaged section at byte 946"},
    };
    for (const auto& c : cases) {
        ingest::Options opt;
        opt.model = ingest::Model::Rrfs;
        opt.cycle = "2026120900";
        opt.hours = {3};
        opt.files = {std::string(SKYLOOM_SOURCE_DIR) + "/tests/fuzz/regressions/" + c.file};
        opt.output = dir.file("forecast.nc");
        std::string error;
        EXPECT_FALSE(ingest::convert(opt, error));
        EXPECT_EQ(error, "hour 3: " + std::string(c.file) + " is damaged: " + c.error);
        EXPECT_FALSE(fs::exists(opt.output));
    }
}
