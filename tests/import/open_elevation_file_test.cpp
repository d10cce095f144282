#include "import/open_elevation_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "import/grid_operations.h"
#include "tests/support/test_support.h"

namespace gorvale {
namespace {

using test::RecordingUserInterface;
using test::ScratchDir;
using test::writeFileBytes;

// What the last fake reader saw.
struct ReaderCall {
    std::optional<ReaderKind> kind;
    long position = -1;   // stream position when handed over
    std::string head;     // the first bytes the reader could read from there
    std::string path;     // for readers that open by name
    int posts = 0;
    bool busyWhileReading = false;
};
ReaderCall lastCall;
int fakeResult = 0;
bool fakeFillsGrid = false;
bool fakeThrows = false;

int finishFake(GridContext& ws) {
    lastCall.busyWhileReading = static_cast<RecordingUserInterface*>(ws.ui)->busy;
    if (fakeThrows) throw std::runtime_error("reader failure");
    if (fakeFillsGrid) {
        if (!ws.grid.allocate(3, 3)) return -1;
        ws.grid.cell(1, 1) = 42;
        ws.grid.LastRow = ws.grid.LastCol = 2;
        FinishGridLoad(ws, 0, 42);
    }
    return fakeResult;
}

int recordStream(ReaderKind kind, GridContext& ws, std::FILE* in) {
    lastCall = {};
    lastCall.kind = kind;
    lastCall.position = std::ftell(in);
    char buf[32];
    lastCall.head.assign(buf, std::fread(buf, 1, sizeof buf, in));
    return finishFake(ws);
}

template <ReaderKind K>
int fakeStream(GridContext& ws, std::FILE* in) {
    return recordStream(K, ws, in);
}

template <ReaderKind K>
int fakeNamed(GridContext& ws, const std::string& path) {
    lastCall = {};
    lastCall.kind = K;
    lastCall.path = path;
    return finishFake(ws);
}

int fakeDted(GridContext& ws, std::FILE* in, int posts) {
    const int r = recordStream(ReaderKind::Dted, ws, in);
    lastCall.posts = posts;
    return r;
}

ReaderTable fakeReaders() {
    ReaderTable t;
    t.bitmap = fakeNamed<ReaderKind::Bitmap>;
    t.elevdump = fakeStream<ReaderKind::Elevdump>;
    t.propdumpReadBack = fakeNamed<ReaderKind::PropdumpReadBack>;
    t.sdts = fakeNamed<ReaderKind::Sdts>;
    t.etopo5 = fakeStream<ReaderKind::Etopo5>;
    t.dted = fakeDted;
    t.vistaPro = fakeStream<ReaderKind::VistaPro>;
    t.binaryTerrain = fakeStream<ReaderKind::BinaryTerrain>;
    t.oct = fakeStream<ReaderKind::Oct>;
    t.terragen = fakeStream<ReaderKind::Terragen>;
    t.leveller = fakeStream<ReaderKind::Leveller>;
    t.asciiGrid = fakeStream<ReaderKind::AsciiGrid>;
    t.usgsDem = fakeStream<ReaderKind::UsgsDem>;
    return t;
}

class OpenElevationFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        lastCall = {};
        fakeResult = 0;
        fakeFillsGrid = false;
        fakeThrows = false;
    }
    // A previous grid, so tests can see that a refused file leaves it alone.
    void loadPreviousGrid() {
        ASSERT_TRUE(ws.grid.allocate(2, 2));
        ws.grid.cell(1, 1) = 7;
        ws.grid.LastRow = ws.grid.LastCol = 1;
        ui.commands[Command::Generate] = true;
    }
    bool previousGridKept() const {
        return ws.grid.hasStorage() && ws.grid.AllocatedRows() == 2 && ws.grid.cell(1, 1) == 7;
    }
    std::string file(const std::string& name, const std::string& bytes) {
        const std::string path = (dir / name).string();
        writeFileBytes(path, bytes);
        return path;
    }
    int open(const std::string& path, int fileType, const ReaderTable& readers,
             OpenElevationOutcome* outcome = nullptr) {
        ws.settings.DEMFile = path;
        ws.settings.FileType = fileType;
        return OpenElevationFile(ws, readers, outcome);
    }

