#include "DataVariable.h"

#include <GL/glew.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "Color.h"
#include "Texture.h"

namespace {

// 16 fixed names; only the conversion failure message uses them.
const char kUnitNames[16][32] = {"%",  "[0-1]", "K",   "C",        "F",       "P",      "mb", "m/s",
                                 "mph", "kts",  "kg/m^2/s", "g/m^2/s", "kg/m^2", "in", "psu", "m"};

struct Conversion {
    int source, display;
    bool hasScale;
    float scale;
    bool hasOffset;
    float offset;
};

const Conversion kConversions[] = {
    {UNIT_PERCENT, UNIT_FRACTION, true, 100.0f, false, 0.0f},
    {UNIT_KELVIN, UNIT_CELSIUS, false, 1.0f, true, 273.0f},
    {UNIT_KELVIN, UNIT_FAHRENHEIT, true, 5.0f / 9.0f, true, 459.67f},
    {UNIT_CELSIUS, UNIT_KELVIN, false, 1.0f, true, -273.0f},
    {UNIT_CELSIUS, UNIT_FAHRENHEIT, true, 5.0f / 9.0f, true, -32.0f},
    {UNIT_PASCAL, UNIT_MILLIBAR, true, 100.0f, false, 0.0f},
    {UNIT_METRES_PER_SECOND, UNIT_MPH, true, 0.44704f, false, 0.0f},
    {UNIT_METRES_PER_SECOND, UNIT_KNOTS, true, 1852.0f / 3600.0f, false, 0.0f},
    {UNIT_KG_M2_S, UNIT_G_M2_S, true, 0.001f, false, 0.0f},
    {UNIT_KG_M2_S, UNIT_KG_M2, true, 25.4f / 3600.0f, false, 0.0f},
    // Precipitation: millimetres of water in the file, inches on screen.
    {UNIT_INCH, UNIT_PSU, true, 25.4f, false, 0.0f},
};

// wgrib2 marks missing points with 9.999e20; nothing real comes near it.
bool isMissing(float v) { return !std::isfinite(v) || std::fabs(v) >= 9.0e20f; }

// Textures a variable made itself; they live as long as the program, like the variables.
std::vector<std::unique_ptr<Texture>>& madeTextures() {
    static auto* textures = new std::vector<std::unique_ptr<Texture>>();
    return *textures;
}

}  // namespace

const char* DataVariable::unitName(int code) { return code >= 0 && code < 16 ? kUnitNames[code] : "?"; }

DataVariable::DataVariable(int sourceUnit, const char* name, unsigned slot, const char* label)
    : sourceUnit_(sourceUnit),
      displayUnit_(sourceUnit),
      name_(name ? name : ""),
      label_(label ? label : name_),
      slot_(slot) {}

bool DataVariable::setDisplayUnit(int unit) {
    if (unit == UNIT_KEEP) return true;
    displayUnit_ = unit;
    if (unit == sourceUnit_) {
        scale_ = 1.0f;
        offset_ = 0.0f;
        return true;
    }
    bool knownSource = false;
    for (const Conversion& c : kConversions) {
        if (c.source != sourceUnit_) continue;
        knownSource = true;
        if (c.display != unit) continue;
        if (c.hasScale) scale_ = c.scale;
        if (c.hasOffset) offset_ = c.offset;
        return true;
    }
    if (!knownSource) return true;
    std::fprintf(stderr, "%s: Conversion from %s to %s not implemented\n", name_.c_str(), unitName(sourceUnit_),
                 unitName(unit));
    return false;
}

void DataVariable::setLow(float value, int unit) {
    setDisplayUnit(unit);
    low_ = value;
    updateRange(LOW_SET);
}

void DataVariable::setHigh(float value, int unit) {
    setDisplayUnit(unit);
    high_ = value;
    updateRange(HIGH_SET);
}

void DataVariable::setCentre(float value, int unit) {
    setDisplayUnit(unit);
    centre_ = value;
    updateRange(CENTRE_SET);
}

void DataVariable::setStep(float value, int unit) {
    setDisplayUnit(unit);
    step_ = value;
    updateRange(STEP_SET);
}

void DataVariable::setLevels(const float* values, int n, int unit) {
    setDisplayUnit(unit);
    if (!values || n < 1) n = 0;
    displayLevels_.assign(values, values + n);
    dataLevels_.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) dataLevels_[static_cast<size_t>(i)] = toData(values[i]);
    count_ = n > 0 ? n - 1 : 0;
    updateRange(LEVELS_SET);
}

void DataVariable::setColormapTexture(Texture* texture) {
    if (texture) colormap_ = texture;
    usesColormap_ = true;
    updateRange(TEXTURE_SET);
}

