#include "app/core/settings_keys.h"

#include <algorithm>
#include <climits>
#include <map>
#include <utility>

#include "delivery/zip_packaging.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

// Access functions: one instantiation per member, so the table holds plain
// function pointers and no member is named twice.
template <auto Member>
SettingTarget member(ConversionSettings& s, int) {
    return &(s.*Member);
}
template <auto Member>
SettingTarget treeRow(ConversionSettings& s, int row) {
    return &(s.TreeZones[static_cast<std::size_t>(row)].*Member);
}
template <auto Member>
SettingTarget textureRow(ConversionSettings& s, int row) {
    return &(s.TextureZones[static_cast<std::size_t>(row)].*Member);
}

using Access = SettingTarget (*)(ConversionSettings&, int);

// List lengths of the choices.
constexpr int kObjectSizeEntries = 12;
constexpr int kScalingEntries = 32;
constexpr int kWorldSizeEntries = 12;
constexpr int kOverhangEntries = 3;       // None, 1 Object, 2 Objects
constexpr int kPreScaleEntries = 4;       // *1 .. *1000
constexpr int kLightSamplingEntries = 2;  // Vertex, Facet
constexpr int kRotationEntries = 4;       // 0, 90, 180, 270
constexpr int kHemisphereEntries = 2;     // N/S, W/E
constexpr int kFileTypes = 13;            // entries of the open dialog's type list
constexpr int kBotSpeedMax = 20;          // the building-speed slider
constexpr Colour kColourMax = 0xffffff;

class TableBuilder {
public:
    explicit TableBuilder(std::vector<SettingKey>& out) : out_(out) {}

    void section(const char* name, bool saved = true) {
        section_ = name;
        saved_ = saved;
    }
    void flag(const std::string& key, Access a, int row = -1) { add(key, SettingForm::Flag, a, row, 0, 1); }
    void text(const std::string& key, Access a, int row = -1) { add(key, SettingForm::Text, a, row, 0, 0); }
    void colour(const std::string& key, Access a, int row = -1) {
        add(key, SettingForm::Colour, a, row, 0, 0);
    }
    void choice(const std::string& key, Access a, int entries) {
        add(key, SettingForm::Choice, a, -1, 0, entries - 1);
    }
    void count(const std::string& key, Access a, int minimum = INT_MIN, int maximum = INT_MAX) {
        add(key, SettingForm::Count, a, -1, minimum, maximum);
    }

private:
    void add(const std::string& key, SettingForm form, Access a, int row, int minimum, int maximum) {
        SettingKey k;
        k.section = section_;
        k.key = row < 0 ? key : key + std::to_string(row);
        k.form = form;
        k.saved = saved_;
        k.row = row;
        k.minimum = minimum;
        k.maximum = maximum;
        k.access = a;
        out_.push_back(std::move(k));
    }

    std::vector<SettingKey>& out_;
    std::string section_;
    bool saved_ = true;
};

#define GV_FLAG(name) b.flag(#name, &member<&ConversionSettings::name>)
#define GV_TEXT(name) b.text(#name, &member<&ConversionSettings::name>)
#define GV_CHOICE(name, entries) b.choice(#name, &member<&ConversionSettings::name>, entries)
#define GV_COUNT(name, ...) b.count(#name, &member<&ConversionSettings::name> __VA_OPT__(, ) __VA_ARGS__)
#define GV_COLOUR(name) b.colour(#name, &member<&ConversionSettings::name>)

