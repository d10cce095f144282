// gorvale-cli project new|show|keys: write a project with overrides, print
// one, or list the keys.
#include <cstdio>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_session.h"
#include "app/cli/project_loading.h"
#include "app/core/project_file.h"
#include "app/core/settings_keys.h"

namespace gorvale::cli {
namespace {

int projectNew(CliSession& session, const std::string& path) {
    if (!SaveProject(*session.ws, path)) {
        session.ui.error("cannot write the project file " + path);
        return kExitFailed;
    }
    if (!session.ui.quiet) std::printf("Wrote %s\n", path.c_str());
    return kExitDone;
}

int projectShow(CliSession& session, const ParsedArgs& args, const std::string& path) {
    ProjectLoadOptions options;
    options.openElevationFile = false;
    options.makeOutputFolders = false;
    options.resolvePaths = false;  // the file's own text
    if (const int rc = loadProjectForCli(*session.ws, session.ui, args, path, options); rc != kExitDone) return rc;
    std::fputs(describeSettings(session.ws->settings).c_str(), stdout);
    return kExitDone;
}

}  // namespace

int runProject(int argc, char** argv, int first) {
    ParsedArgs args;
    std::string error;
    if (!parseArgs(argc, argv, first, kCommonValueOptions, kCommonFlagOptions, args, error))
        return usageError(error);
    if (args.positional.size() == 1 && args.positional[0] == "keys") return printKeys();
    if (args.positional.size() != 2 || (args.positional[0] != "new" && args.positional[0] != "show"))
        return usageError("project needs \"new FILE\", \"show FILE\" or \"keys\"");
    CliSession session;
    if (args.positional[0] == "show" && !args.sets.empty()) return usageError("project show takes no --set");
    if (!makeSession(args, session, error)) return usageError(error);
    if (args.positional[0] == "show") return projectShow(session, args, args.positional[1]);
    return projectNew(session, args.positional[1]);
}

}  // namespace gorvale::cli
