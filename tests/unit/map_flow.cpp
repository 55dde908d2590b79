// Trail rings and the life cycle of single streaklet particles on forecasts with known winds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "CircularFloatQueue.h"
#include "Fixtures.h"
#include "ForecastData.h"
#include "Streaklets.h"

using testsupport::TempDir;

namespace {

TEST(CircularFloatQueue, NewestFirstAndAFullRingOverwritesTheOldest) {
    CircularFloatQueue q(3);
    EXPECT_TRUE(q.isEmpty());
    q.pushFront(1);  // a
    q.pushFront(2);  // b
    q.pushFront(3);  // c
    ASSERT_EQ(q.size(), 3);
    EXPECT_EQ(q.get(0), 3);
    EXPECT_EQ(q.get(2), 1);
    q.pushFront(4);  // d replaces a
    ASSERT_EQ(q.size(), 3);
    EXPECT_EQ(q.get(0), 4);
    EXPECT_EQ(q.get(1), 3);
    EXPECT_EQ(q.get(2), 2);
    // Keep going round several times: order stays newest first.
    for (int v = 5; v <= 11; ++v) q.pushFront(static_cast<float>(v));
    EXPECT_EQ(q.get(0), 11);
    EXPECT_EQ(q.get(1), 10);
    EXPECT_EQ(q.get(2), 9);
}

TEST(CircularFloatQueue, DropOldestShrinksFromTheTailAndClearEmpties) {
    CircularFloatQueue q(4);
    for (int v = 1; v <= 4; ++v) q.pushFront(static_cast<float>(v));
    q.dropOldest();
    ASSERT_EQ(q.size(), 3);
    EXPECT_EQ(q.get(2), 2);  // 1 is gone
    q.pushFront(5);
    EXPECT_EQ(q.get(0), 5);
    EXPECT_EQ(q.get(3), 2);
    q.clear();
    EXPECT_TRUE(q.isEmpty());
    q.dropOldest();  // on an empty ring: nothing happens
    EXPECT_EQ(q.size(), 0);
    q.pushFront(6);
    EXPECT_EQ(q.get(0), 6);
}

// Assertions exist only in builds without NDEBUG; elsewhere there is nothing to test.
#ifndef NDEBUG
TEST(CircularFloatQueueDeath, ReadingPastTheCountAsserts) {
    CircularFloatQueue q(2);
    q.pushFront(1);
    EXPECT_DEATH(q.get(1), "i < count");
}
#endif

// A small forecast with the same surface and jet wind (u, v) in m/s everywhere.
class Particles : public ::testing::Test {
protected:
    static constexpr int NX = 30, NY = 20;

    void load(float u, float v) {
        auto ds = forecastwriter::makeSampleForecast(testsupport::smallForecast(NX, NY, 2));
        for (const char* name : {"UGRD_10maboveground", "UGRD_250mb"})
            for (float& x : ds.find(name)->floats) x = u;
        for (const char* name : {"VGRD_10maboveground", "VGRD_250mb"})
            for (float& x : ds.find(name)->floats) x = v;
        testsupport::writeForecast(dir.file("f.nc"), ds);
        testing::internal::CaptureStderr();
        ASSERT_TRUE(fc.load(dir.file("f.nc").c_str()));
        testing::internal::GetCapturedStderr();
        saved = streakletParameters;
        StreakletParameters& p = streakletParameters;
        p.forecast = &fc;
        p.slot = WIND_SPEED;
        p.seedFactor = 1.0f;
        p.lifetime = 20;
        p.speedThreshold = 0.0f;
        p.speedScale = 0.28f;
        p.speedExponent = 0.65f;
    }
    void TearDown() override { streakletParameters = saved; }

