// The frames-to-video script on frames written by the frame writer.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "FrameWriter.h"

namespace {

std::string run(const std::string& cmd, int& status) {
    std::string out;
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return out;
    char buf[512];
    while (fgets(buf, sizeof buf, p)) out += buf;
    status = pclose(p);
    return out;
}

const std::string kScript = std::string(SKYLOOM_SOURCE_DIR) + "/scripts/frames_to_video.sh";

TEST(FramesToVideo, MakesAPlayableH264FileWithEvenSize) {
    testsupport::TempDir dir;
    ASSERT_EQ(system(("mkdir -p " + dir.file("Frames")).c_str()), 0);
    const int w = 65, h = 41;  // odd sizes: yuv420p needs them cropped
    std::vector<unsigned char> px(static_cast<size_t>(w) * h * 4);
    for (int n = 3; n < 13; ++n) {
        for (size_t i = 0; i < px.size(); i += 4) {
            px[i] = static_cast<unsigned char>(n * 20);
            px[i + 1] = static_cast<unsigned char>(i / 4 % w * 3);
            px[i + 2] = 90;
            px[i + 3] = 255;
        }
        std::string error;
        char name[64];
        std::snprintf(name, sizeof name, "Frames/Slide%05d.tiff", n);
        ASSERT_TRUE(FrameWriter::writeTiff(dir.file(name), px.data(), w, h, error)) << error;
    }
    int status = -1;
    std::string out = run("cd " + dir.path() + " && timeout 120 " + kScript + " --fps 12 out.mp4", status);
    ASSERT_EQ(status, 0) << out;
    out = run("timeout 60 ffprobe -v error -select_streams v:0 -count_frames -show_entries "
              "stream=codec_name,width,height,pix_fmt,nb_read_frames -of default=nw=1 " + dir.file("out.mp4"), status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("codec_name=h264"), std::string::npos) << out;
    EXPECT_NE(out.find("width=64"), std::string::npos) << out;
    EXPECT_NE(out.find("height=40"), std::string::npos) << out;
    EXPECT_NE(out.find("pix_fmt=yuv420p"), std::string::npos) << out;
    EXPECT_NE(out.find("nb_read_frames=10"), std::string::npos) << out;
}

TEST(FramesToVideo, RefusesMissingFramesAndBadOptions) {
    testsupport::TempDir dir;
    int status = -1;
    std::string out = run("cd " + dir.path() + " && " + kScript + " out.mp4", status);
    EXPECT_NE(status, 0);
    EXPECT_NE(out.find("no frame directory"), std::string::npos) << out;
    ASSERT_EQ(system(("mkdir -p " + dir.file("Frames")).c_str()), 0);
    out = run("cd " + dir.path() + " && " + kScript + " out.mp4", status);
    EXPECT_NE(status, 0);
    EXPECT_NE(out.find("no Slide*.tiff frames"), std::string::npos) << out;
    out = run(kScript + " --fps abc out.mp4", status);
    EXPECT_NE(status, 0);
    out = run(kScript + " --help", status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("--fps"), std::string::npos);
}

}  // namespace
