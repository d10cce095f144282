#pragma once
// FTP upload of the zipped models to the world's object server, on libcurl.
//
// One control connection per Generate command: OpenFtpConnection logs in,
// changes to FtpDirectory (also when it is empty) and sends "TYPE I" (its
// error ignored); UploadArchive stores each archive under its remote name
// right after zip packaging made it, trying once more when the first attempt
// fails; CloseFtpConnection sends QUIT. Every operation ends or times out
// within kFtpOperationTimeoutSeconds, and its status text goes to the run's
// status output (kStatusPanelFtp).
//
// Data connections are active unless FtpPassive is on (or TLS needs passive
// ones, see activeTlsDataConnectionsWork). A host given as
// "ftps://host" uses explicit TLS (AUTH TLS, protected data), required; the
// server's certificate is checked against the system's authorities, or
// against the file named by the environment variable SSL_CERT_FILE.
// With FtpProxy and FtpProxyPort both filled, the session logs in through
// the proxy in the "USER user@host" manner.
//
// The password is handed to libcurl only; it is never part of a URL, a
// status text or a message.

#include <memory>
#include <string>

#include "delivery/zip_packaging.h"
#include "pipeline/generate_run.h"
#include "pipeline/workspace.h"

namespace gorvale {

inline constexpr const char* kPortInvalid = "Port setting is invalid!";
inline constexpr const char* kProxyPortInvalid = "Proxy Port setting is invalid!";
inline constexpr int kFtpOperationTimeoutSeconds = 30;
inline constexpr int kDefaultFtpPort = 21;

// Where and how a session connects, read from the FTP settings.
struct FtpEndpoint {
    std::string host;       // FtpHostURL without a "ftp://" or "ftps://" scheme
    int port = kDefaultFtpPort;
    bool tls = false;       // the host was given as "ftps://host"
    std::string user;
    std::string password;
    std::string directory;  // sent as given, also when empty
    std::string proxy;      // empty: a direct connection
    int proxyPort = 0;
    bool passive = false;
};

// Reads a port text: decimal digits (blanks around them allowed) naming a
// port from 1 to 65535. False otherwise.
bool parseFtpPort(const std::string& text, int& port);

// The FTP settings as a session uses them. False, with the message to show
// (kPortInvalid or kProxyPortInvalid), when a port text is not a valid port,
// or when a text holds a line break; the proxy is used only when FtpProxy
// and FtpProxyPort are both filled.
bool ftpEndpointFrom(const ConversionSettings& s, FtpEndpoint& endpoint, std::string& error);

// The name the session logs in with: the user, or "user@host" (with
// ":port" unless the port is 21) when it goes through a proxy.
std::string ftpLoginName(const FtpEndpoint& endpoint);

// False with a libcurl older than 8.0.0, whose active data connections
// stay unencrypted under TLS: such sessions use passive ones instead.
bool activeTlsDataConnectionsWork();

class FtpSession : public ArchiveUploader {
public:
    explicit FtpSession(Workspace& ws);
    ~FtpSession() override;  // sends QUIT when still connected
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    // Reads the settings, connects, logs in, changes to FtpDirectory and
    // sends "TYPE I". On failure shows the message (a port check's exact
    // text, or what failed, where and the server's reply), leaves the
    // session closed and returns false. Starts a new tally.
    bool OpenFtpConnection();
    // Stores localPath under remoteName in FtpDirectory; a failed attempt is
    // retried once, and a second failure shows "FTP Upload error for %s:\n%d %s %s"
    // in the "Error" dialog. The run goes on either way.
    void UploadArchive(const std::string& localPath, const std::string& remoteName);
    // Sends QUIT and closes the connection; nothing happens when closed.
    void CloseFtpConnection();

    bool connected() const override { return connected_; }
    void upload(const std::string& localArchive, const std::string& remoteName) override {
        UploadArchive(localArchive, remoteName);
    }

    // What the session reads back after each operation: libcurl's error
    // number (0: none), the status text and the server's last reply line.
    long lastErrorNumber() const { return lastError_; }
    const std::string& statusText() const { return statusText_; }
    const std::string& lastReply() const { return lastReply_; }
    // Archives uploaded, retried and failed since the last open.
    const UploadTally& tally() const { return tally_; }

    // Overrides SSL_CERT_FILE for the next open (tests with a throwaway
    // certificate). Empty: the environment's or the system's authorities.
    void setCertificateAuthorities(const std::string& path) { caFile_ = path; }

    struct Curl;  // the libcurl easy handle and its buffers

private:
    void status(const std::string& text);
    bool attemptUpload(const std::string& localPath, const std::string& remoteName, std::string& failure);
    std::string baseUrl() const;
    std::string where() const;  // "host:port", and the proxy when there is one
    std::string failureText(int code) const;

    Workspace& ws_;
    std::unique_ptr<Curl> curl_;
    FtpEndpoint endpoint_;
    bool connected_ = false;
    long lastError_ = 0;
    std::string statusText_;
    std::string lastReply_;
    std::string caFile_;
    UploadTally tally_;
};

}  // namespace gorvale
