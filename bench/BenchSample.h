#pragma once

// The full 29-step sample forecast the benchmarks share: $SKYLOOM_BENCH_FORECAST, or a file in /tmp
// written once with the project's sample tool.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

inline std::string samplePath() {
    if (const char* p = std::getenv("SKYLOOM_BENCH_FORECAST")) return p;
    return "/tmp/skyloom-bench-forecast.nc";
}

inline void ensureSample() {
    struct stat st;
    const std::string path = samplePath();
    if (stat(path.c_str(), &st) == 0) return;
    const std::string cmd = std::string(SKYLOOM_BUILD_DIR) + "/skyloom-sample-forecast " + path + " --steps 29 --start 1700006400";
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}
