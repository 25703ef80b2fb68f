// Mail passwords in the secret service: the store itself, the E-mail dialog's log-on and
// mireldo-cli mail taking the stored password, and what happens without a session bus. Run
// through with_keyring.sh, which gives the program a private bus and an unlocked keyring.

#include "mail_composer.h"
#include "profile_store.h"
#include "secret_passwords.h"
#include "smtp_server.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace mireldo::mail;
using mireldo::platform::ProfileStore;
using namespace testsupport;

namespace {

bool haveKeyring() {
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS");
}

#define REQUIRE_KEYRING()                                                                          \
    if (!haveKeyring()) {                                                                          \
        GTEST_SKIP() << "no session bus: run through with_keyring.sh";                             \
    }

std::string readText(const std::string& path) {
    std::ifstream f(path);
    return {std::istreambuf_iterator<char>(f), {}};
}

TEST(SecretPasswords, WithoutASessionBusNothingIsAskedAndStoringFailsWithAReason) {
    const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    const SecretLookup found = lookupMailPassword(QStringLiteral("smtp.test"), QStringLiteral("u"));
    EXPECT_EQ(found.status, SecretStatus::Unavailable);
    EXPECT_TRUE(found.error.contains(QStringLiteral("session bus"))) << found.error.toStdString();
    QString error;
    EXPECT_FALSE(storeMailPassword(QStringLiteral("smtp.test"), QStringLiteral("u"),
                                   QStringLiteral("pw"), &error));
    EXPECT_FALSE(error.isEmpty());
    if (!bus.isEmpty()) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
    }
}

TEST(SecretPasswords, StoredReplacedAndClearedPerServerAndUser) {
    REQUIRE_KEYRING();
    const QString server = QStringLiteral("smtp.keyring.test");
    QString error;
    ASSERT_TRUE(storeMailPassword(server, QStringLiteral("ann"), QStringLiteral("first"), &error))
        << error.toStdString();
    ASSERT_TRUE(storeMailPassword(server, QStringLiteral("bob"), QStringLiteral("bob's"), &error));
    ASSERT_TRUE(
        storeMailPassword(server, QStringLiteral("ann"), QStringLiteral("sécond pw"), &error));

    SecretLookup ann = lookupMailPassword(server, QStringLiteral("ann"));
    EXPECT_EQ(ann.status, SecretStatus::Found) << ann.error.toStdString();
    EXPECT_EQ(ann.password, QStringLiteral("sécond pw"));
    EXPECT_EQ(lookupMailPassword(server, QStringLiteral("bob")).password, QStringLiteral("bob's"));
    EXPECT_EQ(lookupMailPassword(QStringLiteral("other.test"), QStringLiteral("ann")).status,
              SecretStatus::NotFound);
    // An account without a user has nothing stored and nothing to store.
    EXPECT_EQ(lookupMailPassword(server, QString()).status, SecretStatus::NotFound);
    EXPECT_FALSE(storeMailPassword(server, QString(), QStringLiteral("x"), &error));

    EXPECT_TRUE(clearMailPassword(server, QStringLiteral("ann"), &error));
    EXPECT_EQ(lookupMailPassword(server, QStringLiteral("ann")).status, SecretStatus::NotFound);
    EXPECT_EQ(lookupMailPassword(server, QStringLiteral("bob")).status, SecretStatus::Found);
}

class KeyringMail : public ::testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_KEYRING();
        ASSERT_NE(server_.port(), 0);
        std::filesystem::create_directories(std::filesystem::path(settings_).parent_path());
        std::ofstream f(settings_);
        f << "[MailAccounts]\nAccount1\\Name=Kept\nAccount1\\Server=127.0.0.1\n"
          << "Account1\\Port=" << server_.port()
          << "\nAccount1\\User=rec\nAccount1\\From=rec@studio.test\n";
        QString error;
        ASSERT_TRUE(storeMailPassword(QStringLiteral("127.0.0.1"), QStringLiteral("rec"),
                                      QStringLiteral("kept pw"), &error))
            << error.toStdString();
    }
    void TearDown() override {
        clearMailPassword(QStringLiteral("127.0.0.1"), QStringLiteral("rec"), nullptr);
    }

    static SmtpServer::Options withLogIn() {
        SmtpServer::Options o;
        o.user = "rec";
        o.password = "kept pw";
        return o;
    }

    TempDir dir_;
    std::string settings_ = dir_.file("config/Tarnwick/Mireldo.conf");
    SmtpServer server_{dir_, withLogIn()};
};

TEST_F(KeyringMail, TheDialogLogsOnWithTheStoredPasswordWithoutAsking) {
    // No ~/.netrc to fall back on.
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(dir_.path().string()));
    ProfileStore store{QString::fromStdString(settings_)};
    QStringList reports;
    MailComposer composer(
        store, [&](const QString& text, bool) { reports.append(text); },
        std::make_unique<MailSender>(MAILRUNTIME_PATH));
    int asked = 0;
    composer.setPasswordSource([&](const MailAccount&) {
        ++asked;
        return QString();
    });
    MailFields f = composer.open({});
    f.account = QStringLiteral("Kept");
    f.recipients = QStringLiteral("ann@example.test");
    EXPECT_TRUE(composer.send(f)) << reports.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(server_.messages().size(), 1u);
    EXPECT_EQ(readText(settings_).find("kept pw"), std::string::npos);
    qputenv("HOME", home);
}

TEST_F(KeyringMail, TheCommandLineTakesTheStoredPasswordForAnAccountAndForAnAddress) {
    const std::string wav = dir_.file("take.wav");
    writeFile(wav, patternBytes(2000, 7));
    const std::string env = "HOME=" + shellQuote(dir_.path().string()) +
                            " MIRELDO_CONFIG_DIR=" + shellQuote(dir_.file("config")) + " " +
                            shellQuote(binDir() + "/mireldo-cli") + " mail ";
    auto r = runCommand(env + "--account Kept --to ann@example.test " + shellQuote(wav) + " 2>&1");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    r = runCommand(env + "--smtp smtp://rec@127.0.0.1:" + std::to_string(server_.port()) +
                   " --from rec@studio.test --to bob@example.test " + shellQuote(wav) + " 2>&1");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(server_.messages().size(), 2u);

    // Without the stored password (and no ~/.netrc) the log-on fails as before.
    clearMailPassword(QStringLiteral("127.0.0.1"), QStringLiteral("rec"), nullptr);
    r = runCommand(env + "--account Kept --to ann@example.test " + shellQuote(wav) + " 2>&1");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("Error: Login failure!"), std::string::npos) << r.output;
}

} // namespace
