#include "pipeline/control_rules.h"

namespace gorvale {

bool ControlEnabled(const ConversionSettings& s, ControlGroup group) {
    const bool models = !s.NoRWX;
    const bool zones = models && !s.NoObjectTextures && !s.UseUniqueTextures;
    switch (group) {
        case ControlGroup::ModelOption: return models;
        case ControlGroup::ZipSwitch: return models;
        case ControlGroup::ZipPassword: return models && s.ZipIt;
        case ControlGroup::FtpSwitch: return models;
        case ControlGroup::FtpParameters: return models && s.FtpToHost;
        case ControlGroup::PrelightComponent: return models && s.UsePrelight;
        case ControlGroup::ZoneColumns: return zones;
        case ControlGroup::BottomNames: return zones && s.DoubleSidedObject;
        case ControlGroup::UniqueTexturesSwitch: return models && !s.NoObjectTextures;
        case ControlGroup::UniqueTexturePrefix: return models && !s.NoObjectTextures && s.UseUniqueTextures;
        case ControlGroup::CliffSwitch: return models && !s.NoObjectTextures;
        case ControlGroup::CliffFields: return zones && s.CliffTextures;
        case ControlGroup::PropFile: return !s.NoPropfile;
        case ControlGroup::PropOptions: return !s.NoPropfile || s.AW_Terrain;
        // The bot switch's own rule, run again whenever "No Propfile " lets the options back.
        case ControlGroup::BotFields: return s.BuildWithRobot && (!s.NoPropfile || s.AW_Terrain);
        case ControlGroup::TreeRows: return s.GenerateTrees && !s.NoPropfile;
        case ControlGroup::SkipFromSecond: return s.SkipElevation;
        case ControlGroup::SmoothLevelling: return s.WorldEdgeLevelWithGround;
        case ControlGroup::OverhangSwitch: return !s.SingleObjectGround;
        case ControlGroup::OverhangChoices: return s.WorldEdgeOverHang;
        case ControlGroup::UseTranslate: return s.SingleObjectGround;
        case ControlGroup::LogDetails: return s.LogEnable;
    }
    return true;
}

void ApplyUniqueTexturesSwitched(ConversionSettings& s) { s.NoObjectTextures = false; }

BoundHints ZoneBoundHints(bool rangeInPercent) {
    if (rangeInPercent)
        return {"The minimum elevation percentage where the zone starts\nbased on the full elevation range as %100!",
                "The maximum elevation percentage where the zone ends\nbased on the full elevation range as %100!"};
    return {"The minimum elevation where the zone starts\nbased on the original elevation!",
            "The maximum elevation where the zone ends\nbased on the original elevation!"};
}

}  // namespace gorvale
