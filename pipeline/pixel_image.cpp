#include "pipeline/pixel_image.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/c_file.h"

namespace gorvale {
namespace {

void put16(unsigned char* p, std::uint32_t v) {
    p[0] = v & 0xff;
    p[1] = (v >> 8) & 0xff;
}
void put32(unsigned char* p, std::uint32_t v) {
    put16(p, v & 0xffff);
    put16(p + 2, v >> 16);
}

}  // namespace

void PixelImage::reset(int w, int h, std::uint32_t fill) {
    width = w > 0 ? w : 0;
    height = h > 0 ? h : 0;
    pixels.assign(static_cast<std::size_t>(width) * height, fill);
}

bool WriteBitmap24(const PixelImage& image, const std::string& path, std::string& error) {
    if (image.empty()) {
        error = "there is no picture to save";
        return false;
    }
    const std::uint32_t stride = (static_cast<std::uint32_t>(image.width) * 3 + 3) & ~3u;
    const std::uint64_t dataSize = std::uint64_t{stride} * image.height;
    if (dataSize + 54 > 0xffffffffu) {
        error = "the picture is too large for a bitmap file";
        return false;
    }
    unsigned char header[54] = {};
    header[0] = 'B';
    header[1] = 'M';
    put32(header + 2, static_cast<std::uint32_t>(dataSize + 54));
    put32(header + 10, 54);
    put32(header + 14, 40);
    put32(header + 18, static_cast<std::uint32_t>(image.width));
    put32(header + 22, static_cast<std::uint32_t>(image.height));  // positive: bottom line first
    put16(header + 26, 1);
    put16(header + 28, 24);
    put32(header + 34, static_cast<std::uint32_t>(dataSize));
    put32(header + 38, 2835);  // 72 dpi
    put32(header + 42, 2835);

    FilePtr out = openFile(path, "wb");
    if (!out) {
        error = std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(header, 1, sizeof header, out.get()) == sizeof header;
    std::vector<unsigned char> line(stride, 0);
    for (int y = image.height - 1; ok && y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t p = image.at(x, y);
            line[static_cast<std::size_t>(x) * 3] = p & 0xff;
            line[static_cast<std::size_t>(x) * 3 + 1] = (p >> 8) & 0xff;
            line[static_cast<std::size_t>(x) * 3 + 2] = (p >> 16) & 0xff;
        }
        ok = std::fwrite(line.data(), 1, line.size(), out.get()) == line.size();
    }
    if (!ok) error = std::strerror(errno ? errno : EIO);
    if (std::fclose(out.release()) != 0 && ok) {
        ok = false;
        error = std::strerror(errno);
    }
    if (!ok) std::remove(path.c_str());
    return ok;
}

}  // namespace gorvale
