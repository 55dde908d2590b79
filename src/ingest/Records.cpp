#include "Records.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ingest {

namespace {

enum class Timing { Instant, RunTotal };

struct Wanted {
    int id;
    RrfsFile file;
    long category, number;
    long surfaces[2];  // -1: no second choice
    bool hasLevel;
    double level;
    const char* var;
    const char* levels[2];
    Timing timing;
};

// NCEP writes total cloud cover both instantaneous and as an hour's average, and precipitation both
// as a one-hour bucket and as the run total: the instantaneous value and the run total are wanted.
const Wanted kWanted[] = {
    {U10, RrfsFile::TwoD, 2, 2, {103, -1}, true, 10.0, "UGRD", {"10 m above ground", nullptr}, Timing::Instant},
    {V10, RrfsFile::TwoD, 2, 3, {103, -1}, true, 10.0, "VGRD", {"10 m above ground", nullptr}, Timing::Instant},
    {U250, RrfsFile::PresLev, 2, 2, {100, -1}, true, 25000.0, "UGRD", {"250 mb", nullptr}, Timing::Instant},
    {V250, RrfsFile::PresLev, 2, 3, {100, -1}, true, 25000.0, "VGRD", {"250 mb", nullptr}, Timing::Instant},
    {T2, RrfsFile::TwoD, 0, 0, {103, -1}, true, 2.0, "TMP", {"2 m above ground", nullptr}, Timing::Instant},
    {PRMSL, RrfsFile::TwoD, 3, 1, {101, -1}, false, 0.0, "PRMSL", {"mean sea level", nullptr}, Timing::Instant},
    {kMslet, RrfsFile::TwoD, 3, 192, {101, -1}, false, 0.0, "MSLET", {"mean sea level", nullptr}, Timing::Instant},
    {TCDC, RrfsFile::TwoD, 6, 1, {10, 200}, false, 0.0, "TCDC",
     {"entire atmosphere", "entire atmosphere (considered as a single layer)"}, Timing::Instant},
    {APCP, RrfsFile::TwoD, 1, 8, {1, -1}, false, 0.0, "APCP", {"surface", nullptr}, Timing::RunTotal},
};

// Reads a whole number at p; false when there is none.
bool number(const std::string& s, std::size_t& p, long& v) {
    const std::size_t start = p;
    v = 0;
    while (p < s.size() && s[p] >= '0' && s[p] <= '9' && v < 100000) v = v * 10 + (s[p++] - '0');
    return p > start && (p == s.size() || s[p] < '0' || s[p] > '9');
}

// Hours of a time unit word as wgrib2 writes it.
long unitHours(const std::string& s, std::size_t& p) {
    for (const auto& [word, hours] : {std::pair<const char*, long>{" hour ", 1}, {" day ", 24}}) {
        const std::size_t n = std::char_traits<char>::length(word);
        if (s.compare(p, n, word) == 0) {
            p += n;
            return hours;
        }
    }
    return 0;
}

// wgrib2's time text: "anl", "6 hour fcst", "0-6 hour acc fcst", "0-1 day acc fcst", "5-6 hour ave
// fcst". Gives the period in hours (from == to for an instant) and the statistic ("" for an instant).
bool parseTime(const std::string& s, long& from, long& to, std::string& statistic) {
    statistic.clear();
    if (s == "anl") {
        from = to = 0;
        return true;
    }
    std::size_t p = 0;
    long a = 0, b = 0;
    if (!number(s, p, a)) return false;
    const bool range = p < s.size() && s[p] == '-';
    if (range && !number(s, ++p, b)) return false;
    const long unit = unitHours(s, p);
    if (unit == 0) return false;
    const std::string rest = s.substr(p);
    if (!range) {
        if (rest != "fcst") return false;
        from = to = a * unit;
        return true;
    }
    if (rest.size() < 6 || rest.compare(rest.size() - 5, 5, " fcst") != 0) return false;
    statistic = rest.substr(0, rest.size() - 5);
    from = a * unit;
    to = b * unit;
    return true;
}

bool levelMatches(const Wanted& w, const std::string& level) {
    for (const char* l : w.levels)
        if (l && level == l) return true;
    return false;
}

const Wanted* rowOf(int id) {
    for (const Wanted& w : kWanted)
        if (w.id == id) return &w;
    return nullptr;
}

}  // namespace