std::vector<SettingKey> buildTable() {
    std::vector<SettingKey> keys;
    TableBuilder b(keys);

    b.section(kSectionElevationModel);
    GV_TEXT(DEMFile);
    GV_COUNT(FileType, 1, kFileTypes);
    GV_TEXT(FromSouth);
    GV_TEXT(FromWest);
    GV_TEXT(ToNorth);
    GV_TEXT(ToEast);
    GV_COUNT(FromSouthExcl);
    GV_COUNT(FromWestExcl);
    GV_COUNT(ToNorthExcl);
    GV_COUNT(ToEastExcl);
    GV_FLAG(InvertElevation);
    GV_FLAG(ExcludeRectangle);
    GV_FLAG(RespectWorldSize);
    GV_FLAG(SkipElevation);
    GV_FLAG(SkipElevationOdd);
    GV_FLAG(SkipElevationOddHor);
    GV_FLAG(FixGZ);
    GV_TEXT(RowGZ);
    GV_TEXT(ColGZ);

    b.section(kSectionWorldParameters);
    GV_TEXT(VerticalOffset);
    GV_CHOICE(ObjectSize, kObjectSizeEntries);
    GV_CHOICE(Scaling, kScalingEntries);
    GV_CHOICE(WorldSize, kWorldSizeEntries);
    GV_FLAG(LeveledWithGround);
    GV_FLAG(WorldEdgeLevelWithGround);
    GV_FLAG(WorldEdgeLevelSmooth);
    GV_FLAG(WorldEdgeOverHang);
    GV_FLAG(AW_Terrain);
    GV_FLAG(WorldVersion4);
    GV_CHOICE(WorldEdgeOverHangN, kOverhangEntries);
    GV_CHOICE(WorldEdgeOverHangS, kOverhangEntries);
    GV_CHOICE(WorldEdgeOverHangW, kOverhangEntries);
    GV_CHOICE(WorldEdgeOverHangE, kOverhangEntries);
    GV_TEXT(VerticalScale);
    GV_FLAG(DVerticalScale);
    GV_CHOICE(VerticalPreScale, kPreScaleEntries);

    b.section(kSectionRWXOptions);
    GV_FLAG(NoRWX);
    GV_TEXT(RWXFile);
    GV_FLAG(ZipIt);
    GV_FLAG(OptimizePolygons);
    GV_FLAG(SingleObjectGround);
    GV_FLAG(TextureModesLit);
    GV_FLAG(TextureModesForeShorten);
    GV_FLAG(TextureModesFilter);
    GV_FLAG(GradientColouring);
    GV_FLAG(MaterialModesDouble);
    GV_FLAG(DoubleSidedObject);
    GV_FLAG(UseTriangle);
    GV_FLAG(UseTranslate);
    GV_FLAG(SolidOff);
    GV_CHOICE(LightSampling, kLightSamplingEntries);
    GV_TEXT(Ambient);
    GV_TEXT(Diffuse);
    GV_TEXT(Specular);
    GV_FLAG(UsePrelight);
    GV_TEXT(PrelightR);
    GV_TEXT(PrelightG);
    GV_TEXT(PrelightB);
    GV_TEXT(FtpHostURL);
    GV_TEXT(FtpHostPort);
    GV_TEXT(FtpUserID);
    GV_TEXT(FtpDirectory);
    GV_TEXT(FtpProxy);
    GV_TEXT(FtpProxyPort);

    b.section(kSectionPropertyOptions);
    GV_FLAG(NoPropfile);
    GV_FLAG(BuildWithRobot);
    GV_FLAG(FlushWithGround);
    GV_FLAG(CreateBumpAtGZ);
    GV_TEXT(CitizenNumber);
    GV_TEXT(PropFile);
    GV_TEXT(PropElevation);
    GV_TEXT(PropCenterNS);
    GV_TEXT(PropCenterWE);
    GV_TEXT(BotCitNumber);
    GV_TEXT(BotPrivPassw);
    GV_TEXT(BotWorldName);
    GV_TEXT(BotUniverseURL);
    GV_TEXT(BotUniversePort);
    GV_CHOICE(RotateWorld, kRotationEntries);
    GV_CHOICE(RotateBot1, kRotationEntries);
    GV_CHOICE(RotateBot2, kRotationEntries);
    GV_TEXT(BotCenterN);
    GV_CHOICE(BotCenterNS, kHemisphereEntries);
    GV_TEXT(BotCenterW);
    GV_CHOICE(BotCenterWE, kHemisphereEntries);
    GV_COUNT(BotSpeedBar, 0, kBotSpeedMax);

    b.section(kSectionLogOptions);
    GV_FLAG(LogEnable);
    GV_FLAG(DetailedLog);
    GV_TEXT(LogFile);

    b.section(kSectionTreeZones);
    GV_FLAG(GenerateTrees);
    GV_FLAG(GenerateOnlyTrees);
    GV_FLAG(TreeRangeInPercent);
    GV_FLAG(TreeThinning);
    GV_TEXT(TreeThinValue);
    GV_TEXT(TreeActionLine);
    GV_TEXT(TreeScoreMin);
    GV_TEXT(TreeScoreMax);
    for (int n = 0; n < kZoneRows; ++n) {
        b.text("Lowest", &treeRow<&TreeZoneRow::Lowest>, n);
        b.text("Highest", &treeRow<&TreeZoneRow::Highest>, n);
        b.text("RWXName", &treeRow<&TreeZoneRow::RWXName>, n);
        b.text("NameSuffixFrom", &treeRow<&TreeZoneRow::NameSuffixFrom>, n);
        b.text("NumberOfTrees", &treeRow<&TreeZoneRow::NumberOfTrees>, n);
        b.text("HeightOffset", &treeRow<&TreeZoneRow::HeightOffset>, n);
        b.flag("ObjectZone", &treeRow<&TreeZoneRow::ObjectZone>, n);
        b.flag("ObjectRandomRotateZone", &treeRow<&TreeZoneRow::ObjectRandomRotateZone>, n);
        b.flag("ObjectRandomObjectRand", &treeRow<&TreeZoneRow::ObjectRandomObjectRand>, n);
        b.flag("ObjectRandomObjectVal", &treeRow<&TreeZoneRow::ObjectRandomObjectVal>, n);
    }

    b.section(kSectionTextureZones);
    GV_FLAG(NoObjectTextures);
    GV_TEXT(NumberOfTiles);
    GV_FLAG(UseUniqueTextures);
    GV_TEXT(UniqueTexturePrefix);
    GV_FLAG(CliffTextures);
    GV_TEXT(CliffTextureName);
    GV_TEXT(CliffTextureMin);
    GV_FLAG(RangeInPercent);
    GV_FLAG(UseAvgHeight);
    GV_COLOUR(CliffColour);
    GV_FLAG(DontRotate);
    for (int n = 0; n < kZoneRows; ++n) {
        b.text("Lowest", &textureRow<&TextureZoneRow::Lowest>, n);
        b.text("Highest", &textureRow<&TextureZoneRow::Highest>, n);
        b.text("RWXName", &textureRow<&TextureZoneRow::RWXName>, n);
        b.text("RWXBottomName", &textureRow<&TextureZoneRow::RWXBottomName>, n);
        b.text("NameSuffixFrom", &textureRow<&TextureZoneRow::NameSuffixFrom>, n);
        b.text("NumberOfTexts", &textureRow<&TextureZoneRow::NumberOfTexts>, n);
        b.text("TagStartValue", &textureRow<&TextureZoneRow::TagStartValue>, n);
        b.text("OpacityValue", &textureRow<&TextureZoneRow::OpacityValue>, n);
        b.flag("OpacityZone", &textureRow<&TextureZoneRow::OpacityZone>, n);
        b.flag("ObjectZone", &textureRow<&TextureZoneRow::ObjectZone>, n);
        b.flag("ObjectFlatZone", &textureRow<&TextureZoneRow::ObjectFlatZone>, n);
        b.flag("ObjectFlatZoneHigh", &textureRow<&TextureZoneRow::ObjectFlatZoneHigh>, n);
        b.flag("ObjectTagZone", &textureRow<&TextureZoneRow::ObjectTagZone>, n);
        b.colour("ColourValue", &textureRow<&TextureZoneRow::ColourValue>, n);
    }

    b.section(kSectionSession, false);
    GV_FLAG(FtpToHost);
    GV_TEXT(FtpPassword);
    GV_TEXT(ZipPassword);
    GV_FLAG(RelaxToOtherApps);
    GV_TEXT(TerragenReadingOffset);
    GV_FLAG(DeleteOldTerrain);
    GV_FLAG(FtpPassive);
    return keys;
}

