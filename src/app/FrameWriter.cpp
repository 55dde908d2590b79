#include "FrameWriter.h"

#include <GL/gl.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace {

// libtiff reports through a process-wide handler; keep its last message for our own one-line report.
std::string& lastTiffMessage() {
    static std::string message;
    return message;
}

void collectTiffMessage(const char* module, const char* fmt, va_list ap) {
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    lastTiffMessage() = module ? std::string(module) + ": " + buf : std::string(buf);
}

}  // namespace

FrameWriter::FrameWriter(int w, int h)
    : width(std::max(w, 1)), height(std::max(h, 1)), pixels(static_cast<size_t>(width) * height * 4) {}

void FrameWriter::setCaptureRect(int x, int y, int w, int h) {
    captureX = x;
    captureY = y;
    captureWidth = std::clamp(w, 1, width);
    captureHeight = std::clamp(h, 1, height);
    useCaptureRect = true;
}

std::string FrameWriter::framePath(int n) {
    char path[64];
    std::snprintf(path, sizeof path, "Frames/Slide%05i.tiff", n);
    return path;
}

bool FrameWriter::writeTiff(const std::string& path, const unsigned char* rgba, int w, int h, std::string& error) {
    TIFFErrorHandler previous = TIFFSetErrorHandler(collectTiffMessage);
    lastTiffMessage().clear();
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) {
        TIFFSetErrorHandler(previous);
        error = lastTiffMessage().empty() ? "cannot create the file" : lastTiffMessage();
        return false;
    }
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(w));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(h));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    bool ok = true;
    const size_t stride = static_cast<size_t>(w) * 4;
    for (int i = 0; i < h && ok; ++i) {
        // libtiff takes a non-const buffer but only reads it when there is no compression.
        unsigned char* row = const_cast<unsigned char*>(rgba + static_cast<size_t>(h - 1 - i) * stride);
        ok = TIFFWriteScanline(tif, row, static_cast<uint32_t>(i), 0) == 1;
    }
    // Closing flushes the last strips: a full disk may only show up here.
    if (ok) ok = TIFFFlush(tif) == 1;
    TIFFClose(tif);
    TIFFSetErrorHandler(previous);
    if (!ok) {
        error = lastTiffMessage().empty() ? "write failed (disk full?)" : lastTiffMessage();
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            std::remove(path.c_str());  // never leave a cut-off frame in a sequence
    }
    return ok;
}

bool FrameWriter::saveFrame(int n) {
    const int x = useCaptureRect ? captureX : 0, y = useCaptureRect ? captureY : 0;
    const int w = useCaptureRect ? captureWidth : width, h = useCaptureRect ? captureHeight : height;
    std::fprintf(stderr, "SAVE  %d %d %d\n", n, w, h);
    const std::string path = framePath(n);
    std::fprintf(stderr, "%s\n", path.c_str());

    GLint packAlignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);  // rows of exactly w * 4 bytes
    glReadBuffer(GL_BACK);
    glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);

    std::string error;
    if (!writeTiff(path, pixels.data(), w, h, error)) {
        std::fprintf(stderr, "Cannot write frame %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}
