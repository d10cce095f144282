// gorvale-cli info over the real sample of every format: extents and range as
// a user sees them, and a clear failure naming the file for those no reader
// takes.
//
// Reference values: GDAL 3.6.2 (gdalinfo -mm) gives the size and the value
// range of every file it opens; the rows and columns shown are GDAL's lines
// and samples, plus one where the reader leaves an empty last row and column
// (USGS DEM, SDTS, DTED, bitmap, Binary Terrain). Where a reader takes its
// range from the header or scales values (USGS DEM record A, SDTS domain,
// Terragen, Leveller) the values are those the reader tests in tests/import/
// pin, each checked there against GDAL's cells.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "import/elevdump_writer.h"
#include "tests/support/test_support.h"

namespace gorvale {
namespace {

namespace fs = std::filesystem;

using test::CommandResult;

CommandResult runCli(const std::string& arguments, const std::string& folder = "") {
    std::string command;
    if (!folder.empty()) command = "cd '" + folder + "' && ";
    command += "TEMP=" + fs::temp_directory_path().string() + " " + std::string(GORVALE_CLI_PATH) + " " +
               arguments + " 2>&1";
    return test::runShell(command);
}

// The number after "key": in the one-line JSON of info --json.
long jsonNumber(const std::string& json, const std::string& key) {
    const std::string marker = "\"" + key + "\":";
    const std::size_t at = json.find(marker);
    if (at == std::string::npos) return -999999;
    return std::stol(json.substr(at + marker.size()));
}

struct Sample {
    const char* file;  // under the test data folder
    const char* options;
    long rows;
    long columns;
    long range;
};

void expectReadout(const std::string& path, const std::string& options, long rows, long columns, long range,
                   const std::string& folder = "") {
    SCOPED_TRACE(path);
    const CommandResult r = runCli("info --json '" + path + "' " + options, folder);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(jsonNumber(r.out, "rows"), rows) << r.out;
    EXPECT_EQ(jsonNumber(r.out, "columns"), columns) << r.out;
    EXPECT_EQ(jsonNumber(r.out, "elevationRange"), range) << r.out;
}

const std::vector<Sample>& readableSamples() {
    static const std::vector<Sample> samples = {
        // ARC/INFO ASCII grid: every cell is data. GDAL 15 x 12, 0..3450; 5 x 5, 107..156.
        {"aaigrid/pixel_per_line.asc", "", 12, 15, 3450},
        {"aaigrid/pixel_per_line_comma.asc", "", 12, 15, 3450},
        {"aaigrid/case_sensitive.ASC", "", 12, 15, 3450},
        {"aaigrid/nodata_float.asc", "", 5, 5, 156 - 107},
        {"aaigrid/nodata_int.asc", "", 5, 5, 156 - 107},
        // The NODATA value takes part in the range: 0 and -999 (GDAL masks it).
        {"aaigrid/withnodata.asc", "", 2, 2, 999},
        // -1.23 and +1.23 truncated (GDAL masks the first as nodata).
        {"aaigrid/float64.asc", "", 5, 5, 2},
        // GDAL 3.6.2 cannot read these two; 3 x 2 with -1..3, 5 x 5 with 0..1.
        {"aaigrid/nodata_nan.asc", "", 2, 3, 4},
        {"aaigrid/starting_with_nan.asc", "", 5, 5, 1},
        {"gdal-written/n43_aaigrid.asc", "", 121, 121, 460 - 75},
        // Bitmaps: one more row and column; 24 and 32 bits sum the three channels.
        {"bmp/8bit_pal.bmp", "", 21, 21, 255 - 74},
        {"bmp/byte_rle8.bmp", "", 21, 21, 255 - 74},
        {"bmp/pal8.bmp", "", 65, 128, 251},
        {"bmp/pal8os2.bmp", "", 65, 128, 251},
        {"bmp/pal8rle.bmp", "", 65, 128, 251},
        {"bmp/pal8topdown.bmp", "", 65, 128, 251},
        {"bmp/rgb24.bmp", "", 65, 128, 3 * 255},
        {"bmp/rgb32.bmp", "", 65, 128, 3 * 255},
        {"gdal-written/n43_8bit.bmp", "", 122, 122, 255},
        {"gdal-written/n43_24bit.bmp", "", 122, 122, 3 * 255},
        // Binary Terrain: GDAL 513 x 513, 1524..2478; 121 x 121, 75..460.
        {"bt/crater_0513.bt", "", 514, 514, 2478 - 1524},
        {"gdal-written/n43_bt.bt", "", 122, 122, 460 - 75},
        // DTED level 0: GDAL 121 x 121, 75..460 (the bad checksum is not checked).
        {"dted/n43.dt0", "--grid-width 121", 122, 122, 460 - 75},
        {"dted/n43_bad_crc.dt0", "--grid-width 121", 122, 122, 460 - 75},
        // USGS DEM: extents from record A's corners, range from its min and max fields.
        {"usgsdem/114p01_0100_deme_truncated.dem", "", 1202, 1202, 0},
        {"usgsdem/39079G6_truncated.dem", "", 469, 365, 537},
        {"usgsdem/39109h1_truncated.dem", "", 1412, 1100, 731},
        {"usgsdem/4619old_truncated.dem", "", 1202, 1202, 81},
        {"usgsdem/fema06-140cm_2995441b_truncated.dem", "", 2797, 2130, 18},
        {"usgsdem/usgsdem_with_extra_values_at_end_of_profile.dem", "", 467, 371, 329},
        {"usgsdem/usgsdem_with_spaces_after_byte_864.dem", "", 467, 371, 329},
        {"gdal-written/8821_usgsdem.dem", "", 472, 344, 1826 - 1520},
        {"gdal-written/n43_usgsdem.dem", "", 122, 122, 460 - 75},
        // SDTS: GDAL 343 x 471, 1520..1826; the truncated 1107 ranges over its domain 182..345.
        {"sdts/8821/8821CATD.DDF", "", 472, 344, 1826 - 1520},
        {"sdts/STDS_1107834_truncated/1107CATD.DDF", "", 26, 340, 345 - 182},
        // Terragen: heights from the altitude block (the reader tests pin 2252 + 764 and 1578 - 1093).
        {"terragen/float32.ter", "", 20, 20, 2252 + 764},
        {"gdal-written/n43_terragen.ter", "", 121, 121, 1578 - 1093},
        // Leveller: GDAL 64 x 96, 1.138..9.672 with scale 10 -> 3..29 here.
        {"leveller/ter6test.ter", "", 97, 65, 29 - 3},
        // Headerless 16-bit as ETOPO5: GDAL 121 x 121, 75..460.
        {"gdal-written/n43_envi_int16.bin", "--grid-width 121", 121, 121, 460 - 75},
    };
    return samples;
}

TEST(CliSamples, InfoShowsExtentsAndRangeOfEveryReadableSample) {
    for (const Sample& s : readableSamples())
        expectReadout(test::sample(s.file).string(), s.options, s.rows, s.columns, s.range);
}

// ETOPO5 files end in .bin: the raw 16-bit samples (GDAL 20 x 20, 74..255) under that name.
TEST(CliSamples, RawSixteenBitSamplesReadAsEtopoWithTheirWidth) {
    test::ScratchDir dir;
    for (const char* name : {"raw16/int16.raw", "raw16/uint16.raw", "raw16/int16_rat.bil"}) {
        const fs::path copy = dir / (fs::path(name).stem().string() + ".bin");
        fs::copy_file(test::sample(name), copy);
        expectReadout(copy.string(), "--grid-width 20", 20, 20, 255 - 74);
    }
}

// The width dialog repeats until the width divides the sample count; an
// answer from the command line cannot change, so it ends in a message.
TEST(CliSamples, EtopoWidthThatDoesNotFitEndsInAMessage) {
    test::ScratchDir dir;
    const fs::path odd = dir / "odd.bin";
    test::writeFileBytes(odd, test::readFileBytes(test::sample("raw16/int16.raw")) + "xyz");  // 401 samples
    const CommandResult r = runCli("info '" + odd.string() + "' --grid-width 20");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("the answer \"20\" to \"ETOPO Size\" does not fit the file"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(odd.string() + " was not read as an elevation model"), std::string::npos) << r.out;
}

TEST(CliSamples, ShippedExampleReads) {
    expectReadout(std::string(GORVALE_SOURCE_DIR) + "/examples/n43.dem", "", 122, 122, 460 - 75);
}

// An elevation dump written by the program's own writer: pages -1..1 make a
// 385-point square; heights 77 and -12.
TEST(CliSamples, ElevationDumpFromTheWriterReads) {
    test::ScratchDir dir;
    TerrainArrays t(1);
    const int corner = t.centre() - 64 - 128;
    t.height(corner, corner) = 77;
    t.height(corner + 3 * 128 - 1, corner + 3 * 128 - 1) = -12;
    const fs::path dump = dir / "terrain.txt";
    ASSERT_GT(WriteElevdump(dump.string(), t, false), 0);
    expectReadout(dump.string(), "", 385, 385, 77 + 12);
}

// The same dump converted: 384 cells in steps of 32 give 11 x 11 objects.
TEST(CliSamples, ElevationDumpFromTheWriterConverts) {
    test::ScratchDir dir;
    TerrainArrays t(1);
    const int corner = t.centre() - 64 - 128;
    for (int i = 0; i < 3 * 128; i += 5) t.height(corner + i, corner + (i * 7) % 384) = i % 97;
    ASSERT_GT(WriteElevdump((dir / "terrain.txt").string(), t, false), 0);
    const CommandResult made =
        runCli("project new '" + (dir / "p.gvl").string() +
               "' --set DEMFile=terrain.txt --set FileType=11 --set Scaling=31 --set ZipIt=false"
               " --set RWXFile=models/t --set PropFile=prop.txt --set RelaxToOtherApps=false",
               dir.path().string());
    ASSERT_EQ(made.exitCode, 0) << made.out;
    const CommandResult r = runCli("generate p.gvl", dir.path().string());
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("121 tiles written"), std::string::npos) << r.out;
    const std::string prop = test::readFileBytes(dir / "prop.txt");
    std::size_t lines = 0;
    for (std::size_t at = prop.find("\r\n"); at != std::string::npos; at = prop.find("\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 1u + 121u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "models"), fs::directory_iterator{}), 121);
}

// A propdump written by a Generate run, read back through its models: 13 x 10
// objects of 10 m give spans of 130 m and 100 m, so LastCol = 13 + 2 and
// LastRow = 10 + 2; heights 0..3450 at the scale 0.01 become 0..3450 cm.
TEST(CliSamples, PropdumpOfAGenerateRunReadsBack) {
    test::ScratchDir dir;
    const std::string project = (dir / "p.gvl").string();
    const CommandResult made =
        runCli("project new '" + project + "' --set DEMFile='" + test::sample("aaigrid/pixel_per_line.asc").string() +
               "' --set RWXFile=out/t --set PropFile=out/prop.txt --set ZipIt=false --set RelaxToOtherApps=false"
               " --set VerticalScale=0.01 --set DVerticalScale=false");
    ASSERT_EQ(made.exitCode, 0) << made.out;
    const CommandResult generated = runCli("generate p.gvl", dir.path().string());
    ASSERT_EQ(generated.exitCode, 0) << generated.out;
    expectReadout("out/prop.txt", "--type 9", 13, 16, 3450, dir.path().string());
}

// Files no reader takes end in exit code 1 and a line naming the file.
TEST(CliSamples, UnreadableSamplesFailNamingTheFile) {
    const std::vector<std::pair<const char*, const char*>> samples = {
        {"bmp/1bit.bmp", ""},
        {"bmp/4bit_pal.bmp", ""},
        {"bt/crater_0513.btz", ""},
        {"dted/n43_partial_cols.dt0", "--grid-width 121"},
        {"dted/n43_sparse_cols.dt0", "--grid-width 121"},
        {"dted/n43_coord_inverted.dt0", "--grid-width 121"},
        {"dted/w118n033_trunc.dt1", ""},
        {"raw16/int16.raw", ""},
        {"gdal-written/n43_envi_int16.hdr", ""},
    };
    for (const auto& [name, options] : samples) {
        const std::string path = test::sample(name).string();
        const CommandResult r = runCli("info '" + path + "' " + options);
        EXPECT_EQ(r.exitCode, 1) << name << "\n" << r.out;
        // Either the reader's failure or a plain reason (a compressed file) names it.
        EXPECT_NE(r.out.find("gorvale-cli: error: " + path + " "), std::string::npos)
            << r.out;
        EXPECT_EQ(r.out.find("ERROR: AddressSanitizer"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("runtime error"), std::string::npos) << r.out;
    }
}

// The DTED grid-size field starts at the posts per profile: a batch run takes
// that and says so.
TEST(CliSamples, DtedWithoutItsWidthTakesThePostsPerProfile) {
    const CommandResult r = runCli("info '" + test::sample("dted/n43.dt0").string() + "' --json");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("note: \"DTED grid size\": took 121, the posts per profile; give another with "
                         "--grid-width N"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(jsonNumber(r.out, "elevationRange"), 460 - 75) << r.out;
}

}  // namespace
}  // namespace gorvale
