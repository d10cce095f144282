#pragma once
// Export of the grid (rows 0..RowLimit, columns 0..ColLimit, stored values)
// for other terrain programs: a Terragen terrain file, optionally reduced by
// averaging square blocks of cells, or a VistaPro ASCII matrix, optionally
// reduced by sampling. Both are laid out so that this program's own readers
// read them back in the same orientation.

#include <cstdint>
#include <string>

#include "base/grid_context.h"

namespace gorvale {

enum class ExportFormat { Terragen, VistaPro, GeoTiff };

inline constexpr int kMinExportBlockSize = 1;
inline constexpr int kMaxExportBlockSize = 100;

// How Terragen samples are scaled: a value v is written as trunc(v * factor)
// with factor = multiplier * 1.024 (as a float) and HeightScale = 64 /
// multiplier, so sample * HeightScale / 65536 is about v / 1000. The
// multiplier is the largest power of two that is at most 32000 / m and at
// most 64 (at least 1), m being the largest absolute value; so HeightScale
// stays exact and samples stay within 16 bits for |v| <= 32000.
struct TerragenScaling {
    int multiplier = 1;
    float factor = 1.024f;
    std::int16_t heightScale = 64;
};
TerragenScaling ChooseTerragenScaling(std::int32_t minimum, std::int32_t maximum);

// Writes the grid to `path` (no dialog: the caller chose the name). A
// GeoTIFF is always the whole grid, north up, in 32-bit integers: blockSize
// and squareAvg do not apply to it.
// blockSize is the "Hor/Vert Scale" S, 1 to 100: Terragen averages S x S
// blocks (root mean square with squareAvg), VistaPro takes every S-th value.
// Returns 0 when written. Returns -1 after a message when there is no grid,
// S is out of range, the grid does not fit the format, or the file cannot be
// created or written (a file left half written is removed).
int ExportTerrain(GridContext& ws, ExportFormat format, const std::string& path, int blockSize,
                  bool squareAvg);

}  // namespace gorvale
