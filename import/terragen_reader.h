#pragma once
// Terragen terrain files: "TERRAGEN" "TERRAIN ", a SIZE chunk, optional
// XPTS/YPTS chunks, other chunks up to "ALTW" (HeightScale, BaseHeight),
// then rows of 16-bit heights from the southern row, each from west to east.

#include <cstdio>

#include "base/grid_context.h"

namespace gorvale {

// HeightScale / 65.532 (not / 65.536): heights come out in thousandths of a
// Terragen unit, about the scale the export writes them at.
inline constexpr double kTerragenScalePerHeightScale = 0.015259720441921506;

// Reads the file behind `in` (binary mode; the caller closes it; the first
// 8 bytes "TERRAGEN" have been read) into ws.grid. A height h lands as
// trunc(h * HeightScale / 65.532 + BaseHeight - TerragenReadingOffset) - BaseHeight.
// Every cell of LastRow + 1 rows by LastCol + 1 columns is data (every other
// row and column with SkipElevation). Returns 0 when read; -1 when the
// header is not complete (no message) or the size is refused with a
// message; the previous grid is kept.
int ReadTerragen(GridContext& ws, std::FILE* in);

}  // namespace gorvale