#undef GV_FLAG
#undef GV_TEXT
#undef GV_CHOICE
#undef GV_COUNT
#undef GV_COLOUR

using KeyIndex = std::map<std::pair<std::string, std::string>, const SettingKey*, std::less<>>;

const KeyIndex& keyIndex() {
    static const KeyIndex index = [] {
        KeyIndex m;
        for (const SettingKey& k : settingKeys()) m.emplace(std::make_pair(k.section, k.key), &k);
        return m;
    }();
    return index;
}

const std::vector<std::string>& allSections() {
    static const std::vector<std::string> sections = [] {
        std::vector<std::string> s = projectSections();
        s.push_back(kSectionSession);
        return s;
    }();
    return sections;
}

bool beginsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Masked in the listing: these are never written anywhere.
// Passwords are never printed; the bot's privilege password is one even though projects store it.
bool isSecret(const SettingKey& k) { return isSecretSetting(k); }

// ---- strict parsing for the command line -------------------------------

// An optionally signed decimal number and nothing else; false on overflow.
bool parseWholeNumber(std::string_view v, long long& out) {
    bool negative = false;
    if (!v.empty() && (v[0] == '+' || v[0] == '-')) {
        negative = v[0] == '-';
        v.remove_prefix(1);
    }
    if (v.empty() || v.size() > 18) return false;
    long long n = 0;
    for (char c : v) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    out = negative ? -n : n;
    return true;
}

