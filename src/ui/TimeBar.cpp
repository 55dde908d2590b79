#include "TimeBar.h"

#include <GL/glew.h>

#include <vector>

#include "DisplayLists.h"
#include "Text.h"
#include "TimeBarLayout.h"

namespace {

void quad(float x0, float y0, float x1, float y1, float z) {
    glBegin(GL_QUADS);
    glVertex3f(x0, y0, z);
    glVertex3f(x1, y0, z);
    glVertex3f(x1, y1, z);
    glVertex3f(x0, y1, z);
    glEnd();
}

void outline(float x0, float y0, float x1, float y1, float z) {
    glBegin(GL_LINE_LOOP);
    glVertex3f(x0, y0, z);
    glVertex3f(x1, y0, z);
    glVertex3f(x1, y1, z);
    glVertex3f(x0, y1, z);
    glEnd();
}

bool label(float x, float y, const std::string& text, BitmapFont font) {
    return drawText(x, y, text, TextStyle::Outlined, font, 1.0f);
}

}  // namespace

TimeBar::TimeBar(ForecastData& d) : TimeBarControl(d) {
    timelineList = displaylists::generate(1);
    compileSymbols();
}

TimeBar::~TimeBar() {
    displaylists::release(timelineList, 1);
    displaylists::release(playingList, 1);
    displaylists::release(pausedList, 1);
}

void TimeBar::compileSymbols() {
    const float m = left + 1, s = -0.1f * m;
    const BitmapFont small = timeBarFonts(pixelWidth).small;

    playingList = displaylists::generate(1);
    beginUIList(playingList);
    glColor4f(0.8f, 0.8f, 1.0f, 0.6f);
    glLineWidth(1);
    for (int k = 0; k < 2; ++k) {
        const float x0 = (k == 0 ? 0.35f : 0.55f) * m - 1;
        quad(x0, bottom + s, x0 + 0.1f * m, top + s, depth);
    }
    glColor4f(0, 0, 0, 0.8f);
    glLineWidth(2);
    for (int k = 0; k < 2; ++k) {
        const float x0 = (k == 0 ? 0.35f : 0.55f) * m - 1;
        outline(x0, bottom + s, x0 + 0.1f * m, top + s, depth);
    }
    glLineWidth(1);
    glColor4f(0.8f, 0.9f, 1.0f, 0.6f);
    label(0.3f * m - 1, bottom - 0.04f + s, "playing", small);
    endUIList();

    pausedList = displaylists::generate(1);
    beginUIList(pausedList);
    const float x0 = 0.35f * m - 1;
    const float tri[3][2] = {{x0, top + s}, {x0 + 0.3f * m, (top + bottom) / 2 + s}, {x0, bottom + s}};
    glColor4f(0.8f, 0.8f, 1.0f, 0.6f);
    glLineWidth(1);
    glBegin(GL_TRIANGLES);
    for (const auto& v : tri) glVertex3f(v[0], v[1], depth);
    glEnd();
    glColor4f(0, 0, 0, 0.8f);
    glLineWidth(2);
    glBegin(GL_LINE_LOOP);
    for (const auto& v : tri) glVertex3f(v[0], v[1], depth);
    glEnd();
    glLineWidth(1);
    glColor4f(0.8f, 0.9f, 1.0f, 0.6f);
    label(0.3f * m - 1, bottom - 0.04f + s, "paused", small);
    endUIList();
}

