#include "Streaklets.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Color.h"
#include "ForecastData.h"
#include "Shader.h"
#include "Texture.h"

StreakletParameters streakletParameters;

namespace {

StreakletParameters& P = streakletParameters;

// Below this either direction component is the missing-data marker.
constexpr float kMissingMarker = -100000.0f;

// rand() mod span, where a scaled region too small for one cell gives the low corner.
int randomOffset(int span) { return span > 0 ? std::rand() % span : 0; }

Texture* defaultStreakTexture() {
    static const Color colours[2] = {Color(0, 0, 0, 1), Color(1, 1, 1, 1)};
    static const Color fades[2] = {Color(1, 1, 1, 0), Color(1, 1, 1, 0.8f)};
    const FadeCalculator first(colours, 2), second(fades, 2);
    // Kept for the rest of the run, like every streak texture.
    static Texture* texture = nullptr;
    if (!texture) texture = makeStreakTexture(first, second);
    return texture;
}

}  // namespace

Streaklet::Streaklet(int trailLength, int initialLife)
    : positions(2 * trailLength + 2), texCoords(trailLength + 1) {
    P.trailLength = trailLength;
    respawn(0.0, initialLife);
}

void Streaklet::respawn(double time, int newLife) {
    life = newLife >= 0 ? newLife : P.lifetime;
    positions.clear();
    texCoords.clear();
    if (ForecastData* f = P.forecast) {
        const float s = P.seedFactor;
        col = f->scaledColMin(s) + static_cast<float>(randomOffset(static_cast<int>(f->regionCols() * s)));
        row = f->scaledRowMin(s) + static_cast<float>(randomOffset(static_cast<int>(f->regionRows() * s)));
    }
    record();
    step(time);
}

void Streaklet::respawnRandom(double time) { respawn(time, P.lifetime > 0 ? std::rand() % P.lifetime : 0); }

void Streaklet::update(double time) {
    if (life > 0) {
        // Ageing starts once the trail has grown past half its length.
        if (positions.size() > P.trailLength) --life;
        step(time);
        return;
    }
    positions.dropOldest();
    positions.dropOldest();
    texCoords.dropOldest();
    if (positions.isEmpty()) respawn(time, -1);
}

void Streaklet::step(double time) {
    ForecastData* f = P.forecast;
    if (!f) {
        life = 0;
        record();
        return;
    }
    f->setTime(time);
    const float dx = f->sampleSlot(P.slot + 1, row, col, -2);
    const float dy = f->sampleSlot(P.slot + 2, row, col, -2);
    if (dx == 0.0f && dy == 0.0f) {
        life = 0;
    } else if (speed < 0.3f * P.speedThreshold || dx < kMissingMarker || dy < kMissingMarker) {
        life = 0;
    } else {
        const float length = std::pow(speed, P.speedExponent) * P.speedScale;
        col += dx * length;
        row += dy * length;
        // Leaving the area ends the particle; its head stays on the edge.
        if (f->clampToRegion(row, col, P.seedFactor)) life = 0;
    }
    record();
}

void Streaklet::record() {
    positions.pushFront(col);
    positions.pushFront(row);
    speed = P.forecast ? P.forecast->sampleSlot(P.slot, row, col, -2) : 0.0f;
    texCoords.pushFront(0.9f);
}

float Streaklet::pointT(int k) const {
    const float fade = speed < P.speedThreshold ? speed / P.speedThreshold : 1.0f;
    const int L = P.trailLength > 0 ? P.trailLength : 1;
    return static_cast<float>(L - k) * fade / static_cast<float>(L);
}

