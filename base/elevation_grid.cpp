#include "base/elevation_grid.h"

#include <new>

namespace gorvale {

bool ElevationGrid::allocate(std::int64_t rows, std::int64_t cols) {
    // A refused size keeps the previous grid; only a real allocation replaces it.
    if (rows <= 0 || cols <= 0 || rows > kMaxCells / cols) return false;
    release();
    try {
        cells_.assign(static_cast<std::size_t>(rows * cols), 0);
    } catch (const std::bad_alloc&) {
        release();
        return false;
    }
    rows_ = static_cast<int>(rows);
    cols_ = static_cast<int>(cols);
    return true;
}

void ElevationGrid::release() {
    std::vector<std::int32_t>().swap(cells_);
    rows_ = 0;
    cols_ = 0;
}

}  // namespace gorvale
