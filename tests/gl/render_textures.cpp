#include <gtest/gtest.h>

#include <type_traits>
#include <vector>

#include "Color.h"
#include "GlContext.h"
#include "Shader.h"
#include "Texture.h"

namespace {

class TextureTest : public testsupport::GlTest {
protected:
    void SetUp() override {
        testsupport::GlTest::SetUp();
        testing::internal::CaptureStdout();  // the driver banner of the first initialise
        Shader::initialize();
        testing::internal::GetCapturedStdout();
    }
};

// Remembers every parameter it was asked for; colour is t in red.
class RecordingCalculator : public ColorCalculator {
public:
    Color getColor(float t) const override {
        seen.push_back(t);
        return Color(t, 1 - t, 0.5f, 1);
    }
    mutable std::vector<float> seen;
};

std::vector<unsigned char> readBack(GLenum target, GLuint name, size_t bytes) {
    std::vector<unsigned char> out(bytes, 0);
    glBindTexture(target, name);
    glGetTexImage(target, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    glBindTexture(target, 0);
    return out;
}

GLint activeUnit() {
    GLint u = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &u);
    return u;
}

static_assert(!std::is_copy_constructible_v<Texture>, "a texture owns its GL name");

TEST_F(TextureTest, FreshTextureHasItsNameAndInitialRecord) {
    Texture t(GL_TEXTURE_2D);
    EXPECT_NE(t.name, 0u);
    EXPECT_EQ(t.dimensions(), 2);
    EXPECT_EQ(t.getLevels(), 0);
    EXPECT_EQ(t.format, static_cast<GLenum>(GL_RGBA));
    EXPECT_EQ(t.unit, -1);
    EXPECT_EQ(t.previousUnit, -1);
    EXPECT_EQ(t.pixels, nullptr);
    EXPECT_EQ(Texture(GL_TEXTURE_3D).dimensions(), 3);
    EXPECT_EQ(Texture(GL_TEXTURE_1D).dimensions(), 1);
    EXPECT_EQ(Texture(GL_TEXTURE_CUBE_MAP).dimensions(), 0);
}

TEST_F(TextureTest, UploadsSetTargetSizeAndLevelsAndReachTheDriver) {
    unsigned char ramp[3 * 4] = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0};
    Texture t1(GL_TEXTURE_2D);
    t1.setData1D(3, ramp);
    EXPECT_EQ(t1.target, static_cast<GLenum>(GL_TEXTURE_1D));
    EXPECT_EQ(t1.width, 3);
    EXPECT_EQ(t1.height, 1);
    EXPECT_EQ(t1.getLevels(), 3);
    EXPECT_EQ(t1.pixels, ramp);
    EXPECT_FALSE(t1.ownsPixels);
    EXPECT_EQ(readBack(GL_TEXTURE_1D, t1.name, 12), std::vector<unsigned char>(ramp, ramp + 12));

    std::vector<unsigned char> image(4 * 2 * 4);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<unsigned char>(i * 7);
    Texture t2(GL_TEXTURE_1D);
    t2.setData2D(4, 2, image.data());
    EXPECT_EQ(t2.dimensions(), 2);
    EXPECT_EQ(t2.getLevels(), 4);  // the width
    EXPECT_EQ(readBack(GL_TEXTURE_2D, t2.name, image.size()), image);

    std::vector<unsigned char> volume(2 * 2 * 5 * 4);
    for (size_t i = 0; i < volume.size(); ++i) volume[i] = static_cast<unsigned char>(255 - i);
    Texture t3(GL_TEXTURE_2D);
    t3.setData3D(2, 2, 5, volume.data());
    EXPECT_EQ(t3.dimensions(), 3);
    EXPECT_EQ(t3.getLevels(), 5);  // the depth
    EXPECT_EQ(readBack(GL_TEXTURE_3D, t3.name, volume.size()), volume);

    const float values[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    Texture f(GL_TEXTURE_2D);
    f.setData1D(7, nullptr);
    f.setFloatData2D(2, 2, values);
    EXPECT_EQ(f.dimensions(), 2);
    EXPECT_EQ(f.width, 2);
    EXPECT_EQ(f.getLevels(), 7);  // float uploads leave levels and pixels alone
    EXPECT_EQ(f.pixels, nullptr);
    float back[4] = {0, 0, 0, 0};
    glBindTexture(GL_TEXTURE_2D, f.name);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GL_FLOAT, back);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_NEAR(back[3], 0.4f, 1e-6);
    EXPECT_EQ(testsupport::GlContext::glErrors(), "");
}

