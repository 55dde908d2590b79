#include <gtest/gtest.h>

#include <png.h>
#include <cstdio>
#include <jpeglib.h>

#include <string>
#include <vector>

#include "Fixtures.h"
#include "GlContext.h"
#include "Shader.h"
#include "Texture.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct PngLayout {
    PngLayout(int w, int h, int type, int depth) : width(w), height(h), colorType(type), bitDepth(depth) {}
    int width, height, colorType, bitDepth;
    bool interlaced = false;
    std::vector<png_color> palette;
    Bytes trns;
    Bytes data;  // packed rows, top row first, as libpng wants them
};

void writePng(const std::string& path, const PngLayout& s) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colorType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
    if (!s.trns.empty()) {
        png_color_16 grey{};
        png_set_tRNS(png, info, s.trns.data(), static_cast<int>(s.trns.size()), &grey);
    }
    png_write_info(png, info);
    const size_t rowBytes = s.data.size() / s.height;
    std::vector<png_bytep> rows(s.height);
    for (int i = 0; i < s.height; ++i) rows[i] = const_cast<png_bytep>(s.data.data() + i * rowBytes);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

void writeJpeg(const std::string& path, int w, int h, int comps, const Bytes& data, int quality = 100) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = w;
    c.image_height = h;
    c.input_components = comps;
    c.in_color_space = comps == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 1;  // no chroma blur across tiles
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(data.data() + c.next_scanline * static_cast<size_t>(w) * comps);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
}

// RGBA of texel (x, y) of a decoded picture, y counted from the bottom row.
Bytes texel(const Texture& t, int x, int y) {
    const unsigned char* p = t.pixels + (static_cast<size_t>(y) * t.width + x) * 4;
    return Bytes(p, p + 4);
}

class ImageTest : public testsupport::GlTest {
protected:
    void SetUp() override {
        testsupport::GlTest::SetUp();
        testing::internal::CaptureStdout();
        Shader::initialize();
        testing::internal::GetCapturedStdout();
        ASSERT_FALSE(dir.path().empty());
    }
    std::string path(const std::string& name) const { return dir.file(name); }
    testsupport::TempDir dir;
};

// Every PNG kind: 2 x 2 pictures whose top row differs from the bottom one, to check the flip.
TEST_F(ImageTest, PngOfEveryKindDecodesToRgbaBottomUp) {
    struct Case {
        const char* name;
        PngLayout layout;
        Bytes topLeft, bottomRight;
    };
    std::vector<Case> cases;
    {
        PngLayout s{2, 2, PNG_COLOR_TYPE_GRAY, 8};
        s.data = {10, 20, 30, 40};
        cases.push_back({"grey8", s, {10, 10, 10, 255}, {40, 40, 40, 255}});
    }
    {
        PngLayout s{2, 2, PNG_COLOR_TYPE_GRAY, 1};
        s.data = {0x80, 0x40};  // top row: 1 0, bottom row: 0 1
        cases.push_back({"grey1", s, {255, 255, 255, 255}, {255, 255, 255, 255}});
    }
    {
        PngLayout s{2, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 8};
        s.data = {10, 100, 20, 110, 30, 120, 40, 130};
        cases.push_back({"greyAlpha", s, {10, 10, 10, 100}, {40, 40, 40, 130}});
    }
    {
        PngLayout s{2, 2, PNG_COLOR_TYPE_RGB, 8};
        s.data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        cases.push_back({"rgb", s, {1, 2, 3, 255}, {10, 11, 12, 255}});
    }
    {
        PngLayout s{2, 2, PNG_COLOR_TYPE_RGBA, 8};
        s.data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        cases.push_back({"rgba", s, {1, 2, 3, 4}, {13, 14, 15, 16}});
    }
    {
        PngLayout s{2, 2, PNG_COLOR_TYPE_PALETTE, 8};
        s.palette = {{200, 0, 0}, {0, 200, 0}, {0, 0, 200}};
        s.data = {0, 1, 1, 2};
        cases.push_back({"palette", s, {200, 0, 0, 255}, {0, 0, 200, 255}});
    }
    {
        PngLayout s{2, 2, PNG_COLOR_TYPE_PALETTE, 8};
        s.palette = {{200, 0, 0}, {0, 200, 0}, {0, 0, 200}};
        s.trns = {0, 128};
        s.data = {0, 1, 1, 2};
        cases.push_back({"paletteTrns", s, {200, 0, 0, 0}, {0, 0, 200, 255}});
    }
    {
        PngLayout s{2, 2, PNG_COLOR_TYPE_RGBA, 16};
        // Big-endian 16-bit samples; the high byte is what 8 bits keep.
        for (int i = 0; i < 16; ++i) {
            s.data.push_back(static_cast<unsigned char>(i * 16));
            s.data.push_back(0x11);
        }
        cases.push_back({"rgba16", s, {0, 16, 32, 48}, {192, 208, 224, 240}});
    }
    {
        PngLayout s{2, 2, PNG_COLOR_TYPE_RGB, 8};
        s.interlaced = true;
        s.data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        cases.push_back({"interlaced", s, {1, 2, 3, 255}, {10, 11, 12, 255}});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = path(std::string(c.name) + ".png");
        writePng(file, c.layout);
        Texture t(GL_TEXTURE_2D);
        ASSERT_TRUE(t.readPng(file.c_str()));
        EXPECT_EQ(t.width, 2);
        EXPECT_EQ(t.height, 2);
        EXPECT_TRUE(t.ownsPixels);
        EXPECT_EQ(texel(t, 0, 1), c.topLeft);
        EXPECT_EQ(texel(t, 1, 0), c.bottomRight);
    }
}

