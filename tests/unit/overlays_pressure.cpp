// Pressure labels without a display: which extrema count, how neighbours merge, which corners
// anchor labels, where isobars cross a segment and which candidate a label cell keeps.
#include <gtest/gtest.h>

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "DataVariable.h"
#include "ExtremaFinder.h"
#include "PressureLabels.h"
#include "Texture.h"

namespace {

using Anchor = PressureLabels::Anchor;
using LabelGrid = PressureLabels::LabelGrid;

// Pressure (Pa) that depends on the column only, linear between the given (column, value) knots.
PressureLabels::Sampler profile(std::vector<std::pair<float, float>> knots) {
    return [knots](float, float col) {
        if (col <= knots.front().first) return knots.front().second;
        for (size_t i = 1; i < knots.size(); ++i) {
            if (col <= knots[i].first) {
                const float f = (col - knots[i - 1].first) / (knots[i].first - knots[i - 1].first);
                return knots[i - 1].second + f * (knots[i].second - knots[i - 1].second);
            }
        }
        return knots.back().second;
    };
}

// 4 mb levels centred on 1016 mb over an 18-entry colour ramp: 980 ... 1052 mb, level k starts at
// 980 + 4k mb. Only the texture's level count matters, so no GL context is needed.
struct PressureVariable {
    Texture ramp{GL_TEXTURE_2D};
    DataVariable v{UNIT_PASCAL, "Pressure", 1};
    PressureVariable() {
        ramp.levels = 18;
        v.setColormapTexture(&ramp);
        v.setStep(4, UNIT_MILLIBAR);
        v.setCentre(1016, UNIT_KEEP);
    }
};

TEST(PressureSeparation, AShallowColMergesTwoLowsButADeepRidgeKeepsThemApart) {
    PressureVariable pv;
    const float x = pv.v.dataStep() * 1.1f;  // 440 Pa
    ASSERT_NEAR(x, 440.0f, 0.01f);
    const Anchor deep{50, 20, 99000}, shallow{50, 120, 100000};

    // Ridge 200 Pa above the shallower low: the walk never falls more than x from the peak.
    const auto col = profile({{20, 99000}, {90, 100200}, {120, 100000}});
    EXPECT_FALSE(PressureLabels::separated(deep, shallow, x, col));
    EXPECT_FALSE(PressureLabels::separated(shallow, deep, x, col));  // the lower end always starts

    const auto ridge = profile({{20, 99000}, {90, 101200}, {120, 100000}});
    EXPECT_TRUE(PressureLabels::separated(deep, shallow, x, ridge));

    // Two highs: a trough dipping more than x below the lower high separates them.
    const Anchor low{50, 20, 102000}, high{50, 120, 103000};
    EXPECT_TRUE(PressureLabels::separated(low, high, x, profile({{20, 102000}, {70, 101000}, {120, 103000}})));
    EXPECT_FALSE(PressureLabels::separated(low, high, x, profile({{20, 102000}, {70, 101800}, {120, 103000}})));

    // Merging: the shallow low folds into the deep one; a third low beyond a deep ridge stays.
    const Anchor third{50, 220, 99500};
    const auto field = profile({{20, 99000}, {90, 100200}, {120, 100000}, {170, 102000}, {220, 99500}});
    const std::vector<bool> sup = PressureLabels::suppressed({deep, third, shallow}, x, field);
    EXPECT_EQ(sup, (std::vector<bool>{false, false, true}));
}

TEST(PressureAnchors, OnlyIsolatedExtremaUpToTwentyFiveCount) {
    ExtremaFinder finder(100, 100);
    CoordList list;
    list.reset(&finder, 40);
    std::vector<float> marks(40, 0.0f);
    for (int i = 0; i < 40; ++i) list.add(i, i, 1000.0f - static_cast<float>(i), &marks[static_cast<size_t>(i)]);
    list.rank(1e30f);
    // Rank order is the order added here (maxima, falling values); give chosen isolation distances.
    *list.item(1)->mark = 45.0f;
    *list.item(2)->mark = 44.9f;
    for (int i = 3; i < 40; ++i) *list.item(i)->mark = 100.0f;
    const std::vector<Anchor> kept = PressureLabels::dominant(list);
    ASSERT_EQ(kept.size(), 25u);
    EXPECT_EQ(kept[0].row, 0);
    EXPECT_EQ(kept[1].row, 1);  // exactly 45 counts
    EXPECT_EQ(kept[2].row, 3);  // 44.9 does not
    EXPECT_EQ(kept[24].row, 25);
}

TEST(PressureAnchors, CornersNearACentreAreDropped) {
    const auto flat = [](float, float) { return 101000.0f; };
    // Within 45 cells of (58, 99) on both axes, exactly 45 away from (58, 588) along the columns.
    const std::vector<Anchor> centres = {{102, 143, 99000}, {80, 543, 103000}};
    const std::vector<Anchor> c = PressureLabels::corners(58, 328, 99, 588, centres, flat);
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[0].row, 58);
    EXPECT_EQ(c[0].col, 588);
    EXPECT_EQ(c[1].row, 328);
    EXPECT_EQ(c[1].col, 99);
    EXPECT_EQ(c[2].col, 588);
    EXPECT_FLOAT_EQ(c[2].value, 101000.0f);
    EXPECT_EQ(PressureLabels::corners(58, 328, 99, 588, {}, flat).size(), 4u);
}