bool RibbonFrame::fromCurrentTransform(int lineWidth) {
    GLfloat m[16], p[16];
    GLint v[4];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    glGetIntegerv(GL_VIEWPORT, v);
    // Only columns 0, 1 and 3 of projection x modelview reach a point (col, row, 0, 1); the map is
    // affine, so w is taken where the grid origin lands.
    auto pm = [&](int row, int col) {
        return p[row] * m[4 * col] + p[4 + row] * m[4 * col + 1] + p[8 + row] * m[4 * col + 2] +
               p[12 + row] * m[4 * col + 3];
    };
    const float w = pm(3, 3);
    if (!(std::fabs(w) > 1e-20f)) return false;
    const float sx = 0.5f * static_cast<float>(v[2]) / w, sy = 0.5f * static_cast<float>(v[3]) / w;
    a = sx * pm(0, 0);
    b = sx * pm(0, 1);
    c = sy * pm(1, 0);
    d = sy * pm(1, 1);
    const float det = a * d - b * c;
    if (!(std::fabs(det) > 1e-12f) || !std::isfinite(det)) return false;
    ia = d / det;
    ib = -b / det;
    ic = -c / det;
    id = a / det;
    // A smoothed line covers half a pixel beyond its width on each side, fading over one pixel.
    halfWidth = 0.5f * static_cast<float>(lineWidth) + 0.5f;
    const float texels = static_cast<float>(lineWidth + 2);
    edge0 = 0.5f / texels;
    edge1 = 1.0f - edge0;
    return true;
}