TEST_F(ImageTest, PngTallerThanFourThousandRowsKeepsEveryRow) {
    PngLayout s{1, 5000, PNG_COLOR_TYPE_GRAY, 8};
    for (int i = 0; i < 5000; ++i) s.data.push_back(static_cast<unsigned char>(i % 251));
    writePng(path("tall.png"), s);
    Texture t(GL_TEXTURE_2D);
    ASSERT_TRUE(t.readPng(path("tall.png").c_str()));
    EXPECT_EQ(t.height, 5000);
    EXPECT_EQ(texel(t, 0, 0)[0], 4999 % 251);  // bottom row is the file's last
    EXPECT_EQ(texel(t, 0, 4999)[0], 0);
}

TEST_F(ImageTest, BadPngFilesFailWithTheirMessages) {
    Texture t(GL_TEXTURE_2D);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(t.readPng(path("missing.png").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to open " + path("missing.png"));

    testsupport::writeFile(path("short.png"), "\x89PNG");
    testsupport::writeFile(path("empty.png"), "");
    for (const char* name : {"short.png", "empty.png"}) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(t.readPng(path(name).c_str()));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error reading PNG header in " + path(name));
    }

    testsupport::writeFile(path("text.png"), "not a picture at all");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(t.readPng(path("text.png").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), path("text.png") + " doesn't appear to be a PNG file.");

    PngLayout s{16, 16, PNG_COLOR_TYPE_RGB, 8};
    for (int i = 0; i < 16 * 16 * 3; ++i) s.data.push_back(static_cast<unsigned char>(i * 31));
    writePng(path("whole.png"), s);
    const std::string whole = testsupport::readFile(path("whole.png"));
    testsupport::writeFile(path("cut.png"), whole.substr(0, whole.size() / 2));
    std::string corrupt = whole;
    for (size_t i = 40; i < corrupt.size() - 20; ++i) corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5a);
    testsupport::writeFile(path("corrupt.png"), corrupt);
    for (const char* name : {"cut.png", "corrupt.png"}) {
        SCOPED_TRACE(name);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(t.readPng(path(name).c_str()));
        EXPECT_NE(testing::internal::GetCapturedStderr().find("Error decoding PNG image"), std::string::npos);
        EXPECT_EQ(t.pixels, nullptr);
    }
}

