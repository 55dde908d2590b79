#pragma once

#include <istream>
#include <ostream>

namespace outlines {

// Turns GMT's multi-segment lon/lat text (segments introduced by lines starting with '>', then one
// "lon lat" pair per line) into the viewer's outline format in grid-218 (column, row) coordinates:
// "id x y x y ... END" per polyline and a closing "END". A segment is split where it leaves the
// nx x ny grid; pieces of fewer than two points are dropped. Returns the number of polylines written.
int projectSegments(std::istream& in, std::ostream& out, int nx = 614, int ny = 428);

}  // namespace outlines
