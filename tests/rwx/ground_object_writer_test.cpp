#include <gtest/gtest.h>

#include "tests/support/scoped_environment.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "pipeline/workspace.h"
#include "rwx/ground_object_writer.h"
#include "tests/rwx/rwx_test_parser.h"
#include "tests/support/test_support.h"

namespace gorvale {
namespace {

namespace fs = std::filesystem;

class RecordingDelivery : public ModelDelivery {
public:
    int PackAndUpload(const std::string& path) override {
        paths.push_back(path);
        return result;
    }
    std::vector<std::string> paths;
    int result = 0;
};

std::string withReason(const std::string& path, int error) { return path + " (" + std::strerror(error) + ")"; }

struct WriterFixture : ::testing::Test {
    test::RecordingUserInterface ui;
    Workspace ws{ui};
    TileHeights tile{};
    test::ScratchDir dir;
    RecordingDelivery delivery;

    WriterFixture() {
        ws.settings.ZipIt = false;
        ws.settings.RWXFile = (dir / "z").string();
        ws.grid.SelectionMin = 100;
        ws.grid.SelectionRange = 40;
        ZoneRow& gnd = ws.zones.rows[0];
        ws.settings.TextureZones[0].ObjectZone = true;
        ws.settings.TextureZones[0].RWXName = "gnd";
        ws.settings.TextureZones[0].Lowest = "-100000";
        ws.settings.TextureZones[0].Highest = "100000";
        (void)gnd;
        PrepareZoneTable(ws);
    }

    void setVertices(int n, std::initializer_list<std::int32_t> byVertexNumber) {
        // Values in vertex order: i from n down to 0, j from 0 to n.
        auto it = byVertexNumber.begin();
        for (int i = n; i >= 0; --i)
            for (int j = 0; j <= n; ++j) tile.E(i, j) = *it++;
    }
    void fill(int n, std::int32_t value) {
        for (int i = 0; i <= n; ++i)
            for (int j = 0; j <= n; ++j) tile.E(i, j) = value;
    }
    std::string path(const std::string& name = "z00n_00w.rwx") const { return (dir / name).string(); }

    std::string write(int n, std::int32_t base = 100, float verticalScale = 1.0f, int offsetZ = 0,
                      int offsetX = 0, const std::string& name = "z00n_00w.rwx") {
        GroundObjectWriter writer(ws, tile, nullptr, &delivery);
        result = writer.WriteGroundObject(path(name), n, offsetZ, offsetX, base, verticalScale, 0.2,
                                          0, 0, n);
        maxVertexHeight = writer.MaxVertexHeight;
        baseUsed = writer.baseElevationInUse();
        return test::readFileBytes(path(name));
    }
    test::RwxParse parsed(const std::string& bytes) {
        test::RwxParse p = test::parseRwx(bytes);
        EXPECT_TRUE(p.ok()) << (p.errors.empty() ? "" : p.errors.front());
        return p;
    }
    std::vector<std::string> polygonLines(const std::string& bytes) {
        std::vector<std::string> out;
        for (const std::string& l : test::parseRwx(bytes).lines)
            if (l.rfind("Tri", 0) == 0 || l.rfind("Quad", 0) == 0 || l.rfind("Texture ", 0) == 0)
                out.push_back(l);
        return out;
    }

