#include "base/conversion_settings.h"

namespace gorvale {

const std::array<Colour, kZoneColourEntries>& defaultZoneColours() {
    static const std::array<Colour, kZoneColourEntries> colours = [] {
        std::array<Colour, kZoneColourEntries> c{};
        const Colour firstRows[] = {0xff0000, 0x808080, 0x008000, 0x00ff00, 0x008080, 0xc0c0c0,
                                    0xffffff, 0x00ffff, 0x0000ff, 0xffff00, 0x000080, 0x800000,
                                    0xc0c0c0, 0x808000, 0x00ffff, 0x808080, 0xff00ff, 0x800080};
        for (std::size_t i = 0; i < std::size(firstRows); ++i) c[i] = firstRows[i];
        return c;
    }();
    return colours;
}

ConversionSettings defaultSettings(const std::filesystem::path& workDir) {
    ConversionSettings s;
    s.DEMFile = (workDir / "mydem.dem").string();
    s.RWXFile = (workDir / "rwx" / "z").string();
    s.PropFile = (workDir / "prop.txt").string();
    s.LogFile = (workDir / "history.log").string();
    const auto& colours = defaultZoneColours();
    for (int n = 0; n < kZoneRows; ++n) s.TextureZones[n].ColourValue = colours[n];
    s.TextureZones[0].RWXName = "water";
    s.TextureZones[2].RWXName = "grass";
    s.TextureZones[3].RWXName = "grass";
    s.TextureZones[4].RWXName = "snow1";
    s.CliffColour = colours[kCliffColourEntry];
    return s;
}

}  // namespace gorvale
