// Loading: derived winds, means, missing points, accepted formats, and bad files that must leave the
// loaded forecast untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include <netcdf.h>

#include "Fixtures.h"
#include "ForecastData.h"

using forecastwriter::Dataset;
using forecastwriter::ElementType;
using testsupport::TempDir;

namespace {

constexpr float kFill = 9.999e20f;

Dataset smallSample(int nx = 10, int ny = 8, int steps = 3) {
    return forecastwriter::makeSampleForecast(testsupport::smallForecast(nx, ny, steps));
}

// A 64-bit-offset file whose header declares 1000 steps of a 10000 x 10000 grid (over 5 TB of
// forecast in memory). Only one value is written, so the file is sparse and takes no disk space.
void writeHugeHeader(const std::string& path) {
    int nc = -1, old = 0, dims[3], id = -1;
    ASSERT_EQ(nc_create(path.c_str(), NC_CLOBBER | NC_64BIT_OFFSET, &nc), NC_NOERR);
    ASSERT_EQ(nc_set_fill(nc, NC_NOFILL, &old), NC_NOERR);
    nc_def_dim(nc, "time", NC_UNLIMITED, &dims[0]);
    nc_def_dim(nc, "y", 10000, &dims[1]);
    nc_def_dim(nc, "x", 10000, &dims[2]);
    for (const char* name : {"latitude", "longitude"}) nc_def_var(nc, name, NC_DOUBLE, 2, dims + 1, &id);
    nc_def_var(nc, "time", NC_DOUBLE, 1, dims, &id);
    for (const char* name : {"UGRD_10maboveground", "VGRD_10maboveground", "UGRD_250mb", "VGRD_250mb",
                             "TMP_2maboveground", "PRMSL_meansealevel", "APCP_surface",
                             "TCDC_entireatmosphere_consideredasasinglelayer_"})
        ASSERT_EQ(nc_def_var(nc, name, NC_FLOAT, 3, dims, &id), NC_NOERR);
    ASSERT_EQ(nc_enddef(nc), NC_NOERR);
    const size_t last[3] = {999, 9999, 9999};
    const float zero = 0;
    ASSERT_EQ(nc_put_var1_float(nc, id, last, &zero), NC_NOERR);
    ASSERT_EQ(nc_close(nc), NC_NOERR);
}

size_t at(int k, int r, int c, int ny = 8, int nx = 10) { return (static_cast<size_t>(k) * ny + r) * nx + c; }

// Mean of the speeds of the points that are not missing, worked out independently of the loader.
double meanSpeed(const std::vector<float>& u, const std::vector<float>& v, bool skipFill) {
    double sum = 0;
    size_t n = 0;
    for (size_t p = 0; p < u.size(); ++p) {
        if (skipFill && (u[p] == kFill || v[p] == kFill)) continue;
        if (!std::isfinite(u[p]) || !std::isfinite(v[p])) continue;
        sum += std::hypot(static_cast<double>(u[p]), static_cast<double>(v[p]));
        ++n;
    }
    return sum / n;
}

TEST(DatasetLoad, ReadsShapesTimesAndDerivesWinds) {
    TempDir dir;
    Dataset ds = smallSample();
    testsupport::writeForecast(dir.file("f.nc"), ds);
    ForecastData fc;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(fc.load(dir.file("f.nc").c_str()));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("initializing secondary data...\n"), std::string::npos);
    EXPECT_NE(err.find("done.\n"), std::string::npos);

    EXPECT_TRUE(fc.isLoaded());
    EXPECT_EQ(fc.numTimes(), 3);
    EXPECT_EQ(fc.numRows(), 8);
    EXPECT_EQ(fc.numCols(), 10);
    EXPECT_EQ(fc.getCurrentTime(), 0.0);
    EXPECT_EQ(fc.setTimeStep(0), 1.0);
    EXPECT_EQ(fc.regionRowMin(), 0);
    EXPECT_EQ(fc.regionRowMax(), 7);
    EXPECT_EQ(fc.regionColMax(), 9);
    EXPECT_STREQ(fc.sourceName(), "NOAA NCEP North American Mesoscale (NAM)");
    EXPECT_GT(fc.fileTime(), 1.6e9);  // a real modification time, not 0
    // wgrib2 files carry only _FillValue: it serves as the missing value.
    EXPECT_TRUE(fc.hasMissingValue());
    EXPECT_EQ(fc.getMissingValue(), kFill);

