#pragma once
// The open command: opens DEMFile, lets the dispatch rules pick a reader and
// hands the file over the way that reader takes it.
//
// Readers are entered through a table of entry points. A reader that takes a
// stream gets it positioned as its rule says; the dispatch owns the stream
// and closes it after the reader returns (the reader must not close it). A
// reader that opens the file itself gets the path. Every entry returns 0 when
// the grid was read, non-zero when it gave up (having shown its own message).
// A kind whose entry is still empty is refused with a message and the grid
// is left as it was.

#include <cstdio>
#include <string>

#include "import/format_dispatch.h"
#include "base/grid_context.h"

namespace gorvale {

using StreamReader = int (*)(GridContext& ws, std::FILE* in);
using NamedReader = int (*)(GridContext& ws, const std::string& path);
using DtedReader = int (*)(GridContext& ws, std::FILE* in, int postsPerProfile);

struct ReaderTable {
    NamedReader bitmap = nullptr;            // ReadBitmap (name)
    StreamReader elevdump = nullptr;         // ReadElevdump (text stream at its start)
    NamedReader propdumpReadBack = nullptr;  // ReadPropdumpBack (name)
    NamedReader sdts = nullptr;              // ReadSdts (catalog name)
    StreamReader etopo5 = nullptr;           // ReadEtopo5 (binary stream)
    DtedReader dted = nullptr;               // ReadDted (binary stream, posts per profile)
    StreamReader vistaPro = nullptr;         // ReadVistaAscii (text stream at its start)
    StreamReader binaryTerrain = nullptr;    // ReadBinaryTerrain (binary stream)
    StreamReader oct = nullptr;              // ReadOct (text stream at its start)
    StreamReader terragen = nullptr;         // ReadTerragen (binary stream after "TERRAGEN")
    StreamReader leveller = nullptr;         // ReadLeveller (binary stream)
    StreamReader asciiGrid = nullptr;        // ReadAsciiGrid (text stream at its start)
    StreamReader usgsDem = nullptr;          // ReadUsgsDem (text stream at its start)
    NamedReader gdalRaster = nullptr;        // ReadGdalRaster (name)

    bool has(ReaderKind kind) const;
};

// The readers built into the program.
const ReaderTable& installedReaders();

// Result codes of OpenElevationFile.
inline constexpr int kOpenElevationRead = 0;          // a reader filled the grid
inline constexpr int kOpenElevationCannotOpen = 1;    // DEMFile could not be opened; "Generate" disabled
inline constexpr int kOpenElevationUnsupported = 2;   // the chosen reader is not available; grid unchanged
inline constexpr int kOpenElevationReaderFailed = 3;  // the reader gave up (non-zero code or no grid)

// What happened, for callers that report more than the result code.
struct OpenElevationOutcome {
    int result = kOpenElevationCannotOpen;
    bool decided = false;        // the file was opened and the rules ran
    DispatchDecision decision;   // valid when decided
    int readerCode = 0;          // the reader's own return code when it ran
};

// Opens ws.settings.DEMFile with ws.settings.FileType through the installed
// readers. Returns one of the kOpenElevation* codes. Exceptions raised by a
// reader pass through (the cursor is restored first).
int OpenElevationFile(GridContext& ws);
int OpenElevationFile(GridContext& ws, const ReaderTable& readers, OpenElevationOutcome* outcome = nullptr);

// The message shown for a file routed to a reader that is not available.
std::string unsupportedFormatMessage(ReaderKind kind, const std::string& path);

}  // namespace gorvale
