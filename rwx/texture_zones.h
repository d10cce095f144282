#pragma once
// Texture zones: 32 elevation bands, each with a texture name (optionally a
// numbered gradient), a bottom texture, an opacity, a tag and an optional
// flattening of the ground inside the band; steep polygons can get a cliff
// texture instead. The table is converted from the settings' texts at the
// start of every Generate run and is then used by the grid (flattening), the
// model writer (texture choice) and the zone view.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "import/elevation_grid.h"
#include "pipeline/conversion_settings.h"

namespace gorvale {

struct Workspace;
struct SelectionRect;
class TextureGroupList;
class UserInterface;

// A texture name, with its number and opacity line, never exceeds this.
inline constexpr std::size_t kTextureNameLimit = 31;
// Characters of the tile name that a unique texture name takes from the
// model path ("03n_02w" of ".../z03n_02w.rwx").
inline constexpr std::size_t kUniqueNameTileChars = 7;

// One row in numeric form. Switches and names are copied from the settings
// by the preparation, so a run works on the values that were checked.
struct ZoneRow {
    bool ObjectZone = false;
    bool OpacityZone = false;
    bool ObjectTagZone = false;
    bool ObjectFlatZone = false;
    bool ObjectFlatZoneHigh = false;
    std::int32_t Lowest = 0;   // elevation units, inclusive
    std::int32_t Highest = 0;  // elevation units, inclusive
    int NameSuffixFrom = 1;
    int NumberOfTexts = 1;
    int TagStartValue = 1;
    float OpacityValue = 1.0f;
    std::string RWXName;
    std::string RWXBottomName;
    std::string opacityLine;  // "\nOpacity %.2f" with OpacityValue
    Colour ColourValue = 0;
};

class ZoneTable : public ElevationFilter {
public:
    std::array<ZoneRow, kZoneRows> rows{};
    bool AnyOpacity = false;
    int CliffTextureMin = 10000;

    // The flattening rule: rows in order, each flat row whose band holds the
    // (already changed) value moves it to its lower or upper bound.
    std::int32_t FlattenByZones(std::int32_t e) const;
    // The same rule for the grid's reads, over the rows that were flat at the
    // last conversion only (the grid is read cell by cell, so this is hot).
    std::int32_t apply(std::int32_t value) const override;
    bool anyFlattening() const;

    // First conversion over the grid's rows south..north and columns
    // east..west (both bounds included, limited to the storage). Copies the
    // switches and names, converts the bounds (percentages against the largest
    // raw and smallest flattened elevation of the area), the counts, opacity
    // (rows without their own opacity get the text "1"), tags and suffixes.
    // Returns the smallest flattened elevation (32000 for an empty area).
    std::int32_t prepare(ConversionSettings& settings, const ElevationGrid& grid,
                         const SelectionRect& area);

    // Second conversion of a run, after the selection scan: bounds, counts,
    // opacity values, tags and suffixes again, percentages against the
    // selection's minimum and (not yet raised) range.
    void convertForRun(const ConversionSettings& settings, std::int32_t selectionMin,
                       std::int32_t selectionRange);

private:
    void noteFlatRows();
    void copySwitchesAndNames(const ConversionSettings& settings);
    void convertRow(int s, const ConversionSettings& settings, std::int32_t minimum,
                    std::int64_t range);

    int flatRows_[kZoneRows] = {};
    int flatCount_ = 0;
};

// Start of a Generate run, the zone view and native terrain: the first
// conversion of ws.zones over the selection as the statistics last clamped
// it; hooks the table into ws.grid as its flattening while some row is flat.
std::int32_t PrepareZoneTable(Workspace& ws);

// The run's second conversion with ws.grid.SelectionMin and SelectionRange;
// call after the selection scan, before the range is raised to 1.
void ConvertZonesForRun(Workspace& ws);

// Checks that every texture name the table can produce fits the 31-character
// limit (zone names with their widest number and opacity line, bottom names
// of double-sided objects, the cliff texture, unique names). Uses the
// converted numbers, so call it after PrepareZoneTable. On failure `error`
// holds a message naming the zone and the name.
bool validateZoneNames(const ConversionSettings& settings, const ZoneTable& zones,
                       std::string& error);

// validateZoneNames on ws; shows its message (caption "Texture Zones") and
// returns false when a name is too long. Generate ends when this fails.
bool checkZoneNames(Workspace& ws);

// Chooses the texture statement of each polygon of one object and switches
// the texture group accordingly; holds the current texture name.
class TextureChooser {
public:
    TextureChooser(const ZoneTable& zones, TextureGroupList& groups);

    // Starts an object: reads the texture switches, remembers the selection
    // statistics and the object's unique texture name, empties the current name.
    void beginObject(const ConversionSettings& settings, std::int32_t selectionMin,
                     std::int32_t selectionRange, std::string_view uniqueName);

    // Builds the zone's texture name for a polygon into the current name;
    // true when it differs from the name before.
    bool ZoneTexture(const std::int32_t* corners, int count, bool top);
    // The same with the polygon's height already known.
    bool ZoneTextureAt(std::int32_t h, bool top);
    void ChooseQuadTexture(std::int32_t e1, std::int32_t e2, std::int32_t e3, std::int32_t e4,
                           bool top);
    void ChooseTriangleTexture(std::int32_t e1, std::int32_t e2, std::int32_t e3, bool top);

    std::string_view currentName() const { return name_; }

private:
    void choose(const std::int32_t* corners, int count, bool top);
    void selectStatement(std::string_view name);
    long long gradientNumber(const ZoneRow& row, std::int32_t h, std::size_t opacityLength) const;

    // What the current name was last built from; the same key gives the
    // same name, so the text need not be built again.
    struct NameKey {
        int zone = -1;  // row index, -1 for "null"
        bool top = false;
        long long number = 0;
        bool operator==(const NameKey&) const = default;
    };

    const ZoneTable& zones_;
    TextureGroupList& groups_;
    bool noObjectTextures_ = false;
    bool cliffTextures_ = false;
    bool useUniqueTextures_ = false;
    bool useAvgHeight_ = false;
    std::string cliffName_;
    std::string uniqueName_;
    std::int32_t selectionMin_ = 0;
    std::int32_t selectionRange_ = 1;
    int activeRows_[kZoneRows] = {};  // rows with the zone or tag switch on
    int activeCount_ = 0;
    NameKey lastKey_;
    bool lastKeyValid_ = false;
    // The zone search of the last height and face: neighbouring polygons
    // often share their highest corner, and the search depends on nothing else.
    std::int32_t searchedHeight_ = 0;
    bool searchedTop_ = false;
    bool searchValid_ = false;
    NameKey searchedKey_;
    int searchedTag_ = 0;
    bool searchedTagActive_ = false;
    std::string name_;
    std::string previous_;
    std::string statement_;
};

}  // namespace gorvale
