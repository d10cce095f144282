#pragma once
// Rasters are read through GDAL in a helper process (gorvale-gdal-read): it
// opens the file, tells the facts, and on request spools band 1 into an
// unlinked temporary file, then ends before the grid is filled from that
// file. GDAL and the hundred-odd libraries it loads (about 30 MiB) are thus
// never resident beside the grid, the desktop program never keeps them, and
// a damaged file that crashes GDAL ends in a message instead of the program.
//
// The helper's conversation, on its standard output: "facts", one
// "key=value" line per fact, "end"; then, after the parent's "go LINES" on
// its standard input, "lines N" as the spool grows and "done". Any step may
// instead say "error TEXT". The spool file is the helper's descriptor 3.

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

#include "import/gdal_library.h"

namespace gorvale {

inline constexpr const char* kGdalHelperFile = "gorvale-gdal-read";
inline constexpr int kGdalHelperSpoolFd = 3;

// The facts as text, one "key=value" line each; doubles round-trip exactly.
std::string EncodeRasterFacts(const GdalRasterFacts& facts);
// False with the reason when a line does not read.
bool DecodeRasterFacts(const std::string& text, GdalRasterFacts& facts, std::string& error);

// The helper's side: opens `path` through the GDAL module, writes the facts
// to `out`, waits for "go LINES" on `in` and writes that many lines of band
// 1 in its fetch type to `spoolFd`. The process's exit status.
int RunGdalReadHelper(const std::string& path, std::FILE* in, std::FILE* out, int spoolFd);

// Lines spooled so far, of all to spool.
using SpoolProgress = std::function<void(int done, int total)>;

// The parent's side: a raster whose lines come from the helper's spool.
class HelperRaster final : public GdalRaster {
public:
    // Starts the helper (GORVALE_GDAL_HELPER, else beside the running
    // program, else on the PATH) and reads the facts; nullptr with the
    // reason in `error`.
    static std::unique_ptr<HelperRaster> Open(const std::string& path, std::string& error);
    ~HelperRaster() override;
    HelperRaster(const HelperRaster&) = delete;
    HelperRaster& operator=(const HelperRaster&) = delete;

    const GdalRasterFacts& facts() const override { return facts_; }
    // Has the helper spool the first `lines` lines and waits for it to end.
    // False with lastError() set.
    bool Spool(int lines, const SpoolProgress& progress);
    // Lines from the spool, in its fetch type only; each range read is
    // released from the spool file, so it shrinks as the grid grows.
    bool readLines(int firstLine, int count, GdalFetch type, void* buffer) override;
    std::string lastError() const override { return error_; }

private:
    HelperRaster() = default;
    bool readReply(std::string& line);
    bool fail(const std::string& text);
    void endHelper();

    GdalRasterFacts facts_;
    pid_t pid_ = -1;
    int spoolFd_ = -1;
    std::FILE* toHelper_ = nullptr;
    std::FILE* fromHelper_ = nullptr;
    int spooledLines_ = 0;
    std::string error_;
};

}  // namespace gorvale
