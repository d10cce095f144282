#include "import/gdal_raster_reader.h"

#include "import/read_log.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "base/c_file.h"
#include "base/text_convert.h"
#include "import/gdal_helper.h"
#include "import/grid_operations.h"
#include "import/raster_reader_support.h"
#include "import/terrain_file_support.h"

namespace gorvale {
namespace {

// While reading, no-data cells hold this mark (valid values never do: they
// saturate one above it) until the lowest valid elevation is known.
constexpr std::int32_t kNoDataMark = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kLowestValue = kNoDataMark + 1;

// Bytes of file lines fetched per RasterIO call (more only when one block
// of lines is larger). Each call costs GDAL a few microseconds, so a
// quarter of a MiB already makes that negligible.
constexpr std::int64_t kStripBytes = std::int64_t{256} << 10;


// The no-data value and the vertical pre-scale factor in each fetch type.
struct ValueRule {
    std::int64_t factor = 1;
    float factor32 = 1;
    long double factor64 = 1;
    bool integerNoData = false;
    std::int32_t noDataInteger = 0;
    bool realNoData = false;
    float noData32 = 0;
    double noData64 = 0;
};

ValueRule makeValueRule(int factor, bool hasNoData, double noData) {
    ValueRule r;
    r.factor = factor;
    r.factor32 = static_cast<float>(factor);
    r.factor64 = factor;
    if (hasNoData && !std::isnan(noData)) {
        r.realNoData = true;
        r.noData32 = static_cast<float>(noData);
        r.noData64 = noData;
        // An integer band can only hold an integral no-data value.
        if (noData == std::trunc(noData) && noData >= std::numeric_limits<std::int32_t>::min() &&
            noData <= std::numeric_limits<std::int32_t>::max()) {
            r.integerNoData = true;
            r.noDataInteger = static_cast<std::int32_t>(noData);
        }
    }
    return r;
}

inline std::int32_t keepOffMark(std::int32_t v) { return v == kNoDataMark ? kLowestValue : v; }

// One fetched value into a grid value; false for a no-data or NaN cell.
inline bool convert(std::int32_t v, const ValueRule& r, std::int32_t& out) {
    if (r.integerNoData && v == r.noDataInteger) return false;
    const std::int64_t scaled = std::int64_t{v} * r.factor;
    out = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(scaled, kLowestValue, std::numeric_limits<std::int32_t>::max()));
    return true;
}

inline bool convert(std::int16_t v, const ValueRule& r, std::int32_t& out) {
    return convert(std::int32_t{v}, r, out);
}

inline bool convert(float v, const ValueRule& r, std::int32_t& out) {
    if (std::isnan(v) || (r.realNoData && v == r.noData32)) return false;
    const float scaled = v * r.factor32;
    truncateToGridValue(scaled, out);
    out = keepOffMark(out);
    return true;
}

inline bool convert(double v, const ValueRule& r, std::int32_t& out) {
    if (std::isnan(v) || (r.realNoData && v == r.noData64)) return false;
    const long double scaled = static_cast<long double>(v) * r.factor64;
    truncateToGridValue(scaled, out);
    out = keepOffMark(out);
    return true;
}

// Where file lines and pixels land in the grid.
struct Placement {
    int fileWidth = 0;
    int fileHeight = 0;
    int step = 1;  // 2 with SkipElevation
    int rows = 0;  // LastRow + 1
    int cols = 0;  // LastCol + 1
    bool northFirst = true;  // the file's first line is its northern edge
    bool westFirst = true;   // each line's first pixel is its western edge
    // Lines past the last one taken (odd trailing line with SkipElevation) are not read.
    int linesNeeded() const { return (rows - 1) * step + 1; }
};

struct ReadTally {
    MinMaxTracker valid;
    std::int64_t noData = 0;
};

// Copies the fetched lines [firstLine, firstLine + lines) into their grid rows.
template <typename Sample>
void placeLines(ElevationGrid& g, const Placement& p, const Sample* lines, int firstLine, int count,
                const ValueRule& rule, ReadTally& tally) {
    std::int32_t lo = std::numeric_limits<std::int32_t>::max();
    std::int32_t hi = std::numeric_limits<std::int32_t>::min();
    std::int64_t noData = 0;
    for (int y = 0; y < count; ++y) {
        const int fileLine = firstLine + y;
        if (fileLine % p.step != 0) continue;
        const int k = fileLine / p.step;
        std::int32_t* row = g.row(p.northFirst ? p.rows - 1 - k : k);
        const Sample* src = lines + static_cast<std::size_t>(y) * static_cast<std::size_t>(p.fileWidth);
        for (int j = 0; j < p.cols; ++j) {
            std::int32_t v = 0;
            if (convert(src[static_cast<std::size_t>(j) * static_cast<std::size_t>(p.step)], rule, v)) {
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            } else {
                v = kNoDataMark;
                ++noData;
            }
            row[p.westFirst ? p.cols - 1 - j : j] = v;
        }
    }
    if (lo <= hi) {
        tally.valid.add(lo);
        tally.valid.add(hi);
    }
    tally.noData += noData;
}

// Reads band 1 strip by strip into the grid. False with GDAL's reason when
// a read fails.
template <typename Sample>
bool readBand(ElevationGrid& g, GdalRaster& raster, GdalFetch fetch, const Placement& p, const ValueRule& rule,
              ReadTally& tally) {
    const int strip = static_cast<int>(
        std::clamp<std::int64_t>(kStripBytes / (std::int64_t{p.fileWidth} * std::int64_t{sizeof(Sample)}), 1,
                                 p.linesNeeded()));
    std::vector<Sample> buffer(static_cast<std::size_t>(strip) * static_cast<std::size_t>(p.fileWidth));
    for (int y0 = 0; y0 < p.linesNeeded(); y0 += strip) {
        const int count = std::min(strip, p.linesNeeded() - y0);
        if (!raster.readLines(y0, count, fetch, buffer.data())) return false;
        placeLines(g, p, buffer.data(), y0, count, rule, tally);
    }
    return true;
}

// No-data cells become flat ground at the lowest valid elevation.
void fillNoData(ElevationGrid& g, const Placement& p, std::int32_t fill) {
    for (int r = 0; r < p.rows; ++r) {
        std::int32_t* row = g.row(r);
        std::replace(row, row + p.cols, kNoDataMark, fill);
    }
}


// Driver, pixel size, units and reference system for the read-outs, and the
// georeferencing of the grid for a later export.
RasterSource describe(const GdalRasterFacts& f, const Placement& p) {
    RasterSource s;
    s.present = true;
    s.driver = f.driver;
    s.driverLongName = f.driverLongName;
    s.fileWidth = p.fileWidth;
    s.fileHeight = p.fileHeight;
    if (f.hasGeoTransform) {
        const auto& gt = f.geoTransform;
        s.hasPixelSize = true;
        s.pixelSizeX = std::hypot(gt[1], gt[4]) * p.step;
        s.pixelSizeY = std::hypot(gt[2], gt[5]) * p.step;
        if (gt[1] > 0 && gt[5] < 0 && gt[2] == 0 && gt[4] == 0) {
            s.hasGeoTransform = true;
            s.geoTransform = {gt[0], gt[1] * p.step, 0, gt[3], 0, gt[5] * p.step};
            s.gridRows = p.rows;
            s.gridCols = p.cols;
        }
    }
    s.units = f.units;
    s.crs = f.crs;
    s.crsWkt = f.crsWkt;
    return s;
}

// The file's georeferencing says which edge its first line and pixel are.
void orient(const GdalRasterFacts& f, Placement& p) {
    const auto& gt = f.geoTransform;
    if (!f.hasGeoTransform || gt[2] != 0 || gt[4] != 0) return;
    p.northFirst = !(gt[5] > 0);
    p.westFirst = !(gt[1] < 0);
}

int refuse(GridContext& ws, ReadLog& log, const std::string& text) {
    showTerrainReaderError(ws, text);
    log.write("failed\n");
    return -1;
}

}  // namespace

