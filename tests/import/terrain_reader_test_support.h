#pragma once
// Helpers for the terrain-editor reader tests: streams over bytes in memory,
// little-endian builders for synthetic files, and the every-prefix and
// mutation drivers that check a reader never misbehaves on damaged input.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "pipeline/c_file.h"
#include "pipeline/workspace.h"
#include "tests/support/test_support.h"

namespace gorvale::test {

// A read-only binary stream over a copy of `bytes` (kept alive by the object).
class MemoryFile {
public:
    explicit MemoryFile(std::string bytes) : bytes_(std::move(bytes)) {
        if (bytes_.empty()) {
            file_.reset(std::tmpfile());
        } else {
            file_.reset(fmemopen(bytes_.data(), bytes_.size(), "rb"));
        }
    }
    std::FILE* get() const { return file_.get(); }

private:
    std::string bytes_;
    FilePtr file_;
};

// Little-endian byte building.
inline void putLe16(std::string& s, std::uint16_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
}
inline void putLe32(std::string& s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline void putFloat(std::string& s, float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    putLe32(s, bits);
}
inline void putDouble(std::string& s, double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    putLe32(s, static_cast<std::uint32_t>(bits));
    putLe32(s, static_cast<std::uint32_t>(bits >> 32));
}
inline void setLe32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A workspace whose grid holds a recognisable 2 x 2 grid, so a refused
// file can be shown to leave the previous grid alone.
struct ReaderHarness {
    RecordingUserInterface ui;
    Workspace ws{ui};

    ReaderHarness() {
        ws.grid.allocate(2, 2);
        ws.grid.cell(0, 0) = 4242;
        ws.grid.LastRow = ws.grid.LastCol = 1;
        ws.settings.DEMFile = "input.dat";
    }
    bool previousGridKept() const {
        return ws.grid.hasStorage() && ws.grid.AllocatedRows() == 2 && ws.grid.AllocatedCols() == 2 &&
               ws.grid.cell(0, 0) == 4242;
    }
};

using StreamReader = std::function<int(Workspace&, std::FILE*)>;

// What must hold after any input: a known return code, extents inside the
// storage on success, the previous grid on a refusal before allocation.
inline void expectSoundOutcome(const ReaderHarness& h, int rc, const std::string& what) {
    ASSERT_TRUE(rc == 0 || rc == -1) << what;
    const ElevationGrid& g = h.ws.grid;
    if (rc == 0) {
        ASSERT_TRUE(g.hasStorage()) << what;
        ASSERT_GE(g.AllocatedRows(), g.LastRow + 1) << what;
        ASSERT_GE(g.AllocatedCols(), g.LastCol + 1) << what;
        ASSERT_EQ(g.RowLimit, g.LastRow) << what;
        ASSERT_EQ(g.ColLimit, g.LastCol) << what;
    } else {
        bool memoryRanOut = false;
        for (const auto& m : h.ui.messages) memoryRanOut |= m.text.find("not enough memory") != std::string::npos;
        if (!memoryRanOut) ASSERT_TRUE(h.previousGridKept()) << what << ": a refused file must keep the previous grid";
    }
}

inline int runOn(ReaderHarness& h, const StreamReader& reader, const std::string& bytes,
                 long startOffset = 0) {
    MemoryFile f(bytes);
    if (!f.get()) return -2;
    // The dispatch hands over a stream already past the signature it checked;
    // a stream shorter than that is handed over unpositioned.
    if (startOffset > 0 && bytes.size() >= static_cast<std::size_t>(startOffset) &&
        std::fseek(f.get(), startOffset, SEEK_SET) != 0)
        return -2;
    return reader(h.ws, f.get());
}

// Feeds prefixes of `bytes` (every one up to `denseUpTo`, then every
// `stride`-th) and checks each ends in a sound outcome.
inline void checkPrefixes(const StreamReader& reader, const std::string& bytes, std::size_t denseUpTo,
                          std::size_t stride, long startOffset = 0) {
    for (std::size_t n = 0; n < bytes.size(); n += (n < denseUpTo ? 1 : stride)) {
        ReaderHarness h;
        const int rc = runOn(h, reader, bytes.substr(0, n), startOffset);
        expectSoundOutcome(h, rc, "prefix of " + std::to_string(n) + " bytes");
        if (::testing::Test::HasFatalFailure()) return;
    }
}

// Damaged versions of a valid file: truncations, bit flips anywhere,
// bit flips and extreme 32-bit values in the first `headerBytes`.
inline std::string mutate(const std::string& original, std::mt19937& rng, std::size_t headerBytes) {
    std::string s = original;
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    const std::size_t head = std::min(headerBytes, s.size());
    switch (pick(4)) {
        case 0:
            s.resize(pick(s.size()));
            break;
        case 1:
            for (std::size_t k = 1 + pick(8); k > 0; --k) s[pick(s.size())] ^= static_cast<char>(1 << pick(8));
            break;
        case 2:
            for (std::size_t k = 1 + pick(4); k > 0; --k) s[pick(head)] ^= static_cast<char>(1 << pick(8));
            break;
        default: {
            static const std::uint32_t extremes[] = {0, 1, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u,
                                                     0x0000FFFFu, 0x00010000u, 0x7FC00000u /* NaN */};
            if (head >= 4) {
                const std::uint32_t v = pick(3) == 0 ? static_cast<std::uint32_t>(rng())
                                                     : extremes[pick(std::size(extremes))];
                setLe32(s, pick(head - 3), v);
            }
            break;
        }
    }
    return s;
}

inline void checkMutations(const StreamReader& reader, const std::string& bytes, std::size_t headerBytes,
                           int count, unsigned seed, long startOffset = 0) {
    std::mt19937 rng(seed);
    for (int i = 0; i < count; ++i) {
        const std::string damaged = mutate(bytes, rng, headerBytes);
        ReaderHarness h;
        const int rc = runOn(h, reader, damaged, startOffset);
        expectSoundOutcome(h, rc, "mutation " + std::to_string(i));
        if (::testing::Test::HasFatalFailure()) return;
    }
}

}  // namespace gorvale::test
