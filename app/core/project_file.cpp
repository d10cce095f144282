#include "app/core/project_file.h"

#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "app/core/settings_keys.h"
#include "base/c_file.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kBoundingBoxComment = "#BoundingBox";
constexpr const char* kBoundingBoxCommentAfter = "FileType";
// The reader's line buffer: a line keeps at most this many characters,
// its line end included.
constexpr std::size_t kLineBuffer = 512;
constexpr std::size_t kMaxLineText = kLineBuffer - 2;
// Shorter lines (without their line end) cannot hold "K=V" and are dropped.
constexpr std::size_t kMinLineText = 3;

// The four bounding-box sides and the exclusion sides restored with them.
struct BoxSide {
    const char* side;
    const char* exclusion;
};
constexpr BoxSide kBoxSides[] = {
    {"FromSouth", "FromSouthExcl"},
    {"FromWest", "FromWestExcl"},
    {"ToNorth", "ToNorthExcl"},
    {"ToEast", "ToEastExcl"},
};

bool beginsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// A text value ends at its line; a line break inside would start a new key.
std::string singleLine(const std::string& value) {
    const std::size_t br = value.find_first_of("\r\n");
    return br == std::string::npos ? value : value.substr(0, br);
}

// The kept lines of a project file and the section-scoped lookup.
class ProjectLines {
public:
    static std::optional<ProjectLines> read(const std::string& path) {
        FilePtr file = openFile(path, "rb");
        if (!file) return std::nullopt;
        ProjectLines result;
        std::string line;
        for (;;) {
            line.clear();
            bool any = false;
            bool ended = false;
            std::size_t length = 0;
            int c;
            while ((c = std::getc(file.get())) != EOF) {
                any = true;
                if (c == '\n') {
                    ended = true;
                    break;
                }
                // Anything past the buffer is cut off; it never becomes a
                // line of its own.
                if (++length <= kLineBuffer) line.push_back(static_cast<char>(c));
            }
            if (!any) break;
            if (ended && length <= kLineBuffer && !line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() > kMaxLineText) line.resize(kMaxLineText);
            if (const std::size_t nul = line.find('\0'); nul != std::string::npos) line.resize(nul);
            if (line.size() >= kMinLineText && line[0] != '#' && line[0] != ';') result.lines_.push_back(line);
            if (!ended) break;
        }
        if (std::ferror(file.get())) return std::nullopt;
        return result;
    }

    bool hasSection(std::string_view section) const { return sectionStart(section).has_value(); }

    // The value of key in section: the rest of the first line of that
    // section that begins with "key=". The "=" keeps Lowest1 off Lowest10.
    std::optional<std::string_view> value(std::string_view section, std::string_view key) const {
        const std::optional<std::size_t> start = sectionStart(section);
        if (!start) return std::nullopt;
        const std::string prefix = std::string(key) + "=";
        for (std::size_t i = *start; i < lines_.size(); ++i) {
            const std::string& line = lines_[i];
            if (line[0] == '[') break;
            if (beginsWith(line, prefix)) return std::string_view(line).substr(prefix.size());
        }
        return std::nullopt;
    }

private:
    // Index of the line after the section's header.
    std::optional<std::size_t> sectionStart(std::string_view section) const {
        const std::string header = "[" + std::string(section) + "]";
        for (std::size_t i = 0; i < lines_.size(); ++i)
            if (beginsWith(lines_[i], header)) return i + 1;
        return std::nullopt;
    }

    std::vector<std::string> lines_;
};

// Generate stays disabled and the cursor busy while loading, on every path;
// afterwards Generate is enabled as generateAfter says.
class LoadingScope {
public:
    explicit LoadingScope(Workspace& ws) : generateAfter(ws.gridLoaded), ws_(ws) {
        ws_.ui->setCommandEnabled(Command::Generate, false);
        ws_.ui->setBusy(true);
    }
    ~LoadingScope() {
        ws_.ui->setCommandEnabled(Command::Generate, generateAfter);
        ws_.ui->setBusy(false);
    }
    LoadingScope(const LoadingScope&) = delete;
    LoadingScope& operator=(const LoadingScope&) = delete;

