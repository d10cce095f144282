#pragma once
// The project loader's calls into the rest of the program, wired the same
// way for the desktop program and the command line.

#include "app/core/project_file.h"

namespace gorvale {

// Opens the elevation file through the format dispatch, runs the world page's
// refreshes and validates a restored bounding box against the opened grid.
ProjectLoadHooks standardProjectHooks();

}  // namespace gorvale