    const auto& u = ds.find("UGRD_10maboveground")->floats;
    const auto& v = ds.find("VGRD_10maboveground")->floats;
    const auto& ju = ds.find("UGRD_250mb")->floats;
    const auto& jv = ds.find("VGRD_250mb")->floats;
    const size_t p = at(1, 3, 4);
    const double s = std::hypot(static_cast<double>(u[p]), static_cast<double>(v[p]));
    EXPECT_FLOAT_EQ(fc.slotField(WIND_SPEED)[p], static_cast<float>(s));
    EXPECT_FLOAT_EQ(fc.slotField(WIND_DIR_X)[p], static_cast<float>(u[p] / s));
    EXPECT_FLOAT_EQ(fc.slotField(WIND_DIR_Y)[p], static_cast<float>(v[p] / s));
    const double js = std::hypot(static_cast<double>(ju[p]), static_cast<double>(jv[p]));
    EXPECT_FLOAT_EQ(fc.slotField(JET_SPEED)[p], static_cast<float>(js));
    EXPECT_FLOAT_EQ(fc.slotField(JET_DIR_Y)[p], static_cast<float>(jv[p] / js));
    EXPECT_NEAR(fc.slotMean(WIND_SPEED), meanSpeed(u, v, true), 1e-4);
    EXPECT_NEAR(fc.slotMean(JET_SPEED), meanSpeed(ju, jv, true), 1e-3);

    // Slots 0-3 point straight at the file's fields.
    EXPECT_EQ(fc.slotField(TEMPERATURE)[p], ds.find("TMP_2maboveground")->floats[p]);
    EXPECT_EQ(fc.slotField(PRESSURE)[p], ds.find("PRMSL_meansealevel")->floats[p]);
    EXPECT_EQ(fc.slotField(CLOUD_COVER)[p], ds.find("TCDC_entireatmosphere_consideredasasinglelayer_")->floats[p]);
    double tsum = 0;
    for (float t : ds.find("TMP_2maboveground")->floats) tsum += t;
    EXPECT_NEAR(fc.slotMean(TEMPERATURE), tsum / 240.0, 1e-3);
    EXPECT_EQ(fc.slotField(10), nullptr);
    EXPECT_EQ(fc.slotField(-1), nullptr);
}

TEST(DatasetLoad, MissingNonFiniteAndCalmWindPointsGetZeroSpeedAndDirection) {
    TempDir dir;
    Dataset ds = smallSample();
    auto& u = ds.find("UGRD_10maboveground")->floats;
    auto& v = ds.find("VGRD_10maboveground")->floats;
    auto& ju = ds.find("UGRD_250mb")->floats;
    auto& jv = ds.find("VGRD_250mb")->floats;
    const size_t calm = at(0, 1, 1), missU = at(1, 2, 2), missV = at(2, 5, 7), jetMiss = at(0, 4, 4);
    const size_t nanU = at(1, 6, 8), infV = at(2, 0, 9);
    u[nanU] = std::nanf("");
    v[infV] = INFINITY;
    u[calm] = v[calm] = 0.0f;
    u[missU] = kFill;
    v[missV] = kFill;
    jv[jetMiss] = kFill;
    for (auto* var : {ds.find("UGRD_10maboveground"), ds.find("VGRD_10maboveground")}) var->hasMissingValue = true;
    testsupport::writeForecast(dir.file("f.nc"), ds);

    ForecastData fc;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(fc.load(dir.file("f.nc").c_str()));
    testing::internal::GetCapturedStderr();
    for (size_t p : {calm, missU, missV, nanU, infV}) {
        SCOPED_TRACE(p);
        EXPECT_EQ(fc.slotField(WIND_SPEED)[p], 0.0f);
        EXPECT_EQ(fc.slotField(WIND_DIR_X)[p], 0.0f);
        EXPECT_EQ(fc.slotField(WIND_DIR_Y)[p], 0.0f);
    }
    // The jet pair is judged on its own: a missing jet point leaves the surface wind alone.
    EXPECT_EQ(fc.slotField(JET_SPEED)[jetMiss], 0.0f);
    EXPECT_EQ(fc.slotField(JET_DIR_X)[jetMiss], 0.0f);
    EXPECT_GT(fc.slotField(WIND_SPEED)[jetMiss], 0.0f);
    EXPECT_GT(fc.slotField(JET_SPEED)[missU], 0.0f);
    // Calm points count in the mean (speed 0); missing ones do not.
    EXPECT_NEAR(fc.slotMean(WIND_SPEED), meanSpeed(u, v, true), 1e-4);
    EXPECT_NEAR(fc.slotMean(JET_SPEED), meanSpeed(ju, jv, true), 1e-3);
}

