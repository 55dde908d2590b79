#include "NumberField.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "DataVariable.h"
#include "ForecastData.h"

namespace {
const float kWhite[4] = {1, 1, 1, 1};

float toKnots(const DataVariable* v, float s) { return v ? v->toDisplay(s) : s; }
}  // namespace

NumberField::NumberField(int rows, int cols, int numTimes, int mode, int lodLevels)
    : DataLayer(rows, cols, numTimes * lodLevels),
      colour(kWhite),
      mode(mode),
      lodLevels(lodLevels < 1 ? 1 : lodLevels),
      numTimes(numTimes) {
    spacing = static_cast<int>(maximaThreshold);
}

void NumberField::setColour(const float* rgba) { colour = rgba ? rgba : kWhite; }

void NumberField::setSpacing(int s, int m) {
    // A zero spacing would divide by zero and a margin eating the whole block leaves no room for
    // the jitter; both are taken as the nearest workable value.
    spacing = std::max(1, s);
    margin = std::max(0, m);
    allocated = false;
}

bool NumberField::toggleLive() {
    dynamic = !dynamic;
    return dynamic;
}

void NumberField::latticeSize(int r0, int r1, int c0, int c1, int s, int& perRow, int& n) {
    perRow = (c1 + 1 - c0) / s + 1;
    n = ((r1 + 1 - r0) / s + 1) * perRow;
}

void NumberField::layLattice(int r0, int c0, int s, int m, int perRow, int n, std::vector<int>& rowPos,
                             std::vector<int>& colPos) {
    const int jitter = std::max(1, s - 2 * m);
    rowPos.assign(static_cast<size_t>(n), 0);
    colPos.assign(static_cast<size_t>(n), 0);
    int e = 0;
    for (int d = 0; e < n; ++d) {
        for (int k = 0; k < perRow && e < n; ++k, ++e) {
            rowPos[static_cast<size_t>(e)] = r0 + s * d + m + std::rand() % jitter;
            colPos[static_cast<size_t>(e)] = c0 + s * k + m + std::rand() % jitter;
        }
    }
}

void NumberField::attachDataset(ForecastData* data) {
    dataset = data;
    latticeSize(rowMin, rowMax, colMin, colMax, spacing, cellsPerRow, cells);
    layLattice(rowMin, colMin, spacing, margin, cellsPerRow, cells, rowPos, colPos);
}

std::vector<NumberField::Point> NumberField::pickLattice(const std::vector<int>& rowPos,
                                                         const std::vector<int>& colPos,
                                                         const unsigned char* occupied, int cells, int lod,
                                                         int rows, int cols, unsigned seed) {
    std::vector<Point> out;
    std::minstd_rand pick(seed ? seed : 1);
    if (lod < 1) lod = 1;
    cells = std::min(cells, static_cast<int>(std::min(rowPos.size(), colPos.size())));
    for (int p = lod - 1; p < cells; p += lod) {
        if (occupied && occupied[p]) continue;
        int row, col;
        if (lod > 1 && p + lod < cells) {
            row = rowPos[static_cast<size_t>(p + static_cast<int>(pick() % static_cast<unsigned>(lod)))];
            col = colPos[static_cast<size_t>(p + static_cast<int>(pick() % static_cast<unsigned>(lod)))];
        } else {
            row = rowPos[static_cast<size_t>(p)];
            col = colPos[static_cast<size_t>(p)];
        }
        out.push_back({std::min(row, rows - 1), std::min(col, cols - 1)});
    }
    return out;
}

void NumberField::numberAt(int row, int col, float value) const {
    float x, y;
    gridToNdc(static_cast<float>(row), static_cast<float>(col), x, y);
    if (y > bottomLimit) drawSpeedNumber(x, y, value, screenW, screenH);
}

void NumberField::drawMaxima() {
    if (!marks || !speed) return;
    glColor4fv(colour);
    const float limit = static_cast<float>(lod) * maximaThreshold;
    const int r1 = std::min(rowMax, rows), c1 = std::min(colMax, cols);
    for (int row = std::max(rowMin, 0); row < r1; ++row) {
        for (int col = std::max(colMin, 0); col < c1; ++col) {
            const size_t at = static_cast<size_t>(row) * cols + col;
            if (!(marks[at] > limit)) continue;
            if ((mode & LATTICE) && allocated) {
                const int cell = ((row - rowMin) / spacing) * cellsPerRow + (col - colMin) / spacing;
                if (cell >= 0 && cell < static_cast<int>(occupied.size())) occupied[static_cast<size_t>(cell)] = 1;
            }
            numberAt(row, col, toKnots(variable, speed[at]));
        }
    }
}

