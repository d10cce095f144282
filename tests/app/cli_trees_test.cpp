// End to end: the shipped tree-zone example through gorvale-cli generate.
#include <gtest/gtest.h>

#include <filesystem>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace gorvale {
namespace {

struct ObjectLine {
    std::vector<long> numbers;  // the eleven fields
    std::string model, action;
    bool ground = false;  // a tile's own model
};

std::vector<ObjectLine> readObjects(const std::filesystem::path& path) {
    const std::string bytes = test::readFileBytes(path);
    std::vector<ObjectLine> lines;
    std::size_t start = 0;
    bool header = true;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "line without CR LF at byte " << start;
        if (end == std::string::npos) break;
        const std::string line = bytes.substr(start, end - start);
        start = end + 2;
        if (header) {
            EXPECT_EQ(line, "propdump version 3");
            header = false;
            continue;
        }
        std::istringstream in(line);
        ObjectLine o;
        for (int i = 0; i < 11; ++i) {
            long v = 0;
            in >> v;
            o.numbers.push_back(v);
        }
        in.get();
        std::string texts;
        std::getline(in, texts, '\0');
        EXPECT_EQ(texts.size(), static_cast<std::size_t>(o.numbers[8] + o.numbers[9] + o.numbers[10])) << line;
        o.model = texts.substr(0, static_cast<std::size_t>(o.numbers[8]));
        o.action = texts.substr(static_cast<std::size_t>(o.numbers[8] + o.numbers[9]));
        o.ground = std::regex_match(o.model, std::regex("z\\d\\d[ns]_\\d\\d[ew]\\.rwx"));
        lines.push_back(o);
    }
    return lines;
}

// Runs the shipped tree example with its output in `dir`.
test::CommandResult generateTrees(const test::ScratchDir& dir, const std::string& extra = "") {
    return test::runCli("generate " + test::examplePath("n43_trees.gvl") + " --set DEMFile=" +
                        test::examplePath("n43.dem") + " --set RWXFile=" + (dir / "models" / "z").string() +
                        " --set PropFile=" + (dir / "prop.txt").string() + " --set LogFile=" +
                        (dir / "history.log").string() + " " + extra);
}

// Everything but the timestamps.
std::vector<std::string> withoutTimes(const std::vector<ObjectLine>& lines, bool treesOnly) {
    std::vector<std::string> out;
    for (const ObjectLine& o : lines) {
        if (treesOnly && (o.ground || o.model == "street1.rwx")) continue;
        std::string s;
        for (std::size_t i = 0; i < o.numbers.size(); ++i)
            if (i != 1) s += std::to_string(o.numbers[i]) + " ";
        out.push_back(s + o.model + o.action);
    }
    return out;
}

TEST(CliTrees, ShippedTreeExampleScattersZoneObjectsBesideTheGround) {
    test::ScratchDir dir;
    const test::CommandResult r = generateTrees(dir);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::vector<ObjectLine> lines = readObjects(dir / "prop.txt");

    // The ground lines still match the models written, one for one.
    std::set<std::string> groundNames, written;
    for (const ObjectLine& o : lines)
        if (o.ground) groundNames.insert(o.model.substr(0, o.model.size() - 4) + ".zip");
    for (const auto& e : std::filesystem::directory_iterator(dir / "models"))
        written.insert(e.path().filename().string());
    EXPECT_EQ(groundNames.size(), 900u);
    EXPECT_EQ(groundNames, written);

    // Every tree follows its tile's ground line and stands inside that tile
    // (40 m objects: at most 19.5 m from the tile's origin each way).
    const std::regex treeNames("tree[1-6]\\.rwx|pine[1-4]\\.rwx|rock0[1-5]\\.rwx|gift\\.rwx");
    const std::regex scoreAction(" ;score=([0-9]+)");
    std::map<std::string, int> kinds;
    const ObjectLine* ground = nullptr;
    for (const ObjectLine& o : lines) {
        if (o.ground) {
            ground = &o;
            continue;
        }
        if (o.model == "street1.rwx") continue;
        ASSERT_NE(ground, nullptr) << o.model << " before any ground line";
        EXPECT_TRUE(std::regex_match(o.model, treeNames)) << o.model;
        ++kinds[o.model.substr(0, 4)];
        EXPECT_LE(std::abs(o.numbers[2] - ground->numbers[2]), 1950) << o.model;
        EXPECT_LE(std::abs(o.numbers[4] - ground->numbers[4]), 1950) << o.model;
        EXPECT_GE(o.numbers[5], 0);
        EXPECT_LE(o.numbers[5], 3600);
        std::smatch m;
        if (o.model == "gift.rwx") {
            ASSERT_TRUE(std::regex_match(o.action, m, scoreAction)) << o.action;
            EXPECT_GE(std::stoi(m[1]), 1);
            EXPECT_LE(std::stoi(m[1]), 11);
        } else {
            EXPECT_EQ(o.action, "");
        }
    }
    EXPECT_GE(kinds.size(), 3u) << "trees, pines and rocks by elevation band";
    EXPECT_GT(kinds["tree"], 50);
}

TEST(CliTrees, RunsAfterAProgramStartDrawTheSameTreesAndTreesOnlyKeepsThem) {
    test::ScratchDir first, second, only;
    const std::string faster = "--set Scaling=15 --set ZipIt=false";  // 7 x 7 tiles
    ASSERT_EQ(generateTrees(first, faster).exitCode, 0);
    ASSERT_EQ(generateTrees(second, faster).exitCode, 0);
    const auto a = withoutTimes(readObjects(first / "prop.txt"), false);
    EXPECT_EQ(a, withoutTimes(readObjects(second / "prop.txt"), false));

    const test::CommandResult r = generateTrees(only, faster + " --set GenerateOnlyTrees=true");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const auto trees = withoutTimes(readObjects(only / "prop.txt"), true);
    EXPECT_FALSE(trees.empty());
    EXPECT_EQ(trees, withoutTimes(readObjects(first / "prop.txt"), true));
    EXPECT_EQ(trees.size(), readObjects(only / "prop.txt").size()) << "no ground and no teleport lines";
    EXPECT_TRUE(std::filesystem::exists(only / "models" / "z00n_00w.rwx")) << "the models are still written";
}

TEST(CliTrees, UnusableNamePatternIsRefusedBeforeAnythingIsWritten) {
    test::ScratchDir dir;
    const test::CommandResult r = generateTrees(dir, "--set 'TreeZones.RWXName2=rock%s'");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("Tree zone 3: the name \"rock%s\""), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "prop.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir / "models" / "z00n_00w.zip"));
}

TEST(CliTrees, TreesWithTheBuilderBotGoToTheBotWhichEndsTheRunWhenItCannotLogIn) {
    test::ScratchDir dir;
    const test::CommandResult r =
        generateTrees(dir, "--set BuildWithRobot=true --set BotUniverseURL=127.0.0.1 --set BotUniversePort=1");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("UNABLE_TO_CONTACT_UNIVERSE"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "prop.txt"));
}

}  // namespace
}  // namespace gorvale
