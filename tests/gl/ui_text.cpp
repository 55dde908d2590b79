// Bitmap text and screen-space scopes, read back from the frame buffer.
#include <gtest/gtest.h>

#include <GL/glew.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include <GL/freeglut.h>

#include "GlContext.h"
#include "Text.h"
#include "UIPiece.h"

using testsupport::GlContext;

namespace {

struct Box {
    int x0 = 1 << 20, y0 = 1 << 20, x1 = -1, y1 = -1;
    int count = 0;
    void add(int x, int y) {
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
        ++count;
    }
};

std::vector<unsigned char> readAll(int w, int h) {
    std::vector<unsigned char> p(static_cast<size_t>(w) * h * 4);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    return p;
}

template <typename Pred>
Box find(const std::vector<unsigned char>& p, int w, int h, Pred pred) {
    Box b;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned char* c = &p[(static_cast<size_t>(y) * w + x) * 4];
            if (pred(c[0], c[1], c[2])) b.add(x, y);
        }
    return b;
}

// The drawing state the application sets once at start.
class TextTest : public testsupport::GlTest {
protected:
    void SetUp() override {
        testsupport::GlTest::SetUp();
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LESS);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        overlayDepth = 0;
        compilingDisplayList = false;
    }
    void TearDown() override {
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
    }
    void clear(float grey) {
        glClearColor(grey, grey, grey, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    int w = GlContext::instance().width(), h = GlContext::instance().height();
};

bool isRed(int r, int g, int b) { return r > 240 && g < 15 && b < 15; }

TEST_F(TextTest, OutlinedTextIsColouredGlyphsOffsetByOnePixelInsideADarkHalo) {
    clear(1);
    glColor4f(1, 0, 0, 1);
    ASSERT_TRUE(drawText(-0.5f, 0, "HW", TextStyle::Plain, BitmapFont::Helvetica18, 1));
    const Box plain = find(readAll(w, h), w, h, isRed);
    ASSERT_GT(plain.count, 20);

    clear(1);
    glColor4f(1, 0, 0, 1);
    ASSERT_TRUE(drawText(-0.5f, 0, "HW", TextStyle::Outlined, BitmapFont::Helvetica18, 0.3f));
    const auto pixels = readAll(w, h);
    const Box red = find(pixels, w, h, isRed);
    EXPECT_EQ(red.count, plain.count) << "the halo never covers the glyphs";
    EXPECT_EQ(red.x0, plain.x0 + 1);
    EXPECT_EQ(red.y0, plain.y0 + 1);
    // 30 % black over white is about 178; it lies around the glyphs, one pixel beyond them.
    const Box halo = find(pixels, w, h, [](int r, int g, int b) {
        return std::abs(r - 178) <= 3 && std::abs(g - 178) <= 3 && std::abs(b - 178) <= 3;
    });
    EXPECT_GT(halo.count, red.count / 2);
    EXPECT_EQ(halo.x0, red.x0 - 1);
    EXPECT_EQ(halo.y0, red.y0 - 1);
    EXPECT_EQ(halo.x1, red.x1 + 1);
    EXPECT_EQ(halo.y1, red.y1 + 1);
    const Box darker = find(pixels, w, h, [](int r, int g, int b) { return r < 170 && g < 170 && b < 170; });
    EXPECT_EQ(darker.count, 0) << "the halo has the asked opacity";

    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0], 1.0f);
    EXPECT_EQ(colour[1], 0.0f);
    EXPECT_EQ(colour[3], 1.0f);
    EXPECT_EQ(overlayDepth, 0);
    EXPECT_EQ(GlContext::glErrors(), "");
}