int Streaklet::appendRibbon(const RibbonFrame& f, std::vector<float>& out, RibbonScratch& scratch) const {
    const int m = texCoords.size();
    if (m < 2) return 0;
    // Screen position of every point (the linear part of the transform is enough to compare them).
    std::vector<float>& screen = scratch.screen;
    screen.resize(static_cast<size_t>(2 * m));
    for (int k = 0; k < m; ++k) {
        screen[static_cast<size_t>(2 * k)] = f.a * pointCol(k) + f.b * pointRow(k);
        screen[static_cast<size_t>(2 * k + 1)] = f.c * pointCol(k) + f.d * pointRow(k);
    }
    // A run of points that a single segment between its ends places within a quarter pixel of
    // where they are (colour and fade go linearly with the point's index, as along the segment)
    // draws the same as the run, for two triangles instead of two a point: each triangle costs a
    // software rasteriser far more to set up than its few pixels cost to fill.
    constexpr float kMergeTolerance2 = 0.25f * 0.25f;
    constexpr int kLongestRun = 12;  // bounds the checks on a long straight trail
    std::vector<int>& kept = scratch.kept;
    kept.assign(1, 0);
    for (int anchor = 0, end = 1; end < m - 1;) {
        const int next = end + 1;
        bool merges = next - anchor <= kLongestRun && texCoords.get(next) == texCoords.get(anchor);
        const float* p0 = &screen[static_cast<size_t>(2 * anchor)];
        const float* p1 = &screen[static_cast<size_t>(2 * next)];
        for (int k = anchor + 1; merges && k < next; ++k) {
            const float u = static_cast<float>(k - anchor) / static_cast<float>(next - anchor);
            const float ex = p0[0] + u * (p1[0] - p0[0]) - screen[static_cast<size_t>(2 * k)];
            const float ey = p0[1] + u * (p1[1] - p0[1]) - screen[static_cast<size_t>(2 * k + 1)];
            merges = ex * ex + ey * ey <= kMergeTolerance2;
        }
        if (merges) {
            end = next;
        } else {
            kept.push_back(end);
            anchor = end;
            end = anchor + 1;
        }
    }
    kept.push_back(m - 1);
    const int n = static_cast<int>(kept.size());

    // Unit screen direction of each kept segment, newest first; a zero-length one takes the
    // direction of the nearest segment before it (or after it at the head).
    std::vector<float>& dirs = scratch.directions;
    dirs.assign(static_cast<size_t>(2 * (n - 1)), 0.0f);
    int firstValid = -1;
    for (int k = 0; k + 1 < n; ++k) {
        const float* from = &screen[static_cast<size_t>(2 * kept[static_cast<size_t>(k)])];
        const float* to = &screen[static_cast<size_t>(2 * kept[static_cast<size_t>(k + 1)])];
        const float dx = to[0] - from[0], dy = to[1] - from[1];
        const float len = std::sqrt(dx * dx + dy * dy);
        float* e = &dirs[static_cast<size_t>(2 * k)];
        if (len > 1e-4f && std::isfinite(len)) {
            e[0] = dx / len;
            e[1] = dy / len;
            if (firstValid < 0) firstValid = k;
        } else if (firstValid >= 0) {
            e[0] = e[-2];
            e[1] = e[-1];
        }
    }
    const float e0x = firstValid >= 0 ? dirs[static_cast<size_t>(2 * firstValid)] : 1.0f;
    const float e0y = firstValid >= 0 ? dirs[static_cast<size_t>(2 * firstValid + 1)] : 0.0f;
    for (int k = 0; k < (firstValid >= 0 ? firstValid : n - 1); ++k) {
        dirs[static_cast<size_t>(2 * k)] = e0x;
        dirs[static_cast<size_t>(2 * k + 1)] = e0y;
    }
    // Sharp turns would throw the miter far out; past this the ribbon pinches instead.
    constexpr float kMaxMiter = 2.0f;
    for (int k = 0; k < n; ++k) {
        const int point = kept[static_cast<size_t>(k)];
        const float* before = &dirs[static_cast<size_t>(2 * (k > 0 ? k - 1 : 0))];
        const float* after = &dirs[static_cast<size_t>(2 * (k + 1 < n ? k : n - 2))];
        float tx = before[0] + after[0], ty = before[1] + after[1];
        const float tl = std::sqrt(tx * tx + ty * ty);
        float miter = 1.0f;
        if (tl > 1e-3f) {
            tx /= tl;
            ty /= tl;
            const float cosHalf = tx * after[0] + ty * after[1];
            miter = cosHalf > 1.0f / kMaxMiter ? 1.0f / cosHalf : kMaxMiter;
        } else {  // a full reversal
            tx = after[0];
            ty = after[1];
        }
        float ox = -ty * f.halfWidth * miter, oy = tx * f.halfWidth * miter;
        // The ends reach half a pixel past the points, as a smoothed line's caps do.
        float ax = 0, ay = 0;
        if (k == 0) {
            ax = -0.5f * after[0];
            ay = -0.5f * after[1];
        } else if (k == n - 1) {
            ax = 0.5f * before[0];
            ay = 0.5f * before[1];
        }
        const float x = pointCol(point) + f.ia * ax + f.ib * ay, y = pointRow(point) + f.ic * ax + f.id * ay;
        const float gx = f.ia * ox + f.ib * oy, gy = f.ic * ox + f.id * oy;
        const float s = texCoords.get(point), t = pointT(point);
        const float v[10] = {x + gx, y + gy, s, t, f.edge0, x - gx, y - gy, s, t, f.edge1};
        out.insert(out.end(), v, v + 10);
    }
    return n;
}

Streaklets::Streaklets(ForecastData* f, int n, int trail)
    : count(n > 0 ? n : 0), trailLength(trail > 0 ? trail : 1), forecast(f) {
    P.forecast = f;
    // Made before the settings are copied so that this system draws with it too.
    if (!P.streakTexture) P.streakTexture = defaultStreakTexture();
    lifetime = P.lifetime;
    speedScale = P.speedScale;
    speedExponent = P.speedExponent;
    slot = P.slot;
    speedThreshold = P.speedThreshold;
    texture = P.streakTexture;
    P.currentSystem = this;

    // Spread the first deaths over time.
    particles.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        particles.emplace_back(trailLength, static_cast<int>(static_cast<long long>(i) * lifetime / count) + trailLength);
    advance(0.0, trailLength / 2);
}

Streaklets::~Streaklets() {
    if (P.currentSystem == this) P.currentSystem = nullptr;
}

