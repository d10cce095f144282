#include "delivery/zip_packaging.h"

#include <zip.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "base/c_file.h"
#include "base/shared_random.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

constexpr char kPathSeparator = '/';
constexpr const char* kArchiveExtension = ".zip";
constexpr std::size_t kCopyBlock = 2048;
constexpr const char* kZipCaption = "Zip It";

struct ZipDiscarder {
    void operator()(zip_t* za) const noexcept {
        if (za) zip_discard(za);
    }
};
using ZipArchivePtr = std::unique_ptr<zip_t, ZipDiscarder>;

std::size_t fileNameStart(const std::string& path) {
    const std::size_t slash = path.rfind(kPathSeparator);
    return slash == std::string::npos ? 0 : slash + 1;
}

// The path up to the last "." of its file name; a dot in a directory name
// does not count, and a name without a dot is kept whole.
std::string withoutExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < fileNameStart(path)) return path;
    return path.substr(0, dot);
}

std::string joinPath(const std::string& directory, const std::string& name) {
    if (!directory.empty() && directory.back() == kPathSeparator) return directory + name;
    return directory + kPathSeparator + name;
}

std::string zipErrorText(zip_t* za) {
    zip_error_t* e = zip_get_error(za);
    return e ? zip_error_strerror(e) : "unknown zip error";
}

std::string zipErrorText(int code) {
    zip_error_t e;
    zip_error_init_with_code(&e, code);
    std::string text = zip_error_strerror(&e);
    zip_error_fini(&e);
    return text;
}

// Every archive allocates and frees a deflate state of a few hundred
// kilobytes. glibc returns such a freed heap top to the system at once, so
// each of tens of thousands of archives paid for fresh, zero-filled pages
// again (a third of the run's time). Keeping up to 16 MiB of freed heap
// avoids that; larger blocks (grids) are still returned.
void keepDeflateStateMemory() {
#if defined(__GLIBC__)
    static std::once_flag once;
    std::call_once(once, [] { mallopt(M_TRIM_THRESHOLD, 16 << 20); });
#endif
}

}  // namespace

bool validateZipPassword(const ConversionSettings& s, std::string& error) {
    if (s.ZipPassword.size() <= kMaxZipPasswordLength) return true;
    error = format("The zip password has %zu characters; at most %zu are allowed.", s.ZipPassword.size(),
                   kMaxZipPasswordLength);
    return false;
}

std::string temporaryModelPath(const std::string& modelPath) {
    return joinPath(temporaryDirectory(), modelPath.substr(fileNameStart(modelPath)));
}

std::string zipEntryName(const std::string& path) {
    std::size_t i = 0;
    for (;;) {
        while (i < path.size() && path[i] == kPathSeparator) ++i;
        if (path.compare(i, 2, "./") != 0) break;
        i += 2;
    }
    return path.substr(i);
}

ZipPaths zipPathsFor(const std::string& modelPath, const std::string& temporaryDir, bool entryKeepsFolder) {
    const std::string name = modelPath.substr(fileNameStart(modelPath));
    ZipPaths p;
    p.temporaryModel = joinPath(temporaryDir, name);
    p.archiveBase = withoutExtension(p.temporaryModel);
    p.temporaryArchive = p.archiveBase + kArchiveExtension;
    p.destination = withoutExtension(modelPath) + kArchiveExtension;
    p.remoteName = format("%s.zip", withoutExtension(name).c_str());
    p.entryName = entryKeepsFolder ? zipEntryName(p.temporaryModel) : name;
    return p;
}

