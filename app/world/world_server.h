#pragma once
// gorvale-world's network side: one thread runs every connection through
// Asio; password checks run on a helper thread so a login never stalls the
// others. Changes are committed in batches, and a change is answered only
// after its batch is committed.

#include <asio.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/world/world_database.h"

namespace gorvale::worldserver {

struct ServerOptions {
    std::string host = "127.0.0.1";
    unsigned short port = 6670;
    int idleTimeoutSeconds = 300;   // a connection silent this long is closed
    int maxConnections = 900;       // more are closed at once
};

class Session;

class WorldServer {
public:
    WorldServer(asio::io_context& io, WorldDatabase& db, const ServerOptions& options);
    ~WorldServer();
    // Binds and starts accepting; throws std::system_error when the address is taken.
    asio::ip::tcp::endpoint Listen();
    // Stops accepting, commits what is pending and lets the loop end.
    void Shutdown();

    // --- used by sessions ---
    WorldDatabase& db() { return db_; }
    asio::io_context& io() { return io_; }
    asio::thread_pool& verifier() { return verifier_; }
    const ServerOptions& options() const { return options_; }
    // Sends now, or after the open batch is committed when there is one, so
    // that no answer overtakes a change it might depend on.
    void Reply(const std::shared_ptr<Session>& session, std::string frame);
    // Shared with every session, which gives its place back when it ends
    // (also when the loop is torn down after the server).
    std::shared_ptr<int> sessionCount() { return sessions_; }

private:
    void accept();
    void flush();

    asio::io_context& io_;
    WorldDatabase& db_;
    ServerOptions options_;
    asio::ip::tcp::acceptor acceptor_;
    asio::thread_pool verifier_{1};
    struct Waiting {
        std::weak_ptr<Session> session;
        std::string frame;
    };
    std::vector<Waiting> awaitingCommit_;
    bool flushPosted_ = false;
    std::shared_ptr<int> sessions_ = std::make_shared<int>(0);
    bool stopping_ = false;
};

}  // namespace gorvale::worldserver
