// gorvale-world under bad input: it must neither crash nor keep other
// clients waiting.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/world/local_world.h"
#include "world/aw_sdk.h"
#include "world/aw_sdk_ext.h"
#include "world/wire_protocol.h"

namespace gorvale {
namespace {

// A raw loopback connection, closed by its destructor.
class RawClient {
public:
    explicit RawClient(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~RawClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;
    bool ok() const { return fd_ >= 0; }
    void send(const std::string& bytes) {
        if (fd_ >= 0) (void)::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // True when the server closes the connection within the time given.
    bool closedWithin(int ms) {
        char buf[4096];
        for (int waited = 0; waited < ms; waited += 50) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return true;
        }
        return false;
    }

private:
    int fd_ = -1;
};

// A full client round: log in, enter, build one object and hear its answer.
void expectServerStillServes(const test::LocalWorld& world, int x) {
    ASSERT_EQ(aw_init(AW_BUILD), 0);
    AwSetRequestTimeout(5000);
    ASSERT_EQ(aw_create("127.0.0.1", world.port(), nullptr), 0);
    aw_int_set(AW_LOGIN_OWNER, 1001);
    aw_string_set(AW_LOGIN_PRIVILEGE_PASSWORD, "secret");
    EXPECT_EQ(aw_login(), 0);
    EXPECT_EQ(aw_enter("alpha"), 0);
    aw_int_set(AW_OBJECT_X, x);
    aw_string_set(AW_OBJECT_MODEL, "probe.rwx");
    EXPECT_EQ(aw_object_add(), 0);  // no callback: waits for the answer
    aw_term();
}

std::string objectAddFrame(int id) {
    wire::FrameWriter w(wire::Message::ObjectAdd);
    w.i32(id).i32(77).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0).text("m").text("").text("");
    return w.finish();
}

class WorldServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(world.Start("--idle-timeout 2")); }
    void TearDown() override {
        EXPECT_TRUE(world.Alive()) << "the server ended";
        EXPECT_TRUE(world.Stop());
    }
    test::LocalWorld world;
};

TEST_F(WorldServerTest, BadFramesCloseOnlyTheirOwnConnection) {
    const std::string add = objectAddFrame(1);
    std::mt19937 random(12345);
    std::string noise(4096, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"huge length", std::string("\xff\xff\xff\xff\x01\x03", 6)},
        {"random bytes", noise},
        {"another protocol", "GET / HTTP/1.1\r\nHost: x\r\n\r\n"},
        {"wrong version", std::string("\x06\x00\x00\x00\x09\x01\x00\x00\x00\x00", 10)},
        {"unknown message", std::string("\x06\x00\x00\x00\x01\x63\x00\x00\x00\x00", 10)},
        {"fields missing", add.substr(0, 4) + add.substr(4, 10)},
        {"object before login", add},
    };
    for (const auto& c : cases) {
        RawClient bad(world.port());
        ASSERT_TRUE(bad.ok());
        std::string bytes = c.bytes;
        if (std::string(c.what) == "fields missing") {
            // a whole frame whose length covers fewer fields than the message has
            wire::FrameWriter w(wire::Message::ObjectAdd);
            w.i32(1).i32(2);
            bytes = w.finish();
        }
        bad.send(bytes);
        if (std::string(c.what) == "object before login") {
            // answered (NOT_LOGGED_IN), not dropped; the connection stays usable
            EXPECT_FALSE(bad.closedWithin(300)) << c.what;
        } else {
            EXPECT_TRUE(bad.closedWithin(3000)) << c.what;
        }
    }
    expectServerStillServes(world, 1000);
}

TEST_F(WorldServerTest, SilentTruncatedAndVanishingClientsDoNotHoldOthers) {
    RawClient silent(world.port());
    RawClient truncated(world.port());
    ASSERT_TRUE(silent.ok());
    ASSERT_TRUE(truncated.ok());
    truncated.send(objectAddFrame(1).substr(0, 9));
    {
        // A client that asks and leaves before reading its answer.
        RawClient vanishing(world.port());
        wire::FrameWriter w(wire::Message::Query);
        w.i32(1).i32(0).i32(0);
        for (int i = 0; i < 9; ++i) w.i32(0);
        vanishing.send(w.finish());
    }
    expectServerStillServes(world, 2000);
    // Both idle connections are closed after the idle time.
    EXPECT_TRUE(silent.closedWithin(5000));
    EXPECT_TRUE(truncated.closedWithin(5000));
}

TEST_F(WorldServerTest, HundredsOfConnectionsAtOnce) {
    std::vector<std::unique_ptr<RawClient>> crowd;
    for (int i = 0; i < 300; ++i) {
        crowd.push_back(std::make_unique<RawClient>(world.port()));
        ASSERT_TRUE(crowd.back()->ok()) << i;
        crowd.back()->send(objectAddFrame(i));
    }
    expectServerStillServes(world, 3000);
    crowd.clear();
    expectServerStillServes(world, 4000);
}

