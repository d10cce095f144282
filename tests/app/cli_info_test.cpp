// Runs the gorvale-cli binary as a user would and checks what it prints.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/wait.h>

#include "tests/support/test_support.h"

namespace gorvale {
namespace {

using test::CommandResult;

CommandResult runCli(const std::string& arguments) { return test::runCli(arguments); }

using test::examplePath;

TEST(CliUsage, HelpExplainsEveryCommandAndOption) {
    CommandResult r = runCli("--help");
    EXPECT_EQ(r.exitCode, 0);
    for (const char* word : {"info", "generate", "project new", "project show", "export", "--set",
                             "--json", "--grid-out", "--type", "--grid-width", "--dted-merge"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

TEST(CliUsage, BadCommandLinesExitWithTwo) {
    EXPECT_EQ(runCli("").exitCode, 2);
    EXPECT_EQ(runCli("frobnicate").exitCode, 2);
    EXPECT_EQ(runCli("info").exitCode, 2);
    EXPECT_EQ(runCli("info a b").exitCode, 2);
    CommandResult r = runCli("info x.dem --no-such-option");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("--no-such-option"), std::string::npos);
    r = runCli("info x.dem --set NoSuchKey=1");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.out.find("NoSuchKey"), std::string::npos);
}

TEST(CliInfo, MissingFileIsReportedWithItsPath) {
    CommandResult r = runCli("info /nonexistent/dir/none.dem");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("Can't open /nonexistent/dir/none.dem"), std::string::npos) << r.out;
}

TEST(CliInfo, ShowsReadoutsOfTheShippedExample) {
    CommandResult r = runCli("info " + examplePath("n43.dem") + " --json");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    // 121 profiles of 121 posts: the reader shows one more row and column than it fills.
    EXPECT_NE(r.out.find("\"rows\":122"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"columns\":122"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"selectionMin\":75"), std::string::npos) << r.out;
    // The selection stops short of the last filled row and column (rows 0 to 119).
    EXPECT_NE(r.out.find("\"selectionMax\":456"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"elevationRange\":385"), std::string::npos) << r.out;
}

TEST(CliInfo, GridOutWritesLittleEndianRowsFromTheSouth) {
    test::ScratchDir dir;
    const std::string out = (dir / "cells.bin").string();
    CommandResult r = runCli("info " + examplePath("n43.dem") + " --grid-out " + out);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::string bytes = test::readFileBytes(out);
    ASSERT_EQ(bytes.size(), 122u * 122u * 4u);
    auto cellAt = [&](int row, int col) {
        const std::size_t i = (static_cast<std::size_t>(row) * 122 + col) * 4;
        std::uint32_t v = static_cast<unsigned char>(bytes[i]) |
                          static_cast<unsigned char>(bytes[i + 1]) << 8 |
                          static_cast<unsigned char>(bytes[i + 2]) << 16 |
                          static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 3])) << 24;
        return static_cast<std::int32_t>(v);
    };
    int minimum = 1 << 30, maximum = -(1 << 30);
    for (int row = 0; row < 121; ++row)
        for (int col = 0; col < 121; ++col) {
            minimum = std::min(minimum, cellAt(row, col));
            maximum = std::max(maximum, cellAt(row, col));
        }
    EXPECT_EQ(minimum, 75);
    EXPECT_EQ(maximum, 460);
    // The row and column beyond the data are never written.
    EXPECT_EQ(cellAt(121, 0), 0);
    EXPECT_EQ(cellAt(0, 121), 0);
}

TEST(CliInfo, SetOverridesApplyBeforeOpening) {
    CommandResult r = runCli("info " + examplePath("n43.dem") + " --json --set Scaling=3");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    // With 4 cells per object the rectangle snaps to a multiple of 4 below 121.
    EXPECT_NE(r.out.find("\"toNorth\":120"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace gorvale

namespace gorvale {
namespace {

TEST(CliExport, TerragenAndVistaProExportsOpenAgain) {
    test::ScratchDir dir;
    const std::string dem = std::string(GORVALE_SOURCE_DIR) + "/examples/n43.dem";
    const std::string ter = (dir / "n43.ter").string();
    CommandResult r = runCli("export --format terragen " + dem + " " + ter);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    r = runCli("info " + ter + " --json");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("\"rows\":"), std::string::npos) << r.out;

    const std::string txt = (dir / "n43.txt").string();
    r = runCli("export --format vistapro --scale 2 " + dem + " " + txt);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    r = runCli("info " + txt + " --type 5 --json");
    ASSERT_EQ(r.exitCode, 0) << r.out;
}

TEST(CliExport, RefusesBadOptionsAndUnwritableTargets) {
    const std::string dem = std::string(GORVALE_SOURCE_DIR) + "/examples/n43.dem";
    EXPECT_EQ(runCli("export " + dem + " /tmp/x.ter").exitCode, 2);
    EXPECT_EQ(runCli("export --format png " + dem + " /tmp/x.ter").exitCode, 2);
    EXPECT_EQ(runCli("export --format terragen --scale 0 " + dem + " /tmp/x.ter").exitCode, 2);
    EXPECT_EQ(runCli("export --format vistapro --square-avg " + dem + " /tmp/x.txt").exitCode, 2);
    EXPECT_EQ(runCli("info " + dem + " --type 14").exitCode, 2);
    const CommandResult r = runCli("export --format terragen " + dem + " /nonexistent/dir/x.ter");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("/nonexistent/dir/x.ter"), std::string::npos) << r.out;
}

TEST(CliInfo, ReaderQuestionsAreAnsweredFromOptions) {
    test::ScratchDir dir;
    std::filesystem::copy_file(test::sample("raw16/int16.raw"), dir / "int16.bin");
    const std::string bin = (dir / "int16.bin").string();
    CommandResult r = runCli("info " + bin);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("--grid-width"), std::string::npos) << r.out;
    r = runCli("info " + bin + " --grid-width 20 --json");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(runCli("info " + bin + " --grid-width x").exitCode, 2);
    r = runCli("info " + test::sample("dted/n43.dt0").string() + " --grid-width 121 --json");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("\"elevationRange\":385"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace gorvale
