#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <cmath>
#include <cstring>
#include <string>
#include <set>
#include <vector>

#include "AnimationShader.h"
#include "GlContext.h"
#include "ShadedVariable.h"
#include "Texture.h"

namespace {

struct FakeVariable : ShadedVariable {
    Texture* colormapTexture() const override { return colormap; }
    Texture* textonTexture() const override { return textons; }
    bool usesColormap() const override { return !textured; }
    bool usesTextons() const override { return textured; }
    float repeatX() const override { return 11; }
    float repeatY() const override { return 11; }
    float alpha3D() const override { return alpha; }
    float numContours() const override { return contours; }
    bool blackBottom() const override { return bottom; }

    Texture* colormap = nullptr;
    Texture* textons = nullptr;
    bool textured = false;
    float alpha = 0.65f;
    float contours = 8;
    bool bottom = false;
};

constexpr int kView = 64;  // the quad is drawn into a kView x kView viewport

// Colormap texels (RGBA bytes); four entries, so value v shows entry floor(4 v).
const unsigned char kColormap[4][4] = {{40, 200, 100, 255}, {90, 160, 110, 255}, {140, 120, 120, 255}, {190, 80, 130, 255}};
// Texton slices: uniform colour per slice, coverage growing with the slice.
const unsigned char kTextons[4][4] = {{0, 255, 30, 60}, {60, 195, 30, 120}, {120, 135, 30, 180}, {180, 75, 30, 240}};

class AnimationShaderTest : public testsupport::GlTest {
protected:
    void SetUp() override {
        testsupport::GlTest::SetUp();
        testing::internal::CaptureStdout();
        Shader::initialize();
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(Shader::isSupported());
        colormap.reset(new Texture(GL_TEXTURE_1D));
        colormapBytes.assign(&kColormap[0][0], &kColormap[0][0] + 16);
        colormap->setData1D(4, colormapBytes.data());
        textons.reset(new Texture(GL_TEXTURE_3D));
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 4; ++i) textonBytes.insert(textonBytes.end(), kTextons[k], kTextons[k] + 4);
        textons->setData3D(2, 2, 4, textonBytes.data());
        primary.colormap = colormap.get();
        secondary.colormap = colormap.get();
        secondary.textons = textons.get();
        secondary.textured = true;
    }
    void TearDown() override {
        if (Shader::current) Shader::current->disable();
    }

    // Frame texture holding `value` everywhere.
    static Texture* flat(float value) {
        std::vector<float> v(4, value);
        Texture* t = new Texture(GL_TEXTURE_2D);
        t->setFloatData2D(2, 2, v.data());
        return t;
    }
    // Frame texture whose value equals the s texture coordinate (texel centres at (i + 0.5) / 256).
    static Texture* rampAlongS() {
        std::vector<float> v;
        for (int y = 0; y < 4; ++y)
            for (int i = 0; i < 256; ++i) v.push_back((i + 0.5f) / 256);
        Texture* t = new Texture(GL_TEXTURE_2D);
        t->setFloatData2D(256, 4, v.data());
        return t;
    }
    static std::array<int, 4> draw(AnimationShader& shader, int x, int y) {
        glViewport(0, 0, kView, kView);
        glClearColor(1, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        shader.enable();
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0); glVertex2f(-1, -1);
        glTexCoord2f(1, 0); glVertex2f(1, -1);
        glTexCoord2f(1, 1); glVertex2f(1, 1);
        glTexCoord2f(0, 1); glVertex2f(-1, 1);
        glEnd();
        shader.disable();
        EXPECT_EQ(testsupport::GlContext::glErrors(), "");
        return testsupport::GlContext::readPixel(x, y);
    }
    static const ShaderParam* param(const AnimationShader& s, const char* name) {
        for (const ShaderParam& p : s.parameters())
            if (std::strcmp(p.name, name) == 0) return &p;
        return nullptr;
    }
    static void expectColour(const std::array<int, 4>& got, const double want[3], double tol) {
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], tol) << "channel " << c;
    }

    std::unique_ptr<Texture> colormap, textons;
    std::vector<unsigned char> colormapBytes, textonBytes;
    FakeVariable primary, secondary;
};

// The colour of colormap entry i, in 0..255 per channel.
void colormapColour(int i, double out[3]) {
    for (int c = 0; c < 3; ++c) out[c] = kColormap[i][c];
}

