#include "delivery/ftp_upload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tests/delivery/ftp_test_server.h"
#include "tests/support/test_support.h"

namespace gorvale {
namespace {

using test::anyLineStartsWith;
using test::FtpServerOptions;
using test::FtpTestServer;
using test::FtpTestSite;
using test::readFileBytes;
using test::RecordingUserInterface;
using test::ScratchDir;
using test::writeFileBytes;
namespace fs = std::filesystem;

// Keeps every FTP status line, not only the last one.
class StatusRecorder : public RecordingUserInterface {
public:
    void setStatus(int panel, const std::string& text) override {
        RecordingUserInterface::setStatus(panel, text);
        if (panel == kStatusPanelFtp) ftpStatus.push_back(text);
    }
    std::vector<std::string> ftpStatus;
};

std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng() & 0xff);
    return s;
}

ConversionSettings settingsFor(const FtpTestServer& server) {
    ConversionSettings s;
    s.FtpToHost = true;
    s.FtpHostURL = "127.0.0.1";
    s.FtpHostPort = std::to_string(server.port());
    s.FtpUserID = "builder";
    s.FtpPassword = "secret";
    s.FtpDirectory = "aw/models";
    return s;
}

// ---- settings ----------------------------------------------------------

TEST(FtpPort, OnlyWholeNumbersNamingAPortAreValid) {
    struct Case {
        const char* text;
        bool valid;
        int port;
    };
    const Case cases[] = {{"21", true, 21},      {" 2121 ", true, 2121}, {"65535", true, 65535},
                          {"21x", false, 0},     {"x21", false, 0},      {"", false, 0},
                          {"0", false, 0},       {"65536", false, 0},    {"-21", false, 0},
                          {"2 1", false, 0},     {"0x15", false, 0},     {"99999999999", false, 0}};
    for (const Case& c : cases) {
        int port = -7;
        EXPECT_EQ(parseFtpPort(c.text, port), c.valid) << c.text;
        EXPECT_EQ(port, c.valid ? c.port : -7) << c.text;
    }
}

TEST(FtpEndpoint, ReadsTheSettingsAndUsesTheProxyOnlyWhenBothFieldsAreFilled) {
    struct Case {
        const char* host;
        const char* port;
        const char* proxy;
        const char* proxyPort;
        const char* error;  // nullptr: accepted
        bool tls;
        const char* expectHost;
        const char* expectProxy;
        const char* login;
    };
    const Case cases[] = {
        {"ftp.example.org", "21", "", "", nullptr, false, "ftp.example.org", "", "me"},
        {"ftps://secure.example.org/", "990", "", "", nullptr, true, "secure.example.org", "", "me"},
        {"FTP://plain.example.org", "21", "", "", nullptr, false, "plain.example.org", "", "me"},
        {"h", "21x", "", "", kPortInvalid, false, "", "", ""},
        {"h", "21", "gate", "", nullptr, false, "h", "", "me"},        // proxy without port: direct
        {"h", "21", "", "8021", nullptr, false, "h", "", "me"},        // port without proxy: direct
        {"h", "21", "", "x", nullptr, false, "h", "", "me"},           // not checked without a proxy
        {"h", "21", "gate", "8o21", kProxyPortInvalid, false, "", "", ""},
        {"h", "21", "gate", "8021", nullptr, false, "h", "gate", "me@h"},
        {"h", "2121", "gate", "8021", nullptr, false, "h", "gate", "me@h:2121"},
    };
    for (const Case& c : cases) {
        ConversionSettings s;
        s.FtpHostURL = c.host;
        s.FtpHostPort = c.port;
        s.FtpProxy = c.proxy;
        s.FtpProxyPort = c.proxyPort;
        s.FtpUserID = "me";
        FtpEndpoint e;
        std::string error;
        const bool ok = ftpEndpointFrom(s, e, error);
        SCOPED_TRACE(std::string(c.host) + " " + c.port + " " + c.proxy + " " + c.proxyPort);
        EXPECT_EQ(ok, c.error == nullptr);
        if (!ok) {
            EXPECT_EQ(error, c.error);
            continue;
        }
        EXPECT_EQ(e.tls, c.tls);
        EXPECT_EQ(e.host, c.expectHost);
        EXPECT_EQ(e.proxy, c.expectProxy);
        EXPECT_EQ(ftpLoginName(e), c.login);
    }
    // A line break in a text sent to the server would smuggle in a command.
    ConversionSettings s;
    s.FtpPassword = "pw\r\nDELE x";
    FtpEndpoint e;
    std::string error;
    EXPECT_FALSE(ftpEndpointFrom(s, e, error));
    EXPECT_NE(error.find("FtpPassword holds a line break"), std::string::npos) << error;
    EXPECT_EQ(error.find("DELE"), std::string::npos);
}

