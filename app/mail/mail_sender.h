#pragma once

// Sending mail through the mail runtime (libmailruntime.so, loaded by name): the splitting of
// the recipient and attachment texts, the records handed to the runtime, one session at a time,
// and the message shown for each result code.
//
// Threads: a MailSender is used by one thread at a time. It owns the loaded runtime and at most
// one open session, which it closes (and the runtime it frees) when destroyed.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace mireldo::mail {

/// Most recipients and attachments of one message.
inline constexpr int kMaxRecipients = 50;
inline constexpr int kMaxAttachments = 50;

/// String ids of the checks made before anything is sent.
inline constexpr int kStrTooManyRecipients = 341;
inline constexpr int kStrTooManyAttachments = 442;
inline constexpr int kStrUnknownMailError = 343;

/// Messages of the checks that have no entry in the string table.
QString noRecipientMessage();
QString runtimeMissingMessage();

/// Recipients from the text the user typed: pieces between semicolons, trimmed, empty ones
/// dropped ("a; ;b;" gives a and b).
QStringList splitRecipients(const QString& text);
/// Attachment paths, one a line: pieces between carriage returns (or line feeds), trimmed,
/// blank ones dropped.
QStringList splitAttachments(const QString& text);
/// The note text: the body, and when `includeSignature` the separator line and the signature.
QString noteText(const QString& body, bool includeSignature, const QString& signature);

/// The string id of the message for a runtime result code (343 for codes it does not know).
int messageIdForCode(std::uint32_t code);
/// The text of messageIdForCode(code).
QString messageForCode(std::uint32_t code);

class MailSender {
  public:
    /// `library` is the file name to load (tests give a path); null: the runtime's bare name.
    explicit MailSender(const char* library = nullptr);
    ~MailSender();
    MailSender(const MailSender&) = delete;
    MailSender& operator=(const MailSender&) = delete;

    /// Loads the runtime and looks up its entry points; true when the runtime and its log-on,
    /// send and log-off are there. Loading again after success does nothing.
    bool load();
    bool loaded() const;

    /// Logs on with `profile` (see profileAddress()) unless a session is open; 0 or the code.
    std::uint32_t logon(const QString& profile, const QString& password);
    bool hasSession() const { return session_ != 0; }
    /// Sends one message through the open session; 0 or the code. The session stays open.
    std::uint32_t send(const QString& subject, const QString& note, const QStringList& recipients,
                       const QStringList& attachments);
    /// Closes the session; 0 or the code.
    std::uint32_t logoff();

  private:
    struct Runtime;
    std::unique_ptr<Runtime> runtime_;
    const char* library_;
    std::uintptr_t session_ = 0;
};

} // namespace mireldo::mail
