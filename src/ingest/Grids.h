#pragma once

#include <string>

// The two model grids the converter accepts and the geometry needed to move fields between them.
// No ecCodes here: GridInfo is filled from a message by GribFile.
namespace ingest {

// wgrib2's fill value, which the viewer treats as missing.
constexpr float kFill = 9.999e20f;

// What a GRIB2 message says about its grid. Angles in degrees, lengths in metres.
struct GridInfo {
    long templateNumber = -1;  // 30 Lambert conformal, 1 rotated latitude-longitude
    long ni = 0, nj = 0;
    double radius = 0.0;       // sphere radius; 0 when the earth is not a sphere of known radius
    long scanningMode = 0;
    bool windsGridRelative = true;
    double la1 = 0.0, lo1 = 0.0;  // first point (rotated coordinates on a rotated grid)
    // Lambert conformal
    double lov = 0.0, latin1 = 0.0, latin2 = 0.0, dx = 0.0, dy = 0.0;
    // rotated latitude-longitude
    double di = 0.0, dj = 0.0, poleLat = 0.0, poleLon = 0.0, rotation = 0.0;

    std::string describe() const;
    // Same geometry (first point, increments, pole): a run's weights fit every message.
    bool sameGeometry(const GridInfo& o) const;
};

// Empty when the grid is NCEP grid 218 (NAM 12 km), else "grid is ..., expected ...".
std::string grid218Problem(const GridInfo& g);
// Empty when the grid is RRFS's 13 km North American rotated latitude-longitude grid.
std::string rrfsGridProblem(const GridInfo& g);

// NCEP grid 218: Lambert conformal tangent at 25N, LoV 95W, 12.19058 km, first point 12.190N 133.459W.
namespace grid218 {
constexpr int kCols = 614, kRows = 428;
void latLon(double col, double row, double& lat, double& lon);  // lon in -180 ... 180
// Angle (radians, counter-clockwise) from geographic east to the grid's x axis at a longitude.
double axisAngle(double lon);
}  // namespace grid218

// A rotated latitude-longitude grid (GRIB2 template 3.1, rotation angle 0).
class RotatedGrid {
public:
    explicit RotatedGrid(const GridInfo& g);
    // Fractional (i, j) of a geographic point in the message's value order.
    void index(double lat, double lon, double& i, double& j) const;
    // Angle (radians, counter-clockwise) from geographic east to the grid's x axis at a point.
    double axisAngle(double lat, double lon) const;

private:
    void toRotated(double lat, double lon, double& rlat, double& rlon) const;
    double ex[3], ey[3], ez[3];  // the rotated frame's axes in geographic Cartesian coordinates
    double la1, lo1, di, dj;
};

}  // namespace ingest