// ---- against a loopback server -----------------------------------------

TEST(FtpSession, EveryArchiveArrivesByteIdenticalUnderItsNameAndQuitEndsTheSession) {
    FtpTestSite site;
    ASSERT_STARTED(site);
    const FtpTestServer& server = site.server;
    ScratchDir local;
    StatusRecorder ui;
    Workspace ws(ui, settingsFor(server));
    FtpSession ftp(ws);

    ASSERT_TRUE(ftp.OpenFtpConnection()) << (ui.messages.empty() ? "" : ui.messages[0].text);
    EXPECT_TRUE(ftp.connected());
    const std::vector<std::pair<std::string, std::size_t>> archives = {
        {"z00n_00w.zip", 0}, {"z00n_01w.zip", 1}, {"z01n_00w.zip", 70000}, {"z01n_01w.zip", 2048}};
    for (std::size_t i = 0; i < archives.size(); ++i) {
        writeFileBytes(local / "upload.zip", randomBytes(archives[i].second, static_cast<unsigned>(i)));
        ftp.UploadArchive((local / "upload.zip").string(), archives[i].first);
    }
    ftp.CloseFtpConnection();
    EXPECT_FALSE(ftp.connected());

    for (std::size_t i = 0; i < archives.size(); ++i)
        EXPECT_TRUE(readFileBytes(site.uploads() / archives[i].first) ==
                    randomBytes(archives[i].second, static_cast<unsigned>(i)))
            << archives[i].first;
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(ui.fileErrors.empty());
    EXPECT_EQ(ftp.tally().uploaded, 4);
    EXPECT_EQ(ftp.tally().retried, 0);
    EXPECT_EQ(ftp.tally().failed, 0);

    // Log in, one directory change, TYPE I, the uploads, QUIT; one control connection.
    const std::vector<std::string> c = server.commands();
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(std::count(c.begin(), c.end(), "USER builder"), 1);
    EXPECT_EQ(std::count(c.begin(), c.end(), "PASS ******"), 1);
    const auto cwd = std::find(c.begin(), c.end(), "CWD aw/models");
    ASSERT_NE(cwd, c.end());
    EXPECT_EQ(std::count(c.begin(), c.end(), "CWD aw/models"), 1);
    ASSERT_NE(cwd + 1, c.end());
    EXPECT_EQ(*(cwd + 1), "TYPE I");
    EXPECT_EQ(std::count_if(c.begin(), c.end(), [](const std::string& l) { return l.rfind("STOR ", 0) == 0; }), 4);
    EXPECT_EQ(c.back(), "QUIT");
    // Active data connections unless FtpPassive.
    EXPECT_TRUE(test::sawActive(c));
    EXPECT_FALSE(test::sawPassive(c));

    // A status line per operation; the password in none of them.
    ASSERT_GE(ui.ftpStatus.size(), 6u);
    EXPECT_NE(ui.ftpStatus.front().find("Connecting to 127.0.0.1:"), std::string::npos);
    EXPECT_EQ(ui.ftpStatus[5].rfind("Uploaded z01n_01w.zip (2048 bytes)", 0), 0u);
    EXPECT_EQ(ui.ftpStatus.back().rfind("Disconnected from 127.0.0.1:", 0), 0u);
    for (const std::string& line : ui.ftpStatus) EXPECT_EQ(line.find("secret"), std::string::npos) << line;
}

// How each data-connection mode and login path shows on the server.
class FtpModes : public ::testing::TestWithParam<test::FtpMode> {};

TEST_P(FtpModes, UploadsOneArchive) {
    const test::FtpMode m = GetParam();
    FtpServerOptions options;
    options.tls = m.tls;
    FtpTestSite site(options, m.proxy);
    ASSERT_STARTED(site);
    const FtpTestServer& server = site.server;
    ScratchDir local;
    writeFileBytes(local / "a.zip", randomBytes(5000, 3));
    StatusRecorder ui;
    ConversionSettings s = settingsFor(server);
    s.FtpPassive = m.passive;
    if (m.tls) s.FtpHostURL = "ftps://127.0.0.1";
    if (m.proxy) {
        s.FtpProxy = "127.0.0.1";
        s.FtpProxyPort = std::to_string(site.proxy->port());
    }
    Workspace ws(ui, s);
    FtpSession ftp(ws);
    if (m.tls) ftp.setCertificateAuthorities(server.certificate().string());
    ASSERT_TRUE(ftp.OpenFtpConnection()) << (ui.messages.empty() ? "" : ui.messages[0].text);
    ftp.UploadArchive((local / "a.zip").string(), "z05n_07w.zip");
    ftp.CloseFtpConnection();
    EXPECT_TRUE(ui.fileErrors.empty()) << (ui.fileErrors.empty() ? "" : ui.fileErrors[0]);
    EXPECT_TRUE(readFileBytes(site.uploads() / "z05n_07w.zip") == randomBytes(5000, 3));

    const std::vector<std::string> c = server.commands();
    const bool passive = test::expectsPassive(m);
    EXPECT_EQ(test::sawPassive(c), passive);
    EXPECT_EQ(test::sawActive(c), !passive);
    EXPECT_EQ(anyLineStartsWith(c, "AUTH TLS"), m.tls);
    EXPECT_EQ(anyLineStartsWith(c, "PROT P"), m.tls);
    if (m.proxy) {
        EXPECT_EQ(site.proxy->logins(), std::vector<std::string>{"USER builder@127.0.0.1:" + std::to_string(server.port())});
        EXPECT_TRUE(anyLineStartsWith(c, "USER builder"));
    }
    EXPECT_EQ(c.back(), "QUIT");
}

