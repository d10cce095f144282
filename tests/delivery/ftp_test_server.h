#pragma once
// Loopback FTP servers and an FTP proxy for the upload tests: Debian's
// pyftpdlib (tests/delivery/ftp_test_server.py) and a small "USER user@host"
// proxy (tests/delivery/ftp_test_proxy.py), each run by /usr/bin/python3 on a
// free port of 127.0.0.1 (their start-up in tests/delivery/loopback_startup.py)
// and killed when the test object goes away; and the helpers the FTP tests
// share around them.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

// Stops the test when a helper process did not come up, saying why.
#define ASSERT_STARTED(x) ASSERT_TRUE((x).started()) << (x).failure()

namespace gorvale::test {

// A helper script's process. It prints "PORT <n>" first; the constructor
// waits for that line (at most 30 s). The destructor kills and reaps it.
class LoopbackProcess {
public:
    LoopbackProcess(const std::string& script, const std::vector<std::string>& arguments,
                    const std::filesystem::path& errorFile);
    ~LoopbackProcess();
    LoopbackProcess(const LoopbackProcess&) = delete;
    LoopbackProcess& operator=(const LoopbackProcess&) = delete;

    bool started() const { return port_ > 0; }
    int port() const { return port_; }
    const std::string& failure() const { return failure_; }
    // Ends the process now (a server that dies).
    void kill();

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string failure_;
};

struct FtpServerOptions {
    std::string user = "builder";
    std::string password = "secret";
    bool tls = false;              // explicit TLS required, with a throwaway certificate
    bool refuseStorOnce = false;   // the first STOR gets 451
    bool refuseTypeOnce = false;   // the first TYPE gets 504
    int dieAfterStores = -1;       // the process ends at the STOR after this many
};

class FtpTestServer {
public:
    explicit FtpTestServer(const FtpServerOptions& options = {});

    bool started() const { return process_.started(); }
    // Why it did not start (stderr of the script included).
    std::string failure() const;
    int port() const { return process_.port(); }
    const std::filesystem::path& root() const { return root_; }
    // The server's certificate (TLS only): the authority a client trusts.
    std::filesystem::path certificate() const { return dir_ / "server.pem"; }
    // Every command line received so far, the password masked.
    std::vector<std::string> commands() const;
    void kill() { process_.kill(); }

private:
    ScratchDir dir_;
    std::filesystem::path root_;
    LoopbackProcess process_;
};

class FtpTestProxy {
public:
    FtpTestProxy();
    bool started() const { return process_.started(); }
    std::string failure() const;
    int port() const { return process_.port(); }
    // The USER lines the proxy received.
    std::vector<std::string> logins() const;

private:
    ScratchDir dir_;
    LoopbackProcess process_;
};

// A server with the folder the tests upload to ("aw/models", the
// FtpDirectory they set) made, and a proxy in front of it when asked.
class FtpTestSite {
public:
    explicit FtpTestSite(const FtpServerOptions& options = {}, bool withProxy = false);

    // The server and, when asked, the proxy are up.
    bool started() const { return server.started() && (!proxy || proxy->started()); }
    std::string failure() const;
    // The upload folder on the server.
    std::filesystem::path uploads() const { return server.root() / "aw" / "models"; }

    FtpTestServer server;
    std::optional<FtpTestProxy> proxy;
};

// A loopback port where nothing listens: a test server's after it ended;
// 0 (with a test failure) when none started.
int deadFtpPort();

// The names of the files in a folder (none when it does not exist).
std::set<std::string> filesIn(const std::filesystem::path& dir);

// Whether the client asked for passive (EPSV, PASV) or active (EPRT, PORT)
// data connections, from the commands the server received.
bool sawPassive(const std::vector<std::string>& commands);
bool sawActive(const std::vector<std::string>& commands);

// One way of reaching the server: data connections, TLS, a proxy in between.
struct FtpMode {
    const char* name;
    bool passive;
    bool tls;
    bool proxy;
};
// The mode's name, for the names of parameterised tests.
inline std::string ftpModeName(const ::testing::TestParamInfo<FtpMode>& i) { return i.param.name; }
// Whether the client should use passive data connections in this mode:
// asked for, or TLS where active TLS data connections do not work.
bool expectsPassive(const FtpMode& mode);

// The lines of a text file (empty when it cannot be read).
std::vector<std::string> fileLines(const std::filesystem::path& path);
// True when some line of `lines` begins with `prefix`.
bool anyLineStartsWith(const std::vector<std::string>& lines, const std::string& prefix);

}  // namespace gorvale::test
