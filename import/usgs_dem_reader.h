#pragma once
// Reader of USGS Digital Elevation Models in their ASCII record form: one
// type A header record, then one type B profile record per column of
// elevations, west to east, each profile listed south to north.
//
// The profiles are read as a stream of numbers (writers break lines and run
// 6-character fields together as they like); record A is read from its fixed
// columns when its first line is long enough to hold them.

#include <cstdio>

#include "base/grid_context.h"

namespace gorvale {

// Reads the DEM from the open stream `in` (rewound first; the caller keeps
// ownership and closes it) into ws.grid and runs the common reader tail.
//   0   the profiles were read (a file that ends early keeps what was read);
//  -1   the header was refused (no positive resolution, or a grid too big;
//       the previous grid is kept) or the grid's memory could not be had
//       ("DEM Memory allocation failed!"; no grid afterwards).
// Honours SkipElevation (every other point) and writes its log lines to
// LogFile when LogEnable is on. ws.settings.DEMFile names the file in messages.
int ReadUsgsDem(GridContext& ws, std::FILE* in);

}  // namespace gorvale
