#pragma once
// ETOPO5-style elevation files: a headerless run of 16-bit signed
// little-endian samples, the northern row first and each row from west to
// east. The file does not say its width, so the "ETOPO Size" dialog asks.

#include <cstdio>

#include "base/grid_context.h"

namespace gorvale {

inline constexpr const char* kEtopoSizeCaption = "ETOPO Size";
inline constexpr const char* kEtopoSizePrompt = "Please provide the horizontal size of the grid:";
inline constexpr const char* kEtopoReadFailed = "ETOPO5 read failed!";

// Reads the binary stream `in` (positioned anywhere; the dispatch owns and
// closes it) into ws.grid: LastRow = rows - 1, LastCol = width - 1. Asks for
// the width until the sample count is a multiple of it and it is not 1;
// ws.AskedGridWidth keeps the answer. Returns 0 when read, -1 when refused
// (no width given, too few samples, a grid too large, memory exhausted);
// a refused file leaves the grid as it was unless memory ran out.
int ReadEtopo5(GridContext& ws, std::FILE* in);

}  // namespace gorvale
