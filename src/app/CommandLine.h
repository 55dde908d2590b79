#pragma once

#include <ctime>
#include <functional>

struct AppState;

// Applies the viewer's options, left to right, to `state`; a later option overrides an earlier
// one and anything unrecognised is ignored. argv[0] is the program name and is skipped.
//   -k+H       exit H hours (a decimal number) from now
//   -kHH[MM]   exit today at HH:MM local time (already past: at the first check)
//   -i         windowed, no Update button      -p  full screen, no Update button
//   -fullscreen / -window                      -update  run the refresh script now and wait
// `now` is read afresh for every -k; the local hour and minute come from localtime() in the
// process's time zone. `runUpdate` is called at the point where -update appears.
// Whether "--help" is among the arguments (argv[0] skipped).
bool helpRequested(int argc, const char* const* argv);
// The options as "--help" prints them.
const char* usageText();

void parseCommandLine(int argc, const char* const* argv, AppState& state,
                      const std::function<std::time_t()>& now,
                      const std::function<void()>& runUpdate);
