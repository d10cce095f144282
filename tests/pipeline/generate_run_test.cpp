// The Generate run from the button press to the log page, with a recording
// model writer standing in for the RWX writer.
#include "pipeline/generate_run.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "import/grid_operations.h"
#include "base/text_convert.h"
#include "tests/support/test_support.h"

namespace gorvale {
namespace {

namespace fs = std::filesystem;
using test::readFileBytes;
using test::RecordingUserInterface;
using test::ScratchDir;
using test::writeFileBytes;

// Keeps the whole history of the status bar, not only its last text.
class StatusHistoryUi : public RecordingUserInterface {
public:
    void setStatus(int panel, const std::string& text) override {
        RecordingUserInterface::setStatus(panel, text);
        if (panel == 0) statusHistory.push_back(text);
    }
    std::vector<std::string> statusHistory;
};

// Records every call and, like the real writer, handles window events once
// per model and logs "Writing ..." and "OK" while logging is on.
class RecordingTileWriter : public TileModelWriter {
public:
    RecordingTileWriter(const ConversionSettings& s, UserInterface& ui) : settings_(s), ui_(ui) {}

    int WriteGroundObject(const std::string& path, int n, int, int, std::int32_t base, float, double, double,
                          double, int) override {
        paths.push_back(path);
        lastBase_ = base;
        (void)n;
        if (log && settings_.LogEnable) {
            std::fputs(format("Writing ElevationGrid Verteces to %s...\r\n", path.c_str()).c_str(), log);
            std::fputs("OK\r\n", log);
        }
        return 0;
    }
    int MaxVertexHeight() const override { return 0; }
    std::int32_t BaseElevationUsed() const override { return lastBase_; }
    void BeginSingleModel() override { ++begun; }
    void EndSingleModel() override { ++ended; }

    std::FILE* log = nullptr;
    std::vector<std::string> paths;
    int begun = 0;
    int ended = 0;

private:
    const ConversionSettings& settings_;
    UserInterface& ui_;
    std::int32_t lastBase_ = 0;
};

// A 7 x 7 grid read as a reader would leave it: the rectangle covers rows
// and columns 0..4, so with two cells per object the run writes 2 x 2 tiles.
class GenerateRunTest : public ::testing::Test {
protected:
    GenerateRunTest() : ws(ui), writer(ws.settings, ui), run(ws) {}

    void SetUp() override {
        ConversionSettings& s = ws.settings;
        s.Scaling = 1;  // two cells per object
        s.ObjectSize = 0;
        s.VerticalScale = "0.5";
        s.DEMFile = (dir / "model.dem").string();
        writeFileBytes(s.DEMFile, "elevations");
        s.RWXFile = (dir / "z").string();
        s.PropFile = (dir / "prop.txt").string();
        s.LogFile = (dir / "run.log").string();
        s.LogEnable = true;
        s.RelaxToOtherApps = false;
        ASSERT_TRUE(ws.grid.allocate(7, 7));
        for (int r = 0; r < 7; ++r)
            for (int c = 0; c < 7; ++c) ws.grid.cell(r, c) = 100 + 10 * r + c;
        ws.grid.LastRow = ws.grid.LastCol = 6;
        FinishGridLoad(ws, 100, 166);

        services.writer = &writer;
        services.heights = &heights;
        services.setLog = [this](std::FILE* f) { writer.log = f; };
        services.clock = [] { return std::int32_t{1000}; };
    }

    std::string log() const { return readFileBytes(ws.settings.LogFile); }
    std::string propdump() const { return readFileBytes(ws.settings.PropFile); }
    std::string logPage() const {
        std::string all;
        for (const std::string& line : ui.logPage) all += line;
        return all;
    }
    static int countOf(const std::string& text, const std::string& what) {
        int n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }

