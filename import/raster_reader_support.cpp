#include "import/raster_reader_support.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace gorvale {

void showReaderError(GridContext& ws, const std::string& text) {
    ws.ui->message(text, "Error", MessageKind::Error, Buttons::YesNoCancel);
}

bool allocateGridOrReport(GridContext& ws, std::int64_t rows, std::int64_t cols,
                          const std::string& failureText) {
    const bool sizeAllowed =
        rows > 0 && cols > 0 && rows <= ElevationGrid::kMaxCells / cols;
    if (!sizeAllowed) {
        showReaderError(ws, failureText);
        return false;
    }
    if (!ws.grid.allocate(rows, cols)) {
        // The old storage is gone: no extent may point into it any more.
        ElevationGrid& g = ws.grid;
        g.LastRow = g.LastCol = g.RowLimit = g.ColLimit = 0;
        showReaderError(ws, failureText);
        return false;
    }
    return true;
}

int verticalPreScaleFactor(const ConversionSettings& settings) {
    static constexpr std::array<int, 4> kFactors{1, 10, 100, 1000};
    const int index = std::clamp(settings.VerticalPreScale, 0, static_cast<int>(kFactors.size()) - 1);
    return kFactors[static_cast<std::size_t>(index)];
}

std::int32_t truncateElevation(float value) {
    if (std::isnan(value)) return 0;
    // 2^31 is exact in float; everything below it converts without overflow.
    constexpr float kLimit = 2147483648.0f;
    if (value >= kLimit) return std::numeric_limits<std::int32_t>::max();
    if (value <= -kLimit) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

}  // namespace gorvale
