// The exported entry points: sessions, and sending one message through libcurl's SMTP.
#include "mail_message.h"
#include "mailruntime_api.h"
#include "smtp_account.h"

#include <curl/curl.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace mailruntime {
namespace {

/// Seconds allowed to reach the server; a transfer slower than kLowSpeedBytes per second for
/// kLowSpeedSeconds is given up.
constexpr long kConnectTimeoutSeconds = 30;
constexpr long kLowSpeedBytes = 1;
constexpr long kLowSpeedSeconds = 60;

struct Session {
    SmtpAccount account;
};

/// Live sessions; a handle is valid while its session is in here.
std::mutex gSessionsMutex;
std::set<Session*> gSessions;

struct EasyCleanup {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;
struct SlistFree {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using Slist = std::unique_ptr<curl_slist, SlistFree>;

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

/// What the conversation with the server showed, to tell the failures apart.
struct Conversation {
    std::string lastCommand; ///< verb of the last command sent ("MAIL", "RCPT", "DATA", ...)
    long failedReply = 0;    ///< first 4xx/5xx reply and the verb it answered
    std::string failedCommand;
    bool mailStarted = false; ///< MAIL FROM was sent: the log-in is behind us
};

int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* c = static_cast<Conversation*>(user);
    const std::string text(data, size);
    if (type == CURLINFO_HEADER_OUT) {
        c->lastCommand = text.substr(0, text.find_first_of(" \r\n"));
        c->mailStarted = c->mailStarted || c->lastCommand == "MAIL";
    } else if (type == CURLINFO_HEADER_IN && c->failedReply == 0 && text.size() >= 3 &&
               (text[0] == '4' || text[0] == '5') && (text.size() == 3 || text[3] != '-')) {
        c->failedReply = std::strtol(text.substr(0, 3).c_str(), nullptr, 10);
        c->failedCommand = c->lastCommand;
    }
    return 0;
}

size_t onRead(char* buffer, size_t size, size_t count, void* user) {
    auto* stream = static_cast<MessageStream*>(user);
    const size_t n = stream->read(buffer, size * count);
    if (stream->failed()) {
        return CURL_READFUNC_ABORT;
    }
    return n;
}

/// True when ~/.netrc exists and no one but its owner may read or change it.
bool privateNetrc() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        return false;
    }
    struct stat info {};
    const std::string path = std::string(home) + "/.netrc";
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           (info.st_mode & (S_IRWXG | S_IRWXO)) == 0 && info.st_uid == ::geteuid();
}

/// Sets what every connection of the account needs: server, TLS, log-in, time limits.
/// The account's URL; with the user in it when ~/.netrc is to supply the password, as libcurl
/// looks a user up there only when it comes from the URL.
std::string urlFor(const SmtpAccount& a, bool fromNetrc) {
    if (!fromNetrc) {
        return a.url;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string user;
    for (unsigned char c : a.user) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '.' || c == '-' || c == '_' || c == '~') {
            user += static_cast<char>(c);
        } else {
            user += '%';
            user += kHex[c >> 4];
            user += kHex[c & 15];
        }
    }
    const size_t hostStart = a.url.find("://") + 3;
    return a.url.substr(0, hostStart) + user + "@" + a.url.substr(hostStart);
}

void configure(CURL* h, const SmtpAccount& a, std::string& url, Conversation& conversation) {
    const bool fromNetrc = !a.user.empty() && a.password.empty() && privateNetrc();
    url = urlFor(a, fromNetrc);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytes);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
    if (a.requireStartTls) {
        curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    }
    if (!a.caFile.empty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, a.caFile.c_str());
    }
    if (fromNetrc) {
        curl_easy_setopt(h, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_OPTIONAL));
    } else if (!a.user.empty()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, a.user.c_str());
        curl_easy_setopt(h, CURLOPT_PASSWORD, a.password.c_str());
    }
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, onDebug);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &conversation);
}

bool isLogonFailure(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_LOGIN_DENIED:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_AUTH_ERROR:
        return true;
    default:
        return false;
    }
}

uint32_t resultFor(CURLcode code, const Conversation& c) {
    if (code == CURLE_OK) {
        return MAIL_SUCCESS;
    }
    if (code == CURLE_OUT_OF_MEMORY) {
        return MAIL_INSUFFICIENT_MEMORY;
    }
    // Failing to reach the server, to secure the connection or to log in is a log-on failure;
    // a transfer that breaks off once the message is under way is not.
    if (c.failedReply == 535 || c.failedCommand == "AUTH" ||
        (!c.mailStarted && isLogonFailure(code))) {
        return MAIL_LOGIN_FAILURE;
    }
    if (c.failedReply == 552 && (c.failedCommand == "MAIL" || c.failedCommand == "DATA" ||
                                 c.failedCommand.empty() || c.failedCommand == "RCPT")) {
        return MAIL_TEXT_TOO_LARGE;
    }
    if (c.failedCommand == "RCPT" && c.failedReply >= 550) {
        return MAIL_UNKNOWN_RECIPIENT;
    }
    return MAIL_FAILURE;
}

