#pragma once

#include <string>
#include <vector>

#include "ShadedVariable.h"

class ColorCalculator;
class Texture;

// Unit codes shared by every variable. -1 given to a setter keeps the current display unit.
enum UnitCode {
    UNIT_PERCENT = 0,
    UNIT_FRACTION = 1,
    UNIT_KELVIN = 2,
    UNIT_CELSIUS = 3,
    UNIT_FAHRENHEIT = 4,
    UNIT_PASCAL = 5,
    UNIT_MILLIBAR = 6,
    UNIT_METRES_PER_SECOND = 7,
    UNIT_MPH = 8,
    UNIT_KNOTS = 9,
    UNIT_KG_M2_S = 10,
    UNIT_G_M2_S = 11,
    UNIT_KG_M2 = 12,
    UNIT_INCH = 13,
    UNIT_PSU = 14,
    UNIT_METRE = 15,
    UNIT_KEEP = -1
};

// One displayable scalar field of the forecast: which slot it reads, the unit the file stores it in
// and the one it is shown in, the value range its colour scale covers and how that range is cut into
// levels, and the colormap and texton textures that paint it.
//
// data value = (display value + offset) * scale; display value = data value / scale - offset.
//
// The range is resolved after every setter: once a texture is installed (it gives the level count
// n) and either a step with one anchor (centre before low before high) or both ends are known.
// Explicit levels (setLevels) replace all of that.
class DataVariable : public ShadedVariable {
public:
    // Bits of setMask: which range parameters have been given.
    enum : unsigned {
        CENTRE_SET = 1,
        LOW_SET = 2,
        HIGH_SET = 4,
        STEP_SET = 8,
        TEXTURE_SET = 16,
        LEVELS_SET = 32
    };

    // The name of a unit code for messages; "?" outside 0..15.
    static const char* unitName(int code);

    DataVariable(int sourceUnit, const char* name, unsigned slot, const char* label = nullptr);
    virtual ~DataVariable() = default;
    DataVariable(const DataVariable&) = delete;
    DataVariable& operator=(const DataVariable&) = delete;

    // Sets the display unit and the conversion factors; prints a message and returns false for a
    // pair that has no conversion (the new code is kept, the factors are not touched).
    bool setDisplayUnit(int unit);
    void setLow(float value, int unit = UNIT_KEEP);
    void setHigh(float value, int unit = UNIT_KEEP);
    void setCentre(float value, int unit = UNIT_KEEP);
    void setStep(float value, int unit = UNIT_KEEP);
    // n values in display units, lowest first; count becomes n - 1.
    void setLevels(const float* values, int n, int unit = UNIT_KEEP);
    void setContoursPerLevel(float c) { contoursPerLevel_ = c; }

    // Textures stay owned by the caller. A null texture keeps the previous one but still selects
    // which of the two is active.
    void setColormapTexture(Texture* texture);
    void setTextonTexture(Texture* texture, float repeatX, float repeatY, float alpha3D);
    // These create textures that live as long as the program (never deleted).
    void makeColormap(const ColorCalculator& calculator, int steps);
    void loadTextons(const char* path, float repeatX, float repeatY, float alpha3D);

    float toDisplay(float v) const { return v / scale_ - offset_; }
    float toData(float displayValue) const { return (displayValue + offset_) * scale_; }
    float levelValue(int i) const;
    float normaliseLinear(float v) const;
    int levelIndex(float v) const;
    // Colour-scale positions of n data values: 0 at the first level, 1 at the last. Missing values
    // (not finite, or the files' 9.999e20 fill) land at 0.
    void normalise(float* out, const float* in, int n) const;
    float dataStep() const;
    int levelCount() const { return count_; }

    unsigned slot() const { return slot_; }
    const std::string& name() const { return name_; }
    const std::string& label() const { return label_; }
    int sourceUnit() const { return sourceUnit_; }
    int displayUnit() const { return displayUnit_; }
    float scale() const { return scale_; }
    float offset() const { return offset_; }
    float low() const { return low_; }
    float high() const { return high_; }
    float step() const { return step_; }
    float centre() const { return centre_; }
    float dataLow() const { return dataLow_; }
    float dataHigh() const { return dataHigh_; }
    float contoursPerLevel() const { return contoursPerLevel_; }
    float keyTickOffset() const { return keyTickOffset_; }
    unsigned setMask() const { return setMask_; }
    bool hasExplicitLevels() const { return (setMask_ & LEVELS_SET) != 0; }
    const std::vector<float>& dataLevels() const { return dataLevels_; }
    const std::vector<float>& displayLevels() const { return displayLevels_; }
    Texture* activeTexture() const { return usesColormap_ ? colormap_ : textons_; }
    // p >= 0 stores it; returns the stored precision (-1: automatic).
    int labelPrecision(int p = -1);

    // What the background shader reads.
    Texture* colormapTexture() const override { return colormap_; }
    Texture* textonTexture() const override { return textons_; }
    bool usesColormap() const override { return usesColormap_; }
    bool usesTextons() const override { return !usesColormap_; }
    float repeatX() const override { return repeatX_; }
    float repeatY() const override { return repeatY_; }
    float alpha3D() const override { return alpha3D_; }
    float numContours() const override { return static_cast<float>(count_) * contoursPerLevel_; }
    bool blackBottom() const override { return blackBottom_; }

private:
    void updateRange(unsigned bit);
    float explicitPosition(float v) const;

    Texture* colormap_ = nullptr;
    Texture* textons_ = nullptr;
    float dataLow_ = 0, dataHigh_ = 0;
    int count_ = 0;
    int sourceUnit_;
    int displayUnit_;
    float low_ = 0, high_ = 0;
    float step_ = 0;
    float centre_ = 0;
    float scale_ = 1, offset_ = 0;
    float repeatX_ = 1, repeatY_ = 1;
    float alpha3D_ = 1;
    float contoursPerLevel_ = 1;
    float keyTickOffset_ = 0;
    bool usesColormap_ = true;
    std::string name_;
    std::string label_;
    std::vector<float> dataLevels_, displayLevels_;
    unsigned slot_;
    bool blackBottom_ = false;
    int labelPrecision_ = -1;
    unsigned setMask_ = 0;
};
