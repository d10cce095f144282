#include "import/binary_terrain_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "import/terrain_file_support.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

constexpr const char* kFormatName = "Binary Terrain";
constexpr const char* kNotBinaryTerrain = "Not a Binary Terrain file!";

// Header layout.
constexpr std::size_t kHeaderBytes = 256;
constexpr const char kSignature[] = "binterr";
constexpr std::size_t kSignatureBytes = 7;
constexpr std::size_t kColumnsOffset = 10;     // 32-bit signed
constexpr std::size_t kRowsOffset = 14;        // 32-bit signed
constexpr std::size_t kSampleSizeOffset = 18;  // 16-bit: bytes per sample
constexpr std::size_t kFloatFlagOffset = 20;   // 16-bit: 1 = IEEE reals
constexpr int kFloatFlagReals = 1;

// Reals are clamped into the range the rest of the program works in.
constexpr float kRealLimit = 32000.0f;

// Bytes fetched per fread while walking the samples.
constexpr std::int64_t kChunkBytes = std::int64_t{4} << 20;
// Columns transposed together (16 values fill a 64-byte line of a row).
constexpr std::int64_t kTileColumns = 16;

enum class SampleKind { Int16, Int32, Real32 };

struct BinaryTerrainHeader {
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    int sampleBytes = 0;
    SampleKind kind = SampleKind::Int16;
};

// Converts one sample; false when it carries no usable value (NaN).
template <SampleKind Kind>
inline bool convertSample(const unsigned char* p, std::int32_t& out) {
    if constexpr (Kind == SampleKind::Int16) {
        out = readLe16s(p);
    } else if constexpr (Kind == SampleKind::Int32) {
        out = readLe32s(p);
    } else {
        const float f = readLeFloat(p);
        if (std::isnan(f)) return false;
        if (f > kRealLimit) {
            out = 32000;
        } else if (f < -kRealLimit) {
            out = -32000;
        } else {
            out = static_cast<std::int32_t>(f);
        }
    }
    return true;
}

inline bool convertSample(SampleKind kind, const unsigned char* p, std::int32_t& out) {
    switch (kind) {
        case SampleKind::Int16:
            return convertSample<SampleKind::Int16>(p, out);
        case SampleKind::Int32:
            return convertSample<SampleKind::Int32>(p, out);
        case SampleKind::Real32:
            return convertSample<SampleKind::Real32>(p, out);
    }
    return false;
}

// Reads the header; shows the reader's message and returns false when the
// file is not one this reader can take.
bool readHeader(GridContext& ws, std::FILE* in, BinaryTerrainHeader& h) {
    unsigned char raw[kHeaderBytes] = {};
    if (!seekTo(in, 0)) {
        ws.ui->fileError(ws.settings.DEMFile);
        return false;
    }
    const std::size_t got = std::fread(raw, 1, kHeaderBytes, in);
    if (got < kSignatureBytes || std::memcmp(raw, kSignature, kSignatureBytes) != 0) {
        ws.ui->message(kNotBinaryTerrain, "Error", MessageKind::Error, Buttons::YesNoCancel);
        return false;
    }
    // A header cut short reads as zeros: sizes of 0 are refused below.
    h.columns = readLe32s(raw + kColumnsOffset);
    h.rows = readLe32s(raw + kRowsOffset);
    h.sampleBytes = readLe16u(raw + kSampleSizeOffset);
    const bool reals = readLe16u(raw + kFloatFlagOffset) == kFloatFlagReals;
    if (h.sampleBytes == 2 && !reals) {
        h.kind = SampleKind::Int16;
    } else if (h.sampleBytes == 4) {
        h.kind = reals ? SampleKind::Real32 : SampleKind::Int32;
    } else {
        showTerrainReaderError(ws, format("Binary Terrain file %s: %d-byte %s samples are not supported "
                                   "(only 2-byte integers, 4-byte integers and 4-byte reals)!",
                                   ws.settings.DEMFile.c_str(), h.sampleBytes,
                                   reals ? "real" : "integer"));
        return false;
    }
    return true;
}

// Which file samples land where: output column j comes from file column
// j * columnStep, output row k from sample k * rowStep + rowOffset of it.
struct SampleLayout {
    std::int64_t fileRows = 0;  // samples per file column
    std::int64_t sampleBytes = 0;
    std::int64_t columnStep = 1;
    std::int64_t rowStep = 1;
    std::int64_t rowOffset = 0;
    std::int64_t outCols = 0;  // LastCol
    std::int64_t outRows = 0;  // LastRow
    SampleKind kind = SampleKind::Int16;

