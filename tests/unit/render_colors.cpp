#include <gtest/gtest.h>

#include <cmath>

#include "Color.h"

namespace {

void expectRGBA(const Color& c, float r, float g, float b, float a, float tol = 1e-6f) {
    EXPECT_NEAR(c.r(), r, tol);
    EXPECT_NEAR(c.g(), g, tol);
    EXPECT_NEAR(c.b(), b, tol);
    EXPECT_NEAR(c.a(), a, tol);
}

Color hsvOf(float r, float g, float b) {
    Color c(r, g, b, 1);
    c.toHSV();
    return c;
}

TEST(Color, DefaultIsOpaqueBlackWithZeroHsvAndHalvesStaySeparate) {
    Color c;
    expectRGBA(c, 0, 0, 0, 1);
    EXPECT_EQ(c.h(), 0);
    EXPECT_EQ(c.s(), 0);
    EXPECT_EQ(c.v(), 0);
    c.setR(0.5f).setG(0.25f).setH(120).setA(0.5f);
    EXPECT_EQ(c.h(), 120);  // writing RGB does not touch HSV and vice versa
    EXPECT_EQ(c.s(), 0);
    expectRGBA(c, 0.5f, 0.25f, 0, 0.5f);
    c.setHSVA(10, 0.5f, 0.5f, 0.25f);
    expectRGBA(c, 0.5f, 0.25f, 0, 0.25f);  // setHSVA stores alpha, nothing else of RGB
}

TEST(Color, ToHsvEdgeCases) {
    Color black = hsvOf(0, 0, 0);
    EXPECT_EQ(black.h(), 0);
    EXPECT_EQ(black.s(), 0);
    EXPECT_EQ(black.v(), 0);
    Color red = hsvOf(1, 0, 0);
    EXPECT_FLOAT_EQ(red.h(), 0);
    EXPECT_FLOAT_EQ(red.s(), 1);
    EXPECT_FLOAT_EQ(red.v(), 1);
    EXPECT_FLOAT_EQ(hsvOf(0, 0, 1).h(), 240);
    EXPECT_FLOAT_EQ(hsvOf(0, 1, 0).h(), 120);
    EXPECT_FLOAT_EQ(hsvOf(1, 0, 0.5f).h(), 330);  // negative intermediate hue wraps
    Color grey = hsvOf(0.4f, 0.4f, 0.4f);
    EXPECT_EQ(grey.h(), 0);
    EXPECT_EQ(grey.s(), 0);
    EXPECT_FLOAT_EQ(grey.v(), 0.4f);
}

TEST(Color, ToRgbSectorsAndHue360) {
    Color c;
    c.setHSVA(360, 0.5f, 0.8f, 1).toRGB();
    expectRGBA(c, 0.8f, 0.4f, 0.8f, 1);  // falls in the last sector with f = 0: (v, p, v)
    c.setHSVA(30, 1, 1, 0.3f).toRGB();
    expectRGBA(c, 1, 0.5f, 0, 0.3f);  // alpha is untouched
    c.setHSVA(200, 0, 0.7f, 1).toRGB();
    expectRGBA(c, 0.7f, 0.7f, 0.7f, 1);
}

TEST(Color, HsvRoundTripsThroughEverySector) {
    const float samples[][3] = {{0.9f, 0.2f, 0.1f}, {0.6f, 0.8f, 0.1f}, {0.1f, 0.7f, 0.3f},
                                {0.1f, 0.4f, 0.9f}, {0.5f, 0.1f, 0.9f}, {0.9f, 0.1f, 0.6f}};
    for (const auto& s : samples) {
        Color c(s[0], s[1], s[2], 0.5f);
        c.toHSV();
        c.setR(0).setG(0).setB(0);
        c.toRGB();
        SCOPED_TRACE(testing::Message() << s[0] << "," << s[1] << "," << s[2]);
        expectRGBA(c, s[0], s[1], s[2], 0.5f, 1e-5f);
    }
}

TEST(Color, MultiplyIsComponentwiseAndLeavesOperands) {
    Color a(0.2f, 0.4f, 0.6f, 0.8f);
    Color one(1, 1, 1, 1);
    expectRGBA(one.multiply(a), 0.2f, 0.4f, 0.6f, 0.8f);
    Color half(0.5f, 0.5f, 0.5f, 0.5f);
    half.setHSVA(50, 1, 1, 0.5f);
    Color p = half.multiply(a);
    expectRGBA(p, 0.1f, 0.2f, 0.3f, 0.4f);
    EXPECT_EQ(p.h(), 0);
    expectRGBA(a, 0.2f, 0.4f, 0.6f, 0.8f);
}

TEST(Color, PrintWritesOneLineToStandardError) {
    Color c(1, 0.5f, 0, 1);
    c.toHSV();
    testing::internal::CaptureStderr();
    c.print();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "RGBA: (1,0.5,0,1)  HSV: (30,1,1)\n");
}

