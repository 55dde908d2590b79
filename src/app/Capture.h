#pragma once

// Recording the drawn frames to numbered TIFF files. Any of the four capture keys starts a capture
// and any of them stops it; numbering continues across captures. All run on the GLUT thread.

class FrameWriter;

// The writer of the capture in progress, or null.
extern FrameWriter* frameWriter;

// "#" (full screen, the 1024 x 768 presentation rectangle), "*" and "H" (full screen, whole window),
// "v" (a 1280 x 720 window without the Now and Update buttons).
bool isCaptureKey(unsigned char key);
// Starts or stops a capture with one of the capture keys.
void toggleCapture(unsigned char key);
// What the key handler calls: starts or stops at once when the window has settled from the last
// change, otherwise queues the key (up to 8) for settleCapture().
void requestCapture(unsigned char key);
// Called on every idle call: once the window has the size of a capture in progress, counts the
// window's settling turns and then applies one queued key.
void settleCapture();
// The frame hook: writes the finished frame in the back buffer as the next numbered file, once the
// window has the capture's size (1280 x 720 for "v", the screen for the others); frames drawn
// before that are not recorded and take no number.
void captureCurrentFrame();

struct CaptureRect {
    int x, y, width, height;
};
// What "#" records of the full-screen frame buffer (frameWidth x frameHeight), for a window that
// was savedWidth x savedHeight when the capture started (origin bottom left); kept inside the
// frame buffer.
CaptureRect presentationCaptureRect(int savedWidth, int savedHeight, int frameWidth, int frameHeight);
