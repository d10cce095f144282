// gorvale-cli generate: load a project as the program does at start-up,
// apply overrides and run Generate.
#include <cstdio>
#include <filesystem>
#include <unistd.h>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_session.h"
#include "app/core/conversion_job.h"
#include "app/core/project_file.h"
#include "app/core/project_hooks.h"
#include "import/grid_operations.h"

namespace gorvale::cli {
namespace {

// The command line's user interface for a run: counts tiles for the progress
// line and prints the log page.
class RunUserInterface : public CliUserInterface {
public:
    int tilesTotal = 0;
    int tilesDone = 0;
    void setStatus(int panel, const std::string& text) override {
        // The run shows each model path before writing it.
        if (panel == 0 && text != "Working...." && text != "Done!") reportTiles(tilesDone++, tilesTotal);
    }
    void appendLogPage(const std::string& line) override {
        endProgressLine();
        std::fputs(line.c_str(), stdout);
    }
};

bool touchesBoundingBox(const std::vector<std::string>& sets) {
    for (const std::string& s : sets)
        for (const char* key : {"FromSouth=", "FromWest=", "ToNorth=", "ToEast=", "ElevationModel.FromSouth=",
                                "ElevationModel.FromWest=", "ElevationModel.ToNorth=", "ElevationModel.ToEast="})
            if (s.rfind(key, 0) == 0) return true;
    return false;
}

// A batch run makes the output folders it will write to; an unwritable one still fails.
void makeOutputFolders(const ConversionSettings& s) {
    for (const std::string* path : {&s.RWXFile, &s.PropFile, &s.LogFile}) {
        if (path == &s.LogFile && !s.LogEnable) continue;
        const std::filesystem::path parent = std::filesystem::path(*path).parent_path();
        std::error_code ec;
        if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    }
}

void printWhereOutputWent(const Workspace& ws) {
    const ConversionSettings& s = ws.settings;
    if (!s.NoRWX && !s.AW_Terrain) {
        if (s.SingleObjectGround)
            std::printf("Model:    %s%s\n", s.RWXFile.c_str(), s.ZipIt ? ".zip" : ".rwx");
        else
            std::printf("Models:   %s*%s\n", s.RWXFile.c_str(), s.ZipIt ? ".zip" : ".rwx");
    }
    if (!s.NoPropfile && !s.AW_Terrain) std::printf("Propdump: %s\n", s.PropFile.c_str());
    if (s.LogEnable) std::printf("Log:      %s\n", s.LogFile.c_str());
}

}  // namespace

int runGenerate(int argc, char** argv, int first) {
    ParsedArgs args;
    std::string error;
    if (!parseArgs(argc, argv, first, kCommonValueOptions, kCommonFlagOptions, args, error))
        return usageError(error);
    if (args.positional.size() != 1) return usageError("generate needs exactly one PROJECT file");
    const std::string project = args.positional[0];

    RunUserInterface ui;
    ui.showProgress = isatty(STDERR_FILENO);
    CliSession session;
    if (!makeSession(args, session, error)) return usageError(error);
    Workspace ws(ui, session.ws->settings);
    ui.answers = session.ui.answers;
    ui.assumeYes = session.ui.assumeYes;

    std::error_code ec;
    if (!std::filesystem::is_regular_file(project, ec)) {
        std::fprintf(stderr, "gorvale-cli: error: cannot read the project file %s\n", project.c_str());
        return 1;
    }
    // Overrides apply before the elevation file opens (they may name another
    // file or change how it is read) and again after loading, so they win.
    ProjectLoadHooks hooks = standardProjectHooks();
    // The object size is refreshed before the file opens: an overridden
    // ObjectSize must be in place by then, or the objects keep the project's size.
    const auto refreshObjectSize = hooks.refreshObjectSize;
    hooks.refreshObjectSize = [&](Workspace& w) {
        std::string ignored;
        applyOverrides(args, w.settings, ignored);
        refreshObjectSize(w);
    };
    const auto open = hooks.openElevationFile;
    hooks.openElevationFile = [&](Workspace& w) {
        std::string ignored;
        applyOverrides(args, w.settings, ignored);
        makeOutputFolders(w.settings);  // the reader may already write the log
        return open(w);
    };
    if (!LoadProject(ws, project, hooks)) {
        std::fprintf(stderr, "gorvale-cli: error: cannot read the project file %s\n", project.c_str());
        return 1;
    }
    // The same overrides were accepted before loading; one refused now (the
    // project changed what it may be) must not be dropped silently.
    if (!applyOverrides(args, ws.settings, error)) return usageError(error);
    makeOutputFolders(ws.settings);
    if (touchesBoundingBox(args.sets)) {
        SnapNorthSouth(ws);
        SnapEastWest(ws);
    }
    if (!ws.gridLoaded) {
        std::fprintf(stderr, "gorvale-cli: error: no elevation grid: %s could not be read\n",
                     ws.settings.DEMFile.c_str());
        return 1;
    }

    CliUserInterface::installInterruptHandler();
    ConversionJob job(ws);
    ui.tilesTotal = SelectionTileCount(ws);
    const bool logWanted = ws.settings.LogEnable;
    // Only the run's own errors decide the result: a message while loading
    // (a reader that could not write its log) did not stop the grid.
    const int errorsBeforeRun = ui.errorCount();
    const GenerateOutcome outcome = job.Generate();
    ui.endProgressLine();
    // The run switches logging off, silently, when the log cannot be opened.
    if (outcome.started && logWanted && !ws.settings.LogEnable)
        std::fprintf(stderr, "gorvale-cli: warning: cannot write the log file %s; the run went on without a log\n",
                     ws.settings.LogFile.c_str());
    if (!outcome.started || outcome.runResult != kRunCompleted) return 1;
    if (outcome.layout.End == LayoutEnd::WriterFailed || ui.errorCount() > errorsBeforeRun) return 1;
    printWhereOutputWent(ws);
    std::printf("%d tiles written\n", outcome.layout.TilesDone);
    if (outcome.layout.End == LayoutEnd::Stopped) {
        std::fprintf(stderr, "gorvale-cli: stopped after %d tiles; the propdump holds the tiles done\n",
                     outcome.layout.TilesDone);
        return 130;
    }
    return 0;
}

}  // namespace gorvale::cli
