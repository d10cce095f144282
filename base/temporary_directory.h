#pragma once
// The one place that decides where temporary files go: the model writer
// and the zip packager must agree, or packing looks for a model that was
// written somewhere else.

#include <string>

namespace gorvale {

// TEMP, else TMPDIR, else the system's temporary folder; a variable set to
// the empty text counts as unset. Never the current folder.
std::string temporaryDirectory();

// `name` inside temporaryDirectory(), joined with one "/".
std::string temporaryFilePath(const std::string& name);

}  // namespace gorvale
