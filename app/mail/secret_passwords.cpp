#include "secret_passwords.h"

#include <libsecret/secret.h>

#include <memory>

namespace mireldo::mail {

namespace {

const SecretSchema* mailSchema() {
    static const SecretSchema schema = {"org.tarnwick.Mireldo.MailAccount",
                                        SECRET_SCHEMA_NONE,
                                        {
                                            {"server", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        },
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return &schema;
}

struct ErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct PasswordFree {
    void operator()(gchar* p) const { secret_password_free(p); }
};
using PasswordPtr = std::unique_ptr<gchar, PasswordFree>;

/// Why the service cannot be asked, or empty when it can. Without a session bus GLib would try
/// to start one through X11; the program does not want a bus of its own.
QString unavailableReason() {
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return QStringLiteral("no session bus (DBUS_SESSION_BUS_ADDRESS is not set)");
    }
    return {};
}

QString errorText(const GError* e) {
    return e != nullptr ? QString::fromUtf8(e->message) : QStringLiteral("unknown error");
}

} // namespace

SecretLookup lookupMailPassword(const QString& server, const QString& user) {
    SecretLookup result;
    if (server.isEmpty() || user.isEmpty()) {
        result.status = SecretStatus::NotFound;
        return result;
    }
    if (result.error = unavailableReason(); !result.error.isEmpty()) {
        return result;
    }
    const QByteArray s = server.toUtf8();
    const QByteArray u = user.toUtf8();
    GError* raw = nullptr;
    PasswordPtr password(secret_password_lookup_sync(
        mailSchema(), nullptr, &raw, "server", s.constData(), "user", u.constData(), nullptr));
    ErrorPtr error(raw);
    if (error) {
        result.error = errorText(error.get());
        return result;
    }
    if (!password) {
        result.status = SecretStatus::NotFound;
        return result;
    }
    result.status = SecretStatus::Found;
    result.password = QString::fromUtf8(password.get());
    return result;
}

bool storeMailPassword(const QString& server, const QString& user, const QString& password,
                       QString* error) {
    QString reason = unavailableReason();
    if (reason.isEmpty() && (server.isEmpty() || user.isEmpty())) {
        reason = QStringLiteral("the account names no server or no user");
    }
    if (!reason.isEmpty()) {
        if (error != nullptr) {
            *error = reason;
        }
        return false;
    }
    const QByteArray s = server.toUtf8();
    const QByteArray u = user.toUtf8();
    const QByteArray p = password.toUtf8();
    const QByteArray label = QStringLiteral("Mireldo mail: %1 on %2").arg(user, server).toUtf8();
    GError* raw = nullptr;
    const gboolean ok = secret_password_store_sync(
        mailSchema(), SECRET_COLLECTION_DEFAULT, label.constData(), p.constData(), nullptr, &raw,
        "server", s.constData(), "user", u.constData(), nullptr);
    ErrorPtr failure(raw);
    if (!ok || failure) {
        if (error != nullptr) {
            *error = errorText(failure.get());
        }
        return false;
    }
    return true;
}

bool clearMailPassword(const QString& server, const QString& user, QString* error) {
    if (server.isEmpty() || user.isEmpty()) {
        return true;
    }
    if (const QString reason = unavailableReason(); !reason.isEmpty()) {
        if (error != nullptr) {
            *error = reason;
        }
        return false;
    }
    const QByteArray s = server.toUtf8();
    const QByteArray u = user.toUtf8();
    GError* raw = nullptr;
    secret_password_clear_sync(mailSchema(), nullptr, &raw, "server", s.constData(), "user",
                               u.constData(), nullptr);
    ErrorPtr failure(raw);
    if (failure) {
        if (error != nullptr) {
            *error = errorText(failure.get());
        }
        return false;
    }
    return true;
}

} // namespace mireldo::mail
