#include "AnimationShader.h"

#include <cstdio>
#include <iostream>
#include <string>

#include "BackgroundShaderSource.h"
#include "ShadedVariable.h"
#include "StepBlend.h"
#include "Texture.h"

const char* AnimationShader::fragmentSource() { return skyloom_shaders::backgroundFrag; }

AnimationShader::AnimationShader(int fc, int vc, int m)
    : method(m),
      frames(static_cast<size_t>(fc > 0 ? fc : 0) * (vc > 0 ? vc : 0), nullptr),
      frameCount(fc),
      variableCount(vc),
      rowVariables(static_cast<size_t>(vc > 0 ? vc : 0), nullptr) {
    if (!isSupported()) {
        printLog(std::cerr);
        return;
    }
    stepBlend = std::make_unique<StepBlend>();
    // The programs a key press may switch to are built now, so a fault shows at start-up. The
    // per-pixel blending ones are only needed where the blend pass cannot serve; built on demand.
    const bool blend = stepBlend->available();
    for (int k = 0; k < kPrograms && !buildFailed; ++k) programFor(k, blend && k != 0);
    program = programFor(programIndex(method, useContour), blend && method != 0);
}

GLuint AnimationShader::programFor(int k, bool blended) {
    GLuint& slot = programs[blended ? 1 : 0][k];
    if (slot || buildFailed) return slot;
    const GLuint inUse = program;
    // The base class's own program object serves as the first one built.
    program = basePlaced ? glCreateProgram() : program;
    basePlaced = true;
    slot = program;
    // After the first failure the rest would only repeat its log; they stay empty.
    if (!buildProgram(k, blended)) buildFailed = true;
    program = inUse ? inUse : slot;
    return slot;
}

// The drawing a program is built for: 0 and 1 as they are, 2 with or without contour lines, and
// any other method as relief, as the one general program's last branch did.
int AnimationShader::programIndex(int m, bool contours) {
    if (m == 0 || m == 1) return m;
    if (m == 2) return contours ? 2 : 3;
    return 4;
}

bool AnimationShader::buildProgram(int k, bool blended) {
    static const char* const defines[kPrograms] = {
        "#define METHOD 0\n#define CONTOURS 0\n", "#define METHOD 1\n#define CONTOURS 0\n",
        "#define METHOD 2\n#define CONTOURS 1\n", "#define METHOD 2\n#define CONTOURS 0\n",
        "#define METHOD 3\n#define CONTOURS 0\n"};
    ShaderObject fragment(GL_FRAGMENT_SHADER);
    const char* blend = blended ? "#define PREBLENDED 1\n" : "#define PREBLENDED 0\n";
    if (!fragment.compile((std::string(defines[k]) + blend + fragmentSource()).c_str())) {
        fragment.printLog(std::cerr);
        return false;
    }
    attach(fragment);
    if (!link()) {
        printLog(std::cerr);
        return false;
    }
    assignSamplerUnits(blended);
    return true;
}

// Samplers a method does not set would all stay on unit 0; samplers of different kinds on one unit
// make conforming drivers refuse to draw. Give each the unit enable() hands it in the fullest case.
void AnimationShader::assignSamplerUnits(bool blended) {
    static const char* const samplers[] = {"texA", "texB", "colormap", "texC", "texD", "tex3D"};
    static const char* const blendedSamplers[] = {"texAB", "colormap", "tex3D"};
    GLint previous = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &previous);
    glUseProgram(program);
    const int n = blended ? 3 : 6;
    for (int i = 0; i < n; ++i) {
        const GLint location = glGetUniformLocation(program, blended ? blendedSamplers[i] : samplers[i]);
        if (location != -1) glUniform1i(location, i + 1);
    }
    glUseProgram(static_cast<GLuint>(previous));
}

AnimationShader::~AnimationShader() {
    for (Texture* t : frames) delete t;
    // The base class deletes the program in use; the others are this class's.
    for (const auto& set : programs)
        for (GLuint p : set)
            if (p && p != program) glDeleteProgram(p);
}

void AnimationShader::setFrame(int frame, Texture* texture, int variable) {
    if (frame < 0 || frame >= frameCount) {
        std::printf("Cannot add frame %d to AnimationShader(%d)\n", frame, frameCount);
        std::fflush(stdout);
        return;
    }
    if (variable < 0 || variable >= variableCount) {
        std::printf("Cannot add variable %d to AnimationShader(%d)\n", variable, variableCount);
        std::fflush(stdout);
        return;
    }
    Texture*& slot = frames[static_cast<size_t>(variable) * frameCount + frame];
    if (slot != texture) delete slot;
    slot = texture;
    if (stepBlend) stepBlend->invalidate();
}

Texture* AnimationShader::getFrame(int frame, int variable) const { return frameAt(variable, frame); }

void AnimationShader::setFrameCount(int n) {
    if (n < 0) n = 0;
    if (n == frameCount) return;
    std::vector<Texture*> resized(static_cast<size_t>(n) * (variableCount > 0 ? variableCount : 0), nullptr);
    for (int row = 0; row < variableCount; ++row) {
        for (int frame = 0; frame < frameCount; ++frame) {
            Texture*& old = frames[static_cast<size_t>(row) * frameCount + frame];
            if (frame < n)
                resized[static_cast<size_t>(row) * n + frame] = old;
            else
                delete old;
            old = nullptr;
        }
    }
    frames.swap(resized);
    frameCount = n;
    if (stepBlend) stepBlend->invalidate();
}

void AnimationShader::dropFrames() {
    for (Texture*& t : frames) {
        delete t;
        t = nullptr;
    }
    if (stepBlend) stepBlend->invalidate();
}

