#include "import/terrain_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "import/binary_terrain_reader.h"
#include "import/terragen_reader.h"
#include "base/text_convert.h"
#include "tests/import/reader_test_support.h"

namespace gorvale {
namespace {

using test::ReaderHarness;

// The dispatch hands the reader a stream past the 8-byte signature.
const test::ByteRunner readTerragenBytes = test::fromMemory(ReadTerragen, 8);

// A grid whose every cell is data: rows 0..rows-1, columns 0..cols-1.
void fillGrid(Workspace& ws, int rows, int cols, const std::function<std::int32_t(int, int)>& value) {
    ASSERT_TRUE(ws.grid.allocate(rows, cols));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) ws.grid.cell(r, c) = value(r, c);
    ws.grid.LastRow = ws.grid.RowLimit = rows - 1;
    ws.grid.LastCol = ws.grid.ColLimit = cols - 1;
}

std::int32_t hundredsByRow(int r, int c) { return 100 * r + c; }

std::uint16_t le16At(const std::string& s, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) |
                                      (static_cast<unsigned char>(s[at + 1]) << 8));
}

constexpr std::size_t kTerragenHeaderBytes = 20 + 4 + 8 + 8 + 16 + 8;

// Terragen samples in file order (south row first, west first).
std::vector<std::int16_t> terragenSamples(const std::string& file) {
    std::vector<std::int16_t> out;
    for (std::size_t at = kTerragenHeaderBytes; at + 4 < file.size(); at += 2)
        out.push_back(static_cast<std::int16_t>(le16At(file, at)));
    return out;
}

// The VistaPro matrix read back: lines from north to south, values from west
// to east, mapped to row 0 = south and column 0 = east.
std::vector<std::vector<std::int32_t>> vistaProGrid(const std::string& text) {
    std::vector<std::vector<std::int32_t>> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::int32_t> values;
        std::istringstream fields(line);
        std::string token;
        while (fields >> token) values.push_back(decimalInt(token));
        if (!values.empty()) lines.push_back(values);
    }
    std::vector<std::vector<std::int32_t>> grid(lines.rbegin(), lines.rend());
    for (auto& row : grid) std::reverse(row.begin(), row.end());
    return grid;
}

TEST(TerragenScalingChoice, LargestPowerOfTwoThatKeepsSamplesInRange) {
    struct Case {
        std::int32_t minimum, maximum;
        int multiplier;
        std::int16_t heightScale;
    };
    const Case cases[] = {
        {-5, 16000, 2, 32},   {0, 40000, 1, 64},     {-40000, 10, 1, 64}, {0, 32000, 1, 64},
        {-100, 100, 64, 1},   {0, 491, 64, 1},       {0, 1000, 32, 2},    {0, 3000, 8, 8},
        {0, 0, 64, 1},        {std::numeric_limits<std::int32_t>::min(), 0, 1, 64},
    };
    for (const Case& c : cases) {
        const TerragenScaling s = ChooseTerragenScaling(c.minimum, c.maximum);
        EXPECT_EQ(s.multiplier, c.multiplier) << c.minimum << ".." << c.maximum;
        EXPECT_EQ(s.heightScale, c.heightScale) << c.minimum << ".." << c.maximum;
        EXPECT_EQ(s.heightScale * s.multiplier, 64);
        EXPECT_EQ(s.factor, static_cast<float>(c.multiplier * 1.024L));
    }
    EXPECT_EQ(ChooseTerragenScaling(0, 16000).factor, 2.048f);
    EXPECT_EQ(ChooseTerragenScaling(0, 40000).factor, 1.024f);
}

class TerrainExport : public ::testing::Test {
protected:
    test::RecordingUserInterface ui;
    Workspace ws{ui};
    test::ScratchDir dir;
};

