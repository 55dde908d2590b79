#include "HttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

namespace {

bool sendAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
        if (k <= 0) return false;
        p += k;
        n -= static_cast<std::size_t>(k);
    }
    return true;
}

bool sendAll(int fd, const std::string& s) { return sendAll(fd, s.data(), s.size()); }

}  // namespace

HttpServer::HttpServer(std::string root) : root_(std::move(root)) {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listen_, 64) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("HttpServer: cannot listen on 127.0.0.1");
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

HttpServer::~HttpServer() {
    {
        std::lock_guard<std::mutex> lock(m_);
        stopping_ = true;
        for (int fd : clients_) ::shutdown(fd, SHUT_RDWR);
    }
    stopped_.notify_all();
    ::shutdown(listen_, SHUT_RDWR);
    acceptor_.join();
    ::close(listen_);
    for (std::thread& t : threads_) t.join();
}

void HttpServer::setFault(const std::string& pathPrefix, Fault f) {
    std::lock_guard<std::mutex> lock(m_);
    faults_[pathPrefix] = f;
}

HttpServer::Fault HttpServer::faultFor(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_);
    Fault f = Fault::None;
    std::size_t best = 0;
    for (const auto& [prefix, fault] : faults_)
        if ((path == prefix || (prefix.back() == '/' && path.compare(0, prefix.size(), prefix) == 0)) &&
            prefix.size() >= best) {
            best = prefix.size();
            f = fault;
        }
    if (f == Fault::UnavailableOnce && seen_[path]++ > 0) f = Fault::None;
    return f;
}

void HttpServer::acceptLoop() {
    for (;;) {
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        std::lock_guard<std::mutex> lock(m_);
        if (stopping_) {
            ::close(fd);
            return;
        }
        ++connections_;
        clients_.push_back(fd);
        threads_.emplace_back([this, fd] { serve(fd); });
    }
}

void HttpServer::serve(int fd) {
    std::string in;
    char buf[4096];
    for (;;) {
        std::size_t end;
        while ((end = in.find("\r\n\r\n")) == std::string::npos) {
            const ssize_t k = ::recv(fd, buf, sizeof buf, 0);
            if (k <= 0) {
                end = std::string::npos;
                break;
            }
            in.append(buf, static_cast<std::size_t>(k));
        }
        if (end == std::string::npos) break;
        const std::string head = in.substr(0, end);
        in.erase(0, end + 4);
        std::istringstream lines(head);
        std::string method, path, line, range;
        lines >> method >> path;
        std::getline(lines, line);
        bool close = false;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::string lower = line;
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (lower.rfind("range: bytes=", 0) == 0) range = line.substr(13);
            if (lower == "connection: close") close = true;
        }
        ++requests_;
        if (delay_ > 0) {
            std::unique_lock<std::mutex> lock(m_);
            stopped_.wait_for(lock, std::chrono::duration<double>(delay_.load()), [this] { return stopping_.load(); });
        }
        if (method != "GET" || !reply(fd, path, range) || close) break;
    }
    std::lock_guard<std::mutex> lock(m_);
    for (auto it = clients_.begin(); it != clients_.end(); ++it)
        if (*it == fd) {
            clients_.erase(it);
            break;
        }
    ::close(fd);
}

bool HttpServer::reply(int fd, const std::string& path, const std::string& range) {
    const Fault fault = faultFor(path);
    std::ifstream file(root_ + path, std::ios::binary);
    if (fault == Fault::NotFound || !file || path.find("..") != std::string::npos) {
        const std::string body = "<html><body>404 Not Found</body></html>\n";
        return sendAll(fd, "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " +
                               std::to_string(body.size()) + "\r\n\r\n" + body);
    }
    if (fault == Fault::UnavailableOnce) {
        const std::string body = "<html><body>503 Slow Down</body></html>\n";
        return sendAll(fd, "HTTP/1.1 503 Service Unavailable\r\nContent-Length: " + std::to_string(body.size()) +
                               "\r\n\r\n" + body);
    }
    const std::string data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    long long a = 0, b = static_cast<long long>(data.size()) - 1;
    bool partial = false;
    if (!range.empty() && fault != Fault::IgnoreRange) {
        const std::size_t dash = range.find('-');
        a = std::stoll(range.substr(0, dash));
        if (dash + 1 < range.size()) b = std::min(b, std::stoll(range.substr(dash + 1)));
        if (a > b) return sendAll(fd, "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Length: 0\r\n\r\n");
        partial = true;
    }
    const std::size_t length = static_cast<std::size_t>(b - a + 1);
    std::string head = partial ? "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(a) + "-" +
                                     std::to_string(b) + "/" + std::to_string(data.size()) + "\r\n"
                               : "HTTP/1.1 200 OK\r\n";
    head += "Content-Length: " + std::to_string(length) + "\r\n\r\n";
    if (!sendAll(fd, head)) return false;
    if (fault == Fault::Stall) {
        std::unique_lock<std::mutex> lock(m_);
        stopped_.wait_for(lock, std::chrono::seconds(120), [this] { return stopping_.load(); });
        return false;
    }
    if (fault == Fault::CutShort) {
        sendAll(fd, data.data() + a, length / 2);
        return false;
    }
    return sendAll(fd, data.data() + a, length);
}

}  // namespace testsupport
