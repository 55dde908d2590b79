#pragma once

#include <functional>

#include "ForecastData.h"
#include "UIPiece.h"

// The time bar's state and mouse handling, without any drawing: play/pause, scrubbing with click
// snapping, "Now" and "Update". TimeBar adds the display lists and the drawing.
class TimeBarControl : public UIPiece {
public:
    // Starts the data refresh in the background; returns whether it could be started.
    using UpdateFunction = std::function<bool()>;
    // Wall-clock time in seconds since 1970.
    using ClockFunction = std::function<double()>;

    explicit TimeBarControl(ForecastData& data);

    // x and y in normalised window coordinates.
    bool handleMouse(int button, int state, float x, float y) override;

    bool isPlaying() const { return playing; }
    void play() { playing = true; }

    // Each stores its value and rebuilds the timeline.
    void setUpdateShown(bool shown);
    void setNowButtonShown(bool shown);
    void setWindowWidth(int width);
    void setUpdateReady(bool ready);
    // Takes the dataset's current number of steps, then recompiles what depends on the data.
    void rebuildTimeline();

    // What "Update" runs; without one the button does nothing.
    void setUpdateFunction(UpdateFunction fn) { updateFn = std::move(fn); }
    // Replaces the wall clock used by "Now".
    void setClock(ClockFunction fn) { clockFn = std::move(fn); }

    // X of a (fractional) step index.
    float stepX(double i) const;

    bool isUpdateShown() const { return updateShown; }
    bool isNowButtonShown() const { return nowButtonShown; }
    bool isUpdateReady() const { return updateReady; }
    int getWindowWidth() const { return pixelWidth; }
    int getStepCount() const { return stepCount; }
    float getLastIndex() const { return lastIndex; }

    ForecastData& data;
    const float top = -0.88f, bottom = -0.92f, left = -0.9f, right = 0.8f;
    const float span = right - left;
    const float depth = -0.8f;

protected:
    // Recompiles the static timeline; nothing to do without drawing.
    virtual void compileTimeline() {}

    bool playing = false;
    float lastIndex = 0;
    int stepCount = 0;
    bool nowButtonShown = true;
    bool updateShown = true;
    bool updateReady = true;
    int pixelWidth = 1550;

private:
    UpdateFunction updateFn;
    ClockFunction clockFn;
};
