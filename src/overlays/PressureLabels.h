#pragma once

#include <functional>
#include <vector>

#include "DataLayer.h"
#include "ExtremaFinder.h"

class DataVariable;
class ForecastData;

// A red "L" at each dominant pressure low, a blue "H" at each dominant high, and isobar values
// where the contours cross the straight lines between those centres (and the region's corners),
// at most one label per isobar in each cell of a 12 x 6 screen grid. Compiled per step.
class PressureLabels : public DataLayer {
public:
    // A label anchor: an extremum or a corner of the region, with the pressure there.
    struct Anchor {
        int row, col;
        float value;
    };
    using Sampler = std::function<float(float row, float col)>;

    static constexpr int kMaxCentres = 25;
    static constexpr float kMinIsolation = 45.0f;

    // Per screen cell and isobar level, the label position chosen so far.
    class LabelGrid {
    public:
        static constexpr int kRows = 6, kCols = 12, kLevels = 20;
        void setGeometry(int rowMin, int colMin, float cellW, float cellH);
        void clear();
        // Keeps, per cell and isobar, the candidate nearest the cell centre (the later on a tie).
        void addCandidate(float row, float col, int level);
        bool has(int iy, int ix, int level) const;
        float rowAt(int iy, int ix, int level) const;
        float colAt(int iy, int ix, int level) const;
        int count() const;

    private:
        struct Cell {
            float row[kLevels];
            float col[kLevels];
            unsigned char flag[kLevels];
        };
        Cell cells[kRows][kCols] = {};
        int rowMin = 0, colMin = 0;
        float cellW = 1.0f, cellH = 1.0f;
    };

    PressureLabels(int rows, int cols, int numTimes);

    void attachDataset(ForecastData* data) { dataset = data; }
    // Take effect in lists built afterwards.
    void setShowHL(bool on) { showHL = on; }
    void setShowLabels(bool on) { showLabels = on; }
    bool getShowHL() const { return showHL; }
    bool getShowLabels() const { return showLabels; }
    void setDynamic(bool on) { dynamic = on; }
    // Compiles step i's list with the annotation at time argument i * factor (moves the clock).
    void buildFrame(int i, float factor);
    void draw() override;

    // The first kMaxCentres ranked entries isolated by at least kMinIsolation cells.
    static std::vector<Anchor> dominant(const CoordList& list);
    // Are two extrema distinct systems: does the pressure between them, walking from the lower,
    // fall more than x below the highest point reached?
    static bool separated(Anchor a, Anchor b, float x, const Sampler& pressure);
    // Merges each entry into a more dominant one it is not separated from; true = merged.
    static std::vector<bool> suppressed(const std::vector<Anchor>& e, float x, const Sampler& pressure);
    // The region's corners as anchors, except those within kMinIsolation cells on both axes of a
    // centre.
    static std::vector<Anchor> corners(int rowMin, int rowMax, int colMin, int colMax,
                                       const std::vector<Anchor>& centres, const Sampler& pressure);
    // Label candidates where isobars cross the segment p -> q; a change back to the previous level
    // is ignored so a field wobbling around one isobar gives one label.
    static void crossings(const Anchor& p, const Anchor& q, const Sampler& pressure, const DataVariable& variable,
                          LabelGrid& grid);

    // Is the extremum on the outermost rows or columns of the area the finder searched (the part of
    // its search area on the grid)? There the field may run on beyond the area: no closed system.
    static bool onSearchEdge(const Anchor& a, const ExtremaFinder& finder);

    // The H and L marks at (row, col) in map space.
    static void drawL(int row, int col, float z, float alpha);
    static void drawH(int row, int col, float z, float alpha);

    const LabelGrid& labels() const { return labelGrid; }

private:
    void annotate(double t);

    ForecastData* dataset = nullptr;
    CoordList lows, highs;
    LabelGrid labelGrid;
    float cellW = 1.0f, cellH = 1.0f;
    bool dynamic = false;
    bool showHL = false;
    bool showLabels = true;
};
