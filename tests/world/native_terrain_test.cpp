#include "world/native_terrain.h"

#include <gtest/gtest.h>

#include "import/grid_operations.h"
#include "rwx/texture_zones.h"
#include "tests/support/test_support.h"
#include "tests/world/elevdump_heights.h"

namespace gorvale {
namespace {

using test::dumpHeights;
using test::RecordingUserInterface;
using test::ScratchDir;

TEST(NativeTerrainOffsets, TablesGiveEachRotationItsCodes) {
    EXPECT_EQ(CornerOffset(true, 0, 0), 128);
    EXPECT_EQ(CornerOffset(true, 1, 2), 128);
    EXPECT_EQ(CornerOffset(false, 2, 0), 49152);
    EXPECT_EQ(CornerOffset(false, 3, 3), 0);
    EXPECT_EQ(EdgeOffset(true, 1, 0), 64);
    EXPECT_EQ(EdgeOffset(false, 1, 3), 32768);
    EXPECT_EQ(EdgeOffset(false, 2, 1), 49152);
    EXPECT_EQ(CliffTextureNumberOf("terrain12"), 12);
    EXPECT_EQ(CliffTextureNumberOf("terrain"), 61);
    EXPECT_EQ(CliffTextureNumberOf("stone2"), 61);
}

// A 3 x 3 zone map around the centre node (1, 1) in zone row 0 (P = 1);
// neighbours marked true lie in the next zone (2).
struct TransitionCase {
    bool A, B, C, D;  // [i-1][j], [i][j-1], [i+1][j], [i][j+1]
    int r;
    bool dontRotate;
    std::int32_t expected;
};

TEST(NativeTerrainTransitions, CornerEdgeAndGradientOnAHandMadeZoneMap) {
    ZoneTable zones;
    ZoneRow& row = zones.rows[0];
    row.ObjectZone = row.OpacityZone = row.ObjectTagZone = true;
    row.Lowest = 0;
    row.Highest = 99;
    row.NameSuffixFrom = 20;
    row.NumberOfTexts = 4;
    row.TagStartValue = 7;
    row.OpacityValue = 5.9f;
    zones.rows[1].ObjectZone = true;
    zones.rows[1].Lowest = 100;
    zones.rows[1].Highest = 199;
    TerrainNumbers n;
    const TransitionCase cases[] = {
        {true, true, false, false, 0, true, 5 + 128},      // corner A and B, truncated
        {false, true, true, false, 0, true, 5 + 192},      // B and Cn
        {false, false, true, true, 1, true, 5 + 128},      // Cn and D, 90 degrees
        {true, false, false, true, 2, false, 5 + 0},       // D and A
        {true, true, true, true, 3, false, 5 + 16384},     // A and B come first
        {true, false, false, false, 0, false, 7 + 32768},  // edge A
        {false, true, false, false, 1, true, 7 + 0},       // edge B
        {false, false, true, false, 2, false, 7 + 32768},  // edge Cn
        {false, false, false, true, 3, true, 7 + 0},       // edge D
        {true, false, true, false, 0, true, 20 + 2},       // opposite sides: gradient
        {false, false, false, false, 0, true, 20 + 2},     // no neighbour: gradient
    };
    NodeMatrix g(3, 3);
    for (std::int32_t& v : g.v) v = 50;  // q = 4 * 50 / 100 = 2
    for (const TransitionCase& c : cases) {
        NodeMatrix map(3, 3);
        for (std::int32_t& v : map.v) v = 1;
        if (c.A) map.at(0, 1) = 2;
        if (c.B) map.at(1, 0) = 2;
        if (c.C) map.at(2, 1) = 2;
        if (c.D) map.at(1, 2) = 2;
        n.r = c.r;
        n.dontRotate = c.dontRotate;
        EXPECT_EQ(NodeTextureCode(g, map, zones, n, 1, 1), c.expected)
            << c.A << c.B << c.C << c.D << " r=" << c.r << " dontRotate=" << c.dontRotate;
    }
}

TEST(NativeTerrainTransitions, GradientOfOneTextureAndNoZone) {
    ZoneTable zones;
    zones.rows[3].ObjectZone = true;
    zones.rows[3].Lowest = 0;
    zones.rows[3].Highest = 9;
    zones.rows[3].NumberOfTexts = 1;
    zones.rows[3].NameSuffixFrom = 30;
    TerrainNumbers n;
    NodeMatrix g(1, 2);
    g.at(0, 0) = 9;   // q = 1 * 9 / 10 = 0
    g.at(0, 1) = 20;  // no zone
    const NodeMatrix map = BuildZoneMap(g, zones, n);
    EXPECT_EQ(map.at(0, 0), 4);
    EXPECT_EQ(map.at(0, 1), 0);
    EXPECT_EQ(NodeTextureCode(g, map, zones, n, 0, 0), 30);
    EXPECT_EQ(NodeTextureCode(g, map, zones, n, 0, 1), 0);
}

// Zone row 29 is P = 30; its "next zone" is 31, which a cliff once also was.
TEST(NativeTerrainTransitions, CliffBesideZone29GivesNoTransition) {
    ZoneTable zones;
    for (int z : {29, 30}) {
        zones.rows[z].ObjectZone = zones.rows[z].OpacityZone = zones.rows[z].ObjectTagZone = true;
        zones.rows[z].NameSuffixFrom = 40 + z;
        zones.rows[z].TagStartValue = 3;
    }
    zones.rows[29].Lowest = 0;
    zones.rows[29].Highest = 500;
    zones.rows[30].Lowest = 501;
    zones.rows[30].Highest = 5000;
    TerrainNumbers n;
    n.cliffTextures = true;
    n.cliffThreshold = 50;
    n.CliffTextureNumber = 61;
    NodeMatrix g(1, 3);
    g.at(0, 0) = 100;
    g.at(0, 1) = 100;
    g.at(0, 2) = 1000;  // its block holds 100 and 1000: a cliff
    const NodeMatrix map = BuildZoneMap(g, zones, n);
    EXPECT_EQ(map.at(0, 2), kCliffZone);
    EXPECT_EQ(NodeTextureCode(g, map, zones, n, 0, 2), 61);
    EXPECT_EQ(NodeTextureCode(g, map, zones, n, 0, 1), 69);  // the gradient, no edge code

    // A real zone-30 neighbour still gets its edge code.
    NodeMatrix real(1, 2);
    real.at(0, 0) = 100;
    real.at(0, 1) = 600;
    n.cliffTextures = false;
    const NodeMatrix realMap = BuildZoneMap(real, zones, n);
    EXPECT_EQ(realMap.at(0, 1), 31);
    EXPECT_EQ(NodeTextureCode(real, realMap, zones, n, 0, 0), 3 + EdgeOffset(false, 0, 3));
}

TEST(NativeTerrainStrips, FourRotationsOfAThreeByFiveSelection) {
    TerrainNodes nodes{NodeMatrix(3, 5), NodeMatrix(3, 5)};
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 5; ++k) {
            nodes.NodeHeights.at(i, k) = 10 * i + k;
            nodes.NodeTextures.at(i, k) = 100 + 10 * i + k;
        }
    struct Expected {
        int x, z;
        std::vector<std::int32_t> heights;
    };
    const std::vector<std::vector<Expected>> expected = {
        // r0: rows from the north, z0 + 1 downward, x0 - 2 westward
        {{8, 21, {0, 1, 2, 3, 4}}, {8, 20, {10, 11, 12, 13, 14}}, {8, 19, {20, 21, 22, 23, 24}}},
        // r1: columns, last row first, z0 + 2 downward, x0 - 1
        {{9, 22, {20, 10, 0}}, {9, 21, {21, 11, 1}}, {9, 20, {22, 12, 2}}, {9, 19, {23, 13, 3}}, {9, 18, {24, 14, 4}}},
        // r2: rows reversed, z0 - 1 upward
        {{8, 19, {4, 3, 2, 1, 0}}, {8, 20, {14, 13, 12, 11, 10}}, {8, 21, {24, 23, 22, 21, 20}}},
        // r3: columns first row first, z0 - 2 upward
        {{9, 18, {0, 10, 20}}, {9, 19, {1, 11, 21}}, {9, 20, {2, 12, 22}}, {9, 21, {3, 13, 23}}, {9, 22, {4, 14, 24}}},
    };
    for (int r = 0; r < 4; ++r) {
        std::vector<Expected> got;
        ForEachTerrainStrip(nodes, r, 10, 20, [&](const TerrainStrip& s) {
            got.push_back({s.x, s.z, s.heights});
            for (std::size_t m = 0; m < s.heights.size(); ++m) EXPECT_EQ(s.textures[m], s.heights[m] + 100);
            return true;
        });
        ASSERT_EQ(got.size(), expected[r].size()) << "r=" << r;
        for (std::size_t n = 0; n < got.size(); ++n) {
            EXPECT_EQ(got[n].x, expected[r][n].x) << "r=" << r << " strip " << n;
            EXPECT_EQ(got[n].z, expected[r][n].z) << "r=" << r << " strip " << n;
            EXPECT_EQ(got[n].heights, expected[r][n].heights) << "r=" << r << " strip " << n;
        }
    }
}

TEST(NativeTerrainStrips, RunsOfEqualCodesSplitAtTheLimit) {
    std::vector<std::int32_t> t(2501, 7);
    t[2500] = 8;
    const auto runs = TerrainRuns(t.data(), static_cast<int>(t.size()), 1000);
    const std::vector<std::pair<int, int>> expected = {{0, 1000}, {1000, 1000}, {2000, 500}, {2500, 1}};
    EXPECT_EQ(runs, expected);
    const std::int32_t mixed[] = {1, 1, 2, 1};
    EXPECT_EQ(TerrainRuns(mixed, 4, 1000), (std::vector<std::pair<int, int>>{{0, 2}, {2, 1}, {3, 1}}));
}

TEST(NativeTerrainStrips, PageRadiusCoversEveryNode) {
    EXPECT_EQ(PageRadiusFor(-64, -64, 63, 63), 0);
    EXPECT_EQ(PageRadiusFor(-100, 0, 100, 0), 1);
    EXPECT_EQ(PageRadiusFor(0, -65, 0, 0), 1);
    EXPECT_EQ(PageRadiusFor(0, 0, 192, 0), 2);
}

// A whole run without the bot: the grid, the settings and the elevdump.
class NativeTerrainRun : public ::testing::Test {
protected:
    void load(int rows, int cols, std::int32_t value) {
        ASSERT_TRUE(ws.grid.allocate(rows, cols));
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) ws.grid.cell(r, c) = value + c;
        ws.grid.LastRow = rows - 1;
        ws.grid.LastCol = cols - 1;
        FinishGridLoad(ws, value, value + cols - 1);
        ws.settings.FromSouth = ws.settings.FromWest = "0";
        ws.settings.ToNorth = std::to_string(rows - 1);
        ws.settings.ToEast = std::to_string(cols - 1);
        ws.settings.AW_Terrain = true;
        ws.settings.VerticalScale = "1";
        ws.settings.PropFile = (dir / "terrain.txt").string();
    }
    TerrainOutcome generate() {
        NativeTerrain t(ws, run, nullptr);
        return t.GenerateAwTerrain();
    }

