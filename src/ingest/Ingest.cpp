#include "Ingest.h"
#include "Records.h"

#include <eccodes.h>
#include <netcdf.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

namespace ingest {

namespace {

struct FieldDesc {
    const char* var;    // netCDF name the viewer reads
    const char* label;  // short name in messages (ecCodes' shortName where it has one)
    const char* units;
    const char* longName;
};
const FieldDesc kFields[kFieldCount] = {
    {"UGRD_10maboveground", "10u", "m/s", "U-component of wind at 10 m, relative to the grid"},
    {"VGRD_10maboveground", "10v", "m/s", "V-component of wind at 10 m, relative to the grid"},
    {"UGRD_250mb", "u250", "m/s", "U-component of wind at 250 mb, relative to the grid"},
    {"VGRD_250mb", "v250", "m/s", "V-component of wind at 250 mb, relative to the grid"},
    {"TMP_2maboveground", "2t", "K", "Temperature at 2 m"},
    {"PRMSL_meansealevel", "prmsl", "Pa", "Pressure reduced to mean sea level"},
    {"TCDC_entireatmosphere_consideredasasinglelayer_", "tcc", "%", "Total cloud cover"},
    {"APCP_surface", "tp", "kg/m^2", "Total precipitation since the start of the run"},
};

using Handle = std::unique_ptr<codes_handle, int (*)(codes_handle*)>;
using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

codes_context* quietContext() {
    // ecCodes prints its own errors on stderr; every problem is reported once, in our words.
    static codes_context* ctx = [] {
        codes_context* c = codes_context_get_default();
        codes_context_set_logging_proc(c, [](const codes_context*, int, const char*) {});
        // NCEP sometimes stores u and v as two fields of one message: each becomes its own handle.
        codes_grib_multi_support_on(c);
        return c;
    }();
    return ctx;
}

Handle nextMessage(std::FILE* f, int& err) {
    err = 0;
    return Handle(codes_handle_new_from_file(quietContext(), f, PRODUCT_GRIB, &err), codes_handle_delete);
}

long getLong(codes_handle* h, const char* key, long def = -1) {
    long v = def;
    return codes_get_long(h, key, &v) == 0 ? v : def;
}

double getDouble(codes_handle* h, const char* key, double def = 0.0) {
    double v = def;
    return codes_get_double(h, key, &v) == 0 ? v : def;
}

void readGrid(codes_handle* h, GridInfo& g) {
    g.templateNumber = getLong(h, "gridDefinitionTemplateNumber");
    g.ni = getLong(h, "Ni", getLong(h, "Nx", 0));
    g.nj = getLong(h, "Nj", getLong(h, "Ny", 0));
    g.scanningMode = getLong(h, "scanningMode", 0);
    g.windsGridRelative = (getLong(h, "resolutionAndComponentFlags", 8) & 8) != 0;
    switch (getLong(h, "shapeOfTheEarth", -1)) {
        case 0: g.radius = 6367470.0; break;
        case 6: g.radius = 6371229.0; break;
        case 1: g.radius = getDouble(h, "scaledValueOfRadiusOfSphericalEarth") /
                           std::pow(10.0, getDouble(h, "scaleFactorOfRadiusOfSphericalEarth")); break;
        default: g.radius = 0.0;
    }
    g.la1 = getDouble(h, "latitudeOfFirstGridPointInDegrees");
    g.lo1 = getDouble(h, "longitudeOfFirstGridPointInDegrees");
    if (g.templateNumber == 30) {
        g.lov = getDouble(h, "LoVInDegrees");
        g.latin1 = getDouble(h, "Latin1InDegrees");
        g.latin2 = getDouble(h, "Latin2InDegrees");
        g.dx = getDouble(h, "DxInMetres");
        g.dy = getDouble(h, "DyInMetres");
    } else if (g.templateNumber == 1) {
        g.di = getDouble(h, "iDirectionIncrementInDegrees");
        g.dj = getDouble(h, "jDirectionIncrementInDegrees");
        g.poleLat = getDouble(h, "latitudeOfSouthernPoleInDegrees");
        g.poleLon = getDouble(h, "longitudeOfSouthernPoleInDegrees");
        g.rotation = getDouble(h, "angleOfRotationInDegrees");
    }
}

std::string runOf(codes_handle* h) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08ld%02ld", getLong(h, "dataDate", 0), getLong(h, "dataTime", 0) / 100);
    return buf;
}

// Which of the wanted fields a message holds, by its GRIB2 keys; -1 for everything else.
int classify(codes_handle* h) {
    RecordKeys k;
    k.discipline = getLong(h, "discipline");
    k.category = getLong(h, "parameterCategory");
    k.number = getLong(h, "parameterNumber");
    k.surface = getLong(h, "typeOfFirstFixedSurface");
    k.level = getLong(h, "scaledValueOfFirstFixedSurface", 0) /
              std::pow(10.0, getLong(h, "scaleFactorOfFirstFixedSurface", 0));
    k.pdt = getLong(h, "productDefinitionTemplateNumber");
    k.statistic = getLong(h, "typeOfStatisticalProcessing");
    return classifyRecord(k);
}

// Checks the framing of every GRIB2 message in a file: the length in the indicator section, the
// sections inside it and the end marker. ecCodes reads fields of a multi-field message from one
// shared buffer and, handed a message whose sections overrun it, frees that buffer twice; so
// nothing damaged is given to it. Returns "" or what is wrong.
std::string framingProblem(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return "cannot open " + path + ": " + std::strerror(errno);
    struct stat st{};
    const std::size_t n = fstat(fd, &st) == 0 ? static_cast<std::size_t>(st.st_size) : 0;
    void* map = n > 0 ? mmap(nullptr, n, PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
    close(fd);
    if (map == MAP_FAILED) return std::string();  // empty or unreadable: the scan says so
    const unsigned char* p = static_cast<const unsigned char*>(map);
    auto be = [p](std::size_t at, int bytes) {
        std::uint64_t v = 0;
        for (int k = 0; k < bytes; ++k) v = v << 8 | p[at + k];
        return v;
    };
    std::string problem;
    std::size_t pos = 0;
    for (int count = 1; problem.empty(); ++count) {
        const void* found = memmem(p + pos, n - pos, "GRIB", 4);
        if (!found) break;
        const std::size_t at = static_cast<const unsigned char*>(found) - p;
        const std::string which = "message " + std::to_string(count) + " (byte " + std::to_string(at) + ")";
        if (n - at < 16) {
            problem = which + " is cut short";
            break;
        }
        std::uint64_t total = p[at + 7] == 2 ? be(at + 8, 8) : be(at + 4, 3);  // GRIB2, else GRIB1's length
        if (total < 20 || total > n - at) {
            problem = which + " is cut short: " + std::to_string(n - at) + " bytes of " + std::to_string(total);
            break;
        }
        if (p[at + 7] == 2) {
            const std::size_t end = at + total - 4;
            if (std::memcmp(p + end, "7777", 4) != 0) problem = which + " has no end marker";
            // Sections 1, 2 (optional), 3, 4, 5, 6, 7; further fields repeat from 2, 3 or 4.
            std::size_t q = at + 16;
            unsigned last = 0;
            while (problem.empty() && q < end) {
                const std::uint64_t len = q + 5 <= end ? be(q, 4) : 0;
                const unsigned section = q + 5 <= end ? p[q + 4] : 0;
                const bool follows = last == 0   ? section == 1
                                     : last == 1 ? section == 2 || section == 3
                                     : last == 7 ? section >= 2 && section <= 4
                                                 : section == last + 1;
                if (len < 5 || len > end - q || !follows)
                    problem = which + " has a damaged section at byte " + std::to_string(q);
                last = section;
                q += len;
            }
            if (problem.empty() && last != 7) problem = which + " ends before its data section";
        }
        pos = at + total;
    }
    munmap(map, n);
    return problem;
}

std::string baseName(const std::string& p) {
    const std::size_t s = p.find_last_of('/');
    return s == std::string::npos ? p : p.substr(s + 1);
}

// Where each wanted field of one hour lies in its file.
struct HourPlan {
    off_t offset[kFieldCount + 1];
    int field[kFieldCount + 1];  // which field of a message holding several
    bool have[kFieldCount + 1] = {};
    bool gridRelative[kFieldCount + 1] = {};
};

// Reads every message's header: grid, run, step and parameter. Nothing is decoded.
bool scanHour(const Options& opt, std::size_t k, GridInfo& runGrid, bool& haveGrid, HourPlan& plan,
              std::string& error) {
    const std::string& path = opt.files[k];
    const std::string name = baseName(path);
    const int hour = opt.hours[k];
    File f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::string damage = framingProblem(path);
    if (!damage.empty()) {
        error = name + " is damaged: " + damage;
        return false;
    }
    int count = 0, err = 0, within = 0;
    off_t previous = -1;
    codes_grib_multi_support_reset_file(quietContext(), f.get());
    for (;;) {
        Handle h = nextMessage(f.get(), err);
        if (!h) break;
        ++count;
        off_t offset = 0;
        codes_get_message_offset(h.get(), &offset);
        within = offset == previous ? within + 1 : 0;
        previous = offset;
        const std::string where = name + " message " + std::to_string(count);
        if (getLong(h.get(), "edition") != 2) {
            error = where + " is GRIB edition " + std::to_string(getLong(h.get(), "edition")) + ", expected GRIB2";
            return false;
        }
        GridInfo g;
        readGrid(h.get(), g);
        const std::string problem = opt.model == Model::Nam ? grid218Problem(g) : rrfsGridProblem(g);
        if (!problem.empty()) {
            error = where + ": " + problem;
            return false;
        }
        if (!haveGrid) {
            runGrid = g;
            haveGrid = true;
        } else if (!g.sameGeometry(runGrid)) {
            error = where + ": grid is " + g.describe() + ", expected the run's " + runGrid.describe();
            return false;
        }
        const int id = classify(h.get());
        if (id < 0) continue;
        codes_set_long(h.get(), "stepUnits", 1);  // hours
        const long start = getLong(h.get(), "startStep"), end = getLong(h.get(), "endStep");
        if (id == APCP && start != 0) continue;  // a shorter bucket
        const std::string run = runOf(h.get());
        const char* label = id == kMslet ? "mslet" : kFields[id].label;
        if (run != opt.cycle || end != hour) {
            error = name + " holds " + label + " for run " + run + " hour " + std::to_string(end) + ", expected run " +
                    opt.cycle + " hour " + std::to_string(hour);
            return false;
        }
        if (plan.have[id]) continue;  // the first of duplicates
        plan.have[id] = true;
        plan.offset[id] = offset;
        plan.field[id] = within;
        plan.gridRelative[id] = g.windsGridRelative;
    }
    if (err != 0) {
        error = name + " is damaged after message " + std::to_string(count) + ": " + codes_get_error_message(err);
        return false;
    }
    if (count == 0) {
        error = name + " is not a GRIB2 file (no message in it)";
        return false;
    }
    if (!plan.have[PRMSL] && plan.have[kMslet]) {
        plan.have[PRMSL] = true;
        plan.offset[PRMSL] = plan.offset[kMslet];
        plan.field[PRMSL] = plan.field[kMslet];
    }
    for (int id = 0; id < kFieldCount; ++id) {
        if (plan.have[id] || (id == APCP && hour == 0)) continue;  // no precipitation at the analysis
        error = name + " lacks " + kFields[id].label + (id == APCP ? " (0-" + std::to_string(hour) + " hour total)" : "");
        return false;
    }
    if (plan.gridRelative[U10] != plan.gridRelative[V10] || plan.gridRelative[U250] != plan.gridRelative[V250]) {
        error = name + ": the wind components disagree on whether they are relative to the grid";
        return false;
    }
    return true;
}

bool decode(std::FILE* f, off_t offset, int field, std::vector<double>& values, std::size_t expected,
            std::string& error) {
    int err = 0;
    if (fseeko(f, offset, SEEK_SET) != 0) {
        error = std::strerror(errno);
        return false;
    }
    codes_grib_multi_support_reset_file(quietContext(), f);
    Handle h = nextMessage(f, err);
    for (int k = 0; k < field && h; ++k) h = nextMessage(f, err);
    if (!h) {
        error = err ? codes_get_error_message(err) : "message vanished";
        return false;
    }
    // Points the bitmap leaves out come back as the viewer's fill value.
    codes_set_double(h.get(), "missingValue", kFill);
    std::size_t n = 0;
    if ((err = codes_get_size(h.get(), "values", &n)) != 0 || n != expected) {
        error = err ? codes_get_error_message(err) : std::to_string(n) + " values, expected " + std::to_string(expected);
        return false;
    }
    values.resize(n);
    if ((err = codes_get_double_array(h.get(), "values", values.data(), &n)) != 0) {
        error = codes_get_error_message(err);
        return false;
    }
    return true;
}

// Rotates a pair of wind fields in place by the given angles (counter-clockwise).
void turn(std::vector<float>& u, std::vector<float>& v, const std::vector<float>& c, const std::vector<float>& s) {
    for (std::size_t p = 0; p < u.size(); ++p) {
        if (u[p] == kFill || v[p] == kFill) {
            u[p] = v[p] = kFill;
            continue;
        }
        const float a = u[p], b = v[p];
        u[p] = c[p] * a - s[p] * b;
        v[p] = s[p] * a + c[p] * b;
    }
}

// The temporary output, for the signal handler.
char gPart[PATH_MAX];
volatile sig_atomic_t gHavePart = 0;

void onSignal(int sig) {
    if (gHavePart) unlink(gPart);
    signal(sig, SIG_DFL);
    raise(sig);
}

class NcWriter {
public:
    ~NcWriter() { abandon(); }
    bool create(const std::string& output, std::string& error) {
        const std::size_t slash = output.find_last_of('/');
        const std::string dir = slash == std::string::npos ? "." : output.substr(0, slash == 0 ? 1 : slash);
        std::string tmpl = dir + "/." + baseName(output) + ".XXXXXX";
        if (tmpl.size() >= sizeof gPart) return fail("output path too long", error);
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        const int fd = mkstemp(buf.data());
        if (fd < 0) return fail("cannot create a file beside " + output + ": " + std::strerror(errno), error);
        close(fd);
        part = buf.data();
        std::strcpy(gPart, part.c_str());
        gHavePart = 1;
        return check(nc_create(part.c_str(), NC_CLOBBER, &nc), "creating " + part, error);
    }
    bool check(int status, const std::string& what, std::string& error) {
        if (status == NC_NOERR) return true;
        return fail(what + ": " + nc_strerror(status), error);
    }
    bool finish(const std::string& output, std::string& error) {
        const int st = nc_close(nc);
        nc = -1;
        if (!check(st, "closing " + part, error)) return false;
        if (chmod(part.c_str(), 0644) != 0 || rename(part.c_str(), output.c_str()) != 0)
            return fail("cannot rename the new file to " + output + ": " + std::strerror(errno), error);
        gHavePart = 0;
        part.clear();
        return true;
    }
    void abandon() {
        if (nc >= 0) nc_close(nc);
        nc = -1;
        if (!part.empty()) {
            gHavePart = 0;
            unlink(part.c_str());
            part.clear();
        }
    }
    int nc = -1;

private:
    bool fail(const std::string& what, std::string& error) {
        if (error.empty()) error = what;
        return false;
    }
    std::string part;
};

void putText(int nc, int var, const char* name, const std::string& value) {
    nc_put_att_text(nc, var, name, value.size(), value.c_str());
}

std::string runText(const std::string& cycle) {
    return cycle.substr(0, 4) + "-" + cycle.substr(4, 2) + "-" + cycle.substr(6, 2) + " " + cycle.substr(8, 2) +
           ":00 UTC";
}

}  // namespace

const char* modelName(Model m) {
    return m == Model::Nam ? "NOAA NCEP North American Mesoscale (NAM)"
                           : "NOAA NCEP Rapid Refresh Forecast System (RRFS)";
}

std::int64_t validTime(const std::string& cycle, int hour) {
    if (cycle.size() != 10 || cycle.find_first_not_of("0123456789") != std::string::npos) return -1;
    std::tm t{};
    t.tm_year = std::stoi(cycle.substr(0, 4)) - 1900;
    t.tm_mon = std::stoi(cycle.substr(4, 2)) - 1;
    t.tm_mday = std::stoi(cycle.substr(6, 2));
    t.tm_hour = std::stoi(cycle.substr(8, 2));
    return static_cast<std::int64_t>(timegm(&t)) + static_cast<std::int64_t>(hour) * 3600;
}

std::string runOfFile(const std::string& path) {
    File f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f) return std::string();
    int err = 0;
    Handle h = nextMessage(f.get(), err);
    return h ? runOf(h.get()) : std::string();
}

