#pragma once
// Pictures of every page and view for the documentation, taken by the
// program itself (GORVALE_SCREENSHOTS=DIR) so they show exactly what a
// user sees.

#include <QString>

namespace gorvale::gui {

class MainWindow;

// Saves page1..page7, build-dialog, delete-dialog, dem-view, dem-view-area
// and zone-view PNGs into dir; with an opened grid also terrain-selection,
// terrain-exclusion (the area dialog) and terrain-zones, terrain-prop (two
// pages in native-terrain mode); and robot-window when
// GORVALE_SCREENSHOT_WORLD ("host:port") names a world to build into.
// Returns the number of pictures that could not be written.
int takeScreenshots(MainWindow& window, const QString& dir);

}  // namespace gorvale::gui
