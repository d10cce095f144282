#include "pipeline/tile_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <vector>

#include "pipeline/propdump_writer.h"
#include "tests/pipeline/layout_run_fixture.h"
#include "tests/support/test_support.h"

namespace gorvale {
namespace {

using test::kClock;

struct WriterCall {
    std::string path;
    int n, offsetZ, offsetX;
    std::int32_t base;
    float verticalScale;
    double centring, shiftA, shiftB;
    int n2;
    std::int32_t lowest;  // smallest height the writer saw
};

// Records every call; like the real writer it handles window events once per
// model and measures from the tile's own lowest point when flush and separate.
class RecordingWriter : public TileModelWriter {
public:
    RecordingWriter(const TileHeights& heights, const ConversionSettings& s, UserInterface& ui)
        : heights_(heights), settings_(s), ui_(ui) {}

    int WriteGroundObject(const std::string& path, int n, int offsetZ, int offsetX, std::int32_t base,
                          float verticalScale, double centring, double shiftA, double shiftB,
                          int n2) override {
        std::int32_t lowest = 32000;
        for (int i = 0; i <= n; ++i)
            for (int j = 0; j <= n; ++j) lowest = std::min(lowest, heights_.E(i, j));
        calls.push_back({path, n, offsetZ, offsetX, base, verticalScale, centring, shiftA, shiftB, n2, lowest});
        used_ = settings_.FlushWithGround && !settings_.SingleObjectGround ? lowest : base;
        const int r = failOnCall == static_cast<int>(calls.size()) ? -1 : 0;
        return r;
    }
    int MaxVertexHeight() const override { return maxVertexHeight; }
    std::int32_t BaseElevationUsed() const override { return used_; }
    void BeginSingleModel() override {}
    void EndSingleModel() override {}

    std::vector<WriterCall> calls;
    int failOnCall = 0;
    int maxVertexHeight = 0;

private:
    const TileHeights& heights_;
    const ConversionSettings& settings_;
    UserInterface& ui_;
    std::int32_t used_ = 0;
};

struct BuildCall {
    std::int32_t owner, x, timestamp;
    std::string action, description, model;
    int yaw;
    std::int32_t z, y;
};

class RecordingBuilder : public ObjectSink {
public:
    int Put(const WorldObject& o) override {
        calls.push_back({o.Owner, o.X, o.Timestamp, o.Action, o.Description, o.Model, o.Yaw, o.Z, o.Y});
        return 0;
    }
    std::vector<BuildCall> calls;
};

class RecordingSink : public ObjectSink {
public:
    int Put(const WorldObject& o) override {
        objects.push_back(o);
        return 0;
    }
    std::vector<WorldObject> objects;
};

// Stands in for tree zones: one "tree" line per tile, at the tile position.
class OneTreePerTile : public TreeZoneHooks {
public:
    void SampleTreeZones(const ElevationGrid&, int h, int c, int n) override {
        sampled.push_back({h, c, n});
    }
    void PlaceTrees(TileLoop& loop, const LayoutNumbers& numbers, const TreeTile& tile) override {
        EmitPropdumpLine(loop, TreeObjectLine(numbers.CitizenNumber, CurrentTime(loop), tile.Position.X * 1000,
                                              0, tile.Position.Z * 1000, 0, "ztree", ""));
        ++placed;
    }
    std::vector<std::array<int, 3>> sampled;
    int placed = 0;
};

// A 4 x 4 cell selection (5 x 5 grid points) cut into 2 x 2 tiles of n = 2.
class LayoutFixture : public test::LayoutRunFixture {
protected:
    void SetUp() override {
        setUpRun(7, [](int r, int c) { return 100 + 10 * r + c; }, 1);  // n = 2
        rect = {0, 0, 4, 4};
    }

    LayoutResult run() { return runTiles(writer, &builder, &trees, objects); }

    // Splits an object line into its integer fields and the trailing text.
    static std::vector<std::string> fields(const std::string& line) {
        std::istringstream in(line);
        std::vector<std::string> f;
        std::string w;
        while (in >> w) f.push_back(w);
        return f;
    }

