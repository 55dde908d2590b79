#include "Fetch.h"

#include <curl/curl.h>

#include <array>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <set>

#include "Records.h"

namespace ingest {

Outcome classifyTransfer(int curlCode, long httpStatus) {
    switch (curlCode) {
        case CURLE_OK:
        case CURLE_HTTP_RETURNED_ERROR: break;
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR: return Outcome::Unreachable;
        case CURLE_PARTIAL_FILE:
        case CURLE_GOT_NOTHING:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM: return Outcome::ServerError;
        case CURLE_FILE_COULDNT_READ_FILE:
        case CURLE_REMOTE_FILE_NOT_FOUND: return Outcome::NotThere;
        default: return Outcome::Refused;
    }
    if (httpStatus == 0 || httpStatus == 200 || httpStatus == 206) return curlCode == CURLE_OK ? Outcome::Ok : Outcome::Refused;
    if (httpStatus == 404 || httpStatus == 403 || httpStatus == 410) return Outcome::NotThere;
    if (httpStatus >= 500 || httpStatus == 429 || httpStatus == 408) return Outcome::ServerError;
    return Outcome::Refused;
}

namespace {

constexpr long long kMostBytes = 1LL << 28;  // an inventory or the last message of a file

double now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// scheme://host[:port] of a URL; "" for file:// (a local disk is never "unreachable").
std::string hostOf(const std::string& url) {
    const std::size_t s = url.find("://");
    if (s == std::string::npos || url.compare(0, s, "file") == 0) return std::string();
    const std::size_t e = url.find('/', s + 3);
    return url.substr(s + 3, e == std::string::npos ? std::string::npos : e - s - 3);
}

std::string relPath(const std::string& run, RrfsFile file, int hour) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "rrfs.%s/%s/rrfs.t%sz.%s.13km.f%03d.na.grib2", run.substr(0, 8).c_str(),
                  run.substr(8, 2).c_str(), run.substr(8, 2).c_str(), rrfsFileName(file), hour);
    return buf;
}

std::string fileOf(const std::string& rel) { return rel.substr(rel.find_last_of('/') + 1); }

struct Job {
    std::string rel;
    bool ranged = false;
    ByteRange range;
    std::vector<std::size_t> sources;  // indexes into the options' sources, in the order to try
    std::size_t at = 0;                // the one being asked
    int attempts = 0;                  // server errors from it so far
    double notBefore = 0.0;
    std::string body;
    long long seen = 0;                // bytes of the reply so far (a reply that ignored the range)
    bool enough = false;               // stopped early: the range was cut from a whole-file reply
    std::string why;                   // the last failure
    std::function<void(Job&)> done;
    std::function<void(Job&)> failed;
    CURL* easy = nullptr;
};

class Fetcher {
public:
    explicit Fetcher(const FetchOptions& o) : opt(o), multi(curl_multi_init()) {
        curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(opt.connections));
        curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(opt.connections));
    }
    ~Fetcher() {
        stop();
        curl_multi_cleanup(multi);
    }

    void submit(std::unique_ptr<Job> j) { waiting.push_back(std::move(j)); }

    // Runs until every submitted request has ended or stop() was called from a callback.
    void run() {
        while (!stopped && (!waiting.empty() || !active.empty())) {
            startDue();
            int running = 0;
            curl_multi_perform(multi, &running);
            collect();
            if (stopped) break;
            double wait = 1.0;
            for (const auto& j : waiting) wait = std::min(wait, std::max(0.0, j->notBefore - now()));
            long soon = -1;  // libcurl's own next deadline (file:// transfers have no socket to wake us)
            curl_multi_timeout(multi, &soon);
            if (soon >= 0) wait = std::min(wait, soon / 1000.0);
            if (active.empty() && !waiting.empty() && wait > 0) {
                struct timespec ts{static_cast<time_t>(wait), static_cast<long>((wait - std::floor(wait)) * 1e9)};
                nanosleep(&ts, nullptr);
            } else if (!active.empty()) {
                curl_multi_poll(multi, nullptr, 0, static_cast<int>(wait * 1000), nullptr);
            }
        }
    }

    void stop() {
        stopped = true;
        for (auto& [easy, job] : active) {
            curl_multi_remove_handle(multi, easy);
            curl_easy_cleanup(easy);
        }
        active.clear();
        waiting.clear();
    }

    bool allHostsDown() const {
        for (const std::string& s : opt.sources)
            if (!dead.count(hostOf(s))) return false;
        return true;
    }
    std::string downHosts() const {
        std::string out;
        for (const auto& [host, why] : deadWhy) out += (out.empty() ? "" : "; ") + ("cannot reach " + host + ": " + why);
        return out;
    }
    bool hostDown(std::size_t source) const { return dead.count(hostOf(opt.sources[source])) > 0; }

    long long bytes = 0;
    long requests = 0, connections = 0;

