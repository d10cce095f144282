#pragma once
// The frames between our world client library and gorvale-world. Each frame
// is a 4-byte little-endian length of what follows, then a protocol version
// byte, a message type byte and the message's fields: 32-bit little-endian
// integers and texts (16-bit length, then the bytes). A frame longer than
// kMaxFrameBody is refused by both sides, so a hostile length cannot make
// either side allocate without bound.

#include <cstdint>
#include <string>
#include <string_view>

namespace gorvale::wire {

inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::size_t kLengthBytes = 4;
inline constexpr std::size_t kMaxFrameBody = 64 * 1024;
inline constexpr std::size_t kMaxText = 255;  // model, description, action, names, passwords

enum class Message : std::uint8_t {
    // client to server; every request starts with its 32-bit request id
    Login = 1,             // citizen, password, application, bot name
    Enter = 2,             // world name
    ObjectAdd = 3,         // number, x, y, z, yaw, tilt, roll, model, description, action
    ObjectLoad = 4,        // as ObjectAdd, then owner, timestamp
    ObjectDelete = 5,      // number, x, z
    Query = 6,             // sector x, sector z, 9 sequence numbers [z][x]
    TerrainSet = 7,        // x, z, texture, count, count heights
    TerrainDeleteAll = 8,  //
    // server to client
    Result = 64,       // request id, reason, object number (0 when none)
    CellBegin = 65,    // request id, cell x, cell z, sequence
    CellObject = 66,   // request id, number, owner, timestamp, x, y, z, yaw, tilt, roll, model, description, action
    QueryResult = 67,  // request id, reason, complete (0 or 1)
};

// Builds one frame.
class FrameWriter {
public:
    explicit FrameWriter(Message type);
    FrameWriter& i32(std::int32_t v);
    FrameWriter& text(std::string_view s);  // longer than kMaxText: cut at kMaxText
    // The finished frame, length prefix included.
    const std::string& finish();
    std::size_t size() const { return buf_.size(); }

private:
    std::string buf_;
};

// Reads the fields of one frame body (version and type already taken off).
// Reading past the end sets the failed mark and yields zeros and empty texts.
class FrameReader {
public:
    explicit FrameReader(std::string_view fields) : p_(fields) {}
    std::int32_t i32();
    std::string text();
    bool failed() const { return failed_; }
    // True when every field was read and nothing is left over.
    bool complete() const { return !failed_ && p_.empty(); }

private:
    std::string_view p_;
    bool failed_ = false;
};

// The outcome of looking at the start of a receive buffer.
enum class FrameStatus { Incomplete, Ready, TooLong, BadVersion };

struct FrameView {
    Message type{};
    std::string_view fields;  // after version and type
    std::size_t consumed = 0; // bytes of the buffer taken by the frame
};

// Looks for one whole frame at the start of `buffer`.
FrameStatus PeekFrame(std::string_view buffer, FrameView& out);

}  // namespace gorvale::wire
