#pragma once

#include <string>
#include <vector>

// Which GRIB2 records the viewer's eight fields come from. One table answers the question twice:
// for a decoded message header (the converter) and for a wgrib2 inventory line (what the refresh
// downloads), so the two can never disagree about, say, which of two cloud-cover records is wanted.
namespace ingest {

enum FieldId { U10, V10, U250, V250, T2, PRMSL, TCDC, APCP, kFieldCount };
constexpr int kMslet = kFieldCount;  // pressure from the Eta reduction, used when PRMSL is absent

// The header keys of one message that decide what it holds.
struct RecordKeys {
    long discipline = -1, category = -1, number = -1;
    long surface = -1;        // typeOfFirstFixedSurface
    double level = 0.0;       // first fixed surface's value (m, Pa)
    long pdt = -1;            // productDefinitionTemplateNumber
    long statistic = -1;      // typeOfStatisticalProcessing (pdt 8)
};

// The field a message holds: a FieldId, kMslet, or -1 for everything else. Accumulations of any
// period match APCP; the caller keeps the one that starts with the run.
int classifyRecord(const RecordKeys& k);

// The two RRFS files of a forecast hour.
enum class RrfsFile { TwoD, PresLev };
const char* rrfsFileName(RrfsFile f);  // "2dfld", "prslev"

// A byte range of a GRIB2 file; end < 0: to the end of the file.
struct ByteRange {
    long long start = 0, end = -1;
    bool operator==(const ByteRange& o) const { return start == o.start && end == o.end; }
};

// One line of a wgrib2 inventory: "N[.k]:OFFSET:d=YYYYMMDDHH:VAR:LEVEL:TIME:". `complete` is false
// for a line cut short (its offset is still good when it was followed by a colon).
struct InventoryLine {
    long long offset = -1;
    std::string run, var, level, time;
    bool complete = false;
};
bool parseInventoryLine(const std::string& line, InventoryLine& out);

// The field an inventory line of the given run and forecast hour holds (same ids as classifyRecord,
// with the run total only for APCP), or -1.
int classifyInventory(const InventoryLine& line, const std::string& run, int hour);

// The byte ranges to download from one RRFS file of a forecast hour: the messages of the fields
// that file carries, neighbours merged. False with one line in `error` when a field is not listed.
bool selectRanges(const std::string& inventory, RrfsFile file, const std::string& run, int hour,
                  std::vector<ByteRange>& ranges, std::string& error);

}  // namespace ingest
