#pragma once
// Text matrices of the hf-lab height-field program ("*.oct"): four header
// lines (the name, a skipped line, the number of value groups, the number
// of values per group) and then the values as reals, group after group.

#include <cstdio>

#include "base/grid_context.h"

namespace gorvale {

inline constexpr const char* kOctReadFailed = "OCT file read failed!";

// Reads the text stream `in` from its current position (the dispatch owns
// and closes it) into ws.grid. Shows the name (line 1 from its ninth
// character) in the DemName label. Value k of group j goes to row j, column
// k, multiplied by 1000 in single precision and truncated, so elevations are
// in thousandths of the file's unit. LastRow is the group count and LastCol
// the values per group (the two are equal in square matrices); the row
// LastRow and the column LastCol stay 0. A value that cannot be read ends
// the reading; the cells after it stay 0. Returns 0 when read, -1 after the
// "OCT file read failed!" box when the header is unusable, the size is
// impossible or memory runs out.
int ReadOct(GridContext& ws, std::FILE* in);

}  // namespace gorvale