void Streaklets::setSpeedScale(float v) { P.speedScale = speedScale = v; }
void Streaklets::setSpeedExponent(float v) { P.speedExponent = speedExponent = v; }
void Streaklets::setSpeedThreshold(float v) { P.speedThreshold = speedThreshold = v; }
void Streaklets::setSlot(int v) { P.slot = slot = v; }
void Streaklets::setSeedFactor(float v) { P.seedFactor = seedFactor = v; }
void Streaklets::setTexture(Texture* t) { P.streakTexture = texture = t; }

void Streaklets::becomeCurrent() {
    if (P.currentSystem == this) return;
    P.trailLength = trailLength;
    P.lifetime = lifetime;
    P.speedScale = speedScale;
    P.speedExponent = speedExponent;
    P.forecast = forecast;
    P.slot = slot;
    P.speedThreshold = speedThreshold;
    P.seedFactor = seedFactor;
    P.streakTexture = texture;
    P.currentSystem = this;
}

void Streaklets::advance(double time, int steps) {
    if (forecast) forecast->setTime(time);
    becomeCurrent();
    for (Streaklet& p : particles)
        for (int s = 0; s < steps; ++s) p.update(-2);
}

void Streaklets::reset(double time) {
    if (forecast) forecast->setTime(time);
    becomeCurrent();
    for (Streaklet& p : particles) p.respawnRandom(-2);
    advance(time, trailLength + lifetime);
}

void Streaklets::draw(int n) {
    if (n < 0 || n > count) n = count;
    drawRange(0, n);
}

void Streaklets::drawOne(int i) {
    if (i >= 0 && i < count) drawRange(i, i + 1);
}

namespace {

// The streak texture's colour at (s, t) as GL's linear filter reads it with GL_CLAMP: coordinates
// held to [0, 1], and beyond the outer texel centres a blend towards the transparent black border.
void sampleStreakTexture(const Texture& tex, float s, float t, float out[4]) {
    const int w = tex.width, h = tex.height;
    auto axis = [](float c, int n, int& i0, float& f) {
        const float u = std::min(std::max(c, 0.0f), 1.0f) * static_cast<float>(n) - 0.5f;
        const float base = std::floor(u);
        i0 = static_cast<int>(base);
        f = u - base;
    };
    int x0, y0;
    float fx, fy;
    axis(s, w, x0, fx);
    axis(t, h, y0, fy);
    for (int c = 0; c < 4; ++c) out[c] = 0.0f;
    for (int dy = 0; dy < 2; ++dy) {
        const int y = y0 + dy;
        if (y < 0 || y >= h) continue;
        for (int dx = 0; dx < 2; ++dx) {
            const int x = x0 + dx;
            if (x < 0 || x >= w) continue;
            const float weight = (dx ? fx : 1.0f - fx) * (dy ? fy : 1.0f - fy);
            const unsigned char* texel = tex.pixels + 4 * (static_cast<size_t>(y) * w + x);
            for (int c = 0; c < 4; ++c) out[c] += weight * static_cast<float>(texel[c]) / 255.0f;
        }
    }
}

// The fade coordinates where the colour along a trail bends: GL filters the texture linearly
// between texel centres, so the colour is a straight line from one centre to the next and bends
// only at a centre where the texels around it (the transparent border beyond the outer ones) do
// not lie on one line. Bends of under two levels in 255 are not kept. The streak textures bend
// only at their outer centres, where the fade meets the border.
std::vector<float> colourBends(const Texture& tex) {
    std::vector<float> bends;
    const int w = tex.width, h = tex.height;
    auto texel = [&](int x, int y, int c) -> int {
        return y < 0 || y >= h ? 0 : tex.pixels[4 * (static_cast<size_t>(y) * w + x) + c];
    };
    for (int y = 0; y < h; ++y) {
        bool bends_here = false;
        for (int x = 0; x < w && !bends_here; ++x)
            for (int c = 0; c < 4 && !bends_here; ++c)
                bends_here = std::abs(texel(x, y - 1, c) - 2 * texel(x, y, c) + texel(x, y + 1, c)) > 1;
        if (bends_here) bends.push_back((static_cast<float>(y) + 0.5f) / static_cast<float>(h));
    }
    return bends;
}

}  // namespace

