#pragma once
// Reader of SDTS raster elevation transfers (USGS DEMs delivered as a set of
// ISO 8211 ".DDF" module files beside a catalog file).
//
// The reader does not parse ISO 8211 records. It walks each module file as a
// plain sequence of units and takes values from fixed unit positions, which
// is what the USGS DEM transfers need: the transfer name (CATS), the
// elevation domain (DDOM), the raster size (LDEF) and the cells (CEL0).

#include <cstdio>
#include <string>
#include <string_view>

#include "base/grid_context.h"

namespace gorvale {

// Walks a file as units: the bytes up to the next byte whose code is below 32.
// The terminating byte is consumed and is not part of the unit; the field
// and unit terminators (30, 31) and any other control byte all end a unit.
// At the end of the file a unit ends (possibly empty).
class SdtsUnitReader {
public:
    // Longest unit kept; the rest of a longer unit is skipped, so one unit of
    // the file always counts as one unit.
    static constexpr std::size_t kMaxUnitLength = 4095;

    // Does not own the stream.
    explicit SdtsUnitReader(std::FILE* in) : in_(in) {}

    // Reads the next unit; the returned text is valid until the next call.
    const std::string& next();
    // Reads and drops count units (none when count <= 0).
    void skip(int count);
    // Reads up to and including unit `number` (1 = first unit of the file)
    // and returns it. A number at or before the current position returns the
    // next unit.
    const std::string& unit(int number);

    // Units read so far.
    int position() const { return position_; }
    // True once a read has met the end of the file (or a read error).
    bool atEnd() const { return atEnd_; }

private:
    std::FILE* in_;
    std::string unit_;
    int position_ = 0;
    bool atEnd_ = false;
};

// Units per catalog entry from the catalog's format-controls text such as
// "(A,I,5A)": from the second character up to ")" or the end, "," is
// skipped, a digit d adds d and skips the character after it, anything else
// adds 1.
int unitsPerCatalogEntry(std::string_view formatControls);

// The folder part of a catalog path: everything up to and including its last
// "\" (or "/"); empty when there is none.
std::string catalogDirectory(const std::string& catalogPath);

// Reads the transfer whose catalog file is catalogPath into ws.grid and runs
// the reader tail. Stored elevations are relative to the domain's minimum
// (the lowest valid cell is 0; void cells store 0). Returns 0 when read, -1
// when a module file is missing or cannot be opened (the "Error" dialog
// names it) or the grid cannot be allocated ("SDTS read failed in memory
// creation!"). A refused transfer leaves the grid as it was.
int ReadSdts(GridContext& ws, const std::string& catalogPath);

}  // namespace gorvale
