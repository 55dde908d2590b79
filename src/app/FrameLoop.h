#pragma once

#include <cstdint>

// GLUT handlers of the frame loop and the pure rules behind them. All run on the GLUT thread.

void onDisplay();
void onReshape(int width, int height);
void onIdle();
void onFpsTimer(int value);
// Fixed GL state, set once after the window exists; the arguments are ignored (the start-up size
// in the application state is used).
void initGraphicsState(int width, int height);

// Sets the allocator so that the renderer's per-frame buffers are reused, not given back to the
// system and faulted in again every frame. Called once, first thing in main.
void keepFrameBuffersMapped();

class ForecastData;

// Moves the animation clock one time step forward; past the last step it starts again at step 0
// and returns true (the caller restarts what depends on continuity, such as the streaklets).
bool advanceAnimationClock(ForecastData& data);

// Frames shorter than this are followed by a pause, keeping the animation near 28 frames/s.
constexpr double kPacingThreshold = 1.0 / 28.0;
// The periodic checks in onIdle run on every (kIdleChecksEvery + 1)-th call.
constexpr unsigned int kIdleChecksEvery = 100;

// Counts one idle call; true on every (kIdleChecksEvery + 1)-th, when the periodic checks run
// (the counter then starts again from 0).
bool countIdleCall(unsigned int& idleCount);

// Wall clock in seconds with millisecond resolution.
double wallClockSeconds();

// Milliseconds to sleep after a frame that ended at `now` when the previous one ended at
// `lastFrameTime`: the length of that interval when it is shorter than kPacingThreshold, else 0;
// always 0 while recording.
int pacingSleepMs(double now, double lastFrameTime, bool recording);

// Whether an automatic exit time (-1: none) has passed at `now`.
bool exitTimeReached(std::int64_t exitTime, std::int64_t now);

// The window title with the frame rate: "Skyloom. FPS: N".
void formatFpsTitle(char* buffer, unsigned long size, int fps);
