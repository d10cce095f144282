#include "pipeline/tree_zones.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/text_convert.h"
#include "base/world_object.h"
#include "pipeline/propdump_writer.h"
#include "pipeline/window_values.h"
#include "pipeline/workspace.h"

namespace gorvale {
namespace {

constexpr int kDrawRange = LcgRandom::kMax;  // 32767: draws are scaled by r / 32767
constexpr int kFullTurn = 3600;              // tenths of a degree
constexpr int kCellCm = 1000;
constexpr int kHalfWorldCm = 500;            // world size (cells) x 500 = half its side in cm
constexpr int kMaxFieldDigits = 2;           // width and precision of a name's number field
constexpr const char* kNumberedForm = "%s%d.rwx";
constexpr const char* kScoreForm = "%s ;score=%d";
constexpr const char* kIntegerConversions = "diouxX";
constexpr const char* kFieldFlags = "-+ #0";

// Truncation toward zero into 32 bits; values beyond the range are held at its ends.
std::int32_t toInt32(long double v) {
    if (std::isnan(v)) return 0;
    v = std::trunc(v);
    if (v <= std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    if (v >= std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(v);
}
std::int32_t toInt32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

// A percentage of the selection's range above its minimum: int(range * p * 0.01 + min).
std::int32_t percentBound(std::int32_t selectionMin, std::int32_t selectionRange, float p) {
    // 0.01 is the double constant, as the percent texts were always converted.
    const long double v = static_cast<long double>(selectionRange) * p * static_cast<long double>(0.01) +
                          selectionMin;
    return toInt32(v);
}

// A name split around its one number field; "%%" already turned into "%".
struct NumberPattern {
    std::string before;
    std::string field;  // "%" flags width precision conversion
    std::string after;
};

// Empty and `out` filled when `name` is a usable pattern, else the reason.
std::string parsePattern(const std::string& name, NumberPattern& out) {
    out = {};
    bool haveField = false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        std::string& text = haveField ? out.after : out.before;
        if (name[i] != '%') {
            text += name[i];
            continue;
        }
        if (i + 1 < name.size() && name[i + 1] == '%') {
            text += '%';
            ++i;
            continue;
        }
        const std::size_t start = i++;
        while (i < name.size() && name[i] != '\0' && std::strchr(kFieldFlags, name[i])) ++i;
        std::size_t digits = 0;
        while (i < name.size() && name[i] >= '0' && name[i] <= '9') ++i, ++digits;
        bool fieldOk = digits <= kMaxFieldDigits;
        if (i < name.size() && name[i] == '.') {
            ++i;
            digits = 0;
            while (i < name.size() && name[i] >= '0' && name[i] <= '9') ++i, ++digits;
            fieldOk = fieldOk && digits <= kMaxFieldDigits;
        }
        const bool integer =
            i < name.size() && name[i] != '\0' && std::strchr(kIntegerConversions, name[i]) != nullptr;
        const std::string field = name.substr(start, i < name.size() ? i - start + 1 : i - start);
        if (!integer) return format("\"%s\" is not a whole-number field", field.c_str());
        if (!fieldOk) return format("the field \"%s\" is wider than 99 characters", field.c_str());
        if (haveField) return format("\"%s\" is a second number field", field.c_str());
        haveField = true;
        out.field = field;
    }
    if (!haveField) return "it holds no number field";
    return {};
}

}  // namespace

TreeRunValues ReadTreeRunValues(const ConversionSettings& s, std::int32_t selectionMin,
                                std::int32_t selectionRange, const TreeRunValues& previous) {
    TreeRunValues v = previous;
    v.ScoreMin = decimalInt(s.TreeScoreMin);
    v.ScoreMax = decimalInt(s.TreeScoreMax);
    v.ActionLine = s.TreeActionLine;
    for (int i = 0; i < kZoneRows; ++i) {
        const TreeZoneRow& row = s.TreeZones[static_cast<std::size_t>(i)];
        TreeZone& z = v.Zones[static_cast<std::size_t>(i)];
        scanInt(row.Lowest, z.Low);
        scanInt(row.Highest, z.High);
        if (z.Low >= z.High) z.High = z.Low == std::numeric_limits<std::int32_t>::max() ? z.Low : z.Low + 1;
        if (s.TreeRangeInPercent) {
            // The order test is not repeated: equal or crossed bounds stay so.
            scanFloat(row.Lowest, z.LowPercent);
            scanFloat(row.Highest, z.HighPercent);
            z.Low = percentBound(selectionMin, selectionRange, z.LowPercent);
            z.High = percentBound(selectionMin, selectionRange, z.HighPercent);
        }
        scanInt(row.NumberOfTrees, z.Count);
        if (z.Count < 0) z.Count = 0;
        scanInt(row.HeightOffset, z.Height);
        scanInt(row.NameSuffixFrom, z.From);
        if (z.From < 0) z.From = 0;
        z.Name = row.RWXName;
        z.Enabled = row.ObjectZone;
        z.RandomRotate = row.ObjectRandomRotateZone;
        z.RandomObject = row.ObjectRandomObjectRand;
        z.RandomScore = row.ObjectRandomObjectVal;
    }
    return v;
}

float InterpolateInCell(long double fx, long double fy, std::int32_t c00, std::int32_t c10, std::int32_t c01,
                        std::int32_t c11) {
    if (fx == 0 || fy == 0 || fx == 1 || fy == 1) return 0.0f;
    const long double v00 = c00, v10 = c10, v01 = c01, v11 = c11;
    if (fx + fy < 1) {
        // Triangle c00, c10, c01: t is where the line from c01 through the
        // point meets the edge c00-c10; the point lies fx / t of the way there.
        const float t = static_cast<float>(fx / (1 - fy));
        const float edge = static_cast<float>(v00 + (v10 - v00) * t);
        return static_cast<float>(v01 + (edge - v01) / t * fx);
    }
    // Triangle c10, c11, c01: from c10 through the point to the edge c01-c11.
    const float t = static_cast<float>((1 - fy / (1 - fx)) * (fx - 1) / fy);
    const float edge = static_cast<float>(v01 + (v11 - v01) * t);
    return static_cast<float>(v10 + (fx - 1) * (v10 - edge) / (1 - static_cast<long double>(t)));
}

TreeCandidate FindTreeCandidate(const ElevationGrid& grid, int h, int c, int n, float s, float a, float b,
                                const TreeZone& zone) {
    TreeCandidate found;
    if (n < 1) return found;
    const long double size = s;
    for (int J = 0; J <= n; ++J) {
        for (int K = 0; K <= n; ++K) {
            if (found.Found != kNoTreeCandidate) return found;
            if (!(J * size / n <= a && a < (J + 1) * size / n && K * size / n <= b && b < (K + 1) * size / n))
                continue;
            const std::int64_t r = static_cast<std::int64_t>(h) + J;
            const std::int64_t col = static_cast<std::int64_t>(c) + K;
            if (!grid.contains(r, col) || !grid.contains(r + 1, col + 1)) continue;
            const int row0 = static_cast<int>(r), col0 = static_cast<int>(col);
            const long double cell = size / n;
            const long double fx = a / cell - J;
            const long double fy = b / cell - K;
            const float e = InterpolateInCell(fx, fy, grid.cell(row0, col0), grid.cell(row0 + 1, col0),
                                              grid.cell(row0, col0 + 1), grid.cell(row0 + 1, col0 + 1));
            const std::int32_t R = toInt32(static_cast<long double>(e));
            if (zone.Low <= R && R <= zone.High) {
                found.Found = R;
                found.E = e;
                found.dNS = static_cast<float>((a - size * 0.5L) * 100);
                found.dWE = static_cast<float>((b - size * 0.5L) * 100);
            }
        }
    }
    return found;
}

std::string TreeNamePatternError(const std::string& name) {
    if (name.find('%') == std::string::npos) return {};
    NumberPattern pattern;
    return parsePattern(name, pattern);
}

std::string TreeModelName(const TreeZone& zone, std::int32_t k) {
    if (zone.Count <= 1) return zone.Name;
    if (zone.Name.find('%') == std::string::npos) return format(kNumberedForm, zone.Name.c_str(), k);
    NumberPattern pattern;
    // A refused pattern never reaches a run; should one, it is written as it stands.
    if (!parsePattern(zone.Name, pattern).empty()) return zone.Name;
    char number[256];
    // The field was checked above: one integer conversion, at most two-digit width and precision.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(number, sizeof number, pattern.field.c_str(), static_cast<int>(k));
#pragma GCC diagnostic pop
    return pattern.before + number + pattern.after;
}

std::string CheckTreeZoneNames(const ConversionSettings& s, const TreeRunValues& previous) {
    if (!s.GenerateTrees || s.NoPropfile) return {};
    for (int i = 0; i < kZoneRows; ++i) {
        const TreeZoneRow& row = s.TreeZones[static_cast<std::size_t>(i)];
        if (!row.ObjectZone) continue;
        int count = previous.Zones[static_cast<std::size_t>(i)].Count;
        scanInt(row.NumberOfTrees, count);
        if (count <= 1) continue;
        const std::string reason = TreeNamePatternError(row.RWXName);
        if (reason.empty()) continue;
        return format("Tree zone %d: the name \"%s\" is a pattern for %d numbered objects, so it must hold "
                      "exactly one whole-number field such as %%d (write %%%% for a percent sign), but %s. "
                      "Change the name, or set \"#of Trees\" to 1.",
                      i + 1, row.RWXName.c_str(), count, reason.c_str());
    }
    return {};
}

void TreeZones::ReadZones(const ConversionSettings& s, const ElevationGrid& grid, float objectUnits,
                          int westEastWorldSize) {
    values_ = ReadTreeRunValues(s, grid.SelectionMin, grid.SelectionRange, values_);
    generateTrees_ = s.GenerateTrees;
    objectUnits_ = objectUnits;
    westEastWorldSize_ = westEastWorldSize;
    candidates_.fill(TreeCandidate{});
}

void TreeZones::ReadZones(const Workspace& ws) {
    ReadZones(ws.settings, ws.grid, ws.shaping.ObjectUnits, WestEastWorldSize(ws.shaping.Tables, ws.settings.WorldSize));
}

void TreeZones::SampleTreeZones(const ElevationGrid& grid, int h, int c, int n) {
    const float s = 10.0f * objectUnits_;  // metres
    for (int i = 0; i < kZoneRows; ++i) {
        float a = -1.0f, b = -1.0f;  // no cell holds these
        if (generateTrees_) {
            // Drawn for every zone, used or not, so the sequence never depends on the switches.
            const int r1 = random_.Next();
            const int r2 = random_.Next();
            a = static_cast<float>((static_cast<long double>(s) - 1) * r1 / kDrawRange + 0.5L);
            b = static_cast<float>((static_cast<long double>(s) - 1) * r2 / kDrawRange + 0.5L);
        }
        candidates_[static_cast<std::size_t>(i)] =
            FindTreeCandidate(grid, h, c, n, s, a, b, values_.Zones[static_cast<std::size_t>(i)]);
    }
}

void TreeZones::PlaceTrees(TileLoop& loop, const LayoutNumbers& numbers, const TreeTile& tile) {
    for (int i = 0; i < kZoneRows; ++i) {
        const TreeZone& zone = values_.Zones[static_cast<std::size_t>(i)];
        const TreeCandidate& candidate = candidates_[static_cast<std::size_t>(i)];
        if (!zone.Enabled || candidate.Found == kNoTreeCandidate) continue;
        placeZone(loop, numbers, tile, zone, candidate);
    }
}

bool TreeZones::placeZone(TileLoop& loop, const LayoutNumbers& numbers, const TreeTile& tile,
                          const TreeZone& zone, const TreeCandidate& candidate) {
    const ConversionSettings& s = loop.Settings;
    if (s.TreeThinning) {
        // Read for every candidate; below 1 it keeps every candidate.
        const int thin = std::max(1, decimalInt(s.TreeThinValue));
        if (random_.Next() % thin != 0) return false;
    }
    const std::int32_t yaw = zone.RandomRotate ? random_.Next() * kFullTurn / kDrawRange : 0;

    WorldObject o;
    o.Owner = numbers.CitizenNumber;
    o.Yaw = yaw;
    const WorldOffset offset = RotateTreeOffset(candidate.dNS, candidate.dWE, s.RotateWorld);
    o.X = toInt32(static_cast<long double>(tile.Position.X) * kCellCm + offset.dX + numbers.PropCenterWE);
    o.Z = toInt32(static_cast<long double>(tile.Position.Z) * kCellCm + offset.dZ + numbers.PropCenterNS);
    if (s.RespectWorldSize) {
        const std::int64_t far = std::max(std::llabs(o.X), std::llabs(o.Z));
        if (far >= static_cast<std::int64_t>(westEastWorldSize_) * kHalfWorldCm) return false;
    }

    const float raised = static_cast<float>((static_cast<long double>(candidate.E) - tile.BaseElevation) * 100 *
                                            numbers.VerticalScale);
    std::int64_t y = toInt32(static_cast<long double>(raised));

    if (zone.RandomScore) {
        const std::int64_t span = static_cast<std::int64_t>(values_.ScoreMax) - values_.ScoreMin + 1;
        const std::int64_t score = random_.Next() * span / kDrawRange + values_.ScoreMin;
        o.Action = format(kScoreForm, values_.ActionLine.c_str(), static_cast<int>(toInt32(score)));
    } else {
        o.Action = values_.ActionLine;
    }

    const std::int64_t height = zone.Height;
    if (zone.RandomObject) {
        const std::int64_t offset = std::llabs(height) * random_.Next() / kDrawRange;
        y += (height < 0 ? -offset : offset) + loop.Run.PropElevationCm;
    } else {
        y += height + loop.Run.PropElevationCm;
    }
    o.Y = toInt32(y);

    std::int64_t k = zone.From;
    if (zone.Count > 1) {
        if (zone.RandomObject) {
            k = static_cast<std::int64_t>(random_.Next()) * zone.Count / kDrawRange + zone.From;
        } else if (zone.High != zone.Low) {
            k = (static_cast<std::int64_t>(candidate.Found) - zone.Low) * zone.Count /
                    (static_cast<std::int64_t>(zone.High) - zone.Low) +
                zone.From;
        }  // equal bounds: every candidate is the first variant
    }
    o.Model = TreeModelName(zone, toInt32(k));
    o.Timestamp = CurrentTime(loop);
    EmitPropdumpLine(loop, PropdumpLine(o));

    if (s.BuildWithRobot && loop.Builder) {
        BuildWithBot(loop, o, o.Y);
        loop.Ui.processEvents();
    }
    return true;
}

WorldOffset RotateTreeOffset(float dNS, float dWE, int rotateWorld) {
    switch (rotateWorld) {
        case 1: return {dNS, -dWE};   // X = q, Z = -t
        case 2: return {-dWE, -dNS};  // X = -t, Z = -q
        case 3: return {-dNS, dWE};   // X = -q, Z = t
        default: return {dWE, dNS};
    }
}

std::string TreeHeightEditChange(const std::string& text) { return decimalInt(text) < 0 ? "0" : text; }

bool ApplyTreeHeightEditChange(ConversionSettings& s) {
    bool changed = false;
    const auto apply = [&changed](std::string& text) {
        std::string fixed = TreeHeightEditChange(text);
        if (fixed != text) {
            text = std::move(fixed);
            changed = true;
        }
    };
    apply(s.TreeThinValue);
    for (TreeZoneRow& row : s.TreeZones) {
        apply(row.NameSuffixFrom);
        apply(row.NumberOfTrees);
    }
    return changed;
}

}  // namespace gorvale
