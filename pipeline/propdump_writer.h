#pragma once
// The object list ("propdump") lines this program writes. One record per
// line: eleven integer fields, then model name, description and action run
// together; the three length fields say where each text ends. Lines end in
// CR LF; readers of the format accept LF as well.

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/c_file.h"
#include "base/user_interface.h"
#include "base/world_object.h"

namespace gorvale {

inline constexpr const char* kPropdumpHeader = "propdump version 3";
inline constexpr const char* kPropdumpLineEnd = "\r\n";
inline constexpr const char* kTeleportModel = "street1.rwx";
inline constexpr std::int32_t kTeleportHeightCm = 50;

std::string PropdumpHeaderLine();

// Any object as one line with CR LF: eleven integer fields, then the model,
// description and action run together. Every line this program writes is
// an instance of this form.
std::string PropdumpLine(const WorldObject& object);

// A ground object: no description, no action.
std::string GroundObjectLine(std::int32_t citizen, std::int32_t timestamp, std::int32_t x,
                             std::int32_t y, std::int32_t z, int yaw, const std::string& model);

// A tree (or rock) object: model name and action, no description.
std::string TreeObjectLine(std::int32_t citizen, std::int32_t timestamp, std::int32_t x, std::int32_t y,
                           std::int32_t z, std::int32_t yaw, const std::string& model,
                           const std::string& action);

// The action of the ground-zero teleport: warp to the altitude a (10 m units).
std::string TeleportAction(int altitude);

// The teleport bump at the world's ground zero. The action length field is
// the real length of the action, so altitudes outside -9..99 stay readable.
std::string GroundZeroTeleportLine(std::int32_t citizen, std::int32_t timestamp, int altitude);

// Creates (truncating) the file in binary mode and writes the header line;
// an empty handle when either fails.
FilePtr OpenPropdump(const std::string& path);

// Writes one complete line; false when the stream reports an error.
bool WritePropdumpLine(std::FILE* stream, const std::string& line);

// The object list file as an object sink: one PropdumpLine per object into
// `stream` (owned by the run, which opens and closes it). The first failing
// write is shown in the "Error" dialog with `path` and closes the stream;
// objects put after that are refused without another dialog.
class PropdumpFileSink : public ObjectSink {
public:
    // `writeFailed`, when given, is set by the first failed write so the run can end non-zero.
    PropdumpFileSink(FilePtr& stream, const std::string& path, UserInterface& ui, bool* writeFailed = nullptr)
        : stream_(stream), path_(path), ui_(ui), writeFailed_(writeFailed) {}
    // 0 when written, else the system's reason code (EBADF while no list is open).
    int Put(const WorldObject& object) override;

private:
    FilePtr& stream_;
    const std::string& path_;
    UserInterface& ui_;
    bool* writeFailed_;
};

}  // namespace gorvale
