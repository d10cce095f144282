#include "app/cli/cli_commands.h"

namespace gorvale::cli {

extern const char* const kInfoUsage = R"(  info FILE [--type T] [--json] [--grid-out PATH] [reader answers] [--set KEY=VALUE ...]
      Opens FILE through the format detection exactly as the program's open command does and
      prints what a user sees afterwards: the format detected, the model's name, rows and
      columns as displayed, the elevation range, the bounding rectangle after the reset, the
      selection statistics and the void cells (-32767 or -32000, likely no-data: they become
      vertices like any other value); for a raster read through GDAL also its driver, pixel
      size, reference system and the number of no-data cells ("driver", "pixelSize",
      "pixelUnits", "crs", "noDataCount" in JSON). A project file (.gvl) is loaded as generate loads it
      and its elevation file shown, with warnings for values that do not read.
      --type T          the open dialog's file type, by number (1-13; 13 reads any file through GDAL) or name (see "formats");
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
      lines show on stderr as they come. With GenerateTrees the tree zones add their objects
      after each tile's ground line (GenerateOnlyTrees: only those); examples/n43_trees.gvl
      shows four zones.
      With --set FtpToHost=true --set FtpPassword=... every archive is uploaded by FTP as soon
      as it is made (FtpPassive=true for passive data connections; FtpHostURL=ftps://host for
      explicit TLS, checked against SSL_CERT_FILE when set). Status lines go to stderr; the
      last line says how many archives were uploaded, retried and failed.
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
    R"(  export --format terragen|vistapro|gtiff [--scale S] [--square-avg] [--type T] [--set ...] INPUT OUTPUT
      Opens INPUT and saves its grid as a Terragen or VistaPro ASCII file, or whole as a
      32-bit integer GeoTIFF, north up (georeferenced when INPUT was a georeferenced raster).
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

extern const char* const kPictureUsage = R"(  picture FILE [--area] [--type T] [--set ...] --out PICTURE.bmp
      Opens FILE and writes the DEM area view's shaded picture as a 24-bit bitmap: the whole
      grid, or with --area the bounding rectangle (set it with --set FromSouth=... etc.).
)";

extern const char* const kZonesUsage = R"(  zones PROJECT.gvl [--set ...] --out ZONES.bmp
      Loads the project and writes the zone view's picture of its selection.
)";

namespace {

constexpr const char* kCommonOptions = R"(
Options for every command (before or after the command):
  --set KEY=VALUE   set any setting, with the project file's key names and value forms
                    (flags true/false, yes/no, on/off or 1/0; choices and counts as numbers;
                    colours in hex). Keys found in both zone tables take their section:
                    TextureZones.Lowest1=100, TreeZones.RWXName3=palm. Settings that projects
                    do not store (ZipPassword, FtpPassword, FtpToHost, FtpPassive, ...) work too. A key
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
