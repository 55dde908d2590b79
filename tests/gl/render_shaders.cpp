#include <gtest/gtest.h>

#include <sstream>
#include <type_traits>

#include "GlContext.h"
#include "Shader.h"
#include "Texture.h"

namespace {

static_assert(!std::is_copy_constructible_v<Shader>, "a shader owns its program");

const char* const threeSamplers =
    "uniform sampler2D first;\n"
    "uniform sampler2D second;\n"
    "uniform sampler2D third;\n"
    "uniform float gain;\n"
    "void main() {\n"
    "    vec2 st = gl_TexCoord[0].st;\n"
    "    gl_FragColor = gain * (texture2D(first, st) + texture2D(second, st) + texture2D(third, st));\n"
    "}\n";

const char* const redOfFloat =
    "uniform sampler2D values;\n"
    "void main() { gl_FragColor = vec4(texture2D(values, gl_TexCoord[0].st).r, 0.0, 0.0, 1.0); }\n";

class ShaderTest : public testsupport::GlTest {
protected:
    void SetUp() override {
        testsupport::GlTest::SetUp();
        testing::internal::CaptureStdout();
        Shader::initialize();
        testing::internal::GetCapturedStdout();
        ASSERT_TRUE(Shader::isSupported());
    }
    void TearDown() override {
        if (Shader::current) Shader::current->disable();
    }
    // Builds `source` into `shader`; fails the test with the log if it does not link.
    static void build(Shader& shader, const char* source) {
        ShaderObject fragment(GL_FRAGMENT_SHADER);
        std::ostringstream log;
        if (!fragment.compile(source)) fragment.printLog(log);
        ASSERT_EQ(log.str(), "");
        ASSERT_TRUE(shader.attach(fragment));
        ASSERT_TRUE(shader.link());
    }
    static void drawQuad() {
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0); glVertex2f(-1, -1);
        glTexCoord2f(1, 0); glVertex2f(1, -1);
        glTexCoord2f(1, 1); glVertex2f(1, 1);
        glTexCoord2f(0, 1); glVertex2f(-1, 1);
        glEnd();
    }
    static GLint boundOnUnit(int i, GLenum binding = GL_TEXTURE_BINDING_2D) {
        GLint active = 0, name = -1;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
        glActiveTexture(GL_TEXTURE0 + i);
        glGetIntegerv(binding, &name);
        glActiveTexture(active);
        return name;
    }
};

TEST_F(ShaderTest, SecondInitializePrintsNothing) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Shader::initialize();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(Shader::initialized);
}

TEST_F(ShaderTest, CompileFailureIsReportedWithTheDriverLog) {
    ShaderObject bad(GL_FRAGMENT_SHADER);
    EXPECT_FALSE(bad.compile("void main() { float x = 1; gl_FragColor = vec4(x); }"));  // no int-to-float in 1.10
    std::ostringstream log;
    bad.printLog(log);
    EXPECT_GT(log.str().size(), 1u);
    EXPECT_EQ(log.str().back(), '\n');
}

TEST_F(ShaderTest, TextureParametersTakeUnitsOneToThreeInOrderAndAreReleased) {
    Shader shader;
    build(shader, threeSamplers);
    Texture a(GL_TEXTURE_2D), b(GL_TEXTURE_2D), c(GL_TEXTURE_2D);
    shader.addParameter(ShaderParam("first", &a));
    shader.addParameter(ShaderParam("gain", 0.5f));
    shader.addParameter(ShaderParam("second", &b));
    shader.addParameter(ShaderParam("third", &c));
    shader.enable();
    EXPECT_EQ(Shader::current, &shader);
    EXPECT_EQ(Shader::nextUnit, 4);
    EXPECT_EQ(a.unit, GL_TEXTURE1);
    EXPECT_EQ(b.unit, GL_TEXTURE2);
    EXPECT_EQ(c.unit, GL_TEXTURE3);
    EXPECT_EQ(boundOnUnit(1), static_cast<GLint>(a.name));
    EXPECT_EQ(boundOnUnit(3), static_cast<GLint>(c.name));
    GLint sampler = -1;
    glGetUniformiv(shader.programName(), glGetUniformLocation(shader.programName(), "second"), &sampler);
    EXPECT_EQ(sampler, 2);
    GLfloat gain = 0;
    glGetUniformfv(shader.programName(), glGetUniformLocation(shader.programName(), "gain"), &gain);
    EXPECT_FLOAT_EQ(gain, 0.5f);

    glActiveTexture(GL_TEXTURE3);
    shader.disable();
    EXPECT_EQ(Shader::current, nullptr);
    EXPECT_EQ(Shader::nextUnit, 1);
    EXPECT_EQ(a.unit, -1);
    EXPECT_EQ(c.unit, -1);
    EXPECT_EQ(boundOnUnit(1), 0);
    EXPECT_EQ(boundOnUnit(3), 0);
    GLint active = 0, program = -1;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ(active, GL_TEXTURE0);
    EXPECT_EQ(program, 0);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(testsupport::GlContext::glErrors(), "");
}

