#include "import/grid_operations.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace gorvale {
namespace {

using test::RecordingUserInterface;

// A workspace whose grid holds rows x cols cells, value = row * 100 + col,
// with LastRow/LastCol set the way a reader that fills every cell sets them.
struct GridFixture {
    RecordingUserInterface ui;
    GridContext ws{ui};

    void makeGrid(int rows, int cols, int step = 1) {
        ws.settings.Scaling = step - 1;
        ASSERT_TRUE(ws.grid.allocate(rows, cols));
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) ws.grid.cell(r, c) = r * 100 + c;
        ws.grid.LastRow = rows - 1;
        ws.grid.LastCol = cols - 1;
        ws.grid.RowLimit = rows - 1;
        ws.grid.ColLimit = cols - 1;
    }
    void setBox(const std::string& south, const std::string& east, const std::string& north,
                const std::string& west) {
        ws.settings.FromSouth = south;
        ws.settings.FromWest = east;
        ws.settings.ToNorth = north;
        ws.settings.ToEast = west;
    }
    void snapNS(const std::string& south, const std::string& north) {
        ws.settings.FromSouth = south;
        ws.settings.ToNorth = north;
        SnapNorthSouth(ws);
    }
};

class SnapNorthSouthTest : public ::testing::Test, protected GridFixture {
protected:
    void SetUp() override {
        ws.grid.LastRow = 100;
        ws.settings.Scaling = 2;  // step 3
    }
};

TEST_F(SnapNorthSouthTest, RoundsTheHeightUpToAMultipleOfTheStep) {
    snapNS("10", "50");
    EXPECT_EQ(ws.settings.ToNorth, "52");
    EXPECT_EQ(ws.settings.FromSouth, "10");
    EXPECT_TRUE(ws.SettingsModified);
}

TEST_F(SnapNorthSouthTest, ClampsToTheLastRowThenStepsBelowIt) {
    snapNS("10", "200");
    EXPECT_EQ(ws.settings.ToNorth, "97");
    snapNS("10", "100");
    EXPECT_EQ(ws.settings.ToNorth, "97");
    snapNS("10", "99");  // 89 is not a multiple of 3: up to 100, then down
    EXPECT_EQ(ws.settings.ToNorth, "97");
}

TEST_F(SnapNorthSouthTest, SouthAtOrAboveNorthGivesOneStepNeverBelowSouth) {
    snapNS("60", "40");
    EXPECT_EQ(ws.settings.ToNorth, "63");
    snapNS("60", "60");
    EXPECT_EQ(ws.settings.ToNorth, "63");
    snapNS("99", "10");  // 102 stepped down to 99: empty, but not below south
    EXPECT_EQ(ws.settings.ToNorth, "99");
    snapNS("250", "10");  // south clamped to the last row
    EXPECT_EQ(ws.settings.FromSouth, "100");
    EXPECT_EQ(ws.settings.ToNorth, "100");
}

TEST_F(SnapNorthSouthTest, GridTooSmallForOneStepYieldsAnEmptyRectangle) {
    ws.grid.LastRow = 2;
    snapNS("0", "2");
    EXPECT_EQ(ws.settings.ToNorth, "0");
    EXPECT_EQ(ws.settings.FromSouth, "0");
    EXPECT_EQ(ui.labels[Label::NS_Size], "Unknown");
}

TEST_F(SnapNorthSouthTest, NegativeSouthIsKeptAndTheHeightCountsFromIt) {
    snapNS("-5", "20");
    EXPECT_EQ(ws.settings.FromSouth, "-5");
    EXPECT_EQ(ws.settings.ToNorth, "22");
}

TEST_F(SnapNorthSouthTest, WritesPlainDecimalsForTextThatOnlyStartsWithANumber) {
    snapNS(" 10abc", "50.9");
    EXPECT_EQ(ws.settings.FromSouth, "10");
    EXPECT_EQ(ws.settings.ToNorth, "52");
    snapNS("x", "y");  // nothing parses: both taken as 0
    EXPECT_EQ(ws.settings.FromSouth, "0");
    EXPECT_EQ(ws.settings.ToNorth, "3");
}

TEST_F(SnapNorthSouthTest, SurvivesExtremeFieldValues) {
    snapNS("-2147483648", "2147483647");
    const int south = std::stoi(ws.settings.FromSouth);
    const int north = std::stoi(ws.settings.ToNorth);
    EXPECT_EQ(south, -2147483647 - 1);
    EXPECT_LT(north, 100);
    EXPECT_GE(north, south);
}

