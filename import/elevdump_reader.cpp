#include "import/elevdump_reader.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "import/grid_operations.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

constexpr int kPageCells = 128;
constexpr std::size_t kHeaderLineMax = 1023;

// One whole line, whatever its length, without its line end; false at end of file.
bool readLine(std::FILE* in, std::string& line) {
    line.clear();
    int c;
    bool any = false;
    while ((c = std::getc(in)) != EOF) {
        any = true;
        if (c == '\n') break;
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
}

// Scans up to `count` "%d" numbers from the front of text; returns how many.
int scanNumbers(const char*& p, const char* end, int count, long* out) {
    int got = 0;
    while (got < count) {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\v' || *p == '\f')) ++p;
        const char* start = p;
        if (p < end && (*p == '+' || *p == '-')) ++p;
        if (p >= end || *p < '0' || *p > '9') {
            p = start;
            break;
        }
        int value = 0;
        if (!scanInt(std::string_view(start, static_cast<std::size_t>(end - start)), value)) break;
        while (p < end && *p >= '0' && *p <= '9') ++p;
        out[got++] = value;
    }
    return got;
}

struct NodeHeader {
    long pageA, pageB, offA, offB, half, texCount, heightCount;
};

bool parseHeader(const char*& p, const char* end, NodeHeader& h) {
    long v[7];
    if (scanNumbers(p, end, 7, v) != 7) return false;
    h = {v[0], v[1], v[2], v[3], v[4], v[5], v[6]};
    return true;
}

struct PageRange {
    long minA = 1000, maxA = -1000, minB = 1000, maxB = -1000;
    bool empty() const { return minA > maxA || minB > maxB; }
};

PageRange scanPageRange(std::FILE* in) {
    PageRange r;
    std::string line;
    while (readLine(in, line)) {
        const char* p = line.data();
        long v[2];
        if (scanNumbers(p, line.data() + line.size(), 2, v) < 2) continue;
        r.minA = std::min(r.minA, v[0]);
        r.maxA = std::max(r.maxA, v[0]);
        r.minB = std::min(r.minB, v[1]);
        r.maxB = std::max(r.maxB, v[1]);
    }
    return r;
}

int originOf(long minimumPage) { return minimumPage < 0 ? static_cast<int>(64 + kPageCells * -minimumPage) : 64; }

void showOrigin(GridContext& ws) {
    ShowLabel(ws, Label::WE_Center, format("%d", ws.ElevdumpOriginCol));
    ShowLabel(ws, Label::NS_Center, format("%d", ws.ElevdumpOriginRow));
    ws.ui->gridFactsChanged();
    ws.ui->setCommandEnabled(Command::PresetTerrain, true);
    if (ws.settings.ExcludeRectangle) ws.ui->setCommandEnabled(Command::SetExcludedRectangle, true);
}

// Stores one node's heights; returns false when the node is malformed.
bool storeNode(ElevationGrid& g, const NodeHeader& h, const PageRange& r, const std::vector<long>& heights,
               std::int32_t& minimum, std::int32_t& maximum) {
    const long side = 2 * h.half;
    if (h.half <= 0 || side > kPageCells || h.offA < 0 || h.offB < 0) return false;
    if (h.heightCount != 1 && static_cast<long>(heights.size()) < side * side) return false;
    const long rowBase = (h.pageB - r.minB) * kPageCells + h.offB;
    const long colBase = (h.pageA - r.minA) * kPageCells + h.offA;
    std::size_t next = 0;
    for (long l = 0; l < side; ++l) {
        for (long m = 0; m < side; ++m) {
            const std::int32_t v = static_cast<std::int16_t>(h.heightCount == 1 ? heights[0] : heights[next++]);
            const long row = rowBase + l;
            const long col = colBase + m;
            if (!g.contains(row, col)) continue;  // a node reaching outside its page
            g.cell(static_cast<int>(row), static_cast<int>(col)) = v;
            minimum = std::min(minimum, v);
            maximum = std::max(maximum, v);
        }
    }
    return true;
}

void fillNodes(std::FILE* in, ElevationGrid& g, const PageRange& r, std::int32_t& minimum,
               std::int32_t& maximum) {
    std::string line;
    std::vector<long> values;
    while (readLine(in, line)) {
        const char* p = line.data();
        const char* end = p + line.size();
        NodeHeader h;
        if (!parseHeader(p, end, h)) continue;
        if (h.texCount < 0 || h.texCount > 64 || h.heightCount < 0 || h.heightCount > 64) continue;
        values.assign(static_cast<std::size_t>(h.texCount + h.heightCount), 0);
        const int got = scanNumbers(p, end, static_cast<int>(values.size()), values.data());
        if (got < h.texCount + h.heightCount || h.heightCount == 0) continue;
        std::vector<long> heights(values.begin() + h.texCount, values.end());
        storeNode(g, h, r, heights, minimum, maximum);
    }
}

}  // namespace

int ReadElevdump(GridContext& ws, std::FILE* in) {
    std::rewind(in);
    std::string first;
    readLine(in, first);
    if (first.size() > kHeaderLineMax) first.resize(kHeaderLineMax);
    if (toLowerAscii(first).find("elevdump version ") == std::string::npos) {
        ws.ui->message(ws.settings.DEMFile, "Not an elevation dump file!", MessageKind::Error, Buttons::Ok);
        return 1;
    }
    const long afterHeader = std::ftell(in);
    const PageRange r = scanPageRange(in);
    if (r.empty()) {
        ws.ui->message("The elevation dump holds no terrain node: " + ws.settings.DEMFile,
                       "Not an elevation dump file!", MessageKind::Error, Buttons::Ok);
        return 1;
    }
    ws.ElevdumpOriginCol = originOf(r.minA);
    ws.ElevdumpOriginRow = originOf(r.minB);
    showOrigin(ws);

    ElevationGrid& g = ws.grid;
    const std::int64_t lastCol = (static_cast<std::int64_t>(r.maxA) - r.minA + 1) * kPageCells;
    const std::int64_t lastRow = (static_cast<std::int64_t>(r.maxB) - r.minB + 1) * kPageCells;
    if (!g.allocate(lastRow + 1, lastCol + 1)) {
        ws.ui->message(format("Elevation dump needs %lld x %lld cells, more than can be held: %s",
                              static_cast<long long>(lastRow + 1), static_cast<long long>(lastCol + 1),
                              ws.settings.DEMFile.c_str()),
                       "Error", MessageKind::Error, Buttons::Ok);
        return -1;
    }
    g.LastCol = static_cast<std::int32_t>(lastCol);
    g.LastRow = static_cast<std::int32_t>(lastRow);

    std::fseek(in, afterHeader, SEEK_SET);
    std::int32_t minimum = 32767, maximum = -32768;
    fillNodes(in, g, r, minimum, maximum);
    if (minimum > maximum) minimum = maximum = 0;
    FinishGridLoad(ws, minimum, maximum);
    return 0;
}

}  // namespace gorvale