TEST(DatasetLoad, WithoutAMissingValueNoPointIsMissing) {
    TempDir dir;
    Dataset ds = smallSample();
    ds.find("UGRD_10maboveground")->hasFillValue = false;
    auto& u = ds.find("UGRD_10maboveground")->floats;
    auto& v = ds.find("VGRD_10maboveground")->floats;
    u[at(1, 1, 1)] = 0.0f;
    v[at(1, 1, 1)] = 3.0f;
    testsupport::writeForecast(dir.file("f.nc"), ds);
    ForecastData fc;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(fc.load(dir.file("f.nc").c_str()));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "initializing secondary data...\ndone.\n");  // nothing about the absent attribute
    EXPECT_FALSE(fc.hasMissingValue());
    EXPECT_EQ(fc.getMissingValue(), 0.0f);
    EXPECT_FLOAT_EQ(fc.slotField(WIND_SPEED)[at(1, 1, 1)], 3.0f);
    EXPECT_FLOAT_EQ(fc.slotField(WIND_DIR_Y)[at(1, 1, 1)], 1.0f);
}

TEST(DatasetLoad, FillAndNonFiniteValuesStayOutOfTheFieldMeans) {
    TempDir dir;
    Dataset ds = smallSample();
    // The first step of precipitation is all fill, as NAM's is; a damaged file adds NaN and infinity.
    auto& pr = ds.find("APCP_surface")->floats;
    pr[100] = std::nanf("");
    pr[101] = INFINITY;
    pr[102] = -INFINITY;
    testsupport::writeForecast(dir.file("f.nc"), ds);
    ForecastData fc;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(fc.load(dir.file("f.nc").c_str()));
    testing::internal::GetCapturedStderr();
    double sum = 0;
    for (size_t p = 80; p < pr.size(); ++p)
        if (p < 100 || p > 102) sum += pr[p];
    EXPECT_EQ(pr[0], kFill);
    EXPECT_NEAR(fc.slotMean(PRECIPITATION), sum / 157.0, 1e-3);
}

TEST(DatasetLoad, OtherNetcdfFormatsWithTheRightLayoutAreAccepted) {
    for (auto format : {forecastwriter::FileFormat::Offset64, forecastwriter::FileFormat::NetCDF4}) {
        TempDir dir;
        Dataset ds = smallSample();
        ds.format = format;
        testsupport::writeForecast(dir.file("f.nc"), ds);
        ForecastData fc;
        testing::internal::CaptureStderr();
        EXPECT_TRUE(fc.load(dir.file("f.nc").c_str()));
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(fc.numCols(), 10);
    }
}

TEST(DatasetLoad, ASecondLoadReplacesEverythingAndResetsTheClock) {
    TempDir dir;
    testsupport::writeForecast(dir.file("a.nc"), smallSample(10, 8, 3));
    testsupport::writeForecast(dir.file("b.nc"), smallSample(14, 11, 4));
    ForecastData fc;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(fc.load(dir.file("a.nc").c_str()));
    fc.setTimeStep(0.05);
    fc.setTime(1.5);
    fc.setRegion(2, 5, 3, 8);
    ASSERT_TRUE(fc.load(dir.file("b.nc").c_str()));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(fc.numTimes(), 4);
    EXPECT_EQ(fc.numRows(), 11);
    EXPECT_EQ(fc.numCols(), 14);
    EXPECT_EQ(fc.getCurrentTime(), 0.0);
    EXPECT_EQ(fc.setTimeStep(0), 1.0);
    EXPECT_EQ(fc.regionRowMax(), 10);
    EXPECT_EQ(fc.regionColMax(), 13);
    ASSERT_NE(fc.getSlice(), nullptr);
    fc.resampleSlice(fc.slotField(PRESSURE));
    EXPECT_EQ(fc.getSlice()[14 * 11 - 1], fc.slotField(PRESSURE)[14 * 11 - 1]);
    fc.unload();
    EXPECT_FALSE(fc.isLoaded());
    EXPECT_EQ(fc.numTimes(), 0);
    EXPECT_EQ(fc.slotField(TEMPERATURE), nullptr);
    fc.unload();  // twice is harmless
}

