#pragma once
// Writes the text form of a world's native terrain: pages of 128 x 128 cells,
// each page a quadtree of nodes carrying texture numbers and heights.

#include <cstdint>
#include <string>
#include <vector>

namespace gorvale {

// Square height and texture arrays of side TerrainSide + 1 around a centre,
// indexed (a, b): a the first index (west-east), b the second (north-south).
class TerrainArrays {
public:
    explicit TerrainArrays(int pageRadius);

    int pageRadius() const { return radius_; }
    int terrainSide() const { return 256 * radius_ + 385; }
    int centre() const { return terrainSide() / 2; }
    int size() const { return terrainSide() + 1; }

    std::int32_t& height(int a, int b) { return heights_[index(a, b)]; }
    std::int32_t height(int a, int b) const { return heights_[index(a, b)]; }
    std::uint16_t& texture(int a, int b) { return textures_[index(a, b)]; }
    std::uint16_t texture(int a, int b) const { return textures_[index(a, b)]; }

private:
    std::size_t index(int a, int b) const {
        return static_cast<std::size_t>(a) * static_cast<std::size_t>(size()) + static_cast<std::size_t>(b);
    }
    int radius_;
    std::vector<std::int32_t> heights_;
    std::vector<std::uint16_t> textures_;
};

// Writes the dump: version 2 header when worldVersion4, else version 1.
// Returns the number of nodes written, or -1 when the file cannot be created
// (then nothing is written).
int WriteElevdump(const std::string& path, const TerrainArrays& terrain, bool worldVersion4);

}  // namespace gorvale
