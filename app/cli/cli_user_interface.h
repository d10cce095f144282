#pragma once
// The command line's face of the core: messages go to stderr, questions are
// answered from command-line options, run progress is drawn on stderr, and
// Ctrl-C, SIGTERM and SIGHUP work as the stop button.

#include <chrono>
#include <map>
#include <optional>
#include <string>

#include "base/button_question.h"
#include "base/user_interface.h"

namespace gorvale::cli {

enum class ProgressMode { None, Line, Bar };

// Window-only calls (title, progress bar, command states, cursor) stay the
// silent interface's no-ops.
class CliUserInterface : public SilentUserInterface, public ButtonQuestionAnswerer {
public:
    // Answers for ask(), by question (e.g. EtopoSize -> "2").
    std::map<Question, std::string> answers;
    // Answers to button questions, by question (--answer ok|cancel).
    std::map<ButtonQuestion, Answer> buttonAnswers;
    // Answer to yes/no questions (--yes).
    bool assumeYes = false;
    // Nothing but errors on stderr (-q).
    bool quiet = false;
    ProgressMode progress = ProgressMode::None;
    // Redraw intervals of the progress modes.
    std::chrono::milliseconds barInterval{100};
    std::chrono::milliseconds lineInterval{10000};

    Answer message(const std::string& text, const std::string& caption, MessageKind kind,
                   Buttons buttons) override;
    // A known question is answered from its option; without one it is
    // refused (Cancel) with an error naming the option.
    Answer question(ButtonQuestion id, const std::string& text, const std::string& caption, MessageKind kind,
                    Buttons buttons) override;
    void fileError(const std::string& detail) override;
    std::optional<std::string> ask(const AskRequest& request) override;
    void setStatus(int panel, const std::string& text) override;
    bool stopRequested() const override;
    void runProgress(const RunProgress& progress) override;

    int errorCount() const { return errors_; }
    // A warning or note of the command line itself (silent with quiet).
    void note(const std::string& kind, const std::string& text);
    void error(const std::string& text);

    // Makes Ctrl-C, SIGTERM and SIGHUP request a stop instead of ending the
    // program; a second one ends it at once.
    static void installStopHandler();
    // The signal that asked for the stop, or 0.
    static int stopSignal();

    // Starts the clock of the progress display.
    void beginRun();
    void endProgressLine();
    // A status line on stderr; on a terminal it scrolls above the progress
    // line, which the next progress report draws again.
    void statusLine(const std::string& text);

private:
    std::map<Question, int> askedTimes_;  // answers taken from options
    int errors_ = 0;
    bool progressShown_ = false;
    std::chrono::steady_clock::time_point started_{};
    std::chrono::steady_clock::time_point lastDrawn_{};
};

// "45% 1234 of 2800 tiles, 85 models/s, 0:18 left" (the rate and time left
// once a second has passed).
std::string progressText(const RunProgress& p, double seconds);

}  // namespace gorvale::cli
