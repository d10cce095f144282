#include "import/usgs_dem_reader.h"

#include "import/read_log.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "import/grid_operations.h"
#include "base/c_file.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

// ---- Layout of record A -------------------------------------------------

// Some writers put a 128-byte block in front of record A; such files start
// with a control character.
constexpr int kControlPrefixLength = 128;
constexpr int kNameLength = 144;  // file name / description
constexpr long long kRecordALength = 1024;
// Record A's fields as fixed columns (1-based first column; widths of the
// FORTRAN formats I6, D24.15 and E12.6). Level, pattern, reference system,
// zone (4 I6 at 145), the 15 projection parameters (D24.15 at 169), the
// ground and elevation units and the polygon sides (3 I6 at 529), the angle
// (D24.15 at 787), the accuracy code (I6 at 811), the z resolution and the
// number of rows are read by nothing but their neighbours' positions.
constexpr int kRealWidth = 24;
constexpr int kIntWidth = 6;
constexpr int kResolutionWidth = 12;
constexpr int kCornersColumn = 547;       // 4 x (x, y), D24.15
constexpr int kMinElevationColumn = 739;  // D24.15
constexpr int kMaxElevationColumn = 763;  // D24.15
constexpr int kResolutionXColumn = 817;   // E12.6
constexpr int kResolutionYColumn = 829;   // E12.6
constexpr int kProfileCountColumn = 859;  // I6 (after the I6 row count at 853)
constexpr int kFixedFieldsEnd = 864;      // last column of the fields above
constexpr int kCornerValues = 8;
constexpr int kProjectionIntegers = 19;  // level, pattern, system, zone, 15 parameters

constexpr std::size_t kBufferSize = std::size_t{1} << 20;
constexpr std::size_t kMaxNumberText = 63;  // longer numbers keep their first characters

// No DEM holds elevations beyond +-2^30; clamping there keeps the difference
// of any two stored values within 32 bits for the statistics.
constexpr std::int32_t kElevationLimit = (std::int32_t{1} << 30) - 1;

constexpr const char* kAllocationFailed = "DEM Memory allocation failed!";

bool isWhiteSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isExponentLetter(int c) { return c == 'D' || c == 'd' || c == 'E' || c == 'e'; }
bool isLineBreak(char c) { return c == '\r' || c == '\n'; }
// Writers run fixed-width fields together ("-32767-32767", "1.5D+03-32767"):
// a sign right after a digit begins the next number.
bool beginsNextNumber(int c, int previous) { return (c == '+' || c == '-') && isDigit(previous); }

