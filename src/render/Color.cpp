#include "Color.h"

#include <algorithm>
#include <cmath>
#include <iostream>

Color::Color(float r, float g, float b, float a) : r_(r), g_(g), b_(b), a_(a) {}

Color& Color::setRGBA(float r, float g, float b, float a) {
    r_ = r;
    g_ = g;
    b_ = b;
    a_ = a;
    return *this;
}

Color& Color::setHSVA(float h, float s, float v, float a) {
    h_ = h;
    s_ = s;
    v_ = v;
    a_ = a;
    return *this;
}

Color Color::multiply(const Color& o) const { return Color(r_ * o.r_, g_ * o.g_, b_ * o.b_, a_ * o.a_); }

void Color::toHSV() {
    const float mn = std::min(r_, std::min(g_, b_));
    const float mx = std::max(r_, std::max(g_, b_));
    v_ = mx;
    if (mx == 0) {
        s_ = 0;
        h_ = 0;
        return;
    }
    const float d = mx - mn;
    s_ = d / mx;
    if (d == 0)
        h_ = 0;
    else if (r_ == mx)
        h_ = (g_ - b_) / d;
    else if (g_ == mx)
        h_ = 2 + (b_ - r_) / d;
    else
        h_ = 4 + (r_ - g_) / d;
    h_ *= 60;
    if (h_ < 0) h_ += 360;
}

void Color::toRGB() {
    if (s_ == 0) {
        r_ = g_ = b_ = v_;
        return;
    }
    const float x = h_ / 60;
    const int i = static_cast<int>(std::floor(x));
    const float f = x - i;
    const float p = v_ * (1 - s_);
    const float q = v_ * (1 - s_ * f);
    const float t = v_ * (1 - s_ * (1 - f));
    switch (i) {
        case 0: r_ = v_; g_ = t; b_ = p; break;
        case 1: r_ = q; g_ = v_; b_ = p; break;
        case 2: r_ = p; g_ = v_; b_ = t; break;
        case 3: r_ = p; g_ = q; b_ = v_; break;
        case 4: r_ = t; g_ = p; b_ = v_; break;
        default: r_ = v_; g_ = p; b_ = q; break;
    }
}

void Color::print() const {
    std::cerr << "RGBA: (" << r_ << ',' << g_ << ',' << b_ << ',' << a_ << ")  HSV: (" << h_ << ',' << s_ << ','
              << v_ << ")\n";
}

Color FadeCalculator::getColor(float t) const {
    const float x = t * static_cast<float>(count_ - 1);
    int i = static_cast<int>(x);
    const float f = x - static_cast<float>(i);
    int j = i + 1;
    // A parameter below 0 never reaches here from the ramps; clamping both ways keeps the list access
    // in bounds should one ever do.
    i = std::clamp(i, 0, count_ - 1);
    j = std::clamp(j, 0, count_ - 1);
    const Color& a = colors_[i];
    const Color& b = colors_[j];
    const float e = 1 - f;
    return Color(e * a.r() + f * b.r(), e * a.g() + f * b.g(), e * a.b() + f * b.b(), e * a.a() + f * b.a());
}

Color HueCalculator::getColor(float t) const {
    if (reversed_) t = 1 - t;
    float hue;
    if (hueEnd_ > hueStart_) {
        hue = hueStart_ + (hueEnd_ - hueStart_) * t;
    } else {
        hue = hueStart_ + (hueEnd_ + 1 - hueStart_) * t;
        if (hue > 1) hue -= 1;
    }
    const float sixth = 1.0f / 6, third = 1.0f / 3, half = 1.0f / 2, twoThirds = 2.0f / 3, fiveSixths = 5.0f / 6;
    if (hue < sixth) return Color(1, 6 * hue, 0, 1);
    if (hue < third) return Color(6 * (third - hue), 1, 0, 1);
    if (hue < half) return Color(0, 1, 6 * (hue - third), 1);
    if (hue < twoThirds) return Color(0, 6 * (twoThirds - hue), 1, 1);
    if (hue < fiveSixths) return Color(6 * (hue - twoThirds), 0, 1, 1);
    return Color(1, 0, 6 * (1 - hue), 1);
}
