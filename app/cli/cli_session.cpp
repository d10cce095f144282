#include "app/cli/cli_session.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <unistd.h>

#include "app/cli/cli_commands.h"
#include "app/cli/file_types.h"
#include "app/core/settings_keys.h"
#include "base/text_convert.h"
#include "import/file_diagnosis.h"
#include "import/open_elevation_file.h"

namespace gorvale::cli {

const std::vector<std::string> kCommonValueOptions = {"grid-width", "dted-merge", "progress", "answer"};
const std::vector<std::string> kCommonFlagOptions = {"yes", "quiet"};

namespace {

bool checkDuplicateKeys(const ParsedArgs& args, std::string& error) {
    std::map<const SettingKey*, std::string> seen;
    for (const std::string& assignment : args.sets) {
        const SettingKey* k = settingOfAssignment(assignment);
        if (!k) continue;  // applyOverrides names the bad one
        auto [it, fresh] = seen.emplace(k, assignment);
        if (!fresh) {
            const bool secret = isSecretSetting(*k);
            error = "--set " + k->section + "." + k->key + " given twice (" +
                    (secret ? k->key + "=********, " + k->key + "=********" : it->second + ", " + assignment) + ")";
            return false;
        }
    }
    return true;
}

}  // namespace

bool makeSession(const ParsedArgs& args, CliSession& session, std::string& error) {
    std::error_code ec;
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (ec) cwd = ".";
    session.ws = std::make_unique<Workspace>(session.ui, defaultSettings(cwd));
    CliUserInterface& ui = session.ui;
    ui.assumeYes = args.flag("yes");
    ui.quiet = args.flag("quiet");
    ui.progress = isatty(STDERR_FILENO) ? ProgressMode::Bar : ProgressMode::Line;
    if (auto p = args.value("progress")) {
        if (*p == "none")
            ui.progress = ProgressMode::None;
        else if (*p == "line")
            ui.progress = ProgressMode::Line;
        else if (*p == "bar")
            ui.progress = ProgressMode::Bar;
        else {
            error = "--progress needs none, line or bar, not \"" + *p + "\"";
            return false;
        }
    }
    if (auto w = args.value("grid-width")) {
        int n = 0;
        if (!scanInt(*w, n) || n <= 0) {
            error = "--grid-width needs a positive number, not \"" + *w + "\"";
            return false;
        }
        ui.answers[Question::EtopoSize] = *w;
        ui.answers[Question::DtedGridSize] = *w;
    }
    if (auto m = args.value("dted-merge")) {
        int e, n, g;
        char tail;
        if (std::sscanf(m->c_str(), "%d,%d,%d%c", &e, &n, &g, &tail) != 3) {
            error = "--dted-merge needs EAST,NORTH,NUMGRID, not \"" + *m + "\"";
            return false;
        }
        ui.answers[Question::DtedMerge] = *m;
    }
    if (auto a = args.value("answer")) {
        if (*a == "ok")
            ui.buttonAnswers[ButtonQuestion::ElevationLimit] = Answer::Ok;
        else if (*a == "cancel")
            ui.buttonAnswers[ButtonQuestion::ElevationLimit] = Answer::Cancel;
        else {
            error = "--answer needs ok or cancel, not \"" + *a + "\"";
            return false;
        }
    }
    if (!checkDuplicateKeys(args, error)) return false;
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

int fileTypeFromOption(const std::string& text) {
    int type = 0;
    if (scanInt(text, type)) return findFileType(type) ? type : 0;
    const FileTypeRow* row = findFileType(text);
    return row ? row->number : 0;
}

bool openElevation(Workspace& ws, CliUserInterface& ui, OpenElevationOutcome* outcome) {
    const std::string path = ws.settings.DEMFile;
    if (const std::optional<FileProblem> problem = findElevationFileProblem(path)) {
        // The open command's own words, with the reason it leaves out.
        if (problem->cannotOpen)
            ui.error("Can't open " + path + ": " + problem->reason);
        else
            ui.error(path + " " + problem->reason);
        return false;
    }
    if (OpenElevationFile(ws, installedReaders(), outcome) == kOpenElevationRead && ws.gridLoaded) return true;
    // Readers' own messages do not always name the file.
    ui.error(path + " was not read as an elevation model");
    return false;
}

int openInput(const ParsedArgs& args, const std::string& path, CliSession& session,
              OpenElevationOutcome* outcome) {
    Workspace& ws = *session.ws;
    ws.settings.DEMFile = path;
    if (auto t = args.value("type")) {
        const int type = fileTypeFromOption(*t);
        if (type == 0)
            return usageError("--type needs a file type from 1 to 13 or its name (" + fileTypeNames() + "), not \"" +
                              *t + "\"");
        ws.settings.FileType = type;
    }
    return openElevation(ws, session.ui, outcome) ? kExitDone : kExitFailed;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "gorvale-cli: %s (try gorvale-cli --help)\n", message.c_str());
    return kExitUsage;
}

}  // namespace gorvale::cli
