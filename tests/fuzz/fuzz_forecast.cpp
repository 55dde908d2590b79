// Forecast loader on classic netCDF input ("CDF\1" or 64-bit offset "CDF\2"); the netCDF
// library's HDF5 reader behind netCDF-4 files is left to its own maintainers.
#include <cstring>

#include "FuzzFile.h"
#include "ForecastData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4 || std::memcmp(data, "CDF", 3) != 0 || (data[3] != 1 && data[3] != 2)) return -1;
    static FuzzFile file;
    ForecastData forecast;
    if (forecast.load(file.write(data, size))) {
        if (forecast.numTimes() < 2 || forecast.numRows() < 2 || forecast.numCols() < 2) std::abort();
    }
    return 0;
}
