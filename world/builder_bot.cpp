#include "world/builder_bot.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "base/c_file.h"
#include "base/text_convert.h"
#include "world/aw_sdk.h"
#include "world/reason_table.h"

namespace gorvale {
namespace {

constexpr const char* kBotName = "Gorvale";
constexpr const char* kApplicationName = "Gorvale";
constexpr int kSentWaitMs = 2;   // after every object sent
constexpr int kPaceStepMs = 50;  // per step of PaceCount beyond the first

}  // namespace

BuilderBot* BuilderBot::active_ = nullptr;

void RobotLog::Append(const std::string& line) {
    lines_.push_back(line);
    modified_ = true;
    if (OnLine) OnLine(line);
}

void RobotLog::AppendUnmarked(const std::string& line) {
    lines_.push_back(line);
    if (OnLine) OnLine(line);
}

bool RobotLog::SaveLog(const std::string& path, std::string& error) {
    FilePtr out = openFile(path, "wb");
    if (!out) {
        error = format("cannot create the robot log %s: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    for (const std::string& line : lines_) {
        if (std::fputs(line.c_str(), out.get()) == EOF || std::fputs("\r\n", out.get()) == EOF) {
            error = format("cannot write the robot log %s: %s", path.c_str(), std::strerror(errno));
            return false;
        }
    }
    std::FILE* f = out.release();
    if (std::fclose(f) != 0) {
        error = format("cannot write the robot log %s: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    modified_ = false;
    return true;
}

bool OfferToSaveRobotLog(UserInterface& ui, RobotLog& log,
                         const std::function<std::optional<std::string>()>& choosePath) {
    if (!log.Modified()) return true;
    if (ui.message(kRobotLogChanged, kRobotCaption, MessageKind::Confirmation, Buttons::YesNo) != Answer::Yes)
        return true;
    const std::optional<std::string> path = choosePath ? choosePath() : std::nullopt;
    if (!path) return true;
    std::string error;
    if (log.SaveLog(*path, error)) return true;
    ui.message(error, "Error", MessageKind::Error, Buttons::Ok);
    return false;
}

BuilderBot::BuilderBot() : Wait([](int ms) { return aw_wait(ms); }) {}

BuilderBot::~BuilderBot() {
    if (active_ == this) active_ = nullptr;
    if (initialised_) aw_term();
}

int BuilderBot::Initialize() {
    if (initialised_) return 0;
    const int rc = aw_init(AW_BUILD);
    initialised_ = rc == 0;
    return rc;
}

std::string BuilderBot::InitializeFailureText(int code) {
    return format("Unable to initialize SDK  (reason %d) %s", code, ReasonText(code));
}

std::int32_t BuilderBot::now() const {
    return Clock ? Clock() : static_cast<std::int32_t>(std::time(nullptr));
}

void BuilderBot::setLabel(const std::string& text) {
    actionLabel_ = text;
    if (OnActionLabel) OnActionLabel(text);
}

void BuilderBot::LogReason(const std::string& text, int code) {
    log_.Append(format("%s  (reason %d) %s", text.c_str(), code, ReasonText(code)));
}

int BuilderBot::StartBot(const std::string& citizenText, const std::string& privilegePassword, int speedPosition,
                         const std::string& worldName) {
    if (OnStart) OnStart();
    setLabel(format("Robot is logging into %s.", worldName.c_str()));
    if (const int rc = Initialize()) {
        LogReason("Unable to login", rc);
        setLabel(kNoRobotRunning);
        return rc;
    }
    aw_create(UniverseHost.c_str(), decimalInt(UniversePort), nullptr);  // the login reports what failed
    LoginCitizen = decimalInt(citizenText);
    PaceCount = 21 - speedPosition;
    aw_int_set(AW_LOGIN_OWNER, LoginCitizen);
    aw_string_set(AW_LOGIN_PRIVILEGE_PASSWORD, privilegePassword.c_str());
    aw_string_set(AW_LOGIN_APPLICATION, kApplicationName);
    aw_string_set(AW_LOGIN_NAME, kBotName);
    int rc = aw_login();
    // The password is not kept in the library longer than the login needs it.
    aw_string_set(AW_LOGIN_PRIVILEGE_PASSWORD, "");
    if (rc != 0) {
        LogReason("Unable to login", rc);
        setLabel(kNoRobotRunning);
        return rc;
    }
    rc = aw_enter(worldName.c_str());
    if (rc != 0) {
        LogReason("Unable to enter world", rc);
        setLabel(kNoRobotRunning);
        return rc;
    }
    active_ = this;
    aw_callback_set(AW_CALLBACK_OBJECT_RESULT, &BuilderBot::OnObjectResult);
    aw_callback_set(AW_CALLBACK_QUERY, &BuilderBot::OnQueryResult);
    aw_event_set(AW_EVENT_CELL_BEGIN, &BuilderBot::OnCellBegin);
    aw_event_set(AW_EVENT_CELL_OBJECT, &BuilderBot::OnCellObject);
    running_ = true;
    return 0;
}

void BuilderBot::StopBot() {
    // Answers still on their way are collected first, so the robot log
    // records every object built (bounded: a silent server cannot hold us).
    for (int waited = 0; running_ && !PendingList.empty() && waited < kStopDrainMs; waited += kStopStepMs)
        Wait(kStopStepMs);
    aw_destroy();
    running_ = false;
    if (active_ == this) active_ = nullptr;
    setLabel(kNoRobotRunning);
}

int BuilderBot::BuildObject(std::int32_t owner, std::int32_t x, std::int32_t timestamp, const std::string& action,
                            const std::string& description, const std::string& model, std::int32_t yaw,
                            std::int32_t z, std::int32_t y) {
    return BuildObjectOriented(owner, x, timestamp, action, description, model, 0, 0, yaw, z, y);
}

int BuilderBot::BuildObjectOriented(std::int32_t owner, std::int32_t x, std::int32_t timestamp,
                                    const std::string& action, const std::string& description,
                                    const std::string& model, std::int32_t roll, std::int32_t tilt,
                                    std::int32_t yaw, std::int32_t z, std::int32_t y) {
    aw_int_set(AW_OBJECT_TILT, tilt);
    aw_int_set(AW_OBJECT_ROLL, roll);
    setLabel(format("ADD:%s at x=%d y=%d z=%d yaw=%d", model.c_str(), x, y, z, yaw));
    aw_int_set(AW_OBJECT_X, x);
    aw_int_set(AW_OBJECT_Z, z);
    aw_int_set(AW_OBJECT_Y, y);
    aw_int_set(AW_OBJECT_YAW, yaw);
    aw_string_set(AW_OBJECT_MODEL, model.c_str());
    aw_string_set(AW_OBJECT_DESCRIPTION, description.c_str());
    aw_string_set(AW_OBJECT_ACTION, action.c_str());
    int rc;
    if (owner == LoginCitizen) {
        rc = aw_object_add();
    } else {
        aw_int_set(AW_OBJECT_OWNER, owner);
        aw_int_set(AW_OBJECT_BUILD_TIMESTAMP, timestamp != 0 ? timestamp : now());
        rc = aw_object_load();
    }
    if (rc != 0 && rc != RC_OUT_OF_BOUNDS) {
        LogReason(format("Unable to add object:%s at x=%d y=%d z=%d yaw=%d", model.c_str(), x, y, z, yaw), rc);
        return rc;
    }
    ObjectRecord record;
    record.owner = owner;
    record.number = aw_int(AW_OBJECT_NUMBER);
    record.x = x;
    record.y = y;
    record.z = z;
    record.yaw = yaw;
    record.timestamp = now();
    record.model = model;
    record.description = description;
    record.action = action;
    PendingList.push_back(std::move(record));
    Wait(kSentWaitMs);
    for (int i = 1; i < PaceCount; ++i) Wait(kPaceStepMs);
    return 0;
}

int BuilderBot::Put(const WorldObject& o) {
    return BuildObjectOriented(o.Owner, o.X, o.Timestamp, o.Action, o.Description, o.Model, o.Roll, o.Tilt, o.Yaw,
                               o.Z, o.Y);
}

void BuilderBot::OnObjectResult(int rc) {
    if (active_) active_->objectResult(rc);
}

void BuilderBot::objectResult(int rc) {
    const std::int32_t n = aw_int(AW_OBJECT_NUMBER);
    auto it = PendingList.begin();
    while (it != PendingList.end() && it->number != n) ++it;
    const bool found = it != PendingList.end();
    if (rc != 0) {
        if (!found)
            LogReason(format("Error in building request for object#%d", n), rc);
        else
            LogReason(format("Error in building request for object=%s x=%d y=%d z=%d #%d", it->model.c_str(), it->x,
                             it->y, it->z, n),
                      rc);
    }
    if (!found) return;
    if (ObjectAnswerHandler) ObjectAnswerHandler(rc);
    const ObjectRecord& r = *it;
    log_.Append(format("0x%08x %d %d %d %d %d %d %d %d %d %d %d %s%s%s", static_cast<unsigned>(r.number), r.owner,
                       r.timestamp, r.x, r.y, r.z, r.yaw, 0, 0, static_cast<int>(r.model.size()),
                       static_cast<int>(r.description.size()), static_cast<int>(r.action.size()), r.model.c_str(),
                       r.description.c_str(), r.action.c_str()));
    PendingList.erase(it);
}

// Sector queries serve object deletion.
void BuilderBot::OnQueryResult(int rc) {
    if (active_ && active_->QueryResultHandler) active_->QueryResultHandler(rc);
}
void BuilderBot::OnCellBegin() {
    if (active_ && active_->CellBeginHandler) active_->CellBeginHandler();
}
void BuilderBot::OnCellObject() {
    if (active_ && active_->CellObjectHandler) active_->CellObjectHandler();
}

}  // namespace gorvale
