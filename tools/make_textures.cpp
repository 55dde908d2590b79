// skyloom-make-textures: draws the bundled texton strips and the logo into PNG files.
//   Textons.png      16 tiles of 11 x 11: pressure levels, dots growing with the level
//   HalfTextons.png  20 tiles of 11 x 11: precipitation intervals, rain streaks growing longer
//   CloudTextons.png 10 tiles of  8 x  8: cloud cover, soft white puffs growing and thickening
//   logo.png         256 x 256 "Skyloom" wordmark, drawn pre-stretched for its 137 x 93 box
// Tiles are stacked vertically; the viewer reads the bottom tile as level 0, so the strip is
// written top tile = highest level. Output is deterministic, so regenerating changes nothing.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Image {
    int width, height;
    std::vector<unsigned char> rgba;  // top row first
    Image(int w, int h) : width(w), height(h), rgba(static_cast<size_t>(w) * h * 4, 0) {}
    unsigned char* at(int x, int y) { return rgba.data() + (static_cast<size_t>(y) * width + x) * 4; }
};

bool writePng(const std::string& path, const Image& img) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        std::fprintf(stderr, "error writing %s\n", path.c_str());
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, img.width, img.height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < img.height; ++y)
        png_write_row(png, const_cast<png_bytep>(img.rgba.data() + static_cast<size_t>(y) * img.width * 4));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

// Coverage of a shape over one pixel, by 4 x 4 supersampling; `inside` takes pixel-space points.
double coverage(int px, int py, const std::function<bool(double, double)>& inside) {
    int hits = 0;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) hits += inside(px + (i + 0.5) / 4, py + (j + 0.5) / 4);
    return hits / 16.0;
}

