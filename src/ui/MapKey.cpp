#include "MapKey.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdio>

#include "DataVariable.h"
#include "DisplayLists.h"
#include "Text.h"
#include "Texture.h"

namespace {

void caption(float x, float y, const std::string& text, BitmapFont font) {
    drawText(x, y, text, TextStyle::Outlined, font, 1.0f);
}

void quad(float x0, float y0, float x1, float y1, float z) {
    glVertex3f(x0, y0, z);
    glVertex3f(x1, y0, z);
    glVertex3f(x1, y1, z);
    glVertex3f(x0, y1, z);
}

// A quad shaded from its bottom colour to its top colour.
void shadedQuad(float x0, float y0, float x1, float y1, float z, const float bottom[4], const float top[4]) {
    glBegin(GL_QUADS);
    glColor4fv(bottom);
    glVertex3f(x0, y0, z);
    glVertex3f(x1, y0, z);
    glColor4fv(top);
    glVertex3f(x1, y1, z);
    glVertex3f(x0, y1, z);
    glEnd();
}

}  // namespace

MapKey::MapKey(int capacity_)
    : UIWindow(0, 0, 200, 400), capacity(std::max(capacity_, 0)) {
    variables.assign(static_cast<std::size_t>(capacity), nullptr);
    kinds.assign(static_cast<std::size_t>(capacity), KeyActiveTexture);
}

MapKey::~MapKey() {
    displaylists::release(listBase, capacity);
}

void MapKey::addKey(DataVariable* variable, int kind) {
    if (lastKey + 1 >= capacity) return;
    ++lastKey;
    variables[static_cast<std::size_t>(lastKey)] = variable;
    kinds[static_cast<std::size_t>(lastKey)] = kind;
}

void MapKey::setKey(DataVariable* variable, int slot) {
    if (slot < 0 || slot >= capacity) return;
    variables[static_cast<std::size_t>(slot)] = variable;
    compileSlot(slot);
}

void MapKey::setLastKey(int n) {
    lastKey = std::clamp(n, -1, capacity - 1);
    for (int i = 0; i <= lastKey; ++i) compileSlot(i);
}

DataVariable* MapKey::keyVariable(int slot) const {
    return slot >= 0 && slot < capacity ? variables[static_cast<std::size_t>(slot)] : nullptr;
}

int MapKey::keyKind(int slot) const {
    return slot >= 0 && slot < capacity ? kinds[static_cast<std::size_t>(slot)] : KeyActiveTexture;
}

float MapKey::slotWidth() const { return 1.9f / static_cast<float>(std::max(lastKey + 1, 1)); }

float MapKey::slotX(int slot) const { return static_cast<float>(slot) * slotWidth() - 0.95f; }

KeyLayout MapKey::layout(float x0, float keyWidth, float repeatX, float repeatY) const {
    KeyLayout l;
    const float u = 12.0f / width;
    l.labelX = x0 + keyWidth - 5 * u;
    l.barRight = l.labelX - 0.05f;
    l.barW = l.barRight - x0;
    l.barH = keyTop - keyBottom;
    l.sRep = width * 0.5f * l.barW / repeatX;
    l.tRep = height * 0.5f * l.barH / repeatY;
    return l;
}

float MapKey::tickY(int i, int n) const {
    return keyBottom + static_cast<float>(i) * (keyTop - keyBottom) / static_cast<float>(n);
}

std::string MapKey::tickLabel(float value, int precision) {
    char buf[64];
    const double v = value;
    if (precision >= 0)
        std::snprintf(buf, sizeof buf, "%.*f", precision, v);
    else if (v >= 10 || v * v < 1e-9)
        std::snprintf(buf, sizeof buf, "%.0f", v);
    else if (v >= 1)
        std::snprintf(buf, sizeof buf, "%.3g", v);
    else
        std::snprintf(buf, sizeof buf, "%.2g", v);
    return buf;
}

void MapKey::compileSlot(int slot) {
    // Before the first draw there are no lists yet; that draw compiles every slot.
    if (!listBase) return;
    beginUIList(listBase + static_cast<unsigned>(slot));
    if (DataVariable* v = variables[static_cast<std::size_t>(slot)])
        drawKey(v, slotX(slot), slotWidth(), kinds[static_cast<std::size_t>(slot)]);
    endUIList();
}

