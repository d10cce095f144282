// End to end: gorvale-cli project new + generate, checked against what was written.
#include <gtest/gtest.h>

#include <zip.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/test_support.h"

namespace gorvale {
namespace {

using test::CommandResult;

CommandResult run(const std::string& arguments) { return test::runCli(arguments); }

std::string example(const std::string& name) { return test::examplePath(name); }

struct PropLine {
    std::vector<long> numbers;
    std::string texts;
};

// Splits a propdump into its object lines; every line must end in CR LF.
std::vector<PropLine> readPropdump(const std::string& bytes, std::string& header) {
    std::vector<PropLine> lines;
    std::size_t start = 0;
    bool first = true;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "line without CR LF at byte " << start;
        if (end == std::string::npos) break;
        const std::string line = bytes.substr(start, end - start);
        EXPECT_EQ(line.find('\n'), std::string::npos);
        start = end + 2;
        if (first) {
            header = line;
            first = false;
            continue;
        }
        std::istringstream in(line);
        PropLine p;
        for (int i = 0; i < 11; ++i) {
            long v;
            in >> v;
            p.numbers.push_back(v);
        }
        in.get();
        std::getline(in, p.texts, '\0');
        lines.push_back(p);
    }
    return lines;
}

std::string newProject(const test::ScratchDir& dir, const std::string& dem, const std::string& extra) {
    const std::string project = (dir / "job.gvl").string();
    const CommandResult r = run("project new " + project + " --set DEMFile=" + dem + " --set RWXFile=" +
                                (dir / "models" / "z").string() + " --set PropFile=" +
                                (dir / "prop.txt").string() + " --set LogFile=" + (dir / "history.log").string() +
                                " " + extra);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    return project;
}

// The model names of a propdump must match the files written, one for one.
void expectModelsMatchPropdump(const test::ScratchDir& dir, bool zipped) {
    std::string header;
    const std::vector<PropLine> lines = readPropdump(test::readFileBytes(dir / "prop.txt"), header);
    EXPECT_EQ(header, "propdump version 3");
    ASSERT_FALSE(lines.empty());
    std::set<std::string> names;
    for (const PropLine& l : lines) {
        ASSERT_EQ(l.numbers.size(), 11u);
        const std::string name = l.texts.substr(0, static_cast<std::size_t>(l.numbers[8]));
        EXPECT_EQ(l.texts.size(), static_cast<std::size_t>(l.numbers[8] + l.numbers[9] + l.numbers[10]));
        if (name == "street1.rwx") continue;  // the teleport is a platform model
        names.insert(name);
        const std::string stem = name.substr(0, name.size() - 4);
        const auto file = dir / "models" / (zipped ? stem + ".zip" : name);
        EXPECT_TRUE(std::filesystem::exists(file)) << file;
    }
    std::set<std::string> written;
    for (const auto& e : std::filesystem::directory_iterator(dir / "models")) {
        std::string f = e.path().filename().string();
        if (zipped) f = f.substr(0, f.size() - 4) + ".rwx";
        written.insert(f);
    }
    EXPECT_EQ(names, written);
}

TEST(CliGenerate, ConvertsTheShippedExampleIntoModelsAndAPropdump) {
    test::ScratchDir dir;
    const std::string project =
        newProject(dir, example("n43.dem"), "--set Scaling=7 --set ZipIt=false --set LogEnable=true");
    const CommandResult r = run("generate " + project);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    expectModelsMatchPropdump(dir, false);
    // 120 x 120 cells in steps of 8: 15 x 15 tiles.
    std::string header;
    EXPECT_EQ(readPropdump(test::readFileBytes(dir / "prop.txt"), header).size(), 225u);
    EXPECT_NE(r.out.find("Demfile read OK"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Minimum elevation point"), std::string::npos) << r.out;
}

TEST(CliGenerate, ZipsEveryModelIntoAnArchiveOfOneEntry) {
    test::ScratchDir dir;
    const std::string project = newProject(dir, example("n43.dem"), "--set Scaling=15");
    const CommandResult r = run("generate " + project + " --set ZipPassword=secret");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    expectModelsMatchPropdump(dir, true);
    for (const auto& e : std::filesystem::directory_iterator(dir / "models")) {
        int err = 0;
        zip_t* z = zip_open(e.path().c_str(), ZIP_RDONLY, &err);
        ASSERT_NE(z, nullptr) << e.path();
        EXPECT_EQ(zip_get_num_entries(z, 0), 1);
        zip_stat_t st;
        zip_stat_init(&st);
        ASSERT_EQ(zip_stat_index(z, 0, 0, &st), 0);
        EXPECT_EQ(st.encryption_method, ZIP_EM_TRAD_PKWARE);
        zip_close(z);
    }
}

TEST(CliGenerate, ReadsASampleFromTheSharedTestData) {
    test::ScratchDir dir;
    const std::string project = newProject(dir, test::sample("gdal-written/8821_usgsdem.dem").string(),
                                           "--set Scaling=15 --set ZipIt=false --set CreateBumpAtGZ=true");
    const CommandResult r = run("generate " + project);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    expectModelsMatchPropdump(dir, false);
    std::string header;
    const auto lines = readPropdump(test::readFileBytes(dir / "prop.txt"), header);
    // The teleport at ground zero: its action length field matches the action text.
    int teleports = 0;
    for (const PropLine& l : lines) {
        if (l.texts.rfind("street1.rwx", 0) != 0) continue;
        ++teleports;
        EXPECT_EQ(l.numbers[8], 11);
        EXPECT_EQ(l.texts.substr(11, 16), "bump warp +0 +0 ");
        EXPECT_EQ(static_cast<std::size_t>(l.numbers[10]), l.texts.size() - 11);
    }
    EXPECT_EQ(teleports, 1);
}

TEST(CliGenerate, UnwritableModelFolderFailsWithTheModelPath) {
    test::ScratchDir dir;
    const std::string project = newProject(dir, example("n43.dem"), "--set Scaling=15 --set ZipIt=false");
    // A file where the model folder should be: no model can be created there, even by root.
    test::writeFileBytes(dir / "models", "not a folder");
    const CommandResult r = run("generate " + project);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("Error occured when creating/reading/uploading file:: " + (dir / "models").string()),
              std::string::npos)
        << r.out;
    std::string header;
    EXPECT_TRUE(readPropdump(test::readFileBytes(dir / "prop.txt"), header).empty());
    EXPECT_EQ(header, "propdump version 3");
}

// Ctrl-C, SIGTERM and SIGHUP all stop at the next tile: every propdump line
// is whole and names a model on disk, and the exit code tells the signal.
TEST(CliGenerate, StopSignalsEndAtTheNextTileWithAValidPropdump) {
    for (const auto& [sig, expected] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}, std::pair{SIGHUP, 129}}) {
        test::ScratchDir dir;
        const std::string project = newProject(dir, example("n43.dem"), "--set ZipIt=false");
        const std::string log = (dir / "out.txt").string();
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            freopen(log.c_str(), "w", stdout);
            freopen(log.c_str(), "a", stderr);
            execl(GORVALE_CLI_PATH, GORVALE_CLI_PATH, "generate", project.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // Wait until some models exist, then send the signal.
        for (int i = 0; i < 400; ++i) {
            std::error_code ec;
            if (std::filesystem::exists(dir / "models", ec) &&
                std::distance(std::filesystem::directory_iterator(dir / "models"), {}) > 20)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        kill(pid, sig);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status)) << sig;
        // 14400 tiles take far longer than the wait above.
        EXPECT_EQ(WEXITSTATUS(status), expected) << sig << "\n" << test::readFileBytes(log);
        std::string header;
        const auto lines = readPropdump(test::readFileBytes(dir / "prop.txt"), header);
        EXPECT_EQ(header, "propdump version 3");
        EXPECT_LT(lines.size(), 14400u);
        expectModelsMatchPropdump(dir, false);
    }
}

