#pragma once

#include <GL/glew.h>

#include <memory>
#include <vector>

class AnimationShader;
class DataVariable;
class ForecastData;
class Texture;

// The map's base layer: coast and state outlines (stored in the forecast grid's own (column, row)
// coordinates, so nothing is projected at run time), the map transform that places the region of
// interest on the drawing space, and the background field painted by the animation shader from one
// float texture per variable and forecast step.
class driftView {
public:
    static constexpr const char* kCoastFile = "NAvector_lambert.dat";
    static constexpr const char* kStateFile = "state_vector_lambert.dat";

    // Reads the two outline files (relative paths resolve in the working directory).
    explicit driftView(const char* coastPath = kCoastFile, const char* statePath = kStateFile);
    ~driftView();
    driftView(const driftView&) = delete;
    driftView& operator=(const driftView&) = delete;

    // Reads one outline file: polylines "id x y x y ... END", closed by a lone "END" or the end of
    // the file. Replaces the four tables and returns the number of polylines. A missing file or a
    // malformed token is reported on standard error; what was read before stays.
    static int loadConfigFile(const char* path, std::vector<std::vector<float>>& y, std::vector<std::vector<float>>& x,
                              int& count, std::vector<unsigned>& lengths);

    // Stores the dataset and the variables that get background textures (in shader row order),
    // builds the textures and the background quad. Needs a current GL context.
    void init(ForecastData* dataset, DataVariable* const* variables, int variableCount);
    // Lets go of every background texture and has the shader build them from the current data as
    // they are drawn (at start and after a reload).
    void generateBackgroundTextures();
    // The background texture of one step of one variable (shader row), normalised by that variable;
    // null when there is no such step or variable.
    Texture* buildFrameTexture(int step, int variable);

    // The drawing space the region of interest is spread over (the start-up window size).
    void setMapView(float width, float height);
    float mapWidth() const { return viewWidth; }
    float mapHeight() const { return viewHeight; }
    // Pushes the model-view matrix and applies the map transform: afterwards x = column, y = row.
    void pushMapTransform() const;
    void popMapTransform() const;
    // Where grid column / row lands in the drawing space under the map transform, and back.
    float screenX(float col) const;
    float screenY(float row) const;
    float gridCol(float x) const;
    float gridRow(float y) const;

    // The background field at a fractional time index; nothing without shader support.
    void drawBackground(double t);
    // Outlines at z = 0.1 in the current colour; the line width is restored afterwards.
    void drawCoast(float width) const;
    void drawStates(float width) const;

    // Background settings, forwarded to the shader. Meaningful after init().
    void setContourWidth(float w);
    void setShading(bool on);
    int cycleMethod();
    int cycleColourVariable();
    int cycleTextureVariable();
    int setColourVariable(int i);
    int setTextureVariable(int i);
    bool toggleContours();
    void setContours(bool on);
    void setContourType(int k);
    void setShowTexture(bool on);

    AnimationShader* getShader() const { return shader.get(); }
    int getCoastCount() const { return coastCount; }
    int getStateCount() const { return stateCount; }
    const std::vector<std::vector<float>>& getCoastX() const { return coastX; }
    const std::vector<std::vector<float>>& getCoastY() const { return coastY; }
    const std::vector<std::vector<float>>& getStateX() const { return stateX; }
    const std::vector<std::vector<float>>& getStateY() const { return stateY; }
    GLuint getQuadList() const { return quadList; }

private:
    void buildQuad();
    // Every polyline of an outline file in one vertex array, made once at load, drawn in one call.
    struct OutlineArrays {
        std::vector<float> points;  // x, y, z per point
        std::vector<GLint> firsts;
        std::vector<GLsizei> counts;
    };
    static OutlineArrays packOutlines(const std::vector<std::vector<float>>& x,
                                      const std::vector<std::vector<float>>& y, int count);
    static void drawOutlines(const OutlineArrays& outlines, float width);
    float scaleX() const;
    float scaleY() const;

    std::vector<std::vector<float>> coastY, stateY;
    std::vector<std::vector<float>> coastX, stateX;
    int coastCount = 0, stateCount = 0;
    OutlineArrays coastArrays, stateArrays;
    std::vector<unsigned> coastLengths, stateLengths;
    GLuint quadList = 0;
    std::vector<DataVariable*> variables;
    int variableCount = 0;
    std::unique_ptr<AnimationShader> shader;
    std::vector<float> frameScratch;  // one normalised step, reused by every texture build
    ForecastData* dataset = nullptr;
    float viewWidth = 1834.0f, viewHeight = 1030.0f;
    int methodBeforeShading = 2;
};
