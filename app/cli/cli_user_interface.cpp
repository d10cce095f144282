#include "app/cli/cli_user_interface.h"

#include <csignal>
#include <cstdio>
#include <strings.h>
#include <unistd.h>

#include "base/text_convert.h"

namespace gorvale::cli {
namespace {

volatile std::sig_atomic_t stopSignalSeen = 0;

extern "C" void onStopSignal(int sig) {
    if (stopSignalSeen) std::_Exit(128 + sig);  // a second one ends at once
    stopSignalSeen = sig;
}

// A dialog text on one line of stderr: trailing line ends dropped, inner
// ones (as in "...grid:\nTotal Points: 14641") turned into blanks.
std::string oneLine(const std::string& text) {
    std::string r = text;
    while (!r.empty() && (r.back() == '\n' || r.back() == '\r')) r.pop_back();
    std::string out;
    for (std::size_t i = 0; i < r.size(); ++i) {
        if (r[i] == '\r' && i + 1 < r.size() && r[i + 1] == '\n') continue;
        out.push_back(r[i] == '\n' || r[i] == '\r' ? ' ' : r[i]);
    }
    return out;
}

// The command-line option that answers a question.
const char* optionFor(Question id) {
    switch (id) {
        case Question::EtopoSize:
        case Question::DtedGridSize: return "--grid-width N";
        case Question::DtedMerge: return "--dted-merge EAST,NORTH,NUMGRID";
        case Question::Other: break;
    }
    return "its option";
}

}  // namespace

std::string progressText(const RunProgress& p, double seconds) {
    const int percent = p.total > 0 ? static_cast<int>(100LL * p.done / p.total) : 100;
    std::string text = format("%3d%% %d of %d tiles", percent, p.done, p.total);
    if (seconds >= 1.0 && p.done > 0) {
        const double rate = p.done / seconds;
        const long left = static_cast<long>((p.total - p.done) / rate);
        text += format(", %.0f models/s, %ld:%02ld left", rate, left / 60, left % 60);
    }
    return text;
}

Answer CliUserInterface::message(const std::string& text, const std::string& caption,
                                 MessageKind kind, Buttons buttons) {
    const char* prefix = kind == MessageKind::Error     ? "error"
                         : kind == MessageKind::Warning ? "warning"
                                                        : "note";
    if (kind == MessageKind::Error) ++errors_;
    if (kind == MessageKind::Error || !quiet) {
        endProgressLine();
        // A caption that only repeats the kind ("Error", "Warning!") is left out.
        std::string shownCaption = caption;
        while (!shownCaption.empty() && shownCaption.back() == '!') shownCaption.pop_back();
        if (shownCaption.empty() || strcasecmp(shownCaption.c_str(), prefix) == 0)
            std::fprintf(stderr, "gorvale-cli: %s: %s\n", prefix, oneLine(text).c_str());
        else
            std::fprintf(stderr, "gorvale-cli: %s: %s: %s\n", prefix, caption.c_str(), oneLine(text).c_str());
    }
    switch (buttons) {
        case Buttons::Ok: return Answer::Ok;
        case Buttons::OkCancel: return assumeYes ? Answer::Ok : Answer::Cancel;
        case Buttons::YesCancel: return assumeYes ? Answer::Yes : Answer::Cancel;
        case Buttons::YesNo:
        case Buttons::YesNoCancel: return assumeYes ? Answer::Yes : Answer::No;
    }
    return Answer::Ok;
}

Answer CliUserInterface::question(ButtonQuestion id, const std::string& text, const std::string& caption,
                                  MessageKind kind, Buttons buttons) {
    const char* option = id == ButtonQuestion::ElevationLimit ? "--answer ok|cancel" : "its option";
    const auto it = buttonAnswers.find(id);
    message(text, caption, kind, Buttons::Ok);
    if (it != buttonAnswers.end()) return it->second;
    error(std::string("\"") + caption + "\" needs an answer; give it with " + option);
    return buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel ? Answer::No : Answer::Cancel;
}

void CliUserInterface::fileError(const std::string& detail) {
    ++errors_;
    endProgressLine();
    std::fprintf(stderr, "gorvale-cli: error: %s %s\n", kFileErrorLine, detail.c_str());
}

void CliUserInterface::note(const std::string& kind, const std::string& text) {
    if (quiet) return;
    endProgressLine();
    std::fprintf(stderr, "gorvale-cli: %s: %s\n", kind.c_str(), text.c_str());
}

void CliUserInterface::error(const std::string& text) {
    ++errors_;
    endProgressLine();
    std::fprintf(stderr, "gorvale-cli: error: %s\n", text.c_str());
}

std::optional<std::string> CliUserInterface::ask(const AskRequest& request) {
    auto it = answers.find(request.id);
    if (it != answers.end() && request.id != Question::Other) {
        // A dialog asks again when the answer did not fit (the ETOPO5 width
        // must divide the sample count); the option's answer cannot change,
        // so asking again would never end.
        if (++askedTimes_[request.id] == 1) return it->second;
        error("the answer \"" + it->second + "\" to \"" + request.caption + "\" does not fit the file (" +
              oneLine(request.prompt) + "); give another with " + optionFor(request.id));
        return std::nullopt;
    }
    // Merging DTED tiles is an offer, not a question that needs an answer.
    if (request.id == Question::DtedMerge) return std::nullopt;
    // The DTED field starts at the posts per profile: a batch run takes it.
    if (request.id == Question::DtedGridSize && !request.initial.empty() && ++askedTimes_[request.id] == 1) {
        note("note", "\"" + request.caption + "\": took " + request.initial +
                         ", the posts per profile; give another with --grid-width N");
        return request.initial;
    }
    endProgressLine();
    ++errors_;
    std::fprintf(stderr, "gorvale-cli: error: the file needs an answer to \"%s\" (%s); give it with %s\n",
                 request.caption.c_str(), oneLine(request.prompt).c_str(), optionFor(request.id));
    return std::nullopt;
}

void CliUserInterface::setStatus(int, const std::string&) {}

bool CliUserInterface::stopRequested() const { return stopSignalSeen != 0; }

int CliUserInterface::stopSignal() { return stopSignalSeen; }

void CliUserInterface::installStopHandler() {
    stopSignalSeen = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
}

void CliUserInterface::beginRun() {
    started_ = std::chrono::steady_clock::now();
    lastDrawn_ = {};
}

void CliUserInterface::runProgress(const RunProgress& p) {
    if (progress == ProgressMode::None || quiet) return;
    const auto now = std::chrono::steady_clock::now();
    if (started_ == std::chrono::steady_clock::time_point{}) started_ = now;
    const bool last = p.done >= p.total;
    const bool first = lastDrawn_ == std::chrono::steady_clock::time_point{};
    const double seconds = std::chrono::duration<double>(now - started_).count();
    if (progress == ProgressMode::Bar) {
        if (!first && !last && now - lastDrawn_ < barInterval) return;
        std::fprintf(stderr, "\r%s   ", progressText(p, seconds).c_str());
        std::fflush(stderr);
        progressShown_ = true;
    } else {
        if (first) lastDrawn_ = now;  // the first line after one interval
        if (now - lastDrawn_ < lineInterval) return;
        std::fprintf(stderr, "gorvale-cli: %s\n", progressText(p, seconds).c_str());
    }
    lastDrawn_ = now;
}

void CliUserInterface::endProgressLine() {
    if (!progressShown_) return;
    std::fputc('\n', stderr);
    progressShown_ = false;
}

void CliUserInterface::statusLine(const std::string& text) {
    if (progressShown_) {
        std::fputs("\r\033[K", stderr);  // clear the progress line
        progressShown_ = false;
    }
    std::fprintf(stderr, "%s\n", oneLine(text).c_str());
}

}  // namespace gorvale::cli
