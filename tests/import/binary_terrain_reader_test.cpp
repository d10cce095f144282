#include "import/binary_terrain_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "import/terrain_file_support.h"
#include "tests/import/reader_test_support.h"

namespace gorvale {
namespace {

using test::ReaderHarness;
using test::shownOnce;
using test::shownOnceContaining;

constexpr std::size_t kHeaderBytes = 256;

// A Binary Terrain file as real writers lay it out: "binterr1.3", columns
// and rows at 10 and 14, the 16-bit sample size at 18 and the 16-bit
// float flag at 20, extents (8-byte reals) from 28, samples from byte 256.
std::string binaryTerrain(std::int32_t cols, std::int32_t rows, std::uint16_t sampleBytes,
                          std::uint16_t floatFlag, const std::string& samples) {
    std::string s = "binterr1.3";
    test::putLe32(s, static_cast<std::uint32_t>(cols));
    test::putLe32(s, static_cast<std::uint32_t>(rows));
    test::putLe16(s, sampleBytes);
    test::putLe16(s, floatFlag);
    test::putLe16(s, 1);   // horizontal units: metres
    test::putLe16(s, 10);  // UTM zone
    test::putLe16(s, 6326);
    for (double extent : {560000.5, 570000.25, 4750000.0, 4760000.0}) test::putDouble(s, extent);
    s.resize(kHeaderBytes, '\0');
    return s + samples;
}

const test::ByteRunner readBytes = test::fromMemory(ReadBinaryTerrain);

int readSample(ReaderHarness& h, const std::string& relative) {
    FilePtr f = openFile(test::sample(relative).string(), "rb");
    if (!f) return -2;
    h.ws.settings.DEMFile = test::sample(relative).string();
    return ReadBinaryTerrain(h.ws, f.get());
}

class BinaryTerrainSamples : public test::TestdataTest {};

// Reference values: GDAL 3.6.2 (gdal.Open(...).ReadAsArray()), mapped to
// row 0 = south, column 0 = east, truncated and shifted by the minimum.
TEST_F(BinaryTerrainSamples, CraterFloatSamplesLandEastFirstAndShiftedToZero) {
    ReaderHarness h;
    ASSERT_EQ(readSample(h, "bt/crater_0513.bt"), 0);
    const ElevationGrid& g = h.ws.grid;
    EXPECT_EQ(g.LastRow, 513);
    EXPECT_EQ(g.LastCol, 513);
    EXPECT_EQ(h.ui.labels[Label::Rows], "513");
    EXPECT_EQ(h.ui.labels[Label::Columns], "513");
    // GDAL: 1524 .. 2478 m.
    EXPECT_EQ(g.ElevationRange, 2478 - 1524);
    EXPECT_EQ(h.ui.labels[Label::ElevationRange], "954");
    EXPECT_EQ(g.cell(0, 0), 1894 - 1524);
    EXPECT_EQ(g.cell(0, 512), 1647 - 1524);
    EXPECT_EQ(g.cell(512, 0), 2054 - 1524);
    EXPECT_EQ(g.cell(512, 512), 1625 - 1524);
    EXPECT_EQ(g.cell(100, 200), 1915 - 1524);
    EXPECT_EQ(g.cell(256, 256), 2120 - 1524);
    // The row and column at the extents carry no data.
    EXPECT_EQ(g.cell(513, 100), 0);
    EXPECT_EQ(g.cell(100, 513), 0);
    const test::ValueRange data = test::valueRange(g, g.LastRow, g.LastCol);
    EXPECT_EQ(data.min, 0);
    EXPECT_EQ(data.max, 954);
}

TEST_F(BinaryTerrainSamples, GdalWrittenInt16FileReadsTheDtedValues) {
    ReaderHarness h;
    ASSERT_EQ(readSample(h, "gdal-written/n43_bt.bt"), 0);
    const ElevationGrid& g = h.ws.grid;
    EXPECT_EQ(g.LastRow, 121);
    EXPECT_EQ(g.LastCol, 121);
    // Shifted by the minimum, 75.
    test::expectN43Cells(g, -75);
    EXPECT_EQ(g.cell(60, 30), 0);  // the lowest point
    EXPECT_EQ(g.cell(17, 99), 131);
}

TEST_F(BinaryTerrainSamples, SkipElevationTakesEvenColumnsAndOddSamples) {
    ReaderHarness h;
    h.ws.settings.SkipElevation = true;
    ASSERT_EQ(readSample(h, "bt/crater_0513.bt"), 0);
    const ElevationGrid& g = h.ws.grid;
    EXPECT_EQ(g.LastRow, 256);
    EXPECT_EQ(g.LastCol, 256);
    // From GDAL's array: file column 2j, sample 2k + 1; minimum 1529.
    EXPECT_EQ(g.ElevationRange, 2478 - 1529);
    EXPECT_EQ(g.cell(0, 0), 366);
    EXPECT_EQ(g.cell(255, 255), 96);
    EXPECT_EQ(g.cell(10, 20), 360);
}

TEST_F(BinaryTerrainSamples, TailSnapsTheRectangleAndEnablesTheGridCommands) {
    ReaderHarness h;
    h.ws.settings.Scaling = 3;  // step 4
    ASSERT_EQ(readSample(h, "gdal-written/n43_bt.bt"), 0);
    // ToNorth = LastRow = 121, snapped to a multiple of 4 below 121.
    EXPECT_EQ(h.ws.settings.ToNorth, "120");
    EXPECT_EQ(h.ws.settings.ToEast, "120");
    EXPECT_EQ(h.ws.settings.FromSouth, "0");
    EXPECT_EQ(h.ws.grid.RowLimit, 121);
    EXPECT_TRUE(h.ui.commands[Command::Generate]);
    EXPECT_TRUE(h.ui.commands[Command::ShowFullPicture]);
    EXPECT_EQ(h.ui.gridChanges, 1);
    EXPECT_TRUE(h.ws.gridLoaded);
}

TEST(BinaryTerrainLayout, ThreeColumnsOfTwoRowsLandEastFirstThenShift) {
    ReaderHarness h;
    ASSERT_EQ(readBytes(h, binaryTerrain(3, 2, 2, 0, test::le16Samples({1, 2, 3, 4, 5, 6}))), 0);
    const ElevationGrid& g = h.ws.grid;
    ASSERT_EQ(g.LastCol, 3);
    ASSERT_EQ(g.LastRow, 2);
    // Before the shift (5, 3, 1, 0) and (6, 4, 2, 0); minimum 1.
    const std::int32_t row0[] = {4, 2, 0, 0};
    const std::int32_t row1[] = {5, 3, 1, 0};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(g.cell(0, c), row0[c]) << c;
        EXPECT_EQ(g.cell(1, c), row1[c]) << c;
        EXPECT_EQ(g.cell(2, c), 0) << c;
    }
    EXPECT_EQ(h.ui.labels[Label::Columns], "3");
    EXPECT_EQ(h.ui.labels[Label::Rows], "2");
    EXPECT_EQ(g.ElevationRange, 5);
}

TEST(BinaryTerrainLayout, FourByteIntegersAreTakenUnchanged) {
    std::string samples;
    for (std::int32_t v : {-70000, 100000, 5, 40000}) test::putLe32(samples, static_cast<std::uint32_t>(v));
    ReaderHarness h;
    ASSERT_EQ(readBytes(h, binaryTerrain(2, 2, 4, 0, samples)), 0);
    const ElevationGrid& g = h.ws.grid;
    EXPECT_EQ(g.cell(0, 1), 0);  // -70000 is the minimum
    EXPECT_EQ(g.cell(1, 1), 170000);
    EXPECT_EQ(g.cell(0, 0), 70005);
    EXPECT_EQ(g.cell(1, 0), 110000);
    EXPECT_EQ(g.ElevationRange, 170000);
}

TEST(BinaryTerrainLayout, ExtremeFourByteIntegersSaturateInsteadOfOverflowing) {
    std::string samples;
    for (std::int32_t v : {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()})
        test::putLe32(samples, static_cast<std::uint32_t>(v));
    ReaderHarness h;
    ASSERT_EQ(readBytes(h, binaryTerrain(1, 2, 4, 0, samples)), 0);
    EXPECT_EQ(h.ws.grid.cell(0, 0), 0);
    EXPECT_EQ(h.ws.grid.cell(1, 0), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(h.ws.grid.ElevationRange, std::numeric_limits<std::int32_t>::max());
}

TEST(BinaryTerrainLayout, RealsAreClampedAndTruncatedTowardZero) {
    std::string samples;
    for (float f : {-40000.0f, 33000.5f, -2.9f, 7.9f}) test::putFloat(samples, f);
    ReaderHarness h;
    ASSERT_EQ(readBytes(h, binaryTerrain(2, 2, 4, 1, samples)), 0);
    const ElevationGrid& g = h.ws.grid;
    // -32000, 32000, -2, 7, shifted by -32000.
    EXPECT_EQ(g.cell(0, 1), 0);
    EXPECT_EQ(g.cell(1, 1), 64000);
    EXPECT_EQ(g.cell(0, 0), 31998);
    EXPECT_EQ(g.cell(1, 0), 32007);
}

TEST(BinaryTerrainLayout, NotANumberSamplesStayOutOfTheMinimum) {
    std::string samples;
    for (float f : {10.0f, std::numeric_limits<float>::quiet_NaN(), 20.0f, 30.0f}) test::putFloat(samples, f);
    ReaderHarness h;
    ASSERT_EQ(readBytes(h, binaryTerrain(2, 2, 4, 1, samples)), 0);
    EXPECT_EQ(h.ws.grid.ElevationRange, 20);
    EXPECT_EQ(h.ws.grid.cell(0, 1), 0);
    EXPECT_EQ(h.ws.grid.cell(1, 0), 20);
}

TEST(BinaryTerrainLayout, ShortFileKeepsWhatItHolds) {
    // Header says 2 x 2; the file holds three samples.
    ReaderHarness h;
    ASSERT_EQ(readBytes(h, binaryTerrain(2, 2, 2, 0, test::le16Samples({10, 20, 30}))), 0);
    const ElevationGrid& g = h.ws.grid;
    EXPECT_EQ(g.cell(0, 1), 0);
    EXPECT_EQ(g.cell(1, 1), 10);
    EXPECT_EQ(g.cell(0, 0), 20);
    EXPECT_EQ(g.ElevationRange, 20);
}

// Columns longer than one read (over 2M 2-byte samples) are read in pieces.
TEST(BinaryTerrainLayout, ColumnsTallerThanOneReadAreReadInPieces) {
    constexpr std::int32_t kRows = 2'100'000;
    auto value = [](std::int64_t j, std::int64_t k) { return static_cast<int>((k * 7 + j * 3) % 20000) - 500; };
    std::string samples;
    samples.reserve(2 * 2 * kRows);
    for (int j = 0; j < 2; ++j)
        for (int k = 0; k < kRows; ++k) test::putLe16(samples, static_cast<std::uint16_t>(value(j, k)));
    const std::string file = binaryTerrain(2, kRows, 2, 0, samples);

    ReaderHarness whole;
    ASSERT_EQ(readBytes(whole, file), 0);
    const ElevationGrid& g = whole.ws.grid;
    ASSERT_EQ(g.LastRow, kRows);
    for (std::int64_t k : {0, 1, 1'048'575, 1'048'576, 2'097'151, 2'097'152, kRows - 1}) {
        EXPECT_EQ(g.cell(static_cast<int>(k), 1), value(0, k) + 500) << k;  // western file column
        EXPECT_EQ(g.cell(static_cast<int>(k), 0), value(1, k) + 500) << k;
    }

    ReaderHarness skipped;
    skipped.ws.settings.SkipElevation = true;
    ASSERT_EQ(readBytes(skipped, file), 0);
    ASSERT_EQ(skipped.ws.grid.LastRow, kRows / 2);
    ASSERT_EQ(skipped.ws.grid.LastCol, 1);
    const std::int32_t skippedMin = skipped.ws.grid.cell(0, 0) - (value(0, 1) + 500);
    for (std::int64_t k : {0, 524'287, 524'288, 1'049'999})
        EXPECT_EQ(skipped.ws.grid.cell(static_cast<int>(k), 0) - skippedMin, value(0, 2 * k + 1) + 500) << k;

    // Cut inside the second column: the first is whole, the second partly there.
    ReaderHarness cut;
    ASSERT_EQ(readBytes(cut, file.substr(0, 256 + 2 * (kRows + 1000))), 0);
    EXPECT_EQ(cut.ws.grid.cell(kRows - 1, 1), value(0, kRows - 1) + 500);
    EXPECT_EQ(cut.ws.grid.cell(999, 0), value(1, 999) + 500);
}

TEST(BinaryTerrainRefusal, MissingSignatureShowsItsBoxAndKeepsTheGrid) {
    ReaderHarness h;
    std::string bytes = binaryTerrain(2, 2, 2, 0, test::le16Samples({1, 2, 3, 4}));
    bytes[0] = 'B';
    EXPECT_EQ(readBytes(h, bytes), -1);
    EXPECT_TRUE(shownOnce(h.ui, "Not a Binary Terrain file!", Buttons::YesNoCancel));
    EXPECT_TRUE(h.previousGridKept());
}

TEST(BinaryTerrainRefusal, UnsupportedSampleKindsAreNamed) {
    struct Case {
        std::uint16_t bytes;
        std::uint16_t flag;
        const char* text;
    };
    const Case cases[] = {
        {1, 0, "input.dat: 1-byte integer samples are not supported"},
        {8, 1, "input.dat: 8-byte real samples are not supported"},
        {2, 1, "input.dat: 2-byte real samples are not supported"},
        {0, 0, "input.dat: 0-byte integer samples are not supported"},
    };
    for (const Case& c : cases) {
        ReaderHarness h;
        EXPECT_EQ(readBytes(h, binaryTerrain(2, 2, c.bytes, c.flag, std::string(64, '\1'))), -1);
        EXPECT_TRUE(shownOnceContaining(h.ui, {c.text}));
        EXPECT_TRUE(h.previousGridKept());
    }
}

TEST(BinaryTerrainRefusal, HostileSizesGetAMessageAndNoAllocation) {
    struct Case {
        std::int32_t cols;
        std::int32_t rows;
        const char* text;
    };
    const Case cases[] = {
        {-5, 10, "invalid grid size"},
        {10, 0, "invalid grid size"},
        {std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max(), "damaged"},
        {1 << 20, 1 << 10, "announces 1024 rows by 1048576 columns but the file holds only 2 samples"},
    };
    for (const Case& c : cases) {
        ReaderHarness h;
        EXPECT_EQ(readBytes(h, binaryTerrain(c.cols, c.rows, 2, 0, test::le16Samples({1, 2}))), -1);
        EXPECT_TRUE(shownOnceContaining(h.ui, {c.text, "Binary Terrain file input.dat"}));
        EXPECT_TRUE(h.previousGridKept());
    }
}

TEST(BinaryTerrainRefusal, TruncationWithinToleranceIsReadBeyondItRefused) {
    // 1200 x 1000 announced (over the always-trusted size): a file holding
    // 1/16 of it is read, one holding less is refused.
    const std::int64_t announced = 1200 * 1000;
    ReaderHarness enough;
    EXPECT_EQ(readBytes(enough, binaryTerrain(1200, 1000, 2, 0, std::string(announced / 16 * 2, '\1'))), 0);
    EXPECT_TRUE(enough.ui.messages.empty());
    ReaderHarness tooLittle;
    EXPECT_EQ(readBytes(tooLittle, binaryTerrain(1200, 1000, 2, 0, std::string(announced / 16 * 2 - 2, '\1'))),
              -1);
    EXPECT_TRUE(shownOnceContaining(tooLittle.ui, {"damaged"}));
    EXPECT_TRUE(tooLittle.previousGridKept());
}

TEST(TerrainGridAllocation, MoreThanTheCellLimitGetsTheReadersMessage) {
    ReaderHarness h;
    EXPECT_FALSE(allocateReaderGrid(h.ws, "Leveller", ElevationGrid::kMaxCells / 1000 + 1, 1000));
    EXPECT_TRUE(
        shownOnceContaining(h.ui, {"Leveller file input.dat: a grid of 268436 rows by 1000 columns is too large"}));
    EXPECT_TRUE(h.previousGridKept());
    EXPECT_TRUE(allocateReaderGrid(h.ws, "Leveller", 3, 4));
    EXPECT_EQ(h.ws.grid.AllocatedRows(), 3);
}

// A refusal may be silent but must keep the previous grid.
const test::HarnessRules kRobustness{.silentRefusalAllowed = true};

TEST_F(BinaryTerrainSamples, EveryPrefixEndsInAMessageOrARead) {
    const std::string bytes = test::readFileBytes(test::sample("gdal-written/n43_bt.bt"));
    // Every prefix through the header and the first columns, then every 97th.
    test::checkPrefixes(readBytes, bytes, test::prefixLengths(bytes.size(), 1024, 97), kRobustness);
    const std::string crater = test::readFileBytes(test::sample("bt/crater_0513.bt"));
    test::checkPrefixes(readBytes, crater, test::prefixLengths(crater.size(), 300, 40961), kRobustness);
}

TEST_F(BinaryTerrainSamples, DamagedFilesNeverMisbehave) {
    const std::string bytes = test::readFileBytes(test::sample("gdal-written/n43_bt.bt"));
    test::checkDamaged(readBytes, test::headerDamage(bytes, 64, 20240611u), 600, kRobustness);
    const std::string crater = test::readFileBytes(test::sample("bt/crater_0513.bt"));
    test::checkDamaged(readBytes, test::headerDamage(crater, 64, 7u), 30, kRobustness);
}

}  // namespace
}  // namespace gorvale
