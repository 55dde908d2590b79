#pragma once
// The readers take a path, so each input is written to one scratch file in memory-backed /dev/shm
// (or $TMPDIR) that lives as long as the fuzzing process.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

class FuzzFile {
public:
    FuzzFile() {
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
        path_ = std::string(dir) + "/skyloom-fuzz-XXXXXX";
        fd_ = mkstemp(&path_[0]);
        if (fd_ < 0) std::abort();
    }
    ~FuzzFile() {
        close(fd_);
        unlink(path_.c_str());
    }
    const char* write(const std::uint8_t* data, std::size_t size) {
        if (ftruncate(fd_, 0) != 0) std::abort();
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) std::abort();
            done += static_cast<std::size_t>(n);
        }
        return path_.c_str();
    }

private:
    std::string path_;
    int fd_ = -1;
};
