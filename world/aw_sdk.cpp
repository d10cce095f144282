// Our client library for the world platform: a TCP client of gorvale-world.
// One instance, one thread. Requests are written at once; answers are read
// into a queue and handed to the handlers only inside aw_wait, so a handler
// never runs in the middle of the caller's own code.

#include "world/aw_sdk.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <random>
#include <string>

#include "world/aw_sdk_ext.h"
#include "world/wire_protocol.h"

namespace {

using gorvale::wire::FrameReader;
using gorvale::wire::FrameStatus;
using gorvale::wire::FrameView;
using gorvale::wire::FrameWriter;
using gorvale::wire::Message;
using Clock = std::chrono::steady_clock;

constexpr int kConnectTimeoutMs = 5000;
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kOutFlushBytes = 32 * 1024;
constexpr int kShortWaitMs = 5;

constexpr int kDefaultRequestTimeoutMs = 15000;
int requestTimeoutMs = kDefaultRequestTimeoutMs;

// One answer or event read from the server, waiting for aw_wait.
struct Incoming {
    Message type{};
    std::string fields;
};

// A queued request whose answer goes to a callback.
struct Pending {
    Message type{};
    std::int32_t number = 0;
    Clock::time_point deadline;
};

struct Instance {
    int fd = -1;
    bool lost = false;  // the connection dropped (or was never made)
    bool reached = false;
    std::string in;
    std::string out;  // requests not yet written
    std::deque<Incoming> queue;
    std::map<std::uint32_t, Pending> pending;
    std::uint32_t nextRequest = 1;
    std::uint32_t nextNumber = 1;
};

struct Library {
    bool initialised = false;
    bool inWait = false;
    Instance* instance = nullptr;
    std::array<int, AW_MAX_ATTRIBUTE> ints{};
    std::array<std::string, AW_MAX_ATTRIBUTE> strings{};
    std::array<AW_CALLBACK_FUNCTION, AW_MAX_CALLBACK> callbacks{};
    std::array<AW_EVENT_HANDLER, AW_MAX_EVENT> events{};
};

Library lib;

bool validAttribute(int a) { return a >= 0 && a < AW_MAX_ATTRIBUTE; }

void closeSocket(Instance& in) {
    if (in.fd >= 0) ::close(in.fd);
    in.fd = -1;
}

// An answer made on this side (the connection dropped, the server was
// silent too long), queued like one from the server.
void queueLocalAnswer(Instance& in, std::uint32_t id, const Pending& p, int rc) {
    const bool query = p.type == Message::Query;
    const Message type = query ? Message::QueryResult : Message::Result;
    FrameWriter w(type);
    w.i32(static_cast<std::int32_t>(id)).i32(rc).i32(query ? 0 : p.number);
    in.queue.push_back({type, w.finish().substr(gorvale::wire::kLengthBytes + 2)});
}

// The connection is gone: every request still waiting is answered with
// CONNECTION_LOST at the next aw_wait (after any answer already received).
void markLost(Instance& in) {
    closeSocket(in);
    in.out.clear();
    in.lost = true;
    for (const auto& [id, p] : in.pending) queueLocalAnswer(in, id, p, RC_CONNECTION_LOST);
}

int connectTo(const char* host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (port <= 0 || port > 65535 || ::getaddrinfo(host, service.c_str(), &hints, &found) != 0) return -1;
    int fd = -1;
    for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) continue;
        int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int err = 0;
            socklen_t len = sizeof err;
            if (::poll(&p, 1, kConnectTimeoutMs) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 &&
                err == 0)
                rc = 0;
        }
        if (rc != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd >= 0) {
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return fd;
}

// Time left until the deadline (zero when past).
Clock::duration timeLeft(Clock::time_point deadline) {
    const Clock::duration left = deadline - Clock::now();
    return left < Clock::duration::zero() ? Clock::duration::zero() : left;
}

// Waits for the socket (or, without one, just waits) to the microsecond,
// so that short pace waits are neither cut short nor stretched.
int pollFor(int fd, short events, Clock::duration wait, pollfd* out = nullptr) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    pollfd p{fd, events, 0};
    const int ready = ::ppoll(fd >= 0 ? &p : nullptr, fd >= 0 ? 1 : 0, &ts, nullptr);
    if (out) *out = p;
    return ready;
}

