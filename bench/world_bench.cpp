// World building speed: the builder bot at full speed against the pace
// limit, and four clients adding objects without pace against the server's
// throughput and peak memory.
//
//   build/world_bench [--bot-objects N] [--client-objects N] [--clients N]
//
// Targets: the bot reaches at least 90% of the pace limit (one object per
// 2 ms at speed position 20); four clients of 50,000 objects each reach at
// least 20,000 objects/s in all, with the server's peak memory at most 64 MiB.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include "world/aw_sdk.h"
#include "world/aw_sdk_ext.h"
#include "world/builder_bot.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The server of the benchmark: started on a free loopback port, stopped at the end.
struct Server {
    pid_t pid = -1;
    int port = 0;
    bool start(const fs::path& db) {
        int fds[2];
        if (::pipe(fds) != 0) return false;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            ::execl(GORVALE_WORLD_PATH, GORVALE_WORLD_PATH, "--db", db.c_str(), "serve", "--host", "127.0.0.1", "--port",
                    "0", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string line;
        for (int i = 0; i < 1000 && line.find('\n') == std::string::npos; ++i) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            char c;
            if (::read(fds[0], &c, 1) != 1) break;
            line.push_back(c);
        }
        ::close(fds[0]);
        const std::size_t colon = line.rfind(':');
        if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) return false;
        port = std::atoi(line.c_str() + colon + 1);
        return true;
    }
    // Peak resident memory in KiB, from /proc.
    long peakKiB() const {
        std::ifstream in("/proc/" + std::to_string(pid) + "/status");
        std::string key;
        long value = -1;
        while (in >> key) {
            if (key == "VmHWM:") {
                in >> value;
                break;
            }
            in.ignore(1 << 20, '\n');
        }
        return value;
    }
    // CPU seconds used so far (user + system), from /proc.
    double cpuSeconds() const {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::size_t close = text.rfind(')');
        if (close == std::string::npos) return -1;
        std::istringstream fields(text.substr(close + 2));
        std::string f;
        double utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> f; ++i) {
            if (i == 14) utime = std::atof(f.c_str());
            if (i == 15) stime = std::atof(f.c_str());
        }
        return (utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }
    void stop() {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        pid = -1;
    }
};

double botRun(int port, int objects) {
    gorvale::BuilderBot bot;
    bot.UniverseHost = "127.0.0.1";
    bot.UniversePort = std::to_string(port);
    if (bot.StartBot("1001", "secret", 20, "bench") != 0) {
        std::fprintf(stderr, "world_bench: the bot could not log in\n");
        return -1;
    }
    const auto start = Clock::now();
    for (int i = 0; i < objects; ++i)
        bot.BuildObject(1001, (i % 1000) * 1000, 0, "", "", "bench.rwx", 0, (i / 1000) * 1000, 0);
    bot.StopBot();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    int errors = 0;
    for (const std::string& l : bot.Log().Lines())
        if (l.rfind("0x", 0) != 0) ++errors;
    if (errors) std::fprintf(stderr, "world_bench: %d error lines in the robot log\n", errors);
    return objects / seconds;
}

int answered = 0;
int failed = 0;

// One client process: adds its objects as fast as the answers come back.
int clientRun(int port, int client, int objects) {
    aw_init(AW_BUILD);
    gorvale::AwSetRequestTimeout(60000);
    if (aw_create("127.0.0.1", port, nullptr) != 0) return 1;
    aw_int_set(AW_LOGIN_OWNER, 1001);
    aw_string_set(AW_LOGIN_PRIVILEGE_PASSWORD, "secret");
    if (aw_login() != 0 || aw_enter("bench") != 0) return 1;
    aw_callback_set(AW_CALLBACK_OBJECT_RESULT, [](int rc) {
        ++answered;
        if (rc) ++failed;
    });
    aw_string_set(AW_OBJECT_MODEL, "load.rwx");
    constexpr int kWindow = 2000;  // requests in flight
    for (int i = 0; i < objects; ++i) {
        aw_int_set(AW_OBJECT_X, (i % 1000) * 1000);
        aw_int_set(AW_OBJECT_Z, (client * 100 + i / 1000) * 1000);
        if (aw_object_add() != 0) return 1;
        while (i + 1 - answered >= kWindow) aw_wait(1);
    }
    for (int i = 0; i < 6000 && answered < objects; ++i) aw_wait(10);
    aw_term();
    return answered == objects && failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    int botObjects = 20000, clientObjects = 50000, clients = 4;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const int v = std::atoi(argv[i + 1]);
        if (a == "--bot-objects") botObjects = v;
        else if (a == "--client-objects") clientObjects = v;
        else if (a == "--clients") clients = v;
    }
    char dirTemplate[] = "/tmp/world_bench.XXXXXX";
    if (!::mkdtemp(dirTemplate)) return 1;
    const fs::path dir = dirTemplate;
    const fs::path db = dir / "bench.db";
    const std::string tool = std::string(GORVALE_WORLD_PATH) + " --db " + db.string() + " ";
    if (run(tool + "citizen add --number 1001 --password secret >/dev/null") != 0 ||
        run(tool + "world add --name bench --eminent-domain 1001 >/dev/null") != 0)
        return 1;

    Server server;
    if (!server.start(db)) {
        std::fprintf(stderr, "world_bench: gorvale-world did not start\n");
        return 1;
    }
    const double botRate = botRun(server.port, botObjects);
    std::printf("bot, speed 20: %d objects, %.0f objects/s = %.1f%% of the pace limit (500/s; target 90%%)\n",
                botObjects, botRate, botRate / 500.0 * 100.0);
    std::fflush(stdout);

    const double serverCpuBefore = server.cpuSeconds();
    const auto start = Clock::now();
    std::vector<pid_t> children;
    for (int c = 0; c < clients; ++c) {
        const pid_t pid = ::fork();
        if (pid == 0) ::_exit(clientRun(server.port, c, clientObjects));
        children.push_back(pid);
    }
    int failures = 0;
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const long peak = server.peakKiB();
    const double serverCpu = server.cpuSeconds() - serverCpuBefore;
    server.stop();
    const double total = static_cast<double>(clients) * clientObjects;
    std::printf("%d clients x %d objects without pace: %.2f s, %.0f objects/s (target 20000); "
                "server peak memory %.1f MiB (target 64); server CPU %.2f s = %.0f objects per CPU second%s\n",
                clients, clientObjects, seconds, total / seconds, peak / 1024.0, serverCpu, total / serverCpu,
                failures ? "; SOME CLIENTS FAILED" : "");
    fs::remove_all(dir);
    return failures ? 1 : 0;
}
