// scripts/update_data.sh, offline: RRFS and grid-218 NAM GRIB2 files made with eccodes are served
// from a local directory (or a file:// URL, byte ranges included) and must become a forecast.nc the
// viewer's loader accepts; every failure must leave the previous forecast.nc exactly as it was.
#include <gtest/gtest.h>
#include <netcdf.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "ForecastData.h"
#include "GribFixtures.h"
#include "HttpServer.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

const std::string kScript = std::string(SKYLOOM_SOURCE_DIR) + "/scripts/update_data.sh";
const std::string kMakeGrib = std::string(SKYLOOM_SOURCE_DIR) + "/tests/update_data/make_nam_grib.sh";
constexpr double kRun2024011512 = 1705320000.0;  // 2024-01-15 12:00 UTC

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

int exitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

struct Result {
    int status;
    std::string out, err;
};

class UpdateDataScript : public ::testing::Test {
protected:
    TempDir dir;
    const std::string forecast = dir.file("forecast.nc");

    void SetUp() override { fs::create_directory(dir.file("tmp")); }

    // Writes the run's hours into dir/NAME (made once per test; a few kilobytes each).
    std::string makeRun(const std::string& name, const std::string& cycle, const std::string& hours) {
        const std::string cmd = "timeout 120 bash " + quote(kMakeGrib) + " " + quote(dir.file(name)) + " " +
                                cycle + " " + hours + " >/dev/null";
        EXPECT_EQ(exitStatus(std::system(cmd.c_str())), 0) << cmd;
        return dir.file(name);
    }

    // Runs the script in the test directory with a private TMPDIR and no download retries.
    Result update(const std::string& args, const std::string& env = "") {
        const std::string cmd = "cd " + quote(dir.path()) + " && TMPDIR=" + quote(dir.file("tmp")) +
                                " SKYLOOM_UPDATE_RETRIES=0 SKYLOOM_UPDATE_TIMEOUT=30 SKYLOOM_INGEST=" +
                                quote(std::string(SKYLOOM_BUILD_DIR) + "/skyloom-ingest") + " " + env + " timeout 300 bash " +
                                quote(kScript) + " " + args + " >" + quote(dir.file("out.txt")) + " 2>" +
                                quote(dir.file("err.txt"));
        Result r{exitStatus(std::system(cmd.c_str())), readFile(dir.file("out.txt")), readFile(dir.file("err.txt"))};
        fs::remove(dir.file("out.txt"));
        fs::remove(dir.file("err.txt"));
        return r;
    }

    // Names in the test directory and its private TMPDIR: a run must leave no temporary behind.
    std::set<std::string> leftovers() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path())) names.insert(e.path().filename());
        for (const auto& e : fs::directory_iterator(dir.file("tmp"))) names.insert("tmp/" + e.path().filename().string());
        return names;
    }
};

