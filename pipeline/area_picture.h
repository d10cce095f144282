#pragma once
// The DEM area view's logic without a window: the grey-shaded picture of the
// grid (one pixel per grid point, highest row at the top, highest column at
// the left), the size of the world outline, the read-outs while the mouse
// moves, the rectangle a click records, and the full-picture command. The
// view widget only turns mouse positions into picture pixels and shows the
// results.

#include <cstdint>
#include <string>
#include <vector>

#include "pipeline/pixel_image.h"
#include "pipeline/workspace.h"

namespace gorvale {

// The picture of the whole grid (rows 0..RowLimit, columns 0..ColLimit) or
// of the selected rectangle as the statistics clamp it. With FixGZ the
// ground-zero point is white.
PixelImage DrawElevationPicture(const Workspace& ws, bool wholeGrid);

// The outline that follows the mouse, in picture pixels: the world frame
// of the world-size refresh (w, h).
struct OutlineSize {
    int w = 0;
    int h = 0;
};
OutlineSize AreaOutlineSize(const Workspace& ws);

// Smallest and largest stored value over rectangles of the grid, answered
// from 16 x 16 block summaries so a mouse move over a large grid stays fast.
class GridRangeIndex {
public:
    // Rebuild whenever the grid's values change.
    void build(const ElevationGrid& grid);
    void clear() { blocksWide_ = blocksHigh_ = 0; }
    // Over rows [r0, r1) and columns [c0, c1) of grid, limited to the
    // storage. False when the rectangle holds no point. A grid of another
    // size than the one built from is scanned point by point.
    bool range(const ElevationGrid& grid, int r0, int r1, int c0, int c1, std::int32_t& minimum,
               std::int32_t& maximum) const;

private:
    static constexpr int kBlock = 16;
    int rows_ = 0;
    int cols_ = 0;
    int blocksWide_ = 0;
    int blocksHigh_ = 0;
    std::vector<std::int32_t> min_;
    std::vector<std::int32_t> max_;
};

// What the read-out under the mouse shows.
struct AreaReadout {
    std::int32_t centre = 0;
    std::int32_t minimum = 0;  // 0 when no point was scanned
    std::int32_t maximum = -1;
};

// Picture size (W, H), outline (w, h) and mouse position (X, Y) from the
// picture's top-left corner. Reads stay inside the picture and the storage.
AreaReadout ReadAreaUnderMouse(const ElevationGrid& grid, const GridRangeIndex* index, int W, int H,
                               OutlineSize outline, int X, int Y);
// "CenterElev=%5dm Min=%5dm Max=%5dm X=%4d Y=%4d CX=%4d CY=%4d"
std::string AreaCaption(const AreaReadout& r, int W, int H, OutlineSize outline, int X, int Y);
// "Center elevation=%5dm Min=%5dm Max=%5dm"
std::string AreaClickLabel(const AreaReadout& r);

// The four bounding-box values a click at (X, Y) records.
struct ClickedBox {
    int FromWest = 0;
    int FromSouth = 0;
    int ToEast = 0;
    int ToNorth = 0;
};
ClickedBox BoxFromClick(int W, int H, OutlineSize outline, int X, int Y);

// The scaling refresh of the world page: dynamic vertical scale, step,
// world frame, then the bounding box snapped to whole objects.
void RefreshScaling(Workspace& ws);

// A left click on the full picture: writes the box fields ("%3d"), the
// statistics of the clicked area and its labels, then refreshes the scaling
// (which snaps the box). Returns the view label's text.
std::string PickArea(Workspace& ws, int W, int H, int X, int Y);

// The rectangle remembered by "Show Full DEM Picture", in grid units.
struct RememberedRect {
    int south = 0;
    int west = 0;   // first column (the eastern edge)
    int north = 0;
    int east = 0;   // last column (the western edge)
};

// "Show Full DEM Picture": remembers and clamps the box, computes the
// statistics around it, draws the whole grid and puts the box back.
PixelImage ShowFullPicture(Workspace& ws, RememberedRect& remembered);

// The frame of the remembered selection on a full picture of size W x H:
// left W - east, top H - north, right W - west, bottom H - south.
struct PictureRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
PictureRect RememberedFrame(const RememberedRect& r, int W, int H);

// The view's zoom as a fraction: a picture pixel covers num/den view pixels.
struct ViewZoom {
    int num = 1;
    int den = 1;
};
// The zoom steps the view offers, 1/8 to 8.
inline constexpr ViewZoom kViewZooms[] = {{1, 8}, {1, 4}, {1, 2}, {1, 1}, {2, 1}, {4, 1}, {8, 1}};
inline constexpr int kViewZoomCount = 7;
// The picture pixel under view coordinate v (rounding down, also below 0).
int PictureFromView(int v, ViewZoom z);
// The first view coordinate of picture pixel p.
int ViewFromPicture(int p, ViewZoom z);
// The largest zoom step (at most 8) at which a w x h picture fits into
// maxW x maxH view pixels; the smallest step when none does.
int FittingZoomStep(int w, int h, int maxW, int maxH);

}  // namespace gorvale
