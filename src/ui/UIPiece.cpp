#include "UIPiece.h"

#include <GL/glew.h>

#include "Text.h"

int motionCount = 0;
bool dragDetected = false;
int overlayDepth = 0;
bool compilingDisplayList = false;

bool UIPiece::handleMouse(int /*button*/, int state, float /*x*/, float /*y*/) {
    if (state == Pressed) {
        motionCount = 0;
        dragDetected = false;
    } else if (state < 0) {
        ++motionCount;
    }
    if (motionCount >= 2) dragDetected = true;
    return false;
}

UIWindow::UIWindow(float x_, float y_, float w, float h) : x(0), y(0), width(0), height(0) {
    setGeometry(x_, y_, w, h);
    dragging = false;
}

void UIWindow::setGeometry(float x_, float y_, float w, float h) {
    x = x_;
    y = y_;
    if (w >= 0) width = w;
    if (h >= 0) height = h;
}

bool UIWindow::contains(float px, float py) const {
    return px >= x && px <= x + width && py >= y && py <= y + height;
}

void UIWindow::beginWindow(bool clearColour) {
    const GLint ix = static_cast<GLint>(x), iy = static_cast<GLint>(y);
    const GLsizei iw = static_cast<GLsizei>(width), ih = static_cast<GLsizei>(height);
    glScissor(ix, iy, iw, ih);
    glViewport(ix, iy, iw, ih);
    glEnable(GL_SCISSOR_TEST);
    glClear(clearColour ? (GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT) : GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void UIWindow::endWindow() { glDisable(GL_SCISSOR_TEST); }

void UIWindow::draw() {
    beginWindow(true);
    endWindow();
}

bool UIWindow::handleMouse(int /*button*/, int state, float px, float py) {
    const bool inside = contains(px, py);
    if (state == Pressed && inside) {
        grabX = static_cast<int>(px);
        grabY = static_cast<int>(py);
        dragging = true;
        return true;
    }
    if (state == Released && inside) {
        dragging = false;
        return true;
    }
    if (dragging) {
        x += px - grabX;
        y += py - grabY;
        grabX = static_cast<int>(px);
        grabY = static_cast<int>(py);
        return true;
    }
    return false;
}

void begin2D() {
    if (overlayDepth++ != 0) return;
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
}

void end2D() {
    // An unpaired end would pop matrices that belong to someone else.
    if (overlayDepth <= 0) return;
    if (--overlayDepth != 0) return;
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

void beginUIList(unsigned int list) {
    prepareGlyphLists();  // glyph lists cannot be made once the compile has begun
    glNewList(list, GL_COMPILE);
    compilingDisplayList = true;
}

void endUIList() {
    glEndList();
    compilingDisplayList = false;
}
