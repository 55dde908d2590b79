#pragma once

#include <GL/glew.h>

#include <memory>

class Texture;

// The two neighbouring forecast steps of the primary and the secondary field, blended once per
// frame into one two-channel float texture (primary in red, secondary in green) at the frames'
// own resolution. The background program then reads one texture where it read four, for every
// pixel of the window; linear filtering of the blend equals the blend of the filtered frames.
// Owns its framebuffer object, its program and its texture. Needs framebuffer objects and float
// textures; where they are missing available() is false and the caller blends per pixel.
class StepBlend {
public:
    StepBlend();
    ~StepBlend();
    StepBlend(const StepBlend&) = delete;
    StepBlend& operator=(const StepBlend&) = delete;

    bool available() const { return fbo != 0; }

    // (1 - mid) * a + mid * b into red, the same of c and d into green, at the size of `a`. A null
    // c or d leaves green 0. Returns the texture, or nullptr when blending is unavailable, a or b
    // is missing, or the inputs differ in size. Repeated calls with the same inputs reuse the last result.
    Texture* blend(Texture* a, Texture* b, Texture* c, Texture* d, float mid);
    // The frames behind the last result may have been replaced: blend again next time.
    void invalidate() { valid = false; }

private:
    bool resize(int w, int h);

    GLuint fbo = 0;
    GLuint program = 0;
    std::unique_ptr<Texture> target;
    Texture* last[4] = {};
    float lastMid = 0;
    bool valid = false;
    bool ready = false;  // the texture has storage and is attached
};
