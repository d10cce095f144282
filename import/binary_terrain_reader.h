#pragma once
// Binary Terrain height fields ("*.bt", signature "binterr"): a 256-byte
// header, then the samples column by column from the western column to the
// eastern, each column from south to north. Samples are 2-byte or 4-byte
// little-endian integers or 4-byte IEEE reals.

#include <cstdio>

#include "base/grid_context.h"

namespace gorvale {

// Reads the file behind `in` (opened in binary mode; the caller closes it)
// into ws.grid. LastCol/LastRow are the column and row counts (halved with
// SkipElevation), so the last row and column stay 0; the lowest point is
// shifted to 0. Returns 0 when read, -1 when the file is refused (a message
// has been shown and the previous grid is kept).
int ReadBinaryTerrain(GridContext& ws, std::FILE* in);

}  // namespace gorvale
