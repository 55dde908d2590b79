#include "Overlays.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <vector>

#include "AppState.h"
#include "CommandMenu.h"
#include "DataLayer.h"
#include "DataSummary.h"
#include "ForecastData.h"
#include "Input.h"
#include "LayerTexture.h"
#include "MapKey.h"
#include "MapScene.h"
#include "NumberField.h"
#include "PositionCursor.h"
#include "PressureLabels.h"
#include "Texture.h"
#include "TimeBar.h"
#include "Refresh.h"
#include "WindBarbField.h"

NumberField* numberField = nullptr;
WindBarbField* windBarbs = nullptr;
PressureLabels* pressureLabels = nullptr;
TimeBar* timeBar = nullptr;
MapKey* mapKey = nullptr;
CommandMenu* configMenu = nullptr;
CommandMenu* presetMenu = nullptr;
DataSummary* dataSummary = nullptr;
Texture* logoTexture = nullptr;

namespace {

// The map overlays that change only at whole steps, toggles, resizes and rebuilds of their lists
// (the wind numbers' lattice and the pressure highs, lows and labels), drawn into a texture when
// one of those changes and put over the frame otherwise. What moves with every frame (dynamic
// numbers, the barbs drawn from the data at the current time, the read-out) is drawn live.
class StillOverlayCache {
public:
    struct Key {
        int numbers = -1;   // list shown, -1 for none
        int pressure = -1;  // list shown, -1 for none
        bool labels = false, highsLows = false;
        int width = 0, height = 0;
        unsigned long generation = 0;
        bool operator==(const Key& o) const {
            return numbers == o.numbers && pressure == o.pressure && labels == o.labels &&
                   highsLows == o.highsLows && width == o.width && height == o.height && generation == o.generation;
        }
    };

    // The lists behind the layers were rebuilt (new data, another level of detail).
    void listsRebuilt() { ++generation; }
    unsigned long rebuildCount() const { return rebuilds; }

    void setEnabled(bool on) { enabled = on; }

    // Draws the still layers through the cache, or directly where it is not available.
    void draw(Key key, void (*drawLayers)(const Key&)) {
        key.generation = generation;
        if (key.numbers < 0 && key.pressure < 0) return;
        if (!enabled) {
            drawLayers(key);
            return;
        }
        if (!layer) layer = std::make_unique<LayerTexture>();
        if (!(valid && key == cached)) {
            valid = layer->beginDraw(key.width, key.height);
            if (!valid) {
                drawLayers(key);
                return;
            }
            drawLayers(key);
            layer->endDraw();
            cached = key;
            ++rebuilds;
        }
        layer->composite();
    }

private:
    std::unique_ptr<LayerTexture> layer;
    Key cached;
    bool valid = false;
    unsigned long generation = 0;
    unsigned long rebuilds = 0;
    bool enabled = true;
};

StillOverlayCache stillOverlays;

void drawStillOverlays(const StillOverlayCache::Key& key) {
    if (key.numbers >= 0) numberField->showFrame(key.numbers);
    if (key.pressure >= 0) pressureLabels->showFrame(key.pressure);
}

// The read-out panel's mark on the clicked grid point is the turning position cursor overlay.
class PositionCursorMark : public CursorMark {
public:
    PositionCursorMark(int rows, int cols, int steps) : cursor(rows, cols, steps, 12) { cursor.setDepth(0.9f); }
    void setPosition(int row, int col) override { cursor.setPosition(row, col); }
    void draw() override { cursor.draw(); }

private:
    PositionCursor cursor;
};

DataVariable* windVariable() { return variables[4]; }
DataVariable* pressureVariable() { return variables[1]; }

// The per-step overlay lists (wind numbers at every level of detail, pressure highs, lows and
// isobar labels) of a forecast are tens of megabytes and most of a second to build; only the step
// on screen and its neighbours are needed. Each step is built when first needed and let go again
// when the clock is far from it.
class StepOverlays {
public:
    void reset(int steps) {
        for (int i = 0; i < static_cast<int>(built.size()); ++i)
            if (built[static_cast<size_t>(i)]) release(i);
        built.assign(static_cast<size_t>(steps > 0 ? steps : 0), 0);
    }
    void need(int step) {
        if (step < 0 || step >= static_cast<int>(built.size()) || built[static_cast<size_t>(step)]) return;
        build(step);
        built[static_cast<size_t>(step)] = 1;
    }
    void keepOnly(int first, int last) {
        for (int i = 0; i < static_cast<int>(built.size()); ++i) {
            if ((i >= first && i <= last) || !built[static_cast<size_t>(i)]) continue;
            release(i);
            built[static_cast<size_t>(i)] = 0;
        }
    }
    int builtCount() const { return static_cast<int>(std::count(built.begin(), built.end(), 1)); }

private:
    static void build(int step) {
        // The builders move the clock; it is put back whole, time step included.
        const double savedTime = forecast.setTime(-2);
        const double savedStep = forecast.setTimeStep(0);  // 0 asks without changing it
        forecast.setTimeStep(1.0);
        forecast.setTime(step);
        std::cerr << "Calculating wind min/maxima for t = " << static_cast<float>(forecast.setTime(-2)) << std::endl;
        pressureLabels->buildFrame(step, 1.0f);
        forecast.setTime(step);
        const float* speed = forecast.windSpeedSlice(-2);
        const float* marks = forecast.windSpeedMaxima();
        numberField->buildFrame(step, speed, marks, 0);
        forecast.setTimeStep(savedStep);
        forecast.setTime(savedTime);
    }
    static void release(int step) {
        if (numberField) numberField->releaseFrame(step);
        if (pressureLabels) pressureLabels->releaseList(step);
    }
    std::vector<char> built;
};

StepOverlays stepOverlays;

void drawLogo() {
    begin2D();
    logoTexture->bind();
    glColor4f(1, 1, 1, 1);
    glPushMatrix();
    glTranslatef(0, 0, -0.5f);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(0.85f, -1);
    glTexCoord2f(0, 1);
    glVertex2f(0.85f, -0.82f);
    glTexCoord2f(1, 1);
    glVertex2f(1, -0.82f);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glEnd();
    glPopMatrix();
    logoTexture->unbind();
    end2D();
}

}  // namespace

