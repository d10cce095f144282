#include "app/cli/project_loading.h"

#include <filesystem>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_session.h"
#include "app/core/project_check.h"
#include "app/core/project_file.h"
#include "app/core/project_hooks.h"
#include "app/core/project_paths.h"

namespace gorvale::cli {
namespace {

// More would bury the first ones; a file that bad needs a look anyway.
constexpr std::size_t kMaxWarnings = 20;

// A batch run makes the output folders it names; an unwritable one still fails.
void makeOutputFolders(const ConversionSettings& s) {
    for (const std::string* path : {&s.RWXFile, &s.PropFile, &s.LogFile}) {
        const std::filesystem::path parent = std::filesystem::path(*path).parent_path();
        std::error_code ec;
        if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    }
}

}  // namespace

int loadProjectForCli(Workspace& ws, CliUserInterface& ui, const ParsedArgs& args, const std::string& project,
                      const ProjectLoadOptions& options) {
    const ProjectCheck check = checkProjectFile(project);
    if (!check.opened) {
        ui.error("cannot read the project file " + project + ": " + check.openError);
        return kExitFailed;
    }
    if (!check.anySection) {
        ui.error(project + " is not a project file: it holds no [ElevationModel], [WorldParameters] or other "
                           "section (an elevation file goes to \"info\", or into a project with project new --set "
                           "DEMFile=...)");
        return kExitFailed;
    }

    ProjectLoadHooks hooks = standardProjectHooks();
    // The project's own relative paths are taken from its folder, once,
    // before any override (whose paths are the current folder's) goes in.
    bool resolved = false;
    auto resolveThenOverride = [&](Workspace& w) {
        if (!resolved && options.resolvePaths) resolveProjectPaths(w.settings, project);
        resolved = true;
        std::string ignored;
        applyOverrides(args, w.settings, ignored);  // checked in makeSession
    };
    // The object size is refreshed before the file opens: an overridden
    // ObjectSize must be in place by then, or the objects keep the project's size.
    const auto refreshObjectSize = hooks.refreshObjectSize;
    hooks.refreshObjectSize = [&](Workspace& w) {
        resolveThenOverride(w);
        refreshObjectSize(w);
    };
    if (options.openElevationFile) {
        hooks.openElevationFile = [&](Workspace& w) {
            resolveThenOverride(w);
            if (options.makeOutputFolders) makeOutputFolders(w.settings);  // the reader may already write the log
            const bool log = w.settings.LogEnable;
            if (!options.writeReaderLog) w.settings.LogEnable = false;
            const bool opened = openElevation(w, ui, options.outcome);
            w.settings.LogEnable = log;
            return opened;
        };
    } else {
        hooks.openElevationFile = nullptr;
    }
    if (!LoadProject(ws, project, hooks)) {
        ui.error("cannot read the project file " + project);
        return kExitFailed;
    }
    if (!resolved && options.resolvePaths) resolveProjectPaths(ws.settings, project);
    resolved = true;
    // The same overrides were accepted before loading; one refused now (the
    // project changed what it may be) must not be dropped silently.
    std::string overrideError;
    if (!applyOverrides(args, ws.settings, overrideError)) return usageError(overrideError);
    if (options.makeOutputFolders) makeOutputFolders(ws.settings);

    for (std::size_t i = 0; i < check.issues.size() && i < kMaxWarnings; ++i)
        ui.note("warning", projectIssueText(project, check.issues[i], ws.settings));
    if (check.issues.size() > kMaxWarnings)
        ui.note("warning",
                project + ": " + std::to_string(check.issues.size() - kMaxWarnings) + " more lines like these");
    return kExitDone;
}

}  // namespace gorvale::cli
