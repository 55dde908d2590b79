#pragma once

#include <string>

enum class TextStyle { Plain = 0, Outlined = 1 };

// The seven GLUT bitmap fonts.
enum class BitmapFont {
    Fixed9x15,       // GLUT_BITMAP_9_BY_15
    Fixed8x13,       // GLUT_BITMAP_8_BY_13
    TimesRoman10,    // GLUT_BITMAP_TIMES_ROMAN_10
    TimesRoman24,    // GLUT_BITMAP_TIMES_ROMAN_24
    Helvetica10,     // GLUT_BITMAP_HELVETICA_10
    Helvetica12,     // GLUT_BITMAP_HELVETICA_12
    Helvetica18      // GLUT_BITMAP_HELVETICA_18
};

// The GLUT handle of a font (what glutBitmapCharacter takes).
void* glutFontHandle(BitmapFont font);
// Nominal line height of a font in pixels (its point size; 15 and 13 for the fixed fonts).
int fontLineHeight(BitmapFont font);

// Advance width of text in a font, in pixels (without the outline's halo). Needs GLUT initialised.
int textWidth(const std::string& text, BitmapFont font);

// Draws text with its baseline origin at (x, y), normalised coordinates of the current viewport, in
// the current colour, at the near plane. Outlined text gets a one-pixel black halo of opacity
// outlineAlpha; the current colour is unchanged afterwards. Returns false, drawing nothing, for
// empty text or an invalid (off-screen) raster position.
bool drawText(float x, float y, const std::string& text, TextStyle style, BitmapFont font,
              float outlineAlpha);
bool drawText(float x, float y, const char* text, TextStyle style, BitmapFont font, float outlineAlpha);

// Makes the glyph atlas (or, where it cannot be made, the per-glyph display lists) now, if no list
// is being compiled. List builds call it first so that text compiled into them uses it.
void prepareGlyphLists();

// Text compiled into a display list takes its whole-pixel placement from the viewport the text
// shader was last told; code that calls such a list calls this first (cheap when nothing changed).
void syncTextViewport();

// Between these, drawText only collects its glyphs, and endTextBatch draws them all at once, in
// the order they were drawn and in the colour current then. For runs of text in one colour with
// nothing else drawn in between (the overlays' numbers and labels). Batches may nest.
void beginTextBatch();
void endTextBatch();

// Glyph quads kept in a buffer object and drawn in one call: what a display list of one colour's
// text holds, made far faster (Mesa compiles thousands of quads into a list slowly). Text drawn
// between begin() and end() is stored instead of drawn, placed as it would be at a list's replay.
// Only where the glyph atlas is available; elsewhere text goes into lists as before.
class TextQuads {
public:
    TextQuads() = default;
    ~TextQuads();
    TextQuads(const TextQuads&) = delete;
    TextQuads& operator=(const TextQuads&) = delete;
    TextQuads(TextQuads&& other) noexcept;
    TextQuads& operator=(TextQuads&& other) noexcept;

    // Whether text can be stored (makes the glyph atlas if need be; not while a list is compiled).
    static bool available();
    void begin();
    void end();
    // In the current colour, as a list of the same text would draw it.
    void draw() const;
    int vertexCount() const { return vertices; }
    bool filled() const { return buffer != 0; }  // end() was called, even if with no text

private:
    unsigned int buffer = 0;
    int vertices = 0;
};
