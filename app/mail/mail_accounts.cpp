#include "mail_accounts.h"

#include <QSettings>
#include <QUrl>

namespace mireldo::mail {

namespace {

QString encoded(const QString& value) {
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

} // namespace

QList<MailAccount> readMailAccounts(const QString& settingsFile) {
    QSettings settings(settingsFile, QSettings::IniFormat);
    QList<MailAccount> accounts;
    settings.beginGroup(QStringLiteral("MailAccounts"));
    for (int n = 1; n <= kMaxMailAccounts; ++n) {
        const QString group = QStringLiteral("Account%1").arg(n);
        if (!settings.childGroups().contains(group)) {
            break;
        }
        settings.beginGroup(group);
        MailAccount a;
        a.name = settings.value(QStringLiteral("Name")).toString().trimmed();
        a.server = settings.value(QStringLiteral("Server")).toString().trimmed();
        a.port = settings.value(QStringLiteral("Port"), 0).toInt();
        a.security = settings.value(QStringLiteral("Security"), QStringLiteral("none"))
                         .toString()
                         .trimmed()
                         .toLower();
        a.user = settings.value(QStringLiteral("User")).toString();
        a.from = settings.value(QStringLiteral("From")).toString().trimmed();
        a.caFile = settings.value(QStringLiteral("CAFile")).toString();
        settings.endGroup();
        if (!a.name.isEmpty()) {
            accounts.append(a);
        }
    }
    return accounts;
}

bool writeMailAccounts(const QString& settingsFile, const QList<MailAccount>& accounts) {
    QSettings settings(settingsFile, QSettings::IniFormat);
    settings.remove(QStringLiteral("MailAccounts"));
    settings.beginGroup(QStringLiteral("MailAccounts"));
    for (qsizetype i = 0; i < accounts.size() && i < kMaxMailAccounts; ++i) {
        const MailAccount& a = accounts[i];
        settings.beginGroup(QStringLiteral("Account%1").arg(i + 1));
        settings.setValue(QStringLiteral("Name"), a.name);
        settings.setValue(QStringLiteral("Server"), a.server);
        settings.setValue(QStringLiteral("Port"), a.port);
        settings.setValue(QStringLiteral("Security"), a.security);
        settings.setValue(QStringLiteral("User"), a.user);
        settings.setValue(QStringLiteral("From"), a.from);
        settings.setValue(QStringLiteral("CAFile"), a.caFile);
        settings.endGroup();
    }
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString profileAddress(const MailAccount& a) {
    const bool tls = a.security == QStringLiteral("tls");
    const bool startTls = a.security == QStringLiteral("starttls");
    const int port = a.port > 0 && a.port < 65536 ? a.port : (tls ? 465 : startTls ? 587 : 25);
    QString address = tls ? QStringLiteral("smtps://") : QStringLiteral("smtp://");
    if (!a.user.isEmpty()) {
        address += encoded(a.user) + QLatin1Char('@');
    }
    // A numeric IPv6 address needs its brackets in a URL.
    const bool ipv6 = a.server.contains(QLatin1Char(':')) && !a.server.startsWith(QLatin1Char('['));
    address += (ipv6 ? QLatin1Char('[') + a.server + QLatin1Char(']') : a.server) +
               QLatin1Char(':') + QString::number(port);
    address += QStringLiteral("?from=") + encoded(a.from);
    if (startTls) {
        address += QStringLiteral("&starttls=1");
    }
    if (!a.caFile.isEmpty()) {
        address += QStringLiteral("&cafile=") + encoded(a.caFile);
    }
    return address;
}

} // namespace mireldo::mail
