#include "TimeBarLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

float timeBarX(double i, float left, float span, float lastIndex) {
    if (!(lastIndex > 0)) return left;
    return static_cast<float>(i * span / lastIndex + left);
}

double snapToStep(double t) {
    const double lo = std::floor(t), hi = std::ceil(t);
    if (t - lo < 0.5) return lo;
    if (hi - t < 0.5) return hi;
    return t;
}

double scrubPosition(float x, float left, float right, float lastIndex, int button, bool dragging) {
    x = std::min(std::max(x, left), right);
    const float span = right - left;
    double t = span > 0 ? static_cast<double>(x - left) * lastIndex / span : 0.0;
    if (button == 0 && !dragging) t = snapToStep(t);
    return t;
}

double nowPosition(double now, double t0, double t1, int numTimes) {
    const double stepSeconds = t1 - t0;
    double t = stepSeconds > 0 ? (now - t0) / stepSeconds : 0.0;
    if (!std::isfinite(t)) t = 0.0;
    const double last = std::max(numTimes - 1, 0);
    if (t > last) t = last;
    if (t < 0) t = 0;
    return t;
}

TimeBarFonts timeBarFonts(int w) {
    TimeBarFonts f{BitmapFont::Helvetica10, BitmapFont::Helvetica10, BitmapFont::Helvetica10};
    if (w >= 1280) f.dateLabel = w >= 1550 ? BitmapFont::Helvetica18 : BitmapFont::Helvetica12;
    if (w >= 1800)
        f.readout = BitmapFont::TimesRoman24;
    else if (w >= 1440)
        f.readout = BitmapFont::Helvetica18;
    else if (w >= 1024)
        f.readout = BitmapFont::Helvetica12;
    return f;
}

std::tm localTimeOf(double seconds) {
    const std::time_t t = static_cast<std::time_t>(static_cast<std::int64_t>(seconds));
    std::tm out{};
    localtime_r(&t, &out);
    return out;
}

int twoDigitYear(const std::tm& t) { return ((t.tm_year + 1900) % 100 + 100) % 100; }

std::string timeZoneName(double seconds) {
    tzset();
    const std::tm lt = localTimeOf(seconds);
    const char* name = lt.tm_isdst > 0 ? tzname[1] : tzname[0];
    std::string s = name ? name : "";
    if (s.size() > 32) s.resize(32);
    return s;
}

const char* const kWeekdayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                      "Thursday", "Friday", "Saturday"};

StripColour dayNightColour(int h) {
    if (h <= 4 || h >= 21) return {0.0f, 0.0f, 0.1f, 0.4f};
    if (h <= 7 || h >= 18) return {0.35f, 0.35f, 0.5f, 0.4f};
    return {0.7f, 0.7f, 0.5f, 0.4f};
}

std::vector<HourLabel> hourLabels(const std::vector<double>& times, int pixelWidth) {
    std::vector<HourLabel> out;
    if (times.empty()) return out;
    const double t0 = times[0];
    const int n = static_cast<int>(times.size());
    char buf[64];
    for (int i = 2; i < n; i += 2) {
        const std::tm lt = localTimeOf(times[static_cast<std::size_t>(i)]);
        const double ahead = (times[static_cast<std::size_t>(i)] - t0) / 3600.0;
        if (pixelWidth >= 1280)
            std::snprintf(buf, sizeof buf, "%02d:00(+%.0fh)", lt.tm_hour, ahead);
        else
            std::snprintf(buf, sizeof buf, "%02d:00", lt.tm_hour);
        out.push_back({i, buf});
    }
    return out;
}

std::vector<DayMark> dayMarks(const std::vector<double>& times) {
    std::vector<DayMark> out;
    char buf[64];
    for (std::size_t i = 0; i < times.size(); ++i) {
        const std::tm lt = localTimeOf(times[i]);
        double h = lt.tm_hour + lt.tm_min / 60.0;
        if (h > 0.01 && h < 21.01) continue;
        if (h > 21) h = 24 - h;  // hours to the coming midnight
        const std::tm day = localTimeOf(times[i] + h * 3600.0);
        std::snprintf(buf, sizeof buf, "%d/%02d/%02d", day.tm_mon + 1, day.tm_mday, twoDigitYear(day));
        out.push_back({static_cast<int>(i), static_cast<double>(i) + h / 3.0, buf,
                       kWeekdayNames[((day.tm_wday % 7) + 7) % 7]});
    }
    return out;
}

float weekdayX(float xm, bool nowButtonShown, int dateWidthPx, int pixelWidth) {
    const float usual = xm + (nowButtonShown ? 0.04f : 0.07f);
    if (pixelWidth <= 0) return usual;
    return std::max(usual, xm - 0.03f + 2.0f * static_cast<float>(dateWidthPx) / static_cast<float>(pixelWidth));
}

std::string firstStepLabel(double t0) {
    const std::tm lt = localTimeOf(t0);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d/%02d/%02d %02d:00", lt.tm_mon + 1, lt.tm_mday, twoDigitYear(lt),
                  lt.tm_hour);
    return buf;
}

std::string modelLine(const char* sourceName, double fileTime) {
    const std::tm lt = localTimeOf(fileTime);
    char buf[256];
    std::snprintf(buf, sizeof buf, "Data from the %s model, downloaded %d/%02d/%02d @ %02d:%02d",
                  sourceName ? sourceName : "", lt.tm_mon + 1, lt.tm_mday, twoDigitYear(lt), lt.tm_hour,
                  lt.tm_min);
    return buf;
}

std::string readoutText(double time, const std::string& zone) {
    const std::tm lt = localTimeOf(time);
    char buf[128];
    std::snprintf(buf, sizeof buf, "%2d/%02d/%02d   %02d:%02d  %s", lt.tm_mon + 1, lt.tm_mday,
                  twoDigitYear(lt), lt.tm_hour, lt.tm_min, zone.c_str());
    return buf;
}
