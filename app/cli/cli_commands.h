#pragma once
// The sub-commands of gorvale-cli. Each takes the words after its name and
// returns the process exit code: 0 success, 1 the job failed, 2 bad usage.

namespace gorvale::cli {

int runInfo(int argc, char** argv, int first);
int runGenerate(int argc, char** argv, int first);
int runProject(int argc, char** argv, int first);
int runExport(int argc, char** argv, int first);
int runPicture(int argc, char** argv, int first);
int runZones(int argc, char** argv, int first);

// Usage text of every command, printed by --help.
const char* usageText();

}  // namespace gorvale::cli
