// Native terrain sent to a local world and read back from it.
#include <gtest/gtest.h>

#include <algorithm>

#include "import/grid_operations.h"
#include "tests/support/test_support.h"
#include "tests/world/elevdump_heights.h"
#include "tests/world/world_fixture.h"
#include "world/builder_bot.h"
#include "world/native_terrain.h"

namespace gorvale {
namespace {

using test::FixtureWorld;
using test::RecordingUserInterface;

class TerrainWorld : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(world.Start());
        ASSERT_TRUE(ws.grid.allocate(3, 5));
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 5; ++c) ws.grid.cell(r, c) = 10 * r + c;
        ws.grid.LastRow = 2;
        ws.grid.LastCol = 4;
        FinishGridLoad(ws, 0, 24);
        ConversionSettings& s = ws.settings;
        s.FromSouth = s.FromWest = "0";
        s.ToNorth = "2";
        s.ToEast = "4";
        s.AW_Terrain = s.BuildWithRobot = s.WorldVersion4 = s.DeleteOldTerrain = true;
        s.VerticalScale = "1";
        s.RotateBot2 = 1;
        s.PropFile = (world.dir() / "run-elevdump.txt").string();
        bot.UniverseHost = "127.0.0.1";
        bot.UniversePort = std::to_string(world.port());
        ASSERT_EQ(bot.StartBot("1", "pw", kBotSpeedMaxPosition, "test"), 0);
    }

    std::string logText() {
        std::string all;
        for (const std::string& l : bot.Log().Lines()) all += l + "\n";
        return all;
    }

    FixtureWorld world;
    RecordingUserInterface ui;
    Workspace ws{ui};
    RunState run;
    BuilderBot bot;
};

TEST_F(TerrainWorld, DumpOfTheWorldEqualsTheRunsElevdump) {
    const TerrainOutcome t = NativeTerrain(ws, run, &bot).GenerateAwTerrain();
    bot.StopBot();
    ASSERT_EQ(t.end, TerrainEnd::Completed) << logText();
    EXPECT_EQ(t.stripsSent, 5);
    EXPECT_FALSE(ws.settings.DeleteOldTerrain);
    const std::string dumped = (world.dir() / "world-elevdump.txt").string();
    const test::CommandResult r = world.Run("dump --world test --elevdump '" + dumped + "'");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(test::readFileBytes(dumped), test::readFileBytes(ws.settings.PropFile));
    // r = 1: five strips of three nodes from x0 - 1, z0 + 2 down to z0 - 2.
    EXPECT_NE(logText().find("Terrain params: cx=-1 cz=2 num="), std::string::npos) << logText();
    EXPECT_NE(logText().find("Terrain params: cx=-1 cz=-2 num="), std::string::npos) << logText();
}

// Where the world goes away: before the run (the terrain deletion fails) or
// as strip `killAtStrip` begins, after the strips before it were answered.
struct KillPoint {
    const char* name;
    int killAtStrip;  // -1: before the run
    const char* logged;
};

class TerrainWorldKilled : public TerrainWorld, public ::testing::WithParamInterface<KillPoint> {};

TEST_P(TerrainWorldKilled, EndsTheRunWithItsReasonAndKeepsWhatWasSent) {
    const KillPoint p = GetParam();
    int stripsBegun = 0;
    bot.OnActionLabel = [&](const std::string& label) {
        if (label.rfind("Terrain: at", 0) == 0 && stripsBegun++ == p.killAtStrip) world.Kill();
    };
    if (p.killAtStrip < 0) world.Kill();
    const TerrainOutcome t = NativeTerrain(ws, run, &bot).GenerateAwTerrain();
    bot.StopBot();
    const int answered = std::max(p.killAtStrip, 0);
    EXPECT_EQ(t.end, TerrainEnd::Stopped);
    EXPECT_EQ(t.stripsSent, answered);
    EXPECT_NE(logText().find(std::string(p.logged) + "  (reason 471) CONNECTION_LOST"), std::string::npos)
        << logText();
    EXPECT_FALSE(ws.settings.DeleteOldTerrain);
    EXPECT_FALSE(t.elevdumpFailed);
    EXPECT_GE(t.nodesWritten, 1);

    // r = 1: strip k holds grid column k from row 0 up, nodes x = -1 .. 1 at
    // z = 2 - k. The run's elevdump holds every strip handed over (the one
    // the world never answered included: the mirror is filled before the
    // send); the world keeps each strip it answered.
    const test::NodeHeights mirrored = test::dumpHeights(test::readFileBytes(ws.settings.PropFile));
    const std::string dumped = (world.dir() / "world-elevdump.txt").string();
    const test::CommandResult r = world.Run("dump --world test --elevdump '" + dumped + "'");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const test::NodeHeights stored = test::dumpHeights(test::readFileBytes(dumped));
    for (int k = 0; k < 5; ++k)
        for (int m = 0; m < 3; ++m) {
            SCOPED_TRACE("strip " + std::to_string(k) + " node " + std::to_string(m));
            const long height = (10 * m + k) * 100;
            EXPECT_EQ(test::heightAt(mirrored, -1 + m, 2 - k), k <= p.killAtStrip ? height : 0);
            EXPECT_EQ(test::heightAt(stored, -1 + m, 2 - k), k < p.killAtStrip ? height : 0);
        }
}

INSTANTIATE_TEST_SUITE_P(ServerKilled, TerrainWorldKilled,
                         ::testing::Values(KillPoint{"BeforeTheRun", -1, "Error in deleting terrain"},
                                           KillPoint{"AtTheFirstStrip", 0, "Error in setting terrain"},
                                           KillPoint{"MidUpload", 2, "Error in setting terrain"},
                                           KillPoint{"AtTheLastStrip", 4, "Error in setting terrain"}),
                         [](const ::testing::TestParamInfo<KillPoint>& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace gorvale
