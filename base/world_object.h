#pragma once
// One object of a world, as the object list stores it and the builder bot
// sends it: the single record that the propdump writer, the tile layout,
// tree placement and the bot share, so an object is described once.

#include <cstdint>
#include <string>

namespace gorvale {

struct WorldObject {
    std::int32_t Owner = 0;      // citizen number
    std::int32_t Number = 0;     // unique within its cell; 0 until the world assigns it
    std::int32_t Timestamp = 0;  // seconds since 1970; 0 means now
    std::int32_t X = 0;          // cm, growing westward
    std::int32_t Y = 0;          // cm, upward
    std::int32_t Z = 0;          // cm, growing northward
    std::int32_t Yaw = 0;        // tenths of a degree
    std::int32_t Tilt = 0;
    std::int32_t Roll = 0;
    std::string Model;
    std::string Description;
    std::string Action;
};

// Where a run's objects go: the propdump file, the builder bot, a test's
// record. Put returns 0 when the object was taken, otherwise the sink's own
// non-zero code (an I/O failure of a file, a platform reason of the bot).
class ObjectSink {
public:
    virtual ~ObjectSink() = default;
    virtual int Put(const WorldObject& object) = 0;
};

}  // namespace gorvale