int classifyRecord(const RecordKeys& k) {
    if (k.discipline != 0) return -1;
    for (const Wanted& w : kWanted) {
        if (k.category != w.category || k.number != w.number) continue;
        if (k.surface != w.surfaces[0] && k.surface != w.surfaces[1]) continue;
        if (w.hasLevel && std::fabs(k.level - w.level) > 1e-6 * w.level) continue;
        const bool timing = w.timing == Timing::Instant ? k.pdt == 0 : k.pdt == 8 && k.statistic == 1;
        return timing ? w.id : -1;
    }
    return -1;
}

const char* rrfsFileName(RrfsFile f) { return f == RrfsFile::TwoD ? "2dfld" : "prslev"; }

bool parseInventoryLine(const std::string& line, InventoryLine& out) {
    out = InventoryLine();
    // Fields end with a colon; a field without one was cut short and is not used.
    std::vector<std::string> fields;
    std::size_t p = 0;
    for (std::size_t c; (c = line.find(':', p)) != std::string::npos; p = c + 1) fields.push_back(line.substr(p, c - p));
    if (fields.size() < 2 || fields[0].empty() || fields[1].empty()) return false;
    if (fields[0].find_first_not_of("0123456789.") != std::string::npos ||
        fields[1].find_first_not_of("0123456789") != std::string::npos || fields[1].size() > 15)
        return false;
    out.offset = std::strtoll(fields[1].c_str(), nullptr, 10);
    if (fields.size() < 6 || fields[2].compare(0, 2, "d=") != 0) return true;
    out.run = fields[2].substr(2);
    out.var = fields[3];
    out.level = fields[4];
    out.time = fields[5];
    out.complete = true;
    return true;
}

int classifyInventory(const InventoryLine& line, const std::string& run, int hour) {
    if (!line.complete || line.run != run) return -1;
    long from = 0, to = 0;
    std::string statistic;
    if (!parseTime(line.time, from, to, statistic) || to != hour) return -1;
    for (const Wanted& w : kWanted) {
        if (line.var != w.var || !levelMatches(w, line.level)) continue;
        const bool timing = w.timing == Timing::Instant ? statistic.empty() && from == to
                                                        : statistic == "acc" && from == 0 && to > 0;
        if (timing) return w.id;
    }
    return -1;
}

bool selectRanges(const std::string& inventory, RrfsFile file, const std::string& run, int hour,
                  std::vector<ByteRange>& ranges, std::string& error) {
    ranges.clear();
    std::vector<long long> offsets;
    long long found[kFieldCount + 1];
    std::fill(found, found + kFieldCount + 1, -1LL);
    std::size_t p = 0;
    while (p < inventory.size()) {
        std::size_t e = inventory.find('\n', p);
        const bool cut = e == std::string::npos;  // a last line without its newline
        if (cut) e = inventory.size();
        InventoryLine line;
        if (parseInventoryLine(inventory.substr(p, e - p), line)) {
            offsets.push_back(line.offset);
            const int id = cut ? -1 : classifyInventory(line, run, hour);
            if (id >= 0 && found[id] < 0 && rowOf(id)->file == file) found[id] = line.offset;
        }
        p = e + 1;
    }
    if (found[PRMSL] < 0) found[PRMSL] = found[kMslet];
    for (int id = 0; id < kFieldCount; ++id) {
        const Wanted* w = rowOf(id);
        if (w->file != file || (id == APCP && hour == 0)) continue;
        if (found[id] >= 0) continue;
        error = "lists no " + std::string(w->var) + (id == PRMSL ? " or MSLET" : "") + " (" + w->levels[0] + ", " +
                (w->timing == Timing::Instant ? "hour " + std::to_string(hour)
                                              : "0-" + std::to_string(hour) + " hour total") +
                ") of run " + run;
        return false;
    }
    std::sort(offsets.begin(), offsets.end());
    std::vector<long long> starts;
    for (int id = 0; id < kFieldCount; ++id)
        if (found[id] >= 0 && rowOf(id)->file == file && !(id == APCP && hour == 0)) starts.push_back(found[id]);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());  // fields N.1, N.2 of one message
    for (long long s : starts) {
        // A message ends where the next one begins; the last one at the end of the file.
        const auto next = std::upper_bound(offsets.begin(), offsets.end(), s);
        const long long end = next == offsets.end() ? -1 : *next - 1;
        if (!ranges.empty() && ranges.back().end >= 0 && ranges.back().end + 1 == s)
            ranges.back().end = end;
        else
            ranges.push_back({s, end});
    }
    return true;
}

}  // namespace ingest
