#include "PressureLabels.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "DataVariable.h"
#include "ForecastData.h"

// ---- label grid

void PressureLabels::LabelGrid::setGeometry(int r0, int c0, float w, float h) {
    rowMin = r0;
    colMin = c0;
    cellW = w;
    cellH = h;
}

void PressureLabels::LabelGrid::clear() {
    for (auto& line : cells)
        for (Cell& c : line) c = Cell{};
}

void PressureLabels::LabelGrid::addCandidate(float r, float c, int k) {
    if (k < 0 || k >= kLevels) return;
    const float fy = (r - static_cast<float>(rowMin)) / cellH;
    const float fx = (c - static_cast<float>(colMin)) / cellW;
    // Also rejects NaN from a degenerate (zero-size) region.
    if (!(fy >= 0.0f && fy < static_cast<float>(kRows) && fx >= 0.0f && fx < static_cast<float>(kCols))) return;
    const int iy = static_cast<int>(fy), ix = static_cast<int>(fx);
    Cell& cell = cells[iy][ix];
    if (cell.flag[k]) {
        const float cy = static_cast<float>(iy) + 0.5f, cx = static_cast<float>(ix) + 0.5f;
        const float sy = (cell.row[k] - static_cast<float>(rowMin)) / cellH - cy;
        const float sx = (cell.col[k] - static_cast<float>(colMin)) / cellW - cx;
        const float stored = sy * sy + sx * sx;
        const float fresh = (fy - cy) * (fy - cy) + (fx - cx) * (fx - cx);
        if (stored < fresh) return;
    }
    cell.row[k] = r;
    cell.col[k] = c;
    cell.flag[k] = 1;
}

bool PressureLabels::LabelGrid::has(int iy, int ix, int k) const {
    if (iy < 0 || iy >= kRows || ix < 0 || ix >= kCols || k < 0 || k >= kLevels) return false;
    return cells[iy][ix].flag[k] != 0;
}

float PressureLabels::LabelGrid::rowAt(int iy, int ix, int k) const { return cells[iy][ix].row[k]; }
float PressureLabels::LabelGrid::colAt(int iy, int ix, int k) const { return cells[iy][ix].col[k]; }

int PressureLabels::LabelGrid::count() const {
    int n = 0;
    for (const auto& line : cells)
        for (const Cell& c : line)
            for (unsigned char f : c.flag) n += f ? 1 : 0;
    return n;
}

// ---- analysis

std::vector<PressureLabels::Anchor> PressureLabels::dominant(const CoordList& list) {
    std::vector<Anchor> out;
    for (int i = 0; i < list.size() && static_cast<int>(out.size()) < kMaxCentres; ++i) {
        const Coord* c = list.item(i);
        if (!c || !c->mark || *c->mark < kMinIsolation) continue;
        out.push_back({c->row, c->col, c->value});
    }
    return out;
}

bool PressureLabels::separated(Anchor a, Anchor b, float x, const Sampler& pressure) {
    if (b.value < a.value) std::swap(a, b);
    const int dr = b.row - a.row, dc = b.col - a.col;
    const int n = std::max(std::abs(dr), std::abs(dc));
    float prev = a.value, peak = a.value;
    for (int k = 1; k < n; ++k) {
        const float f = static_cast<float>(k) / static_cast<float>(n);
        const float v = pressure(static_cast<float>(a.row) + f * static_cast<float>(dr),
                                 static_cast<float>(a.col) + f * static_cast<float>(dc));
        if (v > prev) {
            peak = std::max(peak, v);
        } else if (v < prev && peak - v > x) {
            return true;
        }
        prev = v;
    }
    return false;
}

std::vector<bool> PressureLabels::suppressed(const std::vector<Anchor>& e, float x, const Sampler& pressure) {
    const int n = static_cast<int>(e.size());
    std::vector<bool> sup(e.size(), false);
    for (int i = n - 2; i >= 0; --i)
        for (int j = i + 1; j < n; ++j)
            if (!sup[static_cast<size_t>(j)] &&
                !separated(e[static_cast<size_t>(i)], e[static_cast<size_t>(j)], x, pressure))
                sup[static_cast<size_t>(j)] = true;
    return sup;
}

