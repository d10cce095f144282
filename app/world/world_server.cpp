#include "app/world/world_server.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <deque>
#include <optional>

#include "world/aw_sdk.h"
#include "world/wire_protocol.h"

namespace gorvale::worldserver {

using asio::ip::tcp;
using wire::FrameReader;
using wire::FrameWriter;
using wire::Message;

namespace {

// A query answer stops after the cell that takes it past this many objects.
constexpr int kQueryBatchObjects = 100;
constexpr std::int32_t kTerrainHeightLimit = 100000;  // cm, terrain version 2
// A client that does not read its answers is dropped beyond this.
constexpr std::size_t kMaxQueuedOutput = 8u * 1024 * 1024;
constexpr std::size_t kReadChunk = 64 * 1024;

std::int32_t now() { return static_cast<std::int32_t>(std::time(nullptr)); }

std::string result(std::int32_t id, int rc, std::int32_t number = 0) {
    FrameWriter w(Message::Result);
    w.i32(id).i32(rc).i32(number);
    return w.finish();
}

}  // namespace

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(WorldServer& server, tcp::socket socket)
        : server_(server), count_(server.sessionCount()), socket_(std::move(socket)), idle_(server.io()) {}
    ~Session() { --*count_; }

    void Start() {
        armIdle();
        read();
    }

    void Send(std::string frame) {
        if (closed_) return;
        queuedBytes_ += frame.size();
        if (queuedBytes_ > kMaxQueuedOutput) {
            Close();
            return;
        }
        out_.push_back(std::move(frame));
        if (!writing_) write();
    }

    void Close() {
        if (closed_) return;
        closed_ = true;
        std::error_code ignored;
        idle_.cancel();
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        out_.clear();
    }

private:
    void armIdle() {
        idle_.expires_after(std::chrono::seconds(server_.options().idleTimeoutSeconds));
        idle_.async_wait([self = shared_from_this()](const std::error_code& ec) {
            if (!ec) self->Close();
        });
    }

    void read() {
        if (closed_ || busy_ || reading_) return;
        reading_ = true;
        socket_.async_read_some(asio::buffer(buf_.get(), kReadChunk), [self = shared_from_this()](const std::error_code& ec,
                                                                                std::size_t n) {
            self->reading_ = false;
            if (ec || self->closed_) {
                self->Close();
                return;
            }
            self->in_.append(self->buf_.get(), n);
            self->armIdle();
            self->process();
            self->read();
        });
    }

    void write() {
        if (closed_ || out_.empty()) {
            writing_ = false;
            return;
        }
        writing_ = true;
        // Several small answers go out in one write.
        std::string batch;
        while (!out_.empty() && batch.size() < 64 * 1024) {
            batch += out_.front();
            out_.pop_front();
        }
        auto data = std::make_shared<std::string>(std::move(batch));
        asio::async_write(socket_, asio::buffer(*data),
                          [self = shared_from_this(), data](const std::error_code& ec, std::size_t) {
                              self->queuedBytes_ -= std::min(self->queuedBytes_, data->size());
                              if (ec) {
                                  self->Close();
                                  return;
                              }
                              self->write();
                          });
    }

