#pragma once

#include "DataLayer.h"

class ForecastData;

// Marks of one wind barb, from the speed in knots rounded to 5 knots: pennants for 50, full barbs
// for 10, a half barb for 5; below 2.5 knots only the station dot.
struct BarbGlyph {
    bool calm = false;
    int pennants = 0;
    int fullBarbs = 0;
    bool halfBarb = false;
};
BarbGlyph barbGlyph(float knots);
// Rotation in degrees (0 ... 360) that turns a shaft drawn along +y into the wind, from the unit
// vector of the direction the wind blows to.
float barbAngle(float dx, float dy);

// Standard wind barbs for the 10 m wind on a regular lattice, drawn in map space (x = column,
// y = row) at the layer's depth, each glyph light with a dark halo.
class WindBarbField : public DataLayer {
public:
    WindBarbField(int rows, int cols, int numTimes, float spacing);

    void attachDataset(ForecastData* data) { dataset = data; }
    // Compiles step i's list with the barbs at time argument i * factor (moves the clock there).
    void buildFrame(int i, float factor);
    // Live from the data at the current time while dynamic; otherwise the selected list.
    void draw() override;
    void setDynamic(bool on) { dynamic = on; }
    bool isDynamic() const { return dynamic; }

private:
    void drawBarbs(double t);
    void glyph(float x, float y, float angle, const BarbGlyph& g, bool halo) const;

    ForecastData* dataset = nullptr;
    float spacing;
    bool dynamic = true;
};