    int result = 99;
    int maxVertexHeight = -1;
    std::int32_t baseUsed = 0;
};

TEST_F(WriterFixture, WritesTheOneCellExampleByteForByte) {
    setVertices(1, {110, 120, 100, 110});
    const std::string bytes = write(1);
    EXPECT_EQ(result, 0);
    RwxText comment;
    writeFileComment(comment);
    EXPECT_EQ(bytes, comment.str() +
                         "ClumpBegin\r\n"
                         "Vertex .5 1 -.5 uv 0 4\r\n"
                         "Vertex .5 2 .5 uv 0 0\r\n"
                         "Vertex -.5 0 -.5 uv 4 4\r\n"
                         "Vertex -.5 1 .5 uv 4 0\r\n"
                         "Surface .56 .3 0\r\n"
                         "Lightsampling vertex\r\n"
                         "TextureModes  foreshorten lit\r\n"
                         "Materialmodes double\r\n"
                         "Color .5 .5 .5\r\n"
                         "Texture gnd\r\n"
                         "Triangle 3 4 2\r\n"
                         "Triangle 2 1 3\r\n"
                         "ClumpEnd\r\n");
    EXPECT_EQ(comment.bytes().rfind("#gorvale by ", 0), 0u);
    EXPECT_EQ(maxVertexHeight, 2);
    ASSERT_EQ(delivery.paths.size(), 1u);
    EXPECT_EQ(delivery.paths[0], path());
    EXPECT_EQ(ui.events, 0);  // the tile loop handles events, not the writer
}

TEST_F(WriterFixture, FlatTileIsOneQuadWhenPolygonsAreOptimised) {
    fill(4, 130);
    const auto p = parsed(write(4));
    ASSERT_EQ(p.clumps.size(), 1u);
    const auto& c = p.clumps[0];
    ASSERT_EQ(c.vertices.size(), 4u);
    EXPECT_EQ(c.vertices[0].x, 0.5);   // (n, 0)
    EXPECT_EQ(c.vertices[0].z, -0.5);
    EXPECT_EQ(c.vertices[1].z, 0.5);   // (n, n)
    EXPECT_EQ(c.vertices[2].x, -0.5);  // (0, 0)
    EXPECT_EQ(c.vertices[0].y, 3.0);
    EXPECT_EQ(c.vertices[0].u, 0.0);
    EXPECT_EQ(c.vertices[0].v, 4.0);
    EXPECT_EQ(c.vertices[3].u, 4.0);
    ASSERT_EQ(c.polygons.size(), 1u);
    EXPECT_EQ(c.polygons[0].vertices, (std::vector<int>{1, 3, 4, 2}));  // a quad even with triangles
    EXPECT_EQ(maxVertexHeight, 3);
}

TEST_F(WriterFixture, FlatTileIsTheFullGridWithoutOptimisation) {
    ws.settings.OptimizePolygons = false;
    fill(4, 130);
    const auto p = parsed(write(4));
    EXPECT_EQ(p.clumps[0].vertices.size(), 25u);
    EXPECT_EQ(p.clumps[0].polygons.size(), 32u);
    for (const auto& poly : p.clumps[0].polygons) EXPECT_EQ(poly.vertices.size(), 3u);
}

TEST_F(WriterFixture, FlatDoubleSidedTileAddsTheBottomQuad) {
    ws.settings.DoubleSidedObject = true;
    ws.settings.TextureZones[0].RWXBottomName = "dirt";
    PrepareZoneTable(ws);
    fill(2, 100);
    EXPECT_EQ(polygonLines(write(2)),
              (std::vector<std::string>{"Texture gnd", "Quad 1 3 4 2", "Texture dirt", "Quad 2 4 3 1"}));
}

TEST_F(WriterFixture, ZoneFlatteningCanMakeATileFlat) {
    ws.settings.TextureZones[1].ObjectFlatZone = true;
    ws.settings.TextureZones[1].Lowest = "0";
    ws.settings.TextureZones[1].Highest = "5";
    PrepareZoneTable(ws);
    setVertices(1, {0, 5, 3, 1});
    const auto p = parsed(write(1, 0));
    EXPECT_EQ(p.clumps[0].vertices.size(), 4u);
    EXPECT_EQ(p.clumps[0].polygons.size(), 1u);
    EXPECT_EQ(tile.E(1, 1), 0);  // flattened in place
    EXPECT_EQ(tile.E(0, 0), 0);
}

TEST_F(WriterFixture, CellsAlternateTheirDiagonalLikeACheckerboard) {
    setVertices(2, {100, 103, 107, 111, 117, 119, 131, 137, 141});
    EXPECT_EQ(polygonLines(write(2)),
              (std::vector<std::string>{"Texture gnd", "Triangle 4 5 2", "Triangle 6 5 8",
                                        "Triangle 8 9 6", "Triangle 8 5 4", "Triangle 4 7 8",
                                        "Triangle 6 3 2", "Triangle 2 5 6", "Triangle 2 1 4"}));
}

TEST_F(WriterFixture, QuadsFollowTheSameCornerCycle) {
    ws.settings.UseTriangle = false;
    setVertices(2, {100, 103, 107, 111, 117, 119, 131, 137, 141});
    EXPECT_EQ(polygonLines(write(2)),
              (std::vector<std::string>{"Texture gnd", "Quad 4 5 2 1", "Quad 8 9 6 5", "Quad 4 7 8 5",
                                        "Quad 2 5 6 3"}));
}

TEST_F(WriterFixture, ThreeEqualCornersSplitAlongTheirDiagonalEvenForQuads) {
    ws.settings.UseTriangle = false;
    setVertices(1, {50, 50, 100, 50});  // corners 4, 2, 1 are equal
    EXPECT_EQ(polygonLines(write(1)),
              (std::vector<std::string>{"Texture gnd", "Triangle 4 2 1", "Triangle 1 3 4"}));
    setVertices(1, {50, 70, 50, 50});  // corners 3, 4 ... 1: the cycle 1 3 4 is equal
    EXPECT_EQ(polygonLines(write(1)),
              (std::vector<std::string>{"Texture gnd", "Triangle 1 3 4", "Triangle 4 2 1"}));
}

TEST_F(WriterFixture, DoubleSidedCellsAddReversedBottomFacesAfterAllTopFaces) {
    ws.settings.DoubleSidedObject = true;
    ws.settings.TextureZones[0].RWXBottomName = "dirt";
    PrepareZoneTable(ws);
    setVertices(1, {110, 120, 100, 110});
    EXPECT_EQ(polygonLines(write(1)),
              (std::vector<std::string>{"Texture gnd", "Triangle 3 4 2", "Triangle 2 1 3",
                                        "Texture dirt", "Triangle 2 4 3", "Triangle 3 1 2"}));
}

TEST_F(WriterFixture, TranslationIsWrittenOnlyForAnOffsetObject) {
    ws.settings.UseTranslate = true;
    ws.settings.ObjectSize = 1;  // 2 units
    setVertices(1, {110, 120, 100, 110});
    std::string bytes = write(1);
    EXPECT_EQ(bytes.find("Transform"), std::string::npos);
    bytes = write(1, 100, 1.0f, 1, -1);
    const auto p = parsed(bytes);
    ASSERT_TRUE(p.clumps[0].translated);
    EXPECT_NE(bytes.find("TransformBegin\r\nTranslate  -2 0 2\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("TransformEnd\r\nClumpEnd\r\n"), std::string::npos);
    EXPECT_EQ(p.clumps[0].vertices[0].x, 1.0);  // local coordinates
    EXPECT_EQ(p.clumps[0].vertices[0].z, -1.0);
}

TEST_F(WriterFixture, WithoutTranslationTheOffsetMovesTheVertices) {
    ws.settings.ObjectSize = 1;
    setVertices(1, {110, 120, 100, 110});
    const std::string bytes = write(1, 100, 1.0f, 1, -1);
    EXPECT_EQ(bytes.find("Transform"), std::string::npos);
    const auto p = parsed(bytes);
    EXPECT_EQ(p.clumps[0].vertices[0].x, -1.0);  // -2 + 1
    EXPECT_EQ(p.clumps[0].vertices[0].z, 1.0);   // 2 - 1
    EXPECT_EQ(p.clumps[0].vertices[3].x, -3.0);
}

TEST_F(WriterFixture, HeightsUseBaseAndVerticalScale) {
    setVertices(1, {110, 120, 100, 135});
    const auto p = parsed(write(1, 90, 0.5f));
    EXPECT_EQ(p.lines[2], "Vertex .5 1 -.5 uv 0 4");   // 0.1 * 20 * 0.5
    EXPECT_EQ(p.lines[5], "Vertex -.5 2.25 .5 uv 4 0");  // 0.1 * 45 * 0.5
    EXPECT_EQ(maxVertexHeight, 2);
    EXPECT_EQ(baseUsed, 90);
}

TEST_F(WriterFixture, FlushWithGroundPutsTheLowestVertexAtZero) {
    ws.settings.FlushWithGround = true;
    setVertices(2, {500, 420, 430, 440, 450, 460, 470, 480, 490});
    const auto p = parsed(write(2, 0));
    double lowest = 1e9;
    for (const auto& v : p.clumps[0].vertices) lowest = std::min(lowest, v.y);
    EXPECT_EQ(lowest, 0.0);
    EXPECT_EQ(baseUsed, 420);
    fill(2, 40000);  // also above the old tracker start value
    const auto q = parsed(write(2, 0));
    EXPECT_EQ(q.clumps[0].vertices[0].y, 0.0);
    EXPECT_EQ(baseUsed, 40000);
}

TEST_F(WriterFixture, UniqueTexturesCoverTheObjectOnce) {
    ws.settings.UseUniqueTextures = true;
    ws.settings.NumberOfTiles = "7";
    setVertices(1, {110, 120, 100, 110});
    const std::string bytes = write(1, 100, 1.0f, 0, 0, "z03n_02w.rwx");
    const auto p = parsed(bytes);
    for (const auto& v : p.clumps[0].vertices) {
        EXPECT_TRUE(v.u == 0.0 || v.u == 1.0);
        EXPECT_TRUE(v.v == 0.0 || v.v == 1.0);
    }
    EXPECT_EQ(p.clumps[0].vertices[2].u, 1.0);
    EXPECT_EQ(p.clumps[0].textureStatements, (std::vector<std::string>{"ztxt03n_02w"}));
}

TEST_F(WriterFixture, NumberOfTilesScalesTheTextureCoordinates) {
    ws.settings.NumberOfTiles = "2.5";
    setVertices(2, {100, 103, 107, 111, 117, 119, 131, 137, 141});
    GroundObjectWriter writer(ws, tile);
    ASSERT_EQ(writer.WriteGroundObject(path(), 2, 0, 0, 100, 1.0f, 0.2, 0, 0, 2), 0);
    const auto p = parsed(test::readFileBytes(path()));
    EXPECT_EQ(p.clumps[0].vertices[0].v, 2.5);
    EXPECT_EQ(p.clumps[0].vertices[1].v, 1.25);
    EXPECT_EQ(p.clumps[0].vertices[3].u, 1.25);
}

TEST(UniqueTextureName, TakesTheTileNameFromThePath) {
    EXPECT_EQ(GroundObjectWriter::uniqueTextureName("ztxt", "z03n_02w.rwx"), "ztxt03n_02w");
    EXPECT_EQ(GroundObjectWriter::uniqueTextureName("ztxt", "C:\\models\\z03n_12e.rwx"), "ztxt03n_12e");
    EXPECT_EQ(GroundObjectWriter::uniqueTextureName("p", "a.rwx"), "pa");
    EXPECT_EQ(GroundObjectWriter::uniqueTextureName("p", "ab"), "p");
}

TEST(ModelPaths, SplitNamesAndJoinTheTemporaryDirectory) {
    EXPECT_EQ(GroundObjectWriter::fileNamePart("C:\\models\\z00n_00w.rwx"), "z00n_00w.rwx");
    EXPECT_EQ(GroundObjectWriter::fileNamePart("/tmp/m/z00n_00w.rwx"), "z00n_00w.rwx");
    EXPECT_EQ(GroundObjectWriter::fileNamePart("plain.rwx"), "plain.rwx");
    for (const char* temp : {"/some/where", "/some/where/"}) {
        test::ScopedEnvironment variable{{"TEMP", temp}};
        EXPECT_EQ(GroundObjectWriter::temporaryPath("a.rwx"), "/some/where/a.rwx");
    }
}

TEST_F(WriterFixture, PrelightTextsAreWrittenAsTyped) {
    ws.settings.UsePrelight = true;
    ws.settings.PrelightR = "0.50";
    ws.settings.PrelightG = "1";
    ws.settings.PrelightB = ".250";
    setVertices(1, {110, 120, 100, 110});
    auto p = parsed(write(1));
    EXPECT_EQ(p.lines[2], "Vertex .5 1 -.5 uv 0 4 #!prelight 0.50 1 .250    #1 0");
    EXPECT_EQ(p.lines[5], "Vertex -.5 1 .5 uv 4 0 #!prelight 0.50 1 .250    #0 1");
    fill(1, 100);
    p = parsed(write(1));
    EXPECT_EQ(p.lines[2], "Vertex .5 0 -.5 uv 0 4 #!prelight 0.50 1 .250");
}

TEST_F(WriterFixture, MaterialOptionsChangeTheMaterialBlock) {
    ws.settings.GradientColouring = false;
    ws.settings.LightSampling = 1;
    ws.settings.MaterialModesDouble = false;
    ws.settings.TextureModesForeShorten = false;
    ws.settings.TextureModesLit = false;
    ws.settings.Ambient = "0.7";
    ws.settings.Diffuse = "x";  // keeps the previous value
    setVertices(1, {110, 120, 100, 110});
    const auto p = parsed(write(1));
    EXPECT_EQ(p.lines[6], "Surface .7 .3 0");
    EXPECT_EQ(p.lines[7], "Color .7 .7 .7");
    EXPECT_EQ(p.lines[8], "Lightsampling facet");
    EXPECT_EQ(p.lines[9], "TextureModes  null");
    EXPECT_EQ(p.lines[10], "Texture gnd");
}

TEST_F(WriterFixture, ColourComesFromTheHighestVertex) {
    ws.grid.SelectionMin = 0;
    ws.grid.SelectionRange = 400;
    setVertices(1, {110, 120, 100, 300});
    EXPECT_NE(write(1).find("\r\nColor .75 .75 .75\r\n"), std::string::npos);
    fill(1, 100);  // flat: E(0, 0)
    EXPECT_NE(write(1).find("\r\nColor .25 .25 .25\r\n"), std::string::npos);
    ws.grid.SelectionRange = 0;  // never divides by zero
    EXPECT_NE(write(1).find("\r\nColor 100 100 100\r\n"), std::string::npos);
}

TEST_F(WriterFixture, OpacityLinesFollowEveryTextureStatement) {
    ws.settings.DoubleSidedObject = true;
    ws.settings.TextureZones[0].Highest = "115";
    ws.settings.TextureZones[1].ObjectZone = true;
    ws.settings.TextureZones[1].RWXName = "snow";
    ws.settings.TextureZones[1].Lowest = "116";
    ws.settings.TextureZones[1].Highest = "1000";
    ws.settings.TextureZones[1].OpacityZone = true;
    ws.settings.TextureZones[1].OpacityValue = "0.25";
    PrepareZoneTable(ws);
    setVertices(2, {100, 103, 107, 111, 117, 119, 131, 137, 141});
    const std::string bytes = write(2);
    const auto p = parsed(bytes);
    std::size_t statements = 0;
    for (std::size_t k = 0; k + 1 < p.lines.size(); ++k) {
        if (p.lines[k].rfind("Texture ", 0) != 0) continue;
        ++statements;
        EXPECT_EQ(p.lines[k + 1].rfind("Opacity ", 0), 0u) << p.lines[k];
    }
    EXPECT_EQ(statements, 4u);
    EXPECT_NE(bytes.find("Texture snow\r\nOpacity 0.25\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("Texture gnd\r\nOpacity 1.00\r\n"), std::string::npos);
}

TEST_F(WriterFixture, ZoneTagsMarkPolygons) {
    ws.settings.TextureZones[0].ObjectTagZone = true;
    ws.settings.TextureZones[0].TagStartValue = "200";
    PrepareZoneTable(ws);
    setVertices(1, {110, 120, 100, 110});
    EXPECT_EQ(polygonLines(write(1)),
              (std::vector<std::string>{"Texture gnd", "Triangleext 3 4 2 Tag 200",
                                        "Triangleext 2 1 3 Tag 200"}));
}

TEST_F(WriterFixture, CliffPolygonsGetTheCliffTexture) {
    ws.settings.CliffTextures = true;
    ws.settings.CliffTextureName = "stone2";
    ws.settings.CliffTextureMin = "15";
    PrepareZoneTable(ws);
    setVertices(1, {110, 120, 100, 110});  // 3 4 2 spans 20, 2 1 3 spans 20
    EXPECT_EQ(polygonLines(write(1)),
              (std::vector<std::string>{"Texture stone2", "Triangle 3 4 2", "Triangle 2 1 3"}));
    setVertices(1, {110, 112, 100, 110});  // 3 4 2 spans 12, 2 1 3 spans 12
    EXPECT_EQ(polygonLines(write(1))[0], "Texture gnd");
}

TEST_F(WriterFixture, NoObjectTexturesWritesTextureNull) {
    ws.settings.NoObjectTextures = true;
    setVertices(1, {110, 120, 100, 110});
    EXPECT_EQ(polygonLines(write(1)),
              (std::vector<std::string>{"Texture null", "Triangle 3 4 2", "Triangle 2 1 3"}));
}

TEST_F(WriterFixture, LargeTerrainPassesTheIndependentReader) {
    ws.settings.DoubleSidedObject = true;
    ws.settings.CliffTextures = true;
    ws.settings.CliffTextureMin = "40";
    ws.settings.TextureZones[0].Highest = "150";
    for (int s = 1; s < 4; ++s) {
        ws.settings.TextureZones[s].ObjectZone = true;
        ws.settings.TextureZones[s].RWXName = "z" + std::to_string(s);
        ws.settings.TextureZones[s].Lowest = std::to_string(100 + 50 * s);
        ws.settings.TextureZones[s].Highest = std::to_string(150 + 50 * s);
        ws.settings.TextureZones[s].NumberOfTexts = "3";
    }
    ws.settings.TextureZones[2].ObjectTagZone = true;
    PrepareZoneTable(ws);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> height(80, 320);
    for (int i = 0; i <= 32; ++i)
        for (int j = 0; j <= 32; ++j) tile.E(i, j) = height(random);
    const auto p = parsed(write(32, 80, 0.37f, 1, 2));
    ASSERT_EQ(p.clumps.size(), 1u);
    EXPECT_EQ(p.clumps[0].vertices.size(), 33u * 33u);
    std::size_t triangleCorners = 0;
    for (const auto& poly : p.clumps[0].polygons) triangleCorners += poly.vertices.size();
    EXPECT_EQ(triangleCorners, 2u * 2u * 32u * 32u * 3u);
    EXPECT_GT(p.clumps[0].textureStatements.size(), 4u);
}

TEST_F(WriterFixture, UnwritableTargetShowsTheErrorAndWritesNothing) {
    const std::string target = (dir / "missing" / "z00n_00w.rwx").string();
    setVertices(1, {110, 120, 100, 110});
    GroundObjectWriter writer(ws, tile, nullptr, &delivery);
    EXPECT_EQ(writer.WriteGroundObject(target, 1, 0, 0, 100, 1.0f, 0.2, 0, 0, 1), -1);
    EXPECT_EQ(ui.fileErrors, (std::vector<std::string>{withReason(target, ENOENT)}));
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(delivery.paths.empty());
}

TEST_F(WriterFixture, FailedWriteRemovesThePartialModel) {
    // A file size limit makes the write fail after the file was created.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    setVertices(1, {110, 120, 100, 110});
    GroundObjectWriter writer(ws, tile, nullptr, &delivery);
    const int r = writer.WriteGroundObject(path(), 1, 0, 0, 100, 1.0f, 0.2, 0, 0, 1);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(r, -1);
    EXPECT_EQ(ui.fileErrors, (std::vector<std::string>{withReason(path(), EFBIG)}));
    EXPECT_FALSE(fs::exists(path()));
    EXPECT_TRUE(delivery.paths.empty());
}

TEST_F(WriterFixture, UnwritableTemporaryDirectoryNamesTheTemporaryPath) {
    ws.settings.ZipIt = true;
    test::ScopedEnvironment temp{{"TEMP", (dir / "nowhere").string()}};
    setVertices(1, {110, 120, 100, 110});
    GroundObjectWriter writer(ws, tile, nullptr, &delivery);
    EXPECT_EQ(writer.WriteGroundObject(path(), 1, 0, 0, 100, 1.0f, 0.2, 0, 0, 1), -1);
    EXPECT_EQ(ui.fileErrors, (std::vector<std::string>{withReason((dir / "nowhere" / "z00n_00w.rwx").string(), ENOENT)}));
    EXPECT_FALSE(fs::exists(path()));
}

TEST_F(WriterFixture, ZipItWritesIntoTheTemporaryDirectoryAndHandsOverThePath) {
    ws.settings.ZipIt = true;
    fs::create_directories(dir / "temp");
    test::ScopedEnvironment temp{{"TEMP", (dir / "temp").string()}};
    setVertices(1, {110, 120, 100, 110});
    write(1);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(fs::exists(path()));
    EXPECT_TRUE(fs::exists(dir / "temp" / "z00n_00w.rwx"));
    EXPECT_EQ(delivery.paths, (std::vector<std::string>{path()}));
    // An archive that could not be made ends the run like a model that could not be written.
    delivery.result = -1;
    write(1);
    EXPECT_EQ(result, -1);
}

TEST_F(WriterFixture, AModelThatCannotBePackedFailsLikeOneThatCannotBeWritten) {
    // The delivery reports its own failure; the writer's -1 ends the tile loop.
    delivery.result = -1;
    setVertices(1, {110, 120, 100, 110});
    write(1);
    EXPECT_EQ(result, -1);
    ws.settings.SingleObjectGround = true;
    GroundObjectWriter writer(ws, tile, nullptr, &delivery);
    ASSERT_EQ(writer.BeginSingleModel("dem"), 0);
    EXPECT_EQ(writer.EndSingleModel(), -1);
    EXPECT_EQ(delivery.paths.size(), 2u);
    EXPECT_TRUE(ui.fileErrors.empty());
}

TEST_F(WriterFixture, LogsTheWritingAndItsEnd) {
    ws.settings.LogEnable = true;
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    setVertices(1, {110, 120, 100, 110});
    GroundObjectWriter writer(ws, tile, log);
    ASSERT_EQ(writer.WriteGroundObject(path(), 1, 0, 0, 100, 1.0f, 0.2, 0, 0, 1), 0);
    ws.settings.LogEnable = false;
    ASSERT_EQ(writer.WriteGroundObject(path(), 1, 0, 0, 100, 1.0f, 0.2, 0, 0, 1), 0);
    std::rewind(log);
    char buffer[512] = {};
    const std::size_t got = std::fread(buffer, 1, sizeof buffer - 1, log);
    std::fclose(log);
    EXPECT_EQ(std::string(buffer, got),
              "Writing ElevationGrid Verteces to " + path() + "...\r\nOK\r\n");
    ws.settings.LogEnable = true;
    GroundObjectWriter withoutLog(ws, tile, nullptr);
    EXPECT_EQ(withoutLog.WriteGroundObject(path(), 1, 0, 0, 100, 1.0f, 0.2, 0, 0, 1), 0);
}

TEST_F(WriterFixture, NativeTerrainRunsWriteNothing) {
    ws.settings.AW_Terrain = true;
    setVertices(1, {110, 120, 100, 110});
    write(1);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(fs::exists(path()));
    EXPECT_TRUE(delivery.paths.empty());
}

TEST_F(WriterFixture, SingleModelHoldsEveryTileAsAClump) {
    ws.settings.SingleObjectGround = true;
    ws.settings.UseTranslate = true;
    ws.settings.FlushWithGround = true;  // the single model keeps the run's base
    GroundObjectWriter writer(ws, tile, nullptr, &delivery);
    ASSERT_EQ(writer.BeginSingleModel("Mount Test"), 0);
    setVertices(1, {110, 120, 100, 110});
    ASSERT_EQ(writer.WriteGroundObject(path("z00n_00w.rwx"), 1, 0, 0, 90, 1.0f, 0.2, 0, 0, 1), 0);
    EXPECT_EQ(writer.baseElevationInUse(), 90);
    fill(1, 100);
    ASSERT_EQ(writer.WriteGroundObject(path("z00n_01w.rwx"), 1, 0, 1, 90, 1.0f, 0.2, 0, 0, 1), 0);
    EXPECT_TRUE(delivery.paths.empty());
    ASSERT_EQ(writer.EndSingleModel(), 0);
    EXPECT_EQ(delivery.paths, (std::vector<std::string>{ws.settings.RWXFile + ".rwx"}));
    EXPECT_FALSE(fs::exists(path("z00n_00w.rwx")));
    const std::string bytes = test::readFileBytes(ws.settings.RWXFile + ".rwx");
    const auto p = parsed(bytes);
    ASSERT_GE(p.lines.size(), 10u);
    EXPECT_EQ(p.lines[0][0], '#');
    EXPECT_EQ(p.lines[1], "# Mount Test");
    EXPECT_EQ(p.lines[2], "ModelBegin");
    EXPECT_EQ(p.lines[3], "ClumpBegin");
    EXPECT_EQ(p.lines[4], "Surface .56 .3 0");
    EXPECT_EQ(p.lines[5], "Lightsampling vertex");
    EXPECT_EQ(p.lines[6], "TextureModes  foreshorten lit");
    EXPECT_EQ(p.lines[7], "Materialmodes double");
    EXPECT_EQ(p.lines[8], "# z00n_00w.rwx");
    EXPECT_EQ(p.lines[9], "ClumpBegin");
    EXPECT_EQ(p.lines[10], "Vertex .5 2 -.5 uv 0 4");
    EXPECT_EQ(p.lines[14], "Color .5 .5 .5");  // the clump has no material block of its own
    EXPECT_NE(bytes.find("# z00n_01w.rwx\r\nClumpBegin\r\nTransformBegin\r\nTranslate  1 0 0\r\n"),
              std::string::npos);
    EXPECT_EQ(bytes.substr(bytes.size() - 32), "ClumpEnd\r\n\r\nClumpEnd\r\nModelEnd\r\n");
    EXPECT_EQ(p.clumps.size(), 3u);
}

TEST_F(WriterFixture, SingleModelThatCannotBeCreatedStopsTheTiles) {
    ws.settings.SingleObjectGround = true;
    ws.settings.RWXFile = (dir / "missing" / "z").string();
    GroundObjectWriter writer(ws, tile, nullptr, &delivery);
    EXPECT_EQ(writer.BeginSingleModel("dem"), -1);
    EXPECT_EQ(ui.fileErrors, (std::vector<std::string>{withReason(ws.settings.RWXFile + ".rwx", ENOENT)}));
    fill(1, 100);
    EXPECT_EQ(writer.WriteGroundObject(path(), 1, 0, 0, 100, 1.0f, 0.2, 0, 0, 1), -1);
    EXPECT_EQ(writer.EndSingleModel(), -1);
    EXPECT_TRUE(delivery.paths.empty());
}

TEST_F(WriterFixture, RefusesCellCountsOutsideTheTile) {
    GroundObjectWriter writer(ws, tile);
    EXPECT_EQ(writer.WriteGroundObject(path(), 0, 0, 0, 100, 1.0f, 0.2, 0, 0, 0), -1);
    EXPECT_EQ(writer.WriteGroundObject(path(), 33, 0, 0, 100, 1.0f, 0.2, 0, 0, 33), -1);
    EXPECT_FALSE(fs::exists(path()));
}

}  // namespace
}  // namespace gorvale
