#include "pipeline/area_picture.h"

#include <algorithm>

#include "base/text_convert.h"
#include "import/grid_operations.h"

namespace gorvale {
namespace {

// A point outside the storage reads as 0, so no read-out can read wild.
std::int32_t storedOrZero(const ElevationGrid& g, int r, int c) {
    return g.contains(r, c) ? g.cell(r, c) : 0;
}

// Shading treats negative values and no-data (above 32000) as sea level.
std::int32_t shadeValue(std::int32_t v) { return v < 0 || v > 32000 ? 0 : v; }

void scanRange(const ElevationGrid& g, int r0, int r1, int c0, int c1, std::int32_t& lo, std::int32_t& hi) {
    for (int r = r0; r < r1; ++r) {
        const std::int32_t* row = g.row(r);
        for (int c = c0; c < c1; ++c) {
            lo = std::min(lo, row[c]);
            hi = std::max(hi, row[c]);
        }
    }
}

}  // namespace

PixelImage DrawElevationPicture(const Workspace& ws, bool wholeGrid) {
    const ElevationGrid& g = ws.grid;
    PixelImage image;
    if (!g.hasStorage()) return image;
    int rowLo = 0, rowHi = g.RowLimit, colLo = 0, colHi = g.ColLimit;
    if (!wholeGrid) {
        const SelectionRect r = clampedSelection(ws);
        rowLo = r.south;
        rowHi = r.north;
        colLo = r.east;
        colHi = r.west;
    }
    if (rowHi < rowLo || colHi < colLo) return image;
    image.reset(colHi - colLo + 1, rowHi - rowLo + 1);

    // The last row and column of the bounds are left out of the range scan.
    // Points outside the storage count as 0, as do no-data and negative values.
    std::int32_t largest = -32000;
    std::int32_t smallest = 32000;
    const int scanRow0 = std::max(rowLo, 0), scanRow1 = std::min(rowHi, g.AllocatedRows());
    const int scanCol0 = std::max(colLo, 0), scanCol1 = std::min(colHi, g.AllocatedCols());
    if (scanRow0 > rowLo || scanRow1 < rowHi || scanCol0 > colLo || scanCol1 < colHi) {
        if (rowLo < rowHi && colLo < colHi) {
            largest = std::max(largest, 0);
            smallest = std::min(smallest, 0);
        }
    }
    for (int r = scanRow0; r < scanRow1; ++r) {
        const std::int32_t* row = g.row(r);
        std::int32_t lo = smallest, hi = largest;
        for (int c = scanCol0; c < scanCol1; ++c) {
            const std::int32_t v = shadeValue(row[c]);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        smallest = lo;
        largest = hi;
    }
    std::int64_t range = std::int64_t{largest} - smallest;
    if (range <= 0) range = 1;

    // Grey levels for every height 0..32000, and one for no-data; values
    // outside the scanned range are held to black or white instead of
    // wrapping around.
    auto level = [&](std::int64_t m) {
        const int l = static_cast<int>(std::clamp<std::int64_t>(m * 255 / range, 0, 255));
        return pixelRgb(l, l, l);
    };
    std::vector<std::uint32_t> greys(32001);
    for (int e = 0; e <= 32000; ++e) greys[e] = level(std::int64_t{e} - smallest);
    const std::uint32_t noData = level(-std::int64_t{smallest});
    const std::uint32_t* table = greys.data();
    auto grey = [table, noData](std::int32_t e) {
        return static_cast<std::uint32_t>(e) <= 32000u ? table[e] : e < 0 ? table[0] : noData;
    };

    for (int y = 0; y < image.height; ++y) {
        const int r = rowHi - y;
        std::uint32_t* out = &image.at(0, y);
        const bool rowStored = r >= 0 && r < g.AllocatedRows();
        const std::int32_t* row = rowStored ? g.row(r) : nullptr;
        if (rowStored && colLo >= 0 && colHi < g.AllocatedCols()) {
            const std::int32_t* p = row + colHi;  // the picture runs from the highest column down
            for (int x = 0; x < image.width; ++x) out[x] = grey(p[-x]);
            continue;
        }
        for (int x = 0; x < image.width; ++x) {
            const int c = colHi - x;
            out[x] = grey(rowStored && c >= 0 && c < g.AllocatedCols() ? row[c] : 0);
        }
    }
    if (ws.settings.FixGZ) {
        const int x = colHi - intOr(ws.settings.ColGZ, 0);
        const int y = rowHi - intOr(ws.settings.RowGZ, 0);
        if (x >= 0 && y >= 0 && x < image.width && y < image.height) image.at(x, y) = pixelRgb(255, 255, 255);
    }
    return image;
}

OutlineSize AreaOutlineSize(const Workspace& ws) {
    const WorldFrame f = ComputeWorldFrame(ResetWorldSizeTables(ws.settings), ws.settings.WorldSize,
                                           scalingStep(ws.settings), ObjectUnitsWhole(ws.settings));
    return {f.WestEast, f.NorthSouth};
}

void GridRangeIndex::build(const ElevationGrid& grid) {
    rows_ = grid.AllocatedRows();
    cols_ = grid.AllocatedCols();
    blocksHigh_ = rows_ / kBlock;
    blocksWide_ = cols_ / kBlock;
    min_.assign(static_cast<std::size_t>(blocksHigh_) * blocksWide_, 0);
    max_.assign(min_.size(), 0);
    for (int br = 0; br < blocksHigh_; ++br) {
        for (int bc = 0; bc < blocksWide_; ++bc) {
            std::int32_t lo = grid.cell(br * kBlock, bc * kBlock);
            std::int32_t hi = lo;
            scanRange(grid, br * kBlock, (br + 1) * kBlock, bc * kBlock, (bc + 1) * kBlock, lo, hi);
            min_[static_cast<std::size_t>(br) * blocksWide_ + bc] = lo;
            max_[static_cast<std::size_t>(br) * blocksWide_ + bc] = hi;
        }
    }
}

bool GridRangeIndex::range(const ElevationGrid& grid, int r0, int r1, int c0, int c1, std::int32_t& minimum,
                           std::int32_t& maximum) const {
    r0 = std::max(r0, 0);
    c0 = std::max(c0, 0);
    r1 = std::min(r1, grid.AllocatedRows());
    c1 = std::min(c1, grid.AllocatedCols());
    if (r0 >= r1 || c0 >= c1) return false;
    std::int32_t lo = grid.cell(r0, c0);
    std::int32_t hi = lo;
    const bool usable = blocksWide_ > 0 && grid.AllocatedRows() == rows_ && grid.AllocatedCols() == cols_;
    const int br0 = (r0 + kBlock - 1) / kBlock, br1 = std::min(r1 / kBlock, blocksHigh_);
    const int bc0 = (c0 + kBlock - 1) / kBlock, bc1 = std::min(c1 / kBlock, blocksWide_);
    if (!usable || br0 >= br1 || bc0 >= bc1) {
        scanRange(grid, r0, r1, c0, c1, lo, hi);
    } else {
        for (int br = br0; br < br1; ++br) {
            const std::size_t base = static_cast<std::size_t>(br) * blocksWide_;
            for (int bc = bc0; bc < bc1; ++bc) {
                lo = std::min(lo, min_[base + bc]);
                hi = std::max(hi, max_[base + bc]);
            }
        }
        const int ir0 = br0 * kBlock, ir1 = br1 * kBlock, ic0 = bc0 * kBlock, ic1 = bc1 * kBlock;
        scanRange(grid, r0, ir0, c0, c1, lo, hi);   // strip below the blocks
        scanRange(grid, ir1, r1, c0, c1, lo, hi);   // strip above
        scanRange(grid, ir0, ir1, c0, ic0, lo, hi); // left and right of the blocks
        scanRange(grid, ir0, ir1, ic1, c1, lo, hi);
    }
    minimum = lo;
    maximum = hi;
    return true;
}

AreaReadout ReadAreaUnderMouse(const ElevationGrid& grid, const GridRangeIndex* index, int W, int H,
                               OutlineSize outline, int X, int Y) {
    AreaReadout out;
    int row = H + outline.h / 2 - Y;
    int col = W + outline.w / 2 - X;
    bool outside = false;
    if (row >= H) {
        row = H - 1;
        outside = true;
    }
    if (col >= W) {
        col = W - 1;
        outside = true;
    }
    out.centre = outside ? 0 : storedOrZero(grid, row, col);

    const int r0 = H - Y, r1 = std::min(H + outline.h - Y, H);
    const int c0 = W - X, c1 = std::min(W + outline.w - X, W);
    std::int32_t lo = 32000, hi = -1;
    std::int32_t a = 0, b = 0;
    bool any = false;
    if (index)
        any = index->range(grid, r0, r1, c0, c1, a, b);
    else
        any = GridRangeIndex().range(grid, r0, r1, c0, c1, a, b);
    if (any) {
        lo = std::min(lo, a);
        hi = std::max(hi, b);
    }
    out.minimum = lo == 32000 ? 0 : lo;
    out.maximum = hi;
    return out;
}

std::string AreaCaption(const AreaReadout& r, int W, int H, OutlineSize outline, int X, int Y) {
    return format("CenterElev=%5dm Min=%5dm Max=%5dm X=%4d Y=%4d CX=%4d CY=%4d", r.centre, r.minimum,
                  r.maximum, W - X, H - Y, X + outline.w / 2, Y + outline.h / 2);
}

std::string AreaClickLabel(const AreaReadout& r) {
    return format("Center elevation=%5dm Min=%5dm Max=%5dm", r.centre, r.minimum, r.maximum);
}

ClickedBox BoxFromClick(int W, int H, OutlineSize outline, int X, int Y) {
    ClickedBox b;
    b.FromWest = W - X;
    b.FromSouth = H - Y;
    b.ToEast = std::min(W - X + outline.w, W);
    b.ToNorth = std::min(H - Y + outline.h, H);
    return b;
}

void RefreshScaling(Workspace& ws) {
    ApplyScalingChoice(ws.settings, ws.shaping);
    if (ws.settings.DVerticalScale) ShowLabel(ws, Label::VerticalScale, ws.settings.VerticalScale);
    if (ws.gridLoaded) {
        SnapNorthSouth(ws);
        SnapEastWest(ws);
    }
}

namespace {

// Statistics over rows [r0, r1) and columns [c0, c1) through ElevationAt,
// the far ends held to the grid's limits and storage; shown in the labels.
void selectionStatsOver(Workspace& ws, int r0, int r1, int c0, int c1) {
    ElevationGrid& g = ws.grid;
    r0 = std::max(r0, 0);
    c0 = std::max(c0, 0);
    r1 = std::min({r1, g.RowLimit, g.AllocatedRows()});
    c1 = std::min({c1, g.ColLimit, g.AllocatedCols()});
    std::int32_t lo = 32000, hi = -1;
    for (int r = r0; r < r1; ++r)
        for (int c = c0; c < c1; ++c) {
            const std::int32_t v = g.ElevationAt(r, c);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    g.SelectionMin = lo;
    g.SelectionMax = hi;
    g.SelectionRange = hi == lo ? 1 : static_cast<std::int32_t>(std::int64_t{hi} - lo);
    ShowLabel(ws, Label::BoxElev, format("%d", g.SelectionRange));
    ShowLabel(ws, Label::BoxMin, format("%d", g.SelectionMin));
    ShowLabel(ws, Label::BoxMax, format("%d", g.SelectionMax));
}

}  // namespace

std::string PickArea(Workspace& ws, int W, int H, int X, int Y) {
    const OutlineSize outline = AreaOutlineSize(ws);
    const ClickedBox b = BoxFromClick(W, H, outline, X, Y);
    ConversionSettings& s = ws.settings;
    s.FromWest = format("%3d", b.FromWest);
    s.FromSouth = format("%3d", b.FromSouth);
    s.ToEast = format("%3d", b.ToEast);
    s.ToNorth = format("%3d", b.ToNorth);
    ws.SettingsModified = true;
    selectionStatsOver(ws, b.FromSouth, b.ToNorth, b.FromWest, b.ToEast);
    const std::string label = AreaClickLabel(ReadAreaUnderMouse(ws.grid, nullptr, W, H, outline, X, Y));
    RefreshScaling(ws);
    return label;
}

PixelImage ShowFullPicture(Workspace& ws, RememberedRect& remembered) {
    ConversionSettings& s = ws.settings;
    const ElevationGrid& g = ws.grid;
    const int step = std::max(1, scalingStep(s));
    RememberedRect m{std::max(0, intOr(s.FromSouth, 0)), std::max(0, intOr(s.FromWest, 0)),
                     intOr(s.ToNorth, 0), intOr(s.ToEast, 0)};
    if (g.RowLimit < m.north + step) m.north = g.RowLimit - step;
    if (g.ColLimit < m.east + step) m.east = g.ColLimit - step;
    selectionStatsOver(ws, m.south, m.north + step, m.west, m.east + step);

    s.FromSouth = "0";
    s.FromWest = "0";
    s.ToNorth = format("%d", g.RowLimit);
    s.ToEast = format("%d", g.ColLimit);
    SnapNorthSouth(ws);
    SnapEastWest(ws);
    ComputeSelectionStats(ws);
    PixelImage image = DrawElevationPicture(ws, true);

    s.FromSouth = format("%d", m.south);
    s.FromWest = format("%d", m.west);
    s.ToNorth = format("%d", m.north);
    s.ToEast = format("%d", m.east);
    SnapNorthSouth(ws);
    SnapEastWest(ws);
    ComputeSelectionStats(ws);
    remembered = m;
    return image;
}

PictureRect RememberedFrame(const RememberedRect& r, int W, int H) {
    return {W - r.east, H - r.north, W - r.west, H - r.south};
}

int PictureFromView(int v, ViewZoom z) {
    const std::int64_t n = std::int64_t{v} * z.den;
    return static_cast<int>(n >= 0 ? n / z.num : -((-n + z.num - 1) / z.num));
}

int ViewFromPicture(int p, ViewZoom z) { return static_cast<int>(std::int64_t{p} * z.num / z.den); }

int FittingZoomStep(int w, int h, int maxW, int maxH) {
    for (int i = kViewZoomCount - 1; i > 0; --i) {
        const ViewZoom z = kViewZooms[i];
        if (ViewFromPicture(w, z) <= maxW && ViewFromPicture(h, z) <= maxH) return i;
    }
    return 0;
}

}  // namespace gorvale