int AnimationShader::heldFrames() const {
    int n = 0;
    for (const Texture* t : frames) n += t != nullptr;
    return n;
}

void AnimationShader::holdFramesFor(int i0, int i1) {
    if (!frameSource) return;
    const bool secondDrawn = method == 2 || method == 3;
    bool changed = false;
    for (int row = 0; row < variableCount; ++row) {
        const bool drawn = row == primary || (secondDrawn && row == secondary);
        for (int frame = 0; frame < frameCount; ++frame) {
            Texture*& slot = frames[static_cast<size_t>(row) * frameCount + frame];
            // One step either side stays, so that stepping back and forth builds nothing.
            const bool keep = drawn && frame >= i0 - 1 && frame <= i1 + 1;
            if (drawn && frame >= i0 && frame <= i1 && !slot) {
                slot = frameSource(frame, row);
                changed = true;
            } else if (!keep && slot) {
                delete slot;
                slot = nullptr;
                changed = true;
            }
        }
    }
    if (changed && stepBlend) stepBlend->invalidate();
}

Texture* AnimationShader::frameAt(int row, int frame) const {
    if (row < 0 || row >= variableCount || frame < 0 || frame >= frameCount) return nullptr;
    return frames[static_cast<size_t>(row) * frameCount + frame];
}

const ShadedVariable* AnimationShader::variableAt(int row) const {
    if (row < 0 || row >= variableCount) return nullptr;
    return rowVariables[static_cast<size_t>(row)];
}

void AnimationShader::setVariable(const ShadedVariable* variable, int index) {
    if (index < 0 || index >= variableCount) return;
    rowVariables[static_cast<size_t>(index)] = variable;
    if (!variable) return;
    if (variable->usesColormap() && method < 1) method = 1;
    if (variable->usesTextons()) method = 2;
}

static int wrapIndex(int i, int count) {
    if (i >= count) return 0;
    if (i < 0) return count - 1;
    return i;
}

int AnimationShader::cyclePrimary(int delta) { return primary = wrapIndex(primary + delta, variableCount); }

int AnimationShader::cycleSecondary(int delta) { return secondary = wrapIndex(secondary + delta, variableCount); }

void AnimationShader::enable() {
    // Enabled twice in a row: the bindings of the list about to be rebuilt are undone first.
    if (current) current->disable();
    params.clear();
    if (position > frameCount - 1) position = static_cast<float>(frameCount - 1);
    if (position < 0) position = 0;
    int i0 = static_cast<int>(position);
    int i1 = static_cast<int>(position + 1);
    float f = position - static_cast<float>(i0);
    if (i1 > frameCount - 1) {
        // At the last frame: blend the last two with full weight on the last.
        i1 = i0;
        i0 = i1 - 1;
        f = 1;
    }
    if (i0 < 0) i0 = 0;

    const ShadedVariable* prim = variableAt(primary);
    const ShadedVariable* sec = variableAt(secondary);
    holdFramesFor(i0, i1);
    if (isSupported()) {
        const int k = programIndex(method, useContour);
        // Frames that are missing or of unequal sizes are blended per pixel.
        Texture* blended = nullptr;
        if (k != 0 && stepBlend->available()) {
            const bool second = method == 2 || method == 3;
            blended = stepBlend->blend(frameAt(primary, i0), frameAt(primary, i1),
                                       second ? frameAt(secondary, i0) : nullptr,
                                       second ? frameAt(secondary, i1) : nullptr, f);
        }
        if (blended) {
            params.emplace_back("texAB", blended);
        } else {
            params.emplace_back("texA", frameAt(primary, i0));
            params.emplace_back("texB", frameAt(primary, i1));
        }
        params.emplace_back("mid", f);
        params.emplace_back("overBlack", overBlack ? 1 : 0);
        params.emplace_back("method", method);  // picks the program; kept in the list for readers
        if (method >= 1 && method <= 3) params.emplace_back("colormap", prim ? prim->colormapTexture() : nullptr);
        if (method == 2 || method == 3) {
            GLint viewport[4] = {0, 0, 0, 0};
            glGetIntegerv(GL_VIEWPORT, viewport);
            if (!blended) {
                params.emplace_back("texC", frameAt(secondary, i0));
                params.emplace_back("texD", frameAt(secondary, i1));
            }
            // The relief program samples no textons: the texture would only be bound for nothing.
            if (method == 2) params.emplace_back("tex3D", sec ? sec->textonTexture() : nullptr);
            params.emplace_back("repeatX", sec ? sec->repeatX() : 1.0f);
            params.emplace_back("repeatY", sec ? sec->repeatY() : 1.0f);
            params.emplace_back("alpha3D", sec ? sec->alpha3D() : 0.0f);
            params.emplace_back("useContour", useContour ? 1 : 0);
            params.emplace_back("contourType", contourType);
            params.emplace_back("showTexture", showTexture ? 1 : 0);
            if (method == 3) {
                params.emplace_back("contourWidth", 0.02f);
                params.emplace_back("shadingScale", 0.8f);
                params.emplace_back("curvature", 0.4f);
            } else if (useContour) {
                params.emplace_back("screenWidth", static_cast<int>(viewport[2]));
                params.emplace_back("screenHeight", static_cast<int>(viewport[3]));
                params.emplace_back("numContours", sec ? sec->numContours() : 0.0f);
                params.emplace_back("contourWidth", contourWidth);
                params.emplace_back("blackBottom", sec && sec->blackBottom() ? 1 : 0);
            }
        }
        program = programFor(k, blended != nullptr);
    } else {
        params.emplace_back("tex3D", sec ? sec->textonTexture() : nullptr);
    }
    Shader::enable();
}
