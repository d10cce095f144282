#include "import/sdts_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <vector>

#include "import/grid_operations.h"
#include "base/c_file.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

// Module files, in the order of their slots. Only the first four are read.
constexpr std::array<const char*, 7> kModuleNames = {"CATS", "DDOM", "LDEF", "CEL0",
                                                     "XREF", "IDEN", "IREF"};
enum ModuleSlot { kCats = 0, kDdom = 1, kLdef = 2, kCel0 = 3 };

// Catalog: unit 10 holds the format controls of the catalog records.
constexpr int kCatalogFormatUnit = 10;
constexpr const char* kCatalogEntryMarker = "CATD";

// Unit positions inside the module files of a USGS DEM transfer.
constexpr int kCatsNameUnit = 17;
constexpr int kDdomVoidUnit = 21;  // read, not used
constexpr int kDdomFillUnit = 33;  // read, not used
constexpr int kDdomMinimumUnit = 45;
constexpr int kDdomMaximumUnit = 57;
constexpr int kLdefRowsUnit = 18;
constexpr int kLdefColumnsUnit = 19;
constexpr int kCellFormatUnit = 13;

// CEL0: a leader starting like this marks records with a shared leader, whose
// rows are preceded by 3 units instead of 6 and have no closing unit.
constexpr std::string_view kShortRecordLeader = "001882L";
constexpr int kShortRecordSkip = 3;
constexpr int kLongRecordSkip = 6;
constexpr std::string_view kRealCellFormat = "(B(32))";
constexpr int kRealCellBytes = 4;
constexpr int kIntegerCellBytes = 2;

constexpr const char* kMemoryMessage = "SDTS read failed in memory creation!";

struct ModuleSlots {
    std::array<std::string, kModuleNames.size()> path;
    std::array<std::string, kModuleNames.size()> lowerCasePath;  // the file name in lower case
    std::array<bool, kModuleNames.size()> listed{};  // named by the catalog
};

struct ElevationDomain {
    int minimum = 0;
    int maximum = 0;
};

struct RasterSize {
    int rows = 0;
    int columns = 0;
};

int moduleSlot(const std::string& name) {
    for (std::size_t i = 0; i < kModuleNames.size(); ++i)
        if (name == kModuleNames[i]) return static_cast<int>(i);
    return -1;
}

std::int32_t clampToInt32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// Reads one catalog entry and records its module's file in the slots.
// Returns true when a module of the table was found.
bool readCatalogEntry(SdtsUnitReader& units, int searchLength, const std::string& directory,
                      ModuleSlots& slots) {
    for (int i = 0; i < searchLength && !units.atEnd(); ++i)
        if (units.next() == kCatalogEntryMarker) break;
    units.skip(1);
    const std::string name = units.next();
    units.skip(1);
    const std::string file = units.next();
    units.skip(3);
    const int slot = moduleSlot(name);
    if (slot < 0) return false;
    slots.path[static_cast<std::size_t>(slot)] = directory + file;
    slots.lowerCasePath[static_cast<std::size_t>(slot)] = directory + toLowerAscii(file);
    slots.listed[static_cast<std::size_t>(slot)] = true;
    return true;
}

bool readCatalog(GridContext& ws, const std::string& catalogPath, ModuleSlots& slots) {
    const std::string directory = catalogDirectory(catalogPath);
    slots.path.fill(directory);
    FilePtr catalog = openFile(catalogPath, "rb");
    if (!catalog) {
        ws.ui->fileError(catalogPath);
        return false;
    }
    SdtsUnitReader units(catalog.get());
    const int searchLength = unitsPerCatalogEntry(units.unit(kCatalogFormatUnit)) - 1;
    std::size_t found = 0;
    while (!units.atEnd() && found < kModuleNames.size())
        if (readCatalogEntry(units, searchLength, directory, slots)) ++found;
    return true;
}

