// Extremum search, ranking and isolation distances, and the dataset's entry points.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "ExtremaFinder.h"
#include "Fixtures.h"
#include "ForecastData.h"

namespace {

struct Grid {
    int rows, cols;
    std::vector<float> v;
    Grid(int r, int c, float fill = 0.0f) : rows(r), cols(c), v(static_cast<size_t>(r) * c, fill) {}
    float& operator()(int i, int j) { return v[static_cast<size_t>(i) * cols + j]; }
};

float markAt(const float* marks, int cols, int i, int j) { return marks[static_cast<size_t>(i) * cols + j]; }

TEST(ExtremaFinder, ASinglePeakIsTheOnlyEntryAndNeverSuppressed) {
    Grid g(9, 11);
    for (int i = 0; i < 9; ++i)
        for (int j = 0; j < 11; ++j) g(i, j) = -static_cast<float>((i - 4) * (i - 4) + (j - 6) * (j - 6));
    ExtremaFinder f(9, 11);
    CoordList list;
    const float* marks = f.findMaxima(g.v.data(), &list);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.item(0)->row, 4);
    EXPECT_EQ(list.item(0)->col, 6);
    EXPECT_EQ(list.getBest(), list.item(0));
    EXPECT_EQ(markAt(marks, 11, 4, 6), 1e30f);
    EXPECT_EQ(list.item(1), nullptr);
    EXPECT_EQ(markAt(marks, 11, 4, 5), 0.0f);  // a straight neighbour is better
    EXPECT_EQ(markAt(marks, 11, 3, 5), 0.0f);

    // The same field upside down has one minimum.
    for (float& x : g.v) x = -x;
    f.findMinima(g.v.data(), &list);
    ASSERT_EQ(list.size(), 1);
    EXPECT_TRUE(f.isMinMode());
}

TEST(ExtremaFinder, AFlatFieldListsEveryPointInRowMajorOrder) {
    Grid g(6, 7, 3.0f);
    ExtremaFinder f(6, 7);
    CoordList list;
    const float* marks = f.findMaxima(g.v.data(), &list);
    ASSERT_EQ(list.size(), 42);
    for (int n = 0; n < 42; ++n) {
        EXPECT_EQ(list.item(n)->row, n / 7);
        EXPECT_EQ(list.item(n)->col, n % 7);
    }
    EXPECT_EQ(markAt(marks, 7, 0, 0), 1e30f);
    for (int n = 1; n < 42; ++n) EXPECT_EQ(marks[n], 1.0f) << n;
}

TEST(ExtremaFinder, EqualNeighboursKeepRowMajorOrderAndTheSecondIsOneAway) {
    Grid g(9, 9);
    for (int i = 0; i < 9; ++i)
        for (int j = 0; j < 9; ++j) g(i, j) = -static_cast<float>(std::abs(i - 4) + std::min(std::abs(j - 4), std::abs(j - 5)));
    ExtremaFinder f(9, 9);
    CoordList list;
    const float* marks = f.findMaxima(g.v.data(), &list);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.item(0)->col, 4);
    EXPECT_EQ(list.item(1)->col, 5);
    EXPECT_EQ(markAt(marks, 9, 4, 4), 1e30f);
    EXPECT_EQ(markAt(marks, 9, 4, 5), 1.0f);
}

// Marks for a point at (5, 5) of a field of zeros, with one better cell placed around it.
float markWithBetterCellAt(int di, int dj) {
    Grid g(11, 11, 0.0f);
    g(5, 5) = 3.0f;
    g(5 + di, 5 + dj) = 5.0f;
    ExtremaFinder f(11, 11);
    CoordList list;
    const float* marks = f.findMaxima(g.v.data(), &list);
    for (int n = 0; n < list.size(); ++n)
        if (list.item(n)->row == 5 && list.item(n)->col == 5) ADD_FAILURE() << "(5,5) listed";
    return markAt(marks, 11, 5, 5);
}

