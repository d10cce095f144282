#pragma once
// What a Generate run is about to do, worked out before it starts, and what
// it left alone afterwards: for front ends that tell a batch user before
// they write hundreds of thousands of files.

#include <set>
#include <string>
#include <vector>

#include "pipeline/workspace.h"

namespace gorvale {

struct RunPlan {
    int gridColumns = 0, gridRows = 0;  // as shown
    int fromSouth = 0, toNorth = 0, fromWest = 0, toEast = 0;  // the selection, grid indices
    int cellsPerObject = 0;        // the scaling step
    int objectSizeMetres = 0;
    int verticesPerObject = 0;
    int objects = 0;               // ground objects (tiles)
    int modelFiles = 0;            // models (or archives) written
    int otherFiles = 0;            // propdump, log
    long long estimatedBytes = 0;  // rough: models plus propdump
};

RunPlan planRun(const Workspace& ws);

// The plan as a few lines of text, each ending in '\n'.
std::string describeRunPlan(const RunPlan& plan, const ConversionSettings& s);

// Model files in RWXFile's folder that carry its prefix and a tile name
// ("<prefix>NNx_NNy.rwx" or ".zip") but are not among the models a run
// wrote (given as paths without extension): left over from an earlier run,
// and placed by no object of this one.
std::vector<std::string> modelsNotRewritten(const ConversionSettings& s, const std::set<std::string>& writtenStems);

}  // namespace gorvale