    ScratchDir dir;
    RecordingUserInterface ui;
    Workspace ws{ui};
    RunState run;
};

TEST_F(NativeTerrainRun, ElevationWarningCancelSendsNothingAndWritesNothing) {
    load(2, 2, 400);  // 40000 cm over the 32764 of older worlds
    ui.answers = {Answer::Cancel};
    ws.settings.DeleteOldTerrain = true;
    const TerrainOutcome t = generate();
    EXPECT_EQ(t.end, TerrainEnd::Cancelled);
    EXPECT_FALSE(std::filesystem::exists(ws.settings.PropFile));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, kElevationLimitCaption);
    EXPECT_EQ(ui.messages[0].text, "Max elevation=32764, Offending point at 0 1 is 40100.0\nDo you want to continue anyway?");
    EXPECT_EQ(ui.messages[0].buttons, Buttons::OkCancel);
    EXPECT_FALSE(ws.settings.DeleteOldTerrain);
}

TEST_F(NativeTerrainRun, ElevationWarningOkAsksOnceAndWrites) {
    load(2, 2, 400);
    ui.answers = {Answer::Ok};
    const TerrainOutcome t = generate();
    EXPECT_EQ(t.end, TerrainEnd::Completed);
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_GT(t.nodesWritten, 0);
    const auto h = dumpHeights(test::readFileBytes(ws.settings.PropFile));
    // x0 - C/2 = -1: k = 0 (the FromWest column, value 400) first; x grows westward.
    EXPECT_EQ(h.at({-1, 1}), 40000);
    EXPECT_EQ(h.at({0, 1}), 40100);
}