TEST_F(AnimationShaderTest, TheFragmentProgramCompilesAndLinksSilentlyForEveryMethod) {
    testing::internal::CaptureStderr();
    AnimationShader shader(2, 2, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    std::set<GLuint> programs;
    for (int method = 0; method <= 3; ++method) {
        for (bool contours : {true, false}) {
            shader.setMethod(method);
            shader.setContours(contours);
            shader.enable();
            GLint linked = GL_FALSE, inUse = 0;
            glGetProgramiv(shader.programName(), GL_LINK_STATUS, &linked);
            glGetIntegerv(GL_CURRENT_PROGRAM, &inUse);
            shader.disable();
            EXPECT_EQ(linked, GL_TRUE) << method << contours;
            EXPECT_EQ(static_cast<GLuint>(inUse), shader.programName());
            programs.insert(shader.programName());
        }
    }
    EXPECT_EQ(programs.size(), 5u);  // contours change only the texton method's program
    EXPECT_NE(std::string(AnimationShader::fragmentSource()).find("uniform sampler3D tex3D;"), std::string::npos);
}

TEST_F(AnimationShaderTest, MethodZeroBlendsTheTwoNeighbouringFrames) {
    AnimationShader shader(5, 1, 0);
    const float values[5] = {0.1f, 0.2f, 0.4f, 0.6f, 0.8f};
    for (int f = 0; f < 5; ++f) shader.setFrame(f, flat(values[f]), 0);
    struct Case {
        float position;
        double grey;
    } cases[] = {{2.25f, 0.75 * 0.4 + 0.25 * 0.6}, {4, 0.8}, {7, 0.8}, {-1, 0.1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        shader.setPosition(c.position);
        const auto p = draw(shader, 10, 50);
        const double want[3] = {c.grey * 255, c.grey * 255, c.grey * 255};
        expectColour(p, want, 1.5);
    }
    EXPECT_EQ(testsupport::GlContext::glErrors(), "");
}

TEST_F(AnimationShaderTest, PositionPicksFramesAndMid) {
    AnimationShader shader(5, 1, 0);
    std::vector<Texture*> frames;
    for (int f = 0; f < 5; ++f) {
        frames.push_back(flat(0.1f * f));
        shader.setFrame(f, frames.back(), 0);
    }
    auto check = [&](float position, int a, int b, float mid) {
        SCOPED_TRACE(position);
        shader.setPosition(position);
        shader.enable();
        shader.disable();
        EXPECT_EQ(param(shader, "texA")->value.texture, frames[a]);
        EXPECT_EQ(param(shader, "texB")->value.texture, frames[b]);
        EXPECT_FLOAT_EQ(param(shader, "mid")->value.f, mid);
    };
    check(2.25f, 2, 3, 0.25f);
    check(4, 3, 4, 1);
    check(7, 3, 4, 1);
    EXPECT_FLOAT_EQ(shader.getPosition(), 4);
    check(-2, 0, 1, 0);

    AnimationShader single(1, 1, 0);
    Texture* only = flat(0.5f);
    single.setFrame(0, only, 0);
    single.setPosition(0.5f);
    single.enable();
    single.disable();
    EXPECT_EQ(param(single, "texA")->value.texture, only);
    EXPECT_EQ(param(single, "texB")->value.texture, only);
    EXPECT_FLOAT_EQ(param(single, "mid")->value.f, 1);
}

// The two steps arrive blended once per frame on unit 1, the colormap on unit 2.
TEST_F(AnimationShaderTest, MethodOneLooksTheBlendUpInTheColormapOnTwoUnits) {
    AnimationShader shader(2, 1, 0);
    shader.setFrame(0, flat(0.3f), 0);
    shader.setFrame(1, flat(0.5f), 0);
    shader.setVariable(&primary, 0);
    EXPECT_EQ(shader.getMethod(), 1);
    shader.setPosition(0.5f);  // 0.4: entry 1
    double want[3];
    colormapColour(1, want);
    expectColour(draw(shader, 32, 32), want, 1);
    shader.setPosition(1);  // 0.5: entry 2
    colormapColour(2, want);
    expectColour(draw(shader, 32, 32), want, 1);

    shader.enable();
    EXPECT_EQ(Shader::nextUnit, 3);
    EXPECT_EQ(colormap->unit, GL_TEXTURE2);
    shader.disable();
    EXPECT_EQ(shader.parameters().size(), 5u);  // texAB, mid, overBlack, method, colormap
    EXPECT_NE(param(shader, "texAB"), nullptr);
    EXPECT_EQ(param(shader, "numContours"), nullptr);
    EXPECT_EQ(param(shader, "screenWidth"), nullptr);
}

TEST_F(AnimationShaderTest, TextonsBlendOverTheColourByAlpha3D) {
    AnimationShader shader(1, 2, 0);
    shader.setFrame(0, flat(0.4f), 0);  // colormap entry 1
    shader.setFrame(0, flat(0.6f), 1);  // texton slice 2
    shader.setVariable(&primary, 0);
    shader.setVariable(&secondary, 1);
    ASSERT_EQ(shader.getMethod(), 2);
    shader.setContours(false);
    const auto p = draw(shader, 20, 30);
    const double alpha = 0.65 * kTextons[2][3] / 255.0;
    double want[3];
    for (int c = 0; c < 3; ++c) want[c] = (1 - alpha) * kColormap[1][c] + alpha * kTextons[2][c];
    expectColour(p, want, 1.5);

    shader.setShowTexture(false);
    colormapColour(1, want);
    expectColour(draw(shader, 20, 30), want, 1);
}

TEST_F(AnimationShaderTest, ContoursOffWithNeverSetContourUniformsDrawNoLine) {
    AnimationShader shader(1, 2, 2);
    shader.setFrame(0, flat(0.4f), 0);
    shader.setFrame(0, rampAlongS(), 1);
    shader.setVariable(&primary, 0);
    shader.setVariable(&secondary, 1);
    shader.setContours(false);
    shader.setShowTexture(false);
    const auto p = draw(shader, 16, 16);  // on a contour level, were contours on
    // The program drawing without contours cannot read the never-set uniforms at all.
    EXPECT_EQ(glGetUniformLocation(shader.programName(), "screenWidth"), -1);
    EXPECT_EQ(glGetUniformLocation(shader.programName(), "numContours"), -1);
    double want[3];
    colormapColour(1, want);
    expectColour(p, want, 1);
    EXPECT_EQ(param(shader, "screenWidth"), nullptr);
    EXPECT_EQ(param(shader, "contourWidth"), nullptr);
    EXPECT_EQ(param(shader, "useContour")->value.i, 0);
}

// Contour strength worked out from the shader's formulas for a secondary value equal to s,
// so its change per pixel is 1 / kView across and 0 up.
double contourStrength(double s, double numContours, double widthPx, int type, bool blackBottom) {
    const double pval = std::clamp(s, blackBottom ? 0.0 : 0.95 / numContours, 0.999);
    const double dp = 1.0 / kView;
    const double p = pval * numContours - std::floor(pval * numContours);
    const double bound = dp * numContours * widthPx;
    const double e0 = (-1 + 2 * type) * bound, e1 = (1 + type) * bound;
    const double t = std::clamp((p - e0) / (e1 - e0), 0.0, 1.0);
    return 1 - t * t * (3 - 2 * t);
}

TEST_F(AnimationShaderTest, ContourLinesSitJustAboveEachLevelButNotInTheLowestInterval) {
    AnimationShader shader(1, 2, 2);
    shader.setFrame(0, flat(0.4f), 0);
    shader.setFrame(0, rampAlongS(), 1);
    shader.setVariable(&primary, 0);
    shader.setVariable(&secondary, 1);
    shader.setShowTexture(false);
    double base[3];
    colormapColour(1, base);
    struct Case {
        int x;
        int type;
        bool line;
    } cases[] = {{16, 0, true}, {20, 0, false}, {0, 0, false}, {16, 1, true}, {18, 1, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "x " << c.x << " type " << c.type);
        shader.setContourType(c.type);
        const auto p = draw(shader, c.x, 32);
        const double g = contourStrength((c.x + 0.5) / kView, 8, 2, c.type, false);
        EXPECT_EQ(g > 0.05, c.line);
        double want[3];
        for (int ch = 0; ch < 3; ++ch) want[ch] = base[ch] * (1 - g);
        expectColour(p, want, 4);
    }
    // With blackBottom the lowest interval gets its line too.
    secondary.bottom = true;
    shader.setContourType(0);
    const double g = contourStrength(0.5 / kView, 8, 2, 0, true);
    ASSERT_GT(g, 0.2);
    double want[3];
    for (int ch = 0; ch < 3; ++ch) want[ch] = base[ch] * (1 - g);
    expectColour(draw(shader, 0, 32), want, 4);
}

// A secondary field lying flat on a contour level has no line there: the contour term must not
// meet a zero gradient (equal smoothstep edges) and blacken the picture.
TEST_F(AnimationShaderTest, AFlatFieldOnAContourLevelDrawsNoLine) {
    AnimationShader shader(2, 2, 2);
    shader.setFrame(0, flat(0.4f), 0);
    shader.setFrame(1, flat(0.4f), 0);
    shader.setFrame(0, flat(0.5f), 1);  // level 4 of 8, exactly
    shader.setFrame(1, flat(0.5f), 1);
    shader.setVariable(&primary, 0);
    shader.setVariable(&secondary, 1);
    shader.setShowTexture(false);
    double base[3];
    colormapColour(1, base);
    for (int type = 0; type < 2; ++type) {
        SCOPED_TRACE(type);
        shader.setContourType(type);
        for (float position : {0.0f, 0.5f, 1.0f}) {
            shader.setPosition(position);
            expectColour(draw(shader, 32, 32), base, 1);
        }
    }
}

double pseudoHeight(double v) {
    const double x = v / 0.02 - std::floor(v / 0.02);
    return v + 0.02 * 0.4 * x * (1 - x);
}

TEST_F(AnimationShaderTest, ShadingDarkensSlopesAndLeavesFlatGroundAlone) {
    AnimationShader shader(1, 3, 0);
    shader.setFrame(0, flat(0.4f), 0);
    shader.setFrame(0, rampAlongS(), 1);
    shader.setFrame(0, flat(0.5f), 2);
    shader.setVariable(&primary, 0);
    shader.setVariable(&secondary, 1);
    shader.setVariable(&secondary, 2);
    shader.setMethod(3);
    double base[3];
    colormapColour(1, base);

    shader.setSecondary(2);
    expectColour(draw(shader, 40, 20), base, 1);

    shader.setSecondary(1);
    const auto slope = draw(shader, 40, 20);
    const double s = 40.5 / kView, dT = 0.001;
    const double dhy = (pseudoHeight(s) - pseudoHeight(s + dT)) * 0.8;
    const double zn = dT / std::sqrt(dhy * dhy + dT * dT);
    ASSERT_LT(zn, 0.95);
    double want[3];
    for (int c = 0; c < 3; ++c) want[c] = base[c] * zn;
    expectColour(slope, want, 4);
    EXPECT_LT(slope[0], base[0] - 5);
    EXPECT_FLOAT_EQ(param(shader, "contourWidth")->value.f, 0.02f);
    EXPECT_FLOAT_EQ(param(shader, "shadingScale")->value.f, 0.8f);
}

// Fixed-function drawing after a background frame must be untextured whichever program drew it:
// a sampler one program does not read once left the texton texture enabled on unit 5.
TEST_F(AnimationShaderTest, EveryProgramLeavesFixedFunctionDrawingAsItFoundIt) {
    AnimationShader shader(2, 2, 0);
    for (int f = 0; f < 2; ++f) {
        shader.setFrame(f, flat(0.4f), 0);
        shader.setFrame(f, rampAlongS(), 1);
    }
    shader.setVariable(&primary, 0);
    shader.setVariable(&secondary, 1);
    shader.setPosition(0.5f);
    GLint units = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    ASSERT_GE(units, 7);  // the fullest program samples units 1 to 6
    const GLenum targets[3] = {GL_TEXTURE_1D, GL_TEXTURE_2D, GL_TEXTURE_3D};
    // The context is shared with the tests before this one: start with texturing off everywhere.
    for (int u = 0; u < units; ++u) {
        glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + u));
        for (GLenum t : targets) glDisable(t);
    }
    const GLenum callerUnit = GL_TEXTURE2;  // not unit 0, so a frame that forces 0 shows
    const unsigned char plain[3] = {30, 160, 220};
    const struct {
        int method;
        bool contours;
    } programs[] = {{0, false}, {1, false}, {2, true}, {2, false}, {3, false}};
    for (const auto& p : programs) {
        SCOPED_TRACE(testing::Message() << "method " << p.method << " contours " << p.contours);
        shader.setMethod(p.method);
        shader.setContours(p.contours);
        glActiveTexture(callerUnit);
        const auto background = draw(shader, 32, 32);
        EXPECT_NE(background[2], 255) << "the frame was drawn over the clear colour";
        GLint active = 0;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
        EXPECT_EQ(active, static_cast<GLint>(callerUnit));
        for (int u = 0; u < units; ++u) {
            glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + u));
            for (GLenum t : targets) EXPECT_FALSE(glIsEnabled(t)) << "unit " << u << " target 0x" << std::hex << t;
        }
        glActiveTexture(GL_TEXTURE0);
        glColor3ubv(plain);
        glBegin(GL_QUADS);
        glVertex2f(-0.5f, -0.5f);
        glVertex2f(0.5f, -0.5f);
        glVertex2f(0.5f, 0.5f);
        glVertex2f(-0.5f, 0.5f);
        glEnd();
        const auto quad = testsupport::GlContext::readPixel(kView / 2, kView / 2);
        for (int c = 0; c < 3; ++c) EXPECT_EQ(quad[c], plain[c]) << "channel " << c;
        glColor3f(1, 1, 1);
        EXPECT_EQ(testsupport::GlContext::glErrors(), "");
    }
}

