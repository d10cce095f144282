#include "pipeline/tree_zones.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "import/grid_operations.h"
#include "pipeline/generate_run.h"
#include "pipeline/grid_shaping.h"
#include "pipeline/propdump_writer.h"
#include "tests/pipeline/layout_run_fixture.h"
#include "tests/support/test_support.h"

namespace gorvale {
namespace {

using test::kClock;

// Writes nothing; the tree code only needs the loop around it.
class NoModels : public TileModelWriter {
public:
    int WriteGroundObject(const std::string&, int, int, int, std::int32_t, float, double, double, double,
                          int) override {
        return 0;
    }
    int MaxVertexHeight() const override { return 0; }
    std::int32_t BaseElevationUsed() const override { return 0; }
    void BeginSingleModel() override {}
    void EndSingleModel() override {}
};

struct Built {
    std::int32_t owner, x, timestamp;
    std::string action, description, model;
    int yaw;
    std::int32_t z, y;
    int eventsBefore;
};

class RecordingBot : public ObjectSink {
public:
    explicit RecordingBot(const test::RecordingUserInterface& ui) : ui_(ui) {}
    int Put(const WorldObject& o) override {
        calls.push_back({o.Owner, o.X, o.Timestamp, o.Action, o.Description, o.Model, o.Yaw, o.Z, o.Y, ui_.events});
        return 0;
    }
    std::vector<Built> calls;

private:
    const test::RecordingUserInterface& ui_;
};

// A grid of 9 x 9 points whose elevations are not a plane, so both triangles
// of a cell give their own value. Selection: all of it, 8 x 8 cells.
std::int32_t uneven(int r, int c) { return 200 + 40 * r + 25 * c + ((r * c) % 5) * 30; }

class TreeRunFixture : public test::LayoutRunFixture {
protected:
    void SetUp() override {
        setUpRun(9, uneven, 3);   // n = 4
        settings.ObjectSize = 0;  // u = 1: tiles of 10 m
        settings.GenerateTrees = true;
        rect = {0, 0, 8, 8};
    }

    void fill(std::int32_t (*height)(int, int)) {
        for (int r = 0; r < grid.AllocatedRows(); ++r)
            for (int c = 0; c < grid.AllocatedCols(); ++c) grid.cell(r, c) = height(r, c);
    }

    // A run as RunConversion makes it: scan, tree zones read with the
    // unraised range, range raised, then the tile loop.
    std::vector<std::string> run() {
        runTiles(writer, &bot, &trees, nullptr, [this] {
            trees.ReadZones(settings, grid, static_cast<float>(settings.ObjectSize + 1), worldSize);
        });
        return propLines();
    }

    std::vector<std::string> treeLines() {
        std::vector<std::string> out;
        for (const std::string& l : run())
            if (l.find(" 0 0 12 0 0 z") == std::string::npos && l != kPropdumpHeader) out.push_back(l);
        return out;
    }

    TreeZoneRow& zone(int i) { return settings.TreeZones[static_cast<std::size_t>(i)]; }