void DataVariable::setTextonTexture(Texture* texture, float repeatX, float repeatY, float alpha3D) {
    if (texture) {
        textons_ = texture;
        repeatX_ = repeatX;
        repeatY_ = repeatY;
        alpha3D_ = alpha3D;
    }
    usesColormap_ = false;
    updateRange(TEXTURE_SET);
}

void DataVariable::makeColormap(const ColorCalculator& calculator, int steps) {
    madeTextures().push_back(std::make_unique<Texture>(GL_TEXTURE_1D));
    Texture* t = madeTextures().back().get();
    t->fillFromCalculator(calculator, steps);
    setColormapTexture(t);
}

void DataVariable::loadTextons(const char* path, float repeatX, float repeatY, float alpha3D) {
    madeTextures().push_back(std::make_unique<Texture>(GL_TEXTURE_3D));
    Texture* t = madeTextures().back().get();
    t->loadFile(path, 0);
    setTextonTexture(t, repeatX, repeatY, alpha3D);
}

void DataVariable::updateRange(unsigned bit) {
    setMask_ |= bit;
    if (setMask_ & LEVELS_SET) {
        step_ = count_ > 0 ? (dataLevels_[static_cast<size_t>(count_)] - dataLevels_[0]) / count_ : 0.0f;
        return;
    }
    const bool hasTexture = (setMask_ & TEXTURE_SET) != 0;
    const bool hasStep = (setMask_ & STEP_SET) != 0;
    const bool bothEnds = (setMask_ & (LOW_SET | HIGH_SET)) == (LOW_SET | HIGH_SET);
    if (!hasTexture || !(hasStep || bothEnds)) return;

    // The level count comes from the active texture; without one (or an empty one) there is no
    // scale to cut, and deriving from 0 levels would only divide by zero.
    const Texture* active = activeTexture();
    const int n = active ? active->getLevels() : 0;
    if (n < 1) return;

    if (hasStep) {
        if (setMask_ & CENTRE_SET) {
            low_ = centre_ - step_ * n / 2.0f;
            high_ = centre_ + step_ * n / 2.0f;
        } else if (setMask_ & LOW_SET) {
            high_ = low_ + step_ * n;
            centre_ = (low_ + high_) / 2.0f;
        } else if (setMask_ & HIGH_SET) {
            low_ = high_ - step_ * n;
            centre_ = (low_ + high_) / 2.0f;
        } else {
            return;  // a step with nothing to anchor it
        }
    } else {
        step_ = (high_ - low_) / n;
        centre_ = (high_ + low_) / 2.0f;
    }
    dataLow_ = toData(low_);
    dataHigh_ = toData(high_);
    count_ = n;
}

float DataVariable::levelValue(int i) const {
    if (hasExplicitLevels()) {
        if (displayLevels_.empty()) return 0.0f;
        if (i < 0) i = 0;
        if (i > count_) i = count_;
        return displayLevels_[static_cast<size_t>(i)];
    }
    return low_ + static_cast<float>(i) * step_;
}

float DataVariable::normaliseLinear(float v) const {
    const float span = dataHigh_ - dataLow_;
    if (span == 0.0f || !std::isfinite(span)) return 0.0f;
    return (v - dataLow_) / span;
}

int DataVariable::levelIndex(float v) const {
    const double x = static_cast<double>(normaliseLinear(v)) * count_;
    if (std::isnan(x)) return 0;
    // Keep the cast defined for values far outside the range.
    if (x >= 2147483647.0) return 2147483647;
    if (x <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(x);
}

float DataVariable::dataStep() const { return count_ > 0 ? (dataHigh_ - dataLow_) / count_ : 0.0f; }

int DataVariable::labelPrecision(int p) {
    if (p >= 0) labelPrecision_ = p;
    return labelPrecision_;
}

float DataVariable::explicitPosition(float v) const {
    const std::vector<float>& L = dataLevels_;
    if (count_ < 1 || isMissing(v) || v <= L[0]) return 0.0f;
    if (v > L[static_cast<size_t>(count_)]) return 1.0f;
    int j = 1;
    while (j < count_ && v > L[static_cast<size_t>(j)]) ++j;
    // v > L[j-1] by the search, so the interval has a positive width.
    const float lo = L[static_cast<size_t>(j - 1)], hi = L[static_cast<size_t>(j)];
    return (static_cast<float>(j - 1) + (v - lo) / (hi - lo)) / static_cast<float>(count_);
}

void DataVariable::normalise(float* out, const float* in, int n) const {
    if (!out || !in) return;
    if (hasExplicitLevels()) {
        for (int i = 0; i < n; ++i) out[i] = explicitPosition(in[i]);
        return;
    }
    const float span = dataHigh_ - dataLow_;
    const bool usable = span != 0.0f && std::isfinite(span);
    for (int i = 0; i < n; ++i) {
        const float v = in[i];
        out[i] = usable && !isMissing(v) ? (v - dataLow_) / span : 0.0f;
    }
}