    TempDir dir;
    ForecastData fc;
    StreakletParameters saved;
};

TEST_F(Particles, OnACalmPointItDiesShrinksAndRespawnsElsewhere) {
    load(0, 0);
    std::srand(7);
    const int r1 = std::rand(), r2 = std::rand(), r3 = std::rand(), r4 = std::rand();
    std::srand(7);
    Streaklet p(8, 20);
    // Seeded from two draws, column first, then dead on its first step with two identical points.
    EXPECT_EQ(p.getCol(), static_cast<float>(r1 % NX));
    EXPECT_EQ(p.getRow(), static_cast<float>(r2 % NY));
    EXPECT_EQ(p.getLife(), 0);
    ASSERT_EQ(p.points(), 2);
    EXPECT_EQ(p.pointCol(0), p.pointCol(1));
    EXPECT_EQ(p.pointRow(0), p.pointRow(1));

    p.update(-2);
    EXPECT_EQ(p.points(), 1);
    p.update(-2);  // the last point goes: respawned from the next two draws, and calm again
    EXPECT_EQ(p.getCol(), static_cast<float>(r3 % NX));
    EXPECT_EQ(p.getRow(), static_cast<float>(r4 % NY));
    EXPECT_EQ(p.points(), 2);
    EXPECT_EQ(p.getLife(), 0);
}

TEST_F(Particles, SurfaceStepLengthFollowsSpeedScaleAndExponent) {
    load(10, 0);
    std::srand(3);
    int moved = 0;
    for (int i = 0; i < 40; ++i) {
        Streaklet p(8, 20);
        if (p.getLife() == 0) continue;  // seeded on the east edge: clamped
        ASSERT_EQ(p.points(), 2);
        EXPECT_NEAR(p.pointCol(0) - p.pointCol(1), 0.28f * std::pow(10.0f, 0.65f), 1e-4);
        EXPECT_EQ(p.pointRow(0), p.pointRow(1));
        EXPECT_NEAR(p.getSpeed(), 10.0f, 1e-4);
        EXPECT_FLOAT_EQ(p.pointS(0), 0.9f);
        ++moved;
    }
    EXPECT_GT(moved, 20);
}

TEST_F(Particles, JetAgesOnlyPastTwentyPointsAndAFullTrailHoldsFortyOne) {
    load(10, 0);
    StreakletParameters& P = streakletParameters;
    P.slot = JET_SPEED;
    P.speedScale = 0.0001f;  // barely moves, so the region never ends it
    P.speedExponent = 1.0f;
    std::srand(5);
    Streaklet p(40, 100);
    ASSERT_EQ(p.getLife(), 100);
    int aged = 0;
    for (int i = 0; i < 60; ++i) {
        const int before = p.points(), life = p.getLife();
        p.update(-2);
        EXPECT_EQ(p.getLife(), before > 20 ? life - 1 : life) << "update " << i << " with " << before << " points";
        if (before > 20) ++aged;
    }
    EXPECT_GT(aged, 30);
    ASSERT_EQ(p.points(), 41);
    EXPECT_FLOAT_EQ(p.pointT(0), 1.0f);
    EXPECT_FLOAT_EQ(p.pointT(40), 0.0f);
}

TEST_F(Particles, JetThresholdKillsSlowParticlesAndFadesModerateOnes) {
    load(10, 0);
    StreakletParameters& P = streakletParameters;
    P.slot = JET_SPEED;
    P.speedThreshold = 50.0f;
    P.speedScale = 0.0001f;
    std::srand(9);
    Streaklet slow(40, 20);
    EXPECT_EQ(slow.getLife(), 0);  // 10 m/s < 0.3 x 50

    load(25, 0);
    P.slot = JET_SPEED;
    P.speedThreshold = 50.0f;
    P.speedScale = 0.0001f;
    Streaklet moderate(40, 20);
    EXPECT_EQ(moderate.getLife(), 20);
    EXPECT_NEAR(moderate.pointT(0), 0.5f, 1e-5);  // 25 / 50 of the unfaded 1
    EXPECT_NEAR(moderate.pointT(1), 0.5f * 39.0f / 40.0f, 1e-5);

    // With the surface threshold 0 nothing fades.
    P.speedThreshold = 0.0f;
    EXPECT_FLOAT_EQ(moderate.pointT(0), 1.0f);
}

TEST_F(Particles, AStepOutOfTheRegionClampsOnTheEdgeAndStartsDying) {
    load(10, 0);
    fc.setRegion(5, 14, 8, 20);
    streakletParameters.speedScale = 100.0f;  // hundreds of cells per step
    std::srand(11);
    Streaklet p(8, 20);
    EXPECT_EQ(p.getLife(), 0);
    EXPECT_EQ(p.getCol(), 20.0f);  // the region's east edge
    EXPECT_GE(p.getRow(), 5.0f);
    EXPECT_LE(p.getRow(), 14.0f);
    // A dying particle shrinks from its tail, then starts again inside the region.
    p.update(-2);
    EXPECT_EQ(p.points(), 1);
    EXPECT_EQ(p.pointCol(0), 20.0f);
}

TEST_F(Particles, SeedingStaysInsideTheRegionScaledAboutItsCentre) {
    load(0, 0);
    fc.setRegion(4, 15, 10, 21);
    streakletParameters.seedFactor = 0.5f;
    std::srand(13);
    for (int i = 0; i < 200; ++i) {
        Streaklet p(8, 20);
        EXPECT_GE(p.getCol(), fc.scaledColMin(0.5f));
        EXPECT_LT(p.getCol(), fc.scaledColMin(0.5f) + 6.0f);
        EXPECT_GE(p.getRow(), fc.scaledRowMin(0.5f));
        EXPECT_LT(p.getRow(), fc.scaledRowMin(0.5f) + 6.0f);
    }
}

// Grid -> window 3 px a column, 5 px a row: a stretched window.
RibbonFrame stretchedFrame() {
    RibbonFrame f;
    f.a = 3;
    f.d = 5;
    f.ia = 1.0f / 3;
    f.id = 1.0f / 5;
    f.halfWidth = 1.5f;
    f.edge0 = 0.125f;
    f.edge1 = 0.875f;
    return f;
}

TEST_F(Particles, AStraightEvenTrailIsOneSegmentItsWidthAcrossWithItsEndsTexCoords) {
    load(10, 0);
    std::srand(3);
    Streaklet p(8, 20);
    while (p.getLife() == 0) p = Streaklet(8, 20);  // not one seeded on the east edge
    for (int i = 0; i < 3; ++i) p.update(-2);
    const int m = p.points();
    ASSERT_GE(m, 3);
    std::vector<float> out;
    RibbonScratch scratch;
    // Evenly spaced along one line, so the two ends say all there is.
    ASSERT_EQ(p.appendRibbon(stretchedFrame(), out, scratch), 2);
    ASSERT_EQ(out.size(), 20u);
    for (int end = 0; end < 2; ++end) {
        const float* v = &out[static_cast<size_t>(10 * end)];
        const int k = end == 0 ? 0 : m - 1;
        // Straight east on screen: the sides are 1.5 px (0.3 rows) either side of the point.
        EXPECT_NEAR(std::fabs(v[1] - p.pointRow(k)), 0.3f, 1e-5) << k;
        EXPECT_NEAR(v[1] + v[6], 2 * p.pointRow(k), 1e-5) << k;
        // The ends reach half a pixel (1/6 column) past their points.
        EXPECT_NEAR(v[0] - p.pointCol(k), end == 0 ? 1.0f / 6 : -1.0f / 6, 1e-5) << k;
        EXPECT_EQ(v[0], v[5]);
        EXPECT_EQ(v[2], p.pointS(k));
        EXPECT_EQ(v[3], p.pointT(k));
        EXPECT_EQ(v[7], p.pointS(k));
        EXPECT_EQ(v[4], 0.125f);
        EXPECT_EQ(v[9], 0.875f);
    }
}

// A wind that swings north and south every few columns bends the trail: the corners stay, and
// every point left out lies within a quarter pixel of where the segment over it puts it (and so
// fades it, as fade and place both go with the point's index).
TEST_F(Particles, ABentTrailKeepsEveryPointItsSegmentsWouldMisplace) {
    load(10, 0);
    auto ds = forecastwriter::makeSampleForecast(testsupport::smallForecast(NX, NY, 2));
    for (const char* name : {"UGRD_10maboveground", "UGRD_250mb"})
        for (float& x : ds.find(name)->floats) x = 10;
    for (const char* name : {"VGRD_10maboveground", "VGRD_250mb"}) {
        std::vector<float>& v = ds.find(name)->floats;
        for (size_t i = 0; i < v.size(); ++i) v[i] = (i % NX) / 2 % 2 ? 9.0f : -9.0f;
    }
    testsupport::writeForecast(dir.file("bent.nc"), ds);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(fc.load(dir.file("bent.nc").c_str()));
    testing::internal::GetCapturedStderr();
    std::srand(5);
    int tried = 0;
    for (int trail = 0; trail < 40; ++trail) {
        Streaklet p(8, 20);
        for (int i = 0; i < 8; ++i) p.update(-2);
        const int m = p.points();
        if (m < 6 || p.getLife() == 0) continue;
        ++tried;
        std::vector<float> out;
        RibbonScratch scratch;
        const RibbonFrame f = stretchedFrame();
        const int n = p.appendRibbon(f, out, scratch);
        ASSERT_GE(n, 2);
        // Which point each drawn pair is: the fade coordinate falls with the index.
        std::vector<int> kept;
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < m; ++k)
                if (out[static_cast<size_t>(10 * j + 3)] == p.pointT(k)) kept.push_back(k);
        ASSERT_EQ(static_cast<int>(kept.size()), n);
        EXPECT_EQ(kept.front(), 0);
        EXPECT_EQ(kept.back(), m - 1);
        EXPECT_GT(n, 2) << "a trail across three swings of the wind has corners";
        for (size_t j = 0; j + 1 < kept.size(); ++j) {
            const int a = kept[j], b = kept[j + 1];
            for (int k = a + 1; k < b; ++k) {
                const float u = static_cast<float>(k - a) / static_cast<float>(b - a);
                const float ex = f.a * (p.pointCol(a) + u * (p.pointCol(b) - p.pointCol(a)) - p.pointCol(k));
                const float ey = f.d * (p.pointRow(a) + u * (p.pointRow(b) - p.pointRow(a)) - p.pointRow(k));
                EXPECT_LE(std::sqrt(ex * ex + ey * ey), 0.25f + 1e-4f) << "point " << k << " of " << m;
            }
        }
    }
    EXPECT_GT(tried, 5);
}

TEST_F(Particles, ACalmTrailOfOnePlaceStillMakesAFiniteRibbon) {
    load(0, 0);
    std::srand(7);
    Streaklet p(8, 20);
    ASSERT_EQ(p.points(), 2);  // two identical points
    std::vector<float> out;
    RibbonScratch scratch;
    ASSERT_EQ(p.appendRibbon(stretchedFrame(), out, scratch), 2);
    for (float x : out) EXPECT_TRUE(std::isfinite(x));
    // Still its width across (3 px on screen), as a smoothed line draws a dot there.
    const float dx = 3 * (out[0] - out[5]), dy = 5 * (out[1] - out[6]);
    EXPECT_NEAR(std::sqrt(dx * dx + dy * dy), 3.0f, 1e-4);
}

}  // namespace
