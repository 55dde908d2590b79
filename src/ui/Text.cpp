#include "Text.h"

#include <GL/glew.h>
#include <GL/freeglut.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "DisplayLists.h"
#include "UIPiece.h"

void* glutFontHandle(BitmapFont font) {
    switch (font) {
        case BitmapFont::Fixed9x15: return GLUT_BITMAP_9_BY_15;
        case BitmapFont::Fixed8x13: return GLUT_BITMAP_8_BY_13;
        case BitmapFont::TimesRoman10: return GLUT_BITMAP_TIMES_ROMAN_10;
        case BitmapFont::TimesRoman24: return GLUT_BITMAP_TIMES_ROMAN_24;
        case BitmapFont::Helvetica10: return GLUT_BITMAP_HELVETICA_10;
        case BitmapFont::Helvetica12: return GLUT_BITMAP_HELVETICA_12;
        case BitmapFont::Helvetica18: return GLUT_BITMAP_HELVETICA_18;
    }
    return GLUT_BITMAP_HELVETICA_10;
}

int fontLineHeight(BitmapFont font) {
    switch (font) {
        case BitmapFont::Fixed9x15: return 15;
        case BitmapFont::Fixed8x13: return 13;
        case BitmapFont::TimesRoman10: return 10;
        case BitmapFont::TimesRoman24: return 24;
        case BitmapFont::Helvetica10: return 10;
        case BitmapFont::Helvetica12: return 12;
        case BitmapFont::Helvetica18: return 18;
    }
    return 10;
}

namespace {

// One display list per glyph and font, made on first use. Text then costs one glCallLists per copy
// instead of a client-state save, four pixel-store calls and a bitmap per character, which matters
// most when thousands of labels are compiled into per-step lists.
GLuint glyphLists(BitmapFont font) {
    static GLuint bases[8] = {};
    const int index = static_cast<int>(font);
    if (index < 0 || index >= 8) return 0;
    if (bases[index]) return bases[index];
    // Lists cannot be made while another list is being compiled; plain characters serve until then.
    GLint compiling = 0;
    glGetIntegerv(GL_LIST_INDEX, &compiling);
    if (compiling || compilingDisplayList) return 0;
    const GLuint base = displaylists::generate(256);
    if (!base) return 0;
    void* handle = glutFontHandle(font);
    for (int c = 0; c < 256; ++c) {
        glNewList(base + c, GL_COMPILE);
        glutBitmapCharacter(handle, c);
        glEndList();
    }
    bases[index] = base;
    return base;
}

}  // namespace

int textWidth(const std::string& text, BitmapFont font) {
    return glutBitmapLength(glutFontHandle(font), reinterpret_cast<const unsigned char*>(text.c_str()));
}

namespace {

void drawChars(BitmapFont font, const char* text, std::size_t n) {
    if (const GLuint base = glyphLists(font)) {
        glPushAttrib(GL_LIST_BIT);
        glListBase(base);
        glCallLists(static_cast<GLsizei>(n), GL_UNSIGNED_BYTE, text);
        glPopAttrib();
        return;
    }
    void* handle = glutFontHandle(font);
    for (std::size_t i = 0; i < n; ++i) glutBitmapCharacter(handle, static_cast<unsigned char>(text[i]));
}

// Moves the raster position by whole pixels without drawing anything. A one-pixel empty bitmap
// rather than a zero-size one: Mesa reports out-of-memory when a null image is compiled into a list.
void moveRaster(float dx, float dy) {
    static const GLubyte empty[4] = {0, 0, 0, 0};
    glBitmap(1, 1, 0, 0, dx, dy, empty);
}

}  // namespace

