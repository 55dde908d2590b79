#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "ExtremaFinder.h"
#include "FieldAllocator.h"

// Slot numbers of the fields other components select by number.
enum ForecastSlot {
    TEMPERATURE = 0,
    PRESSURE = 1,
    PRECIPITATION = 2,
    CLOUD_COVER = 3,
    WIND_SPEED = 4,
    WIND_DIR_X = 5,
    WIND_DIR_Y = 6,
    JET_SPEED = 7,
    JET_DIR_X = 8,
    JET_DIR_Y = 9,
    NUM_SLOTS = 10
};

// The whole forecast in memory: the eight model fields over every step, the grid's latitude and
// longitude, the valid times, the wind quantities derived at load, the animation clock (a fractional
// step index) and the region of interest. One instance lives for the whole run and is refilled in
// place on reload, so every component may keep a reference to it.
//
// Time arguments: t >= 0 sets the clock; -2 keeps it; -4 < t < 0 moves by (t + 2) time steps
// (-1 forward, -3 back); t <= -4 jumps to the whole step nearest currentTime + (t + 5).
class ForecastData {
public:
    explicit ForecastData(const char* path = nullptr);
    ~ForecastData();
    ForecastData(const ForecastData&) = delete;
    ForecastData& operator=(const ForecastData&) = delete;

    // Reads the whole file into fresh buffers and validates it; only a complete, consistent file
    // replaces what is loaded. On failure prints one line naming the file and the problem on
    // standard error, keeps the previous data and state, and returns false.
    bool load(const char* path);
    // As load(path), but a grid other than requiredRows x requiredCols is refused the same way:
    // whatever was built for the loaded grid keeps working on the data it was built for.
    bool load(const char* path, int requiredRows, int requiredCols);
    void unload();
    bool isLoaded() const { return loaded; }

    // The same load a piece at a time (one field of one step), so that the caller can go on
    // drawing the forecast in use meanwhile. beginLoad opens and checks the file (false: refused,
    // with load's message); each continueLoad reads for about `seconds` and reports Reading until
    // the new forecast has replaced the old one (Done) or a piece could not be read (Failed, with
    // load's message). Until Done the loaded forecast is untouched. A new beginLoad or cancelLoad
    // drops a load under way.
    enum class LoadState { Idle, Reading, Done, Failed };
    bool beginLoad(const char* path, int requiredRows = 0, int requiredCols = 0);
    LoadState continueLoad(double seconds);
    void cancelLoad();
    bool loadPending() const { return pending != nullptr; }
    // Start-up: reads the temperature of every step and the other fields of the first
    // `stepsFirst` steps, then takes the forecast at once; continueLoad reads the rest into the
    // forecast in use (Done when whole, Failed when a piece could not be read: the rest then reads
    // as zero). Until then, any step the clock or ensureStep reaches is read first. False, with
    // load's message, when the file is refused or a first piece cannot be read.
    bool loadStart(const char* path, int stepsFirst = 2);
    // Whether a load under way is filling the forecast in use (after loadStart).
    bool loadingInPlace() const;
    // Makes sure every field of `step` is read (blocks while a loadStart is still reading it).
    void ensureStep(int step);
    // A loadStart's later piece could not be read: the forecast in use is not whole (its unread
    // steps read as zero). Stays set until the next load is taken.
    bool readFailed() const { return readFailed_; }

    int numTimes() const { return nTimes; }
    int numRows() const { return nRows; }
    int numCols() const { return nCols; }

    double setTime(double t);
    double setTimeStep(double step);
    double getCurrentTime() const { return currentTime; }
    double timeValue(double t) const;
    double fileTime() const { return fileTime_; }
    // The model named by the file's global "model" attribute; NAM for files without one.
    const char* sourceName() const { return sourceName_.c_str(); }

    bool hasMissingValue() const { return hasMissing; }
    float getMissingValue() const { return missingValue; }

    // Region of interest, inclusive grid indices, clipped to the loaded grid.
    void setRegion(int r0, int r1, int c0, int c1);
    int regionRowMin() const { return rowMin; }
    int regionRowMax() const { return rowMax; }
    int regionColMin() const { return colMin; }
    int regionColMax() const { return colMax; }
    int regionRows() const { return rowMax - rowMin + 1; }
    int regionCols() const { return colMax - colMin + 1; }
    float scaledRowMin(float f) const { return rowCentre + (rowMin - rowCentre) * f; }
    float scaledColMin(float f) const { return colCentre + (colMin - colCentre) * f; }
    bool clampToRegion(float& row, float& col, float f) const;

    float slotMean(int slot) const;
    const float* slotField(int slot) const;

    // Trilinear interpolation; positions or times outside the data give 0. Does not move the clock.
    float sample(const float* field, float row, float col, float t) const;
    float sampleSlot(int slot, float row, float col, double t);
    // Does the value sampleSlot would give rest on a missing point (the file's fill or missing value,
    // or a non-finite one) with a non-zero weight? Derived wind slots look at the wind components
    // they come from. Positions or times outside the data are not missing (they read as 0).
    bool missingAt(int slot, float row, float col, double t);
    // The dataset's rule for a missing grid value.
    bool isMissingValue(float v) const;
    const float* resampleSlice(const float* field);
    const float* getSlice() const { return slice.empty() ? nullptr : slice.data(); }
    const float* slotSlice(int slot, double t);

