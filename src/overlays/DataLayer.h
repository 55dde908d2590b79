#pragma once

#include <string>

#include "Text.h"
#include "UIPiece.h"

class DataVariable;

// Base of the grid overlays drawn over the map: owns a block of display lists (one per forecast
// step and level of detail), the region of the grid shown and the mapping from grid cells to
// normalised device coordinates. Overlays never consume mouse events.
class DataLayer : public UIPiece {
public:
    // Reserves numLists display lists; needs a current GL context.
    DataLayer(int rows, int cols, int numLists);
    ~DataLayer() override;

    void setRegion(int rowMin, int rowMax, int colMin, int colMax);
    void setVariable(const DataVariable* variable);
    void setDepth(float depth);
    // From the reshape handler.
    void setScreenSize(int width, int height);
    // Selects list i and draws through the (virtual) draw.
    void showFrame(int i);
    // Calls the selected list; an index outside the block draws nothing.
    void draw() override;
    // Empties list i, giving back what it held; it then draws nothing until compiled again.
    void releaseList(int i);

    // Grid position to normalised coordinates, snapped to whole cells: the region's first row and
    // column map to -1.
    void gridToNdc(float row, float col, float& x, float& y) const;

    unsigned int getListBase() const { return listBase; }
    int getNumLists() const { return numLists; }
    int getListIndex() const { return listIndex; }
    int getScreenW() const { return screenW; }
    int getScreenH() const { return screenH; }
    float getDepth() const { return depth; }

protected:
    // Replaces the list block by a fresh one of n lists (contents are lost): a reload with more
    // steps must not compile into names it does not own.
    void reserveLists(int n);

    unsigned int listBase = 0;
    const DataVariable* variable = nullptr;
    int rows, cols;
    int numLists = 0;
    int rowMin = 0, rowMax = 0, colMin = 0, colMax = 0;
    int listIndex = 0;
    int screenW = -1, screenH = -1;
    float depth = 0.0f;
};

// What drawSpeedNumber prints: the whole knots in the larger font and, when there is one, the
// tenths digit as a small subscript offset by (dx, dy) in normalised units.
struct SpeedNumberText {
    std::string whole;
    std::string tenths;  // empty: no small digit
    float dx = 0.0f, dy = 0.0f;
};
SpeedNumberText speedNumberText(float value, int screenW, int screenH);

// Text at a normalised position, nudged down and left so the point sits near its middle; nothing
// when the nudged point is not strictly inside the viewport.
void drawLabel(float x, float y, const char* text, BitmapFont font);
void drawLabel(float x, float y, const std::string& text, BitmapFont font);
// A speed in knots at a normalised position (see speedNumberText).
void drawSpeedNumber(float x, float y, float value, int screenW, int screenH);
