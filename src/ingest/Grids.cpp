#include "Grids.h"

#include <cmath>
#include <cstdio>

namespace ingest {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr double kNcepRadius = 6371229.0;

bool near(double a, double b, double tol) { return std::fabs(a - b) <= tol; }

// Longitude difference a - b folded into -180 ... 180.
double lonDiff(double a, double b) {
    double d = std::fmod(a - b, 360.0);
    if (d > 180.0) d -= 360.0;
    if (d < -180.0) d += 360.0;
    return d;
}

void unit(double lat, double lon, double v[3]) {
    v[0] = std::cos(lat * kDeg) * std::cos(lon * kDeg);
    v[1] = std::cos(lat * kDeg) * std::sin(lon * kDeg);
    v[2] = std::sin(lat * kDeg);
}

void cross(const double a[3], const double b[3], double c[3]) {
    c[0] = a[1] * b[2] - a[2] * b[1];
    c[1] = a[2] * b[0] - a[0] * b[2];
    c[2] = a[0] * b[1] - a[1] * b[0];
}

double dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

std::string fmt(const char* f, double a, double b = 0, double c = 0, double d = 0) {
    char buf[160];
    std::snprintf(buf, sizeof buf, f, a, b, c, d);
    return buf;
}

std::string latText(double lat) { return fmt("%.3f", std::fabs(lat)) + (lat < 0 ? "S" : "N"); }
std::string lonText(double lon) { return fmt("%.3fE", std::fmod(lon + 720.0, 360.0)); }

const char* const kExpected218 =
    "NCEP grid 218 (Lambert conformal 614 x 428, 12190.58 m, LoV 265E, tangent at 25N, first point 12.190N 226.541E)";
const char* const kExpectedRrfs =
    "the RRFS rotated latitude-longitude grid (1127 x 683, 0.1083 deg, southern pole 35.000S 247.000E, "
    "sphere R 6371229 m)";

// NCEP grid 218 on NCEP's sphere.
struct Lambert {
    double n, F, rho0, x0, y0;
    const double R = kNcepRadius, dx = 12190.58;
    Lambert() {
        const double phi1 = 25.0 * kDeg;
        n = std::sin(phi1);
        F = std::cos(phi1) * std::pow(std::tan(kPi / 4 + phi1 / 2), n) / n;
        rho0 = rho(phi1);
        const double r = rho(12.190 * kDeg), th = n * (-133.459 + 95.0) * kDeg;
        x0 = r * std::sin(th);
        y0 = rho0 - r * std::cos(th);
    }
    double rho(double phi) const { return R * F / std::pow(std::tan(kPi / 4 + phi / 2), n); }
};

const Lambert& lambert() {
    static const Lambert l;
    return l;
}

}  // namespace

std::string GridInfo::describe() const {
    std::string s;
    const std::string size = std::to_string(ni) + " x " + std::to_string(nj);
    if (templateNumber == 30) {
        s = "Lambert conformal " + size + ", " + fmt("%.2f m", dx) + ", LoV " + lonText(lov) + ", tangent at " +
            latText(latin1) + (latin2 != latin1 ? "/" + latText(latin2) : std::string()) + ", first point " +
            latText(la1) + " " + lonText(lo1);
    } else if (templateNumber == 1) {
        s = "rotated latitude-longitude " + size + ", " + fmt("%.4f", di) + (dj != di ? fmt("/%.4f", dj) : "") +
            " deg, southern pole " + latText(poleLat) + " " + lonText(poleLon) +
            (rotation != 0.0 ? fmt(", rotated %.3f deg", rotation) : "");
    } else if (templateNumber == 0) {
        s = "regular latitude-longitude " + size;
    } else {
        s = "grid template " + std::to_string(templateNumber) + " " + size;
    }
    return s + (radius > 0 ? fmt(", sphere R %.0f m", radius) : ", non-spherical earth");
}

bool GridInfo::sameGeometry(const GridInfo& o) const {
    return templateNumber == o.templateNumber && ni == o.ni && nj == o.nj && scanningMode == o.scanningMode &&
           la1 == o.la1 && lo1 == o.lo1 && di == o.di && dj == o.dj && poleLat == o.poleLat && poleLon == o.poleLon &&
           rotation == o.rotation && lov == o.lov && dx == o.dx && dy == o.dy && latin1 == o.latin1 &&
           latin2 == o.latin2 && radius == o.radius;
}

