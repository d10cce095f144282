#include "import/gdal/gdal_session.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <gdal_frmts.h>

namespace gorvale {
namespace {

// Blocks are read once, a row of blocks at a time, and copied straight into
// the grid; a large block cache would only hold a second copy of the file
// (GDAL's default is 5 % of the machine's memory). Raised per file to its
// row of blocks, up to the largest row the reader takes whole.
constexpr GIntBig kMinBlockCacheBytes = GIntBig{256} << 10;
constexpr GIntBig kMaxBlockCacheBytes = GIntBig{64} << 20;

std::mutex registration;
bool allRegistered = false;

struct QuickDriver {
    const char* extension;
    void (*registerDriver)();
};

// A .vrt is not among them: its tiles may be in any format.
constexpr QuickDriver kQuickDrivers[] = {
    {"tif", GDALRegister_GTiff},
    {"tiff", GDALRegister_GTiff},
    {"hgt", GDALRegister_SRTMHGT},
    {"img", GDALRegister_HFA},
};

std::string lowerExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

}  // namespace

GdalSession::GdalSession() {
    static std::once_flag cacheSet;
    std::call_once(cacheSet, [] {
        if (GDALGetCacheMax64() > kMinBlockCacheBytes) GDALSetCacheMax64(kMinBlockCacheBytes);
    });
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
}

GdalSession::~GdalSession() { CPLPopErrorHandler(); }

std::string GdalSession::lastError(const std::string& fallback) {
    const char* text = CPLGetLastErrorMsg();
    if (text == nullptr || *text == '\0') return fallback;
    return text;
}

void GdalSession::registerDriversFor(const std::string& path) {
    const std::lock_guard<std::mutex> lock(registration);
    if (allRegistered) return;
    const std::string ext = lowerExtension(path);
    for (const QuickDriver& quick : kQuickDrivers) {
        if (ext != quick.extension) continue;
        quick.registerDriver();
        if (GDALIdentifyDriverEx(path.c_str(), GDAL_OF_RASTER, nullptr, nullptr) != nullptr) return;
        break;
    }
    GDALAllRegister();
    allRegistered = true;
}

void GdalSession::registerGeoTiffDriver() {
    const std::lock_guard<std::mutex> lock(registration);
    GDALRegister_GTiff();
}

void GdalSession::needBlockCache(std::int64_t bytes) {
    static std::mutex cacheMutex;
    const std::lock_guard<std::mutex> lock(cacheMutex);
    const GIntBig wanted = std::clamp<GIntBig>(bytes + kMinBlockCacheBytes, kMinBlockCacheBytes, kMaxBlockCacheBytes);
    // Only ever raised: another raster of this process may still be read.
    if (GDALGetCacheMax64() < wanted) GDALSetCacheMax64(wanted);
}

}  // namespace gorvale
