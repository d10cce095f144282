#pragma once
// Relative file names in a project file are taken from the project file's
// folder, so a project and its files can be moved or copied together.

#include <string>

#include "base/conversion_settings.h"

namespace gorvale {

// path taken from folder when it is relative; absolute and empty paths, and
// an empty folder, leave it unchanged.
std::string resolveAgainst(const std::string& folder, const std::string& path);

// DEMFile, RWXFile, PropFile and LogFile resolved against the folder of the
// project file projectPath.
void resolveProjectPaths(ConversionSettings& s, const std::string& projectPath);

}  // namespace gorvale
