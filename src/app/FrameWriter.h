#pragma once

#include <string>
#include <vector>

// Writes drawn frames to "Frames/Slide%05i.tiff": uncompressed 8-bit RGBA, top row first. One
// writer exists while a capture runs; it keeps the size it was created with.
class FrameWriter {
public:
    FrameWriter(int width, int height);
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // Captures only this rectangle (origin bottom left, window pixels) from now on; a rectangle
    // larger than the writer's buffer is cut to it.
    void setCaptureRect(int x, int y, int width, int height);
    // Reads the back buffer and writes frame n. A file that cannot be written is reported on
    // standard error and skipped; returns whether the file was written.
    bool saveFrame(int n);

    int getWidth() const { return width; }
    int getHeight() const { return height; }
    bool usesCaptureRect() const { return useCaptureRect; }

    static std::string framePath(int n);
    // Writes w x h RGBA pixels whose rows run bottom-up (as glReadPixels returns them) to a TIFF
    // file stored top row first. On failure no partial file is left; returns false with a reason.
    static bool writeTiff(const std::string& path, const unsigned char* rgbaBottomUp, int w, int h, std::string& error);

private:
    int width;
    int height;
    std::vector<unsigned char> pixels;
    int captureX = 0, captureY = 0, captureWidth = 0, captureHeight = 0;
    bool useCaptureRect = false;
};
