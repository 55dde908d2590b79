#include "LayerTexture.h"

#include <algorithm>
#include <cstdio>

#include "Texture.h"

LayerTexture::LayerTexture() {
    if (!glGenFramebuffers || !glGenRenderbuffers || !glBlendFuncSeparate) return;
    glGenFramebuffers(1, &fbo);
    glGenRenderbuffers(1, &depth);
    colour = std::make_unique<Texture>(GL_TEXTURE_2D);
}

LayerTexture::~LayerTexture() {
    if (fbo) glDeleteFramebuffers(1, &fbo);
    if (depth) glDeleteRenderbuffers(1, &depth);
}

bool LayerTexture::resize(int w, int h) {
    if (w == width && h == height) return true;
    GLint renderbuffer = 0;
    colour->allocateTarget2D(w, h, GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, GL_NEAREST);
    glGetIntegerv(GL_RENDERBUFFER_BINDING, &renderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, w, h);
    glBindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(renderbuffer));
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour->name, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previousFramebuffer));
    if (!complete) {
        std::fprintf(stderr, "LayerTexture: cannot draw into a %d x %d texture; drawing directly\n", w, h);
        glDeleteFramebuffers(1, &fbo);
        fbo = 0;
        return false;
    }
    width = w;
    height = h;
    return true;
}

bool LayerTexture::beginDraw(int w, int h) {
    if (!available() || w <= 0 || h <= 0) return false;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previousFramebuffer);
    if (!resize(w, h)) return false;
    glPushAttrib(GL_VIEWPORT_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glViewport(0, 0, w, h);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // Colour as the frame would blend it, alpha as coverage: the texture holds the layer
    // premultiplied, so putting it over the frame later gives what drawing there gives now.
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    return true;
}

void LayerTexture::endDraw() {
    findTiles();
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(previousFramebuffer));
    glPopAttrib();
}

// Overlays cover a small share of the window in small marks: compositing only the tiles that hold
// something saves most of a window-sized blend.
void LayerTexture::findTiles() {
    tiles.clear();
    std::vector<unsigned char> alpha(static_cast<size_t>(width) * height);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_ALPHA, GL_UNSIGNED_BYTE, alpha.data());
    glPopClientAttrib();
    const int tilesX = (width + kTile - 1) / kTile, tilesY = (height + kTile - 1) / kTile;
    std::vector<char> used(static_cast<size_t>(tilesX) * tilesY, 0);
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = alpha.data() + static_cast<size_t>(y) * width;
        char* usedRow = used.data() + static_cast<size_t>(y / kTile) * tilesX;
        for (int x = 0; x < width; ++x)
            if (row[x]) usedRow[x / kTile] = 1;
    }
    // Runs of neighbouring tiles in a row become one quad: llvmpipe pays per triangle too.
    const GLfloat w = static_cast<GLfloat>(width), h = static_cast<GLfloat>(height);
    for (int ty = 0; ty < tilesY; ++ty) {
        const char* usedRow = used.data() + static_cast<size_t>(ty) * tilesX;
        for (int tx = 0; tx < tilesX;) {
            if (!usedRow[tx]) {
                ++tx;
                continue;
            }
            const int start = tx;
            while (tx < tilesX && usedRow[tx]) ++tx;
            const GLfloat x0 = static_cast<GLfloat>(start * kTile), y0 = static_cast<GLfloat>(ty * kTile);
            const GLfloat x1 = static_cast<GLfloat>(std::min(width, tx * kTile));
            const GLfloat y1 = static_cast<GLfloat>(std::min(height, (ty + 1) * kTile));
            const GLfloat quad[16] = {x0, y0, x0 / w, y0 / h, x1, y0, x1 / w, y0 / h,
                                      x1, y1, x1 / w, y1 / h, x0, y1, x0 / w, y1 / h};
            tiles.insert(tiles.end(), quad, quad + 16);
        }
    }
}

void LayerTexture::composite() const {
    if (!available() || tiles.empty()) return;
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT | GL_TRANSFORM_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glUseProgram(0);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, width, 0, height, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glActiveTexture(GL_TEXTURE0);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, colour->name);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 4 * sizeof(GLfloat), tiles.data());
    glClientActiveTexture(GL_TEXTURE0);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_FLOAT, 4 * sizeof(GLfloat), tiles.data() + 2);
    glDrawArrays(GL_QUADS, 0, static_cast<GLsizei>(tiles.size() / 4));
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glUseProgram(static_cast<GLuint>(program));
    glPopClientAttrib();
    glPopAttrib();
}
