#include "DataLayer.h"

#include <GL/glew.h>

#include <cmath>
#include <cstdio>

#include "DisplayLists.h"
DataLayer::DataLayer(int rows, int cols, int numLists) : rows(rows), cols(cols) {
    rowMax = rows - 1;
    colMax = cols - 1;
    reserveLists(numLists);
}

DataLayer::~DataLayer() {
    displaylists::release(listBase, numLists);
}

void DataLayer::reserveLists(int n) {
    displaylists::release(listBase, numLists);
    listBase = 0;
    numLists = 0;
    if (n < 1) return;
    listBase = displaylists::generate(n);
    if (listBase != 0) numLists = n;
}

void DataLayer::setRegion(int r0, int r1, int c0, int c1) {
    rowMin = r0;
    rowMax = r1;
    colMin = c0;
    colMax = c1;
}

void DataLayer::setVariable(const DataVariable* v) { variable = v; }

void DataLayer::setDepth(float d) { depth = d; }

void DataLayer::setScreenSize(int width, int height) {
    screenW = width;
    screenH = height;
}

void DataLayer::showFrame(int i) {
    listIndex = i;
    draw();
}

void DataLayer::draw() {
    if (listBase == 0 || listIndex < 0 || listIndex >= numLists) return;
    syncTextViewport();
    glCallList(listBase + static_cast<GLuint>(listIndex));
}

void DataLayer::releaseList(int i) {
    if (listBase == 0 || i < 0 || i >= numLists) return;
    glNewList(listBase + static_cast<GLuint>(i), GL_COMPILE);
    glEndList();
}

void DataLayer::gridToNdc(float row, float col, float& x, float& y) const {
    const int i = static_cast<int>(row - static_cast<float>(rowMin));
    const int j = static_cast<int>(col - static_cast<float>(colMin));
    x = 2.0f * static_cast<float>(j) / static_cast<float>(colMax - colMin - 1) - 1.0f;
    y = 2.0f * static_cast<float>(i) / static_cast<float>(rowMax - rowMin - 1) - 1.0f;
}

SpeedNumberText speedNumberText(float v, int screenW, int screenH) {
    SpeedNumberText out;
    char buf[32];
    if (v >= 9.95f) {
        std::snprintf(buf, sizeof buf, "%.0f", static_cast<double>(v));
        out.whole = buf;
        return out;
    }
    std::snprintf(buf, sizeof buf, "%d", static_cast<int>(v + 0.05f));
    out.whole = buf;
    const float t = std::fmod(v, 1.0f) * 10.0f;
    if (t > 0.5f && t <= 9.5f) {
        std::snprintf(buf, sizeof buf, "%.0f", static_cast<double>(t));
        out.tenths = buf;
        out.dx = screenW > 0 ? 14.0f / static_cast<float>(screenW) : 0.009f;
        out.dy = screenH > 0 ? -10.0f / static_cast<float>(screenH) : -0.01f;
    }
    return out;
}

void drawLabel(float x, float y, const char* text, BitmapFont font) {
    x -= 0.01f;
    y -= 0.01f;
    if (x > -1.0f && x < 1.0f && y > -1.0f && y < 1.0f) drawText(x, y, text, TextStyle::Outlined, font, 1.0f);
}

void drawLabel(float x, float y, const std::string& text, BitmapFont font) { drawLabel(x, y, text.c_str(), font); }

void drawSpeedNumber(float x, float y, float value, int screenW, int screenH) {
    const SpeedNumberText t = speedNumberText(value, screenW, screenH);
    drawLabel(x, y, t.whole, BitmapFont::Helvetica12);
    if (!t.tenths.empty()) drawLabel(x + t.dx, y + t.dy, t.tenths, BitmapFont::Helvetica10);
}
