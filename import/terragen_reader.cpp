#include "import/terragen_reader.h"

#include "import/grid_operations.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "import/terrain_file_support.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

constexpr const char* kFormatName = "Terragen";

constexpr std::int64_t kAfterSignature = 8;  // "TERRAGEN"
constexpr char kTerrainMarker[] = "TERRAIN ";
constexpr std::size_t kTerrainMarkerBytes = 8;
constexpr std::size_t kChunkMarkerBytes = 4;
constexpr char kSizeMarker[] = "SIZE";
constexpr char kXptsMarker[] = "XPTS";
constexpr char kYptsMarker[] = "YPTS";
constexpr char kAltitudeMarker[] = "ALTW";
constexpr std::int64_t kSampleBytes = 2;

struct ChunkMarker {
    char bytes[kChunkMarkerBytes] = {};
    bool is(const char* name) const { return std::memcmp(bytes, name, kChunkMarkerBytes) == 0; }
};

bool readMarker(std::FILE* in, ChunkMarker& m) {
    return std::fread(m.bytes, 1, kChunkMarkerBytes, in) == kChunkMarkerBytes;
}

// A 16-bit unsigned value followed by 2 bytes of padding.
bool readPaddedCount(std::FILE* in, std::int64_t& value) {
    unsigned char raw[4];
    if (std::fread(raw, 1, sizeof raw, in) != sizeof raw) return false;
    value = readLe16u(raw);
    return true;
}

struct TerragenHeader {
    std::int64_t xPts = 0;
    std::int64_t yPts = 0;
};

// Walks from byte 8 up to and including the "ALTW" marker; false when the
// file does not have the chunks it needs.
bool walkHeader(std::FILE* in, TerragenHeader& h) {
    char terrain[kTerrainMarkerBytes];
    if (!seekTo(in, kAfterSignature) || std::fread(terrain, 1, sizeof terrain, in) != sizeof terrain ||
        std::memcmp(terrain, kTerrainMarker, kTerrainMarkerBytes) != 0)
        return false;
    ChunkMarker marker;
    if (!readMarker(in, marker) || !marker.is(kSizeMarker)) return false;
    std::int64_t size = 0;
    if (!readPaddedCount(in, size)) return false;
    h.xPts = h.yPts = size + 1;

    if (!readMarker(in, marker)) return false;
    // XPTS and YPTS, in either order, each at most once.
    for (int optional = 0; optional < 2; ++optional) {
        std::int64_t* target = marker.is(kXptsMarker) ? &h.xPts : marker.is(kYptsMarker) ? &h.yPts : nullptr;
        if (!target) break;
        const bool wasX = marker.is(kXptsMarker);
        if (!readPaddedCount(in, *target) || !readMarker(in, marker)) return false;
        if (marker.is(wasX ? kXptsMarker : kYptsMarker)) break;  // only the other one may follow
    }
    // Any other chunks are skipped 4 bytes at a time.
    while (!marker.is(kAltitudeMarker)) {
        if (!readMarker(in, marker)) return false;
    }
    return true;
}

class ProgressMeter {
public:
    ProgressMeter(UserInterface& ui, std::int64_t fileSize)
        : ui_(ui), unit_(std::max<std::int64_t>(1, fileSize / UserInterface::kProgressMax)) {}
    void show(std::int64_t position) {
        ui_.setProgress(static_cast<int>(
            std::clamp<std::int64_t>(position / unit_, 0, UserInterface::kProgressMax)));
    }

private:
    UserInterface& ui_;
    std::int64_t unit_;
};

}  // namespace

int ReadTerragen(GridContext& ws, std::FILE* in) {
    const std::int64_t fileSize = streamSize(in);
    TerragenHeader header;
    if (fileSize < 0 || !walkHeader(in, header)) return -1;

    ws.ui->setBusy(true);
    ProgressMeter progress(*ws.ui, fileSize);
    progress.show(tellPosition(in));

    unsigned char altitude[4] = {};
    const std::size_t altitudeBytes = std::fread(altitude, 1, sizeof altitude, in);
    std::fill(altitude + altitudeBytes, altitude + sizeof altitude, 0);  // past the end: no data
    const std::int16_t heightScale = readLe16s(altitude);
    const std::int16_t baseHeight = readLe16s(altitude + 2);
    float readingOffset = 0;
    scanFloat(ws.settings.TerragenReadingOffset, readingOffset);
    const auto scale = static_cast<float>(static_cast<long double>(heightScale) *
                                          static_cast<long double>(kTerragenScalePerHeightScale));
    const auto offset =
        static_cast<float>(static_cast<long double>(baseHeight) - static_cast<long double>(readingOffset));

    const bool skip = ws.settings.SkipElevation;
    const std::int64_t step = skip ? 2 : 1;
    if (header.xPts <= 0 || header.yPts <= 0) {
        showInvalidGridSize(ws, kFormatName, header.yPts, header.xPts);
        ws.ui->setBusy(false);
        return -1;
    }
    const std::int64_t samplesHeld = std::max<std::int64_t>(0, fileSize - tellPosition(in)) / kSampleBytes;
    if (!checkSamplesHeld(ws, kFormatName, header.yPts, header.xPts, samplesHeld)) {
        ws.ui->setBusy(false);
        return -1;
    }
    const std::int64_t lastRow = (header.yPts - 1) / step;
    const std::int64_t lastCol = (header.xPts - 1) / step;
    if (!allocateReaderGrid(ws, kFormatName, lastRow + 1, lastCol + 1)) {
        ws.ui->setBusy(false);
        return -1;
    }
    ElevationGrid& g = ws.grid;
    g.LastRow = static_cast<std::int32_t>(lastRow);
    g.LastCol = static_cast<std::int32_t>(lastCol);

    const std::int64_t rowBytes = header.xPts * kSampleBytes;
    std::vector<unsigned char> fileRow(static_cast<std::size_t>(rowBytes));
    MinMaxTracker mm;
    for (std::int64_t j = 0; j <= lastRow; ++j) {
        const std::int64_t rowStart = tellPosition(in);
        progress.show(rowStart);
        const auto got = static_cast<std::int64_t>(std::fread(fileRow.data(), 1, fileRow.size(), in));
        std::int32_t* cells = g.row(static_cast<int>(j));
        for (std::int64_t n = 0; n <= lastCol; ++n) {
            const std::int64_t at = n * step * kSampleBytes;
            if (at + kSampleBytes > got) break;  // the file ends here
            const std::int16_t h = readLe16s(fileRow.data() + at);
            std::int32_t v;
            if (!truncateToGridValue(static_cast<long double>(h) * scale + offset, v)) continue;
            mm.add(v);
            cells[lastCol - n] = saturatingDifference(v, baseHeight);
        }
        if (got < rowBytes) break;
        if (skip && j < lastRow && !seekTo(in, rowStart + 2 * rowBytes)) break;
    }
    // The padding after an odd row length and "EOF " carry nothing we use.

    // The rectangle starts from the file's point counts, not the grid's extents.
    FinishGridLoad(ws, mm.minimum(), mm.maximum(),
                   ReaderTail{static_cast<std::int32_t>(header.yPts / step),
                              static_cast<std::int32_t>(header.xPts / step), g.LastRow + 1, g.LastCol + 1});
    ws.ui->setProgress(0);
    ws.ui->setBusy(false);
    return 0;
}

}  // namespace gorvale
