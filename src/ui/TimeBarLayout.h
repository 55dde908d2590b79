#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "Text.h"

// The time bar's arithmetic and label texts, free of GL so they can be checked without a display.
// Positions are normalised window coordinates; step indices may be fractional.

// X of step index i on a bar from `left`, `span` wide, whose last step is lastIndex. A bar with a
// single step (lastIndex 0) has every step at its left end.
float timeBarX(double i, float left, float span, float lastIndex);

// A click's snapping: to the nearer whole step unless exactly halfway between two.
double snapToStep(double t);

// Position under pointer x (clamped to the bar). A left-button event that is not part of a drag
// snaps; other buttons and drags position between steps.
double scrubPosition(float x, float left, float right, float lastIndex, int button, bool dragging);

// Fractional step of wall-clock time `now` from the first two step times, within 0 ... numTimes - 1.
double nowPosition(double now, double t0, double t1, int numTimes);

struct TimeBarFonts {
    BitmapFont dateLabel;  // timeline date labels and the model line
    BitmapFont readout;    // read-out and button captions
    BitmapFont small;      // hour labels, weekday names, "playing"/"paused"
};
TimeBarFonts timeBarFonts(int pixelWidth);

// Local time of a time in seconds since 1970 (truncated to whole seconds).
std::tm localTimeOf(double seconds);
// The year's last two digits (96 for 1996, 26 for 2026).
int twoDigitYear(const std::tm& t);
// The local zone's name in force at a time: the daylight-saving name while daylight saving is in
// force, else the standard one; at most 32 bytes.
std::string timeZoneName(double seconds);

extern const char* const kWeekdayNames[7];

// Day/night strip colour (RGBA) for a local hour.
struct StripColour {
    float r, g, b, a;
};
StripColour dayNightColour(int localHour);

struct HourLabel {
    int step;
    std::string text;
};
// Labels at steps 2, 4, 6, ... of a forecast whose step times are `times`, each with its own local
// hour: "HH:00(+Nh)" from 1280 pixels wide up, "HH:00" below.
std::vector<HourLabel> hourLabels(const std::vector<double>& times, int pixelWidth);

struct DayMark {
    int step;
    double position;     // fractional step index of the midnight that starts the day
    std::string date;    // "M/DD/YY"
    const char* weekday;
};
// A mark for every step that lies at a midnight or in the three hours before one.
std::vector<DayMark> dayMarks(const std::vector<double>& times);

// X of the weekday under a day mark at xm, whose date is drawn from xm - 0.03: the usual place
// (0.04 right of the mark with the Now button shown, 0.07 without), or just after the date where
// the date's font is too wide for that. dateWidthPx is the date's width with the gap after it.
float weekdayX(float xm, bool nowButtonShown, int dateWidthPx, int pixelWidth);

// "M/DD/YY HH:00" of the first step.
std::string firstStepLabel(double t0);
// "Data from the <model> model, downloaded M/DD/YY @ HH:MM".
std::string modelLine(const char* sourceName, double fileTime);
// " M/DD/YY   HH:MM  <zone>".
std::string readoutText(double time, const std::string& zone);
