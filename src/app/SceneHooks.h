#pragma once

// The places where the map scene, the overlays and the panels plug into the start-up sequence and
// the frame loop. Each runs on the GLUT thread with a current GL context.

// Start-up: build the map scene (shader set-up, streaklets, colour ramps, data variables,
// background textures), then the overlays and panels (extremum finders, time bar, overlay lists,
// key, menus, read-out panel, logo).
void buildMapScene();
void buildOverlaysAndPanels();

// Whether the animation clock advances each frame (the time bar's play state).
bool animationPlaying();

// The clock wrapped from the last step back to step 0: restart the streaklets.
void restartAnimation();

// Inside the map transform: the scene (background field, outlines, streaklets) and the map overlays
// (wind numbers, barbs, pressure, read-out cursor). The caller's matrices hold the drawing space.
void drawMapScene();

// Window-space panels: time bar, logo, menus, key.
void drawWindowPanels();

// The window was resized to width x height: panels and overlays follow.
void layoutForWindowSize(int width, int height);

// Reads the finished frame into the recording, before the buffers are swapped.
void captureFrame();

// Periodic: collect ended refresh scripts, then compare forecast.nc with the version last seen and
// reload on a change.
void checkForecastFile();
