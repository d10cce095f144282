#include "tests/world/world_fixture.h"

#include <fcntl.h>
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
constexpr int kStopSteps = 100;  // of 50 ms

}  // namespace

FixtureWorld::FixtureWorld() {
    const CommandResult c1 = Run("citizen add --number 1 --password pw");
    const CommandResult c2 = Run("citizen add --number 2 --password pw2");
    EXPECT_EQ(c1.exitCode, 0) << c1.out;
    EXPECT_EQ(c2.exitCode, 0) << c2.out;
    AddWorld("test");
}

FixtureWorld::~FixtureWorld() { Stop(); }

void FixtureWorld::AddWorld(const std::string& name) {
    const CommandResult r = Run("world add --name " + name + " --eminent-domain 1 --build all");
    EXPECT_EQ(r.exitCode, 0) << r.out;
}

CommandResult FixtureWorld::Run(const std::string& arguments) const {
    return test::runShell(std::string("'") + GORVALE_WORLD_PATH + "' --db '" + db() + "' " + arguments + " 2>&1");
}

bool FixtureWorld::Start() {
    int fds[2];
    if (pipe(fds) != 0) {
        ADD_FAILURE() << "pipe failed";
        return false;
    }
    const std::string path = GORVALE_WORLD_PATH;
    const std::string database = db();
    pid_ = fork();
    if (pid_ == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        execl(path.c_str(), path.c_str(), "--db", database.c_str(), "serve", "--host", "127.0.0.1", "--port", "0",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (out.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd pfd{fds[0], POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0) continue;
        char buf[256];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    const std::size_t colon = out.rfind(':');
    if (out.rfind("listening on 127.0.0.1:", 0) != 0 || colon == std::string::npos) {
        ADD_FAILURE() << "gorvale-world did not start: " << out;
        Kill();
        return false;
    }
    port_ = std::stoi(out.substr(colon + 1));
    return true;
}

void FixtureWorld::Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

void FixtureWorld::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < kStopSteps; ++i) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Kill();
}

}  // namespace gorvale::test
