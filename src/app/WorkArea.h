#pragma once

struct AppState;

// The usable desktop rectangle (not covered by panels), in root-window pixels; right and bottom
// are exclusive.
struct WorkArea {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Asks the X server for the current desktop's work area (the root window's _NET_WORKAREA, set
// by window managers). False when there is no display or no such property; nothing is changed.
bool queryWorkArea(WorkArea& area);

// Shrinks the start-up window to fit the work area: a dimension that does not fit becomes the
// work-area size less a margin (20 wide, 30 high) and its position moves to the work area's edge.
void fitToWorkArea(AppState& state, const WorkArea& area);

// Where a windowed start moves the window: centred on a 1920 x 1080 screen. False when the fit
// placed the window at a zero coordinate, in which case it stays where it was created.
bool centredWindowPosition(const AppState& state, int& x, int& y);
