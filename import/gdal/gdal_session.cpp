#include "import/gdal/gdal_session.h"

#include <mutex>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>

namespace gorvale {
namespace {

// Blocks are read once, strip by strip, and copied straight into the grid;
// a large block cache would only hold a second copy of the file (GDAL's
// default is 5 % of the machine's memory).
constexpr GIntBig kBlockCacheBytes = GIntBig{2} << 20;

}  // namespace

GdalSession::GdalSession() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        GDALAllRegister();
        if (GDALGetCacheMax64() > kBlockCacheBytes) GDALSetCacheMax64(kBlockCacheBytes);
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

}  // namespace gorvale
