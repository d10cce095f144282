#include "pipeline/zone_picture.h"

#include <algorithm>
#include <cstdlib>

#include "base/text_convert.h"
#include "import/grid_operations.h"
#include "rwx/texture_zones.h"

namespace gorvale {
namespace {

// Neighbours below row or column 0 are taken at 0; anything outside the
// storage reads as 0.
std::int32_t stored(const ElevationGrid& g, int r, int c) {
    r = std::max(r, 0);
    c = std::max(c, 0);
    return g.contains(r, c) ? g.cell(r, c) : 0;
}

}  // namespace

PixelImage BuildZonePicture(Workspace& ws) {
    PrepareZoneTable(ws);
    int cliffMin = ws.zones.CliffTextureMin;
    scanInt(ws.settings.CliffTextureMin, cliffMin);
    ComputeSelectionStats(ws);
    const SelectionRect sel = clampedSelection(ws);
    PixelImage image;
    if (!ws.grid.hasStorage() || sel.north < sel.south || sel.west < sel.east) return image;
    image.reset(sel.west - sel.east + 1, sel.north - sel.south + 1);

    const ElevationGrid& g = ws.grid;
    const ConversionSettings& s = ws.settings;
    const std::uint32_t cliff = pixelFromColour(s.CliffColour);
    const std::uint32_t none = pixelFromColour(defaultZoneColours()[kCliffColourEntry]);
    std::array<std::uint32_t, kZoneRows> colours{};
    for (int z = 0; z < kZoneRows; ++z) colours[z] = pixelFromColour(s.TextureZones[z].ColourValue);

    for (int r = sel.north; r >= sel.south; --r) {
        for (int c = sel.west; c >= sel.east; --c) {
            const std::int32_t a = stored(g, r, c), b = stored(g, r - 1, c), d = stored(g, r - 1, c - 1),
                               e = stored(g, r, c - 1);
            const std::int64_t spread =
                std::int64_t{std::max({a, b, d, e})} - std::min({a, b, d, e});
            std::uint32_t colour = none;
            if (s.CliffTextures && cliffMin < spread) {
                colour = cliff;
            } else {
                const std::int32_t v = ws.zones.FlattenByZones(a);
                for (int z = 0; z < kZoneRows; ++z) {
                    const ZoneRow& row = ws.zones.rows[z];
                    if (row.ObjectZone && row.Lowest <= v && v <= row.Highest) colour = colours[z];
                }
            }
            image.at(sel.west - c, sel.north - r) = colour;
        }
    }
    return image;
}

std::string ZoneCaption(const Workspace& ws, int X, int Y, int clientW, int clientH) {
    const SelectionRect sel = clampedSelection(ws);
    const int rows = sel.north - sel.south + 1;
    const int cols = sel.west - sel.east + 1;
    if (clientW <= 0 || clientH <= 0 || rows <= 0 || cols <= 0) return {};
    int dy = static_cast<int>(std::int64_t{Y} * rows / clientH);
    int dx = static_cast<int>(std::int64_t{X} * cols / clientW);
    std::int64_t e = stored(ws.grid, sel.north - dy, sel.west - dx);
    if (ws.settings.LeveledWithGround) e -= ws.grid.SelectionMin;
    dy -= (sel.north + 1 - sel.south) / 2;
    dx -= (sel.west + 1 - sel.east) / 2;
    float scale = 0.0f;
    scanFloat(ws.settings.VerticalScale, scale);
    const long double height = static_cast<long double>(e) * scale * 0.1L;
    return format("%d%s%d%s%.3Lfa", std::abs(dy), dy <= 0 ? "N  " : "S  ", std::abs(dx), dx <= 0 ? "W  " : "E  ",
                  height);
}

}  // namespace gorvale
