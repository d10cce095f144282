#include "import/etopo5_reader.h"

#include <cstdint>
#include <optional>
#include <vector>

#include <sys/types.h>

#include "import/grid_operations.h"
#include "import/raster_reader_support.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

constexpr std::int64_t kBytesPerSample = 2;
// Samples beyond this magnitude are stored one higher.
constexpr int kAdjustBeyond = 8000;

std::optional<std::int64_t> streamSize(std::FILE* in) {
    if (fseeko(in, 0, SEEK_END) != 0) return std::nullopt;
    const off_t size = ftello(in);
    if (size < 0 || fseeko(in, 0, SEEK_SET) != 0) return std::nullopt;
    return static_cast<std::int64_t>(size);
}

bool widthFits(std::int64_t samples, int width) { return width >= 2 && samples % width == 0; }

// The "ETOPO Size" dialog, repeated until the answer fits the sample count.
// An answer that does not parse leaves the last width; 0 counts as 1. False
// when the dialog gets no answer at all.
bool askGridWidth(GridContext& ws, std::int64_t samples) {
    do {
        const std::optional<std::string> answer =
            ws.ui->ask({kEtopoSizeCaption, kEtopoSizePrompt, "0", Question::EtopoSize});
        if (!answer) return false;
        scanInt(*answer, ws.AskedGridWidth);
        if (ws.AskedGridWidth == 0) ws.AskedGridWidth = 1;
    } while (!widthFits(samples, ws.AskedGridWidth));
    return true;
}

std::int32_t sampleValue(const unsigned char* bytes) {
    std::int32_t v = static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8)));
    if (v > kAdjustBeyond || v < -kAdjustBeyond) v = v + 1;
    return v;
}

// Fills the grid row by row; a file that ends early leaves the rest 0.
MinMaxTracker readSamples(ElevationGrid& g, std::FILE* in) {
    MinMaxTracker range;
    const int width = g.LastCol + 1;
    std::vector<unsigned char> line(static_cast<std::size_t>(width) * kBytesPerSample);
    for (int i = 0; i <= g.LastRow; ++i) {
        const std::size_t got = std::fread(line.data(), 1, line.size(), in);
        const int complete = static_cast<int>(got / kBytesPerSample);
        std::int32_t* row = g.row(g.LastRow - i);
        for (int j = 0; j < complete; ++j) {
            const std::int32_t v = sampleValue(&line[static_cast<std::size_t>(j) * kBytesPerSample]);
            row[g.LastCol - j] = v;
            range.add(v);
        }
        if (complete < width) break;
    }
    return range;
}

}  // namespace

int ReadEtopo5(GridContext& ws, std::FILE* in) {
    const std::optional<std::int64_t> size = streamSize(in);
    const std::int64_t samples = size ? *size / kBytesPerSample : 0;
    // Fewer than two samples fit no width the dialog accepts.
    if (samples < 2 || samples > ElevationGrid::kMaxCells) {
        showReaderError(ws, kEtopoReadFailed);
        return -1;
    }
    if (!askGridWidth(ws, samples)) {
        ws.ui->fileError(format("%s (no horizontal size of the grid was given)",
                                ws.settings.DEMFile.c_str()));
        return -1;
    }
    const std::int64_t height = samples / ws.AskedGridWidth;
    if (!allocateGridOrReport(ws, height, ws.AskedGridWidth, kEtopoReadFailed)) return -1;
    ElevationGrid& g = ws.grid;
    g.LastRow = static_cast<std::int32_t>(height - 1);
    g.LastCol = ws.AskedGridWidth - 1;
    const MinMaxTracker range = readSamples(g, in);
    FinishGridLoad(ws, range.minimum(), range.maximum());
    return 0;
}

}  // namespace gorvale