    RecordingWriter writer{heights, settings, ui};
    RecordingBuilder builder;
    OneTreePerTile trees;
    ObjectSink* objects = nullptr;  // null: the propdump file
};

TEST_F(LayoutFixture, FourByFourCellsGiveFourNamedAndPlacedTiles) {
    const LayoutResult r = run();
    EXPECT_EQ(r.End, LayoutEnd::Completed);
    EXPECT_EQ(r.TilesDone, 4);
    ASSERT_EQ(writer.calls.size(), 4u);
    EXPECT_EQ(writer.calls[0].path, "models/z01s_01e.rwx");
    EXPECT_EQ(writer.calls[1].path, "models/z01s_00w.rwx");
    EXPECT_EQ(writer.calls[2].path, "models/z00n_01e.rwx");
    EXPECT_EQ(writer.calls[3].path, "models/z00n_00w.rwx");
    for (const WriterCall& c : writer.calls) {
        EXPECT_EQ(c.n, 2);
        EXPECT_EQ(c.n2, 2);
        EXPECT_EQ(c.offsetZ, 0);
        EXPECT_EQ(c.offsetX, 0);
        EXPECT_FLOAT_EQ(c.verticalScale, 0.5f);
        EXPECT_DOUBLE_EQ(c.centring, 0.2);
        EXPECT_DOUBLE_EQ(c.shiftA, 0.0);
        EXPECT_DOUBLE_EQ(c.shiftB, 0.0);
        EXPECT_EQ(c.base, 0);
    }

    const auto lines = propLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "propdump version 3");
    EXPECT_EQ(lines[1], "318 1234567 -1000 0 -1000 0 0 0 12 0 0 z01s_01e.rwx");
    EXPECT_EQ(lines[2], "318 1234567 0 0 -1000 0 0 0 12 0 0 z01s_00w.rwx");
    EXPECT_EQ(lines[3], "318 1234567 -1000 0 0 0 0 0 12 0 0 z00n_01e.rwx");
    EXPECT_EQ(lines[4], "318 1234567 0 0 0 0 0 0 12 0 0 z00n_00w.rwx");
    EXPECT_EQ(ui.title, "Gorvale  ->models/z00n_00w.rwx");
    EXPECT_EQ(ui.status[0], "models/z00n_00w.rwx");
}

TEST_F(LayoutFixture, TileHeightsAreFilledBeforeEachWrite) {
    run();
    // The writer saw the lowest point of each tile: its south-east corner.
    ASSERT_EQ(writer.calls.size(), 4u);
    EXPECT_EQ(writer.calls[0].lowest, 100);
    EXPECT_EQ(writer.calls[1].lowest, 102);
    EXPECT_EQ(writer.calls[2].lowest, 120);
    EXPECT_EQ(writer.calls[3].lowest, 122);
}

TEST_F(LayoutFixture, RotationByNinetyDegrees) {
    settings.RotateWorld = 1;
    run();
    const auto lines = propLines();
    ASSERT_EQ(lines.size(), 5u);
    // Tile (q, t) = (-1, 0) is the second: X = q, Z = -t.
    const auto f = fields(lines[2]);
    EXPECT_EQ(f[2], "-1000");
    EXPECT_EQ(f[4], "0");
    EXPECT_EQ(f[5], "900");
    EXPECT_EQ(f[11], "z01s_00w.rwx");
}

TEST(TileRotation, AllFourChoices) {
    const RotatedPosition r0 = RotateTile(3, -2, 0);
    EXPECT_EQ(r0.X, -2);
    EXPECT_EQ(r0.Z, 3);
    EXPECT_EQ(r0.Yaw, 0);
    const RotatedPosition r1 = RotateTile(3, -2, 1);
    EXPECT_EQ(r1.X, 3);
    EXPECT_EQ(r1.Z, 2);
    EXPECT_EQ(r1.Yaw, 900);
    const RotatedPosition r2 = RotateTile(3, -2, 2);
    EXPECT_EQ(r2.X, 2);
    EXPECT_EQ(r2.Z, -3);
    EXPECT_EQ(r2.Yaw, 1800);
    const RotatedPosition r3 = RotateTile(3, -2, 3);
    EXPECT_EQ(r3.X, -3);
    EXPECT_EQ(r3.Z, -2);
    EXPECT_EQ(r3.Yaw, -900);
}

TEST_F(LayoutFixture, PropCentreShiftsPositionsNotNames) {
    settings.PropCenterNS = "50000";
    settings.PropCenterWE = "-300";
    run();
    const auto lines = propLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "318 1234567 -1300 0 49000 0 0 0 12 0 0 z01s_01e.rwx");
    EXPECT_EQ(lines[4], "318 1234567 -300 0 50000 0 0 0 12 0 0 z00n_00w.rwx");
}

