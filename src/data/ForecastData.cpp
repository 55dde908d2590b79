#include "ForecastData.h"

#include <netcdf.h>
#include <netcdfcpp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace {

// The eight (time, y, x) fields in the order they are read.
const char* const kFieldNames[8] = {
    "UGRD_10maboveground",
    "VGRD_10maboveground",
    "UGRD_250mb",
    "VGRD_250mb",
    "TMP_2maboveground",
    "PRMSL_meansealevel",
    "TCDC_entireatmosphere_consideredasasinglelayer_",
    "APCP_surface",
};

// wgrib2's fill value; data variables may carry it whether or not the file says so.
constexpr float kFill = 9.999e20f;

// A value that is no data: not finite, the fill value, or the file's own missing value.
bool missingIn(float v, bool hasMissing, float missingValue) {
    return !std::isfinite(v) || v == kFill || (hasMissing && v == missingValue);
}

// Memory the machine can give us, or 0 when it cannot be asked.
std::uint64_t physicalMemory() {
    long pages = sysconf(_SC_PHYS_PAGES);
    long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

// Walks the header of a classic (CDF-1/2/5) file and checks every name length and count against
// the bytes that are really there. The netCDF library trusts these fields: a dimension name longer
// than its fixed buffer smashes its stack, so a damaged forecast.nc would end the program instead
// of being refused. Returns the problem, or an empty string; other formats are left to the library.
// Where a variable's data lies in a classic file.
struct Extent {
    std::uint64_t begin = 0, size = 0;
    bool record = false;
};

// The end of the last data the header describes, or 0 when it cannot be told (a streamed file's
// unknown record count, a size too large for the format's field).
std::uint64_t dataEnd(const std::vector<Extent>& extents, std::uint64_t records) {
    constexpr std::uint64_t kHuge = std::uint64_t(1) << 50;
    if (records == 0xFFFFFFFFu || records > kHuge) return 0;
    std::uint64_t recordSize = 0;
    int recordVars = 0;
    for (const Extent& e : extents) {
        if (e.size >= 0xFFFFFFFFu || e.begin > kHuge) return 0;
        if (e.record) {
            recordSize += e.size;
            ++recordVars;
        }
    }
    std::uint64_t end = 0;
    for (const Extent& e : extents) {
        if (e.record && records == 0) continue;
        // Wide enough for any product of the header's counts.
        const unsigned __int128 last = e.record ? static_cast<unsigned __int128>(records - 1) * recordSize + e.begin + e.size
                                                : static_cast<unsigned __int128>(e.begin) + e.size;
        if (last > kHuge) return 0;
        end = std::max(end, static_cast<std::uint64_t>(last));
    }
    // A lone record variable of a narrow type is stored without the padding its size counts.
    if (recordVars == 1) end -= std::min(end, 3 * records);
    return end;
}

std::string walkClassicHeader(const std::vector<unsigned char>& h, bool& ranOut, std::uint64_t& end);

std::string classicHeaderProblem(const char* path) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return std::string();
    // A forecast's header is a few kilobytes: read that much first, and up to 16 MiB (far more
    // than any forecast header) only for a header that goes on past it.
    std::string problem;
    std::uint64_t end = 0;
    for (std::size_t size : {std::size_t(64) << 10, std::size_t(16) << 20}) {
        std::vector<unsigned char> h(size);
        std::rewind(f);
        h.resize(std::fread(h.data(), 1, h.size(), f));
        bool ranOut = false;
        problem = walkClassicHeader(h, ranOut, end);
        if (!ranOut || h.size() < size) break;
    }
    struct stat st {};
    const bool sized = fstat(fileno(f), &st) == 0;
    std::fclose(f);
    // The library reads what is missing at the end of a cut file as fill values, without a word:
    // a download cut short must be refused here.
    if (problem.empty() && sized && end > static_cast<std::uint64_t>(st.st_size))
        problem = "file truncated: its header describes " + std::to_string(end) + " bytes, it has " +
                  std::to_string(st.st_size);
    return problem;
}

