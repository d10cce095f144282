#pragma once
// What the readers and the grid operations work on: the job's settings, the
// one elevation grid with its read-outs, and the person at the screen. The
// Workspace builds on this with the texture zones and the window state, so
// readers stay below the model writer and the run.

#include <string>

#include "base/conversion_settings.h"
#include "base/elevation_grid.h"
#include "base/grid_facts.h"
#include "base/raster_source.h"
#include "base/user_interface.h"

namespace gorvale {

struct GridContext {
    explicit GridContext(UserInterface& userInterface, ConversionSettings initial = {})
        : settings(std::move(initial)), ui(&userInterface) {}

    ConversionSettings settings;
    ElevationGrid grid;
    UserInterface* ui;
    GridFacts facts;  // what the read-outs show; windows read it here
    RasterSource rasterSource;  // set by the GDAL raster reader, cleared by every other read
    bool SettingsModified = false;
    bool gridLoaded = false;  // a reader succeeded since start
    // Grid position of the world's origin, set by the elevation-dump reader.
    int ElevdumpOriginCol = 0;
    int ElevdumpOriginRow = 0;
    // Width last given in the "ETOPO Size" dialog; kept between files.
    int AskedGridWidth = 0;
};

// Stores a read-out in the core and shows it.
inline void ShowLabel(GridContext& ws, Label which, const std::string& text) {
    ws.facts.set(which, text);
    ws.ui->setLabel(which, text);
}

}  // namespace gorvale
