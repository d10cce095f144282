#include "import/open_elevation_file.h"

#include "import/ascii_grid_reader.h"
#include "import/binary_terrain_reader.h"
#include "import/bitmap_reader.h"
#include "import/elevdump_reader.h"
#include "import/dted_reader.h"
#include "import/etopo5_reader.h"
#include "import/gdal_raster_reader.h"
#include "import/leveller_reader.h"
#include "import/sdts_reader.h"
#include "import/terragen_reader.h"
#include "import/usgs_dem_reader.h"
#include "import/oct_reader.h"
#include "import/vistapro_reader.h"
#include "import/propdump_reader.h"

#include <filesystem>
#include <string_view>

#include "base/c_file.h"
#include "base/text_convert.h"

namespace gorvale {

const ReaderTable& installedReaders() {
    // Entry points are added here as the readers become part of the program.
    static const ReaderTable table = [] {
        ReaderTable t;
        t.bitmap = &ReadBitmap;
        t.sdts = &ReadSdts;
        t.binaryTerrain = &ReadBinaryTerrain;
        t.leveller = &ReadLeveller;
        t.terragen = &ReadTerragen;
        // DTED tiles to merge lie beside the opened file.
        t.dted = [](GridContext& ws, std::FILE* in, int postsPerProfile) {
            return ReadDted(ws, in, postsPerProfile, std::filesystem::path(ws.settings.DEMFile).parent_path());
        };
        t.etopo5 = &ReadEtopo5;
        t.asciiGrid = &ReadAsciiGrid;
        t.oct = &ReadOct;
        t.vistaPro = &ReadVistaAscii;
        t.elevdump = &ReadElevdump;
        t.usgsDem = &ReadUsgsDem;
        t.propdumpReadBack = &ReadPropdumpBack;
        t.gdalRaster = &ReadGdalRaster;
        return t;
    }();
    return table;
}

bool ReaderTable::has(ReaderKind kind) const {
    switch (kind) {
        case ReaderKind::Bitmap: return bitmap != nullptr;
        case ReaderKind::Elevdump: return elevdump != nullptr;
        case ReaderKind::PropdumpReadBack: return propdumpReadBack != nullptr;
        case ReaderKind::Sdts: return sdts != nullptr;
        case ReaderKind::Etopo5: return etopo5 != nullptr;
        case ReaderKind::Dted: return dted != nullptr;
        case ReaderKind::VistaPro: return vistaPro != nullptr;
        case ReaderKind::BinaryTerrain: return binaryTerrain != nullptr;
        case ReaderKind::Oct: return oct != nullptr;
        case ReaderKind::Terragen: return terragen != nullptr;
        case ReaderKind::Leveller: return leveller != nullptr;
        case ReaderKind::AsciiGrid: return asciiGrid != nullptr;
        case ReaderKind::UsgsDem: return usgsDem != nullptr;
        case ReaderKind::GdalRaster: return gdalRaster != nullptr;
    }
    return false;
}

std::string unsupportedFormatMessage(ReaderKind kind, const std::string& path) {
    return std::string(readerKindName(kind)) + " files are not supported yet: " + path;
}

namespace {

constexpr const char* kErrorCaption = "Error";

struct Probe {
    std::string firstLineLowered;
    std::string firstBytes;
};

// Reads the first line (at most kFirstLineMax characters), rewinds, then the
// first bytes; false on a read error (a folder, an unreadable device).
bool probe(std::FILE* in, Probe& out) {
    char line[kFirstLineMax + 1];
    if (std::fgets(line, sizeof line, in)) out.firstLineLowered = toLowerAscii(line);
    if (std::ferror(in)) return false;
    std::rewind(in);
    char bytes[kFirstBytesLength];
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, in);
    if (std::ferror(in)) return false;
    out.firstBytes.assign(bytes, got);
    std::rewind(in);
    return true;
}

void refuseOpen(GridContext& ws, const std::string& path) {
    ws.ui->message(format("Can't open %s\n", path.c_str()), kErrorCaption, MessageKind::Error,
                   Buttons::Ok);
    ws.ui->setCommandEnabled(Command::Generate, false);
}

bool isFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

int callStreamReader(const ReaderTable& readers, const DispatchDecision& d, GridContext& ws,
                     std::FILE* in) {
    switch (d.kind) {
        case ReaderKind::Elevdump: return readers.elevdump(ws, in);
        case ReaderKind::Etopo5: return readers.etopo5(ws, in);
        case ReaderKind::Dted: return readers.dted(ws, in, d.postsPerProfile);
        case ReaderKind::VistaPro: return readers.vistaPro(ws, in);
        case ReaderKind::BinaryTerrain: return readers.binaryTerrain(ws, in);
        case ReaderKind::Oct: return readers.oct(ws, in);
        case ReaderKind::Terragen: return readers.terragen(ws, in);
        case ReaderKind::Leveller: return readers.leveller(ws, in);
        case ReaderKind::AsciiGrid: return readers.asciiGrid(ws, in);
        case ReaderKind::UsgsDem: return readers.usgsDem(ws, in);
        default: return -1;  // name readers never get here
    }
}

int callNamedReader(const ReaderTable& readers, const DispatchDecision& d, GridContext& ws,
                    const std::string& path) {
    switch (d.kind) {
        case ReaderKind::Bitmap: return readers.bitmap(ws, path);
        case ReaderKind::PropdumpReadBack: return readers.propdumpReadBack(ws, path);
        case ReaderKind::Sdts: return readers.sdts(ws, path);
        case ReaderKind::GdalRaster: return readers.gdalRaster(ws, path);
        default: return -1;  // stream readers never get here
    }
}

struct HandOverResult {
    bool reached = true;  // false: the file could not be reopened
    int code = 0;         // the reader's return code
};

// Runs the reader the decision names; the probe stream is closed or handed
// over as the rule says.
HandOverResult handOver(const ReaderTable& readers, const DispatchDecision& d, GridContext& ws,
                        const std::string& path, FilePtr probeStream) {
    HandOverResult r;
    switch (d.handover) {
        case Handover::ByName:
            probeStream.reset();
            r.code = callNamedReader(readers, d, ws, path);
            return r;
        case Handover::OpenTextStream:
            std::rewind(probeStream.get());
            r.code = callStreamReader(readers, d, ws, probeStream.get());
            return r;
        case Handover::ReopenText:
        case Handover::ReopenBinary: {
            probeStream.reset();
            FilePtr in = openFile(path, d.handover == Handover::ReopenBinary ? "rb" : "r");
            if (!in || std::fseek(in.get(), d.startOffset, SEEK_SET) != 0) {
                r.reached = false;
                return r;
            }
            r.code = callStreamReader(readers, d, ws, in.get());
            return r;
        }
    }
    r.reached = false;
    return r;
}

}  // namespace