void Streaklets::drawRange(int from, int to) {
    becomeCurrent();
    RibbonFrame frame;
    if (!frame.fromCurrentTransform(lineWidth)) return;
    // Every ribbon in one vertex array and one call, in particle order, two triangles a segment.
    vertices.clear();
    indices.clear();
    ribbons.clear();
    const bool textured = texture && texture->pixels && texture->width > 0 && texture->height > 0;
    // A few hundred texels: cheaper to look at each draw than to tell when they changed.
    const std::vector<float> bends = textured ? colourBends(*texture) : std::vector<float>();
    for (int i = from; i < to; ++i) {
        const unsigned first = static_cast<unsigned>(vertices.size() / 5);
        const int m = particles[static_cast<size_t>(i)].appendRibbon(frame, vertices, scratch);
        if (m >= 2) ribbons.push_back({first, m});
        for (unsigned k = 0; k + 1 < static_cast<unsigned>(m); ++k) {
            const unsigned v = first + 2 * k;
            const unsigned tri[6] = {v, v + 1, v + 2, v + 1, v + 3, v + 2};
            indices.insert(indices.end(), tri, tri + 6);
        }
    }
    if (indices.empty()) return;

    // Bindings, enables, texture environments, the active units and the current colour all come
    // back with the pops.
    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_CURRENT_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glActiveTexture(GL_TEXTURE0);
    // The streak colour of each point, taken from the streak texture here rather than per pixel:
    // it varies only along the trail, and a texture read per pixel is a large share of a software
    // rasteriser's cost. Without a texture in memory, the current colour. Unit 0's texture
    // environment applies as it did to the texture: modulated by the current colour or not.
    const size_t count = vertices.size() / 5;
    colours.resize(4 * count);
    float current[4] = {1, 1, 1, 1};
    glGetFloatv(GL_CURRENT_COLOR, current);
    GLint mode = GL_REPLACE;
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
    for (size_t k = 0; k < count; k += 2) {
        float* c = &colours[4 * k];
        if (textured) {
            sampleStreakTexture(*texture, vertices[5 * k + 2], vertices[5 * k + 3], c);
            if (mode == GL_MODULATE)
                for (int i = 0; i < 4; ++i) c[i] *= current[i];
        } else {
            std::copy(current, current + 4, c);
        }
        std::copy(c, c + 4, c + 4);  // both sides of the ribbon
    }
    // Between two points the colour now goes in a straight line, where the texture bent it (near
    // the ends, where it fades into its border). An end's colour is set so that its segment
    // carries the same colour in all as the texture gave it, which keeps the trail's ink; a new
    // point at each bend would keep the exact profile but cost two triangles more per trail.
    auto colourAt = [&](float s, float t, float out[4]) {
        sampleStreakTexture(*texture, s, t, out);
        if (mode == GL_MODULATE)
            for (int i = 0; i < 4; ++i) out[i] *= current[i];
    };
    for (const Ribbon& r : ribbons) {
        if (bends.empty()) break;
        for (int end = 0; end < 2; ++end) {
            const size_t e = r.first + (end == 0 ? 0 : 2 * static_cast<size_t>(r.pairs - 1));
            const size_t n = r.first + (end == 0 ? 2 : 2 * static_cast<size_t>(r.pairs - 2));
            const float te = vertices[5 * e + 3], tn = vertices[5 * n + 3];
            const float span = std::fabs(te - tn);
            // The bend nearest this end, strictly inside its segment.
            float bend = -1.0f, nearest = span;
            for (float b : bends)
                if (b > std::min(te, tn) && b < std::max(te, tn) && std::fabs(te - b) < nearest) {
                    nearest = std::fabs(te - b);
                    bend = b;
                }
            if (bend < 0.0f) continue;
            float cb[4];
            colourAt(vertices[5 * e + 2], bend, cb);
            float* ce = &colours[4 * e];
            const float* cn = &colours[4 * n];
            for (int c = 0; c < 4; ++c) {
                const float area = 0.5f * (ce[c] + cb[c]) * nearest + 0.5f * (cb[c] + cn[c]) * (span - nearest);
                ce[c] = std::min(std::max(2.0f * area / span - cn[c], 0.0f), 1.0f);
                ce[c + 4] = ce[c];
            }
        }
    }

    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_3D);
    GLint callerProgram = 0;
    if (Shader::isSupported()) glGetIntegerv(GL_CURRENT_PROGRAM, &callerProgram);
    if (const GLuint program = coverageProgram()) {
        // The coverage across the ribbon worked out per pixel, with no texture to read.
        glUseProgram(program);
        glUniform1f(glGetUniformLocation(program, "texels"), static_cast<float>(lineWidth + 2));
    } else {
        bindRamp();
    }

    const float* v = vertices.data();
    constexpr GLsizei stride = 5 * sizeof(float);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, stride, v);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_FLOAT, 0, colours.data());
    glClientActiveTexture(GL_TEXTURE0);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(1, GL_FLOAT, stride, v + 4);
    glDrawRangeElements(GL_TRIANGLES, 0, static_cast<GLuint>(count - 1), static_cast<GLsizei>(indices.size()),
                        GL_UNSIGNED_INT, indices.data());

    if (Shader::isSupported()) glUseProgram(static_cast<GLuint>(callerProgram));
    glPopClientAttrib();
    glPopAttrib();
}