// The DEM reader and the run both find the log unwritable: the reader says so
// while the project loads, the run goes on without a log, and the job counts
// as done.
TEST(CliGenerate, UnwritableLogStillConvertsAndWarns) {
    test::ScratchDir dir;
    test::writeFileBytes(dir / "blocked", "a file, not a folder");
    const std::string project =
        newProject(dir, example("n43.dem"),
                   "--set Scaling=15 --set ZipIt=false --set LogEnable=true --set RelaxToOtherApps=false");
    const std::string log = (dir / "blocked" / "run.log").string();
    const CommandResult r = run("generate " + project + " --set LogFile=" + log);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("cannot write the log file " + log + "; the run went on without a log"), std::string::npos)
        << r.out;
    expectModelsMatchPropdump(dir, false);
}

TEST(CliGenerate, SingleModelIsNamedAfterThePrefixAndNoRwxWritesNone) {
    test::ScratchDir dir;
    const std::string project = newProject(
        dir, example("n43.dem"), "--set Scaling=15 --set ZipIt=false --set SingleObjectGround=true --set RelaxToOtherApps=false");
    CommandResult r = run("generate " + project);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("Model:    " + (dir / "models" / "z").string() + ".rwx\n"), std::string::npos) << r.out;
    // The head names the model as DemName shows it: the DEM's 144-character
    // name field with its leading blanks and the text after the file name,
    // trailing blanks removed.
    const std::string name =
        std::string(25, ' ') + "n43_usgsdem.dem" + std::string(70, ' ') + "-80 0 0.0000  43 0 0.0000";
    const std::string model = test::readFileBytes(dir / "models" / "z.rwx");
    EXPECT_NE(model.find("\r\n# " + name + "\r\nModelBegin"), std::string::npos) << model.substr(0, 300);

    std::filesystem::remove_all(dir / "models");
    r = run("generate " + project + " --set NoRWX=true");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.find("Model"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir / "models" / "z.rwx"));
}