    ScratchDir dir;
    StatusHistoryUi ui;
    Workspace ws;
    TileHeights heights{};
    RecordingTileWriter writer;
    GenerateServices services;
    GenerateRun run;
};

TEST_F(GenerateRunTest, CompleteRunWritesEveryTileAndThePropdump) {
    const GenerateOutcome out = run.Generate(services);
    EXPECT_TRUE(out.started);
    EXPECT_EQ(out.runResult, kRunCompleted);
    EXPECT_EQ(out.layout.End, LayoutEnd::Completed);
    EXPECT_EQ(out.layout.TilesDone, 4);
    EXPECT_EQ(writer.paths.size(), 4u);
    const std::string prop = propdump();
    EXPECT_EQ(prop.rfind("propdump version 3\r\n", 0), 0u) << prop;
    EXPECT_EQ(countOf(prop, "\r\n"), 5);
    EXPECT_TRUE(ui.fileErrors.empty());
    EXPECT_FALSE(ui.busy);  // the cursor is restored
}

TEST_F(GenerateRunTest, StatusShowsWorkingFirstAndDoneLast) {
    run.Generate(services);
    ASSERT_GE(ui.statusHistory.size(), 2u);
    EXPECT_EQ(ui.statusHistory.front(), "Working....");
    EXPECT_EQ(ui.statusHistory.back(), "Done!");
    // Each model path is shown before the model is written.
    EXPECT_EQ(ui.statusHistory.size(), 2u + writer.paths.size());
    EXPECT_EQ(ui.statusHistory[1], writer.paths[0]);
    EXPECT_EQ(ui.title, "Gorvale  ->" + writer.paths.back());
}

TEST_F(GenerateRunTest, LogOpensWithTheBannerAndEndsWithTheReturnCode) {
    run.Generate(services);
    const std::string text = log();
    const std::string rule = "\t--------------------------------------------";
    ASSERT_EQ(text.rfind(rule, 0), 0u) << text;
    // The rule, four tab-indented credit lines, the rule again.
    std::size_t at = 0;
    for (int line = 0; line < 6; ++line) {
        ASSERT_EQ(text[at], '\t') << "line " << line;
        at = text.find('\n', at) + 1;
    }
    EXPECT_EQ(text.compare(at - rule.size() - 2, rule.size(), rule), 0) << text;
    EXPECT_EQ(text.compare(at, 17, "Demfile read OK\r\n"), 0) << text.substr(at);
    EXPECT_NE(text.find("Minimum elevation point: NS="), std::string::npos);
    EXPECT_NE(text.find("Maximum elevation point: NS="), std::string::npos);
    const std::string tail = "return code=0\r\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(GenerateRunTest, EveryLogLineEndsInCrLf) {
    run.Generate(services);
    const std::string text = log();
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at byte " << i;
}

TEST_F(GenerateRunTest, LogPageShowsWritingLinesOnlyWithDetailedLog) {
    ws.settings.DetailedLog = false;
    run.Generate(services);
    EXPECT_EQ(countOf(logPage(), "Writing ElevationGrid"), 0) << logPage();
    EXPECT_EQ(countOf(logPage(), "OK\n"), 4 + 1);  // four models and "Demfile read OK"
    EXPECT_NE(logPage().find("return code=0\n"), std::string::npos);

    ui.logPage.clear();
    ws.settings.DetailedLog = true;
    run.Generate(services);
    EXPECT_EQ(countOf(logPage(), "Writing ElevationGrid Verteces to "), 4) << logPage();
}

TEST_F(GenerateRunTest, LogPageLinesEndInALineFeedOnly) {
    run.Generate(services);
    ASSERT_FALSE(ui.logPage.empty());
    for (const std::string& line : ui.logPage) {
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\n') << line;
        EXPECT_EQ(line.find('\r'), std::string::npos) << line;
    }
}

TEST_F(GenerateRunTest, OldLogIsShownAgainWhenLoggingIsOffAndItsUnendedLastLineIsNot) {
    ws.settings.LogEnable = false;
    writeFileBytes(ws.settings.LogFile, "first line\nWriting hidden\nsecond line\r\nno line end");
    run.Generate(services);
    ASSERT_EQ(ui.logPage.size(), 2u);
    EXPECT_EQ(ui.logPage[0], "first line\n");
    EXPECT_EQ(ui.logPage[1], "second line\n");
    // Not rewritten by a run without logging.
    EXPECT_EQ(log(), "first line\nWriting hidden\nsecond line\r\nno line end");
    run.Generate(services);
    EXPECT_EQ(ui.logPage.size(), 4u);  // every run appends the old lines again
}

TEST_F(GenerateRunTest, UnopenableLogSwitchesLoggingOffAndTheRunGoesOn) {
    ws.settings.LogFile = (dir / "missing" / "run.log").string();
    const GenerateOutcome out = run.Generate(services);
    EXPECT_FALSE(ws.settings.LogEnable);
    EXPECT_EQ(out.runResult, kRunCompleted);
    EXPECT_EQ(writer.paths.size(), 4u);
    EXPECT_FALSE(fs::exists(ws.settings.LogFile));
    EXPECT_TRUE(ui.logPage.empty());
}

TEST_F(GenerateRunTest, UnopenableElevationFileEndsTheRunBeforeAnythingIsWritten) {
    ws.settings.DEMFile = (dir / "gone.dem").string();
    const GenerateOutcome out = run.Generate(services);
    EXPECT_EQ(out.runResult, kRunCannotOpenDem);
    ASSERT_EQ(ui.fileErrors.size(), 1u);
    EXPECT_EQ(ui.fileErrors[0], ws.settings.DEMFile);
    EXPECT_NE(log().find("Error: can't open " + ws.settings.DEMFile + "\r\n"), std::string::npos) << log();
    EXPECT_NE(log().find("return code=1\r\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(ws.settings.PropFile));
    EXPECT_TRUE(writer.paths.empty());
}

TEST_F(GenerateRunTest, ElevationFileRemovedAfterLoadingIsReportedWithItsPath) {
    writeFileBytes(ws.settings.PropFile, "old list");
    fs::remove(ws.settings.DEMFile);
    EXPECT_EQ(run.Generate(services).runResult, kRunCannotOpenDem);
    ASSERT_EQ(ui.fileErrors.size(), 1u);
    EXPECT_EQ(ui.fileErrors[0], ws.settings.DEMFile);
    EXPECT_EQ(propdump(), "old list");  // not truncated
    EXPECT_TRUE(writer.paths.empty());
}

TEST_F(GenerateRunTest, StopMidRunLeavesTheTilesDoneAndLogsTheExtremePoints) {
    ui.stopAfterEvents = 3;  // the stop arrives while the third model is written
    const GenerateOutcome out = run.Generate(services);
    EXPECT_EQ(out.runResult, kRunCompleted);
    EXPECT_EQ(out.layout.End, LayoutEnd::Stopped);
    EXPECT_EQ(out.layout.TilesDone, 3);
    EXPECT_EQ(writer.paths.size(), 3u);
    const std::string prop = propdump();
    EXPECT_EQ(countOf(prop, "\r\n"), 1 + 3) << prop;
    EXPECT_EQ(prop.back(), '\n');
    EXPECT_EQ(ui.statusHistory.back(), "Done!");
    const std::string text = log();
    EXPECT_NE(text.find("Minimum elevation point: NS="), std::string::npos);
    EXPECT_NE(text.find("Maximum elevation point: NS="), std::string::npos);
    EXPECT_NE(text.find("return code=0"), std::string::npos);
}

TEST_F(GenerateRunTest, StopPressedBeforeTheRunIsClearedByTheRun) {
    run.state().StopRequested = true;
    EXPECT_EQ(run.Generate(services).layout.TilesDone, 4);
}

TEST_F(GenerateRunTest, NativeTerrainLeavesThePropdumpAloneAndWritesNoModel) {
    ws.settings.AW_Terrain = true;
    writeFileBytes(ws.settings.PropFile, "old list");
    int terrainRuns = 0;
    services.generateTerrain = [&](Workspace&, RunState& state) {
        ++terrainRuns;
        EXPECT_FALSE(state.PropdumpStream);
    };
    const GenerateOutcome out = run.Generate(services);
    EXPECT_EQ(out.runResult, kRunCompleted);
    EXPECT_EQ(terrainRuns, 1);
    EXPECT_TRUE(writer.paths.empty());
    EXPECT_EQ(writer.begun + writer.ended, 0);
    EXPECT_EQ(propdump(), "old list");
}

TEST_F(GenerateRunTest, NativeTerrainWithoutItsGeneratorIsRefusedBeforeTheLogIsTouched) {
    ws.settings.AW_Terrain = true;
    writeFileBytes(ws.settings.LogFile, "old log\n");
    const GenerateOutcome out = run.Generate(services);
    EXPECT_FALSE(out.started);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("AW_Terrain"), std::string::npos);
    EXPECT_EQ(log(), "old log\n");
    EXPECT_FALSE(fs::exists(ws.settings.PropFile));
}

// Without tree placement a tree run would quietly leave every tree out.
TEST_F(GenerateRunTest, TreesWithoutTreePlacementAreRefused) {
    ws.settings.GenerateTrees = true;
    const GenerateOutcome out = run.Generate(services);
    EXPECT_FALSE(out.started);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("GenerateTrees"), std::string::npos);
    EXPECT_TRUE(writer.paths.empty());
    EXPECT_FALSE(fs::exists(ws.settings.PropFile));

    TreeZoneHooks trees;
    services.trees = &trees;
    EXPECT_EQ(run.Generate(services).runResult, kRunCompleted);
}

TEST_F(GenerateRunTest, UncreatablePropdumpIsReportedAndNothingIsWritten) {
    ws.settings.PropFile = (dir / "missing" / "prop.txt").string();
    const GenerateOutcome out = run.Generate(services);
    EXPECT_EQ(out.runResult, kRunCannotCreateProp);
    ASSERT_EQ(ui.fileErrors.size(), 1u);
    EXPECT_EQ(ui.fileErrors[0], ws.settings.PropFile + " (" + std::strerror(ENOENT) + ")");
    EXPECT_TRUE(writer.paths.empty());
    EXPECT_FALSE(fs::exists(ws.settings.PropFile));
    EXPECT_NE(log().find("return code=2"), std::string::npos);
}

TEST_F(GenerateRunTest, PropdumpLostAtItsCloseFailsTheRun) {
    // Four short lines stay in the stream's buffer: the full device refuses
    // them only when the propdump is closed.
    fs::create_symlink("/dev/full", ws.settings.PropFile);
    const GenerateOutcome out = run.Generate(services);
    EXPECT_EQ(out.runResult, kRunWriteFailed);
    EXPECT_EQ(out.layout.TilesDone, 4);
    ASSERT_EQ(ui.fileErrors.size(), 1u);
    EXPECT_EQ(ui.fileErrors[0], ws.settings.PropFile + " (" + std::strerror(ENOSPC) + ")");
    EXPECT_NE(log().find("return code=4"), std::string::npos);
}

TEST_F(GenerateRunTest, NoPropfileWritesModelsWithoutAnyList) {
    ws.settings.NoPropfile = true;
    ws.settings.PropFile = (dir / "missing" / "prop.txt").string();
    const GenerateOutcome out = run.Generate(services);
    EXPECT_EQ(out.runResult, kRunCompleted);
    EXPECT_EQ(writer.paths.size(), 4u);
    EXPECT_TRUE(ui.fileErrors.empty());
    EXPECT_NE(log().find("Minimum elevation point"), std::string::npos);
}

TEST_F(GenerateRunTest, SingleModelIsBegunAndEndedOnceAroundTheTiles) {
    ws.settings.SingleObjectGround = true;
    run.Generate(services);
    EXPECT_EQ(writer.begun, 1);
    EXPECT_EQ(writer.ended, 1);
    EXPECT_EQ(writer.paths.size(), 4u);
    EXPECT_EQ(propdump(), "propdump version 3\r\n");  // the single model has no line of its own
}

TEST_F(GenerateRunTest, NoRwxWritesNoModelEvenAsASingleModel) {
    ws.settings.NoRWX = true;
    ws.settings.SingleObjectGround = true;
    const GenerateOutcome out = run.Generate(services);
    EXPECT_EQ(out.runResult, kRunCompleted);
    EXPECT_EQ(out.layout.TilesDone, 4);
    EXPECT_TRUE(writer.paths.empty());
    EXPECT_EQ(writer.begun, 0);
    EXPECT_EQ(writer.ended, 0);
}

TEST_F(GenerateRunTest, BotCentreIsConvertedToCentimetres) {
    ws.settings.BotCenterW = "12";
    ws.settings.BotCenterWE = 1;  // "E"
    ws.settings.BotCenterN = "7x";
    ws.settings.BotCenterNS = 0;
    ws.settings.PropElevation = "250";
    run.Generate(services);
    EXPECT_EQ(run.state().BotOffsetX, -12000);
    EXPECT_EQ(run.state().BotOffsetZ, 7000);
    EXPECT_EQ(run.state().PropElevationCm, 250);
}

// 99999999 x 1000 does not fit 32 bits: the centre stays at the world's edge.
TEST_F(GenerateRunTest, BotCentreBeyondTheWorldIsHeldAtItsEdge) {
    ws.settings.BotCenterW = "99999999";
    ws.settings.BotCenterWE = 0;
    ws.settings.BotCenterN = "99999999";
    ws.settings.BotCenterNS = 1;  // "S"
    EXPECT_EQ(run.Generate(services).runResult, kRunCompleted);
    EXPECT_EQ(run.state().BotOffsetX, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(run.state().BotOffsetZ, std::numeric_limits<std::int32_t>::min());
}

TEST_F(GenerateRunTest, RefusedValidationStartsNothing) {
    services.validate = [](Workspace&) { return false; };
    const GenerateOutcome out = run.Generate(services);
    EXPECT_FALSE(out.started);
    EXPECT_FALSE(fs::exists(ws.settings.LogFile));
    EXPECT_FALSE(fs::exists(ws.settings.PropFile));
    EXPECT_FALSE(ui.busy);
}

}  // namespace
}  // namespace gorvale