INSTANTIATE_TEST_SUITE_P(DataConnectionsAndLogins, FtpModes,
                         ::testing::Values(test::FtpMode{"Active", false, false, false},
                                           test::FtpMode{"Passive", true, false, false},
                                           test::FtpMode{"TlsActive", false, true, false},
                                           test::FtpMode{"TlsPassive", true, true, false},
                                           test::FtpMode{"ProxyActive", false, false, true},
                                           test::FtpMode{"ProxyPassive", true, false, true}),
                         test::ftpModeName);

TEST(FtpSession, OpenFailuresShowWhatFailedAndLeaveTheSessionClosed) {
    FtpTestSite site;
    ASSERT_STARTED(site);
    const FtpTestServer& server = site.server;
    const int deadPort = test::deadFtpPort();
    ASSERT_NE(deadPort, 0);
    struct Case {
        const char* name;
        void (*change)(ConversionSettings&, int deadPort);
        const char* expect;  // in the message
    };
    const Case cases[] = {
        {"wrong password", [](ConversionSettings& s, int) { s.FtpPassword = "wrong-pass"; },
         "the server refused the login of builder"},
        {"missing directory", [](ConversionSettings& s, int) { s.FtpDirectory = "aw/nowhere"; },
         "cannot change to the directory \"aw/nowhere\""},
        {"refused connection", [](ConversionSettings& s, int port) { s.FtpHostPort = std::to_string(port); },
         "Failed to connect to 127.0.0.1 port"},
        {"port not an integer", [](ConversionSettings& s, int) { s.FtpHostPort = "21x"; }, kPortInvalid},
        {"proxy port not an integer",
         [](ConversionSettings& s, int) {
             s.FtpProxy = "127.0.0.1";
             s.FtpProxyPort = "80x";
         },
         kProxyPortInvalid},
        {"TLS refused by a plain server", [](ConversionSettings& s, int) { s.FtpHostURL = "ftps://127.0.0.1"; },
         "FTP connection to 127.0.0.1:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StatusRecorder ui;
        ConversionSettings s = settingsFor(server);
        c.change(s, deadPort);
        Workspace ws(ui, s);
        FtpSession ftp(ws);
        EXPECT_FALSE(ftp.OpenFtpConnection());
        EXPECT_FALSE(ftp.connected());
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].caption, "Error");
        EXPECT_EQ(ui.messages[0].kind, MessageKind::Error);
        EXPECT_NE(ui.messages[0].text.find(c.expect), std::string::npos) << ui.messages[0].text;
        EXPECT_EQ(ui.messages[0].text.find("wrong-pass"), std::string::npos);
        EXPECT_EQ(ui.messages[0].text.find("secret"), std::string::npos);
        // Uploading and closing a closed session do nothing.
        ftp.UploadArchive("/nonexistent.zip", "x.zip");
        ftp.CloseFtpConnection();
        EXPECT_TRUE(ui.fileErrors.empty());
    }
    // The port checks come before any connection; a failed directory change
    // still ends with QUIT.
    const std::vector<std::string> c = server.commands();
    EXPECT_EQ(std::count(c.begin(), c.end(), "CWD aw/nowhere"), 1);
    const auto cwd = std::find(c.begin(), c.end(), "CWD aw/nowhere");
    EXPECT_TRUE(std::find(cwd, c.end(), "QUIT") != c.end());
    // Only the wrong password and the missing directory got as far as a login.
    EXPECT_EQ(std::count(c.begin(), c.end(), "USER builder"), 2);
    EXPECT_TRUE(anyLineStartsWith(c, "AUTH TLS"));
}

