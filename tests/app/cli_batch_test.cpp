// gorvale-cli as a batch user meets it: clear failures, warnings about the
// project file, paths taken from the project's folder, the plan and
// progress, and the usual conventions of command-line tools.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace gorvale {
namespace {

namespace fs = std::filesystem;
using test::CommandResult;

const std::string kGzipBytes("\x1f\x8b\x08\x00\x00\x00\x00\x00", 8);

// A project for the shipped sample whose outputs go into dir.
std::string sampleProject(const test::ScratchDir& dir, const std::string& extra = "") {
    const std::string project = (dir / "job.gvl").string();
    const CommandResult r = test::runCli("project new " + project + " --set DEMFile=" + test::examplePath("n43.dem") +
                                         " --set RWXFile=" + (dir / "models" / "z").string() +
                                         " --set PropFile=" + (dir / "prop.txt").string() +
                                         " --set ZipIt=false --set Scaling=15 " + extra);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    return project;
}

// Every bad input: the message names what and why, with the exit code.
TEST(CliBatch, BadInputsGiveTheirReasonAndExitCode) {
    test::ScratchDir dir;
    test::writeFileBytes(dir / "empty.dem", "");
    test::writeFileBytes(dir / "text.dem", "just some words\nand another line\n");
    test::writeFileBytes(dir / "crater.btz", kGzipBytes + "rest");
    test::writeFileBytes(dir / "x.zip.dem", std::string("PK\x03\x04", 4) + "rest");
    test::writeFileBytes(dir / "8821DDOM.DDF", "module");
    test::writeFileBytes(dir / "8821CATD.DDF", "catalog");
    test::writeFileBytes(dir / "garbage.gvl", "no section here\njust=lines\n");
    const std::string d = dir.path().string();
    const std::string project = sampleProject(dir);
    struct Case {
        std::string command;
        std::string fragment;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {"info " + d + "/nosuch.dem", "error: Can't open " + d + "/nosuch.dem: No such file or directory", 1},
        {"info " + d, "error: Can't open " + d + ": Is a directory", 1},
        {"info " + d + "/empty.dem", d + "/empty.dem is empty", 1},
        {"info " + d + "/text.dem", d + "/text.dem is not a USGS DEM", 1},
        {"info " + d + "/crater.btz", "crater.btz is compressed (gzip)", 1},
        {"info " + d + "/x.zip.dem", "is compressed (zip)", 1},
        {"info " + d + "/8821DDOM.DDF", "open its catalog module (...CATD.DDF): " + d + "/8821CATD.DDF", 1},
        {"generate " + test::examplePath("n43.dem"), "n43.dem is not a project file", 1},
        {"generate " + d + "/garbage.gvl", "garbage.gvl is not a project file", 1},
        {"generate " + d + "/none.gvl", "cannot read the project file " + d + "/none.gvl: No such file", 1},
        {"project show " + d + "/none.gvl", "No such file or directory", 1},
        {"generate " + project + " --set DEMFile=" + d + "/empty.dem", "empty.dem is empty", 1},
        {"info x.dem --type nosuch", "--type needs a file type from 1 to 13 or its name", 2},
        {"info x.dem --set ZipIt=maybe", "takes true or false (or yes/no, on/off, 1/0)", 2},
        {"info x.dem --set Scaling=3 --set WorldParameters.Scaling=4", "WorldParameters.Scaling given twice", 2},
        {"generate " + project + " --progress=fast", "--progress needs none, line or bar", 2},
        {"info x.dem --type 3 --type 4", "option --type given twice", 2},
        // A password given twice is named, never shown.
        {"info x.dem --set FtpPassword=a1 --set FtpPassword=b2", "FtpPassword=********, FtpPassword=********)", 2},
        {"frobnicate", "unknown command \"frobnicate\"", 2},
    };
    for (const Case& c : cases) {
        const CommandResult r = test::runCli(c.command);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.command << "\n" << r.out;
        EXPECT_NE(r.out.find(c.fragment), std::string::npos) << c.command << "\n" << r.out;
        EXPECT_EQ(r.out.find("error: Error"), std::string::npos) << c.command << "\n" << r.out;
    }
    // Nothing was written for the project whose elevation file failed.
    EXPECT_FALSE(fs::exists(dir / "prop.txt"));
}

TEST(CliBatch, ProjectValuesThatDoNotReadAreWarnedWithFileAndLine) {
    test::ScratchDir dir;
    const std::string project = (dir / "p.gvl").string();
    test::writeFileBytes(project,
                         "[WorldParameters]\r\nScaling=banana\r\nObjectSize=-5\r\nthis is garbage\r\n"
                         "Scaling=4\r\n[RWXOptions]\r\nZipIt=maybe\r\nNoSuchKey=1\r\n");
    const CommandResult r = test::runCli("project show " + project);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    for (const std::string& w : {
             project + ":2: Scaling=banana: not a whole number; keeps Scaling=0",
             project + ":3: ObjectSize=-5: outside 0 to 11; keeps ObjectSize=0",
             project + ":4: \"this is garbage\": not a Key=Value line; ignored",
             project + ":5: Scaling=4: given again in [WorldParameters]; the first is used",
             project + ":7: ZipIt=maybe: not true or false; read as false",
             project + ":8: NoSuchKey=1: no such key in [RWXOptions]; ignored",
         })
        EXPECT_NE(r.out.find("warning: " + w), std::string::npos) << w << "\n" << r.out;
    // Reading stays as it was: the values that did not read changed nothing.
    EXPECT_NE(r.out.find("\nScaling=0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nZipIt=false\n"), std::string::npos) << r.out;
}

// A copy of the examples folder runs from anywhere: its project names its
// files relative to itself; --set paths stay relative to the current folder.
TEST(CliBatch, ProjectPathsAreTakenFromTheProjectsFolder) {
    test::ScratchDir dir;
    fs::copy(fs::path(test::examplePath("")), dir / "copy", fs::copy_options::recursive);
    fs::remove_all(dir / "copy" / "out");
    CommandResult r = test::runCli("generate copy/n43.gvl --set Scaling=31 --set ZipIt=false", dir.path().string());
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(fs::exists(dir / "copy" / "out" / "n43" / "prop.txt"));
    EXPECT_FALSE(fs::exists(dir / "out"));
    r = test::runCli("generate n43.gvl --set Scaling=31 --set ZipIt=false --set PropFile=here.txt",
                     (dir / "copy" / "out").string() + "/..");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(fs::exists(dir / "copy" / "here.txt"));
    // info reads a project's elevation file as generate does.
    r = test::runCli("info copy/n43.gvl --json", dir.path().string());
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("\"format\":\"USGS DEM\""), std::string::npos) << r.out;
}

