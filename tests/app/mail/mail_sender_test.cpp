// The mail pieces without a server: how typed recipients and attachment lines split, the note
// text with and without the signature, the message for each code, the stored accounts and the
// profile address made from one, and a runtime that cannot be loaded.

#include "mail_accounts.h"
#include "mail_sender.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace mireldo::mail;

namespace {

TEST(MailSplitting, RecipientsAndAttachmentLinesDropEmptyPieces) {
    EXPECT_EQ(splitRecipients(QStringLiteral("ann@x.test; ;bob@x.test")),
              (QStringList{QStringLiteral("ann@x.test"), QStringLiteral("bob@x.test")}));
    EXPECT_EQ(splitRecipients(QStringLiteral("  ann@x.test ;")),
              QStringList{QStringLiteral("ann@x.test")});
    EXPECT_TRUE(splitRecipients(QStringLiteral(" ; ;")).isEmpty());
    EXPECT_TRUE(splitRecipients(QString()).isEmpty());

    EXPECT_EQ(splitAttachments(QStringLiteral("/a/one.wav\r\n\r\n  \r\n/b/two words.mp3\r\n")),
              (QStringList{QStringLiteral("/a/one.wav"), QStringLiteral("/b/two words.mp3")}));
    EXPECT_EQ(splitAttachments(QStringLiteral("/a/one.wav\n/b/two.wav")),
              (QStringList{QStringLiteral("/a/one.wav"), QStringLiteral("/b/two.wav")}));
}

TEST(MailText, NoteTextAndMessagesForCodes) {
    EXPECT_EQ(noteText(QStringLiteral("Body"), false, QStringLiteral("Sig")),
              QStringLiteral("Body"));
    EXPECT_EQ(noteText(QStringLiteral("Body"), true, QStringLiteral("Sig")),
              QStringLiteral("Body\r\n------------------------------------\r\nSig"));

    EXPECT_EQ(messageForCode(14), QStringLiteral("Error: Unknown Recipient!"));
    EXPECT_EQ(messageForCode(3), QStringLiteral("Error: Login failure!"));
    EXPECT_EQ(messageForCode(11), QStringLiteral("Error: Attachment file not found!"));
    EXPECT_EQ(messageForCode(18), QStringLiteral("Error: Message text is too large!"));
    EXPECT_EQ(messageForCode(9), QStringLiteral("Error: Too many attachment files!"));
    for (std::uint32_t unknown : {4u, 6u, 13u, 27u, 1000u}) {
        EXPECT_EQ(messageForCode(unknown), QStringLiteral("Error: Unknown Error!")) << unknown;
    }
}

TEST(MailAccounts, ReadInOrderUntilTheFirstMissingGroupAndMadeIntoProfileAddresses) {
    testsupport::TempDir dir;
    const std::string path = dir.file("Mireldo.conf");
    {
        std::ofstream f(path);
        f << "[MailAccounts]\n"
             "Account1\\Name=  Home  \nAccount1\\Server=mail.home.test\n"
             "Account1\\From=me@home.test\n"
             "Account2\\Name=\nAccount2\\Server=skipped.test\n"
             "Account3\\Name=Work\nAccount3\\Server=smtp.work.test\nAccount3\\Port=2525\n"
             "Account3\\Security=STARTTLS\nAccount3\\User=me@work.test\n"
             "Account3\\From=me@work.test\nAccount3\\CAFile=/etc/ca dir/work.pem\n"
             "Account5\\Name=Beyond the gap\n";
    }
    const auto accounts = readMailAccounts(QString::fromStdString(path));
    ASSERT_EQ(accounts.size(), 2);
    EXPECT_EQ(accounts[0].name, QStringLiteral("Home"));
    EXPECT_EQ(accounts[1].name, QStringLiteral("Work"));
    EXPECT_EQ(profileAddress(accounts[0]),
              QStringLiteral("smtp://mail.home.test:25?from=me%40home.test"));
    EXPECT_EQ(profileAddress(accounts[1]),
              QStringLiteral("smtp://me%40work.test@smtp.work.test:2525?from=me%40work.test"
                             "&starttls=1&cafile=%2Fetc%2Fca%20dir%2Fwork.pem"));
    MailAccount tls;
    tls.server = QStringLiteral("mail.test");
    tls.security = QStringLiteral("tls");
    tls.from = QStringLiteral("a@mail.test");
    EXPECT_EQ(profileAddress(tls), QStringLiteral("smtps://mail.test:465?from=a%40mail.test"));
}

TEST(MailAccounts, WrittenAccountsReadBackInOrderAndOtherSectionsStay) {
    testsupport::TempDir dir;
    const QString path = QString::fromStdString(dir.file("Mireldo.conf"));
    {
        std::ofstream f(path.toStdString());
        f << "[History]\nMailAccount=Old\n[MailAccounts]\nAccount1\\Name=Old\n"
             "Account2\\Name=Gone\nAccount3\\Name=Also gone\n";
    }
    MailAccount home;
    home.name = QStringLiteral("Home; with \"quotes\"");
    home.server = QStringLiteral("mail.home.test");
    home.from = QStringLiteral("me@home.test");
    MailAccount work;
    work.name = QStringLiteral("Work");
    work.server = QStringLiteral("smtp.work.test");
    work.port = 2525;
    work.security = QStringLiteral("tls");
    work.user = QStringLiteral("me@work.test");
    work.caFile = QStringLiteral("/ca.pem");
    ASSERT_TRUE(writeMailAccounts(path, {home, work}));
    const auto back = readMailAccounts(path);
    ASSERT_EQ(back.size(), 2);
    EXPECT_EQ(back[0].name, home.name);
    EXPECT_EQ(back[0].security, QStringLiteral("none"));
    EXPECT_EQ(back[1].port, 2525);
    EXPECT_EQ(back[1].security, QStringLiteral("tls"));
    EXPECT_EQ(back[1].user, work.user);
    EXPECT_EQ(back[1].caFile, work.caFile);
    std::ifstream in(path.toStdString());
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("MailAccount=Old"), std::string::npos);
    EXPECT_EQ(text.find("Also gone"), std::string::npos);
    EXPECT_EQ(text.find("assword"), std::string::npos);
}

TEST(MailSender, AMissingRuntimeIsNotLoadedAndRefusesToSend) {
    MailSender sender("libmailruntime-that-does-not-exist.so");
    EXPECT_FALSE(sender.load());
    EXPECT_FALSE(sender.loaded());
    EXPECT_NE(sender.logon(QStringLiteral("smtp://127.0.0.1:1?from=a%40b.test"), QString()), 0u);
    EXPECT_FALSE(sender.hasSession());
}

} // namespace