TEST(FtpSession, AnEmptyDirectoryIsStillChangedToAndTypeIRefusedIsIgnored) {
    FtpServerOptions options;
    options.refuseTypeOnce = true;
    FtpTestServer server(options);
    ASSERT_STARTED(server);
    ScratchDir local;
    writeFileBytes(local / "a.zip", "PK-bytes");
    StatusRecorder ui;
    ConversionSettings s = settingsFor(server);
    s.FtpDirectory = "";
    Workspace ws(ui, s);
    FtpSession ftp(ws);
    ASSERT_TRUE(ftp.OpenFtpConnection()) << (ui.messages.empty() ? "" : ui.messages[0].text);
    ftp.UploadArchive((local / "a.zip").string(), "z.zip");
    ftp.CloseFtpConnection();
    EXPECT_EQ(readFileBytes(server.root() / "z.zip"), "PK-bytes");
    const std::vector<std::string> c = server.commands();
    const auto cwd = std::find(c.begin(), c.end(), "CWD .");
    ASSERT_NE(cwd, c.end());
    ASSERT_NE(cwd + 1, c.end());
    EXPECT_EQ(*(cwd + 1), "TYPE I");  // refused, and the session went on
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ftp.tally().uploaded, 1);
}

TEST(FtpSession, AFailedUploadIsRetriedOnce) {
    FtpServerOptions options;
    options.refuseStorOnce = true;
    FtpTestSite site(options);
    ASSERT_STARTED(site);
    const FtpTestServer& server = site.server;
    ScratchDir local;
    writeFileBytes(local / "a.zip", randomBytes(3000, 9));
    StatusRecorder ui;
    Workspace ws(ui, settingsFor(server));
    FtpSession ftp(ws);
    ASSERT_TRUE(ftp.OpenFtpConnection());
    ftp.UploadArchive((local / "a.zip").string(), "z1.zip");
    ftp.UploadArchive((local / "a.zip").string(), "z2.zip");
    ftp.CloseFtpConnection();
    EXPECT_TRUE(ui.fileErrors.empty());
    EXPECT_TRUE(readFileBytes(site.uploads() / "z1.zip") == randomBytes(3000, 9));
    EXPECT_TRUE(readFileBytes(site.uploads() / "z2.zip") == randomBytes(3000, 9));
    EXPECT_EQ(ftp.tally().uploaded, 2);
    EXPECT_EQ(ftp.tally().retried, 1);
    EXPECT_EQ(ftp.tally().failed, 0);
    const std::vector<std::string> c = server.commands();
    EXPECT_EQ(std::count(c.begin(), c.end(), "STOR z1.zip"), 2);
    EXPECT_EQ(std::count(c.begin(), c.end(), "STOR z2.zip"), 1);
    EXPECT_TRUE(std::any_of(ui.ftpStatus.begin(), ui.ftpStatus.end(), [](const std::string& l) {
        return l.rfind("Upload of z1.zip failed", 0) == 0 && l.find("trying once more") != std::string::npos;
    }));
}

TEST(FtpSession, AServerThatDiesMidRunFailsEachLaterArchiveTwiceWithTheUploadMessage) {
    FtpServerOptions options;
    options.dieAfterStores = 1;
    FtpTestSite site(options);
    ASSERT_STARTED(site);
    const FtpTestServer& server = site.server;
    ScratchDir local;
    writeFileBytes(local / "a.zip", randomBytes(1000, 1));
    StatusRecorder ui;
    Workspace ws(ui, settingsFor(server));
    FtpSession ftp(ws);
    ASSERT_TRUE(ftp.OpenFtpConnection());
    for (const char* name : {"z1.zip", "z2.zip", "z3.zip"}) ftp.UploadArchive((local / "a.zip").string(), name);
    ftp.CloseFtpConnection();
    EXPECT_FALSE(ftp.connected());
    EXPECT_TRUE(readFileBytes(site.uploads() / "z1.zip") == randomBytes(1000, 1));
    EXPECT_FALSE(fs::exists(site.uploads() / "z2.zip"));
    EXPECT_EQ(ftp.tally().uploaded, 1);
    EXPECT_EQ(ftp.tally().retried, 2);
    EXPECT_EQ(ftp.tally().failed, 2);
    ASSERT_EQ(ui.fileErrors.size(), 2u);
    // "FTP Upload error for %s:\n%d %s %s": name, error number, status text, last reply.
    for (int i = 0; i < 2; ++i) {
        const std::string name = i == 0 ? "z2.zip" : "z3.zip";
        const std::string& e = ui.fileErrors[static_cast<std::size_t>(i)];
        const std::string head = "FTP Upload error for " + name + ":\n";
        ASSERT_EQ(e.rfind(head, 0), 0u) << e;
        const std::string rest = e.substr(head.size());
        const long number = std::strtol(rest.c_str(), nullptr, 10);
        EXPECT_GT(number, 0) << e;
        EXPECT_NE(rest.find(" Upload of " + name + " failed again: "), std::string::npos) << e;
    }
    EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace gorvale