// A reload read a piece per call, as the viewer does between frames: the forecast in use stays
// whole until the last piece, then the result is exactly a load in one go.
TEST(DatasetLoad, APieceByPieceLoadLeavesTheForecastInUseUntilItIsWhole) {
    TempDir dir;
    testsupport::writeForecast(dir.file("a.nc"), smallSample(10, 8, 3));
    testsupport::writeForecast(dir.file("b.nc"), smallSample(14, 11, 4));
    ForecastData fc, direct;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(fc.load(dir.file("a.nc").c_str()));
    ASSERT_TRUE(direct.load(dir.file("b.nc").c_str()));
    const float before = fc.temperatureAt(3.5f, 4.25f, 1.5);
    ASSERT_TRUE(fc.beginLoad(dir.file("b.nc").c_str()));
    int calls = 0;
    ForecastData::LoadState state;
    while ((state = fc.continueLoad(0)) == ForecastData::LoadState::Reading) {
        ++calls;
        ASSERT_EQ(fc.numCols(), 10);
        ASSERT_EQ(fc.temperatureAt(3.5f, 4.25f, 1.5), before);
    }
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(state, ForecastData::LoadState::Done);
    EXPECT_EQ(calls, 4 * 8 - 1);  // one field of one step per call
    EXPECT_FALSE(fc.loadPending());
    ASSERT_EQ(fc.numCols(), 14);
    const size_t n = 14 * 11 * 4;
    for (int slot = 0; slot < NUM_SLOTS; ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(std::memcmp(fc.slotField(slot), direct.slotField(slot), n * sizeof(float)), 0);
        EXPECT_EQ(fc.slotMean(slot), direct.slotMean(slot));
    }
    EXPECT_EQ(fc.jetUAt(5, 6, 2.5), direct.jetUAt(5, 6, 2.5));

    EXPECT_EQ(fc.continueLoad(0), ForecastData::LoadState::Idle);
}

// At start the forecast is taken once its first steps are in (the temperature of every step
// included, for the scale's centre); the rest is read between frames, or at once when the clock
// needs it. Either way the result is exactly a load in one go.
TEST(DatasetLoad, AStartLoadTakesTheFirstStepsAndReadsTheRestBeforeItIsUsed) {
    TempDir dir;
    testsupport::writeForecast(dir.file("b.nc"), smallSample(14, 11, 4));
    ForecastData direct, jumped, streamed;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(direct.load(dir.file("b.nc").c_str()));
    ASSERT_TRUE(jumped.loadStart(dir.file("b.nc").c_str(), 2));
    ASSERT_TRUE(streamed.loadStart(dir.file("b.nc").c_str(), 2));
    testing::internal::GetCapturedStderr();
    const size_t plane = 14 * 11, n = plane * 4;
    auto same = [&](const ForecastData& f, size_t count) {
        for (int slot = 0; slot < NUM_SLOTS; ++slot)
            if (std::memcmp(f.slotField(slot), direct.slotField(slot), count * sizeof(float)) != 0) return false;
        return true;
    };
    ASSERT_TRUE(jumped.isLoaded());
    EXPECT_TRUE(jumped.loadingInPlace());
    EXPECT_EQ(jumped.numTimes(), 4);
    EXPECT_EQ(jumped.slotMean(TEMPERATURE), direct.slotMean(TEMPERATURE));
    EXPECT_TRUE(same(jumped, 2 * plane));
    EXPECT_EQ(std::memcmp(jumped.slotField(TEMPERATURE), direct.slotField(TEMPERATURE), n * sizeof(float)), 0);

    EXPECT_NEAR(jumped.windSpeedAt(5, 6, 2.5), direct.windSpeedAt(5, 6, 2.5), 0);  // the clock reaches step 3
    EXPECT_FALSE(jumped.loadPending());
    EXPECT_TRUE(same(jumped, n));
    for (int slot = 0; slot < NUM_SLOTS; ++slot) EXPECT_EQ(jumped.slotMean(slot), direct.slotMean(slot)) << slot;

    ForecastData::LoadState state;
    while ((state = streamed.continueLoad(0)) == ForecastData::LoadState::Reading) {
    }
    EXPECT_EQ(state, ForecastData::LoadState::Done);
    EXPECT_TRUE(same(streamed, n));
    EXPECT_EQ(streamed.slotMean(JET_SPEED), direct.slotMean(JET_SPEED));

    // A reload while the start is still reading ("&", or a new file): the forecast in use is read
    // whole first, never dropped half-read, and then the new one replaces it.
    testsupport::writeForecast(dir.file("c.nc"), smallSample(14, 11, 3));
    ForecastData reloaded, other;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(other.load(dir.file("c.nc").c_str()));
    ASSERT_TRUE(reloaded.loadStart(dir.file("b.nc").c_str(), 2));
    ASSERT_TRUE(reloaded.beginLoad(dir.file("c.nc").c_str()));
    EXPECT_FALSE(reloaded.loadingInPlace());
    EXPECT_TRUE(same(reloaded, n));  // b, whole, while c is read
    while (reloaded.continueLoad(0) == ForecastData::LoadState::Reading) {
    }
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(reloaded.numTimes(), 3);
    EXPECT_EQ(std::memcmp(reloaded.slotField(WIND_SPEED), other.slotField(WIND_SPEED), plane * 3 * sizeof(float)), 0);
}

