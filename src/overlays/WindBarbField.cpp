#include "WindBarbField.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

#include "DataVariable.h"
#include "ForecastData.h"

BarbGlyph barbGlyph(float knots) {
    BarbGlyph g;
    float m = knots + 2.5f;
    if (m < 5.0f) {
        g.calm = true;
        return g;
    }
    for (; m > 50.0f; m -= 50.0f) ++g.pennants;
    for (; m > 10.0f; m -= 10.0f) ++g.fullBarbs;
    g.halfBarb = m > 5.0f;
    return g;
}

float barbAngle(float dx, float dy) {
    float a = static_cast<float>(std::atan2(dy, dx) * 57.29577866666166 + 90.0);
    if (a < 0.0f) a += 360.0f;
    return a;
}

WindBarbField::WindBarbField(int rows, int cols, int numTimes, float spacing)
    : DataLayer(rows, cols, numTimes), spacing(spacing) {}

void WindBarbField::glyph(float x, float y, float angle, const BarbGlyph& g, bool halo) const {
    const float unit = spacing * 0.6f;
    const float L = halo ? 0.4f * 1.05f : 0.4f;
    const float step = 0.15f;
    glPushMatrix();
    glTranslatef(x, y, depth);
    glRotatef(angle, 0, 0, 1);
    glScalef(unit, unit, 1);
    glBegin(GL_POINTS);
    glVertex2f(0, 0);
    glEnd();
    if (!g.calm) {
        glBegin(GL_LINES);
        glVertex2f(0, 0);
        glVertex2f(0, halo ? 1.02f : 1.0f);
        glEnd();
        float p = 1.0f;
        for (int k = 0; k < g.pennants; ++k) {
            glBegin(halo ? GL_LINE_STRIP : GL_TRIANGLES);
            glVertex2f(0, p);
            glVertex2f(L, p);
            glVertex2f(0, p - 1.5f * step);
            glEnd();
            p -= 2 * step;
        }
        glBegin(GL_LINES);
        for (int k = 0; k < g.fullBarbs; ++k) {
            glVertex2f(0, p);
            glVertex2f(L, p + step);
            p -= step;
        }
        if (g.halfBarb) {
            // A lone half barb sits one step in from the tip.
            if (p >= 1.0f) p -= step;
            glVertex2f(0, p);
            glVertex2f(L / 2 + (halo ? 0.02f : 0.0f), p + step / 2);
        }
        glEnd();
    }
    glPopMatrix();
}

void WindBarbField::drawBarbs(double t) {
    if (!dataset) return;
    glPushAttrib(GL_CURRENT_BIT | GL_LINE_BIT | GL_POINT_BIT | GL_ENABLE_BIT);
    glEnable(GL_LINE_SMOOTH);
    dataset->setTime(t);
    const int row0 = static_cast<int>(static_cast<float>(rowMin) + spacing / 2);
    const int col0 = static_cast<int>(static_cast<float>(colMin) + spacing / 2);
    const float stepCells = std::max(spacing, 1.0f);  // a zero spacing would never advance
    for (int row = row0; row < rowMax; row = static_cast<int>(static_cast<float>(row) + stepCells)) {
        for (int col = col0; col < colMax; col = static_cast<int>(static_cast<float>(col) + stepCells)) {
            const float r = static_cast<float>(row), c = static_cast<float>(col);
            const float dx = dataset->windDirXAt(r, c, -2);
            const float dy = dataset->windDirYAt(r, c, -2);
            const float s = dataset->windSpeedAt(r, c, -2);
            const float k = variable ? variable->toDisplay(s) : s;
            const BarbGlyph g = barbGlyph(k);
            const float angle = barbAngle(dx, dy);
            if (g.calm) {
                glPointSize(2);
                glColor4f(0, 0, 0, 1);
                glBegin(GL_POINTS);
                glVertex3f(c, r, depth);
                glEnd();
            }
            glPointSize(4);
            glLineWidth(1.2f);
            glColor4f(0.7f, 1, 1, 0.8f);
            glyph(c, r, angle, g, false);
            // Same depth, drawn second: with the depth test it only shows around the light glyph.
            glPointSize(6);
            glLineWidth(3.2f);
            glColor4f(0, 0, 0, 0.6f);
            glyph(c, r, angle, g, true);
        }
    }
    glPointSize(1);
    glLineWidth(1);
    glPopAttrib();
}

void WindBarbField::buildFrame(int i, float factor) {
    if (i < 0) return;
    const int wanted = std::max(i + 1, dataset ? dataset->numTimes() : 0);
    if (wanted > numLists) reserveLists(wanted);
    if (listBase == 0) return;
    beginUIList(listBase + static_cast<GLuint>(i));
    drawBarbs(static_cast<double>(i) * factor);
    endUIList();
}

void WindBarbField::draw() {
    if (dynamic && dataset) {
        drawBarbs(-2);
        return;
    }
    DataLayer::draw();
}