    ScratchDir dir;
    RecordingUserInterface ui;
    GridContext ws{ui};
};

TEST_F(OpenElevationFileTest, MissingFileShowsCantOpenDisablesGenerateAndKeepsTheGrid) {
    loadPreviousGrid();
    const std::string path = (dir / "missing.dem").string();
    EXPECT_EQ(open(path, 1, fakeReaders()), kOpenElevationCannotOpen);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Can't open " + path + "\n");
    EXPECT_EQ(ui.messages[0].buttons, Buttons::Ok);
    EXPECT_FALSE(ui.commands[Command::Generate]);
    EXPECT_FALSE(ui.commands[Command::PresetTerrain]);
    EXPECT_FALSE(lastCall.kind.has_value());
    EXPECT_TRUE(previousGridKept());
    EXPECT_FALSE(ui.busy);
}

TEST_F(OpenElevationFileTest, AFolderOrAnEmptyNameCannotBeOpened) {
    EXPECT_EQ(open(dir.path().string(), 1, fakeReaders()), kOpenElevationCannotOpen);
    EXPECT_EQ(ui.messages.back().text, "Can't open " + dir.path().string() + "\n");
    EXPECT_EQ(open("", 1, fakeReaders()), kOpenElevationCannotOpen);
    EXPECT_EQ(ui.messages.back().text, "Can't open \n");
    EXPECT_FALSE(lastCall.kind.has_value());
}

TEST_F(OpenElevationFileTest, UnwiredReaderIsNamedAndTheGridStaysAsItWas) {
    loadPreviousGrid();
    const std::string path = file("n43.Dt0", std::string(100, 'x'));
    OpenElevationOutcome outcome;
    EXPECT_EQ(open(path, 10, ReaderTable{}, &outcome), kOpenElevationUnsupported);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "DTED files are not supported yet: " + path);
    EXPECT_EQ(outcome.decision.kind, ReaderKind::Dted);
    EXPECT_TRUE(previousGridKept());
    EXPECT_TRUE(ui.commands[Command::Generate]);  // the old grid can still be converted
    EXPECT_FALSE(ui.busy);
}

TEST_F(OpenElevationFileTest, GenerateIsNotLeftOnWhenNoGridWasEverRead) {
    const std::string path = file("plain.dem", "something");
    EXPECT_EQ(open(path, 1, ReaderTable{}), kOpenElevationUnsupported);
    EXPECT_EQ(ui.messages[0].text, "USGS DEM files are not supported yet: " + path);
    EXPECT_FALSE(ui.commands[Command::Generate]);
}

TEST_F(OpenElevationFileTest, TextStreamsAreHandedOverAtTheirStart) {
    const std::string dem = file("a.dem", "     USGS header line\nsecond");
    EXPECT_EQ(open(dem, 1, fakeReaders()), kOpenElevationReaderFailed);  // fake leaves no grid
    EXPECT_EQ(lastCall.kind, ReaderKind::UsgsDem);
    EXPECT_EQ(lastCall.position, 0);
    EXPECT_EQ(lastCall.head.substr(0, 10), "     USGS ");

    const std::string vista = file("v.txt", "1 2 3\n4 5 6\n");
    open(vista, kFileTypeVistaPro, fakeReaders());
    EXPECT_EQ(lastCall.kind, ReaderKind::VistaPro);
    EXPECT_EQ(lastCall.position, 0);
    EXPECT_EQ(lastCall.head, "1 2 3\n4 5 6\n");

    const std::string oct = file("h.oct", "8 8\n1 2");
    open(oct, 3, fakeReaders());
    EXPECT_EQ(lastCall.kind, ReaderKind::Oct);
    EXPECT_EQ(lastCall.head, "8 8\n1 2");
}