// Each bad file: one line naming the file and the problem, and the forecast already loaded stays.
TEST(DatasetLoad, BadFilesAreRefusedAndTheLoadedForecastStays) {
    TempDir dir;
    const std::string good = dir.file("good.nc");
    Dataset ds = smallSample();
    testsupport::writeForecast(good, ds);
    const std::string goodBytes = testsupport::readFile(good);

    struct Bad {
        const char* name;
        const char* expect;  // part of the message
        std::function<void(const std::string&)> make;
    };
    auto variant = [&](std::function<void(Dataset&)> change) {
        return [change](const std::string& path) {
            Dataset d = smallSample();
            change(d);
            testsupport::writeForecast(path, d);
        };
    };
    const Bad cases[] = {
        {"missing.nc", "not found", [](const std::string&) {}},
        {"empty.nc", "not a readable netCDF file", [](const std::string& p) { testsupport::writeFile(p, ""); }},
        {"text.nc", "not a readable netCDF file", [](const std::string& p) { testsupport::writeFile(p, "temperature,pressure\n280,1013\n"); }},
        {"truncated-header.nc", "", [&](const std::string& p) { testsupport::writeFile(p, goodBytes.substr(0, 300)); }},
        {"truncated-data.nc", "", [&](const std::string& p) { testsupport::writeFile(p, goodBytes.substr(0, goodBytes.size() / 2)); }},
        {"truncated-end.nc", "", [&](const std::string& p) { testsupport::writeFile(p, goodBytes.substr(0, goodBytes.size() - 100)); }},
        // The times ahead of the fields in each record: a cut in the last record leaves them whole,
        // and the library would read the rest as fill.
        {"truncated-last-record.nc", "file truncated", [](const std::string& p) {
             Dataset d = smallSample();
             std::stable_partition(d.vars.begin(), d.vars.end(), [](const forecastwriter::Variable& v) { return v.name == "time"; });
             testsupport::writeForecast(p, d);
             const std::string bytes = testsupport::readFile(p);
             testsupport::writeFile(p, bytes.substr(0, bytes.size() - 8));
         }},
        {"novar.nc", "\"TCDC_entireatmosphere_consideredasasinglelayer_\" is missing",
         variant([](Dataset& d) { d.remove("TCDC_entireatmosphere_consideredasasinglelayer_"); })},
        {"notime.nc", "\"time\" is missing", variant([](Dataset& d) { d.remove("time"); })},
        {"double.nc", "\"TMP_2maboveground\" has element type", variant([](Dataset& d) { d.retype("TMP_2maboveground", ElementType::Double); })},
        {"floatlat.nc", "\"latitude\" has element type", variant([](Dataset& d) { d.retype("latitude", ElementType::Float); })},
        {"shape.nc", "\"APCP_surface\" has shape", variant([](Dataset& d) {
             d.dims.push_back({"x2", 9, false});
             auto* v = d.find("APCP_surface");
             v->dims = {"time", "y", "x2"};
             v->floats.resize(3 * 8 * 9);
         })},
        {"rank.nc", "\"VGRD_250mb\" has 2 dimensions", variant([](Dataset& d) {
             auto* v = d.find("VGRD_250mb");
             v->dims = {"y", "x"};
             v->floats.resize(80);
         })},
        {"latshape.nc", "do not match the grid", variant([](Dataset& d) {
             d.dims.push_back({"y2", 7, false});
             auto* v = d.find("longitude");
             v->dims = {"y2", "x"};
             v->doubles.resize(70);
         })},
        {"onestep.nc", "at least 2", [](const std::string& p) {
             testsupport::writeForecast(p, forecastwriter::makeSampleForecast(testsupport::smallForecast(10, 8, 1)));
         }},
        {"zerosteps.nc", "at least 2", [](const std::string& p) {
             testsupport::writeForecast(p, forecastwriter::makeSampleForecast(testsupport::smallForecast(10, 8, 0)));
         }},
        {"times.nc", "not strictly increasing", variant([](Dataset& d) {
             auto& t = d.find("time")->doubles;
             t[2] = t[1];
         })},
        {"backwards.nc", "not strictly increasing", variant([](Dataset& d) {
             auto& t = d.find("time")->doubles;
             std::swap(t[0], t[2]);
         })},
        {"huge.nc", "need more memory than this machine has", writeHugeHeader},
    };

    ForecastData fc;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(fc.load(good.c_str()));
    testing::internal::GetCapturedStderr();
    fc.setTimeStep(0.05);
    fc.setTime(1.35);
    fc.setRegion(1, 6, 2, 8);
    const float before = fc.temperatureAt(3.5f, 4.25f, -2);
    const double fileTime = fc.fileTime();

    for (const Bad& b : cases) {
        SCOPED_TRACE(b.name);
        const std::string path = dir.file(b.name);
        b.make(path);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(fc.load(path.c_str()));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(path), std::string::npos) << err;
        EXPECT_NE(err.find(b.expect), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_TRUE(fc.isLoaded());
        EXPECT_EQ(fc.numTimes(), 3);
        EXPECT_EQ(fc.numCols(), 10);
        EXPECT_EQ(fc.getCurrentTime(), 1.35);
        EXPECT_EQ(fc.setTimeStep(0), 0.05);
        EXPECT_EQ(fc.regionRowMin(), 1);
        EXPECT_EQ(fc.regionColMax(), 8);
        EXPECT_EQ(fc.fileTime(), fileTime);
        EXPECT_EQ(fc.temperatureAt(3.5f, 4.25f, -2), before);
    }
}

