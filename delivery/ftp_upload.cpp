#include "delivery/ftp_upload.h"

#include <curl/curl.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "base/c_file.h"
#include "base/text_convert.h"

namespace gorvale {
namespace {

constexpr const char* kErrorCaption = "Error";
constexpr const char* kTlsScheme = "ftps://";
constexpr const char* kPlainScheme = "ftp://";
constexpr const char* kCaFileVariable = "SSL_CERT_FILE";
constexpr int kMaxPort = 65535;
// "TYPE I" after the directory change; the "*" tells libcurl to go on when
// the server refuses it.
constexpr const char* kBinaryTypeCommand = "*TYPE I";
// The directory change for an empty FtpDirectory: it stays where the login
// put the session, but the change is still made.
constexpr const char* kStayInLoginDirectory = "CWD .";

// libcurl 7.88 leaves a freshly connected passive data connection out of
// its wait set, so a plain wait sleeps its whole default second before every
// transfer. The session drives the transfer through a multi handle and
// waits at most this long between steps; libcurl's own time limits still apply.
constexpr int kTransferPollMilliseconds = 5;

struct MultiCleanup {
    void operator()(CURLM* m) const noexcept { curl_multi_cleanup(m); }  // QUITs the pooled connection
};
struct EasyCleanup {
    void operator()(CURL* c) const noexcept { curl_easy_cleanup(c); }  // sends QUIT on a live connection
};
struct SlistFree {
    void operator()(curl_slist* l) const noexcept { curl_slist_free_all(l); }
};
using SlistPtr = std::unique_ptr<curl_slist, SlistFree>;

bool appendCommand(SlistPtr& list, const char* command) {
    curl_slist* head = curl_slist_append(list.get(), command);
    if (!head) return false;  // the list is unchanged
    (void)list.release();
    list.reset(head);
    return true;
}

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool startsWithNoCase(const std::string& text, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Percent-encodes one URL path: every byte but the unreserved ones and "/".
std::string encodePath(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

// FtpDirectory as a URL path prefix ending in "/": "aw/models" becomes
// "/aw/models/" (libcurl changes to "aw/models" in one CWD), "/pub" becomes
// "//pub/" (an absolute "CWD /pub"), and an empty directory "/".
std::string directoryPath(const std::string& directory) {
    std::string d = directory;
    while (d.size() > 1 && d.back() == '/') d.pop_back();
    if (d.empty()) return "/";
    return "/" + encodePath(d) + "/";
}

}  // namespace

struct FtpSession::Curl {
    // Declared first so that it goes last: the control connection lives in
    // its pool and is closed (QUIT) with it.
    std::unique_ptr<CURLM, MultiCleanup> multi;
    std::unique_ptr<CURL, EasyCleanup> easy;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    std::string lastReply;  // the last line the server sent

    // libcurl hands every server reply line of an FTP session to the header function.
    static std::size_t onReplyLine(char* data, std::size_t size, std::size_t count, void* self) {
        const std::size_t n = size * count;
        std::string line(data, n);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (!line.empty()) static_cast<Curl*>(self)->lastReply = line;
        return n;
    }

    // One transfer on the session's connection; libcurl's result.
    CURLcode perform() {
        CURL* h = easy.get();
        CURLMcode mc = curl_multi_add_handle(multi.get(), h);
        if (mc != CURLM_OK) return CURLE_OUT_OF_MEMORY;
        CURLcode result = CURLE_OK;
        bool done = false;
        int running = 1;
        while (!done && mc == CURLM_OK) {
            mc = curl_multi_perform(multi.get(), &running);
            int left = 0;
            while (CURLMsg* m = curl_multi_info_read(multi.get(), &left))
                if (m->msg == CURLMSG_DONE && m->easy_handle == h) {
                    result = m->data.result;
                    done = true;
                }
            if (!done && running == 0) done = true;  // ended without a message
            if (!done && mc == CURLM_OK)
                mc = curl_multi_poll(multi.get(), nullptr, 0, kTransferPollMilliseconds, nullptr);
        }
        curl_multi_remove_handle(multi.get(), h);
        if (mc != CURLM_OK && result == CURLE_OK) result = CURLE_RECV_ERROR;
        return result;
    }

    void clearErrors() {
        errorBuffer[0] = '\0';
        lastReply.clear();
    }
};

bool parseFtpPort(const std::string& text, int& port) {
    const std::string t = trimmed(text);
    if (t.empty() || t.size() > 5) return false;
    int value = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > kMaxPort) return false;
    port = value;
    return true;
}

bool ftpEndpointFrom(const ConversionSettings& s, FtpEndpoint& endpoint, std::string& error) {
    FtpEndpoint e;
    std::string host = trimmed(s.FtpHostURL);
    if (startsWithNoCase(host, kTlsScheme)) {
        e.tls = true;
        host.erase(0, std::char_traits<char>::length(kTlsScheme));
    } else if (startsWithNoCase(host, kPlainScheme)) {
        host.erase(0, std::char_traits<char>::length(kPlainScheme));
    }
    while (!host.empty() && host.back() == '/') host.pop_back();
    e.host = host;
    if (!parseFtpPort(s.FtpHostPort, e.port)) {
        error = kPortInvalid;
        return false;
    }
    e.user = s.FtpUserID;
    e.password = s.FtpPassword;
    e.directory = s.FtpDirectory;
    // A line break would end the command it is sent in and start another.
    const std::pair<const char*, const std::string*> texts[] = {{"FtpHostURL", &s.FtpHostURL},
                                                                {"FtpUserID", &s.FtpUserID},
                                                                {"FtpPassword", &s.FtpPassword},
                                                                {"FtpDirectory", &s.FtpDirectory},
                                                                {"FtpProxy", &s.FtpProxy}};
    for (const auto& [key, text] : texts)
        if (text->find_first_of("\r\n") != std::string::npos) {
            error = format("The FTP setting %s holds a line break; FTP commands cannot carry one.", key);
            return false;
        }
    if (!s.FtpProxy.empty() && !s.FtpProxyPort.empty()) {
        if (!parseFtpPort(s.FtpProxyPort, e.proxyPort)) {
            error = kProxyPortInvalid;
            return false;
        }
        e.proxy = trimmed(s.FtpProxy);
    }
    e.passive = s.FtpPassive;
    endpoint = e;
    return true;
}

std::string ftpLoginName(const FtpEndpoint& endpoint) {
    if (endpoint.proxy.empty()) return endpoint.user;
    if (endpoint.port == kDefaultFtpPort) return endpoint.user + "@" + endpoint.host;
    return format("%s@%s:%d", endpoint.user.c_str(), endpoint.host.c_str(), endpoint.port);
}

bool activeTlsDataConnectionsWork() {
    initialiseCurlOnce();
    // Before 8.0.0 libcurl left an accepted (active) data connection
    // unencrypted under required TLS, which every server rejects.
    const curl_version_info_data* v = curl_version_info(CURLVERSION_NOW);
    return v && v->version_num >= 0x080000;
}

FtpSession::FtpSession(Workspace& ws) : ws_(ws) {}

FtpSession::~FtpSession() = default;

void FtpSession::status(const std::string& text) {
    statusText_ = text;
    ws_.ui->setStatus(kStatusPanelFtp, text);
}

std::string FtpSession::baseUrl() const {
    const bool viaProxy = !endpoint_.proxy.empty();
    const std::string& host = viaProxy ? endpoint_.proxy : endpoint_.host;
    const int port = viaProxy ? endpoint_.proxyPort : endpoint_.port;
    // An IPv6 address needs its brackets in a URL.
    const std::string h = host.find(':') != std::string::npos && host.front() != '[' ? "[" + host + "]" : host;
    return format("ftp://%s:%d", h.c_str(), port);
}

// libcurl's detail of the last failure (never holding the password).
std::string FtpSession::failureText(int code) const {
    if (curl_ && curl_->errorBuffer[0]) return curl_->errorBuffer;
    return curl_easy_strerror(static_cast<CURLcode>(code));
}

std::string FtpSession::where() const {
    std::string w = format("%s:%d", endpoint_.host.c_str(), endpoint_.port);
    if (!endpoint_.proxy.empty()) w += format(" through the proxy %s:%d", endpoint_.proxy.c_str(), endpoint_.proxyPort);
    return w;
}

bool FtpSession::OpenFtpConnection() {
    CloseFtpConnection();  // never two sessions at once
    tally_ = {};
    lastError_ = 0;
    lastReply_.clear();
    std::string error;
    if (!ftpEndpointFrom(ws_.settings, endpoint_, error)) {
        ws_.ui->message(error, kErrorCaption, MessageKind::Error, Buttons::Ok);
        return false;
    }
    if (endpoint_.host.empty()) {
        ws_.ui->message("No FTP server is set: FtpHostURL is empty.", kErrorCaption, MessageKind::Error, Buttons::Ok);
        return false;
    }
    initialiseCurlOnce();
    auto c = std::make_unique<Curl>();
    c->multi.reset(curl_multi_init());
    c->easy.reset(curl_easy_init());
    if (!c->multi || !c->easy) {
        ws_.ui->message("The FTP session could not start: libcurl could not make a handle.", kErrorCaption,
                        MessageKind::Error, Buttons::Ok);
        return false;
    }
    curl_ = std::move(c);
    CURL* h = curl_->easy.get();
    const std::string login = ftpLoginName(endpoint_);
    std::string caFile = caFile_;
    if (caFile.empty())
        if (const char* env = std::getenv(kCaFileVariable)) caFile = env;

    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, curl_->errorBuffer);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Curl::onReplyLine);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, curl_.get());
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "ftp");
#endif
    curl_easy_setopt(h, CURLOPT_USERNAME, login.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, endpoint_.password.c_str());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, static_cast<long>(kFtpOperationTimeoutSeconds));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(kFtpOperationTimeoutSeconds));
    curl_easy_setopt(h, CURLOPT_ACCEPTTIMEOUT_MS, kFtpOperationTimeoutSeconds * 1000L);
    // A data transfer that moves nothing for the time limit ends; a large
    // archive on a slow line still may take longer as a whole.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(kFtpOperationTimeoutSeconds));
    // FtpDirectory in one CWD, as typed.
    curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    // Active data connections: the server connects back to the address of
    // the control connection. Unset, libcurl asks for passive ones.
    const bool passive = endpoint_.passive || (endpoint_.tls && !activeTlsDataConnectionsWork());
    if (!passive) curl_easy_setopt(h, CURLOPT_FTPPORT, "-");
    if (passive != endpoint_.passive)
        status("Active data connections with TLS need libcurl 8 or later; using passive ones");
    if (endpoint_.tls) {
        curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        curl_easy_setopt(h, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
        if (!caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, caFile.c_str());
    }

    status(format("Connecting to %s%s as %s", where().c_str(), endpoint_.tls ? " with TLS" : "",
                  login.c_str()));
    // Log in, change to the directory, then "TYPE I" with its error ignored.
    SlistPtr after;
    if ((endpoint_.directory.empty() && !appendCommand(after, kStayInLoginDirectory)) ||
        !appendCommand(after, kBinaryTypeCommand)) {
        curl_.reset();
        ws_.ui->message("The FTP session could not start: out of memory.", kErrorCaption, MessageKind::Error,
                        Buttons::Ok);
        return false;
    }
    const std::string url = baseUrl() + directoryPath(endpoint_.directory);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(h, CURLOPT_POSTQUOTE, after.get());
    curl_->clearErrors();
    const CURLcode rc = curl_->perform();
    curl_easy_setopt(h, CURLOPT_POSTQUOTE, static_cast<curl_slist*>(nullptr));
    curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
    lastError_ = rc;
    lastReply_ = curl_->lastReply;
    if (rc != CURLE_OK) {
        std::string reason;
        if (rc == CURLE_LOGIN_DENIED)
            reason = format("the server refused the login of %s", login.c_str());
        else if (rc == CURLE_REMOTE_ACCESS_DENIED || rc == CURLE_QUOTE_ERROR)
            reason = format("cannot change to the directory \"%s\"", endpoint_.directory.c_str());
        else
            reason = failureText(rc);
        status("Connection failed: " + reason);
        std::string text = format("FTP connection to %s failed: %s", where().c_str(), reason.c_str());
        if (reason != failureText(rc)) text += " (" + failureText(rc) + ")";
        if (!lastReply_.empty()) text += "\nThe server's last reply: " + lastReply_;
        curl_.reset();  // QUIT when logged in
        ws_.ui->message(text, kErrorCaption, MessageKind::Error, Buttons::Ok);
        return false;
    }
    connected_ = true;
    status(format("Connected; directory \"%s\", TYPE I: %s", endpoint_.directory.c_str(), lastReply_.c_str()));
    return true;
}

