#include "Text.h"

#include <GL/glew.h>
#include <GL/freeglut.h>

#include <cstring>

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

void prepareGlyphLists() {
    for (int f = 0; f <= static_cast<int>(BitmapFont::Helvetica18); ++f) glyphLists(static_cast<BitmapFont>(f));
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

bool drawText(float x, float y, const char* text, TextStyle style, BitmapFont font, float outlineAlpha) {
    if (!text || !*text) return false;
    const std::size_t n = std::strlen(text);
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
