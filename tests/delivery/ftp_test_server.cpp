#include "tests/delivery/ftp_test_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "delivery/ftp_upload.h"

namespace gorvale::test {
namespace {

constexpr const char* kPython = "/usr/bin/python3";
constexpr int kStartSeconds = 30;

std::string scriptPath(const std::string& name) {
    return std::string(GORVALE_SOURCE_DIR) + "/tests/delivery/" + name;
}

}  // namespace

LoopbackProcess::LoopbackProcess(const std::string& script, const std::vector<std::string>& arguments,
                                 const std::filesystem::path& errorFile) {
    std::vector<std::string> args{kPython, scriptPath(script)};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string errorPath = errorFile.string();

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        failure_ = "pipe failed";
        return;
    }
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        // Dies with the test process, whatever way that ends.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        dup2(out[1], STDOUT_FILENO);
        const int err = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (err >= 0) dup2(err, STDERR_FILENO);
        execv(kPython, argv.data());
        _exit(127);
    }
    close(out[1]);
    if (pid_ < 0) {
        close(out[0]);
        failure_ = "fork failed";
        return;
    }
    // Read "PORT <n>\n", bounded in time.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStartSeconds);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buf[64];
        const ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        line.append(buf, static_cast<std::size_t>(n));
    }
    close(out[0]);
    if (line.rfind("PORT ", 0) == 0) port_ = std::atoi(line.c_str() + 5);
    if (port_ <= 0) {
        std::ifstream err(errorPath);
        failure_ = "the helper " + script + " did not start (is " + kPython +
                   " with python3-pyftpdlib and python3-openssl installed?): " +
                   std::string(std::istreambuf_iterator<char>(err), {});
        kill();
    }
}

LoopbackProcess::~LoopbackProcess() { kill(); }

void LoopbackProcess::kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
}

std::vector<std::string> fileLines(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool anyLineStartsWith(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& l : lines)
        if (l.rfind(prefix, 0) == 0) return true;
    return false;
}

namespace {

std::vector<std::string> serverArguments(const ScratchDir& dir, const std::filesystem::path& root,
                                         const FtpServerOptions& o) {
    std::filesystem::create_directories(root);
    std::vector<std::string> a{"--root", root.string(), "--user", o.user, "--password", o.password,
                               "--log", (dir / "commands.log").string(), "--lifetime", "300"};
    if (o.tls) a.insert(a.end(), {"--tls", (dir / "server.pem").string()});
    if (o.refuseStorOnce) a.push_back("--refuse-stor-once");
    if (o.refuseTypeOnce) a.push_back("--refuse-type-once");
    if (o.dieAfterStores >= 0) a.insert(a.end(), {"--die-after-stores", std::to_string(o.dieAfterStores)});
    return a;
}

}  // namespace

FtpTestServer::FtpTestServer(const FtpServerOptions& options)
    : root_(dir_ / "root"),
      process_("ftp_test_server.py", serverArguments(dir_, root_, options), dir_ / "server.err") {}

std::string FtpTestServer::failure() const { return process_.failure(); }

std::vector<std::string> FtpTestServer::commands() const { return fileLines(dir_ / "commands.log"); }

FtpTestProxy::FtpTestProxy()
    : process_("ftp_test_proxy.py", {"--log", (dir_ / "logins.log").string(), "--lifetime", "300"},
               dir_ / "proxy.err") {}

std::string FtpTestProxy::failure() const { return process_.failure(); }

FtpTestSite::FtpTestSite(const FtpServerOptions& options, bool withProxy) : server(options) {
    if (withProxy) proxy.emplace();
    std::error_code ec;  // a server that did not start is reported by started()
    std::filesystem::create_directories(uploads(), ec);
}

std::string FtpTestSite::failure() const {
    if (!server.started()) return server.failure();
    return proxy ? proxy->failure() : std::string();
}

int deadFtpPort() {
    FtpTestServer gone;
    if (!gone.started()) {
        ADD_FAILURE() << gone.failure();
        return 0;
    }
    return gone.port();
}

std::set<std::string> filesIn(const std::filesystem::path& dir) {
    std::set<std::string> names;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) return names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

bool expectsPassive(const FtpMode& m) { return m.passive || (m.tls && !activeTlsDataConnectionsWork()); }

bool sawPassive(const std::vector<std::string>& c) { return anyLineStartsWith(c, "EPSV") || anyLineStartsWith(c, "PASV"); }
bool sawActive(const std::vector<std::string>& c) { return anyLineStartsWith(c, "EPRT ") || anyLineStartsWith(c, "PORT "); }

std::vector<std::string> FtpTestProxy::logins() const { return fileLines(dir_ / "logins.log"); }

}  // namespace gorvale::test