// Reads what has arrived, waiting up to `wait` for the first bytes.
void receive(Instance& in, Clock::duration wait) {
    if (in.fd < 0) return;
    if (wait > Clock::duration::zero()) {  // without a wait the non-blocking reads below tell
        const int ready = pollFor(in.fd, POLLIN, wait);
        if (ready <= 0) return;
    }
    char buf[kReadChunk];
    for (;;) {
        const ssize_t n = ::recv(in.fd, buf, sizeof buf, 0);
        if (n > 0) {
            in.in.append(buf, static_cast<std::size_t>(n));
            if (static_cast<std::size_t>(n) < sizeof buf) break;
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        if (n < 0 && errno == EINTR) continue;
        markLost(in);  // closed by the server, or an error
        return;
    }
    for (;;) {
        FrameView f;
        const FrameStatus s = gorvale::wire::PeekFrame(in.in, f);
        if (s == FrameStatus::Incomplete) break;
        if (s != FrameStatus::Ready) {
            in.in.clear();
            markLost(in);  // the server speaks something else
            return;
        }
        in.queue.push_back({f.type, std::string(f.fields)});
        in.in.erase(0, f.consumed);
    }
}

// Writes out the requests gathered so far.
int flushOut(Instance& in) {
    if (in.fd < 0) return in.reached ? RC_CONNECTION_LOST : RC_NO_CONNECTION;
    std::size_t sent = 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(requestTimeoutMs);
    while (sent < in.out.size()) {
        const ssize_t n = ::send(in.fd, in.out.data() + sent, in.out.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The server is slow to read: take in what it sent meanwhile so
            // neither side blocks on a full buffer.
            if (Clock::now() >= deadline) {
                markLost(in);
                return RC_TIMEOUT;
            }
            pollfd p{};
            pollFor(in.fd, POLLOUT | POLLIN, std::chrono::milliseconds(50), &p);
            if (p.revents & POLLIN) receive(in, Clock::duration::zero());
            if (in.fd < 0) return RC_CONNECTION_LOST;
            continue;
        }
        markLost(in);
        return RC_CONNECTION_LOST;
    }
    in.out.clear();
    return RC_SUCCESS;
}

// Queues a request; queued requests go out together at the next wait, at
// the next request that waits for its answer, or when enough have gathered.
int queueFrame(Instance& in, const std::string& frame) {
    if (in.fd < 0) return in.reached ? RC_CONNECTION_LOST : RC_NO_CONNECTION;
    in.out += frame;
    return in.out.size() >= kOutFlushBytes ? flushOut(in) : RC_SUCCESS;
}

int sendFrame(Instance& in, const std::string& frame) {
    if (int rc = queueFrame(in, frame)) return rc;
    return flushOut(in);
}

int checkInstance() {
    if (!lib.initialised) return RC_NOT_INITIALIZED;
    if (!lib.instance) return RC_NO_INSTANCE;
    return RC_SUCCESS;
}

// Sends a request and waits for its Result, keeping every other answer
// queued for aw_wait.
int request(FrameWriter& w, std::uint32_t id, std::int32_t* number = nullptr) {
    Instance& in = *lib.instance;
    if (int rc = sendFrame(in, w.finish())) return rc;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(requestTimeoutMs);
    for (;;) {
        for (auto it = in.queue.begin(); it != in.queue.end(); ++it) {
            if (it->type != Message::Result) continue;
            FrameReader r(it->fields);
            if (static_cast<std::uint32_t>(r.i32()) != id) continue;
            const int rc = r.i32();
            const std::int32_t n = r.i32();
            in.queue.erase(it);
            if (number) *number = n;
            return rc;
        }
        if (in.fd < 0) return RC_CONNECTION_LOST;
        const Clock::duration left = timeLeft(deadline);
        if (left == Clock::duration::zero()) return RC_TIMEOUT;
        receive(in, left);
    }
}

void setInt(int a, int v) { lib.ints[a] = v; }
void setString(int a, std::string v) { lib.strings[a] = std::move(v); }

// Hands one queued answer to its handler.
void deliver(Instance& in, const Incoming& m) {
    FrameReader r(m.fields);
    switch (m.type) {
    case Message::Result: {
        const std::uint32_t id = static_cast<std::uint32_t>(r.i32());
        const int rc = r.i32();
        const std::int32_t number = r.i32();
        if (in.pending.erase(id) == 0) return;  // a synchronous answer that came too late
        setInt(AW_OBJECT_NUMBER, number);
        if (lib.callbacks[AW_CALLBACK_OBJECT_RESULT]) lib.callbacks[AW_CALLBACK_OBJECT_RESULT](rc);
        return;
    }
    case Message::CellBegin: {
        r.i32();
        setInt(AW_CELL_X, r.i32());
        setInt(AW_CELL_Z, r.i32());
        setInt(AW_CELL_SEQUENCE, r.i32());
        if (lib.events[AW_EVENT_CELL_BEGIN]) lib.events[AW_EVENT_CELL_BEGIN]();
        return;
    }
    case Message::CellObject: {
        r.i32();
        for (int a : {AW_OBJECT_NUMBER, AW_OBJECT_OWNER, AW_OBJECT_BUILD_TIMESTAMP, AW_OBJECT_X, AW_OBJECT_Y,
                      AW_OBJECT_Z, AW_OBJECT_YAW, AW_OBJECT_TILT, AW_OBJECT_ROLL})
            setInt(a, r.i32());
        setString(AW_OBJECT_MODEL, r.text());
        setString(AW_OBJECT_DESCRIPTION, r.text());
        setString(AW_OBJECT_ACTION, r.text());
        if (lib.events[AW_EVENT_CELL_OBJECT]) lib.events[AW_EVENT_CELL_OBJECT]();
        return;
    }
    case Message::QueryResult: {
        const std::uint32_t id = static_cast<std::uint32_t>(r.i32());
        const int rc = r.i32();
        const int complete = r.i32();
        if (in.pending.erase(id) == 0) return;
        setInt(AW_QUERY_COMPLETE, complete != 0);
        if (lib.callbacks[AW_CALLBACK_QUERY]) lib.callbacks[AW_CALLBACK_QUERY](rc);
        return;
    }
    default:
        return;  // nothing else is meant for the client
    }
}

// Requests whose answer is overdue are answered with TIMEOUT (once).
void expireOverdue(Instance& in) {
    const Clock::time_point now = Clock::now();
    for (auto& [id, p] : in.pending) {
        if (p.deadline > now) continue;
        queueLocalAnswer(in, id, p, RC_TIMEOUT);
        p.deadline = Clock::time_point::max();
    }
}

int objectRequest(Message type) {
    if (int rc = checkInstance()) return rc;
    Instance& in = *lib.instance;
    if (in.fd < 0) return in.reached ? RC_CONNECTION_LOST : RC_NO_CONNECTION;
    for (int a : {AW_OBJECT_MODEL, AW_OBJECT_DESCRIPTION, AW_OBJECT_ACTION})
        if (lib.strings[a].size() > gorvale::wire::kMaxText) return RC_STRING_TOO_LONG;
    const std::uint32_t id = in.nextRequest++;
    FrameWriter w(type);
    w.i32(static_cast<std::int32_t>(id));
    std::int32_t number = 0;
    if (type == Message::ObjectDelete) {
        number = lib.ints[AW_OBJECT_NUMBER];
        w.i32(number).i32(lib.ints[AW_OBJECT_X]).i32(lib.ints[AW_OBJECT_Z]);
    } else {
        number = static_cast<std::int32_t>(in.nextNumber++ & 0x7fffffff);
        if (number == 0) number = static_cast<std::int32_t>(in.nextNumber++);
        w.i32(number);
        for (int a : {AW_OBJECT_X, AW_OBJECT_Y, AW_OBJECT_Z, AW_OBJECT_YAW, AW_OBJECT_TILT, AW_OBJECT_ROLL})
            w.i32(lib.ints[a]);
        w.text(lib.strings[AW_OBJECT_MODEL]).text(lib.strings[AW_OBJECT_DESCRIPTION]).text(lib.strings[AW_OBJECT_ACTION]);
        if (type == Message::ObjectLoad) w.i32(lib.ints[AW_OBJECT_OWNER]).i32(lib.ints[AW_OBJECT_BUILD_TIMESTAMP]);
    }
    if (!lib.callbacks[AW_CALLBACK_OBJECT_RESULT]) {
        std::int32_t answered = 0;
        const int rc = request(w, id, &answered);
        setInt(AW_OBJECT_NUMBER, rc == RC_SUCCESS ? answered : number);
        return rc;
    }
    if (int rc = queueFrame(in, w.finish())) return rc;
    in.pending[id] = {type, number, Clock::now() + std::chrono::milliseconds(requestTimeoutMs)};
    setInt(AW_OBJECT_NUMBER, number);
    return RC_SUCCESS;
}

}  // namespace

