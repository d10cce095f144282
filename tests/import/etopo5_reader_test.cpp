#include "import/etopo5_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "tests/import/reader_test_support.h"

namespace gorvale::test {
namespace {

const PathReader kReadEtopo5 = streamReader(&ReadEtopo5, "rb");

// Files read one after another with scripted answers to the size dialog;
// the interface answers in order across reads. The dispatch picks this
// reader by the ".bin" extension.
struct EtopoRun : ReaderRun {
    EtopoRun() : ReaderRun(kReadEtopo5, "grid.bin") {}

    int read(const std::filesystem::path& source, const std::vector<std::string>& answers) {
        std::filesystem::copy_file(source, scratchFile(), std::filesystem::copy_options::overwrite_existing);
        return readCopy(scratchFile(), answers);
    }
    int readBytes(const std::string& bytes, const std::vector<std::string>& answers) {
        answer(answers);
        return ReaderRun::readBytes(bytes);
    }
    int readCopy(const std::filesystem::path& path, const std::vector<std::string>& answers) {
        answer(answers);
        return ReaderRun::read(path);
    }
    void answer(const std::vector<std::string>& answers) {
        ui.askAnswers.insert(ui.askAnswers.end(), answers.begin(), answers.end());
    }
};

// raw16/: int16.raw, uint16.raw (the same small values unsigned) and
// int16_rat.bil hold the same 400 16-bit LE samples, the 20 x 20 picture
// (GDAL read int16_rat.bil via its .hdr).
TEST(Etopo5Reader, ReadsRawSamplesAsTwentyByTwentyWithNorthWestAtHighIndices) {
    for (const char* name : {"raw16/int16.raw", "raw16/uint16.raw", "raw16/int16_rat.bil"}) {
        SCOPED_TRACE(name);
        EtopoRun run;
        ASSERT_EQ(run.read(sample(name), {"20"}), 0);
        const ElevationGrid& g = run.ws.grid;
        EXPECT_EQ(g.LastRow, 19);
        EXPECT_EQ(g.LastCol, 19);
        expectTwentySquareCells(g);
        EXPECT_EQ(run.ui.labels[Label::Rows], "20");
        EXPECT_EQ(run.ui.labels[Label::Columns], "20");
        EXPECT_EQ(run.ui.labels[Label::ElevationRange], "181");
        EXPECT_TRUE(run.ui.commands[Command::Generate]);
    }
}

// gdal-written/n43_envi_int16.bin: the DTED cell n43 as raw Int16, 121 wide.
TEST(Etopo5Reader, ReadsGdalWrittenRawGridOfWidth121) {
    EtopoRun run;
    ASSERT_EQ(run.read(sample("gdal-written/n43_envi_int16.bin"), {"121"}), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.LastRow, 120);
    EXPECT_EQ(g.LastCol, 120);
    expectN43Cells(g);
    // The tail snapped the rectangle below the last row and column.
    EXPECT_EQ(run.ws.settings.ToNorth, "119");
    EXPECT_EQ(run.ws.settings.ToEast, "119");
}

TEST(Etopo5SizeDialog, AsksWithItsCaptionPromptAndInitialZero) {
    EtopoRun run;
    ASSERT_EQ(run.readBytes(le16Samples({1, 2, 3, 4, 5, 6}), {"3"}), 0);
    ASSERT_EQ(run.ui.asked.size(), 1u);
    EXPECT_EQ(run.ui.asked[0].caption, "ETOPO Size");
    EXPECT_EQ(run.ui.asked[0].prompt, "Please provide the horizontal size of the grid:");
    EXPECT_EQ(run.ui.asked[0].initial, "0");
}

TEST(Etopo5SizeDialog, RepeatsUntilTheWidthDividesTheSampleCountAndIsNotOne) {
    // 12 bytes: 6 samples. 1 and 4 are refused, 0 counts as 1, text that is
    // not a number keeps the last width (here 1, refused again).
    EtopoRun run;
    ASSERT_EQ(run.readBytes(le16Samples({1, 2, 3, 4, 5, 6}), {"1", "4", "0", "many", "-3", "7", "3"}), 0);
    EXPECT_EQ(run.ui.asked.size(), 7u);
    EXPECT_EQ(run.ws.AskedGridWidth, 3);
    EXPECT_EQ(run.ws.grid.LastRow, 1);
    EXPECT_EQ(run.ws.grid.LastCol, 2);
    // File row 0 (north) is grid row 1, its western value the highest column.
    EXPECT_EQ(run.ws.grid.cell(1, 2), 1);
    EXPECT_EQ(run.ws.grid.cell(1, 0), 3);
    EXPECT_EQ(run.ws.grid.cell(0, 2), 4);
    EXPECT_EQ(run.ws.grid.cell(0, 0), 6);
}

TEST(Etopo5SizeDialog, AcceptsEveryDivisorAboveOne) {
    for (const auto& [answer, rows] : {std::pair{"2", 3}, {"3", 2}, {"6", 1}}) {
        SCOPED_TRACE(answer);
        EtopoRun run;
        ASSERT_EQ(run.readBytes(le16Samples({1, 2, 3, 4, 5, 6}), {answer}), 0);
        EXPECT_EQ(run.ws.grid.LastRow + 1, rows);
        EXPECT_EQ(run.ws.grid.LastCol + 1, 6 / rows);
        EXPECT_EQ(run.ui.asked.size(), 1u);
    }
}

TEST(Etopo5SizeDialog, NoAnswerFailsWithAMessageNamingTheFileAndKeepsTheOldGrid) {
    EtopoRun run;
    ASSERT_EQ(run.readBytes(le16Samples({1, 2, 3, 4}), {"2"}), 0);
    EXPECT_EQ(run.readBytes(le16Samples({7, 7, 7, 7, 7, 7}), {"4", "5"}), -1);
    ASSERT_EQ(run.ui.fileErrors.size(), 1u);
    EXPECT_NE(run.ui.fileErrors[0].find(run.ws.settings.DEMFile), std::string::npos);
    EXPECT_NE(run.ui.fileErrors[0].find("horizontal size"), std::string::npos);
    // The first file's 2 x 2 grid is still there.
    EXPECT_EQ(run.ws.grid.LastRow, 1);
    EXPECT_EQ(run.ws.grid.cell(1, 1), 1);
}

TEST(Etopo5SizeDialog, WidthIsRememberedBetweenFiles) {
    EtopoRun run;
    ASSERT_EQ(run.readBytes(le16Samples({1, 2, 3, 4, 5, 6}), {"3"}), 0);
    EXPECT_EQ(run.ws.AskedGridWidth, 3);
    // Text that does not parse keeps 3, which fits 9 samples.
    ASSERT_EQ(run.readBytes(le16Samples({1, 2, 3, 4, 5, 6, 7, 8, 9}), {"x"}), 0);
    EXPECT_EQ(run.ws.grid.LastRow, 2);
}

TEST(Etopo5Samples, BeyondEightThousandAreStoredOneHigher) {
    EtopoRun run;
    ASSERT_EQ(run.readBytes(le16Samples({9000, -9000, 8000, -8000, 8001, -8001, 32767, -32768}), {"8"}), 0);
    const ElevationGrid& g = run.ws.grid;
    // One row; value j at column 7 - j.
    EXPECT_EQ(g.cell(0, 7), 9001);
    EXPECT_EQ(g.cell(0, 6), -8999);
    EXPECT_EQ(g.cell(0, 5), 8000);
    EXPECT_EQ(g.cell(0, 4), -8000);
    EXPECT_EQ(g.cell(0, 3), 8002);
    EXPECT_EQ(g.cell(0, 2), -8000);
    EXPECT_EQ(g.cell(0, 1), 32768);
    EXPECT_EQ(g.cell(0, 0), -32767);
    EXPECT_EQ(g.ElevationRange, 32768 - (-32767));
}

TEST(Etopo5Samples, OddTrailingByteIsIgnored) {
    EtopoRun run;
    ASSERT_EQ(run.readBytes(le16Samples({5, 6, 7, 8}) + "\x01", {"2"}), 0);
    EXPECT_EQ(run.ws.grid.LastRow, 1);
    EXPECT_EQ(run.ws.grid.cell(0, 0), 8);
}

TEST(Etopo5Refusals, FileWithFewerThanTwoSamplesIsRefusedWithoutAsking) {
    for (const std::string& bytes : {std::string(), std::string("\x01", 1), le16Samples({5})}) {
        EtopoRun run;
        EXPECT_EQ(run.readBytes(bytes, {"2"}), -1);
        EXPECT_TRUE(run.ui.asked.empty());
        EXPECT_TRUE(shownOnce(run.ui, "ETOPO5 read failed!", Buttons::YesNoCancel));
        EXPECT_FALSE(run.ws.grid.hasStorage());
    }
}

TEST(Etopo5Refusals, FileLargerThanTheGridLimitIsRefusedBeforeAnything) {
    EtopoRun run;
    const std::filesystem::path path = run.dir / "huge.bin";
    writeFileBytes(path, "");
    // Sparse: nothing of it is ever read.
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(ElevationGrid::kMaxCells + 1) * 2);
    EXPECT_EQ(run.readCopy(path, {"2"}), -1);
    EXPECT_TRUE(run.ui.asked.empty());
    EXPECT_TRUE(shownOnce(run.ui, "ETOPO5 read failed!"));
}

TEST(Etopo5Robustness, EveryPrefixOfTheRawSampleEndsInAReadOrAMessage) {
    const HarnessRules rules{.askAnswers = {"20", "2", "3", "5", "7"}, .previousGrid = false};
    const std::string bytes = readFileBytes(sample("raw16/int16.raw"));
    const int reads =
        checkPrefixes(throughFile(kReadEtopo5, "input.bin"), bytes, spreadPrefixLengths(bytes.size()), rules);
    EXPECT_GT(reads, 0);
}

TEST(Etopo5Robustness, DamagedFilesEndInAReadOrAMessage) {
    const HarnessRules rules{.askAnswers = {"20", "2", "3", "5", "7", "11"}, .previousGrid = false};
    checkDamaged(throughFile(kReadEtopo5, "input.bin"), mixedDamage(readFileBytes(sample("raw16/int16.raw")), 20240601u),
                 200, rules);
}

}  // namespace
}  // namespace gorvale::test