TEST_F(ImageTest, JpegColourAndGreyDecodeBottomUp) {
    // 16 x 16: top half red, bottom half blue (whole 8 x 8 blocks, so the colours survive encoding).
    Bytes rgb;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            rgb.push_back(y < 8 ? 250 : 0);
            rgb.push_back(0);
            rgb.push_back(y < 8 ? 0 : 250);
        }
    writeJpeg(path("colour.jpg"), 16, 16, 3, rgb);
    Texture t(GL_TEXTURE_2D);
    ASSERT_TRUE(t.readJpeg(path("colour.jpg").c_str()));
    EXPECT_EQ(t.width, 16);
    EXPECT_EQ(t.height, 16);
    EXPECT_EQ(t.format, static_cast<GLenum>(GL_RGB));
    EXPECT_EQ(t.internalFormat, 3);
    const unsigned char* bottom = t.pixels;                 // row 0 = file's last row: blue
    const unsigned char* top = t.pixels + 15 * 16 * 3;      // file's first row: red
    EXPECT_NEAR(bottom[2], 250, 6);
    EXPECT_NEAR(bottom[0], 0, 6);
    EXPECT_NEAR(top[0], 250, 6);
    EXPECT_NEAR(top[2], 0, 6);

    Bytes grey(16 * 16);
    for (int i = 0; i < 256; ++i) grey[i] = i < 128 ? 200 : 40;
    writeJpeg(path("grey.jpg"), 16, 16, 1, grey);
    ASSERT_TRUE(t.readJpeg(path("grey.jpg").c_str()));
    EXPECT_EQ(t.format, static_cast<GLenum>(GL_LUMINANCE));
    EXPECT_EQ(t.internalFormat, 1);
    EXPECT_NEAR(t.pixels[0], 40, 4);
    EXPECT_NEAR(t.pixels[255], 200, 4);
}

TEST_F(ImageTest, BadJpegFilesFailAndTheProcessGoesOn) {
    Texture t(GL_TEXTURE_2D);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(t.readJpeg(path("missing.jpg").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "error: couldn't open \"" + path("missing.jpg") + "\"!\n");

    Bytes rgb(64 * 64 * 3);
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<unsigned char>((i * 13) ^ (i >> 5));
    writeJpeg(path("whole.jpg"), 64, 64, 3, rgb, 90);
    const std::string whole = testsupport::readFile(path("whole.jpg"));
    testsupport::writeFile(path("cut.jpg"), whole.substr(0, whole.size() / 2));
    testsupport::writeFile(path("garbage.jpg"), std::string("\xff\xd8\xff\xe0 this is no picture", 24));
    testsupport::writeFile(path("empty.jpg"), "");
    for (const char* name : {"cut.jpg", "garbage.jpg", "empty.jpg"}) {
        SCOPED_TRACE(name);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(t.readJpeg(path(name).c_str()));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("error: couldn't decode \"" + path(name) + "\"!\n"), std::string::npos) << err;
        EXPECT_EQ(t.pixels, nullptr);
    }
    // Still here, and the texture is still usable.
    EXPECT_TRUE(t.readJpeg(path("whole.jpg").c_str()));
}

// A strip of `tiles` square-ish tiles, tile k filled with grey 10 * (k + 1), top tile first in the file.
void writeStrip(const std::string& file, int w, int h, int tileHeight) {
    PngLayout s{w, h, PNG_COLOR_TYPE_RGBA, 8};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const unsigned char g = static_cast<unsigned char>(10 * (y / tileHeight + 1));
            s.data.insert(s.data.end(), {g, g, g, 255});
        }
    writePng(file, s);
}

