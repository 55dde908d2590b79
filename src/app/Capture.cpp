#include "Capture.h"

#include <GL/glew.h>
#include <GL/freeglut.h>

#include <cstddef>
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

void startCapture(unsigned char key) {
    app.savedWidth = app.windowWidth;
    app.savedHeight = app.windowHeight;
    if (key == 'v') {
        glutReshapeWindow(kVideoWidth, kVideoHeight);
        if (timeBar) {
            timeBar->setNowButtonShown(false);
            timeBar->setUpdateShown(false);
        }
        return;
    }
    glutFullScreen();
    if (key == '#') {
        if (!frameWriter) frameWriter = new FrameWriter(kPresentationWidth, kPresentationHeight);
        const CaptureRect r = presentationCaptureRect(app.savedWidth, app.savedHeight);
        frameWriter->setCaptureRect(r.x, r.y, r.width, r.height);
    }
}

void stopCapture() {
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
    if (settleCalls == 0 && queuedKeys.empty()) {
        toggleCapture(key);
        settleCalls = kSettleIdleCalls;
    } else if (queuedKeys.size() < kMaxQueuedKeys) {
        queuedKeys.push_back(key);
    }
}

void settleCapture() {
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

CaptureRect presentationCaptureRect(int savedWidth, int savedHeight) {
    return {(savedWidth - kPresentationWidth) / 2 + 300, (savedHeight - kPresentationHeight) / 2 + 50,
            kPresentationWidth, kPresentationHeight};
}

void captureCurrentFrame() {
    // The first captured frame fixes the size for the whole capture.
    if (!frameWriter) frameWriter = new FrameWriter(app.windowWidth, app.windowHeight);
    glReadBuffer(GL_BACK);
    // A frame that cannot be written has been reported; the next one is tried all the same.
    frameWriter->saveFrame(app.recordedFrames);
    app.recordedFrames += 1;
}