// The walk itself over the bytes read; `ranOut` tells that it needed bytes past their end, `end`
// the end of the data the header describes (0: unknown).
std::string walkClassicHeader(const std::vector<unsigned char>& h, bool& ranOut, std::uint64_t& end) {
    if (h.size() < 4 || h[0] != 'C' || h[1] != 'D' || h[2] != 'F') return std::string();
    const int version = h[3];
    if (version != 1 && version != 2 && version != 5) return "unknown classic format version";
    const bool wide = version == 5;  // 64-bit counts and sizes
    std::size_t at = 4;
    bool ok = true;
    // A count past the bytes read may still fit in the file.
    auto fits = [&](std::uint64_t n) {
        if (n > h.size()) ranOut = true;
        return n <= h.size();
    };
    auto need = [&](std::size_t n) {
        if (ok && h.size() - at < n) ranOut = true;
        if (!ok || h.size() - at < n) ok = false;
        return ok;
    };
    auto u32 = [&]() -> std::uint64_t {
        if (!need(4)) return 0;
        const std::uint64_t v = (std::uint64_t(h[at]) << 24) | (h[at + 1] << 16) | (h[at + 2] << 8) | h[at + 3];
        at += 4;
        return v;
    };
    auto count64 = [&]() -> std::uint64_t {
        const std::uint64_t hi = u32();
        return (hi << 32) | u32();
    };
    auto count = [&]() -> std::uint64_t { return wide ? count64() : u32(); };
    std::vector<Extent> extents;
    auto skip = [&](std::uint64_t n) {
        if (!fits(n) || !need(static_cast<std::size_t>(n))) return false;
        at += static_cast<std::size_t>(n);
        return true;
    };
    std::string problem;
    auto name = [&]() {
        const std::uint64_t len = count();
        if (ok && len > NC_MAX_NAME) {
            problem = "a name in the header is " + std::to_string(len) + " characters long";
            ok = false;
        }
        return ok && skip((len + 3) / 4 * 4);
    };
    static const int kTypeSize[] = {0, 1, 1, 2, 4, 4, 8, 1, 2, 4, 8, 8};
    auto attributes = [&]() {
        const std::uint64_t tag = u32(), n = count();
        if (!ok || (tag == 0 && n == 0)) return ok;
        if (tag != 0x0C || !fits(n)) return ok = false;
        for (std::uint64_t i = 0; i < n && ok; ++i) {
            if (!name()) break;
            const std::uint64_t type = u32(), values = count();
            if (!ok || type < 1 || type > (wide ? 11u : 6u) || !fits(values)) return ok = false;
            skip((values * kTypeSize[type] + 3) / 4 * 4);
        }
        return ok;
    };
    const std::uint64_t records = count();
    std::vector<std::uint64_t> dimLengths;  // 0 for the record dimension
    const std::uint64_t dimTag = u32(), dims = count();
    if (ok && !(dimTag == 0 && dims == 0)) {
        if (dimTag != 0x0A || !fits(dims)) ok = false;
        for (std::uint64_t i = 0; i < dims && ok; ++i)
            if (name()) dimLengths.push_back(count());
    }
    attributes();
    const std::uint64_t varTag = u32(), vars = count();
    if (ok && !(varTag == 0 && vars == 0)) {
        if (varTag != 0x0B || !fits(vars)) ok = false;
        for (std::uint64_t i = 0; i < vars && ok; ++i) {
            if (!name()) break;
            const std::uint64_t rank = count();
            if (!ok || !fits(rank)) break;
            Extent e;
            for (std::uint64_t r = 0; r < rank && ok; ++r) {
                const std::uint64_t id = count();
                if (r == 0 && id < dimLengths.size() && dimLengths[id] == 0) e.record = true;
            }
            if (!attributes()) break;
            u32();            // type
            e.size = count();
            e.begin = version == 1 ? u32() : count64();
            extents.push_back(e);
        }
    }
    if (ok) {
        end = dataEnd(extents, records);
        return std::string();
    }
    return problem.empty() ? "damaged netCDF header" : problem;
}

std::string edgesText(const long* e, int n) {
    std::string s = "(";
    for (int i = 0; i < n; ++i) {
        if (i) s += ", ";
        s += std::to_string(e[i]);
    }
    return s + ")";
}

// Finds a variable and checks its element type and rank; returns its edge lengths in `edges`.
NcVar* findVar(NcFile& file, const char* name, NcType type, int rank, long* edges, std::string& problem) {
    NcVar* v = file.get_var(name);
    if (!v) {
        problem = std::string("variable \"") + name + "\" is missing";
        return nullptr;
    }
    if (v->type() != type) {
        problem = std::string("variable \"") + name + "\" has element type " + std::to_string(v->type()) +
                  ", expected " + (type == ncFloat ? "float" : "double");
        return nullptr;
    }
    if (v->num_dims() != rank) {
        problem = std::string("variable \"") + name + "\" has " + std::to_string(v->num_dims()) +
                  " dimensions, expected " + std::to_string(rank);
        return nullptr;
    }
    std::unique_ptr<long[]> e(v->edges());
    for (int i = 0; i < rank; ++i) edges[i] = e[i];
    return v;
}

}  // namespace

struct ForecastData::Fields {
    FloatField field[8];  // in kFieldNames order; the wind components become directions as they are read
    FloatField windSpeed, jetSpeed;
    std::vector<bool> windMissing, jetMissing;
    // Running sums for the means, step after step in file order.
    double sums[NUM_SLOTS] = {};
    std::size_t counts[NUM_SLOTS] = {};
    std::vector<double> latitude, longitude, times;
    float missingValue = 0.0f;
    bool hasMissing = false;
    std::string model;
    int nTimes = 0, nRows = 0, nCols = 0;
};