double segmentDistance(double x, double y, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((x - ax) * dx + (y - ay) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(x - (ax + t * dx), y - (ay + t * dy));
}

// Draws one strip: tile `level` (0 = lowest) gets colour rgb with the coverage the shape gives.
Image strip(int tile, int tiles, unsigned char r, unsigned char g, unsigned char b,
            const std::function<bool(int, double, double)>& shape) {
    Image img(tile, tile * tiles);
    for (int level = 0; level < tiles; ++level) {
        const int top = (tiles - 1 - level) * tile;  // highest level at the top of the file
        for (int y = 0; y < tile; ++y)
            for (int x = 0; x < tile; ++x) {
                const double c = coverage(x, y, [&](double sx, double sy) { return shape(level, sx, sy); });
                unsigned char* p = img.at(x, top + y);
                p[0] = r;
                p[1] = g;
                p[2] = b;
                p[3] = static_cast<unsigned char>(std::lround(c * 255));
            }
    }
    return img;
}

// Pressure: a dark dot per tile whose radius grows steadily with the level.
Image pressureTextons() {
    return strip(11, 16, 25, 25, 35, [](int level, double x, double y) {
        const double radius = 0.9 + 0.25 * level;
        return std::hypot(x - 5.5, y - 5.5) <= radius;
    });
}

// Precipitation: nothing for the dry interval, then a slanted streak that lengthens and thickens.
Image rainTextons() {
    return strip(11, 20, 20, 40, 110, [](int level, double x, double y) {
        if (level == 0) return false;
        const double length = 1.5 + 0.45 * level;
        const double half = 0.45 + 0.03 * level;
        const double ax = 5.5 - 0.42 * length / 2, ay = 5.5 - 0.91 * length / 2;
        const double bx = 5.5 + 0.42 * length / 2, by = 5.5 + 0.91 * length / 2;
        return segmentDistance(x, y, ax, ay, bx, by) <= half;
    });
}

// Cloud cover: clear sky empty, then a white puff growing until the tiles nearly join.
Image cloudTextons() {
    return strip(8, 10, 250, 250, 250, [](int level, double x, double y) {
        if (level == 0) return false;
        const double radius = 0.6 + 0.38 * level;
        return std::hypot(x - 4.0, y - 4.0) <= radius;
    });
}

// --- Logo: a stroked wordmark laid out in the 137 x 93 pixel box it is shown in. ---

using Polyline = std::vector<std::pair<double, double>>;

struct Glyph {
    double advance;
    std::vector<Polyline> strokes;  // units: baseline 0, x-height 1, ascender 1.5
};

Polyline arc(double cx, double cy, double rx, double ry, double from, double to, int n = 16) {
    Polyline p;
    for (int i = 0; i <= n; ++i) {
        const double a = (from + (to - from) * i / n) * M_PI / 180;
        p.emplace_back(cx + rx * std::cos(a), cy + ry * std::sin(a));
    }
    return p;
}

std::vector<Glyph> wordmark() {
    Polyline s1 = arc(0.38, 1.12, 0.34, 0.33, 20, 270);   // top bowl of the S, anticlockwise
    Polyline s2 = arc(0.38, 0.38, 0.36, 0.36, 90, -160);  // bottom bowl, clockwise
    Polyline s;
    s.insert(s.end(), s1.begin(), s1.end());
    s.insert(s.end(), s2.begin(), s2.end());
    Polyline mArch1 = arc(0.22, 0.62, 0.22, 0.28, 180, 0);
    mArch1.emplace_back(0.44, 0.0);
    Polyline mArch2 = arc(0.66, 0.62, 0.22, 0.28, 180, 0);
    mArch2.emplace_back(0.88, 0.0);
    const Glyph o{0.85, {arc(0.4, 0.5, 0.38, 0.5, 0, 360, 32)}};
    return {
        {0.85, {s}},
        {0.7, {{{0.0, 0.0}, {0.0, 1.5}}, {{0.58, 1.0}, {0.04, 0.42}}, {{0.22, 0.62}, {0.62, 0.0}}}},
        {0.8, {{{0.0, 1.0}, {0.36, 0.05}}, {{0.72, 1.0}, {0.14, -0.5}, {0.02, -0.5}}}},
        {0.3, {{{0.0, 0.0}, {0.0, 1.5}}}},
        o,
        o,
        {0.95, {{{0.0, 0.0}, {0.0, 1.0}}, mArch1, mArch2}},
    };
}

Image logo() {
    const double boxW = 137, boxH = 93;  // where the logo is shown, in window pixels
    const double spacing = 0.2, stroke = 0.09, outline = 0.2;
    const std::vector<Glyph> glyphs = wordmark();
    double total = -spacing;
    for (const Glyph& g : glyphs) total += g.advance + spacing;
    const double unit = (boxW - 12) / total;
    const double left = 6, baseline = boxH / 2 + 0.5 * unit;  // text spans -0.5 .. 1.5 units
    struct Segment {
        double ax, ay, bx, by;
    };
    std::vector<Segment> segs;
    double pen = 0;
    for (const Glyph& g : glyphs) {
        for (const Polyline& line : g.strokes)
            for (size_t i = 1; i < line.size(); ++i)
                segs.push_back({left + (pen + line[i - 1].first) * unit, baseline - line[i - 1].second * unit,
                                left + (pen + line[i].first) * unit, baseline - line[i].second * unit});
        pen += g.advance + spacing;
    }
    auto distance = [&](double x, double y) {
        double d = 1e9;
        for (const Segment& s : segs) d = std::min(d, segmentDistance(x, y, s.ax, s.ay, s.bx, s.by));
        return d;
    };
    // Each texel is judged in box pixels, so strokes keep their width once the square is stretched.
    Image img(256, 256);
    const double sx = boxW / 256, sy = boxH / 256;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            int fill = 0, edge = 0;
            for (int j = 0; j < 4; ++j)
                for (int i = 0; i < 4; ++i) {
                    const double d = distance((x + (i + 0.5) / 4) * sx, (y + (j + 0.5) / 4) * sy);
                    fill += d <= stroke * unit;
                    edge += d <= outline * unit;
                }
            const double f = fill / 16.0, e = edge / 16.0;
            // White letters over a dark translucent rim, so they read on any map colour.
            const double rimAlpha = 0.7 * e * (1 - f);
            const double alpha = f + rimAlpha;
            unsigned char* p = img.at(x, y);
            if (alpha <= 0) continue;
            const double white = f / alpha;
            p[0] = static_cast<unsigned char>(std::lround(255 * white + 20 * (1 - white)));
            p[1] = static_cast<unsigned char>(std::lround(255 * white + 30 * (1 - white)));
            p[2] = static_cast<unsigned char>(std::lround(255 * white + 55 * (1 - white)));
            p[3] = static_cast<unsigned char>(std::lround(255 * std::min(alpha, 1.0)));
        }
    return img;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: skyloom-make-textures OUTPUT_DIRECTORY\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = writePng(dir + "/Textons.png", pressureTextons());
    ok = writePng(dir + "/HalfTextons.png", rainTextons()) && ok;
    ok = writePng(dir + "/CloudTextons.png", cloudTextons()) && ok;
    ok = writePng(dir + "/logo.png", logo()) && ok;
    return ok ? 0 : 1;
}
