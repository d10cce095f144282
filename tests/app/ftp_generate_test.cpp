// Generate runs that upload their archives: gorvale-cli generate against a
// loopback FTP server, and the conversion job in-process for the stop button.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <set>

#include "app/core/conversion_job.h"
#include "app/core/project_file.h"
#include "app/core/project_hooks.h"
#include "delivery/ftp_upload.h"
#include "tests/delivery/ftp_test_server.h"
#include "tests/support/test_support.h"

namespace gorvale {
namespace {

using test::anyLineStartsWith;
using test::CommandResult;
using test::filesIn;
using test::FtpServerOptions;
using test::FtpTestServer;
using test::FtpTestSite;
using test::ScratchDir;
namespace fs = std::filesystem;

constexpr const char* kPassword = "pw-Xq7-never-shown";
// The shipped example in steps of 16 cells: 7 x 7 tiles.
constexpr int kTiles = 49;

// A job converting the shipped example, zipped, with the FTP settings of `server`.
std::string ftpProject(const ScratchDir& dir, const FtpTestServer& server, const std::string& extra = "") {
    const std::string project = (dir / "job.gvl").string();
    const CommandResult r = test::runCli(
        "project new " + project + " --set DEMFile=" + test::examplePath("n43.dem") + " --set RWXFile=" +
        (dir / "models" / "z").string() + " --set PropFile=" + (dir / "prop.txt").string() +
        " --set Scaling=15 --set ZipIt=true --set FtpHostURL=127.0.0.1 --set FtpHostPort=" +
        std::to_string(server.port()) + " --set FtpUserID=builder --set FtpDirectory=aw/models " + extra);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    return project;
}

CommandResult generate(const std::string& project, const std::string& extra = "") {
    return test::runCli("generate " + project + " --set FtpToHost=true --set FtpPassword=" + kPassword + " " +
                        extra);
}

// Every archive of the run is on the server under its name, byte for byte.
void expectEveryArchiveUploaded(const ScratchDir& dir, const FtpTestSite& site) {
    const std::set<std::string> local = filesIn(dir / "models");
    ASSERT_EQ(local.size(), static_cast<std::size_t>(kTiles));
    EXPECT_EQ(filesIn(site.uploads()), local);
    for (const std::string& name : local)
        EXPECT_TRUE(test::readFileBytes(site.uploads() / name) ==
                    test::readFileBytes(dir / "models" / name))
            << name;
}

// The test server, logging in with the job's password.
FtpServerOptions passwordOptions() {
    FtpServerOptions options;
    options.password = kPassword;
    return options;
}

std::string summary(int uploaded, int retried, int failed) {
    return "FTP: " + std::to_string(uploaded) + " archives uploaded, " + std::to_string(retried) + " retried, " +
           std::to_string(failed) + " failed\n";
}

// Sets an environment variable for one test.
class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvironmentVariable() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class CliFtpRun : public ::testing::TestWithParam<test::FtpMode> {};

TEST_P(CliFtpRun, UploadsEveryArchiveOfTheRunByteIdentical) {
    const test::FtpMode m = GetParam();
    FtpServerOptions options = passwordOptions();
    options.tls = m.tls;
    FtpTestSite site(options, m.proxy);
    ASSERT_STARTED(site);
    const FtpTestServer& server = site.server;
    ScratchDir dir;
    std::string extra;
    if (m.tls) extra += " --set FtpHostURL=ftps://127.0.0.1";
    if (m.passive) extra += " --set FtpPassive=true";
    if (m.proxy) extra += " --set FtpProxy=127.0.0.1 --set FtpProxyPort=" + std::to_string(site.proxy->port());
    const std::string project = ftpProject(dir, server);
    std::optional<EnvironmentVariable> authorities;
    if (m.tls) authorities.emplace("SSL_CERT_FILE", server.certificate().string());

    const CommandResult r = generate(project, extra);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    expectEveryArchiveUploaded(dir, site);
    EXPECT_NE(r.out.find(summary(kTiles, 0, 0)), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ftp: Uploaded z"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(kPassword), std::string::npos) << r.out;
    const std::vector<std::string> c = server.commands();
    EXPECT_EQ(std::count(c.begin(), c.end(), "USER builder"), 1);
    EXPECT_EQ(c.back(), "QUIT");
    EXPECT_EQ(test::sawPassive(c), test::expectsPassive(m));
    EXPECT_EQ(anyLineStartsWith(c, "PROT P"), m.tls);
    if (m.proxy) {
        EXPECT_EQ(site.proxy->logins().size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, CliFtpRun,
                         ::testing::Values(test::FtpMode{"Active", false, false, false},
                                           test::FtpMode{"Passive", true, false, false},
                                           test::FtpMode{"Tls", false, true, false},
                                           test::FtpMode{"Proxy", false, false, true}),
                         test::ftpModeName);

TEST(CliFtp, ZipOffOpensAndClosesTheConnectionAndUploadsNothing) {
    FtpTestSite site(passwordOptions());
    ASSERT_STARTED(site);
    const FtpTestServer& server = site.server;
    ScratchDir dir;
    const CommandResult r = generate(ftpProject(dir, server), "--set ZipIt=false");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(filesIn(dir / "models").size(), static_cast<std::size_t>(kTiles));
    EXPECT_TRUE(filesIn(site.uploads()).empty());
    EXPECT_NE(r.out.find(summary(0, 0, 0)), std::string::npos) << r.out;
    const std::vector<std::string> c = server.commands();
    EXPECT_TRUE(anyLineStartsWith(c, "CWD aw/models"));
    EXPECT_FALSE(anyLineStartsWith(c, "STOR"));
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c.back(), "QUIT");
}

TEST(CliFtp, SetupFailuresStopTheCommandBeforeAnythingIsWritten) {
    FtpTestSite site(passwordOptions());
    ASSERT_STARTED(site);
    const FtpTestServer& server = site.server;
    const int deadPort = test::deadFtpPort();
    ASSERT_NE(deadPort, 0);
    struct Case {
        std::string name;
        std::string extra;
        std::string expect;
    };
    const Case cases[] = {
        {"wrong user", "--set FtpUserID=intruder", "the server refused the login of intruder"},
        {"missing directory", "--set FtpDirectory=aw/nowhere", "cannot change to the directory \"aw/nowhere\""},
        {"refused connection", "--set FtpHostPort=" + std::to_string(deadPort), "Failed to connect to 127.0.0.1"},
        {"port with a trailing letter", "--set FtpHostPort=21x", "gorvale-cli: error: Port setting is invalid!"},
        {"proxy port", "--set FtpProxy=127.0.0.1 --set FtpProxyPort=x", "error: Proxy Port setting is invalid!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const CommandResult r = generate(ftpProject(dir, server), c.extra);
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_NE(r.out.find(c.expect), std::string::npos) << r.out;
        EXPECT_FALSE(fs::exists(dir / "prop.txt"));
        EXPECT_TRUE(filesIn(dir / "models").empty());
        EXPECT_EQ(r.out.find(kPassword), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("wrong-Zz9"), std::string::npos) << r.out;
    }
}

TEST(CliFtp, ARefusedStorIsRetriedAndTheRunSucceeds) {
    FtpServerOptions options = passwordOptions();
    options.refuseStorOnce = true;
    FtpTestSite site(options);
    ASSERT_STARTED(site);
    ScratchDir dir;
    const CommandResult r = generate(ftpProject(dir, site.server));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    expectEveryArchiveUploaded(dir, site);
    EXPECT_NE(r.out.find(summary(kTiles, 1, 0)), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("trying once more"), std::string::npos) << r.out;
}

TEST(CliFtp, AServerThatDiesMidRunFailsTheRestButTheRunGoesOn) {
    constexpr int kStored = 10;
    FtpServerOptions options = passwordOptions();
    options.dieAfterStores = kStored;
    FtpTestSite site(options);
    ASSERT_STARTED(site);
    ScratchDir dir;
    const CommandResult r = generate(ftpProject(dir, site.server));
    EXPECT_EQ(r.exitCode, 1) << r.out;  // archives are missing on the server
    // Every model was still written and placed.
    EXPECT_EQ(filesIn(dir / "models").size(), static_cast<std::size_t>(kTiles));
    EXPECT_EQ(filesIn(site.uploads()).size(), static_cast<std::size_t>(kStored));
    const int failed = kTiles - kStored;
    EXPECT_NE(r.out.find(summary(kStored, failed, failed)), std::string::npos) << r.out;
    const std::string message = "Error occured when creating/reading/uploading file:: FTP Upload error for z";
    std::size_t messages = 0;
    for (std::size_t p = r.out.find(message); p != std::string::npos; p = r.out.find(message, p + 1)) ++messages;
    EXPECT_EQ(messages, static_cast<std::size_t>(failed)) << r.out;
    const std::string prop = test::readFileBytes(dir / "prop.txt");
    EXPECT_EQ(static_cast<int>(std::count(prop.begin(), prop.end(), '\n')), 1 + kTiles);  // header and tiles
}

TEST(CliFtp, ThePasswordIsNeverStoredNorShown) {
    FtpTestServer server(passwordOptions());
    ASSERT_STARTED(server);
    ScratchDir dir;
    const std::string project =
        ftpProject(dir, server, std::string("--set FtpPassword=") + kPassword + " --set FtpPassive=true");
    EXPECT_EQ(test::readFileBytes(project).find(kPassword), std::string::npos);
    EXPECT_EQ(test::readFileBytes(project).find("FtpPassive"), std::string::npos);
    const CommandResult shown = test::runCli("project show " + project);
    EXPECT_EQ(shown.exitCode, 0) << shown.out;
    EXPECT_NE(shown.out.find("FtpHostURL=127.0.0.1"), std::string::npos) << shown.out;
    EXPECT_EQ(shown.out.find(kPassword), std::string::npos) << shown.out;
}

// The stop button ends the run at the next tile, between two uploads; the
// session still ends with QUIT and the run knows what was uploaded.
TEST(FtpGenerate, AStopEndsTheUploadsAndStillQuits) {
    FtpTestSite site(passwordOptions());
    ASSERT_STARTED(site);
    const FtpTestServer& server = site.server;
    ScratchDir dir;
    const std::string project = ftpProject(dir, server);
    ScratchDir temp;
    EnvironmentVariable tempVariable("TEMP", temp.path().string());
    test::RecordingUserInterface ui;
    Workspace ws(ui);
    ASSERT_TRUE(LoadProject(ws, project, standardProjectHooks()));
    ASSERT_TRUE(ws.gridLoaded);
    ws.settings.FtpToHost = true;
    ws.settings.FtpPassword = kPassword;
    fs::create_directories(dir / "models");
    ui.stopAfterEvents = 5;  // events are processed once per model
    ConversionJob job(ws);
    const GenerateOutcome outcome = job.Generate();
    ASSERT_TRUE(outcome.started);
    EXPECT_EQ(outcome.layout.End, LayoutEnd::Stopped);
    const std::size_t uploaded = filesIn(site.uploads()).size();
    EXPECT_GT(uploaded, 0u);
    EXPECT_LT(uploaded, static_cast<std::size_t>(kTiles));
    EXPECT_EQ(filesIn(dir / "models").size(), uploaded);
    EXPECT_EQ(outcome.uploads.uploaded, static_cast<int>(uploaded));
    EXPECT_EQ(outcome.uploads.failed, 0);
    const std::vector<std::string> c = server.commands();
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c.back(), "QUIT");
}

}  // namespace
}  // namespace gorvale
