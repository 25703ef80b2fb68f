// The "E-mail" dialog's behaviour without widgets, sending through the real runtime to an SMTP
// server on loopback: opening values, the checks, failures that keep the dialog open, the
// signature, and the stored values written on closing.

#include "mail_composer.h"
#include "profile_store.h"
#include "smtp_server.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace mireldo::mail;
using mireldo::platform::ProfileStore;
using namespace testsupport;

namespace {

class MailComposerTest : public ::testing::Test {
  protected:
    void writeSettings(int port, const std::string& history) {
        std::ofstream f(settings_);
        f << "[History]\n"
          << history << "\n[MailAccounts]\n"
          << "Account1\\Name=Home\nAccount1\\Server=127.0.0.1\nAccount1\\Port=" << port
          << "\nAccount1\\From=rec@home.test\n"
          << "Account2\\Name=Studio\nAccount2\\Server=127.0.0.1\nAccount2\\Port=" << port
          << "\nAccount2\\From=rec@studio.test\n";
    }
    std::unique_ptr<MailComposer> composer(const char* library = MAILRUNTIME_PATH) {
        return std::make_unique<MailComposer>(
            store_,
            [this](const QString& text, bool icon) {
                reports_.append({text, icon});
            },
            std::make_unique<MailSender>(library));
    }
    static std::string hexOf(const QString& text) {
        return QString::fromLatin1(text.toUtf8().toHex()).toStdString();
    }

    TempDir dir_;
    std::string settings_ = dir_.file("Mireldo.conf");
    ProfileStore store_{QString::fromStdString(settings_)};
    QList<std::pair<QString, bool>> reports_;
};

TEST_F(MailComposerTest, OpensWithTheStoredValuesAndTheRememberedAccount) {
    writeSettings(1, "MailAccount=studio\nMailSubject=Takes\nMailTargets=\"ann@example.test;\"");
    auto c = composer();
    const MailFields f = c->open({QStringLiteral("/a/one.wav"), QStringLiteral("/b/two.wav")});
    EXPECT_EQ(f.account, QStringLiteral("studio"));
    EXPECT_EQ(c->selectedAccount(), 1);
    EXPECT_EQ(f.subject, QStringLiteral("Takes"));
    EXPECT_EQ(f.recipients, QStringLiteral("ann@example.test;"));
    EXPECT_EQ(f.attachments, QStringLiteral("/a/one.wav\r\n/b/two.wav\r\n"));
    EXPECT_TRUE(f.includeSignature);
    EXPECT_TRUE(
        f.signature.startsWith(QStringLiteral("This email was sent via the audio recorder.\r\n")));
    EXPECT_TRUE(c->canSend());
    EXPECT_TRUE(reports_.isEmpty());

    writeSettings(1, "MailAccount=Gone");
    auto gone = composer();
    EXPECT_EQ(gone->open({}).account, QStringLiteral("Gone"));
    EXPECT_EQ(gone->selectedAccount(), -1);

    writeSettings(1, "");
    auto first = composer();
    EXPECT_EQ(first->open({}).account, QStringLiteral("Home"));
    EXPECT_EQ(first->selectedAccount(), 0);
}

TEST_F(MailComposerTest, SendsWithTheSignatureAndStoresTheValuesOnClosing) {
    SmtpServer server(dir_, {});
    ASSERT_NE(server.port(), 0);
    writeSettings(server.port(), "MailAccount=Home");
    const std::string take = dir_.file("take.wav");
    writeFile(take, patternBytes(5000));
    auto c = composer();
    MailFields f = c->open({QString::fromStdString(take)});
    f.account = QStringLiteral("Studio");
    f.recipients = QStringLiteral("ann@example.test; ;bob@example.test");
    f.subject = QStringLiteral("Takes");
    f.body = QStringLiteral("Here.");
    EXPECT_TRUE(c->send(f));
    EXPECT_TRUE(reports_.isEmpty());
    c->close();

    const auto got = server.messages();
    ASSERT_EQ(got.size(), 1u);
    const auto& s = got[0];
    EXPECT_EQ(s.find("FROM")->second, "rec@studio.test");
    EXPECT_EQ(s.count("RCPT"), 2u);
    EXPECT_EQ(
        s.find("BODY")->second,
        hexOf(QStringLiteral("Here.\r\n------------------------------------\r\n") + f.signature));
    EXPECT_EQ(s.count("ATTACH"), 1u);
    EXPECT_EQ(store_.getString(QStringLiteral("History"), QStringLiteral("MailAccount")),
              QStringLiteral("Studio"));
    EXPECT_EQ(store_.getString(QStringLiteral("History"), QStringLiteral("MailTargets")),
              QStringLiteral("ann@example.test; ;bob@example.test"));
    EXPECT_EQ(store_.getString(QStringLiteral("History"), QStringLiteral("MailSubject")),
              QStringLiteral("Takes"));

    // Without the signature the note is exactly the body.
    auto again = composer();
    MailFields plain = again->open({});
    plain.includeSignature = false;
    plain.body = QStringLiteral("Only this.");
    EXPECT_TRUE(again->send(plain));
    ASSERT_EQ(server.messages().size(), 2u);
    EXPECT_EQ(server.messages()[1].find("BODY")->second, hexOf(QStringLiteral("Only this.")));
}

TEST_F(MailComposerTest, ChecksAndFailuresKeepTheDialogOpenWithTheirMessages) {
    SmtpServer server(dir_, {});
    ASSERT_NE(server.port(), 0);
    writeSettings(server.port(), "");
    auto c = composer();
    MailFields f = c->open({});
    struct Case {
        QString recipients;
        QString attachments;
        QString message;
    };
    QString many;
    for (int i = 0; i < 51; ++i) {
        many += QStringLiteral("r%1@example.test;").arg(i);
    }
    QString manyFiles;
    for (int i = 0; i < 51; ++i) {
        manyFiles += QStringLiteral("/f%1.wav\r\n").arg(i);
    }
    for (const Case& k :
         {Case{QStringLiteral(" ; "), {}, QStringLiteral("Error: No recipient was designated!")},
          Case{many, {}, QStringLiteral("Error: Too many recipients!")},
          Case{QStringLiteral("ann@example.test"), manyFiles,
               QStringLiteral("Error: Too many attachment files!")},
          Case{QStringLiteral("reject@example.test"),
               {},
               QStringLiteral("Error: Unknown Recipient!")},
          Case{QStringLiteral("ann@example.test"), QString::fromStdString(dir_.file("missing.wav")),
               QStringLiteral("Error: Attachment file not found!")}}) {
        reports_.clear();
        f.recipients = k.recipients;
        f.attachments = k.attachments;
        EXPECT_FALSE(c->send(f));
        ASSERT_EQ(reports_.size(), 1);
        EXPECT_EQ(reports_[0].first, k.message);
        EXPECT_TRUE(reports_[0].second);
    }
    // The session opened by the failed sends serves the corrected one.
    f.recipients = QStringLiteral("ann@example.test");
    f.attachments.clear();
    reports_.clear();
    EXPECT_TRUE(c->send(f));
    EXPECT_TRUE(reports_.isEmpty());
    EXPECT_EQ(server.messages().size(), 1u);

    // An account that is not stored cannot log on.
    auto unknown = composer();
    MailFields u = unknown->open({});
    u.account = QStringLiteral("Nowhere");
    u.recipients = QStringLiteral("ann@example.test");
    reports_.clear();
    EXPECT_FALSE(unknown->send(u));
    ASSERT_EQ(reports_.size(), 1);
    EXPECT_EQ(reports_[0].first, QStringLiteral("Error: Login failure!"));
}

TEST_F(MailComposerTest, AMissingRuntimeDisablesSendAndCancelStoresTheOpeningValues) {
    writeSettings(1, "MailAccount=Studio\nMailSubject=Old\nMailTargets=ann@example.test");
    auto c = composer("libmailruntime-that-does-not-exist.so");
    c->open({});
    EXPECT_FALSE(c->canSend());
    ASSERT_EQ(reports_.size(), 1);
    EXPECT_EQ(reports_[0].first,
              QStringLiteral("Fail to load email module. Perhaps the MAPI is not installed."));
    store_.setString(QStringLiteral("History"), QStringLiteral("MailSubject"), QStringLiteral("x"));
    c->close();
    EXPECT_EQ(store_.getString(QStringLiteral("History"), QStringLiteral("MailSubject")),
              QStringLiteral("Old"));
    EXPECT_EQ(store_.getString(QStringLiteral("History"), QStringLiteral("MailAccount")),
              QStringLiteral("Studio"));
}

} // namespace