    NoModels writer;
    RecordingBot bot{ui};
    LcgRandom random;  // as after a program start
    TreeZones trees{random};
    int worldSize = 1200;
};

// --- the whole run against a hand computation ---

// Four zones: two kinds of tree band in percent of the selection range
// (200 to 840, range 640), a zone that is off, a gift zone over everything;
// thinning 1 in 2, random yaw, score, random object and height.
void setUpFourZones(ConversionSettings& s) {
    s.LeveledWithGround = true;
    s.VerticalOffset = "10";  // base elevation 200 - 10 = 190
    s.PropCenterNS = "50000";
    s.PropCenterWE = "-20000";
    s.TreeRangeInPercent = true;
    s.TreeThinning = true;
    s.TreeThinValue = "2";
    s.TreeActionLine = "create color green";
    s.TreeScoreMin = "5";
    s.TreeScoreMax = "9";
    auto& z = s.TreeZones;
    z[0] = {"0", "50", "ztree", "1", "3", "-25", true, true, false, false};           // band 200..520
    z[1] = {"25", "100", "rock%02d.rwx", "0", "4", "-300", true, true, true, true};  // band 360..840
    z[2] = {"0", "100", "off", "1", "1", "0", false, true, true, true};              // draws only
    z[3] = {"0", "100", "gift", "1", "1", "100", true, false, false, true};           // band 200..840
}

TEST_F(TreeRunFixture, SeededRunGivesTheHandComputedTreeLines) {
    setUpFourZones(settings);
    state.PropElevationCm = 30;
    const auto lines = run();
    // Draws from state 1: 346 130 | 10982 1090 | 11656 7117 | 17595 6415 | ... (64 per tile).
    //
    // Tile (q, t) = (-1, -1), corner (0, 0), s = 10 m, n = 4, cells of 2.5 m:
    //  zone 0: a = 9 * 346 / 32767 + 0.5 = 0.5950347, b = 9 * 130 / 32767 + 0.5 = 0.5357066,
    //          cell (0, 0), fx = 0.2380139, fy = 0.2142827, corners 200 240 225 295;
    //          fx + fy < 1: t = fx / (1 - fy) = 0.3029256, edge = 200 + 40 t = 212.11702,
    //          e = 225 + (edge - 225) / t * fx = 214.87762, R = 214 in 200..520: a candidate.
    //  zone 1: a = 3.5163884, b = 0.7993866, cell (1, 0), e = 273.84872: below 360, none.
    //  zone 2: cell (1, 0), fx + fy >= 1 (upper triangle), e = 327.10565; the zone is off.
    //  zone 3: cell (2, 0), upper triangle, e = 363.36862: a candidate.
    //  Placement, after the 64 sampling draws:
    //  zone 0: thinning r = 13390, even: kept; yaw r = 7878 -> 7878 * 3600 / 32767 = 865;
    //          x = int(-1000 + dWE - 20000) with dWE = (0.5357066 - 5) * 100 = -446.42932 -> -21446;
    //          z = int(-1000 + dNS + 50000) with dNS = -440.49652 -> 48559;
    //          y = int(float((214.87762 - 190) * 100 * 0.5)) = 1243 - 25 + 30 = 1248;
    //          k = (214 - 200) * 3 / (520 - 200) + 1 = 1 -> ztree1.rwx; action of 18 characters.
    //  zone 3: thinning r = 13565, odd: left out.
    // Tile (-1, 0): ztree k = (376 - 200) * 3 / 320 + 1 = 2; rock draws thinning 20966,
    //   yaw 16135 (1772), score 5740 (5740 * 5 / 32767 + 5 = 5), height 18323
    //   (-(300 * 18323 / 32767) = -167), number 1 (rock01.rwx); the gift with score 6.
    const std::vector<std::string> expected = {
        "propdump version 3",
        "318 1234567 -21000 30 49000 0 0 0 12 0 0 z01s_01e.rwx",
        "318 1234567 -21446 1248 48559 865 0 0 10 0 18 ztree1.rwxcreate color green",
        "318 1234567 -20000 30 49000 0 0 0 12 0 0 z01s_00w.rwx",
        "318 1234567 -20005 9330 48598 1028 0 0 10 0 18 ztree2.rwxcreate color green",
        "318 1234567 -20448 14373 49435 1772 0 0 10 0 27 rock01.rwxcreate color green ;score=5",
        "318 1234567 -20221 7956 48616 0 0 0 4 0 27 giftcreate color green ;score=6",
        "318 1234567 -21000 30 50000 0 0 0 12 0 0 z00n_01e.rwx",
        "318 1234567 -21147 12909 49680 2247 0 0 10 0 27 rock00.rwxcreate color green ;score=9",
        "318 1234567 -20000 30 50000 0 0 0 12 0 0 z00n_00w.rwx",
        "318 1234567 -19974 19702 49626 819 0 0 10 0 27 rock02.rwxcreate color green ;score=9",
        "318 1234567 -19896 19189 49788 0 0 0 4 0 27 giftcreate color green ;score=9",
    };
    EXPECT_EQ(lines, expected);
    // 4 tiles x 64 sampling draws, then per tile the placement draws.
    LcgRandom replay;
    for (int i = 0; i < 282; ++i) replay.Next();
    EXPECT_EQ(random.State(), replay.State());
    EXPECT_TRUE(bot.calls.empty()) << "no bot without BuildWithRobot";
}

TEST_F(TreeRunFixture, TreesOnlyKeepsTheTreeLinesAndDropsTheGround) {
    setUpFourZones(settings);
    state.PropElevationCm = 30;
    const auto all = treeLines();
    ASSERT_EQ(all.size(), 7u);

    settings.GenerateOnlyTrees = true;
    settings.CreateBumpAtGZ = true;
    LcgRandom fresh;
    random = fresh;
    const auto only = run();
    ASSERT_EQ(only.size(), 8u);
    EXPECT_EQ(only[0], "propdump version 3");
    EXPECT_EQ(std::vector<std::string>(only.begin() + 1, only.end()), all);
}

TEST_F(TreeRunFixture, SamplingDrawsSixtyFourNumbersPerTileOnlyWithGenerateTrees) {
    // Every zone off: no tree lines, but the draws are made.
    EXPECT_EQ(run().size(), 5u);
    LcgRandom replay;
    for (int i = 0; i < 4 * 64; ++i) replay.Next();
    EXPECT_EQ(random.State(), replay.State());
    // GenerateTrees off: nothing drawn, nothing placed, whatever the zones say.
    setUpFourZones(settings);
    settings.GenerateTrees = false;
    random = LcgRandom();
    EXPECT_EQ(run().size(), 5u);
    EXPECT_EQ(random.State(), 1u);
}

TEST_F(TreeRunFixture, BotBuildsEachTreeWithItsOffsetThenHandlesEvents) {
    setUpFourZones(settings);
    settings.BuildWithRobot = true;
    settings.NoPropfile = false;
    state.PropElevationCm = 30;
    state.BotOffsetX = 7000;
    state.BotOffsetZ = -3000;
    run();
    std::vector<Built> trees;
    for (const Built& b : bot.calls)
        if (b.model.rfind("z0", 0) != 0) trees.push_back(b);
    ASSERT_EQ(trees.size(), 7u);
    const Built& first = trees[0];
    EXPECT_EQ(first.owner, 318);
    EXPECT_EQ(first.x, -21446 + 7000);
    EXPECT_EQ(first.z, 48559 - 3000);
    EXPECT_EQ(first.y, 1248);
    EXPECT_EQ(first.yaw, 865);
    EXPECT_EQ(first.timestamp, 0);
    EXPECT_EQ(first.model, "ztree1.rwx");
    EXPECT_EQ(first.action, "create color green");
    EXPECT_EQ(first.description, "");
    // Events are handled once after each tree the bot builds.
    for (std::size_t i = 1; i < trees.size(); ++i) EXPECT_GT(trees[i].eventsBefore, trees[i - 1].eventsBefore);
}

TEST_F(TreeRunFixture, RespectWorldSizeLeavesOutTreesBeyondHalfTheWorldAfterTheirDraws) {
    // Flat ground in the band: one candidate per tile, which would draw yaw,
    // score, height and number (64 + 4 per tile).
    fill([](int, int) -> std::int32_t { return 250; });
    zone(0) = {"0", "1000", "ztree", "1", "3", "100", true, true, true, true};
    settings.PropCenterNS = "50000";
    settings.RespectWorldSize = true;
    worldSize = 40;  // 20000 cm each way; every tree here stands near z = 49000
    EXPECT_EQ(run().size(), 5u);
    // Each tree is left out after its yaw draw: 64 + 1 per tile.
    LcgRandom replay;
    for (int i = 0; i < 4 * 65; ++i) replay.Next();
    EXPECT_EQ(random.State(), replay.State());

    worldSize = 99;  // 49500 cm: the southern row (z 48550..49450) stays, the northern goes
    random = LcgRandom();
    EXPECT_EQ(treeLines().size(), 2u);
    for (int i = 0; i < 2 * 3; ++i) replay.Next();  // two trees drew score, height and number
    EXPECT_EQ(random.State(), replay.State());
}

TEST_F(TreeRunFixture, TurnedWorldTurnsTheOffsetsWithTheTile) {
    setUpFourZones(settings);
    state.PropElevationCm = 30;
    settings.RotateWorld = 1;  // "90": X = q, Z = -t
    const auto lines = treeLines();
    ASSERT_FALSE(lines.empty());
    // The first tree of the hand-computed run, tile (q, t) = (-1, -1) at X = -1, Z = 1:
    // grid north (dNS = -440.49652) goes west, grid west (dWE = -446.42932) goes south.
    EXPECT_EQ(lines[0], "318 1234567 -21440 1248 51446 865 0 0 10 0 18 ztree1.rwxcreate color green");

    const struct {
        int rotate;
        float dX, dZ;
    } cases[] = {{0, 2, 1}, {1, 1, -2}, {2, -2, -1}, {3, -1, 2}};
    for (const auto& c : cases) {
        const WorldOffset o = RotateTreeOffset(1.0f, 2.0f, c.rotate);  // 1 cm north, 2 cm west
        EXPECT_EQ(o.dX, c.dX) << c.rotate;
        EXPECT_EQ(o.dZ, c.dZ) << c.rotate;
    }
}

// --- zone values ---

TEST(TreeRunValues, OrderTestNegativeCountsAndKeptValues) {
    ConversionSettings s;
    s.TreeZones[0] = {"0", "0", "ztree", "1", "1", "0", true, false, false, false};
    s.TreeZones[1] = {"500", "100", "ztree", "-4", "-2", "-50", true, false, false, false};
    s.TreeZones[2] = {"abc", "x", "ztree", "?", "", "", true, false, false, false};
    s.TreeScoreMin = "12abc";
    s.TreeScoreMax = "none";
    TreeRunValues previous;
    previous.Zones[2].Low = 70;
    previous.Zones[2].High = 90;
    previous.Zones[2].Count = 3;
    previous.Zones[2].From = 4;
    previous.Zones[2].Height = 11;
    const TreeRunValues v = ReadTreeRunValues(s, 0, 1000, previous);
    EXPECT_EQ(v.Zones[0].Low, 0);
    EXPECT_EQ(v.Zones[0].High, 1) << "Lowest 0, Highest 0 accepts 0 and 1";
    EXPECT_EQ(v.Zones[1].Low, 500);
    EXPECT_EQ(v.Zones[1].High, 501);
    EXPECT_EQ(v.Zones[1].Count, 0);
    EXPECT_EQ(v.Zones[1].From, 0);
    EXPECT_EQ(v.Zones[1].Height, -50);
    EXPECT_EQ(v.Zones[2].Low, 70) << "a text that does not parse keeps the last run's value";
    EXPECT_EQ(v.Zones[2].High, 90);
    EXPECT_EQ(v.Zones[2].Count, 3);
    EXPECT_EQ(v.Zones[2].From, 4);
    EXPECT_EQ(v.Zones[2].Height, 11);
    EXPECT_EQ(v.ScoreMin, 12);
    EXPECT_EQ(v.ScoreMax, 0);
}

TEST(TreeRunValues, PercentBoundsUseTheUnraisedSelectionRange) {
    ConversionSettings s;
    s.TreeRangeInPercent = true;
    s.TreeZones[0].Lowest = "0";
    s.TreeZones[0].Highest = "100";
    s.TreeZones[1].Lowest = "50";
    s.TreeZones[1].Highest = "50";  // equal bounds stay equal
    s.TreeZones[2].Lowest = "80";
    s.TreeZones[2].Highest = "20";  // crossed bounds are not reordered
    s.TreeZones[3].Lowest = "-10";
    s.TreeZones[3].Highest = "150";  // not limited to 0..100
    const TreeRunValues v = ReadTreeRunValues(s, 200, 1000);
    EXPECT_EQ(v.Zones[0].Low, 200);
    EXPECT_EQ(v.Zones[0].High, 1200);
    EXPECT_EQ(v.Zones[1].Low, 700);
    EXPECT_EQ(v.Zones[1].High, 700);
    EXPECT_EQ(v.Zones[2].Low, 1000);
    EXPECT_EQ(v.Zones[2].High, 400);
    // 1000 * -10 * 0.01 is a hair below -100 with the double constant 0.01.
    EXPECT_EQ(v.Zones[3].Low, 99);
    EXPECT_EQ(v.Zones[3].High, 1700);
    // A flat selection: range 0, not yet raised to 1.
    const TreeRunValues flat = ReadTreeRunValues(s, 300, 0);
    EXPECT_EQ(flat.Zones[0].Low, 300);
    EXPECT_EQ(flat.Zones[0].High, 300);
}

TEST(TreeRunValues, GenerateReadsTheZonesBeforeTheRangeIsRaised) {
    test::ScratchDir dir;
    test::RecordingUserInterface ui;
    Workspace ws(ui);
    ConversionSettings& s = ws.settings;
    s.Scaling = 1;
    s.DEMFile = (dir / "flat.dem").string();
    test::writeFileBytes(s.DEMFile, "elevations");
    s.RWXFile = (dir / "z").string();
    s.PropFile = (dir / "prop.txt").string();
    s.GenerateTrees = true;
    s.TreeRangeInPercent = true;
    s.TreeZones[0] = {"0", "100", "ztree", "1", "1", "0", true, false, false, false};
    ASSERT_TRUE(ws.grid.allocate(5, 5));
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c) ws.grid.cell(r, c) = 300;
    ws.grid.LastRow = ws.grid.LastCol = 4;
    FinishGridLoad(ws, 300, 300);

