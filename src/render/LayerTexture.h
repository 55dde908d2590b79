#pragma once

#include <GL/glew.h>

#include <memory>
#include <vector>

class Texture;

// A layer of the picture drawn once into a window-sized texture and put over the frame on later
// frames, for content that changes far less often than the frame does. What is drawn between
// beginDraw() and endDraw() lands in the texture with premultiplied alpha (its own depth buffer
// keeps the layer's own stacking); composite() blends it over the current framebuffer exactly as
// drawing it there directly would, touching only the tiles that hold something. Owns its
// framebuffer object, depth buffer and texture. Where framebuffer objects are missing available()
// is false and the caller draws directly.
class LayerTexture {
public:
    LayerTexture();
    ~LayerTexture();
    LayerTexture(const LayerTexture&) = delete;
    LayerTexture& operator=(const LayerTexture&) = delete;

    bool available() const { return fbo != 0; }

    // Starts drawing the layer at width x height pixels (the viewport is set to that, the
    // matrices are left to the caller). False, with nothing changed, when that cannot be done.
    bool beginDraw(int width, int height);
    // Back to the framebuffer and state of before beginDraw; finds the tiles that hold something.
    void endDraw();
    // Blends the layer over the current framebuffer, pixel for pixel at the window's origin.
    void composite() const;
    // Tiles drawn by composite(), of kTile x kTile pixels.
    int tilesInUse() const { return static_cast<int>(tiles.size() / 16); }
    static constexpr int kTile = 8;

private:
    bool resize(int width, int height);
    void findTiles();

    GLuint fbo = 0, depth = 0;
    std::unique_ptr<Texture> colour;
    int width = 0, height = 0;
    GLint previousFramebuffer = 0;
    // The tiles in use as quads: x, y, s, t per vertex, four vertices a tile.
    std::vector<GLfloat> tiles;
};
