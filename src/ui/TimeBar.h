#pragma once

#include "TimeBarControl.h"

// The strip along the bottom of the window: day/night-shaded steps with hour and date labels, the
// cursor at the dataset's current position, a read-out of the current time with the zone name, the
// model line, play/pause, "Now" and "Update". Needs a current GL context from construction on.
class TimeBar : public TimeBarControl {
public:
    explicit TimeBar(ForecastData& data);
    ~TimeBar() override;

    // Caller has set the full-window viewport.
    void draw() override;

    unsigned int getTimelineList() const { return timelineList; }
    unsigned int getPlayingList() const { return playingList; }
    unsigned int getPausedList() const { return pausedList; }

protected:
    void compileTimeline() override;

private:
    void compileSymbols();

    unsigned int timelineList = 0;
    unsigned int playingList = 0;
    unsigned int pausedList = 0;
};
