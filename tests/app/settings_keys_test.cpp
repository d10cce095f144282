#include "app/core/settings_keys.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace gorvale {
namespace {

const void* address(const SettingTarget& t) {
    return std::visit([](auto* p) { return static_cast<const void*>(p); }, t);
}

std::vector<std::string> allValues(const ConversionSettings& s) {
    std::vector<std::string> v;
    for (const SettingKey& k : settingKeys()) v.push_back(k.section + "." + k.key + "=" + formatSettingValue(s, k));
    return v;
}

TEST(SettingKeyTable, EveryKeyReachesItsOwnMember) {
    ConversionSettings s;
    std::set<const void*> targets;
    std::set<std::pair<std::string, std::string>> names;
    for (const SettingKey& k : settingKeys()) {
        EXPECT_TRUE(targets.insert(address(k.target(s))).second) << k.section << "." << k.key << " shares a member";
        EXPECT_TRUE(names.insert({k.section, k.key}).second) << k.section << "." << k.key << " listed twice";
        EXPECT_EQ(findSetting(k.section, k.key), &k);
    }
    // Spot checks that the table points where the names say.
    EXPECT_EQ(address(findSetting("TextureZones", "Lowest7")->target(s)), &s.TextureZones[7].Lowest);
    EXPECT_EQ(address(findSetting("TreeZones", "Lowest7")->target(s)), &s.TreeZones[7].Lowest);
    EXPECT_EQ(address(findSetting("TextureZones", "ColourValue31")->target(s)), &s.TextureZones[31].ColourValue);
    EXPECT_EQ(address(findSetting("WorldParameters", "VerticalScale")->target(s)), &s.VerticalScale);
    EXPECT_EQ(address(findSetting("Session", "ZipPassword")->target(s)), &s.ZipPassword);
}

TEST(SettingKeyTable, ListsEverySectionInWritingOrderWithBothZoneTablesComplete) {
    std::vector<std::string> order;
    std::map<std::string, int> perSection;
    for (const SettingKey& k : settingKeys()) {
        if (order.empty() || order.back() != k.section) order.push_back(k.section);
        ++perSection[k.section];
    }
    const std::vector<std::string> expected = {"ElevationModel", "WorldParameters", "RWXOptions", "PropertyOptions",
                                               "LogOptions",     "TreeZones",       "TextureZones", "Session"};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(perSection["ElevationModel"], 19);
    EXPECT_EQ(perSection["WorldParameters"], 17);
    EXPECT_EQ(perSection["RWXOptions"], 28);
    EXPECT_EQ(perSection["PropertyOptions"], 22);
    EXPECT_EQ(perSection["LogOptions"], 3);
    EXPECT_EQ(perSection["TreeZones"], 8 + kZoneRows * 10);
    EXPECT_EQ(perSection["TextureZones"], 11 + kZoneRows * 14);
    EXPECT_EQ(perSection["Session"], 7);
    for (int n = 0; n < kZoneRows; ++n) {
        const std::string row = std::to_string(n);
        for (const char* key : {"Lowest", "Highest", "RWXName", "NameSuffixFrom", "ObjectZone"}) {
            EXPECT_NE(findSetting("TreeZones", key + row), nullptr) << key << row;
            EXPECT_NE(findSetting("TextureZones", key + row), nullptr) << key << row;
        }
    }
    EXPECT_EQ(findSetting("TextureZones", "Lowest32"), nullptr);
    for (const SettingKey& k : settingKeys()) EXPECT_EQ(k.saved, k.section != "Session") << k.key;
}

TEST(SettingValues, ProjectFileFormsAreWrittenAsTheReaderExpects) {
    ConversionSettings s = defaultSettings("/w");
    s.CliffColour = 0x00a0b0;
    s.WorldSize = 7;
    EXPECT_EQ(formatSettingValue(s, *findSetting("TextureZones", "CliffColour")), "a0b0");
    EXPECT_EQ(formatSettingValue(s, *findSetting("TextureZones", "ColourValue0")), "ff0000");
    EXPECT_EQ(formatSettingValue(s, *findSetting("WorldParameters", "WorldSize")), "7");
    EXPECT_EQ(formatSettingValue(s, *findSetting("RWXOptions", "ZipIt")), "true");
    EXPECT_EQ(formatSettingValue(s, *findSetting("RWXOptions", "NoRWX")), "false");
    EXPECT_EQ(formatSettingValue(s, *findSetting("TextureZones", "RWXName4")), "snow1");
}

TEST(SettingValues, ReaderRulesForFlagsNumbersAndColours) {
    ConversionSettings s;
    auto read = [&](const char* section, const char* key, const char* value) {
        readSettingValue(s, *findSetting(section, key), value);
    };
    read("RWXOptions", "NoRWX", "trueish");
    EXPECT_TRUE(s.NoRWX);
    read("RWXOptions", "NoRWX", "True");
    EXPECT_FALSE(s.NoRWX);
    read("WorldParameters", "ObjectSize", "5");
    read("WorldParameters", "ObjectSize", "x5");  // does not parse: kept
    EXPECT_EQ(s.ObjectSize, 5);
    read("WorldParameters", "ObjectSize", "40");  // not an entry of the list: kept
    EXPECT_EQ(s.ObjectSize, 5);
    read("PropertyOptions", "BotSpeedBar", "99");  // the slider stops at 20
    EXPECT_EQ(s.BotSpeedBar, 20);
    read("TextureZones", "CliffColour", "ff00");
    read("TextureZones", "CliffColour", "");
    EXPECT_EQ(s.CliffColour, 0xff00u);
    read("TreeZones", "TreeActionLine", " create color red  ");
    EXPECT_EQ(s.TreeActionLine, " create color red  ");
}

TEST(ApplySetting, SetsPlainAndSectionQualifiedKeys) {
    ConversionSettings s = defaultSettings("/w");
    std::string error;
    EXPECT_TRUE(applySetting(s, "ZipIt=false", error)) << error;
    EXPECT_FALSE(s.ZipIt);
    EXPECT_TRUE(applySetting(s, "VerticalScale=0.02", error)) << error;
    EXPECT_EQ(s.VerticalScale, "0.02");
    EXPECT_TRUE(applySetting(s, "TextureZones.Lowest1=100", error)) << error;
    EXPECT_EQ(s.TextureZones[1].Lowest, "100");
    EXPECT_EQ(s.TreeZones[1].Lowest, "0");
    EXPECT_TRUE(applySetting(s, "TreeZones.RWXName3=palm", error)) << error;
    EXPECT_EQ(s.TreeZones[3].RWXName, "palm");
    EXPECT_EQ(s.TextureZones[3].RWXName, "grass");
    EXPECT_TRUE(applySetting(s, "TreeActionLine=create color=red", error)) << error;
    EXPECT_EQ(s.TreeActionLine, "create color=red");
    EXPECT_TRUE(applySetting(s, "ElevationModel.DEMFile=", error)) << error;
    EXPECT_EQ(s.DEMFile, "");
    EXPECT_TRUE(applySetting(s, "CliffColour=0x00ff00", error)) << error;
    EXPECT_EQ(s.CliffColour, 0x00ff00u);
    EXPECT_TRUE(applySetting(s, "TextureZones.ColourValue20=abcdef", error)) << error;
    EXPECT_EQ(s.TextureZones[20].ColourValue, 0xabcdefu);
    EXPECT_TRUE(applySetting(s, "ObjectSize=11", error)) << error;
    EXPECT_EQ(s.ObjectSize, 11);
    EXPECT_TRUE(applySetting(s, "FromSouthExcl=-3", error)) << error;
    EXPECT_EQ(s.FromSouthExcl, -3);
    EXPECT_TRUE(applySetting(s, "Session.FtpToHost=true", error)) << error;
    EXPECT_TRUE(s.FtpToHost);
    EXPECT_TRUE(applySetting(s, "ZipPassword=secret", error)) << error;
    EXPECT_EQ(s.ZipPassword, "secret");
}

TEST(ApplySetting, RefusesWhatItCannotTakeAndChangesNothing) {
    ConversionSettings s = defaultSettings("/w");
    const std::vector<std::string> before = allValues(s);
    struct Case {
        const char* assignment;
        std::vector<const char*> mustMention;
    };
    const Case cases[] = {
        {"Lowest1=100", {"Lowest1", "[TreeZones]", "[TextureZones]", "TextureZones.Lowest1="}},
        {"ObjectZone4=true", {"ObjectZone4", "with its section"}},
        {"Frobnicate=1", {"Unknown setting", "Frobnicate"}},
        {"zipit=false", {"zipit", "ZipIt"}},
        {"Nowhere.ZipIt=false", {"Unknown section", "Nowhere"}},
        {"TreeZones.ZipIt=false", {"ZipIt", "[TreeZones]"}},
        {"TextureZones.Lowest32=1", {"Lowest32"}},
        {"ZipIt", {"ZipIt", "no value"}},
        {"=1", {"missing"}},
        {".ZipIt=true", {"missing"}},
        {"ZipIt=maybe", {"ZipIt", "true or false", "maybe"}},
        {"ObjectSize=12", {"ObjectSize", "0 to 11"}},
        {"Scaling=3x", {"Scaling", "3x"}},
        {"BotSpeedBar=99999999999999999999", {"BotSpeedBar"}},
        {"FileType=0", {"FileType", "1 to 13"}},
        {"CliffColour=1000000", {"CliffColour", "ffffff"}},
        {"CliffColour=", {"CliffColour"}},
        {"TextureZones.ColourValue2=green", {"ColourValue2", "green"}},
        {"DEMFile=a\nZipIt=false", {"DEMFile", "line break"}},
        {"ZipPassword=0123456789012345678901234567890123", {"31"}},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(applySetting(s, c.assignment, error)) << c.assignment;
        for (const char* word : c.mustMention)
            EXPECT_NE(error.find(word), std::string::npos) << c.assignment << ": " << error;
    }
    EXPECT_EQ(allValues(s), before);
}

TEST(ApplySetting, FlagsTakeTheSpellingsOfOtherBatchTools) {
    ConversionSettings s = defaultSettings("/job");
    std::string error;
    for (const auto& [value, on] : {std::pair{"true", true}, std::pair{"YES", true}, std::pair{"on", true},
                                    std::pair{"1", true}, std::pair{"false", false}, std::pair{"no", false},
                                    std::pair{"Off", false}, std::pair{"0", false}}) {
        s.ZipIt = !on;
        EXPECT_TRUE(applySetting(s, std::string("ZipIt=") + value, error)) << value << ": " << error;
        EXPECT_EQ(s.ZipIt, on) << value;
    }
}

TEST(DescribeSettings, ListsSectionsLikeTheProjectFileAndFeedsBackIntoApplySetting) {
    ConversionSettings original = defaultSettings("/job");
    original.TreeZones[9].RWXName = "pine";
    original.TextureZones[9].Lowest = "250";
    original.CliffColour = 0x123456;
    original.BotSpeedBar = 3;
    original.ZipPassword = "hidden";
    original.TerragenReadingOffset = "-5";

    const std::string text = describeSettings(original);
    EXPECT_EQ(text.rfind("[ElevationModel]\nDEMFile=/job/mydem.dem\nFileType=1\nFromSouth=0\n", 0), 0u);
    EXPECT_NE(text.find("\nColGZ=0\n\n[WorldParameters]\nVerticalOffset=0\n"), std::string::npos);
    EXPECT_NE(text.find("\n\n[Session]\nFtpToHost=false\nFtpPassword=\nZipPassword=********\n"), std::string::npos);
    EXPECT_EQ(text.find("hidden"), std::string::npos);

    // Every listed line, qualified with its section, is accepted by --set.
    ConversionSettings rebuilt;
    std::istringstream in(text);
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        if (line.front() == '[') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        if (line == "ZipPassword=********") continue;
        std::string error;
        EXPECT_TRUE(applySetting(rebuilt, section + "." + line, error)) << line << ": " << error;
    }
    rebuilt.ZipPassword = original.ZipPassword;
    EXPECT_EQ(allValues(rebuilt), allValues(original));
}

}  // namespace
}  // namespace gorvale
