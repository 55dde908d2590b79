#include "driftView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "AnimationShader.h"
#include "DataVariable.h"
#include "DisplayLists.h"
#include "ForecastData.h"
#include "Texture.h"

namespace {

// A bad token is shown in the message, but a binary file can hand us a token of any length full of
// terminal control bytes: show a short, printable excerpt.
std::string printableExcerpt(const std::string& token) {
    constexpr std::size_t kMax = 40;
    std::string shown;
    for (std::size_t i = 0; i < token.size() && i < kMax; ++i) {
        const unsigned char c = static_cast<unsigned char>(token[i]);
        shown += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?';
    }
    if (token.size() > kMax) shown += "...";
    return shown;
}

bool parseNumber(const std::string& token, float& value) {
    const char* begin = token.c_str();
    char* end = nullptr;
    value = std::strtof(begin, &end);
    return end != begin && *end == '\0' && std::isfinite(value);
}

}  // namespace

driftView::driftView(const char* coastPath, const char* statePath) {
    loadConfigFile(coastPath, coastY, coastX, coastCount, coastLengths);
    loadConfigFile(statePath, stateY, stateX, stateCount, stateLengths);
    coastArrays = packOutlines(coastX, coastY, coastCount);
    stateArrays = packOutlines(stateX, stateY, stateCount);
}

driftView::~driftView() {
    displaylists::release(quadList, 1);
}

int driftView::loadConfigFile(const char* path, std::vector<std::vector<float>>& y, std::vector<std::vector<float>>& x,
                              int& count, std::vector<unsigned>& lengths) {
    x.clear();
    y.clear();
    lengths.clear();
    lengths.reserve(400);
    count = 0;
    std::ifstream in(path ? path : "");
    if (!in) {
        std::fprintf(stderr, "driftView::loadConfigFile() - Can't open file: %s\n", path ? path : "");
        std::fprintf(stderr, "N Lines :%d\n", count);
        return count;
    }

    // One pass over the tokens; the table grows as needed. A polyline with an odd number of
    // coordinates loses the unpaired last one and does not disturb the polylines after it.
    std::string token;
    while (in >> token) {
        if (token == "END") break;
        float value = 0;
        bool bad = !parseNumber(token, value);  // the identifier, otherwise unused
        std::vector<float> xs, ys;
        float pendingX = 0;
        bool havePending = false, closed = false;
        while (!bad && in >> token) {
            if (token == "END") {
                closed = true;
                break;
            }
            if (!parseNumber(token, value)) {
                bad = true;
            } else if (havePending) {
                xs.push_back(pendingX);
                ys.push_back(value);
                havePending = false;
            } else {
                pendingX = value;
                havePending = true;
            }
        }
        if (closed || !xs.empty()) {
            lengths.push_back(static_cast<unsigned>(xs.size()));
            x.push_back(std::move(xs));
            y.push_back(std::move(ys));
            ++count;
        }
        if (bad) {
            std::fprintf(stderr, "driftView::loadConfigFile() - Bad token \"%s\" in %s, keeping the %d lines before it\n",
                         printableExcerpt(token).c_str(), path, count);
            break;
        }
        if (!closed) break;
    }
    std::fprintf(stderr, "N Lines :%d\n", count);
    return count;
}

void driftView::init(ForecastData* d, DataVariable* const* vars, int n) {
    dataset = d;
    variables.assign(vars, vars + (vars && n > 0 ? n : 0));
    variableCount = static_cast<int>(variables.size());
    generateBackgroundTextures();
    buildQuad();
}

void driftView::generateBackgroundTextures() {
    if (!dataset || !dataset->isLoaded()) return;
    const int steps = dataset->numTimes();
    if (!shader) shader = std::make_unique<AnimationShader>(steps, variableCount, 0);
    shader->setFrameCount(steps);
    // Built as the clock reaches them: a whole forecast of them is over a hundred megabytes and
    // most of a second to make, and only two steps of two variables are drawn at a time.
    shader->dropFrames();
    if (!Shader::isSupported()) return;
    for (int i = 0; i < variableCount; ++i) {
        DataVariable* v = variables[static_cast<size_t>(i)];
        if (!v) continue;
        std::printf("Generating Background %s Textures...\n", v->name().c_str());
        shader->setVariable(v, i);
    }
    shader->setFrameSource([this](int frame, int variable) { return buildFrameTexture(frame, variable); });
}