TEST_F(TextTest, EmptyOrOffScreenTextDrawsNothingAndClosesItsScope) {
    clear(0);
    glColor4f(1, 1, 1, 1);
    EXPECT_FALSE(drawText(0, 0, "", TextStyle::Outlined, BitmapFont::Helvetica12, 1));
    EXPECT_FALSE(drawText(0, 0, static_cast<const char*>(nullptr), TextStyle::Plain, BitmapFont::Helvetica12, 1));
    EXPECT_EQ(overlayDepth, 0);
    EXPECT_FALSE(drawText(1.5f, 0, "off", TextStyle::Outlined, BitmapFont::Helvetica12, 1));
    EXPECT_EQ(overlayDepth, 0);
    begin2D();
    EXPECT_FALSE(drawText(0, -1.2f, "off", TextStyle::Outlined, BitmapFont::Helvetica12, 1));
    EXPECT_EQ(overlayDepth, 1);
    end2D();
    EXPECT_EQ(find(readAll(w, h), w, h, [](int r, int, int) { return r > 0; }).count, 0);
    EXPECT_EQ(GlContext::glErrors(), "");
}

std::array<float, 16> matrix(GLenum which) {
    std::array<float, 16> m{};
    glGetFloatv(which, m.data());
    return m;
}

TEST_F(TextTest, NestedScopesHoldIdentityAndTheOutermostEndRestores) {
    const std::array<float, 16> identity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    glMatrixMode(GL_PROJECTION);
    glOrtho(0, 100, 0, 50, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(3, 4, 0);
    const auto projection = matrix(GL_PROJECTION_MATRIX), modelview = matrix(GL_MODELVIEW_MATRIX);

    begin2D();
    begin2D();
    EXPECT_EQ(overlayDepth, 2);
    end2D();
    EXPECT_EQ(matrix(GL_PROJECTION_MATRIX), identity);
    EXPECT_EQ(matrix(GL_MODELVIEW_MATRIX), identity);
    end2D();
    EXPECT_EQ(matrix(GL_PROJECTION_MATRIX), projection);
    EXPECT_EQ(matrix(GL_MODELVIEW_MATRIX), modelview);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_EQ(GlContext::glErrors(), "");
}

TEST_F(TextTest, TextCompiledIntoAListDrawsWhenTheListIsCalled) {
    // An invalid immediate raster position must not stop the text from entering the list.
    glRasterPos2f(5, 5);
    const GLuint list = glGenLists(1);
    clear(0);
    glColor4f(0, 1, 0, 1);
    beginUIList(list);
    EXPECT_TRUE(compilingDisplayList);
    EXPECT_TRUE(drawText(-0.5f, 0, "List", TextStyle::Outlined, BitmapFont::Helvetica18, 1));
    endUIList();
    EXPECT_FALSE(compilingDisplayList);
    auto green = [](int r, int g, int b) { return g > 240 && r < 15 && b < 15; };
    EXPECT_EQ(find(readAll(w, h), w, h, green).count, 0) << "compiling draws nothing";

    glCallList(list);
    EXPECT_GT(find(readAll(w, h), w, h, green).count, 20);
    glDeleteLists(list, 1);
    EXPECT_EQ(GlContext::glErrors(), "");
}

TEST_F(TextTest, StoredQuadsDrawWhatTheSameTextInAListDraws) {
    ASSERT_TRUE(TextQuads::available());
    auto text = [] {
        glColor4f(0.9f, 0.3f, 0.1f, 0.8f);  // set inside, as the overlays do
        beginTextBatch();
        drawText(-0.5f, 0.1f, "27", TextStyle::Outlined, BitmapFont::Helvetica12, 1);
        drawText(-0.48f, 0.1f, "31", TextStyle::Outlined, BitmapFont::Helvetica12, 1);  // overlapping
        drawText(0.99f, -0.99f, "8", TextStyle::Outlined, BitmapFont::Helvetica10, 1);   // beside the edge
        drawText(1.5f, 0, "off", TextStyle::Outlined, BitmapFont::Helvetica10, 1);       // left out
        endTextBatch();
    };
    const GLuint list = glGenLists(1);
    beginUIList(list);
    text();
    endUIList();
    clear(0.5f);
    glColor4f(0, 0, 1, 1);
    syncTextViewport();
    glCallList(list);
    const std::vector<unsigned char> want = readAll(w, h);

    clear(0.5f);
    const std::vector<unsigned char> blank = readAll(w, h);
    glColor4f(0, 0, 1, 1);
    TextQuads quads;
    quads.begin();
    text();
    quads.end();
    EXPECT_FALSE(want == blank);
    EXPECT_TRUE(readAll(w, h) == blank) << "storing draws nothing";
    glPushAttrib(GL_CURRENT_BIT);
    glColor4f(0.9f, 0.3f, 0.1f, 0.8f);  // the caller sets the colour the list held
    quads.draw();
    glPopAttrib();
    EXPECT_TRUE(readAll(w, h) == want);
    EXPECT_EQ(quads.vertexCount(), 8 * 2 * 4);  // two quads a glyph; "off" is kept for the shader to cull
    glDeleteLists(list, 1);
    EXPECT_EQ(GlContext::glErrors(), "");
}

// The glyphs as glutBitmapCharacter draws them: coloured copy at (+1, +1), black copies around it.
void drawWithGlutBitmaps(float x, float y, const char* text, BitmapFont font, float outlineAlpha) {
    static const GLubyte none[4] = {};
    begin2D();
    glRasterPos3f(x, y, -1);
    glBitmap(1, 1, 0, 0, 1, 1, none);
    for (const char* c = text; *c; ++c) glutBitmapCharacter(glutFontHandle(font), static_cast<unsigned char>(*c));
    glPushAttrib(GL_CURRENT_BIT);
    glColor4f(0, 0, 0, outlineAlpha);
    for (int dx = 0; dx <= 2; dx += 2)
        for (int dy = 0; dy <= 2; dy += 2) {
            glRasterPos3f(x, y, -1);
            glBitmap(1, 1, 0, 0, static_cast<float>(dx), static_cast<float>(dy), none);
            for (const char* c = text; *c; ++c)
                glutBitmapCharacter(glutFontHandle(font), static_cast<unsigned char>(*c));
        }
    glPopAttrib();
    end2D();
}

TEST_F(TextTest, EveryFontDrawsTheGlutBitmapGlyphsPixelForPixel) {
    // All printable characters of each font at positions between whole pixels, immediate and from a
    // list, against the fonts' own bitmaps drawn the same way.
    std::string chars;
    for (int c = 32; c < 256; ++c)
        if (c < 127 || c >= 161) chars += static_cast<char>(c);
    const GLuint list = glGenLists(1);
    const size_t perLine = 6, lines = 7;  // what fits a 256 x 256 window in the widest font
    for (int f = 0; f <= static_cast<int>(BitmapFont::Helvetica18); ++f) {
        const BitmapFont font = static_cast<BitmapFont>(f);
        for (size_t first = 0; first < chars.size(); first += perLine * lines) {
            for (int fromList = 0; fromList < 2; ++fromList) {
                std::vector<unsigned char> got, want;
                for (int pass = 0; pass < 2; ++pass) {
                    clear(0.5f);
                    glColor4f(0.2f, 0.9f, 0.4f, 1);
                    if (pass == 1 && fromList) beginUIList(list);
                    for (size_t line = 0; line < lines && first + line * perLine < chars.size(); ++line) {
                        const std::string piece = chars.substr(first + line * perLine, perLine);
                        const float x = -0.93f + 0.0137f * static_cast<float>(line % 3);
                        const float y = 0.8f - 0.2537f * static_cast<float>(line);
                        if (pass == 0)
                            drawWithGlutBitmaps(x, y, piece.c_str(), font, 0.6f);
                        else
                            EXPECT_TRUE(drawText(x, y, piece, TextStyle::Outlined, font, 0.6f));
                    }
                    if (pass == 1 && fromList) {
                        endUIList();
                        syncTextViewport();
                        glCallList(list);
                    }
                    (pass == 0 ? want : got) = readAll(w, h);
                }
                size_t differing = 0;
                for (size_t i = 0; i < got.size(); ++i) differing += got[i] != want[i];
                EXPECT_EQ(differing, 0u) << "font " << f << ", characters from " << first
                                         << (fromList ? ", from a list" : ", immediate");
            }
        }
    }
    glDeleteLists(list, 1);
    EXPECT_EQ(GlContext::glErrors(), "");
}

}  // namespace
