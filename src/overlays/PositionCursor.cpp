#include "PositionCursor.h"

#include <GL/glew.h>

PositionCursor::PositionCursor(int rows, int cols, int numTimes, float scale)
    : DataLayer(rows, cols, numTimes), scale(scale) {}

void PositionCursor::draw() {
    if (row < 0 || col < 0) return;
    static const float arrows[4][3][2] = {{{-0.2f, 1}, {0.2f, 1}, {0, 0.25f}},
                                          {{-0.2f, -1}, {0, -0.25f}, {0.2f, -1}},
                                          {{-1, -0.2f}, {-1, 0.2f}, {-0.25f, 0}},
                                          {{1, 0.2f}, {1, -0.2f}, {0.25f, 0}}};
    glPushAttrib(GL_LINE_BIT | GL_ENABLE_BIT);
    glEnable(GL_LINE_SMOOTH);
    glPushMatrix();
    glLineWidth(2);
    glTranslatef(static_cast<float>(col), static_cast<float>(row), depth);
    glRotatef(angle, 0, 0, 1);
    glScalef(scale, scale, scale);
    glBegin(GL_TRIANGLES);
    for (const auto& a : arrows)
        for (const auto& v : a) glVertex2fv(v);
    glEnd();
    for (const auto& a : arrows) {
        glBegin(GL_LINE_LOOP);
        for (const auto& v : a) glVertex2fv(v);
        glEnd();
    }
    glPopMatrix();
    glLineWidth(1);
    glPopAttrib();
    angle -= 0.5f;
}