namespace {

// Text drawn from a glyph atlas: one alpha texture holding every glyph of the seven fonts, made
// once by drawing each glyph with glutBitmapCharacter into an off-screen buffer and reading it
// back, so the shapes are the fonts' own, pixel for pixel. A glyph is then a textured quad whose
// corners a small vertex shader puts on the same whole pixels glBitmap would use (the anchor's
// window position rounded down, plus the pen offset), sampled with nearest filtering. A string
// with its halo becomes one draw instead of a texture upload and a draw per glyph and copy; a batch
// of strings becomes one draw. Where the atlas cannot be made (no off-screen buffers or shaders),
// the per-glyph display lists below stay in use.

constexpr int kFonts = 7;
constexpr int kFloatsPerVertex = 9;  // anchor xyz, atlas uv + halo flag + halo alpha, pen offset xy

// Cells lie kGutter empty pixels apart and from the atlas's edges, so a halo quad, which reads its
// glyph up to two pixels beyond the cell, never picks up a neighbour's ink.
constexpr int kGutter = 2;

struct FontCells {
    int minX = 0, minY = 0;  // cell corner relative to the pen position, pixels
    int w = 0, h = 0;        // cell size, pixels
    int atlasY = 0;          // first atlas row of this font's block
    int advance[256] = {};
    bool inked[256] = {};

    int cellX(int c) const { return kGutter + (c % 16) * (w + kGutter); }
    int cellY(int c) const { return atlasY + kGutter + (c / 16) * (h + kGutter); }
};

struct Atlas {
    bool tried = false;
    bool ok = false;
    GLuint texture = 0, program = 0;
    GLint viewportLoc = -1, texelLoc = -1;
    int unit = 0;  // texture unit the atlas stays bound to
    int width = 0, height = 0;
    FontCells fonts[kFonts];
    GLint viewport[4] = {0, 0, 0, 0};  // the one the shader was last told
};

Atlas atlas;

const char* const kVertexShader =
    "uniform vec4 viewport;\n"  // x scale, y scale, x offset, y offset of the viewport transform
    "void main() {\n"
    "  vec3 a = gl_Vertex.xyz;\n"
    // An anchor outside the view volume draws nothing, as an invalid raster position does.
    "  if (any(greaterThan(abs(a), vec3(1.0)))) { gl_Position = vec4(2.0, 2.0, 2.0, 1.0); return; }\n"
    "  vec2 px = floor(a.xy * viewport.xy + viewport.zw) + gl_MultiTexCoord1.xy;\n"
    "  gl_Position = vec4((px - viewport.zw) / viewport.xy, a.z, 1.0);\n"
    "  gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "  gl_FrontColor = gl_MultiTexCoord0.z > 0.5 ? vec4(0.0, 0.0, 0.0, gl_MultiTexCoord0.w) : gl_Color;\n"
    "}\n";

// A halo quad (flag 1) stands for the four black copies at offsets 0 and 2 across and up: a pixel
// is inked if any of them is. For a coloured glyph (flag 0) the four reads are the same texel.
const char* const kFragmentShader =
    "uniform sampler2D glyphs;\n"
    "uniform vec2 texel;\n"  // one atlas pixel in texture coordinates
    "void main() {\n"
    "  vec2 t = gl_TexCoord[0].xy, d = 2.0 * texel * gl_TexCoord[0].z;\n"
    "  float ink = max(max(texture2D(glyphs, t).a, texture2D(glyphs, t - vec2(d.x, 0.0)).a),\n"
    "                  max(texture2D(glyphs, t - vec2(0.0, d.y)).a, texture2D(glyphs, t - d).a));\n"
    "  if (ink < 0.5) discard;\n"
    "  gl_FragColor = gl_Color;\n"
    "}\n";

GLuint compileProgram() {
    auto stage = [](GLenum kind, const char* src) -> GLuint {
        const GLuint s = glCreateShader(kind);
        glShaderSource(s, 1, &src, nullptr);
        glCompileShader(s);
        GLint ok = 0;
        glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            char log[1024] = {};
            glGetShaderInfoLog(s, sizeof log, nullptr, log);
            std::fprintf(stderr, "text shader: %s\n", log);
            glDeleteShader(s);
            return 0;
        }
        return s;
    };
    const GLuint vs = stage(GL_VERTEX_SHADER, kVertexShader);
    const GLuint fs = stage(GL_FRAGMENT_SHADER, kFragmentShader);
    if (!vs || !fs) {
        if (vs) glDeleteShader(vs);
        if (fs) glDeleteShader(fs);
        return 0;
    }
    const GLuint p = glCreateProgram();
    glAttachShader(p, vs);
    glAttachShader(p, fs);
    glLinkProgram(p);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        glDeleteProgram(p);
        return 0;
    }
    return p;
}

