#include "import/sdts_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/text_convert.h"
#include "tests/import/reader_test_support.h"

namespace gorvale {
namespace {

namespace fs = std::filesystem;
using test::edgeRowAndColumnEmpty;
using test::ReaderHarness;
using test::RecordingUserInterface;
using test::replaceFileBytes;
using test::ScratchDir;
using test::shownOnce;
using test::storedMax;
using test::storedMin;
using test::storedSum;

constexpr char kUnitEnd = '\x1f';
constexpr char kFieldEnd = '\x1e';

// ---------------------------------------------------------------------------
// Building small transfers: module files whose units sit at the positions the
// USGS transfers use.

// Units 1..count-1 as filler, then `value` as unit `count`.
std::string unitsUpTo(int count, const std::string& value) {
    std::string s;
    for (int i = 1; i < count; ++i) s += "u" + std::to_string(i) + kUnitEnd;
    return s + value + kUnitEnd;
}

std::string catalogEntry(int index, const std::string& module, const std::string& file) {
    const std::string fields[] = {"00091 D 1   00039", format("%07d", index), "CATD",
                                  std::to_string(index), module, "Some module", file, "N", "1"};
    std::string s;
    for (const std::string& f : fields) s += f + kFieldEnd;
    return s;
}

struct Module {
    std::string name;
    std::string file;
};

std::string catalogFile(const std::vector<Module>& modules) {
    std::string s = unitsUpTo(10, "(A,I,5A)");
    int index = 1;
    for (const Module& m : modules) s += catalogEntry(index++, m.name, m.file);
    return s;
}

std::string cats(const std::string& name) { return unitsUpTo(17, name) + "tail" + kUnitEnd; }

std::string ddom(int minimum, int maximum) {
    std::string s = unitsUpTo(21, "-32767") + unitsUpTo(12, "-32766");
    s += unitsUpTo(12, std::to_string(minimum)) + unitsUpTo(12, std::to_string(maximum));
    return s;
}

std::string ldef(int rows, int columns) {
    return unitsUpTo(18, std::to_string(rows)) + std::to_string(columns) + kUnitEnd + "1" + kUnitEnd;
}

std::string bigEndian16(int v) {
    const auto u = static_cast<std::uint16_t>(v);
    return {static_cast<char>(u >> 8), static_cast<char>(u & 0xff)};
}

std::string bigEndianReal(float x) {
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return {static_cast<char>(bits >> 24), static_cast<char>(bits >> 16), static_cast<char>(bits >> 8),
            static_cast<char>(bits)};
}

// CEL0 with the shared-leader records of the USGS files (3 units before each
// row, none after) or with a leader per record (6 before, 1 after).
std::string cel0(bool shortRecords, const std::string& cellFormat, const std::vector<std::string>& rows) {
    const std::string leader = shortRecords ? "001882L 1 0600057" : "001999L 1 0600057";
    std::string s = leader + kFieldEnd;
    for (int i = 2; i <= 12; ++i) s += "c" + std::to_string(i) + kUnitEnd;
    s += cellFormat + kFieldEnd;
    int record = 1;
    for (const std::string& values : rows) {
        if (shortRecords) {
            // The first record carries the shared leader; later ones begin
            // with the terminator of the previous values.
            s += record == 1 ? std::string("00767 R 1") + kFieldEnd : std::string(1, kFieldEnd);
            s += format("%07d", record) + kFieldEnd + "CEL0" + kFieldEnd + values;
        } else {
            s += std::string("00767 D 1") + kFieldEnd + "a" + kFieldEnd + "b" + kFieldEnd + "c" + kFieldEnd +
                 format("%07d", record) + kFieldEnd + "CEL0" + kFieldEnd + values + kFieldEnd;
        }
        ++record;
    }
    return s + kFieldEnd;
}

struct Transfer {
    std::string catalog = catalogFile({{"CATS", "TCATS.DDF"},
                                       {"DDOM", "TDDOM.DDF"},
                                       {"LDEF", "TLDEF.DDF"},
                                       {"CEL0", "TCEL0.DDF"},
                                       {"IDEN", "TIDEN.DDF"}});
    std::string catsFile = cats("TEST QUAD, XX");
    std::string ddomFile = ddom(1500, 1700);
    std::string ldefFile = ldef(2, 3);
    std::string cel0File;