TEST(ExtremaFinder, MarksGrowWithTheDistanceToSomethingBetter) {
    EXPECT_EQ(markWithBetterCellAt(0, 1), 0.0f);      // straight neighbour
    EXPECT_EQ(markWithBetterCellAt(-1, -1), 1.0f);    // only a diagonal neighbour
    EXPECT_EQ(markWithBetterCellAt(0, 2), 1.414f);    // two cells straight away
    EXPECT_EQ(markWithBetterCellAt(-2, 0), 1.414f);
    EXPECT_EQ(markWithBetterCellAt(1, 2), 2.0f);      // sqrt(5) away
    EXPECT_EQ(markWithBetterCellAt(-2, 2), 2.236f);   // the 5 x 5 corner
}

TEST(ExtremaFinder, WithoutAListOnlyTheMarksAreReturned) {
    Grid g(12, 12, 0.0f);
    g(3, 3) = 9.0f;
    g(8, 9) = 7.0f;
    ExtremaFinder f(12, 12);
    f.setSearchArea(1, 10, 1, 10);
    const float* marks = f.findMaxima(g.v.data(), nullptr);
    EXPECT_EQ(marks, f.getMarks());
    EXPECT_EQ(markAt(marks, 12, 3, 3), 1e30f);
    EXPECT_NEAR(markAt(marks, 12, 8, 9), std::sqrt(25.0f + 36.0f), 1e-5);
    EXPECT_EQ(markAt(marks, 12, 0, 0), 0.0f);  // outside the area: untouched
}

TEST(ExtremaFinder, ASearchAreaBeyondTheGridIsClipped) {
    Grid g(10, 8);
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> d(0, 20);
    for (float& x : g.v) x = static_cast<float>(d(rng));
    ExtremaFinder inside(10, 8), beyond(10, 8);
    CoordList a, b;
    inside.findMinima(g.v.data(), &a);
    beyond.setSearchArea(-7, 40, -3, 1000);
    beyond.findMinima(g.v.data(), &b);
    ASSERT_EQ(a.size(), b.size());
    for (int n = 0; n < a.size(); ++n) {
        EXPECT_EQ(a.item(n)->row, b.item(n)->row);
        EXPECT_EQ(a.item(n)->col, b.item(n)->col);
    }
    EXPECT_TRUE(std::equal(inside.getMarks(), inside.getMarks() + 80, beyond.getMarks()));
}

TEST(CoordList, AddingBeyondTheCapacityIsRefusedWithAMessage) {
    CoordList list(nullptr, 2);
    float m[3] = {};
    list.add(0, 0, 1.0f, &m[0]);
    list.add(0, 1, 5.0f, &m[1]);
    testing::internal::CaptureStderr();
    list.add(0, 2, 9.0f, &m[2]);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Inusfficient size for CoordList::add\n");
    EXPECT_EQ(list.size(), 2);
    EXPECT_EQ(list.getBest()->value, 5.0f);
    CoordList empty;
    EXPECT_EQ(empty.getCapacity(), -1);
    empty.rank(1e30f);  // nothing to rank
    EXPECT_EQ(empty.item(0), nullptr);
}

// The plain method: bubble sort swapping only strictly better neighbours, then a scan of every
// earlier entry for the nearest.
std::vector<std::pair<int, int>> referenceRank(const std::vector<Coord>& in, bool minMode, std::vector<float>& iso) {
    std::vector<Coord> o = in;
    for (size_t pass = 0; pass < o.size(); ++pass)
        for (size_t k = 0; k + 1 < o.size(); ++k) {
            const bool better = minMode ? o[k + 1].value < o[k].value : o[k + 1].value > o[k].value;
            if (better) std::swap(o[k], o[k + 1]);
        }
    std::vector<std::pair<int, int>> order;
    iso.assign(o.size(), 1e30f);
    for (size_t i = 0; i < o.size(); ++i) {
        order.push_back({o[i].row, o[i].col});
        if (i == 0) continue;
        int bestD2 = 1 << 30;
        for (size_t j = 0; j < i; ++j) {
            const int dr = o[i].row - o[j].row, dc = o[i].col - o[j].col;
            bestD2 = std::min(bestD2, dr * dr + dc * dc);
        }
        iso[i] = std::sqrt(static_cast<float>(bestD2));
    }
    return order;
}

