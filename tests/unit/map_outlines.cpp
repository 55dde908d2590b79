// Outline files of the map base layer and the grid projection that produces them.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "Fixtures.h"
#include "ForecastWriter.h"
#include "OutlineProjector.h"
#include "driftView.h"

using testsupport::TempDir;

namespace {

class OutlineFile : public ::testing::Test {
protected:
    // Loads `text` as an outline file; returns the messages printed.
    std::string load(const std::string& text) {
        testsupport::writeFile(dir.file("o.dat"), text);
        testing::internal::CaptureStderr();
        driftView::loadConfigFile(dir.file("o.dat").c_str(), y, x, count, lengths);
        return testing::internal::GetCapturedStderr();
    }
    TempDir dir;
    std::vector<std::vector<float>> x, y;
    int count = -1;
    std::vector<unsigned> lengths;
};

TEST_F(OutlineFile, TwoPolylinesAcrossLineBreaks) {
    EXPECT_EQ(load("1 120 200 121\n201 END 2 300 150\n301 150 302.5 151.25 END\nEND\n"), "N Lines :2\n");
    ASSERT_EQ(count, 2);
    ASSERT_EQ(lengths, (std::vector<unsigned>{2, 3}));
    EXPECT_EQ(x[0], (std::vector<float>{120, 121}));
    EXPECT_EQ(y[0], (std::vector<float>{200, 201}));
    EXPECT_EQ(x[1], (std::vector<float>{300, 301, 302.5f}));
    EXPECT_EQ(y[1], (std::vector<float>{150, 150, 151.25f}));
}

TEST_F(OutlineFile, OnlyEndAndEmptyFilesHoldNothing) {
    EXPECT_EQ(load("END\n"), "N Lines :0\n");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(load(""), "N Lines :0\n");
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(x.empty());
}

TEST_F(OutlineFile, AnOddCoordinateIsDroppedWithoutShiftingLaterPolylines) {
    load("7 1 2 3 END 8 10 20 30 40 END END");
    ASSERT_EQ(count, 2);
    EXPECT_EQ(lengths[0], 1u);  // (4 tokens - 1) / 2
    EXPECT_EQ(x[0], (std::vector<float>{1}));
    EXPECT_EQ(y[0], (std::vector<float>{2}));
    EXPECT_EQ(x[1], (std::vector<float>{10, 30}));
    EXPECT_EQ(y[1], (std::vector<float>{20, 40}));
}

TEST_F(OutlineFile, EndOfFileWithoutTheFinalEndReadsEverything) {
    load("1 5 6 7 8 END\n2 9 10 11 12 END");
    ASSERT_EQ(count, 2);
    EXPECT_EQ(x[1], (std::vector<float>{9, 11}));
    // A polyline cut off by the end of the file keeps its points.
    load("1 5 6 7 8 END 2 9 10 11 12");
    ASSERT_EQ(count, 2);
    EXPECT_EQ(y[1], (std::vector<float>{10, 12}));
}

TEST_F(OutlineFile, MoreThanFourHundredPolylinesAllKept) {
    std::ostringstream text;
    for (int i = 0; i < 1000; ++i) text << i << " " << i << " 1 " << i << " 2 END\n";
    text << "END\n";
    EXPECT_EQ(load(text.str()), "N Lines :1000\n");
    ASSERT_EQ(count, 1000);
    EXPECT_EQ(x[999][1], 999.0f);
    EXPECT_EQ(y[999][1], 2.0f);
}

TEST_F(OutlineFile, GarbageIsReportedWithTheFileNameAndEarlierPolylinesStay) {
    const std::string messages = load("1 1 2 3 4 END 2 5 6 seven 8 END 3 9 9 9 9 END END");
    EXPECT_NE(messages.find(dir.file("o.dat")), std::string::npos) << messages;
    EXPECT_NE(messages.find("seven"), std::string::npos) << messages;
    EXPECT_NE(messages.find("N Lines :2\n"), std::string::npos) << messages;
    ASSERT_EQ(count, 2);  // the first, and the pair read before the bad token
    EXPECT_EQ(x[1], (std::vector<float>{5}));

    load("abc 1 2 END END");  // a bad identifier
    EXPECT_EQ(count, 0);

    // Coordinates beyond float range or not numbers at all end the reading like any bad token;
    // the largest finite ones are kept.
    for (const char* bad : {"1e39", "-1e39", "inf", "nan"}) {
        SCOPED_TRACE(bad);
        const std::string said = load(std::string("1 3e38 -3e38 END 2 1 ") + bad + " END END");
        EXPECT_NE(said.find(bad), std::string::npos) << said;
        ASSERT_EQ(count, 1);
        EXPECT_EQ(x[0], (std::vector<float>{3e38f}));
    }
}

TEST_F(OutlineFile, BinaryGarbageGivesAShortPrintableMessage) {
    std::string binary = "1 1 2 END 2 ";
    binary += std::string("\x1b[2J\0\x01\xff", 7) + std::string(100000, 'A');
    binary += " 5 6 END END";
    const std::string said = load(binary);
    ASSERT_EQ(count, 1);
    EXPECT_NE(said.find(dir.file("o.dat")), std::string::npos);
    EXPECT_LT(said.size(), 300u);
    for (char c : said) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7f)) << static_cast<int>(c);
}

