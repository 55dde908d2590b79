#include "Refresh.h"

#include <GL/glew.h>
#include <GL/freeglut.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "AnimationShader.h"
#include "DisplayLists.h"
#include "ForecastData.h"
#include "MapKey.h"
#include "MapScene.h"
#include "Overlays.h"
#include "Streaklets.h"
#include "Text.h"
#include "Texture.h"
#include "TimeBar.h"
#include "UpdateScript.h"
#include "driftView.h"

FileStamp fileStampOf(const struct stat& st) {
    FileStamp s;
    s.seconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    s.nanoseconds = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    s.size = static_cast<std::int64_t>(st.st_size);
    return s;
}

bool readFileStamp(const char* path, FileStamp& out) {
    struct stat st {};
    if (stat(path, &st) != 0) return false;
    out = fileStampOf(st);
    return true;
}

namespace {

// Reading time per idle call while a new forecast comes in: the frames in between keep the picture
// moving, and the load still takes only a few times its unbroken length.
constexpr double kReloadSliceSeconds = 0.015;

void drawLoadingText() {
    glColor4f(1, 1, 1, 1);
    drawText(-0.06f, 0.0f, "Loading updated data...", TextStyle::Outlined, BitmapFont::TimesRoman24, 1.0f);
}

// Drawn over whatever the back buffer holds, so the picture is seen behind it at once.
void showLoadingMessage() {
    glClear(GL_DEPTH_BUFFER_BIT);
    glViewport(0, 0, app.windowWidth, app.windowHeight);
    drawLoadingText();
    glutSwapBuffers();
}

void offerUpdateAgain() {
    if (timeBar) timeBar->setUpdateReady(true);
}

// With SKYLOOM_REPORT_RESOURCES=1 each reload ends with one line of the GL objects held, so a long
// run can be checked for growth.
void reportResources() {
    const char* report = std::getenv("SKYLOOM_REPORT_RESOURCES");
    if (!report || std::strcmp(report, "1") != 0) return;
    std::fprintf(stderr, "resources: textures=%ld lists=%ld\n", Texture::live(), displaylists::live());
}

}  // namespace

bool checkForecastFileChanged() {
    // One load at a time: a file replaced again meanwhile is seen at the first check after it.
    if (forecast.loadPending()) return false;
    FileStamp seen;
    // A missing file (the script may be replacing it) is simply not new data yet.
    if (!readFileStamp(kForecastFile, seen) || seen == app.knownFileTime) return false;
    showLoadingMessage();
    app.knownFileTime = seen;
    // The fixed region, the overlays' lattices and the background quad are built for one grid.
    if (!forecast.beginLoad(kForecastFile, forecast.numRows(), forecast.numCols())) {
        offerUpdateAgain();
        reportResources();
    }
    return true;
}

void continueReload() {
    // The rest of the forecast read at start-up could not be read (the loader has said why):
    // there is nothing whole to show, as with a bad file at start.
    if (forecast.readFailed()) std::exit(1);
    if (!forecast.loadPending()) return;
    if (forecast.loadingInPlace()) {
        if (forecast.continueLoad(kReloadSliceSeconds) == ForecastData::LoadState::Failed) std::exit(1);
        return;
    }
    switch (forecast.continueLoad(kReloadSliceSeconds)) {
        case ForecastData::LoadState::Done:
            applyReloadedForecast();
            break;
        case ForecastData::LoadState::Failed:
            offerUpdateAgain();
            reportResources();
            break;
        default:
            break;
    }
}

void drawLoadingNotice() {
    if (forecast.loadPending() && !forecast.loadingInPlace()) drawLoadingText();
}

bool reloadForecast() {
    FileStamp seen;
    if (readFileStamp(kForecastFile, seen)) app.knownFileTime = seen;
    if (!forecast.load(kForecastFile, forecast.numRows(), forecast.numCols())) {
        offerUpdateAgain();
        reportResources();
        return false;
    }
    applyReloadedForecast();
    return true;
}

void applyReloadedForecast() {
    forecast.setRegion(app.viewRowMin, app.viewRowMax, app.viewColMin, app.viewColMax);
    forecast.setTimeStep(0.05);
    // The load released the finders; the overlay lists below need the start-up search area.
    createViewExtremaFinders();
    centreTemperatureScale();
    // The key's temperature labels follow the new centre.
    if (mapKey) mapKey->setLastKey(mapKey->getLastKey());
    if (AnimationShader* shader = background.getShader()) shader->setFrameCount(forecast.numTimes());
    background.generateBackgroundTextures();
    offerUpdateAgain();  // also rebuilds the timeline for the new steps
    if (surfaceStreaklets) surfaceStreaklets->reset(-2);
    if (jetStreaklets) jetStreaklets->reset(-2);
    prepareOverlays();
    // The replaced forecast's arrays go back to the system, not just to the allocator's free
    // lists: otherwise a kiosk carries the peak of old plus new data for as long as it runs.
    malloc_trim(0);
    reportResources();
}

bool startBackgroundUpdate() {
    if (runUpdateScript(false)) return true;
    std::fprintf(stderr, "Cannot start update_data.sh: %s\n", std::strerror(errno));
    return false;
}

std::string updateScriptFailure(int status, const std::string& lastLine) {
    char line[96] = "";
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        std::snprintf(line, sizeof line, "update_data.sh failed with exit status %d", WEXITSTATUS(status));
    else if (WIFSIGNALED(status))
        std::snprintf(line, sizeof line, "update_data.sh was ended by signal %d", WTERMSIG(status));
    if (!line[0] || lastLine.empty()) return line;
    // The script's own reason, without its name said twice.
    const std::string prefix = "update_data.sh: ";
    return std::string(line) + ": " + (lastLine.compare(0, prefix.size(), prefix) == 0 ? lastLine.substr(prefix.size()) : lastLine);
}

void runRefreshChecks() {
    // Running scripts' output, a bounded amount a check; an ended one's rest is read as it is reaped.
    pollUpdateScriptOutput();
    const bool scriptEnded = reapUpdateScripts() > 0;
    if (scriptEnded) {
        const std::string failure = updateScriptFailure(lastUpdateScriptStatus(), lastUpdateScriptMessage());
        if (!failure.empty()) std::fprintf(stderr, "%s\n", failure.c_str());
    }
    // A script renames its file into place before it ends, so this check already sees it.
    const bool reloaded = checkForecastFileChanged();
    if (scriptEnded && !reloaded) offerUpdateAgain();
}