int ZipPackager::PackAndUpload(const std::string& modelPath) {
    const ConversionSettings& s = ws_.settings;
    if (!s.ZipIt) return 0;
    std::string error;
    if (!validateZipPassword(s, error)) {
        ws_.ui->message(error, kZipCaption, MessageKind::Error, Buttons::Ok);
        return -1;
    }
    keepDeflateStateMemory();
    const ZipPaths paths = zipPathsFor(modelPath, temporaryDirectory(), temporaryDirectoryFromTemp());
    // A stale archive of the same name must not contribute a second entry.
    std::remove(paths.temporaryArchive.c_str());
    if (!makeArchive(paths)) return -1;
    ws_.ui->processEvents();  // packing a large model takes a while
    if (!copyToDestination(paths)) return -1;
    if (s.FtpToHost && uploader_ && uploader_->connected())
        uploader_->upload(paths.temporaryArchive, paths.remoteName);
    std::remove(paths.temporaryModel.c_str());
    std::remove(paths.temporaryArchive.c_str());
    return 0;
}

bool ZipPackager::makeArchive(const ZipPaths& paths) {
    UserInterface& ui = *ws_.ui;
    int code = 0;
    ZipArchivePtr za(zip_open(paths.temporaryArchive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
    if (!za) {
        ui.fileError(paths.temporaryArchive + " (" + zipErrorText(code) + ")");
        return false;
    }
    zip_source_t* source = zip_source_file(za.get(), paths.temporaryModel.c_str(), 0, -1);
    if (!source) {
        ui.fileError(paths.temporaryModel + " (" + zipErrorText(za.get()) + ")");
        return false;
    }
    const zip_int64_t index = zip_file_add(za.get(), paths.entryName.c_str(), source, ZIP_FL_ENC_GUESS);
    if (index < 0) {
        zip_source_free(source);
        ui.fileError(paths.temporaryArchive + " (" + zipErrorText(za.get()) + ")");
        return false;
    }
    const zip_uint64_t entry = static_cast<zip_uint64_t>(index);
    // Deflate, or stored when deflating would not make the entry smaller.
    if (zip_set_file_compression(za.get(), entry, ZIP_CM_DEFAULT, 0) < 0 ||
        (!ws_.settings.ZipPassword.empty() &&
         zip_file_set_encryption(za.get(), entry, ZIP_EM_TRAD_PKWARE, ws_.settings.ZipPassword.c_str()) <
             0)) {
        ui.fileError(paths.temporaryArchive + " (" + zipErrorText(za.get()) + ")");
        return false;
    }
    // The first encrypted archive of a program run seeds the shared generator.
    if (!ws_.settings.ZipPassword.empty()) SeedSharedRandomAtEncryptedArchive();
    if (zip_close(za.get()) < 0) {
        ui.fileError(paths.temporaryArchive + " (" + zipErrorText(za.get()) + ")");
        return false;  // the discarder frees the archive; nothing was written
    }
    za.release();  // closed and freed by zip_close
    return true;
}

bool ZipPackager::copyToDestination(const ZipPaths& paths) {
    UserInterface& ui = *ws_.ui;
    FilePtr in = openFile(paths.temporaryArchive, "rb");
    if (!in) {
        ui.fileError(pathWithReason(paths.temporaryArchive, errno));
        return false;
    }
    FilePtr out = openFile(paths.destination, "wb");
    if (!out) {
        ui.fileError(pathWithReason(paths.destination, errno));
        return false;
    }
    char block[kCopyBlock];
    int error = 0;
    std::string failed = paths.destination;
    for (;;) {
        const std::size_t n = std::fread(block, 1, sizeof block, in.get());
        if (n > 0 && std::fwrite(block, 1, n, out.get()) != n) {
            error = errno;
            break;
        }
        if (n < sizeof block) {
            if (std::ferror(in.get())) {
                error = errno;
                failed = paths.temporaryArchive;
            }
            break;
        }
    }
    // The last block reaches the disk only now; a full disk shows here.
    if (!closeFile(out) && error == 0) error = errno;
    if (error != 0) {
        // A half-written archive would be uploaded or served as if whole.
        std::remove(paths.destination.c_str());
        ui.fileError(pathWithReason(failed, error));
        return false;
    }
    return true;
}

}  // namespace gorvale
