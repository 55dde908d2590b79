// Map scene costs: start-up split into the forecast load, the background textures and the rest of
// the scene, then the per-frame cost of advancing the surface and jet streaklet systems as the
// viewer builds them. Runs on a private Xvfb with Mesa.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "AppState.h"
#include "ForecastData.h"
#include "GlContext.h"
#include "MapScene.h"
#include "Streaklets.h"
#include "driftView.h"

#include "BenchSample.h"

namespace {

double secondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// One-shot start-up figures; leaves the scene built for the benchmarks below.
void buildScene() {
    ensureSample();
    auto& gl = testsupport::GlContext::instance();
    if (!gl.ok()) {
        std::fprintf(stderr, "no GL context: %s\n", gl.error().c_str());
        std::exit(1);
    }
    gl.reset();

    auto t0 = std::chrono::steady_clock::now();
    if (!forecast.load(samplePath().c_str())) std::exit(1);
    const double load = secondsSince(t0);
    forecast.setTimeStep(0.05);
    forecast.setRegion(app.viewRowMin, app.viewRowMax, app.viewColMin, app.viewColMax);

    if (chdir(SKYLOOM_SOURCE_DIR "/data") != 0) std::exit(1);  // texton strips
    t0 = std::chrono::steady_clock::now();
    buildMapSceneComponents();
    const double scene = secondsSince(t0);
    // The same textures again, as a reload makes them: the textures' share of the scene.
    t0 = std::chrono::steady_clock::now();
    background.generateBackgroundTextures();
    const double textures = secondsSince(t0);

    std::printf("start-up (%d steps, %d x %d): load %.3f s, background textures %.3f s (4 variables), rest of the "
                "map scene %.3f s\n",
                forecast.numTimes(), forecast.numCols(), forecast.numRows(), load, textures, scene - textures);
}

void BM_SurfaceAdvance(benchmark::State& state) {
    for (auto _ : state) surfaceStreaklets->advance(-2, 1);
    state.SetItemsProcessed(state.iterations() * surfaceStreaklets->size());
}
BENCHMARK(BM_SurfaceAdvance)->Unit(benchmark::kMicrosecond);

void BM_JetAdvance(benchmark::State& state) {
    for (auto _ : state) jetStreaklets->advance(-2, 1);
    state.SetItemsProcessed(state.iterations() * jetStreaklets->size());
}
BENCHMARK(BM_JetAdvance)->Unit(benchmark::kMicrosecond);

// One frame's particle work with the jet stream shown, the clock moving as it plays.
void BM_FrameAdvanceBoth(benchmark::State& state) {
    for (auto _ : state) {
        if (forecast.setTime(-1) < 0) forecast.setTime(0);
        surfaceStreaklets->advance(-2, 1);
        jetStreaklets->advance(-2, 1);
    }
    state.SetItemsProcessed(state.iterations() * (surfaceStreaklets->size() + jetStreaklets->size()));
}
BENCHMARK(BM_FrameAdvanceBoth)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    std::srand(12345);
    buildScene();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
