#pragma once

// What the "E-mail" dialog does, without widgets: the values it opens with (the three stored
// "History" values, the account list, the attachments of the selected items), the checks and
// the log-on, send and log-off of Send, and the values written back when it closes. The dialog
// shows the fields and forwards Send and closing; the messages go through `report`.
//
// Threads: the user-interface thread only. The composer owns its MailSender (the loaded
// runtime and at most one session); the caller keeps the profile store.

#include "mail_accounts.h"
#include "mail_sender.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace mireldo::platform {
class ProfileStore;
}

namespace mireldo::mail {

/// The dialog's fields as the user left them.
struct MailFields {
    QString account;
    QString recipients;
    QString subject;
    QString body;
    bool includeSignature = true;
    QString signature;
    QString attachments; ///< one path a line
};

/// The default signature: a line about the program and its web address.
QString defaultSignature();
/// The attachment text for `paths`: each path followed by CR LF.
QString attachmentText(const QStringList& paths);

class MailComposer {
  public:
    /// Shows a message; `errorIcon` false for the log-off message, which has no icon.
    using Report = std::function<void(const QString& text, bool errorIcon)>;
    /// Asks the user for an account's password when logging on without one failed; empty:
    /// the user gave none. A password that logs on is kept in memory for the rest of the run,
    /// never written anywhere.
    using PasswordSource = std::function<QString(const MailAccount& account)>;

    MailComposer(platform::ProfileStore& store, Report report,
                 std::unique_ptr<MailSender> sender = std::make_unique<MailSender>());

    /// Loads the stored values and the accounts, and the runtime; reports once when the
    /// runtime is missing. Returns the fields to show first.
    MailFields open(const QStringList& attachmentPaths);
    /// The accounts for the drop-down and the row to select (-1: show the account as text).
    const QList<MailAccount>& accounts() const { return accounts_; }
    int selectedAccount() const { return selectedAccount_; }
    /// Reads the accounts again (after they were edited); the selection follows `accountText`.
    void reloadAccounts(const QString& accountText);
    /// The settings file the accounts are kept in.
    QString settingsFile() const;
    /// False when the runtime could not be loaded: Send is disabled.
    bool canSend() const { return sender_->loaded(); }

    void setPasswordSource(PasswordSource source) { passwords_ = std::move(source); }

    /// Send: true when the message went out and the dialog closes; false keeps it open (the
    /// session stays open after a failed send).
    bool send(const MailFields& fields);
    /// Closing (after Send or Cancel): frees the runtime and writes the three stored values.
    void close();

  private:
    platform::ProfileStore& store_;
    Report report_;
    std::unique_ptr<MailSender> sender_;
    PasswordSource passwords_;
    QList<MailAccount> accounts_;
    int selectedAccount_ = -1;
    QString account_;
    QString subject_;
    QString targets_;
};

} // namespace mireldo::mail