std::string grid218Problem(const GridInfo& g) {
    // GRIB2 NAM files say "NCEP's sphere" (6371229 m); grid 218 was defined on 6371200 m.
    const bool ok = g.templateNumber == 30 && g.ni == grid218::kCols && g.nj == grid218::kRows &&
                    near(g.radius, 6371215.0, 20.0) && near(g.la1, 12.190, 0.002) &&
                    near(lonDiff(g.lo1, 226.541), 0.0, 0.002) && near(lonDiff(g.lov, 265.0), 0.0, 1e-4) &&
                    near(g.latin1, 25.0, 1e-4) && near(g.latin2, 25.0, 1e-4) && near(g.dx, 12190.58, 0.5) &&
                    near(g.dy, 12190.58, 0.5) && g.scanningMode == 64;
    if (ok) return std::string();
    return "grid is " + g.describe() + (g.templateNumber == 30 && g.scanningMode != 64 ? " scanning mode " + std::to_string(g.scanningMode) : "") +
           ", expected " + kExpected218;
}

std::string rrfsGridProblem(const GridInfo& g) {
    // The first point is not pinned: the geometry is read from the messages and must only agree
    // across the run, so a shifted domain still regrids correctly.
    const bool ok = g.templateNumber == 1 && g.ni == 1127 && g.nj == 683 && near(g.radius, kNcepRadius, 1.0) &&
                    near(g.di, 0.1083, 5e-6) && near(g.dj, 0.1083, 5e-6) && near(g.poleLat, -35.0, 1e-5) &&
                    near(lonDiff(g.poleLon, 247.0), 0.0, 1e-5) && g.rotation == 0.0 && (g.scanningMode & 0xB0) == 0;
    if (ok) return std::string();
    return "grid is " + g.describe() + ", expected " + kExpectedRrfs;
}

namespace grid218 {

void latLon(double col, double row, double& lat, double& lon) {
    const Lambert& L = lambert();
    const double x = L.x0 + col * L.dx, y = L.y0 + row * L.dx;
    const double rho = std::sqrt(x * x + (L.rho0 - y) * (L.rho0 - y));
    const double theta = std::atan2(x, L.rho0 - y);
    lon = -95.0 + theta / L.n / kDeg;
    lat = (2.0 * std::atan(std::pow(L.R * L.F / rho, 1.0 / L.n)) - kPi / 2) / kDeg;
}

double axisAngle(double lon) {
    // Meridians converge towards the apex: east of LoV the grid's x axis points south of east.
    return -lambert().n * lonDiff(lon, 265.0) * kDeg;
}

}  // namespace grid218

RotatedGrid::RotatedGrid(const GridInfo& g) : la1(g.la1), lo1(g.lo1), di(g.di), dj(g.dj) {
    // Rotated (0, 0) lies 90 degrees north of the southern pole on its meridian; the rotated north
    // pole is the southern pole's antipode.
    unit(g.poleLat + 90.0, g.poleLon, ex);
    unit(-g.poleLat, g.poleLon + 180.0, ez);
    cross(ez, ex, ey);
    if (!(g.scanningMode & 0x40)) dj = -dj;  // rows run north to south
}

void RotatedGrid::toRotated(double lat, double lon, double& rlat, double& rlon) const {
    double p[3];
    unit(lat, lon, p);
    const double z = std::fmax(-1.0, std::fmin(1.0, dot(p, ez)));
    rlat = std::asin(z) / kDeg;
    rlon = std::atan2(dot(p, ey), dot(p, ex)) / kDeg;
}

void RotatedGrid::index(double lat, double lon, double& i, double& j) const {
    double rlat, rlon;
    toRotated(lat, lon, rlat, rlon);
    double d = std::fmod(rlon - lo1, 360.0);
    if (d < 0) d += 360.0;
    if (d > 360.0 - 0.5 * di) d -= 360.0;  // a hair west of the first column is still column 0
    i = d / di;
    j = (rlat - la1) / dj;
}

double RotatedGrid::axisAngle(double lat, double lon) const {
    double p[3], e[3], n[3], re[3];
    unit(lat, lon, p);
    const double up[3] = {0.0, 0.0, 1.0};
    cross(up, p, e);   // geographic east
    cross(p, e, n);    // geographic north
    cross(ez, p, re);  // rotated east
    return std::atan2(dot(re, n), dot(re, e));
}

}  // namespace ingest
