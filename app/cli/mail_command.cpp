#include "mail_command.h"

#include "mail_accounts.h"
#include "mail_sender.h"
#include "profile_store.h"
#include "secret_passwords.h"
#include "string_table.h"

#include <QUrl>

#include <algorithm>
#include <optional>

namespace mireldo::cli {

namespace {

const char* const kUsage =
    "usage: mireldo-cli mail (--account NAME | --smtp URL) --to ADDR[;ADDR] [--from ADDR]\n"
    "                        [--subject S] [--body TEXT] FILE...\n";

struct MailOptions {
    QString account;
    QString smtp;
    QString to;
    QString from;
    QString subject;
    QString body;
    QStringList files;
};

int usage(Console console, const char* problem) {
    std::fprintf(console.err, "mireldo-cli mail: %s\n%s", problem, kUsage);
    return kExitUsage;
}

int fail(Console console, const QString& message) {
    std::fprintf(console.err, "%s\n", message.toLocal8Bit().constData());
    return kExitFailed;
}

/// The profile address of an address given with --smtp: its scheme, user, host and port,
/// with the sender added.
std::optional<QString> profileFromUrl(const QString& url, const QString& from) {
    if (!url.startsWith(QStringLiteral("smtp://")) && !url.startsWith(QStringLiteral("smtps://"))) {
        return std::nullopt;
    }
    QString sender = from;
    const qsizetype hostStart = url.indexOf(QStringLiteral("://")) + 3;
    const qsizetype at = url.lastIndexOf(QLatin1Char('@'));
    if (sender.isEmpty() && at > hostStart) {
        // A user that is an address is the sender, as with most providers.
        const QString user = QUrl::fromPercentEncoding(url.mid(hostStart, at - hostStart).toUtf8());
        if (user.contains(QLatin1Char('@'))) {
            sender = user;
        }
    }
    if (sender.isEmpty()) {
        return std::nullopt;
    }
    return url + (url.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?')) +
           QStringLiteral("from=") + QString::fromLatin1(QUrl::toPercentEncoding(sender));
}

/// The password the secret service keeps for `user` on `server`, else empty.
QString storedPassword(const QString& server, const QString& user) {
    const mail::SecretLookup stored = mail::lookupMailPassword(server, user);
    return stored.status == mail::SecretStatus::Found ? stored.password : QString();
}

} // namespace

int runMail(const QStringList& args, Console console) {
    MailOptions o;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        QString* target = nullptr;
        if (a == QStringLiteral("--account")) {
            target = &o.account;
        } else if (a == QStringLiteral("--smtp")) {
            target = &o.smtp;
        } else if (a == QStringLiteral("--to")) {
            target = &o.to;
        } else if (a == QStringLiteral("--from")) {
            target = &o.from;
        } else if (a == QStringLiteral("--subject")) {
            target = &o.subject;
        } else if (a == QStringLiteral("--body")) {
            target = &o.body;
        } else if (a.startsWith(QStringLiteral("--"))) {
            return usage(console, "unknown option");
        } else {
            o.files.append(a);
            continue;
        }
        if (i + 1 >= args.size()) {
            return usage(console, "an option lacks its value");
        }
        *target = args[++i];
    }
    if (o.account.isEmpty() == o.smtp.isEmpty()) {
        return usage(console, "give either --account or --smtp");
    }
    const QStringList recipients = mail::splitRecipients(o.to);
    if (recipients.isEmpty()) {
        std::fprintf(console.err, "%s\n", mail::noRecipientMessage().toLocal8Bit().constData());
        return usage(console, "--to names no recipient");
    }
    if (recipients.size() > mail::kMaxRecipients) {
        return fail(console, loadString(mail::kStrTooManyRecipients));
    }
    if (o.files.size() > mail::kMaxAttachments) {
        return fail(console, loadString(mail::kStrTooManyAttachments));
    }

    QString profile;
    QString password; // from the secret service; empty: the runtime reads ~/.netrc
    if (!o.account.isEmpty()) {
        const auto accounts = mail::readMailAccounts(platform::ProfileStore().filePath());
        const auto found = std::find_if(accounts.begin(), accounts.end(), [&](const auto& a) {
            return a.name.compare(o.account.trimmed(), Qt::CaseInsensitive) == 0;
        });
        if (found == accounts.end()) {
            return fail(console,
                        QStringLiteral("mireldo-cli mail: no mail account named ") + o.account);
        }
        mail::MailAccount account = *found;
        if (!o.from.isEmpty()) {
            account.from = o.from;
        }
        profile = mail::profileAddress(account);
        password = storedPassword(account.server, account.user);
    } else {
        const auto fromUrl = profileFromUrl(o.smtp, o.from);
        if (!fromUrl) {
            return usage(console, "--smtp takes smtp://[user@]host[:port] or smtps://...; "
                                  "give --from unless the user is an address");
        }
        profile = *fromUrl;
        const QUrl url(o.smtp);
        password = storedPassword(url.host(), url.userName());
    }

    mail::MailSender sender;
    if (!sender.load()) {
        return fail(console, mail::runtimeMissingMessage());
    }
    if (const auto code = sender.logon(profile, password); code != 0) {
        return fail(console, mail::messageForCode(code));
    }
    if (const auto code = sender.send(o.subject, o.body, recipients, o.files); code != 0) {
        return fail(console, mail::messageForCode(code));
    }
    if (const auto code = sender.logoff(); code != 0) {
        return fail(console, mail::messageForCode(code));
    }
    std::fprintf(console.out, "Sent to %lld recipient(s) with %lld attachment(s).\n",
                 static_cast<long long>(recipients.size()), static_cast<long long>(o.files.size()));
    return kExitOk;
}

} // namespace mireldo::cli
