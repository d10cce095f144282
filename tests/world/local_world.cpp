#include "tests/world/local_world.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace gorvale::test {
namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 10000;

// Waits (bounded) for the child to end; its wait status, or -1.
int reap(pid_t pid, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 10) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return status;
        if (r < 0) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

}  // namespace

int runWorldTool(const std::filesystem::path& db, const std::string& arguments, std::string* output) {
    const std::string command = std::string(GORVALE_WORLD_PATH) + " --db '" + db.string() + "' " + arguments + " 2>&1";
    const CommandResult r = runShell(command);
    if (output) *output = r.out;
    return r.exitCode;
}

LocalWorld::LocalWorld() : db_(dir_ / "world.db") {
    std::string out;
    EXPECT_EQ(runWorldTool(db_, "citizen add --number 1001 --password secret", &out), 0) << out;
    EXPECT_EQ(runWorldTool(db_, "citizen add --number 1002 --password other", &out), 0) << out;
    EXPECT_EQ(runWorldTool(db_, "world add --name alpha --eminent-domain 1001 --build all", &out), 0) << out;
    EXPECT_EQ(runWorldTool(db_, "world add --name closed --eminent-domain 1001", &out), 0) << out;
    EXPECT_EQ(runWorldTool(db_, "world add --name sleepy --build all --stopped", &out), 0) << out;
}

LocalWorld::~LocalWorld() {
    if (pid_ > 0) Kill();
}

bool LocalWorld::Start(const std::string& extraArguments) {
    int fds[2];
    if (::pipe(fds) != 0) {
        ADD_FAILURE() << "pipe failed";
        return false;
    }
    const std::string command = std::string("exec ") + GORVALE_WORLD_PATH + " --db '" + db_.string() +
                                "' serve --host 127.0.0.1 --port 0 " + extraArguments;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char c;
        if (::read(fds[0], &c, 1) != 1) break;
        line.push_back(c);
    }
    ::close(fds[0]);  // later lines are not read; the server writes none
    const std::string prefix = "listening on 127.0.0.1:";
    if (line.rfind(prefix, 0) != 0) {
        ADD_FAILURE() << "gorvale-world did not start: \"" << line << "\"";
        Kill();
        return false;
    }
    port_ = std::stoi(line.substr(prefix.size()));
    return true;
}

bool LocalWorld::Alive() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

bool LocalWorld::Stop() {
    if (pid_ <= 0) return false;
    ::kill(pid_, SIGTERM);
    const int status = reap(pid_, kStopTimeoutMs);
    if (status == -1) {
        Kill();
        return false;
    }
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void LocalWorld::Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    reap(pid_, kStopTimeoutMs);
    pid_ = -1;
}

std::string LocalWorld::Dump(const std::string& world) {
    const std::filesystem::path file = dir_ / ("dump-" + world + ".txt");
    std::string out;
    const int rc = runWorldTool(db_, "dump --world " + world + " --propdump '" + file.string() + "'", &out);
    EXPECT_EQ(rc, 0) << out;
    return rc == 0 ? readFileBytes(file) : std::string();
}

}  // namespace gorvale::test