Regridder Regridder::build(const GridInfo& g) {
    Regridder r;
    if (g.templateNumber != 1 || g.ni < 2 || g.nj < 2 || !(g.di > 0) || !(g.dj > 0)) return r;
    const RotatedGrid src(g);
    const std::size_t n = static_cast<std::size_t>(grid218::kRows) * grid218::kCols;
    r.ni = g.ni;
    r.index.assign(n, -1);
    r.fi.assign(n, 0.0f);
    r.fj.assign(n, 0.0f);
    r.cosA.assign(n, 1.0f);
    r.sinA.assign(n, 0.0f);
    const double eps = 1e-6;
    for (int row = 0; row < grid218::kRows; ++row) {
        for (int col = 0; col < grid218::kCols; ++col) {
            const std::size_t p = static_cast<std::size_t>(row) * grid218::kCols + col;
            double lat, lon, i, j;
            grid218::latLon(col, row, lat, lon);
            // Rotated-grid axes -> earth -> grid 218 axes, in one turn.
            const double a = src.axisAngle(lat, lon) - grid218::axisAngle(lon);
            r.cosA[p] = static_cast<float>(std::cos(a));
            r.sinA[p] = static_cast<float>(std::sin(a));
            src.index(lat, lon, i, j);
            if (!(i >= -eps && i <= g.ni - 1 + eps && j >= -eps && j <= g.nj - 1 + eps)) continue;
            const long i0 = std::min(static_cast<long>(std::max(i, 0.0)), g.ni - 2);
            const long j0 = std::min(static_cast<long>(std::max(j, 0.0)), g.nj - 2);
            r.index[p] = static_cast<std::int64_t>(j0) * g.ni + i0;
            r.fi[p] = static_cast<float>(std::min(std::max(i - i0, 0.0), 1.0));
            r.fj[p] = static_cast<float>(std::min(std::max(j - j0, 0.0), 1.0));
        }
    }
    return r;
}

