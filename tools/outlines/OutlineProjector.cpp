#include "OutlineProjector.h"

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "ForecastWriter.h"

namespace outlines {

namespace {

struct Point {
    double col, row;
};

void flush(std::vector<Point>& piece, std::ostream& out, int& written) {
    if (piece.size() >= 2) {
        out << ++written << "\n";
        char buffer[64];
        for (const Point& p : piece) {
            std::snprintf(buffer, sizeof buffer, "%.3f %.3f\n", p.col, p.row);
            out << buffer;
        }
        out << "END\n";
    }
    piece.clear();
}

}  // namespace

int projectSegments(std::istream& in, std::ostream& out, int nx, int ny) {
    int written = 0;
    std::vector<Point> piece;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        if (line[0] == '>') {
            flush(piece, out, written);
            continue;
        }
        std::istringstream fields(line);
        double lon = 0, lat = 0;
        if (!(fields >> lon >> lat)) continue;
        Point p{};
        forecastwriter::grid218Point(lat, lon, p.col, p.row);
        const bool inside = p.col >= 0 && p.col <= nx - 1 && p.row >= 0 && p.row <= ny - 1;
        if (inside)
            piece.push_back(p);
        else
            flush(piece, out, written);
    }
    flush(piece, out, written);
    out << "END\n";
    return written;
}

}  // namespace outlines
