#pragma once
// Operations on the one elevation grid that every reader and command share:
// the bounding-rectangle validation, the selection statistics and the tail
// that every reader runs after filling the grid.

#include <cstdint>

#include "base/grid_context.h"

namespace gorvale {

// The bounding rectangle as the rest of the program uses it: the four
// settings read with "%d", negative edges taken as 0 and the far edges
// clamped to the grid's limits.
struct SelectionRect {
    int south = 0;  // first row
    int east = 0;   // first column (columns count from the east)
    int north = 0;  // last row (exclusive in scans)
    int west = 0;   // last column (exclusive in scans)
};
SelectionRect clampedSelection(const GridContext& ws);

// Recomputes SelectionMin/Max/Range over the bounding rectangle (through
// ElevationAt) and shows them in BoxElev, BoxMin and BoxMax.
void ComputeSelectionStats(GridContext& ws);

// Validation of the bounding-box fields: snaps the rectangle's height
// (width) to a multiple of the object step inside the grid, writes the
// fields back and refreshes both size labels.
void SnapNorthSouth(GridContext& ws);
void SnapEastWest(GridContext& ws);

// Updates the N-S and W-E size-of-selection labels from the current fields.
void UpdateSelectionSizeLabels(GridContext& ws);

// Reader tail: resets the rectangle to the whole grid, shows the extents and
// the range (from the reader's own minimum and maximum), sets the limits,
// computes the statistics and enables the grid commands.
void FinishGridLoad(GridContext& ws, std::int32_t minimum, std::int32_t maximum);

// The same tail for readers that put other values into ToNorth and ToEast
// before snapping, or show other row and column counts.
struct ReaderTail {
    std::int32_t toNorth = 0;
    std::int32_t toEast = 0;
    std::int32_t shownRows = 0;
    std::int32_t shownCols = 0;
};
void FinishGridLoad(GridContext& ws, std::int32_t minimum, std::int32_t maximum, const ReaderTail& tail);

// The last step of the tail alone (statistics, picture, commands), for
// readers that did the earlier steps themselves.
void FinishGridLoadLastStep(GridContext& ws);

}  // namespace gorvale
