#pragma once

#include "DataLayer.h"

// The turning four-arrow mark on the grid point the user clicked, in the caller's colour.
class PositionCursor : public DataLayer {
public:
    PositionCursor(int rows, int cols, int numTimes, float scale);

    void setPosition(int r, int c) {
        row = r;
        col = c;
    }
    // Draws the mark (nothing before the first setPosition) and turns it half a degree.
    void draw() override;
    float getAngle() const { return angle; }
    int getRow() const { return row; }
    int getCol() const { return col; }

private:
    int row = -1, col = -1;
    float angle = 0.0f;
    float scale;
};
