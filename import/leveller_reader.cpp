#include "import/leveller_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "import/terrain_file_support.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

constexpr const char* kFormatName = "Leveller";

constexpr const char kSignature[] = "trrn";
constexpr std::size_t kSignatureBytes = 4;
constexpr std::int64_t kFirstRecordOffset = 5;  // after the signature and the version byte
constexpr std::size_t kVersionOffset = 4;
constexpr int kFirstRealVersion = 6;  // from this version on the heights are IEEE reals
constexpr std::size_t kMaxNameBytes = 64;
constexpr std::size_t kMaxLabelBytes = 256;  // only the first word of a label matters
constexpr double kFixedPointScale = 1.0 / 65536.0;

constexpr std::string_view kWidthTag = "hf_w";
constexpr std::string_view kBreadthTag = "hf_b";
constexpr std::string_view kSpacingTag = "hf_worldspacing";
constexpr std::string_view kSpacingLabelTag = "hf_worldspacinglabel";
// Leveller writes a text as two records: "<name>l" with its length and
// "<name>d" with its characters.
constexpr std::string_view kSpacingLabelDataTag = "hf_worldspacinglabeld";
constexpr std::string_view kDataTag = "hf_data";

constexpr std::int64_t kSampleBytes = 4;
constexpr std::int64_t kSamplesPerRead = 1 << 18;

struct UnitFactor {
    std::string_view label;
    double metres;
};

// Searched in this order; exact, case-sensitive.
constexpr std::array<UnitFactor, 31> kUnits = {{
    {"fm", 1e-15},
    {"pm", 1e-12},
    {"A", 1e-10},
    {"nm", 1e-09},
    {"u", 1e-06},
    {"um", 1e-06},
    {"mm", 0.001},
    {"cm", 0.01},
    {"in", 0.0254},
    {"dm", 0.1},
    {"dkm", 10},
    {"dam", 10},
    {"sp", 0.2286},
    {"ft", 0.3048},
    {"dft", 0.03048},
    {"sft", 0.3048006096012192},
    {"yd", 0.9144},
    {"m", 1},
    {"r", 5.029},
    {"f", 201.168},
    {"km", 1000},
    {"mi", 1609.344},
    {"nmi", 1853},
    {"ls", 299395422.5822785},
    {"lm", 17986493067.680607},
    {"AU", 1.5e11},
    {"lhr", 1079189584060.8364},
    {"ld", 25900550017460.074},
    {"ly", 9460895353600000},
    {"pc", 3.0842518852735996e16},
    {"kly", 9.4608953536e18},
}};

constexpr std::array<double, 4> kPrescale = {1, 10, 100, 1000};

struct LevellerLayout {
    int version = 0;
    std::int32_t width = 0;    // hf_w
    std::int32_t breadth = 0;  // hf_b
    double heightFactor = 1;
    std::int64_t dataOffset = -1;
    std::int64_t dataBytes = 0;  // the part of the payload that the file holds
};

enum class WalkResult { FoundHeights, NoHeights, Refused };

// The first `width` bytes of a payload of `length` bytes; what the payload
// or the file does not hold reads as zeros.
std::vector<unsigned char> readPayload(std::FILE* in, std::uint32_t length, std::size_t width) {
    std::vector<unsigned char> bytes(width, 0);
    const std::size_t wanted = std::min<std::size_t>(length, width);
    const std::size_t got = std::fread(bytes.data(), 1, wanted, in);
    // A short read leaves zeros; the walk meets the end of the file at the next record.
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(got), bytes.end(), 0);
    return bytes;
}

std::string labelFirstWord(const std::vector<unsigned char>& payload, std::size_t length) {
    std::string text(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(length));
    const std::size_t end = text.find_first_of(std::string_view("\0 ", 2));
    return end == std::string::npos ? text : text.substr(0, end);
}

