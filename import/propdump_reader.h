#pragma once
// Rebuilds an elevation grid from a built world: reads a propdump, opens the
// RWX model of every object, and bins the world heights of all their
// vertices into a regular grid.

#include <string>

#include "base/grid_context.h"

namespace gorvale {

// How the records of a propdump are laid out, chosen from its first object line.
enum class PropdumpLayout {
    WithTiltRoll,  // owner time x y z yaw tilt roll name desc action (11 numbers)
    HexFirst,      // hex owner time x y z yaw name desc action (10 numbers)
    Short,         // owner time x y z yaw name desc action (9 numbers)
};
PropdumpLayout detectPropdumpLayout(const std::string& firstObjectLine);

// Returns 0 when the grid was replaced, 1 when nothing was read (the file
// cannot be opened or no vertex was found: the grid is unchanged), -1 when
// the grid would be too large (message shown, grid unchanged).
int ReadPropdumpBack(GridContext& ws, const std::string& path);

}  // namespace gorvale
