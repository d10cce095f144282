#include "import/dted_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <string>

#include "import/dted_merge.h"
#include "base/c_file.h"
#include "tests/import/reader_test_support.h"

namespace gorvale {
namespace {

namespace fs = std::filesystem;
using test::edgeRowAndColumnEmpty;
using test::RecordingUserInterface;
using test::replaceFileBytes;
using test::ScratchDir;
using test::shownOnce;
using test::storedSum;

// ---------------------------------------------------------------------------
// Building DTED files

std::string headerBlock(const char* tag, int size) {
    std::string s(static_cast<std::size_t>(size), ' ');
    s.replace(0, 3, tag);
    return s;
}

std::string dtedHeaders() {
    return headerBlock("UHL", kDtedUhlBytes) + headerBlock("DSI", kDtedDsiBytes) +
           headerBlock("ACC", kDtedAccBytes);
}

using PostValue = std::function<int(int profile, int post)>;

// Profiles west to east, posts south to north, values as unsigned 16 bits.
std::string dtedFile(int profiles, int posts, const PostValue& value) {
    std::string s = dtedHeaders();
    for (int p = 0; p < profiles; ++p) {
        s += std::string("\xaa\x00\x00\x01\x00\x02\x00\x03", kDtedProfileHeaderBytes);
        for (int j = 0; j < posts; ++j) {
            const int v = value(p, j);
            s += static_cast<char>((v >> 8) & 0xff);
            s += static_cast<char>(v & 0xff);
        }
        s += std::string("\x00\x01\x02\x03", kDtedChecksumBytes);
    }
    return s;
}

constexpr const char* kOpenedName = "tile.dt0";

// A workspace named after a tile whose grid already holds a recognisable model.
struct Fixture : test::ReaderHarness {
    Fixture() : ReaderHarness(kOpenedName) {}
    int read(const std::string& bytes, int postsPerProfile = kDtedLevel0PostsPerProfile,
             const fs::path& tileDirectory = {}) {
        test::MemoryFile in(bytes);
        return ReadDted(ws, in.get(), postsPerProfile, tileDirectory);
    }
};

// ---------------------------------------------------------------------------
// Real cells. Reference values from GDAL 3.6.2 (python osgeo, ReadAsArray):
// n43.dt0 is 121 x 121, 75..460, pixel sum 2369820; GDAL pixel (x, y) is
// this program's cell (120 - y, 120 - x).

TEST(DtedSampleCells, ReadsN43WithExtentsCellsAndRange) {
    const fs::path path = test::sample("dted/n43.dt0");
    ASSERT_TRUE(fs::exists(path)) << "sample file missing";
    RecordingUserInterface ui;
    Workspace ws(ui);
    ws.settings.DEMFile = path.string();
    ui.askAnswers = {"121"};
    FilePtr in = openFile(path.string(), "rb");
    ASSERT_EQ(ReadDted(ws, in.get(), kDtedLevel0PostsPerProfile), 0);
    const ElevationGrid& g = ws.grid;
    EXPECT_EQ(g.LastRow, 121);
    EXPECT_EQ(g.LastCol, 121);
    EXPECT_EQ(ui.labels[Label::Rows], "122");
    EXPECT_EQ(ui.labels[Label::Columns], "122");
    EXPECT_EQ(ui.labels[Label::ElevationRange], "385");
    test::expectN43Cells(g);
    EXPECT_EQ(g.cell(10, 20), 186);
    EXPECT_EQ(g.cell(60, 40), 75);    // a lowest point
    EXPECT_EQ(g.cell(109, 120), 460); // the highest point
    EXPECT_EQ(storedSum(g), 2369820);
    EXPECT_TRUE(edgeRowAndColumnEmpty(g));
    EXPECT_TRUE(ui.commands[Command::Generate]);
}

TEST(DtedSampleCells, BadChecksumDoesNotMatter) {
    const fs::path path = test::sample("dted/n43_bad_crc.dt0");
    ASSERT_TRUE(fs::exists(path)) << "sample file missing";
    RecordingUserInterface ui;
    Workspace ws(ui);
    ui.askAnswers = {"121"};
    FilePtr in = openFile(path.string(), "rb");
    ASSERT_EQ(ReadDted(ws, in.get(), kDtedLevel0PostsPerProfile), 0);
    EXPECT_EQ(ws.grid.cell(0, 0), 182);
    EXPECT_EQ(ws.grid.cell(109, 120), 460);
    EXPECT_EQ(storedSum(ws.grid), 2369820);
}

// These hold fewer than 121 profiles, so the post count from the file size is
// negative and no grid can be made of it.
TEST(DtedSampleCells, FilesWithoutFullProfilesAreRefusedWithTheMemoryMessage) {
    for (const char* name :
         {"dted/n43_partial_cols.dt0", "dted/n43_sparse_cols.dt0", "dted/n43_coord_inverted.dt0"}) {
        const fs::path path = test::sample(name);
        ASSERT_TRUE(fs::exists(path)) << "sample file missing";
        Fixture fx;
        fx.ui.askAnswers = {"121"};
        FilePtr in = openFile(path.string(), "rb");
        EXPECT_EQ(ReadDted(fx.ws, in.get(), kDtedLevel0PostsPerProfile), -1) << name;
        EXPECT_TRUE(shownOnce(fx.ui, "OCT file read failed!", Buttons::YesNoCancel)) << name;
        EXPECT_TRUE(fx.previousGridKept()) << name;
    }
}

// This one begins with an 80-byte tape label ("HDR1") before its UHL.
TEST(DtedSampleCells, FileWithATapeLabelFirstHasNoUhlHeader) {
    const fs::path path = test::sample("dted/w118n033_trunc.dt1");
    ASSERT_TRUE(fs::exists(path)) << "sample file missing";
    Fixture fx;
    fx.ws.settings.DEMFile = path.string();
    fx.ui.askAnswers = {"121"};
    FilePtr in = openFile(path.string(), "rb");
    EXPECT_EQ(ReadDted(fx.ws, in.get(), kDtedLevel0PostsPerProfile), -1);
    ASSERT_EQ(fx.ui.fileErrors.size(), 1u);
    EXPECT_EQ(fx.ui.fileErrors[0], path.string() + " (no \"UHL\" header)");
    EXPECT_TRUE(fx.ui.asked.empty());
    EXPECT_TRUE(fx.previousGridKept());
}

// ---------------------------------------------------------------------------
// The grid-size dialog

TEST(DtedGridSizeDialog, AsksSizeThenMergeWithTheirInitialTexts) {
    std::string bytes = dtedFile(121, 121, [](int, int) { return 1; });
    Fixture fx;
    fx.ui.askAnswers = {"121"};
    ASSERT_EQ(fx.read(bytes), 0);
    ASSERT_EQ(fx.ui.asked.size(), 2u);
    EXPECT_EQ(fx.ui.asked[0].caption, "DTED grid size");
    EXPECT_EQ(fx.ui.asked[0].prompt, "Please provide the horizontal size of the grid:\nTotal Points: 14641");
    EXPECT_EQ(fx.ui.asked[0].initial, "121");
    EXPECT_EQ(fx.ui.asked[1].caption, "Merge multiple grids");
    EXPECT_EQ(fx.ui.asked[1].initial, "87,27,5");
}

TEST(DtedGridSizeDialog, TotalPostsCountTheSamplesOfFullFiles) {
    EXPECT_EQ(dtedTotalPosts(34162, 121), 14641);
    EXPECT_EQ(dtedTotalPosts(kDtedHeaderBytes + 120 * (12 + 240), 120), 14400);
    EXPECT_EQ(dtedTotalPosts(kDtedHeaderBytes, 121), -726);
}

TEST(DtedGridSizeDialog, UnreadableAnswerKeepsThePostsPerProfile) {
    std::string bytes = dtedFile(121, 121, [](int p, int j) { return p * 121 + j; });
    Fixture fx;
    fx.ui.askAnswers = {"many"};
    ASSERT_EQ(fx.read(bytes), 0);
    EXPECT_EQ(fx.ws.grid.LastRow, 121);
    EXPECT_EQ(fx.ws.grid.LastCol, 121);
}

TEST(DtedGridSizeDialog, SizeZeroCountsAsOne) {
    std::string bytes = dtedFile(121, 121, [](int, int) { return 7; });
    Fixture fx;
    fx.ui.askAnswers = {"0"};
    ASSERT_EQ(fx.read(bytes), 0);
    EXPECT_EQ(fx.ws.grid.LastRow, 1);
    EXPECT_EQ(fx.ws.grid.LastCol, 14641);
}

TEST(DtedGridSizeDialog, NoAnswerAndNoMergeReadsNothing) {
    std::string bytes = dtedFile(121, 121, [](int, int) { return 7; });
    Fixture fx;
    EXPECT_EQ(fx.read(bytes), -1);
    ASSERT_TRUE(shownOnce(fx.ui, "No grid size was given; the DTED file was not read."));
    EXPECT_EQ(fx.ui.messages[0].caption, "DTED grid size");
    EXPECT_TRUE(fx.previousGridKept());
}

TEST(DtedGridSizeDialog, ImpossibleSizesGetTheMemoryMessageAndKeepTheGrid) {
    for (const char* answer : {"-5", "-1", "2147483647", "-2147483648"}) {
        std::string bytes = dtedFile(121, 121, [](int, int) { return 7; });
        Fixture fx;
        fx.ui.askAnswers = {answer};
        EXPECT_EQ(fx.read(bytes), -1) << answer;
        EXPECT_TRUE(shownOnce(fx.ui, "OCT file read failed!")) << answer;
        EXPECT_TRUE(fx.previousGridKept()) << answer;
    }
}

// ---------------------------------------------------------------------------
// Layout of the posts

TEST(DtedLayout, WesternProfileGoesToTheHighestColumnAndSouthernPostToRowZero) {
    std::string bytes = dtedFile(121, 121, [](int p, int j) { return p * 200 + j; });
    Fixture fx;
    fx.ui.askAnswers = {"121"};
    ASSERT_EQ(fx.read(bytes), 0);
    const ElevationGrid& g = fx.ws.grid;
    for (int p = 0; p < 121; p += 17)
        for (int j = 0; j < 121; j += 11) ASSERT_EQ(g.cell(j, 120 - p), p * 200 + j) << p << "," << j;
    EXPECT_EQ(fx.ui.labels[Label::ElevationRange], std::to_string(120 * 200 + 120));
    EXPECT_TRUE(edgeRowAndColumnEmpty(g));
}

TEST(DtedLayout, SummaryFileReadsProfilesOf120Posts) {
    std::string bytes = dtedFile(120, 120, [](int p, int j) { return 1000 + p * 120 + j; });
    Fixture fx;
    fx.ws.settings.DEMFile = "n43.max";
    fx.ui.askAnswers = {"120"};
    ASSERT_EQ(fx.read(bytes, kDtedSummaryPostsPerProfile), 0);
    EXPECT_EQ(fx.ui.asked[0].initial, "120");
    const ElevationGrid& g = fx.ws.grid;
    EXPECT_EQ(g.LastRow, 120);
    EXPECT_EQ(g.LastCol, 120);
    EXPECT_EQ(g.cell(0, 119), 1000);
    EXPECT_EQ(g.cell(119, 0), 1000 + 119 * 120 + 119);
    EXPECT_EQ(g.cell(5, 100), 1000 + 19 * 120 + 5);
}

TEST(DtedLayout, SamplesAreUnsignedSoSignMagnitudeNegativesComeOutHigh) {
    std::string bytes = dtedFile(121, 121, [](int p, int j) { return p == 0 && j == 0 ? 0x8005 : 10; });
    Fixture fx;
    fx.ui.askAnswers = {"121"};
    ASSERT_EQ(fx.read(bytes), 0);
    EXPECT_EQ(fx.ws.grid.cell(0, 120), 32773);
    EXPECT_EQ(fx.ws.grid.ElevationRange, 32773 - 10);
}

TEST(DtedLayout, EndOfFileInsideAProfileEndsTheReadNormally) {
    std::string bytes = dtedFile(121, 121, [](int p, int j) { return p * 121 + j; });
    Fixture fx;
    fx.ui.askAnswers = {"60"};  // 244 profiles of 60 posts: more than the file holds
    ASSERT_EQ(fx.read(bytes), 0);
    const ElevationGrid& g = fx.ws.grid;
    EXPECT_EQ(g.LastRow, 60);
    EXPECT_EQ(g.LastCol, 244);
    for (int j = 0; j < 60; ++j) ASSERT_EQ(g.cell(j, 243), j);
    EXPECT_EQ(g.cell(0, 0), 0);  // never reached
}

TEST(DtedLayout, WrongHeadersAreNamedAndTheGridKept) {
    const std::pair<std::size_t, const char*> cases[] = {
        {0, "UHL"}, {kDtedUhlBytes, "DSI"}, {kDtedUhlBytes + kDtedDsiBytes, "ACC"}};
    for (const auto& [offset, tag] : cases) {
        std::string bytes = dtedFile(121, 121, [](int, int) { return 1; });
        bytes[offset + 1] = 'x';
        Fixture fx;
        fx.ui.askAnswers = {"121"};
        EXPECT_EQ(fx.read(bytes), -1) << tag;
        ASSERT_EQ(fx.ui.fileErrors.size(), 1u) << tag;
        EXPECT_EQ(fx.ui.fileErrors[0], std::string("tile.dt0 (no \"") + tag + "\" header)");
        EXPECT_TRUE(fx.ui.asked.empty());
        EXPECT_TRUE(fx.previousGridKept());
    }
}

// ---------------------------------------------------------------------------
// Merging tiles

TEST(DtedMergeNaming, EastAndNorthArePaddedToTwoCharactersWithBlanks) {
    EXPECT_EQ(dtedTileName(87, 27, ".dt0"), "E087_N27.dt0");
    EXPECT_EQ(dtedTileName(5, 27, ".dt0"), "E0 5_N27.dt0");
    EXPECT_EQ(dtedTileName(86, 7, ".DT0"), "E086_N 7.DT0");
    EXPECT_EQ(dtedTileName(123, 27, ".max"), "E0123_N27.max");
}

TEST(DtedMergeNaming, ExtensionIsTheLastFourCharactersAsTyped) {
    EXPECT_EQ(dtedTileExtension("C:\\dted\\E087_N27.Dt0"), ".Dt0");
    EXPECT_EQ(dtedTileExtension("/data/n43.avg"), ".avg");
    EXPECT_EQ(dtedTileExtension("ab"), "ab");
}

TEST(DtedMergeNaming, AnswerGivesEastNorthNumgridWithDefaultsForMissingParts) {
    const auto full = parseDtedMergeAnswer(std::string("86, 26, 3"));
    ASSERT_TRUE(full);
    EXPECT_EQ(full->East, 86);
    EXPECT_EQ(full->North, 26);
    EXPECT_EQ(full->Numgrid, 3);
    const auto partial = parseDtedMergeAnswer(std::string("90"));
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->East, 90);
    EXPECT_EQ(partial->North, 27);
    EXPECT_EQ(partial->Numgrid, 5);
    const auto unreadable = parseDtedMergeAnswer(std::string("x,y,z"));
    ASSERT_TRUE(unreadable);
    EXPECT_EQ(dtedMergeAnswerText(*unreadable), "87,27,5");
    EXPECT_FALSE(parseDtedMergeAnswer(std::nullopt));
    EXPECT_FALSE(parseDtedMergeAnswer(std::string("  ")));
}

// Tile t (0..8, east-major from the south-west) holds values that name the
// tile, the profile and the post.
int tileValue(int tile, int profile, int post) { return tile * 5000 + (profile * 121 + post) % 5000; }

void writeTiles3x3(const fs::path& dir, const std::string& extension) {
    for (int e = 0; e < 3; ++e)
        for (int n = 0; n < 3; ++n) {
            const int tile = e * 3 + n;
            replaceFileBytes(dir / dtedTileName(86 + e, 26 + n, extension),
                        dtedFile(121, 121, [tile](int p, int j) { return tileValue(tile, p, j); }));
        }
}

TEST(DtedMerge, NineTilesMakeOneGridOf361PostsBy363Profiles) {
    ScratchDir dir;
    writeTiles3x3(dir.path(), ".dt0");
    std::string opened = test::readFileBytes(dir / "E087_N27.dt0");
    Fixture fx;
    fx.ws.settings.DEMFile = (dir / "E087_N27.dt0").string();
    fx.ui.askAnswers = {"121", "87,27,3"};
    ASSERT_EQ(fx.read(opened, kDtedLevel0PostsPerProfile, dir.path()), 0);
    const ElevationGrid& g = fx.ws.grid;
    ASSERT_EQ(g.LastRow, 361);
    ASSERT_EQ(g.LastCol, 363);
    for (int c = 0; c < 363; ++c) {
        const int profile = 362 - c;  // merged profiles run west to east
        const int column = profile / 121;
        const int p = profile % 121;
        for (int r = 0; r < 361; ++r) {
            const int northTile = r < 121 ? 0 : 1 + (r - 121) / 120;
            const int post = r < 121 ? r : (r - 121) % 120;
            ASSERT_EQ(g.cell(r, c), tileValue(column * 3 + northTile, p, post)) << r << "," << c;
        }
    }
    EXPECT_TRUE(edgeRowAndColumnEmpty(g));
    EXPECT_EQ(fs::file_size(dir / "gorvale.$$$"),
              static_cast<std::uintmax_t>(kDtedHeaderBytes + 363 * (8 + 361 * 2 + 4)));
    const std::string merged = test::readFileBytes(dir / "gorvale.$$$");
    EXPECT_EQ(merged.substr(0, 3), "UHL");
    EXPECT_EQ(merged.substr(80, 3), "DSI");
    EXPECT_EQ(merged.substr(728, 3), "ACC");
    EXPECT_EQ(merged[3], '\0');
}

TEST(DtedMerge, TilesAreLookedUpInTheCurrentDirectoryWithBlankPaddedNames) {
    ScratchDir dir;
    std::string tile = dtedFile(121, 121, [](int p, int j) { return 3 * p + j; });
    replaceFileBytes(dir / "E0 5_N 7.dt0", tile);
    test::CurrentDirectory here(dir.path());
    Fixture fx;
    fx.ws.settings.DEMFile = "E0 5_N 7.dt0";
    fx.ui.askAnswers = {"121", "5,7,1"};
    ASSERT_EQ(fx.read(tile), 0);
    EXPECT_TRUE(fs::exists(dir / "gorvale.$$$"));
    EXPECT_EQ(fx.ws.grid.LastRow, 121);
    EXPECT_EQ(fx.ws.grid.LastCol, 121);
    EXPECT_EQ(fx.ws.grid.cell(0, 120), 0);
    EXPECT_EQ(fx.ws.grid.cell(120, 0), 3 * 120 + 120);
}

TEST(DtedMerge, MissingTileEndsTheMergeAndTheReadWithoutTouchingTheGrid) {
    ScratchDir dir;
    writeTiles3x3(dir.path(), ".dt0");
    fs::remove(dir / "E087_N26.dt0");
    std::string opened = test::readFileBytes(dir / "E087_N27.dt0");
    Fixture fx;
    fx.ws.settings.DEMFile = (dir / "E087_N27.dt0").string();
    fx.ui.askAnswers = {"121", "87,27,3"};
    EXPECT_EQ(fx.read(opened, kDtedLevel0PostsPerProfile, dir.path()), -1);
    // The whole column of east 86 went in before east 87 was opened.
    ASSERT_EQ(fx.ui.fileErrors.size(), 1u);
    EXPECT_EQ(fx.ui.fileErrors[0], (dir / "E087_N26.dt0").string());
    EXPECT_EQ(fs::file_size(dir / "gorvale.$$$"),
              static_cast<std::uintmax_t>(kDtedHeaderBytes + 121 * (8 + 361 * 2 + 4)));
    EXPECT_TRUE(fx.previousGridKept());
}

TEST(DtedMerge, NumgridAbove15CountsAs15) {
    ScratchDir dir;
    Fixture fx;
    std::string opened = dtedFile(121, 121, [](int, int) { return 1; });
    fx.ui.askAnswers = {"121", "87,27,20"};
    EXPECT_EQ(fx.read(opened, kDtedLevel0PostsPerProfile, dir.path()), -1);
    ASSERT_EQ(fx.ui.fileErrors.size(), 1u);
    EXPECT_EQ(fx.ui.fileErrors[0], (dir / "E080_N20.dt0").string());  // 87 - 7, 27 - 7
}

TEST(DtedMerge, MergeWorksWithoutASizeAnswer) {
    ScratchDir dir;
    std::string tile = dtedFile(121, 121, [](int p, int j) { return p + j; });
    replaceFileBytes(dir / "E087_N27.dt0", tile);
    // A size request left unanswered, then the merge answered.
    struct MergeOnly : RecordingUserInterface {
        std::optional<std::string> ask(const AskRequest& r) override {
            asked.push_back(r);
            if (r.caption == "Merge multiple grids") return std::string("87,27,1");
            return std::nullopt;
        }
    } mergeOnly;
    Workspace ws(mergeOnly);
    ws.settings.DEMFile = (dir / "E087_N27.dt0").string();
    test::MemoryFile in(tile);
    ASSERT_EQ(ReadDted(ws, in.get(), kDtedLevel0PostsPerProfile, dir.path()), 0);
    EXPECT_EQ(ws.grid.LastRow, 121);
    EXPECT_EQ(ws.grid.cell(7, 120 - 3), 10);
    EXPECT_TRUE(mergeOnly.messages.empty());
}

TEST(DtedMerge, ShortTileContributesZerosForWhatItLacks) {
    ScratchDir dir;
    std::string tile = dtedFile(121, 121, [](int, int) { return 9; });
    tile.resize(kDtedHeaderBytes + 2 * (8 + 242 + 4) + 8 + 100);  // 2 profiles and 50 posts
    replaceFileBytes(dir / "E087_N27.dt0", tile);
    DtedMergeJob job{{87, 27, 1}, kDtedLevel0PostsPerProfile, ".dt0", dir.path()};
    RecordingUserInterface ui;
    DtedMergeResult result = MergeDtedTiles(job, ui);
    ASSERT_TRUE(result.completed());
    EXPECT_EQ(result.TotalPosts, 14641);
    EXPECT_EQ(result.AskedGridWidth, 121);
    EXPECT_EQ(fs::file_size(dir / "gorvale.$$$"),
              static_cast<std::uintmax_t>(kDtedHeaderBytes + 121 * (8 + 242 + 4)));
    result.merged.reset();
    Fixture fx;
    std::string merged = test::readFileBytes(dir / "gorvale.$$$");
    fx.ui.askAnswers = {"121"};
    ASSERT_EQ(fx.read(merged), 0);
    EXPECT_EQ(fx.ws.grid.cell(120, 120), 9);
    EXPECT_EQ(fx.ws.grid.cell(49, 118), 9);
    EXPECT_EQ(fx.ws.grid.cell(50, 118), 0);
    EXPECT_EQ(fx.ws.grid.cell(0, 0), 0);
}

TEST(DtedMerge, UnwritableMergeFileIsNamed) {
    ScratchDir dir;
    DtedMergeJob job{{87, 27, 1}, kDtedLevel0PostsPerProfile, ".dt0", dir / "no-such-folder"};
    RecordingUserInterface ui;
    const DtedMergeResult result = MergeDtedTiles(job, ui);
    EXPECT_FALSE(result.completed());
    ASSERT_EQ(ui.fileErrors.size(), 1u);
    EXPECT_EQ(ui.fileErrors[0], (dir / "no-such-folder" / "gorvale.$$$").string());
}

// ---------------------------------------------------------------------------
// Hostile input

// A refusal returns -1 with a message and keeps the previous grid.
const test::HarnessRules kRobustness{.demFile = kOpenedName};

void expectCleanOutcome(int rc, const Fixture& fx, const std::string& what) {
    test::expectSoundOutcome(fx, rc, kRobustness, what);
}

TEST(DtedHostileInput, EveryPrefixOfACellEndsInAReadOrAMessage) {
    const fs::path path = test::sample("dted/n43.dt0");
    ASSERT_TRUE(fs::exists(path)) << "sample file missing";
    const std::string whole = test::readFileBytes(path);
    const test::ByteRunner readLevel0 =
        test::fromMemory([](Workspace& ws, std::FILE* in) { return ReadDted(ws, in, kDtedLevel0PostsPerProfile); });
    test::HarnessRules rules = kRobustness;
    rules.askAnswers = {"121"};
    test::checkPrefixes(readLevel0, whole, test::everyPrefixLength(whole.size()), rules);
}

TEST(DtedHostileInput, RandomlyDamagedCellsAndSizesNeverCrash) {
    const fs::path path = test::sample("dted/n43.dt0");
    ASSERT_TRUE(fs::exists(path)) << "sample file missing";
    const std::string whole = test::readFileBytes(path);
    const char* sizes[] = {"121", "120", "1", "0", "-3", "7", "100000", "2147483647", "abc"};
    std::mt19937 rng(8675309);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int round = 0; round < 600 && std::chrono::steady_clock::now() < deadline; ++round) {
        std::string bytes = whole;
        switch (rng() % 3) {
            case 0:
                for (int k = 0, n = 1 + static_cast<int>(rng() % 16); k < n; ++k)
                    bytes[rng() % bytes.size()] ^= static_cast<char>(1u << (rng() % 8));
                break;
            case 1:
                for (int k = 0, n = 1 + static_cast<int>(rng() % 256); k < n; ++k)
                    bytes[rng() % bytes.size()] = static_cast<char>(rng());
                break;
            default:
                bytes.resize(rng() % bytes.size());
                break;
        }
        Fixture fx;
        fx.ui.askAnswers = {sizes[rng() % std::size(sizes)]};
        expectCleanOutcome(fx.read(bytes, rng() % 2 ? 121 : 120), fx, "round " + std::to_string(round));
    }
}

