#include "import/usgs_dem_reader.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "base/text_convert.h"
#include "tests/import/reader_test_support.h"

namespace gorvale {
namespace {

using test::ScratchDir;

// ---- Running the reader ---------------------------------------------------

// The stream is opened in text mode, as the format dispatch hands it over.
const test::PathReader kReadUsgsDem = test::streamReader(&ReadUsgsDem, "r");

// One workspace reading DEMs; readBytes() calls its file "a.dem".
struct DemRun : test::ReaderRun {
    DemRun() : ReaderRun(kReadUsgsDem, "a.dem") {}
};

// Bytes held in memory read through a text stream (no file needed).
const test::ByteRunner readBytes = test::fromMemory(ReadUsgsDem, 0, "r");

// ---- Hand-made DEMs ---------------------------------------------------------

std::string padTo(std::string s, std::size_t width) {
    s.resize(std::max(s.size(), width), ' ');
    return s;
}
std::string padToBlock(std::string s) { return padTo(s, (s.size() + 1023) / 1024 * 1024); }
std::string i6(int v) { return format("%6d", v); }
// D24.15 as FORTRAN writes it: a D before the exponent.
std::string d24(double v) {
    std::string s = format("%24.15E", v);
    std::replace(s.begin(), s.end(), 'E', 'D');
    return s;
}
std::string e12(double v) { return format("%12.6E", v); }

// A UTM-style DEM: 30 m spacing, corners 60 m apart west-east and 90 m
// south-north, so 3 profiles of 4 points (LastCol 3, LastRow 4).
struct HeaderFields {
    std::string name = "HAND MADE TEST DEM";
    double west = 1000, south = 2000, east = 1060, north = 2090;
    double minElevation = 100, maxElevation = 400;
    std::string resolution = e12(30) + e12(30) + e12(1);
    int profileCount = 3;
};

std::string recordA(const HeaderFields& s) {
    std::string r = padTo(s.name, 144);
    r += i6(1) + i6(1) + i6(1) + i6(10);
    for (int i = 0; i < 15; ++i) r += d24(0);
    r += i6(2) + i6(2) + i6(4);
    for (double v : {s.west, s.south, s.west, s.north, s.east, s.north, s.east, s.south})
        r += d24(v);
    r += d24(s.minElevation) + d24(s.maxElevation) + d24(0);
    r += i6(0) + s.resolution + i6(1) + i6(s.profileCount);
    return padTo(r, 1024);
}

std::string profileHeader(int row, int col, int count, double x, double y) {
    return i6(row) + i6(col) + i6(count) + i6(1) + d24(x) + d24(y) + d24(0) + d24(100) + d24(400);
}

std::string profile(int col, double x, double y, const std::vector<int>& elevations) {
    std::string p = profileHeader(1, col, static_cast<int>(elevations.size()), x, y);
    for (int e : elevations) p += i6(e);
    return padToBlock(p);
}

// Elevation of profile c (1 = west), point k (0 = south) in the standard file.
int standardValue(int c, int k) { return 100 * c + k; }

std::vector<int> standardColumn(int c, int points = 4) {
    std::vector<int> v;
    for (int k = 0; k < points; ++k) v.push_back(standardValue(c, k));
    return v;
}

std::string standardProfiles() {
    return profile(1, 1000, 2000, standardColumn(1)) + profile(2, 1030, 2000, standardColumn(2)) +
           profile(3, 1060, 2000, standardColumn(3));
}

std::string standardDem() { return recordA(HeaderFields{}) + standardProfiles(); }

void expectStandardGrid(const ElevationGrid& g) {
    ASSERT_EQ(g.LastCol, 3);
    ASSERT_EQ(g.LastRow, 4);
    ASSERT_TRUE(g.hasStorage());
    for (int c = 1; c <= 3; ++c)
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(g.cell(k, 3 - c), standardValue(c, k)) << "profile " << c << " point " << k;
    for (int k = 0; k <= 4; ++k) EXPECT_EQ(g.cell(k, 3), 0) << "column LastCol is never written";
    for (int col = 0; col <= 3; ++col)
        EXPECT_EQ(g.cell(4, col), 0) << "row LastRow is never written";
}

// The same header broken into short lines, read as a stream of numbers.
std::string streamRecordA(const std::string& lineEnd, const std::string& resolution) {
    std::string r = padTo("LINE BROKEN HEADER", 144);
    r += "     1     1     1    10" + lineEnd;
    for (int i = 0; i < 15; ++i) r += "  0.0D+00";
    r += lineEnd + "     2     2     4" + lineEnd;
    r += " 1000.0 2000.0 1000.0 2090.0" + lineEnd + " 1060.0 2090.0 1060.0 2000.0" + lineEnd;
    r += "  100.0  400.0  0.0" + lineEnd;
    r += "     0" + resolution + lineEnd;
    r += "     1     3" + lineEnd;
    return r;
}

std::vector<std::int32_t> column(const ElevationGrid& g, int col, int rows) {
    std::vector<std::int32_t> v;
    for (int r = 0; r < rows; ++r) v.push_back(g.cell(r, col));
    return v;
}

// ---- Real samples -------------------------------------------------------------

struct Cell {
    int row;
    int col;
    std::int32_t value;
};

struct SampleExpectation {
    const char* file;
    const char* name;
    std::int32_t lastRow;
    std::int32_t lastCol;
    std::int32_t elevationRange;  // from record A's minimum and maximum
    // Range of the data GDAL reads as valid (void -32767 and unwritten 0 left out);
    // no values when the sample holds none.
    bool hasValues;
    std::int32_t valueMin;
    std::int32_t valueMax;
    std::vector<Cell> cells;
};

// Reference values from GDAL 3.6.2 (python osgeo, ReadAsArray), mapped to this
// program's orientation: GDAL pixel (x, y) with y = 0 north is our column
// LastCol - 1 - x and row (GDAL rows - 1 - y) + shift, where the shift comes
// from the profile's first northing ((y - minY) / dy, truncated); GDAL adds the
// profile datum and applies the z resolution, so its Float32 values v of
// 39109h1 are (v - 1522.6) / 0.07305 here. Extents: the corner span divided
// by the resolution, truncated, + 1, or the profile count when larger
// (GDAL's own size is the profile count by the rows it finds).
const std::vector<SampleExpectation>& realSamples() {
    static const std::vector<SampleExpectation> samples = {
        // GDAL 1 x 1201, all nodata; corners 900" apart at 0.75" give 1200 + 1.
        {"usgsdem/114p01_0100_deme_truncated.dem",
         "                              114p01DEMe   Base Mapping and Geomatic Services - B.C. "
         "Gov. - "
         "Victoria         -13615 0.0000  59 0 0.00009    BC",
         1201,
         1201,
         0,
         false,
         0,
         0,
         {{0, 1200, -32767}, {1200, 1200, -32767}, {600, 1200, -32767}, {0, 1199, 0}}},
        // GDAL 2 x 470, 325..385: x=0,y=82 -> 349; x=0,y=6 -> 335; x=1,y=153 -> 338; x=1,y=79 ->
        // 352.
        {"usgsdem/39079G6_truncated.dem",
         "BROWNFIELD, PA - 24000  LAT:: 39.75 LONG:: -79.625 SCALE:: 24000 SDTS2DEM v.0.013, by "
         "Sol "
         "Katz (11/98)",
         468,
         364,
         537,
         true,
         325,
         385,
         {{386, 363, 349},
          {424, 363, 375},
          {462, 363, 335},
          {385, 363, 0},
          {315, 362, 338},
          {389, 362, 352},
          {462, 362, 333},
          {314, 362, 0}}},
        // GDAL 2 x 1411 Float32 1687.40..1716.99: x=0,y=29 -> 1715.0137; x=1,y=76 -> 1687.4008.
        {"usgsdem/39109h1_truncated.dem",
         "39109h1_grd                                                 "
         "            39109h1_grd",
         1411,
         1099,
         731,
         true,
         2256,
         2661,
         {{1381, 1098, 2634}, {1334, 1097, 2256}, {0, 1098, -32767}, {1410, 1097, -32767}}},
        // GDAL 2 x 1201, -32000..120: x=0,y=1200 -> 98; x=0,y=600 -> 90; x=0,y=0 -> -32000.
        {"usgsdem/4619old_truncated.dem",
         "RealWorld Data, L.L.C.        - 1 Degree Terrain File Format",
         1201,
         1201,
         81,
         true,
         -32000,
         120,
         {{0, 1200, 98}, {600, 1200, 90}, {1200, 1200, -32000}, {0, 1199, 98}, {600, 1199, 90}}},
        // GDAL 2129 x 2797 (header only; no pixels): 2979 m / 1.4 = 2127 + 1 < 2129 profiles;
        // 3913 m / 1.4 = 2795 + 1 = the first profile's 2796 points.
        {"usgsdem/fema06-140cm_2995441b_truncated.dem",
         "u299544_1_a                             DEM derived from LIDAR data, Sanborn             "
         " "
         "                   -0953334.4196 0292028.90687    CONT",
         2796,
         2129,
         18,
         false,
         0,
         0,
         {{0, 2128, 0}, {2795, 0, 0}}},
        // GDAL 3 x 468, -1..36: x=2,y=259 -> -1; x=1,y=77 -> 21; x=2,y=4 -> 1; x=0,y=10 -> 1.
        {"usgsdem/usgsdem_with_extra_values_at_end_of_profile.dem",
         "FILE WITH EXTRA VALUES AT THE END OF THE PROFILE.",
         466,
         370,
         329,
         true,
         -1,
         36,
         {{207, 367, -1},
          {389, 368, 21},
          {462, 367, 1},
          {456, 369, 1},
          {459, 369, -1},
          {462, 368, 1}}},
        // GDAL 1 x 468, -1..2: x=0,y=10 -> 1; x=0,y=7 -> -1; x=0,y=4 -> 1.
        {"usgsdem/usgsdem_with_spaces_after_byte_864.dem",
         "FILE WITH SPACES BETWEEN BYTE 864 AND 1024",
         466,
         370,
         329,
         true,
         -1,
         2,
         {{456, 369, 1}, {459, 369, -1}, {462, 369, 1}, {455, 369, 0}}},
        // GDAL 343 x 471, 1520..1826: x=171,y=235 -> 1601; corners void (-32767).
        {"gdal-written/8821_usgsdem.dem",
         "                        8821_usgsdem.dem",
         471,
         343,
         306,
         true,
         1520,
         1826,
         {{235, 171, 1601}, {0, 0, -32767}, {470, 342, -32767}}},
        // GDAL 121 x 121, 75..460: x=120,y=120 -> 182; x=120,y=0 -> 247; x=0,y=0 -> 294; x=60,y=60
        // -> 75.
        {"gdal-written/n43_usgsdem.dem",
         "                         n43_usgsdem.dem                                                 "
         "     "
         "                -80 0 0.0000  43 0 0.0000",
         121,
         121,
         385,
         true,
         75,
         460,
         {{0, 0, 182},
          {120, 0, 247},
          {0, 120, 202},
          {120, 120, 294},
          {60, 60, 75},
          {60, 120, 304}}},
    };
    return samples;
}

TEST(UsgsDemRealSamples, ReadWithGdalExtentsRangesAndCells) {
    for (const SampleExpectation& e : realSamples()) {
        SCOPED_TRACE(e.file);
        DemRun r;
        ASSERT_EQ(r.read(test::sample(e.file)), 0);
        EXPECT_TRUE(r.ui.messages.empty());
        const ElevationGrid& g = r.ws.grid;
        EXPECT_EQ(g.LastRow, e.lastRow);
        EXPECT_EQ(g.LastCol, e.lastCol);
        EXPECT_EQ(g.ElevationRange, e.elevationRange);
        EXPECT_EQ(r.ui.labels[Label::DemName], e.name);
        EXPECT_EQ(r.ui.labels[Label::Rows], std::to_string(e.lastRow + 1));
        EXPECT_EQ(r.ui.labels[Label::Columns], std::to_string(e.lastCol + 1));
        EXPECT_EQ(r.ui.labels[Label::ElevationRange], std::to_string(e.elevationRange));
        EXPECT_EQ(g.AllocatedRows(), std::max(e.lastRow, e.lastCol) + 1);
        for (const Cell& c : e.cells)
            EXPECT_EQ(g.cell(c.row, c.col), c.value) << c.row << "," << c.col;
        std::int32_t lo = 32767, hi = -32767;
        bool any = false;
        for (int row = 0; row < g.AllocatedRows(); ++row)
            for (int col = 0; col < g.AllocatedCols(); ++col) {
                const std::int32_t v = g.cell(row, col);
                if (v == 0 || v == -32767) continue;
                any = true;
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
        EXPECT_EQ(any, e.hasValues);
        if (e.hasValues) {
            EXPECT_EQ(lo, e.valueMin);
            EXPECT_EQ(hi, e.valueMax);
        }
        EXPECT_TRUE(r.ws.gridLoaded);
        EXPECT_TRUE(r.ui.commands[Command::Generate]);
        EXPECT_EQ(g.RowLimit, e.lastRow);
        EXPECT_EQ(g.ColLimit, e.lastCol);
    }
}

TEST(UsgsDemRealSamples, VoidCellsKeepTheFileValue) {
    // SOURCES.md: the SDTS source has 7981 void cells; GDAL's USGS DEM writes them -32767.
    DemRun r;
    ASSERT_EQ(r.read(test::sample("gdal-written/8821_usgsdem.dem")), 0);
    const ElevationGrid& g = r.ws.grid;
    int voids = 0;
    for (int row = 0; row < g.AllocatedRows(); ++row)
        for (int col = 0; col < g.AllocatedCols(); ++col) voids += g.cell(row, col) == -32767;
    EXPECT_EQ(voids, 7981);
}

// ---- Record A -------------------------------------------------------------

TEST(UsgsDemHeader, ReadsHandMadeFileIntoEastFirstSouthFirstGrid) {
    DemRun r;
    ASSERT_EQ(r.readBytes(standardDem()), 0);
    expectStandardGrid(r.ws.grid);
    EXPECT_EQ(r.ui.labels[Label::DemName], "HAND MADE TEST DEM");
    EXPECT_EQ(r.ui.labels[Label::Rows], "5");
    EXPECT_EQ(r.ui.labels[Label::Columns], "4");
    EXPECT_EQ(r.ui.labels[Label::ElevationRange], "300");
    EXPECT_EQ(r.ws.settings.ToEast, "2");
    EXPECT_EQ(r.ws.settings.ToNorth, "3");
}

TEST(UsgsDemHeader, ControlCharacterStartSkips128CharactersAndCountsFromThere) {
    // Record A is exactly 1024 characters with no line break: the profile
    // starts right after it only if the count began after the 128-byte block.
    std::string prefix(128, 'x');
    prefix[0] = '\x01';
    DemRun r;
    ASSERT_EQ(r.readBytes(prefix + standardDem()), 0);
    expectStandardGrid(r.ws.grid);
    EXPECT_EQ(r.ui.labels[Label::DemName], "HAND MADE TEST DEM");
}

TEST(UsgsDemHeader, BlankFieldsThreeDigitExponentsAndRunTogetherResolutionByColumns) {
    HeaderFields fields;
    fields.resolution = "3.00000D+0013.00000D+0011.00000D+000";
    std::string a = recordA(fields);
    a.replace(162, 6, "      ");                     // zone (columns 163-168) left blank
    a.replace(168, 24, "  0.000000000000000D+000");  // first projection parameter, 3-digit exponent
    DemRun r;
    ASSERT_EQ(r.readBytes(a + standardProfiles()), 0);
    expectStandardGrid(r.ws.grid);
}

TEST(UsgsDemHeader, LowerCaseExponentsAndFractionalResolution) {
    // 0.75 spacing: a 10-unit span gives 13.33 -> 13 intervals; the profile's
    // first point 2 units north of the corner lands on row 2 (2.67 truncated).
    HeaderFields fields;
    fields.west = 0, fields.east = 10, fields.south = 0, fields.north = 10;
    fields.resolution = "7.500000e-017.500000e-011.000000e+00";
    fields.profileCount = 1;
    std::string p = i6(1) + i6(1) + i6(3) + i6(1) +
                    "  -0.000000000000000e+00   2.000000000000000e+00" + d24(0) + d24(1) +
                    "   3.000000000000000e+00" + i6(7) + i6(8) + i6(9);
    DemRun r;
    ASSERT_EQ(r.readBytes(recordA(fields) + p), 0);
    const ElevationGrid& g = r.ws.grid;
    EXPECT_EQ(g.LastCol, 14);
    EXPECT_EQ(g.LastRow, 14);
    EXPECT_EQ(column(g, 13, 6), (std::vector<std::int32_t>{0, 0, 7, 8, 9, 0}));
}

TEST(UsgsDemHeader, ExtentsTruncateAFractionOfOneHalfOrMore) {
    // 10 units at 0.6 are 16.67 intervals: 16 + 1 points, LastCol 17 (a
    // rounded quotient would give 18).
    HeaderFields fields;
    fields.west = 0, fields.east = 10, fields.south = 0, fields.north = 10;
    fields.resolution = "6.000000e-016.000000e-011.000000e+00";
    fields.profileCount = 1;
    DemRun r;
    ASSERT_EQ(r.readBytes(recordA(fields) + profile(1, 0, 0, {7, 8, 9})), 0);
    EXPECT_EQ(r.ws.grid.LastCol, 17);
    EXPECT_EQ(r.ws.grid.LastRow, 17);
}

TEST(UsgsDemHeader, OneDegreeCornersAtThreeSecondsGive1202Columns) {
    HeaderFields fields;
    fields.west = 68400, fields.east = 72000, fields.south = 165600, fields.north = 169200;
    fields.resolution = e12(3) + e12(3) + e12(1);
    fields.profileCount = 2;
    std::vector<int> points(1201, 5);
    DemRun r;
    ASSERT_EQ(r.readBytes(recordA(fields) + profile(1, 68400, 165600, points) +
                              profile(2, 68403, 165600, points)), 0);
    EXPECT_EQ(r.ws.grid.LastCol, 1201);
    EXPECT_EQ(r.ws.grid.LastRow, 1201);
    EXPECT_EQ(r.ui.labels[Label::Columns], "1202");
    EXPECT_EQ(r.ws.grid.cell(1200, 1200), 5);
    EXPECT_EQ(r.ws.grid.cell(1200, 1199), 5);
    EXPECT_EQ(r.ws.grid.cell(1200, 1198), 0);
}

TEST(UsgsDemHeader, MoreProfilesThanTheCornerExtentWidenTheGrid) {
    HeaderFields fields;
    fields.profileCount = 5;  // corners give LastCol 3
    std::string body;
    for (int c = 1; c <= 5; ++c) body += profile(c, 1000 + 30 * (c - 1), 2000, standardColumn(c));
    DemRun r;
    ASSERT_EQ(r.readBytes(recordA(fields) + body), 0);
    const ElevationGrid& g = r.ws.grid;
    EXPECT_EQ(g.LastCol, 5);
    EXPECT_EQ(r.ui.labels[Label::Columns], "6");
    for (int c = 1; c <= 5; ++c) EXPECT_EQ(g.cell(0, 5 - c), standardValue(c, 0)) << c;
}

TEST(UsgsDemHeader, LineBrokenHeaderIsReadAsNumbersWithDExponentsInIntegerFields) {
    // The resolution 30 is written as D-exponent reals in integer-reader fields.
    for (const std::string lineEnd : {std::string("\n"), std::string("\r\n")}) {
        SCOPED_TRACE(lineEnd.size());
        DemRun r;
        ASSERT_EQ(r.readBytes(streamRecordA(lineEnd, "0.300000D+020.300000D+020.100000D+01") + standardProfiles()), 0);
        expectStandardGrid(r.ws.grid);
        EXPECT_EQ(r.ui.labels[Label::DemName], "LINE BROKEN HEADER");
        EXPECT_EQ(r.ui.labels[Label::ElevationRange], "300");
    }
}

TEST(UsgsDemHeader, SkipOfRecordAStopsAtTheLineBreakAndTakesOneMoreCharacter) {
    // After the LF ending record A one more character is consumed: the "7" here.
    // Were it left, it would be read as the profile's row number and shift
    // every field after it.
    DemRun r;
    ASSERT_EQ(r.readBytes(streamRecordA("\n", " 30 30 1") + "7" + standardProfiles()), 0);
    expectStandardGrid(r.ws.grid);
}

TEST(UsgsDemHeader, UnusableResolutionIsRefusedAndTheGridKept) {
    for (const std::string res :
         {e12(0) + e12(30) + e12(1), e12(30) + "-3.00000E+01" + e12(1), std::string(36, ' ')}) {
        SCOPED_TRACE(res);
        DemRun r;
        ASSERT_EQ(r.readBytes(standardDem()), 0);
        r.ui.labels.clear();
        HeaderFields fields;
        fields.resolution = res;
        const std::filesystem::path bad = r.dir / "bad.dem";
        test::writeFileBytes(bad, recordA(fields) + standardProfiles());
        EXPECT_EQ(r.read(bad), -1);
        ASSERT_TRUE(test::shownOnceContaining(r.ui, {bad.string(), "resolution"}));
        EXPECT_EQ(r.ui.messages[0].kind, MessageKind::Error);
        expectStandardGrid(r.ws.grid);
        EXPECT_TRUE(r.ui.labels.empty()) << "nothing shown for a refused file";
    }
}

TEST(UsgsDemHeader, ExtentsBeyondTheCellLimitAreRefusedAndTheGridKept) {
    HeaderFields wide;  // 20000 columns: 20001^2 cells
    wide.east = 1000 + 30.0 * 20000;
    HeaderFields manyProfiles;
    manyProfiles.profileCount = 999999;
    std::string longFirstProfile =
        recordA(HeaderFields{}) + "     1     1 2000000000     1" + d24(1000) + d24(2000);
    for (const std::string& bytes :
         {recordA(wide) + standardProfiles(), recordA(manyProfiles) + standardProfiles(),
          longFirstProfile}) {
        DemRun r;
        ASSERT_EQ(r.readBytes(standardDem()), 0);
        const std::filesystem::path huge = r.dir / "huge.dem";
        test::writeFileBytes(huge, bytes);
        EXPECT_EQ(r.read(huge), -1);
        EXPECT_TRUE(test::shownOnceContaining(r.ui, {huge.string()}));
        expectStandardGrid(r.ws.grid);
    }
}

TEST(UsgsDemHeader, EmptyAndForeignFilesEndInAMessage) {
    for (const std::string bytes :
         {std::string(), std::string("hello\n"), std::string(3000, '\0')}) {
        test::ReaderHarness h("foreign.dem", false);
        EXPECT_EQ(readBytes(h, bytes), -1);
        EXPECT_TRUE(test::shownOnceContaining(h.ui, {"foreign.dem"}));
        EXPECT_FALSE(h.ws.grid.hasStorage());
    }
}

// ---- Profiles -----------------------------------------------------------------

TEST(UsgsDemProfiles, ProfilesAreColumnsByTheirPlaceInTheFile) {
    // Numbered from 0, or with row and column swapped: the place decides.
    std::string body = profile(0, 1000, 2000, standardColumn(1)) +
                       profile(0, 1030, 2000, standardColumn(2)) +
                       profile(0, 1060, 2000, standardColumn(3));
    std::string swapped = standardProfiles();
    for (std::size_t block = 0; block < 3; ++block)
        swapped.replace(block * 1024, 12, i6(static_cast<int>(block) + 1) + i6(1));
    for (const std::string& profiles : {body, swapped}) {
        DemRun r;
        ASSERT_EQ(r.readBytes(recordA(HeaderFields{}) + profiles), 0);
        expectStandardGrid(r.ws.grid);
        EXPECT_EQ(r.ui.events, 3);  // a long read handles window events once per profile
    }
}

TEST(UsgsDemProfiles, ReadingStopsAfterTheHeadersNumberOfProfiles) {
    HeaderFields fields;
    fields.profileCount = 2;
    DemRun r;
    ASSERT_EQ(r.readBytes(recordA(fields) + standardProfiles()), 0);
    const ElevationGrid& g = r.ws.grid;
    EXPECT_EQ(column(g, 2, 4), (std::vector<std::int32_t>{100, 101, 102, 103}));
    EXPECT_EQ(column(g, 1, 4), (std::vector<std::int32_t>{200, 201, 202, 203}));
    EXPECT_EQ(column(g, 0, 4), (std::vector<std::int32_t>{0, 0, 0, 0}));
}

TEST(UsgsDemProfiles, ProfilesStartingFurtherNorthArePlacedAtTheirRowOffset) {
    std::string body = profile(1, 1000, 2060, {1, 2}) + profile(2, 1030, 2030, {3, 4, 5}) +
                       profile(3, 1060, 2000, {6, 7, 8, 9});
    DemRun r;
    ASSERT_EQ(r.readBytes(recordA(HeaderFields{}) + body), 0);
    const ElevationGrid& g = r.ws.grid;
    EXPECT_EQ(column(g, 2, 5), (std::vector<std::int32_t>{0, 0, 1, 2, 0}));
    EXPECT_EQ(column(g, 1, 5), (std::vector<std::int32_t>{0, 3, 4, 5, 0}));
    EXPECT_EQ(column(g, 0, 5), (std::vector<std::int32_t>{6, 7, 8, 9, 0}));
}

TEST(UsgsDemProfiles, PointsBeyondTheGridAreDroppedAndTheNextProfileStillFound) {
    // Rows 2..5 of a grid whose LastRow is 4: row 4 is stored, row 5 dropped.
    std::string body = profile(1, 1000, 2060, {1, 2, 3, 4}) + profile(2, 1030, 1970, {5, 6, 7, 8}) +
                       profile(3, 1060, 2000, standardColumn(3));
    DemRun r;
    ASSERT_EQ(r.readBytes(recordA(HeaderFields{}) + body), 0);
    const ElevationGrid& g = r.ws.grid;
    EXPECT_EQ(column(g, 2, 5), (std::vector<std::int32_t>{0, 0, 1, 2, 3}));
    EXPECT_EQ(column(g, 1, 5), (std::vector<std::int32_t>{6, 7, 8, 0, 0}));
    EXPECT_EQ(column(g, 0, 4), (std::vector<std::int32_t>{300, 301, 302, 303}));
}

TEST(UsgsDemProfiles, RunTogetherFieldsAreSplitAtASignAfterADigit) {
    std::string p1 = i6(1) + i6(1) + i6(4) + i6(1) + d24(1000) + d24(2000) + d24(0) + d24(-32767) +
                     "  1.555000000000000D+03-32767-32767   100  +200";
    std::string p2 = i6(1) + i6(2) + i6(4) + i6(1) +
                     "   1.03e+03   2.0E+03   0.0   1.0e+00   2.0d+00" + "-12-13+14    15";
    HeaderFields fields;
    fields.profileCount = 2;
    DemRun r;
    ASSERT_EQ(r.readBytes(recordA(fields) + padToBlock(p1) + p2), 0);
    EXPECT_EQ(column(r.ws.grid, 2, 4), (std::vector<std::int32_t>{-32767, -32767, 100, 200}));
    EXPECT_EQ(column(r.ws.grid, 1, 4), (std::vector<std::int32_t>{-12, -13, 14, 15}));
}

TEST(UsgsDemProfiles, AbsurdElevationsAreClampedSoTheirRangeFits) {
    std::string p = profileHeader(1, 2, 4, 1030, 2000) + " -99999999999 99999999999 -5.0E+20 7";
    DemRun r;
    ASSERT_EQ(r.readBytes(recordA(HeaderFields{}) + profile(1, 1000, 2000, standardColumn(1)) +
                              padToBlock(p) + profile(3, 1060, 2000, standardColumn(3))), 0);
    const ElevationGrid& g = r.ws.grid;
    EXPECT_EQ(column(g, 1, 4),
              (std::vector<std::int32_t>{-(1 << 30), (1 << 30) - 1, -(1 << 30), 7}));
    EXPECT_EQ(g.SelectionMin, -(1 << 30));
    EXPECT_EQ(g.SelectionMax, (1 << 30) - 1);
    EXPECT_EQ(g.SelectionRange, std::numeric_limits<std::int32_t>::max());
}

TEST(UsgsDemProfiles, LineBreaksBetweenElevationsGiveNoStrayValues) {
    std::string p = i6(1) + i6(1) + i6(4) + i6(1) + "\r\n" + d24(1000) + d24(2000) + "\r\n" +
                    d24(0) + d24(100) + d24(400) + "\r\n";
    for (int v : standardColumn(1)) p += i6(v) + "\r\n";
    p += "\t" + profile(2, 1030, 2000, standardColumn(2)) + "\n\n" +
         profile(3, 1060, 2000, standardColumn(3));
    DemRun r;
    ASSERT_EQ(r.readBytes(recordA(HeaderFields{}) + p), 0);
    expectStandardGrid(r.ws.grid);
}

TEST(UsgsDemProfiles, IntegerFieldsWrittenAsRealsGiveTheirTruncatedValue) {
    std::string p = i6(1) + i6(1) + " 0.400000D+01" + " 1.0E+00" + d24(1000) + d24(2000) + d24(0) +
                    d24(100) + d24(400) + " 1.005D+02  1.019E+02 102 103";
    DemRun r;
    ASSERT_EQ(r.readBytes(recordA(HeaderFields{}) + padToBlock(p) +
                              profile(2, 1030, 2000, standardColumn(2)) +
                              profile(3, 1060, 2000, standardColumn(3))), 0);
    expectStandardGrid(r.ws.grid);
}

TEST(UsgsDemProfiles, EndOfFileInsideAProfileStoresNothingMore) {
    std::string bytes = recordA(HeaderFields{}) + profile(1, 1000, 2000, standardColumn(1)) +
                        profileHeader(1, 2, 4, 1030, 2000) + i6(200) + i6(201);
    DemRun r;
    ASSERT_EQ(r.readBytes(bytes), 0);
    const ElevationGrid& g = r.ws.grid;
    EXPECT_EQ(column(g, 2, 4), (std::vector<std::int32_t>{100, 101, 102, 103}));
    EXPECT_EQ(column(g, 1, 4), (std::vector<std::int32_t>{200, 201, 0, 0}));
    EXPECT_EQ(column(g, 0, 4), (std::vector<std::int32_t>{0, 0, 0, 0}));
    EXPECT_TRUE(r.ui.messages.empty());
    EXPECT_TRUE(r.ui.commands[Command::Generate]);
}

TEST(UsgsDemProfiles, SkipElevationKeepsEveryOtherPointTheLaterWinning) {
    DemRun r;
    r.ws.settings.SkipElevation = true;
    ASSERT_EQ(r.readBytes(standardDem()), 0);
    const ElevationGrid& g = r.ws.grid;
    EXPECT_EQ(g.LastCol, 3) << "extents are not halved";
    EXPECT_EQ(g.LastRow, 4);
    // col = (LastCol - c) / 2: profile 1 -> 1, profiles 2 and 3 -> 0 (3 wins);
    // row = k / 2: points 1 and 3 win rows 0 and 1.
    EXPECT_EQ(column(g, 1, 5), (std::vector<std::int32_t>{101, 103, 0, 0, 0}));
    EXPECT_EQ(column(g, 0, 5), (std::vector<std::int32_t>{301, 303, 0, 0, 0}));
    EXPECT_EQ(column(g, 2, 5), (std::vector<std::int32_t>{0, 0, 0, 0, 0}));
}

// ---- Log ------------------------------------------------------------------------

TEST(UsgsDemLog, WritesTheReadSteps) {
    DemRun r;
    const std::string logPath = (r.dir / "read.log").string();
    test::writeFileBytes(logPath, "previous run\n");
    r.ws.settings.LogEnable = true;
    r.ws.settings.LogFile = logPath;
    ASSERT_EQ(r.readBytes(standardDem()), 0);
    EXPECT_EQ(test::readFileBytes(logPath),
              "maxW_Es=   3   MaxColumns=   4\n"
              "Reading rows and columns to produce a 3 x 4 ElevationGrid\n"
              "Allocating memory to store 12 DEM data points...OK\n"
              "Reading in DEM data From " +
                  r.scratchFile().string() + "...\n");
}

TEST(UsgsDemLog, NothingWrittenWhenLoggingIsOff) {
    DemRun r;
    const std::string logPath = (r.dir / "read.log").string();
    r.ws.settings.LogFile = logPath;
    ASSERT_EQ(r.readBytes(standardDem()), 0);
    EXPECT_FALSE(std::filesystem::exists(logPath));
}

// A log that cannot be opened or written is named once with the system's
// reason; the read itself goes on.
TEST(UsgsDemLog, ALogThatCannotBeWrittenIsNamedWithTheReason) {
    const test::ScratchDir dir;
    const struct {
        std::string path;
        int error;
    } cases[] = {{(dir / "no-such-folder" / "read.log").string(), ENOENT}, {"/dev/full", ENOSPC}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        DemRun run;
        run.ws.settings.LogEnable = true;
        run.ws.settings.LogFile = c.path;
        ASSERT_EQ(run.readBytes(standardDem()), 0);
        EXPECT_EQ(run.ui.fileErrors, std::vector<std::string>{c.path + " (" + std::strerror(c.error) + ")"});
    }
}

#if defined(__SANITIZE_ADDRESS__)
#define GORVALE_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GORVALE_UNDER_ASAN 1
#endif
#endif

TEST(UsgsDemLog, AllocationFailureShowsTheMessageAndLogsFailed) {
#ifdef GORVALE_UNDER_ASAN
    GTEST_SKIP() << "address-space limits do not work under AddressSanitizer";
#else
    ScratchDir dir;
    HeaderFields fields;  // 16000 x 16000 cells: within the cell limit, 1 GiB of memory
    fields.east = 1000 + 30.0 * 15999;
    fields.north = 2000 + 30.0 * 15999;
    test::writeFileBytes(dir / "big.dem", recordA(fields) + standardProfiles());
    const std::string logPath = (dir / "big.log").string();
    auto child = [&] {
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = rlim_t{512} << 20;  // far below the grid's 1 GiB
        if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
        bool ok = false;
        {
            // Its scratch folder is removed here: _Exit runs no destructors.
            DemRun r;
            r.ws.settings.LogEnable = true;
            r.ws.settings.LogFile = logPath;
            const int result = r.read(dir / "big.dem");
            ok = result == -1 && test::shownOnce(r.ui, "DEM Memory allocation failed!") &&
                 !r.ws.grid.hasStorage() && !r.ws.gridLoaded && !r.ui.commands[Command::Generate];
        }
        std::fflush(nullptr);
        std::_Exit(ok ? 0 : 1);
    };
    EXPECT_EXIT(child(), ::testing::ExitedWithCode(0), "");
    const std::string log = test::readFileBytes(logPath);
    EXPECT_NE(log.find("Allocating memory to store 256000000 DEM data points...failed\n"),
              std::string::npos)
        << log;
#endif
}

// ---- Damaged files ----------------------------------------------------------------

// A read ends either normally or with one message; never a crash.
const test::HarnessRules kDamaged{.demFile = "damaged.dem", .previousGrid = false, .oneMessagePerRefusal = true};

void expectCleanEnd(const std::string& bytes, const std::string& what) {
    test::ReaderHarness h(kDamaged.demFile, kDamaged.previousGrid);
    test::expectSoundOutcome(h, readBytes(h, bytes), kDamaged, what);
}

TEST(UsgsDemDamagedFiles, EveryPrefixEndsInAMessageOrANormalRead) {
    for (const SampleExpectation& e : realSamples()) {
        SCOPED_TRACE(e.file);
        const std::string bytes = test::readFileBytes(test::sample(e.file));
        // Samples with small grids: every prefix of record A and the first
        // profile's header, then every 7th through the first profiles (7 is
        // prime to the 6- and 24-character fields, so cuts still fall at every
        // place inside a field), then about 300 prefixes spread over the rest.
        // Large grids (each read fills millions of cells): every prefix of
        // record A, then every 11th through the first profile's header, then
        // about 50.
        const bool largeGrid = std::max(e.lastRow, e.lastCol) > 600;
        const std::size_t dense = std::min<std::size_t>(bytes.size(), largeGrid ? 900 : 1300);
        const std::size_t sampled = std::min<std::size_t>(bytes.size(), largeGrid ? 1300 : 3100);
        const std::size_t step = largeGrid ? 11 : 7;
        const std::size_t stride = std::max<std::size_t>(1, bytes.size() / (largeGrid ? 50 : 300));
        std::vector<std::size_t> lengths;
        for (std::size_t n = 0; n <= bytes.size(); n += n < dense ? 1 : n < sampled ? step : stride)
            lengths.push_back(n);
        lengths.push_back(bytes.size() - 1);  // the last byte cut
        test::checkPrefixes(readBytes, bytes, lengths, kDamaged);
    }
}

TEST(UsgsDemDamagedFiles, PrefixReadKeepsWhatWasReadBeforeTheCut) {
    const std::string bytes = test::readFileBytes(test::sample("usgsdem/39079G6_truncated.dem"));
    test::ReaderHarness full("", false);
    ASSERT_EQ(readBytes(full, bytes), 0);
    for (std::size_t n = 1100; n <= bytes.size(); n += 7) {
        test::ReaderHarness cut("", false);
        ASSERT_EQ(readBytes(cut, bytes.substr(0, n)), 0) << n;
        const ElevationGrid& g = cut.ws.grid;
        int differing = 0;
        for (int row = 0; row < g.AllocatedRows(); ++row)
            for (int col = 0; col < g.AllocatedCols(); ++col) {
                const std::int32_t v = g.cell(row, col);
                if (v != 0 && v != full.ws.grid.cell(row, col)) ++differing;
            }
        EXPECT_LE(differing, 1) << "only a number cut in two may differ; prefix " << n;
    }
}

TEST(UsgsDemDamagedFiles, RandomTruncatedAndBitFlippedSamplesEndCleanly) {
    std::mt19937 random(20240611);
    for (const SampleExpectation& e : realSamples()) {
        const std::string file = e.file;
        const std::string original = test::readFileBytes(test::sample(file));
        for (int variant = 0; variant < 40; ++variant) {
            std::string bytes = original;
            const int kind = variant % 4;
            if (kind == 0) {  // bit flips anywhere
                const int flips = 1 + static_cast<int>(random() % 8);
                for (int i = 0; i < flips; ++i)
                    bytes[random() % bytes.size()] ^= static_cast<char>(1 << (random() % 8));
            } else if (kind == 1) {  // bit flips in record A
                const int flips = 1 + static_cast<int>(random() % 4);
                for (int i = 0; i < flips; ++i)
                    bytes[random() % 1024] ^= static_cast<char>(1 << (random() % 8));
            } else if (kind == 2) {  // truncated, then a byte replaced
                bytes.resize(random() % (bytes.size() + 1));
                if (!bytes.empty())
                    bytes[random() % bytes.size()] = static_cast<char>(random() % 256);
            } else {  // a run of random bytes
                const std::size_t start = random() % bytes.size();
                const std::size_t length =
                    std::min<std::size_t>(1 + random() % 200, bytes.size() - start);
                for (std::size_t i = 0; i < length; ++i)
                    bytes[start + i] = static_cast<char>(random() % 256);
            }
            expectCleanEnd(bytes, file + " variant " + std::to_string(variant));
        }
    }
    for (int variant = 0; variant < 20; ++variant) {
        std::string bytes(random() % 5000, '\0');
        for (char& c : bytes) c = static_cast<char>(random() % 256);
        expectCleanEnd(bytes, "random bytes " + std::to_string(variant));
    }
}

}  // namespace
}  // namespace gorvale
