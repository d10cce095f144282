#pragma once
// The run log a reader writes while it reads a file (LogFile, rewritten,
// when logging is on); a line that cannot be written is reported once.

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
        if (!file_) ws.ui->fileError(ws.settings.LogFile);
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
        if (file_ && std::fclose(file_.release()) != 0) ws_.ui->fileError(ws_.settings.LogFile);
    }

private:
    void lost() {
        file_.reset();
        ws_.ui->fileError(ws_.settings.LogFile);
    }
    GridContext& ws_;
    FilePtr file_;
};

}  // namespace gorvale
