#pragma once
// What the main window owns: the settings of the job, the one elevation grid,
// the texture zones and the link to the person at the screen, plus the world
// page's own state. Every core operation works on a Workspace (or the part of
// it its folder may see), so the GUI, the command line and the tests drive
// the same code.

#include "pipeline/window_values.h"
#include "rwx/model_context.h"

namespace gorvale {

struct Workspace : ModelContext {
    using ModelContext::ModelContext;

    // Object units, step, world-size tables and frame of the world page.
    ShapingWindowState shaping;
};

}  // namespace gorvale
