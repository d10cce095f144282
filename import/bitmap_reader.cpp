#include "import/bitmap_reader.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include <sys/types.h>

#include "import/grid_operations.h"
#include "import/raster_reader_support.h"
#include "base/c_file.h"

namespace gorvale {
namespace {

// BITMAPFILEHEADER: "BM", file size, two reserved words, offset of the pixels.
constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kPixelOffsetAt = 10;
// The DIB header follows; its first 4 bytes give its size.
constexpr std::size_t kDibAt = kFileHeaderBytes;
// BITMAPCOREHEADER (OS/2 1.x, 12 bytes): 16-bit width, height, planes, bit count.
constexpr std::uint32_t kCoreHeaderBytes = 12;
constexpr std::size_t kCoreWidthAt = kDibAt + 4;
constexpr std::size_t kCoreHeightAt = kDibAt + 6;
constexpr std::size_t kCoreBitCountAt = kDibAt + 10;
// BITMAPINFOHEADER and its successors: 32-bit width and height (negative
// height: top-down rows), 16-bit planes and bit count, 32-bit compression.
constexpr std::size_t kInfoWidthAt = kDibAt + 4;
constexpr std::size_t kInfoHeightAt = kDibAt + 8;
constexpr std::size_t kInfoBitCountAt = kDibAt + 14;
constexpr std::size_t kInfoCompressionAt = kDibAt + 16;
constexpr std::uint32_t kInfoHeaderBytes = 40;
// V2 (52 bytes) and later carry the red, green and blue masks at byte 40 of
// the header, V3 (56) and later the alpha mask after them; a 40-byte header
// with bit fields is followed by its masks instead.
constexpr std::size_t kHeaderMasksAt = kDibAt + 40;
constexpr std::uint32_t kV2HeaderBytes = 52;
constexpr std::uint32_t kV3HeaderBytes = 56;
// OS/2 2.x headers: 16 or 64 bytes; their compression codes above 2 mean
// other things (Huffman, RLE24), none of which we read.
constexpr std::uint32_t kOs2ShortHeaderBytes = 16;
constexpr std::uint32_t kOs2HeaderBytes = 64;
constexpr std::array<std::uint32_t, 8> kKnownHeaderBytes{12, 16, 40, 52, 56, 64, 108, 124};

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kBitFields = 3, kAlphaBitFields = 6 };

// RLE8 escape codes (a zero count followed by one of these).
constexpr std::uint8_t kRleEndOfLine = 0;
constexpr std::uint8_t kRleEndOfBitmap = 1;
constexpr std::uint8_t kRleDelta = 2;

// The largest file we read: a 32-bit picture as large as the grid allows,
// plus room for headers and palettes.
constexpr std::int64_t kMaxFileBytes = ElevationGrid::kMaxCells * 4 + (std::int64_t{1} << 20);
// Enough for the file header, the largest DIB header and its masks.
constexpr std::size_t kHeaderProbeBytes = kFileHeaderBytes + 124 + 16;

class ByteView {
public:
    explicit ByteView(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    bool has(std::size_t at, std::size_t n) const { return at <= bytes_.size() && n <= bytes_.size() - at; }
    std::uint16_t u16(std::size_t at) const {
        return static_cast<std::uint16_t>(bytes_[at] | (bytes_[at + 1] << 8));
    }
    std::uint32_t u32(std::size_t at) const {
        return static_cast<std::uint32_t>(bytes_[at]) | (static_cast<std::uint32_t>(bytes_[at + 1]) << 8) |
               (static_cast<std::uint32_t>(bytes_[at + 2]) << 16) |
               (static_cast<std::uint32_t>(bytes_[at + 3]) << 24);
    }

private:
    const std::vector<std::uint8_t>& bytes_;
};

struct Layout {
    std::int64_t width = 0;
    std::int64_t height = 0;
    bool topDown = false;
    int bitsPerPixel = 0;
    std::uint32_t compression = kRgb;
    std::array<std::uint32_t, 4> masks{};  // red, green, blue, alpha (bit fields only)
    std::size_t pixelOffset = 0;
};

bool knownHeaderSize(std::uint32_t size) {
    for (std::uint32_t k : kKnownHeaderBytes)
        if (k == size) return true;
    return false;
}

bool readMasks(const ByteView& b, std::uint32_t headerBytes, Layout& l) {
    std::size_t at = kHeaderMasksAt;
    std::size_t count = 3;
    if (headerBytes == kInfoHeaderBytes) {
        count = l.compression == kAlphaBitFields ? 4 : 3;  // masks follow the header
    } else {
        count = headerBytes >= kV3HeaderBytes ? 4 : 3;  // masks inside the header
    }
    if (!b.has(at, count * 4)) return false;
    for (std::size_t i = 0; i < count; ++i) l.masks[i] = b.u32(at + 4 * i);
    return true;
}

// The depths and compressions this reader takes.
bool supportedEncoding(const Layout& l, std::uint32_t headerBytes) {
    const bool os2 = headerBytes == kOs2ShortHeaderBytes || headerBytes == kOs2HeaderBytes;
    switch (l.bitsPerPixel) {
    case 8:
        return l.compression == kRgb || (l.compression == kRle8 && !l.topDown);
    case 24:
        return l.compression == kRgb;
    case 32:
        return l.compression == kRgb ||
               (!os2 && (l.compression == kBitFields || l.compression == kAlphaBitFields));
    default:
        return false;
    }
}

// Reads the headers from the first bytes of the file; nullopt when they do
// not describe a bitmap this reader takes.
std::optional<Layout> parseHeaders(const std::vector<std::uint8_t>& bytes) {
    const ByteView b(bytes);
    if (!b.has(0, kFileHeaderBytes + 4) || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
    const std::uint32_t headerBytes = b.u32(kDibAt);
    if (!knownHeaderSize(headerBytes) || !b.has(kDibAt, headerBytes)) return std::nullopt;
    Layout l;
    l.pixelOffset = b.u32(kPixelOffsetAt);
    if (headerBytes == kCoreHeaderBytes) {
        l.width = b.u16(kCoreWidthAt);
        l.height = b.u16(kCoreHeightAt);
        l.bitsPerPixel = b.u16(kCoreBitCountAt);
    } else {
        l.width = static_cast<std::int32_t>(b.u32(kInfoWidthAt));
        l.height = static_cast<std::int32_t>(b.u32(kInfoHeightAt));
        l.bitsPerPixel = b.u16(kInfoBitCountAt);
        l.compression = headerBytes >= 20 ? b.u32(kInfoCompressionAt) : kRgb;
        if (l.height < 0) {
            l.topDown = true;
            l.height = -l.height;
        }
    }
    if (l.width <= 0 || l.height <= 0 || !supportedEncoding(l, headerBytes)) return std::nullopt;
    if ((l.compression == kBitFields || l.compression == kAlphaBitFields) && !readMasks(b, headerBytes, l))
        return std::nullopt;
    return l;
}

// The pixels of a loaded bitmap, line by line from the top.
class Picture {
public:
    Picture(Layout layout, std::vector<std::uint8_t> file) : l_(layout), file_(std::move(file)) {}

    // False when the file does not hold the pixels the headers promise.
    bool decode() {
        if (l_.pixelOffset >= file_.size()) return false;
        if (l_.compression == kRle8) {
            decodeRle8();
            return true;
        }
        stride_ = (l_.width * l_.bitsPerPixel + 31) / 32 * 4;
        const std::int64_t lastLineBytes = l_.width * (l_.bitsPerPixel / 8);
        // The last line's padding may be missing; its pixels may not.
        const std::int64_t needed =
            static_cast<std::int64_t>(l_.pixelOffset) + stride_ * (l_.height - 1) + lastLineBytes;
        return needed <= static_cast<std::int64_t>(file_.size());
    }

    std::int64_t width() const { return l_.width; }
    std::int64_t height() const { return l_.height; }

    const std::uint8_t* line(std::int64_t fromTop) const {
        if (l_.compression == kRle8) return decoded_.data() + fromTop * l_.width;
        const std::int64_t stored = l_.topDown ? fromTop : l_.height - 1 - fromTop;
        return file_.data() + l_.pixelOffset + stored * stride_;
    }

    int value(const std::uint8_t* line, std::int64_t x) const {
        switch (l_.bitsPerPixel) {
        case 8:
            return line[x];
        case 24: {
            const std::uint8_t* p = line + 3 * x;
            return p[0] + p[1] + p[2];
        }
        default: {
            const std::uint8_t* p = line + 4 * x;
            if (l_.compression == kRgb) return p[0] + p[1] + p[2] + p[3];
            const std::uint32_t pixel = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                        (static_cast<std::uint32_t>(p[2]) << 16) |
                                        (static_cast<std::uint32_t>(p[3]) << 24);
            int sum = 0;
            for (std::uint32_t mask : l_.masks) sum += channel(pixel, mask);
            return sum;
        }
        }
    }

private:
    // One bit-field channel scaled to 0..255.
    static int channel(std::uint32_t pixel, std::uint32_t mask) {
        if (mask == 0) return 0;
        const int shift = std::countr_zero(mask);
        const std::uint32_t field = mask >> shift;
        const int bits = std::bit_width(field);
        const std::uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return static_cast<int>(v >> (bits - 8));
        return static_cast<int>(v * 255 / field);
    }

    // RLE8 runs, bottom line first; pixels the runs skip stay index 0 and
    // data that ends early leaves the rest 0.
    void decodeRle8() {
        decoded_.assign(static_cast<std::size_t>(l_.width * l_.height), 0);
        const std::uint8_t* p = file_.data() + l_.pixelOffset;
        const std::uint8_t* const end = file_.data() + file_.size();
        std::int64_t x = 0;
        std::int64_t fromBottom = 0;
        auto put = [&](std::uint8_t index) {
            if (x < l_.width && fromBottom < l_.height)
                decoded_[static_cast<std::size_t>((l_.height - 1 - fromBottom) * l_.width + x)] = index;
            ++x;
        };
        while (end - p >= 2 && fromBottom < l_.height) {
            const std::uint8_t count = p[0];
            const std::uint8_t code = p[1];
            p += 2;
            if (count > 0) {
                for (int k = 0; k < count; ++k) put(code);
            } else if (code == kRleEndOfLine) {
                x = 0;
                ++fromBottom;
            } else if (code == kRleEndOfBitmap) {
                return;
            } else if (code == kRleDelta) {
                if (end - p < 2) return;
                x += p[0];
                fromBottom += p[1];
                p += 2;
            } else {
                // Absolute run of `code` indices, padded to an even length.
                const std::int64_t n = std::min<std::int64_t>(code, end - p);
                for (std::int64_t k = 0; k < n; ++k) put(p[k]);
                p += std::min<std::int64_t>(code + (code & 1), end - p);
            }
        }
    }

    Layout l_;
    std::vector<std::uint8_t> file_;
    std::vector<std::uint8_t> decoded_;
    std::int64_t stride_ = 0;
};

enum class LoadFailure { CannotOpen, Invalid };

std::optional<std::int64_t> fileSize(std::FILE* f) {
    if (fseeko(f, 0, SEEK_END) != 0) return std::nullopt;
    const off_t size = ftello(f);
    if (size < 0 || fseeko(f, 0, SEEK_SET) != 0) return std::nullopt;
    return static_cast<std::int64_t>(size);
}

bool readExactly(std::FILE* f, std::vector<std::uint8_t>& bytes, std::size_t from) {
    return std::fread(bytes.data() + from, 1, bytes.size() - from, f) == bytes.size() - from;
}

// The grid the picture makes must fit before we read all of it; so must the
// decoded indices of a compressed picture, whose size the file cannot bound.
bool gridFits(const Layout& l, bool skip) {
    const std::int64_t rows = (skip ? l.height / 2 : l.height) + 1;
    const std::int64_t cols = (skip ? l.width / 2 : l.width) + 1;
    if (rows > ElevationGrid::kMaxCells / cols) return false;
    return l.compression != kRle8 || l.height <= ElevationGrid::kMaxCells / l.width;
}

struct Loaded {
    std::optional<Picture> picture;
    LoadFailure failure = LoadFailure::Invalid;
};

Loaded loadPicture(const std::string& path, bool skip) {
    Loaded result;
    FilePtr f = openFile(path, "rb");
    if (!f) {
        result.failure = LoadFailure::CannotOpen;
        return result;
    }
    const std::optional<std::int64_t> size = fileSize(f.get());
    if (!size || *size > kMaxFileBytes) return result;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::int64_t>(*size, kHeaderProbeBytes)));
    if (!readExactly(f.get(), bytes, 0)) return result;
    const std::optional<Layout> layout = parseHeaders(bytes);
    if (!layout || !gridFits(*layout, skip)) return result;
    const std::size_t probed = bytes.size();
    bytes.resize(static_cast<std::size_t>(*size));
    if (!readExactly(f.get(), bytes, probed)) return result;
    Picture picture(*layout, std::move(bytes));
    if (!picture.decode()) return result;
    result.picture.emplace(std::move(picture));
    return result;
}

}  // namespace

