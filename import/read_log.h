#pragma once
// The run log a reader writes while it reads a file (LogFile, rewritten,
// when logging is on); a line that cannot be written is reported once, with
// the system's reason.

#include <cerrno>
#include <cstdio>
#include <string>

#include "base/c_file.h"
#include "base/grid_context.h"

namespace gorvale {

// The log of this read: LogFile, rewritten, when logging is on.
class ReadLog {
public:
    explicit ReadLog(GridContext& ws) : ws_(ws) {
        if (!ws.settings.LogEnable) return;
        file_ = openFile(ws.settings.LogFile, "w");
        if (!file_) report(errno);
    }
    void write(const std::string& text) {
        if (file_ && std::fputs(text.c_str(), file_.get()) == EOF) lost();
    }
    void flush() {
        if (file_ && std::fflush(file_.get()) != 0) lost();
    }
    ReadLog(const ReadLog&) = delete;
    ReadLog& operator=(const ReadLog&) = delete;
    ~ReadLog() {
        if (file_ && !closeFile(file_)) report(errno);
    }

private:
    void lost() {
        const int error = errno;
        file_.reset();
        report(error);
    }
    void report(int error) { ws_.ui->fileError(pathWithReason(ws_.settings.LogFile, error != 0 ? error : EIO)); }
    GridContext& ws_;
    FilePtr file_;
};

}  // namespace gorvale