int numberDensityForWidth(int width) { return width >= 1440 ? 1 : width >= 1024 ? 2 : 3; }

bool presetShowsPressure(int preset) { return preset == 1 || preset == 3 || preset == 5; }

void createViewExtremaFinders() {
    const int r = app.viewRowMin + static_cast<int>(0.12 * (app.viewRowMax - app.viewRowMin));
    forecast.createExtremaFinders(r, app.viewRowMax - 4, app.viewColMin, app.viewColMax - 4);
}

void buildOverlaysAndPanelsComponents() {
    createViewExtremaFinders();

    timeBar = new TimeBar(forecast);
    timeBar->setUpdateShown(app.showUpdateButton);
    timeBar->setUpdateFunction(startBackgroundUpdate);
    timeBar->play();

    prepareOverlays();

    const float W = static_cast<float>(app.initialWidth), H = static_cast<float>(app.initialHeight);
    mapKey = new MapKey(2);
    mapKey->setGeometry(W - 150, 0.1f * H, 145, 468);
    mapKey->setSpeedNumberFunction(drawSpeedNumber);
    mapKey->addKey(variables[0], KeyColormap);
    mapKey->addKey(variables[1], KeyTextons);
    mapKey->setLastKey(1);

    const char* const vars[4] = {"Temp.", "Pres.", "Precip.", "Clouds"};
    configMenu = new CommandMenu(0.4f, 16);
    configMenu->addItem("Background coloring", 'g', 0, vars[0], vars[1], vars[2], vars[3]);
    configMenu->addItem("Background texturing", 'x', 1, vars[0], vars[1], vars[2], vars[3]);
    configMenu->addItem("Texton Layer", 't', 1, "OFF", "ON", "Shaded");
    configMenu->addItem("Texton Contours", 'c', 1, "OFF", "ON");
    configMenu->addItem("Contour Style", 'r', app.hardContours ? 1 : 0, "Soft", "Hard");
    configMenu->addItem("Show Textures", 'o', 1, "OFF", "ON");
    configMenu->addItem("Wind speed numbers", 'w', 1, "OFF", "ON");
    configMenu->addItem("Dynamic Windspeeds", 'd', 0, "OFF", "ON");
    configMenu->addItem("Wind streaklets", 's', 1, "OFF", "ON");
    configMenu->addItem("Jet stream", 'j', app.showJetStream ? 1 : 0, "OFF", "ON");
    configMenu->addItem("Wind barbs", 'b', app.showWindBarbs ? 1 : 0, "OFF", "ON");
    configMenu->addItem("Pressure Labels", 'l', app.showPressureLabels ? 1 : 0, "OFF", "ON");
    configMenu->addItem("Pressure H/L", 'e', app.showPressureHL ? 1 : 0, "OFF", "ON");
    configMenu->addItem("Coastline/Boundaries", 'z', 1, "None", "States", "Coast");
    configMenu->addItem("Color/texture keys", 'k', 1, "OFF", "ON");
    configMenu->addItem("Configuration menu", 'f', 1, "OFF", "ON");
    configMenu->setCommandFunction(onCommand);
    configMenu->setGeometry(2, 0.3f * H, 160, 385);

    presetMenu = new CommandMenu(0.4f, 10);
    presetMenu->addItem("Temp. & Pressure", '1', 1);
    presetMenu->addItem("Pressure & Jet Stream", '3', 0);
    presetMenu->addItem("Precip. & Cloud Cover", '4', 0);
    presetMenu->setCommandFunction(onCommand);
    presetMenu->setFont(BitmapFont::Helvetica18);
    presetMenu->setGeometry(2, 0.1f * H, 200, 180);

    dataSummary = new DataSummary(forecast, variables, kVariableCount,
                                  std::make_unique<PositionCursorMark>(forecast.numRows(), forecast.numCols(),
                                                                       forecast.numTimes()));
    dataSummary->setGeometry(-150, -100, 150, 100);
    // Until the first reshape the window has its start-up size.
    dataSummary->setWindowSize(app.initialWidth, app.initialHeight);

    logoTexture = new Texture(GL_TEXTURE_2D);
    logoTexture->loadFile("logo.png", -1);
}

