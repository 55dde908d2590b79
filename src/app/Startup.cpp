#include "Startup.h"

#include <GL/freeglut.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "AppState.h"
#include "CommandLine.h"
#include "ForecastData.h"
#include "FrameLoop.h"
#include "Input.h"
#include "Refresh.h"
#include "SceneHooks.h"
#include "UpdateScript.h"
#include "WorkArea.h"

unsigned int chooseSeed(const char* environmentValue, std::time_t now) {
    if (environmentValue && *environmentValue) {
        char* end = nullptr;
        errno = 0;
        const unsigned long long v = std::strtoull(environmentValue, &end, 10);
        if (errno == 0 && *end == '\0' && environmentValue[0] != '-' && v <= 0xFFFFFFFFull)
            return static_cast<unsigned int>(v);
    }
    return static_cast<unsigned int>(now);
}

void setupWindow(int argc, char** argv) {
    glutInit(&argc, argv);
    // The UI's layering relies on the depth test, which needs a depth buffer.
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_RGB | GLUT_DEPTH);
    glutInitWindowSize(app.initialWidth, app.initialHeight);
    glutInitWindowPosition(app.windowX, app.windowY);
    glutCreateWindow(kProgramName);

    glutKeyboardFunc(onKeyboard);
    glutMouseFunc(onMouse);
    glutMotionFunc(onMotion);
    glutPassiveMotionFunc(onPassiveMotion);
    glutDisplayFunc(onDisplay);
    glutReshapeFunc(onReshape);
    initGraphicsState(app.initialWidth, app.initialHeight);
    glutTimerFunc(1000, onFpsTimer, 1);
    glutIdleFunc(onIdle);
}

namespace {

void printBanner() {
    std::printf("\n\n\n");
    std::printf("      ================> %s <================\n", kProgramName);
    std::printf("      Weather forecast viewer for the NOAA NCEP North American Mesoscale model\n");
    std::printf("      Winds, temperature, pressure, cloud and precipitation, animated step by step\n");
    std::printf("      Press Escape to quit\n");
}

}  // namespace

int skyloomMain(int argc, char** argv) {
    keepFrameBuffersMapped();
    // Whoever reads our output through a pipe sees each line as it is printed.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::setvbuf(stderr, nullptr, _IOLBF, 0);

    if (helpRequested(argc, argv)) {
        std::fputs(usageText(), stdout);
        return 0;
    }

    std::srand(chooseSeed(std::getenv("SKYLOOM_SEED"), std::time(nullptr)));

    struct stat st {};
    if (stat(kForecastFile, &st) != 0) {
        std::printf("Attempting to update data file...\n");
        runUpdateScript(true);
        if (stat(kForecastFile, &st) != 0) {
            std::printf("Problem opening %s.  Quiting!\n", kForecastFile);
            return 1;
        }
    }
    app.knownFileTime = fileStampOf(st);

    printBanner();

    parseCommandLine(argc, argv, app, [] { return std::time(nullptr); }, [] { runUpdateScript(true); });

    WorkArea area;
    if (queryWorkArea(area)) fitToWorkArea(app, area);

    // The loader has already said what is wrong with the file. The first steps are enough for the
    // first frame; idle calls read the rest while the forecast animates.
    if (!forecast.loadStart(kForecastFile)) return 1;
    forecast.setTimeStep(0.05);

    setupWindow(argc, argv);

    // The part of the model grid that is shown: the contiguous United States.
    app.viewRowMin = 58;
    app.viewRowMax = 328;
    app.viewColMin = 99;
    app.viewColMax = 588;
    forecast.setRegion(app.viewRowMin, app.viewRowMax, app.viewColMin, app.viewColMax);
    // A smaller grid clips the region; the overlays and extrema searches must use the same clipped
    // region as the map, or they are laid out over rows and columns the forecast does not have.
    app.viewRowMin = forecast.regionRowMin();
    app.viewRowMax = forecast.regionRowMax();
    app.viewColMin = forecast.regionColMin();
    app.viewColMax = forecast.regionColMax();

    buildMapScene();
    buildOverlaysAndPanels();

    int x = 0, y = 0;
    if (app.startFullScreen)
        glutFullScreen();
    else if (centredWindowPosition(app, x, y))
        glutPositionWindow(x, y);

    glutMainLoop();
    return 0;
}
