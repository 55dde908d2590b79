// Frame time split into the clock and particle advance, the background field, the streaklets, the
// map overlays and the window panels, with the default preset at the default window size; and
// start-up to the first frame split by phase. Runs on a private Xvfb with Mesa; prints figures.
// Beside them, in the same process and window, the reference workloads of the renderer floor
// (shared/bench/floor.c): a window-sized quad blending two float fields through a colour ramp, and
// 10 000 smoothed two-pixel eight-point line strips in one vertex array; and the frame's ratios to them.
#include <GL/glew.h>
#include <GL/freeglut.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

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


// The floor's two workloads, as in shared/bench/floor.c, one frame of each per call, so that they
// can be timed between the viewer's frames and a changing machine load weighs on both alike.
class Reference {
public:
    static constexpr int P = 10000, L = 8, nx = 614, ny = 428;

    Reference() {
        static const char* fs =
            "uniform sampler2D a, b; uniform sampler1D ramp; uniform float f;\n"
            "void main() { float v = mix(texture2D(a, gl_TexCoord[0].st).r, texture2D(b, gl_TexCoord[0].st).r, f);\n"
            "  gl_FragColor = texture1D(ramp, v); }\n";
        GLint unit = 0;
        glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
        std::vector<float> d(static_cast<size_t>(nx) * ny);
        for (int i = 0; i < nx * ny; i++) d[static_cast<size_t>(i)] = static_cast<float>((i * 7919) % 1000) / 1000.f;
        glGenTextures(3, t);
        for (int k = 0; k < 2; k++) {
            glActiveTexture(GL_TEXTURE0 + k);
            glBindTexture(GL_TEXTURE_2D, t[k]);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE32F_ARB, nx, ny, 0, GL_LUMINANCE, GL_FLOAT, d.data());
            glBindTexture(GL_TEXTURE_2D, 0);
        }
        unsigned char ramp[256 * 4];
        for (int i = 0; i < 1024; i++) ramp[i] = static_cast<unsigned char>(i * 13);
        glActiveTexture(GL_TEXTURE2);
        glBindTexture(GL_TEXTURE_1D, t[2]);
        glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE, ramp);
        glBindTexture(GL_TEXTURE_1D, 0);
        glActiveTexture(static_cast<GLenum>(unit));
        sh = glCreateShader(GL_FRAGMENT_SHADER);
        glShaderSource(sh, 1, &fs, nullptr);
        glCompileShader(sh);
        pr = glCreateProgram();
        glAttachShader(pr, sh);
        glLinkProgram(pr);
        v.resize(static_cast<size_t>(2 * P * L));
        first.resize(P);
        cnt.resize(P);
        unsigned seed = 1;  // its own generator, so the viewer's random sequence is untouched
        auto rnd = [&seed] {
            seed = seed * 1103515245u + 12345u;
            return static_cast<float>((seed >> 8) & 0xFFFFFF) / 16777215.0f;
        };
        for (int p = 0; p < P; p++) {
            const float x = rnd() * 2 - 1, y = rnd() * 2 - 1;
            first[static_cast<size_t>(p)] = p * L;
            cnt[static_cast<size_t>(p)] = L;
            for (int k = 0; k < L; k++) {
                v[static_cast<size_t>(2 * (p * L + k))] = x + k * 0.004f;
                v[static_cast<size_t>(2 * (p * L + k) + 1)] = y + k * 0.002f;
            }
        }
    }
    ~Reference() {
        glDeleteProgram(pr);
        glDeleteShader(sh);
        glDeleteTextures(3, t);
    }

    // One frame of both at W x H; adds their times in seconds. Leaves the GL state as it was.
    void frame(int W, int H, int n, double& quad, double& strips) {
        glPushAttrib(GL_ALL_ATTRIB_BITS);
        glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_SCISSOR_TEST);
        GLint bound[3] = {};  // the viewer's textures on these units, put back afterwards
        for (int k = 0; k < 3; ++k) {
            glActiveTexture(GL_TEXTURE0 + k);
            glGetIntegerv(k < 2 ? GL_TEXTURE_BINDING_2D : GL_TEXTURE_BINDING_1D, &bound[k]);
            glBindTexture(k < 2 ? GL_TEXTURE_2D : GL_TEXTURE_1D, t[k]);
        }
        glViewport(0, 0, W, H);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glFinish();
        const auto t0 = Clock::now();
        glUseProgram(pr);
        glUniform1i(glGetUniformLocation(pr, "a"), 0);
        glUniform1i(glGetUniformLocation(pr, "b"), 1);
        glUniform1i(glGetUniformLocation(pr, "ramp"), 2);
        glUniform1f(glGetUniformLocation(pr, "f"), static_cast<float>(n % 10) / 10.f);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2f(-1, -1);
        glTexCoord2f(1, 0);
        glVertex2f(1, -1);
        glTexCoord2f(1, 1);
        glVertex2f(1, 1);
        glTexCoord2f(0, 1);
        glVertex2f(-1, 1);
        glEnd();
        glUseProgram(0);
        glFinish();
        const auto t1 = Clock::now();
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_LINE_SMOOTH);
        glLineWidth(2);
        glColor4f(1, 1, 1, 0.6f);
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(2, GL_FLOAT, 0, v.data());
        glMultiDrawArrays(GL_LINE_STRIP, first.data(), cnt.data(), P);
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisable(GL_BLEND);
        glFinish();
        const auto t2 = Clock::now();
        quad += std::chrono::duration<double>(t1 - t0).count();
        strips += std::chrono::duration<double>(t2 - t1).count();
        for (int k = 2; k >= 0; --k) {
            glActiveTexture(GL_TEXTURE0 + k);
            glBindTexture(k < 2 ? GL_TEXTURE_2D : GL_TEXTURE_1D, static_cast<GLuint>(bound[k]));
        }
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
        glPopClientAttrib();
        glPopAttrib();
    }

