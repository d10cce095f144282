#include "app/core/project_hooks.h"

#include "import/grid_operations.h"
#include "import/open_elevation_file.h"
#include "pipeline/window_values.h"

namespace gorvale {

ProjectLoadHooks standardProjectHooks() {
    ProjectLoadHooks h;
    h.openElevationFile = [](Workspace& ws) { return OpenElevationFile(ws) == kOpenElevationRead; };
    h.refreshWorldSize = [](Workspace& ws) { ApplyWorldSizeChoice(ws.settings, ws.shaping); };
    h.refreshScaling = [](Workspace& ws) { ApplyScalingChoice(ws.settings, ws.shaping); };
    h.refreshObjectSize = [](Workspace& ws) { ApplyObjectSizeChoice(ws.settings, ws.shaping); };
    h.validateBoundingBox = [](Workspace& ws) {
        SnapNorthSouth(ws);
        SnapEastWest(ws);
    };
    return h;
}

}  // namespace gorvale
