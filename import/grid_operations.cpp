#include "import/grid_operations.h"

#include <algorithm>
#include <limits>
#include <string>

#include "base/text_convert.h"

namespace gorvale {
namespace {

int fieldValue(const std::string& text) { return intOr(text, 0); }

// The Scaling choice runs 0 to 31; a project file may hold anything, and a
// step below 1 would divide by zero or never end the snap loop.
int objectStep(const ConversionSettings& s) { return std::max(1, scalingStep(s)); }

std::int32_t saturate(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// The snap of one axis; returns the new (far, near) pair. Worked in 64 bits
// so that extreme field values cannot overflow; the result always lies
// between the near edge and the last index.
void snapAxis(int& farEdge, int& nearEdge, int last, int step) {
    std::int64_t farV = farEdge;
    std::int64_t nearV = nearEdge;
    if (farV >= last) farV = last;
    if (nearV >= last) nearV = last;
    if (nearV >= farV) farV = nearV + step;
    const std::int64_t r = (farV - nearV) % step;
    if (r != 0) farV = farV + step - r;
    while (farV >= last) farV -= step;
    if (farV < nearV) farV = nearV;
    farEdge = static_cast<int>(farV);
    nearEdge = static_cast<int>(nearV);
}

std::string sizeText(std::int64_t cells, int step, int objectSize) {
    const std::int64_t metres = cells / step * (std::int64_t{objectSize} + 1) * 10;
    return metres > 9 ? format("%dm", saturate(metres)) : std::string("Unknown");
}

}  // namespace

SelectionRect clampedSelection(const GridContext& ws) {
    const ConversionSettings& s = ws.settings;
    const ElevationGrid& g = ws.grid;
    const int step = objectStep(s);
    SelectionRect r;
    r.south = std::max(0, fieldValue(s.FromSouth));
    r.east = std::max(0, fieldValue(s.FromWest));
    r.north = fieldValue(s.ToNorth);
    r.west = fieldValue(s.ToEast);
    if (g.RowLimit < r.north) r.north = g.RowLimit - step;
    if (g.ColLimit < r.west) r.west = g.ColLimit - step;
    return r;
}

void ComputeSelectionStats(GridContext& ws) {
    ElevationGrid& g = ws.grid;
    const SelectionRect r = clampedSelection(ws);
    // Never read outside the storage, whatever the limits say.
    const int rowEnd = std::min({r.north, g.RowLimit, g.AllocatedRows()});
    const int colEnd = std::min({r.west, g.ColLimit, g.AllocatedCols()});
    std::int32_t minimum = 32000;
    std::int32_t maximum = -1;
    for (int row = r.south; row < rowEnd; ++row) {
        for (int col = r.east; col < colEnd; ++col) {
            const std::int32_t v = g.ElevationAt(row, col);
            minimum = std::min(minimum, v);
            maximum = std::max(maximum, v);
        }
    }
    g.SelectionMin = minimum;
    g.SelectionMax = maximum;
    g.SelectionRange = maximum == minimum ? 1 : saturate(std::int64_t{maximum} - minimum);
    ShowLabel(ws, Label::BoxElev, format("%d", g.SelectionRange));
    ShowLabel(ws, Label::BoxMin, format("%d", g.SelectionMin));
    ShowLabel(ws, Label::BoxMax, format("%d", g.SelectionMax));
}

void UpdateSelectionSizeLabels(GridContext& ws) {
    const ConversionSettings& s = ws.settings;
    const int step = objectStep(s);
    const std::string ns = sizeText(std::int64_t{fieldValue(s.ToNorth)} - fieldValue(s.FromSouth), step,
                                    s.ObjectSize);
    const std::string we = sizeText(std::int64_t{fieldValue(s.ToEast)} - fieldValue(s.FromWest), step,
                                    s.ObjectSize);
    ShowLabel(ws, Label::NS_Size, ns);
    ShowLabel(ws, Label::NS_Size2, ns);
    ShowLabel(ws, Label::WE_Size, we);
    ShowLabel(ws, Label::WE_Size2, we);
}

namespace {

// Snaps one axis of the rectangle's fields against the grid's last index.
void snapFields(GridContext& ws, std::string& farField, std::string& nearField, int last) {
    ws.SettingsModified = true;
    int farEdge = fieldValue(farField);
    int nearEdge = fieldValue(nearField);
    snapAxis(farEdge, nearEdge, last, objectStep(ws.settings));
    farField = format("%d", farEdge);
    nearField = format("%d", nearEdge);
    UpdateSelectionSizeLabels(ws);
}

}  // namespace

void SnapNorthSouth(GridContext& ws) {
    snapFields(ws, ws.settings.ToNorth, ws.settings.FromSouth, ws.grid.LastRow);
}

void SnapEastWest(GridContext& ws) {
    snapFields(ws, ws.settings.ToEast, ws.settings.FromWest, ws.grid.LastCol);
}

void FinishGridLoadLastStep(GridContext& ws) {
    if (!ws.grid.hasStorage()) return;
    ws.gridLoaded = true;
    ComputeSelectionStats(ws);
    ws.ui->gridFactsChanged();
    ws.ui->gridChanged();
    for (Command c : {Command::ShowSelectedArea, Command::Generate, Command::ShowFullPicture,
                      Command::ShowZones})
        ws.ui->setCommandEnabled(c, true);
}

void FinishGridLoad(GridContext& ws, std::int32_t minimum, std::int32_t maximum) {
    const ElevationGrid& g = ws.grid;
    FinishGridLoad(ws, minimum, maximum, ReaderTail{g.LastRow, g.LastCol, g.LastRow + 1, g.LastCol + 1});
}

void FinishGridLoad(GridContext& ws, std::int32_t minimum, std::int32_t maximum, const ReaderTail& tail) {
    ElevationGrid& g = ws.grid;
    ws.settings.ToNorth = format("%d", tail.toNorth);
    SnapNorthSouth(ws);
    ws.settings.ToEast = format("%d", tail.toEast);
    SnapEastWest(ws);
    g.ElevationRange = saturate(std::int64_t{maximum} - minimum);
    ShowLabel(ws, Label::Columns, format("%d", tail.shownCols));
    ShowLabel(ws, Label::Rows, format("%d", tail.shownRows));
    ShowLabel(ws, Label::ElevationRange, format("%d", g.ElevationRange));
    g.ColLimit = g.LastCol;
    g.RowLimit = g.LastRow;
    ComputeSelectionStats(ws);
    FinishGridLoadLastStep(ws);
}

}  // namespace gorvale