// A load under way: the open file and what has been read of it.
struct ForecastData::Pending {
    std::string path;
    NcError quiet{NcError::silent_nonfatal};  // before the file: the library reports, never exits
    std::unique_ptr<NcFile> file;
    NcVar* vars[8] = {};
    Fields f;
    int next = 0;  // pieces read, in pieceAt order
    // Where the pieces go: the new arrays, which keep their storage when they are adopted early.
    float* data[8] = {};
    float* speed[2] = {};
    std::vector<bool>* gaps[2] = {};
    bool inPlace = false;  // adopted early: the forecast in use is being filled

    // Piece n: every step of the temperature first (its mean centres a colour scale before the
    // first frame), then the other seven fields step by step.
    void pieceAt(int n, int& step, int& field) const {
        if (n < f.nTimes) {
            step = n;
            field = 4;
            return;
        }
        n -= f.nTimes;
        step = n / 7;
        field = n % 7 < 4 ? n % 7 : n % 7 + 1;
    }
    // Steps whose every field has been read.
    int stepsRead() const { return next <= f.nTimes ? 0 : (next - f.nTimes) / 7; }
};

ForecastData::~ForecastData() = default;

ForecastData::ForecastData(const char* path) {
    if (path) load(path);
}

bool ForecastData::openFile(const char* path, Pending& pending, std::string& problem) const {
    Fields& out = pending.f;
    struct stat st;
    if (stat(path, &st) != 0) {
        problem = "file not found";
        return false;
    }
    problem = classicHeaderProblem(path);
    if (!problem.empty()) return false;
    pending.file = std::make_unique<NcFile>(path, NcFile::ReadOnly);
    NcFile& file = *pending.file;
    if (!file.is_valid()) {
        problem = "not a readable netCDF file";
        return false;
    }

    NcVar** vars = pending.vars;
    long shape[3] = {0, 0, 0};
    for (int i = 0; i < 8; ++i) {
        long e[3];
        vars[i] = findVar(file, kFieldNames[i], ncFloat, 3, e, problem);
        if (!vars[i]) return false;
        if (i == 0) {
            std::copy(e, e + 3, shape);
        } else if (!std::equal(e, e + 3, shape)) {
            problem = std::string("variable \"") + kFieldNames[i] + "\" has shape " + edgesText(e, 3) +
                      ", but \"" + kFieldNames[0] + "\" has " + edgesText(shape, 3);
            return false;
        }
    }
    if (shape[0] < 2) {
        problem = "it holds " + std::to_string(shape[0]) + " forecast step(s); at least 2 are needed";
        return false;
    }
    if (shape[1] < 2 || shape[2] < 2) {
        problem = "grid of " + std::to_string(shape[2]) + " x " + std::to_string(shape[1]) + " points is too small";
        return false;
    }
    long latE[2], lonE[2], timeE[1];
    NcVar* latVar = findVar(file, "latitude", ncDouble, 2, latE, problem);
    if (!latVar) return false;
    NcVar* lonVar = findVar(file, "longitude", ncDouble, 2, lonE, problem);
    if (!lonVar) return false;
    NcVar* timeVar = findVar(file, "time", ncDouble, 1, timeE, problem);
    if (!timeVar) return false;
    if (latE[0] != shape[1] || latE[1] != shape[2] || lonE[0] != shape[1] || lonE[1] != shape[2]) {
        problem = "latitude " + edgesText(latE, 2) + " and longitude " + edgesText(lonE, 2) +
                  " do not match the grid " + edgesText(shape + 1, 2);
        return false;
    }
    if (timeE[0] != shape[0]) {
        problem = "time has " + std::to_string(timeE[0]) + " values for " + std::to_string(shape[0]) + " steps";
        return false;
    }

    // Refuse sizes the machine cannot hold before allocating anything: 10 full fields plus one slice.
    const std::uint64_t points = static_cast<std::uint64_t>(shape[1]) * static_cast<std::uint64_t>(shape[2]);
    const std::uint64_t elements = points * static_cast<std::uint64_t>(shape[0]);
    const std::uint64_t limit = physicalMemory();
    const bool tooLarge = shape[0] > INT32_MAX || shape[1] > INT32_MAX || shape[2] > INT32_MAX ||
                          elements > static_cast<std::uint64_t>(INT64_MAX) / 64;
    const std::uint64_t needed = tooLarge ? 0 : elements * 10 * sizeof(float) + points * (2 * sizeof(double) + sizeof(float));
    if (tooLarge || (limit && needed > limit)) {
        problem = "dimensions " + edgesText(shape, 3) + " need more memory than this machine has";
        return false;
    }

    out.nTimes = static_cast<int>(shape[0]);
    out.nRows = static_cast<int>(shape[1]);
    out.nCols = static_cast<int>(shape[2]);

    // Real wgrib2 output carries only _FillValue; an explicit missing_value wins when present.
    if (NcAtt* att = vars[0]->get_att("missing_value")) {
        out.missingValue = att->as_float(0);
        out.hasMissing = true;
        delete att;
    } else if (NcAtt* fill = vars[0]->get_att("_FillValue")) {
        out.missingValue = fill->as_float(0);
        out.hasMissing = true;
        delete fill;
    }

    // The model's name goes into the time bar: only a short line of printable text is taken.
    if (NcAtt* att = file.get_att("model")) {
        if (att->type() == ncChar && att->num_vals() > 0 && att->num_vals() <= 80) {
            std::unique_ptr<char[]> text(att->as_string(0));
            std::string name = text ? text.get() : "";
            while (!name.empty() && name.back() == ' ') name.pop_back();
            if (!name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c >= 0x20 && c < 0x7f; }))
                out.model = name;
        }
        delete att;
    }

    try {
        for (int i = 0; i < 8; ++i) out.field[i].resize(static_cast<std::size_t>(elements));
        out.windSpeed.resize(static_cast<std::size_t>(elements));
        out.jetSpeed.resize(static_cast<std::size_t>(elements));
        for (int i = 0; i < 8; ++i) pending.data[i] = out.field[i].data();
        pending.speed[0] = out.windSpeed.data();
        pending.speed[1] = out.jetSpeed.data();
        pending.gaps[0] = &out.windMissing;
        pending.gaps[1] = &out.jetMissing;
        out.latitude.resize(static_cast<std::size_t>(points));
        out.longitude.resize(static_cast<std::size_t>(points));
        out.times.resize(static_cast<std::size_t>(shape[0]));
    } catch (const std::bad_alloc&) {
        problem = "not enough memory to hold the forecast";
        return false;
    }
    if (!latVar->get(out.latitude.data(), latE) || !lonVar->get(out.longitude.data(), lonE)) {
        problem = "cannot read latitude/longitude (file truncated?)";
        return false;
    }
    if (!timeVar->get(out.times.data(), timeE)) {
        problem = "cannot read the times (file truncated?)";
        return false;
    }
    for (int k = 0; k < out.nTimes; ++k) {
        if (!std::isfinite(out.times[k]) || (k > 0 && !(out.times[k] > out.times[k - 1]))) {
            problem = "times are not strictly increasing (step " + std::to_string(k) + ")";
            return false;
        }
    }
    return true;
}

