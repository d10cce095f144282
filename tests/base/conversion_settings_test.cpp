#include "base/conversion_settings.h"

#include <gtest/gtest.h>

namespace gorvale {
namespace {

TEST(DefaultSettings, PathsComeFromWorkingDirectory) {
    ConversionSettings s = defaultSettings("/home/user/job");
    EXPECT_EQ(s.DEMFile, "/home/user/job/mydem.dem");
    EXPECT_EQ(s.RWXFile, "/home/user/job/rwx/z");
    EXPECT_EQ(s.PropFile, "/home/user/job/prop.txt");
    EXPECT_EQ(s.LogFile, "/home/user/job/history.log");
}

TEST(DefaultSettings, TextureZoneTableHasItsDefaultRows) {
    ConversionSettings s = defaultSettings("/w");
    EXPECT_EQ(s.TextureZones[0].RWXName, "water");
    EXPECT_EQ(s.TextureZones[1].RWXName, "gnd");
    EXPECT_EQ(s.TextureZones[2].RWXName, "grass");
    EXPECT_EQ(s.TextureZones[3].RWXName, "grass");
    EXPECT_EQ(s.TextureZones[4].RWXName, "snow1");
    EXPECT_EQ(s.TextureZones[31].RWXName, "gnd");
    EXPECT_EQ(s.TextureZones[0].ColourValue, 0xff0000u);
    EXPECT_EQ(s.TextureZones[17].ColourValue, 0x800080u);
    EXPECT_EQ(s.TextureZones[18].ColourValue, 0u);
    EXPECT_EQ(s.TreeZones[5].RWXName, "ztree");
    EXPECT_EQ(s.TreeZones[5].NumberOfTrees, "1");
}

TEST(DefaultSettings, DeploymentDefaultsPointAtLocalServers) {
    ConversionSettings s = defaultSettings("/w");
    EXPECT_EQ(s.BotUniverseURL, "localhost");
    EXPECT_EQ(s.BotUniversePort, "6670");
    EXPECT_EQ(s.FtpHostURL, "localhost");
    EXPECT_EQ(s.VerticalScale, "0.01");
    EXPECT_TRUE(s.ZipIt);
    EXPECT_EQ(s.WorldSize, 1);
    EXPECT_EQ(s.BotSpeedBar, 10);
}

}  // namespace
}  // namespace gorvale
