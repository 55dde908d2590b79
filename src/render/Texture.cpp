#include "Texture.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "Color.h"

long Texture::liveCount = 0;

Texture::Texture(GLenum t) : target(t) {
    glGenTextures(1, &name);
    ++liveCount;
}

Texture::~Texture() {
    --liveCount;
    glDeleteTextures(1, &name);
    releasePixels();
}

void Texture::releasePixels() {
    if (ownsPixels) delete[] pixels;
    pixels = nullptr;
    ownsPixels = false;
}

// A buffer handed in from outside is never the texture's to free, so an owned buffer it replaces
// is released first and ownership dropped.
void Texture::keepPixels(unsigned char* data) {
    if (data != pixels) releasePixels();
    pixels = data;
}

namespace {

void makeActive(GLenum unit) {
    if (glActiveTexture) glActiveTexture(unit);
}

GLenum bindingQuery(GLenum target) {
    switch (target) {
        case GL_TEXTURE_1D: return GL_TEXTURE_BINDING_1D;
        case GL_TEXTURE_3D: return GL_TEXTURE_BINDING_3D;
        default: return GL_TEXTURE_BINDING_2D;
    }
}

// Uploads bind the texture to reach it; whoever had the active unit's binding gets it back.
class BindingKept {
public:
    BindingKept(GLenum target, GLuint name) : target_(target) {
        glGetIntegerv(bindingQuery(target), &previous_);
        glBindTexture(target, name);
    }
    ~BindingKept() { glBindTexture(target_, static_cast<GLuint>(previous_)); }
    BindingKept(const BindingKept&) = delete;
    BindingKept& operator=(const BindingKept&) = delete;

private:
    GLenum target_;
    GLint previous_ = 0;
};

}  // namespace

GLenum activeTextureUnit() {
    if (!glActiveTexture) return GL_TEXTURE0;  // no multitexturing: there is only unit 0
    GLint unit = GL_TEXTURE0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
    return static_cast<GLenum>(unit);
}

void Texture::pushBinding(const Binding& b) {
    bindings.push_back(b);
    previousUnit = unit;
    unit = b.toUnit ? static_cast<int>(b.unit) : -1;
}

void Texture::bindToUnit(int i) {
    const GLenum on = static_cast<GLenum>(GL_TEXTURE0 + i);
    pushBinding({on, activeTextureUnit(), true});
    makeActive(on);
    glEnable(target);  // on unit i: enabled before the switch it would land on the unit left behind
    glBindTexture(target, name);
}

void Texture::bind() {
    const GLenum now = activeTextureUnit();
    pushBinding({now, now, false});
    glEnable(target);
    glBindTexture(target, name);
}

void Texture::unbind() {
    if (bindings.empty()) return;
    const Binding b = bindings.back();
    bindings.pop_back();
    const GLenum now = activeTextureUnit();
    if (now != b.unit) makeActive(b.unit);
    glBindTexture(target, 0);
    glDisable(target);
    // A plain bind did not switch units, so undoing it leaves the active unit as it finds it.
    const GLenum after = b.toUnit ? b.activeBefore : now;
    if (after != b.unit) makeActive(after);
    auto recorded = [this](size_t fromTop) {
        if (bindings.size() < fromTop) return -1;
        const Binding& r = bindings[bindings.size() - fromTop];
        return r.toUnit ? static_cast<int>(r.unit) : -1;
    };
    unit = recorded(1);
    previousUnit = recorded(2);
}

int Texture::dimensions() const {
    switch (target) {
        case GL_TEXTURE_3D: return 3;
        case GL_TEXTURE_2D: return 2;
        case GL_TEXTURE_1D: return 1;
        default: return 0;
    }
}

static void storeColor(unsigned char* out, const Color& c) {
    out[0] = static_cast<unsigned char>(static_cast<int>(c.r() * 255));
    out[1] = static_cast<unsigned char>(static_cast<int>(c.g() * 255));
    out[2] = static_cast<unsigned char>(static_cast<int>(c.b() * 255));
    out[3] = static_cast<unsigned char>(static_cast<int>(c.a() * 255));
}

void Texture::fillFromCalculator(const ColorCalculator& calc, int steps, int count) {
    if (count == -1) count = steps;
    if (count < 1) return;
    unsigned char* buffer = new unsigned char[static_cast<size_t>(count) * 4];
    // A one-step ramp has no spacing; it is the colour at 0.
    const float span = steps > 1 ? static_cast<float>(steps - 1) : 1.0f;
    for (int j = 0; j < count; ++j) storeColor(buffer + 4 * j, calc.getColor(static_cast<float>(j) / span));
    setData1D(count, buffer);
    ownsPixels = true;
}

