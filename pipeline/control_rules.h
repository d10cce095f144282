#pragma once
// Which settings controls are enabled, as a function of the settings alone,
// so every window (and the tests) applies the same rules: the model options
// under "No RWX", zip and FTP, the texture-zone page, the propdump and bot
// controls under "No Propfile ", the tree rows, levelling, overhang, the
// single model and logging.

#include <string>

#include "base/conversion_settings.h"

namespace gorvale {

enum class ControlGroup {
    ModelOption,         // texture modes, RWXFile, material, double-sided, triangles, lighting, SolidOff
    ZipSwitch,           // "Zip It"
    ZipPassword,         // "Password:" beside it
    FtpSwitch,           // "FtpToHost"
    FtpParameters,       // host, port, user, password, directory, proxy
    PrelightComponent,   // "R", "G", "B"
    ZoneColumns,         // zone rows, "Number of Tiles", "Ranges in %", "UseAvgHeight"
    BottomNames,         // the "Bottom" column
    UniqueTexturesSwitch,
    UniqueTexturePrefix,
    CliffSwitch,         // "CliffTexturing"
    CliffFields,         // "Cliff Texture", "Cliff minimum"
    PropFile,            // the propdump file field and its button
    PropOptions,         // prop centre, citizen, elevation, flush, bump, trees switch, bot switch and fields, rotation
    BotFields,           // the bot group's labels, fields, choices, speed and "Delete Old Terrain"
    TreeRows,            // "Trees Only", scores, action line, the 32 rows
    SkipFromSecond,
    SmoothLevelling,
    OverhangSwitch,
    OverhangChoices,
    UseTranslate,
    LogDetails,          // "Detailed Log", "Log File" and its button
};

bool ControlEnabled(const ConversionSettings& s, ControlGroup group);

// Switching "Use UniqueTextures" either way switches "No Texture" off.
void ApplyUniqueTexturesSwitched(ConversionSettings& s);

// The hints of a texture zone's two bound fields, by "Ranges in %".
struct BoundHints {
    std::string lowest;
    std::string highest;
};
BoundHints ZoneBoundHints(bool rangeInPercent);

}  // namespace gorvale
