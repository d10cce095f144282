#pragma once
// What the model writer and the texture-zone preparation work on: the grid
// context and the texture zones in numeric form, which are also the grid's
// flattening while a zone row is flat.

#include "base/grid_context.h"
#include "rwx/texture_zones.h"

namespace gorvale {

struct ModelContext : GridContext {
    using GridContext::GridContext;

    ZoneTable zones;
};

}  // namespace gorvale
