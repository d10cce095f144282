#pragma once
// What the GDAL raster reader learnt about the file behind the grid, for
// the read-outs (info) and for an export that keeps the georeferencing.

#include <array>
#include <cstdint>
#include <string>

namespace gorvale {

struct RasterSource {
    bool present = false;        // the grid was read by the GDAL raster reader
    std::string driver;          // GDAL's short driver name ("GTiff", "SRTMHGT")
    std::string driverLongName;  // "GeoTIFF", "SRTMHGT File Format"
    int fileWidth = 0;           // pixels per line in the file
    int fileHeight = 0;          // lines in the file
    bool hasPixelSize = false;
    double pixelSizeX = 0;       // width of one grid cell (positive), in `units`
    double pixelSizeY = 0;       // height of one grid cell (positive), in `units`
    std::string units;           // "degree", "metre", ...; empty when the file has no reference system
    std::string crs;             // "EPSG:4326", else the WKT; empty when unknown
    std::int64_t noDataCount = 0;  // cells that were no-data or NaN in the file
    std::int32_t noDataFill = 0;   // the elevation they were given

    // North-up georeferencing of the grid as read (origin at its north-west
    // corner), when the file had one without rotation.
    bool hasGeoTransform = false;
    std::array<double, 6> geoTransform{};
    std::string crsWkt;
    int gridRows = 0;  // grid extent the georeferencing belongs to
    int gridCols = 0;
};

}  // namespace gorvale