bool isHexNumber(std::string_view v) {
    if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) v.remove_prefix(2);
    if (v.empty()) return false;
    for (char c : v) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex) return false;
    }
    return true;
}

std::string inQuotes(std::string_view text) { return "\"" + std::string(text) + "\""; }

bool parseStrict(ConversionSettings& s, const SettingKey& k, std::string_view value, std::string& error) {
    const std::string name = k.section + "." + k.key;
    SettingTarget target = k.target(s);
    switch (k.form) {
        case SettingForm::Flag: {
            // The spellings batch tools commonly accept for a switch.
            const std::string v = toLowerAscii(value);
            const bool on = v == "true" || v == "yes" || v == "on" || v == "1";
            if (!on && v != "false" && v != "no" && v != "off" && v != "0") {
                error = "Setting " + inQuotes(name) + " takes true or false (or yes/no, on/off, 1/0), not " +
                        inQuotes(value);
                return false;
            }
            *std::get<bool*>(target) = on;
            return true;
        }
        case SettingForm::Choice:
        case SettingForm::Count: {
            long long v = 0;
            if (!parseWholeNumber(value, v) || v < k.minimum || v > k.maximum) {
                error = "Setting " + inQuotes(name) + " takes a whole number from " +
                        std::to_string(k.minimum) + " to " + std::to_string(k.maximum) + ", not " +
                        inQuotes(value);
                return false;
            }
            *std::get<int*>(target) = static_cast<int>(v);
            return true;
        }
        case SettingForm::Colour: {
            std::uint32_t v = 0;
            if (!isHexNumber(value) || value.size() > 8 || !scanHex(value, v) || v > kColourMax) {
                error = "Setting " + inQuotes(name) +
                        " takes a colour as hexadecimal BBGGRR from 0 to ffffff, not " + inQuotes(value);
                return false;
            }
            *std::get<Colour*>(target) = v;
            return true;
        }
        case SettingForm::Text:
            if (value.find_first_of("\r\n") != std::string_view::npos) {
                error = "Setting " + inQuotes(name) + " cannot hold a line break";
                return false;
            }
            if (k.key == "ZipPassword") {
                ConversionSettings probe;
                probe.ZipPassword = std::string(value);
                if (!validateZipPassword(probe, error)) return false;
            }
            *std::get<std::string*>(target) = std::string(value);
            return true;
    }
    return false;
}

// A key written without its section: the one section that has it, or a
// refusal when there are none or two.
const SettingKey* findUnqualified(std::string_view key, std::string& error) {
    std::vector<const SettingKey*> found;
    for (const std::string& section : allSections())
        if (const SettingKey* k = findSetting(section, key)) found.push_back(k);
    if (found.size() == 1) return found.front();
    if (found.size() > 1) {
        error = "Setting " + inQuotes(key) + " exists in both [" + found[0]->section + "] and [" +
                found[1]->section + "]: write it with its section, e.g. " + found[1]->section + "." +
                std::string(key) + "=... or " + found[0]->section + "." + std::string(key) + "=...";
        return nullptr;
    }
    error = "Unknown setting " + inQuotes(key);
    for (const SettingKey& k : settingKeys()) {
        if (toLowerAscii(k.key) == toLowerAscii(key)) {
            error += " (keys are case-sensitive: did you mean " + inQuotes(k.key) + "?)";
            break;
        }
    }
    return nullptr;
}

const SettingKey* findQualified(std::string_view section, std::string_view key, std::string& error) {
    bool sectionKnown = false;
    for (const std::string& s : allSections()) sectionKnown = sectionKnown || s == section;
    if (!sectionKnown) {
        error = "Unknown section " + inQuotes(section) + "; the sections are";
        for (const std::string& s : allSections()) error += " " + s;
        return nullptr;
    }
    if (const SettingKey* k = findSetting(section, key)) return k;
    error = "Unknown setting " + inQuotes(key) + " in [" + std::string(section) + "]";
    return nullptr;
}

}  // namespace