TEST_F(TerrainExport, TerragenOfThreeRowsByFourColumnsAtScaleOne) {
    fillGrid(ws, 3, 4, hundredsByRow);
    const std::string path = (dir / "grid.ter").string();
    ASSERT_EQ(ExportTerrain(ws, ExportFormat::Terragen, path, 1, false), 0);
    const std::string f = test::readFileBytes(path);
    ASSERT_EQ(f.size(), kTerragenHeaderBytes + 2 * 12 + 4);
    EXPECT_EQ(f.substr(0, 20), "TERRAGENTERRAIN SIZE");
    EXPECT_EQ(le16At(f, 20), 3);
    EXPECT_EQ(le16At(f, 22), 0);
    EXPECT_EQ(f.substr(24, 4), "XPTS");
    EXPECT_EQ(le16At(f, 28), 4);
    EXPECT_EQ(f.substr(32, 4), "YPTS");
    EXPECT_EQ(le16At(f, 36), 3);
    EXPECT_EQ(f.substr(40, 4), "SCAL");
    const std::string ten("\x00\x00\x20\x41", 4);  // 10.0f
    EXPECT_EQ(f.substr(44, 12), ten + ten + ten);
    EXPECT_EQ(f.substr(56, 4), "ALTW");
    EXPECT_EQ(le16At(f, 60), 1);  // largest value 203: multiplier 64, HeightScale 1
    EXPECT_EQ(le16At(f, 62), 0);
    EXPECT_EQ(f.substr(f.size() - 4), "EOF ");
    // Samples trunc(v * 65.536f): south row first, western column first.
    const std::vector<std::int16_t> samples = terragenSamples(f);
    ASSERT_EQ(samples.size(), 12u);
    EXPECT_EQ(samples[0], 196);     // row 0, column 3: v = 3
    EXPECT_EQ(samples[3], 0);       // row 0, column 0
    EXPECT_EQ(samples[7], 6553);    // row 1, column 0: v = 100
    EXPECT_EQ(samples[8], 13303);   // row 2, column 3: v = 203
}

TEST_F(TerrainExport, VistaProOfThreeRowsByFourColumnsAtScaleOne) {
    fillGrid(ws, 3, 4, hundredsByRow);
    const std::string path = (dir / "grid.txt").string();
    ASSERT_EQ(ExportTerrain(ws, ExportFormat::VistaPro, path, 1, false), 0);
    EXPECT_EQ(test::readFileBytes(path), "203 202 201 200 \r\n103 102 101 100 \r\n3 2 1 0 \r\n");
}

TEST_F(TerrainExport, ScaleTwoSamplesVistaProAndAveragesTerragenBlocks) {
    fillGrid(ws, 3, 4, hundredsByRow);
    const std::string txt = (dir / "grid.txt").string();
    ASSERT_EQ(ExportTerrain(ws, ExportFormat::VistaPro, txt, 2, false), 0);
    EXPECT_EQ(test::readFileBytes(txt), "203 201 \r\n3 1 \r\n");  // rows 2, 0; columns 3, 1

    const std::string ter = (dir / "grid.ter").string();
    ASSERT_EQ(ExportTerrain(ws, ExportFormat::Terragen, ter, 2, false), 0);
    const std::string f = test::readFileBytes(ter);
    EXPECT_EQ(le16At(f, 20), 2);
    EXPECT_EQ(le16At(f, 28), 2);
    const std::vector<std::int16_t> samples = terragenSamples(f);
    ASSERT_EQ(samples.size(), 4u);
    EXPECT_EQ(samples[0], 3440);   // rows 0-1, columns 2-3: mean 52.5
    EXPECT_EQ(samples[1], 3309);   // rows 0-1, columns 0-1: mean 50.5
    EXPECT_EQ(samples[2], 13271);  // row 2 alone, columns 2-3: mean 202.5
    EXPECT_EQ(samples[3], 13139);  // row 2 alone, columns 0-1: mean 200.5
}

TEST_F(TerrainExport, SquareAverageIsTheRootMeanSquare) {
    fillGrid(ws, 1, 2, [](int, int c) { return c == 0 ? -3 : 4; });
    const std::string ter = (dir / "rms.ter").string();
    ASSERT_EQ(ExportTerrain(ws, ExportFormat::Terragen, ter, 2, true), 0);
    const std::vector<std::int16_t> samples = terragenSamples(test::readFileBytes(ter));
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0], 231);  // sqrt(12.5) * 65.536f
}

