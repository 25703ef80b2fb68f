#include "fd_io.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <numeric>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace mireldo::common;

namespace {

std::vector<std::uint8_t> pattern(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    return bytes;
}

struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(::pipe(fds), 0); }
    ~Pipe() {
        for (int fd : fds) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    int reader() const { return fds[0]; }
    int writer() const { return fds[1]; }
};

std::atomic<int> signalsSeen{0};
void countSignal(int) {
    signalsSeen.fetch_add(1);
}

// Installs a SIGUSR1 handler without SA_RESTART, so a blocked read or write returns EINTR (or
// a short count) when the signal arrives.
struct InterruptingSignal {
    struct sigaction old {};
    InterruptingSignal() {
        struct sigaction sa {};
        sa.sa_handler = countSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;
        ::sigaction(SIGUSR1, &sa, &old);
    }
    ~InterruptingSignal() { ::sigaction(SIGUSR1, &old, nullptr); }
};

struct TempFile {
    std::string path;
    int fd = -1;
    TempFile() {
        std::string tmpl = ::testing::TempDir() + "fd_io_XXXXXX";
        fd = ::mkstemp(tmpl.data());
        path = tmpl;
    }
    ~TempFile() {
        ::close(fd);
        ::unlink(path.c_str());
    }
};

} // namespace

TEST(FdIo, WriteAllGoesOnAfterShortWritesAndInterruptions) {
    InterruptingSignal handler;
    Pipe pipe;
    const auto data = pattern(1 << 20); // far more than the pipe holds
    std::vector<std::uint8_t> received;
    const pthread_t writerThread = ::pthread_self();
    std::thread reader([&] {
        // Interrupt the writer while it is blocked on the full pipe, then drain in small reads.
        for (int i = 0; i < 5; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ::pthread_kill(writerThread, SIGUSR1);
        }
        std::vector<std::uint8_t> chunk(1000);
        ssize_t n = 0;
        while ((n = ::read(pipe.reader(), chunk.data(), chunk.size())) != 0) {
            if (n > 0) {
                received.insert(received.end(), chunk.begin(), chunk.begin() + n);
                if (received.size() % 100000 < 1000) {
                    ::pthread_kill(writerThread, SIGUSR1);
                }
            }
        }
    });
    std::size_t done = 0;
    EXPECT_TRUE(writeAll(pipe.writer(), data.data(), data.size(), &done));
    EXPECT_EQ(done, data.size());
    ::close(pipe.fds[1]);
    pipe.fds[1] = -1;
    reader.join();
    EXPECT_EQ(received, data);
    EXPECT_GT(signalsSeen.load(), 0);
}

TEST(FdIo, ReadAllCollectsPiecesAndStopsOnlyAtTheEnd) {
    InterruptingSignal handler;
    Pipe pipe;
    const auto data = pattern(30000);
    const pthread_t readerThread = ::pthread_self();
    std::thread writer([&] {
        for (std::size_t at = 0; at < data.size(); at += 10000) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ::pthread_kill(readerThread, SIGUSR1);
            ASSERT_EQ(::write(pipe.writer(), data.data() + at, 10000), 10000);
        }
        ::close(pipe.fds[1]);
        pipe.fds[1] = -1;
    });
    std::vector<std::uint8_t> got(40000);
    const ssize_t n = readAll(pipe.reader(), got.data(), got.size());
    writer.join();
    ASSERT_EQ(n, 30000);
    got.resize(30000);
    EXPECT_EQ(got, data);
}

TEST(FdIo, ReadFailureBeforeAnyByteIsMinusOne) {
    std::uint8_t byte = 0;
    EXPECT_EQ(readAll(-1, &byte, 1), -1);
    EXPECT_EQ(preadAll(-1, &byte, 1, 0), -1);
    EXPECT_FALSE(preadExact(-1, &byte, 1, 0));
}

TEST(FdIo, PositionalReadsAndWritesLeaveTheFilePositionAlone) {
    TempFile file;
    const auto data = pattern(5000);
    ASSERT_TRUE(pwriteAll(file.fd, data.data(), data.size(), 100));
    EXPECT_EQ(::lseek(file.fd, 0, SEEK_CUR), 0);
    std::vector<std::uint8_t> back(5000);
    EXPECT_TRUE(preadExact(file.fd, back.data(), back.size(), 100));
    EXPECT_EQ(back, data);
    // Past the end: a short count, and not an exact read.
    EXPECT_EQ(preadAll(file.fd, back.data(), back.size(), 4100), 1000);
    EXPECT_FALSE(preadExact(file.fd, back.data(), back.size(), 4100));
    EXPECT_EQ(preadAll(file.fd, back.data(), back.size(), 9000), 0);
    EXPECT_EQ(::lseek(file.fd, 0, SEEK_CUR), 0);
}

TEST(FdIo, AFullDiskIsEnospcWithNothingWritten) {
    const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    const auto data = pattern(100);
    std::size_t done = 99;
    errno = 0;
    EXPECT_FALSE(writeAll(fd, data.data(), data.size(), &done));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(done, 0u);
    done = 99;
    EXPECT_FALSE(pwriteAll(fd, data.data(), data.size(), 0, &done));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(done, 0u);
    ::close(fd);
}

TEST(FdIo, AWriteCutShortReportsWhatWasWritten) {
    // A file-size limit cuts the first write short and fails the next; done tells how much of
    // the buffer reached the file. Run in a child so the limit stays there.
    TempFile file;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const auto data = pattern(10000);
        std::size_t done = 0;
        errno = 0;
        const bool ok = writeAll(file.fd, data.data(), data.size(), &done);
        const bool pok = pwriteAll(file.fd, data.data(), 100, 5000);
        std::_Exit(!ok && done == 4096 && errno == EFBIG && !pok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::vector<std::uint8_t> back(4096);
    EXPECT_TRUE(preadExact(file.fd, back.data(), back.size(), 0));
    const auto data = pattern(4096);
    EXPECT_EQ(back, data);
    EXPECT_EQ(preadAll(file.fd, back.data(), 1, 4096), 0);
}