std::vector<PressureLabels::Anchor> PressureLabels::corners(int r0, int r1, int c0, int c1,
                                                            const std::vector<Anchor>& centres,
                                                            const Sampler& pressure) {
    const int at[4][2] = {{r0, c0}, {r0, c1}, {r1, c0}, {r1, c1}};
    std::vector<Anchor> out;
    for (const auto& rc : at) {
        bool near = false;
        for (const Anchor& a : centres)
            if (std::abs(a.row - rc[0]) < kMinIsolation && std::abs(a.col - rc[1]) < kMinIsolation) near = true;
        if (!near)
            out.push_back({rc[0], rc[1], pressure(static_cast<float>(rc[0]), static_cast<float>(rc[1]))});
    }
    return out;
}

bool PressureLabels::onSearchEdge(const Anchor& a, const ExtremaFinder& finder) {
    const int r0 = std::max(finder.searchRowMin(), 0), r1 = std::min(finder.searchRowMax(), finder.numRows() - 1);
    const int c0 = std::max(finder.searchColMin(), 0), c1 = std::min(finder.searchColMax(), finder.numCols() - 1);
    return a.row <= r0 || a.row >= r1 || a.col <= c0 || a.col >= c1;
}

void PressureLabels::crossings(const Anchor& p, const Anchor& q, const Sampler& pressure,
                               const DataVariable& variable, LabelGrid& grid) {
    const int dc = q.col - p.col, dr = q.row - p.row;
    int n;
    float rowStep, colStep;
    if (std::abs(dc) > std::abs(dr)) {
        n = std::abs(dc);
        colStep = dc > 0 ? 1.0f : -1.0f;
        rowStep = static_cast<float>(dr) / static_cast<float>(n);
    } else {
        n = std::abs(dr);
        if (n == 0) return;  // coincident anchors
        rowStep = dr > 0 ? 1.0f : -1.0f;
        colStep = static_cast<float>(dc) / static_cast<float>(n);
    }
    float f = pressure(static_cast<float>(p.row), static_cast<float>(p.col));
    int level = variable.levelIndex(f);
    int previous = -2;
    for (int i = 1; i < n; ++i) {
        const float r = static_cast<float>(p.row) + static_cast<float>(i) * rowStep;
        const float c = static_cast<float>(p.col) + static_cast<float>(i) * colStep;
        const float v = pressure(r, c);
        const int u = variable.levelIndex(v);
        if (u != level && u != previous) {
            grid.addCandidate(r, c, v < f ? u + 1 : u);
            previous = level;
            level = u;
        }
        f = v;
    }
}

// ---- drawing

void PressureLabels::drawL(int row, int col, float z, float alpha) {
    glPushMatrix();
    glTranslatef(static_cast<float>(col), static_cast<float>(row), z);
    glColor4f(0.9f, 0.2f, 0.2f, alpha);
    glBegin(GL_TRIANGLE_STRIP);
    glVertex2f(-2, 6);
    glVertex2f(0, 6);
    glVertex2f(-2, -2);
    glVertex2f(0, 0);
    glVertex2f(4, -2);
    glVertex2f(4, 0);
    glEnd();
    glColor4f(0, 0, 0, alpha);
    glBegin(GL_LINE_LOOP);
    glVertex2f(-2, 6);
    glVertex2f(0, 6);
    glVertex2f(0, 0);
    glVertex2f(4, 0);
    glVertex2f(4, -2);
    glVertex2f(-2, -2);
    glEnd();
    glPopMatrix();
}

void PressureLabels::drawH(int row, int col, float z, float alpha) {
    static const float quads[3][4][2] = {{{-3, 4}, {-1, 4}, {-1, -4}, {-3, -4}},
                                         {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}},
                                         {{3, 4}, {1, 4}, {1, -4}, {3, -4}}};
    static const float outline[12][2] = {{-3, 4}, {-1, 4}, {-1, 1}, {1, 1},   {1, 4},   {3, 4},
                                         {3, -4}, {1, -4}, {1, -1}, {-1, -1}, {-1, -4}, {-3, -4}};
    glPushMatrix();
    glTranslatef(static_cast<float>(col), static_cast<float>(row), z);
    glColor4f(0.2f, 0.3f, 1, alpha);
    glBegin(GL_QUADS);
    for (const auto& q : quads)
        for (const auto& v : q) glVertex2fv(v);
    glEnd();
    glColor4f(0, 0, 0, alpha);
    glBegin(GL_LINE_LOOP);
    for (const auto& v : outline) glVertex2fv(v);
    glEnd();
    glPopMatrix();
}

