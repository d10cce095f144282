#pragma once
// Pieces shared by the readers of plain gridded files (ETOPO5, ASCII grid,
// OCT matrix, VistaPro ASCII, bitmap): the refusal of impossible sizes, the
// reader's error box, value limits and the vertical pre-scale factor.

#include <cstdint>
#include <limits>
#include <string>

#include "base/min_max_tracker.h"
#include "base/grid_context.h"

namespace gorvale {


// The reader's own error box: the text, an "Error" caption and the Yes, No
// and Cancel buttons, whose answer nobody uses.
void showReaderError(GridContext& ws, const std::string& text);

// Makes the grid's storage rows x cols zero-filled values for a new file.
// A size that is not positive or holds more than ElevationGrid::kMaxCells
// is refused before anything is released, so the old grid stays; when
// memory runs out the old grid is gone. Either way failureText is shown in
// the reader's error box and false is returned.
bool allocateGridOrReport(GridContext& ws, std::int64_t rows, std::int64_t cols,
                          const std::string& failureText);

// 10 to the power of the VerticalPreScale choice: 1, 10, 100 or 1000 (an
// index outside the choice list is taken as the nearest entry).
int verticalPreScaleFactor(const ConversionSettings& settings);

// A real elevation truncated toward zero into the grid's integer: NaN gives
// 0 and values beyond the 32-bit range are clamped to it.
std::int32_t truncateElevation(float value);

}  // namespace gorvale
