// Map outline files ("id x y ... END" polylines).
#include <vector>

#include "FuzzFile.h"
#include "driftView.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzFile file;
    std::vector<std::vector<float>> y, x;
    std::vector<unsigned> lengths;
    int count = -1;
    const int n = driftView::loadConfigFile(file.write(data, size), y, x, count, lengths);
    // The four tables must agree with each other and with the count returned.
    if (n != count || x.size() != static_cast<std::size_t>(n) || y.size() != x.size() || lengths.size() != x.size())
        std::abort();
    for (std::size_t i = 0; i < x.size(); ++i)
        if (x[i].size() != lengths[i] || y[i].size() != lengths[i]) std::abort();
    return 0;
}
