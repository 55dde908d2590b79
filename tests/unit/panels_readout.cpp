// The read-out panel's arithmetic: where a click lands on the grid, where the panel opens, how long
// it stays and what its lines say.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "DataSummary.h"
#include "DataVariable.h"
#include "Fixtures.h"
#include "ForecastData.h"

namespace {

struct RecordingMark : CursorMark {
    int row = -1, col = -1, placed = 0;
    void setPosition(int r, int c) override {
        row = r;
        col = c;
        ++placed;
    }
    void draw() override {}
};

// A small forecast (24 x 18 grid, three steps) with the region rows 2 ... 15, columns 3 ... 21.
class ReadoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string path = dir.file("forecast.nc");
        testsupport::writeForecast(path, forecastwriter::makeSampleForecast(testsupport::smallForecast()));
        ASSERT_TRUE(data.load(path.c_str()));
        data.setRegion(2, 15, 3, 21);
        temperature.setDisplayUnit(UNIT_FAHRENHEIT);
        pressure.setDisplayUnit(UNIT_MILLIBAR);
        ASSERT_EQ(data.regionColMax(), 21);
        auto m = std::make_unique<RecordingMark>();
        mark = m.get();
        DataVariable* vars[] = {&temperature, &pressure};
        panel = std::make_unique<DataSummary>(data, vars, 2, std::move(m));
        panel->setGeometry(-150, -100, 150, 100);
        panel->setWindowSize(200, 100);
    }

    testsupport::TempDir dir;
    ForecastData data;
    DataVariable temperature{UNIT_KELVIN, "Temperature", TEMPERATURE, "Temp (F)"};
    DataVariable pressure{UNIT_PASCAL, "Pressure", PRESSURE, "Pres (mb)"};
    RecordingMark* mark = nullptr;
    std::unique_ptr<DataSummary> panel;
};

TEST_F(ReadoutTest, ClickMapsThePointerOntoTheDisplayedRegion) {
    panel->handleMouse(NoButton, Moved, 100, 50);
    EXPECT_EQ(mark->placed, 0) << "passive motion opens nothing";
    EXPECT_FLOAT_EQ(panel->getLevel(), 0);

    EXPECT_FALSE(panel->handleMouse(LeftButton, Pressed, 0, 0)) << "the read-out never consumes";
    EXPECT_EQ(panel->getColumn(), 3);
    EXPECT_EQ(panel->getRow(), 2);
    EXPECT_EQ(mark->col, 3);
    EXPECT_EQ(mark->row, 2);

    // Window centre: (3 + 21) / 2 = 12 and 2 + 6.5 truncated = 8.
    panel->handleMouse(LeftButton, Released, 100, 50);
    EXPECT_EQ(panel->getColumn(), 12);
    EXPECT_EQ(panel->getRow(), 8);
    // 3 + 0.25 * 18 = 7.5 and 2 + 0.25 * 13 = 5.25, both truncated.
    panel->handleMouse(NoButton, Dragged, 50, 25);
    EXPECT_EQ(panel->getColumn(), 7);
    EXPECT_EQ(panel->getRow(), 5);
    EXPECT_EQ(mark->placed, 3);
    EXPECT_FLOAT_EQ(panel->getLevel(), 5);

    // A drag that leaves the window stays on the region's edge.
    panel->handleMouse(NoButton, Dragged, -40, 130);
    EXPECT_EQ(panel->getColumn(), 3);
    EXPECT_EQ(panel->getRow(), 15);
    // Without a window size a click cannot be placed.
    panel->setWindowSize(0, 0);
    panel->handleMouse(LeftButton, Pressed, 100, 50);
    EXPECT_EQ(mark->placed, 4);
}

TEST_F(ReadoutTest, PanelOpensBesideThePointerAndFlipsAtTheEdges) {
    panel->setWindowSize(800, 600);
    panel->handleMouse(LeftButton, Pressed, 200, 300);
    // Upper-left corner 10 px right of and below the pointer.
    EXPECT_FLOAT_EQ(panel->x, 210);
    EXPECT_FLOAT_EQ(panel->y + panel->height, 290);

    panel->handleMouse(LeftButton, Pressed, 700, 300);  // 710 + 150 would cross x = 800
    EXPECT_FLOAT_EQ(panel->x, 540);
    panel->handleMouse(LeftButton, Pressed, 200, 50);  // would reach below y = 0
    EXPECT_FLOAT_EQ(panel->y, 60);
    panel->handleMouse(LeftButton, Pressed, 799, 1);  // bottom right corner: both flip
    EXPECT_FLOAT_EQ(panel->x, 639);
    EXPECT_FLOAT_EQ(panel->y, 11);

    // A window too small for the panel on either side: pinned to the lower-left corner.
    panel->setWindowSize(120, 80);
    panel->handleMouse(LeftButton, Pressed, 60, 40);
    EXPECT_FLOAT_EQ(panel->x, 0);
    EXPECT_FLOAT_EQ(panel->y, 0);
}

TEST_F(ReadoutTest, StaysFullyVisibleThenFadesAndHoverBringsItBack) {
    panel->setWindowSize(800, 600);
    panel->handleMouse(LeftButton, Pressed, 200, 300);
    int frames = 0;
    while (panel->advanceLevel() && frames < 5000) {
        ++frames;
        if (frames == 799) {
            EXPECT_GE(panel->getLevel(), 1.0f) << "full opacity for 800 frames";
        }
    }
    EXPECT_NEAR(frames, 1000, 1);
    EXPECT_FLOAT_EQ(panel->getLevel(), 0);

    // Strictly inside the panel (210 ... 360 x 190 ... 290).
    panel->handleMouse(NoButton, Moved, 210, 250);
    EXPECT_FALSE(panel->isHovered()) << "the edge is outside";
    panel->handleMouse(NoButton, Moved, 211, 250);
    EXPECT_TRUE(panel->isHovered());
    EXPECT_TRUE(panel->advanceLevel());
    EXPECT_NEAR(panel->getLevel(), 0.05f, 1e-6);
    for (int i = 0; i < 200; ++i) panel->advanceLevel();
    EXPECT_FLOAT_EQ(panel->getLevel(), 4);
    EXPECT_EQ(mark->placed, 1) << "hovering does not move the cursor";
}

