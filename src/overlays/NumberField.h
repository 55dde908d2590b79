#pragma once

#include <vector>

#include "DataLayer.h"

class ForecastData;

// The 10 m wind speed in knots at a jittered lattice of map points (mode bit 1), one number per
// spacing x spacing block, and optionally at isolated wind maxima (mode bit 2). Each step is
// compiled once per level of detail; dynamic mode samples the data at the current time instead.
class NumberField : public DataLayer {
public:
    enum Mode { LATTICE = 1, MAXIMA = 2 };

    struct Point {
        int row, col;
    };

    NumberField(int rows, int cols, int numTimes, int mode, int lodLevels);

    void setColour(const float* rgba);
    void setMaximaThreshold(float t) { maximaThreshold = t; }
    void setBottomLimit(float y) { bottomLimit = y; }
    void setSpacing(int spacing, int margin);
    // Stores the dataset and lays out the lattice (once; the jitter stays for the layer's life).
    void attachDataset(ForecastData* data);
    void setLevelOfDetail(int n) { lod = n < 1 ? 1 : n; }
    int getLevelOfDetail() const { return lod; }
    bool toggleLive();
    bool isLive() const { return dynamic; }

    // Compiles the lists of step i, one per level of detail. `speed` is the whole-step wind-speed
    // grid and `marks` the wind-maxima marks of the same step (rows x cols each).
    void buildFrame(int i, const float* speed, const float* marks, int list);
    // Gives back what step i's lists hold; they draw nothing until built again.
    void releaseFrame(int i);
    void draw() override;

    int getCells() const { return cells; }
    int getCellsPerRow() const { return cellsPerRow; }
    const std::vector<int>& getRowPos() const { return rowPos; }
    const std::vector<int>& getColPos() const { return colPos; }

    // Lattice size for a region and spacing.
    static void latticeSize(int rowMin, int rowMax, int colMin, int colMax, int spacing, int& cellsPerRow,
                            int& cells);
    // One jittered point per lattice cell, row-major, drawn with rand() (row first).
    static void layLattice(int rowMin, int colMin, int spacing, int margin, int cellsPerRow, int cells,
                           std::vector<int>& rowPos, std::vector<int>& colPos);
    // The points a list of level of detail `lod` labels: every lod-th cell not occupied, at a random
    // member of its group of lod cells (row and column drawn independently), clamped to the grid.
    // The members come from a generator seeded with `seed`: a step's lists come out the same
    // whenever they are built, and building them takes nothing from the program's random sequence.
    static std::vector<Point> pickLattice(const std::vector<int>& rowPos, const std::vector<int>& colPos,
                                          const unsigned char* occupied, int cells, int lod, int rows, int cols,
                                          unsigned seed = 1);

private:
    void numberAt(int row, int col, float value) const;
    void drawMaxima();
    void drawLattice();

    // Each list's numbers as stored glyph quads, where text comes from the glyph atlas (the lists
    // then stay empty); indexed like the lists.
    std::vector<TextQuads> quads;
    const float* colour = nullptr;
    const float* marks = nullptr;
    const float* speed = nullptr;
    ForecastData* dataset = nullptr;
    std::vector<int> rowPos, colPos;
    std::vector<unsigned char> occupied;
    int spacing = 10;
    int margin = 0;
    int cells = 0, cellsPerRow = 0;
    bool allocated = false;
    unsigned latticeSeed = 1;  // of the list being built
    bool dynamic = false;
    float maximaThreshold = 10.0f;
    float bottomLimit = -1.0f;
    int mode;
    int lodLevels;
    int lod = 1;
    int numTimes;
};
