#pragma once
// Reads an elevation dump (a world's native terrain as text) into the grid.

#include <cstdio>

#include "base/grid_context.h"

namespace gorvale {

// Reads the open text stream from its start. Returns 0 when the grid was
// replaced, 1 when the file is not an elevation dump or holds no node
// (message shown, grid unchanged), -1 when the grid could not be allocated.
// Sets ws.ElevdumpOriginCol/Row, the grid position of the world's origin.
int ReadElevdump(GridContext& ws, std::FILE* in);

}  // namespace gorvale
