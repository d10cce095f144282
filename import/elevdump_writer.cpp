#include "import/elevdump_writer.h"

#include <cstdio>

#include "base/c_file.h"

namespace gorvale {
namespace {

constexpr int kPageCells = 128;
constexpr int kSmallestNode = 8;

class NodeWriter {
public:
    NodeWriter(std::FILE* out, const TerrainArrays& t) : out_(out), t_(t) {}

    void writePage(int pageA, int pageB) {
        pageA_ = pageA;
        pageB_ = pageB;
        baseA_ = pageA * kPageCells + t_.centre() - 64;
        baseB_ = pageB * kPageCells + t_.centre() - 64;
        writeNode(0, 0, kPageCells);
    }
    int nodes() const { return nodes_; }
    bool failed() const { return failed_; }

private:
    bool uniform(int offA, int offB, int side) const {
        const std::int32_t h = t_.height(baseA_ + offA, baseB_ + offB);
        const std::uint16_t x = t_.texture(baseA_ + offA, baseB_ + offB);
        for (int b = 0; b < side; ++b)
            for (int a = 0; a < side; ++a)
                if (t_.height(baseA_ + offA + a, baseB_ + offB + b) != h ||
                    t_.texture(baseA_ + offA + a, baseB_ + offB + b) != x)
                    return false;
        return true;
    }

    void writeNode(int offA, int offB, int side) {
        if (side != kSmallestNode && !uniform(offA, offB, side)) {
            const int h = side / 2;
            writeNode(offA, offB, h);
            writeNode(offA + h, offB, h);
            writeNode(offA, offB + h, h);
            writeNode(offA + h, offB + h, h);
            return;
        }
        emit(offA, offB, side);
    }

    // Values of a node, first index fastest; one value when all are equal.
    template <typename Get>
    void emitValues(int offA, int offB, int side, Get get) {
        const long first = get(baseA_ + offA, baseB_ + offB);
        bool same = true;
        for (int m = 0; m < side && same; ++m)
            for (int n = 0; n < side; ++n)
                if (get(baseA_ + offA + n, baseB_ + offB + m) != first) {
                    same = false;
                    break;
                }
        if (same) {
            put(" %ld", first);
            return;
        }
        for (int m = 0; m < side; ++m)
            for (int n = 0; n < side; ++n) put(" %ld", get(baseA_ + offA + n, baseB_ + offB + m));
    }

    bool allEqualTextures(int offA, int offB, int side) const {
        const auto first = t_.texture(baseA_ + offA, baseB_ + offB);
        for (int m = 0; m < side; ++m)
            for (int n = 0; n < side; ++n)
                if (t_.texture(baseA_ + offA + n, baseB_ + offB + m) != first) return false;
        return true;
    }
    bool allEqualHeights(int offA, int offB, int side) const {
        const auto first = t_.height(baseA_ + offA, baseB_ + offB);
        for (int m = 0; m < side; ++m)
            for (int n = 0; n < side; ++n)
                if (t_.height(baseA_ + offA + n, baseB_ + offB + m) != first) return false;
        return true;
    }

    void emit(int offA, int offB, int side) {
        ++nodes_;
        if (std::fprintf(out_, "%d %d %d %d %d", pageA_, pageB_, offA, offB, side / 2) < 0) failed_ = true;
        put(allEqualTextures(offA, offB, side) ? " 1" : " 64");
        put(allEqualHeights(offA, offB, side) ? " 1" : " 64");
        emitValues(offA, offB, side, [this](int a, int b) { return static_cast<long>(t_.texture(a, b)); });
        emitValues(offA, offB, side, [this](int a, int b) { return static_cast<long>(t_.height(a, b)); });
        put("\r\n");
    }

    void put(const char* text) {
        if (std::fputs(text, out_) < 0) failed_ = true;
    }
    void put(const char* fmt, long v) {
        if (std::fprintf(out_, fmt, v) < 0) failed_ = true;
    }

    std::FILE* out_;
    const TerrainArrays& t_;
    int pageA_ = 0, pageB_ = 0, baseA_ = 0, baseB_ = 0;
    int nodes_ = 0;
    bool failed_ = false;
};

// Pages 0..R first, then -R..-1.
std::vector<int> pageOrder(int radius) {
    std::vector<int> order;
    for (int p = 0; p <= radius; ++p) order.push_back(p);
    for (int p = -radius; p <= -1; ++p) order.push_back(p);
    return order;
}

}  // namespace

TerrainArrays::TerrainArrays(int pageRadius)
    : radius_(pageRadius < 0 ? 0 : pageRadius),
      heights_(static_cast<std::size_t>(size()) * static_cast<std::size_t>(size()), 0),
      textures_(static_cast<std::size_t>(size()) * static_cast<std::size_t>(size()), 0) {}

int WriteElevdump(const std::string& path, const TerrainArrays& terrain, bool worldVersion4) {
    FilePtr out = openFile(path, "wb");
    if (!out) return -1;
    std::fputs(worldVersion4 ? "elevdump version 2\r\n" : "elevdump version 1\r\n", out.get());
    NodeWriter writer(out.get(), terrain);
    const std::vector<int> order = pageOrder(terrain.pageRadius());
    for (int pageB : order)
        for (int pageA : order) writer.writePage(pageA, pageB);
    const bool closed = std::fclose(out.release()) == 0;
    if (writer.failed() || !closed) return -1;
    return writer.nodes();
}

}  // namespace gorvale