namespace gorvale {
void AwSetRequestTimeout(int milliseconds) { requestTimeoutMs = milliseconds > 0 ? milliseconds : 1; }
}  // namespace gorvale

extern "C" {

int aw_init(int build) {
    if (build != AW_BUILD) return RC_VERSION_MISMATCH;
    lib.initialised = true;
    return RC_SUCCESS;
}

void aw_term(void) {
    aw_destroy();
    lib = Library{};
    requestTimeoutMs = kDefaultRequestTimeoutMs;
}

int aw_create(const char* domain, int port, void** instance) {
    if (!lib.initialised) return RC_NOT_INITIALIZED;
    aw_destroy();
    lib.instance = new Instance;
    std::random_device seed;
    // Object numbers start at a random point so two sessions rarely meet in a cell.
    lib.instance->nextNumber = 1 + (seed() % 0x3fffffffu);
    if (instance) *instance = lib.instance;
    lib.instance->fd = domain ? connectTo(domain, port) : -1;
    lib.instance->reached = lib.instance->fd >= 0;
    lib.instance->lost = !lib.instance->reached;
    return lib.instance->reached ? RC_SUCCESS : RC_UNABLE_TO_CONTACT_UNIVERSE;
}

int aw_destroy(void) {
    if (!lib.initialised) return RC_NOT_INITIALIZED;
    if (!lib.instance) return RC_NO_INSTANCE;
    closeSocket(*lib.instance);
    delete lib.instance;
    lib.instance = nullptr;
    return RC_SUCCESS;
}

int aw_login(void) {
    if (int rc = checkInstance()) return rc;
    Instance& in = *lib.instance;
    if (!in.reached) return RC_UNABLE_TO_CONTACT_UNIVERSE;
    if (in.fd < 0) return RC_CONNECTION_LOST;
    const std::uint32_t id = in.nextRequest++;
    FrameWriter w(Message::Login);
    w.i32(static_cast<std::int32_t>(id))
        .i32(lib.ints[AW_LOGIN_OWNER])
        .text(lib.strings[AW_LOGIN_PRIVILEGE_PASSWORD])
        .text(lib.strings[AW_LOGIN_APPLICATION])
        .text(lib.strings[AW_LOGIN_NAME]);
    return request(w, id);
}

int aw_enter(const char* world) {
    if (int rc = checkInstance()) return rc;
    if (!world) return RC_NULL_POINTER;
    if (std::strlen(world) > gorvale::wire::kMaxText) return RC_WORLD_NAME_TOO_LONG;
    Instance& in = *lib.instance;
    if (in.fd < 0) return in.reached ? RC_CONNECTION_LOST : RC_NO_CONNECTION;
    const std::uint32_t id = in.nextRequest++;
    FrameWriter w(Message::Enter);
    w.i32(static_cast<std::int32_t>(id)).text(world);
    return request(w, id);
}

int aw_wait(int milliseconds) {
    if (int rc = checkInstance()) return rc;
    if (lib.inWait) return RC_NOT_ALLOWED;  // a handler may not wait
    lib.inWait = true;
    Instance* in = lib.instance;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds);
    // A short wait (the pace between objects) sleeps through and delivers at
    // its end: one wake-up per wait instead of one per answer keeps the pace
    // on a busy machine.
    const bool shortWait = milliseconds <= kShortWaitMs;
    if (!in->out.empty()) flushOut(*in);
    // Delivers what has arrived; false when a handler destroyed the instance.
    const auto deliverArrived = [in]() {
        receive(*in, Clock::duration::zero());
        expireOverdue(*in);
        while (!in->queue.empty() && lib.instance == in) {
            Incoming m = std::move(in->queue.front());
            in->queue.pop_front();
            deliver(*in, m);
        }
        return lib.instance == in;
    };
    for (;;) {
        if (!deliverArrived()) break;
        const Clock::duration left = timeLeft(deadline);
        if (left == Clock::duration::zero()) break;
        if (in->fd < 0 || shortWait) {
            pollFor(-1, 0, left);
            deliverArrived();
            break;
        }
        receive(*in, left);
    }
    lib.inWait = false;
    return lib.instance && lib.instance->lost && lib.instance->reached ? RC_CONNECTION_LOST : RC_SUCCESS;
}

