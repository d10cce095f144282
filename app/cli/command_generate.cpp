// gorvale-cli generate: load a project as the program does at start-up,
// apply overrides and run Generate.
#include <cstdio>
#include <filesystem>
#include <set>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_session.h"
#include "app/cli/project_loading.h"
#include "app/core/conversion_job.h"
#include "app/core/run_plan.h"
#include "import/grid_operations.h"
#include "world/builder_bot.h"
#include "world/native_terrain.h"

namespace gorvale::cli {
namespace {

// The command line's user interface for a run: prints the log page and
// notes the models written.
class RunUserInterface : public CliUserInterface {
public:
    std::set<std::string> writtenStems;  // model paths without extension
    void runProgress(const RunProgress& p) override {
        if (!p.currentPath.empty())
            writtenStems.insert(std::filesystem::path(p.currentPath).replace_extension().string());
        CliUserInterface::runProgress(p);
    }
    void setStatus(int panel, const std::string& text) override {
        if (panel == kStatusPanelFtp) statusLine("ftp: " + text);
    }
    void appendLogPage(const std::string& line) override {
        if (quiet) return;
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

void printWhereOutputWent(const Workspace& ws) {
    const ConversionSettings& s = ws.settings;
    if (!s.NoRWX && !s.AW_Terrain) {
        if (s.SingleObjectGround)
            std::printf("Model:    %s%s\n", s.RWXFile.c_str(), s.ZipIt ? ".zip" : ".rwx");
        else
            std::printf("Models:   %s*%s\n", s.RWXFile.c_str(), s.ZipIt ? ".zip" : ".rwx");
    }
    if (!s.NoPropfile && !s.AW_Terrain) std::printf("Propdump: %s\n", s.PropFile.c_str());
    if (!s.NoPropfile && s.AW_Terrain) std::printf("Elevdump: %s\n", s.PropFile.c_str());
    if (s.LogEnable) std::printf("Log:      %s\n", s.LogFile.c_str());
}

void warnAboutStaleModels(RunUserInterface& ui, const ConversionSettings& s) {
    if (s.NoRWX || s.AW_Terrain || s.SingleObjectGround) return;
    const std::vector<std::string> stale = modelsNotRewritten(s, ui.writtenStems);
    if (stale.empty()) return;
    ui.note("warning", std::to_string(stale.size()) + " model file(s) such as " + stale.front() +
                           " are left from an earlier run: this run did not rewrite them and its propdump does "
                           "not place them");
}

// What reached the FTP server, whatever else the run did.
void printUploads(const Workspace& ws, const GenerateOutcome& outcome) {
    if (!ws.settings.FtpToHost || !outcome.started) return;
    const UploadTally& u = outcome.uploads;
    std::printf("FTP: %d archives uploaded, %d retried, %d failed\n", u.uploaded, u.retried, u.failed);
}

// The end of a native-terrain run as the exit code.
int terrainResult(CliUserInterface& ui, const Workspace& ws, const TerrainOutcome& t) {
    switch (t.end) {
        case TerrainEnd::Cancelled:
            ui.note("note", "cancelled at the elevation warning: nothing was sent and no elevation dump written");
            return kExitFailed;
        case TerrainEnd::Refused: return kExitFailed;
        case TerrainEnd::Stopped: {
            const int sig = CliUserInterface::stopSignal();
            ui.note("note", std::to_string(t.stripsSent) + " terrain strips were sent before the run ended" +
                                (t.nodesWritten >= 0 ? "; the elevation dump holds them" : ""));
            return sig != 0 ? kExitSignalBase + sig : kExitFailed;
        }
        case TerrainEnd::Completed: break;
    }
    if (t.elevdumpFailed) return kExitFailed;
    if (!ui.quiet) {
        printWhereOutputWent(ws);
        std::printf("%d terrain strips %s\n", t.stripsSent, ws.settings.BuildWithRobot ? "sent" : "mirrored");
    }
    return kExitDone;
}

}  // namespace

int runGenerate(int argc, char** argv, int first) {
    ParsedArgs args;
    std::string error;
    std::vector<std::string> valueOptions = kCommonValueOptions;
    valueOptions.push_back("robot-log");
    std::vector<std::string> flagOptions = kCommonFlagOptions;
    flagOptions.push_back("dry-run");
    if (!parseArgs(argc, argv, first, valueOptions, flagOptions, args, error)) return usageError(error);
    if (args.positional.size() != 1) return usageError("generate needs exactly one PROJECT file");
    const std::string project = args.positional[0];
    const bool dryRun = args.flag("dry-run");

    CliSession session;
    if (!makeSession(args, session, error)) return usageError(error);
    RunUserInterface ui;
    ui.answers = session.ui.answers;
    ui.buttonAnswers = session.ui.buttonAnswers;
    ui.assumeYes = session.ui.assumeYes;
    ui.quiet = session.ui.quiet;
    ui.progress = session.ui.progress;
    Workspace ws(ui, session.ws->settings);

    ProjectLoadOptions options;
    options.makeOutputFolders = !dryRun;
    options.writeReaderLog = !dryRun;
    if (const int rc = loadProjectForCli(ws, ui, args, project, options); rc != kExitDone) return rc;
    if (touchesBoundingBox(args.sets)) {
        SnapNorthSouth(ws);
        SnapEastWest(ws);
    }
    if (!ws.gridLoaded) {
        ui.error("no elevation grid: " + ws.settings.DEMFile + " could not be read");
        return kExitFailed;
    }

    const RunPlan plan = planRun(ws);
    if (!ui.quiet || dryRun) std::fputs(describeRunPlan(plan, ws.settings).c_str(), dryRun ? stdout : stderr);
    if (dryRun) return kExitDone;

    CliUserInterface::installStopHandler();
    ConversionJob job(ws);
    // The robot log's lines show on stderr as they come; --robot-log keeps them.
    job.bot().Log().OnLine = [&ui](const std::string& line) {
        ui.endProgressLine();
        std::fprintf(stderr, "%s\n", line.c_str());
    };
    const std::optional<std::string> robotLog = args.value("robot-log");
    const auto saveRobotLog = [&]() {
        std::string saveError;
        if (!robotLog || job.bot().Log().SaveLog(*robotLog, saveError)) return true;
        ui.error(saveError);
        return false;
    };
    const bool logWanted = ws.settings.LogEnable;
    // Only the run's own errors decide the result: a message while loading
    // (a reader that could not write its log) did not stop the grid.
    const int errorsBeforeRun = ui.errorCount();
    ui.beginRun();
    const GenerateOutcome outcome = job.Generate();
    ui.endProgressLine();
    // The run switches logging off, silently, when the log cannot be opened.
    if (outcome.started && logWanted && !ws.settings.LogEnable)
        ui.note("warning", "cannot write the log file " + ws.settings.LogFile + "; the run went on without a log");
    const bool robotLogSaved = saveRobotLog();
    if (!outcome.started && ws.settings.BuildWithRobot && !job.bot().Log().Lines().empty()) {
        ui.error("the builder bot could not start (robot log above); nothing was written");
        return kExitFailed;
    }
    printUploads(ws, outcome);  // also when an upload failed: the summary says how many
    if (!outcome.started || outcome.runResult != kRunCompleted || !robotLogSaved) return kExitFailed;
    if (outcome.layout.End == LayoutEnd::WriterFailed || ui.errorCount() > errorsBeforeRun) return kExitFailed;
    if (ws.settings.AW_Terrain) return terrainResult(ui, ws, job.terrainOutcome());
    if (!ui.quiet) {
        printWhereOutputWent(ws);
        std::printf("%d tiles written\n", outcome.layout.TilesDone);
    }
    if (outcome.layout.End == LayoutEnd::Stopped) {
        const int sig = CliUserInterface::stopSignal();
        ui.note("note", "stopped after " + std::to_string(outcome.layout.TilesDone) +
                            " tiles; the propdump holds the tiles done");
        return kExitSignalBase + (sig != 0 ? sig : 2);
    }
    warnAboutStaleModels(ui, ws.settings);
    return kExitDone;
}

}  // namespace gorvale::cli
