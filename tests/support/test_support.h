#pragma once
// Helpers shared by the tests: where the sample files are, scratch folders,
// and a user interface that records every call so tests can assert on it.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/user_interface.h"

namespace gorvale::test {

// tests/data: the sample files (their sources in tests/data/SOURCES.md).
std::filesystem::path testdataDir();
// A file of tests/data.
std::filesystem::path sample(const std::string& relative);

// Base of test suites whose every test reads the samples: fails when the
// folder is missing.
class TestdataTest : public ::testing::Test {
protected:
    void SetUp() override;
};

// A fresh empty folder under the system temp dir, removed by the destructor.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string readFileBytes(const std::filesystem::path& path);
void writeFileBytes(const std::filesystem::path& path, const std::string& bytes);
// Writes `bytes` as a new file in place of any old one. Rewriting a file in
// place makes some file systems flush it on close; tests that write
// thousands of versions of a file are much quicker this way.
void replaceFileBytes(const std::filesystem::path& path, const std::string& bytes);

// Switches the whole process to a locale that writes a decimal comma
// (de_DE, else fr_FR) until destroyed; active() is false, after a test
// failure naming the cure, when no such locale is installed.
class CommaLocale {
public:
    CommaLocale();
    ~CommaLocale();
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;
    bool active() const { return active_; }

private:
    std::string saved_;
    bool active_ = false;
};

// Makes `dir` the current directory until destroyed.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::filesystem::path& dir);
    ~CurrentDirectory();
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

private:
    std::filesystem::path saved_;
};

// Runs gorvale-cli with the given arguments (a shell command line); stdout
// and stderr together. Temporary models go to a scratch folder of the call's own.
struct CommandResult {
    int exitCode = -1;
    std::string out;
};
// Runs a shell command line; its standard output and exit code (-1 when it
// could not be run or did not exit).
CommandResult runShell(const std::string& command);
// Runs gorvale-cli with stdout and stderr together, in folder when given.
CommandResult runCli(const std::string& arguments, const std::string& folder = "");
// A file of the repository's examples/ folder.
std::string examplePath(const std::string& name);

struct RecordedMessage {
    std::string text;
    std::string caption;
    MessageKind kind;
    Buttons buttons;
};

class RecordingUserInterface : public UserInterface {
public:
    Answer message(const std::string& text, const std::string& caption, MessageKind kind,
                   Buttons buttons) override;
    void fileError(const std::string& detail) override { fileErrors.push_back(detail); }
    std::optional<std::string> ask(const AskRequest& request) override;
    void setLabel(Label which, const std::string& text) override { labels[which] = text; }
    void setStatus(int panel, const std::string& text) override { status[panel] = text; }
    void setWindowTitle(const std::string& text) override { title = text; }
    void setProgress(int position) override { progress.push_back(position); }
    void setCommandEnabled(Command which, bool enabled) override { commands[which] = enabled; }
    void setBusy(bool b) override { busy = b; }
    void gridChanged() override { ++gridChanges; }
    void processEvents() override;
    bool stopRequested() const override { return stop; }
    void appendLogPage(const std::string& line) override { logPage.push_back(line); }
    void runProgress(const RunProgress& p) override { runEvents.push_back(p); }
    void gridFactsChanged() override { ++factChanges; }

    // Answers given in order to message() calls with buttons other than Ok;
    // Ok (or No) when exhausted.
    std::vector<Answer> answers;
    // Answers given in order to ask(); nullopt when exhausted.
    std::vector<std::string> askAnswers;
    // Request a stop after this many processEvents() calls (-1: never).
    int stopAfterEvents = -1;

    std::vector<RecordedMessage> messages;
    std::vector<std::string> fileErrors;
    std::vector<AskRequest> asked;
    std::map<Label, std::string> labels;
    std::map<int, std::string> status;
    std::map<Command, bool> commands;
    std::vector<int> progress;
    std::vector<std::string> logPage;
    std::vector<RunProgress> runEvents;
    int factChanges = 0;
    std::string title;
    bool busy = false;
    int gridChanges = 0;
    int events = 0;
    bool stop = false;

private:
    std::size_t nextAnswer_ = 0;
    std::size_t nextAsk_ = 0;
};

}  // namespace gorvale::test