void NumberField::drawLattice() {
    if (!speed) return;
    glColor4fv(colour);
    for (const Point& q : pickLattice(rowPos, colPos, occupied.data(), cells, lod, rows, cols, latticeSeed))
        numberAt(q.row, q.col, toKnots(variable, speed[static_cast<size_t>(q.row) * cols + q.col]));
}

void NumberField::buildFrame(int i, const float* speedGrid, const float* marksGrid, int /*list*/) {
    if (i < 0) return;
    // A reload with more steps needs a bigger block; the list layout depends on the step count, so
    // the whole block is replaced and every step is compiled again by the caller's rebuild.
    const int wanted = std::max(i + 1, dataset ? dataset->numTimes() : 0);
    if (wanted > numTimes || numTimes * lodLevels != numLists) {
        numTimes = std::max(wanted, numTimes);
        reserveLists(numTimes * lodLevels);
        quads.clear();
    }
    if (listBase == 0) return;

    speed = speedGrid;
    marks = marksGrid;
    if (mode & LATTICE) {
        latticeSize(rowMin, rowMax, colMin, colMax, spacing, cellsPerRow, cells);
        if (!allocated) {
            occupied.assign(static_cast<size_t>(cells) + 25, 0);
            allocated = true;
        }
        std::fill(occupied.begin(), occupied.begin() + std::min<size_t>(occupied.size(), static_cast<size_t>(cells)), 0);
    }

    // The nominal sizes give each level the tenths offset of the window width it is chosen for;
    // the real size and level of detail are put back afterwards.
    const int keepW = screenW, keepH = screenH, keepLod = lod;
    static const int nominal[3][2] = {{-1, -1}, {1440, 1024}, {1024, 768}};
    const bool stored = TextQuads::available();
    quads.resize(static_cast<size_t>(numLists));
    for (int L = 1; L <= lodLevels; ++L) {
        lod = L;
        const int n = std::min(L, 3) - 1;
        screenW = nominal[n][0];
        screenH = nominal[n][1];
        const int index = i + (L - 1) * numTimes;
        latticeSeed = static_cast<unsigned>(index) + 1;
        // Numbers only, in one colour: their glyphs are stored as one draw, or go into the list as one.
        if (stored) {
            glPushAttrib(GL_CURRENT_BIT);  // the colour is set again at each draw
            quads[static_cast<size_t>(index)].begin();
            if (mode & MAXIMA) drawMaxima();
            if (mode & LATTICE) drawLattice();
            quads[static_cast<size_t>(index)].end();
            glPopAttrib();
            continue;
        }
        quads[static_cast<size_t>(index)] = TextQuads();
        beginUIList(listBase + static_cast<GLuint>(index));
        beginTextBatch();
        if (mode & MAXIMA) drawMaxima();
        if (mode & LATTICE) drawLattice();
        endTextBatch();
        endUIList();
    }
    lod = keepLod;
    screenW = keepW;
    screenH = keepH;
}

void NumberField::releaseFrame(int i) {
    if (i < 0 || i >= numTimes) return;
    for (int L = 1; L <= lodLevels; ++L) {
        const int index = i + (L - 1) * numTimes;
        if (index < static_cast<int>(quads.size())) quads[static_cast<size_t>(index)] = TextQuads();
        releaseList(index);
    }
}

void NumberField::draw() {
    if (dynamic && dataset) {
        glColor4fv(colour);
        beginTextBatch();
        for (int p = 0; p < cells; p += lod) {
            const float r = static_cast<float>(rowPos[static_cast<size_t>(p)]);
            const float c = static_cast<float>(colPos[static_cast<size_t>(p)]);
            numberAt(rowPos[static_cast<size_t>(p)], colPos[static_cast<size_t>(p)],
                     toKnots(variable, dataset->windSpeedAt(r, c, -2)));
        }
        endTextBatch();
        return;
    }
    if (lod > 1 && listIndex < numTimes) listIndex += (lod - 1) * numTimes;
    if (listIndex >= 0 && listIndex < static_cast<int>(quads.size()) && quads[static_cast<size_t>(listIndex)].filled()) {
        glColor4fv(colour);
        quads[static_cast<size_t>(listIndex)].draw();
        return;
    }
    DataLayer::draw();
}
