#include "Streaklets.h"

#include <GL/glew.h>

#include <cmath>
#include <cstdlib>

#include "Color.h"
#include "ForecastData.h"
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

int Streaklet::appendRibbon(const RibbonFrame& f, std::vector<float>& out, std::vector<float>& scratch) const {
    const int m = texCoords.size();
    if (m < 2) return 0;
    // Unit screen direction of each segment, newest first; a zero-length one takes the direction
    // of the nearest segment before it (or after it at the head).
    scratch.assign(static_cast<size_t>(2 * (m - 1)), 0.0f);
    int firstValid = -1;
    for (int k = 0; k + 1 < m; ++k) {
        const float gx = pointCol(k + 1) - pointCol(k), gy = pointRow(k + 1) - pointRow(k);
        const float dx = f.a * gx + f.b * gy, dy = f.c * gx + f.d * gy;
        const float len = std::sqrt(dx * dx + dy * dy);
        float* e = &scratch[static_cast<size_t>(2 * k)];
        if (len > 1e-4f && std::isfinite(len)) {
            e[0] = dx / len;
            e[1] = dy / len;
            if (firstValid < 0) firstValid = k;
        } else if (firstValid >= 0) {
            e[0] = e[-2];
            e[1] = e[-1];
        }
    }
    const float e0x = firstValid >= 0 ? scratch[static_cast<size_t>(2 * firstValid)] : 1.0f;
    const float e0y = firstValid >= 0 ? scratch[static_cast<size_t>(2 * firstValid + 1)] : 0.0f;
    for (int k = 0; k < (firstValid >= 0 ? firstValid : m - 1); ++k) {
        scratch[static_cast<size_t>(2 * k)] = e0x;
        scratch[static_cast<size_t>(2 * k + 1)] = e0y;
    }
    // Sharp turns would throw the miter far out; past this the ribbon pinches instead.
    constexpr float kMaxMiter = 2.0f;
    for (int k = 0; k < m; ++k) {
        const float* before = &scratch[static_cast<size_t>(2 * (k > 0 ? k - 1 : 0))];
        const float* after = &scratch[static_cast<size_t>(2 * (k + 1 < m ? k : m - 2))];
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
        } else if (k == m - 1) {
            ax = 0.5f * before[0];
            ay = 0.5f * before[1];
        }
        const float x = pointCol(k) + f.ia * ax + f.ib * ay, y = pointRow(k) + f.ic * ax + f.id * ay;
        const float gx = f.ia * ox + f.ib * oy, gy = f.ic * ox + f.id * oy;
        const float s = texCoords.get(k), t = pointT(k);
        const float v[10] = {x + gx, y + gy, s, t, f.edge0, x - gx, y - gy, s, t, f.edge1};
        out.insert(out.end(), v, v + 10);
    }
    return m;
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

void Streaklets::drawRange(int from, int to) {
    becomeCurrent();
    RibbonFrame frame;
    if (!frame.fromCurrentTransform(lineWidth)) return;
    // Every ribbon in one vertex array and one call, in particle order, two triangles a segment.
    vertices.clear();
    indices.clear();
    for (int i = from; i < to; ++i) {
        const unsigned first = static_cast<unsigned>(vertices.size() / 5);
        const int m = particles[static_cast<size_t>(i)].appendRibbon(frame, vertices, scratch);
        for (unsigned k = 0; k + 1 < static_cast<unsigned>(m); ++k) {
            const unsigned v = first + 2 * k;
            const unsigned tri[6] = {v, v + 1, v + 2, v + 1, v + 3, v + 2};
            indices.insert(indices.end(), tri, tri + 6);
        }
    }
    if (indices.empty()) return;

    // Bindings, enables, texture environments and the active units all come back with the pop.
    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glActiveTexture(GL_TEXTURE1);
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
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_3D);
    glEnable(GL_TEXTURE_1D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glActiveTexture(GL_TEXTURE0);
    if (texture) texture->bind();

    const float* v = vertices.data();
    constexpr GLsizei stride = 5 * sizeof(float);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, stride, v);
    glClientActiveTexture(GL_TEXTURE0);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, stride, v + 2);
    glClientActiveTexture(GL_TEXTURE1);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(1, GL_FLOAT, stride, v + 4);
    glDrawRangeElements(GL_TRIANGLES, 0, static_cast<GLuint>(vertices.size() / 5 - 1),
                        static_cast<GLsizei>(indices.size()), GL_UNSIGNED_INT, indices.data());

    if (texture) texture->unbind();
    glPopClientAttrib();
    glPopAttrib();
}

Texture* makeStreakTexture(const ColorCalculator& first, const ColorCalculator& second) {
    Texture* t = new Texture(GL_TEXTURE_2D);
    t->fillFromCalculators(first, second, 8, 8);
    P.streakTexture = t;
    return t;
}
