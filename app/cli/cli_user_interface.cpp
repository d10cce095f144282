#include "app/cli/cli_user_interface.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace gorvale::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int) {
    if (interrupted) std::_Exit(130);  // a second Ctrl-C ends at once
    interrupted = 1;
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

// The command-line option that answers a dialog.
const char* optionFor(const std::string& caption) {
    if (caption == "ETOPO Size" || caption == "DTED grid size") return "--grid-width N";
    if (caption == "Merge multiple grids") return "--dted-merge EAST,NORTH,NUMGRID";
    return "its option";
}

}  // namespace

Answer CliUserInterface::message(const std::string& text, const std::string& caption,
                                 MessageKind kind, Buttons buttons) {
    if (kind == MessageKind::Error) ++errors_;
    endProgressLine();
    const char* prefix = kind == MessageKind::Error     ? "error"
                         : kind == MessageKind::Warning ? "warning"
                                                        : "note";
    if (caption.empty())
        std::fprintf(stderr, "gorvale-cli: %s: %s\n", prefix, oneLine(text).c_str());
    else
        std::fprintf(stderr, "gorvale-cli: %s: %s: %s\n", prefix, caption.c_str(), oneLine(text).c_str());
    switch (buttons) {
        case Buttons::Ok: return Answer::Ok;
        case Buttons::OkCancel: return assumeYes ? Answer::Ok : Answer::Cancel;
        case Buttons::YesCancel: return assumeYes ? Answer::Yes : Answer::Cancel;
        case Buttons::YesNo:
        case Buttons::YesNoCancel: return assumeYes ? Answer::Yes : Answer::No;
    }
    return Answer::Ok;
}

void CliUserInterface::fileError(const std::string& detail) {
    ++errors_;
    endProgressLine();
    std::fprintf(stderr, "gorvale-cli: error: %s %s\n", kFileErrorLine, detail.c_str());
}

std::optional<std::string> CliUserInterface::ask(const AskRequest& request) {
    auto it = answers.find(request.caption);
    if (it != answers.end()) {
        // A dialog asks again when the answer did not fit (the ETOPO5 width
        // must divide the sample count); the option's answer cannot change,
        // so asking again would never end.
        if (++askedTimes_[request.caption] == 1) return it->second;
        ++errors_;
        endProgressLine();
        std::fprintf(stderr, "gorvale-cli: error: the answer \"%s\" to \"%s\" does not fit the file (%s); give another "
                     "with %s\n",
                     it->second.c_str(), request.caption.c_str(), oneLine(request.prompt).c_str(),
                     optionFor(request.caption));
        return std::nullopt;
    }
    // Merging DTED tiles is an offer, not a question that needs an answer.
    if (request.caption == "Merge multiple grids") return std::nullopt;
    endProgressLine();
    std::fprintf(stderr, "gorvale-cli: the file needs an answer to \"%s\" (%s); give it with %s\n",
                 request.caption.c_str(), oneLine(request.prompt).c_str(), optionFor(request.caption));
    return std::nullopt;
}

void CliUserInterface::setStatus(int, const std::string&) {}

bool CliUserInterface::stopRequested() const { return interrupted != 0; }

std::string CliUserInterface::label(Label which) const {
    auto it = labels_.find(which);
    return it == labels_.end() ? std::string() : it->second;
}

void CliUserInterface::installInterruptHandler() {
    interrupted = 0;
    std::signal(SIGINT, onInterrupt);
}

void CliUserInterface::reportTiles(int done, int total) {
    if (!showProgress) return;
    const auto now = std::chrono::steady_clock::now();
    if (done == 0 || started_ == std::chrono::steady_clock::time_point{}) started_ = now;
    const double seconds = std::chrono::duration<double>(now - started_).count();
    const double rate = seconds > 0 ? done / seconds : 0.0;
    std::fprintf(stderr, "\r%d of %d tiles, %.0f models/s   ", done, total, rate);
    std::fflush(stderr);
    progressShown_ = true;
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
