#include "import/terrain_export.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/c_file.h"
#include "base/text_convert.h"
#include "import/gdal_geotiff_writer.h"

namespace gorvale {
namespace {

constexpr const char* kCaption = "Save Terrain database";

// Terragen layout as written.
constexpr char kTerragenStart[] = "TERRAGENTERRAIN SIZE";  // 20 bytes
constexpr char kXptsMarker[] = "XPTS";
constexpr char kYptsMarker[] = "YPTS";
constexpr char kScaleMarker[] = "SCAL";
constexpr char kAltitudeMarker[] = "ALTW";
constexpr char kEndMarker[] = "EOF ";
constexpr float kTerragenScal = 10.0f;  // metres per point, three times
constexpr std::int64_t kMaxTerragenPoints = 65535;  // XPTS/YPTS are 16-bit

// Samples are about v * 1.024 * multiplier; 64 / multiplier is HeightScale.
constexpr float kTerragenSampleGain = 1.024f;
constexpr int kMaxMultiplier = 64;
constexpr std::int64_t kSampleRange = 32000;

// The part of the grid written: rows 0..lastRow, columns 0..lastCol, kept
// inside the storage whatever the limits say.
struct ExportExtent {
    int lastRow = -1;
    int lastCol = -1;
};

ExportExtent exportExtent(const ElevationGrid& g) {
    ExportExtent e;
    e.lastRow = std::min(g.RowLimit, g.AllocatedRows() - 1);
    e.lastCol = std::min(g.ColLimit, g.AllocatedCols() - 1);
    return e;
}

// A byte sink over a C stream that remembers the first failure.
class BinaryWriter {
public:
    explicit BinaryWriter(std::FILE* out) : out_(out) {}
    void bytes(const void* data, std::size_t n) {
        if (ok_ && std::fwrite(data, 1, n, out_) != n) ok_ = false;
    }
    void marker(const char* text) { bytes(text, std::char_traits<char>::length(text)); }
    void u16(std::uint16_t v) {
        const unsigned char b[2] = {static_cast<unsigned char>(v & 0xFF), static_cast<unsigned char>(v >> 8)};
        bytes(b, 2);
    }
    void paddedU16(std::uint16_t v) {
        u16(v);
        u16(0);
    }
    void f32(float f) {
        std::uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        const unsigned char b[4] = {static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
                                    static_cast<unsigned char>(bits >> 16),
                                    static_cast<unsigned char>(bits >> 24)};
        bytes(b, 4);
    }
    bool ok() const { return ok_; }

private:
    std::FILE* out_;
    bool ok_ = true;
};

void minMaxOfStored(const ElevationGrid& g, const ExportExtent& e, std::int32_t& minimum,
                    std::int32_t& maximum) {
    minimum = 100000;
    maximum = -100000;
    for (int i = 0; i <= e.lastRow; ++i) {
        const std::int32_t* row = g.row(i);
        for (int j = e.lastCol; j >= 0; --j) {
            minimum = std::min(minimum, row[j]);
            maximum = std::max(maximum, row[j]);
        }
    }
}

// One Terragen sample: the block of rows i..i+S-1 and columns j-S+1..j.
std::int16_t blockSample(const ElevationGrid& g, const ExportExtent& e, int i, int j, int s, bool squareAvg,
                         float factor) {
    const int rowEnd = std::min(e.lastRow, i + s - 1);
    const int colStart = std::max(0, j - s + 1);
    double sum = 0;
    double count = 0;
    for (int r = i; r <= rowEnd; ++r) {
        const std::int32_t* row = g.row(r);
        for (int c = colStart; c <= j; ++c) {
            const double v = row[c];
            sum += squareAvg ? v * v : v;
            count += 1;
        }
    }
    double mean = sum / count;
    if (squareAvg) mean = std::sqrt(mean);
    // Only the low 16 bits are written; values beyond the range wrap.
    const auto sample = static_cast<std::int64_t>(static_cast<long double>(mean) * factor);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint64_t>(sample) & 0xFFFF));
}

