#include "world/object_deletion.h"

#include "base/text_convert.h"
#include "world/aw_sdk.h"

namespace gorvale {
namespace {

constexpr int kSectorCells = 8;
constexpr int kFastDeleteWaitMs = 20;
constexpr int kPaceStepMs = 50;

// Codes that say the connection itself is gone: every later request of the
// walk would fail the same way.
bool connectionGone(int code) { return code == RC_CONNECTION_LOST || code == RC_NO_CONNECTION; }

}  // namespace

bool WildcardMatch(const std::string& name, const std::string& pattern) {
    std::size_t n = 0, p = 0;
    const std::size_t nl = name.size(), pl = pattern.size();
    while (p < pl) {
        const char ch = pattern[p];
        if (ch == '*') {
            while (p < pl && pattern[p] == '*') ++p;
            if (p == pl) return true;
            while (p < pl && pattern[p] == '?') {
                if (n >= nl) return false;
                ++n;
                ++p;
            }
            if (p == pl) return true;
            const std::size_t at = name.find(pattern[p], n);
            if (at == std::string::npos) return false;
            n = at + 1;
            ++p;
        } else if (ch == '?') {
            if (n >= nl) return false;
            ++n;
            ++p;
        } else {
            if (n >= nl || name[n] != ch) return false;
            ++n;
            ++p;
        }
    }
    return n == nl;
}

std::int32_t CellFromCoord(std::int32_t c) {
    const std::int64_t v = c;
    return static_cast<std::int32_t>(v >= 0 ? v / 1000 : -((-v + 999) / 1000));
}

ObjectDeletion::ObjectDeletion(BuilderBot& bot, UserInterface& ui) : bot_(bot), ui_(ui) {
    bot_.QueryResultHandler = [this](int code) { OnQueryResult(code); };
    bot_.CellBeginHandler = [this] { OnCellBegin(); };
    bot_.CellObjectHandler = [this] { OnCellObject(); };
    bot_.ObjectAnswerHandler = [this](int code) {
        if (code == 0) ++deleted_;
    };
}

ObjectDeletion::~ObjectDeletion() {
    bot_.QueryResultHandler = nullptr;
    bot_.CellBeginHandler = nullptr;
    bot_.CellObjectHandler = nullptr;
    bot_.ObjectAnswerHandler = nullptr;
}

void ObjectDeletion::query() {
    QueryComplete = false;
    queryFailed_ = false;
    ticksWaiting_ = 0;
    if (const int c = aw_query(aw_sector_from_cell(QueryCellX), aw_sector_from_cell(QueryCellZ), QuerySequence)) {
        bot_.LogReason("Query error", c);
        queryFailed_ = true;
        connectionLost_ = connectionGone(c);
    }
}

void ObjectDeletion::StartDeletion(std::int32_t xLow, std::int32_t zLow, std::int32_t citizen, bool byCitizen,
                                   const std::vector<std::string>& patterns, std::int32_t zHigh, std::int32_t xHigh) {
    // Objects found for an earlier rectangle and patterns are never acted on.
    FoundList.clear();
    FoundCount = 0;
    patterns_ = patterns;
    DeleteByCitizen = byCitizen;
    DeleteCitizen = citizen;
    xLow_ = xLow;
    zLow_ = zLow;
    xHigh_ = xHigh;
    zHigh_ = zHigh;
    failed_ = false;
    connectionLost_ = false;
    deleted_ = 0;
    QueryCellX = CellFromCoord(xLow);
    QueryCellZ = CellFromCoord(zLow);
    for (auto& row : QuerySequence)
        for (int& v : row) v = 1;
    QuerySequence[1][1] = 0;
    running_ = true;
    query();
}

void ObjectDeletion::OnCellBegin() {
    const int dx = aw_sector_from_cell(aw_int(AW_CELL_X)) - aw_sector_from_cell(QueryCellX);
    const int dz = aw_sector_from_cell(aw_int(AW_CELL_Z)) - aw_sector_from_cell(QueryCellZ);
    if (dx >= -1 && dx <= 1 && dz >= -1 && dz <= 1) QuerySequence[dz + 1][dx + 1] = aw_int(AW_CELL_SEQUENCE);
}

void ObjectDeletion::OnCellObject() {
    const std::int32_t x = aw_int(AW_OBJECT_X), z = aw_int(AW_OBJECT_Z);
    if (!InsideDeleteRectangle(x, z)) return;
    ObjectRecord r;
    r.owner = aw_int(AW_OBJECT_OWNER);
    r.x = x;
    r.y = aw_int(AW_OBJECT_Y);
    r.z = z;
    r.yaw = aw_int(AW_OBJECT_YAW);
    r.model = aw_string(AW_OBJECT_MODEL);
    r.description = aw_string(AW_OBJECT_DESCRIPTION);
    r.action = aw_string(AW_OBJECT_ACTION);
    r.timestamp = aw_int(AW_OBJECT_BUILD_TIMESTAMP);
    r.number = aw_int(AW_OBJECT_NUMBER);
    FoundList.push_back(std::move(r));
    ++FoundCount;
}

void ObjectDeletion::OnQueryResult(int code) {
    if (code != 0) {
        bot_.LogReason("Query error", code);
        // A failed query is not asked again: the tick ends the walk.
        queryFailed_ = true;
        connectionLost_ = connectionGone(code);
        return;
    }
    if (aw_bool(AW_QUERY_COMPLETE)) {
        bot_.Log().Append(format("Total objects found in Sector: %3d(z) %3d(x) =%4d", aw_sector_from_cell(QueryCellZ),
                                 aw_sector_from_cell(QueryCellX), FoundCount));
        QueryComplete = true;
        return;
    }
    query();
}

std::string ObjectDeletion::lostText() const {
    return format("The connection to the world was lost in sector %d(z) %d(x); the deletion ended there. The robot "
                  "log holds the objects deleted before.",
                  aw_sector_from_cell(QueryCellZ), aw_sector_from_cell(QueryCellX));
}

void ObjectDeletion::endWalk(const std::string& message) {
    running_ = false;
    if (bot_.Running()) bot_.StopBot();
    if (!message.empty()) ui_.message(message, kDeleteCaption, MessageKind::Error, Buttons::Ok);
}

void ObjectDeletion::DeleteTimerTimer() {
    bot_.Wait(1);
    if (!running_) return;
    if (!QueryComplete) {
        if (queryFailed_ || ++ticksWaiting_ > kQueryAnswerTicks || !bot_.Running()) {
            failed_ = true;
            endWalk(connectionLost_ ? lostText()
                                    : format("The world did not answer the query of sector %d(z) %d(x); the "
                                             "deletion ended there.",
                                             aw_sector_from_cell(QueryCellZ), aw_sector_from_cell(QueryCellX)));
        }
        return;
    }
    QueryComplete = false;
    while (!FoundList.empty()) {
        ui_.processEvents();
        if (ui_.stopRequested()) StopRequested = true;
        if (StopRequested) {
            StopRequested = false;
            endWalk("");
            return;
        }
        ObjectRecord r = std::move(FoundList.front());
        FoundList.pop_front();
        --FoundCount;
        if (DeleteByCitizen && r.owner != DeleteCitizen) continue;
        for (const std::string& line : patterns_) {
            if (!WildcardMatch(r.model, line)) continue;
            bot_.ShowAction(format("DELETE:%s at x=%d y=%d z=%d", r.model.c_str(), r.x, r.y, r.z));
            bot_.PendingList.push_back(r);
            aw_int_set(AW_OBJECT_NUMBER, r.number);
            aw_int_set(AW_OBJECT_X, r.x);
            aw_int_set(AW_OBJECT_Z, r.z);
            if (const int c = aw_object_delete()) {
                // A request the library did not send is never answered:
                // its copy would wait in the pending list for ever.
                bot_.PendingList.pop_back();
                bot_.LogReason("Unable to delete object ", c);
                if (connectionGone(c)) {
                    // Trying the rest against a closed connection would only
                    // log one failure per object, each after its pace wait.
                    failed_ = true;
                    endWalk(lostText());
                    return;
                }
            }
            if (bot_.PaceCount == 1) {
                bot_.Wait(kFastDeleteWaitMs);
            } else {
                for (int w = 0; w < bot_.PaceCount; ++w) {
                    bot_.Wait(kPaceStepMs);
                    bot_.Wait(kPaceStepMs);
                }
            }
            break;
        }
    }
    FoundCount = 0;
    FoundList.clear();
    QueryCellX += kSectorCells;
    if (QueryCellX > CellFromCoord(xHigh_)) {
        QueryCellX = CellFromCoord(xLow_);
        QueryCellZ += kSectorCells;
        if (QueryCellZ > CellFromCoord(zHigh_)) {
            endWalk("");
            return;
        }
    }
    for (auto& row : QuerySequence)
        for (int& v : row) v = -1;
    QuerySequence[1][1] = 0;
    query();
}

bool DeleteObjects(const ConversionSettings& s, BuilderBot& bot, UserInterface& ui, ObjectDeletion& deletion,
                   const BuildRectangle& rect, const std::vector<std::string>& patterns,
                   const std::string& citizenText, bool byCitizen) {
    const std::int32_t citizen = decimalInt(citizenText);
    if (citizen < 0 || s.BotCitNumber.empty() || s.BotPrivPassw.empty() || s.BotWorldName.empty() ||
        rect.xLow == rect.xHigh || rect.zLow == rect.zHigh || patterns.empty()) {
        ui.message(kSyntaxErrorText, "Error", MessageKind::Error, Buttons::Ok);
        return false;
    }
    if (ui.message(kDeleteConfirmText, "Confirm", MessageKind::Confirmation, Buttons::YesCancel) != Answer::Yes)
        return false;
    bot.UniverseHost = s.BotUniverseURL;
    bot.UniversePort = s.BotUniversePort;
    if (bot.StartBot(s.BotCitNumber, s.BotPrivPassw, s.BotSpeedBar, s.BotWorldName) != 0) {
        ui.message(kRobotFailedText, "Error", MessageKind::Error, Buttons::Ok);
        return false;
    }
    deletion.StartDeletion(rect.xLow, rect.zLow, citizen, byCitizen, patterns, rect.zHigh, rect.xHigh);
    return true;
}

}  // namespace gorvale
