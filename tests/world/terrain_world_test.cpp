// Native terrain sent to a local world and read back from it.
#include <gtest/gtest.h>

#include "import/grid_operations.h"
#include "tests/support/test_support.h"
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

TEST_F(TerrainWorld, ServerKilledDuringTheUploadEndsTheRunWithItsReason) {
    world.Kill();
    const TerrainOutcome t = NativeTerrain(ws, run, &bot).GenerateAwTerrain();
    bot.StopBot();
    EXPECT_EQ(t.end, TerrainEnd::Stopped);
    EXPECT_EQ(t.stripsSent, 0);
    EXPECT_NE(logText().find("Error in deleting terrain  (reason "), std::string::npos) << logText();
    // The elevdump is still written from the mirror filled so far.
    EXPECT_GE(t.nodesWritten, 1);
}

}  // namespace
}  // namespace gorvale