TEST(WorldClient, ARequestToASilentServerTimesOut) {
    // A listener that accepts and never answers.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
    ASSERT_EQ(aw_init(AW_BUILD), 0);
    AwSetRequestTimeout(300);
    ASSERT_EQ(aw_create("127.0.0.1", ntohs(a.sin_port), nullptr), 0);
    aw_int_set(AW_LOGIN_OWNER, 1001);
    EXPECT_EQ(aw_login(), RC_TIMEOUT);
    aw_term();
    ::close(listener);
    // Nobody listening at all.
    ASSERT_EQ(aw_init(AW_BUILD), 0);
    EXPECT_EQ(aw_create("127.0.0.1", ntohs(a.sin_port), nullptr), RC_UNABLE_TO_CONTACT_UNIVERSE);
    EXPECT_EQ(aw_login(), RC_UNABLE_TO_CONTACT_UNIVERSE);
    EXPECT_EQ(aw_enter("alpha"), RC_NO_CONNECTION);
    aw_term();
    EXPECT_EQ(aw_login(), RC_NOT_INITIALIZED);
}

TEST_F(WorldServerTest, AConnectionLostIsReportedToPendingAndLaterRequests) {
    ASSERT_EQ(aw_init(AW_BUILD), 0);
    ASSERT_EQ(aw_create("127.0.0.1", world.port(), nullptr), 0);
    aw_int_set(AW_LOGIN_OWNER, 1001);
    aw_string_set(AW_LOGIN_PRIVILEGE_PASSWORD, "secret");
    ASSERT_EQ(aw_login(), 0);
    ASSERT_EQ(aw_enter("alpha"), 0);
    // A queued add whose connection drops is answered CONNECTION_LOST in aw_wait.
    static int lastRc = -1;
    lastRc = -1;
    aw_callback_set(AW_CALLBACK_OBJECT_RESULT, [](int rc) { lastRc = rc; });
    aw_int_set(AW_OBJECT_X, 9000);
    aw_string_set(AW_OBJECT_MODEL, "gone.rwx");
    world.Kill();
    const int sent = aw_object_add();
    EXPECT_TRUE(sent == 0 || sent == RC_CONNECTION_LOST) << sent;
    for (int i = 0; i < 40 && lastRc == -1 && sent == 0; ++i) aw_wait(50);
    if (sent == 0) EXPECT_TRUE(lastRc == RC_CONNECTION_LOST || lastRc == RC_TIMEOUT) << lastRc;
    EXPECT_EQ(aw_object_add(), RC_CONNECTION_LOST);
    EXPECT_EQ(aw_enter("alpha"), RC_CONNECTION_LOST);
    aw_term();
    ASSERT_TRUE(world.Start("--idle-timeout 2"));
}

}  // namespace
}  // namespace gorvale

namespace gorvale {
namespace {

// What one query answer delivered.
struct QueryLog {
    int objects = 0;
    int answers = 0;
    int lastRc = -1;
    bool complete = false;
    std::map<std::pair<int, int>, int> newestPerSector;  // (sector x, sector z) -> sequence
};
QueryLog queryLog;

// Asks until the answer is complete, carrying the sequence numbers seen.
void queryAll(int sequence[3][3]) {
    queryLog.complete = false;
    for (int round = 0; round < 50 && !queryLog.complete; ++round) {
        const int answers = queryLog.answers;
        ASSERT_EQ(aw_query(0, 0, sequence), 0);
        for (int i = 0; i < 200 && queryLog.answers == answers; ++i) aw_wait(10);
        ASSERT_EQ(queryLog.lastRc, 0);
        for (const auto& [sector, seq] : queryLog.newestPerSector) {
            const int x = sector.first + 1, z = sector.second + 1;
            if (x >= 0 && x < 3 && z >= 0 && z < 3 && seq > sequence[z][x]) sequence[z][x] = seq;
        }
    }
    EXPECT_TRUE(queryLog.complete);
}

TEST_F(WorldServerTest, AQueryAnswersInBatchesAndThenOnlyWhatChanged) {
    ASSERT_EQ(aw_init(AW_BUILD), 0);
    ASSERT_EQ(aw_create("127.0.0.1", world.port(), nullptr), 0);
    aw_int_set(AW_LOGIN_OWNER, 1001);
    aw_string_set(AW_LOGIN_PRIVILEGE_PASSWORD, "secret");
    ASSERT_EQ(aw_login(), 0);
    ASSERT_EQ(aw_enter("alpha"), 0);
    // 250 objects in 25 cells of sector (0, 0) and one in sector (1, 0) (cell 4).
    aw_string_set(AW_OBJECT_MODEL, "q.rwx");
    for (int i = 0; i < 251; ++i) {
        aw_int_set(AW_OBJECT_X, i == 250 ? 4500 : (i % 5) * 1000 - 4000 + 10 * (i / 25));
        aw_int_set(AW_OBJECT_Z, ((i / 5) % 5) * 1000 - 2000);
        ASSERT_EQ(aw_object_add(), 0) << i;
    }
    const int loneNumber = aw_int(AW_OBJECT_NUMBER);
    queryLog = QueryLog{};
    aw_callback_set(AW_CALLBACK_QUERY, [](int rc) {
        ++queryLog.answers;
        queryLog.lastRc = rc;
        queryLog.complete = aw_bool(AW_QUERY_COMPLETE);
    });
    aw_event_set(AW_EVENT_CELL_BEGIN, [] {
        const std::pair<int, int> sector{aw_sector_from_cell(aw_int(AW_CELL_X)), aw_sector_from_cell(aw_int(AW_CELL_Z))};
        int& newest = queryLog.newestPerSector[sector];
        newest = std::max(newest, aw_int(AW_CELL_SEQUENCE));
    });
    aw_event_set(AW_EVENT_CELL_OBJECT, [] { ++queryLog.objects; });
    int sequence[3][3] = {};
    queryAll(sequence);
    EXPECT_EQ(queryLog.objects, 251);
    EXPECT_GT(queryLog.answers, 2);  // more than a hundred objects come in several batches
    EXPECT_EQ(sequence[1][2], 1);    // sector (1, 0): one change
    EXPECT_EQ(sequence[1][1], 250);  // sector (0, 0): one sequence step per change

    // Nothing changed: nothing comes. One object deleted: its cell comes again.
    queryLog.objects = 0;
    queryAll(sequence);
    EXPECT_EQ(queryLog.objects, 0);
    aw_int_set(AW_OBJECT_X, 4500);
    aw_int_set(AW_OBJECT_Z, -2000);
    aw_int_set(AW_OBJECT_NUMBER, loneNumber + 1);
    EXPECT_EQ(aw_object_delete(), RC_NO_SUCH_OBJECT);
    aw_int_set(AW_OBJECT_NUMBER, loneNumber);
    EXPECT_EQ(aw_object_delete(), 0);
    queryAll(sequence);
    EXPECT_EQ(queryLog.objects, 0);  // the cell comes again, now empty
    EXPECT_EQ(sequence[1][2], 2);
    EXPECT_EQ(sequence[1][1], 250);
    EXPECT_EQ(aw_sector_from_cell(-5), -1);
    EXPECT_EQ(aw_sector_from_cell(-4), 0);
    EXPECT_EQ(aw_sector_from_cell(3), 0);
    EXPECT_EQ(aw_sector_from_cell(4), 1);
    aw_term();
}

}  // namespace
}  // namespace gorvale