// Walks the records from byte 5 up to "hf_data", gathering the extents and
// the height factor.
WalkResult walkRecords(GridContext& ws, std::FILE* in, std::int64_t fileSize, LevellerLayout& out) {
    if (!seekTo(in, kFirstRecordOffset)) return WalkResult::NoHeights;
    for (;;) {
        const std::int64_t recordStart = tellPosition(in);
        unsigned char nameLength = 0;
        if (std::fread(&nameLength, 1, 1, in) != 1) return WalkResult::NoHeights;
        if (nameLength > kMaxNameBytes) {
            showTerrainReaderError(ws, format("Leveller file %s: the record at byte %lld has a name of %d "
                                       "bytes (at most 64)!",
                                       ws.settings.DEMFile.c_str(), static_cast<long long>(recordStart),
                                       nameLength));
            return WalkResult::Refused;
        }
        char nameBytes[kMaxNameBytes];
        unsigned char lengthBytes[4];
        if (std::fread(nameBytes, 1, nameLength, in) != nameLength) return WalkResult::NoHeights;
        if (std::fread(lengthBytes, 1, sizeof lengthBytes, in) != sizeof lengthBytes)
            return WalkResult::NoHeights;
        const std::string_view name(nameBytes, nameLength);
        const std::uint32_t length = readLe32u(lengthBytes);
        const std::int64_t payloadStart = tellPosition(in);

        if (name == kDataTag) {
            out.dataOffset = payloadStart;
            out.dataBytes = std::max<std::int64_t>(0, std::min<std::int64_t>(length, fileSize - payloadStart));
            return WalkResult::FoundHeights;
        }
        if (name == kWidthTag) {
            out.width = readLe32s(readPayload(in, length, 4).data());
        } else if (name == kBreadthTag) {
            out.breadth = readLe32s(readPayload(in, length, 4).data());
        } else if (name == kSpacingTag) {
            out.heightFactor *= readLeDouble(readPayload(in, length, 8).data());
        } else if (name == kSpacingLabelTag || name == kSpacingLabelDataTag) {
            const auto text = readPayload(in, length, kMaxLabelBytes);
            out.heightFactor *= LevellerUnitFactor(
                labelFirstWord(text, std::min<std::size_t>(length, kMaxLabelBytes)));
        }
        const std::int64_t next = payloadStart + static_cast<std::int64_t>(length);
        if (next > fileSize || !seekTo(in, next)) return WalkResult::NoHeights;
    }
}

// The heights, fetched in large reads; indices asked for never decrease.
class SequentialSamples {
public:
    SequentialSamples(std::FILE* in, std::int64_t offset, std::int64_t count)
        : in_(in), offset_(offset), count_(count) {}

    bool get(std::int64_t index, const unsigned char*& sample) {
        if (index >= count_) return false;
        if (index < first_ || index >= first_ + held_) {
            if (!fill(index)) return false;
        }
        sample = buffer_.data() + (index - first_) * kSampleBytes;
        return true;
    }

private:
    bool fill(std::int64_t index) {
        const std::int64_t wanted = std::min(kSamplesPerRead, count_ - index);
        buffer_.resize(static_cast<std::size_t>(wanted * kSampleBytes));
        std::size_t got = 0;
        if (seekTo(in_, offset_ + index * kSampleBytes)) got = std::fread(buffer_.data(), 1, buffer_.size(), in_);
        first_ = index;
        held_ = static_cast<std::int64_t>(got) / kSampleBytes;
        if (held_ == 0) count_ = index;  // the file ends here
        return held_ > 0;
    }

    std::FILE* in_;
    std::int64_t offset_;
    std::int64_t count_;
    std::int64_t first_ = 0;
    std::int64_t held_ = 0;
    std::vector<unsigned char> buffer_;
};

struct HeightConversion {
    bool reals = false;
    double prescale = 1;
    double heightFactor = 1;

