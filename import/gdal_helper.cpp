#include "import/gdal_helper.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "base/temporary_directory.h"
#include "base/text_convert.h"

extern char** environ;

namespace gorvale {
namespace {

// ---- facts as text -------------------------------------------------------------------------

std::string escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

std::string realText(double value) {
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

bool readReal(const std::string& text, double& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool readInt(const std::string& text, int& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

int sampleBytes(GdalFetch fetch) {
    switch (fetch) {
        case GdalFetch::Int16:
            return 2;
        case GdalFetch::Int32:
        case GdalFetch::Float32:
            return 4;
        case GdalFetch::Float64:
            break;
    }
    return 8;
}

std::int64_t lineBytes(const GdalRasterFacts& f) { return std::int64_t{f.width} * sampleBytes(f.fetch); }

// ---- the helper's side ---------------------------------------------------------------------

// Bytes of lines per read from GDAL: whole rows of blocks, so each block is
// fetched once, unless one row of blocks is itself huge.
constexpr std::int64_t kSpoolStripBytes = std::int64_t{1} << 20;
constexpr std::int64_t kMaxBlockRowBytes = std::int64_t{64} << 20;

int spoolStripLines(const GdalRasterFacts& f) {
    const std::int64_t bytes = std::max<std::int64_t>(lineBytes(f), 1);
    std::int64_t lines = std::max<std::int64_t>(1, kSpoolStripBytes / bytes);
    const int block = f.blockHeight;
    if (block > 1) {
        if (lines >= block)
            lines -= lines % block;
        else if (block * bytes <= kMaxBlockRowBytes)
            lines = block;
    }
    return static_cast<int>(std::min<std::int64_t>(lines, std::max(f.height, 1)));
}

bool writeAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void say(std::FILE* out, const std::string& line) {
    std::fputs(line.c_str(), out);
    std::fputc('\n', out);
    std::fflush(out);
}

// ---- the parent's side ---------------------------------------------------------------------

// A descriptor moved above the standard ones, so the child's dup2 into 0, 1
// and 3 never overwrites one that is still to be moved.
int highDescriptor(int fd) {
    const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, 10);
    ::close(fd);
    return high;
}

// The spool: a file in memory, which costs no file system work and leaves
// nothing behind; where there is no such thing, a nameless file in the
// temporary folder. -1 with the reason in `error`.
int spoolFile(std::string& error) {
#ifdef MFD_CLOEXEC
    const int memory = ::memfd_create("gorvale-raster", MFD_CLOEXEC);
    if (memory >= 0) return memory;
#endif
    const std::string folder = temporaryDirectory();
    std::string name = folder + "/gorvale-raster-XXXXXX";
    const int spool = ::mkostemp(name.data(), O_CLOEXEC);
    if (spool < 0) {
        error = format("no temporary file can be made in %s: %s", folder.c_str(), std::strerror(errno));
        return -1;
    }
    ::unlink(name.c_str());
    return spool;
}

std::string helperProgram(bool& search) {
    search = false;
    if (const char* env = std::getenv("GORVALE_GDAL_HELPER"); env && *env) return env;
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const std::filesystem::path beside = self.parent_path() / kGdalHelperFile;
        if (std::filesystem::exists(beside, ec)) return beside.string();
    }
    search = true;
    return kGdalHelperFile;
}

std::string endedText(int status) {
    if (WIFSIGNALED(status))
        return format("the GDAL reader process (%s) ended with signal %d (%s)", kGdalHelperFile, WTERMSIG(status),
                      strsignal(WTERMSIG(status)));
    return format("the GDAL reader process (%s) ended with exit code %d without saying why", kGdalHelperFile,
                  WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

}  // namespace

std::string EncodeRasterFacts(const GdalRasterFacts& f) {
    std::string out;
    auto put = [&out](const char* key, const std::string& value) { out += std::string(key) + "=" + value + "\n"; };
    put("width", std::to_string(f.width));
    put("height", std::to_string(f.height));
    put("bands", std::to_string(f.bands));
    put("blockHeight", std::to_string(f.blockHeight));
    put("fetch", std::to_string(static_cast<int>(f.fetch)));
    put("hasNoData", f.hasNoData ? "1" : "0");
    put("noData", realText(f.noData));
    put("hasGeoTransform", f.hasGeoTransform ? "1" : "0");
    for (int i = 0; i < 6; ++i) put(("gt" + std::to_string(i)).c_str(), realText(f.geoTransform[i]));
    put("driver", escape(f.driver));
    put("driverLongName", escape(f.driverLongName));
    put("units", escape(f.units));
    put("crs", escape(f.crs));
    put("crsWkt", escape(f.crsWkt));
    return out;
}

bool DecodeRasterFacts(const std::string& text, GdalRasterFacts& f, std::string& error) {
    std::map<std::string, std::string> values;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            error = "a fact without a value: " + line;
            return false;
        }
        values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    f = GdalRasterFacts{};
    int fetch = 0, hasNoData = 0, hasGeoTransform = 0;
    const std::pair<const char*, int*> integers[] = {{"width", &f.width},         {"height", &f.height},
                                                     {"bands", &f.bands},         {"blockHeight", &f.blockHeight},
                                                     {"fetch", &fetch},           {"hasNoData", &hasNoData},
                                                     {"hasGeoTransform", &hasGeoTransform}};
    for (const auto& [key, member] : integers) {
        if (!readInt(values[key], *member)) {
            error = format("the fact %s does not read: \"%s\"", key, values[key].c_str());
            return false;
        }
    }
    if (fetch < 0 || fetch > static_cast<int>(GdalFetch::Float64)) {
        error = format("unknown sample type %d", fetch);
        return false;
    }
    f.fetch = static_cast<GdalFetch>(fetch);
    f.hasNoData = hasNoData != 0;
    f.hasGeoTransform = hasGeoTransform != 0;
    std::vector<std::pair<std::string, double*>> reals = {{"noData", &f.noData}};
    for (int i = 0; i < 6; ++i) reals.emplace_back("gt" + std::to_string(i), &f.geoTransform[i]);
    for (const auto& [key, member] : reals) {
        if (!readReal(values[key], *member)) {
            error = format("the fact %s does not read: \"%s\"", key.c_str(), values[key].c_str());
            return false;
        }
    }
    f.driver = unescape(values["driver"]);
    f.driverLongName = unescape(values["driverLongName"]);
    f.units = unescape(values["units"]);
    f.crs = unescape(values["crs"]);
    f.crsWkt = unescape(values["crsWkt"]);
    return true;
}

int RunGdalReadHelper(const std::string& path, std::FILE* in, std::FILE* out, int spoolFd) {
    std::string error;
    GdalLibrary* gdal = gdalLibrary(error);
    if (!gdal) {
        say(out, "nogdal " + escape(error));
        return 1;
    }
    const std::unique_ptr<GdalRaster> raster = gdal->open(path, error);
    if (!raster) {
        say(out, "error " + escape(error));
        return 1;
    }
    const GdalRasterFacts& f = raster->facts();
    std::fputs("facts\n", out);
    std::fputs(EncodeRasterFacts(f).c_str(), out);
    say(out, "end");

    char request[64];
    int lines = 0;
    // Anything but "go LINES" (the parent refused the raster or went away) ends the helper.
    if (!std::fgets(request, sizeof request, in) || std::sscanf(request, "go %d", &lines) != 1) return 0;
    lines = std::clamp(lines, 0, f.bands >= 1 ? f.height : 0);
    const int strip = spoolStripLines(f);
    std::vector<unsigned char> buffer(static_cast<std::size_t>(strip) * static_cast<std::size_t>(lineBytes(f)));
    for (int y0 = 0; y0 < lines; y0 += strip) {
        const int count = std::min(strip, lines - y0);
        if (!raster->readLines(y0, count, f.fetch, buffer.data())) {
            say(out, "error " + escape(raster->lastError()));
            return 1;
        }
        if (!writeAll(spoolFd, buffer.data(), static_cast<std::size_t>(count * lineBytes(f)))) {
            say(out, "error " + escape(format("the temporary file could not be written: %s", std::strerror(errno))));
            return 1;
        }
        say(out, format("lines %d", y0 + count));
    }
    say(out, "done");
    return 0;
}

// ---- HelperRaster --------------------------------------------------------------------------

std::unique_ptr<HelperRaster> HelperRaster::Open(const std::string& path, std::string& error) {
    std::unique_ptr<HelperRaster> r(new HelperRaster);
    const int spool = spoolFile(error);
    if (spool < 0) return nullptr;
    r->spoolFd_ = highDescriptor(spool);
    int pair[2];
    if (r->spoolFd_ < 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        error = format("the GDAL reader process cannot be started: %s", std::strerror(errno));
        return nullptr;
    }
    const int ours = highDescriptor(pair[0]);
    const int theirs = highDescriptor(pair[1]);

    bool search = false;
    const std::string program = helperProgram(search);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, theirs, 0);
    posix_spawn_file_actions_adddup2(&actions, theirs, 1);
    posix_spawn_file_actions_adddup2(&actions, r->spoolFd_, kGdalHelperSpoolFd);
    std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>(path.c_str()), nullptr};
    const int rc = search ? posix_spawnp(&r->pid_, program.c_str(), &actions, nullptr, argv.data(), environ)
                          : posix_spawn(&r->pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(theirs);
    if (rc != 0) {
        r->pid_ = -1;
        ::close(ours);
        error = format("the GDAL reader process %s could not be started: %s", program.c_str(), std::strerror(rc));
        return nullptr;
    }
    r->fromHelper_ = ::fdopen(ours, "r");
    r->toHelper_ = r->fromHelper_ ? ::fdopen(::dup(ours), "w") : nullptr;
    if (!r->toHelper_) {
        if (!r->fromHelper_) ::close(ours);
        error = format("the GDAL reader process cannot be talked to: %s", std::strerror(errno));
        return nullptr;
    }

    std::string line, facts;
    bool inFacts = false;
    while (r->readReply(line)) {
        if (line == "facts") {
            inFacts = true;
        } else if (line == "end" && inFacts) {
            if (!DecodeRasterFacts(facts, r->facts_, error)) {
                error = "the GDAL reader process told facts that do not read (" + error + ")";
                return nullptr;
            }
            return r;
        } else if (inFacts) {
            facts += line + "\n";
        } else {
            break;
        }
    }
    error = r->error_;
    return nullptr;
}

HelperRaster::~HelperRaster() {
    endHelper();
    if (toHelper_) std::fclose(toHelper_);
    if (fromHelper_) std::fclose(fromHelper_);
    if (spoolFd_ >= 0) ::close(spoolFd_);
}

// One line from the helper; false at its end, with error_ saying why: its
// own error line, or how the process ended.
bool HelperRaster::readReply(std::string& line) {
    line.clear();
    int c;
    while ((c = std::fgetc(fromHelper_)) != EOF && c != '\n') line += static_cast<char>(c);
    if (c == EOF && line.empty()) {
        endHelper();
        if (error_.empty()) error_ = "the GDAL reader process ended early";
        return false;
    }
    const bool failed = line.rfind("error ", 0) == 0;
    const bool noGdal = line.rfind("nogdal ", 0) == 0;
    if (!failed && !noGdal) return true;
    error_ = unescape(line.substr(line.find(' ') + 1));
    if (noGdal) error_ = "GDAL is not available: " + error_;
    endHelper();
    return false;
}

void HelperRaster::endHelper() {
    if (pid_ <= 0) return;
    // The helper ends by itself once the conversation is over; one still
    // waiting for "go" (a refused raster) reads the end of its input and
    // ends too. Both our streams share one socket, so its sending side is
    // shut explicitly.
    if (toHelper_) {
        std::fclose(toHelper_);
        toHelper_ = nullptr;
    }
    if (fromHelper_) ::shutdown(::fileno(fromHelper_), SHUT_WR);
    int status = 0;
    for (int i = 0; i < 100; ++i) {
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_ || (done < 0 && errno != EINTR)) break;
        if (i == 99) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        ::usleep(10000);
    }
    pid_ = -1;
    if (error_.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) error_ = endedText(status);
}

bool HelperRaster::fail(const std::string& text) {
    error_ = text;
    return false;
}

bool HelperRaster::Spool(int lines, const SpoolProgress& progress) {
    lines = std::clamp(lines, 0, facts_.height);
    if (!toHelper_ || std::fprintf(toHelper_, "go %d\n", lines) < 0 || std::fflush(toHelper_) != 0)
        return fail("the GDAL reader process went away");
    std::string line;
    bool done = false;
    while (!done && readReply(line)) {
        int spooled = 0;
        if (line == "done")
            done = true;
        else if (std::sscanf(line.c_str(), "lines %d", &spooled) == 1 && progress)
            progress(spooled, lines);
    }
    if (!done) return false;
    // Once the spool is complete, how the process ends (a fault in GDAL's
    // own clean-up) does not matter: the size check below is what counts.
    endHelper();
    error_.clear();
    struct stat st {};
    if (::fstat(spoolFd_, &st) != 0 || st.st_size != lines * lineBytes(facts_))
        return fail("the GDAL reader process left an incomplete temporary file");
    spooledLines_ = lines;
    return true;
}

bool HelperRaster::readLines(int firstLine, int count, GdalFetch type, void* buffer) {
    if (type != facts_.fetch) return fail("the lines were asked for in another sample type than spooled");
    if (firstLine < 0 || count < 0 || firstLine + count > spooledLines_)
        return fail(format("lines %d to %d were not spooled", firstLine, firstLine + count - 1));
    const off_t offset = static_cast<off_t>(firstLine) * lineBytes(facts_);
    const std::size_t size = static_cast<std::size_t>(count) * static_cast<std::size_t>(lineBytes(facts_));
    auto* out = static_cast<unsigned char*>(buffer);
    for (std::size_t got = 0; got < size;) {
        const ssize_t n = ::pread(spoolFd_, out + got, size - got, offset + static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            return fail(format("the temporary file could not be read: %s", n < 0 ? std::strerror(errno) : "it ended early"));
        got += static_cast<std::size_t>(n);
    }
    // Lines once read are not needed again: give their space back (a file
    // system that cannot punch holes just keeps it until the file closes).
    ::fallocate(spoolFd_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, offset, static_cast<off_t>(size));
    return true;
}

}  // namespace gorvale