// Objects of 40 m (ObjectSize 3) stand 4000 cm apart, also when the size is
// an override of a project saved with 10 m objects.
TEST(CliGenerate, ObjectSizeOverrideMovesTheObjectsApart) {
    test::ScratchDir dir;
    const std::string project = newProject(dir, example("n43.dem"),
                                           "--set ObjectSize=0 --set Scaling=31 --set ZipIt=false");
    const CommandResult r = run("generate " + project + " --set ObjectSize=3");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    std::string header;
    const std::vector<PropLine> lines = readPropdump(test::readFileBytes(dir / "prop.txt"), header);
    // 96 cells in steps of 32: 3 x 3 objects at -1, 0 and 1 object sizes from the middle.
    ASSERT_EQ(lines.size(), 9u);
    std::set<long> xs, zs;
    for (const PropLine& l : lines) {
        xs.insert(l.numbers[2]);
        zs.insert(l.numbers[4]);
    }
    EXPECT_EQ(xs, (std::set<long>{-4000, 0, 4000}));
    EXPECT_EQ(zs, (std::set<long>{-4000, 0, 4000}));
}

TEST(CliProject, NewThenShowRoundTripsOverrides) {
    test::ScratchDir dir;
    const std::string project = (dir / "p.gvl").string();
    ASSERT_EQ(run("project new " + project + " --set TextureZones.Lowest1=100 --set ZipIt=false").exitCode, 0);
    const CommandResult r = run("project show " + project);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("ZipIt=false"), std::string::npos);
    const std::size_t textures = r.out.find("[TextureZones]");
    ASSERT_NE(textures, std::string::npos);
    EXPECT_NE(r.out.find("Lowest1=100", textures), std::string::npos);
    EXPECT_EQ(r.out.find("Lowest1=100"), r.out.find("Lowest1=100", textures));
    EXPECT_EQ(run("project show " + (dir / "none.gvl").string()).exitCode, 1);
}

}  // namespace
}  // namespace gorvale
