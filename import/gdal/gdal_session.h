#pragma once
// What every use of the GDAL library in the core shares: drivers are
// registered as files need them, the block cache is kept to what a read
// needs, and while a GdalSession lives GDAL keeps its complaints to itself
// (they would otherwise go to stderr) so that the caller can turn the last
// one into its own message naming the file.

#include <cstdint>
#include <string>

namespace gorvale {

class GdalSession {
public:
    // Silences GDAL's error printing on this thread and forgets any earlier
    // error; the first session in the process also sets the block cache small.
    GdalSession();
    ~GdalSession();
    GdalSession(const GdalSession&) = delete;
    GdalSession& operator=(const GdalSession&) = delete;

    // GDAL's last error message, or `fallback` when it gave none.
    static std::string lastError(const std::string& fallback = "no reason given");

    // Registers what opening `path` needs. All of GDAL's drivers cost about
    // 8 MiB and a probe by each of them; so the one driver its extension
    // names (".tif", ".tiff", ".hgt", ".img") is registered alone first, and
    // the whole set only when that driver does not recognise the file.
    static void registerDriversFor(const std::string& path);
    // The GeoTIFF driver alone, for writing.
    static void registerGeoTiffDriver();

    // Lets the block cache hold `bytes` more (once the largest row of blocks
    // a read takes: a smaller cache would fetch each block again per line).
    static void needBlockCache(std::int64_t bytes);
};

}  // namespace gorvale
