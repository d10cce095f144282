// The builder bot against a real local world server.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/world/local_world.h"
#include "world/aw_sdk.h"
#include "world/aw_sdk_ext.h"
#include "world/builder_bot.h"

namespace gorvale {
namespace {

constexpr std::int32_t kFixedTime = 1700000000;

// A bot aimed at the test's server whose waits are recorded and kept short.
struct TestBot {
    explicit TestBot(const test::LocalWorld& world, bool realWaits = false) {
        bot.UniverseHost = "127.0.0.1";
        bot.UniversePort = std::to_string(world.port());
        bot.Clock = [] { return kFixedTime; };
        bot.Wait = [this, realWaits](int ms) {
            waits.push_back(ms);
            // Short waits unless asked for real ones: the test asserts on the waits asked.
            return aw_wait(realWaits ? ms : std::min(ms, 5));
        };
    }
    bool logHas(const std::string& text) const {
        const auto& lines = bot.Log().Lines();
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l == text; });
    }
    // A line "0x" + eight hex digits of a non-zero object number + `record`.
    bool logHasNumbered(const std::string& record) const {
        const auto& lines = bot.Log().Lines();
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.size() == 10 + record.size() && l.compare(0, 2, "0x") == 0 && l.compare(2, 8, "00000000") != 0 &&
                   l.find_first_not_of("0123456789abcdef", 2) == 10 && l.compare(10, std::string::npos, record) == 0;
        });
    }
    std::string log() const {
        std::string all;
        for (const std::string& l : bot.Log().Lines()) all += l + "\n";
        return all;
    }
    BuilderBot bot;
    std::vector<int> waits;
};

class BuilderBotTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(world.Start()); }
    test::LocalWorld world;
};

TEST_F(BuilderBotTest, LoginAndEntryFailuresAreLoggedWithTheirReasons) {
    const struct {
        const char* citizen;
        const char* password;
        const char* worldName;
        int code;
        const char* line;
    } cases[] = {
        {"1001", "wrong", "alpha", RC_INVALID_PASSWORD, "Unable to login  (reason 13) INVALID_PASSWORD"},
        {"4242", "secret", "alpha", RC_NO_SUCH_CITIZEN, "Unable to login  (reason 3) NO_SUCH_CITIZEN"},
        {"1001", "secret", "nowhere", RC_WORLD_NOT_RUNNING, "Unable to enter world  (reason 27) WORLD_NOT_RUNNING"},
        {"1001", "secret", "sleepy", RC_WORLD_NOT_RUNNING, "Unable to enter world  (reason 27) WORLD_NOT_RUNNING"},
    };
    for (const auto& c : cases) {
        TestBot t(world);
        EXPECT_EQ(t.bot.StartBot(c.citizen, c.password, 20, c.worldName), c.code) << c.line;
        EXPECT_TRUE(t.logHas(c.line)) << t.log();
        EXPECT_TRUE(t.bot.Log().Modified());
        EXPECT_EQ(t.bot.RobotActionLabel(), "No Robot is running");
        EXPECT_FALSE(t.bot.Running());
    }
}

TEST_F(BuilderBotTest, AServerThatCannotBeReachedIsReportedAtLogin) {
    TestBot t(world);
    ASSERT_TRUE(world.Stop());
    EXPECT_EQ(t.bot.StartBot("1001", "secret", 20, "alpha"), RC_UNABLE_TO_CONTACT_UNIVERSE);
    EXPECT_TRUE(t.logHas("Unable to login  (reason 404) UNABLE_TO_CONTACT_UNIVERSE")) << t.log();
}

TEST_F(BuilderBotTest, EachSpeedPositionAsksForThePaceTableWaits) {
    for (int position : {0, 10, 20}) {
        TestBot t(world);
        ASSERT_EQ(t.bot.StartBot("1001", "secret", position, "alpha"), 0);
        EXPECT_EQ(t.bot.PaceCount, 21 - position);
        t.waits.clear();
        ASSERT_EQ(t.bot.BuildObject(1001, 1000 * position, 0, "", "", "pace.rwx", 0, 2000, 30), 0);
        std::vector<int> expected{2};
        expected.insert(expected.end(), 20 - position, 50);
        EXPECT_EQ(t.waits, expected) << "position " << position;
        t.bot.StopBot();
        EXPECT_TRUE(t.bot.PendingList.empty());
    }
}

TEST_F(BuilderBotTest, BuiltObjectsAreLoggedAsPropdumpRecordsAndStored) {
    TestBot t(world);
    ASSERT_EQ(t.bot.StartBot("1001", "secret", 20, "alpha"), 0);
    EXPECT_EQ(t.bot.LoginCitizen, 1001);
    // Own objects are added; another owner's object is loaded with its timestamp.
    ASSERT_EQ(t.bot.BuildObject(1001, -1500, 0, "create color red", "a hill", "hill.rwx", 900, 2500, 120), 0);
    ASSERT_EQ(t.bot.BuildObjectOriented(1002, 3000, 1234, "", "", "tree.rwx", 15, 25, -900, -4000, 7), 0);
    t.bot.StopBot();
    EXPECT_TRUE(t.bot.PendingList.empty());
    // Each answered object: its number as the world gave it, then its record.
    char line[256];
    std::snprintf(line, sizeof line, " 1001 %d -1500 120 2500 900 0 0 8 6 16 hill.rwxa hillcreate color red", kFixedTime);
    EXPECT_TRUE(t.logHasNumbered(line)) << line << "\n" << t.log();
    std::snprintf(line, sizeof line, " 1002 %d 3000 7 -4000 -900 0 0 8 0 0 tree.rwx", kFixedTime);
    EXPECT_TRUE(t.logHasNumbered(line)) << line << "\n" << t.log();
    const std::string dump = world.Dump("alpha");
    EXPECT_NE(dump.find(" -1500 120 2500 900 0 0 8 6 16 hill.rwxa hillcreate color red\r\n"), std::string::npos)
        << dump;
    EXPECT_NE(dump.find("1002 1234 3000 7 -4000 -900 25 15 8 0 0 tree.rwx\r\n"), std::string::npos) << dump;
    std::string saved;
    const std::string path = (world.dir() / "robot.log").string();
    ASSERT_TRUE(t.bot.Log().SaveLog(path, saved)) << saved;
    EXPECT_FALSE(t.bot.Log().Modified());
    EXPECT_NE(test::readFileBytes(path).find("tree.rwx\r\n"), std::string::npos);
}

