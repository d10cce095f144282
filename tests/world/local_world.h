#pragma once
// A gorvale-world server for one test: a temporary database, a free
// loopback port, bounded waits, and stopped (or killed) by the test.

#include <sys/types.h>

#include <filesystem>
#include <string>

#include "tests/support/test_support.h"

namespace gorvale::test {

// Runs gorvale-world with the arguments (after --db FILE); its exit code.
int runWorldTool(const std::filesystem::path& db, const std::string& arguments, std::string* output = nullptr);

class LocalWorld {
public:
    // Creates the database with citizen 1001 (password "secret", eminent
    // domain in every world), citizen 1002 ("other"), the running worlds
    // "alpha" (building for everybody) and "closed" (building for nobody but
    // 1001), and the stopped world "sleepy".
    LocalWorld();
    ~LocalWorld();
    LocalWorld(const LocalWorld&) = delete;
    LocalWorld& operator=(const LocalWorld&) = delete;

    // Starts the server; false (with a test failure) when it does not say
    // where it listens within a few seconds.
    bool Start(const std::string& extraArguments = "");
    // SIGTERM, then a bounded wait; true when it ended by itself with code 0.
    bool Stop();
    // SIGKILL and reap.
    void Kill();
    bool Running() const { return pid_ > 0; }
    // True while the process has not ended.
    bool Alive();

    int port() const { return port_; }
    const std::filesystem::path& db() const { return db_; }
    const ScratchDir& dir() const { return dir_; }
    // The world's objects as a propdump file, read back; empty on failure.
    std::string Dump(const std::string& world);

private:
    ScratchDir dir_;
    std::filesystem::path db_;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace gorvale::test