bool writeTerragen(std::FILE* out, const ElevationGrid& g, const ExportExtent& e, int s, bool squareAvg,
                   const TerragenScaling& scaling) {
    const auto nRows = static_cast<std::uint16_t>(e.lastRow / s + 1);
    const auto nCols = static_cast<std::uint16_t>(e.lastCol / s + 1);
    BinaryWriter w(out);
    w.marker(kTerragenStart);
    w.paddedU16(nRows);
    w.marker(kXptsMarker);
    w.paddedU16(nCols);
    w.marker(kYptsMarker);
    w.paddedU16(nRows);
    w.marker(kScaleMarker);
    for (int k = 0; k < 3; ++k) w.f32(kTerragenScal);
    w.marker(kAltitudeMarker);
    w.u16(static_cast<std::uint16_t>(scaling.heightScale));
    w.u16(0);  // BaseHeight

    std::vector<unsigned char> rowBytes;
    for (int i = 0; i <= e.lastRow && w.ok(); i += s) {
        rowBytes.clear();
        for (int j = e.lastCol; j >= 0; j -= s) {
            const auto v = static_cast<std::uint16_t>(blockSample(g, e, i, j, s, squareAvg, scaling.factor));
            rowBytes.push_back(static_cast<unsigned char>(v & 0xFF));
            rowBytes.push_back(static_cast<unsigned char>(v >> 8));
        }
        w.bytes(rowBytes.data(), rowBytes.size());
    }
    w.marker(kEndMarker);
    return w.ok();
}

bool writeVistaPro(std::FILE* out, const ElevationGrid& g, const ExportExtent& e, int s) {
    std::string line;
    for (int i = e.lastRow; i >= 0; i -= s) {
        line.clear();
        const std::int32_t* row = g.row(i);
        for (int j = e.lastCol; j >= 0; j -= s) {
            line += format("%d ", row[j]);
        }
        line += "\r\n";
        if (std::fwrite(line.data(), 1, line.size(), out) != line.size()) return false;
    }
    return true;
}

}  // namespace

TerragenScaling ChooseTerragenScaling(std::int32_t minimum, std::int32_t maximum) {
    const std::int64_t m = std::max(std::llabs(maximum), std::llabs(minimum));
    // All zeros: any multiplier keeps the samples at 0; take the finest.
    const std::int64_t limit = m == 0 ? kMaxMultiplier : kSampleRange / m;
    TerragenScaling s;
    s.multiplier = 1;
    while (s.multiplier * 2 <= std::min<std::int64_t>(limit, kMaxMultiplier)) s.multiplier *= 2;
    s.factor = static_cast<float>(s.multiplier * static_cast<long double>(kTerragenSampleGain));
    s.heightScale = static_cast<std::int16_t>(kMaxMultiplier / s.multiplier);
    return s;
}

int ExportTerrain(GridContext& ws, ExportFormat exportFormat, const std::string& path, int blockSize,
                  bool squareAvg) {
    const ElevationGrid& g = ws.grid;
    const ExportExtent extent = exportExtent(g);
    if (!g.hasStorage() || extent.lastRow < 0 || extent.lastCol < 0) {
        ws.ui->message("There is no elevation model to save.", kCaption, MessageKind::Error, Buttons::Ok);
        return -1;
    }
    if (exportFormat == ExportFormat::GeoTiff) return WriteGeoTiff(ws, path);
    if (blockSize < kMinExportBlockSize || blockSize > kMaxExportBlockSize) {
        ws.ui->message(format("Hor/Vert Scale must be between %d and %d (it is %d).", kMinExportBlockSize,
                              kMaxExportBlockSize, blockSize),
                       kCaption, MessageKind::Error, Buttons::Ok);
        return -1;
    }
    TerragenScaling scaling;
    if (exportFormat == ExportFormat::Terragen) {
        const std::int64_t nRows = extent.lastRow / blockSize + 1;
        const std::int64_t nCols = extent.lastCol / blockSize + 1;
        if (nRows > kMaxTerragenPoints || nCols > kMaxTerragenPoints) {
            ws.ui->message(format("A Terragen file holds at most %lld points per side; this grid gives "
                                  "%lld x %lld. Choose a larger Hor/Vert Scale.",
                                  static_cast<long long>(kMaxTerragenPoints), static_cast<long long>(nCols),
                                  static_cast<long long>(nRows)),
                           kCaption, MessageKind::Error, Buttons::Ok);
            return -1;
        }
        std::int32_t minimum;
        std::int32_t maximum;
        minMaxOfStored(g, extent, minimum, maximum);
        scaling = ChooseTerragenScaling(minimum, maximum);
    }

    FilePtr out = openFile(path, "wb");
    if (!out) {
        ws.ui->fileError(path);
        return -1;
    }
    ws.ui->setBusy(true);
    bool written = exportFormat == ExportFormat::Terragen
                       ? writeTerragen(out.get(), g, extent, blockSize, squareAvg, scaling)
                       : writeVistaPro(out.get(), g, extent, blockSize);
    if (std::fclose(out.release()) != 0) written = false;
    ws.ui->setBusy(false);
    if (!written) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        ws.ui->fileError(path + " (the file could not be written completely)");
        return -1;
    }
    return 0;
}

}  // namespace gorvale
