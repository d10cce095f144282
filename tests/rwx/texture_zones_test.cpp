#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pipeline/workspace.h"
#include "base/text_convert.h"
#include "rwx/rwx_emitter.h"
#include "rwx/texture_zones.h"
#include "tests/support/test_support.h"

namespace gorvale {
namespace {

// A workspace whose grid holds `values` row by row (row 0 first) and whose
// selection covers all of it.
struct ZoneFixture {
    test::RecordingUserInterface ui;
    Workspace ws{ui};

    void setGrid(int rows, int cols, const std::vector<std::int32_t>& values) {
        ASSERT_TRUE(ws.grid.allocate(rows, cols));
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) ws.grid.cell(r, c) = values[r * cols + c];
        ws.grid.LastRow = ws.grid.RowLimit = rows - 1;
        ws.grid.LastCol = ws.grid.ColLimit = cols - 1;
        ws.settings.FromSouth = "0";
        ws.settings.FromWest = "0";
        ws.settings.ToNorth = std::to_string(rows - 1);
        ws.settings.ToEast = std::to_string(cols - 1);
    }
    TextureZoneRow& row(int s) { return ws.settings.TextureZones[s]; }
    void zone(int s, const char* lowest, const char* highest, const char* name) {
        row(s).ObjectZone = true;
        row(s).Lowest = lowest;
        row(s).Highest = highest;
        row(s).RWXName = name;
    }
};

// Chooses textures like the writer does and reports the names and tags.
struct Chooser {
    TextureGroupList groups;
    TextureChooser chooser;
    Chooser(const Workspace& ws, std::int32_t selMin, std::int32_t selRange,
            const std::string& unique = "ztxt03n_02w")
        : chooser(ws.zones, groups) {
        groups.BeginGroupList();
        chooser.beginObject(ws.settings, selMin, selRange, unique);
    }
    std::string nameFor(std::initializer_list<std::int32_t> corners, bool top = true) {
        std::vector<std::int32_t> c(corners);
        if (c.size() == 3) chooser.ChooseTriangleTexture(c[0], c[1], c[2], top);
        else chooser.ChooseQuadTexture(c[0], c[1], c[2], c[3], top);
        return std::string(chooser.currentName());
    }
    std::string statement() const { return std::string(groups.currentStatement()); }
};

TEST(ZoneFlattening, MovesBandValuesToTheLowerOrUpperBound) {
    ZoneTable t;
    t.rows[0].ObjectFlatZone = true;
    t.rows[0].Lowest = 0;
    t.rows[0].Highest = 5;
    EXPECT_EQ(t.FlattenByZones(0), 0);
    EXPECT_EQ(t.FlattenByZones(3), 0);
    EXPECT_EQ(t.FlattenByZones(5), 0);
    EXPECT_EQ(t.FlattenByZones(6), 6);
    EXPECT_EQ(t.FlattenByZones(-1), -1);
    t.rows[0].ObjectFlatZoneHigh = true;
    EXPECT_EQ(t.FlattenByZones(0), 5);
    EXPECT_EQ(t.FlattenByZones(4), 5);
}

TEST(ZoneFlattening, LaterRowsSeeTheChangedValueAndZoneSwitchIsIgnored) {
    ZoneTable t;
    t.rows[2] = ZoneRow{};
    t.rows[2].ObjectFlatZone = true;
    t.rows[2].ObjectFlatZoneHigh = true;
    t.rows[2].Lowest = 10;
    t.rows[2].Highest = 20;
    t.rows[7].ObjectFlatZone = true;
    t.rows[7].Lowest = 20;
    t.rows[7].Highest = 30;
    t.rows[7].ObjectZone = false;
    EXPECT_EQ(t.FlattenByZones(15), 20);  // row 2 gives 20, row 7 then gives 20 as its lower bound
    EXPECT_EQ(t.FlattenByZones(25), 20);
    t.rows[7].ObjectFlatZoneHigh = true;
    EXPECT_EQ(t.FlattenByZones(12), 30);  // 12 -> 20 -> 30
}

TEST(ZoneFlattening, ReachesTheGridThroughElevationAtOnceAZoneIsFlat) {
    ZoneFixture f;
    f.setGrid(2, 3, {0, 2, 5, 6, 9, 4});
    PrepareZoneTable(f.ws);
    EXPECT_EQ(f.ws.grid.flattening(), nullptr);
    EXPECT_EQ(f.ws.grid.ElevationAt(0, 1), 2);
    f.row(0).ObjectFlatZone = true;
    f.row(0).Lowest = "0";
    f.row(0).Highest = "5";
    PrepareZoneTable(f.ws);
    ASSERT_EQ(f.ws.grid.flattening(), &f.ws.zones);
    EXPECT_EQ(f.ws.grid.ElevationAt(0, 1), 0);
    EXPECT_EQ(f.ws.grid.ElevationAt(0, 2), 0);
    EXPECT_EQ(f.ws.grid.ElevationAt(1, 0), 6);
    EXPECT_EQ(f.ws.grid.cell(0, 2), 5);  // the stored value stays
    f.row(0).ObjectFlatZone = false;
    PrepareZoneTable(f.ws);
    EXPECT_EQ(f.ws.grid.flattening(), nullptr);
    EXPECT_EQ(f.ws.grid.ElevationAt(0, 2), 5);
}

TEST(ZonePreparation, ScansWithTheBoundsOfThePreviousConversion) {
    ZoneFixture f;
    f.setGrid(2, 2, {10, 40, 70, 100});
    f.row(0).ObjectFlatZone = true;
    f.row(0).Lowest = "0";
    f.row(0).Highest = "50";
    // The numeric bounds still stand at 0..0, so 10 is not flattened yet.
    EXPECT_EQ(PrepareZoneTable(f.ws), 10);
    EXPECT_EQ(f.ws.zones.rows[0].Highest, 50);
    EXPECT_EQ(PrepareZoneTable(f.ws), 0);
}

TEST(ZonePreparation, ScansOnlyTheStorageWhateverTheFieldsSay) {
    ZoneFixture f;
    f.setGrid(2, 2, {7, 8, 9, 3});
    f.ws.settings.ToNorth = "500";
    f.ws.settings.ToEast = "500";
    f.ws.grid.RowLimit = 1000;  // limits that do not clamp
    f.ws.grid.ColLimit = 1000;
    EXPECT_EQ(PrepareZoneTable(f.ws), 3);
    ZoneFixture empty;
    EXPECT_EQ(PrepareZoneTable(empty.ws), 32000);
}

TEST(ZonePreparation, ConvertsPercentagesWithClamping) {
    ZoneFixture f;
    f.setGrid(1, 4, {100, 150, 200, 300});
    f.ws.settings.RangeInPercent = true;
    f.zone(0, "0", "100", "a");
    f.zone(1, "-5", "150", "b");
    f.zone(2, "25", "50.5", "c");
    f.zone(3, "x", "y", "d");  // texts that are no numbers keep the previous values
    f.ws.zones.rows[3].Lowest = 11;
    f.ws.zones.rows[3].Highest = 22;
    PrepareZoneTable(f.ws);
    const auto& r = f.ws.zones.rows;
    EXPECT_EQ(r[0].Lowest, 100);
    EXPECT_EQ(r[0].Highest, 300);
    EXPECT_EQ(r[1].Lowest, 100);
    EXPECT_EQ(r[1].Highest, 300);
    EXPECT_EQ(r[2].Lowest, 150);
    EXPECT_EQ(r[2].Highest, 201);  // 200 * 50.5 * 0.01 + 100, truncated
    EXPECT_EQ(r[3].Lowest, 11);
    EXPECT_EQ(r[3].Highest, 22);
}

TEST(ZonePreparation, PercentagesUseTheFlattenedMinimumAndTheRawMaximum) {
    ZoneFixture f;
    f.setGrid(1, 3, {20, 50, 120});
    f.row(5).ObjectFlatZone = true;
    f.row(5).Lowest = "0";
    f.row(5).Highest = "30";
    PrepareZoneTable(f.ws);  // the flat row's bounds become 0..30
    f.ws.settings.RangeInPercent = true;
    f.row(5).Highest = "25";
    f.zone(0, "0", "100", "a");
    PrepareZoneTable(f.ws);
    EXPECT_EQ(f.ws.zones.rows[0].Lowest, 0);     // 20 was flattened to 0
    EXPECT_EQ(f.ws.zones.rows[0].Highest, 120);  // the raw maximum
    EXPECT_EQ(f.ws.zones.rows[5].Highest, 30);   // 25 % of 0..120
}

TEST(ZonePreparation, SecondConversionUsesTheSelectionStatistics) {
    ZoneFixture f;
    f.setGrid(1, 2, {0, 1000});
    f.ws.settings.RangeInPercent = true;
    f.zone(0, "10", "60", "a");
    f.row(0).NumberOfTexts = "4";
    PrepareZoneTable(f.ws);
    EXPECT_EQ(f.ws.zones.rows[0].Lowest, 100);
    f.row(0).NumberOfTexts = "6";
    f.ws.zones.convertForRun(f.ws.settings, 200, 400);
    EXPECT_EQ(f.ws.zones.rows[0].Lowest, 240);
    EXPECT_EQ(f.ws.zones.rows[0].Highest, 440);
    EXPECT_EQ(f.ws.zones.rows[0].NumberOfTexts, 6);
    f.ws.grid.SelectionMin = 0;
    f.ws.grid.SelectionRange = 0;  // not yet raised to 1
    ConvertZonesForRun(f.ws);
    EXPECT_EQ(f.ws.zones.rows[0].Lowest, 0);
    EXPECT_EQ(f.ws.zones.rows[0].Highest, 0);
}

TEST(ZonePreparation, SetsOpacityTextOfRowsWithoutOwnOpacityToOne) {
    ZoneFixture f;
    f.row(0).OpacityValue = "0.3";
    f.row(1).OpacityZone = true;
    f.row(1).OpacityValue = "0.5";
    PrepareZoneTable(f.ws);
    EXPECT_EQ(f.row(0).OpacityValue, "1");
    EXPECT_EQ(f.row(1).OpacityValue, "0.5");
    EXPECT_TRUE(f.ws.SettingsModified);
    EXPECT_TRUE(f.ws.zones.AnyOpacity);
    EXPECT_FLOAT_EQ(f.ws.zones.rows[1].OpacityValue, 0.5f);
    EXPECT_EQ(f.ws.zones.rows[1].opacityLine, "\nOpacity 0.50");
    EXPECT_EQ(f.ws.zones.rows[0].opacityLine, "\nOpacity 1.00");
    f.ws.SettingsModified = false;
    f.row(1).OpacityZone = false;
    PrepareZoneTable(f.ws);
    EXPECT_FALSE(f.ws.zones.AnyOpacity);
    EXPECT_TRUE(f.ws.SettingsModified);
    f.ws.SettingsModified = false;
    PrepareZoneTable(f.ws);
    EXPECT_FALSE(f.ws.SettingsModified);  // nothing changed this time
}

TEST(ZonePreparation, OpacityLinesRoundLikeTwoDecimalPrintf) {
    ZoneFixture f;
    const char* typed[] = {"0.125", "0.135", "0.005", "1", "0.999", "2.5", "-0.001", "0.3"};
    for (int s = 0; s < 8; ++s) {
        f.row(s).OpacityZone = true;
        f.row(s).OpacityValue = typed[s];
    }
    PrepareZoneTable(f.ws);
    for (int s = 0; s < 8; ++s) {
        const double value = f.ws.zones.rows[s].OpacityValue;
        EXPECT_EQ(f.ws.zones.rows[s].opacityLine, format("\nOpacity %.2f", value)) << typed[s];
    }
}

TEST(ZoneTexture, LowerRowWinsAndLastTagRowUpToItSetsTheTag) {
    ZoneFixture f;
    f.zone(3, "0", "100", "low");
    f.zone(5, "50", "200", "high");
    f.row(1).ObjectTagZone = true;
    f.row(1).Lowest = "0";
    f.row(1).Highest = "1000";
    f.row(1).TagStartValue = "11";
    f.row(3).ObjectTagZone = true;
    f.row(3).TagStartValue = "33";
    f.row(4).ObjectTagZone = true;  // a tag row after the winner never counts
    f.row(4).Lowest = "0";
    f.row(4).Highest = "1000";
    f.row(4).TagStartValue = "44";
    PrepareZoneTable(f.ws);
    Chooser c(f.ws, 0, 200);
    EXPECT_EQ(c.nameFor({60, 70, 80}), "low");
    EXPECT_TRUE(c.groups.tagActive);
    EXPECT_EQ(c.groups.tag, 33);
    EXPECT_EQ(c.nameFor({150, 150, 150}), "high");
    EXPECT_EQ(c.groups.tag, 44);
    EXPECT_EQ(c.nameFor({100, 100, 100}), "low");  // upper bound of row 3 belongs to it
    EXPECT_EQ(c.groups.tag, 33);
    EXPECT_EQ(c.nameFor({500, 500, 500}), "null");  // in no enabled zone
    EXPECT_EQ(c.statement(), "Texture null\n");
    EXPECT_TRUE(c.groups.tagActive);
    EXPECT_EQ(c.groups.tag, 44);
    EXPECT_EQ(c.nameFor({5000, 5000, 5000}), "null");
    EXPECT_FALSE(c.groups.tagActive);
}

TEST(ZoneTexture, UsesTheLargestCornerOrTheTruncatedAverage) {
    ZoneFixture f;
    f.zone(0, "0", "10", "ten");
    f.zone(1, "11", "11", "eleven");
    PrepareZoneTable(f.ws);
    {
        Chooser c(f.ws, 0, 20);
        EXPECT_EQ(c.nameFor({10, 11, 11}), "eleven");
    }
    f.ws.settings.UseAvgHeight = true;
    Chooser c(f.ws, 0, 20);
    EXPECT_EQ(c.nameFor({10, 11, 11}), "ten");
    EXPECT_EQ(c.nameFor({11, 11, 11, 11}), "eleven");
    EXPECT_EQ(c.nameFor({-3, -2, 0}), "null");  // -5 / 3 truncates to -1
}

TEST(ZoneTexture, NumbersTheGradientOverTheWholeSelection) {
    ZoneFixture f;
    f.zone(0, "0", "1000", "gnd");
    f.row(0).NumberOfTexts = "4";
    f.row(0).NameSuffixFrom = "1";
    PrepareZoneTable(f.ws);
    Chooser c(f.ws, 100, 400);
    EXPECT_EQ(c.nameFor({100, 100, 100}), "gnd1");
    EXPECT_EQ(c.nameFor({199, 100, 100}), "gnd1");
    EXPECT_EQ(c.nameFor({200, 100, 100}), "gnd2");
    EXPECT_EQ(c.nameFor({400, 100, 100}), "gnd4");
    EXPECT_EQ(c.nameFor({500, 100, 100}), "gnd5");
    EXPECT_EQ(c.nameFor({50, 50, 50}), "gnd0");  // a levelled edge below the selection
    EXPECT_EQ(c.nameFor({500, 100, 100}, false), "gnd");  // bottom names are never numbered
    EXPECT_EQ(c.statement(), "Texture gnd\n");
}

TEST(ZoneTexture, BottomFacesUseTheBottomName) {
    ZoneFixture f;
    f.zone(0, "0", "1000", "grass");
    f.row(0).RWXBottomName = "dirt";
    PrepareZoneTable(f.ws);
    Chooser c(f.ws, 0, 100);
    EXPECT_EQ(c.nameFor({5, 5, 5}), "grass");
    EXPECT_EQ(c.nameFor({5, 5, 5}, false), "dirt");
    EXPECT_EQ(c.statement(), "Texture dirt\n");
}

TEST(ZoneTexture, AnyOpacityPutsAnOpacityLineIntoEveryStatement) {
    ZoneFixture f;
    f.zone(0, "0", "10", "water");
    f.row(0).OpacityZone = true;
    f.row(0).OpacityValue = "0.5";
    f.zone(1, "11", "100", "gnd");
    PrepareZoneTable(f.ws);
    Chooser c(f.ws, 0, 100);
    c.nameFor({5, 5, 5});
    EXPECT_EQ(c.statement(), "Texture water\nOpacity 0.50\n");
    c.nameFor({50, 50, 50});
    EXPECT_EQ(c.statement(), "Texture gnd\nOpacity 1.00\n");
    c.nameFor({50, 50, 50}, false);
    EXPECT_EQ(c.statement(), "Texture gnd\nOpacity 1.00\n");
}

TEST(ZoneTexture, SelectsANewGroupOnlyWhenTheNameChanges) {
    ZoneFixture f;
    f.zone(0, "0", "10", "a");
    f.zone(1, "11", "20", "b");
    PrepareZoneTable(f.ws);
    Chooser c(f.ws, 0, 20);
    c.nameFor({1, 2, 3});
    c.groups.AddTriangle(1, 2, 3, true);
    c.nameFor({4, 5, 6});
    c.groups.AddTriangle(4, 5, 6, true);
    c.nameFor({15, 15, 15});
    c.groups.AddTriangle(7, 8, 9, true);
    c.nameFor({1, 1, 1});
    c.groups.AddTriangle(10, 11, 12, true);
    RwxText out;
    c.groups.WriteGroups(out);
    EXPECT_EQ(out.bytes(),
              "Texture a\r\nTriangle 1 2 3\r\nTriangle 10 11 12\r\nTriangle 4 5 6\r\n"
              "Texture b\r\nTriangle 7 8 9\r\n");
}

TEST(ZoneTexture, CliffsGetTheCliffTextureOnBothFaces) {
    ZoneFixture f;
    f.zone(0, "0", "1000", "gnd");
    f.ws.settings.CliffTextures = true;
    f.ws.settings.CliffTextureName = "rock";
    f.ws.settings.CliffTextureMin = "10";
    f.ws.settings.UseUniqueTextures = true;  // not used for cliffs
    f.row(0).ObjectTagZone = true;
    f.row(0).TagStartValue = "5";
    PrepareZoneTable(f.ws);
    EXPECT_EQ(f.ws.zones.CliffTextureMin, 10);
    Chooser c(f.ws, 0, 100, "ztxt00n_00w");
    EXPECT_EQ(c.nameFor({0, 5, 10}), "gnd");  // a difference of 10 is no cliff
    EXPECT_EQ(c.statement(), "Texture ztxt00n_00w\n");
    EXPECT_EQ(c.nameFor({0, 5, 11}), "rock");
    EXPECT_EQ(c.statement(), "Texture rock\n");
    EXPECT_EQ(c.nameFor({0, 5, 11}, false), "rock");
    // Cliff polygons keep the tag state of the last zone-textured polygon.
    EXPECT_TRUE(c.groups.tagActive);
    EXPECT_EQ(c.groups.tag, 5);
}

TEST(ZoneTexture, UniqueTexturesKeepTheObjectsOwnName) {
    ZoneFixture f;
    f.zone(0, "0", "10", "a");
    f.zone(1, "11", "20", "b");
    f.ws.settings.UseUniqueTextures = true;
    PrepareZoneTable(f.ws);
    Chooser c(f.ws, 0, 20, "ztxt03n_02w");
    c.nameFor({1, 1, 1});
    EXPECT_EQ(c.statement(), "Texture ztxt03n_02w\n");
    c.groups.AddTriangle(1, 2, 3, true);
    c.nameFor({15, 15, 15});  // zone changes: the statement is repeated, same group
    c.groups.AddTriangle(4, 5, 6, true);
    EXPECT_EQ(c.groups.groupCount(), 2u);  // the start group and the unique one
}

TEST(ZoneTexture, NoObjectTexturesLeavesEverythingInTheStartGroup) {
    ZoneFixture f;
    f.zone(0, "0", "10", "a");
    f.row(0).ObjectTagZone = true;
    f.ws.settings.NoObjectTextures = true;
    f.ws.settings.CliffTextures = true;
    f.ws.settings.CliffTextureMin = "0";
    PrepareZoneTable(f.ws);
    Chooser c(f.ws, 0, 20);
    c.nameFor({1, 5, 9});
    EXPECT_EQ(c.statement(), "null");
    EXPECT_FALSE(c.groups.tagActive);
}

TEST(ZoneNameLimit, RefusesNamesThatCannotFitWithNumberAndOpacity) {
    ZoneFixture f;
    std::string error;
    f.zone(0, "0", "10", "abcdefghijklmnopqrstuvwxyz01234");  // 31 characters
    PrepareZoneTable(f.ws);
    EXPECT_TRUE(validateZoneNames(f.ws.settings, f.ws.zones, error)) << error;
    f.row(0).NumberOfTexts = "9";  // numbers 1 to 10
    PrepareZoneTable(f.ws);
    EXPECT_FALSE(validateZoneNames(f.ws.settings, f.ws.zones, error));
    EXPECT_NE(error.find("Zone1"), std::string::npos) << error;
    EXPECT_NE(error.find("33 characters"), std::string::npos) << error;
    f.zone(0, "0", "10", "abcdefghijklmnopqrstuvwxyz0123");
    f.row(0).NumberOfTexts = "8";  // 30 characters and one digit
    PrepareZoneTable(f.ws);
    EXPECT_TRUE(validateZoneNames(f.ws.settings, f.ws.zones, error)) << error;
    f.row(0).NameSuffixFrom = "5";  // 5 .. 13 needs two digits
    PrepareZoneTable(f.ws);
    EXPECT_FALSE(validateZoneNames(f.ws.settings, f.ws.zones, error));
    f.row(0).NameSuffixFrom = "1";
    f.row(2).OpacityZone = true;  // every name now carries "\nOpacity 1.00"
    PrepareZoneTable(f.ws);
    EXPECT_FALSE(validateZoneNames(f.ws.settings, f.ws.zones, error));
    EXPECT_NE(error.find("opacity"), std::string::npos) << error;
    f.row(0).ObjectZone = false;  // a disabled row is never written
    PrepareZoneTable(f.ws);
    EXPECT_TRUE(validateZoneNames(f.ws.settings, f.ws.zones, error)) << error;
}

TEST(ZoneNameLimit, ChecksBottomCliffAndUniqueNamesWhenUsed) {
    ZoneFixture f;
    std::string error;
    f.zone(0, "0", "10", "gnd");
    f.row(0).RWXBottomName = std::string(32, 'b');
    f.ws.settings.CliffTextureName = std::string(32, 'c');
    f.ws.settings.UniqueTexturePrefix = std::string(25, 'u');
    PrepareZoneTable(f.ws);
    EXPECT_TRUE(validateZoneNames(f.ws.settings, f.ws.zones, error)) << error;
    f.ws.settings.DoubleSidedObject = true;
    EXPECT_FALSE(validateZoneNames(f.ws.settings, f.ws.zones, error));
    EXPECT_NE(error.find("bottom"), std::string::npos);
    f.ws.settings.DoubleSidedObject = false;
    f.ws.settings.CliffTextures = true;
    EXPECT_FALSE(validateZoneNames(f.ws.settings, f.ws.zones, error));
    EXPECT_NE(error.find("cliff"), std::string::npos);
    f.ws.settings.CliffTextures = false;
    f.ws.settings.UseUniqueTextures = true;
    EXPECT_FALSE(validateZoneNames(f.ws.settings, f.ws.zones, error));
    EXPECT_NE(error.find("prefix"), std::string::npos);
    f.ws.settings.UniqueTexturePrefix = std::string(24, 'u');
    EXPECT_TRUE(validateZoneNames(f.ws.settings, f.ws.zones, error)) << error;
    f.ws.settings.NoObjectTextures = true;  // no names at all
    f.ws.settings.UniqueTexturePrefix = std::string(40, 'u');
    EXPECT_TRUE(validateZoneNames(f.ws.settings, f.ws.zones, error)) << error;
}

TEST(ZoneNameLimit, CheckShowsTheMessageThroughTheUserInterface) {
    ZoneFixture f;
    f.zone(4, "0", "10", std::string(40, 'n').c_str());
    PrepareZoneTable(f.ws);
    EXPECT_FALSE(checkZoneNames(f.ws));
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_EQ(f.ui.messages[0].caption, "Texture Zones");
    EXPECT_NE(f.ui.messages[0].text.find("Zone5"), std::string::npos);
    EXPECT_EQ(f.ui.messages[0].kind, MessageKind::Error);
    f.row(4).RWXName = "n";
    PrepareZoneTable(f.ws);
    EXPECT_TRUE(checkZoneNames(f.ws));
    EXPECT_EQ(f.ui.messages.size(), 1u);
}

TEST(ZoneNameLimit, NamesStayWithinTheLimitForHeightsFarOutsideTheSelection) {
    ZoneFixture f;
    f.zone(0, "-100000", "100000", std::string(29, 'g').c_str());
    f.row(0).NumberOfTexts = "4";
    PrepareZoneTable(f.ws);
    std::string error;
    ASSERT_TRUE(validateZoneNames(f.ws.settings, f.ws.zones, error)) << error;
    Chooser c(f.ws, 0, 100);
    EXPECT_EQ(c.nameFor({50, 50, 50}), std::string(29, 'g') + "3");
    // A levelled edge far below gives -3999; the nearest checked number is used.
    EXPECT_EQ(c.nameFor({-100000, -100000, -100000}), std::string(29, 'g') + "1");
    EXPECT_LE(c.chooser.currentName().size(), kTextureNameLimit);
}

}  // namespace
}  // namespace gorvale