    // Handles every whole frame received, unless a login is being checked.
    void process() {
        while (!closed_ && !busy_) {
            wire::FrameView f;
            const wire::FrameStatus status = wire::PeekFrame(in_, f);
            if (status == wire::FrameStatus::Incomplete) return;
            if (status != wire::FrameStatus::Ready) {
                Close();  // a huge length or another protocol: nothing sensible can follow
                return;
            }
            const std::string fields(f.fields);
            const Message type = f.type;
            in_.erase(0, f.consumed);
            bool ok = false;
            try {
                ok = handle(type, fields);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "gorvale-world: %s\n", e.what());
                ok = false;
            }
            if (!ok) {
                Close();
                return;
            }
        }
    }

    void reply(std::string frame) { server_.Reply(shared_from_this(), std::move(frame)); }

    bool handle(Message type, const std::string& fields) {
        FrameReader r(fields);
        const std::int32_t id = r.i32();
        switch (type) {
        case Message::Login: return login(id, r);
        case Message::Enter: return enter(id, r);
        case Message::ObjectAdd:
        case Message::ObjectLoad: return objectAdd(id, r, type == Message::ObjectLoad);
        case Message::ObjectDelete: return objectDelete(id, r);
        case Message::Query: return query(id, r);
        case Message::TerrainSet: return terrainSet(id, r);
        case Message::TerrainDeleteAll:
            if (!r.complete()) return false;
            if (int rc = needWorld(true)) {
                reply(result(id, rc));
                return true;
            }
            server_.db().DeleteAllTerrain(world_->id);
            reply(result(id, RC_SUCCESS));
            return true;
        default: return false;
        }
    }

    bool login(std::int32_t id, FrameReader& r) {
        const std::int32_t citizen = r.i32();
        std::string password = r.text();
        r.text();  // application
        r.text();  // bot name
        if (!r.complete()) return false;
        const std::optional<std::string> hash = server_.db().PasswordHash(citizen);
        if (!hash) {
            reply(result(id, RC_NO_SUCH_CITIZEN));
            return true;
        }
        busy_ = true;
        asio::post(server_.verifier(), [self = shared_from_this(), hash = *hash, password = std::move(password), id,
                                        citizen]() {
            const bool ok = VerifyPassword(hash, password);
            asio::post(self->server_.io(), [self, ok, id, citizen]() {
                self->busy_ = false;
                if (self->closed_) return;
                if (ok) {
                    self->citizen_ = citizen;
                    self->world_.reset();
                }
                self->reply(result(id, ok ? RC_SUCCESS : RC_INVALID_PASSWORD));
                self->process();
                self->read();
            });
        });
        return true;
    }

    bool enter(std::int32_t id, FrameReader& r) {
        const std::string name = r.text();
        if (!r.complete()) return false;
        if (citizen_ == 0) {
            reply(result(id, RC_NOT_LOGGED_IN));
            return true;
        }
        const std::optional<WorldInfo> world = server_.db().FindWorld(name);
        if (!world || !world->running) {
            reply(result(id, RC_WORLD_NOT_RUNNING));
            return true;
        }
        world_ = world;
        eminent_ = server_.db().HasRight(world->id, citizen_, kEminentDomain);
        canBuild_ = eminent_ || world->buildAll || server_.db().HasRight(world->id, citizen_, kBuildRight);
        reply(result(id, RC_SUCCESS));
        return true;
    }

    // 0 when the session may act in a world (with eminent domain when asked).
    int needWorld(bool eminentDomain) const {
        if (citizen_ == 0 || !world_) return RC_NOT_LOGGED_IN;
        if (eminentDomain && !eminent_) return RC_UNAUTHORIZED;
        return RC_SUCCESS;
    }

    bool objectAdd(std::int32_t id, FrameReader& r, bool load) {
        WorldObject o;
        o.Number = r.i32();
        o.X = r.i32();
        o.Y = r.i32();
        o.Z = r.i32();
        o.Yaw = r.i32();
        o.Tilt = r.i32();
        o.Roll = r.i32();
        o.Model = r.text();
        o.Description = r.text();
        o.Action = r.text();
        o.Owner = citizen_;
        o.Timestamp = now();
        if (load) {
            o.Owner = r.i32();
            const std::int32_t timestamp = r.i32();
            if (timestamp != 0) o.Timestamp = timestamp;
        }
        if (!r.complete()) return false;
        int rc = needWorld(load);
        if (rc == RC_SUCCESS && !load && !canBuild_) rc = RC_NO_BUILD_RIGHTS;
        if (rc == RC_SUCCESS && o.Number == 0) rc = RC_INVALID_ATTRIBUTE;
        if (rc == RC_SUCCESS && !server_.db().InsertObject(world_->id, o)) rc = RC_ELEMENT_ALREADY_EXISTS;
        reply(result(id, rc, o.Number));
        return true;
    }

    bool objectDelete(std::int32_t id, FrameReader& r) {
        const std::int32_t number = r.i32();
        const std::int32_t x = r.i32();
        const std::int32_t z = r.i32();
        if (!r.complete()) return false;
        int rc = needWorld(false);
        if (rc == RC_SUCCESS) {
            const std::optional<std::int32_t> owner = server_.db().ObjectOwner(world_->id, CellOf(x), CellOf(z), number);
            if (!owner)
                rc = RC_NO_SUCH_OBJECT;
            else if (*owner != citizen_ && !eminent_)
                rc = RC_NOT_DELETE_OWNER;
            else
                server_.db().DeleteObject(world_->id, CellOf(x), CellOf(z), number);
        }
        reply(result(id, rc, number));
        return true;
    }

    bool query(std::int32_t id, FrameReader& r) {
        const std::int32_t sectorX = r.i32();
        const std::int32_t sectorZ = r.i32();
        std::int32_t sequence[3][3];
        for (auto& row : sequence)
            for (std::int32_t& s : row) s = r.i32();
        if (!r.complete()) return false;
        if (int rc = needWorld(false)) {
            FrameWriter w(Message::QueryResult);
            w.i32(id).i32(rc).i32(0);
            reply(w.finish());
            return true;
        }
        int sent = 0;
        bool complete = true;
        for (int zi = 0; zi < 3 && complete; ++zi)
            for (int xi = 0; xi < 3 && complete; ++xi) {
                const std::int64_t sx = static_cast<std::int64_t>(sectorX) + xi - 1;
                const std::int64_t sz = static_cast<std::int64_t>(sectorZ) + zi - 1;
                if (sx < INT32_MIN || sx > INT32_MAX || sz < INT32_MIN || sz > INT32_MAX) continue;
                for (const CellSequence& cell : server_.db().CellsAfter(
                         world_->id, static_cast<std::int32_t>(sx), static_cast<std::int32_t>(sz), sequence[zi][xi])) {
                    if (sent >= kQueryBatchObjects) {
                        complete = false;
                        break;
                    }
                    FrameWriter begin(Message::CellBegin);
                    begin.i32(id).i32(cell.cellX).i32(cell.cellZ).i32(cell.sequence);
                    reply(begin.finish());
                    server_.db().ForEachObjectInCell(world_->id, cell.cellX, cell.cellZ, [&](const WorldObject& o) {
                        FrameWriter w(Message::CellObject);
                        w.i32(id).i32(o.Number).i32(o.Owner).i32(o.Timestamp).i32(o.X).i32(o.Y).i32(o.Z);
                        w.i32(o.Yaw).i32(o.Tilt).i32(o.Roll).text(o.Model).text(o.Description).text(o.Action);
                        reply(w.finish());
                        ++sent;
                    });
                }
            }
        FrameWriter w(Message::QueryResult);
        w.i32(id).i32(RC_SUCCESS).i32(complete ? 1 : 0);
        reply(w.finish());
        return true;
    }

    bool terrainSet(std::int32_t id, FrameReader& r) {
        const std::int32_t x = r.i32();
        const std::int32_t z = r.i32();
        const std::int32_t texture = r.i32();
        const std::int32_t count = r.i32();
        if (r.failed() || count < 0 || count > AW_MAX_TERRAIN_COUNT) return false;
        std::vector<std::int32_t> heights(static_cast<std::size_t>(count));
        for (std::int32_t& h : heights) h = r.i32();
        if (!r.complete()) return false;
        if (int rc = needWorld(true)) {
            reply(result(id, rc));
            return true;
        }
        for (std::int32_t i = 0; i < count; ++i) {
            const std::int64_t cellX = static_cast<std::int64_t>(x) + i;
            if (cellX > INT32_MAX) break;
            // Version-2 terrain: heights within +-1000 m, 16-bit texture codes.
            const std::int32_t h = std::clamp(heights[i], -kTerrainHeightLimit, kTerrainHeightLimit);
            server_.db().SetTerrain(world_->id, static_cast<std::int32_t>(cellX), z, h, texture & 0xFFFF);
        }
        reply(result(id, RC_SUCCESS));
        return true;
    }

    WorldServer& server_;
    std::shared_ptr<int> count_;
    tcp::socket socket_;
    asio::steady_timer idle_;
    // Not cleared: only the bytes received are touched, so idle sessions stay small.
    std::unique_ptr<char[]> buf_{new char[kReadChunk]};
    std::string in_;
    std::deque<std::string> out_;
    std::size_t queuedBytes_ = 0;
    bool writing_ = false;
    bool reading_ = false;
    bool busy_ = false;  // a login is being checked
    bool closed_ = false;
    std::int32_t citizen_ = 0;
    std::optional<WorldInfo> world_;
    bool eminent_ = false;
    bool canBuild_ = false;
};

