#pragma once

#include <array>
#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace testsupport {

class Xvfb;

// One OpenGL context per test program: a private Xvfb and a freeglut window (double buffered, RGB,
// depth), made on first use so that listing the tests starts nothing. Programs using it link
// GLUT, GLEW and OpenGL themselves.
class GlContext {
public:
    // Starts the display and window on the first call; later calls return the same context.
    static GlContext& instance();
    ~GlContext();
    GlContext(const GlContext&) = delete;
    GlContext& operator=(const GlContext&) = delete;

    bool ok() const { return window_ > 0; }
    const std::string& error() const { return error_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // Makes the window current and resets the state tests rely on (viewport over the window,
    // identity matrices, depth test and blending off, texture unit 0 active).
    void reset();

    // RGBA of one pixel of the back buffer (the one drawn into), window coordinates from the bottom.
    static std::array<int, 4> readPixel(int x, int y);
    // Drains glGetError; returns "" when there was none, else the codes found.
    static std::string glErrors();

private:
    GlContext();
    std::unique_ptr<Xvfb> xvfb_;
    int window_ = 0;
    int width_ = 256, height_ = 256;
    std::string error_;
};

// Fixture for tests that draw: brings the context up (failing the test if it cannot) and resets it.
class GlTest : public ::testing::Test {
protected:
    void SetUp() override;
};

}  // namespace testsupport
