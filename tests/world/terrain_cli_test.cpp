// gorvale-cli generate with AW_Terrain and no bot: only the elevation dump,
// and the elevation-limit question answered with --answer.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"

namespace gorvale {
namespace {

TEST(TerrainCli, ElevationQuestionIsAnsweredByTheOptionOrRefused) {
    test::ScratchDir dir;
    const std::string dump = (dir / "terrain.txt").string();
    const std::string common = "generate '" + test::examplePath("n43.gvl") +
                               "' --set AW_Terrain=true --set BuildWithRobot=false --set DVerticalScale=false"
                               " --set VerticalScale=100 --set ToNorth=8 --set ToEast=8 --set PropFile=" +
                               dump + " --set RWXFile=" + (dir / "z").string() + " --set LogFile=" +
                               (dir / "run.log").string() + " --progress=none";

    const test::CommandResult unanswered = test::runCli(common);
    EXPECT_EQ(unanswered.exitCode, 1) << unanswered.out;
    EXPECT_NE(unanswered.out.find("--answer ok|cancel"), std::string::npos) << unanswered.out;
    EXPECT_FALSE(std::filesystem::exists(dump));

    const test::CommandResult cancelled = test::runCli(common + " --answer cancel");
    EXPECT_EQ(cancelled.exitCode, 1) << cancelled.out;
    EXPECT_FALSE(std::filesystem::exists(dump));

    const test::CommandResult ok = test::runCli(common + " --answer ok");
    EXPECT_EQ(ok.exitCode, 0) << ok.out;
    EXPECT_NE(ok.out.find("Elevdump: " + dump), std::string::npos) << ok.out;
    EXPECT_EQ(test::readFileBytes(dump).rfind("elevdump version 1\r\n", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir / "z.rwx"));

    const test::CommandResult bad = test::runCli(common + " --answer maybe");
    EXPECT_EQ(bad.exitCode, 2) << bad.out;
}

}  // namespace
}  // namespace gorvale
