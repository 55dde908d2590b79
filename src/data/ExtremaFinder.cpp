#include "ExtremaFinder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

CoordList::CoordList(const ExtremaFinder* f, int cap) : finder(f) {
    if (cap > 0) {
        items.resize(cap);
        order.resize(cap);
        capacity = cap;
    } else {
        capacity = cap < 0 ? -1 : 0;
    }
}

void CoordList::reset(const ExtremaFinder* f, int n) {
    finder = f;
    if (capacity < n) {
        items.assign(std::max(n, 0), Coord{});
        order.assign(std::max(n, 0), nullptr);
        capacity = n;
    }
    count = 0;
    best = nullptr;
}

bool CoordList::better(float a, float b) const { return finder ? finder->better(a, b) : a > b; }

void CoordList::add(int row, int col, float value, float* mark) {
    if (count >= capacity) {
        std::fprintf(stderr, "Inusfficient size for CoordList::add\n");
        return;
    }
    Coord& c = items[count++];
    c = Coord{row, col, value, mark};
    if (!best || better(value, best->value)) best = &c;
}

void CoordList::rank(float topMark) {
    if (count <= 0) return;
    for (int i = 0; i < count; ++i) order[i] = &items[i];
    // A stable sort gives the same order as swapping neighbours only when the later one is strictly
    // better, in O(n log n): a flat field lists every point, and a quadratic sort would hang.
    std::stable_sort(order.begin(), order.begin() + count, [this](const Coord* a, const Coord* b) {
        return better(a->value, b->value);
    });
    best = order[0];
    if (best->mark) *best->mark = topMark;
    if (count == 1) return;

    // Nearest earlier entry through a bucket grid searched in growing square rings.
    int r0 = INT_MAX, r1 = INT_MIN, c0 = INT_MAX, c1 = INT_MIN;
    for (int i = 0; i < count; ++i) {
        r0 = std::min(r0, items[i].row), r1 = std::max(r1, items[i].row);
        c0 = std::min(c0, items[i].col), c1 = std::max(c1, items[i].col);
    }
    const int cell = 8;
    const int bRows = (r1 - r0) / cell + 1, bCols = (c1 - c0) / cell + 1;
    std::vector<std::vector<const Coord*>> buckets(static_cast<size_t>(bRows) * bCols);
    auto bucketOf = [&](const Coord* c) { return ((c->row - r0) / cell) * bCols + (c->col - c0) / cell; };
    buckets[bucketOf(best)].push_back(best);

    for (int i = 1; i < count; ++i) {
        const Coord* c = order[i];
        const int br = (c->row - r0) / cell, bc = (c->col - c0) / cell;
        long long bestD2 = LLONG_MAX;
        const int maxRing = std::max(bRows, bCols);
        for (int ring = 0; ring <= maxRing; ++ring) {
            // Anything in this ring or beyond is at least (ring - 1) * cell + 1 cells away.
            if (ring > 0) {
                const long long reach = static_cast<long long>(ring - 1) * cell + 1;
                if (bestD2 <= reach * reach) break;
            }
            for (int rr = br - ring; rr <= br + ring; ++rr) {
                if (rr < 0 || rr >= bRows) continue;
                const bool edgeRow = rr == br - ring || rr == br + ring;
                for (int cc = bc - ring; cc <= bc + ring; cc += (edgeRow || ring == 0) ? 1 : 2 * ring) {
                    if (cc < 0 || cc >= bCols) continue;
                    for (const Coord* o : buckets[static_cast<size_t>(rr) * bCols + cc]) {
                        const long long dr = c->row - o->row, dc = c->col - o->col;
                        bestD2 = std::min(bestD2, dr * dr + dc * dc);
                    }
                }
            }
        }
        if (c->mark) *c->mark = std::sqrt(static_cast<float>(bestD2));
        buckets[bucketOf(c)].push_back(c);
    }
}

const Coord* CoordList::item(int i) const { return i >= 0 && i < count ? order[i] : nullptr; }

ExtremaFinder::ExtremaFinder(int r, int c)
    : marks(static_cast<size_t>(std::max(r, 0)) * std::max(c, 0), 0.0f),
      rows(std::max(r, 0)),
      cols(std::max(c, 0)),
      rowMin(0),
      rowMax(rows - 1),
      colMin(0),
      colMax(cols - 1) {}

void ExtremaFinder::setSearchArea(int r0, int r1, int c0, int c1) {
    rowMin = r0;
    rowMax = r1;
    colMin = c0;
    colMax = c1;
}

const float* ExtremaFinder::findMinima(const float* values, CoordList* list) {
    minMode = true;
    return search(values, list);
}

const float* ExtremaFinder::findMaxima(const float* values, CoordList* list) {
    minMode = false;
    return search(values, list);
}

const float* ExtremaFinder::search(const float* V, CoordList* list) {
    // The area actually searched is the part of the requested one that lies on the grid.
    const int r0 = std::max(rowMin, 0), r1 = std::min(rowMax, rows - 1);
    const int c0 = std::max(colMin, 0), c1 = std::min(colMax, cols - 1);
    auto inside = [&](int i, int j) { return i >= r0 && i <= r1 && j >= c0 && j <= c1; };
    auto v = [&](int i, int j) { return V[static_cast<size_t>(i) * cols + j]; };
    float* M = marks.data();

    for (int i = r0; i <= r1; ++i) {
        for (int j = c0; j <= c1; ++j) {
            float mark = 1.414f;
            const float here = v(i, j);
            // A NaN compares false both ways, so it would pass as an extremum; it is never one.
            if (std::isnan(here)) {
                M[static_cast<size_t>(i) * cols + j] = 0.0f;
                continue;
            }
            for (int k = -1; k <= 1 && mark != 0.0f; ++k) {
                for (int l = -1; l <= 1; ++l) {
                    if ((k == 0 && l == 0) || !inside(i + k, j + l) || !better(v(i + k, j + l), here)) continue;
                    if (k != 0 && l != 0) {
                        mark = 1.0f;
                    } else {
                        mark = 0.0f;
                        break;
                    }
                }
            }
            M[static_cast<size_t>(i) * cols + j] = mark;
        }
    }

    int n = 0;
    for (int i = r0; i <= r1; ++i) {
        for (int j = c0; j <= c1; ++j) {
            float& cellMark = M[static_cast<size_t>(i) * cols + j];
            if (cellMark < 1.4f) continue;
            float mark = 2.828f;
            const float here = v(i, j);
            bool stop = false;
            for (int k = -2; k <= 2 && !stop; ++k) {
                for (int l = -2; l <= 2; ++l) {
                    if ((std::abs(k) != 2 && std::abs(l) != 2) || !inside(i + k, j + l) || !better(v(i + k, j + l), here))
                        continue;
                    if (k == 0 || l == 0) {
                        mark = 1.414f;
                        stop = true;
                        break;
                    }
                    const float candidate = (std::abs(k) == 1 || std::abs(l) == 1) ? 2.0f : 2.236f;
                    mark = std::min(mark, candidate);
                }
            }
            cellMark = mark;
            if (mark > 2.5f) ++n;
        }
    }

    CoordList temporary(this, -1);
    CoordList& L = list ? *list : temporary;
    L.reset(this, n);
    for (int i = r0; i <= r1; ++i)
        for (int j = c0; j <= c1; ++j) {
            float* cell = &M[static_cast<size_t>(i) * cols + j];
            if (*cell > 2.5f) L.add(i, j, v(i, j), cell);
        }
    L.rank(1e30f);
    return M;
}