bool ForecastData::readPiece(Pending& pending, std::string& problem) {
    Fields& f = pending.f;
    int step = 0, i = 0;
    pending.pieceAt(pending.next, step, i);
    const std::size_t plane = static_cast<std::size_t>(f.nRows) * f.nCols;
    float* values = pending.data[i] + static_cast<std::size_t>(step) * plane;
    NcVar* var = pending.vars[i];
    if (!var->set_cur(step, 0, 0) || !var->get(values, 1, f.nRows, f.nCols)) {
        problem = std::string("cannot read the values of \"") + kFieldNames[i] + "\" (file truncated?)";
        return false;
    }
    ++pending.next;
    const bool hasMissing = f.hasMissing;
    const float missingValue = f.missingValue;
    auto missing = [hasMissing, missingValue](float v) { return missingIn(v, hasMissing, missingValue); };
    // Fields 4-7 (temperature, pressure, cloud, precipitation) feed their means; fill values and
    // non-finite values would swamp a mean, so they are left out of it.
    static const int kSlotOf[8] = {-1, -1, -1, -1, TEMPERATURE, PRESSURE, CLOUD_COVER, PRECIPITATION};
    if (kSlotOf[i] >= 0) {
        // Local accumulators: through the references every addition would be a store.
        double sum = f.sums[kSlotOf[i]];
        std::size_t count = f.counts[kSlotOf[i]];
        for (std::size_t p = 0; p < plane; ++p) {
            if (missing(values[p])) continue;
            sum += values[p];
            ++count;
        }
        f.sums[kSlotOf[i]] = sum;
        f.counts[kSlotOf[i]] = count;
        return true;
    }
    if (i != 1 && i != 3) return true;
    // Both components of a wind are in: its speed and direction at this step, the direction in
    // place of the components.
    const std::size_t at = static_cast<std::size_t>(step) * plane;
    float* dirX = pending.data[i - 1] + at;
    float* dirY = pending.data[i] + at;
    float* speed = pending.speed[i == 1 ? 0 : 1] + at;
    std::vector<bool>& gaps = *pending.gaps[i == 1 ? 0 : 1];
    const int slot = i == 1 ? WIND_SPEED : JET_SPEED;
    // Missing points first (a component that is not finite or is a fill value); usually none.
    bool anyMissing = false;
    for (std::size_t p = 0; p < plane; ++p) anyMissing |= missing(dirX[p]) | missing(dirY[p]);
    std::vector<unsigned char> gap;
    if (anyMissing) {
        gap.resize(plane);
        if (gaps.empty()) gaps.assign(static_cast<std::size_t>(f.nTimes) * plane, false);
        for (std::size_t p = 0; p < plane; ++p) {
            gap[p] = missing(dirX[p]) || missing(dirY[p]);
            if (gap[p]) {
                gaps[at + p] = true;
                dirX[p] = dirY[p] = 0.0f;  // so that the pass below gives them zero speed and direction
            }
        }
    }
    // Speed and direction in place of the components, in a loop the compiler vectorises.
    for (std::size_t p = 0; p < plane; ++p) {
        const double u = dirX[p], v = dirY[p];
        const double s = std::sqrt(u * u + v * v);
        const double d = std::max(s, 1e-7);  // a calm point gets a zero unit vector
        speed[p] = static_cast<float>(s);
        dirX[p] = static_cast<float>(u / d);
        dirY[p] = static_cast<float>(v / d);
    }
    // The mean's sum in point order, missing points left out.
    double sum = f.sums[slot];
    std::size_t count = f.counts[slot];
    for (std::size_t p = 0; p < plane; ++p) {
        if (anyMissing && gap[p]) continue;
        sum += speed[p];
        ++count;
    }
    f.sums[slot] = sum;
    f.counts[slot] = count;
    return true;
}