WorldServer::WorldServer(asio::io_context& io, WorldDatabase& db, const ServerOptions& options)
    : io_(io), db_(db), options_(options), acceptor_(io) {}

WorldServer::~WorldServer() { verifier_.join(); }

tcp::endpoint WorldServer::Listen() {
    const tcp::endpoint endpoint(asio::ip::make_address(options_.host), options_.port);
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(tcp::acceptor::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen();
    accept();
    return acceptor_.local_endpoint();
}

void WorldServer::accept() {
    acceptor_.async_accept([this](const std::error_code& ec, tcp::socket socket) {
        if (stopping_) return;
        if (!ec) {
            std::error_code ignored;
            socket.set_option(tcp::no_delay(true), ignored);
            if (*sessions_ >= options_.maxConnections) {
                socket.close(ignored);
            } else {
                ++*sessions_;
                std::make_shared<Session>(*this, std::move(socket))->Start();
            }
        }
        accept();
    });
}

void WorldServer::Reply(const std::shared_ptr<Session>& session, std::string frame) {
    if (!db_.InTransaction()) {
        session->Send(std::move(frame));
        return;
    }
    awaitingCommit_.push_back({session, std::move(frame)});
    if (!flushPosted_) {
        flushPosted_ = true;
        asio::post(io_, [this] { flush(); });
    }
}

void WorldServer::flush() {
    flushPosted_ = false;
    std::vector<Waiting> waiting;
    waiting.swap(awaitingCommit_);
    try {
        db_.Commit();
    } catch (const std::exception& e) {
        // Nothing of the batch is kept: its clients see the connection drop
        // rather than a success that was not stored.
        std::fprintf(stderr, "gorvale-world: %s\n", e.what());
        for (Waiting& w : waiting)
            if (auto s = w.session.lock()) s->Close();
        return;
    }
    for (Waiting& w : waiting)
        if (auto s = w.session.lock()) s->Send(std::move(w.frame));
}

void WorldServer::Shutdown() {
    stopping_ = true;
    std::error_code ignored;
    acceptor_.close(ignored);
    flush();
    io_.stop();
}

}  // namespace gorvale::worldserver
