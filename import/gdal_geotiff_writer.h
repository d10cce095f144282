#pragma once
// The grid written whole as a 32-bit integer GeoTIFF through GDAL, for GIS
// programs and today's terrain tools.

#include <string>

#include "base/grid_context.h"

namespace gorvale {

// Writes rows 0..RowLimit and columns 0..ColLimit of the stored values (no
// texture-zone flattening) to `path` as a single-band Int32 GeoTIFF, north
// up: file line 0 is grid row RowLimit and pixel 0 of a line is column
// ColLimit. When the grid was read by the GDAL raster reader with a
// north-up georeferencing and still has that extent, the GeoTIFF carries the
// same georeferencing and reference system. Returns 0 when written; -1 after
// a message naming the file when it cannot be created or written (a file
// left half written is removed). The caller has checked that a grid exists.
int WriteGeoTiff(GridContext& ws, const std::string& path);

}  // namespace gorvale
