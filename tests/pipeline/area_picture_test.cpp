#include "pipeline/area_picture.h"

#include <gtest/gtest.h>

#include <random>

#include "import/grid_operations.h"
#include "pipeline/zone_picture.h"
#include "tests/support/test_support.h"

namespace gorvale {
namespace {

using test::RecordingUserInterface;

// A workspace whose grid is `rows` x `cols` with value(r, c), loaded as a
// reader's tail leaves it.
template <typename F>
void loadGrid(Workspace& ws, int rows, int cols, F value) {
    ASSERT_TRUE(ws.grid.allocate(rows, cols));
    std::int32_t lo = INT32_MAX, hi = INT32_MIN;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            ws.grid.cell(r, c) = value(r, c);
            lo = std::min(lo, ws.grid.cell(r, c));
            hi = std::max(hi, ws.grid.cell(r, c));
        }
    ws.grid.LastRow = rows - 1;
    ws.grid.LastCol = cols - 1;
    FinishGridLoad(ws, lo, hi);
}

int greyAt(const PixelImage& im, int x, int y) {
    const std::uint32_t p = im.at(x, y);
    const int r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, b = p & 0xff;
    EXPECT_TRUE(r == g && g == b) << "not grey at " << x << "," << y;
    return r;
}

std::vector<int> greys(const PixelImage& im) {
    std::vector<int> out;
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x) out.push_back(greyAt(im, x, y));
    return out;
}

TEST(AreaPicture, FourByThreeGridPixelByPixel) {
    RecordingUserInterface ui;
    Workspace ws(ui);
    // Rows 0..2 (south to north), columns 0..3 (east to west).
    loadGrid(ws, 3, 4, [](int r, int c) { return 40 * r + 10 * c; });
    const PixelImage im = DrawElevationPicture(ws, true);
    ASSERT_EQ(im.width, 4);
    ASSERT_EQ(im.height, 3);
    // The range comes from rows 0..1 and columns 0..2 only: 0..60. The top
    // line is row 2, the left column is column 3; values above the range
    // are held to white.
    const std::vector<int> expected = {255, 255, 255, 255,  //
                                       255, 255, 212, 170,  //
                                       127, 85,  42,  0};
    EXPECT_EQ(greys(im), expected);
}