// Draws every glyph of each font into an off-screen buffer at known whole-pixel pen positions and
// reads the ink back. Returns the glyph pixels of all fonts laid out as the atlas (alpha bytes).
bool captureGlyphs(std::vector<unsigned char>& pixels) {
    constexpr int kCell = 64, kPenX = 16, kPenY = 24, kSize = 16 * kCell;
    GLint previousFbo = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &previousFbo);
    GLint previousProgram = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &previousProgram);
    GLuint fbo = 0, colour = 0;
    glGenFramebuffersEXT(1, &fbo);
    glGenRenderbuffersEXT(1, &colour);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, colour);
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_RGBA8, kSize, kSize);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT, colour);
    const bool complete = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT;

    std::vector<std::vector<unsigned char>> ink(kFonts);
    if (complete) {
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
        glUseProgram(0);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_ALPHA_TEST);
        glViewport(0, 0, kSize, kSize);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        for (int f = 0; f < kFonts; ++f) {
            void* handle = glutFontHandle(static_cast<BitmapFont>(f));
            glClearColor(0, 0, 0, 0);
            glClear(GL_COLOR_BUFFER_BIT);
            glColor4f(1, 1, 1, 1);
            for (int c = 1; c < 256; ++c) {
                glWindowPos2i((c % 16) * kCell + kPenX, (c / 16) * kCell + kPenY);
                glutBitmapCharacter(handle, c);
            }
            ink[static_cast<size_t>(f)].resize(static_cast<size_t>(kSize) * kSize);
            glReadPixels(0, 0, kSize, kSize, GL_ALPHA, GL_UNSIGNED_BYTE, ink[static_cast<size_t>(f)].data());
        }
        glPopClientAttrib();
        glPopAttrib();
    }
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, static_cast<GLuint>(previousFbo));
    glDeleteRenderbuffersEXT(1, &colour);
    glDeleteFramebuffersEXT(1, &fbo);
    glUseProgram(static_cast<GLuint>(previousProgram));
    if (!complete) return false;

    // Each font's cell: the box around the ink of all its glyphs, relative to the pen.
    int atlasW = 0, atlasH = 0;
    for (int f = 0; f < kFonts; ++f) {
        FontCells& fc = atlas.fonts[f];
        const std::vector<unsigned char>& px = ink[static_cast<size_t>(f)];
        int x0 = kCell, y0 = kCell, x1 = -kCell, y1 = -kCell;
        for (int c = 1; c < 256; ++c) {
            const int cx = (c % 16) * kCell, cy = (c / 16) * kCell;
            fc.advance[c] = glutBitmapWidth(glutFontHandle(static_cast<BitmapFont>(f)), c);
            for (int y = 0; y < kCell; ++y)
                for (int x = 0; x < kCell; ++x)
                    if (px[static_cast<size_t>(cy + y) * kSize + cx + x] > 127) {
                        fc.inked[c] = true;
                        x0 = std::min(x0, x - kPenX), x1 = std::max(x1, x - kPenX);
                        y0 = std::min(y0, y - kPenY), y1 = std::max(y1, y - kPenY);
                    }
        }
        if (x1 < x0) x0 = x1 = y0 = y1 = 0;
        fc.minX = x0, fc.minY = y0, fc.w = x1 - x0 + 1, fc.h = y1 - y0 + 1;
        fc.atlasY = atlasH;
        atlasW = std::max(atlasW, kGutter + 16 * (fc.w + kGutter));
        atlasH += kGutter + 16 * (fc.h + kGutter);
    }
    atlas.width = atlasW;
    atlas.height = atlasH;
    pixels.assign(static_cast<size_t>(atlasW) * atlasH, 0);
    for (int f = 0; f < kFonts; ++f) {
        const FontCells& fc = atlas.fonts[f];
        const std::vector<unsigned char>& px = ink[static_cast<size_t>(f)];
        for (int c = 1; c < 256; ++c) {
            const int cx = (c % 16) * kCell + kPenX + fc.minX, cy = (c / 16) * kCell + kPenY + fc.minY;
            const int ax = fc.cellX(c), ay = fc.cellY(c);
            for (int y = 0; y < fc.h; ++y)
                for (int x = 0; x < fc.w; ++x)
                    if (px[static_cast<size_t>(cy + y) * kSize + cx + x] > 127)
                        pixels[static_cast<size_t>(ay + y) * atlasW + ax + x] = 255;
        }
    }
    return true;
}