Texture* driftView::buildFrameTexture(int step, int variable) {
    if (!dataset || !dataset->isLoaded() || variable < 0 || variable >= variableCount) return nullptr;
    DataVariable* v = variables[static_cast<size_t>(variable)];
    if (!v) return nullptr;
    const int rows = dataset->numRows(), cols = dataset->numCols();
    const float* field = dataset->slotField(static_cast<int>(v->slot()));
    if (!field || step < 0 || step >= dataset->numTimes()) return nullptr;
    dataset->ensureStep(step);
    const float* slice = field + static_cast<std::size_t>(step) * rows * cols;
    frameScratch.resize(static_cast<std::size_t>(rows) * cols);
    v->normalise(frameScratch.data(), slice, rows * cols);
    auto* texture = new Texture(GL_TEXTURE_2D);
    texture->setFloatData2D(cols, rows, frameScratch.data());
    return texture;
}

void driftView::buildQuad() {
    if (!dataset) return;
    if (!quadList) quadList = displaylists::generate(1);
    if (!quadList) return;
    const float c0 = static_cast<float>(dataset->regionColMin()), c1 = static_cast<float>(dataset->regionColMax());
    const float r0 = static_cast<float>(dataset->regionRowMin()), r1 = static_cast<float>(dataset->regionRowMax());
    const float sc = dataset->numCols() > 1 ? static_cast<float>(dataset->numCols() - 1) : 1.0f;
    const float sr = dataset->numRows() > 1 ? static_cast<float>(dataset->numRows() - 1) : 1.0f;
    glNewList(quadList, GL_COMPILE);
    glBegin(GL_QUADS);
    glTexCoord2f(c0 / sc, r0 / sr);
    glVertex3f(c0, r0, 0.0f);
    glTexCoord2f(c0 / sc, r1 / sr);
    glVertex3f(c0, r1, 0.0f);
    glTexCoord2f(c1 / sc, r1 / sr);
    glVertex3f(c1, r1, 0.0f);
    glTexCoord2f(c1 / sc, r0 / sr);
    glVertex3f(c1, r0, 0.0f);
    glEnd();
    glEndList();
}

void driftView::setMapView(float width, float height) {
    viewWidth = width;
    viewHeight = height;
}

// A region one cell wide or less has no extent to spread; treat it as one cell.
float driftView::scaleX() const {
    const int span = dataset ? dataset->regionColMax() - dataset->regionColMin() : 0;
    return viewWidth / static_cast<float>(span > 0 ? span : 1);
}

float driftView::scaleY() const {
    const int span = dataset ? dataset->regionRowMax() - dataset->regionRowMin() : 0;
    return viewHeight / static_cast<float>(span > 0 ? span : 1);
}

float driftView::screenX(float col) const {
    const float sx = scaleX(), c0 = dataset ? static_cast<float>(dataset->regionColMin()) : 0.0f;
    return sx * (col - c0 + 2.0f - 0.5f * sx);
}

float driftView::screenY(float row) const {
    const float sy = scaleY(), r0 = dataset ? static_cast<float>(dataset->regionRowMin()) : 0.0f;
    return sy * (row - r0 + 2.0f - 0.5f * sy);
}

float driftView::gridCol(float x) const {
    const float sx = scaleX(), c0 = dataset ? static_cast<float>(dataset->regionColMin()) : 0.0f;
    return x / sx + c0 - 2.0f + 0.5f * sx;
}

float driftView::gridRow(float y) const {
    const float sy = scaleY(), r0 = dataset ? static_cast<float>(dataset->regionRowMin()) : 0.0f;
    return y / sy + r0 - 2.0f + 0.5f * sy;
}

