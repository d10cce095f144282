// gorvale-cli picture and zones: the pictures the DEM area view and the zone
// view save, written without a window.
#include <cstdio>
#include <filesystem>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_session.h"
#include "app/core/project_file.h"
#include "app/core/project_hooks.h"
#include "app/core/project_paths.h"
#include "import/grid_operations.h"
#include "pipeline/area_picture.h"
#include "pipeline/zone_picture.h"

namespace gorvale::cli {
namespace {

int writePicture(const PixelImage& image, const std::string& out) {
    std::string why;
    if (!WriteBitmap24(image, out, why)) {
        std::fprintf(stderr, "gorvale-cli: error: cannot write the picture %s: %s\n", out.c_str(), why.c_str());
        return 1;
    }
    std::printf("%s: %d x %d\n", out.c_str(), image.width, image.height);
    return 0;
}

}  // namespace

int runPicture(int argc, char** argv, int first) {
    std::vector<std::string> valueOptions = kCommonValueOptions;
    valueOptions.insert(valueOptions.end(), {"type", "out"});
    std::vector<std::string> flagOptions = kCommonFlagOptions;
    flagOptions.push_back("area");
    ParsedArgs args;
    std::string error;
    if (!parseArgs(argc, argv, first, valueOptions, flagOptions, args, error)) return usageError(error);
    if (args.positional.size() != 1) return usageError("picture needs exactly one FILE");
    const auto out = args.value("out");
    if (!out) return usageError("picture needs --out PICTURE.bmp");

    CliSession session;
    if (!makeSession(args, session, error)) return usageError(error);
    if (const int rc = openInput(args, args.positional[0], session); rc != 0) return rc;
    Workspace& ws = *session.ws;
    // Opening reset the bounding box to the whole grid; a box given with
    // --set applies now, snapped to whole objects as a typed one is.
    applyOverrides(args, ws.settings, error);
    SnapNorthSouth(ws);
    SnapEastWest(ws);
    ComputeSelectionStats(ws);
    return writePicture(DrawElevationPicture(ws, !args.flag("area")), *out);
}

int runZones(int argc, char** argv, int first) {
    std::vector<std::string> valueOptions = kCommonValueOptions;
    valueOptions.push_back("out");
    ParsedArgs args;
    std::string error;
    if (!parseArgs(argc, argv, first, valueOptions, kCommonFlagOptions, args, error)) return usageError(error);
    if (args.positional.size() != 1) return usageError("zones needs exactly one PROJECT file");
    const auto out = args.value("out");
    if (!out) return usageError("zones needs --out ZONES.bmp");
    const std::string project = args.positional[0];

    CliSession session;
    if (!makeSession(args, session, error)) return usageError(error);
    Workspace& ws = *session.ws;
    // Paths in the project are taken from the project's folder, as everywhere on the command line.
    ProjectLoadHooks hooks = standardProjectHooks();
    const auto openElevation = hooks.openElevationFile;
    hooks.openElevationFile = [&](Workspace& w) {
        resolveProjectPaths(w.settings, project);
        return openElevation(w);
    };
    std::error_code ec;
    if (!std::filesystem::is_regular_file(project, ec) || !LoadProject(ws, project, hooks)) {
        std::fprintf(stderr, "gorvale-cli: error: cannot read the project file %s\n", project.c_str());
        return 1;
    }
    if (!ws.gridLoaded) {
        session.ui.error(ws.settings.DEMFile + " was not read as an elevation model");
        return kExitFailed;
    }
    applyOverrides(args, ws.settings, error);
    SnapNorthSouth(ws);
    SnapEastWest(ws);
    return writePicture(BuildZonePicture(ws), *out);
}

}  // namespace gorvale::cli