    std::int64_t columnBytes() const { return fileRows * sampleBytes; }
    std::int64_t fileOffset(std::int64_t fileColumn, std::int64_t sample) const {
        return static_cast<std::int64_t>(kHeaderBytes) + (fileColumn * fileRows + sample) * sampleBytes;
    }
};

// Stores output (row k, column j) at Cells[k][LastCol - j - 1].
inline void store(ElevationGrid& g, const SampleLayout& L, std::int64_t k, std::int64_t j,
                  const unsigned char* p, MinMaxTracker& mm) {
    std::int32_t v;
    if (!convertSample(L.kind, p, v)) return;
    g.cell(static_cast<int>(k), static_cast<int>(L.outCols - j - 1)) = v;
    mm.add(v);
}

// Output columns [j0, j1) of a chunk that starts at file column
// firstFileCol, of which `available` bytes were read, go into the grid.
// Columns are taken kTileColumns at a time so that the reads run down a
// few columns together while the writes fill whole cache lines of a row.
template <SampleKind Kind>
void transposeChunk(ElevationGrid& g, const SampleLayout& L, const unsigned char* chunk,
                    std::int64_t available, std::int64_t j0, std::int64_t j1, std::int64_t firstFileCol,
                    MinMaxTracker& mm) {
    const std::int64_t sampleStride = L.rowStep * L.sampleBytes;
    std::int32_t lo = std::numeric_limits<std::int32_t>::max();
    std::int32_t hi = std::numeric_limits<std::int32_t>::min();
    for (std::int64_t jt = j0; jt < j1; jt += kTileColumns) {
        const int width = static_cast<int>(std::min(j1 - jt, kTileColumns));
        const unsigned char* column[kTileColumns];
        std::int64_t rowsHeld[kTileColumns];
        std::int64_t allHeld = L.outRows;
        std::int64_t anyHeld = 0;
        for (int t = 0; t < width; ++t) {
            const std::int64_t base =
                (((jt + t) * L.columnStep - firstFileCol) * L.fileRows + L.rowOffset) * L.sampleBytes;
            column[t] = chunk + std::min(base, available);
            const std::int64_t room = available - base - L.sampleBytes;
            rowsHeld[t] = room < 0 ? 0 : std::min(L.outRows, room / sampleStride + 1);
            allHeld = std::min(allHeld, rowsHeld[t]);
            anyHeld = std::max(anyHeld, rowsHeld[t]);
        }
        const int eastmost = static_cast<int>(L.outCols - jt - 1);  // grid column of jt
        for (std::int64_t k = 0; k < allHeld; ++k) {
            std::int32_t* row = g.row(static_cast<int>(k)) + eastmost;
            const std::int64_t at = k * sampleStride;
            for (int t = 0; t < width; ++t) {
                std::int32_t v;
                if (!convertSample<Kind>(column[t] + at, v)) continue;
                row[-t] = v;
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        }
        // Where the file ended inside this tile.
        for (std::int64_t k = allHeld; k < anyHeld; ++k) {
            std::int32_t* row = g.row(static_cast<int>(k)) + eastmost;
            for (int t = 0; t < width; ++t) {
                std::int32_t v;
                if (k >= rowsHeld[t] || !convertSample<Kind>(column[t] + k * sampleStride, v)) continue;
                row[-t] = v;
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        }
    }
    if (lo <= hi) {
        mm.add(lo);
        mm.add(hi);
    }
}

// Whole columns fit in a chunk: read several at once and transpose them
// into the rows of the grid.
void readColumnChunks(std::FILE* in, ElevationGrid& g, const SampleLayout& L, MinMaxTracker& mm) {
    const std::int64_t perChunk = std::max<std::int64_t>(1, kChunkBytes / (L.columnBytes() * L.columnStep));
    std::vector<unsigned char> buffer;
    for (std::int64_t j0 = 0; j0 < L.outCols; j0 += perChunk) {
        const std::int64_t j1 = std::min(L.outCols, j0 + perChunk);
        const std::int64_t firstFileCol = j0 * L.columnStep;
        const std::int64_t spanCols = (j1 - 1) * L.columnStep - firstFileCol + 1;
        buffer.resize(static_cast<std::size_t>(spanCols * L.columnBytes()));
        std::size_t got = 0;
        if (seekTo(in, L.fileOffset(firstFileCol, 0))) got = std::fread(buffer.data(), 1, buffer.size(), in);
        if (got == 0) return;  // past the end: the rest keeps its zeros
        const auto available = static_cast<std::int64_t>(got);
        switch (L.kind) {
            case SampleKind::Int16:
                transposeChunk<SampleKind::Int16>(g, L, buffer.data(), available, j0, j1, firstFileCol, mm);
                break;
            case SampleKind::Int32:
                transposeChunk<SampleKind::Int32>(g, L, buffer.data(), available, j0, j1, firstFileCol, mm);
                break;
            case SampleKind::Real32:
                transposeChunk<SampleKind::Real32>(g, L, buffer.data(), available, j0, j1, firstFileCol, mm);
                break;
        }
        if (got < buffer.size()) return;
    }
}

// Columns too tall for one chunk: read each column in pieces.
void readTallColumns(std::FILE* in, ElevationGrid& g, const SampleLayout& L, MinMaxTracker& mm) {
    const std::int64_t samplesPerPiece = std::max<std::int64_t>(L.rowStep, kChunkBytes / L.sampleBytes);
    std::vector<unsigned char> buffer(static_cast<std::size_t>(samplesPerPiece * L.sampleBytes));
    for (std::int64_t j = 0; j < L.outCols; ++j) {
        const std::int64_t fileCol = j * L.columnStep;
        for (std::int64_t s0 = 0; s0 < L.fileRows; s0 += samplesPerPiece) {
            const std::int64_t s1 = std::min(L.fileRows, s0 + samplesPerPiece);
            std::size_t got = 0;
            if (seekTo(in, L.fileOffset(fileCol, s0)))
                got = std::fread(buffer.data(), 1, static_cast<std::size_t>((s1 - s0) * L.sampleBytes), in);
            const auto available = static_cast<std::int64_t>(got);
            // First output row whose sample lies in [s0, s1).
            std::int64_t k = s0 <= L.rowOffset ? 0 : (s0 - L.rowOffset + L.rowStep - 1) / L.rowStep;
            for (; k < L.outRows; ++k) {
                const std::int64_t s = k * L.rowStep + L.rowOffset;
                if (s >= s1) break;
                const std::int64_t at = (s - s0) * L.sampleBytes;
                if (at + L.sampleBytes > available) return;  // the file ends here
                store(g, L, k, j, buffer.data() + at, mm);
            }
            if (available < (s1 - s0) * L.sampleBytes) return;
        }
    }
}

// Moves the lowest point to 0 over the data part of the grid.
void shiftToMinimum(ElevationGrid& g, int rows, int cols, std::int32_t minimum) {
    for (int r = 0; r < rows; ++r) {
        std::int32_t* row = g.row(r);
        for (int c = 0; c < cols; ++c) row[c] = saturatingDifference(row[c], minimum);
    }
}

}  // namespace

int ReadBinaryTerrain(GridContext& ws, std::FILE* in) {
    const std::int64_t fileSize = streamSize(in);
    BinaryTerrainHeader header;
    if (!readHeader(ws, in, header)) {
        ws.ui->setBusy(false);
        return -1;
    }
    const bool skip = ws.settings.SkipElevation;
    std::int64_t lastCol = header.columns;
    std::int64_t lastRow = header.rows;
    if (skip) {
        lastCol /= 2;
        lastRow /= 2;
    }
    if (header.columns <= 0 || header.rows <= 0) {
        showInvalidGridSize(ws, kFormatName, header.rows, header.columns);
        ws.ui->setBusy(false);
        return -1;
    }
    const std::int64_t samplesHeld =
        std::max<std::int64_t>(0, fileSize - static_cast<std::int64_t>(kHeaderBytes)) / header.sampleBytes;
    if (!checkSamplesHeld(ws, kFormatName, header.rows, header.columns, samplesHeld) ||
        !allocateReaderGrid(ws, kFormatName, lastRow + 1, lastCol + 1)) {
        ws.ui->setBusy(false);
        return -1;
    }
    ElevationGrid& g = ws.grid;
    g.LastCol = static_cast<std::int32_t>(lastCol);
    g.LastRow = static_cast<std::int32_t>(lastRow);

    SampleLayout layout;
    layout.fileRows = header.rows;
    layout.sampleBytes = header.sampleBytes;
    layout.kind = header.kind;
    layout.outCols = lastCol;
    layout.outRows = lastRow;
    if (skip) {
        // Even file columns, odd samples within each.
        layout.columnStep = 2;
        layout.rowStep = 2;
        layout.rowOffset = 1;
    }
    MinMaxTracker mm;
    if (layout.columnBytes() <= kChunkBytes) {
        readColumnChunks(in, g, layout, mm);
    } else {
        readTallColumns(in, g, layout, mm);
    }
    shiftToMinimum(g, g.LastRow, g.LastCol, mm.minimum());

    FinishWholeTerrainGrid(ws, mm);
    return 0;
}

}  // namespace gorvale
