// Frame time split into the clock and particle advance, the background field, the streaklets, the
// map overlays and the window panels, with the default preset at the default window size; and
// start-up to the first frame split by phase. Runs on a private Xvfb with Mesa; prints figures.
#include <GL/glew.h>
#include <GL/freeglut.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "AppState.h"
#include "ForecastData.h"
#include "FrameLoop.h"
#include "GlContext.h"
#include "MapScene.h"
#include "Overlays.h"
#include "SceneHooks.h"
#include "Streaklets.h"
#include "driftView.h"

#include "BenchSample.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Time of one phase, waiting for the GL work it queued.
template <class F>
double timed(F f) {
    const auto t0 = Clock::now();
    f();
    glFinish();
    return since(t0);
}

}  // namespace

int main() {
    ensureSample();
    auto& gl = testsupport::GlContext::instance();
    if (!gl.ok()) {
        std::fprintf(stderr, "no GL context: %s\n", gl.error().c_str());
        return 1;
    }
    // The default window size, so fill costs are those of the real window.
    glutReshapeWindow(app.initialWidth, app.initialHeight);
    for (int i = 0; i < 20; ++i) glutMainLoopEvent();
    gl.reset();
    const int ww = glutGet(GLUT_WINDOW_WIDTH), wh = glutGet(GLUT_WINDOW_HEIGHT);

    std::fprintf(stderr, "building...\n");
    const auto start = Clock::now();
    auto t0 = Clock::now();
    if (!forecast.load(samplePath().c_str())) return 1;
    const double load = since(t0);
    forecast.setTimeStep(0.05);
    forecast.setRegion(app.viewRowMin, app.viewRowMax, app.viewColMin, app.viewColMax);
    if (chdir(SKYLOOM_SOURCE_DIR "/data") != 0) return 1;
    initGraphicsState(app.initialWidth, app.initialHeight);
    const double scene = timed([] { buildMapScene(); });
    const double panels = timed([] { buildOverlaysAndPanels(); });
    onReshape(ww, wh);
    // The per-step overlay lists again, as built inside the panels phase.
    const double overlays = timed([] { prepareOverlays(); });
    const double firstFrame = timed([] { onDisplay(); });
    const double total = since(start) - overlays;
    std::printf("start-up to first frame (%d steps, %d x %d grid): %.3f s = load %.3f + map scene %.3f + overlays and "
                "panels %.3f (of which per-step overlay lists %.3f) + first frame %.3f\n",
                forecast.numTimes(), forecast.numCols(), forecast.numRows(), total, load, scene, panels, overlays,
                firstFrame);

    // Frames in the viewer's order, each layer timed on its own.
    const int frames = 60;
    double advance = 0, backgroundT = 0, streaks = 0, mapOverlays = 0, panelsT = 0;
    for (int f = 0; f < frames; ++f) {
        glViewport(0, 0, app.windowWidth, app.windowHeight);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, app.initialWidth, 0, app.initialHeight, -350, 350);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        advance += timed([] {
            if (forecast.setTime(-1) < 0) {
                forecast.setTime(0);
                restartAnimation();
            }
            surfaceStreaklets->advance(-2, 1);
        });
        background.pushMapTransform();
        backgroundT += timed([] {
            background.drawBackground(forecast.setTime(-2));
            glColor4f(0.9f, 0.9f, 0.7f, 0.65f);
            background.drawStates(2.0f);
        });
        glLineWidth(2.0f);
        glTranslatef(0, 0, 0.1f);
        streaks += timed([] { surfaceStreaklets->draw(-1); });
        mapOverlays += timed([] { drawMapOverlays(); });
        background.popMapTransform();
        panelsT += timed([] { drawPanels(); });
        glutSwapBuffers();
    }
    const double ms = 1000.0 / frames;
    std::printf("frame at %d x %d, default preset, mean of %d: advance %.2f ms, background %.2f ms, streaklets %.2f "
                "ms, overlays %.2f ms, panels %.2f ms, total %.2f ms\n",
                ww, wh, frames, advance * ms, backgroundT * ms, streaks * ms, mapOverlays * ms, panelsT * ms,
                (advance + backgroundT + streaks + mapOverlays + panelsT) * ms);
    return 0;
}
