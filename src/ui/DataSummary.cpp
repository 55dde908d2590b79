#include "DataSummary.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdio>

#include "DataVariable.h"
#include "ForecastData.h"

namespace {

constexpr float kPointerGap = 10;

// Start of a span of `size` beside pointer coordinate p, after it or before it, flipped to the other
// side where it would cross [0, extent] and pushed inside when the window is smaller than that.
float besidePointer(float p, float size, float extent, bool after) {
    float start = after ? p + kPointerGap : p - kPointerGap - size;
    if (extent <= 0) return start;
    if (start < 0 || start + size > extent) start = after ? p - kPointerGap - size : p + kPointerGap;
    if (start + size > extent) start = extent - size;
    if (start < 0) start = 0;
    return start;
}

}  // namespace

DataSummary::DataSummary(ForecastData& data_, DataVariable* const* vars, int count,
                         std::unique_ptr<CursorMark> cursor_)
    : UIWindow(0, 0, 200, 400), cursor(std::move(cursor_)), data(data_) {
    if (vars && count > 0) variables.assign(vars, vars + count);
    variableCount = static_cast<int>(variables.size());
}

void DataSummary::setWindowSize(int w, int h) {
    windowWidth = w;
    windowHeight = h;
}

void DataSummary::gridPosition(float px, float py, int& r, int& c) const {
    const float fx = std::clamp(px / static_cast<float>(windowWidth), 0.0f, 1.0f);
    const float fy = std::clamp(py / static_cast<float>(windowHeight), 0.0f, 1.0f);
    const int c0 = data.regionColMin(), c1 = data.regionColMax();
    const int r0 = data.regionRowMin(), r1 = data.regionRowMax();
    c = static_cast<int>(c0 + fx * static_cast<float>(c1 - c0));
    r = static_cast<int>(r0 + fy * static_cast<float>(r1 - r0));
}

void DataSummary::placeBeside(float px, float py) {
    setGeometry(besidePointer(px, width, static_cast<float>(windowWidth), true),
                besidePointer(py, height, static_cast<float>(windowHeight), false), -1, -1);
}

bool DataSummary::handleMouse(int /*button*/, int state, float px, float py) {
    hovered = px > x && px < x + width && py > y && py < y + height;
    if (state < Dragged) return false;
    // Without the window size a click cannot be placed on the map.
    if (windowWidth <= 0 || windowHeight <= 0) return false;
    gridPosition(px, py, row, column);
    if (cursor) cursor->setPosition(row, column);
    placeBeside(px, py);
    level = 5;
    return false;
}

bool DataSummary::advanceLevel() {
    if (hovered) {
        level = std::min(level + 0.05f, 4.0f);
        return true;
    }
    level -= 0.005f;
    if (level <= 0) {
        level = 0;
        return false;
    }
    return true;
}

float DataSummary::lineY(int k) const {
    // An empty list still spaces the position and wind lines sensibly.
    const float rowStep = 1.35f / static_cast<float>(std::max(variableCount, 1));
    return 0.7f - static_cast<float>(k) * rowStep;
}

std::string DataSummary::valueLine(const std::string& label, float value) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "%s: %.4g", label.c_str(), static_cast<double>(value));
    return buf;
}

std::string DataSummary::lineText(int k) {
    char buf[256];
    if (k == 0) {
        std::snprintf(buf, sizeof buf, "Position: (%d, %d)", column, row);
        return buf;
    }
    if (k >= 1 && k <= variableCount) {
        DataVariable* v = variables[static_cast<std::size_t>(k - 1)];
        if (!v) return "";
        // A fill value, or a blend with one, is no reading.
        if (data.missingAt(static_cast<int>(v->slot()), static_cast<float>(row), static_cast<float>(column), -2))
            return v->label() + ": --";
        const float value = data.sampleSlot(static_cast<int>(v->slot()), static_cast<float>(row),
                                            static_cast<float>(column), -2);
        return valueLine(v->label(), v->toDisplay(value));
    }
    if (k == variableCount + 1) {
        const float r = static_cast<float>(row), c = static_cast<float>(column);
        if (data.missingAt(WIND_DIR_X, r, c, -2)) return windLabel + "(U, V): --";
        std::snprintf(buf, sizeof buf, "%s(U, V): %.2f, %.2f", windLabel.c_str(),
                      static_cast<double>(data.windDirXAt(r, c, -2)),
                      static_cast<double>(data.windDirYAt(r, c, -2)));
        return buf;
    }
    return "";
}

void DataSummary::draw() {
    if (!advanceLevel()) return;
    const float a = std::min(level, 1.0f);

    glPushAttrib(GL_CURRENT_BIT | GL_LINE_BIT);
    glColor4f(1, 0.7f, 1, 0.7f * a);
    if (cursor) cursor->draw();

    // The depth buffer is cleared but not the colour: the map shows through the panel.
    beginWindow(false);
    glLineWidth(2);
    glBegin(GL_LINE_LOOP);
    glVertex3f(-1, -1, -1);
    glVertex3f(-1, 1, -1);
    glVertex3f(1, 1, -1);
    glVertex3f(1, -1, -1);
    glEnd();

    glColor4f(0, 0, 0, 0.5f * a);
    glBegin(GL_QUADS);
    glVertex3f(-1, -1, 0);
    glVertex3f(-1, 1, 0);
    glVertex3f(1, 1, 0);
    glVertex3f(1, -1, 0);
    glEnd();
    glLineWidth(1);

    glColor4f(1, 1, 1, a);
    for (int k = 0; k < lineCount(); ++k)
        drawText(-0.95f, lineY(k), lineText(k), TextStyle::Outlined, font, a);
    endWindow();
    glPopAttrib();
}
