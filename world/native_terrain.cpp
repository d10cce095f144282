#include "world/native_terrain.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "base/button_question.h"
#include "base/text_convert.h"
#include "import/elevdump_writer.h"
#include "import/grid_operations.h"
#include "rwx/texture_zones.h"
#include "world/aw_sdk.h"
#include "world/builder_bot.h"

namespace gorvale {
namespace {

constexpr std::int32_t kLimitVersion4 = 100000;
constexpr std::int32_t kLimitOlder = 32764;
constexpr int kDefaultCliffTexture = 61;
constexpr int kTerrainVersion = 2;
constexpr int kPaceStepMs = 50;

// Orientation codes by RotateBot2 row; columns A, B, C, D. Rotation codes
// sit in the top two bits of an 8-bit code (DontRotate) or of a 16-bit one.
constexpr int kCornerSmall[4][4] = {{128, 192, 0, 64}, {0, 192, 128, 64}, {192, 128, 64, 0}, {64, 128, 192, 0}};
constexpr int kCornerLarge[4][4] = {
    {32768, 49152, 0, 16384}, {0, 49152, 32768, 16384}, {49152, 32768, 16384, 0}, {16384, 32768, 49152, 0}};
constexpr int kEdgeSmall[4][4] = {{128, 192, 0, 64}, {64, 0, 192, 128}, {0, 192, 128, 64}, {64, 128, 192, 0}};
constexpr int kEdgeLarge[4][4] = {
    {32768, 49152, 0, 16384}, {16384, 0, 49152, 32768}, {0, 49152, 32768, 16384}, {16384, 32768, 49152, 0}};

int rowOf(int r) { return r < 0 || r > 3 ? 0 : r; }

// The four values of a node's block: itself and its neighbours towards
// i - 1 and j - 1 (an index below 0 taken as 0).
void blockRange(const NodeMatrix& g, int i, int j, std::int64_t& hi, std::int64_t& lo) {
    const int ia = std::max(i - 1, 0);
    const int ja = std::max(j - 1, 0);
    const std::int32_t v[4] = {g.at(i, j), g.at(ia, j), g.at(ia, ja), g.at(i, ja)};
    hi = *std::max_element(v, v + 4);
    lo = *std::min_element(v, v + 4);
}

bool isCliff(const TerrainNumbers& n, std::int64_t hi, std::int64_t lo) {
    return n.cliffTextures && hi - lo > n.cliffThreshold;
}

std::int32_t truncatedCm(float h) {
    if (!(h == h)) return 0;
    if (h >= static_cast<float>(std::numeric_limits<std::int32_t>::max())) return std::numeric_limits<std::int32_t>::max();
    if (h <= static_cast<float>(std::numeric_limits<std::int32_t>::min())) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(h);
}

int radiusForNode(std::int64_t n) {
    if (n > 63) return static_cast<int>((n - 63 + 127) / 128);
    if (n < -64) return static_cast<int>((-n - 64 + 127) / 128);
    return 0;
}

}  // namespace

int CliffTextureNumberOf(const std::string& name) {
    if (name.compare(0, 7, "terrain") != 0) return kDefaultCliffTexture;
    const std::string rest = name.substr(7);
    if (rest.empty() || !(std::isdigit(static_cast<unsigned char>(rest[0])) || rest[0] == '-' || rest[0] == '+'))
        return kDefaultCliffTexture;
    int v = 0;
    return scanInt(rest, v) ? v : kDefaultCliffTexture;
}

int CornerOffset(bool dontRotate, int r, int side) {
    return (dontRotate ? kCornerSmall : kCornerLarge)[rowOf(r)][side & 3];
}

int EdgeOffset(bool dontRotate, int r, int side) { return (dontRotate ? kEdgeSmall : kEdgeLarge)[rowOf(r)][side & 3]; }

std::int32_t NodeMatrix::clamped(int i, int j) const {
    return at(std::clamp(i, 0, R - 1), std::clamp(j, 0, C - 1));
}

NodeMatrix BuildZoneMap(const NodeMatrix& g, const ZoneTable& zones, const TerrainNumbers& n) {
    NodeMatrix map(g.R, g.C);
    for (int i = 0; i < g.R; ++i)
        for (int j = 0; j < g.C; ++j) {
            std::int64_t hi = 0, lo = 0;
            blockRange(g, i, j, hi, lo);
            if (isCliff(n, hi, lo)) {
                map.at(i, j) = kCliffZone;
                continue;
            }
            std::int32_t zone = 0;
            for (int z = 0; z < kZoneRows; ++z) {
                const ZoneRow& row = zones.rows[z];
                if (row.ObjectZone && row.Lowest <= hi && hi <= row.Highest) {
                    zone = z + 1;
                    break;
                }
            }
            map.at(i, j) = zone;
        }
    return map;
}

std::int32_t NodeTextureCode(const NodeMatrix& g, const NodeMatrix& map, const ZoneTable& zones,
                             const TerrainNumbers& n, int i, int j) {
    std::int64_t hi = 0, lo = 0;
    blockRange(g, i, j, hi, lo);
    if (isCliff(n, hi, lo)) return n.CliffTextureNumber;
    for (int z = 0; z < kZoneRows; ++z) {
        const ZoneRow& row = zones.rows[z];
        const std::int32_t P = z + 1;
        if (!row.ObjectZone || map.at(i, j) != P) continue;
        const bool A = map.clamped(i - 1, j) == P + 1;
        const bool B = map.clamped(i, j - 1) == P + 1;
        const bool Cn = map.clamped(i + 1, j) == P + 1;
        const bool D = map.clamped(i, j + 1) == P + 1;
        if (row.OpacityZone && (A || B || Cn || D)) {
            int side = -1;
            if (A && B)
                side = 0;
            else if (B && Cn)
                side = 1;
            else if (Cn && D)
                side = 2;
            else if (D && A)
                side = 3;
            if (side >= 0) {
                const long double sum =
                    static_cast<long double>(row.OpacityValue) + CornerOffset(n.dontRotate, n.r, side);
                return static_cast<std::int32_t>(sum);
            }
        }
        if (row.ObjectTagZone && (A + B + Cn + D) == 1) {
            const int side = A ? 0 : B ? 1 : Cn ? 2 : 3;
            return row.TagStartValue + EdgeOffset(n.dontRotate, n.r, side);
        }
        const std::int64_t width = static_cast<std::int64_t>(row.Highest) - row.Lowest + 1;
        std::int64_t q = width != 0 ? row.NumberOfTexts * (hi - row.Lowest) / width : 0;
        if (row.NumberOfTexts == 1 && q != 0) q -= 1;
        return static_cast<std::int32_t>(row.NameSuffixFrom + q);
    }
    return 0;
}

void ForEachTerrainStrip(const TerrainNodes& nodes, int r, int x0, int z0,
                         const std::function<bool(const TerrainStrip&)>& each) {
    const NodeMatrix& H = nodes.NodeHeights;
    const NodeMatrix& T = nodes.NodeTextures;
    const int R = H.R, C = H.C;
    TerrainStrip strip;
    const auto take = [&](int count, const std::function<std::pair<int, int>(int)>& node) {
        strip.textures.resize(static_cast<std::size_t>(count));
        strip.heights.resize(static_cast<std::size_t>(count));
        for (int m = 0; m < count; ++m) {
            const auto [i, k] = node(m);
            strip.textures[m] = T.at(i, k);
            strip.heights[m] = H.at(i, k);
        }
        return each(strip);
    };
    switch (rowOf(r)) {
        case 0:
            strip.x = x0 - C / 2;
            strip.z = z0 + R / 2;
            for (int i = 0; i < R; ++i, --strip.z)
                if (!take(C, [i](int m) { return std::pair{i, m}; })) return;
            break;
        case 1:
            strip.x = x0 - R / 2;
            strip.z = z0 + C / 2;
            for (int k = 0; k < C; ++k, --strip.z)
                if (!take(R, [R, k](int m) { return std::pair{R - 1 - m, k}; })) return;
            break;
        case 2:
            strip.x = x0 - C / 2;
            strip.z = z0 - R / 2;
            for (int i = 0; i < R; ++i, ++strip.z)
                if (!take(C, [i, C](int m) { return std::pair{i, C - 1 - m}; })) return;
            break;
        case 3:
            strip.x = x0 - R / 2;
            strip.z = z0 - C / 2;
            for (int k = 0; k < C; ++k, ++strip.z)
                if (!take(R, [k](int m) { return std::pair{m, k}; })) return;
            break;
    }
}

std::vector<std::pair<int, int>> TerrainRuns(const std::int32_t* textures, int count, int limit) {
    std::vector<std::pair<int, int>> runs;
    for (int m = 0; m < count;) {
        int length = 1;
        while (m + length < count && length < limit && textures[m + length] == textures[m]) ++length;
        runs.emplace_back(m, length);
        m += length;
    }
    return runs;
}

int PageRadiusFor(int xLow, int zLow, int xHigh, int zHigh) {
    return std::max({radiusForNode(xLow), radiusForNode(zLow), radiusForNode(xHigh), radiusForNode(zHigh)});
}

std::string ElevationLimitText(std::int32_t limit, int i, int k, float h) {
    return format("Max elevation=%d, Offending point at %d %d is %.1f\nDo you want to continue anyway?", limit, i, k,
                  static_cast<double>(h));
}

void NativeTerrain::Offsets(const ConversionSettings& s, const RunState& run, int R, int C, int fromSouth,
                            int fromWest, int& x0, int& z0) {
    x0 = s.BuildWithRobot ? run.BotOffsetX / 1000 : 0;
    z0 = s.BuildWithRobot ? run.BotOffsetZ / 1000 : 0;
    if (s.FixGZ) {
        x0 += C / 2 + fromWest - decimalInt(s.ColGZ);
        z0 += R / 2 + fromSouth - decimalInt(s.RowGZ);
    }
}

bool NativeTerrain::stopRequested() {
    if (ws_.ui->stopRequested()) run_.StopRequested = true;
    return run_.StopRequested;
}

std::optional<TerrainNodes> NativeTerrain::ComputeNodes(TerrainNumbers& n) {
    ConversionSettings& s = ws_.settings;
    n.ElevationLimit = s.WorldVersion4 ? kLimitVersion4 : kLimitOlder;
    n.CliffTextureNumber = CliffTextureNumberOf(s.CliffTextureName);
    n.cliffThreshold = decimalInt(s.CliffTextureMin);
    n.heightOffset = decimalInt(s.VerticalOffset);
    n.heightScale = floatOr(s.VerticalScale, 0.0f);
    n.base = PrepareZoneTable(ws_);
    n.r = rowOf(s.RotateBot2);
    n.cliffTextures = s.CliffTextures;
    n.leveledWithGround = s.LeveledWithGround;
    n.dontRotate = s.DontRotate;

    const SelectionRect sel = clampedSelection(ws_);
    const int C = sel.west - sel.east + 1;
    const int R = sel.north - sel.south + 1;
    if (C < 1 || R < 1) return TerrainNodes{};

    NodeMatrix g(R, C);
    for (int i = 0; i < R; ++i)
        for (int j = 0; j < C; ++j) {
            const int row = sel.north - i, col = sel.west - j;
            g.at(i, j) = ws_.grid.contains(row, col) ? ws_.zones.FlattenByZones(ws_.grid.cell(row, col)) : 0;
        }
    const NodeMatrix map = BuildZoneMap(g, ws_.zones, n);
    TerrainNodes nodes{NodeMatrix(R, C), NodeMatrix(R, C)};
    bool warned = false;
    for (int i = 0; i < R; ++i)
        for (int j = 0; j < C; ++j) {
            const int k = C - 1 - j;
            nodes.NodeTextures.at(i, k) = NodeTextureCode(g, map, ws_.zones, n, i, j);
            std::int64_t v = g.at(i, j);
            if (n.leveledWithGround) v -= n.base;
            const float h = static_cast<float>(n.heightOffset) + static_cast<float>(v) * 100.0f * n.heightScale;
            if (!warned && std::fabs(h) > static_cast<float>(n.ElevationLimit)) {
                warned = true;
                const Answer a = AskButtonQuestion(*ws_.ui, ButtonQuestion::ElevationLimit, ElevationLimitText(n.ElevationLimit, i, k, h),
                                                  kElevationLimitCaption, MessageKind::Warning, Buttons::OkCancel);
                if (a != Answer::Ok) return std::nullopt;
            }
            nodes.NodeHeights.at(i, k) = truncatedCm(h);
        }
    return nodes;
}

bool NativeTerrain::SetTerrainStrip(int x, int z, bool deleteOld, const std::int32_t* textures,
                                    const std::int32_t* heights, int count) {
    ConversionSettings& s = ws_.settings;
    if (s.BuildWithRobot && deleteOld && bot_) {
        s.DeleteOldTerrain = false;
        if (const int c = aw_terrain_delete_all()) {
            bot_->LogReason("Error in deleting terrain", c);
            return false;
        }
    }
    ws_.ui->processEvents();
    if (stopRequested()) return false;
    if (mirror_) {
        for (int m = 0; m < count; ++m) {
            const long long a = static_cast<long long>(x) + m + half_;
            const long long b = static_cast<long long>(z) + half_;
            if (a < 0 || a >= side_ || b < 0 || b >= side_) break;
            mirror_->height(static_cast<int>(a), static_cast<int>(b)) = heights[m];
            mirror_->texture(static_cast<int>(a), static_cast<int>(b)) = static_cast<std::uint16_t>(textures[m] & 0xFFFF);
        }
    }
    if (!s.BuildWithRobot || !bot_) return true;
    bot_->ShowAction(format("Terrain: at x=%7d z=%7d", x, z));
    for (const auto& [m, length] : TerrainRuns(textures, count, AW_MAX_TERRAIN_COUNT)) {
        if (stopRequested()) return false;
        bot_->Log().AppendUnmarked(format("Terrain params: cx=%d cz=%d num=%d tex=%d", x + m, z, length, textures[m]));
        std::string line;
        for (int t = 0; t < length; ++t) line += format("%d ", heights[m + t]);
        bot_->Log().AppendUnmarked(line);
        aw_int_set(AW_TERRAIN_VERSION_NEEDED, kTerrainVersion);
        std::vector<int> run(heights + m, heights + m + length);
        if (const int c = aw_terrain_set(x + m, z, length, textures[m], run.data())) {
            bot_->LogReason("Error in setting terrain", c);
            return false;
        }
        for (int w = 1; w < bot_->PaceCount; ++w) {
            ws_.ui->processEvents();
            bot_->Wait(kPaceStepMs);
            bot_->Wait(kPaceStepMs);
        }
        ws_.ui->processEvents();
    }
    return true;
}

TerrainOutcome NativeTerrain::GenerateAwTerrain() {
    TerrainOutcome outcome;
    ConversionSettings& s = ws_.settings;
    struct EndOfRun {
        ConversionSettings& s;
        TerrainArrays*& mirror;
        ~EndOfRun() {
            s.DeleteOldTerrain = false;  // a one-shot, also when the run ends early
            mirror = nullptr;
        }
    } endOfRun{s, mirror_};

    TerrainNumbers numbers;
    std::optional<TerrainNodes> nodes = ComputeNodes(numbers);
    if (!nodes) {
        outcome.end = TerrainEnd::Cancelled;
        return outcome;
    }
    const int R = nodes->NodeHeights.R, C = nodes->NodeHeights.C;
    if (R == 0 || C == 0) return outcome;
    int x0 = 0, z0 = 0;
    const SelectionRect sel = clampedSelection(ws_);
    Offsets(s, run_, R, C, sel.south, sel.east, x0, z0);

    // The mirror holds every node sent: its page range comes from the strips'
    // own extent, not from the selection's distance to the origin.
    int xLow = std::numeric_limits<int>::max(), xHigh = std::numeric_limits<int>::min();
    int zLow = xLow, zHigh = xHigh;
    ForEachTerrainStrip(*nodes, numbers.r, x0, z0, [&](const TerrainStrip& strip) {
        xLow = std::min(xLow, strip.x);
        xHigh = std::max(xHigh, strip.x + static_cast<int>(strip.heights.size()) - 1);
        zLow = std::min(zLow, strip.z);
        zHigh = std::max(zHigh, strip.z);
        return true;
    });
    std::optional<TerrainArrays> mirror;
    if (!s.NoPropfile) {
        const int radius = PageRadiusFor(xLow, zLow, xHigh, zHigh);
        if (radius > kMaxMirrorPageRadius) {
            ws_.ui->message(format("The terrain reaches node x=%d..%d z=%d..%d, more than %d pages from the world's "
                                   "origin; its elevation dump %s cannot be held. Nothing was sent.",
                                   xLow, xHigh, zLow, zHigh, kMaxMirrorPageRadius, s.PropFile.c_str()),
                            "Error", MessageKind::Error, Buttons::Ok);
            outcome.end = TerrainEnd::Refused;
            return outcome;
        }
        mirror.emplace(radius);
        mirror_ = &*mirror;
        side_ = mirror->size();
        half_ = mirror->centre();
    }

    ForEachTerrainStrip(*nodes, numbers.r, x0, z0, [&](const TerrainStrip& strip) {
        if (stopRequested()) {
            outcome.end = TerrainEnd::Stopped;
            return false;
        }
        const bool ok = SetTerrainStrip(strip.x, strip.z, s.DeleteOldTerrain, strip.textures.data(),
                                        strip.heights.data(), static_cast<int>(strip.heights.size()));
        if (!ok) {
            outcome.end = TerrainEnd::Stopped;
            return false;
        }
        ++outcome.stripsSent;
        ws_.ui->processEvents();
        return true;
    });

    if (mirror) {
        outcome.nodesWritten = WriteElevdump(s.PropFile, *mirror, s.WorldVersion4);
        if (outcome.nodesWritten < 0) {
            outcome.elevdumpFailed = true;
            ws_.ui->fileError(s.PropFile);
        }
    }
    return outcome;
}

}  // namespace gorvale