private:
    GLuint t[3] = {}, sh = 0, pr = 0;
    std::vector<float> v;
    std::vector<GLint> first;
    std::vector<GLsizei> cnt;
};

}  // namespace

int main(int, char** argv) {
    // The map outlines are read as the program starts, from the working directory, as the viewer
    // reads them from its own: without them the frames would lack the state lines.
    if (access(driftView::kCoastFile, R_OK) != 0) {
        if (chdir(SKYLOOM_SOURCE_DIR "/data") != 0 || access(driftView::kCoastFile, R_OK) != 0) {
            std::fprintf(stderr, "cannot find the outline files in %s/data\n", SKYLOOM_SOURCE_DIR);
            return 1;
        }
        execv("/proc/self/exe", argv);
        std::perror("execv");
        return 1;
    }
    keepFrameBuffersMapped();
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
    // As the viewer starts: the first steps, the rest read after the first frame (timed apart).
    if (!forecast.loadStart(samplePath().c_str())) return 1;
    const double load = since(t0);
    forecast.setTimeStep(0.05);
    forecast.setRegion(app.viewRowMin, app.viewRowMax, app.viewColMin, app.viewColMax);
    if (chdir(SKYLOOM_SOURCE_DIR "/data") != 0) return 1;
    initGraphicsState(app.initialWidth, app.initialHeight);
    const double scene = timed([] { buildMapScene(); });
    const double panels = timed([] { buildOverlaysAndPanels(); });
    onReshape(ww, wh);
    const double firstFrame = timed([] { onDisplay(); });
    const double total = since(start);
    const double rest = timed([] { forecast.ensureStep(forecast.numTimes() - 1); });
    // The overlay lists of the first step are built inside the panels phase; rebuilt once more here
    // (as a reload does) they are timed on their own, outside the start-up total.
    const double overlays = timed([] { prepareOverlays(); });
    std::printf("start-up to first frame (%d steps, %d x %d grid): %.3f s = load of the first steps %.3f + map scene "
                "%.3f + overlays and panels %.3f + first frame %.3f; the rest of the file %.3f s (read between "
                "frames); the overlay rebuild of a reload %.3f s\n",
                forecast.numTimes(), forecast.numCols(), forecast.numRows(), total, load, scene, panels, firstFrame,
                rest, overlays);

    // Frames in the viewer's order, each layer timed on its own, each followed by one frame of
    // the reference workloads (after 5 of those unmeasured, as the floor program does).
    const int frames = 60;
    double advance = 0, backgroundT = 0, streaks = 0, mapOverlays = 0, panelsT = 0;
    // Overlay frames that redrew the still overlays into their texture, and those that reused it.
    double overlaysRebuilt = 0, overlaysReused = 0;
    int rebuiltFrames = 0;
    double quadT = 0, stripsT = 0;
    Reference reference;
    for (int n = 0; n < 5; ++n) reference.frame(ww, wh, n, quadT, stripsT);
    quadT = stripsT = 0;
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
        const unsigned long rebuildsBefore = stillOverlayRebuilds();
        const double o = timed([] { drawMapOverlays(); });
        mapOverlays += o;
        if (stillOverlayRebuilds() != rebuildsBefore) {
            overlaysRebuilt += o;
            ++rebuiltFrames;
        } else {
            overlaysReused += o;
        }
        background.popMapTransform();
        panelsT += timed([] { drawPanels(); });
        glutSwapBuffers();
        reference.frame(ww, wh, f, quadT, stripsT);
    }
    const double ms = 1000.0 / frames;
    std::printf("frame at %d x %d, default preset, mean of %d: advance %.2f ms, background %.2f ms, streaklets %.2f "
                "ms, overlays %.2f ms, panels %.2f ms, total %.2f ms\n",
                ww, wh, frames, advance * ms, backgroundT * ms, streaks * ms, mapOverlays * ms, panelsT * ms,
                (advance + backgroundT + streaks + mapOverlays + panelsT) * ms);

    std::printf("overlays: %d frames redrawing the still overlays into their texture, %.2f ms each; %d reusing it, "
                "%.2f ms each\n",
                rebuiltFrames, rebuiltFrames ? 1000.0 * overlaysRebuilt / rebuiltFrames : 0.0, frames - rebuiltFrames,
                frames > rebuiltFrames ? 1000.0 * overlaysReused / (frames - rebuiltFrames) : 0.0);
    const double quad = quadT * ms, strips = stripsT * ms;
    const double frame = (advance + backgroundT + streaks + mapOverlays + panelsT) * ms;
    std::printf("reference at %d x %d, same process, between those frames, mean of %d: field quad %.2f ms, 10000 line strips %.2f ms, sum "
                "%.2f ms\n",
                ww, wh, frames, quad, strips, quad + strips);
    std::printf("ratios (goal): frame / reference sum %.2f (<= 1.1), overlays / quad %.2f (<= 1.5), streaklets / "
                "strips %.2f (<= 1.25), background / quad %.2f (<= 5), panels / quad %.2f (<= 1)\n",
                frame / (quad + strips), mapOverlays * ms / quad, streaks * ms / strips, backgroundT * ms / quad,
                panelsT * ms / quad);
    return 0;
}
