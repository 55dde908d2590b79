// skyloom-ingest: converts one model run's GRIB2 hours into forecast.nc; update_data.sh calls it
// after fetching the needed messages.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Ingest.h"

namespace {

int usage(const char* problem) {
    if (problem) std::fprintf(stderr, "skyloom-ingest: %s\n", problem);
    std::fprintf(problem ? stderr : stdout,
                 "usage: skyloom-ingest --model nam|rrfs --cycle YYYYMMDDHH --hours H,H,... --output PATH FILE...\n"
                 "       skyloom-ingest --run-of FILE\n"
                 "One GRIB2 file per forecast hour, in the order of --hours, holding at least the eight fields\n"
                 "(any order, other messages allowed). The output is replaced only by a complete file.\n"
                 "--run-of prints the run (YYYYMMDDHH) of the file's first message.\n");
    return problem ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    ingest::Options opt;
    bool haveModel = false;
    bool options = true;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (options && arg == "--") {
            options = false;
            continue;
        }
        if (options && (arg == "--help" || arg == "-h")) return usage(nullptr);
        if (!options || arg.rfind("--", 0) != 0) {
            opt.files.push_back(arg);
            continue;
        }
        if (a + 1 >= argc) return usage((arg + " needs a value").c_str());
        const std::string value = argv[++a];
        if (arg == "--run-of") {
            const std::string run = ingest::runOfFile(value);
            if (run.empty()) {
                std::fprintf(stderr, "skyloom-ingest: %s holds no readable GRIB message\n", value.c_str());
                return 1;
            }
            std::printf("%s\n", run.c_str());
            return 0;
        } else if (arg == "--model") {
            if (value != "nam" && value != "rrfs") return usage("--model is nam or rrfs");
            opt.model = value == "nam" ? ingest::Model::Nam : ingest::Model::Rrfs;
            haveModel = true;
        } else if (arg == "--cycle") {
            opt.cycle = value;
        } else if (arg == "--output") {
            opt.output = value;
        } else if (arg == "--hours") {
            const char* p = value.c_str();
            while (*p) {
                char* end = nullptr;
                const long h = std::strtol(p, &end, 10);
                if (end == p || h < 0 || h > 999 || (*end && *end != ',')) return usage("--hours is a list like 0,3,6");
                opt.hours.push_back(static_cast<int>(h));
                p = *end ? end + 1 : end;
            }
        } else {
            return usage(("unknown option " + arg).c_str());
        }
    }
    if (!haveModel || opt.cycle.empty() || opt.output.empty() || opt.hours.empty())
        return usage("--model, --cycle, --hours and --output are needed");
    if (opt.files.size() != opt.hours.size()) return usage("give one file per forecast hour");

    ingest::removePartialOutputOnSignals();
    std::string error;
    if (!ingest::convert(opt, error)) {
        std::fprintf(stderr, "skyloom-ingest: %s\n", error.c_str());
        return 1;
    }
    std::printf("wrote %s: %s run %s, %zu steps\n", opt.output.c_str(),
                opt.model == ingest::Model::Nam ? "NAM" : "RRFS", opt.cycle.c_str(), opt.hours.size());
    return 0;
}
