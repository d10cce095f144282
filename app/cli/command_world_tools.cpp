// gorvale-cli build and delete: the builder bot's commands that work on a
// world's objects without a Generate run.
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/cli/cli_commands.h"
#include "app/cli/cli_session.h"
#include "app/cli/project_loading.h"
#include "world/builder_bot.h"
#include "world/object_deletion.h"
#include "world/propdump_build.h"

namespace gorvale::cli {

extern const char* const kBuildUsage = R"(  build FILE --rect N,W,S,E [--project FILE.gvl] [--set KEY=VALUE ...] [--robot-log FILE]
      Builds the objects of FILE (a saved robot log, a propdump, or records of the shorter
      layouts) whose position shifted by the bot centre (BotCenterN, BotCenterW) lies in the
      rectangle, borders included. N,W,S,E are AW units (10 m): N and W positive, S and E
      negative. The bot settings (BotCitNumber, BotPrivPassw, BotWorldName, BotUniverseURL,
      BotUniversePort, BotSpeedBar) come from the project and --set. Asks "Are you sure?":
      answer with --yes.
      --robot-log FILE  save the robot log (CR LF) when the command ends
)";

extern const char* const kDeleteUsage =
    R"(  delete --rect N,W,S,E --pattern P [--pattern P ...] [--citizen N] [--project FILE.gvl] [--set ...]
      Deletes every object strictly inside the rectangle whose model name matches a pattern
      (* any run up to the next character's first occurrence, ? one character), only of
      owner N with --citizen. Each deleted object goes to the robot log as a propdump line;
      "gorvale-cli build LOG" puts them back. Asks "Are you sure?": answer with --yes.
      --robot-log FILE  save the robot log (CR LF) when the command ends
)";

namespace {

// What both commands set up: options, settings, the bot with its log on stderr.
struct WorldCommand {
    ParsedArgs args;
    CliSession session;
    BuildRectangle rect;
    BuilderBot bot;
};

int prepare(int argc, char** argv, int first, WorldCommand& c, const char* name) {
    std::string error;
    std::vector<std::string> valueOptions = kCommonValueOptions;
    for (const char* o : {"rect", "project", "robot-log", "citizen"}) valueOptions.push_back(o);
    if (!parseArgs(argc, argv, first, valueOptions, kCommonFlagOptions, c.args, error)) return usageError(error);
    const std::optional<std::string> rect = c.args.value("rect");
    if (!rect) return usageError(std::string(name) + " needs --rect N,W,S,E");
    if (!ParseAwRectangle(*rect, c.rect))
        return usageError("--rect needs four whole numbers N,W,S,E in AW units, not \"" + *rect + "\"");
    if (!makeSession(c.args, c.session, error)) return usageError(error);
    if (const std::optional<std::string> project = c.args.value("project")) {
        ProjectLoadOptions options;
        options.openElevationFile = false;
        options.makeOutputFolders = false;
        options.writeReaderLog = false;
        if (const int rc = loadProjectForCli(*c.session.ws, c.session.ui, c.args, *project, options); rc != kExitDone)
            return rc;
    }
    if (const int rc = c.bot.Initialize()) {
        c.session.ui.error(BuilderBot::InitializeFailureText(rc));
        return kExitFailed;
    }
    CliUserInterface& ui = c.session.ui;
    c.bot.Log().OnLine = [&ui](const std::string& line) {
        ui.endProgressLine();
        std::fprintf(stderr, "%s\n", line.c_str());
    };
    CliUserInterface::installStopHandler();
    return kExitDone;
}

bool saveRobotLog(WorldCommand& c) {
    const std::optional<std::string> path = c.args.value("robot-log");
    std::string error;
    if (!path || c.bot.Log().SaveLog(*path, error)) return true;
    c.session.ui.error(error);
    return false;
}

int stoppedExit() {
    const int sig = CliUserInterface::stopSignal();
    return kExitSignalBase + (sig != 0 ? sig : 2);
}

// --pattern may be given many times: taken out before the common parser,
// which allows each option once.
std::vector<std::string> takePatterns(int argc, char** argv, int first, std::vector<char*>& rest) {
    std::vector<std::string> patterns;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        if (i >= first && a == "--pattern" && i + 1 < argc) {
            patterns.push_back(argv[++i]);
        } else if (i >= first && a.rfind("--pattern=", 0) == 0) {
            patterns.push_back(a.substr(10));
        } else {
            rest.push_back(argv[i]);
        }
    }
    return patterns;
}

}  // namespace

int runBuild(int argc, char** argv, int first) {
    WorldCommand c;
    if (const int rc = prepare(argc, argv, first, c, "build"); rc != kExitDone) return rc;
    if (c.args.positional.size() != 1) return usageError("build needs exactly one FILE of objects");
    CliUserInterface& ui = c.session.ui;
    const PropdumpBuildOutcome o =
        BuildFromPropdump(c.session.ws->settings, c.bot, ui, c.args.positional[0], c.rect);
    const bool saved = saveRobotLog(c);
    if (!o.started || !saved) return kExitFailed;
    if (!ui.quiet) std::printf("%d objects sent of %d records read\n", o.built, o.records);
    if (o.connectionLost) {
        ui.error("the world went away during the build (robot log above)");
        return kExitFailed;
    }
    if (o.stopped) return stoppedExit();
    return kExitDone;
}

int runDelete(int argc, char** argv, int first) {
    std::vector<char*> rest;
    const std::vector<std::string> patterns = takePatterns(argc, argv, first, rest);
    WorldCommand c;
    if (const int rc = prepare(static_cast<int>(rest.size()), rest.data(), first, c, "delete"); rc != kExitDone)
        return rc;
    if (!c.args.positional.empty()) return usageError("delete takes no file: " + c.args.positional[0]);
    CliUserInterface& ui = c.session.ui;
    const std::optional<std::string> citizen = c.args.value("citizen");
    ObjectDeletion deletion(c.bot, ui);
    if (!DeleteObjects(c.session.ws->settings, c.bot, ui, deletion, c.rect, patterns, citizen.value_or(""),
                       citizen.has_value()))
        return kExitFailed;
    bool stopped = false;
    while (deletion.Running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kDeleteTickMs));
        // A stop between sectors ends the walk too, not only one among found objects.
        if (ui.stopRequested()) {
            stopped = true;
            c.bot.StopBot();
            break;
        }
        deletion.DeleteTimerTimer();
    }
    const bool saved = saveRobotLog(c);
    if (!ui.quiet) std::printf("%d objects deleted\n", deletion.Deleted());
    if (deletion.Failed() || !saved) return kExitFailed;
    if (stopped) return stoppedExit();
    return kExitDone;
}

}  // namespace gorvale::cli
