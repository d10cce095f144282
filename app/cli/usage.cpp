#include "app/cli/cli_commands.h"

namespace gorvale::cli {

const char* usageText() {
    return R"(usage: gorvale-cli COMMAND [arguments] [options]

Commands:
  info FILE [--type N] [--json] [--grid-out PATH] [reader answers] [--set KEY=VALUE ...]
      Opens FILE through the format detection exactly as the program's open command does and
      prints what a user sees afterwards: the model's name, rows and columns as displayed, the
      elevation range, the bounding rectangle after the reset and the selection statistics.
      --type N          the open dialog's file type (1-12) used by the detection; default 1
      --json            print the read-outs as one JSON object
      --grid-out PATH   write the grid cells as little-endian 32-bit integers, row 0 (south)
                        first, each row from column 0 (east); LastRow+1 rows of LastCol+1 values

  generate PROJECT.gvl [--set KEY=VALUE ...] [reader answers]
      Loads the project as the program does at start-up, applies the overrides and runs
      Generate: models, zip archives and the propdump as the project says. Ctrl-C stops at
      the next tile and still leaves a valid propdump. Prints the lines the log page shows.
      Missing output folders (of RWXFile, PropFile, LogFile) are created.

  project new FILE [--set KEY=VALUE ...]
      Writes a project file with the default settings and the overrides.
  project show FILE
      Prints the settings of a project file, section by section.

  export --format terragen|vistapro [--scale S] [--square-avg] [--type N] [--set ...] INPUT OUTPUT
      Opens INPUT and saves its grid as a Terragen or VistaPro ASCII file.
      --scale S         1-100: Terragen averages S x S blocks, VistaPro takes every S-th point
      --square-avg      Terragen: root mean square of each block instead of the mean

  picture FILE [--area] [--type N] [--set ...] --out PICTURE.bmp
      Opens FILE and writes the DEM area view's shaded picture as a 24-bit bitmap: the whole
      grid, or with --area the bounding rectangle (set it with --set FromSouth=... etc.).
  zones PROJECT.gvl [--set ...] --out ZONES.bmp
      Loads the project and writes the zone view's picture of its selection.

Options for every command:
  --set KEY=VALUE   set any setting, with the project file's key names and value forms
                    (flags true/false, choices and counts as numbers, colours in hex).
                    Keys found in both zone tables take their section: TextureZones.Lowest1=100,
                    TreeZones.RWXName3=palm. Settings that projects do not store
                    (ZipPassword, FtpPassword, FtpToHost, TerragenReadingOffset, ...) work too.
  --yes             answer yes to questions (default: no)

Reader answers (files whose readers ask a question):
  --grid-width N                  ETOPO5 and DTED: the horizontal size of the grid
  --dted-merge EAST,NORTH,NUMGRID DTED: merge NUMGRID x NUMGRID tiles around EAST, NORTH

Exit codes: 0 done, 1 the job failed (the message says why), 2 bad command line,
130 generate stopped by Ctrl-C (the propdump holds the tiles done).
)";
}

}  // namespace gorvale::cli