TEST(ExtremaFinder, FastRankingMatchesThePlainMethodOnRandomFields) {
    std::mt19937 rng(12345);
    for (int trial = 0; trial < 30; ++trial) {
        const int rows = 20 + trial * 3, cols = 30 + trial * 2;
        Grid g(rows, cols);
        // Few distinct values: ties and small plateaus are common.
        std::uniform_int_distribution<int> d(0, trial % 2 ? 6 : 60);
        for (float& x : g.v) x = static_cast<float>(d(rng));
        ExtremaFinder f(rows, cols);
        f.setSearchArea(1, rows - 3, 2, cols - 1);
        CoordList list;
        const bool minMode = trial % 3 == 0;
        const float* marks = minMode ? f.findMinima(g.v.data(), &list) : f.findMaxima(g.v.data(), &list);

        std::vector<Coord> added;  // row-major, as the search adds them
        for (int i = 1; i <= rows - 3; ++i)
            for (int j = 2; j <= cols - 1; ++j)
                if (markAt(marks, cols, i, j) > 2.5f || [&] {
                        for (int n = 0; n < list.size(); ++n)
                            if (list.item(n)->row == i && list.item(n)->col == j) return true;
                        return false;
                    }())
                    added.push_back(Coord{i, j, g(i, j), nullptr});
        std::vector<float> iso;
        const auto order = referenceRank(added, minMode, iso);
        ASSERT_EQ(static_cast<size_t>(list.size()), order.size()) << "trial " << trial;
        for (int n = 0; n < list.size(); ++n) {
            ASSERT_EQ(list.item(n)->row, order[n].first) << "trial " << trial << " entry " << n;
            ASSERT_EQ(list.item(n)->col, order[n].second) << "trial " << trial << " entry " << n;
            ASSERT_EQ(*list.item(n)->mark, iso[n]) << "trial " << trial << " entry " << n;
        }
    }
}

TEST(CoordList, RankingMatchesThePlainMethodOnScatteredEntries) {
    std::mt19937 rng(777);
    for (int trial = 0; trial < 12; ++trial) {
        const int n = 50 + trial * 150;
        const int span = trial % 2 ? 40 : 600;  // dense clusters and sparse scatter
        std::uniform_int_distribution<int> pos(0, span), val(0, trial % 3 ? 4 : 1000);
        std::vector<float> marks(n);
        std::vector<Coord> added;
        CoordList list(nullptr, n);
        for (int i = 0; i < n; ++i) {
            Coord c{pos(rng), pos(rng), static_cast<float>(val(rng)), &marks[i]};
            added.push_back(c);
            list.add(c.row, c.col, c.value, c.mark);
        }
        list.rank(1e30f);
        std::vector<float> iso;
        const auto order = referenceRank(added, false, iso);
        for (int k = 0; k < n; ++k) {
            ASSERT_EQ(list.item(k)->row, order[k].first) << "trial " << trial << " entry " << k;
            ASSERT_EQ(list.item(k)->col, order[k].second) << "trial " << trial << " entry " << k;
            ASSERT_EQ(*list.item(k)->mark, iso[k]) << "trial " << trial << " entry " << k;
        }
    }
}