int aw_int_set(AW_ATTRIBUTE a, int value) {
    if (!lib.initialised) return RC_NOT_INITIALIZED;
    if (!validAttribute(a)) return RC_INVALID_ATTRIBUTE;
    lib.ints[a] = value;
    return RC_SUCCESS;
}

int aw_bool_set(AW_ATTRIBUTE a, int value) { return aw_int_set(a, value != 0); }

int aw_string_set(AW_ATTRIBUTE a, const char* value) {
    if (!lib.initialised) return RC_NOT_INITIALIZED;
    if (!validAttribute(a)) return RC_INVALID_ATTRIBUTE;
    if (!value) return RC_NULL_POINTER;
    if (std::strlen(value) > gorvale::wire::kMaxText) return RC_STRING_TOO_LONG;
    lib.strings[a] = value;
    return RC_SUCCESS;
}

int aw_int(AW_ATTRIBUTE a) { return validAttribute(a) ? lib.ints[a] : 0; }
int aw_bool(AW_ATTRIBUTE a) { return validAttribute(a) ? lib.ints[a] != 0 : 0; }

char* aw_string(AW_ATTRIBUTE a) {
    static char empty[1] = {0};
    return validAttribute(a) ? lib.strings[a].data() : empty;
}

int aw_callback_set(AW_CALLBACK c, AW_CALLBACK_FUNCTION callback) {
    if (!lib.initialised) return RC_NOT_INITIALIZED;
    if (c != AW_CALLBACK_OBJECT_RESULT && c != AW_CALLBACK_QUERY) return RC_INVALID_CALLBACK;
    lib.callbacks[c] = callback;
    return RC_SUCCESS;
}