void MapKey::draw() {
    if (!listBase && capacity > 0) {
        listBase = displaylists::generate(capacity);
        for (int i = 0; i <= lastKey; ++i) compileSlot(i);
    }
    beginWindow(true);
    glPushAttrib(GL_CURRENT_BIT | GL_LINE_BIT | GL_ENABLE_BIT);

    glColor4f(1, 1, 1, 1);
    glLineWidth(2);
    glBegin(GL_LINE_LOOP);
    glVertex3f(-1, -1, 0);
    glVertex3f(-1, 1, 0);
    glVertex3f(1, 1, 0);
    glVertex3f(1, -1, 0);
    glEnd();
    glLineWidth(1);

    syncTextViewport();
    if (listBase)
        for (int i = 0; i <= lastKey; ++i)
            if (variables[static_cast<std::size_t>(i)]) glCallList(listBase + static_cast<unsigned>(i));

    // Wind legend: a sample number as the map writes them, on a grey patch behind the glyphs.
    glColor3f(1, 1, 1);
    glBegin(GL_LINES);
    glVertex2f(-1, -0.88f);
    glVertex2f(1, -0.88f);
    glEnd();
    if (speedNumber) speedNumber(-0.6f, -0.945f, 7.5f, static_cast<int>(width), static_cast<int>(height));
    glColor3f(0.5f, 0.5f, 0.5f);
    glBegin(GL_QUADS);
    quad(-0.9f, -0.98f, -0.1f, -0.9f, 0);
    glEnd();
    glColor3f(1, 1, 1);
    caption(0, -0.95f, windCaption(width), BitmapFont::Helvetica12);

    glPopAttrib();
    endWindow();
}

std::string MapKey::windCaption(float panelWidth) {
    static const std::string full = "Wind (kts)";
    // From the middle to the border's two pixels, less the outline's pixel on either side.
    const float room = panelWidth / 2 - 2 - 2;
    return static_cast<float>(textWidth(full, BitmapFont::Helvetica12)) <= room ? full : "kts";
}

void MapKey::drawKey(DataVariable* variable, float x0, float keyWidth, int kind) {
    if (!variable) return;
    Texture* texture = kind == KeyColormap  ? variable->colormapTexture()
                       : kind == KeyTextons ? variable->textonTexture()
                                            : variable->activeTexture();
    if (!texture) return;
    const KeyLayout l = layout(x0, keyWidth, variable->repeatX(), variable->repeatY());
    const bool textons = texture->dimensions() == 3;
    const float k = variable->keyTickOffset();

    glPushMatrix();
    glTranslatef(x0, keyBottom, 0);
    if (textons) {
        const float bottom[4] = {0.6f, 0.6f, 0.6f, 1}, top[4] = {0.4f, 0.4f, 0.4f, 1};
        shadedQuad(-0.02f, -0.01f, l.barW + 0.02f, l.barH + 0.01f, 0.5f, bottom, top);
    }
    glColor3f(1, 1, 1);
    texture->bind();
    glBegin(GL_QUADS);
    if (textons) {
        // The pattern repeats at its map scale; r runs up the bar through the value range.
        glTexCoord3f(0, 0.2f, -k);
        glVertex3f(0, 0, 0);
        glTexCoord3f(0, l.tRep + 0.2f, 1 - k);
        glVertex3f(0, l.barH, 0);
        glTexCoord3f(l.sRep, l.tRep + 0.2f, 1);
        glVertex3f(l.barW, l.barH, 0);
        glTexCoord3f(l.sRep, 0.2f, 0);
        glVertex3f(l.barW, 0, 0);
    } else {
        // The colour map runs from the lowest value at the bottom to the highest at the top.
        glTexCoord1f(0);
        glVertex3f(0, 0, 0);
        glVertex3f(l.barW, 0, 0);
        glTexCoord1f(1);
        glVertex3f(l.barW, l.barH, 0);
        glVertex3f(0, l.barH, 0);
    }
    glEnd();
    texture->unbind();
    if (textons) {
        const float bottom[4] = {0.7f, 0.7f, 0.7f, 0.3f}, top[4] = {0.3f, 0.3f, 0.3f, 0.3f};
        shadedQuad(-0.02f, -0.02f, l.barW + 0.02f, l.barH + 0.02f, -0.2f, bottom, top);
    }
    glPopMatrix();

    glEnable(GL_LINE_SMOOTH);
    glColor3f(1, 1, 1);
    caption(x0, keyBottom - 0.1f, variable->label(), BitmapFont::Helvetica12);

    // A variable without level intervals has no tick spacing: its bar stands without ticks.
    const int n = variable->levelCount();
    const int precision = variable->labelPrecision(-1);
    for (int i = 0; n > 0 && i <= n; ++i) {
        const float ty = tickY(i, n);
        caption(l.labelX, ty - 0.03f, tickLabel(variable->levelValue(i), precision), BitmapFont::Helvetica10);
        if (i > 0 && i < n) {
            // Inner ticks cross the bar; on a texton key they follow the shifted value coordinate.
            if (textons) {
                glColor3f(0.4f, 0.7f, 0.7f);
                glLineWidth(2);
            } else {
                glColor3f(0, 0, 0);
                glLineWidth(1);
            }
            glBegin(GL_LINES);
            glVertex3f(x0, ty + (textons ? k * l.barH : 0), -0.5f);
            glVertex3f(l.barRight, ty, -0.5f);
            glEnd();
        }
        glLineWidth(1);
        glBegin(GL_LINES);
        if (!textons) glColor3f(1, 1, 1);
        glVertex3f(l.barRight, ty, -0.5f);
        glColor3f(1, 1, 1);
        glVertex3f(l.labelX, ty, -0.5f);
        glEnd();
    }
    glDisable(GL_LINE_SMOOTH);
}