bool FtpSession::attemptUpload(const std::string& localPath, const std::string& remoteName,
                               std::string& failure) {
    FilePtr in = openFile(localPath, "rb");
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(localPath, ec);
    if (!in || ec) {
        lastError_ = CURLE_READ_ERROR;
        lastReply_.clear();
        failure = format("cannot read %s", localPath.c_str());
        return false;
    }
    CURL* h = curl_->easy.get();
    const std::string url = baseUrl() + directoryPath(endpoint_.directory) + encodePath(remoteName);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READDATA, in.get());
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    curl_->clearErrors();
    const CURLcode rc = curl_->perform();
    curl_easy_setopt(h, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(h, CURLOPT_READDATA, static_cast<void*>(nullptr));
    lastError_ = rc;
    lastReply_ = curl_->lastReply;
    if (rc != CURLE_OK) {
        // A refusal by the server says more than libcurl's detail, which
        // for a refused active transfer names a socket error of its own.
        const bool refused = lastReply_.size() >= 3 && (lastReply_[0] == '4' || lastReply_[0] == '5');
        failure = refused ? "the server answered \"" + lastReply_ + "\"" : failureText(rc);
        return false;
    }
    status(format("Uploaded %s (%ju bytes)", remoteName.c_str(), size));
    return true;
}

void FtpSession::UploadArchive(const std::string& localPath, const std::string& remoteName) {
    if (!connected_ || !curl_) return;
    std::string failure;
    if (attemptUpload(localPath, remoteName, failure)) {
        ++tally_.uploaded;
        return;
    }
    ++tally_.retried;
    status(format("Upload of %s failed (%s); trying once more", remoteName.c_str(), failure.c_str()));
    if (attemptUpload(localPath, remoteName, failure)) {
        ++tally_.uploaded;
        return;
    }
    ++tally_.failed;
    status(format("Upload of %s failed again: %s", remoteName.c_str(), failure.c_str()));
    ws_.ui->fileError(format("FTP Upload error for %s:\n%ld %s %s", remoteName.c_str(), lastError_,
                             statusText_.c_str(), lastReply_.c_str()));
}

void FtpSession::CloseFtpConnection() {
    connected_ = false;
    if (!curl_) return;
    curl_.reset();  // QUIT
    status(format("Disconnected from %s", where().c_str()));
}

}  // namespace gorvale