void Texture::fillFromCalculators(const ColorCalculator& calcX, const ColorCalculator& calcY, int w, int h) {
    if (w < 1 || h < 1) return;
    unsigned char* buffer = new unsigned char[static_cast<size_t>(w) * h * 4];
    const float spanX = w > 1 ? static_cast<float>(w - 1) : 1.0f;
    const float spanY = h > 1 ? static_cast<float>(h - 1) : 1.0f;
    for (int y = 0; y < h; ++y) {
        const Color cy = calcY.getColor(static_cast<float>(y) / spanY);
        for (int x = 0; x < w; ++x)
            storeColor(buffer + 4 * (static_cast<size_t>(y) * w + x), cy.multiply(calcX.getColor(static_cast<float>(x) / spanX)));
    }
    setData2D(w, h, buffer);
    ownsPixels = true;
}

void Texture::setData1D(int w, unsigned char* data) {
    width = w;
    height = 1;
    levels = w;
    target = GL_TEXTURE_1D;
    keepPixels(data);
    if (!data) return;
    const BindingKept kept(target, name);
    glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage1D(target, 0, GL_RGBA8, w, 0, GL_RGBA, GL_UNSIGNED_BYTE, data);
}

void Texture::setData2D(int w, int h, unsigned char* data) {
    width = w;
    height = h;
    levels = w;
    target = GL_TEXTURE_2D;
    keepPixels(data);
    if (!data) return;
    const BindingKept kept(target, name);
    glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(target, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, data);
}

void Texture::allocateTarget2D(int w, int h, GLint internal, GLenum pixelFormat, GLenum type, GLint filter) {
    width = w;
    height = h;
    target = GL_TEXTURE_2D;
    const BindingKept kept(target, name);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(target, 0, internal, w, h, 0, pixelFormat, type, nullptr);
}

void Texture::setFloatData2D(int w, int h, const float* values) {
    width = w;
    height = h;
    target = GL_TEXTURE_2D;
    if (!values) return;
    const BindingKept kept(target, name);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // Rows of single floats are always 4-byte aligned, the default unpack alignment.
    glTexImage2D(target, 0, GL_DEPTH_COMPONENT, w, h, 0, GL_DEPTH_COMPONENT, GL_FLOAT, values);
}

void Texture::setData3D(int w, int h, int d, unsigned char* data) {
    width = w;
    height = h;
    levels = d;
    target = GL_TEXTURE_3D;
    keepPixels(data);
    if (!data) return;
    if (!glTexImage3D) {  // GLEW not initialised or no 3-D textures: nothing to call
        std::fprintf(stderr, "Texture: no 3-D texture support\n");
        return;
    }
    const BindingKept kept(target, name);
    glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(target, GL_TEXTURE_WRAP_R, GL_CLAMP);
    glTexImage3D(target, 0, internalFormat, w, h, d, 0, format, GL_UNSIGNED_BYTE, data);
}

void Texture::expandToRGBA(int byteCount, int stride) {
    if (!pixels || stride < 1 || byteCount < stride) return;
    const size_t texels = static_cast<size_t>(byteCount) / stride;
    unsigned char* out = stride == 4 ? pixels : new unsigned char[texels * 4];
    for (size_t i = 0; i < texels; ++i) {
        const unsigned char* in = pixels + i * stride;
        // Coverage in byte 0, grey in byte 1; a grey-only texel has no coverage byte and is opaque.
        const unsigned char grey = stride >= 2 ? in[1] : in[0];
        const unsigned char alpha = stride >= 2 ? in[0] : 255;
        unsigned char* o = out + i * 4;
        o[0] = o[1] = o[2] = grey;
        o[3] = alpha;
    }
    if (out != pixels) {
        releasePixels();
        pixels = out;
        ownsPixels = true;
    }
    format = GL_RGBA;
    internalFormat = GL_RGBA8;
}

int Texture::loadFile(const char* path, int tileHeight) {
    const size_t len = std::strlen(path);
    const char* ext = len >= 4 ? path + len - 4 : path;
    bool jpeg = false;
    bool ok;
    if (std::strcmp(ext, ".jpg") == 0) {
        jpeg = true;
        ok = readJpeg(path);
    } else if (std::strcmp(ext, ".png") == 0) {
        ok = readPng(path);
    } else {
        std::fprintf(stderr, "Texture: unrecognized image format %s\n", ext);
        return 0;
    }
    if (!ok) return 0;
    if (tileHeight < 1) tileHeight = width;
    if (!pixels || tileHeight < 1 || height < tileHeight) {
        // Less than one whole tile: uploading would read rows the picture does not have.
        if (pixels) std::fprintf(stderr, "Texture: %s is shorter than one tile (%d rows, tiles of %d)\n", path, height, tileHeight);
        releasePixels();
        levels = 0;
        return 0;
    }
    levels = height / tileHeight;
    height = tileHeight;
    if (jpeg) expandToRGBA(width * height * levels * (format == GL_LUMINANCE ? 1 : 3), format == GL_LUMINANCE ? 1 : 3);
    if (levels >= 2)
        setData3D(width, height, levels, pixels);
    else
        setData2D(width, height, pixels);
    releasePixels();
    return levels;
}
