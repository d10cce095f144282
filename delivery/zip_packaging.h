#pragma once
// Packs each finished model into a zip archive of its own, optionally
// protected with the traditional zip encryption, copies the archive beside
// where the model would have been and hands it to the uploader.
//
// With ZipIt on, the model writer writes the model to temporaryModelPath(P)
// instead of P; PackAndUpload(P) then leaves only P's ".zip" in the target
// directory and removes the temporary files.

#include <string>

#include "base/temporary_directory.h"
#include "pipeline/workspace.h"

namespace gorvale {

// Longest password the archives accept.
inline constexpr std::size_t kMaxZipPasswordLength = 31;

// Refuses a ZipPassword longer than kMaxZipPasswordLength (error says why).
// Run before a job starts; PackAndUpload refuses such a password as well.
bool validateZipPassword(const ConversionSettings& s, std::string& error);

// Where the writer puts model P while ZipIt is on: the temporary directory
// plus P's file name.
std::string temporaryModelPath(const std::string& modelPath);

// All names PackAndUpload derives from a model path.
struct ZipPaths {
    std::string temporaryModel;    // T: temporary directory + "/" + file name of P
    std::string archiveBase;       // A: T up to the last "." of its file name
    std::string temporaryArchive;  // A + ".zip"
    std::string destination;       // D: P up to the last "." of its file name + ".zip"
    std::string remoteName;        // R: file name of P up to its last "." + ".zip"
    std::string entryName;         // the name stored in the archive
};
// With entryKeepsFolder false (the folder did not come from TEMP) the entry
// is the model's bare name.
ZipPaths zipPathsFor(const std::string& modelPath, const std::string& temporaryDir, bool entryKeepsFolder = true);

// The name a zip tool stores for a path given on its command line: the path
// as given, without leading "/" and "./" parts.
std::string zipEntryName(const std::string& path);

// The upload half of the delivery. This base class is the state before FTP
// exists: never connected, uploads nothing. The FTP session derives from it.
class ArchiveUploader {
public:
    virtual ~ArchiveUploader() = default;
    // True while an FTP session is open.
    virtual bool connected() const { return false; }
    // Uploads one archive under remoteName; reports its own failures.
    virtual void upload(const std::string& localArchive, const std::string& remoteName) {
        (void)localArchive;
        (void)remoteName;
    }
};

class ZipPackager {
public:
    // uploader may be null: nothing is uploaded then.
    explicit ZipPackager(Workspace& ws, ArchiveUploader* uploader = nullptr)
        : ws_(ws), uploader_(uploader) {}

    // 0 when the archive was made (or ZipIt is off and nothing was done),
    // -1 when making or copying the archive failed.
    int PackAndUpload(const std::string& modelPath);

private:
    bool makeArchive(const ZipPaths& paths);
    bool copyToDestination(const ZipPaths& paths);

    Workspace& ws_;
    ArchiveUploader* uploader_;
};

}  // namespace gorvale
