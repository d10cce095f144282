#pragma once
// Which reader takes an elevation file, decided from the file name's
// extension, the file type chosen in the open dialog, the first line and the
// first bytes. A pure function, so the rules can be checked without files.

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace gorvale {

enum class ReaderKind {
    Bitmap,
    Elevdump,
    PropdumpReadBack,
    Sdts,
    Etopo5,
    Dted,
    VistaPro,
    BinaryTerrain,
    Oct,
    Terragen,
    Leveller,
    AsciiGrid,
    UsgsDem,
    GdalRaster,
};

// How the file reaches the reader.
enum class Handover {
    ByName,          // the probe stream is closed; the reader opens the file by name
    OpenTextStream,  // the probe stream itself, rewound to its start
    ReopenText,      // the file reopened in text mode, at its start
    ReopenBinary,    // the file reopened in binary mode, at startOffset
};

struct DispatchDecision {
    ReaderKind kind = ReaderKind::UsgsDem;
    int rule = 16;                 // which of the ordered rules matched, 1 to 16 (the USGS DEM fallback)
    Handover handover = Handover::OpenTextStream;
    long startOffset = 0;          // stream position handed over (after the Terragen signature: 8)
    int postsPerProfile = 0;       // DTED only: 121 for level-0 cells, 120 for merged tiles

    bool takesName() const { return handover == Handover::ByName; }
    bool binary() const { return handover == Handover::ReopenBinary; }
};

// The probe reads at most this much of the first line and this many bytes.
inline constexpr int kFirstLineMax = 1023;
inline constexpr int kFirstBytesLength = 8;

// Open-dialog file types (FileType is the 1-based position in this list).
inline constexpr int kFileTypeUsgsDem = 1;
inline constexpr int kFileTypeEtopo5 = 2;
inline constexpr int kFileTypeOct = 3;
inline constexpr int kFileTypeTerragenLeveller = 4;
inline constexpr int kFileTypeVistaPro = 5;
inline constexpr int kFileTypeBinaryTerrain = 6;
inline constexpr int kFileTypeAsciiGrid = 7;
inline constexpr int kFileTypeBitmap = 8;
inline constexpr int kFileTypePropdump = 9;
inline constexpr int kFileTypeDted = 10;
inline constexpr int kFileTypeElevdump = 11;
inline constexpr int kFileTypeAllFiles = 12;
inline constexpr int kFileTypeGdalRaster = 13;  // forces the GDAL raster reader for any file

struct OpenDialogFileType {
    const char* name;     // shown in the dialog's file-type list
    const char* pattern;  // file-name patterns separated by ';'
};
extern const std::array<OpenDialogFileType, 13> kOpenDialogFileTypes;

// The entry of a 1-based FileType, or nullptr when out of range.
const OpenDialogFileType* openDialogFileType(int fileType);
// The single patterns of a file type's filter ("*.dem", "*.cdo", ...); empty when out of range.
std::vector<std::string> openDialogPatterns(int fileType);

// The extension of the file name part of path, from its last dot, with the
// three characters after the dot upper-cased (".dt0" -> ".DT0"); empty when
// the name has no dot.
std::string dispatchExtension(const std::string& path);

// The ordered rules. The GDAL raster rule (15: ".TIF", so also ".TIFF",
// ".HGT", ".VRT", ".IMG") comes just before the USGS DEM fallback (16); the
// file type kFileTypeGdalRaster sends any file to it ahead of every other
// rule and reports rule 15 too. firstLineLowered is the first line (at most 1023
// characters) in lower case; firstBytes the first bytes of the file (up to 8;
// fewer when the file is shorter).
DispatchDecision chooseReader(const std::string& path, int fileType, std::string_view firstLineLowered,
                              std::string_view firstBytes);

// A short human name of the format a reader handles ("USGS DEM", "DTED", ...).
const char* readerKindName(ReaderKind kind);

}  // namespace gorvale
