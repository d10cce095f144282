#include "app/cli/file_types.h"

#include <cstdio>
#include <strings.h>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_options.h"
#include "app/cli/cli_session.h"
#include "import/format_dispatch.h"

namespace gorvale::cli {

const std::vector<FileTypeRow>& fileTypeRows() {
    static const std::vector<FileTypeRow> rows = {
        {kFileTypeUsgsDem, "usgs", "USGS DEM, CDO, SDTS catalog; any file no other rule takes"},
        {kFileTypeEtopo5, "etopo5", "ETOPO5"},
        {kFileTypeOct, "oct", "hf-lab OCT"},
        {kFileTypeTerragenLeveller, "terragen", "Terragen, Leveller"},
        {kFileTypeVistaPro, "vistapro", "VistaPro ASCII (a .txt file that is not a propdump)"},
        {kFileTypeBinaryTerrain, "bt", "Binary Terrain (and .txt files as propdumps)"},
        {kFileTypeAsciiGrid, "asc", "ARC/INFO ASCII grid (and .txt files as propdumps)"},
        {kFileTypeBitmap, "bmp", "Windows Bitmap (and .txt files as propdumps)"},
        {kFileTypePropdump, "propdump", "AW Propdump"},
        {kFileTypeDted, "dted", "DTED level 0 (and .txt files as propdumps)"},
        {kFileTypeElevdump, "elevdump", "AW Elevation Dump, whatever the extension"},
        {kFileTypeAllFiles, "all", "by extension and content (.txt files as propdumps)"},
        {kFileTypeGdalRaster, "gdal", "GeoTIFF, SRTM HGT, VRT and any other raster GDAL reads"},
    };
    return rows;
}

const FileTypeRow* findFileType(int number) {
    for (const FileTypeRow& r : fileTypeRows())
        if (r.number == number) return &r;
    return nullptr;
}

const FileTypeRow* findFileType(const std::string& name) {
    for (const FileTypeRow& r : fileTypeRows())
        if (strcasecmp(r.name, name.c_str()) == 0) return &r;
    return nullptr;
}

std::string fileTypeNames() {
    std::string names;
    for (const FileTypeRow& r : fileTypeRows()) names += (names.empty() ? "" : ", ") + std::string(r.name);
    return names;
}

int runFormats(int argc, char** argv, int first) {
    ParsedArgs args;
    std::string error;
    if (!parseArgs(argc, argv, first, kCommonValueOptions, kCommonFlagOptions, args, error)) return usageError(error);
    if (!args.positional.empty()) return usageError("formats takes no arguments");
    std::printf("%-3s %-9s %-24s %s\n", "#", "name", "extensions", "reader");
    for (const FileTypeRow& r : fileTypeRows()) {
        std::string extensions;
        for (const std::string& p : openDialogPatterns(r.number)) extensions += (extensions.empty() ? "" : " ") + p;
        std::printf("%-3d %-9s %-24s %s\n", r.number, r.name, extensions.c_str(), r.reader);
    }
    std::printf("\nThe extension decides first (.bmp, .ddf, .bin, .dt0/.max/.min/.avg, .bt, .oct, .txt);\n"
                "the type matters for .txt files and elevation dumps.\n");
    return kExitDone;
}

}  // namespace gorvale::cli