TEST_F(LayoutFixture, GenerateOnlyTreesWritesTreesAndModelsButNoGround) {
    settings.GenerateTrees = true;
    settings.GenerateOnlyTrees = true;
    settings.CreateBumpAtGZ = true;
    settings.BuildWithRobot = true;
    run();
    EXPECT_EQ(writer.calls.size(), 4u);
    EXPECT_EQ(trees.placed, 4);
    ASSERT_EQ(trees.sampled.size(), 4u);
    EXPECT_EQ(trees.sampled[3], (std::array<int, 3>{2, 2, 2}));
    const auto lines = propLines();
    ASSERT_EQ(lines.size(), 5u);
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_NE(lines[i].find("ztree"), std::string::npos);
    EXPECT_TRUE(builder.calls.empty());
}

TEST_F(LayoutFixture, TreesAreNeitherSampledNorPlacedWithoutGenerateTrees) {
    run();
    EXPECT_TRUE(trees.sampled.empty());
    EXPECT_EQ(trees.placed, 0);
}

TEST_F(LayoutFixture, NoPropfileWritesModelsAndExtremesButPlacesNothing) {
    settings.NoPropfile = true;
    settings.BuildWithRobot = true;
    settings.GenerateTrees = true;
    settings.CreateBumpAtGZ = true;
    run();
    EXPECT_EQ(writer.calls.size(), 4u);
    EXPECT_TRUE(builder.calls.empty());
    EXPECT_EQ(trees.placed, 0);
    EXPECT_EQ(trees.sampled.size(), 4u);
    EXPECT_FALSE(std::filesystem::exists(settings.PropFile));
    // North-west corners: 122 (tile -1,-1), 124, 142, 144.
    EXPECT_EQ(state.MinPoint.Value, 122);
    EXPECT_EQ(state.MinPoint.X, -1);
    EXPECT_EQ(state.MinPoint.Z, -1);
    EXPECT_EQ(state.MaxPoint.Value, 144);
    EXPECT_EQ(state.MaxPoint.X, 0);
    EXPECT_EQ(state.MaxPoint.Z, 0);
}

TEST_F(LayoutFixture, SingleObjectGroundGivesPlaceInModelAndNoGroundLines) {
    settings.SingleObjectGround = true;
    settings.CreateBumpAtGZ = true;
    settings.GenerateTrees = true;
    settings.BuildWithRobot = true;
    run();
    ASSERT_EQ(writer.calls.size(), 4u);
    EXPECT_EQ(writer.calls[0].offsetZ, -1);
    EXPECT_EQ(writer.calls[0].offsetX, -1);
    EXPECT_EQ(writer.calls[1].offsetZ, -1);
    EXPECT_EQ(writer.calls[1].offsetX, 0);
    EXPECT_EQ(writer.calls[2].offsetZ, 0);
    EXPECT_EQ(writer.calls[2].offsetX, -1);
    const auto lines = propLines();
    ASSERT_EQ(lines.size(), 6u);  // header, four tree lines, the teleport
    EXPECT_NE(lines[1].find("ztree"), std::string::npos);
    EXPECT_NE(lines[5].find("street1.rwx"), std::string::npos);
    EXPECT_NE(lines[4].find("ztree"), std::string::npos);
    ASSERT_EQ(builder.calls.size(), 1u);  // only the teleport
    EXPECT_EQ(builder.calls[0].model, "street1.rwx");
}

