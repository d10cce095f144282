// gorvale-cli export: open an elevation file and save its grid as a Terragen,
// VistaPro or GeoTIFF file.
#include <cstdio>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_session.h"
#include "import/terrain_export.h"
#include "base/text_convert.h"

namespace gorvale::cli {

int runExport(int argc, char** argv, int first) {
    std::vector<std::string> valueOptions = kCommonValueOptions;
    valueOptions.insert(valueOptions.end(), {"format", "scale", "type"});
    std::vector<std::string> flagOptions = kCommonFlagOptions;
    flagOptions.push_back("square-avg");
    ParsedArgs args;
    std::string error;
    if (!parseArgs(argc, argv, first, valueOptions, flagOptions, args, error)) return usageError(error);
    if (args.positional.size() != 2) return usageError("export needs INPUT and OUTPUT");
    const std::string formatName = args.value("format").value_or("");
    ExportFormat format;
    if (formatName == "terragen")
        format = ExportFormat::Terragen;
    else if (formatName == "vistapro")
        format = ExportFormat::VistaPro;
    else if (formatName == "gtiff")
        format = ExportFormat::GeoTiff;
    else
        return usageError("--format must be terragen, vistapro or gtiff");
    if (format == ExportFormat::GeoTiff && args.value("scale"))
        return usageError("--scale does not apply to gtiff: the whole grid is written");
    int scale = 1;
    if (auto s = args.value("scale")) {
        if (!scanInt(*s, scale) || scale < kMinExportBlockSize || scale > kMaxExportBlockSize)
            return usageError(gorvale::format("--scale needs a whole number from %d to %d, not \"%s\"",
                                              kMinExportBlockSize, kMaxExportBlockSize, s->c_str()));
    }
    if (args.flag("square-avg") && format != ExportFormat::Terragen)
        return usageError("--square-avg applies to the terragen format only");

    CliSession session;
    if (!makeSession(args, session, error)) return usageError(error);
    if (const int rc = openInput(args, args.positional[0], session); rc != 0) return rc;
    Workspace& ws = *session.ws;
    if (ExportTerrain(ws, format, args.positional[1], scale, args.flag("square-avg")) != 0) return 1;
    if (!session.ui.quiet) std::printf("Wrote %s\n", args.positional[1].c_str());
    return 0;
}

}  // namespace gorvale::cli
