#include "import/format_dispatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace gorvale {
namespace {

DispatchDecision choose(const std::string& path, int fileType = kFileTypeUsgsDem,
                        std::string_view lineLowered = "", std::string_view bytes = "") {
    return chooseReader(path, fileType, lineLowered, bytes);
}

TEST(FormatDispatchExtension, UpperCasesTheThreeCharactersAfterTheLastDotOfTheName) {
    EXPECT_EQ(dispatchExtension("/data/map.dem"), ".DEM");
    EXPECT_EQ(dispatchExtension("cell.Dt0"), ".DT0");
    EXPECT_EQ(dispatchExtension("a.b.txt"), ".TXT");
    EXPECT_EQ(dispatchExtension("name.abcdef"), ".ABCdef");  // only characters 2 to 4
    EXPECT_EQ(dispatchExtension(".bmp"), ".BMP");
    EXPECT_EQ(dispatchExtension("name."), ".");
    EXPECT_EQ(dispatchExtension("x.b-1"), ".B-1");
}

TEST(FormatDispatchExtension, IsEmptyWhenOnlyTheFolderHasDots) {
    EXPECT_EQ(dispatchExtension("terrain"), "");
    EXPECT_EQ(dispatchExtension("/data/v1.2.bmp/terrain"), "");
    EXPECT_EQ(dispatchExtension("C:\\maps.dt0\\terrain"), "");
    EXPECT_EQ(dispatchExtension("/data/maps.bmp/cell.dt0"), ".DT0");
    EXPECT_EQ(dispatchExtension(""), "");
}

TEST(FormatDispatchRules, EachRowOfTheTablePicksItsReaderAndHandOver) {
    struct Row {
        std::string path;
        int fileType;
        std::string line;
        std::string bytes;
        int rule;
        ReaderKind kind;
        Handover handover;
        long offset;
        int posts;
    };
    const std::vector<Row> rows = {
        {"m.bmp", 1, "", "BM", 1, ReaderKind::Bitmap, Handover::ByName, 0, 0},
        {"d.dem", 11, "", "", 2, ReaderKind::Elevdump, Handover::OpenTextStream, 0, 0},
        {"d.dem", 1, "elevdump version 1\n", "elevdump", 3, ReaderKind::Elevdump, Handover::OpenTextStream, 0, 0},
        {"p.txt", 9, "", "", 4, ReaderKind::PropdumpReadBack, Handover::ByName, 0, 0},
        {"c.ddf", 1, "", "", 5, ReaderKind::Sdts, Handover::ByName, 0, 0},
        {"e.bin", 1, "", "", 6, ReaderKind::Etopo5, Handover::ReopenBinary, 0, 0},
        {"c.dt0", 1, "", "", 7, ReaderKind::Dted, Handover::ReopenBinary, 0, 121},
        {"p.txt", 5, "", "propdump", 8, ReaderKind::PropdumpReadBack, Handover::ByName, 0, 0},
        {"v.txt", 5, "", "12 13 14", 9, ReaderKind::VistaPro, Handover::OpenTextStream, 0, 0},
        {"t.bt", 1, "", "binterr1", 10, ReaderKind::BinaryTerrain, Handover::ReopenBinary, 0, 0},
        {"h.oct", 1, "", "", 11, ReaderKind::Oct, Handover::OpenTextStream, 0, 0},
        {"t.ter", 4, "", "TERRAGEN", 12, ReaderKind::Terragen, Handover::ReopenBinary, 8, 0},
        {"l.ter", 4, "", "trrn\x06\x15", 13, ReaderKind::Leveller, Handover::ReopenBinary, 0, 0},
        {"g.asc", 7, "", "ncols   ", 14, ReaderKind::AsciiGrid, Handover::ReopenText, 0, 0},
        {"s.tif", 1, "", "II*", 15, ReaderKind::GdalRaster, Handover::ByName, 0, 0},
        {"u.dem", 1, "", "        ", 16, ReaderKind::UsgsDem, Handover::OpenTextStream, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path + " rule " + std::to_string(row.rule));
        const DispatchDecision d = choose(row.path, row.fileType, row.line, row.bytes);
        EXPECT_EQ(d.rule, row.rule);
        EXPECT_EQ(d.kind, row.kind);
        EXPECT_EQ(d.handover, row.handover);
        EXPECT_EQ(d.startOffset, row.offset);
        EXPECT_EQ(d.postsPerProfile, row.posts);
    }
}

TEST(FormatDispatchRules, BitmapExtensionWinsInAnyCaseWhateverTheContentOrFileType) {
    for (const std::string path : {"m.bmp", "M.BMP", "m.Bmp", "m.bMp", "dir/m.bmpx"}) {
        SCOPED_TRACE(path);
        const DispatchDecision d =
            choose(path, kFileTypeElevdump, "elevdump version 1", "TERRAGEN");
        EXPECT_EQ(d.kind, ReaderKind::Bitmap);
        EXPECT_TRUE(d.takesName());
    }
    // Shorter than ".BMP" never matches.
    EXPECT_EQ(choose("m.bm").kind, ReaderKind::UsgsDem);
}

TEST(FormatDispatchRules, DtedPostsDependOnTheExtensionInAnyCase) {
    EXPECT_EQ(choose("n43.Dt0").postsPerProfile, 121);
    EXPECT_EQ(choose("n43.dT0").postsPerProfile, 121);
    for (const std::string path : {"tile.max", "tile.MIN", "tile.Avg"}) {
        const DispatchDecision d = choose(path);
        EXPECT_EQ(d.kind, ReaderKind::Dted) << path;
        EXPECT_EQ(d.postsPerProfile, 120) << path;
        EXPECT_TRUE(d.binary()) << path;
    }
    // A letter O is not the digit zero; ".dt1" is not a level-0 cell.
    EXPECT_EQ(choose("n43.dto").kind, ReaderKind::UsgsDem);
    EXPECT_EQ(choose("w118n033.dt1").kind, ReaderKind::UsgsDem);
}

TEST(FormatDispatchRules, BinaryTerrainComparesOnlyThreeCharacters) {
    EXPECT_EQ(choose("a.bt").kind, ReaderKind::BinaryTerrain);
    EXPECT_EQ(choose("a.Bt").kind, ReaderKind::BinaryTerrain);
    EXPECT_EQ(choose("a.btz").kind, ReaderKind::BinaryTerrain);
    EXPECT_EQ(choose("a.b").kind, ReaderKind::UsgsDem);
}

TEST(FormatDispatchRules, TxtFilesFollowTheChosenFileType) {
    const std::string vista = "12 15 17";
    // Elevation dump chosen: elevdump even for propdump content.
    EXPECT_EQ(choose("x.txt", 11, "", "propdump").kind, ReaderKind::Elevdump);
    // "AW Propdump" and "All Files", and any type from 6 up: propdump even for VistaPro content.
    for (int type : {6, 7, 8, 9, 10, 12, 14}) {
        const DispatchDecision d = choose("x.txt", type, "", vista);
        EXPECT_EQ(d.kind, ReaderKind::PropdumpReadBack) << type;
        EXPECT_EQ(d.rule, 4) << type;
    }
    // Types below 6: VistaPro unless the file starts with "propdump" in any case.
    for (int type : {-3, 0, 1, 2, 3, 4, 5}) {
        EXPECT_EQ(choose("x.txt", type, "", vista).kind, ReaderKind::VistaPro) << type;
        EXPECT_EQ(choose("x.TXT", type, "", "PropDump").rule, 8) << type;
    }
    // "propdump" must be whole: a shorter file start is VistaPro.
    EXPECT_EQ(choose("x.txt", 5, "", "propdum").kind, ReaderKind::VistaPro);
}

TEST(FormatDispatchRules, ElevdumpVersion1IsFoundAnywhereInTheFirstLine) {
    for (const std::string path : {"d.dem", "d.txt", "d.ddf", "d.bin", "d.dt0", "d", "d.bt", "d.oct"}) {
        for (int type : {1, 5, 9, 12}) {
            SCOPED_TRACE(path + " type " + std::to_string(type));
            const DispatchDecision d = choose(path, type, "  header: elevdump version 1 extra\r\n", "  header");
            EXPECT_EQ(d.kind, ReaderKind::Elevdump);
            EXPECT_EQ(d.rule, 3);
        }
    }
}

TEST(FormatDispatchRules, ElevdumpVersion2NeedsTheElevationDumpFileType) {
    const std::string line = "elevdump version 2\n";
    EXPECT_EQ(choose("d.txt", 11, line, "elevdump").kind, ReaderKind::Elevdump);
    EXPECT_EQ(choose("d.txt", 5, line, "elevdump").kind, ReaderKind::VistaPro);
    EXPECT_EQ(choose("d.txt", 9, line, "elevdump").kind, ReaderKind::PropdumpReadBack);
    EXPECT_EQ(choose("d.dem", 1, line, "elevdump").kind, ReaderKind::UsgsDem);
}

TEST(FormatDispatchRules, SignaturesAreCheckedOnlyForUnclaimedExtensions) {
    EXPECT_EQ(choose("t", 1, "", "TERRAGENTERRAIN").kind, ReaderKind::Terragen);
    EXPECT_EQ(choose("t.dem", 1, "", "terragen").kind, ReaderKind::UsgsDem);  // exact case only
    EXPECT_EQ(choose("t.txt", 1, "", "TERRAGEN").kind, ReaderKind::VistaPro);
    EXPECT_EQ(choose("t.bin", 1, "", "TERRAGEN").kind, ReaderKind::Etopo5);
    EXPECT_EQ(choose("l.dat", 1, "", "trrn").kind, ReaderKind::Leveller);
    EXPECT_EQ(choose("l.dat", 1, "", "TRRN").kind, ReaderKind::UsgsDem);
    EXPECT_EQ(choose("l.oct", 1, "", "trrn").kind, ReaderKind::Oct);
}

TEST(FormatDispatchRules, AsciiGridNeedsBothNcolAndTheAscExtension) {
    EXPECT_EQ(choose("g.asc", 7, "", "NCOLS 4").kind, ReaderKind::AsciiGrid);
    EXPECT_EQ(choose("g.ASC", 1, "", "nCoLs 4").kind, ReaderKind::AsciiGrid);
    EXPECT_EQ(choose("g.asc", 7, "", "nrows 4").kind, ReaderKind::UsgsDem);
    EXPECT_EQ(choose("g.asc", 7, "", "nco").kind, ReaderKind::UsgsDem);
    EXPECT_EQ(choose("g.asc", 7, "", "").kind, ReaderKind::UsgsDem);
    EXPECT_EQ(choose("g.dem", 7, "", "ncols 4").kind, ReaderKind::UsgsDem);
    EXPECT_EQ(choose("g", 7, "", "ncols 4").kind, ReaderKind::UsgsDem);
}

TEST(FormatDispatchRules, NamesWithoutExtensionGoByContentAlone) {
    EXPECT_EQ(choose("/data/v1.2.bmp/terrain", 8, "", "BM").kind, ReaderKind::UsgsDem);
    EXPECT_EQ(choose("/data/v1.2.txt/terrain", 9, "", "propdump").kind, ReaderKind::UsgsDem);
    EXPECT_EQ(choose("/data/v1.2.bt/terrain", 6, "", "TERRAGEN").kind, ReaderKind::Terragen);
}

TEST(FormatDispatchRules, ExtensionRulesShadowTheSignatureRules) {
    // Whatever the content and file type (other than the elevation-dump
    // ones), a claimed extension never reaches the signature rules, and an
    // unclaimed one never gets a reader that is chosen by extension.
    const std::vector<std::string> claimed = {".bmp", ".txt", ".ddf", ".bin", ".dt0", ".max",
                                              ".min", ".avg", ".bt",  ".oct"};
    const std::vector<std::string> unclaimed = {".dem", ".asc", ".ter", ".cdo", "", ".b", ".tx"};
    const std::vector<std::string> starts = {"TERRAGEN", "trrn    ", "ncols 10", "propdump", "        "};
    for (int type = 0; type <= 14; ++type) {
        if (type == kFileTypeElevdump || type == kFileTypeGdalRaster) continue;
        for (const std::string& start : starts) {
            for (const std::string& ext : claimed)
                EXPECT_LE(choose("f" + ext, type, "", start).rule, 11) << ext << " " << start;
            for (const std::string& ext : unclaimed)
                EXPECT_GE(choose("f" + ext, type, "", start).rule, 12) << ext << " " << start;
        }
    }
}

TEST(FormatDispatchRules, OnlyTheFirstEightBytesCount) {
    EXPECT_EQ(choose("x.dat", 1, "", "12345678TERRAGEN").kind, ReaderKind::UsgsDem);
    EXPECT_EQ(choose("x.dat", 1, "", "TERRAGENxyz").kind, ReaderKind::Terragen);
}

TEST(FormatDispatchFuzz, RandomInputsAlwaysGiveAConsistentDecision) {
    std::mt19937 rng(20240611);
    const std::vector<std::string> exts = {".bmp", ".txt", ".ddf", ".bin", ".dt0", ".max", ".min", ".avg",
                                           ".bt",  ".oct", ".asc", ".ter", ".dem", "",     ".",    ".b"};
    const std::vector<std::string> starts = {"TERRAGEN", "trrn", "ncols", "propdump", "elevdump version 1"};
    auto randomText = [&](std::size_t maxLen) {
        std::string s(rng() % (maxLen + 1), '\0');
        for (char& c : s) c = static_cast<char>(rng() % 256);
        return s;
    };
    for (int i = 0; i < 20000; ++i) {
        std::string ext = exts[rng() % exts.size()];
        for (char& c : ext)
            if (rng() % 2) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        std::string name = randomText(6);
        std::replace(name.begin(), name.end(), '\0', 'n');
        const std::string path = (rng() % 3 ? "dir.x/" : "") + name + ext + (rng() % 8 ? "" : randomText(3));
        std::string content = rng() % 2 ? starts[rng() % starts.size()] + randomText(20) : randomText(30);
        const int fileType = static_cast<int>(rng() % 16) - 2;
        const std::string line = content.substr(0, rng() % (content.size() + 1));
        const DispatchDecision d = chooseReader(path, fileType, line, content);

        ASSERT_GE(d.rule, 1);
        ASSERT_LE(d.rule, 16);
        EXPECT_EQ(d.postsPerProfile != 0, d.kind == ReaderKind::Dted);
        EXPECT_EQ(d.startOffset != 0, d.kind == ReaderKind::Terragen);
        const bool byName = d.kind == ReaderKind::Bitmap || d.kind == ReaderKind::PropdumpReadBack ||
                            d.kind == ReaderKind::Sdts || d.kind == ReaderKind::GdalRaster;
        EXPECT_EQ(d.takesName(), byName);
        const std::string e = dispatchExtension(path);
        if (fileType == kFileTypeGdalRaster) EXPECT_EQ(d.kind, ReaderKind::GdalRaster);
        else if (e.rfind(".BMP", 0) == 0) EXPECT_EQ(d.rule, 1);
        else if (fileType == kFileTypeElevdump) EXPECT_EQ(d.rule, 2);
    }
}

TEST(FormatDispatchRules, GdalRasterExtensionsComeJustBeforeTheUsgsFallback) {
    for (const std::string path : {"s.tif", "S.TIF", "s.tiff", "s.TiFf", "N45E006.hgt", "m.vrt", "e.IMG"}) {
        const DispatchDecision d = choose(path, kFileTypeUsgsDem, "", "II*");
        EXPECT_EQ(d.kind, ReaderKind::GdalRaster) << path;
        EXPECT_EQ(d.rule, 15) << path;
        EXPECT_TRUE(d.takesName()) << path;
    }
    // Shorter extensions, and the signature and elevdump rules before it, still win.
    EXPECT_EQ(choose("s.ti").kind, ReaderKind::UsgsDem);
    EXPECT_EQ(choose("s.hg").kind, ReaderKind::UsgsDem);
    EXPECT_EQ(choose("t.tif", 1, "", "TERRAGEN").kind, ReaderKind::Terragen);
    EXPECT_EQ(choose("l.img", 1, "", "trrn").kind, ReaderKind::Leveller);
    EXPECT_EQ(choose("d.hgt", 1, "elevdump version 1", "elevdump").kind, ReaderKind::Elevdump);
    EXPECT_EQ(choose("d.vrt", kFileTypeElevdump).kind, ReaderKind::Elevdump);
}

TEST(FormatDispatchRules, GdalRasterFileTypeTakesAnyFileAheadOfEveryRule) {
    for (const std::string path : {"m.bmp", "x.txt", "c.ddf", "e.bin", "c.dt0", "t.bt", "h.oct", "g.asc",
                                   "u.dem", "noextension"}) {
        for (const std::string start : {"TERRAGEN", "trrn", "ncols 4", "propdump", "elevdump"}) {
            const DispatchDecision d = choose(path, kFileTypeGdalRaster, "elevdump version 1", start);
            EXPECT_EQ(d.kind, ReaderKind::GdalRaster) << path << " " << start;
            EXPECT_EQ(d.rule, 15) << path;
            EXPECT_TRUE(d.takesName()) << path;
        }
    }
}

TEST(OpenDialogFileTypes, ListsThirteenTypesInTheirOrder) {
    ASSERT_EQ(kOpenDialogFileTypes.size(), 13u);
    EXPECT_STREQ(openDialogFileType(1)->name, "USGS DEM/CDO/SDTS Files (*.dem;*.cdo;*catd.ddf)");
    EXPECT_STREQ(openDialogFileType(kFileTypeVistaPro)->name, "VistaPro (raw) ASCII (*.txt)");
    EXPECT_STREQ(openDialogFileType(kFileTypePropdump)->name, "AW Propdump (*.txt)");
    EXPECT_STREQ(openDialogFileType(kFileTypeDted)->name, "DTED Level 0 (*.dt0, *.max, *.min,*.avg))");
    EXPECT_STREQ(openDialogFileType(kFileTypeElevdump)->name, "AW Elevation Dump (*.txt)");
    EXPECT_STREQ(openDialogFileType(kFileTypeAllFiles)->name, "All Files (*.*)");
    EXPECT_STREQ(openDialogFileType(kFileTypeGdalRaster)->name,
                 "GeoTIFF, SRTM and other GDAL rasters (*.tif;*.tiff;*.hgt;*.vrt;*.img)");
    EXPECT_EQ(openDialogFileType(0), nullptr);
    EXPECT_EQ(openDialogFileType(14), nullptr);
}

TEST(OpenDialogFileTypes, PatternsSplitIntoSingleFilters) {
    EXPECT_EQ(openDialogPatterns(1), (std::vector<std::string>{"*.dem", "*.cdo", "*catd.ddf"}));
    EXPECT_EQ(openDialogPatterns(kFileTypeDted),
              (std::vector<std::string>{"*.dt0", "*.max", "*.min", "*.avg"}));
    EXPECT_EQ(openDialogPatterns(kFileTypeBinaryTerrain), (std::vector<std::string>{"*.bt"}));
    EXPECT_EQ(openDialogPatterns(kFileTypeAllFiles), (std::vector<std::string>{"*.*"}));
    EXPECT_EQ(openDialogPatterns(kFileTypeGdalRaster),
              (std::vector<std::string>{"*.tif", "*.tiff", "*.hgt", "*.vrt", "*.img"}));
    EXPECT_TRUE(openDialogPatterns(-1).empty());
}

TEST(FormatDispatchNames, EveryReaderKindHasItsOwnName) {
    std::set<std::string> names;
    for (int k = 0; k <= static_cast<int>(ReaderKind::GdalRaster); ++k)
        names.insert(readerKindName(static_cast<ReaderKind>(k)));
    EXPECT_EQ(names.size(), 14u);
    EXPECT_STREQ(readerKindName(ReaderKind::Dted), "DTED");
}

}  // namespace
}  // namespace gorvale
