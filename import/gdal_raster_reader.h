#pragma once
// Rasters read through the GDAL library: GeoTIFF, SRTM HGT tiles, VRT
// mosaics, ERDAS Imagine and every other single-band elevation raster GDAL
// opens. Band 1 is read block by block straight into the grid.

#include <string>

#include "base/grid_context.h"

namespace gorvale {

// A name for the reader's messages when GDAL names no driver.
inline constexpr const char* kGdalRasterFormatName = "GDAL raster";

// Reads band 1 of `path` into ws.grid through the GDAL reader process
// (import/gdal_helper.h), which has ended before the grid is allocated: LastRow = lines - 1, LastCol =
// pixels per line - 1 (every cell is data). GDAL's first line (the northern
// one) goes to row LastRow and its first pixel (the western one) to column
// LastCol; a file whose georeferencing says it runs south-up or east-left is
// placed accordingly. With SkipElevation only every other line and pixel is
// taken, starting with the first. Each value is multiplied by 10 to the
// power of VerticalPreScale and truncated toward zero (32-bit reals in
// single precision, as the ASCII grid reader does; integers exactly; 64-bit
// reals in extended precision); values beyond the 32-bit range saturate.
// Cells equal to the band's no-data value, and NaN cells, get the lowest
// valid elevation of the file (0 when none is valid); their count goes to
// ws.rasterSource and the log. Returns 0 when read, after the common reader
// tail. Returns -1 after a message naming the file when GDAL cannot open or
// read it, it has no band, or the grid would pass the cell limit (checked
// before anything is allocated). The file is read into a grid of its own
// that replaces ws.grid only when the whole band was read, so every refusal
// leaves the previous grid (for a moment both are held).
int ReadGdalRaster(GridContext& ws, const std::string& path);

}  // namespace gorvale