TEST_F(UpdateDataScript, ConvertsALocalRunIntoTheForecastTheViewerLoads) {
    const std::string src = makeRun("grib", "2024011512", "0 3 6");
    const std::set<std::string> before = leftovers();
    const Result r = update("--source grib --cycle 2024011512 --hours 0,3,6");  // default output ./forecast.nc
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::set<std::string> after = before;
    after.insert("forecast.nc");
    EXPECT_EQ(leftovers(), after);

    ForecastData fd;
    ASSERT_TRUE(fd.load(forecast.c_str()));
    ASSERT_EQ(fd.numTimes(), 3);
    ASSERT_EQ(fd.numRows(), 428);
    ASSERT_EQ(fd.numCols(), 614);
    EXPECT_EQ(fd.timeValues(), (std::vector<double>{kRun2024011512, kRun2024011512 + 3 * 3600, kRun2024011512 + 6 * 3600}));
    EXPECT_TRUE(fd.hasMissingValue());
    EXPECT_EQ(fd.getMissingValue(), 9.999e20f);

    // Row 0 is the southern edge and columns run west to east, as in the GRIB (200 + FF + 0.1 row + 0.01 col).
    EXPECT_NEAR(fd.temperatureAt(0, 0, 0), 200.0f, 0.006f);
    EXPECT_NEAR(fd.temperatureAt(0, 613, 1), 203.0f + 6.13f, 0.006f);
    EXPECT_NEAR(fd.temperatureAt(427, 0, 2), 206.0f + 42.7f, 0.006f);
    EXPECT_NEAR(fd.temperatureAt(427, 613, 2), 206.0f + 42.7f + 6.13f, 0.006f);
    // The eight fields come from their own levels, not from the extra ones the filter returns
    // (TMP at 250 mb = 220 and at the surface = 290, a 3-hour precipitation bucket = 99).
    EXPECT_FLOAT_EQ(fd.windUAt(100, 200, 1), 1.5f);
    EXPECT_FLOAT_EQ(fd.windVAt(100, 200, 1), -2.5f);
    EXPECT_FLOAT_EQ(fd.jetUAt(100, 200, 1), 30.0f);
    EXPECT_FLOAT_EQ(fd.jetVAt(100, 200, 1), -10.0f);
    EXPECT_FLOAT_EQ(fd.pressureAt(50, 60, 2), 101060.0f);
    EXPECT_FLOAT_EQ(fd.cloudAt(50, 60, 1), 13.0f);
    EXPECT_FLOAT_EQ(fd.precipitationAt(50, 60, 0), 9.999e20f);  // hour 0 has none: fill
    EXPECT_FLOAT_EQ(fd.precipitationAt(50, 60, 1), 1.5f);
    EXPECT_FLOAT_EQ(fd.precipitationAt(50, 60, 2), 3.0f);  // 0-6 h total, not the 3-6 h bucket
    // Grid 218's first point is 12.190N 226.541E; the grid reaches about 57N in the north-east.
    EXPECT_NEAR(fd.latitudes().front(), 12.19, 1e-3);
    EXPECT_NEAR(std::fmod(fd.longitudes().front() + 360.0, 360.0), 226.541, 1e-3);
    EXPECT_GT(fd.latitudes().back(), 55.0);
    EXPECT_LT(fd.latitudes().back(), 60.0);

    // netCDF classic holding exactly what the loader reads, with wgrib2's fill on every field.
    int nc = 0, format = 0, nvars = 0;
    ASSERT_EQ(nc_open(forecast.c_str(), NC_NOWRITE, &nc), NC_NOERR);
    nc_inq_format(nc, &format);
    nc_inq_nvars(nc, &nvars);
    EXPECT_EQ(format, NC_FORMAT_CLASSIC);
    EXPECT_EQ(nvars, 11);
    int precip = 0;
    float fill = 0.0f;
    ASSERT_EQ(nc_inq_varid(nc, "APCP_surface", &precip), NC_NOERR);
    EXPECT_EQ(nc_get_att_float(nc, precip, "_FillValue", &fill), NC_NOERR);
    EXPECT_EQ(fill, 9.999e20f);
    nc_close(nc);
}

TEST_F(UpdateDataScript, PicksTheNewestCompleteRunAndRefusesFilesOfAnotherRun) {
    // t12z is complete; the t18z run of the same day has only hour 0, beside a t18z hour 3 left over
    // from the day before. File names alone cannot tell these apart.
    const std::string src = makeRun("grib", "2024011512", "0 3");
    makeRun("grib", "2024011518", "0");
    makeRun("grib", "2024011418", "3");

    Result r = update("--source grib --hours 0,3");
    ASSERT_EQ(r.status, 0) << r.err;
    ForecastData fd;
    ASSERT_TRUE(fd.load(forecast.c_str()));
    EXPECT_EQ(fd.timeValues(), (std::vector<double>{kRun2024011512, kRun2024011512 + 3 * 3600}));

    // The same run through curl, as from a mirror.
    fs::remove(forecast);
    r = update("--source " + quote("file://" + src) + " --cycle 2024011512 --hours 0,3");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(fd.load(forecast.c_str()));
    EXPECT_EQ(fd.timeValues(), (std::vector<double>{kRun2024011512, kRun2024011512 + 3 * 3600}));

    const std::string good = readFile(forecast);
    r = update("--source grib --cycle 2024011518 --hours 0,3");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("2024011418"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(forecast), good);
}

