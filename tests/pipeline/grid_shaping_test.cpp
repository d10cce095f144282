#include "pipeline/grid_shaping.h"

#include <gtest/gtest.h>


namespace gorvale {
namespace {

// A grid whose every stored value is made by value(row, col).
template <typename F>
ElevationGrid makeGrid(int rows, int cols, F value) {
    ElevationGrid g;
    EXPECT_TRUE(g.allocate(rows, cols));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) g.cell(r, c) = value(r, c);
    g.LastRow = rows - 1;
    g.LastCol = cols - 1;
    g.RowLimit = g.LastRow;
    g.ColLimit = g.LastCol;
    return g;
}

class AddHundredBelow : public ElevationFilter {
public:
    std::int32_t apply(std::int32_t v) const override { return v < 50 ? v + 100 : v; }
};

TEST(SelectionScan, MinimumIsFlattenedMaximumIsStoredBoundsInclusive) {
    // 4 x 4 grid: value = 10 * row + col; the rectangle rows 1..2, cols 1..3.
    ElevationGrid g = makeGrid(4, 4, [](int r, int c) { return 10 * r + c; });
    g.SelectionMax = 777;
    const SelectionScan scan = ScanSelection(g, {1, 1, 2, 3});
    EXPECT_EQ(scan.Minimum, 11);
    EXPECT_EQ(scan.Maximum, 23);
    EXPECT_EQ(g.SelectionMin, 11);
    EXPECT_EQ(g.SelectionRange, 12);
    EXPECT_EQ(g.SelectionMax, 777);  // left as the statistics gave it

    // With flattening that lifts everything below 50, only the minimum changes.
    AddHundredBelow lift;
    g.setFlattening(&lift);
    ScanSelection(g, {1, 1, 2, 3});
    EXPECT_EQ(g.SelectionMin, 111);
    EXPECT_EQ(g.SelectionRange, 23 - 111);  // not raised yet
    RaiseSelectionRange(g);
    EXPECT_EQ(g.SelectionRange, 1);
}

TEST(SelectionScan, StartValuesAndFlatSelection) {
    // All negative: the maximum stays at its start 0.
    ElevationGrid g = makeGrid(3, 3, [](int, int) { return -5; });
    ScanSelection(g, {0, 0, 2, 2});
    EXPECT_EQ(g.SelectionMin, -5);
    EXPECT_EQ(g.SelectionRange, 5);
    // All above 32000: the minimum stays at its start 32000.
    ElevationGrid high = makeGrid(2, 2, [](int, int) { return 40000; });
    ScanSelection(high, {0, 0, 1, 1});
    EXPECT_EQ(high.SelectionMin, 32000);
    // A flat selection has range 0, raised to 1.
    ElevationGrid flat = makeGrid(2, 2, [](int, int) { return 7; });
    ScanSelection(flat, {0, 0, 1, 1});
    EXPECT_EQ(flat.SelectionRange, 0);
    RaiseSelectionRange(flat);
    EXPECT_EQ(flat.SelectionRange, 1);
}

TEST(SelectionScan, RectangleBeyondStorageReadsOnlyStoredPoints) {
    ElevationGrid g = makeGrid(3, 3, [](int r, int c) { return 100 + r + c; });
    ScanSelection(g, {-4, -4, 50, 50});
    EXPECT_EQ(g.SelectionMin, 100);
    EXPECT_EQ(g.SelectionRange, 4);
}

TEST(BaseElevation, LevelledWithGroundUsesSelectionMinimumLessOffset) {
    EXPECT_EQ(ComputeBase(120, 0, true), 120);
    EXPECT_EQ(ComputeBase(120, 50, true), 70);  // lowest vertex 50 units above the ground
    EXPECT_EQ(ComputeBase(120, 50, false), 50);  // every vertex 50 units lower
    EXPECT_EQ(ComputeBase(120, 0, false), 0);

    ConversionSettings s;
    ElevationGrid g;
    g.SelectionMin = 300;
    s.VerticalOffset = "25";
    s.LeveledWithGround = true;
    EXPECT_EQ(ComputeBase(g, s), 275);
    s.LeveledWithGround = false;
    EXPECT_EQ(ComputeBase(g, s), 25);
    s.VerticalOffset = "abc";  // does not parse: no offset
    EXPECT_EQ(ComputeBase(g, s), 0);
}

TEST(EdgeFlagsOfTiles, FirstAndLastRowsAndColumns) {
    const WorkingRectangle rect{0, 0, 6, 6};  // 3 x 3 tiles of 2 cells
    EXPECT_TRUE(EdgeFlags(0, 0, rect, 2).FirstRow);
    EXPECT_TRUE(EdgeFlags(0, 0, rect, 2).FirstColumn);
    EXPECT_FALSE(EdgeFlags(0, 0, rect, 2).LastRow);
    const TileEdges middle = EdgeFlags(2, 2, rect, 2);
    EXPECT_FALSE(middle.any());
    const TileEdges nw = EdgeFlags(4, 4, rect, 2);
    EXPECT_TRUE(nw.LastRow);
    EXPECT_TRUE(nw.LastColumn);
    EXPECT_FALSE(nw.FirstRow);
    EXPECT_FALSE(nw.FirstColumn);
    // One object across: every edge at once.
    const TileEdges single = EdgeFlags(3, 5, WorkingRectangle{3, 5, 5, 7}, 2);
    EXPECT_TRUE(single.FirstRow && single.LastRow && single.FirstColumn && single.LastColumn);
}

TEST(OverhangCountsOfEdgeTiles, TwoObjectsNorthGivesTwoThenOne) {
    const WorkingRectangle rect{0, 0, 8, 8};  // 4 x 4 tiles, n = 2
    OverhangChoices ch;
    ch.Enabled = true;
    ch.North = 2;
    EXPECT_EQ(EdgeOverhang(6, 2, rect, 2, ch).NS, 2);
    EXPECT_EQ(EdgeOverhang(4, 2, rect, 2, ch).NS, 1);
    EXPECT_EQ(EdgeOverhang(2, 2, rect, 2, ch).NS, 0);
    EXPECT_EQ(EdgeOverhang(0, 2, rect, 2, ch).NS, 0);
    EXPECT_EQ(EdgeOverhang(6, 2, rect, 2, ch).WE, 0);

    ch.Enabled = false;
    EXPECT_EQ(EdgeOverhang(6, 2, rect, 2, ch).NS, 0);
}

TEST(OverhangCountsOfEdgeTiles, SouthEastAndWestSigns) {
    const WorkingRectangle rect{0, 0, 8, 8};
    OverhangChoices ch;
    ch.Enabled = true;
    ch.South = 2;
    ch.East = 2;
    ch.West = 1;
    EXPECT_EQ(EdgeOverhang(0, 0, rect, 2, ch).NS, -2);
    EXPECT_EQ(EdgeOverhang(2, 0, rect, 2, ch).NS, -1);
    EXPECT_EQ(EdgeOverhang(4, 0, rect, 2, ch).NS, 0);
    EXPECT_EQ(EdgeOverhang(0, 0, rect, 2, ch).WE, -2);
    EXPECT_EQ(EdgeOverhang(0, 2, rect, 2, ch).WE, -1);
    EXPECT_EQ(EdgeOverhang(0, 4, rect, 2, ch).WE, 0);
    EXPECT_EQ(EdgeOverhang(0, 6, rect, 2, ch).WE, 1);  // "1 Object" west: last column only
}

TEST(OverhangCountsOfEdgeTiles, SouthernRuleWinsOnAnAreaOneObjectDeep) {
    const WorkingRectangle rect{0, 0, 2, 2};
    OverhangChoices ch;
    ch.Enabled = true;
    ch.North = 2;
    ch.South = 1;
    ch.West = 2;
    ch.East = 0;
    const OverhangCounts o = EdgeOverhang(0, 0, rect, 2, ch);
    EXPECT_EQ(o.NS, -1);
    EXPECT_EQ(o.WE, 0);  // first column with "None" east overrides west's 2
}

TEST(OverhangCountsOfEdgeTiles, ChoicesOutsideTheListAreClamped) {
    ConversionSettings s;
    s.WorldEdgeOverHang = true;
    s.WorldEdgeOverHangN = 9;
    s.WorldEdgeOverHangS = -3;
    const OverhangChoices ch = OverhangChoicesFrom(s);
    EXPECT_EQ(ch.North, 2);
    EXPECT_EQ(ch.South, 0);
    EXPECT_EQ(EdgeOverhang(2, 0, WorkingRectangle{0, 0, 4, 4}, 2, ch).NS, 2);
}

TileHeights fillAt(const ElevationGrid& g, int h, int c, int n, const WorkingRectangle& rect,
                   std::int32_t base, EdgeLevelling lev) {
    TileHeights t{};
    FillTile(g, h, c, n, EdgeFlags(h, c, rect, n), base, lev, t);
    return t;
}

TEST(TileFill, StoresRawCellsWithColumnFirstIndex) {
    ElevationGrid g = makeGrid(5, 5, [](int r, int c) { return 10 * r + c; });
    AddHundredBelow lift;
    g.setFlattening(&lift);  // the writer flattens later; the fill must not
    const TileHeights t = fillAt(g, 2, 1, 2, {0, 0, 4, 4}, 0, {});
    EXPECT_EQ(t.E(0, 0), 21);  // K = 0, J = 0
    EXPECT_EQ(t.E(2, 0), 23);  // K = 2: two columns west
    EXPECT_EQ(t.E(0, 2), 41);  // J = 2: two rows north
    EXPECT_EQ(t.E(1, 2), 42);
}

TEST(TileFill, PointsOutsideStorageReadAsZero) {
    ElevationGrid g = makeGrid(2, 2, [](int, int) { return 9; });
    const TileHeights t = fillAt(g, 1, 1, 2, {0, 0, 4, 4}, 0, {});
    EXPECT_EQ(t.E(0, 0), 9);
    EXPECT_EQ(t.E(1, 0), 0);
    EXPECT_EQ(t.E(2, 2), 0);
}

TEST(SharpLevelling, OuterBoundaryAtGroundCentreKept) {
    // n = 2, 2 x 2 objects over a 5 x 5 grid of 500 + r * 10 + c.
    ElevationGrid g = makeGrid(5, 5, [](int r, int c) { return 500 + 10 * r + c; });
    const WorkingRectangle rect{0, 0, 4, 4};
    const EdgeLevelling sharp{true, false};
    const std::int32_t G = 40;
    for (int h : {0, 2})
        for (int c : {0, 2}) {
            const TileHeights t = fillAt(g, h, c, 2, rect, G, sharp);
            for (int J = 0; J <= 2; ++J)
                for (int K = 0; K <= 2; ++K) {
                    const int row = h + J, col = c + K;
                    const bool outer = row == 0 || row == 4 || col == 0 || col == 4;
                    EXPECT_EQ(t.E(K, J), outer ? G : 500 + 10 * row + col)
                        << "tile " << h << "," << c << " vertex " << J << "," << K;
                }
        }
    // Without WorldEdgeLevelWithGround nothing is levelled.
    const TileHeights plain = fillAt(g, 0, 0, 2, rect, G, {false, false});
    EXPECT_EQ(plain.E(0, 0), 500);
}

TEST(SmoothLevelling, WesternEdgeObjectRampsToGround) {
    // n = 4, 3 objects west-east, 3 north-south; the western middle tile.
    ElevationGrid g = makeGrid(13, 13, [](int, int) { return 1001; });
    const WorkingRectangle rect{0, 0, 12, 12};
    const TileHeights t = fillAt(g, 4, 8, 4, rect, 0, {true, true});
    for (int J = 0; J <= 4; ++J) {
        EXPECT_EQ(t.E(4, J), 0);
        EXPECT_EQ(t.E(2, J), 500);  // half of 1001, truncated
        EXPECT_EQ(t.E(0, J), 1001);
        EXPECT_EQ(t.E(1, J), 750);  // 1001 * 0.75 = 750.75
    }
    // An inner tile is untouched.
    const TileHeights inner = fillAt(g, 4, 4, 4, rect, 0, {true, true});
    EXPECT_EQ(inner.E(4, 4), 1001);
}

TEST(SmoothLevelling, TruncatesTowardZeroBelowGround) {
    ElevationGrid g = makeGrid(13, 13, [](int, int) { return -1001; });
    const TileHeights t = fillAt(g, 4, 8, 4, {0, 0, 12, 12}, 0, {true, true});
    EXPECT_EQ(t.E(2, 0), -500);
    EXPECT_EQ(t.E(1, 0), -750);
}

TEST(SmoothLevelling, AreaOneObjectInSizeBecomesATent) {
    ElevationGrid g = makeGrid(3, 3, [](int, int) { return 900; });
    const TileHeights t = fillAt(g, 0, 0, 2, {0, 0, 2, 2}, 100, {true, true});
    EXPECT_EQ(t.E(1, 1), 900);
    for (int J = 0; J <= 2; ++J)
        for (int K = 0; K <= 2; ++K)
            if (J != 1 || K != 1) EXPECT_EQ(t.E(K, J), 100) << J << "," << K;
}

TEST(SmoothLevelling, CornerObjectsMultiplyBothRamps) {
    ElevationGrid g = makeGrid(9, 9, [](int, int) { return 1600; });
    const WorkingRectangle rect{0, 0, 8, 8};  // 2 x 2 objects of n = 4: all corners
    // South-east corner (first row, first column): f = (k/4)(j/4).
    const TileHeights se = fillAt(g, 0, 0, 4, rect, 0, {true, true});
    EXPECT_EQ(se.E(4, 4), 1600);
    EXPECT_EQ(se.E(2, 2), 400);
    EXPECT_EQ(se.E(1, 3), 300);  // k = 1, j = 3
    EXPECT_EQ(se.E(0, 4), 0);
    // North-west corner (last row, last column): f = ((4-k)/4)((4-j)/4).
    const TileHeights nw = fillAt(g, 4, 4, 4, rect, 0, {true, true});
    EXPECT_EQ(nw.E(0, 0), 1600);
    EXPECT_EQ(nw.E(1, 3), 300);  // (3/4)(1/4)
    // South-west (first row, last column): ((4-k)/4)(j/4).
    const TileHeights sw = fillAt(g, 0, 4, 4, rect, 0, {true, true});
    EXPECT_EQ(sw.E(1, 3), 900);  // (3/4)(3/4)
    // North-east (last row, first column): (k/4)((4-j)/4).
    const TileHeights ne = fillAt(g, 4, 0, 4, rect, 0, {true, true});
    EXPECT_EQ(ne.E(1, 3), 100);  // (1/4)(1/4)
}

TEST(SmoothLevelling, FactorCasesInTheirOrder) {
    // One object deep north-south but several wide: the rows' tent wins over columns.
    TileEdges rowsOnly{true, true, true, false};
    // first row, last row and first column: case 2 (both rows) comes before the column cases.
    EXPECT_DOUBLE_EQ(static_cast<double>(*SmoothFactor(rowsOnly, 2, 1, 0)), 1.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(*SmoothFactor(rowsOnly, 2, 0, 1)), 0.0);
    TileEdges colsOnly{false, true, true, true};
    EXPECT_DOUBLE_EQ(static_cast<double>(*SmoothFactor(colsOnly, 4, 0, 2)), 1.0);
    EXPECT_DOUBLE_EQ(static_cast<double>(*SmoothFactor(colsOnly, 4, 0, 1)), 0.5);
    TileEdges lastRow{false, true, false, false};
    EXPECT_DOUBLE_EQ(static_cast<double>(*SmoothFactor(lastRow, 4, 1, 3)), 0.75);
    TileEdges firstRow{true, false, false, false};
    EXPECT_DOUBLE_EQ(static_cast<double>(*SmoothFactor(firstRow, 4, 1, 3)), 0.25);
    EXPECT_FALSE(SmoothFactor(TileEdges{}, 4, 1, 1).has_value());
    // Odd n: the tent's ends are not quite at the ground (whole-vertex distances).
    TileEdges all{true, true, true, true};
    EXPECT_NEAR(static_cast<double>(*SmoothFactor(all, 3, 0, 1)), 1.0 / 3.0, 1e-12);
}

}  // namespace
}  // namespace gorvale
