#include <gtest/gtest.h>

#include <string>

#include "base/conversion_settings.h"
#include "rwx/rwx_emitter.h"
#include "tests/rwx/rwx_test_parser.h"

namespace gorvale {
namespace {

std::string groupsText(TextureGroupList& groups) {
    RwxText out;
    groups.WriteGroups(out);
    return out.str();
}

TEST(RwxStatements, HaveTheirExactTextsWithCrLf) {
    RwxText out;
    writeClumpBegin(out);
    writeTranslateBegin(out, 1.0f, -1.0f);
    writeVertexStart(out, 0.5f, 1.0f, -0.5f, 0.0f, 4.0f);
    out.lineEnd();
    writeSurface(out, 0.56f, 0.3f, 0.0f);
    writeNeutralColour(out);
    writeLightSampling(out, 1);
    writeLightSampling(out, 0);
    writeTextureModes(out, " foreshorten lit");
    writeMaterialDouble(out);
    writeElevationColour(out, 0.5f);
    writeTransformEnd(out);
    writeClumpEnd(out);
    writeNamedClumpBegin(out, "z00n_00w.rwx");
    writeModelEnd(out);
    EXPECT_EQ(out.bytes(),
              "ClumpBegin\r\n"
              "TransformBegin\r\n"
              "Translate  1 0 -1\r\n"
              "Vertex .5 1 -.5 uv 0 4\r\n"
              "Surface .56 .3 0\r\n"
              "Color .7 .7 .7\r\n"
              "Lightsampling facet\r\n"
              "Lightsampling vertex\r\n"
              "TextureModes  foreshorten lit\r\n"
              "Materialmodes double\r\n"
              "Color .5 .5 .5\r\n"
              "TransformEnd\r\n"
              "ClumpEnd\r\n"
              "# z00n_00w.rwx\r\n"
              "ClumpBegin\r\n"
              "\r\n"
              "ClumpEnd\r\n"
              "ModelEnd\r\n");
}

TEST(RwxStatements, FileCommentIsOneCommentLine) {
    RwxText out;
    writeFileComment(out);
    const std::string t = out.str();
    EXPECT_EQ(t.rfind("#gorvale by ", 0), 0u);
    EXPECT_EQ(t.find('\n'), t.size() - 1);
    EXPECT_EQ(t.substr(t.size() - 2), "\r\n");
}

TEST(RwxTextureModes, FollowTheFixedOrderOrNull) {
    ConversionSettings s;
    s.TextureModesForeShorten = false;
    s.TextureModesLit = false;
    s.TextureModesFilter = false;
    EXPECT_EQ(textureModesText(s), " null");
    s.TextureModesFilter = true;
    s.TextureModesForeShorten = true;
    EXPECT_EQ(textureModesText(s), " foreshorten filter");
    s.TextureModesLit = true;
    EXPECT_EQ(textureModesText(s), " foreshorten lit filter");
    RwxText out;
    s.TextureModesFilter = false;
    s.TextureModesForeShorten = false;
    s.TextureModesLit = false;
    writeTextureModes(out, textureModesText(s));
    EXPECT_EQ(out.bytes(), "TextureModes  null\r\n");
}

TEST(RwxTextLines, TurnsEveryLineFeedIntoCrLf) {
    RwxText out;
    out.putLines("Texture gnd3\nOpacity 0.50\n");
    EXPECT_EQ(out.bytes(), "Texture gnd3\r\nOpacity 0.50\r\n");
}

TEST(TextureGroups, PolygonsWithoutTextureAreWrittenUnderTextureNull) {
    TextureGroupList groups;
    groups.BeginGroupList();
    groups.AddTriangle(1, 2, 3, true);
    EXPECT_EQ(groupsText(groups), "Texture null\r\nTriangle 1 2 3\r\n");
}

TEST(TextureGroups, GroupWritesFirstPolygonThenTheOthersNewestFirst) {
    TextureGroupList groups;
    groups.BeginGroupList();
    groups.SelectTextureGroup("Texture gnd\n");
    groups.AddTriangle(1, 2, 3, true);
    groups.AddTriangle(4, 5, 6, true);
    groups.AddQuad(7, 8, 9, 10, true);
    groups.AddTriangle(11, 12, 13, true);
    EXPECT_EQ(groupsText(groups),
              "Texture gnd\r\n"
              "Triangle 1 2 3\r\n"
              "Triangle 11 12 13\r\n"
              "Quad 7 8 9 10\r\n"
              "Triangle 4 5 6\r\n");
}

TEST(TextureGroups, AreWrittenInAscendingStatementOrderWithNullLast) {
    TextureGroupList groups;
    groups.BeginGroupList();
    groups.AddTriangle(1, 1, 1, true);  // start group
    groups.SelectTextureGroup("Texture snow\n");
    groups.AddTriangle(2, 2, 2, true);
    groups.SelectTextureGroup("Texture gnd\n");
    groups.AddTriangle(3, 3, 3, true);
    groups.SelectTextureGroup("Texture water\n");
    groups.AddTriangle(4, 4, 4, true);
    groups.SelectTextureGroup("Texture gnd\n");  // existing group, no new one
    groups.AddTriangle(5, 5, 5, true);
    groups.SelectTextureGroup("Texture grass\n");
    groups.AddTriangle(6, 6, 6, true);
    EXPECT_EQ(groups.groupCount(), 5u);
    EXPECT_EQ(groupsText(groups),
              "Texture gnd\r\nTriangle 3 3 3\r\nTriangle 5 5 5\r\n"
              "Texture grass\r\nTriangle 6 6 6\r\n"
              "Texture snow\r\nTriangle 2 2 2\r\n"
              "Texture water\r\nTriangle 4 4 4\r\n"
              "Texture null\r\nTriangle 1 1 1\r\n");
}

TEST(TextureGroups, CompareStatementsBytewise) {
    TextureGroupList groups;
    groups.BeginGroupList();
    groups.SelectTextureGroup("Texture gnd\n");
    groups.AddTriangle(1, 2, 3, true);
    groups.SelectTextureGroup("Texture Gnd\n");  // upper case sorts first
    groups.AddTriangle(4, 5, 6, true);
    groups.SelectTextureGroup("Texture gnd1\n");  // the line end sorts before '1'
    groups.AddTriangle(7, 8, 9, true);
    EXPECT_EQ(groupsText(groups),
              "Texture Gnd\r\nTriangle 4 5 6\r\n"
              "Texture gnd\r\nTriangle 1 2 3\r\n"
              "Texture gnd1\r\nTriangle 7 8 9\r\n");
}

TEST(TextureGroups, BottomFacesFollowAllTopFacesWithTheirStatementRepeated) {
    TextureGroupList groups;
    groups.BeginGroupList();
    groups.SelectTextureGroup("Texture gnd\n");
    groups.AddTriangle(1, 2, 3, true);
    groups.AddTriangle(3, 2, 1, false);
    groups.SelectTextureGroup("Texture stone\n");
    groups.AddTriangle(4, 5, 6, true);
    groups.SelectTextureGroup("Texture gnd\n");
    groups.AddTriangle(7, 8, 9, true);
    groups.AddTriangle(9, 8, 7, false);
    EXPECT_EQ(groupsText(groups),
              "Texture gnd\r\nTriangle 1 2 3\r\nTriangle 7 8 9\r\n"
              "Texture stone\r\nTriangle 4 5 6\r\n"
              "Texture gnd\r\nTriangle 9 8 7\r\nTriangle 3 2 1\r\n");
}

TEST(TextureGroups, BottomFacesKeepTheGroupsWriteOrder) {
    // The group's first polygon is a bottom face: in the bottom pass it still
    // comes first, the remaining bottom faces newest first.
    TextureGroupList groups;
    groups.BeginGroupList();
    groups.AddTriangle(1, 1, 1, false);
    groups.AddTriangle(2, 2, 2, true);
    groups.AddTriangle(3, 3, 3, false);
    groups.AddTriangle(4, 4, 4, false);
    EXPECT_EQ(groupsText(groups),
              "Texture null\r\nTriangle 2 2 2\r\n"
              "Texture null\r\nTriangle 1 1 1\r\nTriangle 4 4 4\r\nTriangle 3 3 3\r\n");
}

TEST(TextureGroups, TaggedPolygonsUseTheExtendedForms) {
    TextureGroupList groups;
    groups.BeginGroupList();
    groups.tag = 7;
    groups.tagActive = true;
    groups.AddTriangle(1, 2, 3, true);
    groups.AddQuad(1, 2, 3, 4, true);
    groups.tagActive = false;
    groups.AddQuad(5, 6, 7, 8, true);
    EXPECT_EQ(groupsText(groups),
              "Texture null\r\n"
              "Triangleext 1 2 3 Tag 7\r\n"
              "Quad 5 6 7 8\r\n"
              "Quadext 1 2 3 4 Tag 7\r\n");
}

TEST(TextureGroups, OpacityStatementIsTwoCrLfLines) {
    TextureGroupList groups;
    groups.BeginGroupList();
    groups.SelectTextureGroup(textureStatement("gnd3\nOpacity 0.50"));
    groups.AddQuad(1, 2, 3, 4, true);
    EXPECT_EQ(groupsText(groups), "Texture gnd3\r\nOpacity 0.50\r\nQuad 1 2 3 4\r\n");
}

TEST(TextureGroups, AreEmptiedByWritingAndReusableForTheNextObject) {
    TextureGroupList groups;
    groups.BeginGroupList();
    groups.SelectTextureGroup("Texture b\n");
    groups.AddTriangle(1, 2, 3, true);
    groups.SelectTextureGroup("Texture a\n");
    groups.AddTriangle(4, 5, 6, true);
    groupsText(groups);
    groups.BeginGroupList();
    EXPECT_EQ(groups.groupCount(), 1u);
    EXPECT_EQ(groups.currentStatement(), "null");
    groups.SelectTextureGroup("Texture c\n");
    groups.AddTriangle(7, 8, 9, true);
    EXPECT_EQ(groupsText(groups), "Texture c\r\nTriangle 7 8 9\r\n");
}

TEST(TextureGroups, OutputPassesTheIndependentReader) {
    TextureGroupList groups;
    RwxText out;
    writeClumpBegin(out);
    for (int k = 0; k < 4; ++k) writeVertexStart(out, k * 0.1f, -k * 1.25f, k, k, 0), out.lineEnd();
    groups.BeginGroupList();
    groups.SelectTextureGroup("Texture grass\nOpacity 1.00\n");
    groups.AddTriangle(1, 2, 3, true);
    groups.AddTriangle(3, 2, 1, false);
    groups.SelectTextureGroup("Texture gnd\nOpacity 1.00\n");
    groups.AddQuad(1, 2, 3, 4, true);
    groups.WriteGroups(out);
    writeClumpEnd(out);
    const test::RwxParse p = test::parseRwx(out.str());
    ASSERT_TRUE(p.ok()) << p.errors.front();
    ASSERT_EQ(p.clumps.size(), 1u);
    EXPECT_EQ(p.clumps[0].vertices.size(), 4u);
    ASSERT_EQ(p.clumps[0].polygons.size(), 3u);
    EXPECT_EQ(p.clumps[0].polygons[0].texture, "gnd");
    EXPECT_EQ(p.clumps[0].polygons[0].opacity, "1.00");
    EXPECT_EQ(p.clumps[0].polygons[2].texture, "grass");
    EXPECT_EQ(p.clumps[0].polygons[2].vertices, (std::vector<int>{3, 2, 1}));
}

}  // namespace
}  // namespace gorvale