TEST_F(UpdateDataScript, FailuresLeaveThePreviousForecastByteForByte) {
    makeRun("grib", "2024011512", "0 3 6");
    makeRun("gap", "2024011512", "0 6");
    makeRun("corrupt", "2024011512", "0 3");
    fs::resize_file(dir.file("corrupt/nam.t12z.awphys03.tm00.grib2"),
                    fs::file_size(dir.file("corrupt/nam.t12z.awphys03.tm00.grib2")) / 2);
    makeRun("html", "2024011512", "0 3");
    writeFile(dir.file("html/nam.t12z.awphys00.tm00.grib2"), "<html><body>Data file is not present</body></html>\n");
    makeRun("lacking", "2024011512", "0 3");
    const std::string f3 = dir.file("lacking/nam.t12z.awphys03.tm00.grib2");
    ASSERT_EQ(std::system(("grib_copy -w shortName!=prmsl " + quote(f3) + " " + quote(f3 + ".x") + " && mv " +
                           quote(f3 + ".x") + " " + quote(f3)).c_str()),
              0);

    const std::string previous = "the forecast that is on screen\n";
    writeFile(forecast, previous);
    const std::set<std::string> before = leftovers();
    const struct {
        const char* args;
        const char* message;
    } cases[] = {
        {"--source grib --cycle 2024011512 --hours 0,3,6,9", "awphys09"},   // last hour not published
        {"--source gap --cycle 2024011512 --hours 0,3,6", "awphys03"},      // an hour in between missing
        {"--source corrupt --cycle 2024011512 --hours 0,3", "hour 3"},      // truncated GRIB2
        {"--source html --cycle 2024011512 --hours 0,3", "not a GRIB2 file"},
        {"--source lacking --cycle 2024011512 --hours 0,3", "lacks prmsl"},
        {"--source http://127.0.0.1:9 --cycle 2024011512 --hours 0,3", "127.0.0.1"},  // unreachable
        {"--source http://127.0.0.1:9 --hours 0,3", "cannot reach 127.0.0.1:9"},         // not asked again
        {"--source no-such-dir --hours 0,3", "neither a URL nor a directory"},
        {"--sample", "sample forecast tool"},  // no ./skyloom-sample-forecast here
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = update(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind("update_data.sh: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(readFile(forecast), previous);
        EXPECT_EQ(leftovers(), before);
    }
}

TEST_F(UpdateDataScript, FetchesOnlyTheRrfsMessagesItNeedsAndConvertsNamInAnyOrder) {
    // A complete 00 UTC run and a newer 06 UTC run still being published (hour 0 only).
    const gribfixture::RunFiles run = gribfixture::writeRrfsRun(dir.file("rrfs"), "2026120900", {0, 3, 6});
    gribfixture::writeRrfsRun(dir.file("rrfs"), "2026120906", {0});
    long idxBytes = 0;  // the last hour's inventories prove the run complete and are not asked for again
    for (size_t k = 0; k < 3; ++k) idxBytes += fs::file_size(run.twoD[k] + ".idx") + fs::file_size(run.prslev[k] + ".idx");
    const std::string fetched = "fetched " + std::to_string(run.wantedBytes + idxBytes) + " bytes";
    constexpr double k00 = 1796774400.0;  // 2026-12-09 00:00 UTC

    // Named, then the newest complete run from a mirror at 08:00 UTC, when the 06 UTC run is the
    // newest that may have begun: it is passed over for the complete 00 UTC one.
    const std::string mirror = "--source " + quote("file://" + dir.file("rrfs")) + " --hours 0,3,6";
    for (const std::string& args : {std::string("--source rrfs --cycle 2026120900 --hours 0,3,6"), mirror}) {
        SCOPED_TRACE(args);
        fs::remove(forecast);
        const Result r = update(args, "SKYLOOM_UPDATE_NOW=@" + std::to_string(long(k00) + 8 * 3600));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(fetched), std::string::npos) << r.out << " total " << run.totalBytes;
        EXPECT_EQ(r.out.find("run 2026120906 is not available yet") != std::string::npos, args == mirror) << r.out;
        ForecastData fd;
        ASSERT_TRUE(fd.load(forecast.c_str()));
        EXPECT_STREQ(fd.sourceName(), "NOAA NCEP Rapid Refresh Forecast System (RRFS)");
        EXPECT_EQ(fd.timeValues(), (std::vector<double>{k00, k00 + 3 * 3600, k00 + 6 * 3600}));
        double lat, lon;
        forecastwriter::grid218LatLon(300, 200, lat, lon);
        EXPECT_NEAR(fd.temperatureAt(200, 300, 2), gribfixture::rrfsTemperature(lat, lon, 6), 0.02);
        EXPECT_NEAR(fd.windSpeedAt(200, 300, 2), 10.0f, 0.05f);
        EXPECT_FLOAT_EQ(fd.pressureAt(200, 300, 2), 101060.0f);
        EXPECT_FLOAT_EQ(fd.precipitationAt(200, 300, 2), 3.0f);
        EXPECT_FLOAT_EQ(fd.cloudAt(200, 300, 2), 16.0f);  // the instantaneous record, listed after the average
    }

    // NAM hours with their messages shuffled; then a file on another grid is refused by name.
    fs::create_directory(dir.file("nam"));
    for (int h : {0, 1, 2})
        gribfixture::writeNamHour(dir.file("nam/nam.t12z.awphys0" + std::to_string(h) + ".tm00.grib2"), "2024011512", h,
                                  11 + h);
    Result r = update("--source nam --cycle 2024011512 --hours 0,1,2");
    ASSERT_EQ(r.status, 0) << r.err;
    ForecastData fd;
    ASSERT_TRUE(fd.load(forecast.c_str()));
    EXPECT_STREQ(fd.sourceName(), "NOAA NCEP North American Mesoscale (NAM)");
    EXPECT_EQ(fd.timeValues(), (std::vector<double>{kRun2024011512, kRun2024011512 + 3600, kRun2024011512 + 7200}));
    EXPECT_NEAR(fd.temperatureAt(427, 613, 2), 202.0f + 42.7f + 6.13f, 0.006f);
    EXPECT_FLOAT_EQ(fd.jetUAt(100, 200, 1), 30.0f);

    const std::string good = readFile(forecast);
    const std::set<std::string> before = leftovers();
    gribfixture::writeNamHour(dir.file("nam/nam.t12z.awphys01.tm00.grib2"), "2024011512", 1, 0,
                              gribfixture::Grid::LatLon);
    r = update("--source nam --cycle 2024011512 --hours 0,1,2");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("update_data.sh: hour 1: nam.t12z.awphys01.tm00.grib2 message 1: grid is regular"),
              std::string::npos) << r.err;
    EXPECT_NE(r.err.find("expected NCEP grid 218"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(forecast), good);
    EXPECT_EQ(leftovers(), before);
}

TEST_F(UpdateDataScript, RejectsBadArgumentsBeforeTouchingAnything) {
    writeFile(forecast, "previous\n");
    for (const char* args : {"--cycle 2024011513", "--cycle 2024023012", "--cycle 24011512", "--hours 3,0",
                             "--hours 0", "--hours 0,87", "--hours 0,,3", "--output", "--bogus"}) {
        SCOPED_TRACE(args);
        const Result r = update(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
        EXPECT_EQ(readFile(forecast), "previous\n");
    }
    const Result help = update("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--model", "--cycle", "--hours", "--source", "--output", "--sample"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

TEST_F(UpdateDataScript, SampleModeWritesTheSampleForecastOneRunAtATime) {
    writeFile(forecast, "previous\n");
    const std::string tool = std::string(SKYLOOM_BUILD_DIR) + "/skyloom-sample-forecast";
    {
        // Another update holds the directory: this one leaves everything to it.
        const int held = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(held, 0);
        ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
        const std::set<std::string> before = leftovers();
        const Result busy = update("--sample", "SKYLOOM_SAMPLE_FORECAST=" + quote(tool));
        close(held);
        EXPECT_EQ(busy.status, 1);
        EXPECT_NE(busy.err.find("already running"), std::string::npos) << busy.err;
        EXPECT_EQ(readFile(forecast), "previous\n");
        EXPECT_EQ(leftovers(), before);
    }
    const Result r = update("--sample", "SKYLOOM_SAMPLE_FORECAST=" + quote(tool));
    ASSERT_EQ(r.status, 0) << r.err;
    ForecastData fd;
    ASSERT_TRUE(fd.load(forecast.c_str()));
    EXPECT_GE(fd.numTimes(), 2);
    EXPECT_EQ(fd.numRows(), 428);
    EXPECT_EQ(fd.numCols(), 614);
}

}  // namespace

namespace {

using testsupport::HttpServer;

TEST_F(UpdateDataScript, HttpFaultsEachEndTheWayTheyShould) {
    // Run 00 complete (hours 0 and 3), run 06 begun: at 08:00 UTC 06 is tried first.
    gribfixture::writeRrfsRun(dir.file("www"), "2026120900", {0, 3});
    gribfixture::writeRrfsRun(dir.file("www"), "2026120906", {0});
    HttpServer server(dir.file("www"));
    const std::string now = "SKYLOOM_UPDATE_NOW=@" + std::to_string(1796774400L + 8 * 3600);
    const std::string run00 = "/rrfs.20261209/00/", grib2d = run00 + "rrfs.t00z.2dfld.13km.f003.na.grib2";
    const std::string previous = "the forecast that is on screen\n";
    writeFile(forecast, previous);
    const std::set<std::string> before = leftovers();

    const struct {
        const char* what;
        std::string prefix;
        HttpServer::Fault fault;
        const char* env;
        const char* message;  // on stdout when it works, on stderr when it fails
    } cases[] = {
        {"404 for the run being published: the run before", "/", HttpServer::Fault::None, "",
         "run 2026120906 is not available yet: rrfs.t06z.2dfld.13km.f003.na.grib2.idx: HTTP 404 from http"},
        {"503 once for every file, retried", run00, HttpServer::Fault::UnavailableOnce, "SKYLOOM_UPDATE_RETRIES=1",
         "RRFS run 2026120900"},
        {"Range ignored: the range cut from the whole file", grib2d, HttpServer::Fault::IgnoreRange, "",
         "RRFS run 2026120900"},
        {"a body cut short", grib2d, HttpServer::Fault::CutShort, "", "transfer closed with"},
        {"a reply that stalls", grib2d, HttpServer::Fault::Stall, "SKYLOOM_UPDATE_TIMEOUT=2", "cannot reach 127.0.0.1:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server.setFault(c.prefix, c.fault);
        const long asked = server.requests();
        const Result r = update("--source " + server.url() + " --hours 0,3", now + " " + c.env);
        server.setFault(c.prefix, HttpServer::Fault::None);
        if (std::string(c.message).rfind("RRFS run", 0) == 0 || c.fault == HttpServer::Fault::None) {
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
            if (c.fault == HttpServer::Fault::None) {  // many requests over a few reused connections
                long requests = 0, connections = 0;
                const std::size_t at = r.out.find("fetched ");
                ASSERT_NE(at, std::string::npos) << r.out;
                std::sscanf(r.out.c_str() + at, "fetched %*[0-9] bytes in %ld requests over %ld connections", &requests,
                            &connections);
                EXPECT_GE(requests, 2 * connections) << r.out;
                EXPECT_LE(connections, 6) << r.out;
            }
            ForecastData fd;
            ASSERT_TRUE(fd.load(forecast.c_str()));
            EXPECT_FLOAT_EQ(fd.pressureAt(200, 300, 1), 101030.0f);
            EXPECT_FLOAT_EQ(fd.cloudAt(200, 300, 1), 13.0f);
            EXPECT_FLOAT_EQ(fd.precipitationAt(200, 300, 1), 1.5f);
            writeFile(forecast, previous);
        } else {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err.rfind("update_data.sh: hour 3 of run 2026120900: ", 0), 0u) << r.err;
            EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
            EXPECT_EQ(readFile(forecast), previous);
        }
        EXPECT_EQ(leftovers(), before);
        // 06's probe (2), 00's inventories (4) and ranges; every file once more after a 503.
        if (c.fault == HttpServer::Fault::UnavailableOnce) {
            EXPECT_GE(server.requests() - asked, 2 * (2 + 4 + 4));
        }
    }

    // Connection refused and, with no network at all, the default servers: one line naming the
    // host and why, nothing asked twice, and the forecast as it was.
    const Result refused = update("--source http://127.0.0.1:9 --hours 0,3", now);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("cannot reach 127.0.0.1:9: "), std::string::npos) << refused.err;
    if (std::system("unshare -n true 2>/dev/null") != 0) GTEST_SKIP() << "no network namespace for the offline case";
    const Result offline = update("--hours 0,3", now + " unshare -n");
    EXPECT_EQ(offline.status, 1);
    EXPECT_EQ(offline.out, "");
    EXPECT_EQ(std::count(offline.err.begin(), offline.err.end(), '\n'), 1) << offline.err;
    EXPECT_NE(offline.err.find("cannot reach noaa-rrfs-ops-pds.s3.amazonaws.com: Could not resolve host"),
              std::string::npos) << offline.err;
    EXPECT_NE(offline.err.find("cannot reach nomads.ncep.noaa.gov: "), std::string::npos) << offline.err;
    EXPECT_EQ(readFile(forecast), previous);
    EXPECT_EQ(leftovers(), before);
}

}  // namespace
