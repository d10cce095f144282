#pragma once
// Heights of an elevation dump by node (x, z), read from the dump's text, so
// tests can compare what a run or a world wrote with the nodes sent.

#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace gorvale::test {

using NodeHeights = std::map<std::pair<int, int>, long>;

inline NodeHeights dumpHeights(const std::string& text) {
    NodeHeights heights;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::istringstream f(line);
        int pa, pb, oa, ob, half, tc, hc;
        if (!(f >> pa >> pb >> oa >> ob >> half >> tc >> hc)) continue;
        std::vector<long> t(tc), h(hc);
        for (long& v : t) f >> v;
        for (long& v : h) f >> v;
        const int side = 2 * half;
        for (int m = 0; m < side; ++m)
            for (int n = 0; n < side; ++n)
                heights[{pa * 128 - 64 + oa + n, pb * 128 - 64 + ob + m}] = hc == 1 ? h[0] : h[m * 8 + n];
    }
    return heights;
}

// The height of node (x, z); 0 (no terrain) where the dump has none.
inline long heightAt(const NodeHeights& heights, int x, int z) {
    const auto it = heights.find({x, z});
    return it == heights.end() ? 0 : it->second;
}

}  // namespace gorvale::test