TEST_F(TextureTest, NullUploadRecordsSizeButTouchesNoGlState) {
    Texture t(GL_TEXTURE_2D);
    t.setData2D(8, 4, nullptr);
    EXPECT_EQ(t.width, 8);
    EXPECT_EQ(t.getLevels(), 8);
    GLint w = -1;
    glBindTexture(GL_TEXTURE_2D, t.name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    EXPECT_EQ(w, 0);
}

TEST_F(TextureTest, UploadOfACallerBufferDropsTheOwnedOne) {
    HueCalculator hue(0, 0.5f);
    Texture t(GL_TEXTURE_1D);
    t.fillFromCalculator(hue, 4);
    ASSERT_TRUE(t.ownsPixels);
    unsigned char mine[4] = {1, 2, 3, 4};
    t.setData1D(1, mine);
    EXPECT_EQ(t.pixels, mine);
    EXPECT_FALSE(t.ownsPixels);  // the destructor must not free the caller's buffer
}

TEST_F(TextureTest, FillFromCalculatorSamplesEvenlyAndMayStopShort) {
    RecordingCalculator calc;
    Texture t(GL_TEXTURE_2D);
    t.fillFromCalculator(calc, 19, 18);
    ASSERT_EQ(calc.seen.size(), 18u);
    EXPECT_FLOAT_EQ(calc.seen.front(), 0);
    EXPECT_FLOAT_EQ(calc.seen.back(), 17.0f / 18);
    EXPECT_EQ(t.target, static_cast<GLenum>(GL_TEXTURE_1D));
    EXPECT_EQ(t.getLevels(), 18);
    EXPECT_TRUE(t.ownsPixels);
    // Channels are value x 255 truncated: t = 17/18 gives red 240, green 14.
    EXPECT_EQ(t.pixels[17 * 4 + 0], 240);
    EXPECT_EQ(t.pixels[17 * 4 + 1], 14);
    EXPECT_EQ(t.pixels[17 * 4 + 2], 127);
    EXPECT_EQ(t.pixels[17 * 4 + 3], 255);

    const Color ends[] = {Color(1, 0, 0, 1), Color(0, 0, 1, 0.5f)};
    FadeCalculator fade(ends, 2);
    Texture two(GL_TEXTURE_1D);
    two.fillFromCalculator(fade, 2);
    EXPECT_EQ(readBack(GL_TEXTURE_1D, two.name, 8), (std::vector<unsigned char>{255, 0, 0, 255, 0, 0, 255, 127}));
}

TEST_F(TextureTest, FillFromCalculatorsMultipliesRowAndColumnColours) {
    const Color xs[] = {Color(1, 1, 1, 1), Color(0.5f, 0.5f, 0.5f, 1)};
    const Color ys[] = {Color(1, 0, 0, 1), Color(0, 1, 0, 0.5f)};
    FadeCalculator cx(xs, 2), cy(ys, 2);
    Texture t(GL_TEXTURE_2D);
    t.fillFromCalculators(cx, cy, 3, 2);
    EXPECT_EQ(t.target, static_cast<GLenum>(GL_TEXTURE_2D));
    EXPECT_EQ(t.getLevels(), 3);
    const std::vector<unsigned char> expected = {
        255, 0, 0, 255, 191, 0, 0, 255, 127, 0, 0, 255,   // row 0: red x (1 .. 0.5)
        0, 255, 0, 127, 0, 191, 0, 127, 0, 127, 0, 127};  // row 1: green, half alpha
    EXPECT_EQ(readBack(GL_TEXTURE_2D, t.name, expected.size()), expected);
}

TEST_F(TextureTest, UnitRecordIsTwoDeep) {
    Texture t(GL_TEXTURE_2D);
    t.bindToUnit(1);
    EXPECT_EQ(t.unit, GL_TEXTURE1);
    EXPECT_EQ(activeUnit(), GL_TEXTURE1);
    t.bind();
    EXPECT_EQ(t.unit, -1);
    EXPECT_EQ(t.previousUnit, GL_TEXTURE1);
    t.unbind();
    EXPECT_EQ(t.unit, GL_TEXTURE1);  // the earlier binding is back
    EXPECT_EQ(t.previousUnit, -1);
    t.unbind();  // releases unit 1: texture 0 bound there, unit 0 active again
    EXPECT_EQ(t.unit, -1);
    EXPECT_EQ(activeUnit(), GL_TEXTURE0);
    glActiveTexture(GL_TEXTURE1);
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
    glActiveTexture(GL_TEXTURE0);
}

TEST_F(TextureTest, UnbindAfterPlainBindOnlyDisables) {
    Texture t(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE2);
    t.bind();
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    t.unbind();
    EXPECT_EQ(activeUnit(), GL_TEXTURE2);  // no unit switched
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    glActiveTexture(GL_TEXTURE0);
}

}  // namespace
