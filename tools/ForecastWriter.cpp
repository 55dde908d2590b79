#include "ForecastWriter.h"

#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <random>

namespace forecastwriter {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

// NCEP grid 218: Lambert conformal, tangent at 25N, centre meridian 95W, 12.19058 km spacing.
struct Lambert {
    double R = 6371200.0, n, F, rho0, x0, y0, dx = 12190.58;
    Lambert() {
        const double phi1 = 25.0 * kDeg;
        n = std::sin(phi1);
        F = std::cos(phi1) * std::pow(std::tan(kPi / 4 + phi1 / 2), n) / n;
        rho0 = rho(phi1);
        project(12.190, -133.459, x0, y0);
    }
    double rho(double phi) const { return R * F / std::pow(std::tan(kPi / 4 + phi / 2), n); }
    void project(double lat, double lon, double& x, double& y) const {
        const double r = rho(lat * kDeg), th = n * (lon + 95.0) * kDeg;
        x = r * std::sin(th);
        y = rho0 - r * std::cos(th);
    }
};

const Lambert& lambert() {
    static const Lambert l;
    return l;
}

// A coarse outline of North America (lon, lat), enough for a land/sea contrast.
const double kLand[][2] = {
    {-140, 60},   {-133, 55},   {-125, 49},   {-124, 42}, {-121, 35}, {-117, 32.5}, {-110, 23},
    {-105, 20},   {-97, 16},    {-92, 14.5},  {-88, 13.5}, {-83, 9},  {-78, 8},     {-83, 15},
    {-88, 16},    {-87, 21},    {-90, 21},    {-97, 22},  {-97, 26},  {-94, 29.5},  {-89, 30},
    {-84, 30},    {-82.5, 27.5}, {-81, 25},   {-80, 26.5}, {-81, 31}, {-76, 35},    {-74, 40},
    {-70, 41.5},  {-70, 43.5},  {-66, 44.5},  {-60, 46},  {-53, 47},  {-55, 52},    {-60, 55},
    {-64, 60},    {-78, 62},    {-100, 66},   {-140, 66},
};

bool isLand(double lat, double lon) {
    const int n = sizeof(kLand) / sizeof(kLand[0]);
    bool inside = false;
    for (int i = 0, j = n - 1; i < n; j = i++) {
        const double xi = kLand[i][0], yi = kLand[i][1], xj = kLand[j][0], yj = kLand[j][1];
        if ((yi > lat) != (yj > lat) && lon < (xj - xi) * (lat - yi) / (yj - yi) + xi) inside = !inside;
    }
    return inside;
}

struct PressureSystem {
    double x0, y0;    // position at hour 0, in cells of the full grid
    double ux, uy;    // drift, cells per hour
    double amp;       // hPa, negative for a low
    double radius;    // cells
};

double clampTo(double v, double lo, double hi) { return std::min(std::max(v, lo), hi); }

int check(int status, const std::string& what, std::string& error) {
    if (status != NC_NOERR && error.empty()) error = what + ": " + nc_strerror(status);
    return status;
}

}  // namespace

void grid218LatLon(double col, double row, double& lat, double& lon) {
    const Lambert& L = lambert();
    const double x = L.x0 + col * L.dx, y = L.y0 + row * L.dx;
    const double rho = std::sqrt(x * x + (L.rho0 - y) * (L.rho0 - y));
    const double theta = std::atan2(x, L.rho0 - y);
    lon = -95.0 + theta / L.n / kDeg;
    lat = (2.0 * std::atan(std::pow(L.R * L.F / rho, 1.0 / L.n)) - kPi / 2) / kDeg;
}

void grid218Point(double lat, double lon, double& col, double& row) {
    const Lambert& L = lambert();
    double x, y;
    L.project(lat, lon, x, y);
    col = (x - L.x0) / L.dx;
    row = (y - L.y0) / L.dx;
}

Variable* Dataset::find(const std::string& name) {
    for (Variable& v : vars)
        if (v.name == name) return &v;
    return nullptr;
}

bool Dataset::remove(const std::string& name) {
    auto it = std::find_if(vars.begin(), vars.end(), [&](const Variable& v) { return v.name == name; });
    if (it == vars.end()) return false;
    vars.erase(it);
    return true;
}

void Dataset::retype(const std::string& name, ElementType type) {
    Variable* v = find(name);
    if (!v || v->type == type) return;
    if (type == ElementType::Double) {
        v->doubles.assign(v->floats.begin(), v->floats.end());
        v->floats.clear();
    } else {
        v->floats.assign(v->doubles.begin(), v->doubles.end());
        v->doubles.clear();
    }
    v->type = type;
}

