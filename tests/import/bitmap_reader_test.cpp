#include "import/bitmap_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "tests/import/reader_test_support.h"

namespace gorvale::test {
namespace {

const PathReader kReadBitmap = nameReader(&ReadBitmap);

// A bitmap file laid out as Windows writers lay it out. `lines` holds the
// pixel bytes of each image line from the top, without padding.
struct BitmapPlan {
    std::uint32_t headerBytes = 40;
    int width = 2;
    int bitsPerPixel = 24;
    std::uint32_t compression = 0;
    bool topDown = false;
    std::vector<std::uint32_t> masks;  // written after a 40-byte header, inside larger ones
    std::vector<std::string> lines;
    std::string rle;  // compressed pixel data instead of lines
};

std::string makeBitmap(const BitmapPlan& plan) {
    const int height = static_cast<int>(plan.lines.empty() ? 1 : plan.lines.size());
    std::string header(14 + plan.headerBytes, '\0');
    header[0] = 'B';
    header[1] = 'M';
    setLe32(header, 14, plan.headerBytes);
    if (plan.headerBytes == 12) {
        setLe16(header, 18, static_cast<std::uint32_t>(plan.width));
        setLe16(header, 20, static_cast<std::uint32_t>(height));
        setLe16(header, 22, 1);
        setLe16(header, 24, static_cast<std::uint32_t>(plan.bitsPerPixel));
    } else {
        setLe32(header, 18, static_cast<std::uint32_t>(plan.width));
        setLe32(header, 22, static_cast<std::uint32_t>(plan.topDown ? -height : height));
        setLe16(header, 26, 1);
        setLe16(header, 28, static_cast<std::uint32_t>(plan.bitsPerPixel));
        setLe32(header, 30, plan.compression);
        for (std::size_t i = 0; i < plan.masks.size() && plan.headerBytes > 40; ++i)
            setLe32(header, 54 + 4 * i, plan.masks[i]);
    }
    std::string extra;
    if (plan.headerBytes == 40)
        for (std::uint32_t m : plan.masks) {
            std::string word(4, '\0');
            setLe32(word, 0, m);
            extra += word;
        }
    if (plan.bitsPerPixel == 8) extra += std::string(256 * 4, '\0');  // palette, unused
    std::string pixels = plan.rle;
    if (plan.rle.empty()) {
        const std::size_t stride = (static_cast<std::size_t>(plan.width) * plan.bitsPerPixel + 31) / 32 * 4;
        for (int y = 0; y < height; ++y) {
            const std::string& line = plan.lines[static_cast<std::size_t>(plan.topDown ? y : height - 1 - y)];
            std::string stored = line;
            stored.resize(stride, '\0');
            pixels += stored;
        }
    }
    std::string file = header + extra + pixels;
    setLe32(file, 2, static_cast<std::uint32_t>(file.size()));
    setLe32(file, 10, static_cast<std::uint32_t>(header.size() + extra.size()));
    return file;
}

struct BitmapRun : ReaderRun {
    BitmapRun() : ReaderRun(kReadBitmap, "height.bmp") {}

