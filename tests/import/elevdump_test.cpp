#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "import/elevdump_reader.h"
#include "import/elevdump_writer.h"
#include "tests/import/reader_test_support.h"

namespace gorvale {
namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

// Page (a, b) cell (offA, offB) of a terrain array.
void setCell(TerrainArrays& t, int pageA, int pageB, int offA, int offB, int height, int texture) {
    const int a = pageA * 128 + t.centre() - 64 + offA;
    const int b = pageB * 128 + t.centre() - 64 + offB;
    t.height(a, b) = height;
    t.texture(a, b) = static_cast<std::uint16_t>(texture);
}

TEST(ElevdumpWriter, FlatPageIsOneNodeOfNineNumbers) {
    test::ScratchDir dir;
    TerrainArrays t(0);
    const int nodes = WriteElevdump((dir / "e.txt").string(), t, false);
    EXPECT_EQ(nodes, 1);
    EXPECT_EQ(test::readFileBytes(dir / "e.txt"), "elevdump version 1\r\n0 0 0 0 64 1 1 0 0\r\n");
}

TEST(ElevdumpWriter, VersionTwoHeaderForVersionFourWorlds) {
    test::ScratchDir dir;
    TerrainArrays t(0);
    WriteElevdump((dir / "e.txt").string(), t, true);
    EXPECT_EQ(lines(test::readFileBytes(dir / "e.txt"))[0], "elevdump version 2");
}

TEST(ElevdumpWriter, OneDifferentCellSplitsDownToSideEight) {
    test::ScratchDir dir;
    TerrainArrays t(0);
    setCell(t, 0, 0, 70, 90, 250, 3);
    EXPECT_EQ(WriteElevdump((dir / "e.txt").string(), t, false), 13);
    std::vector<std::string> l = lines(test::readFileBytes(dir / "e.txt"));
    ASSERT_EQ(l.size(), 14u);
    int bySide[65] = {};
    int sixtyFours = 0;
    for (std::size_t i = 1; i < l.size(); ++i) {
        std::istringstream in(l[i]);
        int pa, pb, oa, ob, half, tc, hc;
        in >> pa >> pb >> oa >> ob >> half >> tc >> hc;
        ++bySide[half];
        if (tc == 64 || hc == 64) {
            ++sixtyFours;
            EXPECT_EQ(half, 4);
            EXPECT_EQ(oa, 64 + 0);  // 70 lies in the node at 64..71
            EXPECT_EQ(ob, 88);
            EXPECT_EQ(tc, 64);
            EXPECT_EQ(hc, 64);
            std::vector<int> v;
            int x;
            while (in >> x) v.push_back(x);
            ASSERT_EQ(v.size(), 128u);
            // value m * 8 + n is cell (offA + n, offB + m): here n = 6, m = 2
            EXPECT_EQ(v[2 * 8 + 6], 3);
            EXPECT_EQ(v[64 + 2 * 8 + 6], 250);
            EXPECT_EQ(v[64], 0);
        }
    }
    EXPECT_EQ(bySide[32], 3);
    EXPECT_EQ(bySide[16], 3);
    EXPECT_EQ(bySide[8], 3);
    EXPECT_EQ(bySide[4], 4);
    EXPECT_EQ(sixtyFours, 1);
}

TEST(ElevdumpWriter, PagesRunFromZeroUpThenNegative) {
    test::ScratchDir dir;
    TerrainArrays t(1);
    EXPECT_EQ(WriteElevdump((dir / "e.txt").string(), t, false), 9);
    std::vector<std::string> l = lines(test::readFileBytes(dir / "e.txt"));
    std::vector<std::string> pages;
    for (std::size_t i = 1; i < l.size(); ++i) pages.push_back(l[i].substr(0, l[i].find(" 0 0 64")));
    EXPECT_EQ(pages, (std::vector<std::string>{"0 0", "1 0", "-1 0", "0 1", "1 1", "-1 1", "0 -1", "1 -1",
                                               "-1 -1"}));
}

TEST(ElevdumpWriter, UnwritablePathWritesNothing) {
    TerrainArrays t(0);
    EXPECT_EQ(WriteElevdump("/nonexistent/dir/e.txt", t, false), -1);
}

const test::PathReader kReadElevdump = test::streamReader(&ReadElevdump, "rb");

struct ElevdumpRun : test::ReaderRun {
    ElevdumpRun() : ReaderRun(kReadElevdump, "e.txt") {}
};

TEST(ElevdumpReader, PagesFromMinusOneToOneGiveA385Grid) {
    ElevdumpRun run;
    TerrainArrays t(1);
    setCell(t, -1, -1, 0, 0, 77, 0);  // south-east corner of the whole area
    setCell(t, 1, 1, 127, 127, -12, 0);
    WriteElevdump(run.scratchFile().string(), t, false);
    ASSERT_EQ(run.read(run.scratchFile()), 0);
    EXPECT_EQ(run.ws.grid.LastCol, 384);
    EXPECT_EQ(run.ws.grid.LastRow, 384);
    EXPECT_EQ(run.ws.grid.AllocatedRows(), 385);
    EXPECT_EQ(run.ws.grid.AllocatedCols(), 385);
    EXPECT_EQ(run.ws.ElevdumpOriginCol, 192);
    EXPECT_EQ(run.ws.ElevdumpOriginRow, 192);
    EXPECT_EQ(run.ui.labels[Label::WE_Center], "192");
    EXPECT_EQ(run.ui.labels[Label::NS_Center], "192");
    EXPECT_EQ(run.ws.grid.cell(0, 0), 77);
    EXPECT_EQ(run.ws.grid.cell(383, 383), -12);
    EXPECT_EQ(run.ws.grid.ElevationRange, 89);
    EXPECT_EQ(run.ui.labels[Label::Rows], "385");
    EXPECT_TRUE(run.ui.commands[Command::Generate]);
    EXPECT_TRUE(run.ui.commands[Command::PresetTerrain]);
}

TEST(ElevdumpReader, RoundTripKeepsEveryHeightAsSixteenBit) {
    ElevdumpRun run;
    TerrainArrays t(0);
    for (int i = 0; i < 128; i += 3) setCell(t, 0, 0, i, (i * 7) % 128, i * 10 - 500, i % 5);
    setCell(t, 0, 0, 5, 5, 70000, 0);  // cut to 16 bits on reading
    WriteElevdump(run.scratchFile().string(), t, true);
    ASSERT_EQ(run.read(run.scratchFile()), 0);
    for (int i = 0; i < 128; i += 3) EXPECT_EQ(run.ws.grid.cell((i * 7) % 128, i), i * 10 - 500) << i;
    EXPECT_EQ(run.ws.grid.cell(5, 5), static_cast<std::int16_t>(70000));
    EXPECT_EQ(run.ws.grid.cell(1, 0), 0);
}

TEST(ElevdumpReader, AcceptsLfLinesAndSkipsShortOrMalformedNodes) {
    ElevdumpRun run;
    ASSERT_EQ(run.readBytes("ElevDump Version 1\n"
                            "0 0 0 0 64 1 1 0 5\n"
                            "0 0 0 0 4\n"               // fewer than seven numbers
                            "0 0 120 120 64 1 1 0 9\n"  // reaches outside its page: clipped
                            "garbage line\n"),
              0);
    EXPECT_EQ(run.ws.grid.LastRow, 128);
    EXPECT_EQ(run.ws.grid.cell(0, 0), 5);
    EXPECT_EQ(run.ws.grid.cell(127, 127), 9);
    EXPECT_EQ(run.ws.grid.cell(128, 128), 9);
}

TEST(ElevdumpReader, LongLinesAddNoPagesFromTheirTail) {
    ElevdumpRun run;
    std::string line = "0 0 0 0 4 64 64";
    for (int i = 0; i < 64; ++i) line += " 12345678";
    for (int i = 0; i < 64; ++i) line += " -20000";
    ASSERT_GT(line.size(), 1023u);
    ASSERT_EQ(run.readBytes("elevdump version 1\r\n" + line + "\r\n"), 0);
    EXPECT_EQ(run.ws.grid.LastCol, 128);
    EXPECT_EQ(run.ws.grid.cell(7, 7), -20000);
}

TEST(ElevdumpReader, RefusesFilesWithoutTheHeaderWords) {
    ElevdumpRun run;
    run.ws.grid.allocate(2, 2);
    run.ws.grid.cell(0, 0) = 42;
    EXPECT_EQ(run.readBytes("propdump version 3\r\n0 0 0 0 64 1 1 0 0\r\n"), 1);
    ASSERT_TRUE(test::shownOnce(run.ui, run.scratchFile().string()));
    EXPECT_EQ(run.ui.messages[0].caption, "Not an elevation dump file!");
    EXPECT_EQ(run.ws.grid.cell(0, 0), 42);
}

TEST(ElevdumpReader, HugePageNumbersAreRefusedAndKeepTheGrid) {
    ElevdumpRun run;
    run.ws.grid.allocate(2, 2);
    run.ws.grid.cell(1, 1) = 9;
    EXPECT_EQ(run.readBytes("elevdump version 1\n-999 -999 0 0 64 1 1 0 0\n999 999 0 0 64 1 1 0 0\n"), -1);
    EXPECT_FALSE(run.ui.messages.empty());
    EXPECT_EQ(run.ws.grid.cell(1, 1), 9);
}

TEST(ElevdumpReader, RandomBytesEndInAMessageOrARead) {
    // Numbers, words and line ends at random after a valid header.
    std::srand(1234);
    const test::Damage randomNodes = [](int) {
        std::string text = "elevdump version 1\n";
        const int n = std::rand() % 120;
        const char* pool[] = {"0", "1", "-1", "2", "4", "8", "-3", "x", "\n", "\r\n", " "};
        for (int i = 0; i < n; ++i) {
            text += pool[std::rand() % std::size(pool)];
            text += ' ';
        }
        return text;
    };
    // A refusal returns 1 or -1.
    const test::HarnessRules rules{.previousGrid = false, .refusalCode = std::nullopt};
    test::checkDamaged(test::throughFile(kReadElevdump, "e.txt"), randomNodes, 200, rules);
}

}  // namespace
}  // namespace gorvale
