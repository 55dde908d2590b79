#include "CommandLine.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "AppState.h"

namespace {

// now + hours, truncated to whole seconds. Values beyond the 64-bit range saturate instead of
// overflowing the conversion; a NaN ("-k+nan") leaves the exit time unchanged.
void exitAfterHours(std::time_t now, double hours, std::int64_t& exitTime) {
    const double t = std::trunc(static_cast<double>(now) + hours * 3600.0);
    if (std::isnan(t)) return;
    constexpr double kLimit = 9.2e18;  // just inside the int64 range
    if (t >= kLimit)
        exitTime = std::numeric_limits<std::int64_t>::max();
    else if (t <= -kLimit)
        exitTime = std::numeric_limits<std::int64_t>::min();
    else
        exitTime = static_cast<std::int64_t>(t);
}

// -kHH[MM]: the digits are not validated, but only characters inside the argument are read. An
// argument too short to hold the two hour characters is ignored.
void exitAtClockTime(const char* arg, std::time_t now, std::int64_t& exitTime) {
    if (arg[2] == '\0' || arg[3] == '\0') return;
    const int hour = (arg[2] - '0') * 10 + (arg[3] - '0');
    int minute = 0;
    // arg[4] is in bounds (at worst the terminator); arg[5] is read only when arg[4] is a character.
    if (arg[4] >= '0') minute = (arg[4] - '0') * 10 + (arg[5] - '0');
    std::tm local{};
    localtime_r(&now, &local);
    exitTime = static_cast<std::int64_t>(now) +
               (static_cast<std::int64_t>(hour - local.tm_hour) * 60 + (minute - local.tm_min)) * 60;
}

}  // namespace

bool helpRequested(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i)
        if (argv[i] && std::strcmp(argv[i], "--help") == 0) return true;
    return false;
}

const char* usageText() {
    return "usage: skyloom [option ...]\n"
           "  -k+H         exit H hours from now (a decimal number, e.g. -k+0.5)\n"
           "  -kHH[MM]     exit today at HH:MM local time (at once if that time has passed)\n"
           "  -i           windowed, without the Update button\n"
           "  -p           full screen, without the Update button (presentation)\n"
           "  -fullscreen  full screen\n"
           "  -window      windowed (the default)\n"
           "  -update      run ./update_data.sh and wait for it before loading forecast.nc\n"
           "  --help       print this text and exit\n"
           "A later option overrides an earlier one; other arguments are ignored.\n"
           "Reads forecast.nc, the textures and map outlines from the working directory.\n";
}

void parseCommandLine(int argc, const char* const* argv, AppState& state,
                      const std::function<std::time_t()>& now,
                      const std::function<void()>& runUpdate) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg == nullptr || arg[0] != '-' || arg[1] == '\0') continue;
        if (arg[1] == 'k') {
            if (arg[2] == '+')
                exitAfterHours(now(), std::strtod(arg + 3, nullptr), state.exitTime);
            else
                exitAtClockTime(arg, now(), state.exitTime);
        } else if (arg[1] == 'i') {
            state.startFullScreen = false;
            state.showUpdateButton = false;
        } else if (arg[1] == 'p') {
            state.startFullScreen = true;
            state.showUpdateButton = false;
        } else if (std::strcmp(arg, "-fullscreen") == 0) {
            state.startFullScreen = true;
        } else if (std::strcmp(arg, "-window") == 0) {
            state.startFullScreen = false;
        } else if (std::strcmp(arg, "-update") == 0) {
            if (runUpdate) runUpdate();
        }
    }
}
