#include "AppState.h"

#include "ForecastData.h"

AppState app;
ForecastData forecast;  // loaded by the start-up sequence, refilled in place on reload