TEST_F(NativeTerrainRun, WorldVersion4AllowsAThousandMetres) {
    load(1, 1, 1000);
    ws.settings.WorldVersion4 = true;
    const TerrainOutcome t = generate();
    EXPECT_EQ(t.end, TerrainEnd::Completed);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(test::readFileBytes(ws.settings.PropFile).rfind("elevdump version 2\r\n", 0), 0u);
}

TEST_F(NativeTerrainRun, OneByTwoHundredOneSelectionIsWholeInTheElevdump) {
    load(1, 201, 10);
    const TerrainOutcome t = generate();
    ASSERT_EQ(t.end, TerrainEnd::Completed);
    const auto h = dumpHeights(test::readFileBytes(ws.settings.PropFile));
    // r0: the one strip starts at x0 - 100 with k = 0 (column 0, value 10).
    for (int k = 0; k < 201; ++k) EXPECT_EQ(h.at({-100 + k, 0}), (10 + k) * 100) << "node " << k;
}

TEST_F(NativeTerrainRun, FixedGroundZeroFarFromTheSelectionIsStillStored) {
    load(1, 3, 10);
    ws.settings.FixGZ = true;
    ws.settings.ColGZ = "300";  // x0 = 1 + 0 - 300
    const TerrainOutcome t = generate();
    ASSERT_EQ(t.end, TerrainEnd::Completed);
    const auto h = dumpHeights(test::readFileBytes(ws.settings.PropFile));
    EXPECT_EQ(h.at({-300, 0}), 1000);
    EXPECT_EQ(h.at({-298, 0}), 1200);
}

}  // namespace
}  // namespace gorvale
