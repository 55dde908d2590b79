// Times the per-load precomputation of the grid overlays on the full 29-step sample: every step's
// wind barbs, pressure marks and wind-speed numbers compiled into display lists, as after a load,
// plus each layer alone and the pressure layer with isobar labels switched on. Prints figures;
// asserts nothing.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <GL/glew.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "DataVariable.h"
#include "ForecastData.h"
#include "GlContext.h"
#include "NumberField.h"
#include "PressureLabels.h"
#include "Texture.h"
#include "WindBarbField.h"

#include "BenchSample.h"

namespace {

// The application's overlay configuration over one loaded forecast.
struct Scene {
    ForecastData data;
    Texture ramp{GL_TEXTURE_2D};
    DataVariable pressure{UNIT_PASCAL, "Pressure", PRESSURE};
    DataVariable wind{UNIT_METRES_PER_SECOND, "Wind speed", WIND_SPEED};
    float colour[4] = {0.8f, 1, 1, 0.8f};
    std::unique_ptr<NumberField> numbers;
    std::unique_ptr<WindBarbField> barbs;
    std::unique_ptr<PressureLabels> labels;

    Scene() {
        if (!data.load(samplePath().c_str())) std::exit(1);
        ramp.levels = 18;
        pressure.setColormapTexture(&ramp);
        pressure.setStep(4, UNIT_MILLIBAR);
        pressure.setCentre(1016, UNIT_KEEP);
        wind.setLow(0, UNIT_KNOTS);
        wind.setHigh(40, UNIT_KEEP);
        data.setRegion(58, 328, 99, 588);
        data.createExtremaFinders(90, 324, 99, 584);
        const int rows = data.numRows(), cols = data.numCols(), steps = data.numTimes();
        numbers = std::make_unique<NumberField>(rows, cols, steps, 1, 3);
        numbers->setRegion(58, 328, 99, 588);
        numbers->setBottomLimit(-0.81f);
        numbers->setColour(colour);
        numbers->setVariable(&wind);
        numbers->setMaximaThreshold(24);
        numbers->setSpacing(10, 2);
        numbers->attachDataset(&data);
        barbs = std::make_unique<WindBarbField>(rows, cols, steps, 10.0f);
        barbs->setRegion(58, 328, 99, 588);
        barbs->setVariable(&wind);
        barbs->attachDataset(&data);
        barbs->setDepth(0.5f);
        labels = std::make_unique<PressureLabels>(rows, cols, steps);
        labels->setRegion(58, 328, 99, 588);
        labels->setVariable(&pressure);
        labels->attachDataset(&data);
        labels->setDepth(0.1f);
        labels->setShowHL(true);
        labels->setShowLabels(false);
    }

    void buildNumbers(int i) {
        const size_t stepSize = static_cast<size_t>(data.numRows()) * data.numCols();
        numbers->buildFrame(i, data.slotField(WIND_SPEED) + stepSize * i, data.windSpeedMaxima(), 0);
    }
};

Scene& scene() {
    static Scene* s = [] {
        ensureSample();
        testsupport::GlContext& gl = testsupport::GlContext::instance();
        if (!gl.ok()) {
            std::fprintf(stderr, "no GL context: %s\n", gl.error().c_str());
            std::exit(1);
        }
        gl.reset();
        return new Scene;
    }();
    return *s;
}

template <typename Build>
void everyStep(benchmark::State& state, Build build) {
    Scene& s = scene();
    for (auto _ : state) {
        for (int i = 0; i < s.data.numTimes(); ++i) {
            s.data.setTime(i);
            build(s, i);
        }
        glFinish();
    }
    state.counters["steps"] = s.data.numTimes();
}

void BM_AllThreeLayers(benchmark::State& state) {
    everyStep(state, [](Scene& s, int i) {
        s.barbs->buildFrame(i, 1.0f);
        s.labels->buildFrame(i, 1.0f);
        s.buildNumbers(i);
    });
}
void BM_WindBarbs(benchmark::State& state) { everyStep(state, [](Scene& s, int i) { s.barbs->buildFrame(i, 1.0f); }); }
void BM_PressureMarks(benchmark::State& state) {
    everyStep(state, [](Scene& s, int i) { s.labels->buildFrame(i, 1.0f); });
}
void BM_Numbers(benchmark::State& state) { everyStep(state, [](Scene& s, int i) { s.buildNumbers(i); }); }
// The wind-maxima search the application runs for the numbers each step, on its own.
void BM_WindMaximaSearch(benchmark::State& state) {
    everyStep(state, [](Scene& s, int) { benchmark::DoNotOptimize(s.data.windSpeedMaxima()); });
}
void BM_PressureMarksAndLabels(benchmark::State& state) {
    scene().labels->setShowLabels(true);
    everyStep(state, [](Scene& s, int i) { s.labels->buildFrame(i, 1.0f); });
    scene().labels->setShowLabels(false);
}

BENCHMARK(BM_AllThreeLayers)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WindBarbs)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PressureMarks)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Numbers)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WindMaximaSearch)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PressureMarksAndLabels)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