TEST_F(LayoutFixture, SingleObjectPlaceUsesObjectUnits) {
    settings.SingleObjectGround = true;
    settings.ObjectSize = 1;  // u = 2: t runs -2, 0
    run();
    ASSERT_EQ(writer.calls.size(), 4u);
    EXPECT_EQ(writer.calls[0].path, "models/z02s_02e.rwx");
    EXPECT_EQ(writer.calls[0].offsetX, -1);
    EXPECT_EQ(writer.calls[0].offsetZ, -1);
    EXPECT_EQ(writer.calls[3].path, "models/z00n_00w.rwx");
}

TEST_F(LayoutFixture, FlushWithGroundUsesTheWritersBase) {
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 7; ++c) grid.cell(r, c) = 120 + r + c;
    rect = {0, 0, 2, 2};  // one tile, lowest vertex 120
    settings.FlushWithGround = true;
    settings.PropElevation = "10";
    state.PropElevationCm = 10;
    settings.BuildWithRobot = true;
    state.BotOffsetX = 5000;
    state.BotOffsetZ = -7000;
    run();
    const auto lines = propLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(fields(lines[1])[3], "6010");
    ASSERT_EQ(builder.calls.size(), 1u);
    EXPECT_EQ(builder.calls[0].y, 6010);
    EXPECT_EQ(builder.calls[0].x, 5000);
    EXPECT_EQ(builder.calls[0].z, -7000);
    EXPECT_EQ(builder.calls[0].timestamp, 0);
    EXPECT_EQ(builder.calls[0].owner, 318);
    EXPECT_EQ(builder.calls[0].model, "z00n_00w.rwx");
    EXPECT_EQ(builder.calls[0].action, "");
    EXPECT_EQ(builder.calls[0].description, "");
}

TEST_F(LayoutFixture, FlushWithoutModelsUsesTheBaseElevation) {
    settings.FlushWithGround = true;
    settings.NoRWX = true;
    settings.LeveledWithGround = false;
    settings.VerticalOffset = "40";
    rect = {0, 0, 2, 2};
    run();
    EXPECT_TRUE(writer.calls.empty());
    const auto lines = propLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(fields(lines[1])[3], "2000");  // 40 * 100 * 0.5
}

TEST_F(LayoutFixture, WithoutFlushTheGroundIsAtPropElevation) {
    state.PropElevationCm = -250;
    rect = {0, 0, 2, 2};
    run();
    const auto lines = propLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(fields(lines[1])[3], "-250");
}

TEST_F(LayoutFixture, ZeroCornerNeverBecomesMinimum) {
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 7; ++c) grid.cell(r, c) = 0;
    grid.cell(2, 4) = 7;  // north-west corner of tile (q, t) = (-1, 0)
    settings.NoPropfile = true;
    run();
    EXPECT_EQ(state.MinPoint.Value, 7);
    EXPECT_EQ(state.MinPoint.X, 0);
    EXPECT_EQ(state.MinPoint.Z, -1);
    EXPECT_EQ(state.MaxPoint.Value, 7);

    RunState fresh;
    state = std::move(fresh);
    grid.cell(2, 4) = 0;
    run();
    EXPECT_EQ(state.MinPoint.Value, kMinPointStart);
    EXPECT_EQ(state.MaxPoint.Value, 0);  // 0 beats the start value -1
}

TEST_F(LayoutFixture, ExtremesUseTheLevelledCorner) {
    settings.WorldEdgeLevelWithGround = true;  // sharp: outer corners to the base 0
    settings.NoPropfile = true;
    run();
    // Only the shared centre (2, 2) keeps its value 122; every other corner is 0.
    EXPECT_EQ(state.MinPoint.Value, 122);
    EXPECT_EQ(state.MaxPoint.Value, 122);
}

