#pragma once
// The sub-commands of gorvale-cli. Each takes the words after its name (with
// options that stood before the command moved behind it) and returns the
// process exit code (see kExit*).
//
// A new command: write its run function in a command_*.cpp file, declare it
// here and add one row to commandTable() in command_table.cpp.

#include <string>
#include <vector>

namespace gorvale::cli {

// Exit codes; a run stopped by a signal exits with 128 + the signal's number.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitSignalBase = 128;

int runInfo(int argc, char** argv, int first);
int runGenerate(int argc, char** argv, int first);
int runProject(int argc, char** argv, int first);
int runExport(int argc, char** argv, int first);
int runFormats(int argc, char** argv, int first);
int runKeys(int argc, char** argv, int first);
int runBuild(int argc, char** argv, int first);
int runDelete(int argc, char** argv, int first);
int printKeys();
int runPicture(int argc, char** argv, int first);
int runZones(int argc, char** argv, int first);

struct CommandEntry {
    const char* name;
    int (*run)(int argc, char** argv, int first);
    const char* usage;  // the command's part of --help, shown alone by "COMMAND --help"
};

// Every command, in the order --help lists them.
const std::vector<CommandEntry>& commandTable();
const CommandEntry* findCommand(const std::string& name);

// The whole usage text (every command, the common options, the exit codes).
std::string usageText();
// One command's usage followed by the common options.
std::string commandUsageText(const CommandEntry& command);

inline constexpr const char* kProgramVersion = "0.1.0";

}  // namespace gorvale::cli