TEST_F(OpenElevationFileTest, ElevationDumpTypeGetsTheStreamFromItsHeaderLine) {
    // The reader checks the header line itself, so it must not get a stream
    // that the probe left after its first bytes.
    const std::string path = file("terrain.txt", "elevdump version 2\n0 0 0 0 64 1 1 0 0\n");
    open(path, kFileTypeElevdump, fakeReaders());
    EXPECT_EQ(lastCall.kind, ReaderKind::Elevdump);
    EXPECT_EQ(lastCall.position, 0);
    EXPECT_EQ(lastCall.head.substr(0, 19), "elevdump version 2\n");
}

TEST_F(OpenElevationFileTest, ElevdumpHeaderIsRecognisedInAnyCaseAnywhereInTheFirstLine) {
    const std::string path = file("world.dem", "# saved: ElevDump VERSION 1 (test)\r\n0 0 0 0 64 1 1 0 0\r\n");
    open(path, 1, fakeReaders());
    EXPECT_EQ(lastCall.kind, ReaderKind::Elevdump);
    EXPECT_EQ(lastCall.position, 0);
    // Only the first line counts.
    const std::string later = file("later.dem", "header\nelevdump version 1\n");
    open(later, 1, fakeReaders());
    EXPECT_EQ(lastCall.kind, ReaderKind::UsgsDem);
}

TEST_F(OpenElevationFileTest, OnlyTheFirst1023CharactersOfTheFirstLineAreSearched) {
    const std::string marker = "elevdump version 1";
    const std::string seen = file("seen.dem", std::string(1023 - marker.size(), ' ') + marker + "\n");
    open(seen, 1, fakeReaders());
    EXPECT_EQ(lastCall.kind, ReaderKind::Elevdump);
    const std::string unseen = file("unseen.dem", std::string(1024 - marker.size(), ' ') + marker + "\n");
    open(unseen, 1, fakeReaders());
    EXPECT_EQ(lastCall.kind, ReaderKind::UsgsDem);
}

TEST_F(OpenElevationFileTest, BinaryReadersGetAReopenedStream) {
    open(file("cell.Dt0", "UHL1abcdefgh"), kFileTypeDted, fakeReaders());
    EXPECT_EQ(lastCall.kind, ReaderKind::Dted);
    EXPECT_EQ(lastCall.posts, 121);
    EXPECT_EQ(lastCall.position, 0);
    EXPECT_EQ(lastCall.head, "UHL1abcdefgh");

    open(file("merged.avg", "UHL1"), kFileTypeDted, fakeReaders());
    EXPECT_EQ(lastCall.posts, 120);

    open(file("world.bin", std::string("\x01\x02\x00\x03", 4)), 2, fakeReaders());
    EXPECT_EQ(lastCall.kind, ReaderKind::Etopo5);
    EXPECT_EQ(lastCall.head, std::string("\x01\x02\x00\x03", 4));

    open(file("t.bt", "binterr1.3"), 6, fakeReaders());
    EXPECT_EQ(lastCall.kind, ReaderKind::BinaryTerrain);
    EXPECT_EQ(lastCall.position, 0);

    open(file("l.ter", "trrn\x06\x15rest"), 4, fakeReaders());
    EXPECT_EQ(lastCall.kind, ReaderKind::Leveller);
    EXPECT_EQ(lastCall.head.substr(0, 4), "trrn");
}

TEST_F(OpenElevationFileTest, TerragenStreamStartsAfterItsSignature) {
    open(file("t.ter", "TERRAGENTERRAIN SIZE"), 4, fakeReaders());
    EXPECT_EQ(lastCall.kind, ReaderKind::Terragen);
    EXPECT_EQ(lastCall.position, 8);
    EXPECT_EQ(lastCall.head, "TERRAIN SIZE");
}

TEST_F(OpenElevationFileTest, AsciiGridIsReopenedAtItsStart) {
    open(file("g.Asc", "NCOLS 2\nNROWS 2\n"), 7, fakeReaders());
    EXPECT_EQ(lastCall.kind, ReaderKind::AsciiGrid);
    EXPECT_EQ(lastCall.position, 0);
    EXPECT_EQ(lastCall.head, "NCOLS 2\nNROWS 2\n");
}

