/// mailruntime: the mail-sending runtime of this system, a shared library loaded by name at run
/// time ("libmailruntime.so"). It sends messages with attachments through an SMTP server.
///
/// The profile name given to MAPILogon is the account's SMTP address with its settings:
///   smtp://[user@]host[:port][?from=ADDR&starttls=1&cafile=PATH]   (plain, or STARTTLS required)
///   smtps://[user@]host[:port][?from=ADDR&cafile=PATH]             (TLS from the first byte)
/// Query values are percent-encoded. The password is MAPILogon's password; when it is empty and a
/// user is named, the user's ~/.netrc is consulted (only when no one else may read it).
///
/// All strings are NUL-terminated UTF-8. Every function returns one of the MAIL_* codes and never
/// lets an exception escape. Threads: a session is used by one thread at a time; different
/// sessions are independent. Ownership: the caller keeps every record and string it passes in.
#ifndef MAILRUNTIME_API_H
#define MAILRUNTIME_API_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(MAILRUNTIME_BUILDING)
#define MAIL_API __attribute__((visibility("default")))
#else
#define MAIL_API
#endif

/// File name under which hosts load the runtime (found beside the program).
#define MAIL_LIBRARY_NAME "libmailruntime.so"

/* Result codes. */
#define MAIL_SUCCESS 0u
#define MAIL_USER_ABORT 1u
#define MAIL_FAILURE 2u
#define MAIL_LOGIN_FAILURE 3u
#define MAIL_INSUFFICIENT_MEMORY 5u
#define MAIL_TOO_MANY_FILES 9u
#define MAIL_TOO_MANY_RECIPIENTS 10u
#define MAIL_ATTACHMENT_NOT_FOUND 11u
#define MAIL_ATTACHMENT_OPEN_FAILURE 12u
#define MAIL_UNKNOWN_RECIPIENT 14u
#define MAIL_BAD_RECIPTYPE 15u
#define MAIL_TEXT_TOO_LARGE 18u
#define MAIL_INVALID_SESSION 19u
#define MAIL_AMBIGUOUS_RECIPIENT 21u
#define MAIL_INVALID_RECIPS 25u
#define MAIL_NOT_SUPPORTED 26u

/* Recipient classes. */
#define MAIL_ORIG 0u
#define MAIL_TO 1u
#define MAIL_CC 2u
#define MAIL_BCC 3u

/* MAPILogon flags. */
#define MAIL_LOGON_UI 0x1u
#define MAIL_NEW_SESSION 0x2u

/// A session handle: 0 is never a session.
typedef uintptr_t MailSession;

/// One recipient of a message.
typedef struct MailRecipient {
    uint32_t reserved;       /* 0 */
    uint32_t recipientClass; /* MAIL_TO, MAIL_CC or MAIL_BCC */
    const char* name;        /* display name, or the address when no address is given */
    const char* address;     /* "SMTP:user@host" or a bare address; may be NULL */
    uint32_t entryIdSize;    /* 0 */
    void* entryId;           /* NULL */
} MailRecipient;

/// One attachment of a message; the file is read while the message is sent.
typedef struct MailFile {
    uint32_t reserved;    /* 0 */
    uint32_t flags;       /* 0 */
    uint32_t position;    /* ignored: attachments follow the text */
    const char* pathName; /* the file to attach */
    const char* fileName; /* name shown to the receiver; NULL: the last component of pathName */
    void* fileType;       /* NULL */
} MailFile;

/// A message to send.
typedef struct MailMessage {
    uint32_t reserved;          /* 0 */
    const char* subject;        /* may be NULL */
    const char* noteText;       /* the body; may be NULL */
    const char* messageType;    /* NULL */
    const char* dateReceived;   /* NULL */
    const char* conversationId; /* NULL */
    uint32_t flags;             /* 0 */
    MailRecipient* originator;  /* NULL: the account's address */
    uint32_t recipientCount;
    MailRecipient* recipients;
    uint32_t fileCount;
    MailFile* files; /* NULL when fileCount is 0 */
} MailMessage;