TEST_F(AnimationShaderTest, MethodFollowsTheVariablesAndIndicesWrap) {
    AnimationShader shader(2, 3, 0);
    shader.setVariable(&primary, 0);
    EXPECT_EQ(shader.getMethod(), 1);
    shader.setVariable(&secondary, 1);
    EXPECT_EQ(shader.getMethod(), 2);
    shader.setVariable(&primary, 2);
    EXPECT_EQ(shader.getMethod(), 2);  // a colormap variable after a texton one keeps 2

    EXPECT_EQ(shader.cyclePrimary(-1), 2);
    EXPECT_EQ(shader.cyclePrimary(1), 0);
    shader.setSecondary(2);
    EXPECT_EQ(shader.cycleSecondary(1), 0);
    EXPECT_FALSE(shader.toggleContours());
    EXPECT_TRUE(shader.toggleContours());
}

TEST_F(AnimationShaderTest, FramesOutsideTheTableAreRefusedAndReplacedOnesDeleted) {
    AnimationShader shader(2, 2, 0);
    Texture extra(GL_TEXTURE_2D);  // stays ours when refused
    testing::internal::CaptureStdout();
    shader.setFrame(2, &extra, 0);
    shader.setFrame(5, &extra, 1);
    shader.setFrame(-1, &extra, 0);
    shader.setFrame(0, &extra, 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Cannot add frame 2 to AnimationShader(2)\n"
              "Cannot add frame 5 to AnimationShader(2)\n"
              "Cannot add frame -1 to AnimationShader(2)\n"
              "Cannot add variable 2 to AnimationShader(2)\n");
    EXPECT_EQ(shader.getFrame(0, 0), nullptr);

    Texture* first = flat(0.1f);
    shader.setFrame(1, first, 1);
    Texture* second = flat(0.2f);
    const GLuint firstName = first->name;
    shader.setFrame(1, second, 1);
    EXPECT_EQ(shader.getFrame(1, 1), second);
    EXPECT_FALSE(glIsTexture(firstName));  // the replaced frame was deleted
}

