#include "base/temporary_directory.h"

#include <cstdlib>
#include <filesystem>

namespace gorvale {
namespace {

constexpr const char* kVariables[] = {"TEMP", "TMPDIR"};
constexpr const char* kLastResort = "/tmp";

}  // namespace

std::string temporaryDirectory() {
    for (const char* name : kVariables) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    std::error_code ec;
    const std::filesystem::path system = std::filesystem::temp_directory_path(ec);
    // An empty answer would mean the current folder, and "/" the root.
    if (ec || system.empty() || system == "/") return kLastResort;
    return system.string();
}

bool temporaryDirectoryFromTemp() {
    const char* value = std::getenv("TEMP");
    return value && *value;
}

std::string temporaryFilePath(const std::string& name) {
    std::string dir = temporaryDirectory();
    if (dir.back() != '/') dir += '/';
    return dir + name;
}

}  // namespace gorvale
