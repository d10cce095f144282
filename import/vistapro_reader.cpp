#include "import/vistapro_reader.h"

#include <cstdint>

#include "import/buffered_text_scanner.h"
#include "import/grid_operations.h"
#include "import/raster_reader_support.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

struct VistaLayout {
    std::int64_t perLine = 0;
    std::int64_t lines = 0;
};

bool isBlank(int c) { return c == ' ' || c == '\t'; }

// Counts the values of the first line (each one followed by a blank) and the
// lines. Lines after the last one with content (the empty line after a final
// line feed, trailing blank lines) are not rows; a last line without a line
// feed is.
VistaLayout measure(BufferedTextScanner& s) {
    VistaLayout layout;
    bool inValue = false;
    int c;
    while ((c = s.get()) >= 0 && c != '\n') {
        if (isBlank(c)) {
            if (inValue) ++layout.perLine;
            inValue = false;
        } else {
            inValue = true;
        }
    }
    layout.lines = 1;
    std::int64_t line = 1;  // index of the current line after the first
    bool hasContent = false;
    while ((c = s.get()) >= 0) {
        if (c == '\n') {
            if (hasContent) layout.lines = 1 + line;
            ++line;
            hasContent = false;
        } else if (!BufferedTextScanner::isSpace(c)) {
            hasContent = true;
        }
    }
    if (hasContent) layout.lines = 1 + line;
    return layout;
}

MinMaxTracker readValues(ElevationGrid& g, BufferedTextScanner& s) {
    MinMaxTracker range;
    for (int i = 0; i <= g.LastRow; ++i) {
        std::int32_t* row = g.row(g.LastRow - i);
        for (int j = 0; j <= g.LastCol; ++j) {
            int v = 0;
            if (s.readInt(v) != BufferedTextScanner::Scan::Value) return range;
            row[g.LastCol - j] = v;
            range.add(v);
        }
    }
    return range;
}

}  // namespace

int ReadVistaAscii(GridContext& ws, std::FILE* in) {
    BufferedTextScanner scanner(in);
    const VistaLayout layout = measure(scanner);
    if (std::fseek(in, 0, SEEK_SET) != 0) {
        ws.ui->fileError(ws.settings.DEMFile);
        return -1;
    }
    scanner.restart();
    if (!allocateGridOrReport(ws, layout.lines, layout.perLine, kVistaAllocationFailed)) return -1;
    ElevationGrid& g = ws.grid;
    g.LastRow = static_cast<std::int32_t>(layout.lines - 1);
    g.LastCol = static_cast<std::int32_t>(layout.perLine - 1);
    const MinMaxTracker range = readValues(g, scanner);
    FinishGridLoad(ws, range.minimum(), range.maximum());
    return 0;
}

}  // namespace gorvale
