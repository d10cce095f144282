#pragma once
// Turning the selected rectangle of the grid into the vertex heights of each
// ground object: the selection scan of a run, the ground level (base
// elevation), the overhang counts of edge tiles and the tile fill with the
// optional levelling of the area's outer edges down to the ground.

#include <cstdint>
#include <optional>

#include "base/elevation_grid.h"
#include "base/conversion_settings.h"
#include "base/tile_heights.h"

namespace gorvale {

// Largest cells-per-object step the program offers (the scale list has 32 entries).
constexpr int kMaxScalingStep = 32;

// The rectangle a run works on, in grid indices, every bound inclusive:
// rows FromSouth..ToNorth, columns FromWest (east edge)..ToEast (west edge).
// These are the values after the selection statistics clamped them.
struct WorkingRectangle {
    int FromSouth = 0;
    int FromWest = 0;
    int ToNorth = 0;
    int ToEast = 0;
};

// What the selection scan found, before the range is raised to 1.
struct SelectionScan {
    std::int32_t Minimum = 32000;  // over the zone-flattened values
    std::int32_t Maximum = 0;      // over the stored values
};

// Scans the rectangle once per run: sets grid.SelectionMin and
// grid.SelectionRange (maximum - minimum, not yet raised to 1: the tree and
// texture zone percentages are converted with the unraised value). Points
// outside the grid's storage are not read.
SelectionScan ScanSelection(ElevationGrid& grid, const WorkingRectangle& rect);

// A range below 1 becomes 1 (a flat selection must not divide by zero later).
void RaiseSelectionRange(ElevationGrid& grid);

// The ground level of the run: SelectionMin - offset when the lowest point is
// levelled with the ground, otherwise the offset itself.
std::int32_t ComputeBase(std::int32_t selectionMin, int verticalOffset, bool leveledWithGround);
std::int32_t ComputeBase(const ElevationGrid& grid, const ConversionSettings& settings);

// Where a tile lies within the working rectangle; (h, c) is its south-east corner.
struct TileEdges {
    bool FirstRow = false;
    bool LastRow = false;
    bool FirstColumn = false;
    bool LastColumn = false;

    bool any() const { return FirstRow || LastRow || FirstColumn || LastColumn; }
};
TileEdges EdgeFlags(int h, int c, const WorkingRectangle& rect, int n);

// How many objects an edge tile's terrain reaches beyond its position, -2..2.
struct OverhangCounts {
    std::int32_t NS = 0;  // positive to the north
    std::int32_t WE = 0;  // positive to the west
};

// The four edge choices: 0 "None", 1 "1 Object", 2 "2 Objects".
struct OverhangChoices {
    bool Enabled = false;
    int North = 0;
    int South = 0;
    int West = 0;
    int East = 0;
};
OverhangChoices OverhangChoicesFrom(const ConversionSettings& settings);

OverhangCounts EdgeOverhang(int h, int c, const WorkingRectangle& rect, int n,
                            const OverhangChoices& choices);

// Levelling of the outermost objects down to the base elevation.
struct EdgeLevelling {
    bool WithGround = false;  // WorldEdgeLevelWithGround
    bool Smooth = false;      // WorldEdgeLevelSmooth
};
EdgeLevelling EdgeLevellingFrom(const ConversionSettings& settings);

// The smooth-levelling factor of vertex (J row offset, K column offset) of a
// tile with the given edges; nullopt for an inner tile (no levelling).
std::optional<long double> SmoothFactor(const TileEdges& edges, int n, int J, int K);

// Fills heights.E(K, J), J and K from 0 to n, with the stored (unflattened)
// elevations of grid points (h + J, c + K), levelled towards base when asked.
// A point outside the grid's storage reads as 0. n must be 1..kMaxScalingStep.
void FillTile(const ElevationGrid& grid, int h, int c, int n, const TileEdges& edges,
              std::int32_t base, const EdgeLevelling& levelling, TileHeights& heights);

}  // namespace gorvale
