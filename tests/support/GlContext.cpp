#include "GlContext.h"

#include <GL/glew.h>
#include <GL/freeglut.h>

#include <sstream>

#include "Xvfb.h"

namespace testsupport {

GlContext& GlContext::instance() {
    static std::unique_ptr<GlContext> context(new GlContext);
    return *context;
}

GlContext::GlContext() : xvfb_(new Xvfb("1920x1080x24")) {
    if (!xvfb_->ok()) {
        error_ = xvfb_->error();
        return;
    }
    int argc = 1;
    char name[] = "skyloom-gl-test";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGB | GLUT_DEPTH);
    glutInitWindowSize(width_, height_);
    glutInitWindowPosition(0, 0);
    window_ = glutCreateWindow("skyloom gl test");
    if (window_ <= 0) {
        error_ = "glutCreateWindow failed";
        return;
    }
    glutDisplayFunc([] {});
    // Let the window be mapped before anything is drawn.
    for (int i = 0; i < 5; ++i) glutMainLoopEvent();
}

GlContext::~GlContext() {
    // The window goes before the X server it lives on.
    if (window_ > 0) {
        glutDestroyWindow(window_);
        glutMainLoopEvent();
        glutExit();
    }
    xvfb_.reset();
}

void GlContext::reset() {
    glutSetWindow(window_);
    glViewport(0, 0, width_, height_);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDrawBuffer(GL_BACK);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (glActiveTexture) glActiveTexture(GL_TEXTURE0);
    glErrors();
}

std::array<int, 4> GlContext::readPixel(int x, int y) {
    unsigned char p[4] = {0, 0, 0, 0};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2], p[3]};
}

std::string GlContext::glErrors() {
    std::ostringstream out;
    for (int guard = 0; guard < 32; ++guard) {
        const GLenum e = glGetError();
        if (e == GL_NO_ERROR) break;
        out << "0x" << std::hex << e << ' ';
    }
    return out.str();
}

void GlTest::SetUp() {
    GlContext& gl = GlContext::instance();
    ASSERT_TRUE(gl.ok()) << gl.error();
    gl.reset();
}

}  // namespace testsupport
