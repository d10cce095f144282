#include "world/terrain_selection.h"

#include <gtest/gtest.h>

namespace gorvale {
namespace {

TEST(TerrainSelection, FieldsAreDistancesFromTheDumpOriginAndOkWritesThemBack) {
    SilentUserInterface ui;
    GridContext ws(ui);
    ws.grid.LastRow = ws.grid.LastCol = 384;
    ws.ElevdumpOriginRow = ws.ElevdumpOriginCol = 192;
    ws.settings.FromSouth = "100";
    ws.settings.FromWest = "150";
    ws.settings.ToNorth = "300";
    ws.settings.ToEast = "192";
    TerrainSelectionDialog d = OpenTerrainSelection(ws, true, false);
    EXPECT_EQ(d.caption, "AW Terrain Selection");
    EXPECT_EQ(d.south.magnitude, 92);
    EXPECT_TRUE(d.south.negative);
    EXPECT_EQ(d.west.magnitude, 42);
    EXPECT_TRUE(d.west.negative);
    EXPECT_EQ(d.north.magnitude, 108);
    EXPECT_FALSE(d.north.negative);
    EXPECT_EQ(d.east.magnitude, 0);
    d.south = {10, true};  // 10 S
    d.north = {31, false};
    d.west = {5, false};
    d.east = {20, false};
    AcceptTerrainSelection(ws, d, false);
    EXPECT_EQ(ws.settings.FromSouth, "182");
    EXPECT_EQ(ws.settings.ToNorth, "223");
    EXPECT_EQ(ws.settings.FromWest, "197");
    EXPECT_EQ(ws.settings.ToEast, "212");
    EXPECT_EQ(ws.settings.PropCenterNS, std::to_string((41 / 2 - 10) * 1000 + 500));
    EXPECT_EQ(ws.settings.PropCenterWE, std::to_string((15 / 2 + 5) * 1000 + 500));
    EXPECT_EQ(ws.settings.VerticalScale, "0.01");
    EXPECT_FALSE(ws.settings.DVerticalScale);

    // Without a dump the centre is the grid's middle; the exclusion has no prop centre.
    ws.settings.PropCenterNS = "7";
    TerrainSelectionDialog x = OpenTerrainSelection(ws, false, true);
    EXPECT_EQ(x.caption, "AW Terrain Exclusion");
    EXPECT_EQ(x.centreRow, 192);
    x.north = {3, false};
    AcceptTerrainSelection(ws, x, true);
    EXPECT_EQ(ws.settings.ToNorthExcl, 195);
    EXPECT_EQ(ws.settings.PropCenterNS, "7");
}

TEST(TerrainSelection, ModeSwitchTurnsOffWhatTheModeExcludes) {
    ConversionSettings s;
    s.AW_Terrain = true;
    s.GenerateTrees = s.DoubleSidedObject = s.WorldEdgeOverHang = true;
    s.ObjectSize = 3;
    NativeTerrainView on = SwitchNativeTerrainMode(s);
    EXPECT_TRUE(on.terrainControlsShown);
    EXPECT_FALSE(on.objectControlsShown);
    EXPECT_FALSE(s.GenerateTrees || s.DoubleSidedObject || s.WorldEdgeOverHang);
    EXPECT_EQ(s.ObjectSize, 0);
    EXPECT_EQ(s.CliffTextureName, "terrain61");
    EXPECT_EQ(on.noPropfileCaption, "No Elevation file");
    EXPECT_EQ(on.opacityZoneCaption, "Co");
    EXPECT_TRUE(on.rwxPageCaption.empty());
    s.AW_Terrain = false;
    s.FixGZ = true;
    NativeTerrainView off = SwitchNativeTerrainMode(s);
    EXPECT_FALSE(s.FixGZ);
    EXPECT_EQ(off.propFileButtonCaption, "Prop File");
    EXPECT_EQ(off.treePageCaption, "Tree Zones");
    EXPECT_EQ(s.CliffTextureName, "terrain61");  // unchanged
    // Both modes hint every zone field the window shows a hint for.
    ASSERT_EQ(on.zoneHints.size(), 6u);
    ASSERT_EQ(off.zoneHints.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) EXPECT_NE(on.zoneHints[i], off.zoneHints[i]) << i;
    EXPECT_EQ(on.verticalOffsetHint, "Lowers the terrain with the given amount (in centimeters).");
    EXPECT_FALSE(off.verticalOffsetHint.empty());
}

}  // namespace
}  // namespace gorvale
