#include "MapScene.h"

#include <GL/glew.h>

#include <cmath>

#include "AppState.h"
#include "Color.h"
#include "DataVariable.h"
#include "ForecastData.h"
#include "Shader.h"
#include "Streaklets.h"
#include "Texture.h"
#include "driftView.h"

DataVariable* variables[kVariableCount] = {};
Streaklets* surfaceStreaklets = nullptr;
Streaklets* jetStreaklets = nullptr;
Texture* streakTextureDark = nullptr;
Texture* streakTextureLight = nullptr;
Texture* streakTextureJet = nullptr;
driftView background;
MapView mapView;

namespace {

const Color kTemperatureColours[10] = {
    Color(0.2f, 0.2f, 0.36f, 1), Color(0.55f, 0.55f, 0.55f, 1), Color(0.35f, 0.2f, 0.5f, 1),
    Color(0.15f, 0.3f, 0.5f, 1), Color(0.1f, 0.5f, 0.67f, 1),   Color(0.2f, 0.5f, 0.2f, 1),
    Color(0.6f, 0.6f, 0, 1),     Color(0.75f, 0.1f, 0.1f, 1),   Color(0.67f, 0.6f, 0.4f, 1),
    Color(0.8f, 0.67f, 0.75f, 1)};

const Color kPressureColours[10] = {
    Color(0.45f, 0.3f, 0.6f, 1), Color(0.25f, 0.4f, 0.6f, 1), Color(0.1f, 0.6f, 0.75f, 1),
    Color(0.2f, 0.6f, 0.2f, 1),  Color(0.6f, 0.6f, 0.1f, 1),  Color(0.75f, 0.1f, 0.1f, 1),
    Color(0.8f, 0.67f, 0.45f, 1), Color(0.55f, 0.55f, 0.55f, 1), Color(0.45f, 0.45f, 0.7f, 1),
    Color(0.4f, 0.7f, 0.4f, 1)};

const Color kPrecipitationColours[10] = {
    Color(0.5f, 0.5f, 0.5f, 1), Color(0.2f, 0.7f, 0.2f, 1), Color(0.4f, 0.9f, 0.4f, 1), Color(0.9f, 0.9f, 0.3f, 1),
    Color(0.9f, 0.7f, 0.2f, 1), Color(1, 0.3f, 0.3f, 1),    Color(1, 0, 0, 1),          Color(0.6f, 0.1f, 0.4f, 1),
    Color(0.4f, 0.1f, 0.6f, 1), Color(0.2f, 0.2f, 0.9f, 1)};

const Color kCloudColours[2] = {Color(0.3f, 0.3f, 0.3f, 0.7f), Color(1, 1, 1, 1)};

const float kPrecipitationLevels[21] = {0.00001f, 0.005f, 0.008f, 0.01f, 0.025f, 0.05f, 0.075f,
                                        0.1f,     0.25f,  0.5f,   0.75f, 1.0f,   1.1f,  1.2f,
                                        1.3f,     1.4f,   1.5f,   1.6f,  1.75f,  2.0f,  2.5f};

// Streak colour pairs: the colour along the streak texture's s axis and the fade along the trail.
const Color kD1[2] = {Color(0, 0, 0, 1), Color(0.1f, 0.15f, 0.2f, 1)};
const Color kD2[2] = {Color(0, 0, 0, 1), Color(1, 1, 1, 0.6f)};
const Color kE1[2] = {Color(0.8f, 1, 1, 0), Color(0.7f, 1, 1, 1)};
const Color kE2[2] = {Color(0.8f, 1, 1, 0), Color(0.7f, 1, 1, 0.7f)};

// Colour ramps and the shared texton stack; kept for the whole run.
Texture* temperatureRamp = nullptr;
Texture* pressureRamp = nullptr;
Texture* textonTexture = nullptr;

Texture* makeRamp(const Color* colours) {
    Texture* t = new Texture(GL_TEXTURE_2D);
    t->fillFromCalculator(FadeCalculator(colours, 10), 19, 18);  // 18 texels at j / 18
    return t;
}

}  // namespace

