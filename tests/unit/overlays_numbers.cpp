// Wind-speed number texts, the jittered number lattice with its levels of detail, and barb glyphs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "DataLayer.h"
#include "NumberField.h"
#include "WindBarbField.h"

namespace {

struct Expect {
    float value;
    const char* whole;
    const char* tenths;
};

TEST(SpeedNumber, WholeKnotsWithASmallTenthsDigit) {
    const Expect cases[] = {{10.0f, "10", ""}, {9.94f, "9", "9"}, {0.3f, "0", "3"}, {0.04f, "0", ""},
                            {7.34f, "7", "3"}, {7.96f, "8", ""},  {7.03f, "7", ""}, {12.6f, "13", ""},
                            {9.95f, "10", ""}};
    for (const Expect& e : cases) {
        const SpeedNumberText t = speedNumberText(e.value, -1, -1);
        EXPECT_EQ(t.whole, e.whole) << e.value;
        EXPECT_EQ(t.tenths, e.tenths) << e.value;
    }
}

TEST(SpeedNumber, TenthsOffsetFollowsTheScreenOrFallsBack) {
    const SpeedNumberText fallback = speedNumberText(7.34f, -1, 0);
    EXPECT_FLOAT_EQ(fallback.dx, 0.009f);
    EXPECT_FLOAT_EQ(fallback.dy, -0.01f);
    const SpeedNumberText sized = speedNumberText(7.34f, 1400, 1000);
    EXPECT_FLOAT_EQ(sized.dx, 0.01f);
    EXPECT_FLOAT_EQ(sized.dy, -0.01f);
}

// The region of interest the application uses.
constexpr int kRowMin = 58, kRowMax = 328, kColMin = 99, kColMax = 588;

TEST(NumberLattice, OnePointPerBlockJitteredInsideTheMargin) {
    int perRow = 0, cells = 0;
    NumberField::latticeSize(kRowMin, kRowMax, kColMin, kColMax, 10, perRow, cells);
    EXPECT_EQ(perRow, 50);
    EXPECT_EQ(cells, 28 * 50);

    std::srand(12345);
    std::vector<int> rowPos, colPos;
    NumberField::layLattice(kRowMin, kColMin, 10, 2, perRow, cells, rowPos, colPos);
    ASSERT_EQ(static_cast<int>(rowPos.size()), cells);
    bool varied = false;
    for (int e = 0; e < cells; ++e) {
        const int dr = rowPos[e] - (kRowMin + 10 * (e / perRow));
        const int dc = colPos[e] - (kColMin + 10 * (e % perRow));
        ASSERT_GE(dr, 2) << e;
        ASSERT_LE(dr, 7) << e;
        ASSERT_GE(dc, 2) << e;
        ASSERT_LE(dc, 7) << e;
        if (dr != rowPos[0] - kRowMin) varied = true;
    }
    EXPECT_TRUE(varied);

    // A margin that leaves no room for jitter puts every point at the margin instead of dividing
    // by zero.
    NumberField::layLattice(kRowMin, kColMin, 10, 5, perRow, cells, rowPos, colPos);
    EXPECT_EQ(rowPos[perRow + 1], kRowMin + 15);
    EXPECT_EQ(colPos[perRow + 1], kColMin + 15);
}

TEST(NumberLattice, LevelOneVisitsEveryFreeCellWithoutChoice) {
    const std::vector<int> rowPos = {3, 4, 5, 6, 7, 8}, colPos = {13, 14, 15, 16, 17, 18};
    const unsigned char occupied[6 + 25] = {0, 1, 0, 0, 0, 0};
    const auto pts = NumberField::pickLattice(rowPos, colPos, occupied, 6, 1, 100, 100);
    ASSERT_EQ(pts.size(), 5u);
    EXPECT_EQ(pts[0].row, 3);
    EXPECT_EQ(pts[1].row, 5);  // cell 1 is occupied by a maximum
    EXPECT_EQ(pts[1].col, 15);
    EXPECT_EQ(pts[4].col, 18);

    // Points beyond the grid are clamped to its last row and column.
    const auto clamped = NumberField::pickLattice(rowPos, colPos, nullptr, 6, 1, 6, 16);
    EXPECT_EQ(clamped[5].row, 5);
    EXPECT_EQ(clamped[5].col, 15);
}

TEST(NumberLattice, LevelThreeShowsEveryThirdCellPickedWithinItsGroup) {
    const int cells = 30;
    std::vector<int> rowPos(cells), colPos(cells);
    for (int i = 0; i < cells; ++i) rowPos[i] = 100 + i, colPos[i] = 200 + i;
    std::srand(12345);
    bool mixed = false;
    for (int round = 0; round < 20; ++round) {
        const auto pts = NumberField::pickLattice(rowPos, colPos, nullptr, cells, 3, 1000, 1000);
        ASSERT_EQ(pts.size(), 10u);
        for (size_t g = 0; g < pts.size(); ++g) {
            const int p = 3 * static_cast<int>(g) + 2;
            if (p + 3 < cells) {
                // Row and column come from the group p .. p + 2, independently.
                EXPECT_GE(pts[g].row - 100, p);
                EXPECT_LE(pts[g].row - 100, p + 2);
                EXPECT_GE(pts[g].col - 200, p);
                EXPECT_LE(pts[g].col - 200, p + 2);
                if (pts[g].row - 100 != pts[g].col - 200) mixed = true;
            } else {
                EXPECT_EQ(pts[g].row, 100 + p);  // the last group has no room to choose
                EXPECT_EQ(pts[g].col, 200 + p);
            }
        }
    }
    EXPECT_TRUE(mixed);
}

struct Barb {
    float knots;
    bool calm;
    int pennants, full;
    bool half;
};

TEST(WindBarb, GlyphsRoundToFiveKnots) {
    const Barb cases[] = {{0, true, 0, 0, false},    {2, true, 0, 0, false},     {3, false, 0, 0, true},
                          {12, false, 0, 1, false},  {13, false, 0, 1, true},    {47.5f, false, 0, 4, true},
                          {47.6f, false, 1, 0, false}, {48, false, 1, 0, false}, {65, false, 1, 1, true},
                          {103, false, 2, 0, true}};
    for (const Barb& b : cases) {
        const BarbGlyph g = barbGlyph(b.knots);
        EXPECT_EQ(g.calm, b.calm) << b.knots;
        EXPECT_EQ(g.pennants, b.pennants) << b.knots;
        EXPECT_EQ(g.fullBarbs, b.full) << b.knots;
        EXPECT_EQ(g.halfBarb, b.half) << b.knots;
    }
}

TEST(WindBarb, ShaftTurnsIntoTheWind) {
    EXPECT_FLOAT_EQ(barbAngle(0, 0), 90.0f);    // calm
    EXPECT_FLOAT_EQ(barbAngle(1, 0), 90.0f);    // westerly: shaft toward -x
    EXPECT_FLOAT_EQ(barbAngle(-1, 0), 270.0f);  // easterly
    EXPECT_NEAR(std::fmod(barbAngle(0, -1), 360.0f), 0.0f, 1e-3f);  // wind toward -y: 0 or 360
    EXPECT_NEAR(barbAngle(-1, -1), 315.0f, 1e-4f);  // wrapped into 0 ... 360
}

}  // namespace