/// The bare address of a recipient: its address without the "SMTP:" prefix, else its name.
bool recipientAddress(const MailRecipient& r, std::string& out) {
    const char* source = r.address != nullptr && *r.address != '\0' ? r.address : r.name;
    if (source == nullptr) {
        return false;
    }
    std::string text = source;
    if (text.size() >= 5 &&
        (text.compare(0, 5, "SMTP:") == 0 || text.compare(0, 5, "smtp:") == 0)) {
        text = text.substr(5);
    }
    // A bare address: something@something, no white space, brackets or control characters.
    const size_t at = text.find('@');
    if (at == std::string::npos || at == 0 || at + 1 == text.size()) {
        return false;
    }
    for (unsigned char c : text) {
        if (c <= 0x20 || c == 0x7f || c == '<' || c == '>' || c == ',' || c == ';') {
            return false;
        }
    }
    out = std::move(text);
    return true;
}

std::string lastComponent(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

Session* findSession(MailSession handle) {
    auto* s = reinterpret_cast<Session*>(handle);
    std::lock_guard lock(gSessionsMutex);
    return gSessions.count(s) != 0 ? s : nullptr;
}

uint32_t logon(const char* profileName, const char* password, MailSession* session) {
    if (session == nullptr || profileName == nullptr) {
        return MAIL_FAILURE;
    }
    *session = 0;
    auto account = parseProfile(profileName);
    if (!account) {
        return MAIL_LOGIN_FAILURE;
    }
    if (password != nullptr) {
        account->password = password;
    }
    initCurlOnce();
    // Connect, greet, negotiate TLS and log in, then hang up: the account is known to work.
    EasyHandle h(curl_easy_init());
    if (!h) {
        return MAIL_INSUFFICIENT_MEMORY;
    }
    Conversation conversation;
    std::string url;
    configure(h.get(), *account, url, conversation);
    curl_easy_setopt(h.get(), CURLOPT_CONNECT_ONLY, 1L);
    const CURLcode code = curl_easy_perform(h.get());
    if (code != CURLE_OK) {
        return code == CURLE_OUT_OF_MEMORY ? MAIL_INSUFFICIENT_MEMORY : MAIL_LOGIN_FAILURE;
    }
    auto owned = std::make_unique<Session>();
    owned->account = std::move(*account);
    std::lock_guard lock(gSessionsMutex);
    gSessions.insert(owned.get());
    *session = reinterpret_cast<MailSession>(owned.release());
    return MAIL_SUCCESS;
}

uint32_t send(MailSession handle, const MailMessage* message) {
    Session* session = findSession(handle);
    if (session == nullptr) {
        return MAIL_INVALID_SESSION;
    }
    if (message == nullptr) {
        return MAIL_FAILURE;
    }
    const SmtpAccount& account = session->account;
    MessageSpec mime;
    mime.from = account.from;
    mime.subject = message->subject != nullptr ? message->subject : "";
    mime.body = message->noteText != nullptr ? message->noteText : "";
    mime.unixTime = static_cast<std::int64_t>(std::time(nullptr));
    if (hasLineBreak(mime.subject)) {
        return MAIL_FAILURE;
    }
    if (message->recipientCount == 0 || message->recipients == nullptr) {
        return MAIL_INVALID_RECIPS;
    }
    std::vector<std::string> envelope;
    for (uint32_t i = 0; i < message->recipientCount; ++i) {
        const MailRecipient& r = message->recipients[i];
        std::string address;
        if (!recipientAddress(r, address)) {
            return MAIL_INVALID_RECIPS;
        }
        switch (r.recipientClass) {
        case MAIL_TO:
            mime.to.push_back(address);
            break;
        case MAIL_CC:
            mime.cc.push_back(address);
            break;
        case MAIL_BCC:
            break;
        default:
            return MAIL_BAD_RECIPTYPE;
        }
        envelope.push_back("<" + address + ">");
    }
    if (message->fileCount > 0 && message->files == nullptr) {
        return MAIL_FAILURE;
    }
    for (uint32_t i = 0; i < message->fileCount; ++i) {
        const MailFile& f = message->files[i];
        if (f.pathName == nullptr || *f.pathName == '\0') {
            return MAIL_ATTACHMENT_NOT_FOUND;
        }
        AttachmentSpec a;
        a.path = f.pathName;
        a.name = f.fileName != nullptr && *f.fileName != '\0' ? f.fileName : lastComponent(a.path);
        if (hasLineBreak(a.name)) {
            return MAIL_ATTACHMENT_OPEN_FAILURE;
        }
        mime.attachments.push_back(std::move(a));
    }
    MessageStream stream;
    if (const uint32_t built = stream.build(mime); built != MAIL_SUCCESS) {
        return built;
    }

    initCurlOnce();
    EasyHandle h(curl_easy_init());
    if (!h) {
        return MAIL_INSUFFICIENT_MEMORY;
    }
    Slist recipients;
    for (const auto& r : envelope) {
        curl_slist* grown = curl_slist_append(recipients.get(), r.c_str());
        if (grown == nullptr) {
            return MAIL_INSUFFICIENT_MEMORY;
        }
        (void)recipients.release();
        recipients.reset(grown);
    }
    Conversation conversation;
    std::string url;
    configure(h.get(), account, url, conversation);
    const std::string mailFrom = "<" + account.from + ">";
    curl_easy_setopt(h.get(), CURLOPT_MAIL_FROM, mailFrom.c_str());
    curl_easy_setopt(h.get(), CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(h.get(), CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h.get(), CURLOPT_READFUNCTION, onRead);
    curl_easy_setopt(h.get(), CURLOPT_READDATA, &stream);
    // The size lets libcurl offer SIZE= on MAIL FROM, which a server with a limit refuses.
    curl_easy_setopt(h.get(), CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(stream.size()));
    const CURLcode code = curl_easy_perform(h.get());
    if (code == CURLE_ABORTED_BY_CALLBACK && stream.failed()) {
        return MAIL_ATTACHMENT_OPEN_FAILURE;
    }
    return resultFor(code, conversation);
}

uint32_t logoff(MailSession handle) {
    auto* s = reinterpret_cast<Session*>(handle);
    {
        std::lock_guard lock(gSessionsMutex);
        if (gSessions.erase(s) == 0) {
            return MAIL_INVALID_SESSION;
        }
    }
    delete s;
    return MAIL_SUCCESS;
}

} // namespace
} // namespace mailruntime

