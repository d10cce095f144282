#pragma once
// A local world for tests: a fresh database with citizen 1 (password "pw",
// eminent domain in world "test") and citizen 2 (password "pw2", building
// rights), served by gorvale-world on a free loopback port. The server is
// stopped by the destructor; Kill() ends it at once, as a crash would.

#include <sys/types.h>

#include <string>

#include "tests/support/test_support.h"

namespace gorvale::test {

class FixtureWorld {
public:
    FixtureWorld();
    ~FixtureWorld();
    FixtureWorld(const FixtureWorld&) = delete;
    FixtureWorld& operator=(const FixtureWorld&) = delete;

    // Adds another world of the same citizens.
    void AddWorld(const std::string& name);
    // Starts serving; false (with a test failure) when it did not come up.
    bool Start();
    void Kill();
    void Stop();

    int port() const { return port_; }
    std::string db() const { return (dir_ / "world.db").string(); }
    const ScratchDir& dir() const { return dir_; }
    // gorvale-world with these arguments after --db; exit code and output.
    CommandResult Run(const std::string& arguments) const;

private:
    ScratchDir dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace gorvale::test
