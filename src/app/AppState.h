#pragma once

#include <cstdint>

class ForecastData;

// Identifies one version of a file: its full modification time and its size. Comparing all three
// keeps working after 2038 and notices a rewrite within the same second.
struct FileStamp {
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    std::int64_t size = -1;
    bool operator==(const FileStamp& o) const {
        return seconds == o.seconds && nanoseconds == o.nanoseconds && size == o.size;
    }
    bool operator!=(const FileStamp& o) const { return !(*this == o); }
};

// Program-wide application state: window geometry, start-up options, display toggles, recording
// and frame-rate bookkeeping. One instance (`app`); the GLUT handlers and commands read and change
// it, components never see it.
struct AppState {
    // Window geometry. initialWidth x initialHeight is also the orthographic drawing space.
    int initialWidth = 1834;
    int initialHeight = 1030;
    int windowX = 80;
    int windowY = 80;
    int windowWidth = 0;   // set only by onReshape
    int windowHeight = 0;

    // Start-up options.
    bool startFullScreen = false;
    bool showUpdateButton = true;
    std::int64_t exitTime = -1;     // seconds since the epoch; -1: never exit by itself
    FileStamp knownFileTime;        // forecast.nc as last seen (loaded or refused)

    // Region of interest on the model grid (inclusive indices).
    int viewRowMin = 58;
    int viewRowMax = 328;
    int viewColMin = 99;
    int viewColMax = 588;

    // Display toggles.
    bool showNumbers = true;
    bool showStreaklets = true;
    bool showStates = true;
    bool showCoast = false;
    bool showMapKey = true;
    bool showPresetMenu = true;
    bool showConfigMenu = false;
    bool showTextures = true;
    bool showPressureHL = true;
    bool showPressureLabels = false;
    bool showWindBarbs = false;
    bool showJetStream = false;
    bool showLogo = true;
    bool hardContours = false;
    int currentPreset = 1;
    int numberDensity = 1;
    int mapKeyWidth = 145;
    float numberColour[4] = {0.8f, 1.0f, 1.0f, 0.8f};  // the wind-speed numbers' RGBA

    // Frame capture.
    bool recording = false;
    int recordedFrames = 0;
    int savedWidth = 0;
    int savedHeight = 0;

    // Frame loop bookkeeping.
    bool frameDrawn = false;
    int frameCount = 0;
    int lastFps = 0;
    double lastFrameTime = 0.0;  // wall-clock seconds at the end of the previous frame
    unsigned int idleCount = 0;
    int exitGestureStep = 0;
};

extern AppState app;
extern ForecastData forecast;

// The forecast file the viewer reads from and watches in its working directory.
constexpr const char* kForecastFile = "forecast.nc";
constexpr const char* kProgramName = "Skyloom";