using namespace mailruntime;

extern "C" {

MAIL_API uint32_t MAPILogon(uintptr_t, const char* profileName, const char* password, uint32_t,
                            uint32_t, MailSession* session) {
    try {
        return logon(profileName, password, session);
    } catch (const std::bad_alloc&) {
        return MAIL_INSUFFICIENT_MEMORY;
    } catch (...) {
        return MAIL_FAILURE;
    }
}

MAIL_API uint32_t MAPISendMail(MailSession session, uintptr_t, const MailMessage* message, uint32_t,
                               uint32_t) {
    try {
        return send(session, message);
    } catch (const std::bad_alloc&) {
        return MAIL_INSUFFICIENT_MEMORY;
    } catch (...) {
        return MAIL_FAILURE;
    }
}

MAIL_API uint32_t MAPILogoff(MailSession session, uintptr_t, uint32_t, uint32_t) {
    try {
        return logoff(session);
    } catch (...) {
        return MAIL_FAILURE;
    }
}

MAIL_API uint32_t MAPISendDocuments(uintptr_t, const char*, const char*, const char*, uint32_t) {
    return MAIL_NOT_SUPPORTED;
}
MAIL_API uint32_t MAPIFindNext(MailSession, uintptr_t, const char*, const char*, uint32_t, uint32_t,
                               char*) {
    return MAIL_NOT_SUPPORTED;
}
MAIL_API uint32_t MAPIReadMail(MailSession, uintptr_t, const char*, uint32_t, uint32_t,
                               MailMessage**) {
    return MAIL_NOT_SUPPORTED;
}
MAIL_API uint32_t MAPIResolveName(MailSession, uintptr_t, const char*, uint32_t, uint32_t,
                                  MailRecipient**) {
    return MAIL_NOT_SUPPORTED;
}
MAIL_API uint32_t MAPIAddress(MailSession, uintptr_t, const char*, uint32_t, const char*, uint32_t,
                              MailRecipient*, uint32_t, uint32_t, uint32_t*, MailRecipient**) {
    return MAIL_NOT_SUPPORTED;
}
MAIL_API uint32_t MAPIFreeBuffer(void*) {
    return MAIL_NOT_SUPPORTED;
}
MAIL_API uint32_t MAPIDetails(MailSession, uintptr_t, MailRecipient*, uint32_t, uint32_t) {
    return MAIL_NOT_SUPPORTED;
}
MAIL_API uint32_t MAPISaveMail(MailSession, uintptr_t, MailMessage*, uint32_t, uint32_t, char*) {
    return MAIL_NOT_SUPPORTED;
}

} // extern "C"