#if defined(__x86_64__) || defined(__aarch64__)
#ifdef __cplusplus
static_assert(sizeof(MailRecipient) == 40, "recipient record");
static_assert(offsetof(MailRecipient, name) == 8 && offsetof(MailRecipient, entryId) == 32,
              "recipient record");
static_assert(sizeof(MailFile) == 40, "file record");
static_assert(offsetof(MailFile, pathName) == 16 && offsetof(MailFile, fileType) == 32,
              "file record");
static_assert(sizeof(MailMessage) == 96, "message record");
static_assert(offsetof(MailMessage, subject) == 8 && offsetof(MailMessage, flags) == 48 &&
                  offsetof(MailMessage, originator) == 56 &&
                  offsetof(MailMessage, recipientCount) == 64 &&
                  offsetof(MailMessage, recipients) == 72 &&
                  offsetof(MailMessage, fileCount) == 80 && offsetof(MailMessage, files) == 88,
              "message record");
#else
_Static_assert(sizeof(MailRecipient) == 40, "recipient record");
_Static_assert(sizeof(MailFile) == 40, "file record");
_Static_assert(sizeof(MailMessage) == 96, "message record");
#endif
#endif

/// Opens a session for the account described by `profileName` (see above) and checks that the
/// server accepts the log-in. `uiParam` and MAIL_LOGON_UI are ignored: the runtime shows nothing.
MAIL_API uint32_t MAPILogon(uintptr_t uiParam, const char* profileName, const char* password,
                            uint32_t flags, uint32_t reserved, MailSession* session);
/// Sends `message` through the session's account. The session stays open either way.
MAIL_API uint32_t MAPISendMail(MailSession session, uintptr_t uiParam, const MailMessage* message,
                               uint32_t flags, uint32_t reserved);
/// Closes a session.
MAIL_API uint32_t MAPILogoff(MailSession session, uintptr_t uiParam, uint32_t flags,
                             uint32_t reserved);

/* Present for hosts that look them up; each answers MAIL_NOT_SUPPORTED. */
MAIL_API uint32_t MAPISendDocuments(uintptr_t uiParam, const char* delimiter, const char* paths,
                                    const char* fileNames, uint32_t reserved);
MAIL_API uint32_t MAPIFindNext(MailSession session, uintptr_t uiParam, const char* messageType,
                               const char* seedMessageId, uint32_t flags, uint32_t reserved,
                               char* messageId);
MAIL_API uint32_t MAPIReadMail(MailSession session, uintptr_t uiParam, const char* messageId,
                               uint32_t flags, uint32_t reserved, MailMessage** message);
MAIL_API uint32_t MAPIResolveName(MailSession session, uintptr_t uiParam, const char* name,
                                  uint32_t flags, uint32_t reserved, MailRecipient** recipient);
MAIL_API uint32_t MAPIAddress(MailSession session, uintptr_t uiParam, const char* caption,
                              uint32_t editFields, const char* labels, uint32_t recipientCount,
                              MailRecipient* recipients, uint32_t flags, uint32_t reserved,
                              uint32_t* newRecipientCount, MailRecipient** newRecipients);
MAIL_API uint32_t MAPIFreeBuffer(void* memory);
MAIL_API uint32_t MAPIDetails(MailSession session, uintptr_t uiParam, MailRecipient* recipient,
                              uint32_t flags, uint32_t reserved);
MAIL_API uint32_t MAPISaveMail(MailSession session, uintptr_t uiParam, MailMessage* message,
                               uint32_t flags, uint32_t reserved, char* messageId);

typedef uint32_t (*MailLogonFn)(uintptr_t, const char*, const char*, uint32_t, uint32_t,
                                MailSession*);
typedef uint32_t (*MailSendMailFn)(MailSession, uintptr_t, const MailMessage*, uint32_t, uint32_t);
typedef uint32_t (*MailLogoffFn)(MailSession, uintptr_t, uint32_t, uint32_t);

#ifdef __cplusplus
}
#endif

#endif
