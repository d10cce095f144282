#include "base/elevation_grid.h"

#include <sys/mman.h>

#include <cstdlib>
#include <new>

namespace gorvale {
namespace {

// Below this a block comes from the heap (calloc).
constexpr std::size_t kMappedBytes = std::size_t{4} << 20;

}  // namespace

void* AllocateZeroed(std::size_t bytes) {
    if (bytes < kMappedBytes) return std::calloc(bytes ? bytes : 1, 1);
    void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
    ::madvise(block, bytes, MADV_HUGEPAGE);
#endif
    return block;
}

void ReleaseZeroed(void* block, std::size_t bytes) noexcept {
    if (!block) return;
    if (bytes < kMappedBytes)
        std::free(block);
    else
        ::munmap(block, bytes);
}

bool ElevationGrid::allocate(std::int64_t rows, std::int64_t cols) {
    // A refused size keeps the previous grid; only a real allocation replaces it.
    if (rows <= 0 || cols <= 0 || rows > kMaxCells / cols) return false;
    release();
    try {
        cells_.resize(static_cast<std::size_t>(rows * cols));  // zero: see ZeroedAllocator
    } catch (const std::bad_alloc&) {
        release();
        return false;
    }
    rows_ = static_cast<int>(rows);
    cols_ = static_cast<int>(cols);
    return true;
}

void ElevationGrid::release() {
    decltype(cells_)().swap(cells_);
    rows_ = 0;
    cols_ = 0;
}

}  // namespace gorvale
