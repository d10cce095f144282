#include "import/terrain_file_support.h"

#include <cstring>
#include <limits>
#include <sys/types.h>

#include "import/grid_operations.h"
#include "base/text_convert.h"

namespace gorvale {

bool seekTo(std::FILE* in, std::int64_t offset) {
    return offset >= 0 && fseeko(in, static_cast<off_t>(offset), SEEK_SET) == 0;
}

std::int64_t tellPosition(std::FILE* in) { return static_cast<std::int64_t>(ftello(in)); }

std::int64_t streamSize(std::FILE* in) {
    const std::int64_t here = tellPosition(in);
    if (here < 0 || fseeko(in, 0, SEEK_END) != 0) return -1;
    const std::int64_t size = tellPosition(in);
    if (!seekTo(in, here)) return -1;
    return size;
}

void showTerrainReaderError(GridContext& ws, const std::string& text) {
    ws.ui->message(text, "Error", MessageKind::Error, Buttons::Ok);
}

void showInvalidGridSize(GridContext& ws, const char* formatName, std::int64_t rows, std::int64_t cols) {
    showTerrainReaderError(ws, format("%s file %s: invalid grid size of %lld rows by %lld columns!", formatName,
                               ws.settings.DEMFile.c_str(), static_cast<long long>(rows),
                               static_cast<long long>(cols)));
}

bool checkSamplesHeld(GridContext& ws, const char* formatName, std::int64_t rows, std::int64_t cols,
                      std::int64_t samplesHeld) {
    // rows and cols are positive 32-bit counts here, so the product fits.
    const std::int64_t announced = rows * cols;
    if (announced <= kAlwaysTrustedSamples || announced / kTruncationTolerance <= samplesHeld) return true;
    showTerrainReaderError(ws, format("%s file %s: the header announces %lld rows by %lld columns but the file "
                               "holds only %lld samples; it is damaged!",
                               formatName, ws.settings.DEMFile.c_str(), static_cast<long long>(rows),
                               static_cast<long long>(cols), static_cast<long long>(samplesHeld)));
    return false;
}

bool allocateReaderGrid(GridContext& ws, const char* formatName, std::int64_t rows, std::int64_t cols) {
    const std::string& path = ws.settings.DEMFile;
    if (rows <= 0 || cols <= 0) {
        showInvalidGridSize(ws, formatName, rows, cols);
        return false;
    }
    if (rows > ElevationGrid::kMaxCells / cols) {
        showTerrainReaderError(ws, format("%s file %s: a grid of %lld rows by %lld columns is too large "
                                   "(at most %lld points)!",
                                   formatName, path.c_str(), static_cast<long long>(rows),
                                   static_cast<long long>(cols),
                                   static_cast<long long>(ElevationGrid::kMaxCells)));
        return false;
    }
    if (!ws.grid.allocate(rows, cols)) {
        // The old grid is gone: make sure nothing reads it through stale extents.
        ws.grid.LastRow = ws.grid.LastCol = ws.grid.RowLimit = ws.grid.ColLimit = 0;
        showTerrainReaderError(ws, format("%s file %s: not enough memory for a grid of %lld rows by %lld "
                                   "columns!",
                                   formatName, path.c_str(), static_cast<long long>(rows),
                                   static_cast<long long>(cols)));
        return false;
    }
    return true;
}

void FinishWholeTerrainGrid(GridContext& ws, const MinMaxTracker& values) {
    const ElevationGrid& g = ws.grid;
    FinishGridLoad(ws, values.minimum(), values.maximum(), ReaderTail{g.LastRow, g.LastCol, g.LastRow, g.LastCol});
}

}  // namespace gorvale
