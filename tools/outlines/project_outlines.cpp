// Reads GMT lon/lat segments on standard input and writes grid-218 outline polylines on standard
// output (see OutlineProjector.h). Used by make_outlines.sh.
#include <cstdio>
#include <iostream>

#include "OutlineProjector.h"

int main() {
    const int n = outlines::projectSegments(std::cin, std::cout);
    std::fprintf(stderr, "%d polylines\n", n);
    return std::cout ? 0 : 1;
}
