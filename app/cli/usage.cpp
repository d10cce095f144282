#include "app/cli/cli_commands.h"

namespace gorvale::cli {

extern const char* const kInfoUsage = R"(  info FILE [--type T] [--json] [--grid-out PATH] [reader answers] [--set KEY=VALUE ...]
      Opens FILE through the format detection exactly as the program's open command does and
      prints what a user sees afterwards: the format detected, the model's name, rows and
      columns as displayed, the elevation range, the bounding rectangle after the reset, the
      selection statistics and the void cells (-32767 or -32000, likely no-data: they become
      vertices like any other value). A project file (.gvl) is loaded as generate loads it
      and its elevation file shown, with warnings for values that do not read.
      --type T          the open dialog's file type, by number (1-12) or name (see "formats");
                        default 1
      --json            print the read-outs as one JSON object with camelCase keys; numbers are
                        numbers: "format", "size" [columns, rows], "nsSizeMetres",
                        "weSizeMetres" (the selection's sizes in metres; formerly "nsSize" and
                        "weSize", texts such as "4650m"), "rows"/"columns" as displayed,
                        "lastRow"/"lastCol" (formerly "LastRow"/"LastCol"), "boundingBox" with
                        "fromSouth", "fromWest", "toNorth", "toEast", "voidCells", "voidValues"
      --grid-out PATH   write the grid cells as little-endian 32-bit integers, row 0 (south)
                        first, each row from column 0 (east); LastRow+1 rows of LastCol+1 values
)";

extern const char* const kGenerateUsage = R"(  generate PROJECT.gvl [--dry-run] [--set KEY=VALUE ...] [reader answers]
      Loads the project as the program does at start-up, applies the overrides and runs
      Generate: models, zip archives and the propdump as the project says. Relative file names
      in the project (DEMFile, RWXFile, PropFile, LogFile) are taken from the project file's
      folder; those given with --set from the current folder. Before the run a plan (grid,
      selection, objects, files, estimated size) goes to stderr. Ctrl-C, SIGTERM and SIGHUP
      stop at the next tile and still leave a valid propdump. Prints the lines the log page
      shows. Missing output folders (of RWXFile, PropFile, LogFile) are created. Values of the
      project file that do not read are reported with file and line.
      With BuildWithRobot=true the builder bot logs into BotUniverseURL:BotUniversePort as
      BotCitNumber (BotPrivPassw) and builds every object in BotWorldName; its robot log
      lines show on stderr as they come.
      --dry-run         print the plan only; write nothing
      --robot-log FILE  save the robot log (CR LF) when the run ends
      With AW_Terrain=true the run sets the world's native terrain instead (through the bot
      when BuildWithRobot is on) and writes the nodes to PropFile as an elevation dump.
)";

extern const char* const kProjectUsage = R"(  project new FILE [--set KEY=VALUE ...]
      Writes a project file with the default settings and the overrides (paths as given).
  project show FILE
      Prints the settings of a project file, section by section, after warnings for values
      that do not read.
  project keys
      The same as "keys".
)";

extern const char* const kExportUsage =
    R"(  export --format terragen|vistapro [--scale S] [--square-avg] [--type T] [--set ...] INPUT OUTPUT
      Opens INPUT and saves its grid as a Terragen or VistaPro ASCII file.
      --scale S         1-100: Terragen averages S x S blocks, VistaPro takes every S-th point
      --square-avg      Terragen: root mean square of each block instead of the mean
)";

extern const char* const kFormatsUsage = R"(  formats
      Lists the file types of --type: number, name, file extensions and the reader.
)";

extern const char* const kKeysUsage = R"(  keys
      Lists every setting of --set and of project files: section, key, form, default,
      allowed range and meaning.
)";

namespace {

constexpr const char* kCommonOptions = R"(
Options for every command (before or after the command):
  --set KEY=VALUE   set any setting, with the project file's key names and value forms
                    (flags true/false, yes/no, on/off or 1/0; choices and counts as numbers;
                    colours in hex). Keys found in both zone tables take their section:
                    TextureZones.Lowest1=100, TreeZones.RWXName3=palm. Settings that projects
                    do not store (ZipPassword, FtpPassword, FtpToHost, ...) work too. A key
                    given twice is refused. "gorvale-cli keys" lists them all.
  --yes             answer yes to questions (default: no)
  --answer ok|cancel  the answer to "Elevation exceeds maximum buildable limits" of native
                    terrain (AW_Terrain); without it such a run is refused
  --progress=MODE   generate's progress: bar (redrawn on a terminal, the default there),
                    line (one line every 10 seconds, the default otherwise) or none
  -q, --quiet       print nothing but errors
  -h, --help        this text; "gorvale-cli COMMAND --help" shows one command
  --version         print the program's version

Reader answers (files whose readers ask a question):
  --grid-width N                  ETOPO5 and DTED: the horizontal size of the grid (DTED
                                  defaults to the posts per profile, 121 or 120)
  --dted-merge EAST,NORTH,NUMGRID DTED: merge NUMGRID x NUMGRID tiles around EAST, NORTH
)";

constexpr const char* kExitCodes = R"(
Exit codes: 0 done, 1 the job failed (the message says why), 2 bad command line,
130 stopped by Ctrl-C, 143 by SIGTERM, 129 by SIGHUP (the propdump holds the tiles done).
)";

}  // namespace

std::string usageText() {
    std::string text = "usage: gorvale-cli COMMAND [arguments] [options]\n\nCommands:\n";
    for (const CommandEntry& c : commandTable()) text += std::string(c.usage) + "\n";
    return text + kCommonOptions + kExitCodes;
}

std::string commandUsageText(const CommandEntry& command) {
    return std::string("usage: gorvale-cli ") + command.name + " ...\n\n" + command.usage + kCommonOptions +
           kExitCodes;
}

}  // namespace gorvale::cli