TEST(AreaPicture, NoDataNegativeAndFlatGrids) {
    struct Case {
        const char* name;
        std::vector<std::int32_t> values;  // 3 x 3, row 0 first
        std::vector<int> expected;         // top line first
    };
    const std::vector<Case> cases = {
        // No-data counts as 0 in the range and shades as 0 elevation.
        {"no-data", {32767, 100, 100, 100, 100, 100, 100, 100, 100}, {255, 255, 255, 255, 255, 255, 255, 255, 0}},
        // Exactly 32000 is still a height.
        {"32000", {0, 32000, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 255, 0}},
        {"negative", {-50, 100, 100, 100, 100, 100, 100, 100, 100}, {255, 255, 255, 255, 255, 255, 255, 255, 0}},
        {"all equal", {700, 700, 700, 700, 700, 700, 700, 700, 700}, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        RecordingUserInterface ui;
        Workspace ws(ui);
        loadGrid(ws, 3, 3, [&](int r, int c) { return k.values[r * 3 + c]; });
        EXPECT_EQ(greys(DrawElevationPicture(ws, true)), k.expected);
    }
}

TEST(AreaPicture, FixedGroundZeroIsWhiteAndSelectionPictureIsClamped) {
    RecordingUserInterface ui;
    Workspace ws(ui);
    loadGrid(ws, 3, 4, [](int, int) { return 5; });
    ws.settings.FixGZ = true;
    ws.settings.RowGZ = "1";
    ws.settings.ColGZ = "2";
    PixelImage im = DrawElevationPicture(ws, true);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(greyAt(im, x, y), x == 1 && y == 1 ? 255 : 0);
    // A ground zero outside the picture draws nothing and reads nothing.
    ws.settings.RowGZ = "7";
    EXPECT_EQ(greys(DrawElevationPicture(ws, true)), std::vector<int>(12, 0));

    ws.settings.FromSouth = "1";
    ws.settings.FromWest = "1";
    ws.settings.ToNorth = "2";
    ws.settings.ToEast = "3";
    im = DrawElevationPicture(ws, false);
    EXPECT_EQ(im.width, 3);
    EXPECT_EQ(im.height, 2);
}

TEST(AreaPicture, MouseReadoutsInsideAndAtTheEdges) {
    RecordingUserInterface ui;
    Workspace ws(ui);
    loadGrid(ws, 10, 10, [](int r, int c) { return 100 * r + c; });
    GridRangeIndex index;
    index.build(ws.grid);
    const OutlineSize o{4, 4};
    struct Case {
        int X, Y;
        const char* caption;
    };
    const Case cases[] = {
        {6, 6, "CenterElev=  606m Min=  404m Max=  707m X=   4 Y=   4 CX=   8 CY=   8"},
        // Top-left corner: the centre lies outside, nothing is scanned.
        {0, 0, "CenterElev=    0m Min=    0m Max=   -1m X=  10 Y=  10 CX=   2 CY=   2"},
        {9, 9, "CenterElev=  303m Min=  101m Max=  404m X=   1 Y=   1 CX=  11 CY=  11"},
        // Outline partly beyond the top: the centre is held at the last row and
        // shows 0, the scan stops at the picture.
        {9, 2, "CenterElev=    0m Min=  801m Max=  904m X=   1 Y=   8 CX=  11 CY=   4"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.caption);
        const GridRangeIndex* const indexes[] = {nullptr, &index};
        for (const GridRangeIndex* ix : indexes) {
            const AreaReadout r = ReadAreaUnderMouse(ws.grid, ix, 10, 10, o, k.X, k.Y);
            EXPECT_EQ(AreaCaption(r, 10, 10, o, k.X, k.Y), k.caption);
        }
    }
    EXPECT_EQ(AreaClickLabel(ReadAreaUnderMouse(ws.grid, &index, 10, 10, o, 6, 6)),
              "Center elevation=  606m Min=  404m Max=  707m");
}

TEST(AreaPicture, RangeIndexAgreesWithAFullScan) {
    ElevationGrid g;
    ASSERT_TRUE(g.allocate(70, 53));
    std::mt19937 rng(7);
    for (int r = 0; r < 70; ++r)
        for (int c = 0; c < 53; ++c) g.cell(r, c) = static_cast<std::int32_t>(rng() % 20000) - 5000;
    GridRangeIndex index;
    index.build(g);
    for (int i = 0; i < 400; ++i) {
        const int r0 = static_cast<int>(rng() % 80) - 5, c0 = static_cast<int>(rng() % 60) - 5;
        const int r1 = r0 + static_cast<int>(rng() % 60), c1 = c0 + static_cast<int>(rng() % 60);
        std::int32_t lo = INT32_MAX, hi = INT32_MIN;
        bool any = false;
        for (int r = std::max(r0, 0); r < std::min(r1, 70); ++r)
            for (int c = std::max(c0, 0); c < std::min(c1, 53); ++c) {
                lo = std::min(lo, g.cell(r, c));
                hi = std::max(hi, g.cell(r, c));
                any = true;
            }
        std::int32_t a = 0, b = 0;
        ASSERT_EQ(index.range(g, r0, r1, c0, c1, a, b), any) << r0 << " " << r1 << " " << c0 << " " << c1;
        if (any) {
            EXPECT_EQ(a, lo);
            EXPECT_EQ(b, hi);
        }
    }
}

TEST(AreaPicture, ClickWritesTheSnappedBoxAndTheStatistics) {
    RecordingUserInterface ui;
    Workspace ws(ui);
    loadGrid(ws, 41, 41, [](int r, int c) { return 100 * r + c; });
    // 10 m objects of one cell, a 200 x 200 world: a 20 x 21 outline.
    const OutlineSize o = AreaOutlineSize(ws);
    EXPECT_EQ(o.w, 20);
    EXPECT_EQ(o.h, 21);
    ws.SettingsModified = false;
    const std::string label = PickArea(ws, 41, 41, 30, 30);
    EXPECT_EQ(ws.settings.FromWest, "11");
    EXPECT_EQ(ws.settings.FromSouth, "11");
    EXPECT_EQ(ws.settings.ToEast, "31");
    EXPECT_EQ(ws.settings.ToNorth, "32");
    EXPECT_TRUE(ws.SettingsModified);
    EXPECT_EQ(ui.labels[Label::BoxMin], "1111");
    EXPECT_EQ(ui.labels[Label::BoxMax], "3130");
    EXPECT_EQ(ui.labels[Label::BoxElev], "2019");
    EXPECT_EQ(label, "Center elevation= 2121m Min= 1111m Max= 3130m");
    EXPECT_EQ(ui.labels[Label::NS_Size], "210m");

    // A click near the top-left edge writes the picture's size, which the
    // snapping pulls back inside the grid.
    PickArea(ws, 41, 41, 3, 3);
    EXPECT_EQ(ws.settings.ToNorth, "39");
    EXPECT_EQ(ws.settings.ToEast, "39");
    EXPECT_EQ(ws.settings.FromSouth, "38");
}

TEST(AreaPicture, ShowFullPictureKeepsTheSelection) {
    RecordingUserInterface ui;
    Workspace ws(ui);
    loadGrid(ws, 30, 20, [](int r, int c) { return r + c; });
    ws.settings.FromSouth = "3";
    ws.settings.FromWest = "-4";
    ws.settings.ToNorth = "12";
    ws.settings.ToEast = "40";
    RememberedRect m;
    const PixelImage im = ShowFullPicture(ws, m);
    EXPECT_EQ(im.width, 20);
    EXPECT_EQ(im.height, 30);
    EXPECT_EQ(m.south, 3);
    EXPECT_EQ(m.west, 0);
    EXPECT_EQ(m.north, 12);
    EXPECT_EQ(m.east, 18);  // ColLimit - step
    EXPECT_EQ(ws.settings.FromSouth, "3");
    EXPECT_EQ(ws.settings.ToEast, "18");
    const PictureRect f = RememberedFrame(m, 20, 30);
    EXPECT_EQ(f.left, 2);
    EXPECT_EQ(f.top, 18);
    EXPECT_EQ(f.right, 20);
    EXPECT_EQ(f.bottom, 27);
}

TEST(AreaPicture, ViewZoomCoordinates) {
    struct Case {
        ViewZoom z;
        int view, picture;
    };
    const Case cases[] = {{{1, 1}, 37, 37}, {{4, 1}, 7, 1},  {{4, 1}, 8, 2},   {{1, 4}, 3, 12},
                          {{2, 1}, -1, -1}, {{1, 8}, 0, 0},  {{8, 1}, 63, 7}};
    for (const Case& k : cases) EXPECT_EQ(PictureFromView(k.view, k.z), k.picture) << k.view;
    EXPECT_EQ(ViewFromPicture(3, {4, 1}), 12);
    EXPECT_EQ(ViewFromPicture(3601, {1, 4}), 900);
    // A 3601 x 3601 grid fits a 1000 pixel view at a quarter; a small one is enlarged.
    EXPECT_EQ(kViewZooms[FittingZoomStep(3601, 3601, 1000, 1000)].den, 4);
    EXPECT_EQ(kViewZooms[FittingZoomStep(121, 121, 1000, 1000)].num, 8);
    EXPECT_EQ(FittingZoomStep(100000, 10, 1000, 1000), 0);
}

class ZonePicture : public ::testing::Test {
protected:
    RecordingUserInterface ui;
    Workspace ws{ui};
    void SetUp() override {
        const std::int32_t v[3][4] = {{10, 45, 45, 200}, {10, 45, 45, 45}, {10, 10, 10, 10}};
        loadGrid(ws, 3, 4, [&](int r, int c) { return v[r][c]; });
        ConversionSettings& s = ws.settings;
        // The whole grid (the reader's snap stops one short of the last row and column).
        s.ToNorth = "2";
        s.ToEast = "3";
        s.TextureZones[0].ObjectZone = true;
        s.TextureZones[0].Lowest = "0";
        s.TextureZones[0].Highest = "50";
        s.TextureZones[0].ColourValue = 0x0000ff;  // red
        s.TextureZones[1].ObjectZone = true;
        s.TextureZones[1].Lowest = "40";
        s.TextureZones[1].Highest = "100";
        s.TextureZones[1].ColourValue = 0x00ff00;  // green
        s.CliffColour = 0xff0000;                   // blue
    }
};

TEST_F(ZonePicture, OverlappingZonesTakeTheHigherRowAndCliffsWin) {
    const std::uint32_t R = pixelRgb(255, 0, 0), G = pixelRgb(0, 255, 0), K = pixelRgb(0, 0, 0),
                        B = pixelRgb(0, 0, 255);
    PixelImage im = BuildZonePicture(ws);
    ASSERT_EQ(im.width, 4);
    ASSERT_EQ(im.height, 3);
    // Top line is row 2; the left column is column 3.
    EXPECT_EQ(im.pixels, (std::vector<std::uint32_t>{R, R, R, R, G, G, G, R, K, G, G, R}));

    ws.settings.CliffTextures = true;
    ws.settings.CliffTextureMin = "100";
    im = BuildZonePicture(ws);
    // (0,3) spans 45..200 with itself as its lower neighbours; (1,3) reaches down to 200.
    EXPECT_EQ(im.pixels, (std::vector<std::uint32_t>{R, R, R, R, B, G, G, R, B, G, G, R}));
}

TEST_F(ZonePicture, CaptionReadout) {
    ws.settings.VerticalScale = "1";
    BuildZonePicture(ws);
    EXPECT_EQ(ZoneCaption(ws, 0, 0, 40, 30), "1N  2W  1.000a");
    EXPECT_EQ(ZoneCaption(ws, 20, 15, 40, 30), "0N  0W  4.500a");
    EXPECT_EQ(ZoneCaption(ws, 39, 29, 40, 30), "1S  1E  1.000a");
    ws.settings.LeveledWithGround = true;  // heights above the selection's lowest point
    EXPECT_EQ(ZoneCaption(ws, 20, 15, 40, 30), "0N  0W  3.500a");
    EXPECT_EQ(ZoneCaption(ws, 20, 15, 0, 30), "");
}

TEST(Bitmap24, HeaderPaddingAndBottomUpLines) {
    test::ScratchDir dir;
    PixelImage im;
    im.reset(2, 2);
    im.at(0, 0) = pixelRgb(1, 2, 3);
    im.at(1, 0) = pixelRgb(4, 5, 6);
    im.at(0, 1) = pixelRgb(7, 8, 9);
    im.at(1, 1) = pixelRgb(10, 11, 12);
    std::string error;
    ASSERT_TRUE(WriteBitmap24(im, (dir / "p.bmp").string(), error)) << error;
    const std::string b = test::readFileBytes(dir / "p.bmp");
    ASSERT_EQ(b.size(), 54u + 2 * 8);
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(static_cast<unsigned char>(b[28]), 24);
    EXPECT_EQ(static_cast<unsigned char>(b[18]), 2);
    // The bottom line first, blue-green-red, padded to four bytes.
    EXPECT_EQ(b.substr(54), std::string("\x09\x08\x07\x0c\x0b\x0a\0\0\x03\x02\x01\x06\x05\x04\0\0", 16));

    EXPECT_FALSE(WriteBitmap24(im, (dir / "missing" / "p.bmp").string(), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(WriteBitmap24(PixelImage{}, (dir / "q.bmp").string(), error));
    EXPECT_FALSE(std::filesystem::exists(dir / "q.bmp"));
}

}  // namespace
}  // namespace gorvale
