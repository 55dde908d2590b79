// The file check's notion of a new forecast, the capture rectangle of "#" and the refresh script's
// failure line.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>

#include "Capture.h"
#include "Fixtures.h"
#include "Refresh.h"

namespace {

void setModified(const std::string& path, long long seconds, long nanoseconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(FileCheck, AFileIsNewWhenItsFullTimeOrSizeChangesAndOnlyThen) {
    testsupport::TempDir dir;
    const std::string path = dir.file("forecast.nc");
    FileStamp none;
    EXPECT_FALSE(readFileStamp(path.c_str(), none));  // missing: not new data
    EXPECT_EQ(none, FileStamp{});

    ASSERT_EQ(std::system(("printf 12345 > " + path).c_str()), 0);
    // After 2038 the low 32 bits go negative; the same file must still compare equal to itself.
    setModified(path, 2240524800LL, 500);
    FileStamp known, seen;
    ASSERT_TRUE(readFileStamp(path.c_str(), known));
    EXPECT_EQ(known.seconds, 2240524800LL);
    EXPECT_EQ(known.size, 5);
    ASSERT_TRUE(readFileStamp(path.c_str(), seen));
    EXPECT_EQ(seen, known);

    // A rewrite within the same second, and one of another size with the time put back.
    setModified(path, 2240524800LL, 501);
    ASSERT_TRUE(readFileStamp(path.c_str(), seen));
    EXPECT_NE(seen, known);
    ASSERT_EQ(std::system(("printf 123456 > " + path).c_str()), 0);
    setModified(path, 2240524800LL, 500);
    ASSERT_TRUE(readFileStamp(path.c_str(), seen));
    EXPECT_NE(seen, known);
    // 2^32 seconds later has the same low 32 bits.
    ASSERT_EQ(std::system(("printf 12345 > " + path).c_str()), 0);
    setModified(path, 2240524800LL - 4294967296LL, 500);
    ASSERT_TRUE(readFileStamp(path.c_str(), seen));
    EXPECT_NE(seen, known);
}

TEST(Capture, PresentationRectangleAndCaptureKeys) {
    const CaptureRect r = presentationCaptureRect(1834, 1030, 1920, 1080);
    EXPECT_EQ(r.x, 705);
    EXPECT_EQ(r.y, 181);
    EXPECT_EQ(r.width, 1024);
    EXPECT_EQ(r.height, 768);
    // A window smaller than the rectangle: (129, -123) is kept inside the frame buffer.
    const CaptureRect small = presentationCaptureRect(681, 421, 1920, 1080);
    EXPECT_EQ(small.x, 129);
    EXPECT_EQ(small.y, 0);
    // A screen narrower than the window was wide, and one smaller than the rectangle.
    const CaptureRect narrow = presentationCaptureRect(1920, 1080, 1280, 1024);
    EXPECT_EQ(narrow.x, 256);
    EXPECT_EQ(narrow.y, 206);
    const CaptureRect tiny = presentationCaptureRect(681, 421, 800, 600);
    EXPECT_EQ(tiny.x, 0);
    EXPECT_EQ(tiny.y, 0);
    EXPECT_EQ(tiny.width, 800);
    EXPECT_EQ(tiny.height, 600);
    for (unsigned char k : {'#', '*', 'H', 'v'}) EXPECT_TRUE(isCaptureKey(k)) << k;
    for (unsigned char k : {'h', 'V', '&', 'a'}) EXPECT_FALSE(isCaptureKey(k)) << k;
}

TEST(UpdateScriptReport, CleanExitSaysNothingFailuresSayHowTheyEnded) {
    EXPECT_EQ(updateScriptFailure(0), "");
    EXPECT_EQ(updateScriptFailure(1 << 8), "update_data.sh failed with exit status 1");
    EXPECT_EQ(updateScriptFailure(SIGKILL), "update_data.sh was ended by signal 9");
    // With the script's last line: its reason, not its name twice.
    EXPECT_EQ(updateScriptFailure(1 << 8, "update_data.sh: cannot reach nomads.ncep.noaa.gov: Could not resolve host"),
              "update_data.sh failed with exit status 1: cannot reach nomads.ncep.noaa.gov: Could not resolve host");
    EXPECT_EQ(updateScriptFailure(0, "update_data.sh: wrote ./forecast.nc"), "");
}

}  // namespace
