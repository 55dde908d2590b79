// Writes an RRFS run shaped like NOAA's files (see tests/support/GribFixtures.h) for
// bench/measure_ingest.sh:  bench_rrfs_fixture DIR YYYYMMDDHH H,H,...
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "GribFixtures.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_rrfs_fixture DIR YYYYMMDDHH H,H,...\n");
        return 2;
    }
    std::vector<int> hours;
    std::stringstream list(argv[3]);
    for (std::string h; std::getline(list, h, ',');) hours.push_back(std::atoi(h.c_str()));
    const gribfixture::RunFiles run = gribfixture::writeRrfsRun(argv[1], argv[2], hours);
    std::printf("%zu hours: %ld bytes of wanted messages in %ld bytes of GRIB files\n", hours.size(),
                run.wantedBytes, run.totalBytes);
    return 0;
}
