// How much of the servers' latency an RRFS update pays: a run shaped like NOAA's is served by a
// local HTTP server with and without 0.3 s added to every reply, and fetched as update_data.sh
// fetches it (skyloom-ingest --fetch-rrfs). Paid share = (time with delay - time without) /
// (requests x 0.3 s): 100% is one request at a time. Prints figures; asserts nothing.
//   bench_fetch_latency [HOURS...]     (default: 3 and 29 hours)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Fetch.h"
#include "Fixtures.h"
#include "GribFixtures.h"
#include "HttpServer.h"

namespace {

struct Run {
    double seconds;
    long requests;
    long long bytes;
    long connections;
};

Run fetch(testsupport::HttpServer& server, const std::string& dir, const std::vector<int>& hours, double delay,
          int connections) {
    server.setDelay(delay);
    ingest::FetchOptions opt;
    opt.sources = {server.url()};
    opt.runs = {"2026120906", "2026120900"};  // the newest not there yet, as usual
    opt.hours = hours;
    opt.dir = dir;
    opt.connections = connections;
    ingest::FetchResult got;
    std::string error;
    const long before = server.requests();
    const auto t0 = std::chrono::steady_clock::now();
    if (!ingest::fetchRrfs(opt, got, error)) {
        std::fprintf(stderr, "fetch failed: %s\n", error.c_str());
        std::exit(1);
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return {s, server.requests() - before, got.bytes, got.connections};
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> counts;
    for (int a = 1; a < argc; ++a) counts.push_back(std::atoi(argv[a]));
    if (counts.empty()) counts = {3, 29};
    constexpr double kDelay = 0.3;
    for (int n : counts) {
        testsupport::TempDir dir;
        std::vector<int> hours;
        for (int h = 0; h < n; ++h) hours.push_back(3 * h);
        std::printf("%d-hour run (hours 0-%d): writing the fixture...\n", n, hours.back());
        std::fflush(stdout);
        gribfixture::writeRrfsRun(dir.file("www"), "2026120900", hours);
        std::filesystem::create_directory(dir.file("out"));
        testsupport::HttpServer server(dir.file("www"));
        for (int connections : {1, 6}) {
            const Run fast = fetch(server, dir.file("out"), hours, 0.0, connections);
            const Run slow = fetch(server, dir.file("out"), hours, kDelay, connections);
            std::printf("  %d at a time: %ld requests, %lld bytes, %ld connections; %.2f s without delay, %.2f s with "
                        "%.1f s per reply: pays %.0f%% of one-at-a-time latency\n",
                        connections, slow.requests, slow.bytes, slow.connections, fast.seconds, slow.seconds, kDelay,
                        100.0 * (slow.seconds - fast.seconds) / (slow.requests * kDelay));
            std::fflush(stdout);
        }
    }
    return 0;
}
