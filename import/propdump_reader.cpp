#include "import/propdump_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "import/grid_operations.h"
#include "base/c_file.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

constexpr std::int32_t kEmpty = -32000;
constexpr float kInitialMin = 3.2e6f;
constexpr float kInitialMax = -3.2e6f;
constexpr long kMaxTextLength = 1 << 20;  // no real name, description or action is longer
constexpr int kLineMax = 1023;

// The extent factors are double constants, as the cell counts of real files
// depend on their rounding (0.001 as a double is a little above a thousandth).
struct Spacing {
    double cellSize;
    double extentFactor;
};

Spacing spacingFor(int verticalPreScale) {
    switch (verticalPreScale) {
        case 1: return {500, 0.002};
        case 2: return {10, 0.1};
        case 3: return {1, 1};
        default: return {1000, 0.001};
    }
}

std::string readLineMax(std::FILE* f) {
    char buf[kLineMax + 1];
    if (!std::fgets(buf, sizeof buf, f)) return {};
    return buf;
}

struct Record {
    long x = 0, y = 0, z = 0;
    std::string model;
};

// Reads the next record; false at the end of the file. `valid` tells whether
// the record names a model.
bool nextRecord(std::FILE* f, PropdumpLayout layout, Record& r, bool& valid) {
    long n[11] = {};
    int nameLen = 0, descLen = 0, actionLen = 0;
    int got = 0, minimum = 9;
    unsigned hex = 0;
    switch (layout) {
        case PropdumpLayout::WithTiltRoll: {
            int tilt, roll;
            got = std::fscanf(f, "%ld%ld%ld%ld%ld%ld%d%d%d%d%d", &n[0], &n[1], &n[2], &n[3], &n[4], &n[5],
                              &tilt, &roll, &nameLen, &descLen, &actionLen);
            minimum = 11;
            break;
        }
        case PropdumpLayout::HexFirst:
            got = std::fscanf(f, "%x%ld%ld%ld%ld%ld%ld%d%d%d", &hex, &n[0], &n[1], &n[2], &n[3], &n[4], &n[5],
                              &nameLen, &descLen, &actionLen);
            break;
        case PropdumpLayout::Short:
            got = std::fscanf(f, "%ld%ld%ld%ld%ld%ld%d%d%d", &n[0], &n[1], &n[2], &n[3], &n[4], &n[5], &nameLen,
                              &descLen, &actionLen);
            break;
    }
    if (got == EOF) return false;
    valid = false;
    if (got < minimum) {
        if (std::fgetc(f) == EOF) return false;
    }
    if (got < 9 || nameLen == 0) return true;
    if (nameLen < 0 || descLen < 0 || actionLen < 0 || nameLen > kMaxTextLength || descLen > kMaxTextLength ||
        actionLen > kMaxTextLength)
        return true;  // a broken record: its texts cannot be placed
    std::fgetc(f);    // the separator
    r.model.assign(static_cast<std::size_t>(nameLen), '\0');
    const std::size_t read = std::fread(r.model.data(), 1, r.model.size(), f);
    r.model.resize(read);
    if (std::fseek(f, static_cast<long>(descLen) + actionLen, SEEK_CUR) != 0) return false;
    // Every layout puts owner and time before x, y and z.
    r.x = n[2];
    r.y = n[3];
    r.z = n[4];
    valid = read == static_cast<std::size_t>(nameLen);
    return true;
}

bool startsWithVertex(const char* word) {
    const char* v = "vertex";
    for (int i = 0; i < 6; ++i)
        if (word[i] == '\0' || (word[i] | 0x20) != v[i]) return false;
    return true;
}

