// mireldo-cli playlist: add, show and remove on a list file of the test's own.

#include "cli.h"
#include "playlist_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace playlisttest;

namespace {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

std::string readAll(std::FILE* f) {
    std::string text;
    std::rewind(f);
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        text.append(buffer, n);
    }
    return text;
}

CliRun cli(const QStringList& words) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    QStringList args{QStringLiteral("mireldo-cli"), QStringLiteral("playlist")};
    args += words;
    const int status = mireldo::cli::runCli(args, {out, err});
    CliRun run{status, readAll(out), readAll(err)};
    std::fclose(out);
    std::fclose(err);
    return run;
}

} // namespace

TEST(CliPlaylist, AddShowAndRemoveThroughTheListFile) {
    ensureApp();
    testsupport::TempDir dir;
    const QString list = qs(dir.file("my.lst"));
    const std::string a = dir.file("Alpha.WAV");
    const std::string b = dir.file("beta.wav");
    writeWav(a, 44100 * 2 + 4410 * 3);
    writeWav(b, 4410);

    CliRun run = cli({QStringLiteral("--list"), list, QStringLiteral("add"), qs(a), qs(b),
                      qs(dir.file("missing.mp3")), qs(dir.file("ALPHA.wav"))});
    ASSERT_EQ(run.status, 0) << run.err;

    run = cli({QStringLiteral("--list"), list, QStringLiteral("show")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "1. Alpha\n"
                       "    00:00:02.3   44100 Hz, stereo, 16 bits, 1411 kbps   wav\n"
                       "2. beta\n"
                       "    00:00:00.1   44100 Hz, stereo, 16 bits, 1411 kbps   wav\n"
                       "3. " +
                           dir.file("missing.mp3") +
                           "\n"
                           "    Loading failed: File not found.\n");

    run = cli({QStringLiteral("--list"), list, QStringLiteral("remove"), QStringLiteral("3"),
               QStringLiteral("1")});
    ASSERT_EQ(run.status, 0) << run.err;
    run = cli({QStringLiteral("--list"), list, QStringLiteral("show")});
    EXPECT_EQ(run.out, "1. beta\n"
                       "    00:00:00.1   44100 Hz, stereo, 16 bits, 1411 kbps   wav\n");
}

TEST(CliPlaylist, WrongUsageChangesNothing) {
    ensureApp();
    testsupport::TempDir dir;
    const QString list = qs(dir.file("my.lst"));
    EXPECT_EQ(
        cli({QStringLiteral("--list"), list, QStringLiteral("add"), qs(dir.file("x.wav"))}).status,
        0);
    const auto before = testsupport::readFile(list.toStdString());
    EXPECT_EQ(
        cli({QStringLiteral("--list"), list, QStringLiteral("remove"), QStringLiteral("2")}).status,
        2);
    EXPECT_EQ(
        cli({QStringLiteral("--list"), list, QStringLiteral("remove"), QStringLiteral("x")}).status,
        2);
    EXPECT_EQ(cli({QStringLiteral("--list")}).status, 2);
    EXPECT_EQ(cli({QStringLiteral("--list"), list, QStringLiteral("frobnicate")}).status, 2);
    EXPECT_EQ(
        cli({QStringLiteral("--list"), list, QStringLiteral("show"), QStringLiteral("1")}).status,
        2);
    EXPECT_EQ(testsupport::readFile(list.toStdString()), before);
    const CliRun folder =
        cli({QStringLiteral("--list"), list, QStringLiteral("add"), qs(dir.path().string())});
    EXPECT_EQ(folder.status, 1);
}