bool ForecastData::load(const char* path) { return load(path, 0, 0); }

bool ForecastData::load(const char* path, int requiredRows, int requiredCols) {
    if (!beginLoad(path, requiredRows, requiredCols)) return false;
    LoadState state;
    while ((state = continueLoad(1e9)) == LoadState::Reading) {
    }
    return state == LoadState::Done;
}

bool ForecastData::beginLoad(const char* path, int requiredRows, int requiredCols) {
    cancelLoad();
    if (!path) path = "";
    auto p = std::make_unique<Pending>();
    p->path = path;
    std::string problem;
    bool ok = openFile(path, *p, problem);
    if (ok && requiredRows > 0 && requiredCols > 0 && (p->f.nRows != requiredRows || p->f.nCols != requiredCols)) {
        problem = "its grid of " + std::to_string(p->f.nCols) + " x " + std::to_string(p->f.nRows) +
                  " points differs from the loaded " + std::to_string(requiredCols) + " x " +
                  std::to_string(requiredRows);
        ok = false;
    }
    if (!ok) {
        std::fprintf(stderr, "Cannot load forecast \"%s\": %s; keeping the data already loaded.\n", path, problem.c_str());
        return false;
    }
    pending = std::move(p);
    return true;
}

bool ForecastData::loadStart(const char* path, int stepsFirst) {
    if (!beginLoad(path)) return false;
    const int wanted = std::min(std::max(stepsFirst, 1), pending->f.nTimes);
    std::string problem;
    while (pending->stepsRead() < wanted) {
        if (!readPiece(*pending, problem)) {
            std::fprintf(stderr, "Cannot load forecast \"%s\": %s; keeping the data already loaded.\n",
                         pending->path.c_str(), problem.c_str());
            pending.reset();
            return false;
        }
    }
    if (pending->stepsRead() >= pending->f.nTimes) return continueLoad(0) == LoadState::Done;
    // Adopted now and filled in place: the arrays keep their storage through the swaps, and from
    // here missing points are marked in this object's own records.
    adopt(pending->f);
    pending->gaps[0] = &windMissing;
    pending->gaps[1] = &jetMissing;
    pending->inPlace = true;
    stepsReady = pending->stepsRead();
    struct stat st;
    if (stat(pending->path.c_str(), &st) == 0) fileTime_ = st.st_mtim.tv_sec + st.st_mtim.tv_nsec * 1e-9;
    loaded = true;
    return true;
}

ForecastData::LoadState ForecastData::continueLoad(double seconds) {
    if (!pending) return LoadState::Idle;
    const auto start = std::chrono::steady_clock::now();
    const int pieces = pending->f.nTimes * 8;
    std::string problem;
    while (pending->next < pieces) {
        if (!readPiece(*pending, problem)) {
            if (pending->inPlace) {
                // The forecast in use has no whole version to fall back on: what could not be read
                // reads as zero, never as leftover memory, and the caller is told.
                std::fprintf(stderr, "Cannot load forecast \"%s\": %s.\n", pending->path.c_str(), problem.c_str());
                const std::size_t done = static_cast<std::size_t>(pending->stepsRead()) * nRows * nCols;
                const std::size_t all = static_cast<std::size_t>(nTimes) * nRows * nCols;
                for (FloatField* v : {&temperature, &pressure, &cloud, &precipitation, &windDirX, &windDirY, &windSpeed,
                                      &jetDirX, &jetDirY, &jetSpeed})
                    std::fill(v->begin() + static_cast<std::ptrdiff_t>(done), v->begin() + static_cast<std::ptrdiff_t>(all), 0.0f);
                readFailed_ = true;
            } else {
                std::fprintf(stderr, "Cannot load forecast \"%s\": %s; keeping the data already loaded.\n",
                             pending->path.c_str(), problem.c_str());
            }
            pending.reset();
            stepsReady = nTimes;
            return LoadState::Failed;
        }
        if (pending->inPlace) stepsReady = pending->stepsRead();
        if (pending->next < pieces &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= seconds)
            return LoadState::Reading;
    }
    std::unique_ptr<Pending> done = std::move(pending);
    done->file.reset();
    if (done->inPlace) {
        for (int s = 0; s < NUM_SLOTS; ++s)
            means[s] = done->f.counts[s] ? static_cast<float>(done->f.sums[s] / static_cast<double>(done->f.counts[s])) : 0.0f;
        stepsReady = nTimes;
        return LoadState::Done;
    }
    struct stat st;
    double modified = 0.0;
    if (stat(done->path.c_str(), &st) == 0) modified = st.st_mtim.tv_sec + st.st_mtim.tv_nsec * 1e-9;
    adopt(done->f);
    fileTime_ = modified;
    loaded = true;
    return LoadState::Done;
}