TEST_F(OpenElevationFileTest, NameReadersGetThePath) {
    const std::string bmp = file("pic.bmp", "BM");
    open(bmp, 1, fakeReaders());
    EXPECT_EQ(lastCall.kind, ReaderKind::Bitmap);
    EXPECT_EQ(lastCall.path, bmp);

    const std::string catd = file("1107CATD.DDF", "001");
    open(catd, 1, fakeReaders());
    EXPECT_EQ(lastCall.kind, ReaderKind::Sdts);
    EXPECT_EQ(lastCall.path, catd);

    const std::string prop = file("objects.txt", "PROPDUMP version 3\n");
    open(prop, kFileTypeVistaPro, fakeReaders());
    EXPECT_EQ(lastCall.kind, ReaderKind::PropdumpReadBack);
    EXPECT_EQ(lastCall.path, prop);
}

TEST_F(OpenElevationFileTest, ResultCodeFollowsTheReader) {
    const std::string path = file("a.dem", "dem");
    fakeFillsGrid = true;
    OpenElevationOutcome outcome;
    EXPECT_EQ(open(path, 1, fakeReaders(), &outcome), kOpenElevationRead);
    EXPECT_EQ(outcome.readerCode, 0);
    EXPECT_TRUE(ui.commands[Command::Generate]);
    EXPECT_EQ(ws.grid.cell(1, 1), 42);

    fakeFillsGrid = false;
    fakeResult = -1;
    EXPECT_EQ(open(path, 1, fakeReaders(), &outcome), kOpenElevationReaderFailed);
    EXPECT_EQ(outcome.readerCode, -1);
    EXPECT_TRUE(ui.commands[Command::Generate]);  // the grid from before is still there
}

TEST_F(OpenElevationFileTest, CursorIsBusyWhileReadingAndRestoredEvenWhenTheReaderThrows) {
    const std::string path = file("a.dem", "dem");
    fakeFillsGrid = true;
    open(path, 1, fakeReaders());
    EXPECT_TRUE(lastCall.busyWhileReading);
    EXPECT_FALSE(ui.busy);

    fakeThrows = true;
    EXPECT_THROW(open(path, 1, fakeReaders()), std::runtime_error);
    EXPECT_FALSE(ui.busy);
}

TEST_F(OpenElevationFileTest, PresetTerrainIsHiddenOnEveryOpen) {
    ui.commands[Command::PresetTerrain] = true;
    open(file("a.dem", "x"), 1, ReaderTable{});
    EXPECT_FALSE(ui.commands[Command::PresetTerrain]);
}

TEST_F(OpenElevationFileTest, RealSamplesReachTheirReaders) {
    if (!test::haveTestdata()) GTEST_SKIP() << "no sample files";
    struct Case {
        const char* sample;
        int fileType;
        ReaderKind kind;
    };
    const std::vector<Case> cases = {
        {"usgsdem/39079G6_truncated.dem", 1, ReaderKind::UsgsDem},
        {"gdal-written/n43_usgsdem.dem", 1, ReaderKind::UsgsDem},
        {"sdts/8821/8821CATD.DDF", 1, ReaderKind::Sdts},
        {"gdal-written/n43_terragen.ter", 4, ReaderKind::Terragen},
        {"terragen/float32.ter", 4, ReaderKind::Terragen},
        {"leveller/ter6test.ter", 4, ReaderKind::Leveller},
        {"bt/crater_0513.bt", 6, ReaderKind::BinaryTerrain},
        {"aaigrid/case_sensitive.ASC", 7, ReaderKind::AsciiGrid},
        {"gdal-written/n43_aaigrid.asc", 7, ReaderKind::AsciiGrid},
        {"bmp/rgb24.bmp", 8, ReaderKind::Bitmap},
        {"dted/n43.dt0", 10, ReaderKind::Dted},
        {"gdal-written/n43_envi_int16.bin", 2, ReaderKind::Etopo5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sample);
        const std::string path = test::sample(c.sample).string();
        ASSERT_TRUE(std::filesystem::exists(path));
        lastCall = {};
        open(path, c.fileType, fakeReaders());
        EXPECT_EQ(lastCall.kind, c.kind);
    }
}