// Tells the shader the current viewport transform when it has changed. Needs the program bound.
void loadViewport() {
    GLint v[4];
    glGetIntegerv(GL_VIEWPORT, v);
    if (std::equal(v, v + 4, atlas.viewport)) return;
    std::copy(v, v + 4, atlas.viewport);
    const float sx = 0.5f * static_cast<float>(v[2]), sy = 0.5f * static_cast<float>(v[3]);
    glUniform4f(atlas.viewportLoc, sx, sy, static_cast<float>(v[0]) + sx, static_cast<float>(v[1]) + sy);
}

// Makes the atlas on first use; false when it cannot be made here (then glyph lists serve).
bool atlasReady() {
    if (atlas.tried) return atlas.ok;
    GLint compiling = 0;
    glGetIntegerv(GL_LIST_INDEX, &compiling);
    if (compiling || compilingDisplayList) return false;
    atlas.tried = true;
    // GLEW is normally set up by the map's shaders before any text; where it is not, do it here.
    if (!glCreateProgram || !glGenFramebuffersEXT) glewInit();
    if (!glCreateProgram || !glUseProgram || !glGenFramebuffersEXT || !glWindowPos2i || !glActiveTexture ||
        !glClientActiveTexture)
        return false;
    GLint units = 0, combined = 0;
    glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &units);
    glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &combined);
    // The atlas keeps a unit of its own, above the ones the map's shaders use.
    atlas.unit = std::min(units, combined) - 1;
    if (atlas.unit < 8) return false;
    std::vector<unsigned char> pixels;
    if (!captureGlyphs(pixels)) return false;
    atlas.program = compileProgram();
    if (!atlas.program) return false;

    GLint previousUnit = 0, previousProgram = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &previousUnit);
    glGetIntegerv(GL_CURRENT_PROGRAM, &previousProgram);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + atlas.unit));
    glGenTextures(1, &atlas.texture);
    glBindTexture(GL_TEXTURE_2D, atlas.texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA8, atlas.width, atlas.height, 0, GL_ALPHA, GL_UNSIGNED_BYTE,
                 pixels.data());
    glActiveTexture(static_cast<GLenum>(previousUnit));
    glPopClientAttrib();
    glUseProgram(atlas.program);
    glUniform1i(glGetUniformLocation(atlas.program, "glyphs"), atlas.unit);
    atlas.viewportLoc = glGetUniformLocation(atlas.program, "viewport");
    atlas.texelLoc = glGetUniformLocation(atlas.program, "texel");
    glUniform2f(atlas.texelLoc, 1.0f / static_cast<float>(atlas.width), 1.0f / static_cast<float>(atlas.height));
    loadViewport();
    glUseProgram(static_cast<GLuint>(previousProgram));
    const GLenum err = glGetError();
    atlas.ok = err == GL_NO_ERROR && atlas.viewportLoc >= 0 && atlas.texelLoc >= 0;
    return atlas.ok;
}