PressureLabels::PressureLabels(int rows, int cols, int numTimes) : DataLayer(rows, cols, numTimes) {}

void PressureLabels::annotate(double t) {
    if (!dataset) return;
    glPushAttrib(GL_CURRENT_BIT | GL_LINE_BIT);
    glLineWidth(2);
    dataset->setTime(t);
    cellW = static_cast<float>(colMax - colMin) / LabelGrid::kCols;
    cellH = static_cast<float>(rowMax - rowMin) / LabelGrid::kRows;
    const Sampler pressure = [this](float r, float c) { return dataset->pressureAt(r, c, -2); };

    // Read each list's isolation distances before the next search: they live in the finder's
    // marks grid, which pressure highs share with the wind maxima.
    dataset->pressureLows(&lows);
    const std::vector<Anchor> L = dominant(lows);
    dataset->pressureHighs(&highs);
    const std::vector<Anchor> H = dominant(highs);

    const float x = variable ? variable->dataStep() * 1.1f : 0.0f;
    const std::vector<bool> supL = suppressed(L, x, pressure);
    const std::vector<bool> supH = suppressed(H, x, pressure);

    std::vector<Anchor> anchors;
    for (size_t i = 0; i < L.size(); ++i)
        if (!supL[i]) anchors.push_back(L[i]);
    const size_t lowCount = anchors.size();
    for (size_t i = 0; i < H.size(); ++i)
        if (!supH[i]) anchors.push_back(H[i]);

    if (showHL) {
        // Only closed systems are marked; edge extrema still anchor the isobar labels below.
        const ExtremaFinder* lowFinder = dataset->lowExtremaFinder();
        const ExtremaFinder* highFinder = dataset->highExtremaFinder();
        for (size_t i = 0; i < anchors.size(); ++i) {
            const bool low = i < lowCount;
            const ExtremaFinder* finder = low ? lowFinder : highFinder;
            if (finder && onSearchEdge(anchors[i], *finder)) continue;
            if (low)
                drawL(anchors[i].row, anchors[i].col, depth, 1.0f);
            else
                drawH(anchors[i].row, anchors[i].col, depth, 1.0f);
        }
    }

    if (showLabels && variable) {
        const std::vector<Anchor> extra = corners(rowMin, rowMax, colMin, colMax, anchors, pressure);
        anchors.insert(anchors.end(), extra.begin(), extra.end());
        glColor3f(0.8f, 0.8f, 0.8f);
        labelGrid.setGeometry(rowMin, colMin, cellW, cellH);
        labelGrid.clear();
        for (size_t p = 0; p < anchors.size(); ++p)
            for (size_t q = p + 1; q < anchors.size(); ++q)
                crossings(anchors[p], anchors[q], pressure, *variable, labelGrid);
        const int levels = std::min(variable->levelCount(), LabelGrid::kLevels);
        char text[32];
        beginTextBatch();  // the labels alone, in one colour: one draw
        for (int iy = 0; iy < LabelGrid::kRows; ++iy) {
            for (int ix = 0; ix < LabelGrid::kCols; ++ix) {
                for (int k = 0; k < levels; ++k) {
                    if (!labelGrid.has(iy, ix, k)) continue;
                    float nx, ny;
                    gridToNdc(labelGrid.rowAt(iy, ix, k), labelGrid.colAt(iy, ix, k), nx, ny);
                    std::snprintf(text, sizeof text, "%.0f", static_cast<double>(variable->levelValue(k)));
                    drawLabel(nx, ny, text, BitmapFont::Helvetica10);
                }
            }
        }
        endTextBatch();
    }
    glLineWidth(1);
    glPopAttrib();
}

void PressureLabels::buildFrame(int i, float factor) {
    if (i < 0) return;
    const int wanted = std::max(i + 1, dataset ? dataset->numTimes() : 0);
    if (wanted > numLists) reserveLists(wanted);
    if (listBase == 0) return;
    beginUIList(listBase + static_cast<GLuint>(i));
    annotate(static_cast<double>(i) * factor);
    endUIList();
}

void PressureLabels::draw() {
    if (dynamic && dataset) {
        annotate(-2);
        return;
    }
    DataLayer::draw();
}
