#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Text.h"
#include "UIPiece.h"

class DataVariable;
class ForecastData;

// The mark the read-out places on the clicked grid point. It draws in map space, under whatever
// transform is current, in the current colour. The panel only needs these two operations, so the
// map overlay that implements the mark stays out of this library.
class CursorMark {
public:
    virtual ~CursorMark() = default;
    virtual void setPosition(int row, int col) = 0;
    virtual void draw() = 0;
};

// The read-out panel: a click or drag on the map puts the cursor mark on the grid point under the
// pointer and opens a small translucent panel beside the pointer listing the position, every
// variable's value there at the current time and the 10 m wind direction. The panel stays up for a
// while, fades out, and comes back while the pointer rests on it. It never consumes mouse events.
class DataSummary : public UIWindow {
public:
    // `variables` (variableCount entries) and `data` are not owned; the pointers are copied. The
    // cursor may be null (no mark is drawn).
    DataSummary(ForecastData& data, DataVariable* const* variables, int variableCount,
                std::unique_ptr<CursorMark> cursor);

    // The application window in pixels: clicks map onto the displayed region through it, and the
    // panel is kept inside it. Until it is known, clicks are ignored.
    void setWindowSize(int width, int height);

    // Called every frame: the cursor under the caller's (map) transform, then the panel in its own
    // rectangle. Leaves the panel's viewport and identity matrices in force, like every panel.
    void draw() override;
    // Pointer in window pixels. Presses, releases and drags place the cursor and open the panel;
    // passive motion only tracks whether the pointer rests on it. Always returns false.
    bool handleMouse(int button, int state, float px, float py) override;

    // One frame of the visibility level (what draw() does first); false when hidden.
    bool advanceLevel();
    // Grid position under a pointer in window pixels; pointers outside the window (a drag that left
    // it) read as the nearest window edge, so the position stays in the displayed region.
    void gridPosition(float px, float py, int& row, int& column) const;
    // Upper-left corner 10 pixels right of and below the pointer, or on the other side of it where
    // that would leave the window.
    void placeBeside(float px, float py);

    int lineCount() const { return variableCount + 2; }
    // Height of read-out line k in the panel's normalised coordinates.
    float lineY(int k) const;
    // Text of read-out line k, sampled at the current time.
    std::string lineText(int k);
    // "label: value" with four significant digits.
    static std::string valueLine(const std::string& label, float value);

    float getLevel() const { return level; }
    bool isHovered() const { return hovered; }
    int getRow() const { return row; }
    int getColumn() const { return column; }
    CursorMark* cursorMark() const { return cursor.get(); }

private:
    float level = 0;
    bool hovered = false;
    BitmapFont font = BitmapFont::Helvetica10;
    std::unique_ptr<CursorMark> cursor;
    ForecastData& data;
    std::vector<DataVariable*> variables;
    std::string windLabel = "Wind dir.";
    int variableCount = 0;
    int row = 0, column = 0;
    int windowWidth = 0, windowHeight = 0;
};
