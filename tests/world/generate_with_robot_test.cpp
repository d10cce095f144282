// gorvale-cli generate with BuildWithRobot against a local world server.
#include <gtest/gtest.h>

#include <sstream>
#include <utility>
#include <string>
#include <vector>

#include "tests/world/local_world.h"

namespace gorvale {
namespace {

constexpr const char* kPassword = "Pw-7731-zq";

// The object lines of a propdump with the timestamp field taken out.
std::vector<std::string> withoutTimestamps(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "a line without CR LF";
        if (end == std::string::npos) break;
        std::string line = bytes.substr(start, end - start);
        start = end + 2;
        const std::size_t first = line.find(' ');
        const std::size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
        if (second != std::string::npos) line.erase(first, second - first);
        lines.push_back(line);
    }
    return lines;
}

class GenerateWithRobot : public ::testing::Test {
protected:
    void SetUp() override {
        std::string out;
        ASSERT_EQ(test::runWorldTool(world.db(), std::string("citizen add --number 1003 --password ") + kPassword, &out),
                  0)
            << out;
        ASSERT_TRUE(world.Start());
    }

    // A project that builds the example's 49 tiles and the teleport with the bot;
    // `extra` ("--set Key=Value ...") replaces the settings it names.
    std::string project(const std::string& extra) {
        const test::ScratchDir& d = world.dir();
        const std::string path = (d / "job.gvl").string();
        std::vector<std::pair<std::string, std::string>> sets = {
            {"DEMFile", test::examplePath("n43.dem")}, {"RWXFile", (d / "models" / "z").string()},
            {"PropFile", (d / "prop.txt").string()},    {"LogFile", (d / "run.log").string()},
            {"LogEnable", "true"},                      {"Scaling", "15"},
            {"ZipIt", "false"},                         {"CreateBumpAtGZ", "true"},
            {"BuildWithRobot", "true"},                 {"BotCitNumber", "1003"},
            {"CitizenNumber", "1003"},                  {"BotWorldName", "alpha"},
            {"BotUniverseURL", "127.0.0.1"},            {"BotSpeedBar", "20"},
            {"BotUniversePort", std::to_string(world.port())}};
        std::istringstream words(extra);
        for (std::string word; words >> word;) {
            if (word == "--set" || word.find('=') == std::string::npos) continue;
            const std::string key = word.substr(0, word.find('='));
            const std::string value = word.substr(word.find('=') + 1);
            bool replaced = false;
            for (auto& [k, v] : sets)
                if (k == key) v = value, replaced = true;
            if (!replaced) sets.emplace_back(key, value);
        }
        std::string command = "project new " + path;
        for (const auto& [k, v] : sets) command += " --set " + k + "=" + v;
        const test::CommandResult r = test::runCli(command);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        return path;
    }

    test::LocalWorld world;
};

TEST_F(GenerateWithRobot, TheWorldHoldsExactlyTheObjectsOfThePropdump) {
    const std::string job = project(std::string("--set BotPrivPassw=") + kPassword);
    const std::string robotLog = (world.dir() / "robot.log").string();
    const test::CommandResult r = test::runCli("generate " + job + " --robot-log " + robotLog);
    ASSERT_EQ(r.exitCode, 0) << r.out;

    const std::vector<std::string> prop = withoutTimestamps(test::readFileBytes(world.dir() / "prop.txt"));
    const std::vector<std::string> built = withoutTimestamps(world.Dump("alpha"));
    ASSERT_EQ(prop.size(), 51u);  // header, 49 tiles, the teleport
    EXPECT_EQ(built, prop);

    // Every object's record shows on the terminal and in the saved robot log.
    const std::string saved = test::readFileBytes(robotLog);
    int records = 0;
    for (std::size_t at = saved.find("0x"); at != std::string::npos; at = saved.find("\r\n0x", at + 1)) ++records;
    EXPECT_EQ(records, 50) << saved;
    EXPECT_NE(r.out.find(" 12 0 0 z03s_03e.rwx"), std::string::npos) << r.out;
    EXPECT_NE(saved.find("11 0 19 street1.rwxbump warp +0 +0 "), std::string::npos) << saved;

    // The privilege password shows nowhere.
    EXPECT_EQ(r.out.find(kPassword), std::string::npos);
    EXPECT_EQ(saved.find(kPassword), std::string::npos);
    EXPECT_EQ(test::readFileBytes(world.dir() / "run.log").find(kPassword), std::string::npos);
    const test::CommandResult shown = test::runCli("project show " + job);
    EXPECT_EQ(shown.out.find(kPassword), std::string::npos) << shown.out;
}

TEST_F(GenerateWithRobot, AFailedLoginEndsTheCommandBeforeAnythingIsWritten) {
    const struct {
        std::string sets;
        std::string line;
    } cases[] = {
        {"--set BotPrivPassw=wrong", "Unable to login  (reason 13) INVALID_PASSWORD"},
        {"--set BotPrivPassw=x --set BotCitNumber=999", "Unable to login  (reason 3) NO_SUCH_CITIZEN"},
        {std::string("--set BotPrivPassw=") + kPassword + " --set BotWorldName=sleepy",
         "Unable to enter world  (reason 27) WORLD_NOT_RUNNING"},
    };
    for (const auto& c : cases) {
        const std::string job = project(c.sets);
        const test::CommandResult r = test::runCli("generate " + job);
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
        EXPECT_FALSE(std::filesystem::exists(world.dir() / "prop.txt"));
        EXPECT_EQ(r.out.find(kPassword), std::string::npos);
    }
}

}  // namespace
}  // namespace gorvale
