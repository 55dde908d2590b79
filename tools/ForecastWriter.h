#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes netCDF files laid out as wgrib2 writes NAM output, and builds the synthetic sample forecast.
// The file description is generic so tests can derive broken variants (a variable dropped, stored
// with another type or shape) from a good one.
namespace forecastwriter {

enum class ElementType { Float, Double };
enum class FileFormat { Classic, Offset64, NetCDF4 };

struct Dimension {
    std::string name;
    long size = 0;
    bool unlimited = false;  // the record dimension; size is still the number of records written
};

struct Variable {
    std::string name;
    std::vector<std::string> dims;  // dimension names, slowest first
    ElementType type = ElementType::Float;
    std::vector<float> floats;      // values when stored as float
    std::vector<double> doubles;    // values when stored as double
    std::string units;
    std::string longName;
    bool hasFillValue = false;
    bool hasMissingValue = false;
    float fillValue = 9.999e20f;
};

struct Dataset {
    std::vector<Dimension> dims;
    std::vector<Variable> vars;
    FileFormat format = FileFormat::Classic;

    Variable* find(const std::string& name);
    bool remove(const std::string& name);
    // Changes the element type, converting the values.
    void retype(const std::string& name, ElementType type);
};

// Writes the dataset; on failure returns false with a message in `error`.
bool write(const std::string& path, const Dataset& ds, std::string& error);

struct SampleOptions {
    int steps = 29;
    double stepHours = 3.0;
    std::int64_t start = -1;  // seconds since the epoch; -1: the latest 00/06/12/18 UTC cycle
    unsigned seed = 1;
    int nx = 614, ny = 428;
    bool missingValueAttribute = false;
    int missingPoints = 0;  // wind points (both levels, both components) set to the fill value
};

// Start of the most recent 00/06/12/18 UTC cycle at or before `now`.
std::int64_t latestCycle(std::int64_t now);

// The synthetic forecast: lows and highs drifting east, winds around them, a meandering jet,
// temperature with latitude, land/sea contrast and a diurnal cycle, cloud and accumulating
// precipitation near the lows.
Dataset makeSampleForecast(const SampleOptions& opt);

// Latitude and longitude (degrees) of a fractional point of NCEP grid 218.
void grid218LatLon(double col, double row, double& lat, double& lon);
// Inverse: grid 218 (col, row) of a latitude/longitude.
void grid218Point(double lat, double lon, double& col, double& row);

}  // namespace forecastwriter
