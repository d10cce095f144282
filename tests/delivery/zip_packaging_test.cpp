#include "delivery/zip_packaging.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "base/shared_random.h"
#include "tests/support/test_support.h"

namespace gorvale {
namespace {

using test::readFileBytes;
using test::RecordingUserInterface;
using test::ScratchDir;
using test::writeFileBytes;
namespace fs = std::filesystem;

// Sets TEMP for one test and puts the old value back.
class TempVariable {
public:
    explicit TempVariable(const char* value) {
        if (const char* old = std::getenv("TEMP")) old_ = old;
        if (value)
            ::setenv("TEMP", value, 1);
        else
            ::unsetenv("TEMP");
    }
    ~TempVariable() {
        if (old_)
            ::setenv("TEMP", old_->c_str(), 1);
        else
            ::unsetenv("TEMP");
    }

private:
    std::optional<std::string> old_;
};

struct ArchiveContents {
    zip_int64_t entries = -1;
    std::string name;
    zip_uint16_t encryption = 0;
    zip_uint16_t compression = 0;
    bool readable = false;  // the entry opened and read whole with a good CRC
    std::string data;
};

ArchiveContents readArchive(const fs::path& path, const char* password = nullptr) {
    ArchiveContents c;
    int code = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!za) return c;
    c.entries = zip_get_num_entries(za, 0);
    zip_stat_t st;
    if (c.entries > 0 && zip_stat_index(za, 0, 0, &st) == 0) {
        c.name = st.name;
        c.encryption = st.encryption_method;
        c.compression = st.comp_method;
        zip_file_t* f = password ? zip_fopen_index_encrypted(za, 0, 0, password) : zip_fopen_index(za, 0, 0);
        if (f) {
            std::string data(static_cast<std::size_t>(st.size), '\0');
            const zip_int64_t n = zip_fread(f, data.data(), data.size());
            char extra;
            // Reading past the end makes the CRC check run.
            c.readable = n == static_cast<zip_int64_t>(data.size()) && zip_fread(f, &extra, 1) == 0;
            c.data = data;
            zip_fclose(f);
        }
    }
    zip_discard(za);
    return c;
}

std::string sampleModel() {
    std::string m = "modelbegin\r\nclumpbegin\r\n";
    for (int i = 0; i < 200; ++i) m += "vertex " + std::to_string(i % 17) + " 0.5 " + std::to_string(i) + "\r\n";
    return m + "clumpend\r\nmodelend\r\n";
}

bool haveUnzip() { return std::system("command -v unzip >/dev/null 2>&1") == 0; }

int runQuiet(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

std::string runOutput(const std::string& command) { return test::runShell(command).out; }

class RecordingUploader : public ArchiveUploader {
public:
    bool open = true;
    std::vector<std::pair<std::string, std::string>> uploads;
    bool archiveExistedAtUpload = false;
    bool connected() const override { return open; }
    void upload(const std::string& local, const std::string& remote) override {
        uploads.emplace_back(local, remote);
        archiveExistedAtUpload = fs::exists(local);
    }
};

struct ZipFixture : ::testing::Test {
    ScratchDir dir;
    fs::path temp = dir / "temp";
    fs::path target = dir / "target";
    TempVariable tempVariable{temp.c_str()};
    RecordingUserInterface ui;
    Workspace ws{ui, defaultSettings(dir.path())};
    std::string model = sampleModel();
    fs::path modelPath = target / "z03n_02w.rwx";
    fs::path temporaryModel = temp / "z03n_02w.rwx";
    fs::path destination = target / "z03n_02w.zip";

    void SetUp() override {
        fs::create_directories(temp);
        fs::create_directories(target);
        writeFileBytes(temporaryModel, model);
    }
    int pack(ArchiveUploader* uploader = nullptr) {
        ZipPackager packager(ws, uploader);
        return packager.PackAndUpload(modelPath.string());
    }
};

TEST(ZipPaths, AreFormedFromTheModelPathAndTheTemporaryDirectory) {
    const ZipPaths p = zipPathsFor("/data/w.1/rwx/z03n_02w.rwx", "/var/tmp");
    EXPECT_EQ(p.temporaryModel, "/var/tmp/z03n_02w.rwx");
    EXPECT_EQ(p.archiveBase, "/var/tmp/z03n_02w");
    EXPECT_EQ(p.temporaryArchive, "/var/tmp/z03n_02w.zip");
    EXPECT_EQ(p.destination, "/data/w.1/rwx/z03n_02w.zip");
    EXPECT_EQ(p.remoteName, "z03n_02w.zip");
    EXPECT_EQ(p.entryName, "var/tmp/z03n_02w.rwx");
    // A folder the program chose itself (TEMP unset) never enters the archive.
    EXPECT_EQ(zipPathsFor("/data/w.1/rwx/z03n_02w.rwx", "/var/tmp", false).entryName, "z03n_02w.rwx");

    const ZipPaths here = zipPathsFor("rwx/zground.rwx", ".");
    EXPECT_EQ(here.temporaryModel, "./zground.rwx");
    EXPECT_EQ(here.entryName, "zground.rwx");
    EXPECT_EQ(here.destination, "rwx/zground.zip");

    // No extension, and a dot only in a directory name: nothing is cut.
    const ZipPaths bare = zipPathsFor("/data/w.1/model", "/tmp/");
    EXPECT_EQ(bare.temporaryModel, "/tmp/model");
    EXPECT_EQ(bare.temporaryArchive, "/tmp/model.zip");
    EXPECT_EQ(bare.destination, "/data/w.1/model.zip");
    EXPECT_EQ(bare.remoteName, "model.zip");

    EXPECT_EQ(zipEntryName("//a/b.rwx"), "a/b.rwx");
    EXPECT_EQ(zipEntryName("././b.rwx"), "b.rwx");
    EXPECT_EQ(zipEntryName("sub/./b.rwx"), "sub/./b.rwx");
}

TEST(ZipPaths, TemporaryModelIsInTheTemporaryDirectory) {
    TempVariable t("/scratch/t");
    EXPECT_EQ(temporaryModelPath("/w/rwx/z01n_01e.rwx"), "/scratch/t/z01n_01e.rwx");
}

TEST(ZipPassword, AtMostThirtyOneCharacters) {
    ConversionSettings s;
    std::string error;
    s.ZipPassword = std::string(31, 'p');
    EXPECT_TRUE(validateZipPassword(s, error));
    s.ZipPassword = std::string(32, 'p');
    EXPECT_FALSE(validateZipPassword(s, error));
    EXPECT_NE(error.find("32"), std::string::npos) << error;
    EXPECT_NE(error.find("31"), std::string::npos) << error;
}

TEST_F(ZipFixture, ModelEndsUpAsItsOwnArchiveBesideTheTarget) {
    ASSERT_EQ(pack(), 0);
    EXPECT_TRUE(fs::exists(destination));
    EXPECT_FALSE(fs::exists(modelPath));
    EXPECT_FALSE(fs::exists(temporaryModel));
    EXPECT_FALSE(fs::exists(temp / "z03n_02w.zip"));
    EXPECT_TRUE(ui.fileErrors.empty());

    const ArchiveContents c = readArchive(destination);
    EXPECT_EQ(c.entries, 1);
    EXPECT_EQ(c.name, temporaryModel.string().substr(1));  // the path without its leading "/"
    EXPECT_EQ(c.encryption, ZIP_EM_NONE);
    EXPECT_EQ(c.compression, ZIP_CM_DEFLATE);
    EXPECT_TRUE(c.readable);
    EXPECT_EQ(c.data, model);
}

TEST_F(ZipFixture, EncryptedArchiveSeedsTheSharedGenerator) {
    ws.settings.ZipPassword = "s3cret";
    ASSERT_EQ(pack(), 0);
    EXPECT_TRUE(SharedRandom().SeededForEncryption());
}

TEST_F(ZipFixture, PasswordGivesATraditionallyEncryptedEntry) {
    ws.settings.ZipPassword = "s3cret";
    ASSERT_EQ(pack(), 0);
    const ArchiveContents good = readArchive(destination, "s3cret");
    EXPECT_EQ(good.entries, 1);
    EXPECT_EQ(good.encryption, ZIP_EM_TRAD_PKWARE);
    EXPECT_TRUE(good.readable);
    EXPECT_EQ(good.data, model);

    EXPECT_FALSE(readArchive(destination).readable);
    const ArchiveContents wrong = readArchive(destination, "guess");
    EXPECT_FALSE(wrong.readable && wrong.data == model);
}

TEST_F(ZipFixture, StaleTemporaryArchiveNeverAddsASecondEntry) {
    int code = 0;
    zip_t* za = zip_open((temp / "z03n_02w.zip").c_str(), ZIP_CREATE, &code);
    ASSERT_NE(za, nullptr);
    static const char old[] = "left over";
    zip_file_add(za, "old.rwx", zip_source_buffer(za, old, sizeof old - 1, 0), 0);
    ASSERT_EQ(zip_close(za), 0);

    ASSERT_EQ(pack(), 0);
    const ArchiveContents c = readArchive(destination);
    EXPECT_EQ(c.entries, 1);
    EXPECT_EQ(c.name, temporaryModel.string().substr(1));
    EXPECT_EQ(c.data, model);
}

TEST_F(ZipFixture, AnOlderDestinationArchiveIsReplaced) {
    writeFileBytes(destination, std::string(5000, 'x'));
    ASSERT_EQ(pack(), 0);
    const ArchiveContents c = readArchive(destination);
    EXPECT_EQ(c.entries, 1);
    EXPECT_EQ(c.data, model);
    EXPECT_LT(fs::file_size(destination), 5000u);
}

TEST_F(ZipFixture, DestinationThatCannotBeCreatedShowsTheErrorDialog) {
    modelPath = dir / "no such dir" / "z03n_02w.rwx";
    EXPECT_EQ(pack(), -1);
    ASSERT_EQ(ui.fileErrors.size(), 1u);
    EXPECT_EQ(ui.fileErrors[0], (dir / "no such dir" / "z03n_02w.zip").string() + " (" + std::strerror(ENOENT) + ")");
    // The temporary files stay for the person to recover.
    EXPECT_TRUE(fs::exists(temporaryModel));
}

TEST_F(ZipFixture, ArchiveCopyLostAtCloseFailsAndLeavesNoDestination) {
    // The small archive fits the stream's buffer: every write succeeds and
    // the full device refuses it only when the copy is closed.
    fs::create_symlink("/dev/full", destination);
    EXPECT_EQ(pack(), -1);
    ASSERT_EQ(ui.fileErrors.size(), 1u);
    EXPECT_EQ(ui.fileErrors[0], destination.string() + " (" + std::strerror(ENOSPC) + ")");
    EXPECT_FALSE(fs::exists(fs::symlink_status(destination)));
    EXPECT_TRUE(fs::exists(temporaryModel));
}

TEST_F(ZipFixture, MissingTemporaryModelFailsWithAMessageAndNoArchive) {
    fs::remove(temporaryModel);
    EXPECT_EQ(pack(), -1);
    EXPECT_FALSE(fs::exists(destination));
    ASSERT_EQ(ui.fileErrors.size(), 1u);
    EXPECT_NE(ui.fileErrors[0].find("z03n_02w"), std::string::npos) << ui.fileErrors[0];
}

TEST_F(ZipFixture, ZipItOffDoesNothing) {
    ws.settings.ZipIt = false;
    ws.settings.FtpToHost = true;
    RecordingUploader uploader;
    EXPECT_EQ(pack(&uploader), 0);
    EXPECT_TRUE(fs::exists(temporaryModel));
    EXPECT_FALSE(fs::exists(destination));
    EXPECT_TRUE(uploader.uploads.empty());
}

TEST_F(ZipFixture, OverlongPasswordIsRefusedBeforeAnythingIsMade) {
    ws.settings.ZipPassword = std::string(40, 'k');
    EXPECT_EQ(pack(), -1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("31"), std::string::npos);
    EXPECT_FALSE(fs::exists(destination));
    EXPECT_FALSE(fs::exists(temp / "z03n_02w.zip"));
}

TEST_F(ZipFixture, ArchiveIsUploadedUnderItsRemoteNameOnlyWithAnOpenSession) {
    RecordingUploader uploader;
    ws.settings.FtpToHost = true;
    ASSERT_EQ(pack(&uploader), 0);
    ASSERT_EQ(uploader.uploads.size(), 1u);
    EXPECT_EQ(uploader.uploads[0].first, (temp / "z03n_02w.zip").string());
    EXPECT_EQ(uploader.uploads[0].second, "z03n_02w.zip");
    EXPECT_TRUE(uploader.archiveExistedAtUpload);
    EXPECT_FALSE(fs::exists(temp / "z03n_02w.zip"));

    RecordingUploader closed;
    closed.open = false;
    writeFileBytes(temporaryModel, model);
    ASSERT_EQ(pack(&closed), 0);
    EXPECT_TRUE(closed.uploads.empty());

    RecordingUploader unused;
    ws.settings.FtpToHost = false;
    writeFileBytes(temporaryModel, model);
    ASSERT_EQ(pack(&unused), 0);
    EXPECT_TRUE(unused.uploads.empty());

    ArchiveUploader none;
    EXPECT_FALSE(none.connected());
}

TEST_F(ZipFixture, ArchivesPassUnzipsTest) {
    if (!haveUnzip()) GTEST_SKIP() << "unzip is not installed; archive check by unzip skipped";
    ASSERT_EQ(pack(), 0);
    EXPECT_EQ(runQuiet("unzip -t '" + destination.string() + "'"), 0);
    EXPECT_EQ(runOutput("unzip -Z1 '" + destination.string() + "'"), temporaryModel.string().substr(1) + "\n");
}

TEST_F(ZipFixture, EncryptedArchivesPassUnzipsTestWithThePasswordOnly) {
    if (!haveUnzip()) GTEST_SKIP() << "unzip is not installed; archive check by unzip skipped";
    ws.settings.ZipPassword = "pw";
    ASSERT_EQ(pack(), 0);
    EXPECT_EQ(runQuiet("unzip -P pw -t '" + destination.string() + "'"), 0);
    EXPECT_NE(runQuiet("unzip -P wrong -t '" + destination.string() + "'"), 0);
    EXPECT_EQ(runOutput("unzip -P pw -p '" + destination.string() + "'"), model);
}

}  // namespace
}  // namespace gorvale
