// skyloom-sample-forecast: writes a synthetic NAM-like forecast.nc for demonstrations and tests.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ForecastWriter.h"

namespace {

const char kUsage[] =
    "usage: skyloom-sample-forecast OUTPUT.nc [--steps N] [--step-hours H] [--start UNIX_SECONDS]\n"
    "                              [--seed N] [--size NXxNY] [--missing-value] [--missing-points N]\n";

void usage() { std::fputs(kUsage, stderr); }

void help() {
    std::fputs(kUsage, stdout);
    std::fputs("Writes a synthetic forecast for the Skyloom viewer: a netCDF classic file laid out like NAM on\n"
               "NCEP grid 218, with lows and highs drifting east, winds around them, a meandering jet stream,\n"
               "temperature with a diurnal cycle, and cloud and precipitation near the lows. The file is\n"
               "written beside OUTPUT.nc and renamed into place when complete. Works offline.\n"
               "\n"
               "  --steps N             number of forecast steps (default 29)\n"
               "  --step-hours H        hours between steps (default 3)\n"
               "  --start UNIX_SECONDS  time of the first step (default: the latest 00, 06, 12 or 18 UTC)\n"
               "  --seed N              seed of the weather pattern (default 1)\n"
               "  --size NXxNY          grid size in points (default 614x428, grid 218)\n"
               "  --missing-value       give each field a missing_value attribute besides _FillValue\n"
               "  --missing-points N    set N random wind points (both levels) to the fill value\n"
               "  --help                print this text and exit\n"
               "Exit status: 0 when the file was written, 1 when it could not be, 2 for bad arguments.\n",
               stdout);
}

bool parseLong(const char* text, long long lo, long long hi, long long& out) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno || end == text || *end || v < lo || v > hi) return false;
    out = v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    forecastwriter::SampleOptions opt;
    const char* output = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        long long n = 0;
        if (a == "--help") {
            help();
            return 0;
        } else if (a == "--missing-value") {
            opt.missingValueAttribute = true;
        } else if (a == "--steps" && hasValue && parseLong(argv[i + 1], 1, 100000, n)) {
            opt.steps = static_cast<int>(n), ++i;
        } else if (a == "--step-hours" && hasValue) {
            char* end = nullptr;
            opt.stepHours = std::strtod(argv[++i], &end);
            if (*end || !(opt.stepHours > 0)) {
                std::fprintf(stderr, "skyloom-sample-forecast: bad --step-hours \"%s\"\n", argv[i]);
                return 2;
            }
        } else if (a == "--start" && hasValue && parseLong(argv[i + 1], 0, 1LL << 40, n)) {
            opt.start = n, ++i;
        } else if (a == "--seed" && hasValue && parseLong(argv[i + 1], 0, 4294967295LL, n)) {
            opt.seed = static_cast<unsigned>(n), ++i;
        } else if (a == "--missing-points" && hasValue && parseLong(argv[i + 1], 0, 1LL << 30, n)) {
            opt.missingPoints = static_cast<int>(n), ++i;
        } else if (a == "--size" && hasValue) {
            int nx = 0, ny = 0;
            char tail = 0;
            if (std::sscanf(argv[i + 1], "%dx%d%c", &nx, &ny, &tail) != 2 || nx < 1 || ny < 1 || nx > 20000 || ny > 20000) {
                std::fprintf(stderr, "skyloom-sample-forecast: bad --size \"%s\" (want NXxNY)\n", argv[i + 1]);
                return 2;
            }
            opt.nx = nx, opt.ny = ny, ++i;
        } else if (a[0] != '-' && !output) {
            output = argv[i];
        } else {
            std::fprintf(stderr, "skyloom-sample-forecast: bad argument \"%s\"\n", argv[i]);
            usage();
            return 2;
        }
    }
    if (!output) {
        usage();
        return 2;
    }
    // Write beside the target and rename, so a reader never sees a half-written forecast.
    const std::string tmp = std::string(output) + ".part";
    std::string error;
    if (!forecastwriter::write(tmp, forecastwriter::makeSampleForecast(opt), error)) {
        std::fprintf(stderr, "skyloom-sample-forecast: %s\n", error.c_str());
        std::remove(tmp.c_str());
        return 1;
    }
    if (std::rename(tmp.c_str(), output) != 0) {
        std::perror("skyloom-sample-forecast: rename");
        return 1;
    }
    return 0;
}
