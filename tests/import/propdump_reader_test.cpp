#include "import/propdump_reader.h"

#include <gtest/gtest.h>

#include "base/text_convert.h"
#include "tests/support/test_support.h"

#include <array>
#include <vector>

namespace gorvale {
namespace {

// A ground-object line as the program writes it: 11 numbers, then the name.
std::string objectLine(long x, long y, long z, const std::string& model) {
    return format("0 1000 %ld %ld %ld 0 0 0 %d 0 0 %s\r\n", x, y, z, static_cast<int>(model.size()),
                  model.c_str());
}

std::string model(const std::vector<std::array<float, 3>>& vertices) {
    std::string m = "modelbegin\r\nclumpbegin\r\n";
    for (const auto& v : vertices) m += format("vertex %g %g %g\r\n", v[0], v[1], v[2]);
    return m + "clumpend\r\nmodelend\r\n";
}

TEST(PropdumpLayoutDetection, ChoosesByTheFirstObjectLine) {
    EXPECT_EQ(detectPropdumpLayout("0 1000 -1000 0 -1000 0 0 0 11 0 0 z00n_00w.rwx"),
              PropdumpLayout::WithTiltRoll);
    // Nine numbers after a one-digit owner other than 0: the hexadecimal-first layout.
    EXPECT_EQ(detectPropdumpLayout("7 1000 500 0 500 0 11 0 0 z00n_00w.rwx"), PropdumpLayout::HexFirst);
    EXPECT_EQ(detectPropdumpLayout("0 1000 500 0 500 0 11 0 0 z00n_00w.rwx"), PropdumpLayout::Short);
    EXPECT_EQ(detectPropdumpLayout("1a2b 5 1000 500 0 500 0 11 0 0 z00n_00w.rwx"), PropdumpLayout::HexFirst);
}

struct Fixture : ::testing::Test {
    test::ScratchDir dir;
    test::RecordingUserInterface ui;
    GridContext ws{ui};
    int read(const std::string& propdump) {
        test::writeFileBytes(dir / "prop.txt", propdump);
        return ReadPropdumpBack(ws, (dir / "prop.txt").string());
    }
};

using PropdumpReadBack = Fixture;

TEST_F(PropdumpReadBack, TwoVerticesInOneCellGiveTheirMean) {
    // One object at the origin; two vertices share the cell at 2 x 2, two more span the grid.
    test::writeFileBytes(dir / "a.rwx", model({{0, 0, 0}, {5, 0, 5}, {2.1f, 0.1f, 2.1f}, {2.2f, 0.3f, 2.2f}}));
    ASSERT_EQ(read("propdump version 3\r\n" + objectLine(0, 0, 0, "a.rwx")), 0);
    EXPECT_EQ(ws.grid.LastRow, 7);  // trunc(5000 * 0.001) + 2
    EXPECT_EQ(ws.grid.LastCol, 7);
    EXPECT_EQ(ws.grid.cell(2, 2), 200);
    EXPECT_EQ(ws.grid.ElevationRange, 300);
}

TEST_F(PropdumpReadBack, SpreadOf95MetresGivesElevenColumns) {
    test::writeFileBytes(dir / "a.rwx", model({{0, 0, 0}, {9.5f, 0, 0}}));
    ASSERT_EQ(read(objectLine(0, 0, 0, "a.rwx")), 0);
    EXPECT_EQ(ws.grid.LastCol, 11);
    EXPECT_EQ(ws.grid.LastRow, 2);
}

TEST_F(PropdumpReadBack, ObjectPositionsShiftTheirVertices) {
    test::writeFileBytes(dir / "a.rwx", model({{0, 0.5f, 0}}));
    test::writeFileBytes(dir / "b.rwx", model({{0, 0.25f, 0}}));
    ASSERT_EQ(read("propdump version 3\r\n" + objectLine(0, 0, 0, "a.rwx") + objectLine(6000, 100, 6000, "b.rwx")),
              0);
    EXPECT_EQ(ws.grid.LastCol, 8);
    // b's vertex: X = 6000 cm, Y = 250 + 100 cm, in cell 6, 6 (inside the frame: rows 2..6).
    EXPECT_EQ(ws.grid.cell(6, 6), 350);
}

TEST_F(PropdumpReadBack, FrameStaysZeroAndHolesAreFilledFromNeighbours) {
    std::vector<std::array<float, 3>> v;
    for (int r = 0; r <= 9; ++r)
        for (int c = 0; c <= 9; ++c)
            if (!(r == 5 && c == 5)) v.push_back({static_cast<float>(c), 1.0f, static_cast<float>(r)});
    test::writeFileBytes(dir / "a.rwx", model(v));
    ASSERT_EQ(read(objectLine(0, 0, 0, "a.rwx")), 0);
    ASSERT_EQ(ws.grid.LastRow, 11);
    EXPECT_EQ(ws.grid.cell(0, 5), 1000);  // a vertex fell into the frame
    EXPECT_EQ(ws.grid.cell(11, 11), 0);   // the frame without vertices stays 0
    EXPECT_EQ(ws.grid.cell(5, 5), 1000);  // the hole takes its neighbours' mean
}

TEST_F(PropdumpReadBack, MissingModelsAreSkippedAndNoVertexKeepsTheGrid) {
    ws.grid.allocate(3, 3);
    ws.grid.cell(1, 1) = 77;
    EXPECT_EQ(read("propdump version 3\r\n" + objectLine(0, 0, 0, "missing.rwx")), 1);
    EXPECT_EQ(ws.grid.cell(1, 1), 77);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(PropdumpReadBack, TriesTheRwxExtensionWhenTheNameHasNone) {
    test::writeFileBytes(dir / "hill.rwx", model({{0, 0, 0}, {3, 1, 3}}));
    ASSERT_EQ(read(objectLine(0, 0, 0, "hill")), 0);
    EXPECT_EQ(ws.grid.LastRow, 5);
}

TEST_F(PropdumpReadBack, HostileRecordsEndInAReadOrAMessage) {
    test::writeFileBytes(dir / "a.rwx", model({{0, 0, 0}, {1, 1, 1}}));
    const std::string lines[] = {
        "0 1 2 3 4 5 6 7 -5 0 0 a.rwx\r\n",
        "0 1 2 3 4 5 6 7 99999999 0 0 a.rwx\r\n",
        "0 1 2 3 4 5 6 7 5 2147483647 0 a.rwx\r\n",
        "garbage without numbers\r\n",
        "0 1 -2147483648 3 2147483647 5 6 7 5 0 0 a.rwx\r\n",
    };
    for (const auto& l : lines) {
        test::RecordingUserInterface localUi;
        GridContext local(localUi);
        test::writeFileBytes(dir / "p.txt", "propdump version 3\r\n" + l + objectLine(0, 0, 0, "a.rwx"));
        const int rc = ReadPropdumpBack(local, (dir / "p.txt").string());
        EXPECT_TRUE(rc == 0 || rc == 1 || !localUi.messages.empty()) << l;
    }
}

}  // namespace
}  // namespace gorvale
