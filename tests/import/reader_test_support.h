#pragma once
// Scaffolding shared by the elevation-reader tests: byte builders for
// synthetic files, streams over bytes, a workspace that already holds a
// grid, one rule for what any read must leave behind, and the every-prefix
// and damaged-file drivers built on it.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/c_file.h"
#include "pipeline/workspace.h"
#include "tests/support/test_support.h"

namespace gorvale::test {

// ---- Little-endian bytes --------------------------------------------------

void putLe16(std::string& s, std::uint16_t v);
void putLe32(std::string& s, std::uint32_t v);
void putFloat(std::string& s, float f);
void putDouble(std::string& s, double d);
// Overwrite in place at `at`.
void setLe16(std::string& s, std::size_t at, std::uint32_t v);
void setLe32(std::string& s, std::size_t at, std::uint32_t v);
// Signed 16-bit samples, two bytes each.
std::string le16Samples(std::initializer_list<int> values);

// ---- Streams ----------------------------------------------------------------

// A read-only stream over a copy of `bytes` (kept alive by the object); an
// empty file when there are no bytes.
class MemoryFile {
public:
    explicit MemoryFile(std::string bytes, const char* mode = "rb");
    // The stream points into bytes_: it must not move.
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    std::FILE* get() const { return file_.get(); }

private:
    std::string bytes_;
    FilePtr file_;
};

// A reader as the tests drive it on a file.
using PathReader = std::function<int(Workspace&, const std::filesystem::path&)>;
using StreamReader = std::function<int(Workspace&, std::FILE*)>;

// Opens the file in `mode`, hands the stream over and closes it afterwards,
// as the format dispatch does.
PathReader streamReader(int (*read)(GridContext&, std::FILE*), const char* mode);
PathReader nameReader(int (*read)(GridContext&, const std::string&));

// ---- Workspaces ---------------------------------------------------------------

// A workspace named `demFile`, by default already holding a recognisable
// 2 x 2 grid so a refused file can be shown to leave it alone.
struct ReaderHarness {
    explicit ReaderHarness(std::string demFile = "input.dat", bool withPreviousGrid = true);
    ReaderHarness(const ReaderHarness&) = delete;
    ReaderHarness& operator=(const ReaderHarness&) = delete;

    bool previousGridKept() const;
    // A message box or the "Error" dialog was shown.
    bool reported() const;

    RecordingUserInterface ui;
    Workspace ws{ui};
};

// One workspace reading files one after another, as a user opens them.
class ReaderRun {
public:
    // `fileName`: what readBytes() calls the file it writes.
    ReaderRun(PathReader reader, std::string fileName);
    ReaderRun(const ReaderRun&) = delete;
    ReaderRun& operator=(const ReaderRun&) = delete;

    // Reads `path`, naming it as the open file.
    int read(const std::filesystem::path& path);
    // Writes `bytes` to the scratch folder, then reads them.
    int readBytes(const std::string& bytes);
    std::filesystem::path scratchFile() const { return dir / fileName_; }

