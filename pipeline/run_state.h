#pragma once
// What one Generate run carries from its start to its finish: the open log
// and object list, the stop flag, the writer's running result and the
// placement values computed once per run.

#include <cstdint>

#include "base/c_file.h"

namespace gorvale {

// An extreme tile-corner elevation and the rotated tile position where it was seen.
struct ExtremePoint {
    std::int32_t Value = 0;
    std::int32_t X = 0;
    std::int32_t Z = 0;
};

constexpr std::int32_t kMinPointStart = 32000;
constexpr std::int32_t kMaxPointStart = -1;

struct RunState {
    FilePtr LogStream;        // none when logging is off or the log could not be opened
    FilePtr PropdumpStream;   // none with NoPropfile, AW_Terrain, or when it could not be created
    bool StopRequested = false;
    int WriterResultSum = 0;  // a negative sum ends the tile loop
    // A file of the run (object list, log, model, archive) was not written
    // in full; the failure has been reported with the file's name.
    bool WriteFailed = false;
    bool LogFailed = false;   // reported once; no more lines are written
    std::int32_t BotOffsetX = 0;       // cm
    std::int32_t BotOffsetZ = 0;       // cm
    std::int32_t PropElevationCm = 0;  // cm
    ExtremePoint MinPoint{kMinPointStart, 0, 0};
    ExtremePoint MaxPoint{kMaxPointStart, 0, 0};
};

}  // namespace gorvale
