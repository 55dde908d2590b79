#include "CommandMenu.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>

float menuRowTop(int row, int n) { return 0.97f - row * 2.0f / n; }
float menuRowBottom(int row, int n) { return 0.97f - (row + 1) * 2.0f / n; }
float menuSeparatorY(int t, int n) { return 1.0f - t * 2.0f / n; }
float menuCellLeft(int j, int count) { return j * 1.9f / count - 0.95f; }

MenuRect menuHighlight(const MenuItem& item, int row, int n) {
    MenuRect r;
    const float top = menuRowTop(row, n), bottom = menuRowBottom(row, n);
    const float mid = (top + bottom) / 2, hb = bottom + kMenuMargin / 2;
    if (item.choiceCount > 0) {
        r.x0 = menuCellLeft(item.value, item.choiceCount);
        r.x1 = r.x0 + 1.9f / item.choiceCount;
        r.y0 = hb;
        r.y1 = mid + kMenuMargin / 2;
        r.empty = false;
    } else if (item.value != 0) {
        r.x0 = -0.95f;
        r.x1 = 0.95f;
        r.y0 = hb;
        r.y1 = top;
        r.empty = false;
    }
    return r;
}

int menuRowAt(float py, float y, float height, int n) {
    if (n <= 0 || !(height > 0)) return -1;
    const int row = static_cast<int>((1.0f - (py - y) / height) * n);
    return std::min(std::max(row, 0), n - 1);
}

float menuFadeStep(float alpha, bool hovered, float minAlpha) {
    // Snap the last sliver so a whole number of 0.05 steps lands exactly on the end value.
    const float eps = 1e-4f;
    if (hovered) {
        alpha = std::min(alpha + 0.05f, 1.0f);
        if (1.0f - alpha < eps) alpha = 1.0f;
    } else {
        alpha = std::max(alpha - 0.05f, minAlpha);
        if (alpha - minAlpha < eps) alpha = minAlpha;
    }
    return alpha;
}

CommandMenu::CommandMenu(float minAlpha_, int capacity_)
    : UIWindow(0, 0, 200, 400),
      capacity(std::max(capacity_, 0)),
      items(static_cast<std::size_t>(std::max(capacity_, 0))),
      alpha(minAlpha_),
      minAlpha(minAlpha_) {}

void CommandMenu::addItem(const char* label, unsigned char key, const char* c1, const char* c2,
                          const char* c3, const char* c4, const char* c5) {
    if (itemCount >= capacity) return;
    MenuItem& it = items[static_cast<std::size_t>(itemCount++)];
    it = MenuItem();
    it.label = label;
    it.key = key;
    const char* cs[5] = {c1, c2, c3, c4, c5};
    for (int i = 0; i < 5; ++i) {
        it.choices[i] = cs[i];
        if (cs[i]) ++it.choiceCount;
    }
}

void CommandMenu::addItem(const char* label, unsigned char key, int initialValue, const char* c1,
                          const char* c2, const char* c3, const char* c4, const char* c5) {
    if (itemCount >= capacity) return;
    addItem(label, key, c1, c2, c3, c4, c5);
    items[static_cast<std::size_t>(itemCount - 1)].value = initialValue;
}

bool CommandMenu::handleMouse(int /*button*/, int state, float px, float py) {
    hovered = px > x && px < x + width && py > y && py < y + height;
    if (!hovered || state != Pressed) return hovered;
    const int row = menuRowAt(py, y, height, itemCount);
    // Without a command function (or rows) a click has nothing to report; it is still ours.
    if (row < 0 || !commandFn) return true;
    MenuItem& clicked = items[static_cast<std::size_t>(row)];
    clicked.value = commandFn(clicked.key);
    if (clicked.choiceCount > 0) return true;
    // Neighbouring command rows form a radio group.
    for (int r = row + 1; r < itemCount && items[static_cast<std::size_t>(r)].choiceCount == 0; ++r)
        items[static_cast<std::size_t>(r)].value = 0;
    for (int r = row - 1; r >= 0 && items[static_cast<std::size_t>(r)].choiceCount == 0; --r)
        items[static_cast<std::size_t>(r)].value = 0;
    return true;
}

void CommandMenu::draw() {
    beginWindow(false);
    fade();
    const int n = itemCount;

    glColor4f(0, 0, 0, alpha);
    glLineWidth(2);
    glBegin(GL_LINE_LOOP);
    glVertex3f(-1, -1, -1);
    glVertex3f(-1, 1, -1);
    glVertex3f(1, 1, -1);
    glVertex3f(1, -1, -1);
    glEnd();
    glLineWidth(1);

    glColor4f(0.3f, 0.5f, 0.5f, alpha);
    glBegin(GL_QUADS);
    glVertex3f(-1, -1, 0);
    glVertex3f(1, -1, 0);
    glVertex3f(1, 1, 0);
    glVertex3f(-1, 1, 0);
    glEnd();

    glColor4f(0, 0, 0, alpha);
    glBegin(GL_LINES);
    for (int t = 1; t < n; ++t) {
        const float sy = menuSeparatorY(t, n);
        glVertex3f(-1, sy, -0.1f);
        glVertex3f(1, sy, -0.1f);
    }
    glEnd();

    // Captions go before the highlights so that the highlights end up behind them.
    glColor4f(1, 1, 1, alpha);
    const float g = kMenuMargin;
    for (int u = 0; u < n; ++u) {
        const MenuItem& it = items[static_cast<std::size_t>(u)];
        const float textTop = menuRowTop(u, n) - g, textBottom = menuRowBottom(u, n) + g;
        const float mid = (textTop + textBottom) / 2;
        if (it.choiceCount > 0) {
            drawText(-0.95f, mid + 0.05f, it.label, TextStyle::Outlined, font, alpha);
            int j = 0;
            for (const char* c : it.choices) {
                if (!c) continue;
                drawText(menuCellLeft(j, it.choiceCount) + g, textBottom, c, TextStyle::Outlined, font, alpha);
                ++j;
            }
        } else {
            drawText(-0.95f, textBottom + 0.15f, it.label, TextStyle::Outlined, font, alpha);
        }
    }

    glColor4f(0.5f, 0.8f, 0.8f, alpha);
    glBegin(GL_QUADS);
    for (int u = 0; u < n; ++u) {
        const MenuRect r = menuHighlight(items[static_cast<std::size_t>(u)], u, n);
        if (r.empty) continue;
        glVertex3f(r.x0, r.y0, -0.1f);
        glVertex3f(r.x1, r.y0, -0.1f);
        glVertex3f(r.x1, r.y1, -0.1f);
        glVertex3f(r.x0, r.y1, -0.1f);
    }
    glEnd();

    endWindow();
}
