#pragma once

#include <string>

#include "ForecastWriter.h"

namespace testsupport {

// A fresh temporary directory, removed with everything in it when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Small sample forecast options: few steps, a small grid, fixed start and seed.
forecastwriter::SampleOptions smallForecast(int nx = 24, int ny = 18, int steps = 3);

// Writes the dataset to `path`; fails the current test when the writer fails.
void writeForecast(const std::string& path, const forecastwriter::Dataset& ds);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& contents);

}  // namespace testsupport