void TimeBar::compileTimeline() {
    if (!timelineList) return;
    const int n = stepCount;
    std::vector<double> times(static_cast<std::size_t>(n > 0 ? n : 0));
    for (int i = 0; i < n; ++i) times[static_cast<std::size_t>(i)] = data.timeValue(i);
    const double t0 = data.timeValue(0);
    const TimeBarFonts fonts = timeBarFonts(pixelWidth);

    beginUIList(timelineList);
    glLineWidth(1);

    // Day/night strip, coloured by each step's own local hour.
    glBegin(GL_QUAD_STRIP);
    for (int i = 0; i < n; ++i) {
        const StripColour c = dayNightColour(localTimeOf(times[static_cast<std::size_t>(i)]).tm_hour);
        glColor4f(c.r, c.g, c.b, c.a);
        const float xi = stepX(i);
        glVertex3f(xi, top, depth + 0.1f);
        glVertex3f(xi, bottom, depth + 0.1f);
    }
    glEnd();

    glColor4f(0.8f, 0.8f, 0.8f, 0.6f);
    glBegin(GL_LINES);
    for (int i = 0; i < n; ++i) {
        const float xi = stepX(i);
        glVertex3f(xi, top, depth);
        glVertex3f(xi, bottom, depth);
    }
    glEnd();

    if (n > 0) {
        glColor4f(1.0f, 0.9f, 0.8f, 0.6f);
        label(left - 0.03f, top + 0.01f, firstStepLabel(t0), fonts.dateLabel);
    }

    glColor4f(0.8f, 0.9f, 1.0f, 0.6f);
    for (const HourLabel& h : hourLabels(times, pixelWidth))
        label(stepX(h.step) - 0.02f, top + 0.01f, h.text, BitmapFont::Helvetica10);

    glColor4f(1.0f, 0.9f, 0.8f, 0.6f);
    for (const DayMark& d : dayMarks(times)) {
        const float xm = stepX(d.position);
        label(xm - 0.03f, top + 0.03f, d.date, fonts.dateLabel);
        // The weekday follows the date, a space after it, where the date's font is wide.
        const float wx = weekdayX(xm, nowButtonShown, textWidth(d.date + " ", fonts.dateLabel), pixelWidth);
        label(wx, top + (nowButtonShown ? 0.035f : 0.04f), d.weekday, BitmapFont::Helvetica10);
        glBegin(GL_LINES);
        glVertex3f(xm, top + 0.02f, depth);
        glVertex3f(xm, bottom, depth);
        glEnd();
    }

    glColor4f(0.6f, 0.6f, 0.6f, 0.7f);
    quad(-0.99f, -0.99f, left - 0.01f, top + 0.007f, depth + 0.01f);

    const std::string model = modelLine(data.sourceName(), data.fileTime());
    if (nowButtonShown)
        label(-0.05f, bottom - 0.05f, model, fonts.dateLabel);
    else
        label(0.3f * left, bottom - 0.05f, model, fonts.dateLabel);

    endUIList();
}

void TimeBar::draw() {
    begin2D();
    syncTextViewport();
    glCallList(timelineList);
    glCallList(playing ? playingList : pausedList);

    const float cx = stepX(data.setTime(-2));
    glColor4f(0.7f, 0.8f, 1.0f, 0.6f);
    glLineWidth(2);
    glBegin(GL_LINES);
    glVertex3f(cx, top + 0.01f, depth - 0.1f);
    glVertex3f(cx, bottom - 0.01f, depth - 0.1f);
    glEnd();
    glColor4f(0, 0, 0, 0.8f);
    glLineWidth(6);
    glBegin(GL_LINES);
    glVertex3f(cx, top + 0.012f, depth - 0.1f);
    glVertex3f(cx, bottom - 0.012f, depth - 0.1f);
    glEnd();
    quad(cx - 0.01f, bottom, cx + 0.01f, top, depth - 0.1f);

    const float boxBottom = bottom - 0.07f, boxTop = bottom - 0.01f;
    glColor4f(0.6f, 0.6f, 0.6f, 0.7f);
    quad(left - 0.01f, boxBottom, 0.52f * left, boxTop, depth);
    if (nowButtonShown) quad(0.45f * left, boxBottom, 0.3f * left, boxTop, depth);
    if (updateShown) {
        if (!updateReady) glColor4f(0.6f, 0.6f, 0.6f, 0.5f);
        quad(0.25f * left, boxBottom, 0.1f * left, boxTop, depth);
    }

    const BitmapFont readoutFont = timeBarFonts(pixelWidth).readout;
    glColor4f(0.8f, 0.8f, 1.0f, 0.8f);
    const double shown = data.timeValue(-2);
    label(left, bottom - 0.06f, readoutText(shown, timeZoneName(shown)), readoutFont);
    if (nowButtonShown) {
        glLineWidth(2);
        outline(0.45f * left, boxBottom, 0.3f * left, boxTop, depth);
        label(0.4f * left, bottom - 0.06f, "Now", readoutFont);
    }
    if (updateShown) {
        if (updateReady) {
            glLineWidth(2);
            outline(0.25f * left, boxBottom, 0.1f * left, boxTop, depth);
            label(0.215f * left, bottom - 0.06f, "Update", readoutFont);
        } else {
            label(0.235f * left, bottom - 0.06f, "Updating...", readoutFont);
        }
    }
    glLineWidth(1);
    end2D();
}
