#pragma once

// Mail passwords in the desktop's secret service (the keyring the session's D-Bus offers), so
// they are never written into the settings file. An entry is found by the account's server and
// user name, so renaming an account keeps its password.
//
// Threads: any one thread at a time; each call is a blocking D-Bus round trip (short, but not
// for a device thread).

#include <QString>

namespace mireldo::mail {

/// What a look-up found.
enum class SecretStatus {
    Found,       ///< `password` holds the stored password
    NotFound,    ///< the service answered and holds no entry for the account
    Unavailable, ///< no session bus or no secret service; `error` says why
};

struct SecretLookup {
    SecretStatus status = SecretStatus::Unavailable;
    QString password;
    QString error;
};

/// The stored password of `user` on `server`. An empty user or server finds nothing.
/// Without a session bus the service is not asked (no bus is started for it).
SecretLookup lookupMailPassword(const QString& server, const QString& user);

/// Stores `password` for `user` on `server`, replacing an earlier one. False with `error` set
/// when the service is unavailable or refused.
bool storeMailPassword(const QString& server, const QString& user, const QString& password,
                       QString* error);

/// Removes the stored password of `user` on `server`; true when there is none afterwards.
bool clearMailPassword(const QString& server, const QString& user, QString* error);

} // namespace mireldo::mail
