// Times ForecastData::load (read + validation + derived winds) on the full 29-step sample against a
// bare read of the same eight fields with the netCDF C library, and reports the peak memory of a
// load against the size of the arrays it holds. Prints figures; asserts nothing.
#include <benchmark/benchmark.h>
#include <netcdf.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "ForecastData.h"

#include "BenchSample.h"

namespace {

const char* const kFields[8] = {"UGRD_10maboveground", "VGRD_10maboveground", "UGRD_250mb", "VGRD_250mb",
                                "TMP_2maboveground", "PRMSL_meansealevel",
                                "TCDC_entireatmosphere_consideredasasinglelayer_", "APCP_surface"};

// The floor: the eight fields read into vectors with the C library and held together, as a load
// holds them; no validation, no derived fields.
size_t rawRead(const std::string& path) {
    int nc = -1;
    if (nc_open(path.c_str(), NC_NOWRITE, &nc) != NC_NOERR) return 0;
    size_t total = 0;
    std::vector<std::vector<float>> held;
    for (const char* name : kFields) {
        int id = -1, dims[3];
        nc_inq_varid(nc, name, &id);
        nc_inq_vardimid(nc, id, dims);
        size_t n = 1;
        for (int d : dims) {
            size_t len = 0;
            nc_inq_dimlen(nc, d, &len);
            n *= len;
        }
        held.emplace_back(n);
        nc_get_var_float(nc, id, held.back().data());
        benchmark::DoNotOptimize(held.back().data());
        total += n;
    }
    nc_close(nc);
    return total;
}

// The per-particle, per-frame operation.
void BM_SampleSlot(benchmark::State& state) {
    static ForecastData fc;
    if (!fc.isLoaded()) {
        std::freopen("/dev/null", "w", stderr);
        fc.load(samplePath().c_str());
    }
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> row(58, 328), col(99, 588);
    std::vector<std::pair<float, float>> pts(4096);
    for (auto& p : pts) p = {row(rng), col(rng)};
    fc.setTime(13.37);
    size_t i = 0;
    for (auto _ : state) {
        const auto& p = pts[i++ & 4095];
        benchmark::DoNotOptimize(fc.sampleSlot(WIND_DIR_X, p.first, p.second, -2));
    }
}
BENCHMARK(BM_SampleSlot);

// Runs `work` in a fresh child process (fresh heap, so every run pays for first-touch memory like a
// real start-up) and returns its wall time in seconds, or -1 on failure. The child also reports its
// peak resident growth in bytes through `peak`.
template <class F>
double timeInChild(F work, double& peak) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        std::freopen("/dev/null", "w", stderr);  // the load's progress lines
        struct rusage before, after;
        getrusage(RUSAGE_SELF, &before);
        const auto t0 = std::chrono::steady_clock::now();
        const bool ok = work();
        const double result[2] = {ok ? std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() : -1.0,
                                  0.0};
        getrusage(RUSAGE_SELF, &after);
        const double out[2] = {result[0], (after.ru_maxrss - before.ru_maxrss) * 1024.0};
        if (write(fds[1], out, sizeof out) != sizeof out) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    double in[2] = {-1, 0};
    if (read(fds[0], in, sizeof in) != sizeof in) in[0] = -1;
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    peak = in[1];
    return in[0];
}

double median3(double a, double b, double c) { return std::max(std::min(a, b), std::min(std::max(a, b), c)); }

void compareLoadWithRawRead() {
    const std::string path = samplePath();
    double loadT[3], rawT[3], loadPeak = 0, rawPeak = 0;
    int rows = 0, cols = 0, steps = 0;
    {
        int nc = -1, id = -1, dims[3];
        if (nc_open(path.c_str(), NC_NOWRITE, &nc) != NC_NOERR) return;
        nc_inq_varid(nc, kFields[0], &id);
        nc_inq_vardimid(nc, id, dims);
        size_t len[3] = {0, 0, 0};
        for (int d = 0; d < 3; ++d) nc_inq_dimlen(nc, dims[d], &len[d]);
        nc_close(nc);
        steps = static_cast<int>(len[0]), rows = static_cast<int>(len[1]), cols = static_cast<int>(len[2]);
    }
    for (int i = 0; i < 3; ++i) {
        loadT[i] = timeInChild([&] { ForecastData fc; return fc.load(path.c_str()); }, loadPeak);
        rawT[i] = timeInChild([&] { return rawRead(path) > 0; }, rawPeak);
    }
    const double load = median3(loadT[0], loadT[1], loadT[2]), raw = median3(rawT[0], rawT[1], rawT[2]);
    const double arrays = (14.0 * steps + 1.0) * rows * cols * sizeof(float) + 2.0 * rows * cols * sizeof(double);
    std::printf("forecast: %d steps of %d x %d points\n", steps, cols, rows);
    std::printf("load + derived fields: %.0f ms (median of 3 fresh processes)\n", load * 1000);
    std::printf("raw netCDF read of the eight fields: %.0f ms\n", raw * 1000);
    std::printf("ratio: %.2f (goal: at most 1.5)\n", load / raw);
    std::printf("memory: arrays held %.1f MiB, peak growth during load %.1f MiB (%+.1f%%; goal: at most +10%%)\n",
                arrays / 1048576.0, loadPeak / 1048576.0, 100.0 * (loadPeak / arrays - 1.0));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    ensureSample();
    compareLoadWithRawRead();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
