#pragma once

// The grid overlays (wind-speed numbers, wind barbs, pressure highs/lows and isobar labels) and the
// on-screen panels (time bar, key, configuration and preset menus, read-out panel, logo). Built once
// after the map scene; every object here lives for the whole run and is refilled in place on reload.

class CommandMenu;
class DataSummary;
class MapKey;
class NumberField;
class PressureLabels;
class Texture;
class TimeBar;
class WindBarbField;

extern NumberField* numberField;
extern WindBarbField* windBarbs;
extern PressureLabels* pressureLabels;
extern TimeBar* timeBar;
extern MapKey* mapKey;
extern CommandMenu* configMenu;
extern CommandMenu* presetMenu;
extern DataSummary* dataSummary;
extern Texture* logoTexture;

// Extremum finders, the time bar (playing), the overlays with their per-step lists, the key, both
// menus, the read-out panel and the logo, in that order. Needs the map scene's variables.
void buildOverlaysAndPanelsComponents();

// The extremum finders with the search area the overlays are made for: the region of interest less
// its lowest eighth (under the time bar) and a margin at the high ends. Also after a reload.
void createViewExtremaFinders();

// Creates the overlays on the first call; every call lets go of their per-step lists and builds
// those of step 0. The other steps are built as the clock reaches them (drawMapOverlays), each
// printing one progress line. The clock and time step are restored.
void prepareOverlays();

// Lets go of the per-step lists, so a changed label or H/L setting shows at once whichever step is
// on screen (the steps are built again as they are drawn).
void rebuildPressureOverlay();

// How often the overlays that change only at whole steps, toggles and resizes have been drawn
// into their texture (the rest of the time the texture is put over the frame).
unsigned long stillOverlayRebuilds();
// Steps whose overlay lists are held now (they are built as the clock reaches them).
int builtOverlaySteps();
// Builds the overlay lists of a whole step if they are not held (clock and time step restored).
void needStepOverlays(int step);
// Off: those overlays are drawn straight into the frame every time (the picture is the same).
void setStillOverlayCache(bool on);

// Under the map transform: numbers, barbs, the pressure overlay and the read-out panel, building the
// lists of the steps shown if need be. Leaves the viewport, projection and scissor as it found them.
void drawMapOverlays();

// Window space: time bar, logo, menus, key.
void drawPanels();

// The window is now width x height: anchor the key and menus, tell the overlays the screen size and
// thin the numbers on narrow windows.
void layoutOverlaysAndPanels(int width, int height);

// Thinning factor of the wind numbers for a window width: 1 from 1440 pixels, 2 from 1024, else 3.
int numberDensityForWidth(int width);

// Whether the current preset draws the pressure overlay at all (1, 3 and 5 do).
bool presetShowsPressure(int preset);