TEST_F(BuilderBotTest, RefusedObjectsAreLoggedWithBothLinesAndBuildingGoesOn) {
    TestBot t(world);
    // Citizen 1002 may not build in "closed" and has no eminent domain anywhere.
    ASSERT_EQ(t.bot.StartBot("1002", "other", 20, "closed"), 0);
    const auto deliveringWait = t.bot.Wait;
    t.bot.Wait = [](int) { return 0; };  // answers wait until StopBot, so their numbers can be read here
    for (int i = 0; i < 3; ++i) EXPECT_EQ(t.bot.BuildObject(1002, i * 1000, 0, "", "", "no.rwx", 0, 0, 0), 0);
    ASSERT_EQ(t.bot.BuildObject(1001, 5000, 0, "", "", "load.rwx", 0, 0, 0), 0);  // a load needs eminent domain
    std::vector<std::int32_t> numbers;
    for (const ObjectRecord& r : t.bot.PendingList) numbers.push_back(r.number);
    t.bot.Wait = deliveringWait;
    t.bot.StopBot();
    ASSERT_EQ(numbers.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        char line[256];
        std::snprintf(line, sizeof line,
                      "Error in building request for object=no.rwx x=%d y=0 z=0 #%d  (reason 310) NO_BUILD_RIGHTS",
                      i * 1000, numbers[i]);
        EXPECT_TRUE(t.logHas(line)) << line << "\n" << t.log();
        std::snprintf(line, sizeof line, "0x%08x 1002 %d %d 0 0 0 0 0 6 0 0 no.rwx", static_cast<unsigned>(numbers[i]),
                      kFixedTime, i * 1000);
        EXPECT_TRUE(t.logHas(line)) << line << "\n" << t.log();
    }
    char line[256];
    std::snprintf(line, sizeof line,
                  "Error in building request for object=load.rwx x=5000 y=0 z=0 #%d  (reason 32) UNAUTHORIZED",
                  numbers[3]);
    EXPECT_TRUE(t.logHas(line)) << line << "\n" << t.log();
    const std::string dump = world.Dump("closed");
    EXPECT_EQ(dump, "propdump version 3\r\n");
}

// Object numbers of the log's propdump records, and those named by an error line.
void splitLog(const std::vector<std::string>& lines, std::set<std::int32_t>& recorded,
              std::set<std::int32_t>& failed, std::map<std::int32_t, std::int32_t>& xOf) {
    for (const std::string& l : lines) {
        if (l.rfind("0x", 0) == 0) {
            std::istringstream in(l);
            std::string hex;
            long owner, ts, x;
            in >> hex >> owner >> ts >> x;
            const auto n = static_cast<std::int32_t>(std::stoul(hex, nullptr, 16));
            recorded.insert(n);
            xOf[n] = static_cast<std::int32_t>(x);
        } else if (l.rfind("Error in building request", 0) == 0) {
            const std::size_t hash = l.find('#');
            failed.insert(static_cast<std::int32_t>(std::stol(l.substr(hash + 1))));
        }
    }
}

TEST_F(BuilderBotTest, AServerKilledMidRunGivesConnectionLostAndKeepsWhatItAnswered) {
    TestBot t(world, /*realWaits=*/true);
    ASSERT_EQ(t.bot.StartBot("1001", "secret", 20, "alpha"), 0);
    const int objects = 300;
    int sent = 0;
    for (int i = 0; i < objects; ++i) {
        if (i == 150) world.Kill();
        if (t.bot.BuildObject(1001, i * 1000, 0, "", "", "k.rwx", 0, 0, 0) == 0) ++sent;
    }
    const auto before = std::chrono::steady_clock::now();
    t.bot.StopBot();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(kStopDrainMs / 1000 + 2));
    EXPECT_TRUE(t.bot.PendingList.empty());
    const std::string log = t.log();
    EXPECT_NE(log.find("(reason 471) CONNECTION_LOST"), std::string::npos) << log;
    EXPECT_LT(sent, objects);

    std::set<std::int32_t> recorded, failed;
    std::map<std::int32_t, std::int32_t> xOf;
    splitLog(t.bot.Log().Lines(), recorded, failed, xOf);
    ASSERT_FALSE(recorded.empty());
    ASSERT_TRUE(world.Start());
    const std::string dump = world.Dump("alpha");
    int answeredSuccess = 0;
    for (std::int32_t n : recorded) {
        if (failed.count(n)) continue;
        ++answeredSuccess;
        const std::string needle = " " + std::to_string(xOf[n]) + " 0 0 0 0 0 5 0 0 k.rwx\r\n";
        EXPECT_NE(dump.find(needle), std::string::npos) << "object at x=" << xOf[n] << " answered but lost";
    }
    EXPECT_GT(answeredSuccess, 0);
}

}  // namespace
}  // namespace gorvale
