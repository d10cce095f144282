#pragma once
// The one list of every setting a job has: its project-file section, its key,
// its value form and where it lives in ConversionSettings. The project file
// writer, its reader and the command line's --set all go through this list,
// so a key is spelled in exactly one place.

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "base/conversion_settings.h"

namespace gorvale {

enum class SettingForm { Flag, Text, Choice, Count, Colour };

// Section names as they stand between the brackets of a project file.
inline constexpr const char* kSectionElevationModel = "ElevationModel";
inline constexpr const char* kSectionWorldParameters = "WorldParameters";
inline constexpr const char* kSectionRWXOptions = "RWXOptions";
inline constexpr const char* kSectionPropertyOptions = "PropertyOptions";
inline constexpr const char* kSectionLogOptions = "LogOptions";
inline constexpr const char* kSectionTreeZones = "TreeZones";
inline constexpr const char* kSectionTextureZones = "TextureZones";
// Members that are never written to a project file (passwords, per-session
// switches). Only the command line and the settings listing use this name.
inline constexpr const char* kSectionSession = "Session";

// The sections of a project file in writing order.
const std::vector<std::string>& projectSections();

// Where a setting's value is held.
using SettingTarget = std::variant<bool*, std::string*, int*, Colour*>;

struct SettingKey {
    std::string section;  // without brackets
    std::string key;      // as written in the file; zone keys carry their row ("Lowest3")
    SettingForm form = SettingForm::Text;
    bool saved = true;    // false: a Session member
    int row = -1;         // zone row 0..31, or -1
    int minimum = 0;      // valid range of a choice or count
    int maximum = 0;
    SettingTarget (*access)(ConversionSettings&, int row) = nullptr;

    SettingTarget target(ConversionSettings& s) const { return access(s, row); }
};

// Every saved key in the project file's writing order, followed by the
// Session members.
const std::vector<SettingKey>& settingKeys();

// Exact, case-sensitive lookup; nullptr when the section has no such key.
const SettingKey* findSetting(std::string_view section, std::string_view key);

// The value as the project file writes it: "true"/"false", "%d", "%x" or
// the text itself.
std::string formatSettingValue(const ConversionSettings& s, const SettingKey& key);

// Applies a value with the project file reader's rules: a flag is on when the
// value begins with "true"; a choice or count is read with "%d" and kept when
// it does not parse (a choice outside its list is kept too, a count is held
// to its range); a colour is read with "%x" and an empty value keeps it; a
// text is taken as it is.
void readSettingValue(ConversionSettings& s, const SettingKey& key, std::string_view value);

// One "Key=Value" or "Section.Key=Value" assignment from the command line.
// Strict: flags take true/false, choices and counts whole numbers in their
// range, colours hexadecimal up to ffffff, texts no line breaks. Keys present
// in both zone sections must be qualified. On refusal, error says why and
// the settings are unchanged.
bool applySetting(ConversionSettings& s, const std::string& assignment, std::string& error);

// Passwords: never printed, on a terminal, in a log or in a listing.
bool isSecretSetting(const SettingKey& k);

// The key an assignment names, as applySetting finds it; nullptr when none.
const SettingKey* settingOfAssignment(const std::string& assignment);

// "[Section]\nKey=Value\n..." for every saved key in writing order, sections
// separated by an empty line, then the Session members (passwords masked).
std::string describeSettings(const ConversionSettings& s);

}  // namespace gorvale