TEST_F(LayoutFixture, SelectionSmallerThanOneStepGivesHeaderOnly) {
    rect = {0, 0, 1, 4};
    LayoutResult r = run();
    EXPECT_EQ(r.TilesDone, 0);
    EXPECT_TRUE(writer.calls.empty());
    const auto lines = propLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "propdump version 3");

    rect = {0, 0, 4, 1};
    r = run();
    EXPECT_EQ(r.TilesDone, 0);
    EXPECT_EQ(propLines().size(), 1u);
}

TEST_F(LayoutFixture, StopInTheMiddleLeavesTheTilesDone) {
    ui.stopAfterEvents = 2;  // the loop handles events once per tile
    const LayoutResult r = run();
    EXPECT_EQ(r.End, LayoutEnd::Stopped);
    EXPECT_EQ(r.TilesDone, 2);
    EXPECT_EQ(writer.calls.size(), 2u);
    EXPECT_FALSE(state.StopRequested);  // honoured and cleared
    const auto lines = propLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "propdump version 3");
    EXPECT_EQ(fields(lines[2]).size(), 12u);
}

// Progress and the event point come once per tile, also without models, so
// a stop reaches a NoRWX run as it reaches one that writes models.
TEST_F(LayoutFixture, ProgressAndEventsComeOncePerTileWithOrWithoutModels) {
    for (const bool noRwx : {false, true}) {
        SCOPED_TRACE(noRwx ? "NoRWX" : "models");
        settings.NoRWX = noRwx;
        ui.runEvents.clear();
        ui.events = 0;
        writer.calls.clear();
        run();
        ASSERT_EQ(ui.runEvents.size(), 5u);  // four tiles and the end
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(ui.runEvents[k].done, k);
            EXPECT_EQ(ui.runEvents[k].total, 4);
            EXPECT_EQ(ui.runEvents[k].currentPath, noRwx ? "" : writer.calls.at(k).path);
        }
        EXPECT_EQ(ui.runEvents[4].done, 4);
        EXPECT_EQ(ui.runEvents[4].currentPath, "");
        EXPECT_EQ(ui.events, 4);

        ui.events = 0;
        ui.stop = false;
        ui.stopAfterEvents = 2;
        const LayoutResult r = run();
        EXPECT_EQ(r.End, LayoutEnd::Stopped);
        EXPECT_EQ(r.TilesDone, 2);
        EXPECT_EQ(ui.runEvents.back().done, 2);
        ui.stopAfterEvents = -1;
        ui.stop = false;
    }
}

TEST_F(LayoutFixture, StopRequestedBeforeTheLoopEndsAtTheFirstTile) {
    state.StopRequested = true;
    const LayoutResult r = run();
    EXPECT_EQ(r.End, LayoutEnd::Stopped);
    EXPECT_EQ(r.TilesDone, 0);
    EXPECT_FALSE(state.StopRequested);
}

TEST_F(LayoutFixture, WriterFailureEndsTheLoopWithoutPlacingThatTile) {
    writer.failOnCall = 2;
    const LayoutResult r = run();
    EXPECT_EQ(r.End, LayoutEnd::WriterFailed);
    EXPECT_EQ(state.WriterResultSum, -1);
    EXPECT_EQ(writer.calls.size(), 2u);
    EXPECT_EQ(propLines().size(), 2u);
}

TEST_F(LayoutFixture, EarlierNegativeSumStopsBeforeAnyTile) {
    state.WriterResultSum = -1;
    const LayoutResult r = run();
    EXPECT_EQ(r.End, LayoutEnd::WriterFailed);
    EXPECT_TRUE(writer.calls.empty());
}

