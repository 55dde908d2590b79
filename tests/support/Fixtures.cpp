#include "Fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testsupport {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "skyloom-test-XXXXXX").string();
    if (char* p = mkdtemp(pattern.data())) path_ = p;
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

forecastwriter::SampleOptions smallForecast(int nx, int ny, int steps) {
    forecastwriter::SampleOptions o;
    o.nx = nx;
    o.ny = ny;
    o.steps = steps;
    o.start = 1700000000 - 1700000000 % 21600;
    o.seed = 7;
    return o;
}

void writeForecast(const std::string& path, const forecastwriter::Dataset& ds) {
    std::string error;
    ASSERT_TRUE(forecastwriter::write(path, ds, error)) << error;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

}  // namespace testsupport
