// gorvale-cli project new|show: write a project with overrides, or print one.
#include <cstdio>
#include <filesystem>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_session.h"
#include "app/core/project_file.h"
#include "app/core/settings_keys.h"

namespace gorvale::cli {
namespace {

int projectNew(CliSession& session, const std::string& path) {
    if (!SaveProject(*session.ws, path)) {
        std::fprintf(stderr, "gorvale-cli: error: cannot write the project file %s\n", path.c_str());
        return 1;
    }
    std::printf("Wrote %s\n", path.c_str());
    return 0;
}

int projectShow(CliSession& session, const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec) || !LoadProject(*session.ws, path)) {
        std::fprintf(stderr, "gorvale-cli: error: cannot read the project file %s\n", path.c_str());
        return 1;
    }
    std::fputs(describeSettings(session.ws->settings).c_str(), stdout);
    return 0;
}

}  // namespace

int runProject(int argc, char** argv, int first) {
    ParsedArgs args;
    std::string error;
    if (!parseArgs(argc, argv, first, kCommonValueOptions, kCommonFlagOptions, args, error))
        return usageError(error);
    if (args.positional.size() != 2 || (args.positional[0] != "new" && args.positional[0] != "show"))
        return usageError("project needs \"new FILE\" or \"show FILE\"");
    CliSession session;
    if (args.positional[0] == "show") {
        if (!args.sets.empty()) return usageError("project show takes no --set");
        if (!makeSession(args, session, error)) return usageError(error);
        return projectShow(session, args.positional[1]);
    }
    if (!makeSession(args, session, error)) return usageError(error);
    return projectNew(session, args.positional[1]);
}

}  // namespace gorvale::cli