std::vector<int> labelledLevels(const LabelGrid& g) {
    std::vector<int> out;
    for (int iy = 0; iy < LabelGrid::kRows; ++iy)
        for (int ix = 0; ix < LabelGrid::kCols; ++ix)
            for (int k = 0; k < LabelGrid::kLevels; ++k)
                if (g.has(iy, ix, k)) out.push_back(k);
    std::sort(out.begin(), out.end());
    return out;
}

TEST(PressureCrossings, AWobbleAroundOneIsobarGivesOneLabel) {
    PressureVariable pv;
    LabelGrid grid;
    grid.setGeometry(0, 0, 10, 10);
    // Back and forth across 1004 mb (the top of level 5) every column.
    const auto wobble = [](float, float col) {
        return static_cast<int>(col) % 2 ? 100410.0f : 100390.0f;
    };
    PressureLabels::crossings({5, 0, 0}, {5, 60, 0}, wobble, pv.v, grid);
    EXPECT_EQ(labelledLevels(grid), std::vector<int>{6});
    EXPECT_FLOAT_EQ(pv.v.levelValue(6), 1004.0f);

    // Falling steadily across two isobars labels both, each with the isobar above the new level.
    grid.clear();
    PressureLabels::crossings({5, 0, 0}, {5, 100, 0}, profile({{0, 100450}, {100, 99950}}), pv.v, grid);
    EXPECT_EQ(labelledLevels(grid), (std::vector<int>{5, 6}));

    // Coincident anchors give nothing.
    grid.clear();
    PressureLabels::crossings({5, 5, 0}, {5, 5, 0}, wobble, pv.v, grid);
    EXPECT_EQ(grid.count(), 0);
}

TEST(PressureCrossings, ACellKeepsTheCandidateNearestItsCentreTheLaterOnATie) {
    LabelGrid grid;
    grid.setGeometry(0, 0, 8, 8);  // cell (0, 0) has its centre at (4, 4)
    grid.addCandidate(4, 6, 3);
    grid.addCandidate(4, 7, 3);  // farther: ignored
    EXPECT_FLOAT_EQ(grid.colAt(0, 0, 3), 6.0f);
    grid.addCandidate(4, 2, 3);  // as far as the stored one: the later wins
    EXPECT_FLOAT_EQ(grid.colAt(0, 0, 3), 2.0f);
    grid.addCandidate(4, 5, 3);
    EXPECT_FLOAT_EQ(grid.colAt(0, 0, 3), 5.0f);
    grid.addCandidate(4, 7, 4);  // another isobar has its own slot
    EXPECT_FLOAT_EQ(grid.colAt(0, 0, 4), 7.0f);

    // Levels outside 0 ... 19 and positions outside the 12 x 6 cells are ignored.
    grid.addCandidate(4, 4, 20);
    grid.addCandidate(4, 4, -1);
    grid.addCandidate(48, 4, 1);
    grid.addCandidate(4, 96, 1);
    grid.addCandidate(-1, 4, 1);
    EXPECT_EQ(grid.count(), 2);
}

}  // namespace
