#include "import/vistapro_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "import/ascii_grid_reader.h"
#include "base/text_convert.h"
#include "tests/import/reader_test_support.h"

namespace gorvale::test {
namespace {

const PathReader kReadVista = streamReader(&ReadVistaAscii, "r");

struct VistaRun : ReaderRun {
    VistaRun() : ReaderRun(kReadVista, "terrain.txt") {}
};

// A VistaPro file as its writers lay it out: the northern row first, each
// row from west to east, every value followed by a blank.
std::string vistaText(const ElevationGrid& g, const char* eol) {
    std::string text;
    for (int i = g.LastRow; i >= 0; --i) {
        for (int j = g.LastCol; j >= 0; --j) text += format("%d ", g.cell(i, j));
        text += eol;
    }
    return text;
}

TEST(VistaProReader, LinesAreRowsFromTheNorthAndValuesGoWestToEast) {
    VistaRun run;
    ASSERT_EQ(run.readBytes("1 2 3 \n4 5 6 \n"), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.LastRow, 1);
    EXPECT_EQ(g.LastCol, 2);
    EXPECT_EQ(g.cell(1, 0), 3);
    EXPECT_EQ(g.cell(1, 2), 1);
    EXPECT_EQ(g.cell(0, 0), 6);
    EXPECT_EQ(g.cell(0, 2), 4);
    EXPECT_EQ(g.ElevationRange, 5);
    EXPECT_EQ(run.ui.labels[Label::Columns], "3");
}

TEST(VistaProReader, AcceptsCrLfAndNegativeValues) {
    VistaRun run;
    ASSERT_EQ(run.readBytes("-10 20 \r\n30 -40 \r\n"), 0);
    EXPECT_EQ(run.ws.grid.cell(1, 1), -10);
    EXPECT_EQ(run.ws.grid.cell(0, 0), -40);
    EXPECT_EQ(run.ws.grid.ElevationRange, 70);
}

TEST(VistaProReader, MissingTrailingBlankReadsOneColumnShortAndShifts) {
    VistaRun run;
    ASSERT_EQ(run.readBytes("1 2 3\n4 5 6\n"), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.LastRow, 1);
    EXPECT_EQ(g.LastCol, 1);
    // Values are read in order: 1 2 | 3 4.
    EXPECT_EQ(g.cell(1, 1), 1);
    EXPECT_EQ(g.cell(1, 0), 2);
    EXPECT_EQ(g.cell(0, 1), 3);
    EXPECT_EQ(g.cell(0, 0), 4);
}

TEST(VistaProReader, LastLineWithoutLineFeedIsARowAndTrailingEmptyLinesAreNot) {
    for (const char* text : {"1 2 \n3 4 ", "1 2 \n3 4 \n\n\n", "1 2 \r\n3 4 \r\n \r\n"}) {
        SCOPED_TRACE(text);
        VistaRun run;
        ASSERT_EQ(run.readBytes(text), 0);
        EXPECT_EQ(run.ws.grid.LastRow, 1);
        EXPECT_EQ(run.ws.grid.cell(0, 0), 4);
    }
}

TEST(VistaProReader, ShortFileLeavesTheMissingCellsZero) {
    VistaRun run;
    ASSERT_EQ(run.readBytes("1 2 3 \n4 \n\n7 8 9 \n"), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.LastRow, 3);
    // 1 2 3 | 4 7 8 | 9 then nothing.
    EXPECT_EQ(g.cell(2, 2), 4);
    EXPECT_EQ(g.cell(2, 0), 8);
    EXPECT_EQ(g.cell(1, 2), 9);
    EXPECT_EQ(g.cell(1, 1), 0);
    EXPECT_EQ(g.cell(0, 0), 0);
}

TEST(VistaProReader, FirstLineWithoutACountedValueGetsTheAllocationMessage) {
    VistaRun run;
    ASSERT_EQ(run.readBytes("5 6 \n7 8 \n"), 0);
    for (const char* text : {"", "\n", "12\n13\n", "   \n1 2 \n"}) {
        SCOPED_TRACE(text);
        run.ui.messages.clear();
        EXPECT_EQ(run.readBytes(text), -1);
        EXPECT_TRUE(shownOnce(run.ui, "Memory allocation failed!"));
    }
    EXPECT_EQ(run.ws.grid.cell(0, 0), 8);
}

TEST(VistaProReader, HugeLineCountIsRefusedWithoutAGiantGrid) {
    VistaRun run;
    // 2 values per line and far more lines than the grid may hold would be
    // needed; a wide first line does the same with little text.
    std::string wide;
    for (int i = 0; i < 200000; ++i) wide += "1 ";
    std::string text = wide + "\n";
    for (int i = 0; i < 2000; ++i) text += "\n1";
    EXPECT_EQ(run.readBytes(text), -1);
    EXPECT_TRUE(shownOnce(run.ui, "Memory allocation failed!"));
}

// The DTED cell n43 as GDAL wrote it into an ASCII grid, written again the
// way VistaPro files are written, reads back to the same grid.
TEST(VistaProReader, ReadsBackAGridWrittenTheVistaProWay) {
    RecordingUserInterface ui;
    Workspace source(ui);
    {
        FilePtr f = openFile(sample("gdal-written/n43_aaigrid.asc").string(), "r");
        ASSERT_TRUE(f);
        ASSERT_EQ(ReadAsciiGrid(source, f.get()), 0);
    }
    for (const char* eol : {"\n", "\r\n"}) {
        VistaRun run;
        ASSERT_EQ(run.readBytes(vistaText(source.grid, eol)), 0);
        const ElevationGrid& g = run.ws.grid;
        ASSERT_EQ(g.LastRow, 120);
        ASSERT_EQ(g.LastCol, 120);
        for (int r = 0; r <= 120; ++r)
            for (int c = 0; c <= 120; ++c) ASSERT_EQ(g.cell(r, c), source.grid.cell(r, c)) << r << "," << c;
        expectN43Cells(g);
    }
}

const HarnessRules kRobustness{.previousGrid = false};

TEST(VistaProRobustness, EveryPrefixEndsInAReadOrAMessage) {
    std::string text;
    for (int r = 0; r < 12; ++r) {
        for (int c = 0; c < 10; ++c) text += std::to_string(r * 37 - c * 11) + " ";
        text += "\r\n";
    }
    EXPECT_GT(checkPrefixes(throughFile(kReadVista, "input.txt"), text, spreadPrefixLengths(text.size()), kRobustness),
              0);
}

TEST(VistaProRobustness, DamagedFilesEndInAReadOrAMessage) {
    std::string text;
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 16; ++c) text += std::to_string(r * c - 40) + " ";
        text += "\n";
    }
    checkDamaged(throughFile(kReadVista, "input.txt"), mixedDamage(text, 99u), 300, kRobustness);
}

}  // namespace
}  // namespace gorvale::test
