#pragma once
// The GDAL library as the core sees it. GDAL lives in a module of its own
// (libgorvale_gdal.so, built from import/gdal/) that is loaded the first time
// a GeoTIFF is written, and by the GDAL reader process (import/gdal_helper.h)
// that reads rasters: linked into every program it would cost each of them
// about 30 MiB and 40 ms at start-up, whatever file they open. No GDAL
// header is needed to use this interface.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace gorvale {

// How band values are fetched.
enum class GdalFetch {
    Int16,    // 8-bit and signed 16-bit bands: exact, half the bytes to move
    Int32,    // unsigned 16-bit and 32-bit signed bands, complex integers: exact
    Float32,  // 32-bit reals
    Float64,  // unsigned 32-bit and 64-bit integers, 64-bit reals
};

// What GDAL says about an opened raster and its band 1.
struct GdalRasterFacts {
    int width = 0;   // pixels per line
    int height = 0;  // lines
    int bands = 0;
    int blockHeight = 1;  // lines per block of band 1
    GdalFetch fetch = GdalFetch::Int32;
    bool hasNoData = false;
    double noData = 0;
    bool hasGeoTransform = false;
    std::array<double, 6> geoTransform{};  // GDAL's affine transform of pixel/line to x/y
    std::string driver;          // short name ("GTiff")
    std::string driverLongName;  // "GeoTIFF"
    std::string units;           // of the reference system ("degree", "metre"); empty when none
    std::string crs;             // "AUTHORITY:CODE" when known, else the WKT; empty when none
    std::string crsWkt;
};

class GdalRaster {
public:
    virtual ~GdalRaster() = default;
    virtual const GdalRasterFacts& facts() const = 0;
    // Lines [firstLine, firstLine + count) of band 1, whole, into `buffer`
    // (count x width values of the fetch type). False with lastError() set.
    virtual bool readLines(int firstLine, int count, GdalFetch type, void* buffer) = 0;
    virtual std::string lastError() const = 0;
};

// A single-band 32-bit integer GeoTIFF being written.
class GdalGeoTiffWriter {
public:
    virtual ~GdalGeoTiffWriter() = default;
    // Lines [firstLine, firstLine + count), each `width` values.
    virtual bool writeLines(int firstLine, int count, const std::int32_t* lines) = 0;
    // Flushes and closes; false when anything failed on the way.
    virtual bool finish() = 0;
    virtual std::string lastError() const = 0;
};

class GdalLibrary {
public:
    virtual ~GdalLibrary() = default;
    // Opens a raster read-only; nullptr with the reason in `error`.
    virtual std::unique_ptr<GdalRaster> open(const std::string& path, std::string& error) = 0;
    // Creates a GeoTIFF (BigTIFF when needed); geoTransform and wkt are left
    // out when null / empty. nullptr with the reason in `error`.
    virtual std::unique_ptr<GdalGeoTiffWriter> createGeoTiff(const std::string& path, int width, int height,
                                                             const double* geoTransform, const std::string& wkt,
                                                             std::string& error) = 0;
};

// The module, loaded on the first call (beside the running program, or where
// the GORVALE_GDAL_MODULE environment variable points). nullptr with the
// reason in `error` when it cannot be loaded.
GdalLibrary* gdalLibrary(std::string& error);

// Name of the module's entry point: extern "C" GdalLibrary* gorvaleGdalLibrary().
inline constexpr const char* kGdalModuleEntry = "gorvaleGdalLibrary";
inline constexpr const char* kGdalModuleFile = "libgorvale_gdal.so";

}  // namespace gorvale