    bool generateAfter;

private:
    Workspace& ws_;
};

class Loader {
public:
    Loader(Workspace& ws, const ProjectLines& lines, const ProjectLoadHooks& hooks)
        : ws_(ws), s_(ws.settings), lines_(lines), hooks_(hooks) {}

    // Returns whether the elevation file was opened.
    bool run() {
        applyElevationModel();
        applyWorldParameters();
        applyWholeSection(kSectionRWXOptions);
        applyWholeSection(kSectionPropertyOptions);
        applyWholeSection(kSectionLogOptions);
        applyTreeZones();
        applyTextureZones();

        // The refreshes recompute the vertical scale; the stored value wins.
        call(hooks_.refreshObjectSize);
        apply(kSectionWorldParameters, "VerticalScale");
        apply(kSectionWorldParameters, "DVerticalScale");
        const std::string verticalScale = s_.VerticalScale;

        const bool opened = hooks_.openElevationFile ? hooks_.openElevationFile(ws_) : false;
        restoreBoundingBox();
        if (opened) {
            // The restored box was saved against this grid, but it reaches the
            // settings without the snapping typed values get; and the
            // refreshes above saw the box before the grid was there.
            call(hooks_.validateBoundingBox);
            call(hooks_.refreshWorldSize);
            call(hooks_.refreshScaling);
        }

        call(hooks_.refreshControls);
        s_.VerticalScale = verticalScale;
        ShowLabel(ws_, Label::VerticalScale, verticalScale);
        ws_.SettingsModified = false;
        return opened;
    }

private:
    void call(const std::function<void(Workspace&)>& hook) {
        if (hook) hook(ws_);
    }

    bool apply(const char* section, const std::string& key) {
        const std::optional<std::string_view> v = lines_.value(section, key);
        if (!v) return false;
        if (const SettingKey* k = findSetting(section, key)) readSettingValue(s_, *k, *v);
        return true;
    }

    void applyRow(const char* section, const char* key, int row) { apply(section, key + std::to_string(row)); }

    void applyWholeSection(const char* section) {
        for (const SettingKey& k : settingKeys())
            if (k.section == section) apply(section, k.key);
    }

    std::string& boxField(const char* side) {
        return *std::get<std::string*>(findSetting(kSectionElevationModel, side)->target(s_));
    }

    // A bounding-box side goes in as the integer it holds.
    void applyBoxSide(const char* side) {
        const std::optional<std::string_view> v = lines_.value(kSectionElevationModel, side);
        int n = 0;
        if (v && scanInt(*v, n)) boxField(side) = format("%d", n);
    }

    void applyElevationModel() {
        const char* em = kSectionElevationModel;
        for (const char* key : {"SkipElevation", "ExcludeRectangle", "SkipElevationOdd", "SkipElevationOddHor",
                                "FileType", "DEMFile"})
            apply(em, key);
        // The scale list restarts at its first entry before the box goes in;
        // a file that holds no Scaling leaves the choice alone.
        if (lines_.value(kSectionWorldParameters, "Scaling")) s_.Scaling = 0;
        for (const BoxSide& b : kBoxSides) applyBoxSide(b.side);
        for (const char* key : {"InvertElevation", "RespectWorldSize", "RowGZ", "ColGZ", "FixGZ"}) apply(em, key);
    }

    void applyWorldParameters() {
        const char* wp = kSectionWorldParameters;
        for (const char* key : {"VerticalOffset", "ObjectSize", "Scaling", "WorldSize", "LeveledWithGround",
                                "WorldEdgeLevelWithGround", "WorldEdgeLevelSmooth", "WorldEdgeOverHang",
                                "AW_Terrain", "WorldVersion4", "WorldEdgeOverHangN", "WorldEdgeOverHangS",
                                "WorldEdgeOverHangW", "WorldEdgeOverHangE"})
            apply(wp, key);
        call(hooks_.refreshWorldSize);
        call(hooks_.refreshScaling);
        for (const char* key : {"VerticalScale", "DVerticalScale", "VerticalPreScale"}) apply(wp, key);
    }