// A model that cannot be written stops the run at once; the propdump keeps
// what it holds and nothing lands in the current folder.
TEST(CliBatch, UnwritableModelsStopAtTheFirstAndLeaveTheCurrentFolderAlone) {
    test::ScratchDir dir;
    const std::string project = sampleProject(dir);
    test::writeFileBytes(dir / "models", "a file where the folder should be");
    fs::create_directory(dir / "cwd");
    const CommandResult r =
        test::runCli("generate " + project + " --set ZipIt=true --progress=none", (dir / "cwd").string());
    EXPECT_EQ(r.exitCode, 1) << r.out;
    const std::string error = "Error occured when creating/reading/uploading file::";
    ASSERT_NE(r.out.find(error), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(error, r.out.find(error) + 1), std::string::npos) << r.out;
    EXPECT_TRUE(fs::is_empty(dir / "cwd"));
    EXPECT_EQ(test::readFileBytes(dir / "prop.txt"), "propdump version 3\r\n");
}

TEST(CliBatch, DryRunPlansAndWritesNothing) {
    test::ScratchDir dir;
    const std::string project = sampleProject(dir, "--set LogEnable=true --set LogFile=" + (dir / "log.txt").string());
    const CommandResult r = test::runCli("generate --dry-run " + project);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    // 120 cells in steps of 16: 7 x 7 objects of 10 m with 17 x 17 vertices.
    EXPECT_NE(r.out.find("Objects:    49 of 10 m, 16 cells and 289 vertices each"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Files:      49 RWX models"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Estimated:  about"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir / "models"));
    EXPECT_FALSE(fs::exists(dir / "prop.txt"));
    EXPECT_FALSE(fs::exists(dir / "log.txt"));
}

