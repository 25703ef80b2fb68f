#pragma once

// The user's mail accounts, kept in the settings file: section "MailAccounts", one group per
// account ("Account1", "Account2", ...) with the keys Name, Server, Port, Security (none,
// starttls, tls), User, From and CAFile. Passwords are never kept there.
//
// Threads: any thread; each call reads the file anew.

#include <QList>
#include <QString>

namespace mireldo::mail {

/// One account as stored.
struct MailAccount {
    QString name;
    QString server;
    int port = 0;                              ///< 0: the usual port of the security
    QString security = QStringLiteral("none"); ///< none, starttls or tls
    QString user;
    QString from;
    QString caFile;
};

/// Most accounts read from the file.
inline constexpr int kMaxMailAccounts = 100;

/// The accounts of the INI file `settingsFile` in order: groups Account1, Account2, ... until
/// the first missing one; an account without a name (after trimming) is skipped.
QList<MailAccount> readMailAccounts(const QString& settingsFile);

/// Replaces the accounts of the INI file `settingsFile` with `accounts` (Account1 ... in order);
/// other sections are kept. False when the file could not be written.
bool writeMailAccounts(const QString& settingsFile, const QList<MailAccount>& accounts);

/// The profile address the mail runtime logs on with:
/// smtp[s]://[user@]host:port?from=ADDR[&starttls=1][&cafile=PATH], values percent-encoded.
QString profileAddress(const MailAccount& account);

} // namespace mireldo::mail
