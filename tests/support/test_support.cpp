#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <fstream>
#include <random>
#include <sstream>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace gorvale::test {

std::filesystem::path testdataDir() { return std::filesystem::path(GORVALE_SOURCE_DIR) / "tests" / "data"; }

std::filesystem::path sample(const std::string& relative) { return testdataDir() / relative; }

void TestdataTest::SetUp() { ASSERT_TRUE(std::filesystem::is_directory(testdataDir())) << testdataDir(); }

ScratchDir::ScratchDir() {
    static std::atomic<int> counter{0};
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("gorvale-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
             std::to_string(rd()));
    std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFileBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void replaceFileBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    writeFileBytes(path, bytes);
}

CommaLocale::CommaLocale() {
    const char* current = std::setlocale(LC_ALL, nullptr);
    saved_ = current ? current : "C";
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8", "fr_FR"}) {
        if (std::setlocale(LC_ALL, name) && std::string(std::localeconv()->decimal_point) == ",") {
            active_ = true;
            return;
        }
    }
    std::setlocale(LC_ALL, saved_.c_str());
    ADD_FAILURE() << "no locale with a decimal comma is installed; make one with "
                     "localedef -i de_DE -f UTF-8 de_DE.UTF-8";
}

CommaLocale::~CommaLocale() { std::setlocale(LC_ALL, saved_.c_str()); }

CurrentDirectory::CurrentDirectory(const std::filesystem::path& dir) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
}

CurrentDirectory::~CurrentDirectory() {
    std::error_code ec;
    std::filesystem::current_path(saved_, ec);
}

CommandResult runShell(const std::string& command) {
    CommandResult r;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

CommandResult runCli(const std::string& arguments, const std::string& folder) {
    // A TEMP of its own, so that tests running side by side never share temporary models.
    ScratchDir temp;
    const std::string command = (folder.empty() ? std::string() : "cd '" + folder + "' && ") + "TEMP=" +
                                temp.path().string() + " " + std::string(GORVALE_CLI_PATH) + " " + arguments +
                                " 2>&1";
    return runShell(command);
}

std::string examplePath(const std::string& name) {
    return std::string(GORVALE_SOURCE_DIR) + "/examples/" + name;
}

Answer RecordingUserInterface::message(const std::string& text, const std::string& caption,
                                       MessageKind kind, Buttons buttons) {
    messages.push_back({text, caption, kind, buttons});
    if (buttons == Buttons::Ok) return Answer::Ok;
    if (nextAnswer_ < answers.size()) return answers[nextAnswer_++];
    return buttons == Buttons::OkCancel ? Answer::Ok : Answer::No;
}

std::optional<std::string> RecordingUserInterface::ask(const AskRequest& request) {
    asked.push_back(request);
    if (nextAsk_ < askAnswers.size()) return askAnswers[nextAsk_++];
    return std::nullopt;
}

void RecordingUserInterface::processEvents() {
    ++events;
    if (stopAfterEvents >= 0 && events >= stopAfterEvents) stop = true;
}

}  // namespace gorvale::test
