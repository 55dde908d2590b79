#include "WorkArea.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "AppState.h"

namespace {

// Reads a 32-bit CARDINAL array property of the root window; the values arrive as longs.
bool readCardinals(Display* display, Window root, const char* name, long* values, unsigned long wanted,
                   unsigned long offset = 0) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    const int rc = XGetWindowProperty(display, root, atom, static_cast<long>(offset), static_cast<long>(wanted), False,
                                      XA_CARDINAL, &type, &format, &count, &remaining, &data);
    const bool ok = rc == Success && type == XA_CARDINAL && format == 32 && count >= wanted && data != nullptr;
    if (ok) {
        const long* longs = reinterpret_cast<const long*>(data);
        for (unsigned long i = 0; i < wanted; ++i) values[i] = longs[i];
    }
    if (data) XFree(data);
    return ok;
}

}  // namespace

bool queryWorkArea(WorkArea& area) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    const Window root = DefaultRootWindow(display);
    long desktop = 0;
    if (!readCardinals(display, root, "_NET_CURRENT_DESKTOP", &desktop, 1) || desktop < 0) desktop = 0;
    long rect[4];  // x, y, width, height of each desktop in turn
    bool ok = readCardinals(display, root, "_NET_WORKAREA", rect, 4, static_cast<unsigned long>(desktop) * 4);
    if (!ok && desktop != 0) ok = readCardinals(display, root, "_NET_WORKAREA", rect, 4, 0);
    XCloseDisplay(display);
    if (!ok || rect[2] <= 0 || rect[3] <= 0) return false;
    area.left = static_cast<int>(rect[0]);
    area.top = static_cast<int>(rect[1]);
    area.right = static_cast<int>(rect[0] + rect[2]);
    area.bottom = static_cast<int>(rect[1] + rect[3]);
    return true;
}

void fitToWorkArea(AppState& state, const WorkArea& area) {
    const int workWidth = area.right - area.left;
    const int workHeight = area.bottom - area.top;
    if (workWidth < state.initialWidth) {
        state.initialWidth = workWidth - 20;
        state.windowX = area.left;
    }
    if (workHeight < state.initialHeight) {
        state.initialHeight = workHeight - 30;
        state.windowY = area.top;
    }
}

bool centredWindowPosition(const AppState& state, int& x, int& y) {
    if (state.windowX == 0 || state.windowY == 0) return false;
    x = (1920 - state.initialWidth) / 2;
    y = (1080 - state.initialHeight) / 2;
    return true;
}
