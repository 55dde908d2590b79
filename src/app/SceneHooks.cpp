// The components behind these places arrive with the map scene, refresh, capture and panel work;
// until then the frame loop draws an empty frame and the animation always plays.
#include "SceneHooks.h"

void buildMapScene() {}
void buildOverlaysAndPanels() {}
bool animationPlaying() { return true; }
void restartAnimation() {}
void drawMapScene() {}
void drawWindowPanels() {}
void layoutForWindowSize(int, int) {}
void captureFrame() {}
void checkForecastFile() {}
