#include "mail_sender.h"

#include "mailruntime_api.h"
#include "native_path.h"
#include "string_table.h"

#include <dlfcn.h>

#include <vector>

namespace mireldo::mail {

namespace {

struct LibraryCloser {
    void operator()(void* handle) const { ::dlclose(handle); }
};

QStringList splitOn(const QString& text, QChar separator) {
    QStringList pieces;
    for (const QString& piece : text.split(separator)) {
        const QString trimmed = piece.trimmed();
        if (!trimmed.isEmpty()) {
            pieces.append(trimmed);
        }
    }
    return pieces;
}

} // namespace

struct MailSender::Runtime {
    std::unique_ptr<void, LibraryCloser> library;
    MailLogonFn logon = nullptr;
    MailSendMailFn sendMail = nullptr;
    MailLogoffFn logoff = nullptr;
};

QString noRecipientMessage() {
    return QStringLiteral("Error: No recipient was designated!");
}

QString runtimeMissingMessage() {
    return QStringLiteral("Fail to load email module. Perhaps the MAPI is not installed.");
}

QStringList splitRecipients(const QString& text) {
    return splitOn(text, QLatin1Char(';'));
}

QStringList splitAttachments(const QString& text) {
    QString lines = text;
    lines.replace(QLatin1Char('\n'), QLatin1Char('\r'));
    return splitOn(lines, QLatin1Char('\r'));
}

QString noteText(const QString& body, bool includeSignature, const QString& signature) {
    if (!includeSignature) {
        return body;
    }
    return body + QStringLiteral("\r\n------------------------------------\r\n") + signature;
}

int messageIdForCode(std::uint32_t code) {
    switch (code) {
    case MAIL_USER_ABORT:
        return 334;
    case MAIL_FAILURE:
        return 330;
    case MAIL_LOGIN_FAILURE:
        return 332;
    case MAIL_INSUFFICIENT_MEMORY:
        return 331;
    case MAIL_TOO_MANY_FILES:
        return 442;
    case MAIL_TOO_MANY_RECIPIENTS:
        return 341;
    case MAIL_ATTACHMENT_NOT_FOUND:
        return 335;
    case MAIL_ATTACHMENT_OPEN_FAILURE:
        return 336;
    case MAIL_UNKNOWN_RECIPIENT:
        return 329;
    case MAIL_BAD_RECIPTYPE:
        return 337;
    case MAIL_TEXT_TOO_LARGE:
        return 339;
    case MAIL_INVALID_SESSION:
        return 342;
    case MAIL_AMBIGUOUS_RECIPIENT:
        return 328;
    case MAIL_INVALID_RECIPS:
        return 338;
    case MAIL_NOT_SUPPORTED:
        return 333;
    default:
        return kStrUnknownMailError;
    }
}

QString messageForCode(std::uint32_t code) {
    return loadString(messageIdForCode(code));
}

MailSender::MailSender(const char* library)
    : library_(library != nullptr ? library : MAIL_LIBRARY_NAME) {}

MailSender::~MailSender() {
    if (session_ != 0 && runtime_) {
        runtime_->logoff(session_, 0, 0, 0);
    }
}

bool MailSender::load() {
    if (loaded()) {
        return true;
    }
    auto runtime = std::make_unique<Runtime>();
    // The runtime stays mapped once loaded: it brings libcurl and its TLS libraries, whose
    // thread-local blocks must not be unmapped under threads that have used them (a later
    // dlopen of the same runtime then finds it already there).
    runtime->library.reset(::dlopen(library_, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
    if (!runtime->library) {
        return false;
    }
    void* handle = runtime->library.get();
    runtime->logon = reinterpret_cast<MailLogonFn>(::dlsym(handle, "MAPILogon"));
    runtime->sendMail = reinterpret_cast<MailSendMailFn>(::dlsym(handle, "MAPISendMail"));
    runtime->logoff = reinterpret_cast<MailLogoffFn>(::dlsym(handle, "MAPILogoff"));
    if (runtime->logon == nullptr || runtime->sendMail == nullptr || runtime->logoff == nullptr) {
        return false;
    }
    runtime_ = std::move(runtime);
    return true;
}

bool MailSender::loaded() const {
    return runtime_ != nullptr;
}

std::uint32_t MailSender::logon(const QString& profile, const QString& password) {
    if (!loaded()) {
        return MAIL_FAILURE;
    }
    if (session_ != 0) {
        return MAIL_SUCCESS;
    }
    const QByteArray profileBytes = profile.toUtf8();
    const QByteArray passwordBytes = password.toUtf8();
    MailSession session = 0;
    const std::uint32_t code = runtime_->logon(
        0, profileBytes.constData(), passwordBytes.constData(), MAIL_NEW_SESSION, 0, &session);
    if (code == MAIL_SUCCESS) {
        session_ = session;
    }
    return code;
}

std::uint32_t MailSender::send(const QString& subject, const QString& note,
                               const QStringList& recipients, const QStringList& attachments) {
    if (!loaded() || session_ == 0) {
        return MAIL_INVALID_SESSION;
    }
    // The byte strings live until the send returns; the records point into them.
    std::vector<QByteArray> names;
    std::vector<QByteArray> addresses;
    for (const QString& r : recipients) {
        names.push_back(r.toUtf8());
        addresses.push_back(QByteArrayLiteral("SMTP:") + r.toUtf8());
    }
    std::vector<MailRecipient> recipientRecords;
    for (std::size_t i = 0; i < names.size(); ++i) {
        recipientRecords.push_back(
            MailRecipient{0, MAIL_TO, names[i].constData(), addresses[i].constData(), 0, nullptr});
    }
    std::vector<QByteArray> paths;
    for (const QString& a : attachments) {
        paths.push_back(platform::encodePath(a));
    }
    std::vector<MailFile> fileRecords;
    for (const QByteArray& p : paths) {
        fileRecords.push_back(MailFile{0, 0, 0, p.constData(), nullptr, nullptr});
    }
    const QByteArray subjectBytes = subject.toUtf8();
    const QByteArray noteBytes = note.toUtf8();
    MailMessage message{};
    message.subject = subjectBytes.constData();
    message.noteText = noteBytes.constData();
    message.recipientCount = static_cast<std::uint32_t>(recipientRecords.size());
    message.recipients = recipientRecords.data();
    if (!fileRecords.empty()) {
        message.fileCount = static_cast<std::uint32_t>(fileRecords.size());
        message.files = fileRecords.data();
    }
    return runtime_->sendMail(session_, 0, &message, 0, 0);
}

std::uint32_t MailSender::logoff() {
    if (!loaded() || session_ == 0) {
        return MAIL_INVALID_SESSION;
    }
    const std::uint32_t code = runtime_->logoff(session_, 0, 0, 0);
    session_ = 0;
    return code;
}

} // namespace mireldo::mail