TEST_F(LayoutFixture, GroundZeroTeleportFollowsItsTile) {
    settings.CreateBumpAtGZ = true;
    settings.BuildWithRobot = true;
    settings.GenerateTrees = true;
    state.BotOffsetX = 100;
    state.BotOffsetZ = 200;
    writer.maxVertexHeight = 3;
    run();
    const auto lines = propLines();
    ASSERT_EQ(lines.size(), 10u);  // header, 4 x (ground, tree), teleport
    EXPECT_EQ(lines[7], "318 1234567 0 0 0 0 0 0 12 0 0 z00n_00w.rwx");
    EXPECT_NE(lines[8].find("ztree"), std::string::npos);
    EXPECT_EQ(lines[9], "318 1234567 0 50 0 0 0 0 11 0 19 street1.rwxbump warp +0 +0 04a");
    ASSERT_EQ(builder.calls.size(), 5u);
    const BuildCall& gz = builder.calls[4];
    EXPECT_EQ(gz.model, "street1.rwx");
    EXPECT_EQ(gz.action, "bump warp +0 +0 04a");
    EXPECT_EQ(gz.x, 100);
    EXPECT_EQ(gz.z, 200);
    EXPECT_EQ(gz.y, 50);
    EXPECT_EQ(gz.yaw, 0);
    EXPECT_EQ(gz.timestamp, 0);
}

// Each object is formed once: a sink in place of the file receives every
// object, and each gives the line the file holds.
TEST_F(LayoutFixture, ObjectSinkReceivesEveryObjectAsTheFileHoldsIt) {
    settings.CreateBumpAtGZ = true;
    run();
    const auto fileLines = propLines();
    ASSERT_EQ(fileLines.size(), 6u);  // header, 4 ground objects, teleport
    RecordingSink sink;
    objects = &sink;
    run();
    ASSERT_EQ(sink.objects.size(), 5u);
    for (std::size_t k = 0; k < sink.objects.size(); ++k)
        EXPECT_EQ(PropdumpLine(sink.objects[k]), fileLines[k + 1] + "\r\n");
    EXPECT_EQ(propLines().size(), 1u);  // the file kept only its header
}

TEST_F(LayoutFixture, GroundZeroAltitudeFollowsFlushBaseAndPropElevation) {
    settings.CreateBumpAtGZ = true;
    settings.FlushWithGround = true;
    settings.LeveledWithGround = false;
    settings.VerticalOffset = "300";  // base 300: 300 * 0.5 * 100 = 15000 cm
    state.PropElevationCm = 2000;
    writer.maxVertexHeight = 2;
    run();
    const auto lines = propLines();
    ASSERT_EQ(lines.size(), 6u);
    // (15000 + 2000) * 0.001 + 2 + 1 = 20
    EXPECT_EQ(lines[5], "318 1234567 0 50 0 0 0 0 11 0 19 street1.rwxbump warp +0 +0 20a");
}

TEST_F(LayoutFixture, FlushHeightsAndTeleportAltitudeTruncateAtOneHundredthScale) {
    // 0.01f lies just below 0.01: every height lands just below a whole
    // number of centimetres, where truncation and rounding part.
    settings.VerticalScale = "0.01";
    settings.FlushWithGround = true;
    settings.LeveledWithGround = false;
    settings.VerticalOffset = "77";  // the teleport's flush base
    settings.CreateBumpAtGZ = true;
    state.PropElevationCm = 600;
    writer.maxVertexHeight = 2;
    run();
    const auto lines = propLines();
    ASSERT_EQ(lines.size(), 6u);
    ASSERT_EQ(writer.calls.size(), 4u);
    // Each object stands on its tile's lowest point: 100 * 100 * 0.01f = 99.99999 cm.
    const std::int32_t lowest[] = {100, 102, 120, 122};
    const char* y[] = {"699", "701", "719", "721"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(writer.calls[i].lowest, lowest[i]);
        EXPECT_EQ(fields(lines[i + 1])[3], y[i]) << lines[i + 1];
    }
    // (77 * 0.01f * 100 + 600) * 0.001 + 2 + 1 = 3.677: altitude 3.
    EXPECT_EQ(lines[5], "318 1234567 0 50 0 0 0 0 11 0 19 street1.rwxbump warp +0 +0 03a");
}

