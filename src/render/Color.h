#pragma once

// RGBA colour with a separately stored HSV half; the two halves are only brought in step by the
// explicit conversions toHSV() and toRGB().
class Color {
public:
    Color() = default;
    Color(float r, float g, float b, float a);

    Color& setRGBA(float r, float g, float b, float a);
    Color& setR(float x) { r_ = x; return *this; }
    Color& setG(float x) { g_ = x; return *this; }
    Color& setB(float x) { b_ = x; return *this; }
    Color& setA(float x) { a_ = x; return *this; }
    Color& setHSVA(float h, float s, float v, float a);
    Color& setH(float x) { h_ = x; return *this; }
    Color& setS(float x) { s_ = x; return *this; }
    Color& setV(float x) { v_ = x; return *this; }

    float r() const { return r_; }
    float g() const { return g_; }
    float b() const { return b_; }
    float a() const { return a_; }
    float h() const { return h_; }
    float s() const { return s_; }
    float v() const { return v_; }

    // Component-wise RGBA product; the HSV half of the result is zero.
    Color multiply(const Color& other) const;

    void toHSV();
    void toRGB();

    // One line on standard error: "RGBA: (r,g,b,a)  HSV: (h,s,v)".
    void print() const;

private:
    float r_ = 0, g_ = 0, b_ = 0, a_ = 1;
    float h_ = 0, s_ = 0, v_ = 0;
};

// Maps a parameter 0..1 to a colour; used to fill colour-ramp textures.
class ColorCalculator {
public:
    virtual Color getColor(float t) const = 0;

protected:
    ~ColorCalculator() = default;  // never deleted through the base
};

// Piecewise-linear fade through a caller-owned list of colours (not copied).
class FadeCalculator : public ColorCalculator {
public:
    FadeCalculator(const Color* colors, int count) : colors_(colors), count_(count) {}
    Color getColor(float t) const override;

private:
    const Color* colors_;
    int count_;
};

// Fully saturated hue sweep; hues are fractions of a turn. A start above the end wraps through red.
class HueCalculator : public ColorCalculator {
public:
    HueCalculator(float hueStart, float hueEnd, bool reversed = false)
        : hueStart_(hueStart), hueEnd_(hueEnd), reversed_(reversed) {}
    Color getColor(float t) const override;

private:
    float hueStart_, hueEnd_;
    bool reversed_;
};
