// The "E-mail" dialog on the offscreen platform: what it opens with, Send through the real
// runtime to an SMTP server on loopback (closing on success, staying open with its contents on
// failure), Send disabled without the runtime, and a screenshot in <build>/screenshots.

#include "mail_accounts_dialog.h"
#include "mail_dialog.h"
#include "profile_store.h"
#include "smtp_server.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>

#include <fstream>

using namespace mireldo::mail;
using mireldo::platform::ProfileStore;
using namespace testsupport;

extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

void ensureApp() {
    if (QCoreApplication::instance() == nullptr) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_mail_widgets";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
}

class MailDialogTest : public ::testing::Test {
  protected:
    void SetUp() override { ensureApp(); }
    void writeSettings(int port) {
        std::ofstream f(settings_);
        f << "[History]\nMailAccount=Studio\nMailSubject=Takes\n"
          << "[MailAccounts]\nAccount1\\Name=Home\nAccount1\\Server=127.0.0.1\n"
          << "Account1\\Port=1\nAccount1\\From=rec@home.test\n"
          << "Account2\\Name=Studio\nAccount2\\Server=127.0.0.1\nAccount2\\Port=" << port
          << "\nAccount2\\From=rec@studio.test\n";
    }
    std::unique_ptr<CMailDialog> dialog(const QStringList& paths,
                                        const char* library = MAILRUNTIME_PATH) {
        auto composer = std::make_unique<MailComposer>(
            store_, [this](const QString& text, bool) { reports_.append(text); },
            std::make_unique<MailSender>(library));
        return std::make_unique<CMailDialog>(std::move(composer), paths);
    }
    template <typename T>
    static T* ctl(CMailDialog& d, MailCtl id) {
        return static_cast<T*>(d.control(id));
    }

    TempDir dir_;
    std::string settings_ = dir_.file("Mireldo.conf");
    ProfileStore store_{QString::fromStdString(settings_)};
    QStringList reports_;
};

TEST_F(MailDialogTest, SendsAndClosesOrStaysOpenWithItsContents) {
    SmtpServer server(dir_, {});
    ASSERT_NE(server.port(), 0);
    writeSettings(server.port());
    const std::string take = dir_.file("take.wav");
    writeFile(take, patternBytes(2000));
    auto d = dialog({QString::fromStdString(take)});
    d->show();
    EXPECT_EQ(ctl<QComboBox>(*d, MailCtl::Account)->currentText(), QStringLiteral("Studio"));
    EXPECT_EQ(ctl<QComboBox>(*d, MailCtl::Account)->count(), 2);
    EXPECT_EQ(ctl<QLineEdit>(*d, MailCtl::Subject)->text(), QStringLiteral("Takes"));
    EXPECT_TRUE(ctl<QCheckBox>(*d, MailCtl::IncludeSignature)->isChecked());
    EXPECT_EQ(d->fields().attachments, QString::fromStdString(take) + QStringLiteral("\r\n"));
    EXPECT_TRUE(ctl<QPushButton>(*d, MailCtl::Send)->isEnabled());

    ctl<QLineEdit>(*d, MailCtl::Recipients)->setText(QStringLiteral("reject@example.test"));
    ctl<QPlainTextEdit>(*d, MailCtl::Body)->setPlainText(QStringLiteral("Line one\nLine two"));
    ctl<QPushButton>(*d, MailCtl::Send)->click();
    EXPECT_EQ(reports_, QStringList{QStringLiteral("Error: Unknown Recipient!")});
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(ctl<QLineEdit>(*d, MailCtl::Recipients)->text(),
              QStringLiteral("reject@example.test"));

    ctl<QLineEdit>(*d, MailCtl::Recipients)->setText(QStringLiteral("ann@example.test"));
    ctl<QPushButton>(*d, MailCtl::Send)->click();
    EXPECT_EQ(reports_.size(), 1);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->result(), QDialog::Accepted);
    const auto got = server.messages();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].count("ATTACH"), 1u);
    EXPECT_EQ(store_.getString(QStringLiteral("History"), QStringLiteral("MailTargets")),
              QStringLiteral("ann@example.test"));
}

