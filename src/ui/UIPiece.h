#pragma once

// Base classes of everything drawn over or beside the map that reacts to the mouse, and the
// process-wide UI state they share. Everything here runs on the GLUT thread.

// Mouse event codes handed to handleMouse.
enum MouseButton { NoButton = -1, LeftButton = 0, MiddleButton = 1, RightButton = 2 };
enum MouseState { Pressed = 0, Released = 1, Dragged = -1, Moved = -2 };

// Motion events seen by the default handler since the last press.
extern int motionCount;
// Set by the second motion event after a press, cleared by the next press: tells a click from a drag.
extern bool dragDetected;
// Nesting depth of begin2D scopes.
extern int overlayDepth;
// True while a UI display list is being compiled: drawText then cannot ask GL whether the raster
// position is valid (the answer would describe the immediate context, not the list).
extern bool compilingDisplayList;

class UIPiece {
public:
    UIPiece() = default;
    virtual ~UIPiece() = default;
    UIPiece(const UIPiece&) = delete;
    UIPiece& operator=(const UIPiece&) = delete;

    virtual void draw() {}
    // Offers one mouse event; true means it was consumed. The base version only feeds the drag
    // detector and never consumes.
    virtual bool handleMouse(int button, int state, float x, float y);
};

// A piece that owns a rectangle of the window (pixels, origin lower left), draws into it through its
// own viewport and scissor box and can be dragged.
class UIWindow : public UIPiece {
public:
    UIWindow(float x, float y, float width, float height);

    // Position is always taken; a negative width or height keeps the current one.
    void setGeometry(float x, float y, float width, float height);
    // Edges belong to the rectangle.
    bool contains(float px, float py) const;

    // Viewport and scissor on the rectangle, depth (and colour if asked) cleared, identity matrices.
    // The viewport is left on the rectangle: the caller restores the full window.
    void beginWindow(bool clearColour);
    void endWindow();

    void draw() override;
    // Drag-to-move, pointer in window pixels.
    bool handleMouse(int button, int state, float x, float y) override;

    float x, y, width, height;
    bool dragging = false;
    int grabX = 0, grabY = 0;
};

// Screen-space scope: inside the outermost one both matrices are identity, so coordinates are
// normalised coordinates of the current viewport. Always paired; may nest.
void begin2D();
void end2D();

// glNewList/glEndList for lists that may draw text: keep compilingDisplayList in step with them.
void beginUIList(unsigned int list);
void endUIList();
