#pragma once
// Object deletion: walks a rectangle of the world sector by sector with the
// sector query, collects the objects inside it and deletes those whose model
// name matches one of the patterns (optionally only of one owner). Driven by
// a 100 ms tick; each deleted object goes to the robot log as a propdump
// line when its answer comes, so a saved log can put the objects back.

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "base/conversion_settings.h"
#include "base/user_interface.h"
#include "world/builder_bot.h"
#include "world/propdump_build.h"

namespace gorvale {

// "*" any run (to the first occurrence of the character after it), "?" one
// character; case-sensitive, without backtracking.
bool WildcardMatch(const std::string& name, const std::string& pattern);

// The cell of a centimetre coordinate, rounding toward minus infinity.
std::int32_t CellFromCoord(std::int32_t c);

inline constexpr int kDeleteTickMs = 100;
// Ticks a sector query may go unanswered before the walk gives up.
inline constexpr int kQueryAnswerTicks = 300;

inline constexpr const char* kDeleteCaption = "Delete Objects";

class ObjectDeletion {
public:
    ObjectDeletion(BuilderBot& bot, UserInterface& ui);
    ~ObjectDeletion();
    ObjectDeletion(const ObjectDeletion&) = delete;
    ObjectDeletion& operator=(const ObjectDeletion&) = delete;

    // Starts a walk with the bot logged in. Records left by an earlier,
    // stopped walk are discarded first.
    void StartDeletion(std::int32_t xLow, std::int32_t zLow, std::int32_t citizen, bool byCitizen,
                       const std::vector<std::string>& patterns, std::int32_t zHigh, std::int32_t xHigh);
    // Every 100 ms, whether or not a walk runs.
    void DeleteTimerTimer();
    // Ends a walk at once (the stop button between sectors) and logs the bot out.
    void StopWalk() { endWalk(""); }
    // A walk is under way (the bot is still logged in for it).
    bool Running() const { return running_; }
    // The walk ended because the world stopped answering or the connection
    // to it was lost.
    bool Failed() const { return failed_; }
    // Deletions the world confirmed.
    int Deleted() const { return deleted_; }

    bool InsideDeleteRectangle(std::int32_t x, std::int32_t z) const {
        return xLow_ < x && x < xHigh_ && zLow_ < z && z < zHigh_;
    }

    // The library's handlers, routed here by the bot.
    void OnCellBegin();
    void OnCellObject();
    void OnQueryResult(int code);

    bool StopRequested = false;  // the stop button

    std::int32_t QueryCellX = 0, QueryCellZ = 0;
    int QuerySequence[3][3] = {};
    bool QueryComplete = false;
    std::list<ObjectRecord> FoundList;
    std::int32_t FoundCount = 0;
    bool DeleteByCitizen = false;
    std::int32_t DeleteCitizen = -1;

private:
    void query();
    void endWalk(const std::string& message);
    std::string lostText() const;

    BuilderBot& bot_;
    UserInterface& ui_;
    std::vector<std::string> patterns_;
    std::int32_t xLow_ = 0, zLow_ = 0, xHigh_ = 0, zHigh_ = 0;
    bool running_ = false;
    bool failed_ = false;
    bool queryFailed_ = false;
    bool connectionLost_ = false;  // a request failed because the connection is gone
    int ticksWaiting_ = 0;
    int deleted_ = 0;
};

inline constexpr const char* kDeleteConfirmText = "Are you sure?\nI'll delete every matching objects!";

// "Delete NOW!": checks the parameters, asks, logs the bot in and starts the
// walk; false (after a message) when nothing was started. The caller then
// calls deletion.DeleteTimerTimer() every 100 ms while it runs.
bool DeleteObjects(const ConversionSettings& s, BuilderBot& bot, UserInterface& ui, ObjectDeletion& deletion,
                   const BuildRectangle& rect, const std::vector<std::string>& patterns,
                   const std::string& citizenText, bool byCitizen);

}  // namespace gorvale
