#pragma once
// The vertex elevations of the ground object being made: E(i, j) with i the
// column offset (west-east) and j the row offset (north-south), 0 .. n.

#include <cstdint>

namespace gorvale {

struct TileHeights { std::int32_t v[64][64]; std::int32_t& E(int i, int j) { return v[i][j]; } std::int32_t E(int i, int j) const { return v[i][j]; } };

}  // namespace gorvale
