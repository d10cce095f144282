#include "import/format_dispatch.h"

#include "base/text_convert.h"

namespace gorvale {

// The DTED filter once read "*.max,*.min", which no file matches; the
// patterns are separated by ';' throughout.
const std::array<OpenDialogFileType, 13> kOpenDialogFileTypes = {{
    {"USGS DEM/CDO/SDTS Files (*.dem;*.cdo;*catd.ddf)", "*.dem;*.cdo;*catd.ddf"},
    {"ETOPO5 (*.bin)", "*.bin"},
    {"hf-lab import (*.oct)", "*.oct"},
    {"Terragen, Leveller (*.ter)", "*.ter"},
    {"VistaPro (raw) ASCII (*.txt)", "*.txt"},
    {"Binary Terrain (*.bt)", "*.bt"},
    {"ARC/INFO (DDM) (*.asc)", "*.asc"},
    {"Windows Bitmap (*.bmp)", "*.bmp"},
    {"AW Propdump (*.txt)", "*.txt"},
    {"DTED Level 0 (*.dt0, *.max, *.min,*.avg))", "*.dt0;*.max;*.min;*.avg"},
    {"AW Elevation Dump (*.txt)", "*.txt"},
    {"All Files (*.*)", "*.*"},
    {"GeoTIFF, SRTM and other GDAL rasters (*.tif;*.tiff;*.hgt;*.vrt;*.img)", "*.tif;*.tiff;*.hgt;*.vrt;*.img"},
}};

const OpenDialogFileType* openDialogFileType(int fileType) {
    if (fileType < 1 || fileType > static_cast<int>(kOpenDialogFileTypes.size())) return nullptr;
    return &kOpenDialogFileTypes[static_cast<std::size_t>(fileType - 1)];
}

std::vector<std::string> openDialogPatterns(int fileType) {
    std::vector<std::string> patterns;
    const OpenDialogFileType* entry = openDialogFileType(fileType);
    if (!entry) return patterns;
    std::string_view rest = entry->pattern;
    while (!rest.empty()) {
        const std::size_t cut = rest.find(';');
        patterns.emplace_back(rest.substr(0, cut));
        if (cut == std::string_view::npos) break;
        rest.remove_prefix(cut + 1);
    }
    return patterns;
}

namespace {

constexpr std::string_view kElevdumpVersion1 = "elevdump version 1";
constexpr std::string_view kPropdumpSignature = "propdump";  // any case
constexpr std::string_view kTerragenSignature = "TERRAGEN";  // exact
constexpr std::string_view kLevellerSignature = "trrn";      // exact
constexpr std::string_view kAsciiGridSignature = "ncol";     // any case
constexpr long kTerragenBodyOffset = 8;
constexpr int kGdalRasterRule = 15;
constexpr int kUsgsDemRule = 16;
constexpr int kDtedLevel0Posts = 121;
constexpr int kDtedMergedPosts = 120;
// Any FileType from "Binary Terrain" on sends a ".txt" file to the propdump reader.
constexpr int kFirstPropdumpTxtFileType = kFileTypeBinaryTerrain;

// strncmp(ext, pattern, n) != 0 with n = 4, or 3 for ".BT": an extension
// shorter than the pattern never matches; longer ones match on their start.
bool extensionIs(const std::string& ext, std::string_view pattern) {
    const std::size_t n = pattern.size();
    return ext.size() >= n && std::string_view(ext).substr(0, n) == pattern;
}

bool startsWithExactly(std::string_view bytes, std::string_view signature) {
    return bytes.substr(0, signature.size()) == signature;
}

bool startsWithIgnoringCase(std::string_view bytes, std::string_view lowerSignature) {
    if (bytes.size() < lowerSignature.size()) return false;
    return toLowerAscii(bytes.substr(0, lowerSignature.size())) == lowerSignature;
}

DispatchDecision decide(int rule, ReaderKind kind, Handover handover, long offset = 0, int posts = 0) {
    DispatchDecision d;
    d.rule = rule;
    d.kind = kind;
    d.handover = handover;
    d.startOffset = offset;
    d.postsPerProfile = posts;
    return d;
}

}  // namespace

std::string dispatchExtension(const std::string& path) {
    // The file name starts after the last folder separator (either style,
    // since project files may carry Windows paths).
    const std::size_t nameStart = path.find_last_of("/\\");
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (nameStart != std::string::npos && dot < nameStart)) return {};
    std::string ext = path.substr(dot);
    for (std::size_t i = 1; i < ext.size() && i <= 3; ++i) {
        const char c = ext[i];
        if (c >= 'a' && c <= 'z') ext[i] = static_cast<char>(c - 'a' + 'A');
    }
    return ext;
}