bool ForecastData::loadingInPlace() const { return pending && pending->inPlace; }

void ForecastData::ensureStep(int step) {
    if (!pending || !pending->inPlace || step < stepsReady) return;
    while (pending && pending->inPlace && stepsReady <= std::min(step, nTimes - 1)) continueLoad(1e9);
}

void ForecastData::cancelLoad() {
    // A forecast being filled in place is the one in use: it is finished, not dropped.
    if (pending && pending->inPlace) ensureStep(nTimes - 1);
    pending.reset();
}

void ForecastData::adopt(Fields& f) {
    unload();
    windDirX.swap(f.field[0]);
    windDirY.swap(f.field[1]);
    jetDirX.swap(f.field[2]);
    jetDirY.swap(f.field[3]);
    temperature.swap(f.field[4]);
    pressure.swap(f.field[5]);
    cloud.swap(f.field[6]);
    precipitation.swap(f.field[7]);
    windSpeed.swap(f.windSpeed);
    jetSpeed.swap(f.jetSpeed);
    windMissing.swap(f.windMissing);
    jetMissing.swap(f.jetMissing);
    latitude.swap(f.latitude);
    longitude.swap(f.longitude);
    times.swap(f.times);
    missingValue = f.missingValue;
    hasMissing = f.hasMissing;
    sourceName_ = f.model.empty() ? kDefaultSource : f.model;
    nTimes = f.nTimes;
    nRows = f.nRows;
    nCols = f.nCols;
    stepsReady = nTimes;
    readFailed_ = false;
    for (int s = 0; s < NUM_SLOTS; ++s)
        means[s] = f.counts[s] ? static_cast<float>(f.sums[s] / static_cast<double>(f.counts[s])) : 0.0f;

    slots[TEMPERATURE] = temperature.data();
    slots[PRESSURE] = pressure.data();
    slots[PRECIPITATION] = precipitation.data();
    slots[CLOUD_COVER] = cloud.data();
    slots[WIND_SPEED] = windSpeed.data();
    slots[WIND_DIR_X] = windDirX.data();
    slots[WIND_DIR_Y] = windDirY.data();
    slots[JET_SPEED] = jetSpeed.data();
    slots[JET_DIR_X] = jetDirX.data();
    slots[JET_DIR_Y] = jetDirY.data();

    slice.assign(static_cast<std::size_t>(nRows) * nCols, 0.0f);
    currentTime = 0.0;
    timeStep = 1.0;
    setRegion(0, nRows - 1, 0, nCols - 1);
    std::fprintf(stderr, "initializing secondary data...\n");
    std::fprintf(stderr, "done.\n");
}

void ForecastData::unload() {
    if (!loaded) return;
    std::vector<float>().swap(slice);
    lowFinder.reset();
    highFinder.reset();
    for (FloatField* v : {&pressure, &temperature, &cloud, &precipitation, &windDirX, &windDirY, &windSpeed, &jetDirX,
                          &jetDirY, &jetSpeed}) {
        FloatField().swap(*v);
    }
    std::vector<bool>().swap(windMissing);
    std::vector<bool>().swap(jetMissing);
    for (std::vector<double>* v : {&latitude, &longitude, &times}) std::vector<double>().swap(*v);
    std::fill(std::begin(slots), std::end(slots), nullptr);
    std::fill(std::begin(means), std::end(means), 0.0f);
    nTimes = nRows = nCols = 0;
    loaded = false;
    hasMissing = false;
    missingValue = 0.0f;
}