    void applyTreeZones() {
        const char* tz = kSectionTreeZones;
        for (const char* key : {"GenerateTrees", "GenerateOnlyTrees", "TreeRangeInPercent", "TreeThinning",
                                "TreeThinValue", "TreeActionLine", "TreeScoreMin", "TreeScoreMax"})
            apply(tz, key);
        for (int n = 0; n < kZoneRows; ++n)
            for (const char* key : {"Lowest", "Highest", "RWXName", "NameSuffixFrom", "NumberOfTrees",
                                    "HeightOffset", "ObjectZone", "ObjectRandomRotateZone",
                                    "ObjectRandomObjectRand", "ObjectRandomObjectVal"})
                applyRow(tz, key, n);
    }

    void applyTextureZones() {
        const char* tx = kSectionTextureZones;
        // An empty colour value keeps the colour (the reader's colour rule).
        for (const char* key : {"NoObjectTextures", "DontRotate", "UseUniqueTextures", "UniqueTexturePrefix",
                                "CliffTextures", "CliffTextureName", "CliffTextureMin", "NumberOfTiles",
                                "RangeInPercent", "UseAvgHeight", "CliffColour"})
            apply(tx, key);
        for (int n = 0; n < kZoneRows; ++n)
            for (const char* key : {"Lowest", "Highest", "RWXName", "RWXBottomName", "NameSuffixFrom",
                                    "TagStartValue", "NumberOfTexts", "OpacityValue", "ColourValue", "ObjectZone",
                                    "OpacityZone", "ObjectFlatZone", "ObjectFlatZoneHigh", "ObjectTagZone"})
                applyRow(tx, key, n);
    }

    // After the elevation file was opened (which reset the box): the
    // exclusion sides, then the saved box once more.
    void restoreBoundingBox() {
        // A file without this section must not change its settings; an older
        // file without the exclusion keys gets the box as exclusion.
        if (lines_.hasSection(kSectionElevationModel)) {
            for (const BoxSide& b : kBoxSides) {
                if (apply(kSectionElevationModel, b.exclusion)) continue;
                int side = 0;
                if (scanInt(boxField(b.side), side))
                    *std::get<int*>(findSetting(kSectionElevationModel, b.exclusion)->target(s_)) = side;
            }
        }
        for (const BoxSide& b : kBoxSides) applyBoxSide(b.side);
    }

    Workspace& ws_;
    ConversionSettings& s_;
    const ProjectLines& lines_;
    const ProjectLoadHooks& hooks_;
};

}  // namespace

std::string projectFileText(const ConversionSettings& s) {
    std::string out;
    std::string section;
    for (const SettingKey& k : settingKeys()) {
        if (!k.saved) continue;
        if (k.section != section) {
            if (!section.empty()) out += kLineEnd;  // empty line between sections
            out += "[" + k.section + "]" + kLineEnd;
            section = k.section;
        }
        out += k.key + "=" + singleLine(formatSettingValue(s, k)) + kLineEnd;
        if (k.key == kBoundingBoxCommentAfter) out += std::string(kBoundingBoxComment) + kLineEnd;
    }
    return out;
}

bool SaveProject(const ConversionSettings& s, const std::string& path) {
    const std::string text = projectFileText(s);
    FilePtr file = openFile(path, "wb");
    if (!file) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    const bool closed = std::fclose(file.release()) == 0;
    return written && closed;
}

bool SaveProject(Workspace& ws, const std::string& path) {
    if (!SaveProject(ws.settings, path)) return false;
    ws.SettingsModified = false;
    return true;
}

bool LoadProject(Workspace& ws, const std::string& path, const ProjectLoadHooks& hooks) {
    LoadingScope scope(ws);
    const std::optional<ProjectLines> lines = ProjectLines::read(path);
    if (!lines) return false;
    Loader loader(ws, *lines, hooks);
    const bool opened = loader.run();
    // After a re-open, Generate follows what the open left: a grid of the
    // project's elevation file.
    if (hooks.openElevationFile) scope.generateAfter = opened;
    return true;
}

}  // namespace gorvale
