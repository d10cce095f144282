#include "tests/import/reader_test_support.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>
#include <utility>

namespace gorvale::test {

void putLe16(std::string& s, std::uint16_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
}

void putLe32(std::string& s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void putFloat(std::string& s, float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    putLe32(s, bits);
}

void putDouble(std::string& s, double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    putLe32(s, static_cast<std::uint32_t>(bits));
    putLe32(s, static_cast<std::uint32_t>(bits >> 32));
}

void setLe16(std::string& s, std::size_t at, std::uint32_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void setLe32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string le16Samples(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) putLe16(s, static_cast<std::uint16_t>(static_cast<std::int16_t>(v)));
    return s;
}

MemoryFile::MemoryFile(std::string bytes, const char* mode) : bytes_(std::move(bytes)) {
    // fmemopen refuses an empty buffer on some C libraries.
    file_.reset(bytes_.empty() ? std::tmpfile() : fmemopen(bytes_.data(), bytes_.size(), mode));
}

PathReader streamReader(int (*read)(GridContext&, std::FILE*), const char* mode) {
    return [read, mode](Workspace& ws, const std::filesystem::path& path) {
        FilePtr f = openFile(path.string(), mode);
        if (!f) {
            ADD_FAILURE() << "cannot open " << path;
            return -99;
        }
        return read(ws, f.get());
    };
}

PathReader nameReader(int (*read)(GridContext&, const std::string&)) {
    return [read](Workspace& ws, const std::filesystem::path& path) { return read(ws, path.string()); };
}

namespace {
constexpr std::int32_t kMarkValue = 4242;
}

ReaderHarness::ReaderHarness(std::string demFile, bool withPreviousGrid) {
    ws.settings.DEMFile = std::move(demFile);
    if (!withPreviousGrid) return;
    ws.grid.allocate(2, 2);
    ws.grid.cell(0, 0) = kMarkValue;
    ws.grid.LastRow = ws.grid.LastCol = 1;
}

bool ReaderHarness::previousGridKept() const {
    const ElevationGrid& g = ws.grid;
    return g.hasStorage() && g.AllocatedRows() == 2 && g.AllocatedCols() == 2 && g.cell(0, 0) == kMarkValue &&
           g.LastRow == 1 && g.LastCol == 1;
}

bool ReaderHarness::reported() const { return !ui.messages.empty() || !ui.fileErrors.empty(); }

ReaderRun::ReaderRun(PathReader reader, std::string fileName)
    : reader_(std::move(reader)), fileName_(std::move(fileName)) {}

int ReaderRun::read(const std::filesystem::path& path) {
    ws.settings.DEMFile = path.string();
    return reader_(ws, path);
}

int ReaderRun::readBytes(const std::string& bytes) {
    writeFileBytes(scratchFile(), bytes);
    return read(scratchFile());
}

::testing::AssertionResult shownOnce(const RecordingUserInterface& ui, const std::string& text,
                                     std::optional<Buttons> buttons) {
    if (ui.messages.size() != 1)
        return ::testing::AssertionFailure() << ui.messages.size() << " messages instead of one";
    const RecordedMessage& m = ui.messages[0];
    if (m.text != text) return ::testing::AssertionFailure() << "message \"" << m.text << "\"";
    if (buttons && m.buttons != *buttons)
        return ::testing::AssertionFailure() << "message \"" << m.text << "\" with other buttons";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult shownOnceContaining(const RecordingUserInterface& ui,
                                               std::initializer_list<std::string> parts) {
    if (ui.messages.size() != 1)
        return ::testing::AssertionFailure() << ui.messages.size() << " messages instead of one";
    for (const std::string& part : parts)
        if (ui.messages[0].text.find(part) == std::string::npos)
            return ::testing::AssertionFailure() << "message \"" << ui.messages[0].text << "\" lacks \"" << part
                                                 << "\"";
    return ::testing::AssertionSuccess();
}

void expectSoundOutcome(const ReaderHarness& h, int rc, const HarnessRules& rules, const std::string& what) {
    const ElevationGrid& g = h.ws.grid;
    if (rc == 0) {
        EXPECT_TRUE(g.hasStorage()) << what;
        EXPECT_GE(g.LastRow, 0) << what;
        EXPECT_GE(g.LastCol, 0) << what;
        EXPECT_LE(g.LastRow, g.AllocatedRows() - 1) << what;
        EXPECT_LE(g.LastCol, g.AllocatedCols() - 1) << what;
        EXPECT_EQ(g.RowLimit, g.LastRow) << what;
        EXPECT_EQ(g.ColLimit, g.LastCol) << what;
        return;
    }
    if (rules.refusalCode) EXPECT_EQ(rc, *rules.refusalCode) << what;
    if (rules.oneMessagePerRefusal)
        EXPECT_EQ(h.ui.messages.size(), 1u) << what;
    else if (!rules.silentRefusalAllowed)
        EXPECT_TRUE(h.reported()) << what << ": refused without a message (result " << rc << ")";
    if (rules.previousGrid) {
        bool memoryRanOut = false;
        for (const RecordedMessage& m : h.ui.messages)
            memoryRanOut |= m.text.find("not enough memory") != std::string::npos;
        if (!memoryRanOut) EXPECT_TRUE(h.previousGridKept()) << what << ": a refused file must keep the previous grid";
    }
}

ByteRunner fromMemory(StreamReader read, long startOffset, const char* mode) {
    return [read = std::move(read), startOffset, mode](ReaderHarness& h, std::string bytes) {
        const bool longEnough = bytes.size() >= static_cast<std::size_t>(std::max(startOffset, 0L));
        MemoryFile f(std::move(bytes), mode);
        if (!f.get()) {
            ADD_FAILURE() << "no stream over the bytes";
            return -2;
        }
        if (startOffset > 0 && longEnough && std::fseek(f.get(), startOffset, SEEK_SET) != 0) {
            ADD_FAILURE() << "cannot move to byte " << startOffset;
            return -2;
        }
        return read(h.ws, f.get());
    };
}

ByteRunner throughFile(PathReader read, std::string fileName) {
    auto dir = std::make_shared<ScratchDir>();
    return [read = std::move(read), fileName = std::move(fileName), dir](ReaderHarness& h, std::string bytes) {
        const std::filesystem::path path = *dir / fileName;
        // A fresh file each time: rewriting a cut file forces a flush on
        // some file systems, which thousands of cases would wait for.
        replaceFileBytes(path, bytes);
        h.ws.settings.DEMFile = path.string();
        const int rc = read(h.ws, path);
        std::filesystem::remove(path);
        return rc;
    };
}

std::vector<std::size_t> everyPrefixLength(std::size_t size) { return prefixLengths(size, size, 1); }

std::vector<std::size_t> prefixLengths(std::size_t size, std::size_t denseUpTo, std::size_t stride) {
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n < size; n += (n < denseUpTo ? 1 : stride)) lengths.push_back(n);
    return lengths;
}

std::vector<std::size_t> spreadPrefixLengths(std::size_t size, std::size_t maxCases) {
    std::vector<std::size_t> lengths;
    if (size + 1 <= maxCases) {
        for (std::size_t n = 0; n <= size; ++n) lengths.push_back(n);
    } else {
        for (std::size_t i = 0; i < maxCases; ++i) lengths.push_back(size * i / maxCases);
        for (std::size_t n = size - 8; n <= size; ++n) lengths.push_back(n);
    }
    return lengths;
}

namespace {

// Runs `count` cases made by `bytesOf`, each on a fresh harness; stops at
// the first case that adds a failure.
int checkCases(const ByteRunner& run, std::size_t count, const std::function<std::string(std::size_t)>& bytesOf,
               const std::function<std::string(std::size_t)>& nameOf, const HarnessRules& rules) {
    const bool failedBefore = ::testing::Test::HasFailure();
    int reads = 0;
    for (std::size_t i = 0; i < count; ++i) {
        ReaderHarness h(rules.demFile, rules.previousGrid);
        h.ui.askAnswers = rules.askAnswers;
        const int rc = run(h, bytesOf(i));
        if (rc == 0) ++reads;
        expectSoundOutcome(h, rc, rules, nameOf(i));
        if (!failedBefore && ::testing::Test::HasFailure()) break;
    }
    return reads;
}

}  // namespace

int checkPrefixes(const ByteRunner& run, const std::string& bytes, const std::vector<std::size_t>& lengths,
                  const HarnessRules& rules) {
    return checkCases(
        run, lengths.size(), [&](std::size_t i) { return bytes.substr(0, lengths[i]); },
        [&](std::size_t i) { return "prefix of " + std::to_string(lengths[i]) + " bytes"; }, rules);
}

int checkDamaged(const ByteRunner& run, const Damage& damage, int count, const HarnessRules& rules) {
    return checkCases(
        run, static_cast<std::size_t>(std::max(count, 0)), [&](std::size_t i) { return damage(static_cast<int>(i)); },
        [](std::size_t i) { return "damaged case " + std::to_string(i); }, rules);
}

Damage mixedDamage(std::string bytes, unsigned seed) {
    auto rng = std::make_shared<std::mt19937>(seed);
    return [bytes = std::move(bytes), rng](int i) {
        auto pick = [&rng](std::size_t below) {
            return below == 0 ? std::size_t{0} : std::uniform_int_distribution<std::size_t>(0, below - 1)(*rng);
        };
        std::string s = bytes;
        switch (i % 5) {
            case 0:
                s.resize(pick(s.size() + 1));
                break;
            case 1:
                for (int f = 0, n = 1 + static_cast<int>(pick(8)); f < n && !s.empty(); ++f)
                    s[pick(s.size())] ^= static_cast<char>(1u << pick(8));
                break;
            case 2:
                for (int f = 0, n = 1 + static_cast<int>(pick(16)); f < n && !s.empty(); ++f)
                    s[pick(s.size())] = static_cast<char>(pick(256));
                break;
            case 3: {
                std::string garbage(pick(64), '\0');
                for (char& c : garbage) c = static_cast<char>(pick(256));
                s.insert(pick(s.size() + 1), garbage);
                break;
            }
            default:
                s.assign(pick(512), '\0');
                for (char& c : s) c = static_cast<char>(pick(256));
                break;
        }
        return s;
    };
}

Damage headerDamage(std::string bytes, std::size_t headerBytes, unsigned seed) {
    auto rng = std::make_shared<std::mt19937>(seed);
    return [bytes = std::move(bytes), headerBytes, rng](int) {
        std::mt19937& r = *rng;
        std::string s = bytes;
        auto pick = [&r](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(r); };
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
                static const std::uint32_t extremes[] = {0,           1,           0xFFFFFFFFu, 0x7FFFFFFFu,
                                                         0x80000000u, 0x0000FFFFu, 0x00010000u, 0x7FC00000u /* NaN */};
                if (head >= 4) {
                    const std::uint32_t v =
                        pick(3) == 0 ? static_cast<std::uint32_t>(r()) : extremes[pick(std::size(extremes))];
                    setLe32(s, pick(head - 3), v);
                }
                break;
            }
        }
        return s;
    };
}

