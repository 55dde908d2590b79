#include "DisplayLists.h"

namespace displaylists {
namespace {
long liveLists = 0;
}

GLuint generate(GLsizei n) {
    const GLuint base = glGenLists(n);
    if (base != 0 && n > 0) liveLists += n;
    return base;
}

void release(GLuint base, GLsizei n) {
    if (base == 0 || n <= 0) return;
    glDeleteLists(base, n);
    liveLists -= n;
}

long live() { return liveLists; }

}  // namespace displaylists