void Regridder::apply(const std::vector<double>& src, std::vector<float>& dst) const {
    dst.assign(index.size(), kFill);
    for (std::size_t p = 0; p < index.size(); ++p) {
        const std::int64_t k = index[p];
        if (k < 0) continue;
        const double a = src[k], b = src[k + 1], c = src[k + ni], d = src[k + ni + 1];
        if (a == kFill || b == kFill || c == kFill || d == kFill) continue;
        const double x = fi[p], y = fj[p];
        dst[p] = static_cast<float>((a * (1 - x) + b * x) * (1 - y) + (c * (1 - x) + d * x) * y);
    }
}

void removePartialOutputOnSignals() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, onSignal);
}

bool convert(const Options& opt, std::string& error) {
    error.clear();
    if (opt.hours.empty() || opt.hours.size() != opt.files.size()) {
        error = "one input file per forecast hour is needed";
        return false;
    }
    if (validTime(opt.cycle, 0) < 0) {
        error = "run " + opt.cycle + " is not YYYYMMDDHH";
        return false;
    }

    // Every message's grid and every wanted field, for all hours, before anything is written.
    std::vector<HourPlan> plans(opt.hours.size());
    GridInfo grid;
    bool haveGrid = false;
    for (std::size_t k = 0; k < opt.hours.size(); ++k) {
        if (!scanHour(opt, k, grid, haveGrid, plans[k], error)) {
            error = "hour " + std::to_string(opt.hours[k]) + ": " + error;
            return false;
        }
    }

    const int rows = grid218::kRows, cols = grid218::kCols;
    const std::size_t plane = static_cast<std::size_t>(rows) * cols;
    std::vector<double> lat(plane), lon(plane);
    std::vector<float> cos218(plane), sin218(plane);  // earth -> grid 218
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const std::size_t p = static_cast<std::size_t>(r) * cols + c;
            grid218::latLon(c, r, lat[p], lon[p]);
            const double a = -grid218::axisAngle(lon[p]);
            cos218[p] = static_cast<float>(std::cos(a));
            sin218[p] = static_cast<float>(std::sin(a));
        }
    Regridder regrid;
    if (opt.model == Model::Rrfs) {
        regrid = Regridder::build(grid);
        if (regrid.index.empty()) {
            error = "cannot regrid from " + grid.describe();
            return false;
        }
    }
    const std::size_t sourceSize = static_cast<std::size_t>(grid.ni) * grid.nj;

    NcWriter out;
    if (!out.create(opt.output, error)) return false;
    const int nc = out.nc;
    nc_set_fill(nc, NC_NOFILL, nullptr);
    int tDim = 0, yDim = 0, xDim = 0, fieldVar[kFieldCount], latVar, lonVar, timeVar;
    bool ok = out.check(nc_def_dim(nc, "time", NC_UNLIMITED, &tDim), "time", error) &&
              out.check(nc_def_dim(nc, "y", rows, &yDim), "y", error) &&
              out.check(nc_def_dim(nc, "x", cols, &xDim), "x", error);
    const int dims3[3] = {tDim, yDim, xDim};
    for (int id = 0; ok && id < kFieldCount; ++id) {
        ok = out.check(nc_def_var(nc, kFields[id].var, NC_FLOAT, 3, dims3, &fieldVar[id]), kFields[id].var, error);
        if (!ok) break;
        putText(nc, fieldVar[id], "units", kFields[id].units);
        putText(nc, fieldVar[id], "long_name", kFields[id].longName);
        putText(nc, fieldVar[id], "coordinates", "latitude longitude");
        nc_put_att_float(nc, fieldVar[id], "_FillValue", NC_FLOAT, 1, &kFill);
        nc_put_att_float(nc, fieldVar[id], "missing_value", NC_FLOAT, 1, &kFill);
    }
    ok = ok && out.check(nc_def_var(nc, "latitude", NC_DOUBLE, 2, dims3 + 1, &latVar), "latitude", error) &&
         out.check(nc_def_var(nc, "longitude", NC_DOUBLE, 2, dims3 + 1, &lonVar), "longitude", error) &&
         out.check(nc_def_var(nc, "time", NC_DOUBLE, 1, &tDim, &timeVar), "time", error);
    if (!ok) return false;
    putText(nc, latVar, "units", "degrees_north");
    putText(nc, lonVar, "units", "degrees_east");
    putText(nc, timeVar, "units", "seconds since 1970-01-01 00:00:00");
    putText(nc, timeVar, "long_name", "valid time");
    putText(nc, timeVar, "reference_time", runText(opt.cycle));
    putText(nc, NC_GLOBAL, "Conventions", "CF-1.6");
    putText(nc, NC_GLOBAL, "model", modelName(opt.model));
    putText(nc, NC_GLOBAL, "model_run", runText(opt.cycle));
    putText(nc, NC_GLOBAL, "source",
            opt.model == Model::Nam
                ? "NAM 12 km run " + opt.cycle + " on NCEP grid 218"
                : "RRFS 13 km North America run " + opt.cycle +
                      ", regridded bilinearly onto NCEP grid 218; winds relative to grid 218");
    if (!out.check(nc_enddef(nc), "defining the file", error) ||
        !out.check(nc_put_var_double(nc, latVar, lat.data()), "latitude", error) ||
        !out.check(nc_put_var_double(nc, lonVar, lon.data()), "longitude", error))
        return false;

    std::vector<double> values;
    std::vector<float> field[kFieldCount];
    for (std::size_t k = 0; k < opt.hours.size(); ++k) {
        const std::string hour = "hour " + std::to_string(opt.hours[k]) + ": ";
        File f(std::fopen(opt.files[k].c_str(), "rb"), std::fclose);
        if (!f) {
            error = hour + "cannot reopen " + opt.files[k];
            return false;
        }
        const HourPlan& plan = plans[k];
        for (int id = 0; id < kFieldCount; ++id) {
            if (!plan.have[id]) {
                field[id].assign(plane, kFill);
                continue;
            }
            std::string why;
            if (!decode(f.get(), plan.offset[id], plan.field[id], values, sourceSize, why)) {
                error = hour + baseName(opt.files[k]) + ": cannot decode " + kFields[id].label + ": " + why;
                return false;
            }
            if (opt.model == Model::Rrfs) {
                regrid.apply(values, field[id]);
            } else {
                field[id].assign(values.begin(), values.end());
            }
        }
        for (int u : {U10, U250}) {
            if (!plan.gridRelative[u])
                turn(field[u], field[u + 1], cos218, sin218);  // earth-relative winds
            else if (opt.model == Model::Rrfs)
                turn(field[u], field[u + 1], regrid.cosA, regrid.sinA);
        }
        const std::size_t start[3] = {k, 0, 0}, count[3] = {1, static_cast<std::size_t>(rows), static_cast<std::size_t>(cols)};
        for (int id = 0; id < kFieldCount; ++id)
            if (!out.check(nc_put_vara_float(nc, fieldVar[id], start, count, field[id].data()), kFields[id].var, error))
                return false;
        const double t = static_cast<double>(validTime(opt.cycle, opt.hours[k]));
        if (!out.check(nc_put_vara_double(nc, timeVar, start, count, &t), "time", error)) return false;
    }
    return out.finish(opt.output, error);
}

}  // namespace ingest
