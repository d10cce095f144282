#pragma once
// Windows bitmaps ("*.bmp") used as height maps. Our own decoder, so an
// 8-bit pixel stays its palette index: 8, 24 and 32 bits per pixel, the
// BITMAPINFOHEADER family and the 12-byte OS/2 header, rows stored bottom-up
// or top-down, RLE8 compression and 32-bit bit fields.

#include <string>

#include "base/grid_context.h"

namespace gorvale {

inline constexpr const char* kBitmapFormatInvalid = "Bitmap format is invalid!";

// Loads the bitmap file `path` into ws.grid. The pixel value is the palette
// index (8 bits), the sum of the three bytes (24 bits, 0 to 765) or of the
// four channels (32 bits, 0 to 1020; bit-field channels are scaled to 8 bits
// each), multiplied by the vertical pre-scale factor. LastRow = image height,
// LastCol = image width (both halved with SkipElevation, which takes every
// other line and pixel); image line y (top first) goes to row LastRow - 1 - y
// and pixel x (left first) to column LastCol - 1 - x, so the row LastRow and
// the column LastCol stay 0. Returns 0 when read and 1 when the file cannot
// be opened (the "Error" dialog names it) or is not a bitmap this reader
// takes, is cut short or too large ("Bitmap format is invalid!").
int ReadBitmap(GridContext& ws, const std::string& path);

}  // namespace gorvale
