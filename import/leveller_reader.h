#pragma once
// Leveller height fields (signature "trrn"): a version byte, then tagged
// records (name length, name, 32-bit payload length, payload) until the end
// of the file. The heights ("hf_data") run file row by file row from the
// northern row, each row from west to east; versions before 6 store them as
// 16.16 fixed point, later versions as 32-bit IEEE reals.

#include <cstdio>
#include <string_view>

#include "base/grid_context.h"

namespace gorvale {

// Metres per unit for a label of the world-spacing unit (its first word),
// or 1 when the label is not one Leveller writes.
double LevellerUnitFactor(std::string_view label);

// Reads the file behind `in` (binary mode; the caller closes it) into
// ws.grid. Heights are multiplied by the world spacing, the factor of its
// unit and the vertical prescale (1, 10, 100 or 1000). LastCol/LastRow are
// the sample and row counts (halved with SkipElevation); the last row and
// column stay 0. Returns 0 when read; -1 when the file holds no heights
// (no message) or is refused with a message; the previous grid is kept.
int ReadLeveller(GridContext& ws, std::FILE* in);

}  // namespace gorvale
