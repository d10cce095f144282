#pragma once
// Tree zones: extra objects (trees, rocks, hidden gifts) scattered over the
// generated ground. Each of the 32 zone rows names an elevation band and an
// object. While a tile is filled every zone draws one random candidate point
// in it; a candidate whose ground elevation lies in the zone's band becomes
// one object of that zone on that tile, written to the object list (and
// built by the bot) after the tile's ground object. So each zone adds at
// most one object per tile.
//
// Every draw comes from the program's one generator (base/shared_random.h);
// with GenerateTrees a tile always takes 64 draws while it is sampled, and
// placement draws, per object, thinning, yaw, score, height and number, each
// only when its switch asks for it. Runs are therefore repeatable after a
// program start.

#include <array>
#include <cstdint>
#include <string>

#include "base/conversion_settings.h"
#include "base/elevation_grid.h"
#include "base/shared_random.h"
#include "pipeline/tile_layout.h"

namespace gorvale {

struct Workspace;

// A zone's candidate elevation when the tile has none for it.
inline constexpr std::int32_t kNoTreeCandidate = -32000;

// One zone row in numbers, as a run reads it.
struct TreeZone {
    std::int32_t Low = 0;     // band, elevation units, both ends inclusive
    std::int32_t High = 0;
    std::int32_t Count = 0;   // numbered variants of the object; never negative
    std::int32_t Height = 0;  // height offset, cm
    std::int32_t From = 0;    // first variant number; never negative
    float LowPercent = 0.0f;  // the percentages last read in percent mode
    float HighPercent = 0.0f;
    std::string Name;
    bool Enabled = false;       // ObjectZone
    bool RandomRotate = false;  // ObjectRandomRotateZone
    bool RandomObject = false;  // ObjectRandomObjectRand: random variant and height offset
    bool RandomScore = false;   // ObjectRandomObjectVal
};

// The tree values of one run.
struct TreeRunValues {
    std::array<TreeZone, kZoneRows> Zones{};
    std::int32_t ScoreMin = 0;  // decimal conversion
    std::int32_t ScoreMax = 0;
    std::string ActionLine;
};

// Reads the zone table for a run. `selectionMin` and `selectionRange` come
// from this run's selection scan, the range not yet raised to 1. A number
// that does not parse keeps its value in `previous` (the last run's).
TreeRunValues ReadTreeRunValues(const ConversionSettings& settings, std::int32_t selectionMin,
                                std::int32_t selectionRange, const TreeRunValues& previous = {});

// One zone's candidate on the current tile.
struct TreeCandidate {
    std::int32_t Found = kNoTreeCandidate;  // int(E) when inside the band
    float E = 0.0f;                          // interpolated elevation
    float dNS = 0.0f;  // cm from the tile's centre, positive to the north
    float dWE = 0.0f;  // cm from the tile's centre, positive to the west
};

// The ground elevation at (fx, fy) of a grid cell, fx along the rows (north)
// and fy along the columns (west), on the plane of the triangle that holds
// the point; the cell is split along its diagonal from (1, 0) to (0, 1).
// A point on the cell's border (fx or fy exactly 0 or 1) gives 0.
float InterpolateInCell(long double fx, long double fy, std::int32_t c00, std::int32_t c10,
                        std::int32_t c01, std::int32_t c11);

// The candidate of one zone in the tile with south-east corner (h, c) and n
// cells a side, s metres wide; a and b are the point's distances in metres
// from the tile's southern and eastern edges. Reads the raw grid values.
TreeCandidate FindTreeCandidate(const ElevationGrid& grid, int h, int c, int n, float s, float a, float b,
                                const TreeZone& zone);

// A candidate's offset from the tile centre turned with the world, so that
// the object stands on the point whose elevation it took: grid north and
// west go where RotateWorld sends the tile's rows and columns. cm.
struct WorldOffset {
    float dX = 0.0f;  // west-east
    float dZ = 0.0f;  // north-south
};
WorldOffset RotateTreeOffset(float dNS, float dWE, int rotateWorld);

// The model name of a zone's object with variant number k (k ignored when
// Count <= 1). A name holding "%" is a pattern with one integer field when
// Count > 1 (TreeNamePatternError says whether it is usable) and is written
// as it stands otherwise.
std::string TreeModelName(const TreeZone& zone, std::int32_t k);

// Empty when `name` can number Count > 1 variants: no "%" at all, or exactly
// one integer field ("%d", "%03d", "%x", ...) plus any "%%". Otherwise the
// reason, for the message that refuses the run.
std::string TreeNamePatternError(const std::string& name);

// The settings checks made before a run: a zone that will place objects with
// Count > 1 and a "%" in its name must hold a usable pattern. Empty when all
// is well, else the message that refuses the run (naming zone and name).
std::string CheckTreeZoneNames(const ConversionSettings& settings, const TreeRunValues& previous = {});

// The tree zones of a Generate run, plugged into the tile loop.
class TreeZones : public TreeZoneHooks {
public:
    explicit TreeZones(LcgRandom& random = SharedRandom()) : random_(random) {}

    // Once per run, after the selection scan and before its range is raised
    // to 1: the zone values, the object size (u world cells) and the west-east
    // world size (world cells) that RespectWorldSize keeps trees inside.
    void ReadZones(const ConversionSettings& settings, const ElevationGrid& grid, float objectUnits,
                   int westEastWorldSize);
    void ReadZones(const Workspace& ws);

    // The message refusing a run whose zone names cannot be used; empty when fine.
    std::string CheckNames(const ConversionSettings& settings) const {
        return CheckTreeZoneNames(settings, values_);
    }

    void SampleTreeZones(const ElevationGrid& grid, int h, int c, int n) override;
    void PlaceTrees(TileLoop& loop, const LayoutNumbers& numbers, const TreeTile& tile) override;

    const TreeRunValues& values() const { return values_; }
    const std::array<TreeCandidate, kZoneRows>& candidates() const { return candidates_; }

private:
    // One zone's object, or false when thinning or the world size leaves it out.
    bool placeZone(TileLoop& loop, const LayoutNumbers& numbers, const TreeTile& tile, const TreeZone& zone,
                   const TreeCandidate& candidate);

    LcgRandom& random_;
    TreeRunValues values_;
    std::array<TreeCandidate, kZoneRows> candidates_{};
    bool generateTrees_ = false;
    float objectUnits_ = 1.0f;
    int westEastWorldSize_ = 0;
};

// --- window rules of the tree page ---

// TreeBoxClick: the page's labels, "Trees Only", the score and action fields
// and every row's six fields and four switches are enabled only while
// GenerateTrees is on and NoPropfile is off.
inline bool TreePageEnabled(const ConversionSettings& s) { return s.GenerateTrees && !s.NoPropfile; }

// TreeHeightEditChange for one field ("Suffix From", "#of Trees" or the
// thinning value): a value below 0 becomes "0"; any other text stays.
std::string TreeHeightEditChange(const std::string& text);
// The rule applied to TreeThinValue and every row's NameSuffixFrom and
// NumberOfTrees; true when a text changed.
bool ApplyTreeHeightEditChange(ConversionSettings& settings);

}  // namespace gorvale