    bool operator()(const unsigned char* p, std::int32_t& out) const {
        if (reals) {
            return truncateToGridValue(static_cast<double>(readLeFloat(p)) * prescale * heightFactor, out);
        }
        return truncateToGridValue(static_cast<double>(readLe32s(p)) * prescale * heightFactor * kFixedPointScale,
                                   out);
    }
};

// Walks the heights into the grid (see the header for the orientation),
// honouring the three skip settings.
MinMaxTracker fillGrid(GridContext& ws, SequentialSamples& samples, const LevellerLayout& layout,
                       const HeightConversion& convert) {
    const ConversionSettings& s = ws.settings;
    const bool skip = s.SkipElevation;
    ElevationGrid& g = ws.grid;
    MinMaxTracker mm;
    std::int64_t cursor = 0;
    if (skip && s.SkipElevationOddHor) cursor += layout.width;
    for (int r = g.LastRow - 1; r >= 0; --r) {
        std::int64_t left = layout.width;
        if (skip && s.SkipElevationOdd) {
            ++cursor;
            --left;
        }
        std::int32_t* row = g.row(r);
        for (int c = g.LastCol - 1; c >= 0; --c) {
            const unsigned char* p = nullptr;
            std::int32_t v;
            if (samples.get(cursor, p) && convert(p, v)) {
                row[c] = v;
                mm.add(v);
            }
            ++cursor;
            --left;
            if (skip && left > 0) {
                ++cursor;
                --left;
            }
        }
        if (skip && left > 0) {
            ++cursor;
            --left;
        }
        if (skip) cursor += layout.width;
    }
    return mm;
}

}  // namespace

double LevellerUnitFactor(std::string_view label) {
    for (const UnitFactor& u : kUnits) {
        if (u.label == label) return u.metres;
    }
    return 1;
}

int ReadLeveller(GridContext& ws, std::FILE* in) {
    const std::int64_t fileSize = streamSize(in);
    unsigned char start[kFirstRecordOffset] = {};
    if (fileSize < kFirstRecordOffset || !seekTo(in, 0) ||
        std::fread(start, 1, sizeof start, in) != sizeof start ||
        std::memcmp(start, kSignature, kSignatureBytes) != 0)
        return -1;

    LevellerLayout layout;
    layout.version = start[kVersionOffset];
    if (walkRecords(ws, in, fileSize, layout) != WalkResult::FoundHeights) return -1;

    const ConversionSettings& s = ws.settings;
    if (layout.width <= 0 || layout.breadth <= 0) {
        showInvalidGridSize(ws, kFormatName, layout.breadth, layout.width);
        return -1;
    }
    std::int64_t lastRow = layout.breadth;
    std::int64_t lastCol = layout.width;
    if (s.SkipElevation) {
        lastRow /= 2;
        lastCol /= 2;
    }
    if (!checkSamplesHeld(ws, kFormatName, layout.breadth, layout.width, layout.dataBytes / kSampleBytes) ||
        !allocateReaderGrid(ws, kFormatName, lastRow + 1, lastCol + 1))
        return -1;
    ElevationGrid& g = ws.grid;
    g.LastRow = static_cast<std::int32_t>(lastRow);
    g.LastCol = static_cast<std::int32_t>(lastCol);

    HeightConversion convert;
    convert.reals = layout.version >= kFirstRealVersion;
    convert.prescale = kPrescale[static_cast<std::size_t>(std::clamp(s.VerticalPreScale, 0, 3))];
    convert.heightFactor = layout.heightFactor;
    const std::int64_t samplesHeld =
        std::min<std::int64_t>(std::int64_t{layout.width} * layout.breadth, layout.dataBytes / kSampleBytes);
    SequentialSamples samples(in, layout.dataOffset, samplesHeld);
    const MinMaxTracker mm = fillGrid(ws, samples, layout, convert);

    FinishWholeTerrainGrid(ws, mm);
    return 0;
}

}  // namespace gorvale