double ForecastData::setTime(double t) {
    if (t == -2.0 || !std::isfinite(t)) return currentTime;
    double cur;
    if (t <= -4.0) {
        cur = std::floor(currentTime + (t + 5.0) + 0.5);
    } else if (t < 0.0) {
        cur = currentTime + (t + 2.0) * timeStep;
    } else {
        cur = t;
    }
    currentTime = cur;
    double result = cur;
    if (cur < 0.0) {
        currentTime = 0.0;
        result = -3.0;
    } else if (cur > nTimes - 0.9999) {
        currentTime = nTimes > 0 ? nTimes - 1 : 0;
        result = -1.0;
    }
    // Samples at this time read this step and the next: they must be in.
    ensureStep(static_cast<int>(currentTime) + 1);
    return result;
}

double ForecastData::setTimeStep(double step) {
    if (step > 0.0) timeStep = step;
    return timeStep;
}

double ForecastData::timeValue(double t) const {
    if (times.empty() || std::isnan(t)) return 0.0;
    if (t < 0.0) t = currentTime + 2.0 + t;
    // Beyond either end the first or last valid time is the only honest answer.
    const double last = static_cast<double>(nTimes - 1);
    t = std::min(std::max(t, 0.0), last);
    const int i = static_cast<int>(t);
    const double f = t - i;
    if (i >= nTimes - 1) return times[nTimes - 1];
    return times[i] * (1.0 - f) + times[i + 1] * f;
}

void ForecastData::setRegion(int r0, int r1, int c0, int c1) {
    if (r0 > r1) std::swap(r0, r1);
    if (c0 > c1) std::swap(c0, c1);
    if (nRows > 0 && nCols > 0) {
        // Keep the part of the region that lies on the grid; with no overlap along an axis the
        // whole axis is the only region that makes sense.
        int lo = std::max(r0, 0), hi = std::min(r1, nRows - 1);
        if (lo > hi) lo = 0, hi = nRows - 1;
        r0 = lo, r1 = hi;
        lo = std::max(c0, 0), hi = std::min(c1, nCols - 1);
        if (lo > hi) lo = 0, hi = nCols - 1;
        c0 = lo, c1 = hi;
    }
    rowMin = r0;
    rowMax = r1;
    colMin = c0;
    colMax = c1;
    rowCentre = (r0 + r1) / 2.0f;
    colCentre = (c0 + c1) / 2.0f;
    for (auto* f : {lowFinder.get(), highFinder.get()})
        if (f) setFinderArea(*f);
}

// Finders follow the region, leaving out its low-row tenth and a 4-cell margin at the high ends.
void ForecastData::setFinderArea(ExtremaFinder& f) const {
    f.setSearchArea(static_cast<int>(rowMin + (rowMax - rowMin) * 0.1), rowMax - 4, colMin, colMax - 4);
}

void ForecastData::createExtremaFinders(int r0, int r1, int c0, int c1) {
    if (!loaded) return;
    for (auto* f : {&lowFinder, &highFinder}) {
        if (!*f) *f = std::make_unique<ExtremaFinder>(nRows, nCols);
        (*f)->setSearchArea(r0, r1, c0, c1);
    }
}

const float* ForecastData::find(std::unique_ptr<ExtremaFinder>& finder, bool minima, const float* field, CoordList* list) {
    if (!loaded || !field) return nullptr;
    if (!finder) {
        finder = std::make_unique<ExtremaFinder>(nRows, nCols);
        finder->setSearchArea(rowMin, rowMax, colMin, colMax);
    }
    const float* s = resampleSlice(field);
    return minima ? finder->findMinima(s, list) : finder->findMaxima(s, list);
}

const float* ForecastData::findLows(const float* field, CoordList* list) { return find(lowFinder, true, field, list); }

const float* ForecastData::findHighs(const float* field, CoordList* list) { return find(highFinder, false, field, list); }

bool ForecastData::clampToRegion(float& row, float& col, float f) const {
    const float rowLo = std::max(0.0f, rowCentre + (rowMin - rowCentre) * f);
    const float colLo = std::max(0.0f, colCentre + (colMin - colCentre) * f);
    const float rowHi = std::min(static_cast<float>(nRows - 1), rowCentre + (rowMax - rowCentre) * f);
    const float colHi = std::min(static_cast<float>(nCols - 1), colCentre + (colMax - colCentre) * f);
    bool changed = false;
    if (row < rowLo) {
        row = rowLo;
        changed = true;
    } else if (row > rowHi) {
        row = rowHi;
        changed = true;
    }
    if (col < colLo) {
        col = colLo;
        changed = true;
    } else if (col > colHi) {
        col = colHi;
        changed = true;
    }
    return changed;
}

float ForecastData::slotMean(int slot) const {
    return slot >= 0 && slot < NUM_SLOTS ? means[slot] : 0.0f;
}

const float* ForecastData::slotField(int slot) const {
    return slot >= 0 && slot < NUM_SLOTS ? slots[slot] : nullptr;
}