private:
    static std::size_t onData(char* p, std::size_t size, std::size_t n, void* user) {
        Job& j = *static_cast<Job*>(user);
        const std::size_t len = size * n;
        long status = 0;
        curl_easy_getinfo(j.easy, CURLINFO_RESPONSE_CODE, &status);
        if (status != 0 && status != 200 && status != 206) return len;  // an error page: not kept
        if (!(j.ranged && status == 200)) {
            // More than was asked for (or an inventory past any real one's size) is not kept.
            const long long most = j.ranged && j.range.end >= 0 ? j.range.end - j.range.start + 1 : kMostBytes;
            if (static_cast<long long>(j.body.size() + len) > most) return 0;
            j.body.append(p, len);
            return len;
        }
        // The server sent the whole file: keep the range, and stop once it has been seen.
        const long long from = j.seen, to = j.seen + static_cast<long long>(len);
        j.seen = to;
        const long long a = std::max(from, j.range.start);
        const long long b = j.range.end < 0 ? to : std::min(to, j.range.end + 1);
        if (b > a) j.body.append(p + (a - from), static_cast<std::size_t>(b - a));
        if (j.range.end >= 0 && to > j.range.end) {
            j.enough = true;
            return 0;
        }
        return len;
    }

    void startDue() {
        const double t = now();
        for (auto it = waiting.begin(); it != waiting.end() && active.size() < static_cast<std::size_t>(opt.connections);) {
            if ((*it)->notBefore > t) {
                ++it;
                continue;
            }
            std::unique_ptr<Job> j = std::move(*it);
            it = waiting.erase(it);
            while (j->at < j->sources.size() && hostDown(j->sources[j->at])) {
                const std::string host = hostOf(opt.sources[j->sources[j->at]]);
                j->why = "cannot reach " + host + ": " + deadWhy[host];
                ++j->at;
            }
            if (j->at >= j->sources.size()) {
                j->failed(*j);
                if (stopped) return;
                it = waiting.begin();
                continue;
            }
            start(std::move(j));
        }
    }

    void start(std::unique_ptr<Job> j) {
        CURL* e = curl_easy_init();
        j->body.clear();
        j->seen = 0;
        j->enough = false;
        const std::string url = opt.sources[j->sources[j->at]] + "/" + j->rel;
        curl_easy_setopt(e, CURLOPT_URL, url.c_str());
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https,ftp,file");
        curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(e, CURLOPT_USERAGENT, "skyloom-update/" SKYLOOM_VERSION);
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, opt.connectTimeout);
        curl_easy_setopt(e, CURLOPT_TIMEOUT, opt.timeout);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, opt.stall);
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errors[e].data());
        std::string range;
        if (j->ranged) {
            range = std::to_string(j->range.start) + "-" + (j->range.end >= 0 ? std::to_string(j->range.end) : "");
            curl_easy_setopt(e, CURLOPT_RANGE, range.c_str());
        }
        j->easy = e;
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Fetcher::onData);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, j.get());
        curl_multi_add_handle(multi, e);
        active.emplace(e, std::move(j));
    }

    void collect() {
        int left = 0;
        while (CURLMsg* m = curl_multi_info_read(multi, &left)) {
            if (m->msg != CURLMSG_DONE) continue;
            CURL* e = m->easy_handle;
            auto it = active.find(e);
            if (it == active.end()) continue;
            std::unique_ptr<Job> j = std::move(it->second);
            active.erase(it);
            long status = 0, connects = 0;
            curl_off_t got = 0;
            curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
            curl_easy_getinfo(e, CURLINFO_NUM_CONNECTS, &connects);
            curl_easy_getinfo(e, CURLINFO_SIZE_DOWNLOAD_T, &got);
            const CURLcode code = j->enough ? CURLE_OK : m->data.result;
            const std::string detail = errors[e][0] ? errors[e].data() : curl_easy_strerror(code);
            curl_multi_remove_handle(multi, e);
            curl_easy_cleanup(e);
            errors.erase(e);
            ++requests;
            connections += connects;
            bytes += got;
            finish(std::move(j), code, status, detail);
            if (stopped) return;
        }
    }

    void finish(std::unique_ptr<Job> j, CURLcode code, long status, const std::string& detail) {
        const std::string source = opt.sources[j->sources[j->at]];
        const std::string url = source + "/" + j->rel;
        Outcome o = classifyTransfer(code, status);
        if (o == Outcome::Ok && j->ranged && j->range.end >= 0 &&
            static_cast<long long>(j->body.size()) != j->range.end - j->range.start + 1) {
            o = Outcome::ServerError;  // a reply cut short
            j->why = fileOf(j->rel) + " bytes " + std::to_string(j->range.start) + "-" + std::to_string(j->range.end) +
                     " came back as " + std::to_string(j->body.size()) + " bytes from " + source;
        } else if (o == Outcome::Unreachable) {
            j->why = "cannot reach " + hostOf(source) + ": " + detail;
        } else if (o != Outcome::Ok) {
            j->why = status >= 400 ? fileOf(j->rel) + ": HTTP " + std::to_string(status) + " from " + source
                                   : url + ": " + detail;
        }
        switch (o) {
            case Outcome::Ok: j->done(*j); return;
            case Outcome::Unreachable:
                dead.insert(hostOf(source));
                deadWhy.emplace(hostOf(source), detail);
                break;
            case Outcome::ServerError:
                if (j->attempts < opt.retries) {
                    j->notBefore = now() + opt.backoff * std::pow(2.0, j->attempts);
                    ++j->attempts;
                    waiting.push_back(std::move(j));
                    return;
                }
                break;
            case Outcome::NotThere:
            case Outcome::Refused: break;
        }
        ++j->at;  // the next source, if any
        j->attempts = 0;
        j->notBefore = 0.0;
        waiting.push_front(std::move(j));
    }

    const FetchOptions& opt;
    CURLM* multi;
    std::deque<std::unique_ptr<Job>> waiting;
    std::map<CURL*, std::unique_ptr<Job>> active;
    std::map<CURL*, std::array<char, CURL_ERROR_SIZE>> errors;
    std::set<std::string> dead;
    std::map<std::string, std::string> deadWhy;
    bool stopped = false;
};

