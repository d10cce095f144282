#pragma once
// The "ExpandDEM" command: doubles the grid's resolution along both axes by
// interpolating new points between the old ones. Old values are multiplied
// by 10 so the means keep a decimal place; the expanded grid is therefore in
// tenths of the file's unit.

#include "base/grid_context.h"

namespace gorvale {

// Returns 0 when the grid was expanded, -1 when there is no grid or the
// larger grid does not fit (a message says so and the grid is unchanged).
int ExpandGrid(GridContext& ws);

}  // namespace gorvale
