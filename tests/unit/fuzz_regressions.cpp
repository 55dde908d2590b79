// Each input here once made a reader reserve gigabytes or run for many seconds; the files live in
// tests/fuzz/regressions. Peak virtual size catches a huge allocation even when it is never touched.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "Texture.h"

namespace {

long long peakVirtualKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmPeak:", 0) == 0) return std::stoll(line.substr(7));
    return -1;
}

std::string regression(const char* name) { return std::string(SKYLOOM_SOURCE_DIR) + "/tests/fuzz/regressions/" + name; }

// Runs `read` in a child process, whose peak no earlier test has raised, and exits 0 when the peak
// grew by less than 256 MB.
template <typename Read>
void readAndExitOnPeakGrowth(Read read) {
    const long long before = peakVirtualKb();
    testing::internal::CaptureStderr();
    read();
    testing::internal::GetCapturedStderr();
    std::_Exit(peakVirtualKb() - before < 256 * 1024 ? 0 : 1);
}

}  // namespace

// A 172-byte JPEG claiming 29448 x 65496 pixels: refused from its header, nothing allocated or decoded.
TEST(FuzzRegressions, JpegClaimingAHugePictureIsRefusedBeforeDecoding) {
    const std::string path = regression("jpeg-huge-truncated.jpg");
    Texture t(GL_TEXTURE_2D);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(t.readJpeg(path.c_str()));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("pixels are refused"), std::string::npos);
    EXPECT_EQ(t.pixels, nullptr);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(readAndExitOnPeakGrowth([&] { t.readJpeg(path.c_str()); }), testing::ExitedWithCode(0), "");
}

// A 4 x 3 PNG whose text chunk after the pixels claims a length near 2 GB.
TEST(FuzzRegressions, PngChunkWithAHugeLengthGetsNoHugeBuffer) {
    const std::string path = regression("png-huge-chunk-length.png");
    Texture t(GL_TEXTURE_2D);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(readAndExitOnPeakGrowth([&] { t.readPng(path.c_str()); }), testing::ExitedWithCode(0), "");
}
