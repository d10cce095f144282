#include "app/core/project_file.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/core/settings_keys.h"
#include "base/text_convert.h"
#include "tests/support/test_support.h"

namespace gorvale {
namespace {

using test::readFileBytes;
using test::RecordingUserInterface;
using test::ScratchDir;
using test::writeFileBytes;

std::vector<std::string> savedValues(const ConversionSettings& s) {
    std::vector<std::string> v;
    for (const SettingKey& k : settingKeys())
        if (k.saved) v.push_back(k.section + "." + k.key + "=" + formatSettingValue(s, k));
    return v;
}

std::vector<std::string> allValues(const ConversionSettings& s) {
    std::vector<std::string> v;
    for (const SettingKey& k : settingKeys()) v.push_back(k.section + "." + k.key + "=" + formatSettingValue(s, k));
    return v;
}

std::string lfOnly(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// Every saved setting moved away from its default, each to a value of its own.
ConversionSettings everySettingChanged() {
    ConversionSettings s = defaultSettings("/job");
    int i = 0;
    for (const SettingKey& k : settingKeys()) {
        ++i;
        SettingTarget t = k.target(s);
        switch (k.form) {
            case SettingForm::Flag: *std::get<bool*>(t) = !*std::get<bool*>(t); break;
            case SettingForm::Text: *std::get<std::string*>(t) = format("t%d =v%d ", i, i); break;
            case SettingForm::Choice: {
                int& c = *std::get<int*>(t);
                c = (c + 1 + i % k.maximum) % (k.maximum + 1);
                if (c == 0) c = k.maximum;
                break;
            }
            case SettingForm::Count: *std::get<int*>(t) = std::clamp(i, k.minimum, k.maximum); break;
            case SettingForm::Colour: *std::get<Colour*>(t) = static_cast<Colour>(0x10203 * i) & 0xffffff; break;
        }
    }
    // The bounding box is read back as whole numbers.
    s.FromSouth = "12";
    s.FromWest = "6";
    s.ToNorth = "48";
    s.ToEast = "90";
    s.FileType = 7;
    s.BotSpeedBar = 15;
    return s;
}

struct LoadFixture : ::testing::Test {
    RecordingUserInterface ui;
    Workspace ws{ui, defaultSettings("/start")};
    ScratchDir dir;

    std::string write(const std::string& text) {
        const std::string path = (dir / "job.gvl").string();
        writeFileBytes(path, text);
        return path;
    }
    bool load(const std::string& text, const ProjectLoadHooks& hooks = {}) {
        return LoadProject(ws, write(text), hooks);
    }
};

// ---- writing -----------------------------------------------------------

TEST(SaveProject, DefaultProjectStartsWithTheseExactBytes) {
    const std::string expected =
        "[ElevationModel]\r\n"
        "DEMFile=/job/mydem.dem\r\n"
        "FileType=1\r\n"
        "#BoundingBox\r\n"
        "FromSouth=0\r\n"
        "FromWest=0\r\n"
        "ToNorth=10000\r\n"
        "ToEast=10000\r\n"
        "FromSouthExcl=0\r\n"
        "FromWestExcl=0\r\n"
        "ToNorthExcl=0\r\n"
        "ToEastExcl=0\r\n"
        "InvertElevation=false\r\n"
        "ExcludeRectangle=false\r\n"
        "RespectWorldSize=true\r\n"
        "SkipElevation=false\r\n"
        "SkipElevationOdd=false\r\n"
        "SkipElevationOddHor=false\r\n"
        "FixGZ=false\r\n"
        "RowGZ=0\r\n"
        "ColGZ=0\r\n"
        "\r\n"
        "[WorldParameters]\r\n"
        "VerticalOffset=0\r\n"
        "ObjectSize=0\r\n"
        "Scaling=0\r\n"
        "WorldSize=1\r\n"
        "LeveledWithGround=false\r\n"
        "WorldEdgeLevelWithGround=false\r\n"
        "WorldEdgeLevelSmooth=false\r\n"
        "WorldEdgeOverHang=false\r\n"
        "AW_Terrain=false\r\n"
        "WorldVersion4=false\r\n"
        "WorldEdgeOverHangN=0\r\n"
        "WorldEdgeOverHangS=0\r\n"
        "WorldEdgeOverHangW=0\r\n"
        "WorldEdgeOverHangE=0\r\n"
        "VerticalScale=0.01\r\n"
        "DVerticalScale=true\r\n"
        "VerticalPreScale=0\r\n"
        "\r\n"
        "[RWXOptions]\r\n"
        "NoRWX=false\r\n"
        "RWXFile=/job/rwx/z\r\n"
        "ZipIt=true\r\n";
    ScratchDir dir;
    const auto path = dir / "default.gvl";
    ASSERT_TRUE(SaveProject(defaultSettings("/job"), path.string()));
    const std::string bytes = readFileBytes(path);
    EXPECT_EQ(bytes.substr(0, expected.size()), expected);
}

TEST(SaveProject, ZoneSectionsAndTheEndOfTheFile) {
    const std::string text = projectFileText(defaultSettings("/job"));
    EXPECT_NE(text.find("\r\n\r\n[TreeZones]\r\nGenerateTrees=false\r\nGenerateOnlyTrees=false\r\n"
                        "TreeRangeInPercent=false\r\nTreeThinning=false\r\nTreeThinValue=5\r\nTreeActionLine=\r\n"
                        "TreeScoreMin=1\r\nTreeScoreMax=10\r\nLowest0=0\r\nHighest0=0\r\nRWXName0=ztree\r\n"
                        "NameSuffixFrom0=1\r\nNumberOfTrees0=1\r\nHeightOffset0=0\r\nObjectZone0=false\r\n"
                        "ObjectRandomRotateZone0=false\r\nObjectRandomObjectRand0=false\r\n"
                        "ObjectRandomObjectVal0=false\r\nLowest1=0\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\r\n\r\n[TextureZones]\r\nNoObjectTextures=false\r\nNumberOfTiles=4\r\n"
                        "UseUniqueTextures=false\r\nUniqueTexturePrefix=ztxt\r\nCliffTextures=false\r\n"
                        "CliffTextureName=stone2\r\nCliffTextureMin=10000\r\nRangeInPercent=false\r\n"
                        "UseAvgHeight=false\r\nCliffColour=0\r\nDontRotate=false\r\nLowest0=0\r\nHighest0=0\r\n"
                        "RWXName0=water\r\nRWXBottomName0=gnd\r\nNameSuffixFrom0=1\r\nNumberOfTexts0=1\r\n"
                        "TagStartValue0=1\r\nOpacityValue0=1\r\nOpacityZone0=false\r\nObjectZone0=false\r\n"
                        "ObjectFlatZone0=false\r\nObjectFlatZoneHigh0=false\r\nObjectTagZone0=false\r\n"
                        "ColourValue0=ff0000\r\nLowest1=0\r\n"),
              std::string::npos);
    const std::string tail = "ObjectTagZone31=false\r\nColourValue31=0\r\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    // Seven sections, an empty line after each but the last, and no bare LF.
    std::size_t emptyLines = 0;
    for (std::size_t p = text.find("\r\n\r\n"); p != std::string::npos; p = text.find("\r\n\r\n", p + 2))
        ++emptyLines;
    EXPECT_EQ(emptyLines, 6u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), std::count(text.begin(), text.end(), '\r'));
    EXPECT_EQ(text.find("Password="), std::string::npos);  // only BotPrivPassw is saved
    EXPECT_NE(text.find("BotPrivPassw="), std::string::npos);
    EXPECT_EQ(text.find("FtpToHost"), std::string::npos);
    EXPECT_EQ(text.find("FtpPassive"), std::string::npos);
    EXPECT_EQ(text.find("TerragenReadingOffset"), std::string::npos);
}

TEST(SaveProject, ClearsTheModifiedFlagOnlyWhenWritten) {
    RecordingUserInterface ui;
    Workspace ws(ui, defaultSettings("/job"));
    ScratchDir dir;
    ws.SettingsModified = true;
    EXPECT_FALSE(SaveProject(ws, (dir / "missing" / "x.gvl").string()));
    EXPECT_TRUE(ws.SettingsModified);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(SaveProject(ws, (dir / "x.gvl").string()));
    EXPECT_FALSE(ws.SettingsModified);
}

TEST(SaveProject, ATextWithALineBreakCannotInjectKeys) {
    ConversionSettings s = defaultSettings("/job");
    s.TreeActionLine = "create\r\nZipIt=false";
    const std::string text = projectFileText(s);
    EXPECT_NE(text.find("TreeActionLine=create\r\n"), std::string::npos);
    EXPECT_EQ(text.find("ZipIt=false"), std::string::npos);
}

// ---- reading -----------------------------------------------------------

TEST_F(LoadFixture, SaveThenLoadReproducesEverySavedSetting) {
    ConversionSettings saved = everySettingChanged();
    saved.ZipPassword = "not saved";
    const auto path = dir / "all.gvl";
    ASSERT_TRUE(SaveProject(saved, path.string()));

    ws.settings.ZipPassword = "kept";
    ws.settings.FtpToHost = true;
    ws.settings.FtpPassive = true;
    ws.SettingsModified = true;
    ASSERT_TRUE(LoadProject(ws, path.string()));

    EXPECT_EQ(savedValues(ws.settings), savedValues(saved));
    EXPECT_EQ(ws.settings.ZipPassword, "kept");
    EXPECT_TRUE(ws.settings.FtpToHost);
    EXPECT_TRUE(ws.settings.FtpPassive);
    EXPECT_FALSE(ws.SettingsModified);
    // A few members checked directly, independent of the key table.
    EXPECT_NE(ws.settings.UseUniqueTextures, defaultSettings("/").UseUniqueTextures);
    EXPECT_EQ(ws.settings.TextureZones[31].ColourValue, saved.TextureZones[31].ColourValue);
    EXPECT_EQ(ws.settings.TextureZones[17].OpacityValue, saved.TextureZones[17].OpacityValue);
    EXPECT_EQ(ws.settings.TreeZones[31].HeightOffset, saved.TreeZones[31].HeightOffset);
    EXPECT_EQ(ws.settings.TreeZones[0].ObjectRandomObjectVal, saved.TreeZones[0].ObjectRandomObjectVal);
    EXPECT_EQ(ws.settings.CliffColour, saved.CliffColour);
    EXPECT_EQ(ws.settings.BotSpeedBar, 15);
    EXPECT_EQ(ws.settings.FromSouth, "12");
}

TEST_F(LoadFixture, LfOnlyFileLoadsLikeCrLf) {
    const ConversionSettings saved = everySettingChanged();
    ASSERT_TRUE(load(lfOnly(projectFileText(saved))));
    EXPECT_EQ(savedValues(ws.settings), savedValues(saved));
}

TEST_F(LoadFixture, FileWithOnlyOneSwitchChangesOnlyThatSwitch) {
    ws.settings.Scaling = 5;
    ws.settings.FromSouthExcl = 3;
    const std::vector<std::string> before = allValues(ws.settings);
    ASSERT_TRUE(load("[RWXOptions]\r\nZipIt=false\r\n"));
    EXPECT_FALSE(ws.settings.ZipIt);
    ws.settings.ZipIt = true;
    EXPECT_EQ(allValues(ws.settings), before);
}

TEST_F(LoadFixture, CommentsAndShortLinesAreSkippedEvenInsideSections) {
    ASSERT_TRUE(load("[RWXOptions]\r\n"
                     "#ZipIt=false\r\n"
                     ";NoRWX=true\r\n"
                     "[x\r\n"  // two characters: dropped, so the section goes on
                     "ab\n"
                     "\r\n"
                     "UseTranslate=true\r\n"
                     "[PropertyOptions]\r\n"
                     "# NoPropfile=true\r\n"
                     "[xy\r\n"  // three characters: kept, and it ends the section
                     "NoPropfile=true\r\n"));
    EXPECT_TRUE(ws.settings.ZipIt);
    EXPECT_FALSE(ws.settings.NoRWX);
    EXPECT_TRUE(ws.settings.UseTranslate);
    EXPECT_FALSE(ws.settings.NoPropfile);
}

TEST_F(LoadFixture, KeysAreScopedToTheirSectionAndMatchedWithTheirEqualsSign) {
    ASSERT_TRUE(load("[TreeZones]\r\n"
                     "Lowest1=77\r\n"
                     "RWXName12=palm\r\n"
                     "[TextureZones]\r\n"
                     "Lowest10=500\r\n"
                     "Lowest1=100\r\n"
                     "Highest10=900\r\n"
                     "[LogOptions]\r\n"
                     "ZipIt=false\r\n"  // belongs to RWXOptions: not found here
                     "Highest1=5\r\n"));
    EXPECT_EQ(ws.settings.TreeZones[1].Lowest, "77");
    EXPECT_EQ(ws.settings.TreeZones[10].Lowest, "0");
    EXPECT_EQ(ws.settings.TreeZones[12].RWXName, "palm");
    EXPECT_EQ(ws.settings.TextureZones[12].RWXName, "gnd");
    EXPECT_EQ(ws.settings.TextureZones[1].Lowest, "100");
    EXPECT_EQ(ws.settings.TextureZones[10].Lowest, "500");
    EXPECT_EQ(ws.settings.TextureZones[10].Highest, "900");
    EXPECT_EQ(ws.settings.TextureZones[1].Highest, "0");
    EXPECT_TRUE(ws.settings.ZipIt);
}

TEST_F(LoadFixture, TreeZoneKeysDoNotReachTheTextureZones) {
    ASSERT_TRUE(load("[TreeZones]\nLowest1=77\nObjectZone1=true\n[TextureZones]\nNumberOfTiles=8\n"));
    EXPECT_EQ(ws.settings.TreeZones[1].Lowest, "77");
    EXPECT_TRUE(ws.settings.TreeZones[1].ObjectZone);
    EXPECT_EQ(ws.settings.TextureZones[1].Lowest, "0");
    EXPECT_FALSE(ws.settings.TextureZones[1].ObjectZone);
    EXPECT_EQ(ws.settings.NumberOfTiles, "8");
}

TEST_F(LoadFixture, EmptyColourValuesLeaveTheColours) {
    ws.settings.CliffColour = 0x123456;
    ASSERT_TRUE(load("[TextureZones]\r\nCliffColour=\r\nColourValue3=\r\nColourValue4=abc\r\n"));
    EXPECT_EQ(ws.settings.CliffColour, 0x123456u);
    EXPECT_EQ(ws.settings.TextureZones[3].ColourValue, defaultZoneColours()[3]);
    EXPECT_EQ(ws.settings.TextureZones[4].ColourValue, 0xabcu);
}

TEST_F(LoadFixture, TextValuesKeepTrailingBlanksAndTheLastLineNeedsNoLineEnd) {
    ASSERT_TRUE(load("[RWXOptions]\r\nFtpDirectory=aw/models  \r\nRWXFile=/x/y"));
    EXPECT_EQ(ws.settings.FtpDirectory, "aw/models  ");
    EXPECT_EQ(ws.settings.RWXFile, "/x/y");
}

TEST_F(LoadFixture, OverlongLinesAreCutAndTheirRestIsNotReadAsALine) {
    const std::string value(520, 'a');
    ASSERT_TRUE(load("[RWXOptions]\r\nRWXFile=" + value + "ZipIt=false\r\nNoRWX=true\r\n"));
    EXPECT_EQ(ws.settings.RWXFile, std::string(510 - 8, 'a'));
    EXPECT_TRUE(ws.settings.ZipIt);
    EXPECT_TRUE(ws.settings.NoRWX);
}

TEST_F(LoadFixture, BoundingBoxSidesAreTakenAsWholeNumbers) {
    ASSERT_TRUE(load("[ElevationModel]\r\nFromSouth=12abc\r\nFromWest= 7\r\nToNorth=x\r\n"));
    EXPECT_EQ(ws.settings.FromSouth, "12");
    EXPECT_EQ(ws.settings.FromWest, "7");
    EXPECT_EQ(ws.settings.ToNorth, "10000");
}

TEST_F(LoadFixture, ScalingRestartsAtTheFirstEntryWhenTheFileNamesOne) {
    ws.settings.Scaling = 5;
    ASSERT_TRUE(load("[WorldParameters]\r\nScaling=bad\r\n"));
    EXPECT_EQ(ws.settings.Scaling, 0);
    ws.settings.Scaling = 5;
    ASSERT_TRUE(load("[WorldParameters]\r\nScaling=3\r\n"));
    EXPECT_EQ(ws.settings.Scaling, 3);
}

TEST_F(LoadFixture, SavedVerticalScaleSurvivesTheRefreshes) {
    ProjectLoadHooks hooks;
    auto rewrite = [](Workspace& w) {
        if (w.settings.DVerticalScale) w.settings.VerticalScale = "0.333333";
    };
    hooks.refreshWorldSize = rewrite;
    hooks.refreshScaling = rewrite;
    hooks.refreshObjectSize = rewrite;
    hooks.openElevationFile = [&](Workspace& w) {
        rewrite(w);
        return true;
    };
    ASSERT_TRUE(load("[WorldParameters]\r\nScaling=2\r\nVerticalScale=0.02\r\nDVerticalScale=true\r\n", hooks));
    EXPECT_EQ(ws.settings.VerticalScale, "0.02");
    EXPECT_TRUE(ws.settings.DVerticalScale);
    EXPECT_EQ(ui.labels[Label::VerticalScale], "0.02");

    // Without a stored value, the refreshed one stands.
    ASSERT_TRUE(load("[WorldParameters]\r\nScaling=2\r\n", hooks));
    EXPECT_EQ(ws.settings.VerticalScale, "0.333333");
}

TEST_F(LoadFixture, SavedBoundingBoxSurvivesTheReopenAndIsValidatedAgainstTheGrid) {
    std::vector<std::string> calls;
    std::string boxSeenByValidation;
    ProjectLoadHooks hooks;
    hooks.refreshWorldSize = [&](Workspace&) { calls.push_back("worldSize"); };
    hooks.refreshScaling = [&](Workspace&) { calls.push_back("scaling"); };
    hooks.refreshObjectSize = [&](Workspace&) { calls.push_back("objectSize"); };
    hooks.refreshControls = [&](Workspace&) { calls.push_back("controls"); };
    hooks.openElevationFile = [&](Workspace& w) {
        calls.push_back("open");
        EXPECT_EQ(w.settings.DEMFile, "/data/hill.dem");
        EXPECT_EQ(w.settings.FileType, 7);
        w.settings.FromSouth = "0";  // the reader's tail: the whole grid
        w.settings.FromWest = "0";
        w.settings.ToNorth = "99";
        w.settings.ToEast = "120";
        w.SettingsModified = true;
        return true;
    };
    hooks.validateBoundingBox = [&](Workspace& w) {
        calls.push_back("validate");
        boxSeenByValidation = w.settings.FromSouth + "," + w.settings.FromWest + "," + w.settings.ToNorth + "," +
                              w.settings.ToEast;
        w.settings.ToNorth = "52";  // snapped to the step as a typed value would be
        w.SettingsModified = true;
    };
    ASSERT_TRUE(load("[ElevationModel]\r\nDEMFile=/data/hill.dem\r\nFileType=7\r\n#BoundingBox\r\n"
                     "FromSouth=10\r\nFromWest=20\r\nToNorth=53\r\nToEast=80\r\nToNorthExcl=40\r\n",
                     hooks));
    EXPECT_EQ(boxSeenByValidation, "10,20,53,80");
    EXPECT_EQ(ws.settings.FromSouth, "10");
    EXPECT_EQ(ws.settings.FromWest, "20");
    EXPECT_EQ(ws.settings.ToNorth, "52");
    EXPECT_EQ(ws.settings.ToEast, "80");
    // Exclusion sides missing from the file follow the box as the open left it.
    EXPECT_EQ(ws.settings.FromSouthExcl, 0);
    EXPECT_EQ(ws.settings.ToEastExcl, 120);
    EXPECT_EQ(ws.settings.ToNorthExcl, 40);
    EXPECT_FALSE(ws.SettingsModified);
    const std::vector<std::string> expected = {"worldSize", "scaling",   "objectSize", "open",
                                               "validate",  "worldSize", "scaling",    "controls"};
    EXPECT_EQ(calls, expected);
    EXPECT_TRUE(ui.commands[Command::Generate]);
    EXPECT_FALSE(ui.busy);
}

TEST_F(LoadFixture, AFailedOpenSkipsValidationButStillRestoresTheBox) {
    bool validated = false;
    ProjectLoadHooks hooks;
    hooks.openElevationFile = [](Workspace&) { return false; };
    hooks.validateBoundingBox = [&](Workspace&) { validated = true; };
    ws.gridLoaded = true;
    ASSERT_TRUE(load("[ElevationModel]\r\nFromSouth=10\r\nToNorth=53\r\n", hooks));
    EXPECT_FALSE(validated);
    EXPECT_EQ(ws.settings.FromSouth, "10");
    EXPECT_EQ(ws.settings.ToNorth, "53");
    EXPECT_FALSE(ui.commands[Command::Generate]);
}

TEST_F(LoadFixture, GenerateIsDisabledAndTheCursorBusyWhileLoading) {
    bool generateDuring = true;
    bool busyDuring = false;
    ProjectLoadHooks hooks;
    hooks.refreshObjectSize = [&](Workspace&) {
        generateDuring = ui.commands[Command::Generate];
        busyDuring = ui.busy;
    };
    ws.gridLoaded = true;
    ASSERT_TRUE(load("[LogOptions]\r\nLogEnable=true\r\n", hooks));
    EXPECT_FALSE(generateDuring);
    EXPECT_TRUE(busyDuring);
    EXPECT_TRUE(ui.commands[Command::Generate]);
    EXPECT_FALSE(ui.busy);
    EXPECT_TRUE(ws.settings.LogEnable);
}

TEST_F(LoadFixture, UnreadableFileChangesNothingAndSaysNothing) {
    const std::vector<std::string> before = allValues(ws.settings);
    ws.SettingsModified = true;
    EXPECT_FALSE(LoadProject(ws, (dir / "absent.gvl").string()));
    EXPECT_EQ(allValues(ws.settings), before);
    EXPECT_TRUE(ws.SettingsModified);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(ui.fileErrors.empty());
    EXPECT_FALSE(ui.busy);
    EXPECT_FALSE(ui.commands[Command::Generate]);  // no grid yet
}

}  // namespace
}  // namespace gorvale
