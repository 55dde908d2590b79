#pragma once

#include <functional>
#include <vector>

#include "Text.h"
#include "UIPiece.h"

// One menu row: a choice row (choiceCount > 0, value = selected choice) or a command row
// (choiceCount 0, value != 0 = highlighted).
struct MenuItem {
    const char* label = nullptr;
    unsigned char key = 0;
    int choiceCount = 0;
    int value = 0;
    const char* choices[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
};

// A rectangle in normalised coordinates; empty when nothing is to be drawn.
struct MenuRect {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty = true;
};

// Menu geometry in the normalised coordinates of the menu's rectangle, n rows, row 0 at the top.
constexpr float kMenuMargin = 0.06f;
float menuRowTop(int row, int n);
float menuRowBottom(int row, int n);
float menuSeparatorY(int t, int n);
// Left edge of choice cell j of a row with `count` choices (cells span -0.95 ... 0.95).
float menuCellLeft(int j, int count);
// The selected cell of a choice row, or the bar of a highlighted command row.
MenuRect menuHighlight(const MenuItem& item, int row, int n);
// Row under a pointer height py (window pixels) for a menu at y with the given height; rows are
// counted from the top. -1 when there are no rows.
int menuRowAt(float py, float y, float height, int n);
// One frame of fading toward full opacity (hovered) or the resting opacity.
float menuFadeStep(float alpha, bool hovered, float minAlpha);

// A panel of rows that each hand their key to the application's command function when clicked and
// show its result. Fades between a resting opacity and full opacity as the pointer leaves or enters.
class CommandMenu : public UIWindow {
public:
    using CommandFunction = std::function<int(int)>;

    CommandMenu(float minAlpha, int capacity);

    // Appends a row (ignored when the menu is full); non-null captions make it a choice row.
    void addItem(const char* label, unsigned char key, const char* c1 = nullptr, const char* c2 = nullptr,
                 const char* c3 = nullptr, const char* c4 = nullptr, const char* c5 = nullptr);
    // The same with the row's starting value.
    void addItem(const char* label, unsigned char key, int initialValue, const char* c1 = nullptr,
                 const char* c2 = nullptr, const char* c3 = nullptr, const char* c4 = nullptr,
                 const char* c5 = nullptr);
    void setCommandFunction(CommandFunction fn) { commandFn = std::move(fn); }
    void setFont(BitmapFont f) { font = f; }

    void draw() override;
    // Pointer in window pixels. Consumes every event strictly inside the rectangle.
    bool handleMouse(int button, int state, float px, float py) override;

    int getItemCount() const { return itemCount; }
    int getCapacity() const { return capacity; }
    const MenuItem& item(int i) const { return items[static_cast<std::size_t>(i)]; }
    float getAlpha() const { return alpha; }
    float getMinAlpha() const { return minAlpha; }
    bool isHovered() const { return hovered; }
    BitmapFont getFont() const { return font; }

    // One frame's fade without drawing (what draw() does first).
    void fade() { alpha = menuFadeStep(alpha, hovered, minAlpha); }

private:
    int itemCount = 0;
    int capacity = 0;
    std::vector<MenuItem> items;
    float alpha;
    float minAlpha;
    bool hovered = false;
    BitmapFont font = BitmapFont::Helvetica10;
    CommandFunction commandFn;
};
