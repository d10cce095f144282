#pragma once
// A plain 24-bit picture held as one 32-bit word per pixel (0xffRRGGBB, the
// top-left pixel first), so the windows can show it without converting and
// the command line and tests can check it without a window system.

#include <cstdint>
#include <string>
#include <vector>

#include "base/conversion_settings.h"

namespace gorvale {

struct PixelImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // row-major, top line first

    void reset(int w, int h, std::uint32_t fill = 0xff000000u);
    bool empty() const { return width <= 0 || height <= 0; }
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    std::uint32_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

inline constexpr std::uint32_t pixelRgb(int r, int g, int b) {
    return 0xff000000u | (static_cast<std::uint32_t>(r & 0xff) << 16) |
           (static_cast<std::uint32_t>(g & 0xff) << 8) | static_cast<std::uint32_t>(b & 0xff);
}
// A settings colour (0x00BBGGRR) as a pixel.
inline constexpr std::uint32_t pixelFromColour(Colour c) {
    return pixelRgb(static_cast<int>(c & 0xff), static_cast<int>((c >> 8) & 0xff),
                    static_cast<int>((c >> 16) & 0xff));
}

// Writes the picture as an uncompressed 24-bit Windows bitmap. False, with
// the reason in `error`, when the file cannot be written completely; a
// failed write leaves no partial file behind.
bool WriteBitmap24(const PixelImage& image, const std::string& path, std::string& error);

}  // namespace gorvale