TEST_F(AnimationShaderTest, WithoutShaderSupportOnlyTheTextonsAreBound) {
    Shader::supported = false;
    {
        testing::internal::CaptureStderr();
        AnimationShader shader(2, 2, 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "No shader support available.\n");
        shader.setVariable(&primary, 0);
        shader.setVariable(&secondary, 1);
        shader.enable();
        ASSERT_EQ(shader.parameters().size(), 1u);
        EXPECT_STREQ(shader.parameters()[0].name, "tex3D");
        EXPECT_TRUE(glIsEnabled(GL_TEXTURE_3D));
        shader.disable();
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_3D));
    }
    Shader::supported = true;
}

}  // namespace

TEST_F(AnimationShaderTest, FrameTableFollowsAnotherStepCountKeepingTheFramesThatFit) {
    AnimationShader shader(2, 2, 0);
    Texture* a = flat(0.25f);
    Texture* b = flat(0.75f);
    shader.setFrame(1, a, 0);
    shader.setFrame(1, b, 1);

    // More steps: what was there stays where it was, the new places take frames.
    shader.setFrameCount(4);
    EXPECT_EQ(shader.getFrameCount(), 4);
    EXPECT_EQ(shader.getFrame(1, 0), a);
    EXPECT_EQ(shader.getFrame(1, 1), b);
    EXPECT_EQ(shader.getFrame(3, 1), nullptr);
    Texture* c = flat(0.5f);
    testing::internal::CaptureStdout();
    shader.setFrame(3, c, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(shader.getFrame(3, 1), c);

    // Fewer steps: frames beyond the table are deleted and a late position shows the last frame.
    const GLuint cName = c->name;
    shader.setFrameCount(2);
    EXPECT_FALSE(glIsTexture(cName));
    EXPECT_EQ(shader.getFrame(1, 1), b);
    shader.setFrame(0, flat(0.25f), 1);
    shader.setPrimary(1);
    shader.setPosition(3.0f);
    const std::array<int, 4> got = draw(shader, kView / 2, kView / 2);
    EXPECT_NEAR(got[0], 0.75 * 255, 2.0);
}
