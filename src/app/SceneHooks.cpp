// The components behind the remaining places arrive with the refresh, capture and panel work;
// until the time bar exists the animation always plays.
#include "SceneHooks.h"

#include "MapScene.h"

void buildMapScene() { buildMapSceneComponents(); }
void buildOverlaysAndPanels() {}
bool animationPlaying() { return true; }
void restartAnimation() { restartMapScene(); }
void drawMapScene() { drawMapSceneLayers(nullptr); }
void drawWindowPanels() {}
void layoutForWindowSize(int, int) {}
void captureFrame() {}
void checkForecastFile() {}
