#pragma once

#include <functional>
#include <string>
#include <vector>

// Downloads the wanted messages of an RRFS run over HTTP(S) or file:// URLs: the newest complete
// run of the candidates, each hour's two inventories and then the byte ranges that Records.h
// selects from them, several requests at a time over reused connections. Failures are told apart:
// a file not there (404/403) means the run is not published yet; a server error (5xx, a reply cut
// short) is retried with back-off; a host that cannot be reached (name, connection, TLS, timeout)
// is not asked again during this fetch.
namespace ingest {

struct FetchOptions {
    std::vector<std::string> sources;  // base URLs laid out as rrfs.YYYYMMDD/HH/..., asked in this order
    std::vector<std::string> runs;     // candidate runs (YYYYMMDDHH), newest first
    std::vector<int> hours;            // forecast hours, increasing; the last one proves a run complete
    std::string dir;                   // receives rrfs.fFFF.grib2, one file per hour
    int retries = 3;                   // per request, after a server error
    double backoff = 1.0;              // seconds before the first retry; doubles with each
    long timeout = 300;                // seconds one request may take
    long stall = 30;                   // seconds without data before a request is given up
    long connectTimeout = 6;
    int connections = 6;               // requests in flight at once
    std::function<void(const std::string&)> say;  // progress lines
};

struct FetchResult {
    std::string run, source;          // the run fetched and the source that had it first
    std::vector<std::string> files;   // per hour
    long long bytes = 0;              // received, inventories included
    long requests = 0, connections = 0;
};

enum class Outcome { Ok, NotThere, ServerError, Unreachable, Refused };

// What a finished request means, from libcurl's result code and the HTTP status (0 for file://).
Outcome classifyTransfer(int curlCode, long httpStatus);

// False with one line in `error` (no trailing period) when no run could be fetched whole.
bool fetchRrfs(const FetchOptions& opt, FetchResult& result, std::string& error);

}  // namespace ingest
