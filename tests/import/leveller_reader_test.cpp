#include "import/leveller_reader.h"

#include <gtest/gtest.h>

#include <limits>

#include "tests/import/reader_test_support.h"

namespace gorvale {
namespace {

using test::ReaderHarness;
using test::shownOnceContaining;

// Tagged records as Leveller writes them.
struct Record {
    std::string name;
    std::string payload;
};

std::string int32Payload(std::int32_t v) {
    std::string s;
    test::putLe32(s, static_cast<std::uint32_t>(v));
    return s;
}

std::string doublePayload(double d) {
    std::string s;
    test::putDouble(s, d);
    return s;
}

std::string leveller(int version, const std::vector<Record>& records) {
    std::string s = "trrn";
    s.push_back(static_cast<char>(version));
    for (const Record& r : records) {
        s.push_back(static_cast<char>(r.name.size()));
        s += r.name;
        test::putLe32(s, static_cast<std::uint32_t>(r.payload.size()));
        s += r.payload;
    }
    return s;
}

// 16.16 fixed-point heights, file row by file row.
std::string fixedHeights(std::initializer_list<double> values) {
    std::string s;
    for (double v : values) test::putLe32(s, static_cast<std::uint32_t>(static_cast<std::int32_t>(v * 65536)));
    return s;
}

std::vector<Record> fixedPointFile(double spacing, const std::string& label, std::int32_t w, std::int32_t b,
                                   const std::string& heights) {
    return {{"hf_w", int32Payload(w)},
            {"hf_b", int32Payload(b)},
            {"hf_worldspacing", doublePayload(spacing)},
            {"hf_worldspacinglabel", label},
            {"hf_data", heights}};
}

const test::ByteRunner readBytes = test::fromMemory(ReadLeveller);

class LevellerSample : public test::TestdataTest {
protected:
    void SetUp() override {
        TestdataTest::SetUp();
        if (!IsSkipped()) bytes_ = test::readFileBytes(test::sample("leveller/ter6test.ter"));
    }
    std::string bytes_;
};

// ter6test.ter: version 6, 64 x 96 reals, spacing 10, label "ft (foot)" in
// Leveller's two-record text form. Reference: GDAL 3.6.2 ReadAsArray()
// (raw reals 1.138 .. 9.672, identical to the file) times 10 x 0.3048 and
// the prescale, truncated, with the first file row as the northern row and
// its first sample as the western one.
TEST_F(LevellerSample, RealHeightsOfVersionSixScaleBySpacingAndFootUnit) {
    ReaderHarness h;
    ASSERT_EQ(readBytes(h, bytes_), 0);
    const ElevationGrid& g = h.ws.grid;
    EXPECT_EQ(g.LastRow, 96);
    EXPECT_EQ(g.LastCol, 64);
    EXPECT_EQ(h.ui.labels[Label::Rows], "96");
    EXPECT_EQ(h.ui.labels[Label::Columns], "64");
    EXPECT_EQ(g.ElevationRange, 29 - 3);
    EXPECT_EQ(g.cell(0, 0), 26);
    EXPECT_EQ(g.cell(0, 63), 13);
    EXPECT_EQ(g.cell(95, 0), 25);
    EXPECT_EQ(g.cell(95, 63), 14);
    EXPECT_EQ(g.cell(40, 20), 19);
    EXPECT_EQ(g.cell(96, 10), 0);
    EXPECT_EQ(g.cell(10, 64), 0);
}

TEST_F(LevellerSample, PrescaleMultipliesBeforeTruncation) {
    ReaderHarness h;
    h.ws.settings.VerticalPreScale = 2;  // x 100
    ASSERT_EQ(readBytes(h, bytes_), 0);
    const ElevationGrid& g = h.ws.grid;
    EXPECT_EQ(g.ElevationRange, 2948 - 347);
    EXPECT_EQ(g.cell(0, 0), 2632);
    EXPECT_EQ(g.cell(0, 63), 1377);
    EXPECT_EQ(g.cell(95, 0), 2564);
    EXPECT_EQ(g.cell(95, 63), 1404);
    EXPECT_EQ(g.cell(40, 20), 1965);
}

TEST_F(LevellerSample, SkipElevationTakesEveryOtherRowAndSample) {
    ReaderHarness h;
    h.ws.settings.SkipElevation = true;
    ASSERT_EQ(readBytes(h, bytes_), 0);
    const ElevationGrid& g = h.ws.grid;
    EXPECT_EQ(g.LastRow, 48);
    EXPECT_EQ(g.LastCol, 32);
    // File rows 0, 2, ...; samples 0, 2, ...
    EXPECT_EQ(g.ElevationRange, 29 - 3);
    EXPECT_EQ(g.cell(0, 0), 27);
    EXPECT_EQ(g.cell(47, 31), 14);
    EXPECT_EQ(g.cell(10, 5), 25);
}

TEST_F(LevellerSample, SkipOddSettingsShiftToTheOddRowsAndSamples) {
    ReaderHarness h;
    h.ws.settings.SkipElevation = true;
    h.ws.settings.SkipElevationOdd = true;
    h.ws.settings.SkipElevationOddHor = true;
    ASSERT_EQ(readBytes(h, bytes_), 0);
    const ElevationGrid& g = h.ws.grid;
    // File rows 1, 3, ...; samples 1, 3, ...
    EXPECT_EQ(g.ElevationRange, 28 - 3);
    EXPECT_EQ(g.cell(0, 0), 26);
    EXPECT_EQ(g.cell(47, 31), 15);
    EXPECT_EQ(g.cell(10, 5), 25);
}

TEST(LevellerUnits, TableIsExactAndCaseSensitive) {
    EXPECT_DOUBLE_EQ(LevellerUnitFactor("ft"), 0.3048);
    EXPECT_DOUBLE_EQ(LevellerUnitFactor("A"), 1e-10);
    EXPECT_DOUBLE_EQ(LevellerUnitFactor("sft"), 0.3048006096012192);
    EXPECT_DOUBLE_EQ(LevellerUnitFactor("kly"), 9.4608953536e18);
    EXPECT_DOUBLE_EQ(LevellerUnitFactor("km"), 1000);
    EXPECT_DOUBLE_EQ(LevellerUnitFactor("FT"), 1);
    EXPECT_DOUBLE_EQ(LevellerUnitFactor("meters"), 1);
    EXPECT_DOUBLE_EQ(LevellerUnitFactor(""), 1);
}

TEST(LevellerHeights, FootLabelAndSpacingTwoScaleFixedPointBy0_6096) {
    // 2 x 2 heights of 100, 200, -50, 10 (north row first, west first).
    const std::string heights = fixedHeights({100, 200, -50, 10});
    ReaderHarness h;
    ASSERT_EQ(readBytes(h, leveller(5, fixedPointFile(2, "ft", 2, 2, heights))), 0);
    const ElevationGrid& g = h.ws.grid;
    ASSERT_EQ(g.LastRow, 2);
    ASSERT_EQ(g.LastCol, 2);
    // x 0.6096, truncated toward zero.
    EXPECT_EQ(g.cell(1, 1), 60);    // north-west
    EXPECT_EQ(g.cell(1, 0), 121);   // north-east
    EXPECT_EQ(g.cell(0, 1), -30);   // south-west
    EXPECT_EQ(g.cell(0, 0), 6);     // south-east
    EXPECT_EQ(g.ElevationRange, 151);

    ReaderHarness tenfold;
    tenfold.ws.settings.VerticalPreScale = 1;
    ASSERT_EQ(readBytes(tenfold, leveller(5, fixedPointFile(2, "ft", 2, 2, heights))), 0);
    EXPECT_EQ(tenfold.ws.grid.cell(1, 1), 609);
    EXPECT_EQ(tenfold.ws.grid.cell(0, 1), -304);
}

TEST(LevellerHeights, LabelMatchesOnlyItsFirstWordExactly) {
    const std::string heights = fixedHeights({100, 100, 100, 100});
    struct Case {
        std::string label;
        int expected;
    };
    const Case cases[] = {
        {"meters", 300},             // not in the table: spacing 3 alone
        {"m and more", 300},         // first word "m"
        {"km", 300000},
        {std::string("ft\0junk", 7), 91},  // the text ends at its terminator
        {std::string(300, 'x'), 300},      // a long label is cut, not overrun
    };
    for (const Case& c : cases) {
        ReaderHarness h;
        ASSERT_EQ(readBytes(h, leveller(5, fixedPointFile(3, c.label, 2, 2, heights))), 0) << c.label;
        EXPECT_EQ(h.ws.grid.cell(0, 0), c.expected) << c.label;
    }
}

TEST(LevellerHeights, LabelStoredAsLengthAndTextRecordsIsUsed) {
    const std::vector<Record> records = {{"hf_w", int32Payload(1)},
                                         {"hf_b", int32Payload(1)},
                                         {"hf_worldspacing", doublePayload(10)},
                                         {"hf_worldspacinglabell", int32Payload(9)},
                                         {"hf_worldspacinglabeld", "ft (foot)"},
                                         {"hf_data", fixedHeights({1000})}};
    ReaderHarness h;
    ASSERT_EQ(readBytes(h, leveller(5, records)), 0);
    EXPECT_EQ(h.ws.grid.cell(0, 0), 3048);
}

TEST(LevellerHeights, OtherRecordsAreSkippedWhereverTheyAre) {
    const std::vector<Record> records = {{"sago_elevunits", int32Payload(0)},
                                         {"hf_w", int32Payload(1)},
                                         {"flightPrefs_velrot", std::string(17, 'z')},
                                         {"hf_b", int32Payload(1)},
                                         {"", ""},
                                         {"hf_data", fixedHeights({42.75})},
                                         {"after", "ignored"}};
    ReaderHarness h;
    ASSERT_EQ(readBytes(h, leveller(4, records)), 0);
    EXPECT_EQ(h.ws.grid.cell(0, 0), 42);
}

TEST(LevellerHeights, RealsFromVersionSixOnFixedPointBefore) {
    std::string reals;
    test::putFloat(reals, 12.5f);
    const std::vector<Record> records = {{"hf_w", int32Payload(1)}, {"hf_b", int32Payload(1)}, {"hf_data", reals}};
    ReaderHarness v6;
    ASSERT_EQ(readBytes(v6, leveller(6, records)), 0);
    EXPECT_EQ(v6.ws.grid.cell(0, 0), 12);
    ReaderHarness v7;
    ASSERT_EQ(readBytes(v7, leveller(7, records)), 0);
    EXPECT_EQ(v7.ws.grid.cell(0, 0), 12);
    ReaderHarness v5;  // the same bits as 16.16 fixed point: 0x41480000 / 65536
    ASSERT_EQ(readBytes(v5, leveller(5, records)), 0);
    EXPECT_EQ(v5.ws.grid.cell(0, 0), 0x41480000 / 65536);
}

TEST(LevellerHeights, HugeFactorsSaturateInsteadOfOverflowing) {
    ReaderHarness h;
    ASSERT_EQ(readBytes(h, leveller(5, fixedPointFile(1e300, "m", 1, 2, fixedHeights({5, -5})))), 0);
    EXPECT_EQ(h.ws.grid.cell(1, 0), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(h.ws.grid.cell(0, 0), std::numeric_limits<std::int32_t>::min());
}

TEST(LevellerRefusal, NoHeightsMeansNoMessageAndTheOldGrid) {
    ReaderHarness h;
    EXPECT_EQ(readBytes(h, leveller(5, {{"hf_w", int32Payload(2)}, {"hf_b", int32Payload(2)}})), -1);
    EXPECT_TRUE(h.ui.messages.empty());
    EXPECT_TRUE(h.previousGridKept());

    ReaderHarness notLeveller;
    EXPECT_EQ(readBytes(notLeveller, "TRRN\5"), -1);
    EXPECT_TRUE(notLeveller.previousGridKept());
}

TEST(LevellerRefusal, NamesLongerThanSixtyFourBytesAreRefused) {
    const std::vector<Record> records = {{std::string(65, 'n'), "x"},
                                         {"hf_w", int32Payload(1)},
                                         {"hf_b", int32Payload(1)},
                                         {"hf_data", fixedHeights({1})}};
    ReaderHarness h;
    EXPECT_EQ(readBytes(h, leveller(5, records)), -1);
    EXPECT_TRUE(shownOnceContaining(h.ui, {"name of 65 bytes"}));
    EXPECT_TRUE(h.previousGridKept());

    ReaderHarness exactly64;
    std::vector<Record> ok = records;
    ok[0].name = std::string(64, 'n');
    EXPECT_EQ(readBytes(exactly64, leveller(5, ok)), 0);
}

TEST(LevellerRefusal, BadExtentsGetTheReadersMessage) {
    const std::pair<std::int32_t, std::int32_t> cases[] = {{0, 5}, {-3, 5}, {5, -1}, {1 << 20, 1 << 20}};
    for (auto [w, b] : cases) {
        ReaderHarness h;
        EXPECT_EQ(readBytes(h, leveller(5, fixedPointFile(1, "m", w, b, fixedHeights({1})))), -1);
        EXPECT_TRUE(shownOnceContaining(h.ui, {"Leveller file input.dat"}));
        EXPECT_TRUE(h.previousGridKept());
    }
}

TEST(LevellerRefusal, PayloadLengthsPastTheEndAreSafe) {
    // A skipped record claims 4 GB: the walk meets the end of the file.
    std::string bytes = leveller(5, {{"junk", "abcd"}, {"hf_data", fixedHeights({1})}});
    test::setLe32(bytes, 5 + 1 + 4, 0xFFFFFFFFu);
    ReaderHarness h;
    EXPECT_EQ(readBytes(h, bytes), -1);
    EXPECT_TRUE(h.previousGridKept());

    // The heights claim more than the file holds: what is there is read.
    std::string shortData = leveller(5, fixedPointFile(1, "m", 2, 2, fixedHeights({7, 8, 9})));
    ReaderHarness partial;
    ASSERT_EQ(readBytes(partial, shortData), 0);
    EXPECT_EQ(partial.ws.grid.cell(1, 1), 7);
    EXPECT_EQ(partial.ws.grid.cell(0, 1), 9);
    EXPECT_EQ(partial.ws.grid.cell(0, 0), 0);
}

// A refusal may be silent but must keep the previous grid.
const test::HarnessRules kRobustness{.silentRefusalAllowed = true};

TEST_F(LevellerSample, EveryPrefixEndsInAMessageOrARead) {
    // Every prefix through the records and into the heights, then every 97th.
    test::checkPrefixes(readBytes, bytes_, test::prefixLengths(bytes_.size(), 4096, 97), kRobustness);
}

TEST_F(LevellerSample, DamagedFilesNeverMisbehave) {
    // The records up to the heights start at byte 3893.
    test::checkDamaged(readBytes, test::headerDamage(bytes_, 3893, 1234567u), 1000, kRobustness);
}

}  // namespace
}  // namespace gorvale