TEST_F(TerrainExport, SamplesBeyondSixteenBitsWrap) {
    fillGrid(ws, 1, 2, [](int, int c) { return c == 0 ? 40000 : -40000; });
    const std::string ter = (dir / "wrap.ter").string();
    ASSERT_EQ(ExportTerrain(ws, ExportFormat::Terragen, ter, 1, false), 0);
    const std::string f = test::readFileBytes(ter);
    EXPECT_EQ(le16At(f, 60), 64);
    const std::vector<std::int16_t> samples = terragenSamples(f);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(static_cast<std::uint16_t>(samples[0]), 0x6000);  // -40960, western column first
    EXPECT_EQ(static_cast<std::uint16_t>(samples[1]), 0xA000);  // 40960
}

TEST_F(TerrainExport, FlatZeroGridExportsWithoutDividingByZero) {
    fillGrid(ws, 2, 2, [](int, int) { return 0; });
    const std::string ter = (dir / "flat.ter").string();
    ASSERT_EQ(ExportTerrain(ws, ExportFormat::Terragen, ter, 1, false), 0);
    const std::string f = test::readFileBytes(ter);
    EXPECT_EQ(le16At(f, 60), 1);
    for (std::int16_t s : terragenSamples(f)) EXPECT_EQ(s, 0);
}

// Small grids are where a HeightScale of 64 / (32000 / m) truncated to 0
// and read back flat; with a power-of-two multiplier they come back.
TEST_F(TerrainExport, SmallValuedGridReadsBackThroughTheTerragenReader) {
    fillGrid(ws, 7, 9, [](int r, int c) { return 37 * r - 41 * c + 11; });
    const std::string ter = (dir / "small.ter").string();
    ASSERT_EQ(ExportTerrain(ws, ExportFormat::Terragen, ter, 1, false), 0);
    ReaderHarness back;
    ASSERT_EQ(readTerragenBytes(back, test::readFileBytes(ter)), 0);
    ASSERT_EQ(back.ws.grid.LastRow, 6);
    ASSERT_EQ(back.ws.grid.LastCol, 8);
    for (int r = 0; r < 7; ++r)
        for (int c = 0; c < 9; ++c) {
            const std::int32_t v = ws.grid.cell(r, c);
            EXPECT_NEAR(back.ws.grid.cell(r, c), v, 1) << r << "," << c;
        }
}

TEST_F(TerrainExport, RealTerrainRoundTripsThroughTerragenUpToItsScaling) {
    for (const char* sampleFile : {"gdal-written/n43_bt.bt", "bt/crater_0513.bt"}) {
        ReaderHarness original;
        FilePtr in = openFile(test::sample(sampleFile).string(), "rb");
        ASSERT_TRUE(in);
        ASSERT_EQ(ReadBinaryTerrain(original.ws, in.get()), 0);
        const std::string ter = (dir / "round.ter").string();
        ASSERT_EQ(ExportTerrain(original.ws, ExportFormat::Terragen, ter, 1, false), 0);
        ReaderHarness back;
        ASSERT_EQ(readTerragenBytes(back, test::readFileBytes(ter)), 0);
        const ElevationGrid& a = original.ws.grid;
        const ElevationGrid& b = back.ws.grid;
        ASSERT_EQ(b.LastRow, a.RowLimit);
        ASSERT_EQ(b.LastCol, a.ColLimit);
        // v is written as trunc(v * 1.024 * multiplier) and read as
        // trunc(sample * (64 / multiplier) / 65.532): v * 65.536 / 65.532 up to truncation.
        // Both truncations together lose less than 1 + one sample step.
        double worst = 0;
        for (int r = 0; r <= a.RowLimit; ++r)
            for (int c = 0; c <= a.ColLimit; ++c) {
                const double expected = a.cell(r, c) * 65.536 / 65.532;
                worst = std::max(worst, std::fabs(b.cell(r, c) - expected));
            }
        EXPECT_LT(worst, 1.1) << sampleFile;
    }
}