int aw_event_set(AW_EVENT_ATTRIBUTE a, AW_EVENT_HANDLER handler) {
    if (!lib.initialised) return RC_NOT_INITIALIZED;
    if (a != AW_EVENT_CELL_BEGIN && a != AW_EVENT_CELL_OBJECT) return RC_INVALID_ATTRIBUTE;
    lib.events[a] = handler;
    return RC_SUCCESS;
}

int aw_object_add(void) { return objectRequest(Message::ObjectAdd); }
int aw_object_load(void) { return objectRequest(Message::ObjectLoad); }
int aw_object_delete(void) { return objectRequest(Message::ObjectDelete); }

int aw_query(int x_sector, int z_sector, int sequence[3][3]) {
    if (int rc = checkInstance()) return rc;
    if (!sequence) return RC_NULL_POINTER;
    Instance& in = *lib.instance;
    if (in.fd < 0) return in.reached ? RC_CONNECTION_LOST : RC_NO_CONNECTION;
    for (const auto& [id, p] : in.pending)
        if (p.type == Message::Query) return RC_QUERY_IN_PROGRESS;
    const std::uint32_t id = in.nextRequest++;
    FrameWriter w(Message::Query);
    w.i32(static_cast<std::int32_t>(id)).i32(x_sector).i32(z_sector);
    for (int z = 0; z < 3; ++z)
        for (int x = 0; x < 3; ++x) w.i32(sequence[z][x]);
    if (int rc = sendFrame(in, w.finish())) return rc;
    in.pending[id] = {Message::Query, 0, Clock::now() + std::chrono::milliseconds(requestTimeoutMs)};
    return RC_SUCCESS;
}

int aw_sector_from_cell(int cell) {
    // floor((cell + 4) / 8) in integers, for negative cells too
    const long long c = static_cast<long long>(cell) + 4;
    return static_cast<int>(c >= 0 ? c / 8 : -((-c + 7) / 8));
}

int aw_terrain_set(int x, int z, int count, int texture, int* heights) {
    if (int rc = checkInstance()) return rc;
    if (count < 0 || count > AW_MAX_TERRAIN_COUNT) return RC_INVALID_ATTRIBUTE;
    if (count > 0 && !heights) return RC_NULL_POINTER;
    Instance& in = *lib.instance;
    if (in.fd < 0) return in.reached ? RC_CONNECTION_LOST : RC_NO_CONNECTION;
    const std::uint32_t id = in.nextRequest++;
    FrameWriter w(Message::TerrainSet);
    w.i32(static_cast<std::int32_t>(id)).i32(x).i32(z).i32(texture).i32(count);
    for (int i = 0; i < count; ++i) w.i32(heights[i]);
    return request(w, id);
}

int aw_terrain_delete_all(void) {
    if (int rc = checkInstance()) return rc;
    Instance& in = *lib.instance;
    if (in.fd < 0) return in.reached ? RC_CONNECTION_LOST : RC_NO_CONNECTION;
    const std::uint32_t id = in.nextRequest++;
    FrameWriter w(Message::TerrainDeleteAll);
    w.i32(static_cast<std::int32_t>(id));
    return request(w, id);
}

}  // extern "C"
