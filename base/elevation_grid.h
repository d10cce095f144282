#pragma once
// The one in-memory elevation raster. Row 0 is the southern edge and rows
// grow northward; column 0 is the eastern edge and columns grow westward.
// Storage is a single zero-filled block of rows, each of the same width.

#include <cstdint>
#include <cstddef>
#include <new>
#include <utility>
#include <vector>

namespace gorvale {

// Zeroed storage for large value blocks: blocks from the system come as
// zero pages, so a zero-filled grid costs no pass over its memory, and its
// pages are first touched by the reader that fills them (in huge pages
// where the system offers them: a few faults instead of one per 4 KiB).
void* AllocateZeroed(std::size_t bytes);
void ReleaseZeroed(void* block, std::size_t bytes) noexcept;

template <typename T>
struct ZeroedAllocator {
    using value_type = T;
    ZeroedAllocator() = default;
    template <typename U>
    ZeroedAllocator(const ZeroedAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        if (void* p = AllocateZeroed(n * sizeof(T))) return static_cast<T*>(p);
        throw std::bad_alloc();
    }
    void deallocate(T* p, std::size_t n) noexcept { ReleaseZeroed(p, n * sizeof(T)); }
    // Fresh cells are already zero.
    template <typename U>
    void construct(U*) noexcept {}
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    friend bool operator==(const ZeroedAllocator&, const ZeroedAllocator&) { return true; }
};

// A rule applied to every stored value on read (texture-zone flattening).
class ElevationFilter {
public:
    virtual ~ElevationFilter() = default;
    virtual std::int32_t apply(std::int32_t value) const = 0;
};

class ElevationGrid {
public:
    // A hostile header must not make us allocate more than this many cells.
    static constexpr std::int64_t kMaxCells = std::int64_t{1} << 28;

    // Allocates rows x cols zero-filled values in place of the previous
    // storage. A size that is not positive or exceeds kMaxCells is refused
    // and the previous storage stays; when memory runs out, false is
    // returned and no storage is held.
    bool allocate(std::int64_t rows, std::int64_t cols);
    void release();

    bool hasStorage() const { return !cells_.empty(); }
    int AllocatedRows() const { return rows_; }
    int AllocatedCols() const { return cols_; }
    bool contains(std::int64_t row, std::int64_t col) const {
        return row >= 0 && col >= 0 && row < rows_ && col < cols_;
    }

    // Unchecked access; callers keep row < AllocatedRows(), col < AllocatedCols().
    std::int32_t* row(int r) { return cells_.data() + static_cast<std::size_t>(r) * cols_; }
    const std::int32_t* row(int r) const { return cells_.data() + static_cast<std::size_t>(r) * cols_; }
    std::int32_t& cell(int r, int c) { return row(r)[c]; }
    std::int32_t cell(int r, int c) const { return row(r)[c]; }

    // The stored value after texture-zone flattening (when a rule is set).
    std::int32_t ElevationAt(int r, int c) const {
        std::int32_t v = cell(r, c);
        return flattening_ ? flattening_->apply(v) : v;
    }
    void setFlattening(const ElevationFilter* rule) { flattening_ = rule; }
    const ElevationFilter* flattening() const { return flattening_; }

    std::int32_t LastRow = 0;
    std::int32_t LastCol = 0;
    std::int32_t RowLimit = 0;
    std::int32_t ColLimit = 0;
    std::int32_t ElevationRange = 0;
    std::int32_t SelectionMin = 0;
    std::int32_t SelectionMax = 0;
    std::int32_t SelectionRange = 0;

private:
    std::vector<std::int32_t, ZeroedAllocator<std::int32_t>> cells_;
    int rows_ = 0;
    int cols_ = 0;
    const ElevationFilter* flattening_ = nullptr;
};

}  // namespace gorvale