TEST_F(TerrainExport, VistaProRoundTripIsExact) {
    fillGrid(ws, 5, 6, [](int r, int c) { return (r - 2) * 1000 - c * 7; });
    const std::string txt = (dir / "grid.txt").string();
    ASSERT_EQ(ExportTerrain(ws, ExportFormat::VistaPro, txt, 1, false), 0);
    const auto grid = vistaProGrid(test::readFileBytes(txt));
    ASSERT_EQ(grid.size(), 5u);
    for (int r = 0; r < 5; ++r) {
        ASSERT_EQ(grid[r].size(), 6u);
        for (int c = 0; c < 6; ++c) EXPECT_EQ(grid[r][c], ws.grid.cell(r, c)) << r << "," << c;
    }
}

TEST_F(TerrainExport, RefusalsWriteNothing) {
    const std::string path = (dir / "none.ter").string();
    EXPECT_EQ(ExportTerrain(ws, ExportFormat::Terragen, path, 1, false), -1);  // no grid yet
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "There is no elevation model to save.");

    fillGrid(ws, 2, 2, hundredsByRow);
    EXPECT_EQ(ExportTerrain(ws, ExportFormat::VistaPro, path, 0, false), -1);
    EXPECT_EQ(ExportTerrain(ws, ExportFormat::VistaPro, path, 101, false), -1);
    EXPECT_EQ(ui.messages.size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(path));

    const std::string missingDir = (dir / "no such folder" / "x.ter").string();
    for (ExportFormat f : {ExportFormat::Terragen, ExportFormat::VistaPro}) {
        ui.fileErrors.clear();
        EXPECT_EQ(ExportTerrain(ws, f, missingDir, 1, false), -1);
        ASSERT_EQ(ui.fileErrors.size(), 1u);
        EXPECT_EQ(ui.fileErrors[0], missingDir);
    }
}

TEST_F(TerrainExport, TerragenRefusesMoreThan65535PointsPerSide) {
    fillGrid(ws, 1, 65536, [](int, int c) { return c % 50; });
    const std::string path = (dir / "wide.ter").string();
    EXPECT_EQ(ExportTerrain(ws, ExportFormat::Terragen, path, 1, false), -1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(ExportTerrain(ws, ExportFormat::Terragen, path, 2, false), 0);  // 32768 points fit
}

// GDAL's own Terragen driver must open the export, with the north-west
// corner where GDAL puts it and heights of v / 1000 units of 10 m.
TEST_F(TerrainExport, GdalOpensTheTerragenExport) {
    if (std::system("command -v gdalinfo >/dev/null 2>&1 && command -v gdallocationinfo >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "gdalinfo is not installed: the Terragen export was not checked with GDAL";
    fillGrid(ws, 30, 40, [](int r, int c) { return 200 + 20 * r - 3 * c; });
    const std::string path = (dir / "gdal.ter").string();
    ASSERT_EQ(ExportTerrain(ws, ExportFormat::Terragen, path, 1, false), 0);
    auto run = [](const std::string& command) { return test::runShell(command).out; };
    const std::string info = run("gdalinfo -stats --config GDAL_PAM_ENABLED NO '" + path + "' 2>&1");
    EXPECT_NE(info.find("Driver: Terragen/"), std::string::npos) << info;
    EXPECT_NE(info.find("Size is 40, 30"), std::string::npos) << info;
    // GDAL's metres are raw samples times its scale (HeightScale / 65536 x SCAL 10): v / 100.
    const std::size_t scaleAt = info.find("Scale:");
    ASSERT_NE(scaleAt, std::string::npos) << info;
    const double scale = decimalReal(info.substr(scaleAt + 6));
    auto metresAt = [&](int x, int y) {
        const std::string raw = run("gdallocationinfo -valonly --config GDAL_PAM_ENABLED NO '" + path + "' " +
                                    std::to_string(x) + " " + std::to_string(y));
        return decimalReal(raw) * scale;
    };
    // GDAL pixel (0, 0) is the north-west corner: our row 29, column 39.
    EXPECT_NEAR(metresAt(0, 0), ws.grid.cell(29, 39) / 100.0, 0.01);
    EXPECT_NEAR(metresAt(39, 29), ws.grid.cell(0, 0) / 100.0, 0.01);
    EXPECT_NEAR(metresAt(39, 0), ws.grid.cell(29, 0) / 100.0, 0.01);
}

}  // namespace
}  // namespace gorvale