TEST_F(OutlineFile, MissingFileIsReportedAndLeavesTheSetEmpty) {
    x.assign(3, {1.0f});
    testing::internal::CaptureStderr();
    driftView::loadConfigFile(dir.file("absent.dat").c_str(), y, x, count, lengths);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "driftView::loadConfigFile() - Can't open file: " + dir.file("absent.dat") + "\nN Lines :0\n");
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(x.empty());
}

TEST(Grid218, FortyNorthHundredWestLandsOnItsKnownCell) {
    double col = 0, row = 0;
    forecastwriter::grid218Point(40.0, -100.0, col, row);
    EXPECT_NEAR(col, 310.45, 0.01);
    EXPECT_NEAR(row, 207.44, 0.01);
    double lat = 0, lon = 0;
    forecastwriter::grid218LatLon(col, row, lat, lon);
    EXPECT_NEAR(lat, 40.0, 1e-6);
    EXPECT_NEAR(lon, -100.0, 1e-6);
}

TEST(OutlineProjector, SegmentsAreProjectedAndSplitWhereTheyLeaveTheGrid) {
    // Segment 1 runs west from inside the grid to far outside it and back; segment 2 is one point.
    std::istringstream gmt(
        "> Shore Bin # 1, Level 1\n-100 40\n-101 40\n-175 40\n-176 40\n-102 40\n-103 40\n"
        "> Shore Bin # 2, Level 1\n-90 35\n");
    std::ostringstream out;
    EXPECT_EQ(outlines::projectSegments(gmt, out), 2);

    std::istringstream back(out.str());
    std::string token;
    std::vector<std::string> tokens;
    while (back >> token) tokens.push_back(token);
    ASSERT_EQ(tokens.size(), 13u);  // 2 x (id, 2 points, END) + END
    EXPECT_EQ(tokens[0], "1");
    EXPECT_NEAR(std::stod(tokens[1]), 310.45, 0.01);
    EXPECT_NEAR(std::stod(tokens[2]), 207.44, 0.01);
    EXPECT_EQ(tokens[6], "2");
    double col102 = 0, row102 = 0;
    forecastwriter::grid218Point(40.0, -102.0, col102, row102);
    EXPECT_NEAR(std::stod(tokens[7]), col102, 0.001);  // the piece after the gap starts at 102W
    EXPECT_NEAR(std::stod(tokens[8]), row102, 0.001);
    EXPECT_EQ(tokens[11], "END");
    EXPECT_EQ(tokens[12], "END");

    // What it writes reads back as the viewer reads it.
    TempDir dir;
    testsupport::writeFile(dir.file("p.dat"), out.str());
    std::vector<std::vector<float>> x, y;
    int count = 0;
    std::vector<unsigned> lengths;
    testing::internal::CaptureStderr();
    driftView::loadConfigFile(dir.file("p.dat").c_str(), y, x, count, lengths);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(count, 2);
    EXPECT_EQ(lengths, (std::vector<unsigned>{2, 2}));
}

}  // namespace
