#pragma once

#include <functional>
#include <string>
#include <vector>

#include "UIPiece.h"

class DataVariable;

// Which of a variable's textures a key slot shows.
enum KeyTexture { KeyActiveTexture = 0, KeyColormap = 1, KeyTextons = 2 };

// Where one key's parts lie, in the panel's normalised coordinates (x offsets from the key's left
// edge are absolute; the bar is measured from its own lower-left corner).
struct KeyLayout {
    float labelX = 0;    // value labels start here, 30 pixels left of the key's right end
    float barRight = 0;  // right edge of the bar
    float barW = 0, barH = 0;
    float sRep = 0, tRep = 0;  // texton repeats that show the pattern at its map size
};

// The key panel at the right edge: for each key slot a vertical bar painted with the variable's
// colour map or texton volume, ticks and value labels at its levels and its label underneath, plus
// a legend for the map's wind-speed numbers. Each slot is compiled into its own display list and
// recompiled only when its variable or the number of keys changes. Dragging moves the panel.
class MapKey : public UIWindow {
public:
    // Draws a wind-speed number the way the map writes them (whole knots large, tenths small) at a
    // point in normalised coordinates of a viewport of screenW x screenH pixels.
    using SpeedNumberFunction = std::function<void(float x, float y, float value, int screenW, int screenH)>;

    explicit MapKey(int capacity);
    ~MapKey() override;

    // Fills the next slot; ignored once every slot is taken. Compiled at the first draw.
    void addKey(DataVariable* variable, int kind);
    // Replaces a slot's variable, keeping its texture selector, and recompiles it.
    void setKey(DataVariable* variable, int slot);
    // Shows slots 0 ... n (n = -1 shows none) and recompiles them for their new widths.
    void setLastKey(int n);
    // The legend's number writer; without one the legend shows no number.
    void setSpeedNumberFunction(SpeedNumberFunction fn) { speedNumber = std::move(fn); }

    void draw() override;
    // Draws one key into the list being compiled.
    virtual void drawKey(DataVariable* variable, float x, float width, int kind);

    int getCapacity() const { return capacity; }
    int getLastKey() const { return lastKey; }
    DataVariable* keyVariable(int slot) const;
    int keyKind(int slot) const;
    unsigned int getListBase() const { return listBase; }
    float getKeyTop() const { return keyTop; }
    float getKeyBottom() const { return keyBottom; }

    // Left edge and width of a slot with the current number of keys.
    float slotX(int slot) const;
    float slotWidth() const;
    KeyLayout layout(float x, float width, float repeatX, float repeatY) const;
    // Height of tick i of n.
    float tickY(int i, int n) const;
    // The wind legend's caption, drawn from the panel's middle: "Wind (kts)" where it fits inside
    // the border, else the unit alone (the one-key panel is 72 pixels wide). Needs GLUT initialised.
    static std::string windCaption(float panelWidth);
    // Value label of a tick: `precision` decimals, or chosen from the value when negative.
    static std::string tickLabel(float value, int precision);

private:
    void compileSlot(int slot);

    std::vector<DataVariable*> variables;
    std::vector<int> kinds;
    int capacity;
    int lastKey = -1;
    unsigned int listBase = 0;
    float keyTop = 0.95f, keyBottom = -0.75f;
    SpeedNumberFunction speedNumber;
};