bool write(const std::string& path, const Dataset& ds, std::string& error) {
    error.clear();
    int mode = NC_CLOBBER;
    if (ds.format == FileFormat::Offset64) mode |= NC_64BIT_OFFSET;
    if (ds.format == FileFormat::NetCDF4) mode |= NC_NETCDF4;
    int nc = -1;
    if (check(nc_create(path.c_str(), mode, &nc), "cannot create " + path, error)) return false;
    nc_set_fill(nc, NC_NOFILL, nullptr);

    std::vector<int> dimIds;
    for (const Dimension& d : ds.dims) {
        int id = -1;
        check(nc_def_dim(nc, d.name.c_str(), d.unlimited ? NC_UNLIMITED : static_cast<size_t>(d.size), &id),
              "dimension " + d.name, error);
        dimIds.push_back(id);
    }
    auto dimIndex = [&](const std::string& name) {
        for (size_t i = 0; i < ds.dims.size(); ++i)
            if (ds.dims[i].name == name) return static_cast<int>(i);
        return -1;
    };
    std::vector<int> varIds;
    for (const Variable& v : ds.vars) {
        std::vector<int> ids;
        for (const std::string& dn : v.dims) {
            const int i = dimIndex(dn);
            if (i < 0) {
                error = "variable " + v.name + " uses unknown dimension " + dn;
                nc_close(nc);
                return false;
            }
            ids.push_back(dimIds[i]);
        }
        int id = -1;
        check(nc_def_var(nc, v.name.c_str(), v.type == ElementType::Float ? NC_FLOAT : NC_DOUBLE,
                         static_cast<int>(ids.size()), ids.data(), &id),
              "variable " + v.name, error);
        if (!v.units.empty()) nc_put_att_text(nc, id, "units", v.units.size(), v.units.c_str());
        if (!v.longName.empty()) nc_put_att_text(nc, id, "long_name", v.longName.size(), v.longName.c_str());
        if (v.type == ElementType::Float) {
            if (v.hasFillValue) check(nc_put_att_float(nc, id, "_FillValue", NC_FLOAT, 1, &v.fillValue), "_FillValue", error);
            if (v.hasMissingValue) check(nc_put_att_float(nc, id, "missing_value", NC_FLOAT, 1, &v.fillValue), "missing_value", error);
        }
        varIds.push_back(id);
    }
    const char* conventions = "COARDS";
    nc_put_att_text(nc, NC_GLOBAL, "Conventions", 6, conventions);
    check(nc_enddef(nc), "leaving define mode", error);

    for (size_t i = 0; i < ds.vars.size() && error.empty(); ++i) {
        const Variable& v = ds.vars[i];
        std::vector<size_t> start(v.dims.size(), 0), count;
        size_t total = 1;
        for (const std::string& dn : v.dims) {
            count.push_back(static_cast<size_t>(ds.dims[dimIndex(dn)].size));
            total *= count.back();
        }
        const size_t have = v.type == ElementType::Float ? v.floats.size() : v.doubles.size();
        if (have != total) {
            error = "variable " + v.name + " has " + std::to_string(have) + " values for " + std::to_string(total) + " cells";
            break;
        }
        if (total == 0) continue;
        if (v.type == ElementType::Float)
            check(nc_put_vara_float(nc, varIds[i], start.data(), count.data(), v.floats.data()), "writing " + v.name, error);
        else
            check(nc_put_vara_double(nc, varIds[i], start.data(), count.data(), v.doubles.data()), "writing " + v.name, error);
    }
    const int closed = nc_close(nc);
    if (error.empty()) check(closed, "closing " + path, error);
    return error.empty();
}

std::int64_t latestCycle(std::int64_t now) {
    const std::int64_t six = 6 * 3600;
    return now - ((now % six) + six) % six;
}

