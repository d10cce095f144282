// Uploads every archive of a folder through one FTP session, as a Generate
// run does, and reports archives per second.
//
//   ftp_upload_bench FOLDER PORT [passive|active] [ROUNDS]
//
// The server is 127.0.0.1:PORT, user "builder", password "secret", target
// directory "aw/models" (bench/ftp_upload_bench.sh starts one).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "delivery/ftp_upload.h"

using namespace gorvale;

namespace {

class CountingInterface : public SilentUserInterface {
public:
    Answer message(const std::string& text, const std::string&, MessageKind, Buttons) override {
        ++errors;
        std::fprintf(stderr, "error: %s\n", text.c_str());
        return Answer::Ok;
    }
    void fileError(const std::string& detail) override {
        ++errors;
        std::fprintf(stderr, "error: %s\n", detail.c_str());
    }
    int errors = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER PORT [passive|active] [ROUNDS]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const std::string port = argv[2];
    const bool passive = argc > 3 && std::string(argv[3]) == "passive";
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;

    std::vector<std::filesystem::path> archives;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().extension() == ".zip") archives.push_back(e.path());
    std::sort(archives.begin(), archives.end());
    if (archives.empty()) {
        std::fprintf(stderr, "no archives in %s\n", folder.c_str());
        return 1;
    }

    CountingInterface ui;
    ConversionSettings s;
    s.FtpToHost = true;
    s.FtpHostURL = "127.0.0.1";
    s.FtpHostPort = port;
    s.FtpUserID = "builder";
    s.FtpPassword = "secret";
    s.FtpDirectory = "aw/models";
    s.FtpPassive = passive;
    Workspace ws(ui, s);
    FtpSession ftp(ws);

    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        if (!ftp.OpenFtpConnection()) return 1;
        for (const auto& a : archives) ftp.UploadArchive(a.string(), a.filename().string());
        ftp.CloseFtpConnection();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (ftp.tally().uploaded != static_cast<int>(archives.size())) {
            std::fprintf(stderr, "only %d of %zu archives uploaded\n", ftp.tally().uploaded, archives.size());
            return 1;
        }
        std::printf("  round %d: %zu archives in %.3f s, %.0f archives/s\n", r + 1, archives.size(), seconds,
                    archives.size() / seconds);
        best = std::min(best, seconds);
    }
    std::printf("%s: %zu archives, best %.3f s: %.0f archives/s\n", passive ? "passive" : "active",
                archives.size(), best, archives.size() / best);
    return ui.errors == 0 ? 0 : 1;
}