int ReadGdalRaster(GridContext& ws, const std::string& path) {
    ReadLog log(ws);
    BusyCursor busy(*ws.ui);

    std::string error;
    const std::unique_ptr<HelperRaster> raster = HelperRaster::Open(path, error);
    if (!raster)
        return refuse(ws, log, format("%s could not be opened as a raster: %s", path.c_str(), error.c_str()));
    const GdalRasterFacts& facts = raster->facts();
    if (facts.bands < 1)
        return refuse(ws, log, format("%s holds no raster band to read elevations from!", path.c_str()));

    Placement p;
    p.fileWidth = facts.width;
    p.fileHeight = facts.height;
    p.step = ws.settings.SkipElevation ? 2 : 1;
    p.rows = (p.fileHeight + p.step - 1) / p.step;
    p.cols = (p.fileWidth + p.step - 1) / p.step;
    orient(facts, p);

    const std::string formatName = facts.driverLongName.empty() ? kGdalRasterFormatName : facts.driverLongName;
    log.write(format("Reading %s (%s, %d x %d)\n", path.c_str(), formatName.c_str(), p.fileWidth, p.fileHeight));
    if (p.rows <= 0 || p.cols <= 0)
        return refuse(ws, log, format("%s file %s: invalid grid size of %d rows by %d columns!", formatName.c_str(),
                                      path.c_str(), p.fileHeight, p.fileWidth));
    // The cell limit is checked before anything is allocated.
    if (std::int64_t{p.rows} > ElevationGrid::kMaxCells / std::max(p.cols, 1))
        return refuse(ws, log, format("%s file %s: a grid of %d rows by %d columns is too large (at most %lld points)!",
                                      formatName.c_str(), path.c_str(), p.rows, p.cols,
                                      static_cast<long long>(ElevationGrid::kMaxCells)));
    // GDAL's process has ended before the grid takes its memory.
    const bool spooled = raster->Spool(p.linesNeeded(), [&ws](int done, int total) {
        ws.ui->setProgress(static_cast<int>(std::int64_t{done} * UserInterface::kProgressMax / std::max(total, 1)));
        ws.ui->processEvents();
    });
    if (!spooled) {
        ws.ui->setProgress(0);
        return refuse(ws, log, format("%s could not be read: %s", path.c_str(), raster->lastError().c_str()));
    }
    // The file is read into a grid of its own, so a file that turns out
    // damaged half way leaves the grid the user had.
    ElevationGrid g;
    if (!g.allocate(p.rows, p.cols))
        return refuse(ws, log, format("%s file %s: not enough memory for a grid of %d rows by %d columns!",
                                      formatName.c_str(), path.c_str(), p.rows, p.cols));
    g.LastRow = p.rows - 1;
    g.LastCol = p.cols - 1;

    const ValueRule rule = makeValueRule(verticalPreScaleFactor(ws.settings), facts.hasNoData, facts.noData);
    ReadTally tally;
    bool read = false;
    switch (facts.fetch) {
        case GdalFetch::Int16:
            read = readBand<std::int16_t>(g, *raster, facts.fetch, p, rule, tally);
            break;
        case GdalFetch::Int32:
            read = readBand<std::int32_t>(g, *raster, facts.fetch, p, rule, tally);
            break;
        case GdalFetch::Float32:
            read = readBand<float>(g, *raster, facts.fetch, p, rule, tally);
            break;
        case GdalFetch::Float64:
            read = readBand<double>(g, *raster, facts.fetch, p, rule, tally);
            break;
    }
    ws.ui->setProgress(0);
    if (!read)
        return refuse(ws, log, format("%s could not be read: %s", path.c_str(), raster->lastError().c_str()));

    const std::int32_t fill = tally.valid.empty() ? 0 : tally.valid.minimum();
    if (tally.noData > 0) fillNoData(g, p, fill);
    MinMaxTracker range = tally.valid;
    if (tally.noData > 0) range.add(fill);
    g.setFlattening(ws.grid.flattening());
    ws.grid = std::move(g);

    ws.rasterSource = describe(facts, p);
    ws.rasterSource.noDataCount = tally.noData;
    ws.rasterSource.noDataFill = fill;
    if (tally.noData > 0)
        log.write(format("%lld no-data cells set to %d\n", static_cast<long long>(tally.noData), fill));
    log.write("Demfile read OK\n");

    FinishGridLoad(ws, range.minimum(), range.maximum());
    return 0;
}

}  // namespace gorvale
