#include "FrameLoop.h"

#include <GL/freeglut.h>
#include <GL/glu.h>
#include <GL/glx.h>
#include <malloc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "AppState.h"
#include "Capture.h"
#include "ForecastData.h"
#include "Refresh.h"
#include "SceneHooks.h"
#include "UpdateScript.h"

double wallClockSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec / 1000000) / 1000.0;
}

int pacingSleepMs(double now, double lastFrameTime, bool recording) {
    const double dt = now - lastFrameTime;
    if (recording || dt <= 0.0 || dt >= kPacingThreshold) return 0;
    // Both times are whole milliseconds, but as seconds near 1.7e9 they carry rounding error of
    // a few 1e-4 ms; the allowance keeps a 10 ms interval that subtracts to 9.9997 from becoming 9.
    return static_cast<int>(std::floor(dt * 1000.0 + 0.01));
}

void keepFrameBuffersMapped() {
    // Without a GPU the driver allocates and frees buffers of 64 KiB to a few MiB in every frame.
    // glibc's defaults map the large ones afresh and trim the heap top under the small ones, so
    // each frame paid thousands of page faults (a third of some draws on a virtual machine).
    // Fixed limits keep them in the heap; malloc_trim still returns memory after loads.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
}

bool countIdleCall(unsigned int& idleCount) {
    if (idleCount++ < kIdleChecksEvery) return false;
    idleCount = 0;
    return true;
}

bool exitTimeReached(std::int64_t exitTime, std::int64_t now) { return exitTime != -1 && now > exitTime; }

void formatFpsTitle(char* buffer, unsigned long size, int fps) {
    std::snprintf(buffer, size, "%s. FPS: %d", kProgramName, fps);
}

bool advanceAnimationClock(ForecastData& data) {
    if (data.setTime(-1) >= 0) return false;
    data.setTime(0);
    return true;
}

namespace {

// Test channel, off unless SKYLOOM_FRAME_FILE names a file: after every frame the number of frames
// drawn so far is written there (whole, through a rename), once the X server has the picture. A
// test waits for frames drawn after its input instead of guessing from screenshots that stand still.
void announceFrame() {
    static const char* path = std::getenv("SKYLOOM_FRAME_FILE");
    static unsigned long long drawn = 0;
    if (!path || !*path) return;
    ++drawn;
    // The swap only queues the picture; a screenshot taken after the announcement must show it.
    if (Display* display = glXGetCurrentDisplay()) XSync(display, False);
    const std::string partial = std::string(path) + ".part";
    if (FILE* f = std::fopen(partial.c_str(), "w")) {
        const bool written = std::fprintf(f, "%llu\n", drawn) > 0;
        if (std::fclose(f) == 0 && written) std::rename(partial.c_str(), path);
    }
}

}  // namespace

void onDisplay() {
    if (animationPlaying() && advanceAnimationClock(forecast)) restartAnimation();

    // 2-3. The drawing space is always the start-up size; a resized window shows it stretched.
    glViewport(0, 0, app.windowWidth, app.windowHeight);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, app.initialWidth, 0, app.initialHeight, -350, 350);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    drawMapScene();
    app.frameDrawn = true;
    drawWindowPanels();
    app.frameCount += 1;
    if (app.recording) captureFrame();
    glutSwapBuffers();
    announceFrame();

    const double now = wallClockSeconds();
    const int sleepMs = pacingSleepMs(now, app.lastFrameTime, app.recording);
    if (sleepMs > 0) {
        timespec pause{sleepMs / 1000, static_cast<long>(sleepMs % 1000) * 1000000L};
        nanosleep(&pause, nullptr);
    }
    app.lastFrameTime = now;
}

void onReshape(int width, int height) {
    glViewport(0, 0, width, height);
    app.windowHeight = height;
    app.windowWidth = width;
    layoutForWindowSize(width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90, 1.0, 0.1, 10.0);
    glMatrixMode(GL_MODELVIEW);
}

void initGraphicsState(int, int) {
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glClearColor(0, 0, 0, 1);
    glColor4f(1, 1, 1, 1);
    glPointSize(3.0f);
    glViewport(0, 0, app.initialWidth, app.initialHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90, 1.3333333333333333, 0.1, 10.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    app.lastFps = 0;
    app.frameCount = 0;
}

void onIdle() {
    // Start-up's passing buffers (file reading, image decoding, first builds) go back to the system
    // once the first frame is up, instead of staying in the allocator's free lists for the run.
    static bool trimmed = false;
    if (!trimmed && app.frameDrawn) {
        malloc_trim(0);
        trimmed = true;
    }
    settleCapture();
    // A refresh command's output is passed on a little every idle call, not only at the checks.
    pollUpdateScriptOutput();
    continueReload();
    if (countIdleCall(app.idleCount)) {
        checkForecastFile();
        if (exitTimeReached(app.exitTime, static_cast<std::int64_t>(std::time(nullptr)))) std::exit(0);
    }
    glutPostRedisplay();
}

void onFpsTimer(int) {
    app.lastFps = app.frameCount;
    app.frameCount = 0;
    char title[128];
    formatFpsTitle(title, sizeof title, app.lastFps);
    glutSetWindowTitle(title);
    glutTimerFunc(1000, onFpsTimer, 1);
}
