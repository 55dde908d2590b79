// Which byte ranges the refresh downloads, from inventories laid out as NCEP's product generation
// writes them: the same table picks the records here and in the converter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Records.h"

using ingest::ByteRange;
using ingest::RrfsFile;

namespace {

struct Line {
    const char* var;
    const char* level;
    std::string time;
};

// An inventory with message k at offset 1000 k; "u+v" puts two fields in one message (N.1, N.2).
std::string inventory(const std::vector<Line>& lines, const std::string& run = "2026120900") {
    std::string out;
    int n = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const std::string off = std::to_string(1000 * k);
        if (std::string(lines[k].var) == "u+v") {
            ++n;
            out += std::to_string(n) + ".1:" + off + ":d=" + run + ":UGRD:" + lines[k].level + ":" + lines[k].time + ":\n";
            out += std::to_string(n) + ".2:" + off + ":d=" + run + ":VGRD:" + lines[k].level + ":" + lines[k].time + ":\n";
            continue;
        }
        out += std::to_string(++n) + ":" + off + ":d=" + run + ":" + lines[k].var + ":" + lines[k].level + ":" +
               lines[k].time + ":\n";
    }
    return out;
}

std::vector<ByteRange> select(const std::string& inv, RrfsFile file, int hour, std::string* error = nullptr) {
    std::vector<ByteRange> r;
    std::string e;
    if (!ingest::selectRanges(inv, file, "2026120900", hour, r, e)) {
        if (error) *error = e;
        r.clear();
    }
    return r;
}

ByteRange msg(long k) { return {1000 * k, 1000 * k + 999}; }

// A 2dfld hour with the cloud and precipitation records given.
std::vector<Line> twoD(int hour, std::vector<Line> cloudAndRain) {
    const std::string t = hour == 0 ? "anl" : std::to_string(hour) + " hour fcst";
    std::vector<Line> l = {{"PRES", "surface", t}, {"TMP", "2 m above ground", t}, {"DPT", "2 m above ground", t},
                           {"UGRD", "10 m above ground", t}, {"VGRD", "10 m above ground", t},
                           {"MSLET", "mean sea level", t}};
    l.insert(l.end(), cloudAndRain.begin(), cloudAndRain.end());
    l.push_back({"WEASD", "surface", t});
    return l;
}

}  // namespace

