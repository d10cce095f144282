#pragma once
// What the main window owns: the settings of the job, the one elevation grid
// and the link to the person at the screen. Every core operation works on a
// Workspace, so the GUI, the command line and the tests drive the same code.

#include "base/elevation_grid.h"
#include "base/conversion_settings.h"
#include "base/grid_facts.h"
#include "base/raster_source.h"
#include "base/user_interface.h"
#include "pipeline/window_values.h"
#include "rwx/texture_zones.h"

namespace gorvale {

struct Workspace {
    explicit Workspace(UserInterface& userInterface, ConversionSettings initial = {})
        : settings(std::move(initial)), ui(&userInterface) {}

    ConversionSettings settings;
    ElevationGrid grid;
    ZoneTable zones;  // texture zones in numeric form; the grid's flattening while a row is flat
    UserInterface* ui;
    GridFacts facts;  // what the read-outs show; windows read it here
    RasterSource rasterSource;  // set by the GDAL raster reader, cleared by every other read
    bool SettingsModified = false;
    // Object units, step, world-size tables and frame of the world page.
    ShapingWindowState shaping;
    bool gridLoaded = false;  // a reader succeeded since start
    // Grid position of the world's origin, set by the elevation-dump reader.
    int ElevdumpOriginCol = 0;
    int ElevdumpOriginRow = 0;
    // Width last given in the "ETOPO Size" dialog; kept between files.
    int AskedGridWidth = 0;
};

// Stores a read-out in the core and shows it.
inline void ShowLabel(Workspace& ws, Label which, const std::string& text) {
    ws.facts.set(which, text);
    ws.ui->setLabel(which, text);
}

}  // namespace gorvale
