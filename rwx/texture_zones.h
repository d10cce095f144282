#pragma once
// Texture zones: 32 elevation bands, each with a texture name (optionally a
// numbered gradient), a bottom texture, an opacity, a tag and an optional
// flattening of the ground inside the band; steep polygons can get a cliff
// texture instead. The table is converted from the settings' texts at the
// start of every Generate run and is then used by the grid (flattening), the
// model writer (texture choice) and the zone view.

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/elevation_grid.h"
#include "base/conversion_settings.h"
#include "rwx/rwx_emitter.h"

namespace gorvale {

struct ModelContext;
struct SelectionRect;
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
std::int32_t PrepareZoneTable(ModelContext& ws);

// The run's second conversion with ws.grid.SelectionMin and SelectionRange;
// call after the selection scan, before the range is raised to 1.
void ConvertZonesForRun(ModelContext& ws);

// Checks that every texture name the table can produce fits the 31-character
// limit (zone names with their widest number and opacity line, bottom names
// of double-sided objects, the cliff texture, unique names). Uses the
// converted numbers, so call it after PrepareZoneTable. On failure `error`
// holds a message naming the zone and the name.
bool validateZoneNames(const ConversionSettings& settings, const ZoneTable& zones,
                       std::string& error);

// validateZoneNames on ws; shows its message (caption "Texture Zones") and
// returns false when a name is too long. Generate ends when this fails.
bool checkZoneNames(ModelContext& ws);

// Chooses the texture statement of each polygon of one object and switches
// the texture group accordingly; holds the current texture name.
//
// This runs for every polygon, so the zone search is remembered per height
// (its result depends on nothing else while the zone table and selection
// stay as they are), names are kept once in a pool and compared by number,
// and each name's texture group is remembered for the object.
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
    // These run for every polygon: kept inline in the writer's polygon loop.
    [[gnu::always_inline]] void ChooseQuadTexture(std::int32_t e1, std::int32_t e2, std::int32_t e3,
                                                  std::int32_t e4, bool top) {
        const std::int32_t corners[4] = {e1, e2, e3, e4};
        choose<4>(corners, top);
    }
    [[gnu::always_inline]] void ChooseTriangleTexture(std::int32_t e1, std::int32_t e2, std::int32_t e3,
                                                      bool top) {
        const std::int32_t corners[3] = {e1, e2, e3};
        choose<3>(corners, top);
    }

    std::string_view currentName() const { return names_[currentName_]; }

private:
    using NameId = std::int32_t;  // index into names_
    static constexpr NameId kEmptyName = 0;

    // What the zone search gives for one height: the tag state and the
    // texture names of a top and of a bottom face.
    struct HeightResult {
        std::int32_t height = 0;
        std::uint32_t stamp = 0;  // valid while equal to stamp_
        std::int32_t tag = 0;
        bool tagActive = false;
        NameId name[2] = {};  // [0] top face, [1] bottom face
    };
    static constexpr std::size_t kHeightSlots = 4096;  // direct-mapped by the height's low bits

    // A row as the search reads it, copied at the start of each object so
    // that a change of the table or the selection is noticed.
    struct SearchRow {
        int row = 0;
        std::int32_t Lowest = 0;
        std::int32_t Highest = 0;
        bool zone = false;
        bool tagZone = false;
        int TagStartValue = 0;
        int NumberOfTexts = 1;
        int NameSuffixFrom = 1;
        std::string topName;
        std::string bottomName;
        std::string opacityLine;
        bool operator==(const SearchRow&) const = default;
    };

    template <int Count>
    [[gnu::always_inline]] void choose(const std::int32_t* corners, bool top) {
        if (noObjectTextures_) return;
        std::int32_t low = corners[0];
        std::int32_t high = corners[0];
        std::int64_t sum = corners[0];
        for (int k = 1; k < Count; ++k) {
            low = corners[k] < low ? corners[k] : low;
            high = corners[k] > high ? corners[k] : high;
            sum += corners[k];
        }
        if (static_cast<std::int64_t>(high) - low > cliffLimit_) {
            chooseCliff();
            return;
        }
        const std::int32_t h = useAvgHeight_ ? static_cast<std::int32_t>(sum / Count) : high;
        if (takeZoneName(resultFor(h), top)) selectGroupForName(useUniqueTextures_ ? kUniqueStatement : currentName_);
    }
    [[gnu::always_inline]] const HeightResult& resultFor(std::int32_t h) {
        const HeightResult& r = memo_[static_cast<std::uint32_t>(h) & (kHeightSlots - 1)];
        if (r.stamp == stamp_ && r.height == h) return r;
        return search(h);
    }
    // Sets the tag state and the current name from a search; true when the
    // name changed.
    [[gnu::always_inline]] bool takeZoneName(const HeightResult& r, bool top) {
        // A search without a tag row leaves the tag value as it was.
        if (r.tagActive) groups_.tag = r.tag;
        groups_.tagActive = r.tagActive;
        const NameId name = r.name[top ? 0 : 1];
        if (name == currentName_) return false;
        currentName_ = name;
        return true;
    }

    const HeightResult& search(std::int32_t h);
    void chooseCliff();
    void selectGroupForName(NameId name);
    NameId nameId(const std::string& name);
    std::string zoneName(const SearchRow& row, std::int32_t h, bool top) const;
    long long gradientNumber(const SearchRow& row, std::int32_t h, std::size_t opacityLength) const;
    bool refreshSearchRows(const ConversionSettings& settings, std::int32_t selectionMin,
                           std::int32_t selectionRange);

    const ZoneTable& zones_;
    TextureGroupList& groups_;
    bool noObjectTextures_ = false;
    // A polygon whose corners differ by more than this is a cliff: the
    // cliff minimum, or more than any difference without cliff textures.
    std::int64_t cliffLimit_ = std::numeric_limits<std::int64_t>::max();
    bool useUniqueTextures_ = false;
    bool useAvgHeight_ = false;
    bool anyOpacity_ = false;
    std::int32_t selectionMin_ = 0;
    std::int32_t selectionRange_ = 1;
    std::vector<SearchRow> searchRows_;  // rows with the zone or tag switch on, in row order
    std::size_t searchRowCount_ = 0;

    std::vector<HeightResult> memo_;
    std::uint32_t stamp_ = 1;

    // Every name met so far, each once; kEmptyName is "".
    std::vector<std::string> names_;
    std::unordered_map<std::string, NameId> nameIds_;
    NameId currentName_ = kEmptyName;
    NameId cliffName_ = kEmptyName;
    std::string uniqueName_;

    // The group of each name's statement in the current object, by name id;
    // the last slot is the unique texture's statement.
    struct GroupSlot {
        std::uint32_t serial = 0;  // TextureGroupList::objectSerial() when found
        std::size_t handle = 0;
    };
    static constexpr NameId kUniqueStatement = -1;
    std::vector<GroupSlot> groupOfName_;
    GroupSlot uniqueGroup_;
    std::string statement_;
};

}  // namespace gorvale
