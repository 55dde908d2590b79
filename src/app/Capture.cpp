#include "Capture.h"

#include <GL/glew.h>
#include <GL/freeglut.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <deque>

#include "AppState.h"
#include "FrameWriter.h"
#include "Overlays.h"
#include "TimeBar.h"

FrameWriter* frameWriter = nullptr;

namespace {

// freeglut carries out window changes at its next turn of the loop, and leaving full screen leaves
// one more resize for the turn after. A capture key handled before those have gone through is
// undone by them (recording in a small window, or a window stuck at full screen), which happens
// whenever the keys come faster than the frames. Capture keys therefore wait their turn.
constexpr int kSettleIdleCalls = 3;
constexpr std::size_t kMaxQueuedKeys = 8;
int settleCalls = 0;
std::deque<unsigned char> queuedKeys;

constexpr int kPresentationWidth = 1024, kPresentationHeight = 768;
constexpr int kVideoWidth = 1280, kVideoHeight = 720;

// A capture records nothing until the window has the size it asked for: frames drawn before the
// change has gone through would fix the writer at the old size. A window that never gets there
// (a window manager that refuses) records at the size it has after this many frames.
constexpr int kMaxFramesWaited = 120;
bool waitingForSize = false;
int targetWidth = 0, targetHeight = 0;
bool presentationCapture = false;
int framesWaited = 0;

void startCapture(unsigned char key) {
    app.savedWidth = app.windowWidth;
    app.savedHeight = app.windowHeight;
    presentationCapture = key == '#';
    waitingForSize = true;
    framesWaited = 0;
    if (key == 'v') {
        targetWidth = kVideoWidth;
        targetHeight = kVideoHeight;
        glutReshapeWindow(kVideoWidth, kVideoHeight);
        if (timeBar) {
            timeBar->setNowButtonShown(false);
            timeBar->setUpdateShown(false);
        }
        return;
    }
    targetWidth = glutGet(GLUT_SCREEN_WIDTH);
    targetHeight = glutGet(GLUT_SCREEN_HEIGHT);
    glutFullScreen();
}

// The window has the capture's size (or has had its chance): make the writer for it.
void beginRecording() {
    waitingForSize = false;
    if (app.windowWidth != targetWidth || app.windowHeight != targetHeight)
        std::fprintf(stderr, "Recording at %d x %d: the window did not reach %d x %d\n", app.windowWidth,
                     app.windowHeight, targetWidth, targetHeight);
    delete frameWriter;
    if (presentationCapture) {
        const CaptureRect r = presentationCaptureRect(app.savedWidth, app.savedHeight, app.windowWidth, app.windowHeight);
        frameWriter = new FrameWriter(r.width, r.height);
        frameWriter->setCaptureRect(r.x, r.y, r.width, r.height);
    } else {
        frameWriter = new FrameWriter(app.windowWidth, app.windowHeight);
    }
    // A capture key that came meanwhile waits a few frames more, so the capture records some.
    settleCalls = kSettleIdleCalls;
}

void stopCapture() {
    waitingForSize = false;
    delete frameWriter;
    frameWriter = nullptr;
    // Only "v" hides the Now button; it comes back whatever size the window reached meanwhile.
    if (timeBar) {
        timeBar->setNowButtonShown(true);
        timeBar->setUpdateShown(app.showUpdateButton);
    }
    glutReshapeWindow(app.savedWidth, app.savedHeight);  // also leaves full screen
}

}  // namespace

bool isCaptureKey(unsigned char key) { return key == '#' || key == '*' || key == 'H' || key == 'v'; }

void toggleCapture(unsigned char key) {
    if (!isCaptureKey(key)) return;
    app.recording = !app.recording;
    if (app.recording)
        startCapture(key);
    else
        stopCapture();
}

void requestCapture(unsigned char key) {
    if (!isCaptureKey(key)) return;
    if (settleCalls == 0 && queuedKeys.empty() && !waitingForSize) {
        toggleCapture(key);
        settleCalls = kSettleIdleCalls;
    } else if (queuedKeys.size() < kMaxQueuedKeys) {
        queuedKeys.push_back(key);
    }
}

void settleCapture() {
    if (waitingForSize) return;  // the last change is not done until the window has its size
    if (settleCalls > 0) {
        --settleCalls;
        return;
    }
    if (queuedKeys.empty()) return;
    const unsigned char key = queuedKeys.front();
    queuedKeys.pop_front();
    toggleCapture(key);
    settleCalls = kSettleIdleCalls;
}

CaptureRect presentationCaptureRect(int savedWidth, int savedHeight, int frameWidth, int frameHeight) {
    // Kept inside the frame buffer: a window smaller than the rectangle would put it partly below
    // or left of the origin.
    const int w = std::clamp(frameWidth, 1, kPresentationWidth), h = std::clamp(frameHeight, 1, kPresentationHeight);
    const int x = (savedWidth - kPresentationWidth) / 2 + 300, y = (savedHeight - kPresentationHeight) / 2 + 50;
    return {std::clamp(x, 0, std::max(frameWidth - w, 0)), std::clamp(y, 0, std::max(frameHeight - h, 0)), w, h};
}

void captureCurrentFrame() {
    if (waitingForSize) {
        const bool reached = app.windowWidth == targetWidth && app.windowHeight == targetHeight;
        if (!reached && ++framesWaited <= kMaxFramesWaited) return;
        beginRecording();
    }
    // A capture started before this code knew of waiting has no writer yet: the frame fixes it.
    if (!frameWriter) frameWriter = new FrameWriter(app.windowWidth, app.windowHeight);
    glReadBuffer(GL_BACK);
    // A frame that cannot be written has been reported; the next one is tried all the same.
    frameWriter->saveFrame(app.recordedFrames);
    app.recordedFrames += 1;
}
