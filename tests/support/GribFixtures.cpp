#include "GribFixtures.h"

#include <eccodes.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

namespace gribfixture {

namespace {

using Handle = std::unique_ptr<codes_handle, int (*)(codes_handle*)>;

// A fixture that cannot be built is a bug in this file: stop at once with the reason.
void check(bool ok, const std::string& what) {
    if (ok) return;
    std::fprintf(stderr, "GRIB fixture: %s\n", what.c_str());
    std::abort();
}

void set(codes_handle* h, const char* key, long v) {
    const int err = codes_set_long(h, key, v);
    check(err == 0, std::string("setting ") + key + ": " + codes_get_error_message(err));
}

// One message on the grid, values not yet set; built once per grid and cloned.
codes_handle* base(Grid grid) {
    // Kept for the whole process (not destroyed at exit, so never reported as leaked).
    static std::map<Grid, codes_handle*>& cache = *new std::map<Grid, codes_handle*>;
    codes_handle*& h = cache[grid];
    if (h) return h;
    h = codes_handle_new_from_samples(nullptr, "GRIB2");
    set(h, "centre", 7);
    long n = 0;
    if (grid == Grid::Nam218) {
        set(h, "gridDefinitionTemplateNumber", 30);
        for (auto kv : std::vector<std::pair<const char*, long>>{
                 {"shapeOfTheEarth", 6}, {"Nx", 614}, {"Ny", 428}, {"latitudeOfFirstGridPoint", 12190000},
                 {"longitudeOfFirstGridPoint", 226541000}, {"resolutionAndComponentFlags", 8}, {"LaD", 25000000},
                 {"LoV", 265000000}, {"Dx", 12190580}, {"Dy", 12190580}, {"scanningMode", 64},
                 {"Latin1", 25000000}, {"Latin2", 25000000}, {"latitudeOfSouthernPole", -90000000},
                 {"longitudeOfSouthernPole", 0}})
            set(h, kv.first, kv.second);
        n = 614 * 428;
    } else if (grid == Grid::Rrfs) {
        // Rotated longitudes -61 ... 60.9458, latitudes -37 ... 36.8606: centred on the pole's meridian.
        set(h, "gridDefinitionTemplateNumber", 1);
        for (auto kv : std::vector<std::pair<const char*, long>>{
                 {"shapeOfTheEarth", 6}, {"Ni", 1127}, {"Nj", 683}, {"latitudeOfFirstGridPoint", -37000000},
                 {"longitudeOfFirstGridPoint", 299000000}, {"latitudeOfLastGridPoint", 36860600},
                 {"longitudeOfLastGridPoint", 60945800}, {"iDirectionIncrement", 108300},
                 {"jDirectionIncrement", 108300}, {"resolutionAndComponentFlags", 56}, {"scanningMode", 64},
                 {"latitudeOfSouthernPole", -35000000}, {"longitudeOfSouthernPole", 247000000},
                 {"angleOfRotation", 0}})
            set(h, kv.first, kv.second);
        n = 1127 * 683;
    } else {
        size_t size = 0;
        codes_get_size(h, "values", &size);
        n = static_cast<long>(size);
    }
    codes_set_string(h, "packingType", "grid_simple", nullptr);
    std::vector<double> zeros(static_cast<size_t>(n), 0.0);
    check(codes_set_double_array(h, "values", zeros.data(), zeros.size()) == 0, "sizing the grid");
    return h;
}

}  // namespace

void gridPoints(Grid grid, std::vector<double>& lat, std::vector<double>& lon) {
    static auto& cache = *new std::map<Grid, std::pair<std::vector<double>, std::vector<double>>>;
    auto& c = cache[grid];
    if (c.first.empty()) {
        int err = 0;
        codes_iterator* it = codes_grib_iterator_new(base(grid), 0, &err);
        check(it != nullptr, std::string("grid iterator: ") + codes_get_error_message(err));
        double la, lo, v;
        while (codes_grib_iterator_next(it, &la, &lo, &v)) {
            c.first.push_back(la);
            c.second.push_back(lo);
        }
        codes_grib_iterator_delete(it);
    }
    lat = c.first;
    lon = c.second;
}

Message heightAbove(const char* var, long cat, long num, long metres, double constant) {
    Message m;
    m.idxVar = var;
    m.idxLevel = std::to_string(metres) + " m above ground";
    m.category = cat, m.number = num, m.surface = 103, m.scaledLevel = metres, m.constant = constant;
    return m;
}

Message isobaric(const char* var, long cat, long num, long hPa, double constant) {
    Message m;
    m.idxVar = var;
    m.idxLevel = std::to_string(hPa) + " mb";
    m.category = cat, m.number = num, m.surface = 100, m.scaledLevel = hPa * 100, m.constant = constant;
    return m;
}

Message surfaceField(const char* var, const char* level, long cat, long num, long surface, double constant) {
    Message m;
    m.idxVar = var;
    m.idxLevel = level;
    m.category = cat, m.number = num, m.surface = surface, m.constant = constant;
    return m;
}

Written writeHour(const std::string& path, Grid grid, const std::string& cycle, int hour,
                  const std::vector<Message>& messages) {
    Written w;
    w.path = path;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::FILE* idx = std::fopen((path + ".idx").c_str(), "w");
    check(f && idx, "cannot write " + path);
    long offset = 0;
    size_t points = 0;
    codes_get_size(base(grid), "values", &points);
    for (size_t k = 0; k < messages.size(); ++k) {
        const Message& m = messages[k];
        Handle h(codes_handle_clone(base(grid)), codes_handle_delete);
        codes_handle* g = h.get();
        set(g, "productDefinitionTemplateNumber", m.accumFrom >= 0 ? 8 : 0);
        set(g, "dataDate", std::stol(cycle.substr(0, 8)));
        set(g, "dataTime", std::stol(cycle.substr(8, 2)) * 100);
        set(g, "significanceOfReferenceTime", 1);
        set(g, "discipline", 0);
        set(g, "parameterCategory", m.category);
        set(g, "parameterNumber", m.number);
        set(g, "typeOfFirstFixedSurface", m.surface);
        set(g, "scaleFactorOfFirstFixedSurface", m.scaleFactor);
        set(g, "scaledValueOfFirstFixedSurface", m.scaledLevel);
        set(g, "indicatorOfUnitOfTimeRange", 1);
        std::string time = hour == 0 ? "anl" : std::to_string(hour) + " hour fcst";
        if (m.accumFrom >= 0) {
            set(g, "typeOfStatisticalProcessing", m.statistic);
            set(g, "forecastTime", m.accumFrom);
            set(g, "indicatorOfUnitForTimeRange", 1);
            set(g, "lengthOfTimeRange", hour - m.accumFrom);
            // wgrib2 writes whole days as days ("0-1 day acc fcst" at hour 24).
            const bool days = m.accumFrom % 24 == 0 && hour % 24 == 0;
            const long unit = days ? 24 : 1;
            time = std::to_string(m.accumFrom / unit) + "-" + std::to_string(hour / unit) + (days ? " day " : " hour ") +
                   (m.statistic == 0 ? "ave" : "acc") + " fcst";
        } else {
            set(g, "forecastTime", hour);
        }
        if (m.values.empty()) {
            std::vector<double> v(points, m.constant);
            check(codes_set_double_array(g, "values", v.data(), v.size()) == 0, "constant values");
        } else {
            // JPEG 2000, as NCEP packs many fields: small files, and decoding costs what it does on
            // real ones. (ecCodes 2.28 mis-encodes some of these wind fields with complex packing.)
            check(m.values.size() == points, "values for another grid");
            set(g, "bitsPerValue", 16);
            check(codes_set_double_array(g, "values", m.values.data(), m.values.size()) == 0, "values");
            const char* packing = "grid_jpeg";
            size_t len = std::strlen(packing);
            check(codes_set_string(g, "packingType", packing, &len) == 0, "packing");
        }
        const void* bytes = nullptr;
        size_t size = 0;
        codes_get_message(g, &bytes, &size);
        std::fwrite(bytes, 1, size, f);
        std::fprintf(idx, "%zu:%ld:d=%s:%s:%s:%s:\n", k + 1, offset, cycle.c_str(), m.idxVar.c_str(),
                     m.idxLevel.c_str(), time.c_str());
        w.offsets.push_back(offset);
        w.sizes.push_back(static_cast<long>(size));
        offset += static_cast<long>(size);
    }
    std::fclose(f);
    std::fclose(idx);
    return w;
}

void earthToGrid(Grid grid, double east, double north, std::vector<double>& u, std::vector<double>& v) {
    std::vector<double> lat, lon;
    gridPoints(grid, lat, lon);
    long ni = 0;
    codes_get_long(base(grid), grid == Grid::Nam218 ? "Nx" : "Ni", &ni);
    const double deg = M_PI / 180.0;
    u.resize(lat.size());
    v.resize(lat.size());
    for (size_t p = 0; p < lat.size(); ++p) {
        const long i = static_cast<long>(p % ni);
        const size_t a = i > 0 ? p - 1 : p, b = i + 1 < ni ? p + 1 : p;
        double dlon = std::fmod(lon[b] - lon[a] + 540.0, 360.0) - 180.0;
        const double psi = std::atan2(lat[b] - lat[a], dlon * std::cos(lat[p] * deg));
        u[p] = east * std::cos(psi) + north * std::sin(psi);
        v[p] = -east * std::sin(psi) + north * std::cos(psi);
    }
}

double rrfsTemperature(double lat, double lon, int hour) {
    const double deg = M_PI / 180.0;
    return 260.0 + hour + 0.8 * lat + 6.0 * std::cos((lon + 100.0) * 6.0 * deg) * std::cos(lat * 4.5 * deg);
}

RunFiles writeRrfsRun(const std::string& root, const std::string& cycle, const std::vector<int>& hours) {
    RunFiles run;
    const std::string hh = cycle.substr(8, 2);
    const std::string dir = root + "/rrfs." + cycle.substr(0, 8) + "/" + hh;
    std::filesystem::create_directories(dir);
    std::vector<double> lat, lon, u10, v10, u250, v250;
    gridPoints(Grid::Rrfs, lat, lon);
    earthToGrid(Grid::Rrfs, 10.0, 0.0, u10, v10);
    earthToGrid(Grid::Rrfs, 0.0, 30.0, u250, v250);
    for (int h : hours) {
        char name[64];
        Message t2 = heightAbove("TMP", 0, 0, 2, 0.0);
        t2.values.resize(lat.size());
        for (size_t p = 0; p < lat.size(); ++p) t2.values[p] = rrfsTemperature(lat[p], lon[p], h);
        Message u = heightAbove("UGRD", 2, 2, 10, 0.0), v = heightAbove("VGRD", 2, 3, 10, 0.0);
        u.values = u10;
        v.values = v10;
        std::vector<Message> m = {
            surfaceField("PRES", "surface", 3, 0, 1, 95000), surfaceField("HGT", "surface", 3, 5, 1, 300),
            surfaceField("TMP", "surface", 0, 0, 1, 290), surfaceField("MSLET", "mean sea level", 3, 192, 101, 101000 + 10 * h),
            surfaceField("VIS", "surface", 19, 0, 1, 20000), surfaceField("GUST", "surface", 2, 22, 1, 12),
            t2, heightAbove("SPFH", 1, 0, 2, 0.01), heightAbove("DPT", 0, 6, 2, 280), heightAbove("RH", 1, 1, 2, 70),
            u, v, heightAbove("UGRD", 2, 2, 80, 99), heightAbove("VGRD", 2, 3, 80, 99),
            surfaceField("CAPE", "surface", 7, 6, 1, 500), surfaceField("LCDC", "low cloud layer", 6, 3, 214, 50),
            surfaceField("HCDC", "high cloud layer", 6, 5, 234, 40)};
        std::vector<bool> wanted(m.size(), false);
        for (int k : {3, 6, 10, 11}) wanted[k] = true;
        if (h > 0) {
            Message bucket = surfaceField("APCP", "surface", 1, 8, 1, 99), total = bucket;
            bucket.accumFrom = h - 1;
            total.accumFrom = 0;
            total.constant = 0.5 * h;
            m.push_back(bucket);
            wanted.push_back(false);
            m.push_back(total);
            wanted.push_back(true);
            m.push_back(surfaceField("WEASD", "surface", 0, 13, 1, 0));
            wanted.push_back(false);
        }
        if (h > 0) {
            Message average = surfaceField("TCDC", "entire atmosphere (considered as a single layer)", 6, 1, 10, 77);
            average.accumFrom = h - 1;
            average.statistic = 0;
            m.push_back(average);
            wanted.push_back(false);
        }
        m.push_back(surfaceField("TCDC", "entire atmosphere (considered as a single layer)", 6, 1, 10, 10 + h));
        wanted.push_back(true);
        m.push_back(surfaceField("PWAT", "entire atmosphere (considered as a single layer)", 1, 3, 200, 20));
        wanted.push_back(false);
        std::snprintf(name, sizeof name, "/rrfs.t%sz.2dfld.13km.f%03d.na.grib2", hh.c_str(), h);
        Written w = writeHour(dir + name, Grid::Rrfs, cycle, h, m);
        run.twoD.push_back(w.path);
        for (size_t k = 0; k < m.size(); ++k) {
            run.totalBytes += w.sizes[k];
            if (wanted[k]) run.wantedBytes += w.sizes[k];
        }

        m.clear();
        wanted.clear();
        for (long level : {1000, 925, 850, 700, 500, 300, 250, 200}) {
            for (int var = 0; var < 4; ++var) {
                static const char* names[] = {"HGT", "TMP", "UGRD", "VGRD"};
                static const long cat[] = {3, 0, 2, 2}, num[] = {5, 0, 2, 3};
                Message x = isobaric(names[var], cat[var], num[var], level, 100.0 + var);
                const bool jet = level == 250 && var >= 2;
                if (jet) x.values = var == 2 ? u250 : v250;
                m.push_back(x);
                wanted.push_back(jet);
            }
        }
        std::snprintf(name, sizeof name, "/rrfs.t%sz.prslev.13km.f%03d.na.grib2", hh.c_str(), h);
        w = writeHour(dir + name, Grid::Rrfs, cycle, h, m);
        run.prslev.push_back(w.path);
        for (size_t k = 0; k < m.size(); ++k) {
            run.totalBytes += w.sizes[k];
            if (wanted[k]) run.wantedBytes += w.sizes[k];
        }
    }
    return run;
}

void writeNamHour(const std::string& path, const std::string& cycle, int hour, unsigned seed, Grid grid) {
    std::vector<double> lat, lon;
    gridPoints(grid, lat, lon);
    Message t2 = heightAbove("TMP", 0, 0, 2, 0.0);
    t2.values.resize(lat.size());
    const size_t cols = grid == Grid::Nam218 ? 614 : lat.size();
    for (size_t p = 0; p < lat.size(); ++p) t2.values[p] = 200.0 + hour + 0.1 * (p / cols) + 0.01 * (p % cols);
    std::vector<Message> m = {
        surfaceField("PRMSL", "mean sea level", 3, 1, 101, 101000 + 10 * hour),
        surfaceField("PRES", "surface", 3, 0, 1, 95000),
        isobaric("TMP", 0, 0, 250, 220),
        surfaceField("TMP", "surface", 0, 0, 1, 290),
        t2,
        heightAbove("UGRD", 2, 2, 10, 1.5),
        heightAbove("VGRD", 2, 3, 10, -2.5),
        surfaceField("TCDC", "entire atmosphere (considered as a single layer)", 6, 1, 200, 10 + hour),
    };
    if (hour >= 6) {
        Message bucket = surfaceField("APCP", "surface", 1, 8, 1, 99);
        bucket.accumFrom = hour - 3;
        m.push_back(bucket);
    }
    if (hour > 0) {
        Message total = surfaceField("APCP", "surface", 1, 8, 1, 0.5 * hour);
        total.accumFrom = 0;
        m.push_back(total);
    }
    m.push_back(isobaric("HGT", 3, 5, 250, 10500));
    m.push_back(isobaric("UGRD", 2, 2, 250, 30));
    m.push_back(isobaric("VGRD", 2, 3, 250, -10));
    m.push_back(isobaric("UGRD", 2, 2, 200, 35));
    if (seed) std::shuffle(m.begin(), m.end(), std::mt19937(seed));
    writeHour(path, grid, cycle, hour, m);
}

}  // namespace gribfixture
