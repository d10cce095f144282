#pragma once
// Pieces shared by the readers of terrain-editor height fields (Binary
// Terrain, Leveller, Terragen): little-endian decoding, the size checks that
// keep a hostile header from allocating without bound, a minimum/maximum
// tracker, saturating conversion of reals to grid values and the variant of
// the reader tail these formats use.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "base/min_max_tracker.h"
#include "base/grid_context.h"

namespace gorvale {

// Little-endian fields of a byte buffer (the caller keeps p[0..width) valid).
inline std::uint16_t readLe16u(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::int16_t readLe16s(const unsigned char* p) { return static_cast<std::int16_t>(readLe16u(p)); }
inline std::uint32_t readLe32u(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::int32_t readLe32s(const unsigned char* p) { return static_cast<std::int32_t>(readLe32u(p)); }
inline float readLeFloat(const unsigned char* p) {
    const std::uint32_t bits = readLe32u(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
inline double readLeDouble(const unsigned char* p) {
    const std::uint64_t bits =
        static_cast<std::uint64_t>(readLe32u(p)) | (static_cast<std::uint64_t>(readLe32u(p + 4)) << 32);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// Size of the file behind the stream in bytes, -1 when it cannot be found.
// The stream position is left unchanged.
std::int64_t streamSize(std::FILE* in);

// fseek/ftell with 64-bit offsets.
bool seekTo(std::FILE* in, std::int64_t offset);
std::int64_t tellPosition(std::FILE* in);

// A real truncated toward zero into the 32-bit grid range; values outside
// the range saturate. Returns false (and leaves out alone) for NaN.
template <typename Real>
inline bool truncateToGridValue(Real value, std::int32_t& out) {
    constexpr Real kLow = static_cast<Real>(std::numeric_limits<std::int32_t>::min());
    constexpr Real kHigh = static_cast<Real>(std::numeric_limits<std::int32_t>::max());
    if (value > kLow && value < kHigh) {
        out = static_cast<std::int32_t>(value);  // truncates toward zero
    } else if (value <= kLow) {
        out = std::numeric_limits<std::int32_t>::min();
    } else if (value >= kHigh) {
        out = std::numeric_limits<std::int32_t>::max();
    } else {
        return false;  // NaN
    }
    return true;
}

// a - b held in 32 bits: hostile extremes saturate instead of overflowing.
inline std::int32_t saturatingDifference(std::int32_t a, std::int32_t b) {
    const std::int64_t d = std::int64_t{a} - b;
    if (d > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (d < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(d);
}


// A truncated file is read as far as it goes (the rest of the grid stays 0),
// but a header may not announce wildly more samples than the file holds: a
// damaged size field must not make a few bytes allocate gigabytes. Up to
// kAlwaysTrustedSamples anything goes; above, the file must hold at least
// 1 / kTruncationTolerance of the announced samples. Shows the reader's
// message and returns false otherwise.
inline constexpr std::int64_t kAlwaysTrustedSamples = std::int64_t{1} << 20;
inline constexpr std::int64_t kTruncationTolerance = 16;
bool checkSamplesHeld(GridContext& ws, const char* formatName, std::int64_t rows, std::int64_t cols,
                      std::int64_t samplesHeld);

// Releases the previous grid and allocates rows x cols zeros for a reader
// of formatName. A size that is not positive, exceeds ElevationGrid::kMaxCells
// or cannot be had from memory is refused with a message naming the file
// (the previous grid stays unless memory itself ran out). Returns false then.
bool allocateReaderGrid(GridContext& ws, const char* formatName, std::int64_t rows, std::int64_t cols);

// The reader's message for a header whose grid size is not positive.
void showInvalidGridSize(GridContext& ws, const char* formatName, std::int64_t rows, std::int64_t cols);

// The error box of a reader: text with an OK button, caption "Error".
void showTerrainReaderError(GridContext& ws, const std::string& text);

// The reader tail of Binary Terrain and Leveller: the whole grid selected,
// LastRow and LastCol shown as the row and column counts.
void FinishWholeTerrainGrid(GridContext& ws, const MinMaxTracker& values);

}  // namespace gorvale
