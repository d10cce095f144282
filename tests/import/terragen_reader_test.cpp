#include "import/terragen_reader.h"

#include <gtest/gtest.h>

#include <optional>

#include "tests/import/reader_test_support.h"

namespace gorvale {
namespace {

using test::ReaderHarness;

constexpr long kAfterSignature = 8;

struct TerragenContent {
    std::uint16_t size = 1;
    std::optional<std::uint16_t> xpts;
    std::optional<std::uint16_t> ypts;
    bool yptsFirst = false;
    std::int16_t heightScale = 0;
    std::int16_t baseHeight = 0;
    std::vector<std::int16_t> heights;  // south row first, west first
    bool scaleChunk = true;
};

// Laid out as Terragen and GDAL write it.
std::string terragen(const TerragenContent& t) {
    std::string s = "TERRAGENTERRAIN SIZE";
    test::putLe16(s, t.size);
    test::putLe16(s, 0);
    auto points = [&](const char* marker, std::optional<std::uint16_t> v) {
        if (!v) return;
        s += marker;
        test::putLe16(s, *v);
        test::putLe16(s, 0);
    };
    if (t.yptsFirst) {
        points("YPTS", t.ypts);
        points("XPTS", t.xpts);
    } else {
        points("XPTS", t.xpts);
        points("YPTS", t.ypts);
    }
    if (t.scaleChunk) {
        s += "SCAL";
        for (int k = 0; k < 3; ++k) test::putFloat(s, 30.0f);
        s += "CRAD";
        test::putFloat(s, 6370.0f);
        s += "CRVM";
        test::putLe32(s, 0);
    }
    s += "ALTW";
    test::putLe16(s, static_cast<std::uint16_t>(t.heightScale));
    test::putLe16(s, static_cast<std::uint16_t>(t.baseHeight));
    for (std::int16_t h : t.heights) test::putLe16(s, static_cast<std::uint16_t>(h));
    if (t.heights.size() % 2 == 1) test::putLe16(s, 0);
    s += "EOF ";
    return s;
}

const test::ByteRunner readBytes = test::fromMemory(ReadTerragen, kAfterSignature);

class TerragenSamples : public test::TestdataTest {
protected:
    static std::string bytesOf(const std::string& relative) {
        return test::readFileBytes(test::sample(relative));
    }
};

// Reference values: GDAL 3.6.2 ReadAsArray() gives the raw 16-bit heights
// (it flips the file's south-first rows); each is turned into
// trunc(h * float(HeightScale * 0.015259720441921506) + float(BaseHeight - offset)) - BaseHeight
// and placed with the western value at the highest column.
TEST_F(TerragenSamples, Float32FileReadsInThousandthsOfItsUnit) {
    ReaderHarness h;
    ASSERT_EQ(readBytes(h, bytesOf("terragen/float32.ter")), 0);
    const ElevationGrid& g = h.ws.grid;
    EXPECT_EQ(g.LastRow, 19);
    EXPECT_EQ(g.LastCol, 19);
    EXPECT_EQ(h.ui.labels[Label::Rows], "20");
    EXPECT_EQ(h.ui.labels[Label::Columns], "20");
    // HeightScale 6, BaseHeight 2; values before BaseHeight is taken off: -764 .. 2252.
    EXPECT_EQ(g.ElevationRange, 2252 + 764);
    EXPECT_EQ(g.cell(0, 0), -216);
    EXPECT_EQ(g.cell(0, 19), 1016);
    EXPECT_EQ(g.cell(19, 0), 466);
    EXPECT_EQ(g.cell(19, 19), -216);
    EXPECT_EQ(g.cell(9, 6), 883);
    // ToNorth = yPts = 20, snapped below LastRow.
    EXPECT_EQ(h.ws.settings.ToNorth, "18");
    EXPECT_EQ(h.ws.settings.ToEast, "18");
}

TEST_F(TerragenSamples, ReadingOffsetLowersHeightsBeforeTruncation) {
    ReaderHarness h;
    h.ws.settings.TerragenReadingOffset = "100";
    ASSERT_EQ(readBytes(h, bytesOf("terragen/float32.ter")), 0);
    const ElevationGrid& g = h.ws.grid;
    EXPECT_EQ(g.ElevationRange, 2152 + 864);
    EXPECT_EQ(g.cell(0, 0), -316);
    EXPECT_EQ(g.cell(0, 19), 916);
    EXPECT_EQ(g.cell(19, 0), 366);
    EXPECT_EQ(g.cell(9, 6), 783);
}

TEST_F(TerragenSamples, SkipElevationTakesEveryOtherRowAndColumn) {
    ReaderHarness h;
    h.ws.settings.SkipElevation = true;
    ASSERT_EQ(readBytes(h, bytesOf("terragen/float32.ter")), 0);
    const ElevationGrid& g = h.ws.grid;
    EXPECT_EQ(g.LastRow, 9);
    EXPECT_EQ(g.LastCol, 9);
    EXPECT_EQ(g.ElevationRange, 1435 + 347);
    EXPECT_EQ(g.cell(0, 0), -349);
    EXPECT_EQ(g.cell(0, 9), 1016);
    EXPECT_EQ(g.cell(9, 0), -349);
    EXPECT_EQ(g.cell(9, 9), -83);
    EXPECT_EQ(g.cell(4, 3), -216);
}

TEST_F(TerragenSamples, GdalWrittenFileWithNegativeBaseHeight) {
    ReaderHarness h;
    ASSERT_EQ(readBytes(h, bytesOf("gdal-written/n43_terragen.ter")), 0);
    const ElevationGrid& g = h.ws.grid;
    EXPECT_EQ(g.LastRow, 120);
    EXPECT_EQ(g.LastCol, 120);
    // HeightScale 4, BaseHeight -1: 1093 .. 1578 before BaseHeight is taken off.
    EXPECT_EQ(g.ElevationRange, 1578 - 1093);
    EXPECT_EQ(g.cell(0, 0), 1229);
    EXPECT_EQ(g.cell(0, 120), 1254);
    EXPECT_EQ(g.cell(120, 0), 1311);
    EXPECT_EQ(g.cell(120, 120), 1370);
    EXPECT_EQ(g.cell(60, 40), 1094);
}

TEST(TerragenLayout, Size256WithoutPointCountsGives257Square) {
    TerragenContent t;
    t.size = 256;
    t.heightScale = 65;
    t.heights.assign(257 * 257, 0);
    t.heights[0] = 1000;             // south-west corner
    t.heights[256] = 2000;           // south-east corner
    t.heights[256 * 257] = -1000;    // north-west corner
    ReaderHarness h;
    ASSERT_EQ(readBytes(h, terragen(t)), 0);
    const ElevationGrid& g = h.ws.grid;
    EXPECT_EQ(g.LastRow, 256);
    EXPECT_EQ(g.LastCol, 256);
    EXPECT_EQ(h.ui.labels[Label::Rows], "257");
    EXPECT_EQ(h.ui.labels[Label::Columns], "257");
    // 1000 * 65 / 65.532 = 991.88...
    EXPECT_EQ(g.cell(0, 256), 991);
    EXPECT_EQ(g.cell(0, 0), 1983);
    EXPECT_EQ(g.cell(256, 256), -991);
}

TEST(TerragenLayout, PointCountsOverrideSizeInEitherOrder) {
    for (bool yFirst : {false, true}) {
        TerragenContent t;
        t.size = 1;
        t.xpts = 3;
        t.ypts = 2;
        t.yptsFirst = yFirst;
        t.heightScale = 16383;  // 16383 / 65.532 rounds to 250.0 as a float
        t.heights = {1, 2, 3, 4, 5, 6};
        ReaderHarness h;
        ASSERT_EQ(readBytes(h, terragen(t)), 0);
        const ElevationGrid& g = h.ws.grid;
        ASSERT_EQ(g.LastRow, 1);
        ASSERT_EQ(g.LastCol, 2);
        // South row (1, 2, 3) west first lands as (3, 2, 1) from the east.
        EXPECT_EQ(g.cell(0, 2), 250);
        EXPECT_EQ(g.cell(0, 0), 750);
        EXPECT_EQ(g.cell(1, 2), 1000);
        EXPECT_EQ(g.cell(1, 0), 1500);
    }
}

TEST(TerragenLayout, OddRowLengthAndMissingEndMarkerAreFine) {
    TerragenContent t;
    t.size = 2;  // 3 x 3
    t.heightScale = 100;
    t.heights = {0, 0, 0, 0, 655, 0, 0, 0, 0};
    t.scaleChunk = false;
    std::string bytes = terragen(t);
    bytes.resize(bytes.size() - 6);  // no padding, no "EOF "
    ReaderHarness h;
    ASSERT_EQ(readBytes(h, bytes), 0);
    EXPECT_EQ(h.ws.grid.cell(1, 1), 999);  // 655 * 100 / 65.532
}

TEST(TerragenLayout, ProgressStaysInRangeForSmallFiles) {
    TerragenContent t;
    t.size = 3;
    t.heights.assign(16, 7);
    ReaderHarness h;
    ASSERT_EQ(readBytes(h, terragen(t)), 0);
    ASSERT_FALSE(h.ui.progress.empty());
    for (int p : h.ui.progress) {
        EXPECT_GE(p, 0);
        EXPECT_LE(p, UserInterface::kProgressMax);
    }
    EXPECT_EQ(h.ui.progress.back(), 0);
    EXPECT_FALSE(h.ui.busy);
}

TEST(TerragenRefusal, MissingMarkersStopSilently) {
    TerragenContent t;
    t.size = 1;
    t.heights = {1, 2, 3, 4};
    const std::string good = terragen(t);
    std::string noTerrain = good;
    noTerrain[8] = 'X';
    std::string noSize = good;
    noSize[16] = 's';
    std::string noAltitude = good;
    noAltitude.replace(noAltitude.find("ALTW"), 4, "ALTX");
    for (const std::string& bytes : {noTerrain, noSize, noAltitude}) {
        ReaderHarness h;
        EXPECT_EQ(readBytes(h, bytes), -1);
        EXPECT_TRUE(h.ui.messages.empty());
        EXPECT_TRUE(h.previousGridKept());
    }
}

TEST_F(TerragenSamples, HeaderCutBeforeTheAltitudeMarkerStopsSilently) {
    const std::string bytes = bytesOf("terragen/float32.ter");
    const std::size_t altitude = bytes.find("ALTW");
    ASSERT_EQ(altitude, 40u);
    ReaderHarness cut;
    EXPECT_EQ(readBytes(cut, bytes.substr(0, altitude + 3)), -1);
    EXPECT_TRUE(cut.ui.messages.empty());
    EXPECT_TRUE(cut.previousGridKept());
    // With the marker but no heights the grid is there, all zeros.
    ReaderHarness empty;
    ASSERT_EQ(readBytes(empty, bytes.substr(0, altitude + 4)), 0);
    EXPECT_EQ(empty.ws.grid.LastRow, 19);
    EXPECT_EQ(empty.ws.grid.cell(5, 5), 0);
    EXPECT_EQ(empty.ws.grid.ElevationRange, 0);
}

TEST(TerragenRefusal, ZeroPointCountsGetTheReadersMessage) {
    TerragenContent t;
    t.xpts = 0;
    ReaderHarness h;
    EXPECT_EQ(readBytes(h, terragen(t)), -1);
    EXPECT_TRUE(test::shownOnceContaining(h.ui, {"Terragen file input.dat: invalid grid size"}));
    EXPECT_TRUE(h.previousGridKept());
    EXPECT_FALSE(h.ui.busy);
}

TEST(TerragenRefusal, HugeReadingOffsetSaturates) {
    TerragenContent t;
    t.size = 1;
    t.heights = {1, 2, 3, 4};
    ReaderHarness h;
    h.ws.settings.TerragenReadingOffset = "1e30";
    ASSERT_EQ(readBytes(h, terragen(t)), 0);
    EXPECT_EQ(h.ws.grid.cell(0, 0), std::numeric_limits<std::int32_t>::min());
}

// A refusal may be silent but must keep the previous grid.
const test::HarnessRules kRobustness{.silentRefusalAllowed = true};

TEST_F(TerragenSamples, EveryPrefixEndsInAMessageOrARead) {
    const std::string small = bytesOf("terragen/float32.ter");
    test::checkPrefixes(readBytes, small, test::prefixLengths(small.size(), 1000, 1), kRobustness);
    // Every prefix through the header and the first rows, then every 97th.
    const std::string n43 = bytesOf("gdal-written/n43_terragen.ter");
    test::checkPrefixes(readBytes, n43, test::prefixLengths(n43.size(), 1024, 97), kRobustness);
}

TEST_F(TerragenSamples, DamagedFilesNeverMisbehave) {
    test::checkDamaged(readBytes, test::headerDamage(bytesOf("terragen/float32.ter"), 48, 99u), 800, kRobustness);
    test::checkDamaged(readBytes, test::headerDamage(bytesOf("gdal-written/n43_terragen.ter"), 48, 5u), 300,
                       kRobustness);
}

}  // namespace
}  // namespace gorvale