int OpenElevationFile(GridContext& ws) { return OpenElevationFile(ws, installedReaders()); }

int OpenElevationFile(GridContext& ws, const ReaderTable& readers, OpenElevationOutcome* outcome) {
    OpenElevationOutcome local;
    OpenElevationOutcome& out = outcome ? *outcome : local;
    out = OpenElevationOutcome{};
    const std::string path = ws.settings.DEMFile;

    ws.ui->setCommandEnabled(Command::PresetTerrain, false);

    FilePtr in = isFolder(path) ? FilePtr() : openFile(path, "r");
    Probe first;
    if (!in || !probe(in.get(), first)) {
        refuseOpen(ws, path);
        out.result = kOpenElevationCannotOpen;
        return out.result;
    }

    BusyCursor busy(*ws.ui);
    ws.ui->setCommandEnabled(Command::Generate, true);

    out.decision = chooseReader(path, ws.settings.FileType, first.firstLineLowered, first.firstBytes);
    out.decided = true;

    if (!readers.has(out.decision.kind)) {
        in.reset();
        ws.ui->message(unsupportedFormatMessage(out.decision.kind, path), kErrorCaption,
                       MessageKind::Error, Buttons::Ok);
        out.result = kOpenElevationUnsupported;
    } else {
        const HandOverResult handed = handOver(readers, out.decision, ws, path, std::move(in));
        out.readerCode = handed.code;
        if (!handed.reached) {
            refuseOpen(ws, path);
            out.result = kOpenElevationCannotOpen;
            return out.result;
        }
        out.result = out.readerCode == 0 && ws.grid.hasStorage() ? kOpenElevationRead
                                                                  : kOpenElevationReaderFailed;
        // The raster facts describe a grid read through GDAL, and no other.
        if (out.result == kOpenElevationRead && out.decision.kind != ReaderKind::GdalRaster)
            ws.rasterSource = RasterSource{};
    }
    // Generate was offered as soon as the file opened; never leave it on
    // without a grid to convert.
    if (!ws.grid.hasStorage()) ws.ui->setCommandEnabled(Command::Generate, false);
    return out.result;
}

}  // namespace gorvale