int ReadBitmap(GridContext& ws, const std::string& path) {
    const bool skip = ws.settings.SkipElevation;
    Loaded loaded = loadPicture(path, skip);
    if (!loaded.picture) {
        if (loaded.failure == LoadFailure::CannotOpen)
            ws.ui->fileError(path);
        else
            showReaderError(ws, kBitmapFormatInvalid);
        return 1;
    }
    const Picture& picture = *loaded.picture;
    // Dimensions were checked against the grid's limit above.
    const std::int64_t width = picture.width();
    const std::int64_t height = picture.height();
    const std::int64_t lastRow = skip ? height / 2 : height;
    const std::int64_t lastCol = skip ? width / 2 : width;
    if (!allocateGridOrReport(ws, lastRow + 1, lastCol + 1, kBitmapFormatInvalid)) return 1;
    ElevationGrid& g = ws.grid;
    g.LastRow = static_cast<std::int32_t>(lastRow);
    g.LastCol = static_cast<std::int32_t>(lastCol);
    const int prescale = verticalPreScaleFactor(ws.settings);
    const int step = skip ? 2 : 1;
    MinMaxTracker range;
    for (int b = g.LastRow - 1; b >= 0; --b) {
        const std::uint8_t* line = picture.line(std::int64_t{b} * step);
        std::int32_t* row = g.row(g.LastRow - b - 1);
        for (int x = g.LastCol - 1; x >= 0; --x) {
            const std::int32_t v = picture.value(line, std::int64_t{x} * step) * prescale;
            row[g.LastCol - x - 1] = v;
            range.add(v);
        }
    }
    FinishGridLoad(ws, range.minimum(), range.maximum());
    return 0;
}

}  // namespace gorvale