// Calls visit(X, Y, Z) for every vertex of the model, in world centimetres.
void forEachVertex(const std::filesystem::path& modelPath, const Record& r,
                   const std::function<void(float, float, float)>& visit) {
    FilePtr m = openFile(modelPath.string(), "rb");
    if (!m) {
        FilePtr withExtension = openFile(modelPath.string() + ".rwx", "rb");
        if (!withExtension) return;
        m = std::move(withExtension);
    }
    char buf[4096];
    while (std::fgets(buf, sizeof buf, m.get())) {
        const char* p = buf;
        while (*p == ' ' || *p == '\t') ++p;
        if (!startsWithVertex(p)) continue;
        while (*p && *p != ' ' && *p != '\t') ++p;
        float v[3];
        const char* q = p;
        int got = 0;
        for (; got < 3; ++got) {
            while (*q == ' ' || *q == '\t') ++q;
            const char* end = q;
            while (*end && *end != ' ' && *end != '\t' && *end != '\r' && *end != '\n') ++end;
            if (!scanFloat(std::string_view(q, static_cast<std::size_t>(end - q)), v[got])) break;
            q = end;
        }
        if (got < 3) continue;
        const float X = static_cast<float>(static_cast<long double>(v[0]) * 1000 + r.x);
        const float Y = static_cast<float>(static_cast<long double>(v[1]) * 1000 + r.y);
        const float Z = static_cast<float>(static_cast<long double>(v[2]) * 1000 + r.z);
        visit(X, Y, Z);
    }
}

// Positions the stream at the first object line and returns the layout.
PropdumpLayout prepareStream(std::FILE* f) {
    std::string first = readLineMax(f);
    const bool header = !first.empty() && first[0] == 'p';
    if (header) first = readLineMax(f);
    std::rewind(f);
    const PropdumpLayout layout = detectPropdumpLayout(first);
    if (header) readLineMax(f);
    return layout;
}

void forEachModelVertex(std::FILE* f, long start, PropdumpLayout layout, const std::filesystem::path& dir,
                        const std::function<void(float, float, float)>& visit) {
    std::fseek(f, start, SEEK_SET);
    Record r;
    bool valid = false;
    while (nextRecord(f, layout, r, valid)) {
        if (valid) forEachVertex(dir / r.model, r, visit);
    }
}

struct Bounds {
    float minX = kInitialMin, minY = kInitialMin, minZ = kInitialMin;
    float maxX = kInitialMax, maxY = kInitialMax, maxZ = kInitialMax;
    bool anyInitial() const {
        return minX == kInitialMin || minY == kInitialMin || minZ == kInitialMin || maxX == kInitialMax ||
               maxY == kInitialMax || maxZ == kInitialMax;
    }
};

std::int32_t clampToInt32(long double v) {
    if (v > 2147483647.0L) return 2147483647;
    if (v < -2147483648.0L) return -2147483647 - 1;
    return static_cast<std::int32_t>(v);
}

// Fills the empty cells from their neighbours and turns sums into means,
// sweeping from the north-west corner down.
void finishCells(ElevationGrid& g, std::vector<std::int32_t>& count) {
    const int lastRow = g.LastRow, lastCol = g.LastCol, width = lastCol + 1;
    auto cnt = [&](int h, int l) -> std::int32_t& { return count[static_cast<std::size_t>(h) * width + l]; };
    for (int h = lastRow; h >= 0; --h) {
        for (int l = lastCol; l >= 0; --l) {
            std::int32_t& cell = g.cell(h, l);
            if (cell == kEmpty) {
                if (l == lastCol) {
                    if (h == lastRow) {
                        cell = 0;
                        ++cnt(h, l);
                    } else {
                        cell = g.cell(h + 1, l);
                    }
                } else if (h < 2 || l < 2 || h >= lastRow - 1 || l >= lastCol - 1) {
                    cell = g.cell(h, l + 1);
                } else {
                    long long sum = 0;
                    int n = 0;
                    for (int r = h - 2; r <= h + 2; ++r)
                        for (int c = l - 2; c <= l + 2; ++c) {
                            const std::int32_t v = g.cell(r, c);
                            if (v == kEmpty) continue;
                            const std::int32_t k = cnt(r, c);
                            sum += k != 0 ? v / k : v;
                            ++n;
                        }
                    cell = n > 0 ? clampToInt32(static_cast<long double>(sum / n)) : g.cell(h, l + 1);
                }
                ++cnt(h, l);
            }
            if (cnt(h, l) != 0) cell = cell / cnt(h, l);
        }
    }
}

}  // namespace