// Opens the module file of a slot, or names what is missing in the "Error"
// dialog. A slot the catalog did not fill holds only the folder, which must
// not be read as a file. The catalog names files in upper case; transfers
// unpacked on case-sensitive file systems often have them in lower case.
FilePtr openModule(GridContext& ws, const std::string& catalogPath, const ModuleSlots& slots,
                   ModuleSlot slot) {
    const std::size_t i = static_cast<std::size_t>(slot);
    if (!slots.listed[i]) {
        ws.ui->fileError(format("%s (the catalog names no %s module)", catalogPath.c_str(),
                                kModuleNames[i]));
        return nullptr;
    }
    for (const std::string& path : {slots.path[i], slots.lowerCasePath[i]}) {
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec)) continue;
        if (FilePtr f = openFile(path, "rb")) return f;
    }
    ws.ui->fileError(slots.path[i]);
    return nullptr;
}

void readTransferName(GridContext& ws, std::FILE* cats) {
    SdtsUnitReader units(cats);
    ShowLabel(ws, Label::DemName, units.unit(kCatsNameUnit));
}

std::int64_t domainRange(const ElevationDomain& d) {
    return std::int64_t{d.maximum} - d.minimum;
}

ElevationDomain readDomain(GridContext& ws, std::FILE* ddom) {
    SdtsUnitReader units(ddom);
    ElevationDomain d;
    int unused = 0;
    scanInt(units.unit(kDdomVoidUnit), unused);
    scanInt(units.unit(kDdomFillUnit), unused);
    scanInt(units.unit(kDdomMinimumUnit), d.minimum);
    scanInt(units.unit(kDdomMaximumUnit), d.maximum);
    ShowLabel(ws, Label::ElevationRange, format("%d", clampToInt32(domainRange(d))));
    return d;
}

RasterSize readLayerDefinition(std::FILE* ldef) {
    SdtsUnitReader units(ldef);
    RasterSize size;
    scanInt(units.unit(kLdefRowsUnit), size.rows);
    scanInt(units.unit(kLdefColumnsUnit), size.columns);
    return size;
}

// The grid holds one more row and column than the raster; both must be
// positive and within the cell limit before the old grid is given up.
bool allocateGrid(GridContext& ws, const RasterSize& size) {
    const std::int64_t rows = std::int64_t{size.rows} + 1;
    const std::int64_t cols = std::int64_t{size.columns} + 1;
    const bool fits = rows > 0 && cols > 0 && rows <= ElevationGrid::kMaxCells / cols;
    if (!fits || !ws.grid.allocate(rows, cols)) {
        ws.ui->message(kMemoryMessage, "Error", MessageKind::Error, Buttons::Ok);
        return false;
    }
    ws.grid.LastRow = size.rows;
    ws.grid.LastCol = size.columns;
    return true;
}

// A 2-byte cell: voids (negative) and values below the domain's minimum store 0.
std::int32_t storedInteger(std::int16_t h, int minimum) {
    const std::int64_t v = std::int64_t{std::max<std::int16_t>(h, 0)} - minimum;
    return clampToInt32(std::max<std::int64_t>(v, 0));
}

// A 4-byte real cell: truncated toward zero; negative values store 0, others
// are made relative to the minimum (and may then be negative). A value that
// is not a number stores 0 like a void; huge values are held at the limit.
std::int32_t storedReal(float x, int minimum) {
    if (std::isnan(x)) return 0;
    const double t = std::trunc(static_cast<double>(x));
    if (t < 0) return 0;
    const double limit = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    const std::int64_t whole = static_cast<std::int64_t>(std::min(t, limit));
    return clampToInt32(whole - minimum);
}

