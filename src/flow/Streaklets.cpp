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

void Streaklet::draw() const {
    const int m = texCoords.size();
    if (m < 2) return;
    glBegin(GL_LINE_STRIP);
    for (int k = 0; k < m; ++k) {
        glTexCoord2f(texCoords.get(k), pointT(k));
        glVertex2f(pointCol(k), pointRow(k));
    }
    glEnd();
}

int Streaklet::appendTrail(std::vector<float>& out) const {
    const int m = texCoords.size();
    if (m < 2) return 0;
    for (int k = 0; k < m; ++k) {
        const float v[4] = {texCoords.get(k), pointT(k), pointCol(k), pointRow(k)};
        out.insert(out.end(), v, v + 4);
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
    becomeCurrent();
    if (n < 0 || n > count) n = count;
    const GLboolean depth = glIsEnabled(GL_DEPTH_TEST);
    const GLboolean smooth = glIsEnabled(GL_LINE_SMOOTH);
    GLfloat width = 1.0f;
    glGetFloatv(GL_LINE_WIDTH, &width);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_LINE_SMOOTH);
    glLineWidth(static_cast<GLfloat>(lineWidth));
    if (texture) texture->bind();
    // Every trail in one vertex array and one call, in particle order as before.
    vertices.clear();
    firsts.clear();
    counts.clear();
    for (int i = 0; i < n; ++i) {
        const int first = static_cast<int>(vertices.size() / 4);
        if (const int m = particles[static_cast<size_t>(i)].appendTrail(vertices)) {
            firsts.push_back(first);
            counts.push_back(m);
        }
    }
    if (!counts.empty()) {
        glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(2, GL_FLOAT, 4 * sizeof(float), vertices.data() + 2);
        glClientActiveTexture(GL_TEXTURE0);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glTexCoordPointer(2, GL_FLOAT, 4 * sizeof(float), vertices.data());
        glMultiDrawArrays(GL_LINE_STRIP, firsts.data(), counts.data(), static_cast<GLsizei>(counts.size()));
        glPopClientAttrib();
    }
    if (texture) texture->unbind();
    glLineWidth(width);
    if (!smooth) glDisable(GL_LINE_SMOOTH);
    if (depth) glEnable(GL_DEPTH_TEST);
}

Texture* makeStreakTexture(const ColorCalculator& first, const ColorCalculator& second) {
    Texture* t = new Texture(GL_TEXTURE_2D);
    t->fillFromCalculators(first, second, 8, 8);
    P.streakTexture = t;
    return t;
}