    RecordingUserInterface ui;
    Workspace ws{ui};
    ScratchDir dir;

private:
    PathReader reader_;
    std::string fileName_;
};

// Exactly one message box was shown, with this text (and these buttons).
::testing::AssertionResult shownOnce(const RecordingUserInterface& ui, const std::string& text,
                                     std::optional<Buttons> buttons = std::nullopt);
// Exactly one message box was shown and its text holds every one of `parts`.
::testing::AssertionResult shownOnceContaining(const RecordingUserInterface& ui,
                                               std::initializer_list<std::string> parts);

// ---- What a read leaves behind -------------------------------------------------

struct HarnessRules {
    std::string demFile = "input.dat";
    std::vector<std::string> askAnswers;  // scripted answers to the reader's dialogs
    bool previousGrid = true;             // run on a workspace that already holds a grid
    std::optional<int> refusalCode = -1;  // none: any code other than 0 is a refusal
    bool silentRefusalAllowed = false;    // a refusal without a message is fine
    bool oneMessagePerRefusal = false;    // a refusal shows exactly one message box
};

// After a read: storage that holds LastRow and LastCol, and the limits at
// the extents. After a refusal: the refusal code, a message unless the rules
// allow silence, and the previous grid unless memory ran out.
void expectSoundOutcome(const ReaderHarness& h, int rc, const HarnessRules& rules, const std::string& what);

// ---- Handing bytes to a reader ---------------------------------------------------

using ByteRunner = std::function<int(ReaderHarness&, std::string bytes)>;

// Runs `read` on a stream over the bytes; the dispatch hands some readers a
// stream already past the signature it checked (`startOffset`), and a
// stream shorter than that unpositioned.
ByteRunner fromMemory(StreamReader read, long startOffset = 0, const char* mode = "rb");
// Writes the bytes to a fresh file `fileName` in a scratch folder of the
// runner's own, names it as the open file and reads it.
ByteRunner throughFile(PathReader read, std::string fileName);

// ---- Every prefix, damaged files ---------------------------------------------------

// Every length below `size`.
std::vector<std::size_t> everyPrefixLength(std::size_t size);
// Every length below `denseUpTo`, then every `stride`-th up to (not including) `size`.
std::vector<std::size_t> prefixLengths(std::size_t size, std::size_t denseUpTo, std::size_t stride);
// Every length up to `size` when there are at most `maxCases`; otherwise
// `maxCases` evenly spaced ones plus the last nine.
std::vector<std::size_t> spreadPrefixLengths(std::size_t size, std::size_t maxCases = 400);

// Each prefix must end in a sound outcome; stops at the first that does
// not. Returns how many were read.
int checkPrefixes(const ByteRunner& run, const std::string& bytes, const std::vector<std::size_t>& lengths,
                  const HarnessRules& rules);

// Damaged version `i` of a file; asked for in order 0, 1, 2, ...
using Damage = std::function<std::string(int i)>;
// Cut, bit-flipped, overwritten, grown with garbage, or replaced by noise, in turn.
Damage mixedDamage(std::string bytes, unsigned seed);
// Truncations, bit flips anywhere, bit flips and extreme 32-bit values in the
// first `headerBytes`, at random.
Damage headerDamage(std::string bytes, std::size_t headerBytes, unsigned seed);

// `count` damaged versions must each end in a sound outcome; stops at the
// first that does not. Returns how many were read.
int checkDamaged(const ByteRunner& run, const Damage& damage, int count, const HarnessRules& rules);

// ---- Reference values of samples that several formats hold ----------------------
// Read with GDAL 3.6.2 (python osgeo, ReadAsArray). GDAL pixel (line y,
// column x) of an H x W raster is this program's row H - 1 - y, column
// W - 1 - x (row 0 south, column 0 east).

// The DTED cell n43 (dted/n43.dt0 and its gdal-written/ copies), 121 x 121,
// 75..460: pixel (0,0)=294 (0,120)=247 (120,0)=202 (120,120)=182 (60,40)=143
// (40,60)=120. Checks those six cells, each `shift`ed, and the range 385.
void expectN43Cells(const ElevationGrid& g, std::int32_t shift = 0);

// The 20 x 20 picture of raw16/ and bmp/8bit_pal.bmp, 74..255: pixel
// (0,0)=107 (0,19)=148 (19,0)=181 (19,19)=107 (10,6)=123 (6,10)=140.
// Checks those six cells and the range 181.
void expectTwentySquareCells(const ElevationGrid& g);

// ---- Looking at grids ---------------------------------------------------------------

std::int64_t storedSum(const ElevationGrid& g);
std::int32_t storedMin(const ElevationGrid& g);
std::int32_t storedMax(const ElevationGrid& g);
struct ValueRange {
    std::int32_t min;
    std::int32_t max;
};
// Over rows [0, rows) and columns [0, cols).
ValueRange valueRange(const ElevationGrid& g, int rows, int cols);
// The row LastRow and the column LastCol hold only zeros.
bool edgeRowAndColumnEmpty(const ElevationGrid& g);

}  // namespace gorvale::test
