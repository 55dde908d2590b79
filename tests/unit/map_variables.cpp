// Data variables: unit conversion, range resolution, level queries and colour-scale positions.
// Textures here are never drawn; only their level counts matter, so no GL context is made.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "DataVariable.h"
#include "Texture.h"

namespace {

// A texture standing in for a colormap or texton stack with `levels` entries.
struct FakeLevels {
    explicit FakeLevels(int levels, GLenum target = GL_TEXTURE_1D) : texture(target) { texture.levels = levels; }
    Texture texture;
};

const float kPrecipitationLevels[21] = {0.00001f, 0.005f, 0.008f, 0.01f, 0.025f, 0.05f, 0.075f,
                                        0.1f,     0.25f,  0.5f,   0.75f, 1.0f,   1.1f,  1.2f,
                                        1.3f,     1.4f,   1.5f,   1.6f,  1.75f,  2.0f,  2.5f};

TEST(DataVariableUnits, EveryTablePairSetsItsFactors) {
    struct Case {
        int source, display;
        float scale, offset;
    } cases[] = {
        {0, 1, 100.0f, 0.0f},          {2, 3, 1.0f, 273.0f},         {2, 4, 0.5555556f, 459.67f},
        {3, 2, 1.0f, -273.0f},         {3, 4, 0.5555556f, -32.0f},   {5, 6, 100.0f, 0.0f},
        {7, 8, 0.44704f, 0.0f},        {7, 9, 0.5144445f, 0.0f},     {10, 11, 0.001f, 0.0f},
        {10, 12, 0.0070555555f, 0.0f}, {13, 14, 25.4f, 0.0f},
    };
    for (const Case& c : cases) {
        DataVariable v(c.source, "v", 0);
        EXPECT_TRUE(v.setDisplayUnit(c.display)) << c.source << "->" << c.display;
        EXPECT_EQ(v.displayUnit(), c.display);
        EXPECT_FLOAT_EQ(v.scale(), c.scale) << c.source << "->" << c.display;
        EXPECT_FLOAT_EQ(v.offset(), c.offset) << c.source << "->" << c.display;
        // Back to the source unit is the identity.
        EXPECT_TRUE(v.setDisplayUnit(c.source));
        EXPECT_EQ(v.scale(), 1.0f);
        EXPECT_EQ(v.offset(), 0.0f);
    }
}

TEST(DataVariableUnits, ConversionsOfKnownValues) {
    DataVariable t(UNIT_KELVIN, "Temperature", 0, "Temp (F)");
    t.setDisplayUnit(UNIT_FAHRENHEIT);
    EXPECT_NEAR(t.toDisplay(273.15f), 32.0f, 1e-3);
    EXPECT_NEAR(t.toData(110.0f), 316.4833f, 1e-3);

    DataVariable p(UNIT_PASCAL, "Pressure", 1);
    p.setDisplayUnit(UNIT_MILLIBAR);
    EXPECT_FLOAT_EQ(p.toDisplay(101600.0f), 1016.0f);

    DataVariable w(UNIT_METRES_PER_SECOND, "Wind speed", 4);
    w.setDisplayUnit(UNIT_KNOTS);
    EXPECT_NEAR(w.toDisplay(10.0f), 19.438f, 1e-3);

    // Celsius uses exactly 273, not 273.15.
    DataVariable c(UNIT_KELVIN, "T", 0);
    c.setDisplayUnit(UNIT_CELSIUS);
    EXPECT_FLOAT_EQ(c.toDisplay(300.0f), 27.0f);
}

TEST(DataVariableUnits, UnsupportedPairReportsAndKeepsFactors) {
    DataVariable cloud(UNIT_PERCENT, "Cloud Cover", 3, "Clouds (%)");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(cloud.setDisplayUnit(UNIT_FAHRENHEIT));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cloud Cover: Conversion from % to F not implemented\n");
    EXPECT_EQ(cloud.displayUnit(), UNIT_FAHRENHEIT);
    EXPECT_EQ(cloud.scale(), 1.0f);
    EXPECT_EQ(cloud.offset(), 0.0f);

    // The setter that asked for the unit still stores its value.
    testing::internal::CaptureStderr();
    cloud.setLow(5.0f, UNIT_MILLIBAR);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cloud Cover: Conversion from % to mb not implemented\n");
    EXPECT_EQ(cloud.low(), 5.0f);
}

TEST(DataVariableUnits, SourcesWithoutConversionsAcceptAnyUnitSilentlyAndMinusOneKeeps) {
    DataVariable v(UNIT_MPH, "Gust", 4);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(v.setDisplayUnit(UNIT_KNOTS));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(v.scale(), 1.0f);

    DataVariable k(UNIT_KELVIN, "T", 0);
    k.setDisplayUnit(UNIT_FAHRENHEIT);
    EXPECT_TRUE(k.setDisplayUnit(UNIT_KEEP));
    EXPECT_EQ(k.displayUnit(), UNIT_FAHRENHEIT);
    EXPECT_FLOAT_EQ(k.offset(), 459.67f);
}

TEST(DataVariableBasics, FreshVariableDefaultsAndLabels) {
    DataVariable v(UNIT_KELVIN, "Temperature", 0);
    EXPECT_EQ(v.label(), "Temperature");  // the label defaults to the name
    EXPECT_EQ(v.labelPrecision(-1), -1);
    EXPECT_EQ(v.labelPrecision(2), 2);
    EXPECT_EQ(v.labelPrecision(-1), 2);
    EXPECT_TRUE(v.usesColormap());
    EXPECT_EQ(v.activeTexture(), nullptr);
    EXPECT_EQ(v.contoursPerLevel(), 1.0f);
}

TEST(DataVariableRange, StepAloneDerivesNothingThenAnAnchorDoes) {
    FakeLevels ramp(18);
    DataVariable t(UNIT_KELVIN, "Temperature", 0, "Temp (F)");
    t.setColormapTexture(&ramp.texture);
    t.setStep(5, UNIT_FAHRENHEIT);
    EXPECT_EQ(t.levelCount(), 0);
    EXPECT_EQ(t.low(), 0.0f);
    EXPECT_EQ(t.high(), 0.0f);

    t.setHigh(110, UNIT_KEEP);
    EXPECT_EQ(t.levelCount(), 18);
    EXPECT_FLOAT_EQ(t.low(), 20.0f);  // high - step x n
    EXPECT_FLOAT_EQ(t.centre(), 65.0f);
    EXPECT_NEAR(t.dataHigh(), 316.4833f, 1e-3);
    EXPECT_NEAR(t.dataLow(), (20.0f + 459.67f) * 5.0f / 9.0f, 1e-3);
    EXPECT_FLOAT_EQ(t.numContours(), 18.0f);
    EXPECT_FLOAT_EQ(t.levelValue(19), 20.0f + 19 * 5.0f);  // extrapolates past count

    // The centre, once given, wins over the high end.
    t.setCentre(50, UNIT_KEEP);
    EXPECT_FLOAT_EQ(t.low(), 5.0f);
    EXPECT_FLOAT_EQ(t.high(), 95.0f);
}

TEST(DataVariableRange, CentreBeatsLowBeatsHigh) {
    FakeLevels stack(10, GL_TEXTURE_3D);
    DataVariable a(UNIT_PASCAL, "Pressure", 1);
    a.setTextonTexture(&stack.texture, 11, 11, 0.65f);
    a.setStep(4, UNIT_MILLIBAR);
    a.setHigh(1100);
    a.setLow(990);
    EXPECT_FLOAT_EQ(a.low(), 990.0f);  // low beats high
    EXPECT_FLOAT_EQ(a.high(), 1030.0f);
    a.setCentre(1016);
    EXPECT_FLOAT_EQ(a.low(), 996.0f);  // centre beats both
    EXPECT_FLOAT_EQ(a.high(), 1036.0f);
    EXPECT_FLOAT_EQ(a.dataLow(), 99600.0f);
    EXPECT_FLOAT_EQ(a.repeatX(), 11.0f);
    EXPECT_FLOAT_EQ(a.alpha3D(), 0.65f);
    EXPECT_TRUE(a.usesTextons());
}

TEST(DataVariableRange, BothEndsWithoutStepDeriveTheStep) {
    FakeLevels ramp(10);
    DataVariable c(UNIT_PERCENT, "Cloud Cover", 3);
    c.setColormapTexture(&ramp.texture);
    c.setLow(-0.00001f);
    EXPECT_EQ(c.levelCount(), 0);
    c.setHigh(100.001f);
    EXPECT_EQ(c.levelCount(), 10);
    EXPECT_NEAR(c.step(), 10.0001f, 1e-4);
    EXPECT_NEAR(c.centre(), 50.0005f, 1e-4);
    EXPECT_NEAR(c.normaliseLinear(50.0005f), 0.5f, 1e-6);
    EXPECT_EQ(c.levelIndex(55.0f), 5);
    EXPECT_NEAR(c.dataStep(), 10.0001f, 1e-4);
}

TEST(DataVariableRange, NullTextureKeepsThePreviousButSwitchesTheActiveOne) {
    FakeLevels ramp(18), stack(6, GL_TEXTURE_3D);
    DataVariable v(UNIT_KELVIN, "T", 0);
    v.setTextonTexture(&stack.texture, 11, 11, 0.65f);
    v.setColormapTexture(&ramp.texture);
    v.setTextonTexture(nullptr, 3, 3, 0.1f);
    EXPECT_EQ(v.textonTexture(), &stack.texture);
    EXPECT_EQ(v.activeTexture(), &stack.texture);
    EXPECT_FLOAT_EQ(v.repeatX(), 11.0f);  // parameters of a null texture are ignored
    v.setLow(0, UNIT_FAHRENHEIT);
    v.setHigh(60);
    EXPECT_EQ(v.levelCount(), 6);  // the active stack's slices
}

TEST(DataVariableRange, MissingOrEmptyActiveTextureDerivesNothingAndQueriesStayFinite) {
    FakeLevels empty(0);
    DataVariable v(UNIT_KELVIN, "T", 0);
    v.setColormapTexture(&empty.texture);
    v.setLow(0, UNIT_FAHRENHEIT);
    v.setHigh(100);
    EXPECT_EQ(v.levelCount(), 0);

    DataVariable textonless(UNIT_PERCENT, "Cloud", 3);
    textonless.setTextonTexture(nullptr, 8, 8, 0.6f);  // no stack at all
    textonless.setLow(0);
    textonless.setHigh(100);
    EXPECT_EQ(textonless.levelCount(), 0);

    for (DataVariable* q : {&v, &textonless}) {
        const float in[3] = {250.0f, std::numeric_limits<float>::quiet_NaN(), 9.999e20f};
        float out[3] = {-1, -1, -1};
        q->normalise(out, in, 3);
        for (float o : out) EXPECT_EQ(o, 0.0f);
        EXPECT_EQ(q->normaliseLinear(300.0f), 0.0f);
        EXPECT_EQ(q->levelIndex(300.0f), 0);
        EXPECT_EQ(q->dataStep(), 0.0f);
        EXPECT_EQ(q->numContours(), 0.0f);
    }
}

TEST(DataVariableRange, LevelIndexOfValuesFarOutsideStaysDefined) {
    FakeLevels ramp(10);
    DataVariable v(UNIT_PERCENT, "Cloud", 3);
    v.setColormapTexture(&ramp.texture);
    v.setLow(0);
    v.setHigh(1e-30f);  // a tiny range makes ordinary values huge positions
    EXPECT_EQ(v.levelIndex(1e15f), 2147483647);
    EXPECT_EQ(v.levelIndex(-1e15f), -2147483647 - 1);
    EXPECT_EQ(v.levelIndex(1e30f), 2147483647);  // an infinite position
    EXPECT_EQ(v.levelIndex(std::numeric_limits<float>::quiet_NaN()), 0);
}

class Precipitation : public ::testing::Test {
protected:
    void SetUp() override { prec.setLevels(kPrecipitationLevels, 21, UNIT_PSU); }
    float position(float mm) const {
        float out = -1;
        prec.normalise(&out, &mm, 1);
        return out;
    }
    DataVariable prec{UNIT_INCH, "Precipitation", 2, "Prec (in.)"};
};

TEST_F(Precipitation, ExplicitLevelsAreEvenlySpacedInTextureSpace) {
    EXPECT_EQ(prec.levelCount(), 20);
    EXPECT_TRUE(prec.hasExplicitLevels());
    EXPECT_FLOAT_EQ(prec.dataLevels()[10], 0.75f * 25.4f);
    EXPECT_FLOAT_EQ(prec.levelValue(10), 0.75f);
    EXPECT_NEAR(position(0.75f * 25.4f), 0.5f, 1e-6);
    EXPECT_NEAR(position(1.0f * 25.4f), 0.55f, 1e-6);
    EXPECT_NEAR(position((0.00001f + 0.005f) / 2 * 25.4f), 0.025f, 1e-6);
    EXPECT_NEAR(position(2.5f * 25.4f), 1.0f, 1e-6);
    // Step in data units over the whole level span.
    EXPECT_NEAR(prec.step(), (2.5f - 0.00001f) * 25.4f / 20, 1e-5);
    EXPECT_FLOAT_EQ(prec.numContours(), 20.0f);  // contours per level 1 until set
    prec.setContoursPerLevel(0.5f);
    EXPECT_FLOAT_EQ(prec.numContours(), 10.0f);
}

TEST_F(Precipitation, OutsideTheLevelsAndMissingValuesLandAtTheEnds) {
    EXPECT_EQ(position(0.0f), 0.0f);  // the commonest value: the bottom of the scale
    EXPECT_EQ(position(0.00001f * 25.4f), 0.0f);
    EXPECT_EQ(position(-3.0f), 0.0f);
    EXPECT_EQ(position(80.0f), 1.0f);
    EXPECT_EQ(position(9.999e20f), 0.0f);  // the fill value, as at NAM's first step
    EXPECT_EQ(position(std::numeric_limits<float>::quiet_NaN()), 0.0f);
    EXPECT_EQ(position(std::numeric_limits<float>::infinity()), 0.0f);
}

TEST(DataVariableNormalise, LinearPositionsMayLeaveZeroToOneButMissingGoesToZero) {
    FakeLevels ramp(10);
    DataVariable v(UNIT_PERCENT, "Cloud", 3);
    v.setColormapTexture(&ramp.texture);
    v.setLow(0);
    v.setHigh(100);
    const float in[5] = {0, 50, 150, -50, 9.999e20f};
    float out[5];
    v.normalise(out, in, 5);
    EXPECT_FLOAT_EQ(out[0], 0.0f);
    EXPECT_FLOAT_EQ(out[1], 0.5f);
    EXPECT_FLOAT_EQ(out[2], 1.5f);
    EXPECT_FLOAT_EQ(out[3], -0.5f);
    EXPECT_EQ(out[4], 0.0f);
}

}  // namespace
