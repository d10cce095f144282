// End to end: what a run does when its files cannot be written, and where
// its temporary models go.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "base/user_interface.h"
#include "tests/support/test_support.h"

namespace gorvale {
namespace {

namespace fs = std::filesystem;

struct ChildSetup {
    fs::path workingDirectory = GORVALE_SOURCE_DIR;
    std::vector<std::pair<std::string, std::optional<std::string>>> environment;  // nullopt: unset
    std::optional<rlim_t> fileSizeLimit;  // bytes; a larger write fails with EFBIG
};

// Runs gorvale-cli with `arguments` in a child set up as asked; stdout and
// stderr together.
test::CommandResult runCliIn(const ChildSetup& setup, const std::vector<std::string>& arguments) {
    test::CommandResult result;
    int out[2];
    if (::pipe(out) != 0) return result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(out[1], STDERR_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        if (::chdir(setup.workingDirectory.c_str()) != 0) std::_Exit(120);
        for (const auto& [name, value] : setup.environment) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
        if (setup.fileSizeLimit) {
            // Without this the limit kills the program instead of failing its write.
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = *setup.fileSizeLimit;
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) std::_Exit(121);
        }
        std::vector<char*> argv{const_cast<char*>(GORVALE_CLI_PATH)};
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(GORVALE_CLI_PATH, argv.data());
        std::_Exit(122);
    }
    ::close(out[1]);
    if (pid < 0) {
        ::close(out[0]);
        return result;
    }
    char buf[4096];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        result.out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

// The shipped example with its outputs in `dir`, and more settings.
std::vector<std::string> exampleRun(const test::ScratchDir& dir, const std::vector<std::string>& sets) {
    std::vector<std::string> a{"generate", "examples/n43.gvl", "--set", "RWXFile=" + (dir / "models" / "z").string(),
                               "--set", "PropFile=" + (dir / "prop.txt").string(), "--set",
                               "LogFile=" + (dir / "run.log").string()};
    for (const std::string& s : sets) a.insert(a.end(), {"--set", s});
    return a;
}

// The "Error" dialog's detail texts in the program's output.
std::vector<std::string> fileErrors(const std::string& out) {
    const std::string start = std::string(kFileErrorLine) + " ";
    std::vector<std::string> found;
    for (std::size_t at = out.find(start); at != std::string::npos; at = out.find(start, at + 1)) {
        const std::size_t detail = at + start.size();
        found.push_back(out.substr(detail, out.find('\n', detail) - detail));
    }
    return found;
}

// One file error whose detail starts with `path` and ends with the reason.
::testing::AssertionResult oneFileError(const std::string& out, const std::string& path, const std::string& end) {
    const std::vector<std::string> errors = fileErrors(out);
    if (errors.size() != 1) return ::testing::AssertionFailure() << errors.size() << " file errors in\n" << out;
    const std::string& e = errors[0];
    if (e.rfind(path, 0) != 0 || e.size() < end.size() || e.compare(e.size() - end.size(), end.size(), end) != 0)
        return ::testing::AssertionFailure() << "\"" << e << "\" is not " << path << "..." << end;
    return ::testing::AssertionSuccess();
}

TEST(CliWriteFailures, AFullDiskEndsTheRunWithTheFileAndTheSystemsReason) {
    struct Case {
        const char* what;
        std::vector<std::string> sets;
        rlim_t limit;
        std::string failing;  // the file (or the start of its name) in the scratch folder
        std::string extension;
    };
    // 900 tiles: the propdump grows to about 40 KB and the log, with every
    // model named, to about 90 KB; one model is a few KB.
    const Case cases[] = {
        {"model", {"ZipIt=false", "LogEnable=false"}, 512, "models/z", ".rwx"},
        {"propdump", {"NoRWX=true", "LogEnable=false"}, 8192, "prop.txt", ""},
        {"log", {"ZipIt=false", "LogEnable=true", "NoPropfile=true"}, 16384, "run.log", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScratchDir dir;
        ChildSetup setup;
        setup.environment = {{"TEMP", dir.path().string()}};
        setup.fileSizeLimit = c.limit;
        const test::CommandResult r = runCliIn(setup, exampleRun(dir, c.sets));
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_TRUE(oneFileError(r.out, (dir / c.failing).string(),
                                 c.extension + " (" + std::strerror(EFBIG) + ")"));
    }
}

TEST(CliWriteFailures, ADestinationArchiveThatCannotBeCreatedEndsTheTileLoopAtOnce) {
    test::ScratchDir dir;
    // A file where the model folder should be: the models are written to
    // TEMP and packed there, but no archive can be put beside them.
    test::writeFileBytes(dir / "models", "not a folder");
    ChildSetup setup;
    setup.environment = {{"TEMP", (dir / "temp").string()}};
    fs::create_directories(dir / "temp");
    const test::CommandResult r = runCliIn(setup, exampleRun(dir, {"ZipIt=true"}));
    EXPECT_EQ(r.exitCode, 1) << r.out;
    // Not one message per tile: the first ends the run.
    EXPECT_TRUE(oneFileError(r.out, (dir / "models" / "z").string(), std::string(".zip (") + std::strerror(ENOTDIR) + ")"));
}

TEST(ZipItTemporaryModels, NeverGoToTheCurrentFolderOrTheRootWhenTempIsEmptyOrUnset) {
    const std::string prefix = "gvtemp" + std::to_string(::getpid()) + "_";
    const auto leftovers = [&prefix](const fs::path& folder) {
        std::vector<std::string> found;
        std::error_code ec;
        for (const fs::directory_entry& e : fs::directory_iterator(folder, ec))
            if (e.path().filename().string().rfind(prefix, 0) == 0) found.push_back(e.path().string());
        return found;
    };
    for (const std::optional<std::string>& temp : {std::optional<std::string>(""), std::optional<std::string>()}) {
        SCOPED_TRACE(temp ? "TEMP empty" : "TEMP unset");
        test::ScratchDir dir;
        fs::create_directories(dir / "work");
        ChildSetup setup;
        setup.workingDirectory = dir / "work";
        setup.environment = {{"TEMP", temp}, {"TMPDIR", std::nullopt}, {"TMP", std::nullopt}};
        const std::vector<std::string> arguments{
            "generate",  test::examplePath("n43.gvl"),
            "--set",     "DEMFile=" + test::examplePath("n43.dem"),
            "--set",     "RWXFile=" + (dir / "models" / prefix).string(),
            "--set",     "PropFile=" + (dir / "prop.txt").string(),
            "--set",     "LogEnable=false",
            "--set",     "Scaling=15",
            "--set",     "ZipIt=true"};
        const test::CommandResult r = runCliIn(setup, arguments);
        ASSERT_EQ(r.exitCode, 0) << r.out;
        EXPECT_TRUE(fs::is_empty(dir / "work"));
        EXPECT_TRUE(leftovers("/").empty());
        EXPECT_TRUE(leftovers("/tmp").empty()) << "temporary models and archives are removed";
        EXPECT_EQ(leftovers(dir / "models").size(), 49u);  // 120 cells in steps of 16: 7 x 7 archives
        EXPECT_TRUE(fs::exists(dir / "models" / (prefix + "00n_00w.zip")));
    }
}

}  // namespace
}  // namespace gorvale