// Quads of one copy of a string, the pen starting at (penX, penY) pixels from the anchor. A halo
// copy has one quad per glyph, two pixels wider and taller, for the four black copies at once.
void addCopy(std::vector<float>& out, const FontCells& fc, const char* text, std::size_t n, float x, float y,
             int penX, int penY, bool halo, float alpha) {
    const float iw = 1.0f / static_cast<float>(atlas.width), ih = 1.0f / static_cast<float>(atlas.height);
    const int grow = halo ? 2 : 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int c = static_cast<unsigned char>(text[i]);
        if (fc.inked[c]) {
            const float u0 = static_cast<float>(fc.cellX(c)) * iw, u1 = u0 + static_cast<float>(fc.w + grow) * iw;
            const float v0 = static_cast<float>(fc.cellY(c)) * ih, v1 = v0 + static_cast<float>(fc.h + grow) * ih;
            const float px0 = static_cast<float>(penX + fc.minX), px1 = px0 + static_cast<float>(fc.w + grow);
            const float py0 = static_cast<float>(penY + fc.minY), py1 = py0 + static_cast<float>(fc.h + grow);
            const float corners[4][4] = {{u0, v0, px0, py0}, {u1, v0, px1, py0}, {u1, v1, px1, py1}, {u0, v1, px0, py1}};
            for (const auto& k : corners) {
                const float v[kFloatsPerVertex] = {x, y, -1.0f, k[0], k[1], halo ? 1.0f : 0.0f, alpha, k[2], k[3]};
                out.insert(out.end(), v, v + kFloatsPerVertex);
            }
        }
        penX += fc.advance[c];
    }
}

// Pending quads: those of one drawText call, or of a whole batch.
std::vector<float> pending;
// Where TextQuads::begin sends the quads instead of drawing them; null when drawing.
std::vector<float>* captured = nullptr;

// Text whose placement is settled when it is drawn later (a list's replay, stored quads).
bool deferred() { return compilingDisplayList || captured; }
int batchDepth = 0;

void flushPending() {
    if (pending.empty()) return;
    if (captured) {
        captured->insert(captured->end(), pending.begin(), pending.end());
        pending.clear();
        return;
    }
    GLint previousProgram = 0;
    // In a list being compiled the program at replay time is unknown; text is drawn where none is bound.
    if (!compilingDisplayList) glGetIntegerv(GL_CURRENT_PROGRAM, &previousProgram);
    glUseProgram(atlas.program);
    if (!compilingDisplayList) loadViewport();
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    const GLsizei stride = kFloatsPerVertex * sizeof(float);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, pending.data());
    glClientActiveTexture(GL_TEXTURE0);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(4, GL_FLOAT, stride, pending.data() + 3);
    glClientActiveTexture(GL_TEXTURE1);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, stride, pending.data() + 7);
    glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(pending.size() / kFloatsPerVertex));
    glPopClientAttrib();
    glUseProgram(static_cast<GLuint>(previousProgram));
    pending.clear();
}

}  // namespace

void syncTextViewport() {
    if (!atlas.ok || compilingDisplayList) return;
    GLint v[4];
    glGetIntegerv(GL_VIEWPORT, v);
    if (std::equal(v, v + 4, atlas.viewport)) return;
    GLint previousProgram = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &previousProgram);
    glUseProgram(atlas.program);
    loadViewport();
    glUseProgram(static_cast<GLuint>(previousProgram));
}

void beginTextBatch() { ++batchDepth; }

void endTextBatch() {
    if (batchDepth <= 0) return;
    if (--batchDepth == 0) flushPending();
}