PropdumpLayout detectPropdumpLayout(const std::string& line) {
    unsigned hex;
    long l[6];
    int d[5];
    const int got = std::sscanf(line.c_str(), "%x%ld%ld%ld%ld%ld%ld%d%d%d%d%d", &hex, &l[0], &l[1], &l[2], &l[3],
                                &l[4], &l[5], &d[0], &d[1], &d[2], &d[3], &d[4]);
    if (got == 11) return PropdumpLayout::WithTiltRoll;
    if (got == 10 || (line.compare(0, 2, "0 ") != 0 && line.size() > 1 && (line[1] == ' ' || line[1] == 'x')))
        return PropdumpLayout::HexFirst;
    return PropdumpLayout::Short;
}

int ReadPropdumpBack(GridContext& ws, const std::string& path) {
    FilePtr f = openFile(path, "rb");
    if (!f) return 1;
    const PropdumpLayout layout = prepareStream(f.get());
    const long start = std::ftell(f.get());
    const std::filesystem::path dir = std::filesystem::path(path).parent_path();

    Bounds b;
    forEachModelVertex(f.get(), start, layout, dir, [&](float X, float Y, float Z) {
        b.minX = std::min(b.minX, X), b.maxX = std::max(b.maxX, X);
        b.minY = std::min(b.minY, Y), b.maxY = std::max(b.maxY, Y);
        b.minZ = std::min(b.minZ, Z), b.maxZ = std::max(b.maxZ, Z);
    });
    if (b.anyInitial()) return 1;

    const Spacing sp = spacingFor(ws.settings.VerticalPreScale);
    const long double rows = std::trunc((static_cast<long double>(b.maxZ) - b.minZ) * sp.extentFactor) + 2;
    const long double cols = std::trunc((static_cast<long double>(b.maxX) - b.minX) * sp.extentFactor) + 2;
    ElevationGrid& g = ws.grid;
    if (rows + 1 > static_cast<long double>(ElevationGrid::kMaxCells) ||
        cols + 1 > static_cast<long double>(ElevationGrid::kMaxCells) ||
        !g.allocate(static_cast<std::int64_t>(rows) + 1, static_cast<std::int64_t>(cols) + 1)) {
        ws.ui->message(format("The objects of %s spread over more grid cells than can be held.", path.c_str()),
                       "Error", MessageKind::Error, Buttons::Ok);
        return -1;
    }
    g.LastRow = static_cast<std::int32_t>(rows);
    g.LastCol = static_cast<std::int32_t>(cols);
    std::vector<std::int32_t> count;
    try {
        count.assign(static_cast<std::size_t>(g.LastRow + 1) * (g.LastCol + 1), 0);
    } catch (const std::bad_alloc&) {
        g.release();
        ws.ui->message(format("Not enough memory to read %s.", path.c_str()), "Error", MessageKind::Error,
                       Buttons::Ok);
        return -1;
    }
    for (int h = 0; h <= g.LastRow; ++h)
        for (int l = 0; l <= g.LastCol; ++l) {
            const bool frame = h < 2 || h >= g.LastRow - 1 || l < 2 || l >= g.LastCol - 1;
            g.cell(h, l) = frame ? 0 : kEmpty;
        }

    std::int32_t minimum = 2147483647, maximum = -2147483647 - 1;
    const int width = g.LastCol + 1;
    forEachModelVertex(f.get(), start, layout, dir, [&](float X, float Y, float Z) {
        const long double c = std::trunc((static_cast<long double>(X) - b.minX) / sp.cellSize);
        const long double r = std::trunc((static_cast<long double>(Z) - b.minZ) / sp.cellSize);
        if (r < 0 || c < 0 || r > g.LastRow || c > g.LastCol) return;
        const int row = static_cast<int>(r), col = static_cast<int>(c);
        std::int32_t& cell = g.cell(row, col);
        if (cell == kEmpty) cell = 0;
        cell = clampToInt32(std::trunc(static_cast<long double>(cell) + Y));
        ++count[static_cast<std::size_t>(row) * width + col];
        const std::int32_t y = clampToInt32(std::trunc(static_cast<long double>(Y)));
        minimum = std::min(minimum, y);
        maximum = std::max(maximum, y);
    });
    finishCells(g, count);
    f.reset();
    FinishGridLoad(ws, minimum, maximum);
    return 0;
}

}  // namespace gorvale
