#pragma once
// C stream files owned by RAII handles; every file is closed on every path.

#include <cerrno>
#include <cstdio>
#include <cstring>
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

// Closes the file and says whether everything written reached it: a write
// that failed earlier, or the last buffer that could not be written now,
// both count. errno holds the reason when it returns false.
inline bool closeFile(FilePtr& file) {
    std::FILE* f = file.release();
    if (!f) return true;
    const bool earlierError = std::ferror(f) != 0;
    const int savedErrno = errno;
    const bool closed = std::fclose(f) == 0;
    if (closed && earlierError) errno = savedErrno ? savedErrno : EIO;
    return closed && !earlierError;
}

// "path (reason)" for the "Error" dialog, the reason being the system's text for `error`.
inline std::string pathWithReason(const std::string& path, int error) {
    return path + " (" + std::strerror(error) + ")";
}

}  // namespace gorvale