void expectN43Cells(const ElevationGrid& g, std::int32_t shift) {
    EXPECT_EQ(g.cell(120, 120), 294 + shift);  // north-west
    EXPECT_EQ(g.cell(120, 0), 247 + shift);    // north-east
    EXPECT_EQ(g.cell(0, 120), 202 + shift);    // south-west
    EXPECT_EQ(g.cell(0, 0), 182 + shift);      // south-east
    EXPECT_EQ(g.cell(60, 80), 143 + shift);
    EXPECT_EQ(g.cell(80, 60), 120 + shift);
    EXPECT_EQ(g.ElevationRange, 460 - 75);
}

void expectTwentySquareCells(const ElevationGrid& g) {
    EXPECT_EQ(g.cell(19, 19), 107);
    EXPECT_EQ(g.cell(19, 0), 148);
    EXPECT_EQ(g.cell(0, 19), 181);
    EXPECT_EQ(g.cell(0, 0), 107);
    EXPECT_EQ(g.cell(9, 13), 123);
    EXPECT_EQ(g.cell(13, 9), 140);
    EXPECT_EQ(g.ElevationRange, 255 - 74);
}

std::int64_t storedSum(const ElevationGrid& g) {
    std::int64_t sum = 0;
    for (int r = 0; r < g.AllocatedRows(); ++r)
        for (int c = 0; c < g.AllocatedCols(); ++c) sum += g.cell(r, c);
    return sum;
}

ValueRange valueRange(const ElevationGrid& g, int rows, int cols) {
    ValueRange range{std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::min()};
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            range.min = std::min(range.min, g.cell(r, c));
            range.max = std::max(range.max, g.cell(r, c));
        }
    return range;
}

std::int32_t storedMin(const ElevationGrid& g) { return valueRange(g, g.AllocatedRows(), g.AllocatedCols()).min; }

std::int32_t storedMax(const ElevationGrid& g) { return valueRange(g, g.AllocatedRows(), g.AllocatedCols()).max; }

bool edgeRowAndColumnEmpty(const ElevationGrid& g) {
    for (int c = 0; c <= g.LastCol; ++c)
        if (g.cell(g.LastRow, c) != 0) return false;
    for (int r = 0; r <= g.LastRow; ++r)
        if (g.cell(r, g.LastCol) != 0) return false;
    return true;
}

}  // namespace gorvale::test
