#pragma once

#include <string>
#include <sys/types.h>

namespace testsupport {

// A private Xvfb server for one test process: started on a free display number, with a screen large
// enough for the viewer's window, and stopped when the object goes away. DISPLAY is set while it runs.
class Xvfb {
public:
    explicit Xvfb(const std::string& screen = "1920x1080x24");
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    bool ok() const { return pid_ > 0 && !display_.empty(); }
    const std::string& display() const { return display_; }  // ":N"
    const std::string& error() const { return error_; }

private:
    pid_t pid_ = -1;
    std::string display_, previousDisplay_, error_;
    bool hadDisplay_ = false;
};

}  // namespace testsupport
