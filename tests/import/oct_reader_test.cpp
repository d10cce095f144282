#include "import/oct_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/import/reader_test_support.h"

namespace gorvale::test {
namespace {

const PathReader kReadOct = streamReader(&ReadOct, "r");

// Header laid out as hf-lab writes it: the name from the ninth character,
// a free line, the group count from the eighth character, the values per
// group from the eleventh.
std::string octHeader(const std::string& name, int groups, int perGroup, const char* eol = "\n") {
    return "hf-name:" + name + eol + "hf-lab matrix export" + eol + "xsize: " + std::to_string(groups) + eol +
           "ysize   : " + std::to_string(perGroup) + eol;
}

struct OctRun : ReaderRun {
    OctRun() : ReaderRun(kReadOct, "matrix.oct") {}
};

TEST(OctReader, SquareMatrixGoesGroupByGroupIntoRowsInThousandths) {
    OctRun run;
    const std::string text = octHeader("crater", 3, 3) +
                             "0.001 0.002 0.003\n"
                             "1.5 -0.25 2\n"
                             "0.0005 -3 4.75\n";
    ASSERT_EQ(run.readBytes(text), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.LastRow, 3);
    EXPECT_EQ(g.LastCol, 3);
    // Group j, value k at row j, column k.
    EXPECT_EQ(g.cell(0, 0), 1);
    EXPECT_EQ(g.cell(0, 2), 3);
    EXPECT_EQ(g.cell(1, 0), 1500);
    EXPECT_EQ(g.cell(1, 1), -250);
    EXPECT_EQ(g.cell(1, 2), 2000);
    EXPECT_EQ(g.cell(2, 0), 0);  // 0.5 truncated
    EXPECT_EQ(g.cell(2, 1), -3000);
    EXPECT_EQ(g.cell(2, 2), 4750);
    // The last row and column are never written.
    for (int i = 0; i <= 3; ++i) {
        EXPECT_EQ(g.cell(3, i), 0);
        EXPECT_EQ(g.cell(i, 3), 0);
    }
    EXPECT_EQ(g.ElevationRange, 4750 + 3000);
    EXPECT_EQ(run.ui.labels[Label::DemName], "crater");
    EXPECT_EQ(run.ui.labels[Label::Rows], "4");
}

TEST(OctReader, AcceptsCrLfLineEnds) {
    OctRun run;
    ASSERT_EQ(run.readBytes(octHeader("Peak Two", 2, 2, "\r\n") + "1\r\n2\r\n3\r\n4\r\n"), 0);
    EXPECT_EQ(run.ui.labels[Label::DemName], "Peak Two");
    EXPECT_EQ(run.ws.grid.cell(0, 1), 2000);
    EXPECT_EQ(run.ws.grid.cell(1, 0), 3000);
}

TEST(OctReader, NonSquareMatrixGetsAGridThatHoldsEveryGroup) {
    OctRun run;
    ASSERT_EQ(run.readBytes(octHeader("strip", 4, 2) + "1 2 3 4 5 6 7 8\n"), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.LastRow, 4);
    EXPECT_EQ(g.LastCol, 2);
    EXPECT_EQ(g.cell(0, 0), 1000);
    EXPECT_EQ(g.cell(0, 1), 2000);
    EXPECT_EQ(g.cell(3, 1), 8000);
}

TEST(OctReader, ShortNameLineGivesAnEmptyName) {
    OctRun run;
    ASSERT_EQ(run.readBytes("hf\nx\nxsize: 1\nysize   : 1\n7\n"), 0);
    EXPECT_EQ(run.ui.labels[Label::DemName], "");
    EXPECT_EQ(run.ws.grid.cell(0, 0), 7000);
}

TEST(OctReader, UnusableHeaderShowsTheReadFailedBoxAndKeepsTheOldGrid) {
    OctRun run;
    ASSERT_EQ(run.readBytes(octHeader("first", 1, 1) + "5\n"), 0);
    for (const std::string& text :
         {std::string(), std::string("hf-name:a\nb\nxsize: 3\n"), std::string("hf-name:a\nb\nxsize: ?\nysize   : 3\n"),
          octHeader("zero", 0, 3), octHeader("negative", -2, -2), octHeader("huge", 100000, 100000)}) {
        SCOPED_TRACE(text);
        run.ui.messages.clear();
        EXPECT_EQ(run.readBytes(text), -1);
        EXPECT_TRUE(shownOnce(run.ui, "OCT file read failed!", Buttons::YesNoCancel));
    }
    EXPECT_EQ(run.ws.grid.cell(0, 0), 5000);
    EXPECT_EQ(run.ui.labels[Label::DemName], "first");
}

TEST(OctReader, UnreadableValueEndsTheReadingWithTheRestZero) {
    OctRun run;
    ASSERT_EQ(run.readBytes(octHeader("cut", 2, 2) + "1 2 oops 4\n"), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.cell(0, 1), 2000);
    EXPECT_EQ(g.cell(1, 0), 0);
    EXPECT_EQ(g.cell(1, 1), 0);
    EXPECT_EQ(g.ElevationRange, 1000);
}

const HarnessRules kRobustness{.previousGrid = false};

TEST(OctRobustness, EveryPrefixEndsInAReadOrAMessage) {
    std::string text = octHeader("prefix test", 6, 6);
    for (int i = 0; i < 36; ++i) text += std::to_string(i * 0.125) + (i % 6 == 5 ? "\n" : " ");
    EXPECT_GT(checkPrefixes(throughFile(kReadOct, "input.oct"), text, spreadPrefixLengths(text.size()), kRobustness), 0);
}

TEST(OctRobustness, DamagedFilesEndInAReadOrAMessage) {
    std::string text = octHeader("fuzz", 8, 8);
    for (int i = 0; i < 64; ++i) text += std::to_string(i * 1.5 - 20) + " ";
    checkDamaged(throughFile(kReadOct, "input.oct"), mixedDamage(text, 4242u), 300, kRobustness);
}

}  // namespace
}  // namespace gorvale::test