DispatchDecision chooseReader(const std::string& path, int fileType, std::string_view firstLineLowered,
                              std::string_view firstBytes) {
    const std::string ext = dispatchExtension(path);
    if (firstBytes.size() > static_cast<std::size_t>(kFirstBytesLength))
        firstBytes = firstBytes.substr(0, kFirstBytesLength);

    if (fileType == kFileTypeGdalRaster) return decide(kGdalRasterRule, ReaderKind::GdalRaster, Handover::ByName);
    if (extensionIs(ext, ".BMP")) return decide(1, ReaderKind::Bitmap, Handover::ByName);
    if (fileType == kFileTypeElevdump) return decide(2, ReaderKind::Elevdump, Handover::OpenTextStream);
    if (firstLineLowered.find(kElevdumpVersion1) != std::string_view::npos)
        return decide(3, ReaderKind::Elevdump, Handover::OpenTextStream);
    const bool txt = extensionIs(ext, ".TXT");
    if (txt && fileType >= kFirstPropdumpTxtFileType)
        return decide(4, ReaderKind::PropdumpReadBack, Handover::ByName);
    if (extensionIs(ext, ".DDF")) return decide(5, ReaderKind::Sdts, Handover::ByName);
    if (extensionIs(ext, ".BIN")) return decide(6, ReaderKind::Etopo5, Handover::ReopenBinary);
    if (extensionIs(ext, ".DT0"))
        return decide(7, ReaderKind::Dted, Handover::ReopenBinary, 0, kDtedLevel0Posts);
    if (extensionIs(ext, ".MAX") || extensionIs(ext, ".MIN") || extensionIs(ext, ".AVG"))
        return decide(7, ReaderKind::Dted, Handover::ReopenBinary, 0, kDtedMergedPosts);
    if (txt && startsWithIgnoringCase(firstBytes, kPropdumpSignature))
        return decide(8, ReaderKind::PropdumpReadBack, Handover::ByName);
    if (txt) return decide(9, ReaderKind::VistaPro, Handover::OpenTextStream);
    if (extensionIs(ext, ".BT")) return decide(10, ReaderKind::BinaryTerrain, Handover::ReopenBinary);
    if (extensionIs(ext, ".OCT")) return decide(11, ReaderKind::Oct, Handover::OpenTextStream);
    if (startsWithExactly(firstBytes, kTerragenSignature))
        return decide(12, ReaderKind::Terragen, Handover::ReopenBinary, kTerragenBodyOffset);
    if (startsWithExactly(firstBytes, kLevellerSignature))
        return decide(13, ReaderKind::Leveller, Handover::ReopenBinary);
    if (startsWithIgnoringCase(firstBytes, kAsciiGridSignature) && extensionIs(ext, ".ASC"))
        return decide(14, ReaderKind::AsciiGrid, Handover::ReopenText);
    // ".TIF" compares 4 characters, so ".TIFF" matches as well.
    if (extensionIs(ext, ".TIF") || extensionIs(ext, ".HGT") || extensionIs(ext, ".VRT") || extensionIs(ext, ".IMG"))
        return decide(kGdalRasterRule, ReaderKind::GdalRaster, Handover::ByName);
    return decide(kUsgsDemRule, ReaderKind::UsgsDem, Handover::OpenTextStream);
}

const char* readerKindName(ReaderKind kind) {
    switch (kind) {
        case ReaderKind::Bitmap: return "Windows Bitmap";
        case ReaderKind::Elevdump: return "AW Elevation Dump";
        case ReaderKind::PropdumpReadBack: return "AW Propdump";
        case ReaderKind::Sdts: return "SDTS";
        case ReaderKind::Etopo5: return "ETOPO5";
        case ReaderKind::Dted: return "DTED";
        case ReaderKind::VistaPro: return "VistaPro ASCII";
        case ReaderKind::BinaryTerrain: return "Binary Terrain";
        case ReaderKind::Oct: return "hf-lab OCT";
        case ReaderKind::Terragen: return "Terragen";
        case ReaderKind::Leveller: return "Leveller";
        case ReaderKind::AsciiGrid: return "ARC/INFO ASCII grid";
        case ReaderKind::UsgsDem: return "USGS DEM";
        case ReaderKind::GdalRaster: return "GDAL raster";
    }
    return "Unknown";
}

}  // namespace gorvale
