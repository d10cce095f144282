#include "app/cli/cli_session.h"

#include <cstdio>
#include <filesystem>

#include "app/core/settings_keys.h"
#include "import/open_elevation_file.h"
#include "base/text_convert.h"

namespace gorvale::cli {

const std::vector<std::string> kCommonValueOptions = {"grid-width", "dted-merge"};
const std::vector<std::string> kCommonFlagOptions = {"yes"};

bool makeSession(const ParsedArgs& args, CliSession& session, std::string& error) {
    std::error_code ec;
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (ec) cwd = ".";
    session.ws = std::make_unique<Workspace>(session.ui, defaultSettings(cwd));
    session.ui.assumeYes = args.flag("yes");
    if (auto w = args.value("grid-width")) {
        int n = 0;
        if (std::sscanf(w->c_str(), "%d", &n) != 1 || n <= 0) {
            error = "--grid-width needs a positive number, not \"" + *w + "\"";
            return false;
        }
        session.ui.answers["ETOPO Size"] = *w;
        session.ui.answers["DTED grid size"] = *w;
    }
    if (auto m = args.value("dted-merge")) {
        int e, n, g;
        char tail;
        if (std::sscanf(m->c_str(), "%d,%d,%d%c", &e, &n, &g, &tail) != 3) {
            error = "--dted-merge needs EAST,NORTH,NUMGRID, not \"" + *m + "\"";
            return false;
        }
        session.ui.answers["Merge multiple grids"] = *m;
    }
    return applyOverrides(args, session.ws->settings, error);
}

bool applyOverrides(const ParsedArgs& args, ConversionSettings& settings, std::string& error) {
    for (const std::string& assignment : args.sets) {
        std::string why;
        if (!applySetting(settings, assignment, why)) {
            error = "--set " + assignment + ": " + why;
            return false;
        }
    }
    return true;
}

int openInput(const ParsedArgs& args, const std::string& path, CliSession& session) {
    Workspace& ws = *session.ws;
    ws.settings.DEMFile = path;
    if (auto t = args.value("type")) {
        int type = 0;
        const int lastType = static_cast<int>(kOpenDialogFileTypes.size());
        if (!scanInt(*t, type) || type < 1 || type > lastType)
            return usageError(format("--type needs a file type from 1 to %d, not \"%s\"", lastType, t->c_str()));
        ws.settings.FileType = type;
    }
    if (OpenElevationFile(ws) == kOpenElevationRead && ws.gridLoaded) return 0;
    return notReadError(path);
}

int notReadError(const std::string& file) {
    // Readers' own messages do not always name the file.
    std::fprintf(stderr, "gorvale-cli: error: %s was not read as an elevation model\n", file.c_str());
    return 1;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "gorvale-cli: %s (try gorvale-cli --help)\n", message.c_str());
    return 2;
}

}  // namespace gorvale::cli
