#pragma once

// The map scene: the six displayable variables with their colour scales and textons, the map base
// layer (background field and outlines) and the surface and jet streaklet systems. Everything here is
// built once by buildMapSceneComponents() and lives for the whole run.

class DataVariable;
class Streaklets;
class Texture;
class driftView;

// The drawing space the map transform spreads the region of interest over: the start-up window size.
struct MapView {
    float width = 0;
    float height = 0;
};

constexpr int kVariableCount = 6;
constexpr int kBackgroundVariableCount = 4;

// Temperature, pressure, precipitation, cloud cover, wind speed, jet speed. The first four get
// background textures, in this order.
extern DataVariable* variables[kVariableCount];
extern Streaklets* surfaceStreaklets;
extern Streaklets* jetStreaklets;
extern Texture* streakTextureDark;
extern Texture* streakTextureLight;
extern Texture* streakTextureJet;
extern driftView background;  // constructed statically: its outline files are read before main
extern MapView mapView;

// Builds everything above on the current GL context, from the loaded forecast.
void buildMapSceneComponents();

// Centres the temperature colour scale on the forecast's mean temperature, rounded down to a
// multiple of 5 degrees Fahrenheit. Also needed after a reload.
void centreTemperatureScale();

// Draws the background field, outlines and streaklets under the map transform, advancing the
// streaklets by one step. `mapOverlays` (may be null) is drawn under the same transform last.
void drawMapSceneLayers(void (*mapOverlays)());

// The clock wrapped to step 0: pre-roll the trails at the new time.
void restartMapScene();
