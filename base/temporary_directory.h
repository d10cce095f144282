#pragma once
// The one place that decides where temporary files go: the model writer
// and the zip packager must agree, or packing looks for a model that was
// written somewhere else.

#include <string>

namespace gorvale {

// TEMP, else TMPDIR, else the system's temporary folder; a variable set to
// the empty text counts as unset. Never the current folder.
std::string temporaryDirectory();

// Whether TEMP itself named the folder (set and not empty). Archives name
// their entry after the TEMP path as the zip tool did; a folder found any
// other way is ours, not the user's, and stays out of the entry.
bool temporaryDirectoryFromTemp();

// `name` inside temporaryDirectory(), joined with one "/".
std::string temporaryFilePath(const std::string& name);

}  // namespace gorvale
