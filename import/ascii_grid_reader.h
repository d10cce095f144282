#pragma once
// ARC/INFO ASCII grids ("*.asc"): a short keyword header (ncols, nrows,
// optionally the lower-left corner or centre, the cell size and the no-data
// value) followed by the values as reals, the northern row first and each
// row from west to east.

#include <cstdio>

#include "base/grid_context.h"

namespace gorvale {

inline constexpr const char* kAsciiGridAllocationFailed = "Memory allocation failed!";

// Reads the text stream `in` from its current position (the dispatch owns and
// closes it) into ws.grid: LastRow = nrows - 1, LastCol = ncols - 1, file
// row k to grid row LastRow - k, value l to column LastCol - l. Each value
// is negated with InvertElevation, multiplied by the vertical pre-scale
// factor (in single precision) and truncated; "nan" is stored as 0; a
// decimal comma is read as a decimal point. A value that cannot be read
// leaves the rest of its row 0. The no-data value is not treated specially.
// Returns 0 when read; -1 without a message when ncols or nrows is missing
// (the old grid stays), -1 after the "Memory allocation failed!" box when
// the size is impossible or memory runs out.
int ReadAsciiGrid(GridContext& ws, std::FILE* in);

}  // namespace gorvale