TEST_F(MailDialogTest, WithoutTheRuntimeSendIsDisabledAndAScreenshotIsTaken) {
    writeSettings(1);
    auto d = dialog({QStringLiteral("/home/user/Recordings/take 1.mp3"),
                     QStringLiteral("/home/user/Recordings/take 2.mp3")},
                    "libmailruntime-that-does-not-exist.so");
    EXPECT_FALSE(ctl<QPushButton>(*d, MailCtl::Send)->isEnabled());
    EXPECT_EQ(reports_, QStringList{QStringLiteral(
                            "Fail to load email module. Perhaps the MAPI is not installed.")});
    d->show();
    QDir().mkpath(QStringLiteral(MIRELDO_SCREENSHOT_DIR));
    d->adjustSize();
    const QPixmap shot = d->grab();
    EXPECT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QStringLiteral(MIRELDO_SCREENSHOT_DIR "/mail_dialog.png")));
    d->reject();
    EXPECT_EQ(store_.getString(QStringLiteral("History"), QStringLiteral("MailAccount")),
              QStringLiteral("Studio"));
}

TEST_F(MailDialogTest, MailAccountsAddsEditsAndRemovesAndOnlyOkWrites) {
    writeSettings(25);
    const QString file = QString::fromStdString(settings_);
    {
        CMailAccountsDialog d(file);
        ASSERT_EQ(d.list()->count(), 2);
        EXPECT_EQ(d.nameEdit()->text(), QStringLiteral("Home"));
        d.addButton()->click();
        EXPECT_EQ(d.list()->count(), 3);
        d.nameEdit()->setText(QStringLiteral("Office"));
        Q_EMIT d.nameEdit()->textEdited(d.nameEdit()->text());
        d.serverEdit()->setText(QStringLiteral("smtp.office.test"));
        Q_EMIT d.serverEdit()->textEdited(d.serverEdit()->text());
        d.portBox()->setValue(587);
        d.securityBox()->setCurrentIndex(1);
        d.fromEdit()->setText(QStringLiteral("me@office.test"));
        Q_EMIT d.fromEdit()->textEdited(d.fromEdit()->text());
        d.list()->setCurrentRow(0);
        d.removeButton()->click();
        EXPECT_EQ(d.list()->count(), 2);
        d.show();
        QDir().mkpath(QStringLiteral(MIRELDO_SCREENSHOT_DIR));
        EXPECT_TRUE(
            d.grab().save(QStringLiteral(MIRELDO_SCREENSHOT_DIR "/mail_accounts_dialog.png")));
        d.reject();
    }
    EXPECT_EQ(readMailAccounts(file).size(), 2) << "Cancel writes nothing";

    CMailAccountsDialog d(file);
    d.addButton()->click();
    d.nameEdit()->setText(QStringLiteral("Office"));
    Q_EMIT d.nameEdit()->textEdited(d.nameEdit()->text());
    d.serverEdit()->setText(QStringLiteral("smtp.office.test"));
    Q_EMIT d.serverEdit()->textEdited(d.serverEdit()->text());
    d.portBox()->setValue(587);
    d.securityBox()->setCurrentIndex(1);
    d.list()->setCurrentRow(0);
    d.removeButton()->click();
    d.accept();
    const auto saved = readMailAccounts(file);
    ASSERT_EQ(saved.size(), 2);
    EXPECT_EQ(saved[0].name, QStringLiteral("Studio"));
    EXPECT_EQ(saved[1].name, QStringLiteral("Office"));
    EXPECT_EQ(saved[1].server, QStringLiteral("smtp.office.test"));
    EXPECT_EQ(saved[1].port, 587);
    EXPECT_EQ(saved[1].security, QStringLiteral("starttls"));
    EXPECT_EQ(store_.getString(QStringLiteral("History"), QStringLiteral("MailSubject")),
              QStringLiteral("Takes"));
}

} // namespace