    LcgRandom random;
    TreeZones trees(random);
    TileHeights heights{};
    NoModels writer;
    GenerateServices services;
    services.writer = &writer;
    services.heights = &heights;
    services.trees = &trees;
    services.readTreeZones = [&trees](Workspace& w) { trees.ReadZones(w); };
    services.clock = [] { return kClock; };
    GenerateRun run(ws);
    const GenerateOutcome outcome = run.Generate(services);
    ASSERT_TRUE(outcome.started);
    EXPECT_EQ(ws.grid.SelectionRange, 1) << "raised after the zones were read";
    EXPECT_EQ(trees.values().Zones[0].Low, 300);
    EXPECT_EQ(trees.values().Zones[0].High, 300) << "100 % of the unraised range 0";
    // Every tile of the flat ground has its tree.
    const std::string prop = test::readFileBytes(s.PropFile);
    const auto count = [&prop](const std::string& what) {
        int n = 0;
        for (std::size_t at = prop.find(what); at != std::string::npos; at = prop.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_GE(count(" 12 0 0 z0"), 1) << prop;
    EXPECT_EQ(count(" 5 0 0 ztree"), count(" 12 0 0 z0")) << prop;
}

// --- sampling ---

TEST(TreeInterpolation, PlaneOfTheTriangleThatHoldsThePoint) {
    struct Case {
        long double fx, fy;
        float expected;
    };
    // Corners c00 = 100, c10 = 200 (north), c01 = 140 (west), c11 = 400.
    const Case cases[] = {
        {0.25L, 0.25L, 100 + 100 * 0.25f + 40 * 0.25f},                      // lower triangle: 135
        {0.5L, 0.25L, 160.0f},                                               // 100 + 50 + 10
        {0.75L, 0.75L, 400 + (140 - 400) * 0.25f + (200 - 400) * 0.25f},     // upper: 285
        {0.5L, 0.5L, 400 + (140 - 400) * 0.5f + (200 - 400) * 0.5f},         // on the diagonal: 170
        {0.0L, 0.5L, 0.0f},                                                  // grid lines give 0
        {0.5L, 0.0L, 0.0f},
        {1.0L, 0.5L, 0.0f},
        {0.5L, 1.0L, 0.0f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(InterpolateInCell(c.fx, c.fy, 100, 200, 140, 400), c.expected, 1e-3f)
            << "fx " << static_cast<double>(c.fx) << " fy " << static_cast<double>(c.fy);
    // The stored steps are single precision: t = 0.5 / 0.75 rounds before use.
    const float t = static_cast<float>(0.5L / 0.75L);
    const float edge = static_cast<float>(100 + 100.0L * t);
    const float e = static_cast<float>(140 + (edge - 140.0L) / t * 0.5L);
    EXPECT_EQ(InterpolateInCell(0.5L, 0.25L, 100, 200, 140, 400), e);
}

TEST(TreeCandidates, BandAndGridLine) {
    ElevationGrid g;
    ASSERT_TRUE(g.allocate(3, 3));
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) g.cell(r, c) = 100 * r + 10 * c;
    TreeZone z;
    z.Low = 0;
    z.High = 1000;
    // s = 10, n = 2: cells of 5 m. a = 7.5, b = 2.5: cell (1, 0), fx = 0.5, fy = 0.5.
    TreeCandidate c = FindTreeCandidate(g, 0, 0, 2, 10.0f, 7.5f, 2.5f, z);
    EXPECT_EQ(c.Found, 155);
    EXPECT_FLOAT_EQ(c.E, 155.0f);
    EXPECT_FLOAT_EQ(c.dNS, 250.0f);
    EXPECT_FLOAT_EQ(c.dWE, -250.0f);
    // On a grid line (a = 5: fx = 0 in cell (1, 0)) the elevation is 0.
    c = FindTreeCandidate(g, 0, 0, 2, 10.0f, 5.0f, 2.5f, z);
    EXPECT_EQ(c.Found, 0);
    EXPECT_EQ(c.E, 0.0f);
    // Outside the band: none.
    z.Low = 200;
    c = FindTreeCandidate(g, 0, 0, 2, 10.0f, 7.5f, 2.5f, z);
    EXPECT_EQ(c.Found, kNoTreeCandidate);
    // a = b = -1 (GenerateTrees off) is in no cell.
    z.Low = -5000;
    c = FindTreeCandidate(g, 0, 0, 2, 10.0f, -1.0f, -1.0f, z);
    EXPECT_EQ(c.Found, kNoTreeCandidate);
}

TEST_F(TreeRunFixture, LowestZeroHighestZeroTakesOnlyGroundAtZeroOrOne) {
    // Ground alternating 0 and 1, with a hill of 500 in the north-west.
    fill([](int r, int c) -> std::int32_t { return r >= 6 && c >= 6 ? 500 : (r + c) % 2; });
    zone(0) = {"0", "0", "ztree", "1", "1", "0", true, false, false, false};
    const auto lines = treeLines();
    ASSERT_FALSE(lines.empty());
    for (const std::string& l : lines) {
        std::istringstream in(l);
        long citizen, time, x, y;
        in >> citizen >> time >> x >> y;
        // Base 0, scale 0.5: an elevation below 2 gives less than 100 cm.
        EXPECT_GE(y, 0) << l;
        EXPECT_LT(y, 100) << l;
        EXPECT_NE(l.find(" 5 0 0 ztree"), std::string::npos) << l;
    }
}

// --- placement ---

TEST_F(TreeRunFixture, ModelNamesOnFlatGroundAt250) {
    fill([](int, int) -> std::int32_t { return 250; });
    const struct {
        TreeZoneRow row;
        bool percent;
        std::string model;  // with its length field
    } cases[] = {
        // k = (250 - 100) * 3 / (400 - 100) + 1 = 2
        {{"100", "400", "ztree", "1", "3", "0", true, false, false, false}, false, " 10 0 0 ztree2.rwx"},
        {{"100", "400", "rock%d.x", "1", "2", "0", true, false, false, false}, false, " 7 0 0 rock2.x"},
        {{"100", "400", "100%sure", "1", "1", "0", true, false, false, false}, false, " 8 0 0 100%sure"},
        {{"100", "400", "ztree", "1", "1", "0", true, false, false, false}, false, " 5 0 0 ztree"},
        // Flat selection: both bounds 250, so every candidate is the first variant.
        {{"50", "50", "ztree", "4", "3", "0", true, false, false, false}, true, " 10 0 0 ztree4.rwx"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        zone(0) = c.row;
        settings.TreeRangeInPercent = c.percent;
        const auto lines = treeLines();
        ASSERT_EQ(lines.size(), 4u);
        for (const std::string& l : lines) EXPECT_EQ(l.substr(l.size() - c.model.size()), c.model);
    }
}

TEST_F(TreeRunFixture, ThinningDrawsOneNumberPerCandidate) {
    fill([](int, int) -> std::int32_t { return 250; });
    zone(0) = {"0", "1000", "ztree", "1", "1", "0", true, false, false, false};
    settings.TreeThinning = true;
    for (const char* value : {"1", "0", "-3"}) {  // below 1 is taken as 1
        SCOPED_TRACE(value);
        settings.TreeThinValue = value;
        LcgRandom fresh;
        random = fresh;
        EXPECT_EQ(treeLines().size(), 4u) << "every candidate is kept";
        LcgRandom replay;
        for (int i = 0; i < 4 * 65; ++i) replay.Next();
        EXPECT_EQ(random.State(), replay.State());
    }
}

TEST_F(TreeRunFixture, RandomHeightKeepsTheSignOfTheOffset) {
    fill([](int, int) -> std::int32_t { return 250; });
    settings.VerticalScale = "1";
    zone(0) = {"0", "1000", "up", "1", "1", "1000", true, false, true, false};
    zone(1) = {"0", "1000", "down", "1", "1", "-1000", true, false, true, false};
    for (const std::string& l : treeLines()) {
        std::istringstream in(l);
        long citizen, time, x, y;
        in >> citizen >> time >> x >> y;
        // Ground at 250 above base 0, in cm at scale 1: 25000, plus up to +-1000.
        if (l.find(" up") != std::string::npos) {
            EXPECT_GE(y, 25000);
            EXPECT_LE(y, 26000);
        } else {
            EXPECT_LE(y, 25000);
            EXPECT_GE(y, 24000);
        }
    }
}

// --- checks before a run ---

TEST(TreeZoneNames, PatternsThatCanNumberObjects) {
    const struct {
        const char* name;
        bool usable;
    } cases[] = {
        {"ztree", true},       {"rock%d.x", true},  {"tree%03d.rwx", true}, {"gift%x", true},
        {"100%%%d", true},     {"rock%s", false},   {"a%d%d", false},       {"only%%", false},
        {"end%", false},       {"w%100d", false},   {"f%f", false},         {"l%ld", false},
    };
    for (const auto& c : cases) EXPECT_EQ(TreeNamePatternError(c.name).empty(), c.usable) << c.name;

    TreeZone z;
    z.Count = 5;
    z.Name = "tree%03d.rwx";
    EXPECT_EQ(TreeModelName(z, 7), "tree007.rwx");
    z.Name = "100%%%d";
    EXPECT_EQ(TreeModelName(z, 3), "100%3");
    z.Name = "ztree";
    EXPECT_EQ(TreeModelName(z, 4), "ztree4.rwx");
    z.Count = 1;
    EXPECT_EQ(TreeModelName(z, 4), "ztree");
    z.Name = "rock%s";
    EXPECT_EQ(TreeModelName(z, 4), "rock%s");
    z.Count = 2;
    EXPECT_EQ(TreeModelName(z, 4), "rock%s") << "never used as a format";
}

TEST(TreeZoneNames, RunIsRefusedOnlyForZonesThatWillNumberObjects) {
    ConversionSettings s;
    s.GenerateTrees = true;
    s.TreeZones[4] = {"0", "10", "rock%s", "1", "2", "0", true, false, false, false};
    const std::string message = CheckTreeZoneNames(s);
    EXPECT_NE(message.find("Tree zone 5"), std::string::npos) << message;
    EXPECT_NE(message.find("\"rock%s\""), std::string::npos) << message;
    EXPECT_NE(message.find("is not a whole-number field"), std::string::npos) << message;

    ConversionSettings one = s;
    one.TreeZones[4].NumberOfTrees = "1";
    EXPECT_EQ(CheckTreeZoneNames(one), "");
    ConversionSettings off = s;
    off.TreeZones[4].ObjectZone = false;
    EXPECT_EQ(CheckTreeZoneNames(off), "");
    ConversionSettings noTrees = s;
    noTrees.GenerateTrees = false;
    EXPECT_EQ(CheckTreeZoneNames(noTrees), "");
    ConversionSettings noProp = s;
    noProp.NoPropfile = true;
    EXPECT_EQ(CheckTreeZoneNames(noProp), "");
}

// --- window rules ---

TEST(TreePage, NegativeCountsSuffixesAndThinningBecomeZero) {
    ConversionSettings page;
    page.GenerateTrees = true;
    page.NoPropfile = true;
    EXPECT_FALSE(TreePageEnabled(page)) << "no object list, no trees";

    EXPECT_EQ(TreeHeightEditChange("-3"), "0");
    EXPECT_EQ(TreeHeightEditChange("7"), "7");
    EXPECT_EQ(TreeHeightEditChange("-"), "-") << "still being typed";
    EXPECT_EQ(TreeHeightEditChange(""), "");

    ConversionSettings s;
    EXPECT_FALSE(ApplyTreeHeightEditChange(s));
    s.TreeThinValue = "-1";
    s.TreeZones[3].NameSuffixFrom = "-2";
    s.TreeZones[31].NumberOfTrees = "-9";
    s.TreeZones[5].HeightOffset = "-50";  // height offsets may be negative
    EXPECT_TRUE(ApplyTreeHeightEditChange(s));
    EXPECT_EQ(s.TreeThinValue, "0");
    EXPECT_EQ(s.TreeZones[3].NameSuffixFrom, "0");
    EXPECT_EQ(s.TreeZones[31].NumberOfTrees, "0");
    EXPECT_EQ(s.TreeZones[5].HeightOffset, "-50");
}

}  // namespace
}  // namespace gorvale
