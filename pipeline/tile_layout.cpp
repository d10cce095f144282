#include "pipeline/tile_layout.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

#include "pipeline/propdump_writer.h"
#include "base/text_convert.h"

namespace gorvale {

namespace {

constexpr const char* kTileNameFormat = "%02lld%c_%02lld%c.rwx";
constexpr const char* kTitlePrefix = "Gorvale  ->";
constexpr int kStatusPanel = 0;
constexpr double kCentringStep = 0.2;
constexpr int kCellCm = 1000;

// Truncation toward zero into a 32-bit world coordinate; values beyond the
// 32-bit range are held at its ends rather than wrapping to the far side.
std::int32_t truncToInt32(long double v) {
    if (std::isnan(v)) return 0;
    v = std::trunc(v);
    if (v <= std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    if (v >= std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(v);
}

bool stopHonoured(TileLoop& loop) {
    if (loop.Ui.stopRequested()) loop.Run.StopRequested = true;
    if (!loop.Run.StopRequested) return false;
    loop.Run.StopRequested = false;
    return true;
}

void recordExtremes(RunState& run, std::int32_t w, const RotatedPosition& p) {
    if (w != 0 && w < run.MinPoint.Value) run.MinPoint = {w, p.X, p.Z};
    if (w > run.MaxPoint.Value) run.MaxPoint = {w, p.X, p.Z};
}

void placeGroundZero(TileLoop& loop, const LayoutNumbers& numbers, std::int32_t base) {
    const ConversionSettings& s = loop.Settings;
    const std::int32_t flushBase = s.FlushWithGround ? base : 0;
    const int altitude = GroundZeroAltitude(flushBase, numbers.VerticalScale, loop.Run.PropElevationCm,
                                            loop.Writer.MaxVertexHeight());
    if (s.NoPropfile || s.GenerateOnlyTrees) return;
    const WorldObject teleport = GroundZeroTeleport(numbers.CitizenNumber, CurrentTime(loop), altitude);
    EmitObject(loop, teleport);
    if (s.BuildWithRobot) BuildWithBot(loop, teleport, kTeleportHeightCm);
}

}  // namespace

std::int32_t CurrentTime(const TileLoop& loop) {
    if (loop.Clock) return loop.Clock();
    return static_cast<std::int32_t>(std::time(nullptr));
}

void EmitPropdumpLine(TileLoop& loop, const std::string& line) {
    FilePtr& stream = loop.Run.PropdumpStream;
    if (!stream) return;
    if (!WritePropdumpLine(stream.get(), line)) {
        loop.Ui.fileError(pathWithReason(loop.Settings.PropFile, errno));
        loop.Run.WriteFailed = true;
        stream.reset();
    }
}

int EmitObject(TileLoop& loop, const WorldObject& object) {
    if (loop.Objects) return loop.Objects->Put(object);
    PropdumpFileSink file(loop.Run.PropdumpStream, loop.Settings.PropFile, loop.Ui, &loop.Run.WriteFailed);
    return file.Put(object);
}

void BuildWithBot(TileLoop& loop, const WorldObject& object, std::int32_t botHeight) {
    if (!loop.Builder) return;
    WorldObject atBot = object;
    atBot.X = truncToInt32(static_cast<long double>(object.X) + loop.Run.BotOffsetX);
    atBot.Z = truncToInt32(static_cast<long double>(object.Z) + loop.Run.BotOffsetZ);
    atBot.Y = botHeight;
    atBot.Timestamp = 0;
    loop.Builder->Put(atBot);
}

WorldObject GroundObject(std::int32_t citizen, std::int32_t timestamp, const GroundPlacement& at, int yaw,
                         const std::string& model) {
    WorldObject o;
    o.Owner = citizen;
    o.Timestamp = timestamp;
    o.X = at.x;
    o.Y = at.y;
    o.Z = at.z;
    o.Yaw = yaw;
    o.Model = model;
    return o;
}

WorldObject GroundZeroTeleport(std::int32_t citizen, std::int32_t timestamp, int altitude) {
    WorldObject o;
    o.Owner = citizen;
    o.Timestamp = timestamp;
    o.Y = kTeleportHeightCm;
    o.Model = kTeleportModel;
    o.Action = TeleportAction(altitude);
    return o;
}

LayoutNumbers ReadLayoutNumbers(const ConversionSettings& s, const WorkingRectangle& rect,
                                float objectUnits, const LayoutNumbers& previous) {
    LayoutNumbers n = previous;
    n.Rect = rect;
    n.ScalingStep = scalingStep(s);
    n.ObjectUnits = objectUnits;
    scanLong(s.CitizenNumber, n.CitizenNumber);
    scanLong(s.PropCenterNS, n.PropCenterNS);
    scanLong(s.PropCenterWE, n.PropCenterWE);
    scanInt(s.VerticalOffset, n.VerticalOffset);
    scanFloat(s.VerticalScale, n.VerticalScale);
    return n;
}

std::int32_t FirstTileCoordinate(int from, int to, int n, float u) {
    if (n < 1) n = 1;
    const std::int64_t half = (static_cast<std::int64_t>(to) - from) / 2;
    return truncToInt32(static_cast<long double>(-half / n) * u);
}

std::int32_t NextTileCoordinate(std::int32_t v, float u) {
    return truncToInt32(static_cast<long double>(v) + u);
}

std::string TileName(std::int32_t q, std::int32_t t) {
    const long long aq = std::llabs(static_cast<long long>(q));
    const long long at = std::llabs(static_cast<long long>(t));
    return format(kTileNameFormat, aq, q < 0 ? 's' : 'n', at, t < 0 ? 'e' : 'w');
}

std::string ModelNameOf(const std::string& path) {
    const auto sep = path.find_last_of("\\/");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

RotatedPosition RotateTile(std::int32_t q, std::int32_t t, int rotateWorld) {
    // Negating the most negative coordinate cannot be represented; hold it.
    const auto neg = [](std::int32_t v) {
        return v == std::numeric_limits<std::int32_t>::min() ? std::numeric_limits<std::int32_t>::max() : -v;
    };
    switch (rotateWorld) {
        case 1: return {q, neg(t), 900};
        case 2: return {neg(t), neg(q), 1800};
        case 3: return {neg(q), t, -900};
        default: return {t, q, 0};
    }
}

GroundPlacement PlaceGround(const RotatedPosition& p, const OverhangCounts& overhang,
                            const LayoutNumbers& numbers, std::int32_t flush,
                            std::int32_t propElevationCm) {
    const float u = numbers.ObjectUnits;
    const std::int64_t xCells = static_cast<std::int64_t>(p.X) * kCellCm + numbers.PropCenterWE;
    const std::int64_t zCells = static_cast<std::int64_t>(p.Z) * kCellCm + numbers.PropCenterNS;
    GroundPlacement g;
    g.x = truncToInt32(static_cast<long double>(xCells) -
                       static_cast<long double>(overhang.WE) * u * kCellCm);
    g.z = truncToInt32(static_cast<long double>(zCells) -
                       static_cast<long double>(overhang.NS) * u * kCellCm);
    g.y = truncToInt32(static_cast<long double>(flush) * 100 * numbers.VerticalScale + propElevationCm);
    return g;
}

std::int32_t BotGroundHeight(std::int32_t flush, float verticalScale, std::int32_t propElevationCm) {
    const std::int64_t h = static_cast<std::int64_t>(
                               truncToInt32(static_cast<long double>(flush) * 100 * verticalScale)) +
                           propElevationCm;
    return truncToInt32(static_cast<long double>(h));
}

int GroundZeroAltitude(std::int32_t flushBase, float verticalScale, std::int32_t propElevationCm,
                       int maxVertexHeight) {
    const long double cm = static_cast<long double>(flushBase) * verticalScale * 100 + propElevationCm;
    return truncToInt32(cm * 0.001L + maxVertexHeight + 1);
}

int TileCount(const WorkingRectangle& rect, int n) {
    if (n < 1) return 0;
    const auto along = [n](std::int64_t from, std::int64_t to) { return to - from >= n ? (to - from) / n : 0; };
    const std::int64_t count = along(rect.FromSouth, rect.ToNorth) * along(rect.FromWest, rect.ToEast);
    return static_cast<int>(std::min<std::int64_t>(count, std::numeric_limits<int>::max()));
}

namespace {

LayoutResult walkTiles(TileLoop& loop, const LayoutNumbers& numbers, int total) {
    LayoutResult result;
    const ConversionSettings& s = loop.Settings;
    const int n = numbers.ScalingStep;
    if (n < 1 || n > kMaxScalingStep) return result;  // no tile fits the height array
    const float u = numbers.ObjectUnits;
    const WorkingRectangle& rect = numbers.Rect;
    RunState& run = loop.Run;
    const OverhangChoices overhangChoices = OverhangChoicesFrom(s);
    const bool withTrees = s.GenerateTrees && loop.Trees;
    const bool withBot = s.BuildWithRobot && loop.Builder;

    std::int32_t q = FirstTileCoordinate(rect.FromSouth, rect.ToNorth, n, u);
    for (std::int64_t h = rect.FromSouth; h <= static_cast<std::int64_t>(rect.ToNorth) - n; h += n) {
        if (run.WriterResultSum < 0) {
            result.End = LayoutEnd::WriterFailed;
            return result;
        }
        std::int32_t t = FirstTileCoordinate(rect.FromWest, rect.ToEast, n, u);
        for (std::int64_t c = rect.FromWest; c <= static_cast<std::int64_t>(rect.ToEast) - n; c += n) {
            if (stopHonoured(loop)) {
                result.End = LayoutEnd::Stopped;
                return result;
            }
            if (run.WriterResultSum < 0) {
                result.End = LayoutEnd::WriterFailed;
                return result;
            }
            const int row = static_cast<int>(h);
            const int col = static_cast<int>(c);
            const TileEdges edges = EdgeFlags(row, col, rect, n);
            OverhangCounts overhang = EdgeOverhang(row, col, rect, n, overhangChoices);

            const std::string path = s.RWXFile + TileName(q, t);
            const std::string model = ModelNameOf(path);
            if (s.SingleObjectGround) {
                // The tile's place in the single model, in objects.
                overhang.WE = truncToInt32(static_cast<long double>(t) / u);
                overhang.NS = truncToInt32(static_cast<long double>(q) / u);
            }

            const std::int32_t base =
                ComputeBase(loop.Grid.SelectionMin, numbers.VerticalOffset, s.LeveledWithGround);

            if (withTrees) loop.Trees->SampleTreeZones(loop.Grid, row, col, n);
            FillTile(loop.Grid, row, col, n, edges, base, EdgeLevellingFrom(s), loop.Heights);
            // The north-west corner as filled, before the writer flattens it.
            const std::int32_t corner = loop.Heights.E(n, n);

            if (!s.NoRWX) {
                loop.Ui.setStatus(kStatusPanel, path);
                loop.Ui.setWindowTitle(kTitlePrefix + path);
            }
            loop.Ui.runProgress({result.TilesDone, total, s.NoRWX ? std::string() : path});
            // The one event point of a tile, with or without a model: a stop
            // pressed here is honoured at the next tile.
            loop.Ui.processEvents();
            if (!s.NoRWX) {
                run.WriterResultSum += loop.Writer.WriteGroundObject(path, n, overhang.NS, overhang.WE, base,
                                                                     numbers.VerticalScale, kCentringStep,
                                                                     0.0, 0.0, n);
                if (run.WriterResultSum < 0) {
                    result.End = LayoutEnd::WriterFailed;
                    return result;
                }
            }

            const RotatedPosition position = RotateTile(q, t, s.RotateWorld);
            std::int32_t flush = 0;
            if (s.FlushWithGround) flush = s.NoRWX ? base : loop.Writer.BaseElevationUsed();

            if (!s.NoPropfile) {
                if (!s.GenerateOnlyTrees && !s.SingleObjectGround) {
                    const GroundPlacement g =
                        PlaceGround(position, overhang, numbers, flush, run.PropElevationCm);
                    const WorldObject ground =
                        GroundObject(numbers.CitizenNumber, CurrentTime(loop), g, position.Yaw, model);
                    EmitObject(loop, ground);
                    if (withBot)
                        BuildWithBot(loop, ground, BotGroundHeight(flush, numbers.VerticalScale, run.PropElevationCm));
                }
                if (withTrees) loop.Trees->PlaceTrees(loop, numbers, TreeTile{position, base});
            }

            recordExtremes(run, corner, position);
            if (s.CreateBumpAtGZ && q == 0 && t == 0) placeGroundZero(loop, numbers, base);
            ++result.TilesDone;
            t = NextTileCoordinate(t, u);
        }
        q = NextTileCoordinate(q, u);
    }
    return result;
}

}  // namespace

LayoutResult LayoutTiles(TileLoop& loop, const LayoutNumbers& numbers) {
    const int total = TileCount(numbers.Rect, numbers.ScalingStep);
    const LayoutResult result = walkTiles(loop, numbers, total);
    loop.Ui.runProgress({result.TilesDone, total, {}});  // where the loop ended, whatever way
    return result;
}

}  // namespace gorvale
