#pragma once
// The builder bot: logs into a universe under a citizen's number, enters one
// world and builds objects there through the world client library
// (aw_sdk.h), keeping the requests that wait for the server's answer and the
// robot log. Single-threaded: the library's handlers run inside the bot's
// own waits (aw_wait), on the calling thread.

#include <cstdint>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <vector>

#include "base/user_interface.h"
#include "base/world_object.h"

namespace gorvale {

// One world object as the bot keeps it while its request is pending.
struct ObjectRecord {
    std::int32_t owner = 0;
    std::int32_t number = 0;  // as the library reports it (attribute 231)
    std::int32_t x = 0, y = 0, z = 0;  // cm; y is height
    std::int32_t yaw = 0;
    std::int32_t timestamp = 0;  // seconds since 1970
    std::string model, description, action;
};

// The robot log: one line per entry, with a modified mark.
class RobotLog {
public:
    void Append(const std::string& line);
    // A line that does not mark the log modified (terrain parameters).
    void AppendUnmarked(const std::string& line);
    const std::vector<std::string>& Lines() const { return lines_; }
    bool Modified() const { return modified_; }
    void MarkModified() { modified_ = true; }
    // Writes every line (CR LF) and clears the modified mark; false with
    // `error` naming the file and the system's reason.
    bool SaveLog(const std::string& path, std::string& error);
    // Told every line as it is appended (the window, the terminal).
    std::function<void(const std::string&)> OnLine;

private:
    std::vector<std::string> lines_;
    bool modified_ = false;
};

inline constexpr const char* kRobotCaption = "Robot";
inline constexpr const char* kRobotLogLabel = "Robot log messages";
inline constexpr const char* kRobotLogChanged = "Robot Log changed! \n Do you want to save it?";
inline constexpr const char* kRobotLogDefaultExtension = ".log";
inline constexpr const char* kRobotLogFilter = "Log files (*.log)|*.log|all files *.*|*.*";

// Closing (or destroying) the bot window with a modified log: asks
// kRobotLogChanged (Yes, No); Yes asks `choosePath` for a file (nothing:
// not saved) and saves there. False only when the save failed, after a
// message naming the file and the reason.
bool OfferToSaveRobotLog(UserInterface& ui, RobotLog& log,
                         const std::function<std::optional<std::string>()>& choosePath);

inline constexpr const char* kNoRobotRunning = "No Robot is running";
inline constexpr const char* kNoRobotAtStart = "No Robot is Running";
inline constexpr int kBotSpeedMaxPosition = 20;
// How long StopBot waits for answers still pending, in steps of kStopStepMs.
inline constexpr int kStopDrainMs = 5000;
inline constexpr int kStopStepMs = 50;

class BuilderBot : public ObjectSink {
public:
    BuilderBot();
    ~BuilderBot() override;  // releases the library when this bot started it
    BuilderBot(const BuilderBot&) = delete;
    BuilderBot& operator=(const BuilderBot&) = delete;

    // aw_init; the library's reason code (0: usable). Safe to call again.
    int Initialize();
    // The message of a failed Initialize: "Unable to initialize SDK  (reason %d) %s".
    static std::string InitializeFailureText(int code);

    // Where StartBot connects (BotUniverseURL, BotUniversePort as typed).
    std::string UniverseHost = "localhost";
    std::string UniversePort = "6670";

    // Logs in and enters the world; 0 on success, else the failing code
    // (already in the robot log).
    int StartBot(const std::string& citizenText, const std::string& privilegePassword, int speedPosition,
                 const std::string& worldName);
    // Waits (bounded) for the answers still pending, then ends the connection.
    void StopBot();
    bool Running() const { return running_; }

    // Sends one object; 0 when sent (also for OUT_OF_BOUNDS), else the code.
    int BuildObject(std::int32_t owner, std::int32_t x, std::int32_t timestamp, const std::string& action,
                    const std::string& description, const std::string& model, std::int32_t yaw, std::int32_t z,
                    std::int32_t y);
    int BuildObjectOriented(std::int32_t owner, std::int32_t x, std::int32_t timestamp, const std::string& action,
                            const std::string& description, const std::string& model, std::int32_t roll,
                            std::int32_t tilt, std::int32_t yaw, std::int32_t z, std::int32_t y);
    // The object record as an object to build.
    int Put(const WorldObject& object) override;

    // Appends "%s  (reason %d) %s" and marks the log modified.
    void LogReason(const std::string& text, int code);

    RobotLog& Log() { return log_; }
    const RobotLog& Log() const { return log_; }
    const std::string& RobotActionLabel() const { return actionLabel_; }
    // Sets the action label (terrain strips, deletions).
    void ShowAction(const std::string& text) { setLabel(text); }

    std::int32_t LoginCitizen = 0;
    std::int32_t PaceCount = 21;
    std::list<ObjectRecord> PendingList;  // oldest first

    // Told when StartBot begins (the bot window shows itself).
    std::function<void()> OnStart;
    // Told the action label's text whenever it changes.
    std::function<void(const std::string&)> OnActionLabel;
    // The waits of the pace; aw_wait unless replaced (tests record the waits asked).
    std::function<int(int)> Wait;
    // Seconds since 1970; the system clock unless replaced.
    std::function<std::int32_t()> Clock;

    // Told the reason code of each answer to a pending request, before its
    // log line (object deletion counts the deletions confirmed).
    std::function<void(int)> ObjectAnswerHandler;
    // Where the sector-query handlers go (object deletion sets them).
    std::function<void(int)> QueryResultHandler;
    std::function<void()> CellBeginHandler;
    std::function<void()> CellObjectHandler;

    // The library's handlers (plain functions: the library keeps no context).
    static void OnObjectResult(int rc);
    static void OnQueryResult(int rc);
    static void OnCellBegin();
    static void OnCellObject();

private:
    void setLabel(const std::string& text);
    void objectResult(int rc);
    std::int32_t now() const;

    RobotLog log_;
    std::string actionLabel_ = kNoRobotAtStart;
    bool initialised_ = false;
    bool running_ = false;
    static BuilderBot* active_;  // the bot whose session the handlers serve
};

}  // namespace gorvale
