#pragma once
// The zone view's logic without a window: every grid point of the selection
// painted in its texture zone's colour (the highest matching row wins), in
// the cliff colour where the ground is steep, black where no zone holds it;
// and the caption read-out of a point of the stretched picture.

#include <string>

#include "pipeline/pixel_image.h"
#include "pipeline/workspace.h"

namespace gorvale {

// Prepares the zone table, refreshes the selection statistics and paints the
// selection (ToNorth at the top, ToEast at the left).
PixelImage BuildZonePicture(Workspace& ws);

// The caption for the mouse at (X, Y) of a picture area clientW x clientH:
// offset from the selection's centre and the height in world units, e.g.
// "5N  3W  12.000a". Empty when the area or the selection is empty.
std::string ZoneCaption(const Workspace& ws, int X, int Y, int clientW, int clientH);

}  // namespace gorvale
