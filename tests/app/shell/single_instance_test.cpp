// One window per playlist: SingleInstance over a real local socket in a private folder. The
// later program runs on a thread of its own (its waits block) while this thread serves.

#include "single_instance.h"

#include "test_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using mireldo::SingleInstance;
using Outcome = SingleInstance::Outcome;

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "test_shell_instance";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

class SingleInstanceTest : public ::testing::Test {
  protected:
    void SetUp() override { app(); }

    QString folder() const { return QString::fromStdString(dir_.path().string()); }

    // start() of a later program with `key` and `files` on another thread, while this thread
    // runs the event loop that serves it; waits up to 20 s.
    Outcome startLater(const QString& key, const QStringList& files, int timeoutMs = 5000) {
        std::atomic<int> outcome{-1};
        std::thread later([&] {
            SingleInstance second(key, folder());
            outcome = static_cast<int>(second.start(files, timeoutMs));
        });
        const QDeadlineTimer deadline(20000);
        while (outcome.load() < 0 && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        later.join();
        return static_cast<Outcome>(outcome.load());
    }

    testsupport::TempDir dir_;
    const QString key_ = QStringLiteral("/home/user/.local/share/Tarnwick/Mireldo/Mireldo.lst");
};

TEST_F(SingleInstanceTest, ALaterProgramHandsItsFilesToTheFirst) {
    SingleInstance first(key_, folder());
    ASSERT_EQ(first.start({}), Outcome::Primary);
    std::vector<QStringList> received;
    QObject::connect(&first, &SingleInstance::filesReceived,
                     [&](const QStringList& files) { received.push_back(files); });

    const QStringList files{QStringLiteral("/music/a.wav"), QStringLiteral("/music/b c.mp3")};
    EXPECT_EQ(startLater(key_, files), Outcome::HandedOver);
    // Without files the running window only comes to the front.
    EXPECT_EQ(startLater(key_, {}), Outcome::HandedOver);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0], files);
    EXPECT_TRUE(received[1].isEmpty());
}

TEST_F(SingleInstanceTest, AnotherPlaylistIsAnotherInstance) {
    SingleInstance first(key_, folder());
    ASSERT_EQ(first.start({}), Outcome::Primary);
    SingleInstance other(QStringLiteral("/tmp/other.lst"), folder());
    EXPECT_NE(other.socketPath(), first.socketPath());
    EXPECT_EQ(other.start({}), Outcome::Primary);
}

TEST_F(SingleInstanceTest, ASocketLeftByAKilledProgramIsTakenOver) {
    QString path;
    {
        SingleInstance probe(key_, folder());
        path = probe.socketPath();
    }
    // A file where the socket would be, as a program killed while it listened leaves one.
    QFile stale(path);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();

    SingleInstance first(key_, folder());
    EXPECT_EQ(first.start({}), Outcome::Primary);
    int received = 0;
    QObject::connect(&first, &SingleInstance::filesReceived,
                     [&](const QStringList&) { ++received; });
    EXPECT_EQ(startLater(key_, {QStringLiteral("/x.wav")}), Outcome::HandedOver);
    EXPECT_EQ(received, 1);
}

TEST_F(SingleInstanceTest, AProgramThatAnswersButDoesNotTakeTheFilesIsNotTrusted) {
    QString path;
    {
        SingleInstance probe(key_, folder());
        path = probe.socketPath();
    }
    // Something listens under the name but never replies.
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(path));
    EXPECT_EQ(startLater(key_, {QStringLiteral("/x.wav")}, 1000), Outcome::NotTaken);
}

TEST_F(SingleInstanceTest, ARequestOfAnotherKindIsRefused) {
    SingleInstance first(key_, folder());
    ASSERT_EQ(first.start({}), Outcome::Primary);
    int received = 0;
    QObject::connect(&first, &SingleInstance::filesReceived,
                     [&](const QStringList&) { ++received; });
    std::atomic<bool> done{false};
    std::atomic<bool> closedWithoutReply{false};
    std::thread client([&] {
        QLocalSocket socket;
        socket.connectToServer(first.socketPath());
        if (socket.waitForConnected(5000)) {
            socket.write(QByteArray("GET / HTTP/1.0\r\n\r\n"));
            socket.waitForBytesWritten(5000);
            // The server drops the connection instead of answering.
            const bool replied = socket.waitForReadyRead(5000) && socket.bytesAvailable() > 0;
            closedWithoutReply = !replied;
        }
        done = true;
    });
    const QDeadlineTimer deadline(20000);
    while (!done.load() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    client.join();
    EXPECT_TRUE(closedWithoutReply.load());
    EXPECT_EQ(received, 0);
}

} // namespace