TEST(DtedHostileInput, MergingDamagedAndShortTilesNeverCrashes) {
    const fs::path path = test::sample("dted/n43.dt0");
    ASSERT_TRUE(fs::exists(path)) << "sample file missing";
    const std::string whole = test::readFileBytes(path);
    std::mt19937 rng(314159);
    ScratchDir dir;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int round = 0; round < 60 && std::chrono::steady_clock::now() < deadline; ++round) {
        for (int e = 87; e <= 88; ++e)  // the tiles of Numgrid 1 and 2 around 87, 27
            for (int n = 27; n <= 28; ++n) {
                std::string tile = whole;
                if (rng() % 2) tile.resize(rng() % tile.size());
                for (int k = 0, flips = static_cast<int>(rng() % 32); k < flips && !tile.empty(); ++k)
                    tile[rng() % tile.size()] = static_cast<char>(rng());
                const fs::path tilePath = dir / dtedTileName(e, n, ".dt0");
                if (rng() % 8 == 0) fs::remove(tilePath);
                else replaceFileBytes(tilePath, tile);
            }
        Fixture fx;
        fx.ws.settings.DEMFile = "x.dt0";
        fx.ui.askAnswers = {"121", rng() % 2 ? "87,27,2" : "87,27,1"};
        expectCleanOutcome(fx.read(whole, rng() % 2 ? 121 : 120, dir.path()), fx,
                           "round " + std::to_string(round));
    }
}

}  // namespace
}  // namespace gorvale
