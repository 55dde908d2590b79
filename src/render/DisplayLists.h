#pragma once

#include <GL/glew.h>

// Display-list blocks through one place, so a long-running viewer can tell how many it holds.
// Needs a current OpenGL context.
namespace displaylists {

// glGenLists(n), counting the n lists when the driver gives them (0 otherwise).
GLuint generate(GLsizei n);
// glDeleteLists(base, n) for a block from generate(); base 0 does nothing.
void release(GLuint base, GLsizei n);
// Lists generated and not yet released, over the whole process.
long live();

}  // namespace displaylists
