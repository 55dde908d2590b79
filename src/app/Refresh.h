#pragma once

#include <string>

#include "AppState.h"

struct stat;

// Noticing a new forecast file and reloading everything derived from it; reporting on the
// background refresh script. All run on the GLUT thread.

// The stamp of a file's stat record.
FileStamp fileStampOf(const struct stat& st);
// Stats `path`; false (out unchanged) when it does not exist or cannot be statted.
bool readFileStamp(const char* path, FileStamp& out);

// The periodic file check: when forecast.nc exists and differs from the version last seen, draws
// "Loading updated data..." over the picture and starts reading it (continueReload reads on). A
// file that is refused at once is reported and the Update button offered again. Returns whether it
// tried a reload. Does nothing while a reload is under way.
bool checkForecastFileChanged();

// Every idle call: reads on for a few tens of milliseconds while a reload is under way, and once
// the new forecast is in, rebuilds what depends on it (applyReloadedForecast). A file that turns
// out unreadable is reported and leaves the old forecast on screen, whole and animating.
void continueReload();
// In window space: "Loading updated data..." while a reload is under way.
void drawLoadingNotice();
// After the forecast has been replaced: region and time step, temperature scale, background
// textures, time bar, streaklets, extremum finders and overlay lists follow the new data.
void applyReloadedForecast();

// Re-reads forecast.nc at once (dropping a reload under way) and rebuilds what depends on it (see
// applyReloadedForecast). A file that cannot
// be read, or has another grid, is reported by the loader in one line and leaves the old forecast
// on screen. Either way the Update button is offered again and the version seen is remembered, so
// only the next change is tried. Returns whether the new data were taken.
bool reloadForecast();

// Starts the refresh script in the background for the Update button; a script that cannot start is
// reported in one line. Returns whether it started.
bool startBackgroundUpdate();

// Periodic: passes on what running background scripts wrote, collects ended ones, reports one
// that failed, then checks the file. A script that has ended without bringing a new file leaves
// the Update button available again.
void runRefreshChecks();

// The line that reports an ended script's wait status, or "" for a clean exit; a failure ends
// with the script's own last line (its reason), when it wrote one.
std::string updateScriptFailure(int waitStatus, const std::string& lastLine = "");