template <class Value>
float ForecastData::interpolate(Value value, float row, float col, float t) const {
    // Written so that NaN fails the range test as well.
    if (!(row >= 0.0f && row <= nRows) || !(col >= 0.0f && col <= nCols) || !(t >= 0.0f && t <= nTimes)) return 0.0f;
    // A coordinate equal to the dimension size has no cell of its own: it reads as the last one.
    const int i = std::min(static_cast<int>(row), nRows - 1);
    const int j = std::min(static_cast<int>(col), nCols - 1);
    const int k = std::min(static_cast<int>(t), nTimes - 1);
    const float fr = row - i, fc = col - j, ft = t - k;
    const int i1 = i == nRows - 1 ? i : i + 1;
    const int j1 = j == nCols - 1 ? j : j + 1;
    auto at = [&](int kk, int ii, int jj) { return value((static_cast<std::size_t>(kk) * nRows + ii) * nCols + jj); };
    auto layer = [&](int kk) {
        return (1.0f - fc) * ((1.0f - fr) * at(kk, i, j) + fr * at(kk, i1, j)) +
               fc * ((1.0f - fr) * at(kk, i, j1) + fr * at(kk, i1, j1));
    };
    const float s0 = layer(k);
    if (k == nTimes - 1) return s0;
    return (1.0f - ft) * s0 + ft * layer(k + 1);
}

template <class Pred>
bool ForecastData::anyWeightedCorner(Pred pred, float row, float col, float t) const {
    if (!(row >= 0.0f && row <= nRows) || !(col >= 0.0f && col <= nCols) || !(t >= 0.0f && t <= nTimes)) return false;
    const int i = std::min(static_cast<int>(row), nRows - 1);
    const int j = std::min(static_cast<int>(col), nCols - 1);
    const int k = std::min(static_cast<int>(t), nTimes - 1);
    // The corners interpolate() gives a non-zero weight.
    const int i1 = i == nRows - 1 || row - i == 0.0f ? i : i + 1;
    const int j1 = j == nCols - 1 || col - j == 0.0f ? j : j + 1;
    const int k1 = k == nTimes - 1 || t - k == 0.0f ? k : k + 1;
    for (int kk : {k, k1})
        for (int ii : {i, i1})
            for (int jj : {j, j1})
                if (pred((static_cast<std::size_t>(kk) * nRows + ii) * nCols + jj)) return true;
    return false;
}

float ForecastData::sample(const float* field, float row, float col, float t) const {
    if (!field) return 0.0f;
    return interpolate([field](std::size_t p) { return field[p]; }, row, col, t);
}

float ForecastData::sampleSlot(int slot, float row, float col, double t) {
    setTime(t);
    return sample(slotField(slot), row, col, static_cast<float>(currentTime));
}

bool ForecastData::isMissingValue(float v) const { return missingIn(v, hasMissing, missingValue); }

bool ForecastData::cornerMissing(const std::vector<bool>& missing, float row, float col, float t) const {
    if (missing.empty()) return false;
    return anyWeightedCorner([&missing](std::size_t p) { return static_cast<bool>(missing[p]); }, row, col, t);
}

bool ForecastData::missingAt(int slot, float row, float col, double t) {
    setTime(t);
    const float tt = static_cast<float>(currentTime);
    if (slot == WIND_SPEED || slot == WIND_DIR_X || slot == WIND_DIR_Y) return cornerMissing(windMissing, row, col, tt);
    if (slot == JET_SPEED || slot == JET_DIR_X || slot == JET_DIR_Y) return cornerMissing(jetMissing, row, col, tt);
    const float* field = slotField(slot);
    return field && anyWeightedCorner([this, field](std::size_t p) { return isMissingValue(field[p]); }, row, col, tt);
}

float ForecastData::componentAt(const FloatField& dir, const FloatField& speed, const std::vector<bool>& missing,
                                float row, float col, double t) {
    setTime(t);
    const float tt = static_cast<float>(currentTime);
    if (dir.empty() || speed.empty()) return 0.0f;
    if (cornerMissing(missing, row, col, tt)) return hasMissing ? missingValue : kFill;
    // Interpolate the component itself, corner by corner, as sampling the file's field would.
    return interpolate([&](std::size_t p) { return static_cast<float>(static_cast<double>(dir[p]) * speed[p]); }, row,
                       col, tt);
}

float ForecastData::at(const FloatField& field, float row, float col, double t) {
    setTime(t);
    return sample(field.empty() ? nullptr : field.data(), row, col, static_cast<float>(currentTime));
}

const float* ForecastData::resampleSlice(const float* field) {
    if (!loaded || !field) return nullptr;
    const float t = static_cast<float>(currentTime);
    for (int row = 0; row < nRows; ++row)
        for (int col = 0; col < nCols; ++col)
            slice[static_cast<std::size_t>(row) * nCols + col] = sample(field, row, col, t);
    return slice.data();
}

const float* ForecastData::slotSlice(int slot, double t) {
    setTime(t);
    const float* field = slotField(slot);
    if (!field) return nullptr;
    const int k = std::min(static_cast<int>(currentTime), nTimes - 1);
    return field + static_cast<std::size_t>(k) * nRows * nCols;
}
