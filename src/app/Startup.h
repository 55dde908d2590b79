#pragma once

#include <ctime>

// The viewer's start-up sequence: makes sure forecast.nc exists (running the refresh script once
// if not), prints the banner, applies the command line, fits the window to the work area, loads
// the forecast, opens the window and enters the GLUT event loop, which does not return. Returns 1
// when there is no usable forecast.
int skyloomMain(int argc, char** argv);

// GLUT initialisation with the unchanged arguments, the window and its handlers.
void setupWindow(int argc, char** argv);

// The random seed: SKYLOOM_SEED's value when it is a whole number (tests fix it that way),
// otherwise the current time in seconds.
unsigned int chooseSeed(const char* environmentValue, std::time_t now);
