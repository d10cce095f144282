#pragma once
// Loading a project file for a command: the core's loader as the program
// uses it, plus the command line's checks around it.

#include <string>

#include "app/cli/cli_options.h"
#include "app/cli/cli_user_interface.h"
#include "import/open_elevation_file.h"
#include "pipeline/workspace.h"

namespace gorvale::cli {

struct ProjectLoadOptions {
    bool openElevationFile = true;  // run the loader's open step
    bool resolvePaths = true;       // relative paths of the project taken from its folder
    bool makeOutputFolders = true;  // create the folders of RWXFile, PropFile and LogFile
    bool writeReaderLog = true;     // let a reader write the log while the file opens
    OpenElevationOutcome* outcome = nullptr;  // how the elevation file was read
};

// Refuses a file that cannot be read or holds no section ("not a project
// file"); loads it with relative paths taken from its folder and the --set
// overrides (relative to the current folder) applied before the elevation
// file opens and again after; then warns once per value that did not read.
// Returns an exit code (0 loaded).
int loadProjectForCli(Workspace& ws, CliUserInterface& ui, const ParsedArgs& args, const std::string& project,
                      const ProjectLoadOptions& options);

}  // namespace gorvale::cli
