#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// A small HTTP/1.1 file server on 127.0.0.1 for the refresh's tests: keep-alive, single byte
// ranges, an optional delay before every reply, and the faults real servers have, chosen by path
// path (or by directory, for a key that ends with '/').
class HttpServer {
public:
    enum class Fault {
        None,
        NotFound,         // 404, as for a run not published yet
        UnavailableOnce,  // 503 for the first request of each path, then the file
        IgnoreRange,      // 200 with the whole file whatever the Range
        CutShort,         // the full Content-Length promised, half of it sent, then closed
        Stall,            // headers, then nothing until the server stops
    };

    explicit HttpServer(std::string root);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    void setDelay(double seconds) { delay_ = seconds; }
    void setFault(const std::string& pathOrDirectory, Fault f);
    long requests() const { return requests_; }
    long connections() const { return connections_; }

private:
    void acceptLoop();
    void serve(int fd);
    bool reply(int fd, const std::string& path, const std::string& range);
    Fault faultFor(const std::string& path);

    std::string root_;
    int listen_ = -1, port_ = 0;
    std::atomic<double> delay_{0.0};
    std::atomic<long> requests_{0}, connections_{0};
    std::atomic<bool> stopping_{false};
    std::mutex m_;
    std::condition_variable stopped_;
    std::map<std::string, Fault> faults_;
    std::map<std::string, int> seen_;
    std::vector<int> clients_;
    std::vector<std::thread> threads_;
    std::thread acceptor_;
};

}  // namespace testsupport