TEST(CliBatch, ProgressQuietAndStaleModels) {
    test::ScratchDir dir;
    const std::string project = sampleProject(dir);
    CommandResult r = test::runCli("generate " + project + " --progress=bar");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("100% 49 of 49 tiles"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Objects:    49"), std::string::npos) << r.out;  // the plan comes first

    // A model left from an earlier run with a finer scale is not rewritten by this one.
    test::writeFileBytes(dir / "models" / "z99e_99n.rwx", "old");
    r = test::runCli("generate " + project + " --progress=none");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.find("tiles,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 model file(s) such as " + (dir / "models" / "z99e_99n.rwx").string()), std::string::npos)
        << r.out;

    r = test::runCli("-q generate " + project);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "");
}

TEST(CliBatch, ConventionsOfCommandLineTools) {
    test::ScratchDir dir;
    CommandResult r = test::runCli("--version");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("gorvale-cli ", 0), 0u) << r.out;
    for (const char* help : {"info --help", "info -h", "-h info"}) {
        r = test::runCli(help);
        EXPECT_EQ(r.exitCode, 0) << help;
        EXPECT_NE(r.out.find("info FILE"), std::string::npos) << help << r.out;
        EXPECT_EQ(r.out.find("generate PROJECT"), std::string::npos) << help << r.out;
    }
    // Options before the command; flags spelled as other tools spell them.
    const std::string project = (dir / "p.gvl").string();
    ASSERT_EQ(test::runCli("--set ZipIt=no --set GenerateTrees=on project new " + project).exitCode, 0);
    r = test::runCli("project show " + project);
    EXPECT_NE(r.out.find("\nZipIt=false\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nGenerateTrees=true\n"), std::string::npos) << r.out;

    r = test::runCli("formats");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("10  dted      *.dt0 *.max *.min *.avg"), std::string::npos) << r.out;
    r = test::runCli("info " + test::examplePath("n43.dem") + " --type usgs");
    EXPECT_EQ(r.exitCode, 0) << r.out;

    for (const char* keys : {"keys", "project keys"}) {
        r = test::runCli(keys);
        EXPECT_EQ(r.exitCode, 0) << keys;
        EXPECT_NE(r.out.find("WorldParameters.ObjectSize"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("3 = 40 m"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("TextureZones.Lowest<0-31>"), std::string::npos) << r.out;
    }
}

TEST(CliBatch, InfoNamesTheFormatAndCountsVoidCells) {
    test::ScratchDir dir;
    CommandResult r = test::runCli("info " + test::examplePath("n43.dem") + " --json");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    for (const char* fragment : {"\"format\":\"USGS DEM\"", "\"size\":[122,122]", "\"lastRow\":121",
                                 "\"boundingBox\":{\"fromSouth\":0,", "\"nsSizeMetres\":1200", "\"voidCells\":0"})
        EXPECT_NE(r.out.find(fragment), std::string::npos) << fragment << "\n" << r.out;

    test::writeFileBytes(dir / "void.asc",
                         "ncols 3\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 30\n"
                         "1 2 3\n4 -32767 6\n-32000 -32767 9\n");
    r = test::runCli("info " + (dir / "void.asc").string() + " --json");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("\"voidCells\":3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"voidValues\":[-32767,-32000]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("3 cells hold -32767 or -32000, likely no-data"), std::string::npos) << r.out;
    r = test::runCli("info " + (dir / "void.asc").string());
    EXPECT_NE(r.out.find("Format:              ARC/INFO ASCII grid"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace gorvale