GLuint Streaklets::coverageProgram() {
    if (!Shader::isSupported() || coverageFailed) return 0;
    if (coverage) return coverage->programName();
    // The ramp texture's profile: transparent at the texel centres on both edges, rising to
    // opaque over one texel, with the ribbon `texels` texels across.
    static const char* source =
        "uniform float texels;\n"
        "void main() {\n"
        "    float r = gl_TexCoord[0].s * texels;\n"
        "    float a = clamp(min(r - 0.5, texels - 0.5 - r), 0.0, 1.0);\n"
        "    gl_FragColor = vec4(gl_Color.rgb, gl_Color.a * a);\n"
        "}\n";
    ShaderObject fragment(GL_FRAGMENT_SHADER);
    std::unique_ptr<Shader> program(new Shader());
    if (!fragment.compile(source) || !program->attach(fragment) || !program->link()) {
        std::fprintf(stderr, "Streaklets: no coverage shader; drawing with the ramp texture\n");
        coverageFailed = true;
        return 0;
    }
    coverage = std::move(program);
    return coverage->programName();
}

void Streaklets::bindRamp() {
    if (!ramp || rampWidth != lineWidth) {
        const int n = lineWidth + 2;
        unsigned char* texels = new unsigned char[static_cast<size_t>(4 * n)];
        for (int i = 0; i < n; ++i) {
            unsigned char* t = texels + 4 * i;
            t[0] = t[1] = t[2] = 255;
            t[3] = i == 0 || i == n - 1 ? 0 : 255;
        }
        ramp.reset(new Texture(GL_TEXTURE_1D));
        ramp->setData1D(n, texels);
        ramp->ownsPixels = true;
        rampWidth = lineWidth;
        glBindTexture(GL_TEXTURE_1D, ramp->name);
        glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    }
    glBindTexture(GL_TEXTURE_1D, ramp->name);
    glEnable(GL_TEXTURE_1D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

Texture* makeStreakTexture(const ColorCalculator& first, const ColorCalculator& second) {
    Texture* t = new Texture(GL_TEXTURE_2D);
    t->fillFromCalculators(first, second, 8, 8);
    P.streakTexture = t;
    return t;
}
