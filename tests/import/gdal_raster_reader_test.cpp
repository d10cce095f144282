#include "import/gdal_raster_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <sys/wait.h>

#include <gdal_priv.h>
#include <gdal_utils.h>

#include "import/gdal_geotiff_writer.h"
#include "import/gdal_helper.h"
#include "import/open_elevation_file.h"
#include "import/terrain_export.h"
#include "base/text_convert.h"
#include "tests/import/reader_test_support.h"
#include "tests/support/scoped_environment.h"

namespace gorvale {
namespace {

using test::ReaderHarness;
using test::shownOnceContaining;

// ---- Rasters made with GDAL itself ---------------------------------------------

// GDAL as the tests use it to make and read back rasters: drivers
// registered, complaints about the damaged files kept off the output.
struct GdalForTests {
    GdalForTests() {
        static const bool ready = [] {
            GDALAllRegister();
            CPLSetErrorHandler(CPLQuietErrorHandler);
            return true;
        }();
        (void)ready;
    }
};

struct DatasetCloser {
    void operator()(GDALDataset* ds) const noexcept { GDALClose(GDALDataset::ToHandle(ds)); }
};
using DatasetPtr = std::unique_ptr<GDALDataset, DatasetCloser>;

// Band 1 of a raster as GDAL reads it: line 0 first (the north), each line
// from pixel 0 (the west).
struct Raster {
    int width = 0;
    int height = 0;
    std::vector<double> values;
    double at(int line, int pixel) const { return values[static_cast<std::size_t>(line) * width + pixel]; }
    double& at(int line, int pixel) { return values[static_cast<std::size_t>(line) * width + pixel]; }
};

DatasetPtr openRaster(const std::filesystem::path& path) {
    GdalForTests gdal;
    return DatasetPtr(GDALDataset::Open(path.string().c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
}

Raster readRaster(GDALDataset& ds) {
    Raster r;
    r.width = ds.GetRasterXSize();
    r.height = ds.GetRasterYSize();
    r.values.resize(static_cast<std::size_t>(r.width) * r.height);
    EXPECT_EQ(ds.GetRasterBand(1)->RasterIO(GF_Read, 0, 0, r.width, r.height, r.values.data(), r.width, r.height,
                                            GDT_Float64, 0, 0, nullptr),
              CE_None);
    return r;
}

Raster readRaster(const std::filesystem::path& path) {
    DatasetPtr ds = openRaster(path);
    if (!ds) {
        ADD_FAILURE() << "GDAL cannot open " << path;
        return {};
    }
    return readRaster(*ds);
}

// The DTED cell n43 (121 x 121, Int16, 30" posts), the sample the other
// rasters are made from.
Raster n43() { return readRaster(test::sample("dted/n43.dt0")); }
constexpr double kN43West = -80.0 - 1.0 / 240;  // pixel-is-area corner of the 30" posts
constexpr double kN43North = 44.0 + 1.0 / 240;
constexpr double kN43Post = 1.0 / 120;

struct RasterLayout {
    GDALDataType type = GDT_Int16;
    std::optional<double> noData;
    std::array<double, 6> geoTransform{kN43West, kN43Post, 0, kN43North, 0, -kN43Post};
    bool geographic = true;
};

// Writes `r` with the driver `driverName` (through an in-memory copy, since
// several drivers only copy) to `path`, with creation options.
void writeRaster(const Raster& r, const RasterLayout& layout, const char* driverName, const std::filesystem::path& path,
                 const std::vector<std::string>& options = {}) {
    GdalForTests gdal;
    GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
    DatasetPtr src(mem->Create("", r.width, r.height, 1, layout.type, nullptr));
    ASSERT_TRUE(src);
    double gt[6];
    std::copy(layout.geoTransform.begin(), layout.geoTransform.end(), gt);
    src->SetGeoTransform(gt);
    if (layout.geographic) {
        OGRSpatialReference wgs84;
        wgs84.importFromEPSG(4326);
        src->SetSpatialRef(&wgs84);
    }
    GDALRasterBand* band = src->GetRasterBand(1);
    if (layout.noData) band->SetNoDataValue(*layout.noData);
    std::vector<double> values = r.values;
    ASSERT_EQ(band->RasterIO(GF_Write, 0, 0, r.width, r.height, values.data(), r.width, r.height, GDT_Float64, 0, 0,
                             nullptr),
              CE_None);
    CPLStringList list;
    for (const std::string& o : options) list.AddString(o.c_str());
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(driverName);
    ASSERT_NE(driver, nullptr) << driverName;
    DatasetPtr out(driver->CreateCopy(path.string().c_str(), src.get(), FALSE, list.List(), nullptr, nullptr));
    ASSERT_TRUE(out) << driverName << ": " << CPLGetLastErrorMsg();
}

// A mosaic of `tiles` as GDAL's own VRT builder makes it.
void buildVrt(const std::filesystem::path& path, const std::vector<std::filesystem::path>& tiles) {
    GdalForTests gdal;
    std::vector<std::string> names;
    for (const auto& t : tiles) names.push_back(t.string());
    std::vector<const char*> pointers;
    for (const auto& n : names) pointers.push_back(n.c_str());
    int usageError = 0;
    GDALDatasetH vrt = GDALBuildVRT(path.string().c_str(), static_cast<int>(pointers.size()), nullptr,
                                    pointers.data(), nullptr, &usageError);
    ASSERT_NE(vrt, nullptr) << CPLGetLastErrorMsg();
    GDALClose(vrt);
}

Raster columns(const Raster& r, int first, int count) {
    Raster part;
    part.width = count;
    part.height = r.height;
    for (int y = 0; y < r.height; ++y)
        for (int x = first; x < first + count; ++x) part.values.push_back(r.at(y, x));
    return part;
}

// ---- What the grid must hold -------------------------------------------------------

struct Expectation {
    int step = 1;           // SkipElevation: 2
    int preScale = 0;       // VerticalPreScale index
    bool real32 = false;    // the file holds 32-bit reals: scaled in single precision
    std::optional<double> noData;
    bool northFirst = true;
};

// GDAL's value of each taken cell, flipped and pre-scaled; no-data and NaN
// cells become the lowest valid value. Returns the no-data count.
std::int64_t expectCells(const ElevationGrid& g, const Raster& r, const Expectation& e) {
    const int factor = static_cast<int>(std::pow(10, e.preScale));
    const int rows = (r.height + e.step - 1) / e.step;
    const int cols = (r.width + e.step - 1) / e.step;
    EXPECT_EQ(g.LastRow, rows - 1);
    EXPECT_EQ(g.LastCol, cols - 1);
    auto scaled = [&](double v) -> std::optional<std::int32_t> {
        if (std::isnan(v) || (e.noData && v == *e.noData)) return std::nullopt;
        if (e.real32) return static_cast<std::int32_t>(static_cast<float>(v) * static_cast<float>(factor));
        return static_cast<std::int32_t>(static_cast<long double>(v) * factor);
    };
    std::int32_t lowest = std::numeric_limits<std::int32_t>::max();
    std::int64_t voids = 0;
    for (int k = 0; k < rows; ++k)
        for (int j = 0; j < cols; ++j) {
            if (auto v = scaled(r.at(k * e.step, j * e.step)))
                lowest = std::min(lowest, *v);
            else
                ++voids;
        }
    if (lowest == std::numeric_limits<std::int32_t>::max()) lowest = 0;
    int wrong = 0;
    for (int k = 0; k < rows && wrong < 5; ++k)
        for (int j = 0; j < cols && wrong < 5; ++j) {
            const std::int32_t want = scaled(r.at(k * e.step, j * e.step)).value_or(lowest);
            const int row = e.northFirst ? rows - 1 - k : k;
            if (g.cell(row, cols - 1 - j) != want) {
                ADD_FAILURE() << "line " << k << " pixel " << j << ": grid " << g.cell(row, cols - 1 - j)
                              << ", GDAL " << want;
                ++wrong;
            }
        }
    return voids;
}

int readRasterFile(ReaderHarness& h, const std::filesystem::path& path) {
    h.ws.settings.DEMFile = path.string();
    return ReadGdalRaster(h.ws, path.string());
}

class GdalRasterSamples : public test::TestdataTest {
protected:
    test::ScratchDir dir;
};

// ---- Reading ---------------------------------------------------------------------

TEST_F(GdalRasterSamples, EveryKindOfRasterMatchesGdalCellForCell) {
    const Raster source = n43();
    ASSERT_EQ(source.width, 121);

    // Float32 from an ASCII grid with decimals, a NaN and the no-data value.
    Raster floats = readRaster(test::sample("aaigrid/nodata_float.asc"));
    ASSERT_EQ(floats.width, 5);
    floats.at(0, 0) = std::nan("");
    floats.at(2, 3) = -99999;
    floats.at(4, 4) = 1234.5678;
    // Float64 with thirds, which single precision would round differently.
    Raster thirds = source;
    for (double& v : thirds.values) v /= 3.0;
    // Int16 with voids, as SRTM tiles mark them.
    Raster voids = source;
    voids.at(0, 0) = -32768;
    voids.at(60, 61) = -32768;
    voids.at(120, 120) = -32768;

    struct Case {
        std::string name;
        std::string file;
        const Raster* raster;
        RasterLayout layout;
        const char* driver;
        std::vector<std::string> options;
        Expectation expect;
        std::int64_t noDataCount;
    };
    RasterLayout int16;
    RasterLayout float32{GDT_Float32, -99999.0};
    RasterLayout float64{GDT_Float64};
    RasterLayout int16Voids{GDT_Int16, -32768.0};
    RasterLayout southUp;
    southUp.geoTransform = {kN43West, kN43Post, 0, 43.0 - 1.0 / 240, 0, kN43Post};
    const std::vector<std::string> tiled = {"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16"};
    const std::vector<Case> cases = {
        {"striped Int16 GeoTIFF", "n43.tif", &source, int16, "GTiff", {}, {}, 0},
        {"tiled Int16 GeoTIFF, pre-scale 1000", "n43_tiled.tif", &source, int16, "GTiff", tiled, {.preScale = 3}, 0},
        {"skip every other point", "n43_skip.tif", &source, int16, "GTiff", tiled, {.step = 2}, 0},
        {"Float32 with NaN and no-data, pre-scale 100", "floats.tif", &floats, float32, "GTiff", {},
         {.preScale = 2, .real32 = true, .noData = -99999.0}, 2},
        {"Float32 with skip", "floats_skip.tif", &floats, float32, "GTiff", {},
         {.step = 2, .preScale = 1, .real32 = true, .noData = -99999.0}, 1},
        {"Float64 thirds, pre-scale 10", "thirds.tif", &thirds, float64, "GTiff", {}, {.preScale = 1}, 0},
        {"Int16 voids", "voids.tif", &voids, int16Voids, "GTiff", {}, {.noData = -32768.0}, 3},
        {"ERDAS Imagine", "n43.img", &source, int16, "HFA", {}, {}, 0},
        {"UInt16", "n43_u16.tif", &source, RasterLayout{GDT_UInt16}, "GTiff", {}, {.preScale = 1}, 0},
        {"Byte (clamped by GDAL's writer)", "n43_byte.tif", &source, RasterLayout{GDT_Byte}, "GTiff", {}, {}, 0},
        {"south-up rows", "southup.tif", &source, southUp, "GTiff", {}, {.northFirst = false}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = dir / c.file;
        writeRaster(*c.raster, c.layout, c.driver, path, c.options);
        const Raster reference = readRaster(path);  // GDAL's own reading of the file
        ReaderHarness h;
        h.ws.settings.VerticalPreScale = c.expect.preScale;
        h.ws.settings.SkipElevation = c.expect.step == 2;
        ASSERT_EQ(readRasterFile(h, path), 0) << (h.ui.messages.empty() ? "" : h.ui.messages[0].text);
        EXPECT_TRUE(h.ui.messages.empty());
        const std::int64_t voids = expectCells(h.ws.grid, reference, c.expect);
        EXPECT_GE(voids, c.noDataCount);  // the planted ones, and any the sample had
        EXPECT_EQ(h.ws.rasterSource.noDataCount, voids);
        EXPECT_TRUE(h.ws.rasterSource.present);
        EXPECT_EQ(h.ws.grid.RowLimit, h.ws.grid.LastRow);
    }
}

TEST_F(GdalRasterSamples, SrtmTileOf1201PostsReadsWithItsVoidsFlattened) {
    // A 3" SRTM tile built from n43 (each post repeated 10 times, plus a
    // ripple so that neighbours differ) with three voids.
    const Raster source = n43();
    Raster tile;
    tile.width = tile.height = 1201;
    tile.values.resize(1201 * 1201);
    for (int y = 0; y < 1201; ++y)
        for (int x = 0; x < 1201; ++x) tile.at(y, x) = source.at(y / 10, x / 10) + (x * 7 + y * 3) % 11;
    tile.at(0, 0) = tile.at(600, 17) = tile.at(1200, 1200) = -32768;
    RasterLayout layout;
    layout.geoTransform = {-80.0 - 1.0 / 2400, 1.0 / 1200, 0, 44.0 + 1.0 / 2400, 0, -1.0 / 1200};
    const auto path = dir / "N43W080.hgt";
    writeRaster(tile, layout, "SRTMHGT", path);
    const Raster reference = readRaster(path);

    ReaderHarness h;
    ASSERT_EQ(readRasterFile(h, path), 0);
    EXPECT_EQ(expectCells(h.ws.grid, reference, {.noData = -32768.0}), 3);
    const RasterSource& info = h.ws.rasterSource;
    EXPECT_EQ(info.driver, "SRTMHGT");
    EXPECT_EQ(info.fileWidth, 1201);
    EXPECT_EQ(info.noDataCount, 3);
    EXPECT_EQ(info.crs, "EPSG:4326");
    EXPECT_EQ(info.units, "degree");
    EXPECT_NEAR(info.pixelSizeX, 1.0 / 1200, 1e-12);
    EXPECT_NEAR(info.pixelSizeY, 1.0 / 1200, 1e-12);
    // Voids take the lowest real elevation: flat ground, not pits.
    double lowest = 1e9;
    for (double v : reference.values)
        if (v != -32768) lowest = std::min(lowest, v);
    EXPECT_EQ(info.noDataFill, lowest);
    EXPECT_EQ(h.ws.grid.cell(0, 0), info.noDataFill);  // the south-east corner
    EXPECT_EQ(test::storedMin(h.ws.grid), lowest);
    EXPECT_EQ(h.ws.grid.ElevationRange, test::storedMax(h.ws.grid) - test::storedMin(h.ws.grid));
    // The common tail: rectangle reset and snapped below the last row, commands.
    EXPECT_LT(intOr(h.ws.settings.ToNorth, 0), 1200);
    EXPECT_GT(intOr(h.ws.settings.ToNorth, 0), 1150);
    EXPECT_TRUE(h.ui.commands[Command::Generate]);
}

TEST_F(GdalRasterSamples, MosaicOverTwoTilesReadsAsTheWholeCell) {
    const Raster source = n43();
    RasterLayout west;
    RasterLayout east;
    east.geoTransform[0] = kN43West + 61 * kN43Post;
    writeRaster(columns(source, 0, 61), west, "GTiff", dir / "west.tif");
    writeRaster(columns(source, 61, 60), east, "GTiff", dir / "east.tif");
    const auto path = dir / "mosaic.vrt";
    buildVrt(path, {dir / "west.tif", dir / "east.tif"});

    ReaderHarness h;
    ASSERT_EQ(readRasterFile(h, path), 0);
    EXPECT_EQ(expectCells(h.ws.grid, source, {}), 0);
    EXPECT_EQ(h.ws.rasterSource.driver, "VRT");
    test::expectN43Cells(h.ws.grid);
}

TEST_F(GdalRasterSamples, OpenCommandRoutesRastersHereAndOtherFilesClearTheRasterFacts) {
    writeRaster(n43(), {}, "GTiff", dir / "cell.TIFF");
    test::RecordingUserInterface ui;
    Workspace ws(ui);
    ws.settings.DEMFile = (dir / "cell.TIFF").string();
    OpenElevationOutcome outcome;
    ASSERT_EQ(OpenElevationFile(ws, installedReaders(), &outcome), kOpenElevationRead);
    EXPECT_EQ(outcome.decision.kind, ReaderKind::GdalRaster);
    EXPECT_TRUE(ws.rasterSource.present);
    // File type 13 forces GDAL even for a bitmap.
    ws.settings.DEMFile = test::sample("bmp/8bit_pal.bmp").string();
    ws.settings.FileType = kFileTypeGdalRaster;
    ASSERT_EQ(OpenElevationFile(ws, installedReaders(), &outcome), kOpenElevationRead);
    EXPECT_EQ(outcome.decision.kind, ReaderKind::GdalRaster);
    EXPECT_EQ(ws.rasterSource.driver, "BMP");
    // Another reader's grid has no raster facts.
    ws.settings.DEMFile = test::sample("dted/n43.dt0").string();
    ws.settings.FileType = kFileTypeDted;
    ui.askAnswers = {"121"};  // the DTED reader's grid-size question
    ASSERT_EQ(OpenElevationFile(ws, installedReaders(), &outcome), kOpenElevationRead);
    EXPECT_FALSE(ws.rasterSource.present);
}

TEST_F(GdalRasterSamples, NoDataCountGoesToTheLog) {
    Raster voids = n43();
    voids.at(3, 4) = -32768;
    writeRaster(voids, {GDT_Int16, -32768.0}, "GTiff", dir / "voids.tif");
    ReaderHarness h;
    h.ws.settings.LogEnable = true;
    h.ws.settings.LogFile = (dir / "read.log").string();
    ASSERT_EQ(readRasterFile(h, dir / "voids.tif"), 0);
    const std::string log = test::readFileBytes(dir / "read.log");
    EXPECT_NE(log.find("1 no-data cells set to 75\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Demfile read OK\n"), std::string::npos) << log;
}

// ---- Refusals and damaged files ---------------------------------------------------------

TEST_F(GdalRasterSamples, HugeHeadersAreRefusedBeforeAllocating) {
    // A mosaic that announces 10^6 x 10^6 cells.
    const auto vrt = dir / "huge.vrt";
    test::writeFileBytes(vrt, "<VRTDataset rasterXSize=\"1000000\" rasterYSize=\"1000000\">\n"
                              "  <VRTRasterBand dataType=\"Int16\" band=\"1\"/>\n</VRTDataset>\n");
    // A GeoTIFF whose width and height tags were raised to 10^6.
    const auto tif = dir / "huge.tif";
    writeRaster(n43(), {}, "GTiff", tif);
    std::string bytes = test::readFileBytes(tif);
    ASSERT_EQ(bytes.substr(0, 4), std::string("II*\0", 4));
    const std::uint32_t ifd = static_cast<unsigned char>(bytes[4]) | static_cast<unsigned char>(bytes[5]) << 8;
    const int entries = static_cast<unsigned char>(bytes[ifd]) | static_cast<unsigned char>(bytes[ifd + 1]) << 8;
    for (int i = 0; i < entries; ++i) {
        const std::size_t at = ifd + 2 + 12 * static_cast<std::size_t>(i);
        const int tag = static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
        if (tag == 256 || tag == 257) {  // ImageWidth, ImageLength: now LONG 1000000
            test::setLe16(bytes, at + 2, 4);
            test::setLe32(bytes, at + 8, 1000000);
        }
    }
    test::replaceFileBytes(tif, bytes);
    for (const auto& path : {vrt, tif}) {
        SCOPED_TRACE(path.string());
        ReaderHarness h;
        EXPECT_EQ(readRasterFile(h, path), -1);
        EXPECT_TRUE(h.reported());
        ASSERT_FALSE(h.ui.messages.empty());
        EXPECT_NE(h.ui.messages[0].text.find(path.string()), std::string::npos) << h.ui.messages[0].text;
        EXPECT_TRUE(h.previousGridKept());
    }
    ReaderHarness h;
    EXPECT_EQ(readRasterFile(h, vrt), -1);
    EXPECT_TRUE(shownOnceContaining(h.ui, {"1000000 rows by 1000000 columns is too large"}));
}

TEST_F(GdalRasterSamples, UnreadableFilesNameTheFileAndGdalsReason) {
    test::writeFileBytes(dir / "text.tif", "not a raster at all\n");
    const auto cut = dir / "cut.tif";
    writeRaster(n43(), {}, "GTiff", cut);
    const std::string whole = test::readFileBytes(cut);
    test::replaceFileBytes(cut, whole.substr(0, whole.size() / 2));
    struct Case {
        std::filesystem::path path;
        const char* text;
    };
    for (const Case& c : {Case{dir / "text.tif", "could not be opened as a raster"},
                          Case{cut, "could not be read"}, Case{dir / "missing.hgt", "could not be opened"}}) {
        SCOPED_TRACE(c.path.string());
        ReaderHarness h;
        EXPECT_EQ(readRasterFile(h, c.path), -1);
        EXPECT_TRUE(shownOnceContaining(h.ui, {c.path.string(), c.text}));
        EXPECT_TRUE(h.previousGridKept());
    }
}

const test::HarnessRules kGdalRefusals{.refusalCode = -1, .oneMessagePerRefusal = true};

TEST_F(GdalRasterSamples, EveryPrefixOfAGeoTiffEndsInAMessageOrARead) {
    writeRaster(n43(), {}, "GTiff", dir / "n43.tif", {"TILED=YES", "BLOCKXSIZE=32", "BLOCKYSIZE=32"});
    const std::string bytes = test::readFileBytes(dir / "n43.tif");
    const test::ByteRunner run = test::throughFile(test::nameReader(ReadGdalRaster), "prefix.tif");
    test::checkPrefixes(run, bytes, test::spreadPrefixLengths(bytes.size(), 40), kGdalRefusals);
}

TEST_F(GdalRasterSamples, DamagedGeoTiffsAndHgtTilesNeverMisbehave) {
    writeRaster(n43(), {GDT_Int16, -32768.0}, "GTiff", dir / "n43.tif");
    const test::ByteRunner tif = test::throughFile(test::nameReader(ReadGdalRaster), "damaged.tif");
    test::checkDamaged(tif, test::headerDamage(test::readFileBytes(dir / "n43.tif"), 512, 16u), 40, kGdalRefusals);
    test::checkDamaged(tif, test::mixedDamage(test::readFileBytes(dir / "n43.tif"), 17u), 20, kGdalRefusals);
    // An HGT tile is known by its name and size alone: a cut one is no tile.
    Raster tile;
    tile.width = tile.height = 1201;
    tile.values.assign(1201 * 1201, 12);
    RasterLayout layout;
    layout.geoTransform = {-80.0 - 1.0 / 2400, 1.0 / 1200, 0, 44.0 + 1.0 / 2400, 0, -1.0 / 1200};
    writeRaster(tile, layout, "SRTMHGT", dir / "N43W080.hgt");
    const test::ByteRunner hgt = test::throughFile(test::nameReader(ReadGdalRaster), "N43W080.hgt");
    test::checkDamaged(hgt, test::mixedDamage(test::readFileBytes(dir / "N43W080.hgt"), 18u), 8, kGdalRefusals);
}

// ---- GeoTIFF export ------------------------------------------------------------------------

TEST_F(GdalRasterSamples, GeoTiffExportIsNorthUpInt32WithTheSourceGeoreferencing) {
    Raster source = n43();
    source.at(5, 7) = -32768;
    writeRaster(source, {GDT_Int16, -32768.0}, "GTiff", dir / "in.tif");
    ReaderHarness h;
    h.ws.settings.VerticalPreScale = 3;  // values beyond 16 bits survive
    ASSERT_EQ(readRasterFile(h, dir / "in.tif"), 0);
    const auto out = dir / "out.tif";
    ASSERT_EQ(ExportTerrain(h.ws, ExportFormat::GeoTiff, out.string(), 1, false), 0);

    DatasetPtr ds = openRaster(out);
    ASSERT_TRUE(ds);
    EXPECT_EQ(ds->GetRasterBand(1)->GetRasterDataType(), GDT_Int32);
    const Raster written = readRaster(*ds);
    ASSERT_EQ(written.width, 121);
    for (int y = 0; y < 121; ++y)
        for (int x = 0; x < 121; ++x) {
            const double want = (y == 5 && x == 7) ? 75000 : source.at(y, x) * 1000;
            if (written.at(y, x) != want) {
                ADD_FAILURE() << "line " << y << " pixel " << x << ": " << written.at(y, x) << " not " << want;
                return;
            }
        }
    double gt[6];
    ASSERT_EQ(ds->GetGeoTransform(gt), CE_None);
    EXPECT_DOUBLE_EQ(gt[0], kN43West);
    EXPECT_DOUBLE_EQ(gt[3], kN43North);
    EXPECT_DOUBLE_EQ(gt[5], -kN43Post);
    ASSERT_NE(ds->GetSpatialRef(), nullptr);
    EXPECT_STREQ(ds->GetSpatialRef()->GetAuthorityCode(nullptr), "4326");
}

TEST(GeoTiffExport, OtherGridsAreWrittenWithoutGeoreferencingAndFailuresNameTheFile) {
    ReaderHarness h;  // a 2 x 2 grid from no raster
    h.ws.grid.RowLimit = h.ws.grid.ColLimit = 1;
    h.ws.grid.cell(0, 1) = 5;
    h.ws.grid.cell(1, 0) = -7;
    h.ws.grid.cell(1, 1) = 100000;
    test::ScratchDir dir;
    const auto out = dir / "plain.tif";
    ASSERT_EQ(WriteGeoTiff(h.ws, out.string()), 0);
    DatasetPtr ds = openRaster(out);
    ASSERT_TRUE(ds);
    const Raster written = readRaster(*ds);
    ASSERT_EQ(written.width, h.ws.grid.ColLimit + 1);
    ASSERT_EQ(written.height, h.ws.grid.RowLimit + 1);
    for (int y = 0; y < written.height; ++y)
        for (int x = 0; x < written.width; ++x)
            EXPECT_EQ(written.at(y, x), h.ws.grid.cell(h.ws.grid.RowLimit - y, h.ws.grid.ColLimit - x));
    double gt[6];
    EXPECT_NE(ds->GetGeoTransform(gt), CE_None);

    const std::string bad = (dir / "no" / "such" / "dir.tif").string();
    EXPECT_EQ(WriteGeoTiff(h.ws, bad), -1);
    EXPECT_TRUE(h.reported());
    EXPECT_FALSE(std::filesystem::exists(bad));
}

// ---- The command line ------------------------------------------------------------------------

TEST_F(GdalRasterSamples, CliInfoShowsTheRasterFactsAndExportWritesAGeoTiff) {
    Raster voids = n43();
    voids.at(1, 1) = -32768;
    writeRaster(voids, {GDT_Int16, -32768.0}, "GTiff", dir / "n43.tif");
    const std::string in = (dir / "n43.tif").string();
    test::CommandResult r = test::runCli("info " + in + " --json");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    for (const char* part : {"\"driver\":\"GTiff\"", "\"crs\":\"EPSG:4326\"", "\"noDataCount\":1",
                             "\"pixelSize\":[0.008333333333333333,0.008333333333333333]", "\"rows\":121"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
    r = test::runCli("info " + in);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    for (const char* part : {"Driver:              GTiff (GeoTIFF)", "Raster size:         121 x 121 pixels",
                             "No-data cells:       1 (set to 75)", "degree"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;

    const std::string out = (dir / "out.tif").string();
    r = test::runCli("export --format gtiff " + in + " " + out);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(readRaster(out).values.size(), 121u * 121u);
    EXPECT_EQ(test::runCli("export --format gtiff --scale 2 " + in + " " + out).exitCode, 2);
    r = test::runCli("export --format gtiff " + in + " /nonexistent/dir/x.tif");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("/nonexistent/dir/x.tif"), std::string::npos) << r.out;
    // Damaged: a message naming the file, never a crash.
    test::writeFileBytes(dir / "bad.hgt", "junk");
    r = test::runCli("info " + (dir / "bad.hgt").string());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("bad.hgt"), std::string::npos) << r.out;
}

TEST_F(GdalRasterSamples, FilesWhoseExtensionNamesAnotherDriverOpenThroughTheFullSet) {
    // A fresh process first registers only the driver the extension names;
    // a GeoTIFF under the name of a tile or an Imagine file still opens.
    writeRaster(n43(), {}, "GTiff", dir / "n43.tif");
    for (const char* name : {"tile.hgt", "tile.img", "tile.TIFF"}) {
        std::filesystem::copy_file(dir / "n43.tif", dir / name);
        const test::CommandResult r = test::runCli("info " + (dir / name).string() + " --json");
        ASSERT_EQ(r.exitCode, 0) << name << "\n" << r.out;
        for (const char* part : {"\"driver\":\"GTiff\"", "\"rows\":121", "\"crs\":\"EPSG:4326\""})
            EXPECT_NE(r.out.find(part), std::string::npos) << name << ": " << part << "\n" << r.out;
    }
    // Writing from a grid no GDAL driver read needs the GeoTIFF driver alone.
    test::writeFileBytes(dir / "g.asc", "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2 3\n4 5 6\n");
    const std::string out = (dir / "g.tif").string();
    const test::CommandResult r = test::runCli("export --format gtiff " + (dir / "g.asc").string() + " " + out);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const Raster written = readRaster(out);
    ASSERT_EQ(written.values.size(), 6u);
    EXPECT_EQ(written.at(0, 0), 1);
    EXPECT_EQ(written.at(1, 2), 6);
}

TEST_F(GdalRasterSamples, WithoutItsGdalReaderOrModuleTheProgramSaysSoAndReadsEverythingElse) {
    // Copies of the program in a folder without the reader process, then
    // with the reader process but without the module beside it.
    const auto cli = dir / "gorvale-cli";
    std::filesystem::copy_file(GORVALE_CLI_PATH, cli);
    writeRaster(n43(), {}, "GTiff", dir / "n43.tif");
    auto run = [&](const std::string& file) {
        return test::runShell("GORVALE_GDAL_MODULE= GORVALE_GDAL_HELPER= LD_LIBRARY_PATH= PATH=/usr/bin:/bin " +
                              cli.string() + " info " + file + " 2>&1");
    };
    const std::filesystem::path helper = std::filesystem::path(GORVALE_CLI_PATH).parent_path() / kGdalHelperFile;
    for (const char* expected : {"the GDAL reader process gorvale-gdal-read could not be started: No such file",
                                 "GDAL is not available: the GDAL module could not be loaded"}) {
        SCOPED_TRACE(expected);
        if (!std::filesystem::exists(dir / kGdalHelperFile) && std::string(expected).find("module") != std::string::npos)
            std::filesystem::copy_file(helper, dir / kGdalHelperFile);
        test::CommandResult r = run((dir / "n43.tif").string());
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.out.find("n43.tif could not be opened as a raster: " + std::string(expected)), std::string::npos)
            << r.out;
        r = run(test::examplePath("n43.dem"));
        EXPECT_EQ(r.exitCode, 0) << r.out;
    }
}

TEST_F(GdalRasterSamples, AReaderProcessThatMisbehavesEndsInAMessageAndKeepsTheGrid) {
    GdalRasterFacts small;
    small.width = small.height = small.bands = 1;
    small.fetch = GdalFetch::Int16;
    std::string facts = EncodeRasterFacts(small);
    struct Case {
        const char* name;
        std::string script;  // what the reader process does
        const char* expected;
    };
    const Case cases[] = {
        {"crash", "kill -SEGV $$", "ended with signal 11"},
        {"silent", "exit 0", "the GDAL reader process ended early"},
        {"garbled", "printf 'facts\\nwidth=many\\nend\\n'", "told facts that do not read (the fact width"},
        {"gone", "printf 'facts\\n%s\\nend\\n' \"$FACTS\"; read go; exit 3", "ended with exit code 3"},
        {"short", "printf 'facts\\n%s\\nend\\n' \"$FACTS\"; read go; echo done", "incomplete temporary file"},
    };
    facts.pop_back();  // the script's printf ends the line
    writeRaster(n43(), {}, "GTiff", dir / "n43.tif");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto script = dir / (std::string(c.name) + ".sh");
        test::writeFileBytes(script, "#!/bin/sh\n" + c.script + "\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        test::ScopedEnvironment env{{"GORVALE_GDAL_HELPER", script.string()}, {"FACTS", facts}};
        ReaderHarness h;
        EXPECT_EQ(readRasterFile(h, dir / "n43.tif"), -1);
        EXPECT_TRUE(shownOnceContaining(h.ui, {(dir / "n43.tif").string(), c.expected}));
        EXPECT_TRUE(h.previousGridKept());
    }
}

}  // namespace
}  // namespace gorvale