bool drawText(float x, float y, const char* text, TextStyle style, BitmapFont font, float outlineAlpha) {
    if (!text || !*text) return false;
    const std::size_t n = std::strlen(text);
    const int f = static_cast<int>(font);
    if (f >= 0 && f < kFonts && atlasReady()) {
        // With the matrices identity (as inside begin2D) the raster position is valid exactly when
        // the point lies in the view volume; in a list the shader makes the same test at replay.
        if (!deferred() && !(x >= -1.0f && x <= 1.0f && y >= -1.0f && y <= 1.0f)) return false;
        const FontCells& fc = atlas.fonts[f];
        // The coloured copy one pixel up and right, then the black ones around it (at pen offsets 0
        // and 2 across and up, one quad per glyph for all four); at equal depth the later copies
        // only show beside the glyphs drawn before them.
        if (style == TextStyle::Outlined) {
            addCopy(pending, fc, text, n, x, y, 1, 1, false, 0);
            addCopy(pending, fc, text, n, x, y, 0, 0, true, outlineAlpha);
        } else {
            addCopy(pending, fc, text, n, x, y, 0, 0, false, 0);
        }
        if (batchDepth == 0) flushPending();
        return true;
    }
    begin2D();
    glRasterPos3f(x, y, -1.0f);
    GLboolean valid = GL_TRUE;
    if (!compilingDisplayList) glGetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
    if (!valid) {
        end2D();
        return false;
    }
    const bool outlined = style == TextStyle::Outlined;
    if (outlined) moveRaster(1, 1);
    drawChars(font, text, n);
    if (outlined) {
        // Black copies around the coloured one; at equal depth they only show beside its glyphs.
        glPushAttrib(GL_CURRENT_BIT);
        glColor4f(0, 0, 0, outlineAlpha);
        for (int dx = 0; dx <= 2; dx += 2) {
            for (int dy = 0; dy <= 2; dy += 2) {
                glRasterPos3f(x, y, -1.0f);
                if (dx || dy) moveRaster(static_cast<float>(dx), static_cast<float>(dy));
                drawChars(font, text, n);
            }
        }
        glPopAttrib();
    }
    end2D();
    return true;
}

bool drawText(float x, float y, const std::string& text, TextStyle style, BitmapFont font,
              float outlineAlpha) {
    return drawText(x, y, text.c_str(), style, font, outlineAlpha);
}

void prepareGlyphLists() {
    if (atlasReady()) return;
    for (int f = 0; f <= static_cast<int>(BitmapFont::Helvetica18); ++f) glyphLists(static_cast<BitmapFont>(f));
}

namespace {
std::vector<float> capture;  // the quads of the TextQuads being filled
}

TextQuads::~TextQuads() {
    if (buffer) glDeleteBuffers(1, &buffer);
}

TextQuads::TextQuads(TextQuads&& other) noexcept : buffer(other.buffer), vertices(other.vertices) {
    other.buffer = 0;
    other.vertices = 0;
}

TextQuads& TextQuads::operator=(TextQuads&& other) noexcept {
    if (this != &other) {
        if (buffer) glDeleteBuffers(1, &buffer);
        buffer = other.buffer;
        vertices = other.vertices;
        other.buffer = 0;
        other.vertices = 0;
    }
    return *this;
}

bool TextQuads::available() { return !compilingDisplayList && atlasReady() && glGenBuffers && glBufferData; }

void TextQuads::begin() {
    flushPending();  // nothing drawn before belongs here
    capture.clear();
    captured = &capture;
    beginTextBatch();
}

void TextQuads::end() {
    endTextBatch();
    captured = nullptr;
    vertices = static_cast<int>(capture.size() / kFloatsPerVertex);
    if (!buffer) glGenBuffers(1, &buffer);
    GLint previous = 0;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &previous);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(capture.size() * sizeof(float)), capture.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(previous));
    capture.clear();
}

void TextQuads::draw() const {
    if (!buffer || vertices <= 0 || !atlas.ok) return;
    GLint previousProgram = 0, previousBuffer = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &previousProgram);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &previousBuffer);
    glUseProgram(atlas.program);
    loadViewport();
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    const GLsizei stride = kFloatsPerVertex * sizeof(float);
    const auto at = [](int floats) { return reinterpret_cast<const void*>(static_cast<std::size_t>(floats) * sizeof(float)); };
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, stride, at(0));
    glClientActiveTexture(GL_TEXTURE0);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(4, GL_FLOAT, stride, at(3));
    glClientActiveTexture(GL_TEXTURE1);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, stride, at(7));
    glDrawArrays(GL_QUADS, 0, vertices);
    glPopClientAttrib();
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(previousBuffer));
    glUseProgram(static_cast<GLuint>(previousProgram));
}