TEST_F(ShaderTest, UnusedSamplerStillUsesUpAUnit) {
    Shader shader;
    build(shader, threeSamplers);
    Texture a(GL_TEXTURE_2D), unused(GL_TEXTURE_2D), b(GL_TEXTURE_2D);
    shader.addParameter(ShaderParam("first", &a));
    shader.addParameter(ShaderParam("notInTheProgram", &unused));
    shader.addParameter(ShaderParam("second", &b));
    shader.enable();
    EXPECT_EQ(a.unit, GL_TEXTURE1);
    EXPECT_EQ(unused.unit, -1);  // not bound anywhere: the program would not read it
    EXPECT_EQ(boundOnUnit(1), static_cast<GLint>(a.name));
    EXPECT_EQ(b.unit, GL_TEXTURE3);
    EXPECT_EQ(Shader::nextUnit, 4);
    shader.disable();
    for (int u = 0; u < 4; ++u) {
        glActiveTexture(GL_TEXTURE0 + u);
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D)) << "unit " << u;
    }
    glActiveTexture(GL_TEXTURE0);
}

TEST_F(ShaderTest, EnablingTwiceReleasesFirstAndAttachRefusesWhileCurrent) {
    Shader shader;
    build(shader, threeSamplers);
    Texture a(GL_TEXTURE_2D);
    shader.addParameter(ShaderParam("first", &a));
    shader.enable();
    shader.enable();
    EXPECT_EQ(a.unit, GL_TEXTURE1);
    EXPECT_EQ(a.previousUnit, -1);  // released in between, so no stale record underneath
    ShaderObject other(GL_FRAGMENT_SHADER);
    EXPECT_FALSE(shader.attach(other));
    shader.disable();
    EXPECT_EQ(a.unit, -1);
}

TEST_F(ShaderTest, EnablingAnotherShaderDisablesTheCurrentOne) {
    Shader first, second;
    build(first, threeSamplers);
    build(second, redOfFloat);
    Texture a(GL_TEXTURE_2D);
    first.addParameter(ShaderParam("first", &a));
    first.enable();
    second.enable();
    EXPECT_EQ(Shader::current, &second);
    EXPECT_EQ(a.unit, -1);
    second.disable();
}

TEST_F(ShaderTest, FloatDataIsReadThroughTheRedChannel) {
    Shader shader;
    build(shader, redOfFloat);
    const float values[4] = {0.25f, 0.25f, 0.25f, 0.25f};
    Texture t(GL_TEXTURE_2D);
    t.setFloatData2D(2, 2, values);
    shader.addParameter(ShaderParam("values", &t));
    glViewport(0, 0, 16, 16);
    shader.enable();
    drawQuad();
    shader.disable();
    const auto p = testsupport::GlContext::readPixel(8, 8);
    EXPECT_NEAR(p[0], 0.25 * 255, 1.0);
    EXPECT_EQ(p[1], 0);
    EXPECT_EQ(testsupport::GlContext::glErrors(), "");
}

TEST_F(ShaderTest, WithoutShaderSupportTexturesAreBoundInTurnOnTheCurrentUnit) {
    Shader::supported = false;
    {
        Shader shader;
        EXPECT_EQ(shader.programName(), 0u);
        EXPECT_FALSE(shader.link());
        Texture a(GL_TEXTURE_2D), b(GL_TEXTURE_2D), c(GL_TEXTURE_2D);
        shader.addParameter(ShaderParam("first", &a));
        shader.addParameter(ShaderParam("second", &b));
        shader.addParameter(ShaderParam("third", &c));
        shader.addParameter(ShaderParam("gain", 2));
        shader.enable();
        EXPECT_EQ(Shader::nextUnit, 4);
        EXPECT_EQ(a.unit, -1);
        EXPECT_EQ(boundOnUnit(0), static_cast<GLint>(c.name));  // the last one bound wins unit 0
        std::ostringstream log;
        shader.printLog(log);
        EXPECT_EQ(log.str(), "No shader support available.\n");
        shader.disable();
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    }
    Shader::supported = true;
}

}  // namespace
