#include "SceneHooks.h"

#include "Capture.h"

#include "MapScene.h"
#include "Overlays.h"
#include "Refresh.h"
#include "TimeBar.h"

void buildMapScene() { buildMapSceneComponents(); }
void buildOverlaysAndPanels() { buildOverlaysAndPanelsComponents(); }
bool animationPlaying() { return !timeBar || timeBar->isPlaying(); }
void restartAnimation() { restartMapScene(); }
void drawMapScene() { drawMapSceneLayers(drawMapOverlays); }
void drawWindowPanels() { drawPanels(); }
void layoutForWindowSize(int width, int height) { layoutOverlaysAndPanels(width, height); }
void captureFrame() { captureCurrentFrame(); }
void checkForecastFile() { runRefreshChecks(); }
