#pragma once

#include <functional>
#include <string>
#include <vector>

// GRIB2 forecast hours shaped like NCEP's files, written with ecCodes: NAM awphys hours on grid 218
// and RRFS 2dfld/prslev hours on the 13 km rotated grid, each with a wgrib2-style .idx sidecar.
namespace gribfixture {

enum class Grid { Nam218, Rrfs, LatLon };

// Latitude/longitude (degrees) of every point of a grid, in message order, as ecCodes computes them.
void gridPoints(Grid grid, std::vector<double>& lat, std::vector<double>& lon);

struct Message {
    std::string idxVar, idxLevel;  // the .idx line's VAR and LEVEL
    long category = 0, number = 0, surface = 1, scaleFactor = 0, scaledLevel = 0;
    long accumFrom = -1;           // >= 0: a statistic from this hour to the file's hour
    long statistic = 1;            // of that period: 1 accumulation, 0 average
    double constant = 0.0;
    std::vector<double> values;    // message order; empty: the constant everywhere
};

struct Written {
    std::string path;
    std::vector<long> offsets, sizes;  // per message, in file order
};

// Writes the messages in the order given to `path` and `path`.idx.
Written writeHour(const std::string& path, Grid grid, const std::string& cycle, int hour,
                  const std::vector<Message>& messages);

// The usual surface/level keys.
Message heightAbove(const char* var, long cat, long num, long metres, double constant);
Message isobaric(const char* var, long cat, long num, long hPa, double constant);
Message surfaceField(const char* var, const char* level, long cat, long num, long surface, double constant);

// Earth-relative (east, north) wind components turned into components along the grid's axes,
// with the axes measured from ecCodes' coordinates of neighbouring points.
void earthToGrid(Grid grid, double east, double north, std::vector<double>& u, std::vector<double>& v);

// The smooth temperature (K) the RRFS fixture carries, a function of latitude and longitude.
double rrfsTemperature(double lat, double lon, int hour);

// One RRFS run laid out as on the server: ROOT/rrfs.YYYYMMDD/HH/rrfs.tHHz.{2dfld,prslev}.13km.fFFF.na.grib2
// with .idx files. Hundreds of other messages are imitated by a few dozen constant ones; pressure
// comes only as MSLET (101000 + 10 h Pa), precipitation as a 1-hour bucket (99) before the run total
// (0.5 h), cloud as the last hour's average (77) before the instantaneous 10 + h; the 10 m wind is a uniform 10 m/s westerly and the 250 mb wind a uniform
// 30 m/s southerly, both given relative to the rotated grid. Returns the bytes of the wanted messages.
struct RunFiles {
    long wantedBytes = 0, totalBytes = 0;
    std::vector<std::string> twoD, prslev;  // per hour
};
RunFiles writeRrfsRun(const std::string& root, const std::string& cycle, const std::vector<int>& hours);

// A NAM awphys hour on grid 218 in NCEP's order (PRMSL early, the 250 mb winds late, other fields
// around them), or shuffled by `seed` when it is not 0. Values: TMP 2 m 200 + h + 0.1 row + 0.01 col,
// 10 m wind 1.5/-2.5, 250 mb wind 30/-10, PRMSL 101000 + 10 h, TCDC 10 + h, APCP 0-h 0.5 h (a 3-hour
// bucket of 99 from hour 6), extra TMP at 250 mb (220) and at the surface (290).
void writeNamHour(const std::string& path, const std::string& cycle, int hour, unsigned seed = 0,
                  Grid grid = Grid::Nam218);

}  // namespace gribfixture
