#pragma once

#include <vector>

#include "Shader.h"

class ShadedVariable;
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
    int getFrameCount() const { return frameCount; }
    int getVariableCount() const { return variableCount; }

    void enable() override;

    // The fragment program's source text.
    static const char* fragmentSource();

private:
    static constexpr int kPrograms = 5;
    static int programIndex(int method, bool contours);
    bool buildProgram(int k);
    void assignSamplerUnits();
    const ShadedVariable* variableAt(int row) const;
    Texture* frameAt(int row, int frame) const;

    int method;
    std::vector<Texture*> frames;
    int frameCount;
    int variableCount;
    float position = 0;
    int primary = 0;
    int secondary = 1;
    std::vector<const ShadedVariable*> rowVariables;
    bool useContour = true;
    GLuint programs[kPrograms] = {};  // one per way of drawing; `program` is the one in use
    bool showTexture = true;
    int contourType = 0;
    float contourWidth = 2.0f;
};
