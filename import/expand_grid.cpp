#include "import/expand_grid.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "import/grid_operations.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

constexpr std::int64_t kValueScale = 10;

std::int32_t saturate(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// An old value; points the old storage does not hold read as 0, like the
// zero-filled cells a reader never wrote.
std::int64_t oldValue(const ElevationGrid& old, int row, int col) {
    return old.contains(row, col) ? old.cell(row, col) : 0;
}

void fillEvenPoints(const ElevationGrid& old, ElevationGrid& grown) {
    for (int r = 0; r <= grown.LastRow; r += 2)
        for (int c = 0; c <= grown.LastCol; c += 2)
            grown.cell(r, c) = saturate(oldValue(old, r / 2, c / 2) * kValueScale);
}

// Means truncate toward zero, as integer division does.
void interpolateOddPoints(ElevationGrid& g) {
    for (int r = 0; r <= g.LastRow; ++r) {
        const bool oddRow = r % 2 != 0;
        for (int c = oddRow ? 0 : 1; c <= g.LastCol; c += oddRow ? 1 : 2) {
            const bool oddCol = c % 2 != 0;
            std::int64_t mean;
            if (oddRow && oddCol) {
                mean = (std::int64_t{g.cell(r - 1, c - 1)} + g.cell(r - 1, c + 1) + g.cell(r + 1, c - 1) +
                        g.cell(r + 1, c + 1)) / 4;
            } else if (oddRow) {
                mean = (std::int64_t{g.cell(r - 1, c)} + g.cell(r + 1, c)) / 2;
            } else {
                mean = (std::int64_t{g.cell(r, c - 1)} + g.cell(r, c + 1)) / 2;
            }
            g.cell(r, c) = static_cast<std::int32_t>(mean);
        }
    }
}

}  // namespace

int ExpandGrid(GridContext& ws) {
    ElevationGrid& old = ws.grid;
    if (!old.hasStorage()) return -1;
    BusyCursor busy(*ws.ui);
    ws.ui->setCommandEnabled(Command::ExpandDEM, false);

    const std::int64_t lastRow = std::int64_t{std::max(old.LastRow, 0)} * 2;
    const std::int64_t lastCol = std::int64_t{std::max(old.LastCol, 0)} * 2;
    ElevationGrid grown;
    if (!grown.allocate(lastRow + 1, lastCol + 1)) {
        ws.ui->message(format("Not enough memory to expand the elevation model to %lld x %lld points",
                              static_cast<long long>(lastRow + 1), static_cast<long long>(lastCol + 1)),
                       "ExpandDEM", MessageKind::Error, Buttons::Ok);
        return -1;
    }
    grown.LastRow = static_cast<std::int32_t>(lastRow);
    grown.LastCol = static_cast<std::int32_t>(lastCol);
    fillEvenPoints(old, grown);
    interpolateOddPoints(grown);

    std::int32_t minimum = grown.cell(0, 0);
    std::int32_t maximum = minimum;
    for (int r = 0; r <= grown.LastRow; ++r) {
        const auto [lo, hi] = std::minmax_element(grown.row(r), grown.row(r) + grown.LastCol + 1);
        minimum = std::min(minimum, *lo);
        maximum = std::max(maximum, *hi);
    }

    grown.setFlattening(old.flattening());
    ws.grid = std::move(grown);  // releases the old storage
    FinishGridLoad(ws, minimum, maximum);
    return 0;
}

}  // namespace gorvale
