#pragma once

#include <GL/glew.h>

#include <vector>

class ColorCalculator;

// GL_TEXTURE0 + i for the active texture unit (GL_TEXTURE0 without multitexturing).
GLenum activeTextureUnit();

// One OpenGL texture object (1-D, 2-D or 3-D) with the pixel buffer that last filled it and a
// record of the texture units it is bound to. Needs a current OpenGL context.
class Texture {
public:
    explicit Texture(GLenum target);
    virtual ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    // Binds and enables the target on unit i, and leaves unit i active.
    virtual void bindToUnit(int i);
    // Binds and enables the target on the currently active unit.
    virtual void bind();
    // Undoes the latest bind not yet undone, on the unit where it acted: texture 0 bound and the
    // target disabled there. After bindToUnit the unit active before it is active again; after
    // bind the active unit is left alone. With nothing bound it does nothing.
    virtual void unbind();

    int dimensions() const;
    // Texture objects constructed and not yet destroyed, over the whole process.
    static long live() { return liveCount; }
    int getLevels() const { return levels; }

    // 1-D ramp of `count` texels sampled at j / (steps - 1); count -1 means steps.
    void fillFromCalculator(const ColorCalculator& calc, int steps, int count = -1);
    // 2-D product: texel (x, y) = calcY(y / (h - 1)) * calcX(x / (w - 1)).
    void fillFromCalculators(const ColorCalculator& calcX, const ColorCalculator& calcY, int w, int h);

    // Uploads keep `data` in `pixels` without copying it; a null pointer uploads nothing.
    void setData1D(int w, unsigned char* data);
    void setData2D(int w, int h, unsigned char* data);
    void setData3D(int w, int h, int d, unsigned char* data);
    // Empty 2-D storage to draw into (a framebuffer's colour), clamped at the edges, `filter`
    // for both minification and magnification.
    void allocateTarget2D(int w, int h, GLint internal, GLenum pixelFormat, GLenum type, GLint filter);
    // One-channel float image (stored as depth, read through .r); the values are not kept.
    void setFloatData2D(int w, int h, const float* values);

    // Reads a PNG or JPEG strip of tiles `tileHeight` rows high (< 1: square tiles) into a 3-D
    // texture, or a 2-D one for a single tile. Returns the resulting levels, 0 on failure.
    int loadFile(const char* path, int tileHeight);
    bool readJpeg(const char* path);
    bool readPng(const char* path);
    // Rewrites `pixels` as RGBA: R = G = B = byte 1, A = byte 0 of each `stride`-byte texel
    // (a one-byte texel becomes opaque grey).
    void expandToRGBA(int byteCount, int stride);

    GLuint name = 0;
    GLenum target;
    int width = 0;
    int height = 0;
    int levels = 0;
    GLenum format = GL_RGBA;
    GLint internalFormat = GL_RGBA8;
    unsigned char* pixels = nullptr;
    bool ownsPixels = false;
    // The two latest bindings not yet undone: GL_TEXTURE0 + i for one made by bindToUnit(i),
    // -1 for one made by bind() or for none.
    int unit = -1;
    int previousUnit = -1;

private:
    // What one bind did, so that unbind can undo exactly that.
    struct Binding {
        GLenum unit;          // where the target was enabled and the name bound
        GLenum activeBefore;  // the unit active before the bind
        bool toUnit;          // made by bindToUnit (which switched the active unit)
    };
    std::vector<Binding> bindings;
    void pushBinding(const Binding& b);
    static long liveCount;
    void releasePixels();
    void keepPixels(unsigned char* data);
};