namespace gorvale {
namespace {

// Logs the library in as `citizen` and enters `world`.
void session(int port, int citizen, const char* password, const char* worldName) {
    ASSERT_EQ(aw_init(AW_BUILD), 0);
    ASSERT_EQ(aw_create("127.0.0.1", port, nullptr), 0);
    aw_int_set(AW_LOGIN_OWNER, citizen);
    aw_string_set(AW_LOGIN_PRIVILEGE_PASSWORD, password);
    ASSERT_EQ(aw_login(), 0);
    ASSERT_EQ(aw_enter(worldName), 0);
}

TEST_F(WorldServerTest, RightsDecideWhoMayDeleteLoadAndSetTerrain) {
    int heights[3] = {100, 200, -300};
    session(world.port(), 1001, "secret", "alpha");
    aw_int_set(AW_OBJECT_X, 1500);
    aw_int_set(AW_OBJECT_Z, -2500);
    aw_string_set(AW_OBJECT_MODEL, "mine.rwx");
    ASSERT_EQ(aw_object_add(), 0);
    const int number = aw_int(AW_OBJECT_NUMBER);
    EXPECT_EQ(aw_terrain_set(-1, 2, 3, 5, heights), 0);  // eminent domain
    aw_term();

    // Citizen 1002 may build in "alpha" but holds no eminent domain.
    session(world.port(), 1002, "other", "alpha");
    aw_int_set(AW_OBJECT_X, 1500);
    aw_int_set(AW_OBJECT_Z, -2500);
    aw_int_set(AW_OBJECT_NUMBER, number);
    EXPECT_EQ(aw_object_delete(), RC_NOT_DELETE_OWNER);
    aw_int_set(AW_OBJECT_OWNER, 1001);
    EXPECT_EQ(aw_object_load(), RC_UNAUTHORIZED);
    EXPECT_EQ(aw_terrain_set(0, 0, 3, 5, heights), RC_UNAUTHORIZED);
    EXPECT_EQ(aw_terrain_delete_all(), RC_UNAUTHORIZED);
    aw_term();

    // The owner deletes it; then it is gone.
    session(world.port(), 1001, "secret", "alpha");
    aw_int_set(AW_OBJECT_X, 1500);
    aw_int_set(AW_OBJECT_Z, -2500);
    aw_int_set(AW_OBJECT_NUMBER, number);
    EXPECT_EQ(aw_object_delete(), 0);
    EXPECT_EQ(aw_object_delete(), RC_NO_SUCH_OBJECT);
    EXPECT_EQ(aw_terrain_delete_all(), 0);
    aw_term();
    EXPECT_EQ(world.Dump("alpha"), "propdump version 3\r\n");
}

}  // namespace
}  // namespace gorvale
