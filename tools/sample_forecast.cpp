// skyloom-sample-forecast: writes a synthetic NAM-like forecast.nc for demonstrations and tests.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ForecastWriter.h"

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: skyloom-sample-forecast OUTPUT.nc [--steps N] [--step-hours H] [--start UNIX_SECONDS]\n"
                 "                              [--seed N] [--size NXxNY] [--missing-value] [--missing-points N]\n");
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
        if (a == "--missing-value") {
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