TEST(ExtremaFinder, AConstantFullSizeFieldRanksEveryPoint) {
    // 262 792 entries: the quadratic method would not finish in any reasonable time.
    Grid g(428, 614, 101325.0f);
    ExtremaFinder f(428, 614);
    CoordList list;
    const float* marks = f.findMinima(g.v.data(), &list);
    ASSERT_EQ(list.size(), 428 * 614);
    EXPECT_EQ(marks[0], 1e30f);
    EXPECT_EQ(std::count(marks, marks + 428 * 614, 1.0f), 428 * 614 - 1);
}

TEST(DatasetExtrema, FindersFollowTheRegionAndFindTheForecastsLowsAndHighs) {
    testsupport::TempDir dir;
    auto ds = forecastwriter::makeSampleForecast(testsupport::smallForecast(60, 40, 2));
    auto& p = ds.find("PRMSL_meansealevel")->floats;
    for (int k = 0; k < 2; ++k)
        for (int r = 0; r < 40; ++r)
            for (int c = 0; c < 60; ++c) {
                const float low = 3000.0f * std::exp(-((r - 20.0f) * (r - 20.0f) + (c - 15.0f) * (c - 15.0f)) / 50.0f);
                const float high = 2000.0f * std::exp(-((r - 25.0f) * (r - 25.0f) + (c - 45.0f) * (c - 45.0f)) / 80.0f);
                p[(k * 40 + r) * 60 + c] = 101000.0f - low + high;
            }
    testsupport::writeForecast(dir.file("f.nc"), ds);
    ForecastData fc;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(fc.load(dir.file("f.nc").c_str()));
    testing::internal::GetCapturedStderr();

    EXPECT_EQ(fc.lowExtremaFinder(), nullptr);
    CoordList lows, highs;
    fc.pressureLows(&lows);  // created on first use with the region as its area
    ASSERT_NE(fc.lowExtremaFinder(), nullptr);
    EXPECT_EQ(fc.lowExtremaFinder()->searchRowMax(), 39);
    ASSERT_GE(lows.size(), 1);
    EXPECT_EQ(lows.item(0)->row, 20);
    EXPECT_EQ(lows.item(0)->col, 15);
    fc.pressureHighs(&highs);
    ASSERT_GE(highs.size(), 1);
    EXPECT_EQ(highs.item(0)->row, 25);
    EXPECT_EQ(highs.item(0)->col, 45);
    const float* windMarks = fc.windSpeedMaxima();
    ASSERT_NE(windMarks, nullptr);

    fc.createExtremaFinders(5, 30, 2, 50);
    EXPECT_EQ(fc.highExtremaFinder()->searchRowMin(), 5);
    EXPECT_EQ(fc.highExtremaFinder()->searchColMax(), 50);
    fc.setRegion(10, 39, 0, 59);
    EXPECT_EQ(fc.lowExtremaFinder()->searchRowMin(), 12);  // trunc(10 + 29 * 0.1)
    EXPECT_EQ(fc.lowExtremaFinder()->searchRowMax(), 35);
    EXPECT_EQ(fc.lowExtremaFinder()->searchColMin(), 0);
    EXPECT_EQ(fc.lowExtremaFinder()->searchColMax(), 55);

    // A reload deletes both; they come back on first use.
    testing::internal::CaptureStderr();
    ASSERT_TRUE(fc.load(dir.file("f.nc").c_str()));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(fc.lowExtremaFinder(), nullptr);
    EXPECT_EQ(fc.highExtremaFinder(), nullptr);
}

}  // namespace

namespace {

TEST(ExtremaFinder, NaNPointsAreNeverExtrema) {
    Grid g(9, 9, 0.0f);
    g(2, 2) = std::nanf("");
    g(6, 6) = 5.0f;
    ExtremaFinder f(9, 9);
    CoordList list;
    f.findMaxima(g.v.data(), &list);
    for (int n = 0; n < list.size(); ++n) EXPECT_FALSE(std::isnan(list.item(n)->value)) << n;
    ASSERT_GE(list.size(), 1);
    EXPECT_EQ(list.item(0)->row, 6);
}

}  // namespace
