#pragma once

class Texture;

// What the background shader needs to know about a displayed data variable. The data variables
// implement it; keeping it here lets the renderer build and be tested without them.
class ShadedVariable {
public:
    virtual Texture* colormapTexture() const = 0;
    virtual Texture* textonTexture() const = 0;
    virtual bool usesColormap() const = 0;
    virtual bool usesTextons() const = 0;
    virtual float repeatX() const = 0;
    virtual float repeatY() const = 0;
    virtual float alpha3D() const = 0;
    virtual float numContours() const = 0;
    virtual bool blackBottom() const = 0;

protected:
    ~ShadedVariable() = default;  // owned and deleted through the concrete type
};
