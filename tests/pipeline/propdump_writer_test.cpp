#include "pipeline/propdump_writer.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace gorvale {
namespace {

TEST(PropdumpLines, HeaderAndGroundObject) {
    EXPECT_EQ(PropdumpHeaderLine(), "propdump version 3\r\n");
    EXPECT_EQ(GroundObjectLine(318, 1000000000, -1000, 6010, 49000, 900, "z01s_01e.rwx"),
              "318 1000000000 -1000 6010 49000 900 0 0 12 0 0 z01s_01e.rwx\r\n");
    EXPECT_EQ(GroundObjectLine(0, 0, 0, 0, 0, -900, "a"), "0 0 0 0 0 -900 0 0 1 0 0 a\r\n");
}

TEST(PropdumpLines, TreeObjectCarriesItsActionLength) {
    EXPECT_EQ(TreeObjectLine(5, 77, 1250, -40, 300, 1800, "ztree2.rwx", "create solid off"),
              "5 77 1250 -40 300 1800 0 0 10 0 16 ztree2.rwxcreate solid off\r\n");
    EXPECT_EQ(TreeObjectLine(5, 77, 0, 0, 0, 0, "ztree", ""), "5 77 0 0 0 0 0 0 5 0 0 ztree\r\n");
}

TEST(PropdumpLines, TeleportActionLengthMatchesTheText) {
    EXPECT_EQ(GroundZeroTeleportLine(318, 99, 4),
              "318 99 0 50 0 0 0 0 11 0 19 street1.rwxbump warp +0 +0 04a\r\n");
    EXPECT_EQ(GroundZeroTeleportLine(318, 99, -9),
              "318 99 0 50 0 0 0 0 11 0 19 street1.rwxbump warp +0 +0 -9a\r\n");
    EXPECT_EQ(GroundZeroTeleportLine(318, 99, 99),
              "318 99 0 50 0 0 0 0 11 0 19 street1.rwxbump warp +0 +0 99a\r\n");
    // Outside -9..99 the action grows, and so does its length field.
    EXPECT_EQ(GroundZeroTeleportLine(318, 99, 150),
              "318 99 0 50 0 0 0 0 11 0 20 street1.rwxbump warp +0 +0 150a\r\n");
    EXPECT_EQ(GroundZeroTeleportLine(318, 99, -20),
              "318 99 0 50 0 0 0 0 11 0 20 street1.rwxbump warp +0 +0 -20a\r\n");
    EXPECT_EQ(TeleportAction(7), "bump warp +0 +0 07a");
}

TEST(PropdumpLines, EveryObjectFormIsTheGeneralRecord) {
    WorldObject o;
    o.Owner = 318; o.Timestamp = 99; o.X = -1000; o.Y = 6010; o.Z = 49000; o.Yaw = 900;
    o.Model = "z01s_01e.rwx";
    EXPECT_EQ(PropdumpLine(o), GroundObjectLine(318, 99, -1000, 6010, 49000, 900, "z01s_01e.rwx"));
    o.Action = "create solid off";
    EXPECT_EQ(PropdumpLine(o), TreeObjectLine(318, 99, -1000, 6010, 49000, 900, "z01s_01e.rwx", "create solid off"));
    o.Tilt = -5; o.Roll = 7; o.Description = "sign";
    EXPECT_EQ(PropdumpLine(o), "318 99 -1000 6010 49000 900 -5 7 12 4 16 z01s_01e.rwxsigncreate solid off\r\n");
}

TEST(PropdumpFile, OpenWritesTheHeaderAndReportsFailure) {
    test::ScratchDir dir;
    const std::string path = (dir / "prop.txt").string();
    {
        FilePtr f = OpenPropdump(path);
        ASSERT_TRUE(f);
        EXPECT_TRUE(WritePropdumpLine(f.get(), GroundObjectLine(1, 2, 3, 4, 5, 6, "m.rwx")));
    }
    EXPECT_EQ(test::readFileBytes(path), "propdump version 3\r\n1 2 3 4 5 6 0 0 5 0 0 m.rwx\r\n");
    // Opening again truncates.
    { ASSERT_TRUE(OpenPropdump(path)); }
    EXPECT_EQ(test::readFileBytes(path), "propdump version 3\r\n");

    EXPECT_FALSE(OpenPropdump((dir / "missing" / "prop.txt").string()));
    EXPECT_FALSE(WritePropdumpLine(nullptr, "x\r\n"));
}

}  // namespace
}  // namespace gorvale