TEST_F(LayoutFixture, TeleportOnlyWithItsSwitch) {
    run();
    const auto without = propLines();
    EXPECT_EQ(without.size(), 5u);
    for (const auto& line : without) EXPECT_EQ(line.find("street1.rwx"), std::string::npos);
}

TEST_F(LayoutFixture, OverhangMovesPlacementInwardAndGeometryOutward) {
    rect = {0, 0, 6, 6};  // 3 x 3 tiles
    settings.WorldEdgeOverHang = true;
    settings.WorldEdgeOverHangN = 2;
    settings.WorldEdgeOverHangE = 1;
    run();
    ASSERT_EQ(writer.calls.size(), 9u);
    // First tile (south-east corner): east overhang 1.
    EXPECT_EQ(writer.calls[0].offsetX, -1);
    EXPECT_EQ(writer.calls[0].offsetZ, 0);
    // Middle row: north "2 Objects" gives 1 to the row below the last.
    EXPECT_EQ(writer.calls[4].offsetZ, 1);
    // Last row: 2.
    EXPECT_EQ(writer.calls[8].offsetZ, 2);
    const auto lines = propLines();
    ASSERT_EQ(lines.size(), 10u);
    // q0 = t0 = int(-(6/2)/2) = -1. Tile 0: x = -1000 - (-1) * 1000 = 0.
    EXPECT_EQ(fields(lines[1])[2], "0");
    EXPECT_EQ(fields(lines[1])[4], "-1000");
    // Tile 8 (q = 1, t = 1): z = 1000 - 2 * 1000.
    EXPECT_EQ(fields(lines[9])[4], "-1000");
    EXPECT_EQ(fields(lines[9])[2], "1000");
}

TEST_F(LayoutFixture, FailedPropdumpWriteIsReportedOnceAndStopsWriting) {
    state.PropdumpStream = openFile("/dev/full", "wb");
    if (!state.PropdumpStream) GTEST_SKIP() << "/dev/full not available";
    std::setvbuf(state.PropdumpStream.get(), nullptr, _IONBF, 0);
    numbers = ReadLayoutNumbers(settings, rect, 1.0f);
    TileLoop loop{settings, grid, ui, state, heights, writer, nullptr, nullptr, [] { return kClock; }};
    const LayoutResult r = LayoutTiles(loop, numbers);
    EXPECT_EQ(r.TilesDone, 4);  // the models are still written
    EXPECT_EQ(ui.fileErrors.size(), 1u);
    EXPECT_EQ(ui.fileErrors[0], settings.PropFile + " (" + std::strerror(ENOSPC) + ")");
    EXPECT_FALSE(state.PropdumpStream);
    EXPECT_TRUE(state.WriteFailed);
}

TEST_F(LayoutFixture, ScalingStepBeyondTheHeightArrayMakesNoTiles) {
    settings.Scaling = 40;
    const LayoutResult r = run();
    EXPECT_EQ(r.TilesDone, 0);
    EXPECT_TRUE(writer.calls.empty());
}

TEST(TileCoordinates, StartFromTheMiddleOfTheSelection) {
    EXPECT_EQ(FirstTileCoordinate(0, 10, 1, 1.0f), -5);
    EXPECT_EQ(FirstTileCoordinate(3, 13, 1, 1.0f), -5);
    EXPECT_EQ(FirstTileCoordinate(0, 4, 2, 1.0f), -1);
    EXPECT_EQ(FirstTileCoordinate(0, 6, 2, 3.0f), -3);   // int(-(3 / 2) * 3)
    EXPECT_EQ(FirstTileCoordinate(0, 9, 3, 2.0f), -2);   // 9 / 2 = 4, 4 / 3 = 1
    EXPECT_EQ(FirstTileCoordinate(0, 1, 1, 1.0f), 0);
    std::int32_t q = FirstTileCoordinate(0, 10, 1, 1.0f);
    std::vector<std::int32_t> rows;
    for (int h = 0; h <= 10 - 1; ++h, q = NextTileCoordinate(q, 1.0f)) rows.push_back(q);
    EXPECT_EQ(rows.front(), -5);
    EXPECT_EQ(rows.back(), 4);
    EXPECT_EQ(NextTileCoordinate(-3, 3.0f), 0);
}

