#include "import/gdal_geotiff_writer.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "import/gdal_library.h"

namespace gorvale {
namespace {

// Lines handed to GDAL per call.
constexpr std::int64_t kStripBytes = std::int64_t{4} << 20;

bool writeLines(GdalGeoTiffWriter& out, const ElevationGrid& g, int lastRow, int lastCol) {
    const int rows = lastRow + 1;
    const int cols = lastCol + 1;
    const int strip = static_cast<int>(std::clamp<std::int64_t>(kStripBytes / (std::int64_t{cols} * 4), 1, rows));
    std::vector<std::int32_t> lines(static_cast<std::size_t>(strip) * static_cast<std::size_t>(cols));
    for (int y0 = 0; y0 < rows; y0 += strip) {
        const int count = std::min(strip, rows - y0);
        for (int y = 0; y < count; ++y) {
            // North up, west left: the grid's highest row and column come first.
            const std::int32_t* row = g.row(lastRow - (y0 + y));
            std::int32_t* line = lines.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(cols);
            std::reverse_copy(row, row + cols, line);
        }
        if (!out.writeLines(y0, count, lines.data())) return false;
    }
    return true;
}

}  // namespace

int WriteGeoTiff(GridContext& ws, const std::string& path) {
    const ElevationGrid& g = ws.grid;
    const int lastRow = std::min(g.RowLimit, g.AllocatedRows() - 1);
    const int lastCol = std::min(g.ColLimit, g.AllocatedCols() - 1);
    auto fail = [&](const std::string& why) {
        ws.ui->fileError(path + " (" + why + ")");
        return -1;
    };
    std::string error;
    GdalLibrary* gdal = gdalLibrary(error);
    if (!gdal) return fail(error);

    // The source's georeferencing still fits only a grid of the extent read.
    const RasterSource& source = ws.rasterSource;
    const bool georeferenced = source.present && source.hasGeoTransform && source.gridRows == lastRow + 1 &&
                               source.gridCols == lastCol + 1;
    const std::unique_ptr<GdalGeoTiffWriter> out =
        gdal->createGeoTiff(path, lastCol + 1, lastRow + 1, georeferenced ? source.geoTransform.data() : nullptr,
                            georeferenced ? source.crsWkt : std::string(), error);
    if (!out) return fail(error);
    ws.ui->setBusy(true);
    const bool written = writeLines(*out, g, lastRow, lastCol) && out->finish();
    ws.ui->setBusy(false);
    if (!written) {
        const std::string why = out->lastError();
        std::error_code ec;
        std::filesystem::remove(path, ec);
        return fail(why);
    }
    return 0;
}

}  // namespace gorvale
