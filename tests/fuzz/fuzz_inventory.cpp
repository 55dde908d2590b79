// wgrib2 inventories (.idx) as the refresh downloads them: the byte ranges chosen must be sorted,
// apart from each other and inside what the inventory says, whatever the text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Records.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (ingest::RrfsFile file : {ingest::RrfsFile::TwoD, ingest::RrfsFile::PresLev}) {
        for (int hour : {0, 3, 24}) {
            std::vector<ingest::ByteRange> ranges;
            std::string error;
            const bool ok = ingest::selectRanges(text, file, "2026120900", hour, ranges, error);
            if (ok && !error.empty()) std::abort();
            if (!ok) continue;
            for (std::size_t k = 0; k < ranges.size(); ++k) {
                const ingest::ByteRange& r = ranges[k];
                if (r.start < 0 || (r.end >= 0 && r.end < r.start)) std::abort();
                if (k + 1 < ranges.size() && (r.end < 0 || ranges[k + 1].start <= r.end + 1)) std::abort();
            }
        }
    }
    return 0;
}
