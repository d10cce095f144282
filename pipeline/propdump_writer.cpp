#include "pipeline/propdump_writer.h"

#include <cerrno>

#include "base/text_convert.h"

namespace gorvale {

namespace {

constexpr const char* kObjectFormat = "%d %d %d %d %d %d %d %d %d %d %d %s%s%s";
constexpr const char* kGroundFormat = "%d %d %d %d %d %d 0 0 %d 0 0 %s";
constexpr const char* kTreeFormat = "%d %d %d %d %d %d 0 0 %d 0 %d %s%s";
constexpr const char* kTeleportFormat = "%d %d 0 %d 0 0 0 0 %d 0 %d %s%s";
constexpr const char* kTeleportActionFormat = "bump warp +0 +0 %02da";

int length(const std::string& text) { return static_cast<int>(text.size()); }

}  // namespace

std::string PropdumpHeaderLine() { return std::string(kPropdumpHeader) + kPropdumpLineEnd; }

std::string PropdumpLine(const WorldObject& o) {
    return format(kObjectFormat, o.Owner, o.Timestamp, o.X, o.Y, o.Z, o.Yaw, o.Tilt, o.Roll, length(o.Model),
                  length(o.Description), length(o.Action), o.Model.c_str(), o.Description.c_str(),
                  o.Action.c_str()) +
           kPropdumpLineEnd;
}

std::string GroundObjectLine(std::int32_t citizen, std::int32_t timestamp, std::int32_t x,
                             std::int32_t y, std::int32_t z, int yaw, const std::string& model) {
    return format(kGroundFormat, citizen, timestamp, x, y, z, yaw, length(model), model.c_str()) +
           kPropdumpLineEnd;
}

std::string TreeObjectLine(std::int32_t citizen, std::int32_t timestamp, std::int32_t x, std::int32_t y,
                           std::int32_t z, std::int32_t yaw, const std::string& model,
                           const std::string& action) {
    return format(kTreeFormat, citizen, timestamp, x, y, z, yaw, length(model), length(action),
                  model.c_str(), action.c_str()) +
           kPropdumpLineEnd;
}

std::string TeleportAction(int altitude) { return format(kTeleportActionFormat, altitude); }

std::string GroundZeroTeleportLine(std::int32_t citizen, std::int32_t timestamp, int altitude) {
    const std::string model = kTeleportModel;
    const std::string action = TeleportAction(altitude);
    return format(kTeleportFormat, citizen, timestamp, kTeleportHeightCm, length(model), length(action),
                  model.c_str(), action.c_str()) +
           kPropdumpLineEnd;
}

FilePtr OpenPropdump(const std::string& path) {
    FilePtr f = openFile(path, "wb");
    if (!f) return f;
    if (!WritePropdumpLine(f.get(), PropdumpHeaderLine())) return FilePtr();
    return f;
}

int PropdumpFileSink::Put(const WorldObject& object) {
    if (!stream_) return EBADF;
    errno = 0;
    if (WritePropdumpLine(stream_.get(), PropdumpLine(object))) return 0;
    const int reason = errno != 0 ? errno : EIO;
    ui_.fileError(pathWithReason(path_, reason));
    if (writeFailed_) *writeFailed_ = true;
    stream_.reset();
    return reason;
}

bool WritePropdumpLine(std::FILE* stream, const std::string& line) {
    if (!stream) return false;
    return std::fwrite(line.data(), 1, line.size(), stream) == line.size() && !std::ferror(stream);
}

}  // namespace gorvale
