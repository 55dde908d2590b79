#pragma once

#include <vector>

#include "CircularFloatQueue.h"

class ColorCalculator;
class ForecastData;
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
    void draw() const;
    // Appends the trail as it is drawn (s, t, x, y per point) and returns the number of points
    // appended: 0 for a trail too short to draw.
    int appendTrail(std::vector<float>& out) const;

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
    // Draws the first n particles (all when n < 0) in grid coordinates under the caller's transform.
    void draw(int n = -1);

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

    std::vector<Streaklet> particles;
    // The trails of one draw, kept to reuse their memory.
    std::vector<float> vertices;
    std::vector<int> firsts, counts;
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
