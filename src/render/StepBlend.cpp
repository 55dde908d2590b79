#include "StepBlend.h"

#include <cstdio>

#include "Texture.h"

namespace {

// Same arithmetic as the background program's per-pixel blend, so the picture does not move.
const char* const kBlendSource =
    "uniform sampler2D texA, texB, texC, texD;\n"
    "uniform float mid;\n"
    "void main() {\n"
    "    vec2 st = gl_TexCoord[0].st;\n"
    "    float p = (1.0 - mid) * texture2D(texA, st).r + mid * texture2D(texB, st).r;\n"
    "    float s = (1.0 - mid) * texture2D(texC, st).r + mid * texture2D(texD, st).r;\n"
    "    gl_FragColor = vec4(p, s, 0.0, 1.0);\n"
    "}\n";

GLuint buildProgram() {
    const GLuint shader = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(shader, 1, &kBlendSource, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    GLuint program = 0;
    if (ok == GL_TRUE) {
        program = glCreateProgram();
        glAttachShader(program, shader);
        glLinkProgram(program);
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (ok != GL_TRUE) {
            glDeleteProgram(program);
            program = 0;
        }
    }
    glDeleteShader(shader);
    if (!program) return 0;
    GLint previous = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &previous);
    glUseProgram(program);
    const char* const samplers[4] = {"texA", "texB", "texC", "texD"};
    for (int i = 0; i < 4; ++i) glUniform1i(glGetUniformLocation(program, samplers[i]), i);
    glUseProgram(static_cast<GLuint>(previous));
    return program;
}

}  // namespace

StepBlend::StepBlend() {
    if (!glCreateProgram || !glGenFramebuffers || !GLEW_ARB_texture_float || !GLEW_ARB_texture_rg) return;
    program = buildProgram();
    if (!program) return;
    glGenFramebuffers(1, &fbo);
    target = std::make_unique<Texture>(GL_TEXTURE_2D);
}

StepBlend::~StepBlend() {
    if (fbo) glDeleteFramebuffers(1, &fbo);
    if (program) glDeleteProgram(program);
}

bool StepBlend::resize(int w, int h) {
    if (ready && target->width == w && target->height == h) return true;
    target->allocateTarget2D(w, h, GL_RG32F, GL_RG, GL_FLOAT, GL_LINEAR);

    GLint framebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target->name, 0);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
    if (!complete) {
        std::fprintf(stderr, "StepBlend: cannot draw into a %d x %d float texture; blending per pixel\n", w, h);
        glDeleteFramebuffers(1, &fbo);
        fbo = 0;
        return false;
    }
    ready = true;
    return true;
}

Texture* StepBlend::blend(Texture* a, Texture* b, Texture* c, Texture* d, float mid) {
    if (!available() || !a || !b || a->width <= 0 || a->height <= 0) return nullptr;
    Texture* const inputs[4] = {a, b, c, d};
    // One texel of the result per texel of every input, or the filtering would differ.
    for (Texture* t : inputs)
        if (t && (t->width != a->width || t->height != a->height)) return nullptr;
    if (valid && mid == lastMid && inputs[0] == last[0] && inputs[1] == last[1] && inputs[2] == last[2] &&
        inputs[3] == last[3])
        return target.get();
    if (!resize(a->width, a->height)) return nullptr;

    GLint framebuffer = 0, previousProgram = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    glGetIntegerv(GL_CURRENT_PROGRAM, &previousProgram);
    glPushAttrib(GL_VIEWPORT_BIT | GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glViewport(0, 0, a->width, a->height);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_ALPHA_TEST);
    glUseProgram(program);
    // Each result texel reads its inputs at their texel centres, where nearest filtering gives the
    // texel itself as linear filtering does, for a quarter of the reads.
    GLint filters[4][2] = {};
    for (int i = 0; i < 4; ++i) {
        glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + i));
        glBindTexture(GL_TEXTURE_2D, inputs[i] ? inputs[i]->name : 0);
        if (!inputs[i]) continue;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filters[i][0]);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filters[i][1]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    }
    glUniform1f(glGetUniformLocation(program, "mid"), mid);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    // In reverse, so that a texture given twice gets back the filter saved before either change.
    for (int i = 3; i >= 0; --i) {
        if (!inputs[i]) continue;
        glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + i));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filters[i][0]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filters[i][1]);
    }

    glUseProgram(static_cast<GLuint>(previousProgram));
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();  // texture bindings, enables, active unit, viewport

    for (int i = 0; i < 4; ++i) last[i] = inputs[i];
    lastMid = mid;
    valid = true;
    return target.get();
}
