#include "pipeline/control_rules.h"

#include <gtest/gtest.h>

#include <functional>

namespace gorvale {
namespace {

TEST(ControlRules, EachSwitchEnablesItsControls) {
    struct Case {
        const char* name;
        std::function<void(ConversionSettings&)> change;
        ControlGroup group;
        bool before;
        bool after;
    };
    const Case cases[] = {
        {"no rwx", [](ConversionSettings& s) { s.NoRWX = true; }, ControlGroup::ModelOption, true, false},
        {"no rwx zip", [](ConversionSettings& s) { s.NoRWX = true; }, ControlGroup::ZipPassword, true, false},
        {"zip off", [](ConversionSettings& s) { s.ZipIt = false; }, ControlGroup::ZipPassword, true, false},
        {"ftp on", [](ConversionSettings& s) { s.FtpToHost = true; }, ControlGroup::FtpParameters, false, true},
        {"ftp under no rwx", [](ConversionSettings& s) { s.FtpToHost = true; s.NoRWX = true; }, ControlGroup::FtpParameters, false, false},
        {"prelight", [](ConversionSettings& s) { s.UsePrelight = true; }, ControlGroup::PrelightComponent, false, true},
        {"no textures", [](ConversionSettings& s) { s.NoObjectTextures = true; }, ControlGroup::ZoneColumns, true, false},
        {"unique", [](ConversionSettings& s) { s.UseUniqueTextures = true; }, ControlGroup::ZoneColumns, true, false},
        {"unique prefix", [](ConversionSettings& s) { s.UseUniqueTextures = true; }, ControlGroup::UniqueTexturePrefix, false, true},
        {"no textures cliff", [](ConversionSettings& s) { s.NoObjectTextures = true; }, ControlGroup::CliffSwitch, true, false},
        {"cliff", [](ConversionSettings& s) { s.CliffTextures = true; }, ControlGroup::CliffFields, false, true},
        {"cliff with unique", [](ConversionSettings& s) { s.CliffTextures = true; s.UseUniqueTextures = true; }, ControlGroup::CliffFields, false, false},
        {"double sided", [](ConversionSettings& s) { s.DoubleSidedObject = true; }, ControlGroup::BottomNames, false, true},
        {"no prop", [](ConversionSettings& s) { s.NoPropfile = true; }, ControlGroup::PropFile, true, false},
        {"no prop options", [](ConversionSettings& s) { s.NoPropfile = true; }, ControlGroup::PropOptions, true, false},
        {"no prop terrain", [](ConversionSettings& s) { s.NoPropfile = true; s.AW_Terrain = true; }, ControlGroup::PropOptions, true, true},
        {"bot", [](ConversionSettings& s) { s.BuildWithRobot = true; }, ControlGroup::BotFields, false, true},
        {"bot no prop", [](ConversionSettings& s) { s.BuildWithRobot = true; s.NoPropfile = true; }, ControlGroup::BotFields, false, false},
        {"bot no prop terrain", [](ConversionSettings& s) { s.BuildWithRobot = true; s.NoPropfile = true; s.AW_Terrain = true; }, ControlGroup::BotFields, false, true},
        {"trees", [](ConversionSettings& s) { s.GenerateTrees = true; }, ControlGroup::TreeRows, false, true},
        {"trees no prop", [](ConversionSettings& s) { s.GenerateTrees = true; s.NoPropfile = true; }, ControlGroup::TreeRows, false, false},
        {"single", [](ConversionSettings& s) { s.SingleObjectGround = true; }, ControlGroup::OverhangSwitch, true, false},
        {"log", [](ConversionSettings& s) { s.LogEnable = true; }, ControlGroup::LogDetails, false, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ConversionSettings s;
        EXPECT_EQ(ControlEnabled(s, k.group), k.before);
        k.change(s);
        EXPECT_EQ(ControlEnabled(s, k.group), k.after);
    }
}

TEST(ControlRules, UniqueTexturesClearNoTextureAndHintsFollowPercent) {
    ConversionSettings s;
    s.NoObjectTextures = true;
    ApplyUniqueTexturesSwitched(s);
    EXPECT_FALSE(s.NoObjectTextures);
    EXPECT_EQ(ZoneBoundHints(false).lowest, "The minimum elevation where the zone starts\nbased on the original elevation!");
    EXPECT_NE(ZoneBoundHints(true).highest.find("%100!"), std::string::npos);
}

}  // namespace
}  // namespace gorvale
