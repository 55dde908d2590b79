#pragma once

#include <vector>

class ExtremaFinder;

// One extremum: its grid point, the field value there and its cell in the finder's marks grid, so
// ranking writes the isolation distance straight into the grid.
struct Coord {
    int row = 0;
    int col = 0;
    float value = 0.0f;
    float* mark = nullptr;
};

// Extrema of one search, ranked from most to least extreme. A list held by a caller persists across
// searches and only grows.
class CoordList {
public:
    explicit CoordList(const ExtremaFinder* finder = nullptr, int capacity = -1);
    CoordList(const CoordList&) = delete;
    CoordList& operator=(const CoordList&) = delete;

    void reset(const ExtremaFinder* finder, int n);
    void add(int row, int col, float value, float* mark);
    // Orders the entries (most extreme first, equal values in the order added), gives the first
    // `topMark` and every later one the distance to the nearest earlier entry.
    void rank(float topMark);
    const Coord* item(int i) const;

    int size() const { return count; }
    int getCapacity() const { return capacity; }
    const Coord* getBest() const { return best; }

private:
    bool better(float a, float b) const;

    std::vector<Coord> items;
    std::vector<Coord*> order;
    int count = 0;
    int capacity = -1;
    Coord* best = nullptr;
    const ExtremaFinder* finder = nullptr;
};

// Marks every point of a search area with the radius (in grid cells) within which it is the most
// extreme value, and lists the strict 5 x 5 extrema in a ranked CoordList with isolation distances.
class ExtremaFinder {
public:
    ExtremaFinder(int rows, int cols);
    ExtremaFinder(const ExtremaFinder&) = delete;
    ExtremaFinder& operator=(const ExtremaFinder&) = delete;

    // Inclusive bounds; parts beyond the grid are never searched.
    void setSearchArea(int rowMin, int rowMax, int colMin, int colMax);
    // `values` is rows x cols, row-major. With a list the ranked extrema are left in it; without one
    // (nullptr) only the marks grid is produced. Returns the marks grid.
    const float* findMinima(const float* values, CoordList* list);
    const float* findMaxima(const float* values, CoordList* list);

    bool isMinMode() const { return minMode; }
    bool better(float a, float b) const { return minMode ? a < b : a > b; }
    const float* getMarks() const { return marks.data(); }
    int numRows() const { return rows; }
    int numCols() const { return cols; }
    int searchRowMin() const { return rowMin; }
    int searchRowMax() const { return rowMax; }
    int searchColMin() const { return colMin; }
    int searchColMax() const { return colMax; }

private:
    const float* search(const float* values, CoordList* list);

    bool minMode = false;
    std::vector<float> marks;
    int rows = 0, cols = 0;
    int rowMin = 0, rowMax = 0, colMin = 0, colMax = 0;
};