void buildMapSceneComponents() {
    Shader::initialize();

    const FadeCalculator d1(kD1, 2), d2(kD2, 2), e1(kE1, 2), e2(kE2, 2);
    mapView.width = static_cast<float>(app.initialWidth);
    mapView.height = static_cast<float>(app.initialHeight);

    streakTextureDark = makeStreakTexture(d1, e1);
    streakTextureLight = makeStreakTexture(d2, e1);
    surfaceStreaklets = new Streaklets(&forecast, 10000, 8);
    streakTextureJet = makeStreakTexture(d2, e2);
    jetStreaklets = new Streaklets(&forecast, 2200, 40);

    surfaceStreaklets->setSpeedScale(0.28f);
    surfaceStreaklets->setSpeedExponent(0.65f);
    surfaceStreaklets->setSpeedThreshold(0.0f);
    jetStreaklets->setSlot(JET_SPEED);
    jetStreaklets->setSpeedScale(0.1f);
    jetStreaklets->setSpeedExponent(1.0f);
    jetStreaklets->setSpeedThreshold(50.0f);
    jetStreaklets->setLineWidth(4);
    jetStreaklets->setSeedFactor(1.2f);

    temperatureRamp = makeRamp(kTemperatureColours);
    pressureRamp = makeRamp(kPressureColours);
    textonTexture = new Texture(GL_TEXTURE_2D);
    textonTexture->loadFile("Textons.png", 0);

    DataVariable* temperature = new DataVariable(UNIT_KELVIN, "Temperature", TEMPERATURE, "Temp (F)");
    temperature->setTextonTexture(textonTexture, 11, 11, 0.65f);
    temperature->setColormapTexture(temperatureRamp);
    temperature->setStep(5, UNIT_FAHRENHEIT);
    temperature->setHigh(110, UNIT_KEEP);

    DataVariable* pressure = new DataVariable(UNIT_PASCAL, "Pressure", PRESSURE, "Pres (mb)");
    pressure->setColormapTexture(pressureRamp);
    pressure->setTextonTexture(textonTexture, 11, 11, 0.65f);
    pressure->setContoursPerLevel(2.0f);
    pressure->setStep(4, UNIT_MILLIBAR);
    pressure->setCentre(1016, UNIT_KEEP);

    DataVariable* precipitation = new DataVariable(UNIT_INCH, "Precipitation", PRECIPITATION, "Prec (in.)");
    precipitation->makeColormap(FadeCalculator(kPrecipitationColours, 10), 20);
    precipitation->loadTextons("HalfTextons.png", 11, 11, 0.7f);
    precipitation->setLevels(kPrecipitationLevels, 21, UNIT_PSU);
    precipitation->setContoursPerLevel(0.5f);

    DataVariable* cloud = new DataVariable(UNIT_PERCENT, "Cloud Cover", CLOUD_COVER, "Clouds (%)");
    cloud->makeColormap(FadeCalculator(kCloudColours, 2), 10);
    cloud->loadTextons("CloudTextons.png", 8, 8, 0.6f);
    cloud->setLow(-0.00001f, UNIT_KEEP);
    cloud->setHigh(100.001f, UNIT_KEEP);

    DataVariable* wind = new DataVariable(UNIT_METRES_PER_SECOND, "Wind speed", WIND_SPEED, "Wind (kts)");
    wind->setLow(0, UNIT_KNOTS);
    wind->setHigh(40, UNIT_KEEP);

    DataVariable* jet = new DataVariable(UNIT_METRES_PER_SECOND, "Jet speed", JET_SPEED, "Jet (kts)");
    jet->setLow(0, UNIT_KNOTS);
    jet->setHigh(400, UNIT_KEEP);

    DataVariable* const all[kVariableCount] = {temperature, pressure, precipitation, cloud, wind, jet};
    for (int i = 0; i < kVariableCount; ++i) variables[i] = all[i];

    centreTemperatureScale();

    background.setMapView(mapView.width, mapView.height);
    background.init(&forecast, variables, kBackgroundVariableCount);
    background.setContourWidth(2.0f);

    surfaceStreaklets->reset(-2);
    jetStreaklets->reset(-2);
}

void centreTemperatureScale() {
    DataVariable* temperature = variables[0];
    if (!temperature) return;
    const float mean = temperature->toDisplay(forecast.slotMean(TEMPERATURE));
    temperature->setCentre(std::floor(mean / 5.0f) * 5.0f, UNIT_KEEP);
}

void drawMapSceneLayers(void (*mapOverlays)()) {
    if (!surfaceStreaklets || !jetStreaklets) return;
    glPushAttrib(GL_CURRENT_BIT | GL_LINE_BIT);
    background.pushMapTransform();

    background.drawBackground(forecast.setTime(-2));

    glColor4f(0.9f, 0.9f, 0.7f, 0.65f);
    if (app.showCoast) background.drawCoast(2.0f);
    if (app.showStates) background.drawStates(2.0f);

    glLineWidth(2.0f);
    glTranslatef(0.0f, 0.0f, 0.1f);

    // The surface wind keeps moving while hidden; a hidden jet stream is frozen.
    surfaceStreaklets->advance(-2, 1);
    if (app.showStreaklets) surfaceStreaklets->draw(-1);
    if (app.showJetStream) {
        jetStreaklets->advance(-2, 1);
        jetStreaklets->draw(-1);
    }

    if (mapOverlays) mapOverlays();

    background.popMapTransform();
    glPopAttrib();
}

void restartMapScene() {
    if (!surfaceStreaklets || !jetStreaklets) return;
    surfaceStreaklets->advance(0, 5);
    jetStreaklets->advance(0, 40);
}