TEST(RrfsInventory, PicksInstantCloudAndRunTotalRainByMeaningWhateverTheOrder) {
    const char* tcc = "entire atmosphere (considered as a single layer)";
    // TMP 1, UGRD 3 + VGRD 4 + MSLET 5 merged; the wanted cloud and rain after them.
    EXPECT_EQ(select(inventory(twoD(6, {{"TCDC", tcc, "5-6 hour ave fcst"}, {"TCDC", tcc, "6 hour fcst"},
                                        {"APCP", "surface", "5-6 hour acc fcst"}, {"APCP", "surface", "0-6 hour acc fcst"}})),
                     RrfsFile::TwoD, 6),
              (std::vector<ByteRange>{msg(1), {3000, 5999}, msg(7), msg(9)}));
    EXPECT_EQ(select(inventory(twoD(6, {{"TCDC", tcc, "6 hour fcst"}, {"TCDC", tcc, "5-6 hour ave fcst"},
                                        {"APCP", "surface", "0-6 hour acc fcst"}, {"APCP", "surface", "5-6 hour acc fcst"}})),
                     RrfsFile::TwoD, 6),
              (std::vector<ByteRange>{msg(1), {3000, 6999}, msg(8)}));
    // Whole days print as days; hour 1 has its one bucket, which is the total.
    for (const auto& [hour, total] : std::vector<std::pair<int, const char*>>{
             {1, "0-1 hour acc fcst"}, {3, "0-3 hour acc fcst"}, {24, "0-1 day acc fcst"}, {48, "0-2 day acc fcst"},
             {72, "0-3 day acc fcst"}}) {
        SCOPED_TRACE(hour);
        const std::string bucket = std::to_string(hour - 1) + "-" + std::to_string(hour) + " hour acc fcst";
        std::vector<Line> rain = {{"TCDC", tcc, std::to_string(hour) + " hour fcst"}};
        if (hour > 1) rain.push_back({"APCP", "surface", bucket});
        rain.push_back({"APCP", "surface", total});
        EXPECT_EQ(select(inventory(twoD(hour, rain)), RrfsFile::TwoD, hour),
                  hour > 1 ? (std::vector<ByteRange>{msg(1), {3000, 6999}, msg(8)})
                           : (std::vector<ByteRange>{msg(1), {3000, 7999}}));
    }
    // The analysis has no precipitation; PRMSL is taken over MSLET where both are listed.
    std::vector<Line> anl = twoD(0, {{"TCDC", tcc, "anl"}});
    EXPECT_EQ(select(inventory(anl), RrfsFile::TwoD, 0), (std::vector<ByteRange>{msg(1), {3000, 6999}}));
    anl.insert(anl.begin() + 2, {"PRMSL", "mean sea level", "anl"});
    EXPECT_EQ(select(inventory(anl), RrfsFile::TwoD, 0), (std::vector<ByteRange>{{1000, 2999}, {4000, 5999}, msg(7)}));

    std::string error;
    EXPECT_TRUE(select(inventory(twoD(6, {{"TCDC", tcc, "5-6 hour ave fcst"}})), RrfsFile::TwoD, 6, &error).empty());
    EXPECT_NE(error.find("lists no TCDC"), std::string::npos) << error;
    EXPECT_TRUE(select(inventory(twoD(6, {{"TCDC", tcc, "6 hour fcst"}, {"APCP", "surface", "5-6 hour acc fcst"}})),
                       RrfsFile::TwoD, 6, &error).empty());
    EXPECT_NE(error.find("lists no APCP (surface, 0-6 hour total)"), std::string::npos) << error;
    // Lines of another run (a stale file) or another hour are not this hour's.
    EXPECT_TRUE(select(inventory(twoD(6, {{"TCDC", tcc, "6 hour fcst"}}), "2026120818"), RrfsFile::TwoD, 6).empty());
    EXPECT_TRUE(select(inventory(twoD(3, {{"TCDC", tcc, "3 hour fcst"}})), RrfsFile::TwoD, 6).empty());
}

TEST(RrfsInventory, SharedMessagesExtraLinesAndACutLastLine) {
    const std::string t = "6 hour fcst";
    // The 250 mb pair in one message (N.1, N.2): one range, ending where the next message begins.
    std::string prs = inventory({{"HGT", "250 mb", t}, {"u+v", "250 mb", t}, {"TMP", "250 mb", t}});
    prs += "junk without colons\n4:12x:d=2026120900:TMP:200 mb:6 hour fcst:\n:::\n5:3000:d=2026120900:HGT:200 mb:" + t +
           ":ENS=hi:\n";
    EXPECT_EQ(select(prs, RrfsFile::PresLev, 6), (std::vector<ByteRange>{msg(1)}));
    // The wanted message last in the file: to the end of it.
    EXPECT_EQ(select(inventory({{"HGT", "250 mb", t}, {"u+v", "250 mb", t}}), RrfsFile::PresLev, 6),
              (std::vector<ByteRange>{{1000, -1}}));
    // A last line cut short still ends the message before it when its offset is whole; the field
    // it was naming is not taken from a half line.
    const std::string pair = inventory({{"u+v", "250 mb", t}});
    EXPECT_EQ(select(pair + "2:1000:d=20261", RrfsFile::PresLev, 6), (std::vector<ByteRange>{{0, 999}}));
    EXPECT_EQ(select(pair + "2:10", RrfsFile::PresLev, 6), (std::vector<ByteRange>{{0, -1}}));
    std::string error;
    EXPECT_TRUE(select("1:0:d=2026120900:UGRD:250 mb:6 hour fcst:\n2:1000:d=2026120900:VGRD:250 mb:6 hour fc",
                       RrfsFile::PresLev, 6, &error).empty());
    EXPECT_NE(error.find("lists no VGRD"), std::string::npos) << error;
    EXPECT_TRUE(select("", RrfsFile::PresLev, 6, &error).empty());
}