void driftView::pushMapTransform() const {
    const float sx = scaleX(), sy = scaleY();
    const float c0 = dataset ? static_cast<float>(dataset->regionColMin()) : 0.0f;
    const float r0 = dataset ? static_cast<float>(dataset->regionRowMin()) : 0.0f;
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glScalef(sx, sy, 1.0f);
    glTranslatef((2.0f - 0.5f * sx) - c0, (2.0f - 0.5f * sy) - r0, 0.0f);
}

void driftView::popMapTransform() const {
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void driftView::drawBackground(double t) {
    if (!Shader::isSupported() || !shader || !quadList) return;
    shader->setPosition(static_cast<float>(t));
    // The background is the first thing in the frame, over the cleared black window: blending and
    // depth work would only cost (nothing drawn later lies behind it).
    shader->setOverBlack(true);
    shader->enable();
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glCallList(quadList);
    glPopAttrib();
    shader->disable();
}

driftView::OutlineArrays driftView::packOutlines(const std::vector<std::vector<float>>& x,
                                                const std::vector<std::vector<float>>& y, int count) {
    OutlineArrays out;
    const int n = std::min(count, static_cast<int>(std::min(x.size(), y.size())));
    for (int i = 0; i < n; ++i) {
        const std::vector<float>& xs = x[static_cast<size_t>(i)];
        const std::vector<float>& ys = y[static_cast<size_t>(i)];
        const size_t m = std::min(xs.size(), ys.size());
        if (m == 0) continue;
        out.firsts.push_back(static_cast<GLint>(out.points.size() / 3));
        out.counts.push_back(static_cast<GLsizei>(m));
        for (size_t k = 0; k < m; ++k) {
            out.points.push_back(xs[k]);
            out.points.push_back(ys[k]);
            out.points.push_back(0.1f);
        }
    }
    return out;
}

void driftView::drawOutlines(const OutlineArrays& outlines, float width) {
    GLfloat previous = 1.0f;
    glGetFloatv(GL_LINE_WIDTH, &previous);
    glLineWidth(width);
    if (!outlines.counts.empty()) {
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, outlines.points.data());
        glMultiDrawArrays(GL_LINE_STRIP, outlines.firsts.data(), outlines.counts.data(),
                          static_cast<GLsizei>(outlines.counts.size()));
        glPopClientAttrib();
    }
    glLineWidth(previous);
}

void driftView::drawCoast(float width) const { drawOutlines(coastArrays, width); }
void driftView::drawStates(float width) const { drawOutlines(stateArrays, width); }

void driftView::setContourWidth(float w) {
    if (shader) shader->setContourWidth(w);
}

void driftView::setShading(bool on) {
    if (!shader) return;
    if (on) {
        if (shader->getMethod() == 3) return;
        methodBeforeShading = shader->getMethod();
        shader->setMethod(3);
    } else {
        shader->setMethod(methodBeforeShading);
    }
}

int driftView::cycleMethod() {
    if (!shader) return 0;
    int m = shader->getMethod() + 1;
    if (m > 3) m = 1;
    shader->setMethod(m);
    return m;
}

int driftView::cycleColourVariable() { return shader ? shader->cyclePrimary(1) : 0; }
int driftView::cycleTextureVariable() { return shader ? shader->cycleSecondary(1) : 0; }

int driftView::setColourVariable(int i) {
    if (shader) shader->setPrimary(i);
    return i;
}

int driftView::setTextureVariable(int i) {
    if (shader) shader->setSecondary(i);
    return i;
}

bool driftView::toggleContours() { return shader ? shader->toggleContours() : false; }

void driftView::setContours(bool on) {
    if (shader) shader->setContours(on);
}

void driftView::setContourType(int k) {
    if (shader) shader->setContourType(k);
}

void driftView::setShowTexture(bool on) {
    if (shader) shader->setShowTexture(on);
}