TEST(TileNames, PositionLettersAndModelName) {
    EXPECT_EQ(TileName(3, -12), "03n_12e.rwx");
    EXPECT_EQ(TileName(-1, 0), "01s_00w.rwx");
    EXPECT_EQ(TileName(0, 5), "00n_05w.rwx");
    EXPECT_EQ(TileName(-123, 1000), "123s_1000w.rwx");
    EXPECT_EQ(ModelNameOf("C:\\models\\z03n_12e.rwx"), "z03n_12e.rwx");
    EXPECT_EQ(ModelNameOf("/srv/models/z03n_12e.rwx"), "z03n_12e.rwx");
    EXPECT_EQ(ModelNameOf("z03n_12e.rwx"), "z03n_12e.rwx");
}

TEST(GroundPlacementArithmetic, OverhangAndHeight) {
    LayoutNumbers n;
    n.ObjectUnits = 2.0f;
    n.PropCenterWE = 10;
    n.PropCenterNS = -20;
    n.VerticalScale = 0.5f;
    const GroundPlacement g = PlaceGround({3, -4, 0}, {1, -2}, n, 120, 10);
    EXPECT_EQ(g.x, 3000 + 10 + 4000);
    EXPECT_EQ(g.z, -4000 - 20 - 2000);
    EXPECT_EQ(g.y, 6010);
    // Truncation toward zero of a fractional scale.
    n.VerticalScale = 0.333333f;
    EXPECT_EQ(PlaceGround({0, 0, 0}, {}, n, -7, 0).y, -233);
    EXPECT_EQ(BotGroundHeight(-7, 0.333333f, 5), -233 + 5);
}

TEST(GroundPlacementArithmetic, PositionsBeyondThirtyTwoBitsAreHeldAtTheLimit) {
    LayoutNumbers n;
    n.PropCenterWE = 2147483000;
    const GroundPlacement g = PlaceGround({5, 0, 0}, {}, n, 0, 0);
    EXPECT_EQ(g.x, 2147483647);
}

TEST(GroundZero, AltitudeFromBaseScaleAndHighestVertex) {
    EXPECT_EQ(GroundZeroAltitude(0, 0.5f, 0, 0), 1);
    EXPECT_EQ(GroundZeroAltitude(0, 0.5f, 0, 3), 4);
    EXPECT_EQ(GroundZeroAltitude(300, 0.5f, 2000, 2), 20);
    EXPECT_EQ(GroundZeroAltitude(0, 0.5f, -20000, 0), -19);
    EXPECT_EQ(GroundZeroAltitude(0, 0.5f, 0, 150), 151);
}

TEST(LayoutNumbersFromSettings, UnparsableTextKeepsThePreviousValue) {
    ConversionSettings s;
    s.CitizenNumber = "42";
    s.PropCenterNS = "x";
    s.PropCenterWE = "-700";
    s.VerticalOffset = "12.7";
    s.VerticalScale = "abc";
    s.Scaling = 3;
    LayoutNumbers previous;
    previous.PropCenterNS = 999;
    previous.VerticalScale = 0.25f;
    const LayoutNumbers n = ReadLayoutNumbers(s, {1, 2, 3, 4}, 2.0f, previous);
    EXPECT_EQ(n.CitizenNumber, 42);
    EXPECT_EQ(n.PropCenterNS, 999);
    EXPECT_EQ(n.PropCenterWE, -700);
    EXPECT_EQ(n.VerticalOffset, 12);
    EXPECT_FLOAT_EQ(n.VerticalScale, 0.25f);
    EXPECT_EQ(n.ScalingStep, 4);
    EXPECT_FLOAT_EQ(n.ObjectUnits, 2.0f);
    EXPECT_EQ(n.Rect.ToEast, 4);
}

}  // namespace
}  // namespace gorvale
