#include "app/core/project_paths.h"

#include <filesystem>

namespace gorvale {

std::string resolveAgainst(const std::string& folder, const std::string& path) {
    const std::filesystem::path p(path);
    if (folder.empty() || path.empty() || p.is_absolute()) return path;
    return (std::filesystem::path(folder) / p).lexically_normal().string();
}

void resolveProjectPaths(ConversionSettings& s, const std::string& projectPath) {
    const std::string folder = std::filesystem::path(projectPath).parent_path().string();
    for (std::string* path : {&s.DEMFile, &s.RWXFile, &s.PropFile, &s.LogFile}) *path = resolveAgainst(folder, *path);
}

}  // namespace gorvale
