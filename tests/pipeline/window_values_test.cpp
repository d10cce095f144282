#include "pipeline/window_values.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace gorvale {
namespace {

TEST(DynamicVerticalScale, ThirdOfTheGridRatio) {
    EXPECT_EQ(DynamicVerticalScaleText(1, 1.0f), "0.333333");
    EXPECT_EQ(DynamicVerticalScaleText(1, 3.0f), "1.000000");
    EXPECT_EQ(DynamicVerticalScaleText(2, 1.0f), "0.166667");
    EXPECT_EQ(DynamicVerticalScaleText(4, 12.0f), "1.000000");
}

TEST(ScaleList, EntryTextsRightAligned) {
    EXPECT_EQ(ScaleListEntry(0, 3.0f), "1: 1.00 30.00m    4");
    EXPECT_EQ(ScaleListEntry(0, 1.0f), "1: 3.00 10.00m    4");
    EXPECT_EQ(ScaleListEntry(31, 1.0f), "1:96.00  0.31m 1089");
    const auto entries = ScaleListEntries(2.0f);
    ASSERT_EQ(entries.size(), 32u);
    EXPECT_EQ(entries[1], "1: 3.00 10.00m    9");
}

TEST(SizeLabels, MetresOrUnknown) {
    EXPECT_EQ(SelectionSizeText(0, 30, 3, 1), "100m");
    EXPECT_EQ(SelectionSizeText(10, 40, 3, 2), "200m");
    EXPECT_EQ(SelectionSizeText(0, 0, 3, 1), "Unknown");
    EXPECT_EQ(SelectionSizeText(0, 1, 1, 1), "10m");
    EXPECT_EQ(SelectionSizeText(0, 2, 3, 1), "Unknown");  // 2 / 3 = 0
    EXPECT_EQ(SelectionSizeText(0, 30, 0, 1), "Unknown");  // no step: no size

    test::RecordingUserInterface ui;
    GridContext ws(ui);
    ConversionSettings& s = ws.settings;
    s.FromSouth = "0";
    s.ToNorth = "30";
    s.FromWest = "6";
    s.ToEast = "12";
    s.Scaling = 2;  // n = 3
    s.ObjectSize = 0;
    ShowSelectionSizes(ws);
    for (Label l : {Label::NS_Size, Label::NS_Size2, Label::WE_Size, Label::WE_Size2})
        EXPECT_EQ(ws.facts.text(l), ui.labels[l]) << "the core holds what is shown";
    EXPECT_EQ(ui.labels[Label::NS_Size], "100m");
    EXPECT_EQ(ui.labels[Label::NS_Size2], "100m");
    EXPECT_EQ(ui.labels[Label::WE_Size], "20m");
    EXPECT_EQ(ui.labels[Label::WE_Size2], "20m");
}

TEST(WorldSizeTables, ResetAndSelectionExtent) {
    const WorldSizeTables plain = ResetWorldSizeTables(0, 0, 0, 0);
    EXPECT_EQ(plain.WestEast, kWorldSizeList);
    EXPECT_EQ(plain.NorthSouth, kWorldSizeList);
    EXPECT_EQ(plain.WestEast[0], 1200);
    EXPECT_EQ(plain.WestEast[11], 200);

    const WorldSizeTables t = ResetWorldSizeTables(10, 0, 310, 101);
    EXPECT_EQ(t.WestEast[0], 100);
    EXPECT_EQ(t.NorthSouth[0], 299);
    EXPECT_EQ(t.WestEast[1], 20);
    // 1 and 1200 themselves are not taken.
    EXPECT_EQ(ResetWorldSizeTables(0, 0, 2, 2).WestEast[0], 1200);
    EXPECT_EQ(ResetWorldSizeTables(0, 0, 1201, 1201).NorthSouth[0], 1200);
    EXPECT_EQ(ResetWorldSizeTables(0, 0, 1200, 3).NorthSouth[0], 1199);
}

TEST(WorldSizeTables, FrameInGridCells) {
    WorldSizeTables t = ResetWorldSizeTables(0, 0, 0, 0);
    const WorldFrame f = ComputeWorldFrame(t, 2, 3, 2);  // 40 cells
    EXPECT_EQ(f.WestEast, 60);
    EXPECT_EQ(f.NorthSouth, 61);
    const WorldFrame g = ComputeWorldFrame(t, 1, 1, 3);  // 20 * 1 / 3 = 6
    EXPECT_EQ(g.WestEast, 6);
    EXPECT_EQ(g.NorthSouth, 7);
    EXPECT_EQ(ComputeWorldFrame(t, 99, 1, 1).WestEast, 1200);  // unknown choice: entry 0
    EXPECT_EQ(WestEastWorldSize(t, 3), 50);
}

TEST(WindowHandlers, ObjectSizeRewritesListAndDynamicScale) {
    ConversionSettings s;
    s.ObjectSize = 2;  // 30 m
    s.Scaling = 0;
    s.DVerticalScale = true;
    s.FromSouth = "0";
    s.ToNorth = "50";
    s.FromWest = "0";
    s.ToEast = "80";
    s.WorldSize = 0;
    ShapingWindowState state;
    const auto entries = ApplyObjectSizeChoice(s, state);
    EXPECT_FLOAT_EQ(state.ObjectUnits, 3.0f);
    EXPECT_EQ(entries[0], "1: 1.00 30.00m    4");
    EXPECT_EQ(s.VerticalScale, "1.000000");
    EXPECT_EQ(state.ScalingStep, 1);
    EXPECT_EQ(state.Tables.WestEast[0], 79);
    EXPECT_EQ(state.Frame.WestEast, 79 / 3);
    EXPECT_EQ(state.Frame.NorthSouth, 49 / 3 + 1);

    s.DVerticalScale = false;
    s.VerticalScale = "0.5";
    s.Scaling = 1;
    ApplyScalingChoice(s, state);
    EXPECT_EQ(s.VerticalScale, "0.5");
    EXPECT_EQ(state.ScalingStep, 2);
}

TEST(WindowHandlers, DependentSwitches) {
    ConversionSettings s;
    s.WorldEdgeLevelWithGround = false;
    s.WorldEdgeLevelSmooth = true;
    EXPECT_FALSE(ApplyLevelEdgeRule(s));
    EXPECT_FALSE(s.WorldEdgeLevelSmooth);
    s.WorldEdgeLevelWithGround = true;
    s.WorldEdgeLevelSmooth = true;
    EXPECT_TRUE(ApplyLevelEdgeRule(s));
    EXPECT_TRUE(s.WorldEdgeLevelSmooth);

    s.WorldEdgeOverHang = true;
    s.SingleObjectGround = true;
    SingleObjectGroundControls on = ApplySingleObjectGroundRule(s);
    EXPECT_STREQ(on.PrefixButtonText, "NamePrefix");
    EXPECT_FALSE(on.OverhangEnabled);
    EXPECT_TRUE(on.UseTranslateEnabled);
    EXPECT_FALSE(s.WorldEdgeOverHang);
    s.WorldEdgeOverHang = true;
    s.SingleObjectGround = false;
    SingleObjectGroundControls off = ApplySingleObjectGroundRule(s);
    EXPECT_STREQ(off.PrefixButtonText, "Target Rwx Prefix");
    EXPECT_TRUE(off.OverhangEnabled);
    EXPECT_FALSE(off.UseTranslateEnabled);
    EXPECT_FALSE(s.WorldEdgeOverHang);
}

}  // namespace
}  // namespace gorvale
