#include "file_copy.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace mireldo::common;

namespace {

// More than two copy pieces and not a whole number of buffers, so the write-behind runs and
// the last piece is short.
constexpr std::size_t kBigBytes = 2 * kCopyPieceBytes + 3 * kCopyBufferBytes + 4321;

std::vector<std::uint8_t> pattern(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    std::uint32_t x = 0x12345678;
    for (auto& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return bytes;
}

// A file in the test's temporary folder, removed at the end.
struct TempPath {
    std::string path;
    explicit TempPath(const char* name)
        : path(::testing::TempDir() + "file_copy_" + std::to_string(::getpid()) + "_" + name) {
        ::unlink(path.c_str());
    }
    ~TempPath() { ::unlink(path.c_str()); }
};

void writeWhole(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(writeAll(fd, bytes.data(), bytes.size()));
    ::close(fd);
}

std::vector<std::uint8_t> readWhole(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return bytes;
    }
    std::uint8_t block[65536];
    ssize_t n = 0;
    while ((n = readAll(fd, block, sizeof block)) > 0) {
        bytes.insert(bytes.end(), block, block + n);
    }
    ::close(fd);
    return bytes;
}

int openIn(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}
int openOut(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
}

} // namespace

// Every method, started on its own, copies the whole file byte for byte; the methods the
// kernel declines for these files hand over to the next one.
TEST(FileCopy, EveryMethodCopiesAWholeFileExactly) {
    TempPath source("source");
    const auto bytes = pattern(kBigBytes);
    writeWhole(source.path, bytes);
    for (const CopyMethod first :
         {CopyMethod::Reflink, CopyMethod::CopyRange, CopyMethod::ReadWrite}) {
        SCOPED_TRACE(static_cast<int>(first));
        TempPath target("target");
        const int in = openIn(source.path);
        const int out = openOut(target.path);
        ASSERT_GE(in, 0);
        ASSERT_GE(out, 0);
        const CopyOutcome outcome = copyData(in, out, kCopyToEnd, first);
        EXPECT_TRUE(outcome.ok);
        EXPECT_EQ(outcome.bytes, bytes.size());
        // A method is never better than the first one allowed.
        EXPECT_GE(static_cast<int>(outcome.method), static_cast<int>(first));
        // Two regular files in one folder: copy_file_range always works there (kernel 5.3 on).
        if (first != CopyMethod::ReadWrite) {
            EXPECT_NE(outcome.method, CopyMethod::ReadWrite);
        } else {
            EXPECT_EQ(outcome.method, CopyMethod::ReadWrite);
        }
        // Both positions end after the copy: a following write appends.
        EXPECT_EQ(::lseek(out, 0, SEEK_CUR), static_cast<off_t>(bytes.size()));
        EXPECT_TRUE(writeAll(out, "end", 3));
        ::close(in);
        ::close(out);
        auto expected = bytes;
        expected.insert(expected.end(), {'e', 'n', 'd'});
        EXPECT_EQ(readWhole(target.path), expected);
    }
}

// The save of a WAV with a new header: the source from an offset, a limited count, into a
// destination that already holds the header. No reflink is possible there.
TEST(FileCopy, APartFromAnOffsetGoesAfterWhatTheDestinationHolds) {
    TempPath source("source");
    const auto bytes = pattern(3 * kCopyBufferBytes + 100);
    writeWhole(source.path, bytes);
    const std::size_t offset = 44;
    const std::size_t count = 2 * kCopyBufferBytes + 17;
    for (const CopyMethod first :
         {CopyMethod::Reflink, CopyMethod::CopyRange, CopyMethod::ReadWrite}) {
        SCOPED_TRACE(static_cast<int>(first));
        TempPath target("target");
        const int in = openIn(source.path);
        const int out = openOut(target.path);
        ASSERT_GE(in, 0);
        ASSERT_GE(out, 0);
        ASSERT_TRUE(writeAll(out, "HEADER", 6));
        ASSERT_EQ(::lseek(in, static_cast<off_t>(offset), SEEK_SET), static_cast<off_t>(offset));
        const CopyOutcome outcome = copyData(in, out, count, first);
        EXPECT_TRUE(outcome.ok);
        EXPECT_EQ(outcome.bytes, count);
        EXPECT_NE(outcome.method, CopyMethod::Reflink);
        ::close(in);
        ::close(out);
        std::vector<std::uint8_t> expected{'H', 'E', 'A', 'D', 'E', 'R'};
        expected.insert(expected.end(), bytes.begin() + offset, bytes.begin() + offset + count);
        EXPECT_EQ(readWhole(target.path), expected);
    }
}

