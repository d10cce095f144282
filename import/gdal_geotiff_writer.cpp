#include "import/gdal_geotiff_writer.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include <cpl_string.h>
#include <gdal_priv.h>

#include "import/gdal_session.h"

namespace gorvale {
namespace {

// Lines handed to GDAL per RasterIO call.
constexpr std::int64_t kStripBytes = std::int64_t{4} << 20;

struct GdalDatasetCloser {
    void operator()(GDALDataset* ds) const noexcept { GDALClose(GDALDataset::ToHandle(ds)); }
};
using DatasetPtr = std::unique_ptr<GDALDataset, GdalDatasetCloser>;

void keepGeoreferencing(GDALDataset& ds, const RasterSource& source, int rows, int cols) {
    if (!source.present || !source.hasGeoTransform || source.gridRows != rows || source.gridCols != cols) return;
    double gt[6];
    std::copy(source.geoTransform.begin(), source.geoTransform.end(), gt);
    ds.SetGeoTransform(gt);
    if (!source.crsWkt.empty()) ds.SetProjection(source.crsWkt.c_str());
}

bool writeLines(GDALRasterBand& band, const ElevationGrid& g, int lastRow, int lastCol) {
    const int rows = lastRow + 1;
    const int cols = lastCol + 1;
    const int strip = static_cast<int>(
        std::clamp<std::int64_t>(kStripBytes / (std::int64_t{cols} * 4), 1, rows));
    std::vector<std::int32_t> lines(static_cast<std::size_t>(strip) * static_cast<std::size_t>(cols));
    for (int y0 = 0; y0 < rows; y0 += strip) {
        const int count = std::min(strip, rows - y0);
        for (int y = 0; y < count; ++y) {
            // North up, west left: the grid's highest row and column come first.
            const std::int32_t* row = g.row(lastRow - (y0 + y));
            std::int32_t* out = lines.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(cols);
            std::reverse_copy(row, row + cols, out);
        }
        if (band.RasterIO(GF_Write, 0, y0, cols, count, lines.data(), cols, count, GDT_Int32, 0, 0, nullptr) !=
            CE_None)
            return false;
    }
    return true;
}

}  // namespace

int WriteGeoTiff(Workspace& ws, const std::string& path) {
    GdalSession gdal;
    const ElevationGrid& g = ws.grid;
    const int lastRow = std::min(g.RowLimit, g.AllocatedRows() - 1);
    const int lastCol = std::min(g.ColLimit, g.AllocatedCols() - 1);
    auto fail = [&](const std::string& why) {
        ws.ui->fileError(path + " (" + why + ")");
        return -1;
    };
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    if (!driver) return fail("this GDAL has no GeoTIFF driver");

    // Files over 4 GiB need BigTIFF; GDAL picks it when it must.
    CPLStringList options;
    options.SetNameValue("BIGTIFF", "IF_SAFER");
    bool written = false;
    {
        DatasetPtr ds(driver->Create(path.c_str(), lastCol + 1, lastRow + 1, 1, GDT_Int32, options.List()));
        if (!ds) return fail(GdalSession::lastError("it could not be created"));
        ws.ui->setBusy(true);
        keepGeoreferencing(*ds, ws.rasterSource, lastRow + 1, lastCol + 1);
        written = writeLines(*ds->GetRasterBand(1), g, lastRow, lastCol);
        ds->FlushCache(true);
        if (CPLGetLastErrorType() >= CE_Failure) written = false;
    }
    // Closing writes what is left; it reports failure only through the error state.
    if (CPLGetLastErrorType() >= CE_Failure) written = false;
    ws.ui->setBusy(false);
    if (!written) {
        const std::string why = GdalSession::lastError("the file could not be written completely");
        std::error_code ec;
        std::filesystem::remove(path, ec);
        return fail(why);
    }
    return 0;
}

}  // namespace gorvale
