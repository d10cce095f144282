#pragma once
// VistaPro ASCII elevation files ("*.txt"): one line per grid row, the
// northern row first, each line the row's integers from west to east with a
// blank after every value (the last one included).

#include <cstdio>

#include "base/grid_context.h"

namespace gorvale {

inline constexpr const char* kVistaAllocationFailed = "Memory allocation failed!";

// Reads the text stream `in` (from its start; the dispatch owns and closes
// it) into ws.grid. The values per line are those of the first line that a
// blank follows; the lines are the first one and every later line up to the
// last that holds anything. LastRow = lines - 1, LastCol = values per line
// - 1; the values are then read in order regardless of line ends, value j
// of line i to row LastRow - i, column LastCol - j, so a file whose lines
// lack the trailing blank is read one column short and shifts from line to
// line. A value that cannot be read ends the reading; the cells after it
// stay 0. Returns 0 when read, -1 after the "Memory allocation failed!" box
// when the first line holds no counted value, the size is impossible or
// memory runs out.
int ReadVistaAscii(GridContext& ws, std::FILE* in);

}  // namespace gorvale