TEST_F(ImageTest, LoadFileStacksTilesIntoSlicesBottomTileFirst) {
    writeStrip(path("strip.png"), 64, 256, 64);
    Texture t(GL_TEXTURE_2D);
    EXPECT_EQ(t.loadFile(path("strip.png").c_str(), 0), 4);
    EXPECT_EQ(t.target, static_cast<GLenum>(GL_TEXTURE_3D));
    EXPECT_EQ(t.width, 64);
    EXPECT_EQ(t.height, 64);
    EXPECT_EQ(t.getLevels(), 4);
    EXPECT_EQ(t.pixels, nullptr);
    EXPECT_FALSE(t.ownsPixels);
    Bytes volume(64 * 64 * 4 * 4);
    glBindTexture(GL_TEXTURE_3D, t.name);
    glGetTexImage(GL_TEXTURE_3D, 0, GL_RGBA, GL_UNSIGNED_BYTE, volume.data());
    glBindTexture(GL_TEXTURE_3D, 0);
    const size_t slice = 64 * 64 * 4;
    EXPECT_EQ(volume[0], 40);          // slice 0: the file's bottom tile
    EXPECT_EQ(volume[3 * slice], 10);  // last slice: its top tile

    writeStrip(path("odd.png"), 64, 100, 32);
    Texture odd(GL_TEXTURE_2D);
    EXPECT_EQ(odd.loadFile(path("odd.png").c_str(), 32), 3);
    EXPECT_EQ(odd.height, 32);
    Bytes oddVolume(64 * 32 * 3 * 4);
    glBindTexture(GL_TEXTURE_3D, odd.name);
    glGetTexImage(GL_TEXTURE_3D, 0, GL_RGBA, GL_UNSIGNED_BYTE, oddVolume.data());
    glBindTexture(GL_TEXTURE_3D, 0);
    // Bottom-up rows: the picture's last 32 rows come first (tile 3, grey 40), the top 4 rows are dropped.
    EXPECT_EQ(oddVolume[0], 40);
    EXPECT_EQ(oddVolume[2 * 64 * 32 * 4 + 64 * 31 * 4], 10);  // the third slice's top row is file row 4

    writeStrip(path("single.png"), 64, 64, 64);
    Texture single(GL_TEXTURE_2D);
    EXPECT_EQ(single.loadFile(path("single.png").c_str(), 0), 64);
    EXPECT_EQ(single.target, static_cast<GLenum>(GL_TEXTURE_2D));
    EXPECT_EQ(testsupport::GlContext::glErrors(), "");
}