// Random and truncated files with random names must always end in a
// message, never in a crash, while the readers are not wired.
TEST_F(OpenElevationFileTest, FuzzedFilesWithUnwiredReadersAlwaysEndInAMessage) {
    std::mt19937 rng(7321);
    const std::vector<std::string> exts = {".bmp", ".txt", ".ddf", ".bin", ".dt0", ".MAX", ".min", ".avg",
                                           ".bt",  ".oct", ".asc", ".ter", ".dem", "",     ".",    ".Txt"};
    const std::vector<std::string> starts = {"TERRAGEN", "trrn", "ncols 3\n", "propdump v",
                                             "elevdump version 1\n", "elevdump version 2\n"};
    std::vector<std::string> samples;
    if (test::haveTestdata())
        for (const char* s : {"dted/n43.dt0", "gdal-written/n43_terragen.ter", "leveller/ter6test.ter",
                              "gdal-written/n43_aaigrid.asc", "usgsdem/39079G6_truncated.dem"})
            samples.push_back(test::readFileBytes(test::sample(s)));
    loadPreviousGrid();
    for (int i = 0; i < 400; ++i) {
        std::string bytes;
        const int shape = static_cast<int>(rng() % 3);
        if (shape == 0 && !samples.empty()) {
            const std::string& s = samples[rng() % samples.size()];
            bytes = s.substr(0, rng() % std::min<std::size_t>(s.size() + 1, 4096));
        } else {
            bytes = shape == 1 ? starts[rng() % starts.size()] : "";
            const std::size_t n = rng() % 2000;
            for (std::size_t k = 0; k < n; ++k) bytes.push_back(static_cast<char>(rng() % 256));
        }
        const std::string path = file("f" + std::to_string(i) + exts[rng() % exts.size()], bytes);
        const int fileType = static_cast<int>(rng() % 15) - 1;
        ui.messages.clear();
        OpenElevationOutcome outcome;
        ASSERT_EQ(open(path, fileType, ReaderTable{}, &outcome), kOpenElevationUnsupported) << path;
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, unsupportedFormatMessage(outcome.decision.kind, path));
        EXPECT_TRUE(previousGridKept());
        EXPECT_FALSE(ui.busy);
        std::filesystem::remove(path);
    }
}

// The same shapes through whatever readers the program has installed: each
// open must end in one of the documented results with the cursor restored.
TEST_F(OpenElevationFileTest, FuzzedFilesThroughTheInstalledReadersEndInADocumentedResult) {
    std::mt19937 rng(99);
    const std::vector<std::string> exts = {".bmp", ".txt", ".ddf", ".bin", ".dt0", ".avg",
                                           ".bt",  ".oct", ".asc", ".ter", ".dem", ""};
    const std::vector<std::string> starts = {"TERRAGEN", "trrn", "ncols 3\n", "propdump v",
                                             "elevdump version 1\n", "BM"};
    for (int i = 0; i < 150; ++i) {
        std::string bytes = starts[rng() % starts.size()];
        const std::size_t n = rng() % 600;
        for (std::size_t k = 0; k < n; ++k) bytes.push_back(static_cast<char>(rng() % 256));
        const std::string path = file("g" + std::to_string(i) + exts[rng() % exts.size()], bytes);
        ws.settings.DEMFile = path;
        ws.settings.FileType = static_cast<int>(rng() % 12) + 1;
        const int result = OpenElevationFile(ws);
        EXPECT_GE(result, kOpenElevationRead) << path;
        EXPECT_LE(result, kOpenElevationReaderFailed) << path;
        EXPECT_FALSE(ui.busy);
        std::filesystem::remove(path);
    }
}

}  // namespace
}  // namespace gorvale