TEST_F(SnapNorthSouthTest, AStepBelowOneFromABadProjectIsTakenAsOne) {
    ws.settings.Scaling = -1;
    snapNS("10", "50");
    EXPECT_EQ(ws.settings.ToNorth, "50");
    ws.settings.Scaling = -7;
    snapNS("10", "500");
    EXPECT_EQ(ws.settings.ToNorth, "99");
    EXPECT_EQ(ui.labels[Label::NS_Size], "890m");
}

TEST(SnapEastWest, UsesTheColumnsAndTheLastColumn) {
    GridFixture f;
    f.ws.grid.LastCol = 100;
    f.ws.grid.LastRow = 5;
    f.ws.settings.Scaling = 2;
    f.ws.settings.FromWest = "10";
    f.ws.settings.ToEast = "200";
    SnapEastWest(f.ws);
    EXPECT_EQ(f.ws.settings.ToEast, "97");
    EXPECT_EQ(f.ws.settings.FromWest, "10");
    f.ws.settings.ToEast = "50";
    SnapEastWest(f.ws);
    EXPECT_EQ(f.ws.settings.ToEast, "52");
}

TEST(SelectionSizeLabels, ShowMetresOfWholeObjectsOrUnknown) {
    GridFixture f;
    f.ws.grid.LastRow = 100;
    f.ws.grid.LastCol = 100;
    f.ws.settings.Scaling = 2;
    f.ws.settings.ObjectSize = 1;  // 20 m objects
    f.setBox("10", "0", "52", "0");
    SnapNorthSouth(f.ws);
    // 42 rows / 3 = 14 objects of 20 m
    EXPECT_EQ(f.ui.labels[Label::NS_Size], "280m");
    EXPECT_EQ(f.ui.labels[Label::NS_Size2], "280m");
    // Either validation refreshes both sizes; the W-E fields are still 0 and 0.
    EXPECT_EQ(f.ui.labels[Label::WE_Size], "Unknown");
    SnapEastWest(f.ws);  // 0 and 0 become 0 and 3: one object
    EXPECT_EQ(f.ui.labels[Label::WE_Size], "20m");
    EXPECT_EQ(f.ui.labels[Label::WE_Size2], "20m");
    EXPECT_EQ(f.ui.labels[Label::NS_Size], "280m");
}

class SelectionStatsTest : public ::testing::Test, protected GridFixture {};

TEST_F(SelectionStatsTest, ScansTheRectangleWithoutItsFarEdges) {
    makeGrid(10, 10);
    setBox("2", "3", "5", "7");
    ComputeSelectionStats(ws);
    EXPECT_EQ(ws.grid.SelectionMin, 203);
    EXPECT_EQ(ws.grid.SelectionMax, 406);
    EXPECT_EQ(ws.grid.SelectionRange, 203);
    EXPECT_EQ(ui.labels[Label::BoxElev], "203");
    EXPECT_EQ(ui.labels[Label::BoxMin], "203");
    EXPECT_EQ(ui.labels[Label::BoxMax], "406");
}

TEST_F(SelectionStatsTest, NegativeEdgesCountAsZeroAndFarEdgesClampToTheLimits) {
    makeGrid(10, 10, 2);
    setBox("-4", "-1", "10000", "10000");
    ComputeSelectionStats(ws);
    // north = RowLimit (9) - step (2) = 7, west likewise
    EXPECT_EQ(ws.grid.SelectionMin, 0);
    EXPECT_EQ(ws.grid.SelectionMax, 606);
    const SelectionRect r = clampedSelection(ws);
    EXPECT_EQ(r.south, 0);
    EXPECT_EQ(r.east, 0);
    EXPECT_EQ(r.north, 7);
    EXPECT_EQ(r.west, 7);
    EXPECT_EQ(ws.settings.FromSouth, "-4");  // the fields are not rewritten
}

TEST_F(SelectionStatsTest, FlatSelectionHasRangeOne) {
    makeGrid(4, 4);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) ws.grid.cell(r, c) = 77;
    setBox("0", "0", "3", "3");
    ComputeSelectionStats(ws);
    EXPECT_EQ(ws.grid.SelectionMin, 77);
    EXPECT_EQ(ws.grid.SelectionMax, 77);
    EXPECT_EQ(ws.grid.SelectionRange, 1);
}