TEST_F(MailComposerTest, AsksForThePasswordWhenLoggingOnWithoutOneFailsAndKeepsIt) {
    SmtpServer server(dir_, {.user = "rec", .password = "typed pw"});
    ASSERT_NE(server.port(), 0);
    {
        std::ofstream f(settings_);
        f << "[MailAccounts]\nAccount1\\Name=Asked\nAccount1\\Server=127.0.0.1\n"
          << "Account1\\Port=" << server.port()
          << "\nAccount1\\User=rec\nAccount1\\From=rec@studio.test\n";
    }
    // No ~/.netrc to fall back on, whatever the runner's home holds.
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(dir_.path().string()));
    int asked = 0;
    QString answer = QStringLiteral("wrong");
    auto send = [&] {
        auto c = composer();
        c->setPasswordSource([&](const MailAccount& a) {
            ++asked;
            EXPECT_EQ(a.name, QStringLiteral("Asked"));
            return answer;
        });
        MailFields f = c->open({});
        f.recipients = QStringLiteral("ann@example.test");
        return c->send(f);
    };
    reports_.clear();
    EXPECT_FALSE(send());
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(reports_.size(), 1);
    EXPECT_EQ(reports_[0].first, QStringLiteral("Error: Login failure!"));

    answer = QStringLiteral("typed pw");
    EXPECT_TRUE(send());
    EXPECT_EQ(asked, 2);
    // Kept for the rest of the run: not asked again.
    EXPECT_TRUE(send());
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(server.messages().size(), 2u);
    std::ifstream settings(settings_);
    const std::string text((std::istreambuf_iterator<char>(settings)), {});
    EXPECT_EQ(text.find("typed pw"), std::string::npos);
    qputenv("HOME", home);
}