TEST_F(ImageTest, LoadFileExtensionsAreCaseSensitive) {
    writeStrip(path("caps.PNG"), 8, 8, 8);
    Texture t(GL_TEXTURE_2D);
    testing::internal::CaptureStderr();
    EXPECT_EQ(t.loadFile(path("caps.PNG").c_str(), 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Texture: unrecognized image format .PNG\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(t.loadFile(path("photo.jpeg").c_str(), 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Texture: unrecognized image format jpeg\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(t.loadFile("ab", 0), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Texture: unrecognized image format ab\n");
}

TEST_F(ImageTest, LoadFileRefusesAPictureShorterThanOneTile) {
    writeStrip(path("wide.png"), 64, 32, 32);
    Texture t(GL_TEXTURE_2D);
    testing::internal::CaptureStderr();
    EXPECT_EQ(t.loadFile(path("wide.png").c_str(), 0), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("shorter than one tile"), std::string::npos);
    EXPECT_EQ(t.pixels, nullptr);
    EXPECT_EQ(t.getLevels(), 0);
    EXPECT_EQ(testsupport::GlContext::glErrors(), "");
}

TEST_F(ImageTest, LoadFileJpegCarriesCoverageInRedAndGreyInGreen) {
    // Colour JPEG strip of two 8 x 8 tiles: red = coverage, green = grey level.
    Bytes rgb;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x) rgb.insert(rgb.end(), {static_cast<unsigned char>(y < 8 ? 255 : 0), 128, 0});
    writeJpeg(path("strip.jpg"), 8, 16, 3, rgb);
    Texture t(GL_TEXTURE_2D);
    EXPECT_EQ(t.loadFile(path("strip.jpg").c_str(), 0), 2);
    Bytes volume(8 * 8 * 2 * 4);
    glBindTexture(GL_TEXTURE_3D, t.name);
    glGetTexImage(GL_TEXTURE_3D, 0, GL_RGBA, GL_UNSIGNED_BYTE, volume.data());
    glBindTexture(GL_TEXTURE_3D, 0);
    EXPECT_NEAR(volume[0], 128, 6);            // grey from green
    EXPECT_NEAR(volume[3], 0, 6);              // bottom tile: no coverage
    EXPECT_NEAR(volume[8 * 8 * 4 + 3], 255, 6);  // top tile: full coverage
    EXPECT_EQ(volume[0], volume[1]);
    EXPECT_EQ(volume[0], volume[2]);

    // A one-channel JPEG becomes opaque grey.
    Bytes grey(8 * 16, 90);
    writeJpeg(path("grey.jpg"), 8, 16, 1, grey);
    Texture g(GL_TEXTURE_2D);
    EXPECT_EQ(g.loadFile(path("grey.jpg").c_str(), 0), 2);
    glBindTexture(GL_TEXTURE_3D, g.name);
    glGetTexImage(GL_TEXTURE_3D, 0, GL_RGBA, GL_UNSIGNED_BYTE, volume.data());
    glBindTexture(GL_TEXTURE_3D, 0);
    EXPECT_NEAR(volume[0], 90, 3);
    EXPECT_EQ(volume[3], 255);
    EXPECT_EQ(volume[8 * 8 * 4 + 3], 255);
}

TEST_F(ImageTest, ExpandToRgbaInPlaceAndFromThreeBytes) {
    Texture t(GL_TEXTURE_2D);
    unsigned char* buffer = new unsigned char[8]{9, 50, 7, 7, 200, 60, 1, 2};
    t.pixels = buffer;
    t.ownsPixels = true;
    t.expandToRGBA(8, 4);
    EXPECT_EQ(t.pixels, buffer);  // stride 4 converts in place
    EXPECT_EQ(Bytes(t.pixels, t.pixels + 8), (Bytes{50, 50, 50, 9, 60, 60, 60, 200}));
    unsigned char* three = new unsigned char[6]{1, 2, 3, 4, 5, 6};
    t.pixels = three;  // the earlier buffer goes with the texture below
    delete[] buffer;
    t.format = GL_RGB;
    t.expandToRGBA(6, 3);
    EXPECT_EQ(Bytes(t.pixels, t.pixels + 8), (Bytes{2, 2, 2, 1, 5, 5, 5, 4}));
    EXPECT_EQ(t.format, static_cast<GLenum>(GL_RGBA));
    EXPECT_EQ(t.internalFormat, GL_RGBA8);
}

// The bundled pictures: level counts the data variables rely on, square logo.
TEST_F(ImageTest, BundledTextonStripsAndLogoLoad) {
    const std::string data = std::string(SKYLOOM_SOURCE_DIR) + "/data/";
    struct Case {
        const char* file;
        int levels, side;
    } cases[] = {{"Textons.png", 16, 11}, {"HalfTextons.png", 20, 11}, {"CloudTextons.png", 10, 8}, {"logo.png", 256, 256}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        Texture t(GL_TEXTURE_2D);
        EXPECT_EQ(t.loadFile((data + c.file).c_str(), 0), c.levels);
        EXPECT_EQ(t.width, c.side);
        EXPECT_EQ(t.height, c.side);
    }
    // Level 0 of the cloud and rain strips is clear sky / dry: fully transparent.
    Texture clouds(GL_TEXTURE_2D);
    ASSERT_TRUE(clouds.readPng((data + "CloudTextons.png").c_str()));
    for (int i = 0; i < 8 * 8; ++i) ASSERT_EQ(clouds.pixels[i * 4 + 3], 0) << i;
}

}  // namespace
