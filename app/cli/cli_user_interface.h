#pragma once
// The command line's face of the core: messages go to stderr, questions are
// answered from command-line options, progress is drawn on a terminal, and
// Ctrl-C works as the stop button.

#include <chrono>
#include <map>
#include <optional>
#include <string>

#include "base/user_interface.h"

namespace gorvale::cli {

// Window-only calls (title, progress bar, command states, cursor) stay the
// silent interface's no-ops.
class CliUserInterface : public SilentUserInterface {
public:
    // Answers for ask(), by dialog caption (e.g. "ETOPO Size" -> "2").
    std::map<std::string, std::string> answers;
    // Answer to yes/no questions (--yes).
    bool assumeYes = false;
    // Show a progress line on stderr when it is a terminal.
    bool showProgress = false;

    Answer message(const std::string& text, const std::string& caption, MessageKind kind,
                   Buttons buttons) override;
    void fileError(const std::string& detail) override;
    std::optional<std::string> ask(const AskRequest& request) override;
    void setLabel(Label which, const std::string& text) override { labels_[which] = text; }
    void setStatus(int panel, const std::string& text) override;
    bool stopRequested() const override;

    std::string label(Label which) const;
    int errorCount() const { return errors_; }
    // Makes Ctrl-C request a stop instead of killing the program.
    static void installInterruptHandler();

    // Progress of a tile loop: "done of total, models per second".
    void reportTiles(int done, int total);
    void endProgressLine();
    // A status line on stderr; on a terminal it scrolls above the progress
    // line, which the next progress report draws again.
    void statusLine(const std::string& text);

private:
    std::map<Label, std::string> labels_;
    std::map<std::string, int> askedTimes_;  // by caption, for answers taken from options
    int errors_ = 0;
    bool progressShown_ = false;
    std::chrono::steady_clock::time_point started_{};
};

}  // namespace gorvale::cli