    fs::path writeTo(const fs::path& dir) const {
        test::writeFileBytes(dir / "TCATD.DDF", catalog);
        test::writeFileBytes(dir / "TCATS.DDF", catsFile);
        test::writeFileBytes(dir / "TDDOM.DDF", ddomFile);
        test::writeFileBytes(dir / "TLDEF.DDF", ldefFile);
        test::writeFileBytes(dir / "TCEL0.DDF", cel0File);
        return dir / "TCATD.DDF";
    }
};

// One workspace reading transfers by their catalog.
struct TransferRun : test::ReaderRun {
    TransferRun() : ReaderRun(test::nameReader(&ReadSdts), "TCATD.DDF") {}
    int read(const Transfer& t) { return ReaderRun::read(t.writeTo(dir.path())); }
    using ReaderRun::read;
};

// ---------------------------------------------------------------------------
// Unit walking

TEST(SdtsUnitWalking, ControlBytesEndUnitsAndTheEndOfFileEndsEmpty) {
    std::string bytes = std::string("ab") + kUnitEnd + "cd" + kFieldEnd + kFieldEnd + "e\nf" + '\x01' + "g";
    test::MemoryFile f(bytes);
    SdtsUnitReader units(f.get());
    EXPECT_EQ(units.next(), "ab");
    EXPECT_EQ(units.next(), "cd");
    EXPECT_EQ(units.next(), "");
    EXPECT_EQ(units.next(), "e");
    EXPECT_EQ(units.next(), "f");
    EXPECT_FALSE(units.atEnd());
    EXPECT_EQ(units.next(), "g");
    EXPECT_TRUE(units.atEnd());
    EXPECT_EQ(units.next(), "");
    EXPECT_EQ(units.position(), 7);
}

TEST(SdtsUnitWalking, UnitByNumberCountsFromTheStartOfTheFile) {
    std::string bytes = unitsUpTo(17, "NAME") + "after" + kUnitEnd;
    test::MemoryFile f(bytes);
    SdtsUnitReader units(f.get());
    EXPECT_EQ(units.unit(3), "u3");
    EXPECT_EQ(units.unit(17), "NAME");
    EXPECT_EQ(units.unit(18), "after");
}

TEST(SdtsUnitWalking, LongUnitIsCutAt4095BytesAndItsRestSkipped) {
    std::string bytes = std::string(10000, 'x') + kUnitEnd + "next" + kUnitEnd;
    test::MemoryFile f(bytes);
    SdtsUnitReader units(f.get());
    EXPECT_EQ(units.next(), std::string(SdtsUnitReader::kMaxUnitLength, 'x'));
    EXPECT_EQ(units.next(), "next");
}

TEST(SdtsCatalogFormat, CountsUnitsPerEntryFromTheFormatControls) {
    EXPECT_EQ(unitsPerCatalogEntry("(A,I,5A)"), 7);
    EXPECT_EQ(unitsPerCatalogEntry("(A,I,6A)"), 8);
    EXPECT_EQ(unitsPerCatalogEntry("(A,I,3A,6I,A)"), 12);
    EXPECT_EQ(unitsPerCatalogEntry("(A,I)ignored"), 2);
    EXPECT_EQ(unitsPerCatalogEntry("(9"), 9);  // a digit at the end skips nothing beyond it
    EXPECT_EQ(unitsPerCatalogEntry(""), 0);
}

TEST(SdtsCatalogFormat, DirectoryIsEverythingUpToTheLastSeparator) {
    EXPECT_EQ(catalogDirectory("C:\\dem\\x\\1107CATD.DDF"), "C:\\dem\\x\\");
    EXPECT_EQ(catalogDirectory("/data/dem/1107CATD.DDF"), "/data/dem/");
    EXPECT_EQ(catalogDirectory("1107CATD.DDF"), "");
}

// ---------------------------------------------------------------------------
// Real transfers. Reference values from GDAL 3.6.2 (python osgeo,
// ReadAsArray of the CATD file): 8821 is 343 x 471 Int16, 1520..1826 with
// 7981 voids; 1107 (25 scanlines) is 339 x 25, 190..340. This program stores
// max(value, 0) - DDOM minimum, at least 0, in cell (H-1-y, W-1-x) of the
// GDAL pixel (x, y); sums and extremes below were computed that way.

TEST(SdtsSampleTransfers, Reads8821WithExtentsCellsAndRange) {
    const fs::path catalog = test::sample("sdts/8821/8821CATD.DDF");
    ASSERT_TRUE(fs::exists(catalog)) << "sample file missing";
    RecordingUserInterface ui;
    Workspace ws(ui);
    ASSERT_EQ(ReadSdts(ws, catalog.string()), 0);
    const ElevationGrid& g = ws.grid;
    EXPECT_EQ(g.LastRow, 471);
    EXPECT_EQ(g.LastCol, 343);
    EXPECT_EQ(g.AllocatedRows(), 472);
    EXPECT_EQ(g.AllocatedCols(), 344);
    EXPECT_EQ(ui.labels[Label::Rows], "472");
    EXPECT_EQ(ui.labels[Label::Columns], "344");
    EXPECT_EQ(ui.labels[Label::ElevationRange], "306");  // DDOM 1826 - 1520
    EXPECT_EQ(g.ElevationRange, 306);
    EXPECT_EQ(ui.labels[Label::DemName], "OREGON BASIN, WY                        ");
    EXPECT_EQ(g.cell(0, 0), 0);          // void corner
    EXPECT_EQ(g.cell(235, 114), 59);     // 1579
    EXPECT_EQ(g.cell(10, 20), 120);      // 1640
    EXPECT_EQ(g.cell(100, 200), 122);    // 1642
    EXPECT_EQ(g.cell(300, 50), 42);      // 1562
    EXPECT_EQ(g.cell(229, 219), 306);    // the highest point, 1826
    EXPECT_EQ(storedMax(g), 306);
    EXPECT_EQ(storedMin(g), 0);
    EXPECT_EQ(storedSum(g), 16264706);
    EXPECT_TRUE(edgeRowAndColumnEmpty(g));
    EXPECT_EQ(ws.settings.ToNorth, "470");  // 471 snapped below LastRow
    EXPECT_EQ(ws.settings.ToEast, "342");
    EXPECT_TRUE(ui.commands[Command::Generate]);
    EXPECT_FALSE(ui.busy);
    EXPECT_TRUE(ui.messages.empty());
}

TEST(SdtsSampleTransfers, ReadsTruncated1107RelativeToItsDomainMinimum) {
    const fs::path catalog = test::sample("sdts/STDS_1107834_truncated/1107CATD.DDF");
    ASSERT_TRUE(fs::exists(catalog)) << "sample file missing";
    RecordingUserInterface ui;
    Workspace ws(ui);
    ASSERT_EQ(ReadSdts(ws, catalog.string()), 0);
    const ElevationGrid& g = ws.grid;
    EXPECT_EQ(g.LastRow, 25);
    EXPECT_EQ(g.LastCol, 339);
    EXPECT_EQ(ui.labels[Label::Rows], "26");
    EXPECT_EQ(ui.labels[Label::Columns], "340");
    EXPECT_EQ(ui.labels[Label::ElevationRange], "163");  // DDOM 345 - 182, not the data's 340 - 190
    EXPECT_EQ(ui.labels[Label::DemName], "ALANSON, MI                             ");
    EXPECT_EQ(g.cell(0, 0), 0);
    EXPECT_EQ(g.cell(12, 113), 44);   // 226
    EXPECT_EQ(g.cell(10, 20), 18);    // 200
    EXPECT_EQ(g.cell(5, 300), 128);   // 310
    EXPECT_EQ(g.cell(2, 331), 158);   // the highest point, 340
    EXPECT_EQ(storedMax(g), 158);
    EXPECT_EQ(storedSum(g), 490535);
    EXPECT_TRUE(edgeRowAndColumnEmpty(g));
}

TEST(SdtsSampleTransfers, CatalogNamedWithoutFolderFindsModulesInTheCurrentDirectory) {
    const fs::path source = test::sample("sdts/STDS_1107834_truncated");
    ASSERT_TRUE(fs::exists(source)) << "sample file missing";
    ScratchDir dir;
    for (const auto& entry : fs::directory_iterator(source))
        fs::copy_file(entry.path(), dir / entry.path().filename().string());
    test::CurrentDirectory here(dir.path());
    RecordingUserInterface ui;
    Workspace ws(ui);
    ASSERT_EQ(ReadSdts(ws, "1107CATD.DDF"), 0);
    EXPECT_EQ(ws.grid.LastCol, 339);
    EXPECT_EQ(ws.grid.cell(12, 113), 44);
}

TEST(SdtsSampleTransfers, ModuleFilesUnpackedInLowerCaseAreFound) {
    const fs::path source = test::sample("sdts/STDS_1107834_truncated");
    ASSERT_TRUE(fs::exists(source)) << "sample file missing";
    ScratchDir dir;
    for (const auto& entry : fs::directory_iterator(source))
        fs::copy_file(entry.path(), dir / toLowerAscii(entry.path().filename().string()));
    RecordingUserInterface ui;
    Workspace ws(ui);
    ASSERT_EQ(ReadSdts(ws, (dir / "1107catd.ddf").string()), 0);
    EXPECT_EQ(ws.grid.LastRow, 25);
    EXPECT_EQ(ws.grid.cell(5, 300), 128);
}

// ---------------------------------------------------------------------------
// Cell decoding and placement on small transfers

TEST(SdtsCells, FirstValuesLandInTheNorthernRowFromTheWest) {
    Transfer t;
    t.cel0File = cel0(true, "(B(16))",
                      {bigEndian16(1501) + bigEndian16(1502) + bigEndian16(1503),
                       bigEndian16(1504) + bigEndian16(1505) + bigEndian16(1506)});
    TransferRun run;
    ASSERT_EQ(run.read(t), 0);
    const ElevationGrid& g = run.ws.grid;
    EXPECT_EQ(g.LastRow, 2);
    EXPECT_EQ(g.LastCol, 3);
    EXPECT_EQ(g.cell(1, 2), 1);  // north-west: the first value
    EXPECT_EQ(g.cell(1, 1), 2);
    EXPECT_EQ(g.cell(1, 0), 3);
    EXPECT_EQ(g.cell(0, 2), 4);
    EXPECT_EQ(g.cell(0, 0), 6);  // south-east: the last value
    EXPECT_TRUE(edgeRowAndColumnEmpty(g));
    EXPECT_EQ(run.ui.labels[Label::ElevationRange], "200");
    EXPECT_EQ(run.ui.labels[Label::DemName], "TEST QUAD, XX");
}

TEST(SdtsCells, IntegerVoidsAndValuesBelowTheMinimumStoreZero) {
    Transfer t;
    t.ldefFile = ldef(1, 4);
    t.cel0File = cel0(true, "(B(16))",
                      {bigEndian16(-32767) + bigEndian16(1499) + bigEndian16(1500) + bigEndian16(1700)});
    TransferRun run;
    ASSERT_EQ(run.read(t), 0);
    EXPECT_EQ(run.ws.grid.cell(0, 3), 0);
    EXPECT_EQ(run.ws.grid.cell(0, 2), 0);
    EXPECT_EQ(run.ws.grid.cell(0, 1), 0);
    EXPECT_EQ(run.ws.grid.cell(0, 0), 200);
}

TEST(SdtsCells, ExactRealFormatReadsTruncatedRealsThatMayFallBelowTheMinimum) {
    Transfer t;
    t.ldefFile = ldef(1, 4);
    t.cel0File = cel0(true, "(B(32))",
                      {bigEndianReal(1600.9f) + bigEndianReal(-5.5f) + bigEndianReal(1400.2f) +
                       bigEndianReal(-0.5f)});
    TransferRun run;
    ASSERT_EQ(run.read(t), 0);
    EXPECT_EQ(run.ws.grid.cell(0, 3), 100);
    EXPECT_EQ(run.ws.grid.cell(0, 2), 0);      // negative: 0
    EXPECT_EQ(run.ws.grid.cell(0, 1), -100);   // below the minimum stays relative
    EXPECT_EQ(run.ws.grid.cell(0, 0), -1500);  // -0.5 truncates to 0, then minus the minimum
}

TEST(SdtsCells, RealsThatAreNotNumbersOrHugeStayInRange) {
    Transfer t;
    t.ldefFile = ldef(1, 3);
    t.ddomFile = ddom(-2000000000, 2000000000);
    std::uint32_t nanBits = 0x7fc00000u;
    float nan;
    std::memcpy(&nan, &nanBits, sizeof nan);
    t.cel0File = cel0(true, "(B(32))", {bigEndianReal(nan) + bigEndianReal(3e30f) + bigEndianReal(1e9f)});
    TransferRun run;
    ASSERT_EQ(run.read(t), 0);
    EXPECT_EQ(run.ws.grid.cell(0, 2), 0);
    EXPECT_EQ(run.ws.grid.cell(0, 1), INT32_MAX);
    EXPECT_EQ(run.ws.grid.cell(0, 0), INT32_MAX);  // 1e9 + 2e9 is held at the limit
    EXPECT_EQ(run.ui.labels[Label::ElevationRange], std::to_string(INT32_MAX));
}

TEST(SdtsCells, RealFormatFollowedByABlankIsReadAsIntegers) {
    Transfer t;
    t.ldefFile = ldef(1, 2);
    t.cel0File = cel0(true, "(B(32)) ", {bigEndian16(1510) + bigEndian16(1520)});
    TransferRun run;
    ASSERT_EQ(run.read(t), 0);
    EXPECT_EQ(run.ws.grid.cell(0, 1), 10);
    EXPECT_EQ(run.ws.grid.cell(0, 0), 20);
}

TEST(SdtsCells, RecordsWithOwnLeadersSkipSixUnitsBeforeAndOneAfterEachRow) {
    Transfer t;
    t.cel0File = cel0(false, "(B(16))",
                      {bigEndian16(1501) + bigEndian16(1502) + bigEndian16(1503),
                       bigEndian16(1504) + bigEndian16(1505) + bigEndian16(1506)});
    TransferRun run;
    ASSERT_EQ(run.read(t), 0);
    EXPECT_EQ(run.ws.grid.cell(1, 2), 1);
    EXPECT_EQ(run.ws.grid.cell(0, 0), 6);
}

TEST(SdtsCells, CellFileEndingEarlyLeavesTheRestZero) {
    Transfer t;
    t.cel0File = cel0(true, "(B(16))", {bigEndian16(1501) + bigEndian16(1502)});  // 2 of 6 values
    TransferRun run;
    ASSERT_EQ(run.read(t), 0);
    EXPECT_EQ(run.ws.grid.cell(1, 2), 1);
    EXPECT_EQ(run.ws.grid.cell(1, 1), 2);
    EXPECT_EQ(run.ws.grid.cell(1, 0), 0);
    EXPECT_EQ(run.ws.grid.cell(0, 2), 0);
}

// ---------------------------------------------------------------------------
// Failures

TEST(SdtsFailures, ModuleMissingFromTheCatalogIsNamedAndTheGridKept) {
    ScratchDir dir;
    Transfer t;
    t.catalog = catalogFile({{"CATS", "TCATS.DDF"}, {"DDOM", "TDDOM.DDF"}, {"LDEF", "TLDEF.DDF"}});
    t.cel0File = cel0(true, "(B(16))", {});
    ReaderHarness fx;
    EXPECT_EQ(ReadSdts(fx.ws, t.writeTo(dir.path()).string()), -1);
    ASSERT_EQ(fx.ui.fileErrors.size(), 1u);
    EXPECT_NE(fx.ui.fileErrors[0].find("CEL0"), std::string::npos);
    EXPECT_TRUE(fx.previousGridKept());
    EXPECT_FALSE(fx.ui.busy);
}

TEST(SdtsFailures, ModuleFileThatCannotBeOpenedIsNamed) {
    ScratchDir dir;
    Transfer t;
    t.cel0File = cel0(true, "(B(16))", {});
    const fs::path catalog = t.writeTo(dir.path());
    fs::remove(dir / "TDDOM.DDF");
    ReaderHarness fx;
    EXPECT_EQ(ReadSdts(fx.ws, catalog.string()), -1);
    ASSERT_EQ(fx.ui.fileErrors.size(), 1u);
    EXPECT_EQ(fx.ui.fileErrors[0], (dir / "TDDOM.DDF").string());
    EXPECT_TRUE(fx.previousGridKept());
}

TEST(SdtsFailures, MissingCellFileLeavesTheOldGrid) {
    ScratchDir dir;
    Transfer t;
    const fs::path catalog = t.writeTo(dir.path());
    fs::remove(dir / "TCEL0.DDF");
    ReaderHarness fx;
    EXPECT_EQ(ReadSdts(fx.ws, catalog.string()), -1);
    EXPECT_TRUE(fx.previousGridKept());
    EXPECT_EQ(fx.ui.fileErrors.size(), 1u);
}

TEST(SdtsFailures, MissingCatalogIsNamed) {
    ScratchDir dir;
    ReaderHarness fx;
    EXPECT_EQ(ReadSdts(fx.ws, (dir / "NOCATD.DDF").string()), -1);
    ASSERT_EQ(fx.ui.fileErrors.size(), 1u);
    EXPECT_EQ(fx.ui.fileErrors[0], (dir / "NOCATD.DDF").string());
}

TEST(SdtsFailures, ImpossibleRasterSizesGetTheMemoryMessageAndKeepTheGrid) {
    for (const auto& [rows, columns] : std::vector<std::pair<int, int>>{
             {100000, 100000}, {-5, 10}, {10, -2}, {2147483647, 2147483647}}) {
        ScratchDir dir;
        Transfer t;
        t.ldefFile = ldef(rows, columns);
        t.cel0File = cel0(true, "(B(16))", {});
        ReaderHarness fx;
        EXPECT_EQ(ReadSdts(fx.ws, t.writeTo(dir.path()).string()), -1) << rows << " x " << columns;
        EXPECT_TRUE(shownOnce(fx.ui, "SDTS read failed in memory creation!", Buttons::Ok));
        EXPECT_TRUE(fx.previousGridKept());
    }
}

// ---------------------------------------------------------------------------
// Hostile input: every prefix of each module file, and random damage.

struct SampleTransfer {
    std::vector<std::pair<std::string, std::string>> files;  // name, bytes
    fs::path writeTo(const fs::path& dir) const {
        for (const auto& [name, bytes] : files) replaceFileBytes(dir / name, bytes);
        return dir / "1107CATD.DDF";
    }
};

SampleTransfer load1107() {
    SampleTransfer t;
    for (const char* name : {"1107CATD.DDF", "1107CATS.DDF", "1107DDOM.DDF", "1107LDEF.DDF", "1107CEL0.DDF"})
        t.files.emplace_back(name, test::readFileBytes(test::sample(std::string("sdts/STDS_1107834_truncated/") + name)));
    return t;
}

// A read ends in 0 with a consistent grid, or in -1 with a message and the
// previous grid kept.
const test::HarnessRules kRobustness;

// Where a module is cut: every prefix through its headers (the descriptive
// record, then the first data record's leader and directory, and a little
// into its fields), where a cut changes how the rest is parsed; every 7th
// through the next 2 KB (7 is prime to the field widths, so the cuts still
// fall at every place inside a field); then about 300 spread to the end.
std::vector<std::size_t> moduleCuts(const std::string& bytes) {
    const auto number = [&bytes](std::size_t at, std::size_t width) -> std::size_t {
        if (at + width > bytes.size()) return bytes.size();
        return static_cast<std::size_t>(std::max(0, decimalInt(bytes.substr(at, width))));
    };
    constexpr std::size_t kLeaderLengthDigits = 5;
    constexpr std::size_t kFieldAreaStart = 12;  // in a leader: where the record's fields begin
    constexpr std::size_t kIntoFields = 64;
    const std::size_t descriptive = std::min(number(0, kLeaderLengthDigits), bytes.size());
    const std::size_t headers =
        std::min(bytes.size(), descriptive + number(descriptive + kFieldAreaStart, kLeaderLengthDigits) + kIntoFields);
    const std::size_t sampled = std::min(bytes.size(), headers + 2048);
    const std::size_t stride = std::max<std::size_t>(1, bytes.size() / 300);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n < bytes.size(); n += n < headers ? 1 : n < sampled ? 7 : stride) lengths.push_back(n);
    lengths.push_back(bytes.size() - 1);  // the last byte cut
    return lengths;
}

TEST(SdtsHostileInput, PrefixesOfEachModuleEndInAReadOrAMessage) {
    ASSERT_TRUE(fs::exists(test::sample("sdts/STDS_1107834_truncated/1107CATD.DDF"))) << "sample file missing";
    const SampleTransfer original = load1107();
    ScratchDir dir;
    const fs::path catalog = original.writeTo(dir.path());
    for (const auto& [name, bytes] : original.files) {
        SCOPED_TRACE(name);
        const fs::path module = dir / name;
        const test::ByteRunner readWithModuleCut = [&](ReaderHarness& h, std::string prefix) {
            replaceFileBytes(module, prefix);
            return ReadSdts(h.ws, catalog.string());
        };
        test::checkPrefixes(readWithModuleCut, bytes, moduleCuts(bytes), kRobustness);
        replaceFileBytes(module, bytes);
    }
}

TEST(SdtsHostileInput, RandomlyDamagedTransfersNeverCrash) {
    ASSERT_TRUE(fs::exists(test::sample("sdts/STDS_1107834_truncated/1107CATD.DDF"))) << "sample file missing";
    const SampleTransfer original = load1107();
    std::mt19937 rng(20240611);
    ScratchDir dir;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int round = 0; round < 400 && std::chrono::steady_clock::now() < deadline; ++round) {
        SampleTransfer damaged = original;
        auto& bytes = damaged.files[rng() % damaged.files.size()].second;
        switch (rng() % 4) {
            case 0:  // bit flips
                for (int k = 0, n = 1 + static_cast<int>(rng() % 8); k < n; ++k)
                    bytes[rng() % bytes.size()] ^= static_cast<char>(1u << (rng() % 8));
                break;
            case 1:  // control bytes that move unit positions
                for (int k = 0, n = 1 + static_cast<int>(rng() % 4); k < n; ++k)
                    bytes.insert(bytes.begin() + static_cast<long>(rng() % bytes.size()), kUnitEnd);
                break;
            case 2:  // random bytes
                for (int k = 0, n = 1 + static_cast<int>(rng() % 64); k < n; ++k)
                    bytes[rng() % bytes.size()] = static_cast<char>(rng());
                break;
            default:  // truncation with damage
                bytes.resize(rng() % bytes.size());
                if (!bytes.empty()) bytes[rng() % bytes.size()] = static_cast<char>(rng());
                break;
        }
        ReaderHarness fx;
        test::expectSoundOutcome(fx, ReadSdts(fx.ws, damaged.writeTo(dir.path()).string()), kRobustness,
                                 "round " + std::to_string(round));
    }
}

}  // namespace
}  // namespace gorvale
