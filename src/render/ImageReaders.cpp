// The picture readers of Texture: PNG through libpng, JPEG through libjpeg. Both leave rows
// bottom-up, as OpenGL expects. Decoder errors come back as a message and a false result; they
// never end the program.
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

#include "Texture.h"

namespace {

struct JpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf escape;
};

void jpegErrorExit(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);  // the library's own text, on standard error
    std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->escape, 1);
}

// Larger pictures are refused before their buffer is allocated: 64 million pixels (256 MB as RGBA)
// is far beyond any texture the program draws.
constexpr unsigned long long kMaxPixels = 1ull << 26;

bool tooLarge(unsigned long long w, unsigned long long h, const char* path) {
    if (w * h <= kMaxPixels) return false;
    std::fprintf(stderr, "error: \"%s\" is %llu x %llu pixels; pictures over %llu pixels are refused\n", path, w, h,
                 kMaxPixels);
    return true;
}

struct FileCloser {
    std::FILE* f;
    ~FileCloser() {
        if (f) std::fclose(f);
    }
};

}  // namespace

bool Texture::readJpeg(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        std::fprintf(stderr, "error: couldn't open \"%s\"!\n", path);
        return false;
    }
    FileCloser closer{file};

    jpeg_decompress_struct cinfo;
    JpegErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jpegErrorExit;
    // Declared before the setjmp so a longjmp back here sees its current value.
    unsigned char* volatile buffer = nullptr;
    if (setjmp(err.escape)) {
        jpeg_destroy_decompress(&cinfo);
        delete[] buffer;
        std::fprintf(stderr, "error: couldn't decode \"%s\"!\n", path);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.num_components != 1 && cinfo.num_components != 3) {
        jpeg_destroy_decompress(&cinfo);
        std::fprintf(stderr, "error: \"%s\" has %d colour components; only grey and colour JPEGs are read\n", path,
                     cinfo.num_components);
        return false;
    }
    if (tooLarge(cinfo.image_width, cinfo.image_height, path)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_start_decompress(&cinfo);
    const int w = static_cast<int>(cinfo.output_width);
    const int h = static_cast<int>(cinfo.output_height);
    const int comps = cinfo.output_components;
    const size_t rowBytes = static_cast<size_t>(w) * comps;
    buffer = new unsigned char[rowBytes * h];
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = buffer + rowBytes * (h - 1 - static_cast<int>(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    // A warning means damaged data (a file cut short is padded with grey): not a picture to show.
    const long warnings = cinfo.err->num_warnings;
    jpeg_destroy_decompress(&cinfo);
    if (warnings > 0) {
        delete[] buffer;
        std::fprintf(stderr, "error: couldn't decode \"%s\"!\n", path);
        return false;
    }
    releasePixels();
    pixels = buffer;
    ownsPixels = true;
    width = w;
    height = h;
    format = comps == 1 ? GL_LUMINANCE : GL_RGB;
    internalFormat = comps;
    return true;
}

bool Texture::readPng(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        std::fprintf(stderr, "Unable to open %s", path);
        return false;
    }
    FileCloser closer{file};
    png_byte header[8];
    if (std::fread(header, 1, 8, file) < 8) {
        std::fprintf(stderr, "Error reading PNG header in %s", path);
        return false;
    }
    if (png_sig_cmp(header, 0, 8) != 0) {
        std::fprintf(stderr, "%s doesn't appear to be a PNG file.", path);
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    png_infop endInfo = png_create_info_struct(png);
    if (!info || !endInfo) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return false;
    }
    unsigned char* volatile buffer = nullptr;
    png_bytep* volatile rows = nullptr;
    // libpng has already printed its reason on standard error when it jumps back here.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, &endInfo);
        delete[] buffer;
        delete[] rows;
        std::fprintf(stderr, "Error decoding PNG image %s\n", path);
        return false;
    }
    // Only the pixels, palette and transparency are used: every other chunk is skipped unread, so a
    // bogus length in a text chunk cannot become a buffer of that size.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_init_io(png, file);
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);

    // Every colour type and depth ends as 8-bit RGBA.
    const int colorType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (bitDepth == 16) png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const png_uint_32 w = png_get_image_width(png, info);
    const png_uint_32 h = png_get_image_height(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    if (rowBytes != static_cast<size_t>(w) * 4 || tooLarge(w, h, path)) {  // the transformations give 4 bytes
        png_destroy_read_struct(&png, &info, &endInfo);
        std::fprintf(stderr, "Error decoding PNG image %s\n", path);
        return false;
    }
    buffer = new unsigned char[rowBytes * h];
    rows = new png_bytep[h];
    for (png_uint_32 i = 0; i < h; ++i) rows[i] = buffer + rowBytes * (h - 1 - i);
    png_read_image(png, rows);
    png_read_end(png, endInfo);
    png_destroy_read_struct(&png, &info, &endInfo);
    delete[] rows;

    releasePixels();
    pixels = buffer;
    ownsPixels = true;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    format = GL_RGBA;
    internalFormat = GL_RGBA8;
    return true;
}
