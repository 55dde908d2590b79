#include "TimeBarControl.h"

#include <algorithm>
#include <ctime>

#include "TimeBarLayout.h"

TimeBarControl::TimeBarControl(ForecastData& d) : data(d) {
    overlayDepth = 0;
    stepCount = data.numTimes();
    lastIndex = static_cast<float>(stepCount - 1);
}

float TimeBarControl::stepX(double i) const { return timeBarX(i, left, span, lastIndex); }

void TimeBarControl::setUpdateShown(bool shown) {
    updateShown = shown;
    rebuildTimeline();
}

void TimeBarControl::setNowButtonShown(bool shown) {
    nowButtonShown = shown;
    rebuildTimeline();
}

void TimeBarControl::setWindowWidth(int width) {
    pixelWidth = width;
    rebuildTimeline();
}

void TimeBarControl::setUpdateReady(bool ready) {
    updateReady = ready;
    rebuildTimeline();
}

void TimeBarControl::rebuildTimeline() {
    // A reload may bring another number of steps; the bar follows so it never addresses missing ones.
    stepCount = data.numTimes();
    lastIndex = static_cast<float>(stepCount - 1);
    compileTimeline();
}

bool TimeBarControl::handleMouse(int button, int state, float x, float y) {
    UIPiece::handleMouse(button, state, x, y);

    if (x < left - 0.01f) {
        if (state == Pressed) playing = !playing;
        return true;
    }

    if ((y >= bottom && y <= top + 0.1f) || button < 0) {
        double t = scrubPosition(x, left, right, std::max(lastIndex, 0.0f), button, dragDetected);
        t = std::min(t, static_cast<double>(std::max(data.numTimes() - 1, 0)));
        data.setTime(t);
        playing = false;
        return true;
    }

    if (state != Pressed || y > bottom || x < 0.45f * left || x > 0.1f * left) return false;

    if (x <= 0.3f * left) {
        const double now = clockFn ? clockFn() : static_cast<double>(std::time(nullptr));
        data.setTime(nowPosition(now, data.timeValue(0), data.timeValue(1), data.numTimes()));
        playing = false;
    } else if (updateShown && updateReady && x >= 0.25f * left && updateFn) {
        setUpdateReady(false);
        // A refresh that could not start will never report its end: offer the button again.
        if (!updateFn()) setUpdateReady(true);
    }
    return true;
}
