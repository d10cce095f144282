#pragma once
// What every gorvale-cli command sets up: a user interface answering from
// the options, and a workspace with default settings plus the overrides.

#include <memory>
#include <string>

#include "app/cli/cli_options.h"
#include "app/cli/cli_user_interface.h"
#include "import/open_elevation_file.h"
#include "pipeline/workspace.h"

namespace gorvale::cli {

// Options every command accepts (with a value / as a flag).
extern const std::vector<std::string> kCommonValueOptions;
extern const std::vector<std::string> kCommonFlagOptions;

struct CliSession {
    CliUserInterface ui;
    std::unique_ptr<Workspace> ws;
};

// Makes the session: defaults from the working directory, reader answers,
// --yes, --quiet and --progress from the options; refuses a key given twice
// in --set. Returns false with a message on a bad option.
bool makeSession(const ParsedArgs& args, CliSession& session, std::string& error);

// Applies every --set in order; false with a message naming the bad one.
bool applyOverrides(const ParsedArgs& args, ConversionSettings& settings, std::string& error);

int usageError(const std::string& message);

// The file type of --type: a number 1-12 or a name of the formats table;
// 0 when neither.
int fileTypeFromOption(const std::string& text);

// Opens DEMFile as the open command does, after a look for plain reasons it
// cannot be read (missing, a folder, empty, compressed, an SDTS module
// other than the catalog): those are told with the system's reason and the
// reader is not run. True when a grid was read.
bool openElevation(Workspace& ws, CliUserInterface& ui, OpenElevationOutcome* outcome = nullptr);

// Result of opening a command's input file: 0 read, 1 failed (message shown),
// 2 bad --type (message shown).
int openInput(const ParsedArgs& args, const std::string& path, CliSession& session,
              OpenElevationOutcome* outcome = nullptr);

}  // namespace gorvale::cli
