#pragma once

#include <memory>
#include <vector>

#include "CircularFloatQueue.h"

class ColorCalculator;
class ForecastData;
class Shader;
class Streaklets;
class Texture;

// Settings every particle reads. A system copies its own settings in before it steps or draws (it
// becomes current), so two systems with different settings take turns on the same particle code.
// Touched only on the GLUT thread.
struct StreakletParameters {
    int trailLength = 8;
    int lifetime = 20;
    float speedScale = 0.1f;
    float speedExponent = 1.1f;
    float speedThreshold = 4.0f;
    float seedFactor = 1.0f;
    int slot = 4;  // speed slot; slot + 1 and slot + 2 hold the unit direction
    ForecastData* forecast = nullptr;
    Texture* streakTexture = nullptr;
    Streaklets* currentSystem = nullptr;
};

extern StreakletParameters streakletParameters;

// How trails become ribbons on screen for one draw: the linear part of grid -> window pixels
// (x' = a col + b row, y' = c col + d row), its inverse, the ribbon's half width in pixels and
// the coverage-ramp coordinates of its two edges.
struct RibbonFrame {
    float a = 1, b = 0, c = 0, d = 1;
    float ia = 1, ib = 0, ic = 0, id = 1;
    float halfWidth = 1.5f;
    float edge0 = 0, edge1 = 1;
    // The current modelview, projection and viewport with the ribbon of a `lineWidth` px line.
    // False when the transform flattens the grid (nothing to draw).
    bool fromCurrentTransform(int lineWidth);
};

// Working memory of appendRibbon, kept by the caller between trails.
struct RibbonScratch {
    std::vector<float> screen, directions;
    std::vector<int> kept;
};

// One particle: its trail (newest point first), remaining life and the wind speed at its head.
// Positions are grid-index units, row along the grid's second dimension, column along the third.
class Streaklet {
public:
    // Creates the trail rings, then respawns at time 0 with the given life (this moves the
    // forecast clock to 0).
    Streaklet(int trailLength, int life);

    // life < 0 gives the shared lifetime.
    void respawn(double time, int life);
    void respawnRandom(double time);
    // One life-cycle update: grow or age and step while alive, shrink from the tail while dying.
    void update(double time);
    // Appends the trail as a ribbon, two vertices (x, y, s, t, ramp) per point drawn, and returns
    // the number of points drawn: 0 for a trail too short to draw. Both ends are always drawn;
    // points a straight stretch of the ribbon passes within a quarter pixel of are left out.
    int appendRibbon(const RibbonFrame& frame, std::vector<float>& out, RibbonScratch& scratch) const;

    int points() const { return texCoords.size(); }
    // Point k (0 = newest).
    float pointRow(int k) const { return positions.get(2 * k); }
    float pointCol(int k) const { return positions.get(2 * k + 1); }
    // The texture coordinates point k is drawn with.
    float pointS(int k) const { return texCoords.get(k); }
    float pointT(int k) const;
    int getLife() const { return life; }
    float getRow() const { return row; }
    float getCol() const { return col; }
    float getSpeed() const { return speed; }

private:
    void step(double time);
    void record();

    CircularFloatQueue positions;  // per point: row (newer), then column
    CircularFloatQueue texCoords;
    int life = 0;
    float row = 0, col = 0;
    float speed = 0;
};

// One particle system drifting with one wind field of the forecast.
class Streaklets {
public:
    Streaklets(ForecastData* forecast, int count, int trailLength);
    ~Streaklets();
    Streaklets(const Streaklets&) = delete;
    Streaklets& operator=(const Streaklets&) = delete;

    // These also write straight into the shared parameters, current or not.
    void setSpeedScale(float v);
    void setSpeedExponent(float v);
    void setSpeedThreshold(float v);
    void setSlot(int v);
    void setSeedFactor(float v);
    void setTexture(Texture* t);
    void setLineWidth(int w) { lineWidth = w; }

    // Applies the time argument, then runs `steps` updates of every particle at that time.
    void advance(double time, int steps);
    // Fresh particles with random lives, pre-rolled trailLength + lifetime steps.
    void reset(double time);
    // Draws the first n particles (all when n < 0) in grid coordinates under the caller's transform,
    // as antialiased ribbons lineWidth pixels wide, in one call.
    void draw(int n = -1);
    // Draws particle i alone, exactly as draw() draws it.
    void drawOne(int i);

    int size() const { return count; }
    const Streaklet& particle(int i) const { return particles[static_cast<size_t>(i)]; }
    int getTrailLength() const { return trailLength; }
    int getLineWidth() const { return lineWidth; }
    int getLifetime() const { return lifetime; }
    float getSpeedScale() const { return speedScale; }
    float getSpeedExponent() const { return speedExponent; }
    float getSpeedThreshold() const { return speedThreshold; }
    float getSeedFactor() const { return seedFactor; }
    int getSlot() const { return slot; }
    Texture* getTexture() const { return texture; }

private:
    void becomeCurrent();
    void drawRange(int from, int to);
    // The ribbon's coverage shader, built on first use; 0 where shaders fail (then the ramp).
    unsigned coverageProgram();
    // Binds the coverage ramp on the active unit for fixed-function drawing.
    void bindRamp();

    std::vector<Streaklet> particles;
    // The ribbons of one draw, kept to reuse their memory.
    std::vector<float> vertices, colours;
    // Where each ribbon's vertex pairs start in `vertices` (in vertices), and how many pairs.
    struct Ribbon {
        size_t first;
        int pairs;
    };
    std::vector<Ribbon> ribbons;
    RibbonScratch scratch;
    std::vector<unsigned> indices;
    // Alpha across the ribbon (0 at both edges), made for rampWidth.
    std::unique_ptr<Texture> ramp;
    int rampWidth = 0;
    std::unique_ptr<Shader> coverage;
    bool coverageFailed = false;
    int count;
    int trailLength;
    int lineWidth = 2;
    int lifetime;
    float speedScale, speedExponent;
    ForecastData* forecast;
    int slot;
    float speedThreshold;
    float seedFactor = 1.0f;
    Texture* texture;
};

// An 8 x 8 streak texture: colour along s from `first`, fade along the trail (t) from `second`.
// It becomes the shared streak texture, so the next system constructed takes it. The caller owns it.
Texture* makeStreakTexture(const ColorCalculator& first, const ColorCalculator& second);
