// gorvale-cli build and delete against a local world; the deletion walk's
// pattern rule and its end when the world goes away.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <sstream>
#include <thread>

#include "tests/support/test_support.h"
#include "tests/world/world_fixture.h"
#include "world/builder_bot.h"
#include "world/object_deletion.h"

namespace gorvale {
namespace {

using test::FixtureWorld;

TEST(WildcardMatch, ExamplesOfTheDeleteDialog) {
    struct Case {
        const char* name;
        const char* pattern;
        bool match;
    };
    const Case cases[] = {
        {"tree1.rwx", "tree*", true},   {"tree1.rwx", "*.rwx", true}, {"tree", "*e", false},
        {"tree1", "t?ee*", true},       {"", "", true},               {"a", "", false},
        {"tree", "tree", true},         {"tree", "Tree", false},      {"tree", "tre", false},
        {"tree", "tree?", false},       {"tree1", "*?", true},        {"ab", "*??", true},
        {"a", "*??", false},            {"tree", "**e", false},      {"house.rwx", "*s?.rwx", true},
    };
    for (const Case& c : cases) EXPECT_EQ(WildcardMatch(c.name, c.pattern), c.match) << c.name << " ~ " << c.pattern;
}

TEST(CellFromCoord, RoundsTowardMinusInfinity) {
    EXPECT_EQ(CellFromCoord(-1), -1);
    EXPECT_EQ(CellFromCoord(-1000), -1);
    EXPECT_EQ(CellFromCoord(-1001), -2);
    EXPECT_EQ(CellFromCoord(999), 0);
    EXPECT_EQ(CellFromCoord(1000), 1);
}

// The propdump lines of a text after its header, without their timestamps
// and line ends, sorted.
std::vector<std::string> objectsOf(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> lines;
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream f(line);
        std::string owner, timestamp, rest;
        f >> owner >> timestamp;
        std::getline(f, rest);
        lines.push_back(owner + rest);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::vector<std::string> propdumpObjects(const std::string& path) { return objectsOf(test::readFileBytes(path)); }

class WorldCommands : public ::testing::Test {
protected:
    void SetUp() override {
        world.AddWorld("second");
        ASSERT_TRUE(world.Start());
    }

    std::string botSets(const std::string& worldName = "test", int speed = kBotSpeedMaxPosition) const {
        return "--set BotCitNumber=1 --set BotPrivPassw=pw --set BotWorldName=" + worldName +
               " --set BotUniverseURL=127.0.0.1 --set BotUniversePort=" + std::to_string(world.port()) +
               " --set BotSpeedBar=" + std::to_string(speed);
    }

    // Objects in four sectors along x, two along z: tree1 of citizen 1,
    // tree2 of citizen 2, rock1 of citizen 1.
    void seed() {
        BuilderBot bot;
        bot.UniverseHost = "127.0.0.1";
        bot.UniversePort = std::to_string(world.port());
        ASSERT_EQ(bot.StartBot("1", "pw", kBotSpeedMaxPosition, "test"), 0);
        for (int x : {-1500, 500, 9500, 17500})
            for (int z : {500, 9500}) {
                EXPECT_EQ(bot.BuildObject(1, x, 0, "", "d", "tree1.rwx", 0, z, 10), 0);
                EXPECT_EQ(bot.BuildObject(2, x + 100, 1000, "create color red", "", "tree2.rwx", 900, z, 20), 0);
                EXPECT_EQ(bot.BuildObject(1, x + 200, 0, "", "", "rock1.rwx", 0, z + 100, 30), 0);
            }
        // On the border of the rectangle below: never deleted.
        EXPECT_EQ(bot.BuildObject(1, -5000, 0, "", "", "tree1.rwx", 0, 500, 10), 0);
        bot.StopBot();
        EXPECT_TRUE(bot.PendingList.empty());
    }

    // The objects of a world as propdump lines without their timestamps, sorted.
    std::vector<std::string> objects(const std::string& name) {
        const std::string path = (world.dir() / (name + "-dump.txt")).string();
        const test::CommandResult r = world.Run("dump --world " + name + " --propdump '" + path + "'");
        EXPECT_EQ(r.exitCode, 0) << r.out;
        return propdumpObjects(path);
    }

    FixtureWorld world;
};

TEST_F(WorldCommands, DeleteOnePatternOfOneOwnerOverSeveralSectorsAndBuildItBack) {
    seed();
    const std::vector<std::string> before = objects("test");
    ASSERT_EQ(before.size(), 25u);
    const std::string log = (world.dir() / "deleted.log").string();
    const test::CommandResult del =
        test::runCli("delete --rect 20,20,-5,-5 --pattern 'tree*' --pattern 'nothing?' --citizen 1 --yes " +
                     botSets() + " --robot-log '" + log + "'");
    ASSERT_EQ(del.exitCode, 0) << del.out;
    EXPECT_NE(del.out.find("8 objects deleted"), std::string::npos) << del.out;
    std::vector<std::string> expected;
    for (const std::string& o : before)
        if (o.find("tree1.rwx") == std::string::npos || o.find(" -5000 ") != std::string::npos) expected.push_back(o);
    EXPECT_EQ(objects("test"), expected);

    const test::CommandResult build =
        test::runCli("build '" + log + "' --rect 20,20,-5,-5 --yes " + botSets());
    ASSERT_EQ(build.exitCode, 0) << build.out;
    EXPECT_EQ(objects("test"), before) << del.out << build.out << test::readFileBytes(log);
}

TEST_F(WorldCommands, PropdumpOfOneWorldBuiltIntoAnotherGivesTheSameObjects) {
    seed();
    const std::vector<std::string> before = objects("test");
    const std::string dump = (world.dir() / "test-dump.txt").string();
    const test::CommandResult build =
        test::runCli("build '" + dump + "' --rect 100,100,-100,-100 --yes " + botSets("second"));
    ASSERT_EQ(build.exitCode, 0) << build.out;
    EXPECT_EQ(objects("second"), before);
}

TEST_F(WorldCommands, GenerateWithTheBotThenBuildItsPropdumpIntoASecondWorld) {
    const std::string prop = (world.dir() / "run-prop.txt").string();
    const test::CommandResult gen = test::runCli(
        "generate '" + test::examplePath("n43.gvl") + "' --set BuildWithRobot=true --set CitizenNumber=1 " +
        "--set ToNorth=16 --set ToEast=16 --set PropFile=" + prop + " --set RWXFile=" + (world.dir() / "z").string() +
        " --set LogFile=" + (world.dir() / "run.log").string() + " --progress=none " + botSets());
    ASSERT_EQ(gen.exitCode, 0) << gen.out;
    const std::vector<std::string> generated = propdumpObjects(prop);
    ASSERT_FALSE(generated.empty());
    EXPECT_EQ(objects("test"), generated);
    const test::CommandResult build =
        test::runCli("build '" + prop + "' --rect 1000,1000,-1000,-1000 --yes " + botSets("second"));
    ASSERT_EQ(build.exitCode, 0) << build.out;
    EXPECT_EQ(objects("second"), generated);
}

TEST_F(WorldCommands, BuildAndDeleteRefuseBadParametersAndAWorldThatIsGone) {
    const test::CommandResult noRect = test::runCli("delete --pattern x --yes " + botSets());
    EXPECT_EQ(noRect.exitCode, 2) << noRect.out;
    const test::CommandResult noPattern = test::runCli("delete --rect 1,1,-1,-1 --yes " + botSets());
    EXPECT_EQ(noPattern.exitCode, 1);
    EXPECT_NE(noPattern.out.find("Syntax error in the parameters. Request cancelled."), std::string::npos)
        << noPattern.out;
    world.Kill();
    const std::string file = (world.dir() / "one.txt").string();
    test::writeFileBytes(file, "1 0 100 0 100 0 0 0 5 0 0 a.rwx\r\n");
    const test::CommandResult build = test::runCli("build '" + file + "' --rect 1,1,-1,-1 --yes " + botSets());
    EXPECT_EQ(build.exitCode, 1);
    EXPECT_NE(build.out.find("Unable to login  (reason "), std::string::npos) << build.out;
    EXPECT_NE(build.out.find("Robot failed to start."), std::string::npos) << build.out;
}

TEST_F(WorldCommands, WorldKilledDuringABuildEndsItWithTheReasonLogged) {
    std::string records = "propdump version 3\r\n";
    for (int i = 0; i < 40; ++i) records += "1 0 " + std::to_string(100 * i) + " 0 100 0 0 0 5 0 0 a.rwx\r\n";
    const std::string file = (world.dir() / "many.txt").string();
    test::writeFileBytes(file, records);
    test::CommandResult build;
    // Speed 15: about 0.85 s per object, so the world goes away in the middle.
    std::thread run([&] {
        build = test::runCli("build '" + file + "' --rect 1,10,-1,-1 --yes " + botSets("test", 15));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    world.Kill();
    run.join();
    EXPECT_EQ(build.exitCode, 1) << build.out;
    EXPECT_NE(build.out.find("(reason 471) CONNECTION_LOST"), std::string::npos) << build.out;
    EXPECT_NE(build.out.find("the world went away during the build"), std::string::npos) << build.out;
}

// The robot log's propdump lines ("0x" and the object number first) in the
// form of propdumpObjects.
std::vector<std::string> loggedObjects(const RobotLog& log) {
    std::string text = "header\n";
    for (const std::string& l : log.Lines())
        if (l.rfind("0x", 0) == 0) text += l.substr(l.find(' ') + 1) + "\n";
    return objectsOf(text);
}

// The world goes away before the walk (its first query is lost) or once
// `killAfter` deletions have been answered, in the middle of a sector's
// objects.
class DeletionWalkKilled : public WorldCommands, public ::testing::WithParamInterface<int> {};

TEST_P(DeletionWalkKilled, EndsWithTheReasonAndTheLogKeepsEveryObjectDeleted) {
    const int killAfter = GetParam();
    seed();
    const std::vector<std::string> before = objects("test");
    test::RecordingUserInterface ui;
    BuilderBot bot;
    bot.UniverseHost = "127.0.0.1";
    bot.UniversePort = std::to_string(world.port());
    ASSERT_EQ(bot.StartBot("1", "pw", kBotSpeedMaxPosition, "test"), 0);
    int answered = 0;
    bot.Log().OnLine = [&](const std::string& line) {
        if (line.rfind("0x", 0) == 0 && ++answered == killAfter) world.Kill();
    };
    ObjectDeletion deletion(bot, ui);
    if (killAfter == 0) world.Kill();
    deletion.StartDeletion(-5000, -5000, 0, false, {"*"}, 20000, -5000 + 30000);
    for (int tick = 0; tick < 2 * kQueryAnswerTicks && deletion.Running(); ++tick) {
        deletion.DeleteTimerTimer();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(deletion.Running());
    EXPECT_TRUE(deletion.Failed());
    EXPECT_FALSE(bot.Running());
    EXPECT_TRUE(bot.PendingList.empty());
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().caption, kDeleteCaption);
    EXPECT_NE(ui.messages.back().text.find("The connection to the world was lost in sector"), std::string::npos)
        << ui.messages.back().text;

    std::string log;
    int refusedAtTheRequest = 0;
    for (const std::string& l : bot.Log().Lines()) {
        log += l + "\n";
        if (l.rfind("Unable to delete object ", 0) == 0) ++refusedAtTheRequest;
    }
    EXPECT_NE(log.find("(reason 471) CONNECTION_LOST"), std::string::npos) << log;
    // The walk ends at the first request the closed connection refuses.
    EXPECT_LE(refusedAtTheRequest, 1) << log;

    // Every object the world lost is in the robot log, so a build of the
    // saved log can put it back.
    const std::vector<std::string> after = objects("test");
    std::vector<std::string> erased;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(erased));
    // Counted: the deletions confirmed before the world went away (a request
    // still on its way may have been carried out without an answer).
    EXPECT_GE(deletion.Deleted(), killAfter) << log;
    EXPECT_LE(static_cast<std::size_t>(deletion.Deleted()), erased.size()) << log;
    const std::vector<std::string> logged = loggedObjects(bot.Log());
    EXPECT_TRUE(std::includes(logged.begin(), logged.end(), erased.begin(), erased.end())) << log;
}

INSTANTIATE_TEST_SUITE_P(ServerKilled, DeletionWalkKilled, ::testing::Values(0, 2),
                         [](const ::testing::TestParamInfo<int>& i) {
                             return i.param == 0 ? std::string("BeforeTheWalk")
                                                 : "After" + std::to_string(i.param) + "Deletions";
                         });

}  // namespace
}  // namespace gorvale
