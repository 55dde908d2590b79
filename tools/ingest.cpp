// skyloom-ingest: converts one model run's GRIB2 hours into forecast.nc; update_data.sh calls it
// after fetching the needed messages.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Fetch.h"
#include "Ingest.h"

namespace {

int usage(const char* problem) {
    if (problem) std::fprintf(stderr, "skyloom-ingest: %s\n", problem);
    std::fprintf(problem ? stderr : stdout,
                 "usage: skyloom-ingest --model nam|rrfs --cycle YYYYMMDDHH --hours H,H,... --output PATH FILE...\n"
                 "       skyloom-ingest --run-of FILE\n"
                 "       skyloom-ingest --fetch-rrfs --runs RUN,RUN,... --hours H,H,... --source URL [--source URL]...\n"
                 "                      --dir DIR [--retries N] [--timeout SECONDS]\n"
                 "One GRIB2 file per forecast hour, in the order of --hours, holding at least the eight fields\n"
                 "(any order, other messages allowed). The output is replaced only by a complete file.\n"
                 "--run-of prints the run (YYYYMMDDHH) of the file's first message.\n"
                 "--fetch-rrfs downloads the newest complete run of those listed (newest first) from the first\n"
                 "source that has it into DIR/rrfs.fFFF.grib2: only the wanted messages, by byte ranges read from\n"
                 "the .idx inventories, several requests at a time. A run not published (404) falls back to the\n"
                 "next; server errors are retried; a host that cannot be reached is not asked again.\n");
    return problem ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    ingest::Options opt;
    ingest::FetchOptions fetch;
    bool fetching = false;
    bool haveModel = false;
    bool options = true;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        if (options && arg == "--") {
            options = false;
            continue;
        }
        if (options && (arg == "--help" || arg == "-h")) return usage(nullptr);
        if (options && arg == "--fetch-rrfs") {
            fetching = true;
            continue;
        }
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
        } else if (arg == "--runs") {
            for (std::size_t p = 0; p <= value.size();) {
                const std::size_t c = std::min(value.find(',', p), value.size());
                const std::string run = value.substr(p, c - p);
                if (run.size() != 10 || run.find_first_not_of("0123456789") != std::string::npos)
                    return usage("--runs is a list like 2026121006,2026121000");
                fetch.runs.push_back(run);
                p = c + 1;
            }
        } else if (arg == "--source") {
            fetch.sources.push_back(value.size() > 1 && value.back() == '/' ? value.substr(0, value.size() - 1) : value);
        } else if (arg == "--dir") {
            fetch.dir = value;
        } else if (arg == "--retries" || arg == "--timeout") {
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (*end || n < 0 || n > 100000 || (arg == "--timeout" && n == 0)) return usage((arg + " needs a number").c_str());
            if (arg == "--retries") fetch.retries = static_cast<int>(n);
            else fetch.timeout = n;
        } else {
            return usage(("unknown option " + arg).c_str());
        }
    }
    if (fetching) {
        if (fetch.runs.empty() || opt.hours.empty() || fetch.sources.empty() || fetch.dir.empty())
            return usage("--fetch-rrfs needs --runs, --hours, --source and --dir");
        fetch.hours = opt.hours;
        fetch.stall = std::min(fetch.stall, fetch.timeout);
        fetch.say = [](const std::string& line) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        };
        ingest::FetchResult got;
        std::string error;
        const bool ok = ingest::fetchRrfs(fetch, got, error);
        if (!ok) {
            std::fprintf(stderr, "skyloom-ingest: %s\n", error.c_str());
            return 1;
        }
        std::printf("fetched %lld bytes in %ld requests over %ld connections\n", got.bytes, got.requests, got.connections);
        std::printf("run %s\n", got.run.c_str());
        return 0;
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
