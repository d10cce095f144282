#pragma once
// What the tile-loop tests share: a square grid with its settings and
// selection, the run state, one tile loop run as the Generate run makes it,
// and the propdump read back line by line.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pipeline/grid_shaping.h"
#include "pipeline/propdump_writer.h"
#include "pipeline/tile_layout.h"
#include "tests/support/test_support.h"

namespace gorvale::test {

// The time of day every test run writes into its propdump.
inline constexpr std::int32_t kClock = 1234567;

class LayoutRunFixture : public ::testing::Test {
protected:
    // A grid of points x points filled by `height`(row, column), all of it
    // usable, cut into tiles of `scaling` + 1 cells; models under "models/z",
    // the propdump in the scratch folder.
    void setUpRun(int points, const std::function<std::int32_t(int, int)>& height, int scaling) {
        ASSERT_TRUE(grid.allocate(points, points));
        for (int r = 0; r < points; ++r)
            for (int c = 0; c < points; ++c) grid.cell(r, c) = height(r, c);
        grid.LastRow = grid.LastCol = grid.RowLimit = grid.ColLimit = points - 1;
        settings.Scaling = scaling;
        settings.RWXFile = "models/z";
        settings.PropFile = (scratch / "prop.txt").string();
        settings.CitizenNumber = "318";
        settings.VerticalScale = "0.5";
    }

    // Scans the selection, lets `beforeRaise` see the unraised range (the tree
    // zones read theirs there), raises it, opens the propdump and runs the
    // tile loop at the fixed clock.
    LayoutResult runTiles(TileModelWriter& writer, ObjectSink* builder, TreeZoneHooks* trees, ObjectSink* objects,
                          const std::function<void()>& beforeRaise = {}) {
        ScanSelection(grid, rect);
        if (beforeRaise) beforeRaise();
        RaiseSelectionRange(grid);
        if (!settings.NoPropfile) state.PropdumpStream = OpenPropdump(settings.PropFile);
        numbers = ReadLayoutNumbers(settings, rect, static_cast<float>(settings.ObjectSize + 1));
        TileLoop loop{settings, grid, ui, state, heights, writer, builder, trees, [] { return kClock; }, objects};
        const LayoutResult r = LayoutTiles(loop, numbers);
        state.PropdumpStream.reset();
        return r;
    }

    // The propdump's lines; each must end in CR LF.
    std::vector<std::string> propLines() const {
        const std::string bytes = readFileBytes(settings.PropFile);
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < bytes.size()) {
            const std::size_t end = bytes.find("\r\n", start);
            EXPECT_NE(end, std::string::npos) << "every line ends in CR LF";
            if (end == std::string::npos) break;
            lines.push_back(bytes.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    ScratchDir scratch;
    ElevationGrid grid;
    ConversionSettings settings;
    WorkingRectangle rect;
    RecordingUserInterface ui;
    RunState state;
    TileHeights heights{};
    LayoutNumbers numbers;
};

}  // namespace gorvale::test
