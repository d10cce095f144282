#pragma once
// What every gorvale-cli command sets up: a user interface answering from
// the options, and a workspace with default settings plus the overrides.

#include <memory>
#include <string>

#include "app/cli/cli_options.h"
#include "app/cli/cli_user_interface.h"
#include "pipeline/workspace.h"

namespace gorvale::cli {

// Options every command accepts (with a value / as a flag).
extern const std::vector<std::string> kCommonValueOptions;
extern const std::vector<std::string> kCommonFlagOptions;

struct CliSession {
    CliUserInterface ui;
    std::unique_ptr<Workspace> ws;
};

// Makes the session: defaults from the working directory, reader answers and
// --yes from the options. Returns false with a message on a bad answer option.
bool makeSession(const ParsedArgs& args, CliSession& session, std::string& error);

// Applies every --set in order; false with a message naming the bad one.
bool applyOverrides(const ParsedArgs& args, ConversionSettings& settings, std::string& error);

int usageError(const std::string& message);

// Result of opening a command's input file: 0 read, 1 failed (message shown),
// 2 bad --type (message shown).
int openInput(const ParsedArgs& args, const std::string& path, CliSession& session);

// The closing line of a command whose elevation file was not read. Returns
// the exit code 1.
int notReadError(const std::string& file);

}  // namespace gorvale::cli