TEST_F(SelectionStatsTest, EmptyScanShowsTheStartValues) {
    makeGrid(10, 10);
    setBox("5", "0", "5", "9");
    ComputeSelectionStats(ws);
    EXPECT_EQ(ws.grid.SelectionMin, 32000);
    EXPECT_EQ(ws.grid.SelectionMax, -1);
    EXPECT_EQ(ws.grid.SelectionRange, -32001);
    EXPECT_EQ(ui.labels[Label::BoxElev], "-32001");
    EXPECT_EQ(ui.labels[Label::BoxMin], "32000");
    EXPECT_EQ(ui.labels[Label::BoxMax], "-1");
}

TEST_F(SelectionStatsTest, WithoutAGridTheScanIsEmpty) {
    setBox("0", "0", "10000", "10000");
    ComputeSelectionStats(ws);
    EXPECT_EQ(ws.grid.SelectionMin, 32000);
    EXPECT_EQ(ws.grid.SelectionMax, -1);
}

TEST_F(SelectionStatsTest, ReadsThroughTheFlatteningRule) {
    struct CapAt300 : ElevationFilter {
        std::int32_t apply(std::int32_t v) const override { return v > 300 ? 300 : v; }
    } cap;
    makeGrid(10, 10);
    ws.grid.setFlattening(&cap);
    setBox("0", "0", "9", "9");
    ComputeSelectionStats(ws);
    EXPECT_EQ(ws.grid.SelectionMax, 300);
    EXPECT_EQ(ws.grid.SelectionMin, 0);
}

TEST_F(SelectionStatsTest, ExtremeValuesDoNotOverflowTheRange) {
    makeGrid(2, 2);
    ws.grid.cell(0, 0) = -2147483647 - 1;
    ws.grid.cell(0, 1) = 2147483647;
    setBox("0", "0", "1", "2");
    ws.grid.ColLimit = 2;
    ComputeSelectionStats(ws);
    EXPECT_EQ(ws.grid.SelectionRange, 2147483647);
}

TEST(FinishGridLoad, ResetsTheRectangleShowsExtentsAndEnablesTheGridCommands) {
    GridFixture f;
    f.makeGrid(11, 21, 3);
    f.ws.grid.RowLimit = f.ws.grid.ColLimit = 0;
    f.setBox("4", "5", "6", "7");
    FinishGridLoad(f.ws, -12, 1020);
    // ToNorth = LastRow (10) snapped from FromSouth 4 with step 3: 10 is
    // already 4 + 6 but reaches the last row, so one step lower.
    EXPECT_EQ(f.ws.settings.ToNorth, "7");
    EXPECT_EQ(f.ws.settings.ToEast, "17");  // 20 -> 5 + 15 = 20 -> 17
    EXPECT_EQ(f.ws.grid.ElevationRange, 1032);
    EXPECT_EQ(f.ui.labels[Label::Rows], "11");
    EXPECT_EQ(f.ui.labels[Label::Columns], "21");
    EXPECT_EQ(f.ui.labels[Label::ElevationRange], "1032");
    EXPECT_EQ(f.ws.grid.RowLimit, 10);
    EXPECT_EQ(f.ws.grid.ColLimit, 20);
    EXPECT_EQ(f.ws.grid.SelectionMin, 405);
    EXPECT_EQ(f.ws.grid.SelectionMax, 616);
    EXPECT_TRUE(f.ws.gridLoaded);
    EXPECT_EQ(f.ui.gridChanges, 1);
    for (Command c : {Command::ShowSelectedArea, Command::Generate, Command::ShowFullPicture,
                      Command::ShowZones})
        EXPECT_TRUE(f.ui.commands[c]);
}

TEST(FinishGridLoad, WithoutStorageLeavesTheCommandsAlone) {
    GridFixture f;
    f.ws.grid.LastRow = 10;
    f.ws.grid.LastCol = 10;
    FinishGridLoad(f.ws, 0, 5);
    EXPECT_FALSE(f.ws.gridLoaded);
    EXPECT_EQ(f.ui.gridChanges, 0);
    EXPECT_EQ(f.ui.commands.count(Command::Generate), 0u);
}

}  // namespace
}  // namespace gorvale
