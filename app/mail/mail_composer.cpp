#include "mail_composer.h"

#include "mailruntime_api.h"

#include "profile_store.h"
#include "secret_passwords.h"
#include "string_table.h"

#include <QHash>

namespace mireldo::mail {

namespace {

const QString kHistory = QStringLiteral("History");
const QString kMailAccount = QStringLiteral("MailAccount");
const QString kMailSubject = QStringLiteral("MailSubject");
const QString kMailTargets = QStringLiteral("MailTargets");

/// Passwords the user typed, by account name, kept in memory for this run only.
QHash<QString, QString>& sessionPasswords() {
    static QHash<QString, QString> passwords;
    return passwords;
}

} // namespace

QString defaultSignature() {
    return QStringLiteral("This email was sent via the audio recorder.\r\n"
                          "https://mireldo.tarnwick.example/");
}

QString attachmentText(const QStringList& paths) {
    QString text;
    for (const QString& p : paths) {
        text += p + QStringLiteral("\r\n");
    }
    return text;
}

MailComposer::MailComposer(platform::ProfileStore& store, Report report,
                           std::unique_ptr<MailSender> sender)
    : store_(store), report_(std::move(report)), sender_(std::move(sender)) {}

MailFields MailComposer::open(const QStringList& attachmentPaths) {
    account_ = store_.getString(kHistory, kMailAccount);
    subject_ = store_.getString(kHistory, kMailSubject);
    targets_ = store_.getString(kHistory, kMailTargets);
    accounts_ = readMailAccounts(store_.filePath());
    selectedAccount_ = -1;
    for (qsizetype i = 0; i < accounts_.size(); ++i) {
        if (account_.isEmpty()) {
            account_ = accounts_[i].name;
        }
        if (selectedAccount_ < 0 && account_.compare(accounts_[i].name, Qt::CaseInsensitive) == 0) {
            selectedAccount_ = static_cast<int>(i);
        }
    }
    if (!sender_->load()) {
        report_(runtimeMissingMessage(), true);
    }
    MailFields f;
    f.account = account_;
    f.recipients = targets_;
    f.subject = subject_;
    f.includeSignature = true;
    f.signature = defaultSignature();
    f.attachments = attachmentText(attachmentPaths);
    return f;
}

void MailComposer::reloadAccounts(const QString& accountText) {
    accounts_ = readMailAccounts(store_.filePath());
    selectedAccount_ = -1;
    for (qsizetype i = 0; i < accounts_.size(); ++i) {
        if (accountText.compare(accounts_[i].name, Qt::CaseInsensitive) == 0) {
            selectedAccount_ = static_cast<int>(i);
            break;
        }
    }
}

QString MailComposer::settingsFile() const {
    return store_.filePath();
}

bool MailComposer::send(const MailFields& fields) {
    account_ = fields.account;
    subject_ = fields.subject;
    targets_ = fields.recipients;
    const QStringList recipients = splitRecipients(fields.recipients);
    const QStringList attachments = splitAttachments(fields.attachments);
    if (recipients.size() > kMaxRecipients) {
        report_(loadString(kStrTooManyRecipients), true);
        return false;
    }
    if (recipients.isEmpty()) {
        report_(noRecipientMessage(), true);
        return false;
    }
    if (attachments.size() > kMaxAttachments) {
        report_(loadString(kStrTooManyAttachments), true);
        return false;
    }
    if (!sender_->hasSession()) {
        // A stored account logs on with its address; any other text is handed over as typed,
        // which the runtime refuses as a log-on failure.
        QString profile = fields.account.trimmed();
        const MailAccount* account = nullptr;
        for (const MailAccount& a : accounts_) {
            if (a.name.compare(profile, Qt::CaseInsensitive) == 0) {
                profile = profileAddress(a);
                account = &a;
                break;
            }
        }
        // First the password given earlier in this run, then the one the secret service
        // keeps for the account, else none (the runtime then reads ~/.netrc); when that
        // log-on fails for an account with a user, ask once.
        QString password = account != nullptr ? sessionPasswords().value(account->name) : QString();
        if (password.isEmpty() && account != nullptr) {
            if (const SecretLookup stored = lookupMailPassword(account->server, account->user);
                stored.status == SecretStatus::Found) {
                password = stored.password;
            }
        }
        auto code = sender_->logon(profile, password);
        if (code == MAIL_LOGIN_FAILURE && account != nullptr && !account->user.isEmpty() &&
            passwords_) {
            password = passwords_(*account);
            if (!password.isEmpty()) {
                code = sender_->logon(profile, password);
                if (code == 0) {
                    sessionPasswords().insert(account->name, password);
                }
            }
        }
        if (code != 0) {
            report_(messageForCode(code), true);
            return false;
        }
    }
    const QString note = noteText(fields.body, fields.includeSignature, fields.signature);
    if (const auto code = sender_->send(fields.subject, note, recipients, attachments); code != 0) {
        report_(messageForCode(code), true);
        return false;
    }
    if (const auto code = sender_->logoff(); code != 0) {
        report_(messageForCode(code), false);
    }
    return true;
}

void MailComposer::close() {
    sender_.reset();
    sender_ = std::make_unique<MailSender>();
    store_.setString(kHistory, kMailAccount, account_);
    store_.setString(kHistory, kMailSubject, subject_);
    store_.setString(kHistory, kMailTargets, targets_);
}

} // namespace mireldo::mail
