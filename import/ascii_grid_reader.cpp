#include "import/ascii_grid_reader.h"

#include <optional>
#include <string>

#include "import/buffered_text_scanner.h"
#include "import/grid_operations.h"
#include "import/raster_reader_support.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

// Header lines are compared on at most this many characters.
constexpr std::size_t kMaxHeaderLine = 255;
// "ncols 121": the number is read from the sixth character on.
constexpr std::size_t kHeaderNumberOffset = 5;

struct AsciiGridHeader {
    int ncols = 0;
    int nrows = 0;
};

bool startsWith(const std::string& text, const char* word) { return text.rfind(word, 0) == 0; }

// The values begin at the first line that opens (after blanks) with a
// digit, a sign, a decimal point or comma, or the word "nan".
bool atValues(BufferedTextScanner& s) {
    const int c = s.peek();
    if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == ',') return true;
    auto lower = [](int ch) { return ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch; };
    return lower(c) == 'n' && lower(s.peek(1)) == 'a' && lower(s.peek(2)) == 'n';
}

// Reads the header up to the first line of values. The corner (or centre),
// cell-size and no-data lines may be there or not: nothing of them is used.
std::optional<AsciiGridHeader> scanHeader(BufferedTextScanner& s) {
    std::optional<int> ncols;
    std::optional<int> nrows;
    std::string line;
    for (;;) {
        s.skipBlanks();
        if (s.peek() < 0) return std::nullopt;
        if (ncols && nrows && atValues(s)) return AsciiGridHeader{*ncols, *nrows};
        s.readLine(line, kMaxHeaderLine);
        const std::string lower = toLowerAscii(line);
        const std::string_view number =
            std::string_view(line).substr(std::min(line.size(), kHeaderNumberOffset));
        int n = 0;
        if (startsWith(lower, "ncol") && scanInt(number, n)) ncols = n;
        else if (startsWith(lower, "nrow") && scanInt(number, n)) nrows = n;
    }
}

MinMaxTracker readValues(GridContext& ws, BufferedTextScanner& s) {
    ElevationGrid& g = ws.grid;
    const float prescale = static_cast<float>(verticalPreScaleFactor(ws.settings));
    const bool invert = ws.settings.InvertElevation;
    MinMaxTracker range;
    for (int k = 0; k <= g.LastRow; ++k) {
        std::int32_t* row = g.row(g.LastRow - k);
        for (int l = 0; l <= g.LastCol; ++l) {
            float v = 0;
            const BufferedTextScanner::Scan got = s.readFloat(v);
            if (got == BufferedTextScanner::Scan::End) return range;
            if (got == BufferedTextScanner::Scan::NotANumber) {
                // Drop the unreadable text so the next row can be read.
                s.skipToken();
                break;
            }
            if (invert) v = -v;
            v = v * prescale;
            const std::int32_t e = truncateElevation(v);
            row[g.LastCol - l] = e;
            range.add(e);
        }
    }
    return range;
}

}  // namespace

int ReadAsciiGrid(GridContext& ws, std::FILE* in) {
    BufferedTextScanner scanner(in);
    const std::optional<AsciiGridHeader> header = scanHeader(scanner);
    if (!header) return -1;
    if (!allocateGridOrReport(ws, header->nrows, header->ncols, kAsciiGridAllocationFailed)) return -1;
    ws.grid.LastRow = header->nrows - 1;
    ws.grid.LastCol = header->ncols - 1;
    const MinMaxTracker range = readValues(ws, scanner);
    FinishGridLoad(ws, range.minimum(), range.maximum());
    return 0;
}

}  // namespace gorvale