std::int32_t truncateToInt(long double v) {
    if (!(v == v)) return 0;
    if (v >= static_cast<long double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (v <= static_cast<long double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

std::int32_t clampToInt(long long v) {
    return static_cast<std::int32_t>(std::clamp<long long>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// The leading optionally signed decimal integer of a text, as a C long of
// 32 bits would hold it; 0 when there is none.
std::int32_t leadingInteger(std::string_view t) {
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    long long v = 0;
    for (; i < t.size() && isDigit(t[i]); ++i) {
        v = v * 10 + (t[i] - '0');
        if (v > (1LL << 32)) v = 1LL << 32;  // saturate; clamped below
    }
    return clampToInt(negative ? -v : v);
}

// A real written with D, d or e before its exponent reads as with E.
double realFromText(std::string_view text) {
    std::array<char, kMaxNumberText + 1> t{};
    const std::size_t n = std::min(text.size(), kMaxNumberText);
    for (std::size_t i = 0; i < n; ++i) t[i] = isExponentLetter(text[i]) ? 'E' : text[i];
    return decimalReal(std::string_view(t.data(), n));
}

// The characters of one number as the readers collect them.
struct NumberText {
    std::array<char, kMaxNumberText> chars;
    std::size_t length = 0;
    bool exponent = false;
    void append(int c) {
        if (length < chars.size()) chars[length++] = static_cast<char>(c);
    }
    std::string_view view() const { return {chars.data(), length}; }
};

// ---- Buffered input -------------------------------------------------------

// The input stream read in large blocks; counts what has been consumed.
class DemInput {
public:
    explicit DemInput(std::FILE* in) : in_(in), buffer_(new unsigned char[kBufferSize]) {}

    // The next character (0..255) or EOF; meeting EOF marks the end as met.
    int get() {
        if (pos_ == len_ && !fill(1)) return end();
        return buffer_[pos_++];
    }
    int peek() {
        if (pos_ == len_ && !fill(1)) return end();
        return buffer_[pos_];
    }
    // Up to n characters ahead, not consumed (fewer at the end of the file).
    std::string_view lookahead(std::size_t n) {
        if (len_ - pos_ < n) fill(n);
        return {reinterpret_cast<const char*>(buffer_.get() + pos_), std::min(n, len_ - pos_)};
    }
    // The characters buffered ahead and their consumption, for scanners
    // that work on the window directly.
    const unsigned char* window() const { return buffer_.get() + pos_; }
    std::size_t windowSize() const { return len_ - pos_; }
    void advance(std::size_t n) { pos_ += n; }
    // A read met the end of the file (as feof after a C read).
    bool ended() const { return ended_; }
    bool failed() const { return failed_; }
    long long consumed() const { return base_ + static_cast<long long>(pos_); }
    // The last character read: EOF once the end was met.
    int lastRead() const {
        if (ended_) return EOF;
        return pos_ > 0 ? buffer_[pos_ - 1] : lastBeforeBuffer_;
    }

private:
    int end() {
        ended_ = true;
        return EOF;
    }
    // Makes at least `want` characters available unless the file ends first.
    bool fill(std::size_t want) {
        if (pos_ > 0) {
            lastBeforeBuffer_ = buffer_[pos_ - 1];
            std::memmove(buffer_.get(), buffer_.get() + pos_, len_ - pos_);
            base_ += static_cast<long long>(pos_);
            len_ -= pos_;
            pos_ = 0;
        }
        while (len_ < want && !exhausted_) {
            const std::size_t n = std::fread(buffer_.get() + len_, 1, kBufferSize - len_, in_);
            if (n == 0) {
                exhausted_ = true;
                failed_ = std::ferror(in_) != 0;
            }
            len_ += n;
        }
        return len_ > pos_;
    }

    std::FILE* in_;
    std::unique_ptr<unsigned char[]> buffer_;  // not cleared: only what fread filled is read
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    long long base_ = 0;
    int lastBeforeBuffer_ = EOF;
    bool ended_ = false;
    bool exhausted_ = false;
    bool failed_ = false;
};

// ---- The two number readers ---------------------------------------------

class DemNumbers {
public:
    explicit DemNumbers(DemInput& input) : in_(input) {}

    // Integer reader: one blank-delimited field; a field written as a real
    // with an exponent gives its truncated value. False at the end of the
    // file (value -1).
    bool readInteger(std::int32_t& value) {
        if (plainInteger(value)) return true;
        NumberText t;
        if (!collectField(t)) {
            value = -1;
            return false;
        }
        value = t.exponent ? truncateToInt(realFromText(t.view())) : leadingInteger(t.view());
        return true;
    }
    std::int32_t integer() {
        std::int32_t v;
        readInteger(v);
        return v;
    }
    // A field delimited as the integer reader does, kept as a real (the
    // spatial resolution, written "0.300000E+020.300000E+02" by some writers).
    double resolution() {
        NumberText t;
        if (!collectField(t)) return -1;
        return realFromText(t.view());
    }
    // Real reader: up to the next white space; 0 when nothing is left.
    double real() {
        int c;
        do c = in_.get();
        while (isWhiteSpace(c));
        if (c == EOF) return 0;
        NumberText t;
        for (;;) {
            t.append(c);
            const int next = in_.peek();
            if (next == EOF) break;
            if (isWhiteSpace(next)) {
                in_.get();
                break;
            }
            if (beginsNextNumber(next, c)) break;
            c = in_.get();
        }
        return realFromText(t.view());
    }
    // The accuracy code: the first character that is not white space.
    void skipCharacterField() {
        int c;
        do c = in_.get();
        while (isWhiteSpace(c));
    }

private:
    // The common case on the buffered window: white space, an optional sign,
    // up to 11 digits and a delimiter (white space, or the sign that begins
    // the next run-together field). Anything else is left to collectField,
    // which gives the same value for these fields.
    bool plainInteger(std::int32_t& value) {
        constexpr std::size_t kMargin = 64;  // no end of window within one field
        if (in_.windowSize() < kMargin) return false;
        const unsigned char* const start = in_.window();
        const unsigned char* const limit = start + in_.windowSize() - kMargin;
        const unsigned char* p = start;
        while (isWhiteSpace(*p)) {
            if (++p == limit) return false;
        }
        const unsigned char* const fieldStart = p;
        const bool negative = *p == '-';
        if (*p == '-' || *p == '+') ++p;
        const unsigned char* const digits = p;
        long long v = 0;
        while (isDigit(*p) && p - digits < 11) v = v * 10 + (*p++ - '0');
        if (p == digits || isDigit(*p)) {
            in_.advance(static_cast<std::size_t>(fieldStart - start));
            return false;
        }
        if (*p <= ' ')
            ++p;  // the delimiter belongs to this field
        else if (!(*p == '+' || *p == '-')) {
            in_.advance(static_cast<std::size_t>(fieldStart - start));
            return false;
        }
        in_.advance(static_cast<std::size_t>(p - start));
        value = clampToInt(negative ? -v : v);
        return true;
    }

    bool collectField(NumberText& t) {
        int c;
        do c = in_.get();
        while (isWhiteSpace(c));
        if (c == EOF) return false;
        if (c <= ' ') return true;  // another control character ends an empty field
        for (;;) {
            if (isExponentLetter(c)) {
                t.append('E');
                t.exponent = true;
                collectExponent(t);
                return true;
            }
            t.append(c);
            const int next = in_.peek();
            if (next == EOF) return true;
            if (next <= ' ') {
                in_.get();  // the delimiter belongs to this field
                return true;
            }
            if (beginsNextNumber(next, c)) return true;
            c = in_.get();
        }
    }
    // Sign and two digits after the exponent letter.
    void collectExponent(NumberText& t) {
        int previous = 'E';
        for (int i = 0; i < 3; ++i) {
            const int next = in_.peek();
            if (next == EOF) return;
            if (next <= ' ') {
                in_.get();
                return;
            }
            if (beginsNextNumber(next, previous)) return;
            t.append(in_.get());
            previous = next;
        }
    }

    DemInput& in_;
};

// ---- Record A -----------------------------------------------------------

struct DemHeader {
    std::int32_t minX = 0, maxX = 0, minY = 0, maxY = 0;
    std::int32_t minElevation = 0, maxElevation = 0;
    double dx = 0, dy = 0;
    std::int32_t nProfiles = 0;
};

void setCorners(DemHeader& h, const std::array<std::int32_t, kCornerValues>& corners) {
    h.minX = h.maxX = corners[0];
    h.minY = h.maxY = corners[1];
    for (int i = 0; i < kCornerValues; i += 2) {
        h.minX = std::min(h.minX, corners[i]);
        h.maxX = std::max(h.maxX, corners[i]);
        h.minY = std::min(h.minY, corners[i + 1]);
        h.maxY = std::max(h.maxY, corners[i + 1]);
    }
}

// Record A from its standard columns; `record` holds its first 864 characters.
DemHeader headerFromColumns(std::string_view record) {
    auto field = [record](int column, int width) {
        return realFromText(
            record.substr(static_cast<std::size_t>(column - 1), static_cast<std::size_t>(width)));
    };
    DemHeader h;
    std::array<std::int32_t, kCornerValues> corners{};
    for (int i = 0; i < kCornerValues; ++i)
        corners[i] = truncateToInt(field(kCornersColumn + i * kRealWidth, kRealWidth));
    setCorners(h, corners);
    h.minElevation = truncateToInt(field(kMinElevationColumn, kRealWidth));
    h.maxElevation = truncateToInt(field(kMaxElevationColumn, kRealWidth));
    h.dx = field(kResolutionXColumn, kResolutionWidth);
    h.dy = field(kResolutionYColumn, kResolutionWidth);
    h.nProfiles = truncateToInt(field(kProfileCountColumn, kIntWidth));
    return h;
}

// Record A as a stream of numbers, for headers broken into short lines.
DemHeader headerFromStream(DemNumbers& numbers) {
    DemHeader h;
    for (int i = 0; i < kProjectionIntegers; ++i) numbers.integer();
    numbers.integer();  // unit of ground coordinates
    numbers.integer();  // unit of elevations
    numbers.integer();  // polygon sides
    std::array<std::int32_t, kCornerValues> corners{};
    for (auto& v : corners) v = truncateToInt(numbers.real());
    setCorners(h, corners);
    h.minElevation = truncateToInt(numbers.real());
    h.maxElevation = truncateToInt(numbers.real());
    numbers.real();                // angle
    numbers.skipCharacterField();  // accuracy code
    h.dx = numbers.resolution();
    h.dy = numbers.resolution();
    numbers.resolution();  // z
    numbers.integer();     // number of rows
    h.nProfiles = numbers.integer();
    return h;
}

// ---- Log, cursor ----------------------------------------------------------


// ---- The reader -----------------------------------------------------------

struct GridExtent {
    long long lastRow = 0;
    long long lastCol = 0;
    long long side() const { return std::max(lastRow, lastCol) + 1; }
};

// Grid points from a corner span: the span divided by the resolution,
// truncated, plus one.
long long extentFromSpan(std::int32_t low, std::int32_t high, double resolution) {
    const long double quotient =
        (static_cast<long double>(high) - static_cast<long double>(low)) / resolution;
    if (!(quotient < static_cast<long double>(ElevationGrid::kMaxCells)))
        return ElevationGrid::kMaxCells;
    return static_cast<long long>(quotient) + 1;
}

int refuse(GridContext& ws, ReadLog& log, const std::string& text) {
    ws.ui->message(text, "USGS DEM", MessageKind::Error, Buttons::Ok);
    log.write("failed\n");
    return -1;
}

void forgetGrid(GridContext& ws) {
    ElevationGrid& g = ws.grid;
    g.release();
    g.LastRow = g.LastCol = g.RowLimit = g.ColLimit = 0;
    ws.gridLoaded = false;
    for (Command c : {Command::ShowSelectedArea, Command::Generate, Command::ShowFullPicture,
                      Command::ShowZones})
        ws.ui->setCommandEnabled(c, false);
}

struct ProfilePlacement {
    std::int32_t minY = 0;
    double dy = 1;
    int step = 1;
};

// Profiles are columns of a grid stored by rows: writing one straight into
// the grid touches a new memory page per point. They are gathered here,
// a few at a time, and copied in row by row.
class ColumnBatch {
public:
    static constexpr int kColumns = 32;

    explicit ColumnBatch(ElevationGrid& g)
        : grid_(g), height_(static_cast<std::size_t>(g.LastRow) + 1), values_(kColumns * height_) {}

    // The row buffer of the next column (grid column `col`); full batches
    // go to the grid first.
    std::int32_t* start(int col) {
        if (count_ == kColumns) flush();
        columns_[count_] = Column{col, 1, 0};
        return values_.data() + static_cast<std::size_t>(count_) * height_;
    }
    // Rows first..last of the started column were filled (none when first > last).
    void finish(int first, int last) {
        columns_[count_].first = first;
        columns_[count_].last = last;
        ++count_;
    }
    // In file order, so that a later profile writing the same column wins.
    void flush() {
        int lo = grid_.LastRow + 1, hi = -1;
        for (int j = 0; j < count_; ++j)
            if (columns_[j].first <= columns_[j].last) {
                lo = std::min(lo, columns_[j].first);
                hi = std::max(hi, columns_[j].last);
            }
        for (int r = lo; r <= hi; ++r) {
            std::int32_t* row = grid_.row(r);
            for (int j = 0; j < count_; ++j) {
                const Column& c = columns_[j];
                if (c.first <= r && r <= c.last)
                    row[c.col] = values_[static_cast<std::size_t>(j) * height_ +
                                         static_cast<std::size_t>(r)];
            }
        }
        count_ = 0;
    }
    ~ColumnBatch() { flush(); }
    ColumnBatch(const ColumnBatch&) = delete;
    ColumnBatch& operator=(const ColumnBatch&) = delete;

private:
    struct Column {
        int col;
        int first;
        int last;
    };
    ElevationGrid& grid_;
    std::size_t height_;
    std::vector<std::int32_t> values_;
    std::array<Column, kColumns> columns_{};
    int count_ = 0;
};

// The m elevations of one profile into column `col` from `rowOffset` on.
// False at the end of the file.
bool readProfileElevations(DemNumbers& numbers, ColumnBatch& batch, int col, std::int32_t m,
                           long long rowOffset, int step, int lastRow) {
    std::int32_t* column = batch.start(col);
    int first = 1, last = 0;
    bool more = true;
    for (std::int32_t k = 0; k < m; ++k) {
        const long long row = (k + rowOffset) / step;
        std::int32_t elevation;
        if (!numbers.readInteger(elevation)) {  // the end of the file is no elevation
            more = false;
            break;
        }
        // Points outside the grid are dropped; reading the profile through
        // keeps the next profile's header in step.
        if (row < 0 || row > lastRow) continue;
        if (first > last) first = static_cast<int>(row);
        last = static_cast<int>(row);
        column[row] = std::clamp(elevation, -kElevationLimit - 1, kElevationLimit);
    }
    batch.finish(first, last);
    return more;
}

// Reads the profiles into the grid; stops at the end of the file, after the
// header's number of profiles, or at a profile longer than the grid. Window
// events are handled once per profile, so a long read keeps the window alive.
void readProfiles(DemNumbers& numbers, DemInput& input, ElevationGrid& g, const ProfilePlacement& p,
                  std::int32_t nProfiles, std::int32_t firstCount, UserInterface& ui) {
    ColumnBatch batch(g);
    std::int32_t m = firstCount;
    for (std::int32_t c = 1; g.LastCol >= c && c <= nProfiles; ++c) {
        ui.processEvents();
        numbers.integer();  // columns in this profile (1)
        numbers.real();     // x of the first point
        const std::int32_t y = truncateToInt(numbers.real());
        numbers.real();  // local datum
        numbers.real();  // minimum
        numbers.real();  // maximum
        const long long rowOffset =
            truncateToInt((static_cast<long double>(y) - static_cast<long double>(p.minY)) / p.dy);
        const long long col = (static_cast<long long>(g.LastCol) - c) / p.step;
        if (col < 0 || col > g.LastCol || input.ended()) return;
        if (!readProfileElevations(numbers, batch, static_cast<int>(col), m, rowOffset, p.step,
                                   g.LastRow))
            return;
        if (input.ended()) return;
        numbers.integer();  // row number
        if (input.ended()) return;
        numbers.integer();  // column number: the profile's place in the file counts
        if (input.ended()) return;
        m = numbers.integer();
        if (m > g.LastRow) return;
    }
}

}  // namespace

int ReadUsgsDem(GridContext& ws, std::FILE* in) {
    const int step = ws.settings.SkipElevation ? 2 : 1;
    const std::string& path = ws.settings.DEMFile;
    BusyCursor busy(*ws.ui);
    ReadLog log(ws);

    std::rewind(in);
    DemInput input(in);
    DemNumbers numbers(input);
    const int first = input.peek();
    if (first != EOF && first < ' ')
        for (int i = 0; i < kControlPrefixLength; ++i) input.get();
    const long long recordStart = input.consumed();
    auto demCharCount = [&] { return input.consumed() - recordStart; };

    // Headers written in one piece are read by columns (writers leave fields
    // blank and run them together); headers broken into short lines as numbers.
    const std::string_view ahead = input.lookahead(kFixedFieldsEnd);
    const bool byColumns = ahead.size() == static_cast<std::size_t>(kFixedFieldsEnd) &&
                           std::none_of(ahead.begin(), ahead.end(), isLineBreak);
    const std::string record(ahead);

    std::string name;
    for (int i = 0; i < kNameLength; ++i) {
        const int c = input.get();
        if (c == EOF) break;
        name.push_back(static_cast<char>(c));
    }
    name = trimRight(name);

    DemHeader header;
    if (byColumns) {
        while (demCharCount() < kFixedFieldsEnd) input.get();
        header = headerFromColumns(record);
    } else {
        header = headerFromStream(numbers);
    }
    if (!(header.dx > 0) || !(header.dy > 0))
        return refuse(ws, log,
                      format("%s is not a USGS DEM: its header record (type A) holds no spatial "
                             "resolution above 0.",
                             path.c_str()));
    GridExtent extent;
    extent.lastCol = extentFromSpan(header.minX, header.maxX, header.dx);
    extent.lastRow = extentFromSpan(header.minY, header.maxY, header.dy);

    // Rest of record A: up to its 1024th character or a line break (with the
    // character after it, the LF of a CR LF).
    int last = input.lastRead();
    while (demCharCount() < kRecordALength && last > '\r') last = input.get();
    if (last <= '\r') input.get();

    numbers.integer();  // row number of the first profile
    numbers.integer();  // column number of the first profile
    const std::int32_t firstProfileCount = numbers.integer();
    extent.lastCol = std::max<long long>(extent.lastCol, header.nProfiles);
    extent.lastRow = std::max<long long>(extent.lastRow, firstProfileCount);
    const long long side = extent.side();
    if (side > ElevationGrid::kMaxCells / side)
        return refuse(ws, log,
                      format("The USGS DEM file %s can't be read: its header gives %lld rows and "
                             "%lld columns, more than the %lld grid points this program can hold.",
                             path.c_str(), extent.lastRow + 1, extent.lastCol + 1,
                             static_cast<long long>(ElevationGrid::kMaxCells)));

    ElevationGrid& g = ws.grid;
    ShowLabel(ws, Label::DemName, name);
    g.LastCol = static_cast<std::int32_t>(extent.lastCol);
    g.LastRow = static_cast<std::int32_t>(extent.lastRow);
    g.ElevationRange =
        clampToInt(static_cast<long long>(header.maxElevation) - header.minElevation);
    ShowLabel(ws, Label::Rows, format("%d", g.LastRow + 1));
    ShowLabel(ws, Label::Columns, format("%d", g.LastCol + 1));
    ShowLabel(ws, Label::ElevationRange, format("%d", g.ElevationRange));
    ws.settings.ToEast = format("%d", g.LastCol);
    SnapEastWest(ws);
    ws.settings.ToNorth = format("%d", g.LastRow);
    SnapNorthSouth(ws);

    log.write(format("maxW_Es=%4d   MaxColumns=%4d\n", g.LastCol, g.LastRow));
    log.write("Reading rows and columns");
    g.ColLimit = g.LastCol;
    g.RowLimit = g.LastRow;
    log.write(format(" to produce a %d x %d ElevationGrid\n", g.LastCol, g.LastRow));
    log.write(format("Allocating memory to store %d DEM data points...", g.LastCol * g.LastRow));
    log.flush();

    if (!g.allocate(side, side)) {
        forgetGrid(ws);
        ws.ui->message(kAllocationFailed, "Error", MessageKind::Error, Buttons::Ok);
        log.write("failed\n");
        return -1;
    }
    log.write("OK\n");
    log.write(format("Reading in DEM data From %s...\n", path.c_str()));
    log.flush();

    readProfiles(numbers, input, g, ProfilePlacement{header.minY, header.dy, step},
                 header.nProfiles, firstProfileCount, *ws.ui);
    if (input.failed()) ws.ui->fileError(path);

    FinishGridLoadLastStep(ws);
    return 0;
}

}  // namespace gorvale