TEST_F(ReadoutTest, LinesListPositionEveryVariableAndWindDirection) {
    panel->handleMouse(LeftButton, Pressed, 100, 50);  // column 12, row 8
    ASSERT_EQ(panel->lineCount(), 4);
    EXPECT_EQ(panel->lineText(0), "Position: (12, 8)");

    const int rows = data.numRows(), cols = data.numCols();
    auto gridValue = [&](int slot, int step) {
        return data.slotField(slot)[(static_cast<std::size_t>(step) * rows + 8) * cols + 12];
    };
    char expected[128];
    for (int step = 0; step < 2; ++step) {
        data.setTime(step);  // the read-out follows the clock
        std::snprintf(expected, sizeof expected, "Pres (mb): %.4g", gridValue(PRESSURE, step) / 100.0f);
        EXPECT_EQ(panel->lineText(2), expected);
        std::snprintf(expected, sizeof expected, "Wind dir.(U, V): %.2f, %.2f", gridValue(WIND_DIR_X, step),
                      gridValue(WIND_DIR_Y, step));
        EXPECT_EQ(panel->lineText(3), expected);
    }
    EXPECT_NE(gridValue(PRESSURE, 0), gridValue(PRESSURE, 1)) << "the sample should move between steps";
}

TEST(ReadoutLines, MissingValuesInEitherBlendedStepReadAsDashes) {
    // Precipitation is all fill at the first step (as NAM's is); at the point (row 8, column 12)
    // the pressure is missing at step 1 and the 10 m wind at step 2.
    testsupport::TempDir dir;
    forecastwriter::Dataset ds = forecastwriter::makeSampleForecast(testsupport::smallForecast());
    const std::size_t rows = 18, cols = 24, point = 8 * cols + 12;
    ds.find("PRMSL_meansealevel")->floats[1 * rows * cols + point] = 9.999e20f;
    ds.find("UGRD_10maboveground")->floats[2 * rows * cols + point] = 9.999e20f;
    const std::string path = dir.file("forecast.nc");
    testsupport::writeForecast(path, ds);
    ForecastData data;
    ASSERT_TRUE(data.load(path.c_str()));
    DataVariable precipitation(UNIT_INCH, "Precipitation", PRECIPITATION, "Prec (in.)");
    DataVariable pressure(UNIT_PASCAL, "Pressure", PRESSURE, "Pres (mb)");
    DataVariable wind(UNIT_METRES_PER_SECOND, "Wind speed", WIND_SPEED, "Wind (kts)");
    DataVariable* vars[] = {&precipitation, &pressure, &wind};
    DataSummary panel(data, vars, 3, nullptr);
    panel.setWindowSize(200, 100);
    panel.handleMouse(LeftButton, Pressed, 104.5f, 50);  // the whole grid: column 12.01, row 8.5
    ASSERT_EQ(panel.getColumn(), 12);
    ASSERT_EQ(panel.getRow(), 8);

    const auto lines = [&](double t) {
        data.setTime(t);
        std::vector<bool> dashes;
        for (int k = 1; k <= 4; ++k) dashes.push_back(panel.lineText(k).find(": --") != std::string::npos);
        return dashes;
    };
    // Lines: precipitation, pressure, wind speed, wind direction.
    EXPECT_EQ(lines(0), (std::vector<bool>{true, false, false, false}));
    EXPECT_EQ(lines(0.5), (std::vector<bool>{true, true, false, false}));
    EXPECT_EQ(lines(1), (std::vector<bool>{false, true, false, false}));
    EXPECT_EQ(lines(1.5), (std::vector<bool>{false, true, true, true}));
    EXPECT_EQ(lines(2), (std::vector<bool>{false, false, true, true}));
    EXPECT_EQ(panel.lineText(4), "Wind dir.(U, V): --");
    data.setTime(0);
    EXPECT_EQ(panel.lineText(1), "Prec (in.): --");
}

TEST(ReadoutLines, SixVariablesGiveEightLinesValuesKeepFourSignificantDigits) {
    ForecastData empty;
    DataVariable v(UNIT_PERCENT, "Cloud Cover", CLOUD_COVER, "Clouds (%)");
    DataVariable* six[] = {&v, &v, &v, &v, &v, &v};
    DataSummary panel(empty, six, 6, nullptr);
    ASSERT_EQ(panel.lineCount(), 8);
    const float ys[] = {0.7f, 0.475f, 0.25f, 0.025f, -0.2f, -0.425f, -0.65f, -0.875f};
    for (int k = 0; k < 8; ++k) EXPECT_NEAR(panel.lineY(k), ys[k], 1e-5) << "line " << k;

    EXPECT_EQ(DataSummary::valueLine("Pres (mb)", 1013.25f), "Pres (mb): 1013");
    EXPECT_EQ(DataSummary::valueLine("Prec (in.)", 0.000123f), "Prec (in.): 0.000123");
    EXPECT_EQ(DataSummary::valueLine("X", 12345.6f), "X: 1.235e+04");
}

}  // namespace
