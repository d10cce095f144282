#pragma once
// C stream files owned by RAII handles; every file is closed on every path.

#include <cstdio>
#include <memory>
#include <string>

namespace gorvale {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

inline FilePtr openFile(const std::string& path, const char* mode) {
    return FilePtr(std::fopen(path.c_str(), mode));
}

}  // namespace gorvale