    void expectInvalid() {
        EXPECT_TRUE(shownOnce(ui, "Bitmap format is invalid!", Buttons::YesNoCancel));
        ui.messages.clear();
    }
};

// 8bit_pal.bmp and byte_rle8.bmp: the 20 x 20 picture as palette indices
// (GDAL's ReadAsArray gives the indices), with the northern row and the
// western column left zero.
void expectTwentySquare(const BitmapRun& run) {
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.LastRow, 20);
    EXPECT_EQ(g.LastCol, 20);
    expectTwentySquareCells(g);
    for (int i = 0; i <= 20; ++i) {
        EXPECT_EQ(g.cell(20, i), 0);
        EXPECT_EQ(g.cell(i, 20), 0);
    }
}

TEST(BitmapSamples, EightBitPixelsArePaletteIndices) {
    BitmapRun run;
    ASSERT_EQ(run.read(sample("bmp/8bit_pal.bmp")), 0);
    expectTwentySquare(run);
    EXPECT_EQ(run.ui.labels[Label::Rows], "21");
}

TEST(BitmapSamples, Rle8GivesTheSamePicture) {
    BitmapRun run;
    ASSERT_EQ(run.read(sample("bmp/byte_rle8.bmp")), 0);
    expectTwentySquare(run);
}

// bmpsuite 127 x 64 pictures (odd width: padded lines). GDAL 3.6.2, indices
// or R+G+B sums: (0,0) (0,126) (63,0) (63,126) (32,42) (21,63).
struct SuiteExpectation {
    const char* file;
    int corner00, corner0w, cornerS0, cornerSw, at32_42, at21_63, maximum;
};

TEST(BitmapSamples, BmpSuitePalettedRleOs2TopDownAndTrueColour) {
    const SuiteExpectation cases[] = {
        {"bmp/pal8.bmp", 5, 195, 0, 98, 251, 239, 251},
        {"bmp/pal8rle.bmp", 5, 195, 0, 98, 251, 239, 251},
        {"bmp/pal8os2.bmp", 5, 195, 0, 98, 251, 239, 251},
        {"bmp/pal8topdown.bmp", 5, 195, 0, 98, 251, 239, 251},
        {"bmp/rgb24.bmp", 255, 507, 0, 318, 765, 680, 765},
        {"bmp/rgb32.bmp", 255, 507, 0, 318, 765, 680, 765},  // fourth bytes are 0
    };
    for (const SuiteExpectation& e : cases) {
        SCOPED_TRACE(e.file);
        BitmapRun run;
        ASSERT_EQ(run.read(sample(e.file)), 0);
        const ElevationGrid& g = run.ws.grid;
        EXPECT_EQ(g.LastRow, 64);
        EXPECT_EQ(g.LastCol, 127);
        EXPECT_EQ(g.cell(63, 126), e.corner00);
        EXPECT_EQ(g.cell(63, 0), e.corner0w);
        EXPECT_EQ(g.cell(0, 126), e.cornerS0);
        EXPECT_EQ(g.cell(0, 0), e.cornerSw);
        EXPECT_EQ(g.cell(31, 84), e.at32_42);
        EXPECT_EQ(g.cell(42, 63), e.at21_63);
        EXPECT_EQ(g.ElevationRange, e.maximum);  // the minimum is 0
    }
}

// gdal-written/n43_8bit.bmp and n43_24bit.bmp: DTED n43 stretched to
// 0..255 by GDAL. GDAL 3.6.2: (0,0)=146 (0,120)=114 (120,0)=84
// (120,120)=71 (60,40)=45 (40,60)=30; the 24-bit file repeats the byte.
TEST(BitmapSamples, GdalWrittenEightAndTwentyFourBitPictures) {
    for (const auto& [file, factor] : {std::pair{"gdal-written/n43_8bit.bmp", 1}, {"gdal-written/n43_24bit.bmp", 3}}) {
        SCOPED_TRACE(file);
        BitmapRun run;
        ASSERT_EQ(run.read(sample(file)), 0);
        const ElevationGrid& g = run.ws.grid;
        EXPECT_EQ(g.LastRow, 121);
        EXPECT_EQ(g.LastCol, 121);
        EXPECT_EQ(g.cell(120, 120), 146 * factor);
        EXPECT_EQ(g.cell(120, 0), 114 * factor);
        EXPECT_EQ(g.cell(0, 120), 84 * factor);
        EXPECT_EQ(g.cell(0, 0), 71 * factor);
        EXPECT_EQ(g.cell(60, 80), 45 * factor);
        EXPECT_EQ(g.cell(80, 60), 30 * factor);
        EXPECT_EQ(g.ElevationRange, 255 * factor);
    }
}

TEST(BitmapSamples, OneAndFourBitPicturesAreInvalid) {
    for (const char* file : {"bmp/1bit.bmp", "bmp/4bit_pal.bmp"}) {
        SCOPED_TRACE(file);
        BitmapRun run;
        EXPECT_EQ(run.read(sample(file)), 1);
        run.expectInvalid();
        EXPECT_FALSE(run.ws.grid.hasStorage());
    }
}

TEST(BitmapSkipElevation, TakesEveryOtherLineAndPixel) {
    BitmapRun run;
    run.ws.settings.SkipElevation = true;
    ASSERT_EQ(run.read(sample("bmp/pal8.bmp")), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.LastRow, 32);
    EXPECT_EQ(g.LastCol, 63);
    // Grid row b, column x: image line 2 (LastRow - 1 - b), pixel 2 (LastCol - 1 - x).
    EXPECT_EQ(g.cell(31, 62), 5);     // image (0, 0)
    EXPECT_EQ(g.cell(15, 41), 251);   // image (32, 42)
    EXPECT_EQ(g.cell(32, 0), 0);      // never written
}

TEST(BitmapPixels, TwoByTwoWhiteGivesThreeByThreeWithZeroNorthAndWestEdges) {
    BitmapPlan plan;
    plan.lines = {std::string(6, '\xFF'), std::string("\x01\x02\x03\xFF\xFF\xFF", 6)};
    BitmapRun run;
    run.ws.settings.VerticalPreScale = 1;
    ASSERT_EQ(run.readBytes(makeBitmap(plan)), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.LastRow, 2);
    EXPECT_EQ(g.LastCol, 2);
    EXPECT_EQ(g.cell(1, 1), 7650);  // top-left pixel
    EXPECT_EQ(g.cell(1, 0), 7650);
    EXPECT_EQ(g.cell(0, 1), 60);    // bottom-left pixel: (1 + 2 + 3) x 10
    EXPECT_EQ(g.cell(0, 0), 7650);
    for (int i = 0; i <= 2; ++i) {
        EXPECT_EQ(g.cell(2, i), 0);
        EXPECT_EQ(g.cell(i, 2), 0);
    }
    EXPECT_EQ(g.ElevationRange, 7650 - 60);
}

TEST(BitmapPixels, ThirtyTwoBitBitFieldsAsWritersStoreThem) {
    // V5 header with BGRA masks, as GDI+ and ImageMagick write 32-bit pictures.
    BitmapPlan plan;
    plan.headerBytes = 124;
    plan.bitsPerPixel = 32;
    plan.compression = 3;
    plan.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    plan.lines = {std::string("\x10\x20\x30\x40\xFF\xFF\xFF\xFF", 8)};
    BitmapRun run;
    ASSERT_EQ(run.readBytes(makeBitmap(plan)), 0);
    EXPECT_EQ(run.ws.grid.cell(0, 1), 0x10 + 0x20 + 0x30 + 0x40);
    EXPECT_EQ(run.ws.grid.cell(0, 0), 1020);

    // A 40-byte header followed by three masks; the fourth byte is padding.
    plan.headerBytes = 40;
    plan.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    BitmapRun plain;
    ASSERT_EQ(plain.readBytes(makeBitmap(plan)), 0);
    EXPECT_EQ(plain.ws.grid.cell(0, 1), 0x10 + 0x20 + 0x30);
}

TEST(BitmapPixels, WideBitFieldChannelsAreScaledToEightBits) {
    BitmapPlan plan;
    plan.headerBytes = 56;
    plan.bitsPerPixel = 32;
    plan.compression = 3;
    plan.masks = {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000};  // A2R10G10B10
    plan.width = 1;
    std::string pixel(4, '\0');
    setLe32(pixel, 0, 0xFFFFFFFFu);  // every channel full
    plan.lines = {pixel};
    BitmapRun run;
    ASSERT_EQ(run.readBytes(makeBitmap(plan)), 0);
    EXPECT_EQ(run.ws.grid.cell(0, 0), 1020);
}

TEST(BitmapPixels, TopDownAndBottomUpStoreTheSameGrid) {
    BitmapPlan plan;
    plan.bitsPerPixel = 8;
    plan.width = 3;
    plan.lines = {"\x01\x02\x03", "\x04\x05\x06"};
    BitmapRun bottomUp;
    ASSERT_EQ(bottomUp.readBytes(makeBitmap(plan)), 0);
    plan.topDown = true;
    BitmapRun topDown;
    ASSERT_EQ(topDown.readBytes(makeBitmap(plan)), 0);
    for (const BitmapRun* run : {&bottomUp, &topDown}) {
        EXPECT_EQ(run->ws.grid.cell(1, 2), 1);  // top-left
        EXPECT_EQ(run->ws.grid.cell(1, 0), 3);
        EXPECT_EQ(run->ws.grid.cell(0, 2), 4);
        EXPECT_EQ(run->ws.grid.cell(0, 0), 6);
    }
}

TEST(BitmapPixels, Rle8RunsAbsoluteRunsDeltasAndEarlyEnd) {
    BitmapPlan plan;
    plan.bitsPerPixel = 8;
    plan.compression = 1;
    plan.width = 4;
    plan.lines = {"", "", ""};  // three lines; pixels come from the runs
    // Bottom line: run of 2 x 9, absolute 3 indices (7 8 6, padded), end of
    // line; middle line: delta (+1, +1) lands on the top line at x 1 after
    // nothing, then run 1 x 5, end of bitmap.
    plan.rle = std::string("\x02\x09\x00\x03\x07\x08\x06\x00\x00\x00", 10) +
               std::string("\x00\x02\x01\x01\x01\x05\x00\x01", 8);
    BitmapRun run;
    ASSERT_EQ(run.readBytes(makeBitmap(plan)), 0);
    const ElevationGrid& g = run.ws.grid;
    // Bottom image line is grid row 0; pixel x is column 3 - x.
    EXPECT_EQ(g.cell(0, 3), 9);
    EXPECT_EQ(g.cell(0, 2), 9);
    EXPECT_EQ(g.cell(0, 1), 7);
    EXPECT_EQ(g.cell(0, 0), 8);  // the fifth pixel (6) fell off the line
    EXPECT_EQ(g.cell(1, 3), 0);  // skipped by the delta
    EXPECT_EQ(g.cell(2, 2), 5);  // top line, x 1
    EXPECT_EQ(g.cell(2, 3), 0);
}

TEST(BitmapRefusals, UnsupportedEncodingsAreInvalidAndKeepTheOldGrid) {
    BitmapRun run;
    BitmapPlan good;
    good.lines = {std::string(6, '\x05')};
    ASSERT_EQ(run.readBytes(makeBitmap(good)), 0);

    BitmapPlan sixteen;
    sixteen.bitsPerPixel = 16;
    sixteen.compression = 3;
    sixteen.masks = {0xF800, 0x07E0, 0x001F};
    sixteen.lines = {std::string(4, '\x7F')};
    BitmapPlan topDownRle;
    topDownRle.bitsPerPixel = 8;
    topDownRle.compression = 1;
    topDownRle.topDown = true;
    topDownRle.rle = std::string("\x02\x01\x00\x01", 4);
    BitmapPlan jpeg = good;
    jpeg.compression = 4;
    BitmapPlan rleOn24 = good;
    rleOn24.compression = 1;
    BitmapPlan oddHeader = good;
    oddHeader.headerBytes = 44;
    for (const BitmapPlan& plan : {sixteen, topDownRle, jpeg, rleOn24, oddHeader}) {
        EXPECT_EQ(run.readBytes(makeBitmap(plan)), 1);
        run.expectInvalid();
    }
    std::string notBm = makeBitmap(good);
    notBm[0] = 'X';
    EXPECT_EQ(run.readBytes(notBm), 1);
    run.expectInvalid();
    EXPECT_EQ(run.ws.grid.LastRow, 1);
    EXPECT_EQ(run.ws.grid.cell(0, 0), 15);
}

TEST(BitmapRefusals, CutPixelDataIsInvalidButAMissingLastPaddingIsNot) {
    BitmapPlan plan;
    plan.width = 3;  // 9 bytes per line, padded to 12
    plan.lines = {std::string(9, '\x01'), std::string(9, '\x02')};
    const std::string file = makeBitmap(plan);
    BitmapRun run;
    EXPECT_EQ(run.readBytes(file.substr(0, file.size() - 3)), 0);
    EXPECT_EQ(run.ws.grid.cell(1, 0), 3);
    EXPECT_EQ(run.readBytes(file.substr(0, file.size() - 4)), 1);
    run.expectInvalid();
}

TEST(BitmapRefusals, HugeDimensionsAreRefusedWithoutAGiantAllocation) {
    BitmapPlan plan;
    plan.bitsPerPixel = 8;
    plan.compression = 1;
    plan.rle = std::string("\x00\x01", 2);
    std::string file = makeBitmap(plan);
    setLe32(file, 18, 100000);
    setLe32(file, 22, 100000);
    BitmapRun run;
    EXPECT_EQ(run.readBytes(file), 1);
    run.expectInvalid();
}

TEST(BitmapRefusals, MissingFileShowsTheErrorDialogWithItsName) {
    BitmapRun run;
    const std::filesystem::path missing = run.dir / "absent.bmp";
    EXPECT_EQ(run.read(missing), 1);
    ASSERT_EQ(run.ui.fileErrors.size(), 1u);
    EXPECT_EQ(run.ui.fileErrors[0], missing.string());
}

// A refused picture returns 1.
const HarnessRules kRobustness{.previousGrid = false, .refusalCode = 1};

TEST(BitmapRobustness, EveryPrefixOfRealPicturesEndsInAReadOrAMessage) {
    const ByteRunner run = throughFile(kReadBitmap, "input.bmp");
    for (const char* name : {"bmp/8bit_pal.bmp", "bmp/pal8rle.bmp", "bmp/pal8os2.bmp", "bmp/rgb32.bmp"}) {
        SCOPED_TRACE(name);
        const std::string bytes = readFileBytes(sample(name));
        EXPECT_GT(checkPrefixes(run, bytes, spreadPrefixLengths(bytes.size(), 300), kRobustness), 0);
    }
}

TEST(BitmapRobustness, DamagedPicturesEndInAReadOrAMessage) {
    const ByteRunner run = throughFile(kReadBitmap, "input.bmp");
    checkDamaged(run, mixedDamage(readFileBytes(sample("bmp/byte_rle8.bmp")), 31337u), 300, kRobustness);
    checkDamaged(run, mixedDamage(readFileBytes(sample("bmp/8bit_pal.bmp")), 2718u), 200, kRobustness);
}

}  // namespace
}  // namespace gorvale::test