Dataset makeSampleForecast(const SampleOptions& opt) {
    const int nx = std::max(opt.nx, 1), ny = std::max(opt.ny, 1), nt = std::max(opt.steps, 0);
    const size_t plane = static_cast<size_t>(nx) * ny, total = plane * nt;
    const float fill = 9.999e20f;

    Dataset ds;
    ds.dims = {{"time", nt, true}, {"y", ny, false}, {"x", nx, false}};

    // A smaller grid covers the same area more coarsely, so its weather looks the same.
    const double sx = nx > 1 ? 613.0 / (nx - 1) : 0.0, sy = ny > 1 ? 427.0 / (ny - 1) : 0.0;

    std::vector<double> lat(plane), lon(plane);
    std::vector<unsigned char> land(plane);
    for (int r = 0; r < ny; ++r)
        for (int c = 0; c < nx; ++c) {
            const size_t p = static_cast<size_t>(r) * nx + c;
            grid218LatLon(c * sx, r * sy, lat[p], lon[p]);
            land[p] = isLand(lat[p], lon[p]);
        }

    std::mt19937 rng(opt.seed);
    std::uniform_real_distribution<double> U(0.0, 1.0);
    std::vector<PressureSystem> systems;
    for (int i = 0; i < 9; ++i) {
        const bool low = i % 2 == 0;
        PressureSystem s;
        s.x0 = -200.0 + (i + U(rng) * 0.6) * (1014.0 / 9.0);
        s.y0 = low ? 200.0 + U(rng) * 200.0 : 80.0 + U(rng) * 220.0;
        s.ux = 1.8 + U(rng) * 1.6;
        s.uy = (U(rng) - 0.4) * 0.6;
        s.amp = low ? -(18.0 + U(rng) * 32.0) : 10.0 + U(rng) * 22.0;
        s.radius = low ? 45.0 + U(rng) * 40.0 : 80.0 + U(rng) * 60.0;
        systems.push_back(s);
    }
    const double jetPhase = U(rng) * 400.0;

    std::int64_t start = opt.start;
    if (start < 0) start = latestCycle(static_cast<std::int64_t>(std::time(nullptr)));

    std::vector<float> ugrd(total), vgrd(total), ujet(total), vjet(total), tmp(total), prmsl(total), tcdc(total),
        apcp(total);
    std::vector<double> times(nt);
    for (int k = 0; k < nt; ++k) {
        const double hours = k * opt.stepHours;
        times[k] = static_cast<double>(start) + hours * 3600.0;
        const double utcHour = std::fmod(std::fmod(times[k] / 3600.0, 24.0) + 24.0, 24.0);
        // Positions of the systems at this hour; they wrap round so the map is never empty.
        std::vector<PressureSystem> now = systems;
        for (PressureSystem& s : now) {
            s.x0 = std::fmod(s.x0 + s.ux * hours + 200.0, 1014.0) - 200.0;
            s.y0 = clampTo(s.y0 + s.uy * hours, 20.0, 410.0);
        }
        for (int r = 0; r < ny; ++r) {
            for (int c = 0; c < nx; ++c) {
                const size_t p = static_cast<size_t>(r) * nx + c, q = static_cast<size_t>(k) * plane + p;
                const double X = c * sx, Y = r * sy;
                double pres = 1012.0, dpx = 0.0, dpy = 0.0, lowness = 0.0;
                for (const PressureSystem& s : now) {
                    const double ddx = X - s.x0, ddy = Y - s.y0, R2 = s.radius * s.radius;
                    const double g = std::exp(-(ddx * ddx + ddy * ddy) / (2.0 * R2));
                    pres += s.amp * g;
                    dpx += -s.amp * g * ddx / R2;
                    dpy += -s.amp * g * ddy / R2;
                    if (s.amp < 0) {
                        const double gc = std::exp(-(ddx * ddx + ddy * ddy) / (2.0 * 0.6 * R2));
                        lowness = std::max(lowness, gc * std::min(1.0, -s.amp / 30.0));
                    }
                }
                prmsl[q] = static_cast<float>(clampTo(pres, 960.0, 1045.0) * 100.0);

                // Surface wind: counter-clockwise round lows with some inflow, weaker over land.
                const double k10 = 6.0;  // roughly 1 / (air density x Coriolis), less friction, per Pa/km
                double u = -k10 * dpy * 100.0 / 12.0 - 0.25 * k10 * dpx * 100.0 / 12.0;
                double v = k10 * dpx * 100.0 / 12.0 - 0.25 * k10 * dpy * 100.0 / 12.0;
                u += 1.5 * std::sin(X / 37.0 + hours / 9.0);
                v += 1.5 * std::cos(Y / 29.0 - hours / 7.0);
                if (land[p]) u *= 0.6, v *= 0.6;
                const double sp = std::hypot(u, v);
                if (sp > 25.0) u *= 25.0 / sp, v *= 25.0 / sp;
                ugrd[q] = static_cast<float>(u);
                vgrd[q] = static_cast<float>(v);

                // Jet stream: a meandering core drifting east.
                const double phase = 2.0 * kPi * (X - 2.5 * hours + jetPhase) / 420.0;
                const double yc = 300.0 + 45.0 * std::sin(phase) + 15.0 * std::sin(2.3 * phase + 1.0);
                const double slope = (45.0 * std::cos(phase) + 34.5 * std::cos(2.3 * phase + 1.0)) * 2.0 * kPi / 420.0;
                const double d = (Y - yc) / std::sqrt(1.0 + slope * slope);
                const double core = 0.85 + 0.15 * std::sin(X / 60.0 + hours / 12.0);
                const double js = 8.0 + 72.0 * core * std::exp(-d * d / (2.0 * 32.0 * 32.0));
                const double norm = std::sqrt(1.0 + slope * slope);
                ujet[q] = static_cast<float>(js / norm);
                vjet[q] = static_cast<float>(js * slope / norm);

                // Cloud near the lows and under the jet.
                const double texture = 0.12 * std::sin(X / 11.0 + Y / 17.0 + hours / 5.0) * std::cos(Y / 13.0 - X / 23.0);
                const double cl = clampTo(1.25 * lowness + 0.2 * std::exp(-d * d / (2.0 * 40.0 * 40.0)) + texture - 0.05, 0.0, 1.0);
                tcdc[q] = static_cast<float>(100.0 * cl);

                // Temperature: latitude, land/sea, day and night, cooler under cloud.
                const double localHour = utcHour + lon[p] / 15.0;
                const double diurnal = std::cos(2.0 * kPi * (localHour - 15.0) / 24.0);
                double t = 301.0 - 0.75 * (lat[p] - 20.0);
                t += land[p] ? 7.0 * diurnal - 0.08 * std::max(0.0, lat[p] - 35.0) * 10.0 : 1.2 * diurnal + 1.5;
                t -= 2.5 * cl * (diurnal > 0 ? 1.0 : -0.5);
                t += 2.0 * lowness * (X > 0 ? 1.0 : 0.0);
                tmp[q] = static_cast<float>(clampTo(t, 240.0, 315.0));

                // Precipitation accumulates from the start of the run; NAM has none at hour 0.
                if (k == 0) {
                    apcp[q] = fill;
                } else {
                    const double rate = 6.0 * std::max(0.0, cl - 0.55) * (0.4 + lowness) * (opt.stepHours / 3.0);
                    const float prev = k == 1 ? 0.0f : apcp[q - plane];
                    apcp[q] = static_cast<float>(prev + rate);
                }
            }
        }
    }

    if (opt.missingPoints > 0 && total > 0) {
        std::uniform_int_distribution<size_t> pick(0, total - 1);
        for (int i = 0; i < opt.missingPoints; ++i) {
            const size_t q = pick(rng);
            ugrd[q] = vgrd[q] = ujet[q] = vjet[q] = fill;
        }
    }

    auto field = [&](const char* name, std::vector<float>& values, const char* units, const char* longName) {
        Variable v;
        v.name = name;
        v.dims = {"time", "y", "x"};
        v.floats.swap(values);
        v.units = units;
        v.longName = longName;
        v.hasFillValue = true;
        v.hasMissingValue = opt.missingValueAttribute;
        v.fillValue = fill;
        ds.vars.push_back(std::move(v));
    };
    field("UGRD_10maboveground", ugrd, "m/s", "U-Component of Wind");
    field("VGRD_10maboveground", vgrd, "m/s", "V-Component of Wind");
    field("UGRD_250mb", ujet, "m/s", "U-Component of Wind");
    field("VGRD_250mb", vjet, "m/s", "V-Component of Wind");
    field("TMP_2maboveground", tmp, "K", "Temperature");
    field("PRMSL_meansealevel", prmsl, "Pa", "Pressure Reduced to MSL");
    field("TCDC_entireatmosphere_consideredasasinglelayer_", tcdc, "%", "Total Cloud Cover");
    field("APCP_surface", apcp, "kg/m^2", "Total Precipitation");

    auto coord = [&](const char* name, std::vector<std::string> dims, std::vector<double>& values, const char* units) {
        Variable v;
        v.name = name;
        v.dims = std::move(dims);
        v.type = ElementType::Double;
        v.doubles.swap(values);
        v.units = units;
        ds.vars.push_back(std::move(v));
    };
    coord("latitude", {"y", "x"}, lat, "degrees_north");
    coord("longitude", {"y", "x"}, lon, "degrees_east");
    coord("time", {"time"}, times, "seconds since 1970-01-01 00:00:00.0 0:00");
    return ds;
}

}  // namespace forecastwriter