std::int32_t decodeCell(const unsigned char* bytes, int width, int minimum) {
    if (width == kRealCellBytes) {
        const std::uint32_t bits = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                                   (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
        float x;
        std::memcpy(&x, &bits, sizeof x);
        return storedReal(x, minimum);
    }
    const auto h = static_cast<std::int16_t>((bytes[0] << 8) | bytes[1]);
    return storedInteger(h, minimum);
}

constexpr int kChunkValues = 4096;

// Reads one file row of big-endian values into grid row `row`, west to east
// into columns columns-1 down to 0, through `chunk` (kChunkValues values).
// Returns false at the end of the file.
bool readCellRow(std::FILE* in, int width, int columns, int minimum, std::vector<unsigned char>& chunk,
                 std::int32_t* row) {
    for (int b = 0; b < columns;) {
        const int want = std::min(kChunkValues, columns - b);
        const std::size_t got =
            std::fread(chunk.data(), static_cast<std::size_t>(width), static_cast<std::size_t>(want), in);
        for (std::size_t k = 0; k < got; ++k, ++b)
            row[columns - 1 - b] = decodeCell(chunk.data() + k * width, width, minimum);
        if (got < static_cast<std::size_t>(want)) return false;
    }
    return true;
}

// Walks CEL0: the leader (unit 1) and the cell format (unit 13), then per row
// its record units followed by the values. The end of the file ends the read;
// the rows not reached stay 0. Window events are handled once per row.
void readCells(std::FILE* cel0, const RasterSize& size, int minimum, ElevationGrid& grid, UserInterface& ui) {
    SdtsUnitReader units(cel0);
    const std::string& leader = units.next();
    const bool shortRecords = leader.compare(0, kShortRecordLeader.size(), kShortRecordLeader) == 0;
    const int skipCount = shortRecords ? kShortRecordSkip : kLongRecordSkip;
    const int width = units.unit(kCellFormatUnit) == kRealCellFormat ? kRealCellBytes : kIntegerCellBytes;
    std::vector<unsigned char> chunk(static_cast<std::size_t>(kChunkValues) * width);
    for (int v = 0; v < size.rows; ++v) {
        ui.processEvents();
        units.skip(skipCount);
        if (!readCellRow(cel0, width, size.columns, minimum, chunk, grid.row(size.rows - 1 - v))) return;
        if (!shortRecords) units.skip(1);
    }
}

}  // namespace

const std::string& SdtsUnitReader::next() {
    unit_.clear();
    ++position_;
    for (;;) {
        const int c = std::fgetc(in_);
        if (c == EOF) {
            atEnd_ = true;
            break;
        }
        if (c < 32) break;
        if (unit_.size() < kMaxUnitLength) unit_.push_back(static_cast<char>(c));
    }
    return unit_;
}

void SdtsUnitReader::skip(int count) {
    for (int i = 0; i < count; ++i) next();
}

const std::string& SdtsUnitReader::unit(int number) {
    skip(number - position_ - 1);
    return next();
}

int unitsPerCatalogEntry(std::string_view formatControls) {
    int count = 0;
    for (std::size_t i = 1; i < formatControls.size() && formatControls[i] != ')'; ++i) {
        const char c = formatControls[i];
        if (c == ',') continue;
        if (c >= '0' && c <= '9') {
            count += c - '0';
            ++i;  // the repeated item
        } else {
            ++count;
        }
    }
    return count;
}

std::string catalogDirectory(const std::string& catalogPath) {
    const std::size_t slash = catalogPath.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : catalogPath.substr(0, slash + 1);
}

int ReadSdts(GridContext& ws, const std::string& catalogPath) {
    BusyCursor busy(*ws.ui);
    ModuleSlots slots;
    if (!readCatalog(ws, catalogPath, slots)) return -1;

    FilePtr cats = openModule(ws, catalogPath, slots, kCats);
    if (!cats) return -1;
    readTransferName(ws, cats.get());
    cats.reset();

    FilePtr ddom = openModule(ws, catalogPath, slots, kDdom);
    if (!ddom) return -1;
    const ElevationDomain domain = readDomain(ws, ddom.get());
    ddom.reset();

    FilePtr ldef = openModule(ws, catalogPath, slots, kLdef);
    if (!ldef) return -1;
    const RasterSize size = readLayerDefinition(ldef.get());
    ldef.reset();

    // The cell file is opened before the old grid is given up, so a missing
    // one leaves the grid as it was.
    FilePtr cel0 = openModule(ws, catalogPath, slots, kCel0);
    if (!cel0) return -1;
    if (!allocateGrid(ws, size)) return -1;
    readCells(cel0.get(), size, domain.minimum, ws.grid, *ws.ui);
    cel0.reset();

    // The tail needs only the difference; taking it from 0 keeps a hostile
    // domain from overflowing it.
    FinishGridLoad(ws, 0, clampToInt32(domainRange(domain)));
    return 0;
}

}  // namespace gorvale
