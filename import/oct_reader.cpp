#include "import/oct_reader.h"

#include <optional>
#include <string>

#include "import/buffered_text_scanner.h"
#include "import/grid_operations.h"
#include "import/raster_reader_support.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

// Header lines are read with at most this many characters.
constexpr std::size_t kMaxHeaderLine = 511;
// Where the text of each header line starts (0-based character index).
constexpr std::size_t kNameOffset = 8;        // line 1: the name
constexpr std::size_t kGroupCountOffset = 7;  // line 3: number of value groups
constexpr std::size_t kGroupSizeOffset = 10;  // line 4: values per group
constexpr float kValueFactor = 1000.0f;

struct OctHeader {
    std::string name;
    int groups = 0;
    int groupSize = 0;
};

std::string_view from(const std::string& line, std::size_t offset) {
    return std::string_view(line).substr(std::min(line.size(), offset));
}

std::string withoutLineEnd(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    return std::string(text);
}

std::optional<OctHeader> readHeader(BufferedTextScanner& s) {
    std::string line1, line2, line3, line4;
    if (!s.readLine(line1, kMaxHeaderLine) || !s.readLine(line2, kMaxHeaderLine) ||
        !s.readLine(line3, kMaxHeaderLine) || !s.readLine(line4, kMaxHeaderLine))
        return std::nullopt;
    OctHeader h;
    h.name = withoutLineEnd(from(line1, kNameOffset));
    if (!scanInt(from(line3, kGroupCountOffset), h.groups) ||
        !scanInt(from(line4, kGroupSizeOffset), h.groupSize))
        return std::nullopt;
    return h;
}

MinMaxTracker readValues(ElevationGrid& g, BufferedTextScanner& s, int groups, int groupSize) {
    MinMaxTracker range;
    for (int j = 0; j < groups; ++j) {
        std::int32_t* row = g.row(j);
        for (int k = 0; k < groupSize; ++k) {
            float v = 0;
            if (s.readFloat(v) != BufferedTextScanner::Scan::Value) return range;
            v = v * kValueFactor;
            const std::int32_t e = truncateElevation(v);
            row[k] = e;
            range.add(e);
        }
    }
    return range;
}

}  // namespace

int ReadOct(GridContext& ws, std::FILE* in) {
    BufferedTextScanner scanner(in);
    const std::optional<OctHeader> header = readHeader(scanner);
    if (!header || header->groups < 1 || header->groupSize < 1) {
        showReaderError(ws, kOctReadFailed);
        return -1;
    }
    // One spare row and column, never written.
    if (!allocateGridOrReport(ws, std::int64_t{header->groups} + 1, std::int64_t{header->groupSize} + 1,
                              kOctReadFailed))
        return -1;
    ShowLabel(ws, Label::DemName, header->name);
    ElevationGrid& g = ws.grid;
    g.LastRow = header->groups;
    g.LastCol = header->groupSize;
    const MinMaxTracker range = readValues(g, scanner, header->groups, header->groupSize);
    FinishGridLoad(ws, range.minimum(), range.maximum());
    return 0;
}

}  // namespace gorvale
