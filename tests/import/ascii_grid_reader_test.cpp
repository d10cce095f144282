#include "import/ascii_grid_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/import/reader_test_support.h"

namespace gorvale::test {
namespace {

// The dispatch reopens ASCII grids in text mode.
const PathReader kReadAsciiGrid = streamReader(&ReadAsciiGrid, "r");

struct AsciiRun : ReaderRun {
    AsciiRun() : ReaderRun(kReadAsciiGrid, "grid.asc") {}
};

const char* const kSixValues =
    "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n1 2 3\n4 5 6\n";

// pixel_per_line.asc and its copies: 15 x 12, one value per text line.
// GDAL 3.6.2: pixel (line, column) (11,14)=5.03 (6,5)=862 (4,7)=759
// (0,0)=0, range 0..3450 (no no-data value occurs). Line y, column x is
// grid row 11 - y, column 14 - x.
void expectPixelPerLineGrid(const AsciiRun& run) {
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.LastRow, 11);
    EXPECT_EQ(g.LastCol, 14);
    EXPECT_EQ(g.cell(0, 0), 5);  // 5.03 truncated
    EXPECT_EQ(g.cell(5, 9), 862);
    EXPECT_EQ(g.cell(7, 7), 759);
    EXPECT_EQ(g.cell(11, 14), 0);
    EXPECT_EQ(g.ElevationRange, 3450);
}

TEST(AsciiGridSamples, ReadsOneValuePerLineWithExponents) {
    AsciiRun run;
    ASSERT_EQ(run.read(sample("aaigrid/pixel_per_line.asc")), 0);
    expectPixelPerLineGrid(run);
}

TEST(AsciiGridSamples, ReadsUpperCaseExtensionCopy) {
    AsciiRun run;
    ASSERT_EQ(run.read(sample("aaigrid/case_sensitive.ASC")), 0);
    expectPixelPerLineGrid(run);
}

TEST(AsciiGridSamples, ReadsDecimalCommasAsDecimalPoints) {
    AsciiRun run;
    ASSERT_EQ(run.read(sample("aaigrid/pixel_per_line_comma.asc")), 0);
    // GDAL reads this file to the same values as pixel_per_line.asc.
    expectPixelPerLineGrid(run);
}

// nodata_int.asc and nodata_float.asc: 5 x 5; GDAL 3.6.2: (0,0)=107
// (0,4)=132 (2,1)=132 (1,2)=107 (4,1)=156, range 107..156.
TEST(AsciiGridSamples, ReadsFiveByFiveIntegerAndRealNoDataFiles) {
    for (const char* name : {"aaigrid/nodata_int.asc", "aaigrid/nodata_float.asc"}) {
        SCOPED_TRACE(name);
        AsciiRun run;
        ASSERT_EQ(run.read(sample(name)), 0);
        const ElevationGrid& g = run.ws.grid;
        EXPECT_EQ(g.LastRow, 4);
        EXPECT_EQ(g.LastCol, 4);
        EXPECT_EQ(g.cell(4, 4), 107);
        EXPECT_EQ(g.cell(4, 0), 132);
        EXPECT_EQ(g.cell(2, 3), 132);
        EXPECT_EQ(g.cell(3, 2), 107);
        EXPECT_EQ(g.cell(0, 3), 156);
        EXPECT_EQ(g.ElevationRange, 156 - 107);
        EXPECT_EQ(run.ui.labels[Label::ElevationRange], "49");
    }
}

// float64.asc: every cell -1.234567890123 but the south-east one, +1.23...
TEST(AsciiGridSamples, TruncatesLongRealsTowardZero) {
    AsciiRun run;
    ASSERT_EQ(run.read(sample("aaigrid/float64.asc")), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.cell(0, 0), 1);
    EXPECT_EQ(g.cell(4, 4), -1);
    EXPECT_EQ(g.cell(2, 1), -1);
    EXPECT_EQ(g.ElevationRange, 2);
}

// withnodata.asc: 2 x 2, "-999 0 / 0 0"; the no-data value is an ordinary value.
TEST(AsciiGridSamples, KeepsTheNoDataValueAsAnElevation) {
    AsciiRun run;
    ASSERT_EQ(run.read(sample("aaigrid/withnodata.asc")), 0);
    EXPECT_EQ(run.ws.grid.cell(1, 1), -999);
    EXPECT_EQ(run.ws.grid.cell(0, 0), 0);
    EXPECT_EQ(run.ws.grid.ElevationRange, 999);
}

// nodata_nan.asc: "nan -1 0 / 1 2 3" with NODATA_value nan.
TEST(AsciiGridSamples, StoresNanAsZero) {
    AsciiRun run;
    ASSERT_EQ(run.read(sample("aaigrid/nodata_nan.asc")), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.cell(1, 2), 0);
    EXPECT_EQ(g.cell(1, 1), -1);
    EXPECT_EQ(g.cell(1, 0), 0);
    EXPECT_EQ(g.cell(0, 2), 1);
    EXPECT_EQ(g.cell(0, 0), 3);
    EXPECT_EQ(g.ElevationRange, 4);
}

// starting_with_nan.asc: no NODATA_value line, values start with "nan";
// 5 x 5 all nan but the centre 1.0.
TEST(AsciiGridSamples, ReadsFileWithoutNoDataLineWhoseValuesStartWithNan) {
    AsciiRun run;
    ASSERT_EQ(run.read(sample("aaigrid/starting_with_nan.asc")), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.LastRow, 4);
    EXPECT_EQ(g.cell(2, 2), 1);
    EXPECT_EQ(g.cell(0, 0), 0);
    EXPECT_EQ(g.cell(4, 4), 0);
    EXPECT_EQ(g.ElevationRange, 1);
}

// gdal-written/n43_aaigrid.asc: DTED n43 written by GDAL's AAIGrid driver,
// 121 x 121 integers.
TEST(AsciiGridSamples, ReadsGdalWrittenGrid) {
    AsciiRun run;
    ASSERT_EQ(run.read(sample("gdal-written/n43_aaigrid.asc")), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.LastRow, 120);
    EXPECT_EQ(g.LastCol, 120);
    expectN43Cells(g);
    EXPECT_EQ(run.ui.labels[Label::Rows], "121");
}

TEST(AsciiGridOrientation, NorthernRowFirstAndWesternValueFirst) {
    AsciiRun run;
    ASSERT_EQ(run.readBytes(kSixValues), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.LastRow, 1);
    EXPECT_EQ(g.LastCol, 2);
    EXPECT_EQ(g.cell(1, 0), 3);
    EXPECT_EQ(g.cell(1, 1), 2);
    EXPECT_EQ(g.cell(1, 2), 1);
    EXPECT_EQ(g.cell(0, 0), 6);
    EXPECT_EQ(g.cell(0, 1), 5);
    EXPECT_EQ(g.cell(0, 2), 4);
}

TEST(AsciiGridScaling, InvertThenPreScaleInSinglePrecision) {
    AsciiRun run;
    run.ws.settings.InvertElevation = true;
    run.ws.settings.VerticalPreScale = 1;
    ASSERT_EQ(run.readBytes("ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -1\n12.5 -0.07\n"),
              0);
    EXPECT_EQ(run.ws.grid.cell(0, 1), -125);
    EXPECT_EQ(run.ws.grid.cell(0, 0), 0);  // 0.7 truncated
}

TEST(AsciiGridScaling, PreScaleByAThousand) {
    AsciiRun run;
    run.ws.settings.VerticalPreScale = 3;
    ASSERT_EQ(run.readBytes("ncols 2\nnrows 1\n1.5 -0.25\n"), 0);
    EXPECT_EQ(run.ws.grid.cell(0, 1), 1500);
    EXPECT_EQ(run.ws.grid.cell(0, 0), -250);
    EXPECT_EQ(run.ws.grid.ElevationRange, 1750);
}

TEST(AsciiGridScaling, ValuesBeyondTheIntegerRangeAreClamped) {
    // Each file keeps its range within 32 bits, as the range label needs.
    AsciiRun high;
    ASSERT_EQ(high.readBytes("ncols 3\nnrows 1\n1e30 inf 0\n"), 0);
    EXPECT_EQ(high.ws.grid.cell(0, 2), 2147483647);
    EXPECT_EQ(high.ws.grid.cell(0, 1), 2147483647);
    AsciiRun low;
    ASSERT_EQ(low.readBytes("ncols 2\nnrows 1\n-1e30 -1\n"), 0);
    EXPECT_EQ(low.ws.grid.cell(0, 1), -2147483647 - 1);
    EXPECT_EQ(low.ws.grid.cell(0, 0), -1);
}

TEST(AsciiGridHeader, CentreLinesAndMissingOptionalLinesAreAccepted) {
    AsciiRun run;
    ASSERT_EQ(run.readBytes("NCOLS 3\r\nNROWS 2\r\nXLLCENTER 0.5\r\nYLLCENTER 0.5\r\n1 2 3\r\n4 5 6\r\n"), 0);
    EXPECT_EQ(run.ws.grid.cell(1, 2), 1);
    EXPECT_EQ(run.ws.grid.cell(0, 0), 6);
}

TEST(AsciiGridHeader, ValuesMayStartWithASignOrAPoint) {
    for (const char* first : {"-1", "+1", ".5", ",5", "NaN"}) {
        SCOPED_TRACE(first);
        AsciiRun run;
        ASSERT_EQ(run.readBytes(std::string("ncols 2\nnrows 1\ncellsize 30\n  ") + first + " 7\n"), 0);
        EXPECT_EQ(run.ws.grid.cell(0, 0), 7);
    }
}

TEST(AsciiGridHeader, UnknownHeaderLinesAreSkipped) {
    AsciiRun run;
    ASSERT_EQ(run.readBytes("ncols 2\nnrows 1\ndx 30\ndy 30\nbyteorder msbfirst\n3 4\n"), 0);
    EXPECT_EQ(run.ws.grid.cell(0, 1), 3);
}

TEST(AsciiGridHeader, MissingRowsOrColumnsRefusesSilentlyAndKeepsTheOldGrid) {
    AsciiRun run;
    ASSERT_EQ(run.readBytes(kSixValues), 0);
    for (const char* text : {"ncols 3\nxllcorner 0\n1 2 3\n", "nrows 2\n1 2 3\n", "ncols x\nnrows 2\n1 2\n", ""}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(run.readBytes(text), -1);
    }
    EXPECT_TRUE(run.ui.messages.empty());
    EXPECT_EQ(run.ws.grid.LastCol, 2);
    EXPECT_EQ(run.ws.grid.cell(0, 0), 6);
}

TEST(AsciiGridHeader, ImpossibleSizesGetTheAllocationMessageAndKeepTheOldGrid) {
    AsciiRun run;
    ASSERT_EQ(run.readBytes(kSixValues), 0);
    for (const char* text : {"ncols 100000\nnrows 100000\n1\n", "ncols 0\nnrows 5\n1\n", "ncols -3\nnrows -3\n1\n",
                             "ncols 2147483647\nnrows 2147483647\n1\n"}) {
        SCOPED_TRACE(text);
        run.ui.messages.clear();
        EXPECT_EQ(run.readBytes(text), -1);
        EXPECT_TRUE(shownOnce(run.ui, "Memory allocation failed!", Buttons::YesNoCancel));
    }
    EXPECT_EQ(run.ws.grid.LastCol, 2);
    EXPECT_EQ(run.ws.grid.cell(0, 0), 6);
}

TEST(AsciiGridValues, UnreadableValueLeavesTheRestOfItsRowZero) {
    AsciiRun run;
    ASSERT_EQ(run.readBytes("ncols 3\nnrows 3\n1 x 3\n4 5 6\n7 8 9\n"), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.cell(2, 2), 1);
    EXPECT_EQ(g.cell(2, 1), 0);
    EXPECT_EQ(g.cell(2, 0), 0);
    // The value after the unreadable one starts the next row.
    EXPECT_EQ(g.cell(1, 2), 3);
    EXPECT_EQ(g.cell(1, 1), 4);
    EXPECT_EQ(g.cell(0, 2), 6);
}

TEST(AsciiGridValues, ShortFileLeavesTheMissingCellsZero) {
    AsciiRun run;
    ASSERT_EQ(run.readBytes("ncols 3\nnrows 2\n10 20 30\n40"), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.cell(0, 2), 40);
    EXPECT_EQ(g.cell(0, 1), 0);
    EXPECT_EQ(g.cell(0, 0), 0);
    // Only the values read count for the range.
    EXPECT_EQ(g.ElevationRange, 30);
}

// A file cut inside its header is refused without a message.
const HarnessRules kRobustness{.previousGrid = false, .silentRefusalAllowed = true};

TEST(AsciiGridRobustness, EveryPrefixOfRealFilesEndsInAReadOrSilentRefusal) {
    const ByteRunner run = throughFile(kReadAsciiGrid, "input.asc");
    for (const char* name : {"aaigrid/nodata_float.asc", "aaigrid/pixel_per_line_comma.asc",
                             "aaigrid/starting_with_nan.asc"}) {
        SCOPED_TRACE(name);
        const std::string bytes = readFileBytes(sample(name));
        EXPECT_GT(checkPrefixes(run, bytes, spreadPrefixLengths(bytes.size()), kRobustness), 0);
    }
}

TEST(AsciiGridRobustness, DamagedFilesEndInAReadOrARefusal) {
    const ByteRunner run = throughFile(kReadAsciiGrid, "input.asc");
    checkDamaged(run, mixedDamage(readFileBytes(sample("aaigrid/nodata_float.asc")), 7u), 300, kRobustness);
    checkDamaged(run, mixedDamage(readFileBytes(sample("aaigrid/pixel_per_line.asc")), 11u), 200, kRobustness);
}

}  // namespace
}  // namespace gorvale::test