std::unique_ptr<Job> job(std::string rel, std::vector<std::size_t> sources) {
    auto j = std::make_unique<Job>();
    j->rel = std::move(rel);
    j->sources = std::move(sources);
    return j;
}

}  // namespace

bool fetchRrfs(const FetchOptions& opt, FetchResult& result, std::string& error) {
    static const bool curlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    result = FetchResult();
    if (!curlReady) {
        error = "cannot start libcurl";
        return false;
    }
    if (opt.sources.empty() || opt.runs.empty() || opt.hours.empty()) {
        error = "nothing to fetch";
        return false;
    }
    const int last = opt.hours.back();
    const RrfsFile kinds[2] = {RrfsFile::TwoD, RrfsFile::PresLev};
    std::string lastIdx[2];
    Fetcher f(opt);
    auto total = [&] {
        result.bytes = f.bytes;
        result.requests = f.requests;
        result.connections = f.connections;
    };

    // The last hour is published last: a run whose last inventories list every wanted field is
    // complete. Each source is asked in turn, so a mirror that lags does not hide a run.
    std::size_t chosen = opt.sources.size();
    std::string why;
    for (const std::string& run : opt.runs) {
        for (std::size_t s = 0; s < opt.sources.size() && chosen == opt.sources.size(); ++s) {
            if (f.hostDown(s)) continue;
            std::string failures[2];  // the 2dfld file's reason first, whichever reply came first
            for (int k = 0; k < 2; ++k) {
                auto j = job(relPath(run, kinds[k], last) + ".idx", {s});
                j->done = [&, k, run](Job& d) {
                    std::vector<ByteRange> unused;
                    std::string e;
                    if (selectRanges(d.body, kinds[k], run, last, unused, e))
                        lastIdx[k] = std::move(d.body);
                    else
                        failures[k] = fileOf(d.rel) + " " + e;
                };
                j->failed = [&, k](Job& d) { failures[k] = d.why; };
                f.submit(std::move(j));
            }
            lastIdx[0].clear();
            lastIdx[1].clear();
            f.run();
            const std::string failure = failures[0].empty() ? failures[1] : failures[0];
            if (failure.empty()) {
                chosen = s;
                result.run = run;
            } else if (why.empty() || !f.hostDown(s)) {
                why = failure;
            }
        }
        if (chosen < opt.sources.size()) break;
        total();
        if (f.allHostsDown()) {
            error = f.downHosts();
            return false;
        }
        if (opt.runs.size() > 1 && opt.say) opt.say("run " + run + " is not available yet: " + why);
        if (opt.runs.size() == 1) {
            error = "run " + run + " is not available: " + why;
            return false;
        }
        why.clear();
    }
    if (chosen == opt.sources.size()) {
        std::string tried;
        for (const std::string& r : opt.runs) tried += (tried.empty() ? "" : " ") + r;
        std::string where;
        for (const std::string& s : opt.sources) where += (where.empty() ? "" : " or ") + s;
        error = "no complete RRFS run found at " + where + " (tried " + tried + ")";
        return false;
    }
    result.source = opt.sources[chosen];
    if (opt.say)
        opt.say("RRFS run " + result.run + ", " + std::to_string(opt.hours.size()) + " forecast hours, from " +
                result.source);

    // The source that had the run first, the others as fallbacks.
    std::vector<std::size_t> order{chosen};
    for (std::size_t s = 0; s < opt.sources.size(); ++s)
        if (s != chosen) order.push_back(s);

    struct Hour {
        int hour;
        std::vector<std::string> parts[2];
        int missing = 2;  // inventories and ranges still to come
        std::string path;
    };
    std::vector<Hour> hours(opt.hours.size());
    auto fail = [&](const std::string& e) {
        if (error.empty()) error = e;
        f.stop();
    };
    auto failHour = [&](int hour) {
        return [&, hour](Job& d) { fail("hour " + std::to_string(hour) + " of run " + result.run + ": " + d.why); };
    };
    auto partDone = [&](Hour& h) {
        if (--h.missing > 0) return;
        std::FILE* out = std::fopen(h.path.c_str(), "wb");
        bool ok = out != nullptr;
        for (auto& parts : h.parts)
            for (std::string& p : parts) {
                ok = ok && std::fwrite(p.data(), 1, p.size(), out) == p.size();
                std::string().swap(p);
            }
        if (out && std::fclose(out) != 0) ok = false;
        if (!ok) fail("cannot write " + h.path);
    };
    auto ranges = [&](Hour& h, int k, const std::string& inventory, const std::string& rel) {
        std::vector<ByteRange> wanted;
        std::string e;
        if (!selectRanges(inventory, kinds[k], result.run, h.hour, wanted, e)) {
            fail("hour " + std::to_string(h.hour) + " of run " + result.run + ": " + fileOf(rel) + ".idx " + e);
            return;
        }
        h.parts[k].resize(wanted.size());
        h.missing += static_cast<int>(wanted.size());
        for (std::size_t r = 0; r < wanted.size(); ++r) {
            auto j = job(rel, order);
            j->ranged = true;
            j->range = wanted[r];
            j->done = [&h, k, r, &partDone](Job& d) {
                h.parts[k][r] = std::move(d.body);
                partDone(h);
            };
            j->failed = failHour(h.hour);
            f.submit(std::move(j));
        }
        partDone(h);
    };
    for (std::size_t i = 0; i < opt.hours.size(); ++i) {
        Hour& h = hours[i];
        h.hour = opt.hours[i];
        char name[32];
        std::snprintf(name, sizeof name, "/rrfs.f%03d.grib2", h.hour);
        h.path = opt.dir + name;
        result.files.push_back(h.path);
        for (int k = 0; k < 2; ++k) {
            const std::string rel = relPath(result.run, kinds[k], h.hour);
            if (h.hour == last) {
                ranges(h, k, lastIdx[k], rel);
                continue;
            }
            auto j = job(rel + ".idx", order);
            j->done = [&, k, rel, i](Job& d) { ranges(hours[i], k, d.body, rel); };
            j->failed = failHour(h.hour);
            f.submit(std::move(j));
        }
    }
    f.run();
    total();
    return error.empty();
}

}  // namespace ingest
