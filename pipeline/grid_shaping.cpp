#include "pipeline/grid_shaping.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "base/text_convert.h"

namespace gorvale {

namespace {

constexpr std::int32_t kScanMinimumStart = 32000;
constexpr std::int32_t kScanMaximumStart = 0;
constexpr int kMaxOverhangChoice = 2;

std::int32_t saturate(std::int64_t value) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()));
}

std::int32_t storedOrZero(const ElevationGrid& grid, std::int64_t row, std::int64_t col) {
    return grid.contains(row, col) ? grid.cell(static_cast<int>(row), static_cast<int>(col)) : 0;
}

int clampChoice(int choice) { return std::clamp(choice, 0, kMaxOverhangChoice); }

// Sharp levelling: the outer boundary line of the area goes to the ground.
bool onOuterBoundary(const TileEdges& edges, int n, int J, int K) {
    return (edges.FirstRow && J == 0) || (edges.LastRow && J == n) ||
           (edges.FirstColumn && K == 0) || (edges.LastColumn && K == n);
}

}  // namespace

SelectionScan ScanSelection(ElevationGrid& grid, const WorkingRectangle& rect) {
    SelectionScan scan;
    scan.Minimum = kScanMinimumStart;
    scan.Maximum = kScanMaximumStart;
    // Only the part of the rectangle that lies in storage can be read.
    const int firstRow = std::max(rect.FromSouth, 0);
    const int lastRow = std::min(rect.ToNorth, grid.AllocatedRows() - 1);
    const int firstCol = std::max(rect.FromWest, 0);
    const int lastCol = std::min(rect.ToEast, grid.AllocatedCols() - 1);
    for (int r = firstRow; r <= lastRow; ++r) {
        for (int c = firstCol; c <= lastCol; ++c) {
            scan.Maximum = std::max(scan.Maximum, grid.cell(r, c));
            scan.Minimum = std::min(scan.Minimum, grid.ElevationAt(r, c));
        }
    }
    grid.SelectionMin = scan.Minimum;
    grid.SelectionRange =
        saturate(static_cast<std::int64_t>(scan.Maximum) - static_cast<std::int64_t>(scan.Minimum));
    return scan;
}

void RaiseSelectionRange(ElevationGrid& grid) {
    if (grid.SelectionRange < 1) grid.SelectionRange = 1;
}

std::int32_t ComputeBase(std::int32_t selectionMin, int verticalOffset, bool leveledWithGround) {
    if (!leveledWithGround) return verticalOffset;
    return saturate(static_cast<std::int64_t>(selectionMin) - verticalOffset);
}

std::int32_t ComputeBase(const ElevationGrid& grid, const ConversionSettings& settings) {
    int offset = 0;
    scanInt(settings.VerticalOffset, offset);
    return ComputeBase(grid.SelectionMin, offset, settings.LeveledWithGround);
}

TileEdges EdgeFlags(int h, int c, const WorkingRectangle& rect, int n) {
    TileEdges e;
    const std::int64_t N = rect.ToNorth;
    const std::int64_t W = rect.ToEast;
    e.FirstRow = h == rect.FromSouth;
    e.LastRow = h == N - n;
    e.FirstColumn = c == rect.FromWest;
    e.LastColumn = c >= W - 2 * static_cast<std::int64_t>(n) + 1;
    return e;
}

OverhangChoices OverhangChoicesFrom(const ConversionSettings& settings) {
    OverhangChoices o;
    o.Enabled = settings.WorldEdgeOverHang;
    o.North = clampChoice(settings.WorldEdgeOverHangN);
    o.South = clampChoice(settings.WorldEdgeOverHangS);
    o.West = clampChoice(settings.WorldEdgeOverHangW);
    o.East = clampChoice(settings.WorldEdgeOverHangE);
    return o;
}

OverhangCounts EdgeOverhang(int h, int c, const WorkingRectangle& rect, int n,
                            const OverhangChoices& choices) {
    OverhangCounts o;
    if (!choices.Enabled) return o;
    const TileEdges edges = EdgeFlags(h, c, rect, n);
    const std::int64_t step = n;
    const int N = clampChoice(choices.North);
    const int S = clampChoice(choices.South);
    const int W = clampChoice(choices.West);
    const int E = clampChoice(choices.East);

    // Later rules override earlier ones: the southern rules win on an area one
    // object deep, exactly as the western rules lose to the eastern ones.
    if (N == 2 && h >= rect.ToNorth - 2 * step) o.NS = 1;
    if (edges.LastRow) o.NS = N;
    if (S == 2 && h == rect.FromSouth + step) o.NS = -1;
    if (edges.FirstRow) o.NS = -S;

    if (W == 2 && c >= rect.ToEast - 3 * step + 1) o.WE = 1;
    if (edges.LastColumn) o.WE = W;
    if (E == 2 && c == rect.FromWest + step) o.WE = -1;
    if (edges.FirstColumn) o.WE = -E;
    return o;
}

EdgeLevelling EdgeLevellingFrom(const ConversionSettings& settings) {
    return {settings.WorldEdgeLevelWithGround, settings.WorldEdgeLevelSmooth};
}

std::optional<long double> SmoothFactor(const TileEdges& e, int n, int J, int K) {
    const float half = static_cast<float>(n * 0.5);
    const float nn = static_cast<float>(n);
    const long double H = half;
    const long double NN = nn;
    const long double j = J;
    const long double k = K;
    // Distances from the middle of an area one object across, in whole vertices.
    const auto a = [&] { return static_cast<long double>(std::llabs(static_cast<long long>(std::trunc(H - j)))); };
    const auto b = [&] { return static_cast<long double>(std::llabs(static_cast<long long>(std::trunc(H - k)))); };

    if (e.FirstRow && e.LastRow && e.FirstColumn && e.LastColumn)
        return ((H - a()) / H) * ((H - b()) / H);
    if (e.FirstRow && e.LastRow) return (H - a()) / H;
    if (e.FirstColumn && e.LastColumn) return (H - b()) / H;
    if (e.LastColumn && e.FirstRow) return ((NN - k) / NN) * (j / NN);
    if (e.LastColumn && e.LastRow) return ((NN - k) / NN) * ((NN - j) / NN);
    if (e.FirstColumn && e.FirstRow) return (k / NN) * (j / NN);
    if (e.FirstColumn && e.LastRow) return (k / NN) * ((NN - j) / NN);
    if (e.FirstColumn) return k / NN;
    if (e.LastColumn) return (NN - k) / NN;
    if (e.LastRow) return (NN - j) / NN;
    if (e.FirstRow) return j / NN;
    return std::nullopt;
}

void FillTile(const ElevationGrid& grid, int h, int c, int n, const TileEdges& edges,
              std::int32_t base, const EdgeLevelling& levelling, TileHeights& heights) {
    n = std::clamp(n, 1, kMaxScalingStep);
    const bool level = levelling.WithGround && edges.any();
    for (int J = 0; J <= n; ++J) {
        for (int K = 0; K <= n; ++K) {
            std::int32_t v = storedOrZero(grid, static_cast<std::int64_t>(h) + J,
                                          static_cast<std::int64_t>(c) + K);
            if (level) {
                if (!levelling.Smooth) {
                    if (onOuterBoundary(edges, n, J, K)) v = base;
                } else if (const auto f = SmoothFactor(edges, n, J, K)) {
                    const long double D = static_cast<long double>(v) - base;
                    const auto rise = static_cast<std::int64_t>(std::trunc(D * *f));
                    v = saturate(static_cast<std::int64_t>(base) + rise);
                }
            }
            heights.E(K, J) = v;
        }
    }
}

}  // namespace gorvale
