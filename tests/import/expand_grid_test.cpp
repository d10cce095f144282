#include "import/expand_grid.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/test_support.h"

namespace gorvale {
namespace {

using test::RecordingUserInterface;

struct ExpandFixture : ::testing::Test {
    RecordingUserInterface ui;
    GridContext ws{ui};

    // rows listed south first; every cell is data (LastRow = rows - 1).
    void load(const std::vector<std::vector<int>>& rows) {
        ASSERT_TRUE(ws.grid.allocate(static_cast<int>(rows.size()), static_cast<int>(rows[0].size())));
        for (std::size_t r = 0; r < rows.size(); ++r)
            for (std::size_t c = 0; c < rows[r].size(); ++c)
                ws.grid.cell(static_cast<int>(r), static_cast<int>(c)) = rows[r][c];
        ws.grid.LastRow = static_cast<int>(rows.size()) - 1;
        ws.grid.LastCol = static_cast<int>(rows[0].size()) - 1;
    }
    std::vector<std::vector<int>> cells() const {
        std::vector<std::vector<int>> out;
        for (int r = 0; r <= ws.grid.LastRow; ++r) {
            out.emplace_back();
            for (int c = 0; c <= ws.grid.LastCol; ++c) out.back().push_back(ws.grid.cell(r, c));
        }
        return out;
    }
};

TEST_F(ExpandFixture, DoublesTheExtentsAndInterpolatesBetweenTenfoldOldPoints) {
    load({{1, 2}, {3, 4}});
    ASSERT_EQ(ExpandGrid(ws), 0);
    EXPECT_EQ(ws.grid.LastRow, 2);
    EXPECT_EQ(ws.grid.LastCol, 2);
    EXPECT_EQ(ws.grid.AllocatedRows(), 3);
    EXPECT_EQ(cells(), (std::vector<std::vector<int>>{{10, 15, 20}, {20, 25, 30}, {30, 35, 40}}));
    EXPECT_EQ(ws.grid.ElevationRange, 30);
    EXPECT_EQ(ui.labels[Label::Rows], "3");
    EXPECT_EQ(ui.labels[Label::Columns], "3");
    EXPECT_EQ(ws.grid.RowLimit, 2);
    EXPECT_TRUE(ui.commands[Command::Generate]);
}

TEST_F(ExpandFixture, MeansTruncateTowardZero) {
    // Diagonal means divide a multiple of 10 by 4: 10/4 -> 2, -10/4 -> -2.
    load({{1, 0}, {0, 0}});
    ASSERT_EQ(ExpandGrid(ws), 0);
    EXPECT_EQ(ws.grid.cell(1, 1), 2);
    load({{-1, 0}, {0, 0}});
    ASSERT_EQ(ExpandGrid(ws), 0);
    EXPECT_EQ(ws.grid.cell(1, 1), -2);
    EXPECT_EQ(ws.grid.cell(0, 1), -5);
    EXPECT_EQ(ws.grid.cell(1, 0), -5);
}

TEST_F(ExpandFixture, CentreOfACellUsesTheFourOldCornersOnly) {
    load({{0, 40, 0}, {40, 0, 40}, {0, 40, 0}});
    ASSERT_EQ(ExpandGrid(ws), 0);
    EXPECT_EQ(ws.grid.LastRow, 4);
    // (1,1) lies between old (0,0)=0, (0,1)=400, (1,0)=400, (1,1)=0.
    EXPECT_EQ(ws.grid.cell(1, 1), 200);
    EXPECT_EQ(ws.grid.cell(2, 2), 0);
    EXPECT_EQ(ws.grid.cell(2, 1), 200);
    EXPECT_EQ(ws.grid.cell(4, 3), 200);
}

TEST_F(ExpandFixture, ResetsTheRectangleToTheNewGridAndDisablesItself) {
    load({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
    ws.settings.FromSouth = "0";
    ws.settings.FromWest = "0";
    ASSERT_EQ(ExpandGrid(ws), 0);
    EXPECT_EQ(ws.settings.ToNorth, "3");  // LastRow 4 stepped below itself
    EXPECT_EQ(ws.settings.ToEast, "3");
    EXPECT_EQ(ws.grid.SelectionMin, 10);
    EXPECT_EQ(ws.grid.SelectionMax, 50);  // rows and columns 0 to 2: up to old (1,1) x 10
    EXPECT_FALSE(ui.commands[Command::ExpandDEM]);
    EXPECT_FALSE(ui.busy);
}

TEST_F(ExpandFixture, KeepsTheFlatteningRule) {
    struct Zero : ElevationFilter {
        std::int32_t apply(std::int32_t) const override { return 0; }
    } zero;
    load({{1, 2}, {3, 4}});
    ws.grid.setFlattening(&zero);
    ASSERT_EQ(ExpandGrid(ws), 0);
    EXPECT_EQ(ws.grid.flattening(), &zero);
    EXPECT_EQ(ws.grid.ElevationAt(2, 2), 0);
    EXPECT_EQ(ws.grid.cell(2, 2), 40);
}

TEST_F(ExpandFixture, WithoutAGridDoesNothing) {
    EXPECT_EQ(ExpandGrid(ws), -1);
    EXPECT_TRUE(ui.commands.empty());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_FALSE(ws.grid.hasStorage());
}

TEST_F(ExpandFixture, TooLargeAResultIsRefusedWithAMessageAndTheGridKept) {
    load({{5, 6}, {7, 8}});
    // Extents as a reader might leave them for a huge file; the doubled grid
    // would exceed the cell limit.
    ws.grid.LastRow = 30000;
    ws.grid.LastCol = 30000;
    EXPECT_EQ(ExpandGrid(ws), -1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("Not enough memory"), std::string::npos);
    EXPECT_EQ(ui.messages[0].buttons, Buttons::Ok);
    EXPECT_EQ(ws.grid.LastRow, 30000);
    ASSERT_TRUE(ws.grid.hasStorage());
    EXPECT_EQ(ws.grid.cell(1, 1), 8);
    EXPECT_FALSE(ui.commands[Command::ExpandDEM]);
    EXPECT_FALSE(ui.busy);
}

TEST_F(ExpandFixture, TenfoldValuesSaturateInsteadOfWrapping) {
    load({{300000000, -300000000}});
    ASSERT_EQ(ExpandGrid(ws), 0);
    EXPECT_EQ(ws.grid.cell(0, 0), 2147483647);
    EXPECT_EQ(ws.grid.cell(0, 2), -2147483647 - 1);
    EXPECT_EQ(ws.grid.cell(0, 1), 0);  // (max + min) / 2 = -1 / 2 -> 0
}

TEST_F(ExpandFixture, ExtentsLargerThanTheStorageReadAsZero) {
    load({{5, 6}, {7, 8}});
    ws.grid.LastRow = 2;  // a reader whose last row is never written
    ASSERT_EQ(ExpandGrid(ws), 0);
    EXPECT_EQ(ws.grid.LastRow, 4);
    EXPECT_EQ(ws.grid.cell(4, 0), 0);
    EXPECT_EQ(ws.grid.cell(2, 2), 80);
    EXPECT_EQ(ws.grid.cell(3, 2), 40);
}

}  // namespace
}  // namespace gorvale
