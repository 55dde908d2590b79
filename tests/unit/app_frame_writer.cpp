// Frame files: names, TIFF layout, and files that cannot be written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <vector>

#include "Fixtures.h"
#include "FrameWriter.h"

namespace {

std::vector<unsigned char> pattern(int w, int h) {
    std::vector<unsigned char> px(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &px[(static_cast<size_t>(y) * w + x) * 4];
            p[0] = static_cast<unsigned char>(x);
            p[1] = static_cast<unsigned char>(y * 40);
            p[2] = static_cast<unsigned char>(x >> 8);
            p[3] = 255;
        }
    return px;
}

TEST(FrameWriter, FramePathsAreZeroPaddedToFiveDigits) {
    EXPECT_EQ(FrameWriter::framePath(0), "Frames/Slide00000.tiff");
    EXPECT_EQ(FrameWriter::framePath(42), "Frames/Slide00042.tiff");
    EXPECT_EQ(FrameWriter::framePath(123456), "Frames/Slide123456.tiff");
}

TEST(FrameWriter, TiffIsUncompressedRgbaTopRowFirstWithExactRows) {
    testsupport::TempDir dir;
    const int w = 1835, h = 5;  // a width that is not a multiple of 4
    const auto px = pattern(w, h);
    std::string error;
    const std::string path = dir.file("f.tiff");
    ASSERT_TRUE(FrameWriter::writeTiff(path, px.data(), w, h, error)) << error;

    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    uint32_t tw = 0, th = 0;
    uint16_t spp = 0, photo = 0, comp = 0, planar = 0, bps = 0, fmt = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &tw);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &th);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photo);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &comp);
    TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetField(tif, TIFFTAG_SAMPLEFORMAT, &fmt);
    EXPECT_EQ(tw, 1835u);
    EXPECT_EQ(th, 5u);
    EXPECT_EQ(spp, 4);
    EXPECT_EQ(photo, PHOTOMETRIC_RGB);
    EXPECT_EQ(comp, COMPRESSION_NONE);
    EXPECT_EQ(planar, PLANARCONFIG_CONTIG);
    EXPECT_EQ(bps, 8);
    EXPECT_EQ(fmt, SAMPLEFORMAT_UINT);
    ASSERT_EQ(TIFFScanlineSize(tif), static_cast<tmsize_t>(w) * 4);
    std::vector<unsigned char> row(static_cast<size_t>(w) * 4);
    for (uint32_t i = 0; i < th; ++i) {
        ASSERT_EQ(TIFFReadScanline(tif, row.data(), i, 0), 1);
        // File row i is buffer row h - 1 - i.
        EXPECT_TRUE(std::equal(row.begin(), row.end(), px.begin() + static_cast<long>(h - 1 - i) * w * 4)) << "row " << i;
    }
    TIFFClose(tif);
}

TEST(FrameWriter, AFileThatCannotBeCreatedIsReportedAndNotWritten) {
    testsupport::TempDir dir;
    const auto px = pattern(8, 8);
    std::string error;
    EXPECT_FALSE(FrameWriter::writeTiff(dir.file("Frames/Slide00000.tiff"), px.data(), 8, 8, error));
    EXPECT_FALSE(error.empty());

    if (geteuid() != 0) {  // root writes through permissions
        mkdir(dir.file("ro").c_str(), 0555);
        error.clear();
        EXPECT_FALSE(FrameWriter::writeTiff(dir.file("ro/x.tiff"), px.data(), 8, 8, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(FrameWriter, AFullDiskLeavesNoCutOffFile) {
    // A file-size limit makes writes fail the way a full disk does; done in a child so the limit
    // stays there.
    testsupport::TempDir dir;
    const std::string path = dir.file("big.tiff");
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &lim);
        const auto px = pattern(200, 200);  // 160 000 bytes
        std::string error;
        const bool ok = FrameWriter::writeTiff(path, px.data(), 200, 200, error);
        _exit(!ok && !error.empty() ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the write was reported as a success";
    struct stat st;
    EXPECT_NE(stat(path.c_str(), &st), 0) << "a cut-off frame was left behind";
}

}  // namespace