void prepareOverlays() {
    const int rows = forecast.numRows(), cols = forecast.numCols(), steps = forecast.numTimes();
    if (!numberField) {
        numberField = new NumberField(rows, cols, steps, NumberField::LATTICE, 3);
        numberField->setRegion(app.viewRowMin, app.viewRowMax, app.viewColMin, app.viewColMax);
        numberField->setBottomLimit(-0.81f);
        numberField->setColour(app.numberColour);
        numberField->setVariable(windVariable());
        numberField->setMaximaThreshold(24);
        numberField->setSpacing(10, 2);
        numberField->attachDataset(&forecast);
    }
    if (!windBarbs) {
        windBarbs = new WindBarbField(rows, cols, steps, 10.0f);
        windBarbs->setRegion(app.viewRowMin, app.viewRowMax, app.viewColMin, app.viewColMax);
        windBarbs->setVariable(windVariable());
        windBarbs->attachDataset(&forecast);
        windBarbs->setDepth(0.5f);
    }
    if (!pressureLabels) {
        pressureLabels = new PressureLabels(rows, cols, steps);
        pressureLabels->setRegion(app.viewRowMin, app.viewRowMax, app.viewColMin, app.viewColMax);
        pressureLabels->setVariable(pressureVariable());
        pressureLabels->attachDataset(&forecast);
        pressureLabels->setDepth(0.1f);
        pressureLabels->setShowHL(app.showPressureHL);
        pressureLabels->setShowLabels(false);
    }

    // Steps are built as the clock reaches them; the first one at once, as its frame comes next.
    stepOverlays.reset(steps);
    stepOverlays.need(0);
    stillOverlays.listsRebuilt();
}

unsigned long stillOverlayRebuilds() { return stillOverlays.rebuildCount(); }
void setStillOverlayCache(bool on) { stillOverlays.setEnabled(on); }

void rebuildPressureOverlay() {
    if (!pressureLabels) return;
    stepOverlays.reset(forecast.numTimes());
    stillOverlays.listsRebuilt();
}

int builtOverlaySteps() { return stepOverlays.builtCount(); }

void needStepOverlays(int step) { stepOverlays.need(step); }

void drawMapOverlays() {
    if (!numberField) return;
    const double t = forecast.setTime(-2);
    // The lists of the steps shown (numbers change at the nearest step, labels at the one before).
    const int step = static_cast<int>(t), nearest = static_cast<int>(t + 0.499);
    needStepOverlays(step);
    needStepOverlays(nearest);
    stepOverlays.keepOnly(step - 1, step + 2);
    StillOverlayCache::Key still;
    if (app.showNumbers && !numberField->isLive()) still.numbers = static_cast<int>(t + 0.499);
    if (presetShowsPressure(app.currentPreset) && (app.showPressureLabels || app.showPressureHL)) {
        still.pressure = static_cast<int>(t);
        still.labels = app.showPressureLabels;
        still.highsLows = app.showPressureHL;
    }
    still.width = app.windowWidth;
    still.height = app.windowHeight;
    stillOverlays.draw(still, drawStillOverlays);
    // Drawn after the still layers, which lie below them (the barbs are the nearest layer).
    if (app.showNumbers && numberField->isLive()) numberField->draw();
    if (app.showWindBarbs) windBarbs->draw();

    // The read-out panel ends in its own viewport with identity matrices; the map transform's caller
    // pops the model-view matrix, the rest is put back here.
    glPushAttrib(GL_VIEWPORT_BIT | GL_SCISSOR_BIT | GL_ENABLE_BIT);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    dataSummary->draw();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}

void drawPanels() {
    if (!timeBar) return;
    glViewport(0, 0, app.windowWidth, app.windowHeight);
    glColor4f(1, 1, 1, 1);
    timeBar->draw();
    if (app.showLogo) drawLogo();
    // Each panel leaves the viewport on its own rectangle.
    if (app.showPresetMenu) presetMenu->draw();
    if (app.showConfigMenu) configMenu->draw();
    if (app.showMapKey) mapKey->draw();
    glViewport(0, 0, app.windowWidth, app.windowHeight);
    drawLoadingNotice();
}

void layoutOverlaysAndPanels(int width, int height) {
    if (!timeBar) return;
    const float h = static_cast<float>(height);
    timeBar->setWindowWidth(width);
    mapKey->setGeometry(static_cast<float>(width - 150), 0.1f * h, static_cast<float>(app.mapKeyWidth), -1);
    presetMenu->setGeometry(2, 0.1f * h, -1, -1);
    configMenu->setGeometry(2, 0.3f * h, -1, -1);
    dataSummary->setWindowSize(width, height);
    numberField->setScreenSize(width, height);
    windBarbs->setScreenSize(width, height);
    pressureLabels->setScreenSize(width, height);
    app.numberDensity = numberDensityForWidth(width);
    numberField->setLevelOfDetail(app.numberDensity);
    stillOverlays.listsRebuilt();
}
