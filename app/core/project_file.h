#pragma once
// The project file: every saved setting of a job as INI-like text with seven
// sections, written with CR LF line ends, read back with LF or CR LF.

#include <functional>
#include <string>

#include "pipeline/workspace.h"

namespace gorvale {

inline constexpr const char* kProjectExtension = "gvl";
inline constexpr const char* kProjectFilter = "Gorvale Settings (*.gvl)|*.gvl|All Files (*.*)|*.*";

// What loading needs from the rest of the program. Every member may be left
// empty; the step is then skipped.
struct ProjectLoadHooks {
    // Opens DEMFile through the format dispatch (which resets the bounding
    // box to the whole grid); true when a grid was read.
    std::function<bool(Workspace&)> openElevationFile;
    // The world-size, scaling and object-size refreshes of the world
    // parameters page. They may rewrite VerticalScale under DVerticalScale.
    std::function<void(Workspace&)> refreshWorldSize;
    std::function<void(Workspace&)> refreshScaling;
    std::function<void(Workspace&)> refreshObjectSize;
    // Snaps the bounding box to the grid as typed values are (north-south and
    // east-west); leaves a valid box unchanged.
    std::function<void(Workspace&)> validateBoundingBox;
    // Window-only refreshes at the end: command captions and states, the
    // double-sided and native-terrain option states, the first page shown.
    std::function<void(Workspace&)> refreshControls;
};

// The exact bytes SaveProject writes.
std::string projectFileText(const ConversionSettings& s);

// Writes the project file (truncating it). False, and no message, when the
// file cannot be written.
bool SaveProject(const ConversionSettings& s, const std::string& path);
// The same for the main window's state: clears SettingsModified on success.
bool SaveProject(Workspace& ws, const std::string& path);

// Reads the project file and applies it to ws.settings in the loader's order,
// re-opens the elevation file and restores the saved bounding box. False,
// with nothing changed and no message, when the file cannot be opened.
// Generate is disabled and the busy cursor shown while loading.
bool LoadProject(Workspace& ws, const std::string& path, const ProjectLoadHooks& hooks = {});

}  // namespace gorvale
