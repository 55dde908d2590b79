// GRIB2 bytes from the internet through the converter: every message header is read and checked
// before anything is decoded or written. The first byte picks the model (NAM grid 218 or RRFS).
#include <unistd.h>

#include <cstdint>
#include <string>

#include "FuzzFile.h"
#include "Ingest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzFile file;
    static const std::string output = std::string(file.write(data, 0)) + ".nc";
    if (size < 1) return 0;
    ingest::Options opt;
    opt.model = data[0] & 1 ? ingest::Model::Rrfs : ingest::Model::Nam;
    opt.cycle = "2026120900";
    opt.hours = {3};
    opt.files = {file.write(data + 1, size - 1)};
    opt.output = output;
    std::string error;
    if (!ingest::convert(opt, error) && error.empty()) std::abort();  // a failure always says why
    unlink(output.c_str());
    return 0;
}