TEST(FadeCalculator, SingleColourEverywhere) {
    const Color only(0.3f, 0.6f, 0.9f, 0.5f);
    FadeCalculator fade(&only, 1);
    for (float t : {0.0f, 0.3f, 1.0f, 1.5f}) expectRGBA(fade.getColor(t), 0.3f, 0.6f, 0.9f, 0.5f);
}

TEST(FadeCalculator, TwoColoursFadeLinearlyAndClampAtTheEnd) {
    const Color list[] = {Color(0, 0.2f, 1, 0), Color(1, 0.6f, 0, 1)};
    FadeCalculator fade(list, 2);
    expectRGBA(fade.getColor(0), 0, 0.2f, 1, 0);
    expectRGBA(fade.getColor(0.5f), 0.5f, 0.4f, 0.5f, 0.5f);
    expectRGBA(fade.getColor(0.25f), 0.25f, 0.3f, 0.75f, 0.25f);
    expectRGBA(fade.getColor(1), 1, 0.6f, 0, 1);
    expectRGBA(fade.getColor(1.5f), 1, 0.6f, 0, 1);
}

TEST(FadeCalculator, ManyColoursHitEachKnotAndInterpolateBetween) {
    const Color list[] = {Color(0, 0, 0, 1), Color(1, 0, 0, 1), Color(1, 1, 0, 1), Color(1, 1, 1, 1)};
    FadeCalculator fade(list, 4);
    expectRGBA(fade.getColor(1.0f / 3), 1, 0, 0, 1, 1e-5f);
    expectRGBA(fade.getColor(0.5f), 1, 0.5f, 0, 1, 1e-5f);
    expectRGBA(fade.getColor(5.0f / 6), 1, 1, 0.5f, 1, 1e-5f);
    const Color c = fade.getColor(0.5f);
    EXPECT_EQ(c.h(), 0);
    EXPECT_EQ(c.v(), 0);
}

TEST(FadeCalculator, ParameterBelowZeroStaysInsideTheList) {
    const Color list[] = {Color(0.2f, 0.2f, 0.2f, 1), Color(1, 1, 1, 1)};
    FadeCalculator fade(list, 2);
    // Far below 0 the index would point before the list; it is held at the first colour.
    expectRGBA(fade.getColor(-3.0f), 0.2f, 0.2f, 0.2f, 1);
}

TEST(HueCalculator, SweepsUpwardsThroughTheBreakpoints) {
    HueCalculator hue(0, 5.0f / 6);
    expectRGBA(hue.getColor(0), 1, 0, 0, 1);
    expectRGBA(hue.getColor(0.2f), 1, 1, 0, 1, 1e-5f);        // hue 1/6: yellow
    expectRGBA(hue.getColor(0.4f), 0, 1, 0, 1, 1e-5f);        // hue 1/3: green
    expectRGBA(hue.getColor(0.6f), 0, 1, 1, 1, 1e-5f);        // hue 1/2: cyan
    expectRGBA(hue.getColor(0.8f), 0, 0, 1, 1, 1e-5f);        // hue 2/3: blue
    expectRGBA(hue.getColor(1), 1, 0, 1, 1, 1e-5f);           // hue 5/6: magenta
    expectRGBA(hue.getColor(0.1f), 1, 0.5f, 0, 1, 1e-5f);     // hue 1/12
    HueCalculator back(0, 5.0f / 6, true);
    expectRGBA(back.getColor(1), 1, 0, 0, 1);
    expectRGBA(back.getColor(0.2f), 0, 0, 1, 1, 1e-5f);
}

TEST(HueCalculator, WrapsThroughRedWhenTheEndIsBelowTheStart) {
    HueCalculator hue(0.9f, 0.1f);
    const Color start = hue.getColor(0);
    expectRGBA(start, 1, 0, 6 * (1 - 0.9f), 1, 1e-5f);  // magenta-red side
    const Color middle = hue.getColor(0.5f);              // hue at the wrap point: red
    EXPECT_NEAR(middle.r(), 1, 1e-5);
    EXPECT_NEAR(middle.g(), 0, 1e-5);
    EXPECT_NEAR(middle.b(), 0, 1e-5);
    const Color end = hue.getColor(1);  // hue 0.1: orange, not a trip back through green
    expectRGBA(end, 1, 0.6f, 0, 1, 1e-5f);
    for (float t = 0; t <= 1.0f; t += 0.05f) EXPECT_LT(hue.getColor(t).g(), 0.61f) << t;
}

}  // namespace