const std::vector<std::string>& projectSections() {
    static const std::vector<std::string> sections = {
        kSectionElevationModel, kSectionWorldParameters, kSectionRWXOptions,   kSectionPropertyOptions,
        kSectionLogOptions,     kSectionTreeZones,       kSectionTextureZones,
    };
    return sections;
}

const std::vector<SettingKey>& settingKeys() {
    static const std::vector<SettingKey> keys = buildTable();
    return keys;
}

const SettingKey* findSetting(std::string_view section, std::string_view key) {
    const KeyIndex& index = keyIndex();
    auto it = index.find(std::make_pair(std::string(section), std::string(key)));
    return it == index.end() ? nullptr : it->second;
}

std::string formatSettingValue(const ConversionSettings& settings, const SettingKey& k) {
    // The access functions want a mutable record; nothing is written here.
    SettingTarget target = k.target(const_cast<ConversionSettings&>(settings));
    switch (k.form) {
        case SettingForm::Flag: return *std::get<bool*>(target) ? "true" : "false";
        case SettingForm::Text: return *std::get<std::string*>(target);
        case SettingForm::Choice:
        case SettingForm::Count: return format("%d", *std::get<int*>(target));
        case SettingForm::Colour: return format("%x", static_cast<unsigned>(*std::get<Colour*>(target)));
    }
    return {};
}

void readSettingValue(ConversionSettings& s, const SettingKey& k, std::string_view value) {
    SettingTarget target = k.target(s);
    switch (k.form) {
        case SettingForm::Flag: *std::get<bool*>(target) = beginsWith(value, "true"); return;
        case SettingForm::Text: *std::get<std::string*>(target) = std::string(value); return;
        case SettingForm::Choice: {
            int v = 0;
            // An index outside the list would select nothing and be used as a
            // table index later: keep the current choice instead.
            if (scanInt(value, v) && v >= k.minimum && v <= k.maximum) *std::get<int*>(target) = v;
            return;
        }
        case SettingForm::Count: {
            int v = 0;
            if (scanInt(value, v)) *std::get<int*>(target) = std::clamp(v, k.minimum, k.maximum);
            return;
        }
        case SettingForm::Colour: {
            std::uint32_t v = 0;
            if (!value.empty() && scanHex(value, v)) *std::get<Colour*>(target) = v;
            return;
        }
    }
}

const SettingKey* settingOfAssignment(const std::string& assignment) {
    const std::size_t equals = assignment.find('=');
    const std::string_view name = std::string_view(assignment).substr(0, equals);
    const std::size_t dot = name.find('.');
    std::string ignored;
    if (dot == std::string_view::npos) return findUnqualified(name, ignored);
    return findQualified(name.substr(0, dot), name.substr(dot + 1), ignored);
}

bool applySetting(ConversionSettings& s, const std::string& assignment, std::string& error) {
    error.clear();
    const std::size_t equals = assignment.find('=');
    if (equals == std::string::npos) {
        error = "Setting " + inQuotes(assignment) + " has no value: write Key=Value or Section.Key=Value";
        return false;
    }
    const std::string_view name = std::string_view(assignment).substr(0, equals);
    const std::string_view value = std::string_view(assignment).substr(equals + 1);
    const std::size_t dot = name.find('.');
    const std::string_view section = dot == std::string_view::npos ? std::string_view{} : name.substr(0, dot);
    const std::string_view key = dot == std::string_view::npos ? name : name.substr(dot + 1);
    if (key.empty() || (dot != std::string_view::npos && section.empty())) {
        error = "Setting name missing in " + inQuotes(assignment) + ": write Key=Value or Section.Key=Value";
        return false;
    }
    const SettingKey* k =
        dot == std::string_view::npos ? findUnqualified(key, error) : findQualified(section, key, error);
    if (!k) return false;
    return parseStrict(s, *k, value, error);
}

std::string describeSettings(const ConversionSettings& s) {
    std::string out;
    std::string current;
    for (const SettingKey& k : settingKeys()) {
        if (k.section != current) {
            if (!current.empty()) out += "\n";
            out += "[" + k.section + "]\n";
            current = k.section;
        }
        std::string value = formatSettingValue(s, k);
        if (isSecret(k) && !value.empty()) value = "********";
        out += k.key + "=" + value + "\n";
    }
    return out;
}

bool isSecretSetting(const SettingKey& k) {
    return k.key == "BotPrivPassw" || (!k.saved && (k.key == "FtpPassword" || k.key == "ZipPassword"));
}

}  // namespace gorvale
