#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Grids.h"

// GRIB2 forecast hours -> forecast.nc in the layout the viewer loads (eight float (time, y, x)
// fields on NCEP grid 218, latitude/longitude, valid times in seconds since 1970). Messages are
// chosen by their parameter keys, whatever their order; every message's grid is checked before
// anything is converted; NAM's grid 218 is copied as it is and RRFS's rotated grid is regridded
// bilinearly with weights computed once per run.
namespace ingest {

enum class Model { Nam, Rrfs };

struct Options {
    Model model = Model::Rrfs;
    std::string cycle;               // YYYYMMDDHH
    std::vector<int> hours;          // forecast hours, increasing
    std::vector<std::string> files;  // one GRIB2 file per hour (the needed messages, any order)
    std::string output;              // replaced only by a complete file
};

// Display name of the model, stored in the file's "model" attribute and shown by the viewer.
const char* modelName(Model m);

// Valid time of a run's forecast hour, seconds since 1970; -1 for a malformed cycle.
std::int64_t validTime(const std::string& cycle, int hour);

// Converts and writes Options::output (under a temporary name in the same directory, renamed when
// complete). On failure returns false with one line in `error`; the output is left untouched.
bool convert(const Options& opt, std::string& error);

// The run (YYYYMMDDHH) of a file's first GRIB message, or "" when it cannot be read.
std::string runOfFile(const std::string& path);

// Bilinear weights from a rotated grid to grid 218, and the angle that turns winds relative to the
// rotated grid into winds relative to grid 218. Built once per run.
struct Regridder {
    std::vector<std::int64_t> index;   // first of the four source points; -1 outside the source grid
    std::vector<float> fi, fj;         // fractional offsets along i and j
    std::vector<float> cosA, sinA;     // wind rotation per target point
    long ni = 0;

    // Leaves index empty when the grid description is not a rotated grid this code can use.
    static Regridder build(const GridInfo& g);
    // Target values (grid 218, row 0 south) from source values in the message's order.
    void apply(const std::vector<double>& src, std::vector<float>& dst) const;
};

// Removes a converter's half-written output if the process is ended by SIGINT/SIGTERM/SIGHUP.
void removePartialOutputOnSignals();

}  // namespace ingest