    float temperatureAt(float row, float col, double t) { return at(temperature, row, col, t); }
    float pressureAt(float row, float col, double t) { return at(pressure, row, col, t); }
    float precipitationAt(float row, float col, double t) { return at(precipitation, row, col, t); }
    float cloudAt(float row, float col, double t) { return at(cloud, row, col, t); }
    float windSpeedAt(float row, float col, double t) { return at(windSpeed, row, col, t); }
    float windDirXAt(float row, float col, double t) { return at(windDirX, row, col, t); }
    float windDirYAt(float row, float col, double t) { return at(windDirY, row, col, t); }
    float jetSpeedAt(float row, float col, double t) { return at(jetSpeed, row, col, t); }
    float jetDirXAt(float row, float col, double t) { return at(jetDirX, row, col, t); }
    float jetDirYAt(float row, float col, double t) { return at(jetDirY, row, col, t); }
    // The wind components, rebuilt from direction and speed (the file's own components are not
    // kept); where a corner was missing in the file, the file's missing value.
    float windUAt(float row, float col, double t) { return componentAt(windDirX, windSpeed, windMissing, row, col, t); }
    float windVAt(float row, float col, double t) { return componentAt(windDirY, windSpeed, windMissing, row, col, t); }
    float jetUAt(float row, float col, double t) { return componentAt(jetDirX, jetSpeed, jetMissing, row, col, t); }
    float jetVAt(float row, float col, double t) { return componentAt(jetDirY, jetSpeed, jetMissing, row, col, t); }

    const float* temperatureSlice(double t) { return slotSlice(TEMPERATURE, t); }
    const float* pressureSlice(double t) { return slotSlice(PRESSURE, t); }
    const float* precipitationSlice(double t) { return slotSlice(PRECIPITATION, t); }
    const float* cloudSlice(double t) { return slotSlice(CLOUD_COVER, t); }
    const float* windSpeedSlice(double t) { return slotSlice(WIND_SPEED, t); }
    const float* jetSpeedSlice(double t) { return slotSlice(JET_SPEED, t); }

    // Extrema of a field interpolated to the current time. createExtremaFinders makes whichever
    // finder is missing and sets both search areas; a search without a finder creates it with the
    // region of interest as its area. The returned marks grid is valid until that finder's next
    // search (pressure highs and wind maxima share one).
    void createExtremaFinders(int rowMin, int rowMax, int colMin, int colMax);
    const float* findLows(const float* field, CoordList* list);
    const float* findHighs(const float* field, CoordList* list);
    const float* pressureLows(CoordList* list) { return findLows(slotField(PRESSURE), list); }
    const float* pressureHighs(CoordList* list) { return findHighs(slotField(PRESSURE), list); }
    const float* windSpeedMaxima() { return findHighs(slotField(WIND_SPEED), nullptr); }
    const ExtremaFinder* lowExtremaFinder() const { return lowFinder.get(); }
    const ExtremaFinder* highExtremaFinder() const { return highFinder.get(); }

    const std::vector<double>& latitudes() const { return latitude; }
    const std::vector<double>& longitudes() const { return longitude; }
    const std::vector<double>& timeValues() const { return times; }

private:
    struct Fields;   // one complete load, filled and validated before it replaces the current data
    struct Pending;  // a load under way
    // Checks the file, allocates and reads the coordinates; the fields are read by readPiece.
    bool openFile(const char* path, Pending& pending, std::string& problem) const;
    // The next field of the next step, with what is derived from it at that step.
    static bool readPiece(Pending& pending, std::string& problem);
    void adopt(Fields& f);
    float at(const FloatField& field, float row, float col, double t);
    float componentAt(const FloatField& dir, const FloatField& speed, const std::vector<bool>& missing, float row,
                      float col, double t);
    // Bilinear in space and linear in time over value(index of a grid point), as sample() reads a
    // field; 0 outside the grid.
    template <class Value>
    float interpolate(Value value, float row, float col, float t) const;
    // Whether pred(index) holds at a corner that interpolate() gives a non-zero weight.
    template <class Pred>
    bool anyWeightedCorner(Pred pred, float row, float col, float t) const;
    // True when a corner of the cell sample() would read at (row, col, t) is set in `missing`.
    bool cornerMissing(const std::vector<bool>& missing, float row, float col, float t) const;

    void setFinderArea(ExtremaFinder& f) const;
    const float* find(std::unique_ptr<ExtremaFinder>& finder, bool minima, const float* field, CoordList* list);

    bool loaded = false;
    std::unique_ptr<Pending> pending;
    std::vector<float> slice;
    std::unique_ptr<ExtremaFinder> lowFinder, highFinder;
    FloatField pressure, temperature, cloud, precipitation;
    std::vector<double> latitude, longitude, times;
    // Direction and speed replace the file's (u, v) in place at load: two full fields less to hold.
    FloatField windDirX, windDirY, windSpeed, jetDirX, jetDirY, jetSpeed;
    // Points whose u or v was missing in the file (their direction and speed read 0); empty when none.
    std::vector<bool> windMissing, jetMissing;
    const float* slots[NUM_SLOTS] = {};
    float means[NUM_SLOTS] = {};
    float missingValue = 0.0f;
    bool hasMissing = false;
    int nTimes = 0, nRows = 0, nCols = 0;
    int rowMin = 0, rowMax = 0, colMin = 0, colMax = 0;
    float rowCentre = 0.0f, colCentre = 0.0f;
    double currentTime = 0.0;
    int stepsReady = 0;  // steps wholly read (all of them but during a loadStart)
    bool readFailed_ = false;
    double timeStep = 1.0;
    double fileTime_ = 0.0;
    std::string sourceName_ = kDefaultSource;
    static constexpr const char* kDefaultSource = "NOAA NCEP North American Mesoscale (NAM)";
};
