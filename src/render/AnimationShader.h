#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "Shader.h"

class ShadedVariable;
class StepBlend;
class Texture;

// The map background program: shows the primary variable through its colormap and the secondary
// one as textons with contour lines, or as relief shading, blending between forecast steps.
// Owns its table of per-step frame textures (variableCount rows x frameCount columns).
class AnimationShader : public Shader {
public:
    AnimationShader(int frameCount, int variableCount, int method);
    ~AnimationShader() override;

    // Takes ownership of `texture` (deleting the one it replaces). A frame or variable outside the
    // table is reported and nothing is stored; the texture then stays the caller's.
    void setFrame(int frame, Texture* texture, int variable);
    Texture* getFrame(int frame, int variable) const;
    // Resizes the table to n frames per variable (a reload may bring another number of steps):
    // frames that still fit are kept, the rest are deleted, new places are empty.
    void setFrameCount(int n);
    // Where frames come from when they are built on demand: called with (frame, variable), returns
    // a new texture the shader then owns, or null. With a source set, only the frames being drawn
    // and their neighbours are held; the rest are deleted and built again when needed.
    using FrameSource = std::function<Texture*(int frame, int variable)>;
    void setFrameSource(FrameSource source) { frameSource = std::move(source); }
    // Deletes every frame (a source builds them again as they are drawn).
    void dropFrames();
    // Frame textures held now.
    int heldFrames() const;
    void setVariable(const ShadedVariable* variable, int index);

    int cyclePrimary(int delta);
    int cycleSecondary(int delta);
    void setPrimary(int i) { primary = i; }
    void setSecondary(int i) { secondary = i; }
    int getPrimary() const { return primary; }
    int getSecondary() const { return secondary; }
    int getMethod() const { return method; }
    void setMethod(int m) { method = m; }
    void setPosition(float p) { position = p; }
    float getPosition() const { return position; }
    void setContourWidth(float w) { contourWidth = w; }
    void setContours(bool on) { useContour = on; }
    bool toggleContours() { return useContour = !useContour; }
    bool getContours() const { return useContour; }
    void setContourType(int t) { contourType = t; }
    void setShowTexture(bool on) { showTexture = on; }
    // The caller draws onto a black window with blending and the depth test off: the programs
    // then write what blending onto black would have left.
    void setOverBlack(bool on) { overBlack = on; }
    int getFrameCount() const { return frameCount; }
    int getVariableCount() const { return variableCount; }

    void enable() override;

    // The fragment program's source text.
    static const char* fragmentSource();

private:
    static constexpr int kPrograms = 5;
    static int programIndex(int method, bool contours);
    // Program k, reading the steps blended once per frame or blending them per pixel; built on
    // first use. 0 when it cannot be built.
    GLuint programFor(int k, bool blended);
    bool buildProgram(int k, bool blended);
    void assignSamplerUnits(bool blended);
    const ShadedVariable* variableAt(int row) const;
    Texture* frameAt(int row, int frame) const;
    // With a source: builds the frames i0..i1 of the rows drawn now and lets go of the others.
    void holdFramesFor(int i0, int i1);

    int method;
    std::vector<Texture*> frames;
    int frameCount;
    int variableCount;
    float position = 0;
    int primary = 0;
    int secondary = 1;
    std::vector<const ShadedVariable*> rowVariables;
    bool useContour = true;
    // One per way of drawing, per-pixel blending [0] or blended once per frame [1]; `program` is
    // the one in use.
    GLuint programs[2][kPrograms] = {};
    bool basePlaced = false;
    bool buildFailed = false;
    bool showTexture = true;
    int contourType = 0;
    float contourWidth = 2.0f;
    std::unique_ptr<StepBlend> stepBlend;
    FrameSource frameSource;
    bool overBlack = false;
};