TEST(DatasetLoad, ABadFileWithNothingLoadedLeavesItUnloaded) {
    TempDir dir;
    testsupport::writeFile(dir.file("x.nc"), "CDF\001garbage");
    ForecastData fc(dir.file("x.nc").c_str());
    EXPECT_FALSE(fc.isLoaded());
    EXPECT_EQ(fc.numTimes(), 0);
}

}  // namespace

namespace {

// Fuzzer finds: classic headers whose name lengths overflow the netCDF library's fixed buffers
// (stack smashing, segmentation fault). They must be refused before the library sees them.
TEST(DatasetLoad, HeadersWithOverlongNamesAreRefusedBeforeTheLibraryReadsThem) {
    testsupport::TempDir dir;
    const std::string good = dir.file("good.nc");
    testsupport::writeForecast(good, smallSample());
    ForecastData fc;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(fc.load(good.c_str()));
    for (const char* name : {"forecast-long-name-1.nc", "forecast-long-name-2.nc"}) {
        const std::string path = std::string(SKYLOOM_SOURCE_DIR) + "/tests/fuzz/regressions/" + name;
        EXPECT_FALSE(fc.load(path.c_str())) << name;
    }
    // A header cut short inside its variable list is refused the same way.
    const std::string bytes = testsupport::readFile(good);
    testsupport::writeFile(dir.file("cut.nc"), bytes.substr(0, 200));
    EXPECT_FALSE(fc.load(dir.file("cut.nc").c_str()));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("characters long"), std::string::npos) << err;
    EXPECT_TRUE(fc.isLoaded());
    EXPECT_EQ(fc.numCols(), 10);
}

}  // namespace