// A limit beyond the end copies what there is; an empty source copies nothing and succeeds.
TEST(FileCopy, TheEndOfTheSourceEndsTheCopy) {
    TempPath source("source");
    const auto bytes = pattern(5000);
    writeWhole(source.path, bytes);
    TempPath empty("empty");
    writeWhole(empty.path, {});
    for (const CopyMethod first : {CopyMethod::CopyRange, CopyMethod::ReadWrite}) {
        SCOPED_TRACE(static_cast<int>(first));
        TempPath target("target");
        TempPath nothing("nothing");
        int in = openIn(source.path);
        int out = openOut(target.path);
        CopyOutcome outcome = copyData(in, out, 1 << 20, first);
        ::close(in);
        ::close(out);
        EXPECT_TRUE(outcome.ok);
        EXPECT_EQ(outcome.bytes, bytes.size());
        EXPECT_EQ(readWhole(target.path), bytes);

        in = openIn(empty.path);
        out = openOut(nothing.path);
        outcome = copyData(in, out, kCopyToEnd, first);
        ::close(in);
        ::close(out);
        EXPECT_TRUE(outcome.ok);
        EXPECT_EQ(outcome.bytes, 0u);
        EXPECT_TRUE(readWhole(nothing.path).empty());
    }
}

// A pipe can be neither cloned nor copied by copy_file_range: the copy falls through both to
// the read/write loop and still gets every byte.
TEST(FileCopy, ASourceTheKernelCannotCopyFallsBackToReadAndWrite) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const auto bytes = pattern(3 * kCopyBufferBytes / 2);
    std::thread writer([&] {
        writeAll(fds[1], bytes.data(), bytes.size());
        ::close(fds[1]);
    });
    TempPath target("target");
    const int out = openOut(target.path);
    ASSERT_GE(out, 0);
    const CopyOutcome outcome = copyData(fds[0], out, kCopyToEnd, CopyMethod::Reflink);
    writer.join();
    ::close(fds[0]);
    ::close(out);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.method, CopyMethod::ReadWrite);
    EXPECT_EQ(outcome.bytes, bytes.size());
    EXPECT_EQ(readWhole(target.path), bytes);
}

// Copies `source` into `target` with `first` in a child process under a file size limit of
// `cap` bytes (so the limit stays there; SIGXFSZ ignored, the write fails instead); `check`
// judges the outcome with the child's errno. True when the child's check held.
template <typename Check>
bool copyUnderSizeLimit(const std::string& source, const std::string& target, rlim_t cap,
                        CopyMethod first, Check check) {
    const pid_t child = ::fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{cap, cap};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const int in = openIn(source);
        const int out = openOut(target);
        errno = 0;
        const CopyOutcome outcome = copyData(in, out, kCopyToEnd, first);
        std::_Exit(check(outcome, errno) ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The file size limit (a full disk behaves alike) fails the copy with EFBIG, whichever method
// runs; it never counts as success.
TEST(FileCopy, AFileSizeLimitFailsTheCopyWithEveryMethod) {
    TempPath source("source");
    writeWhole(source.path, pattern(kBigBytes));
    const rlim_t cap = kCopyPieceBytes + 12345;
    for (const CopyMethod first :
         {CopyMethod::Reflink, CopyMethod::CopyRange, CopyMethod::ReadWrite}) {
        SCOPED_TRACE(static_cast<int>(first));
        TempPath target("target");
        EXPECT_TRUE(copyUnderSizeLimit(
            source.path, target.path, cap, first, [cap](const CopyOutcome& outcome, int error) {
                return !outcome.ok && error == EFBIG && outcome.bytes <= cap && outcome.bytes > 0;
            }));
    }
}

// A file as large as a limit far below one copy piece: the piece asked of the kernel must not
// reach past the source, or the limit refuses a copy that fits.
TEST(FileCopy, AFileAsLargeAsTheSizeLimitIsCopiedWithEveryMethod) {
    TempPath source("source");
    const auto bytes = pattern(204800);
    writeWhole(source.path, bytes);
    for (const CopyMethod first :
         {CopyMethod::Reflink, CopyMethod::CopyRange, CopyMethod::ReadWrite}) {
        SCOPED_TRACE(static_cast<int>(first));
        TempPath target("target");
        EXPECT_TRUE(copyUnderSizeLimit(
            source.path, target.path, 204800, first,
            [](const CopyOutcome& outcome, int) { return outcome.ok && outcome.bytes == 204800; }));
        EXPECT_EQ(readWhole(target.path), bytes);
    }
}

// The test hook sets where copies that name no method start.
TEST(FileCopy, TheTestHookChoosesTheFirstMethod) {
    TempPath source("source");
    writeWhole(source.path, pattern(1000));
    TempPath target("target");
    copyStartForTests() = CopyMethod::ReadWrite;
    const int in = openIn(source.path);
    const int out = openOut(target.path);
    const CopyOutcome outcome = copyData(in, out);
    copyStartForTests() = CopyMethod::Reflink;
    ::close(in);
    ::close(out);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.method, CopyMethod::ReadWrite);
}
