// The list file is never lost: a file under its name that is not a list we can read is kept as
// a backup before anything is written, `show` never writes, the list lives in the user's data
// folder (an old one beside the executable moves there once), and while a writer (the window)
// holds the list, mireldo-cli refuses to change it.

#include "cli.h"
#include "file_system.h"
#include "list_file.h"
#include "native_path.h"
#include "playlist_model.h"
#include "playlist_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace mireldo::playlist;
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

std::vector<std::uint8_t> mp3Bytes() {
    // What an MP3 given by mistake starts with: an ID3 tag, then frame data.
    std::vector<std::uint8_t> bytes{'I', 'D', '3', 4, 0, 0, 0, 0, 0, 10};
    const auto rest = testsupport::patternBytes(5000, 7);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return bytes;
}

std::unique_ptr<PlaylistModel> makeModel() {
    auto model = std::make_unique<PlaylistModel>(kPlaylistCapacity, ModelPictures::plain());
    model->setOpener([](SondrelStream**, const QString&) { return SONDREL_ERR_NOT_FOUND; });
    return model;
}

class ListFileSafety : public ::testing::Test {
  protected:
    void SetUp() override { ensureApp(); }
    QString list() const { return qs(dir.file("Mireldo.lst")); }
    testsupport::TempDir dir;
};

} // namespace

TEST_F(ListFileSafety, ShowOnlyReadsWhateverItIsGiven) {
    const auto mp3 = mp3Bytes();
    testsupport::writeFile(list().toStdString(), mp3);
    const CliRun run = cli({QStringLiteral("--list"), list(), QStringLiteral("show")});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("not a list file"), std::string::npos) << run.err;
    EXPECT_EQ(testsupport::readFile(list().toStdString()), mp3) << "the file is untouched";
    EXPECT_FALSE(std::filesystem::exists(list().toStdString() + ".bak"));

    const QString missing = qs(dir.file("none.lst"));
    const CliRun empty = cli({QStringLiteral("--list"), missing, QStringLiteral("show")});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, "The list is empty.\n");
    EXPECT_FALSE(std::filesystem::exists(missing.toStdString())) << "show creates nothing";
}

TEST_F(ListFileSafety, FilesThatAreNotReadableListsAreKeptBeforeANewListIsWritten) {
    auto version4 = listHeader(kListFileMagic, 4, 1, 264);
    appendRecord(version4, "/a.wav", 264);
    auto truncated = listHeader(kListFileMagic, 3, 2, 264);
    appendRecord(truncated, "/a.wav", 264);
    const std::vector<std::vector<std::uint8_t>> files{mp3Bytes(), version4, truncated};
    const std::string name = list().toStdString();
    const std::vector<std::string> backups{name + ".bak", name + ".bak.1", name + ".bak.2"};
    for (std::size_t i = 0; i < files.size(); ++i) {
        testsupport::writeFile(name, files[i]);
        auto model = makeModel();
        model->initialise(list());
        EXPECT_EQ(model->listStatus(), ListStatus::Writable);
        EXPECT_NE(model->listNotice().indexOf(qs(backups[i])), -1) << "told once, with the name";
        EXPECT_EQ(testsupport::readFile(backups[i]), files[i]) << "kept whole";
        EXPECT_EQ(testsupport::readFile(name).size(), 12u) << "a new, empty list";
    }
    // The next start finds a readable list: nothing more to tell or keep.
    auto model = makeModel();
    model->initialise(list());
    EXPECT_TRUE(model->listNotice().isEmpty());
    EXPECT_FALSE(std::filesystem::exists(name + ".bak.3"));

    // mireldo-cli add does the same, and says so on its error output.
    testsupport::writeFile(name, files[0]);
    model.reset();
    writeWav(dir.file("a.wav"));
    const CliRun run =
        cli({QStringLiteral("--list"), list(), QStringLiteral("add"), qs(dir.file("a.wav"))});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find(name + ".bak.3"), std::string::npos) << run.err;
    EXPECT_EQ(testsupport::readFile(name + ".bak.3"), files[0]);
}

TEST_F(ListFileSafety, AListThatCannotBeReadIsNeverWritten) {
    // A folder under the list's name: it cannot be read, and nothing may be written over it.
    std::filesystem::create_directory(list().toStdString());
    std::filesystem::create_directory(list().toStdString() + "/keep");
    auto model = makeModel();
    model->initialise(list());
    EXPECT_EQ(model->listStatus(), ListStatus::Kept);
    EXPECT_FALSE(model->listNotice().isEmpty());
    EXPECT_EQ(model->addFile(QStringLiteral("/rec/a.wav")), 0);
    EXPECT_FALSE(model->save());
    model.reset();
    EXPECT_TRUE(std::filesystem::is_directory(list().toStdString() + "/keep"));
    const CliRun run = cli(
        {QStringLiteral("--list"), list(), QStringLiteral("add"), QStringLiteral("/rec/b.wav")});
    EXPECT_EQ(run.status, 1);
}

TEST_F(ListFileSafety, WhileTheWindowHoldsTheListTheCommandLineRefusesToChangeIt) {
    writeWav(dir.file("a.wav"));
    writeWav(dir.file("b.wav"));
    auto window = makeModel();
    window->initialise(list());
    ASSERT_EQ(window->listStatus(), ListStatus::Writable);
    window->addFile(qs(dir.file("a.wav")));
    const auto before = testsupport::readFile(list().toStdString());

    const CliRun add =
        cli({QStringLiteral("--list"), list(), QStringLiteral("add"), qs(dir.file("b.wav"))});
    EXPECT_EQ(add.status, 1);
    EXPECT_NE(add.err.find("window owns the list"), std::string::npos) << add.err;
    EXPECT_EQ(testsupport::readFile(list().toStdString()), before);
    // Saving replaces the file; the lock goes with it.
    window->addFile(qs(dir.file("b.wav")));
    EXPECT_EQ(cli({QStringLiteral("--list"), list(), QStringLiteral("remove"), QStringLiteral("1")})
                  .status,
              1);
    EXPECT_EQ(window->count(), 2);
    // Reading is never refused.
    EXPECT_EQ(cli({QStringLiteral("--list"), list(), QStringLiteral("show")}).status, 0);

    // As a separate program too (flock locks are per open file, so this holds across
    // processes as within one).
    const auto other = testsupport::runCommand(
        testsupport::shellQuote(testsupport::binDir() + "/mireldo-cli") + " playlist --list " +
        testsupport::shellQuote(list().toStdString()) + " remove 1 2>&1");
    EXPECT_EQ(other.exitCode, 1);
    EXPECT_NE(other.output.find("window owns the list"), std::string::npos) << other.output;

    window.reset(); // the window closes
    const CliRun after =
        cli({QStringLiteral("--list"), list(), QStringLiteral("remove"), QStringLiteral("1")});
    EXPECT_EQ(after.status, 0) << after.err;
    std::vector<ListEntry> back;
    readListFile(list(), [&](ListEntry e) { back.push_back(e); });
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].path, qs(dir.file("b.wav")));
}

TEST_F(ListFileSafety, ASecondWindowSeesTheListButSavesNothing) {
    auto first = makeModel();
    first->initialise(list());
    first->addFile(QStringLiteral("/rec/a.wav"));
    auto second = makeModel();
    second->initialise(list(), ListAccess::Write, 0);
    EXPECT_EQ(second->listStatus(), ListStatus::Busy);
    EXPECT_FALSE(second->listNotice().isEmpty());
    EXPECT_EQ(second->count(), 1);
    second->addFile(QStringLiteral("/rec/b.wav"));
    second.reset();
    std::vector<ListEntry> back;
    readListFile(list(), [&](ListEntry e) { back.push_back(e); });
    EXPECT_EQ(back.size(), 1u);
}

TEST_F(ListFileSafety, TheListLivesInTheDataFolderAndAnOldOneMovesThereOnce) {
    const std::string data = dir.file("data");
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string previous = saved != nullptr ? saved : "";
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    const std::string expected = data + "/Tarnwick/Mireldo/Mireldo.lst";

    // Reading prepares nothing.
    EXPECT_EQ(defaultListFilePath(false).toStdString(), expected);
    EXPECT_FALSE(std::filesystem::exists(data));

    // An old list beside the executable (this test's own folder) moves to the new place.
    const std::string old = mireldo::platform::executableFolder().toStdString() + "/Mireldo.lst";
    ASSERT_FALSE(std::filesystem::exists(old)) << "no list may be left beside the executable";
    auto bytes = listHeader(kListFileMagic, 3, 1, 264);
    appendRecord(bytes, "/old/a.wav", 264);
    testsupport::writeFile(old, bytes);
    EXPECT_EQ(defaultListFilePath(false).toStdString(), old) << "a reader still finds it";
    EXPECT_EQ(defaultListFilePath().toStdString(), expected);
    EXPECT_FALSE(std::filesystem::exists(old));
    EXPECT_EQ(testsupport::readFile(expected), bytes);
    EXPECT_EQ(std::filesystem::status(data + "/Tarnwick").permissions() &
                  std::filesystem::perms::all,
              std::filesystem::perms::owner_all);

    // Once there, a list is never replaced by another old one.
    auto other = listHeader(kListFileMagic, 3, 0, 264);
    testsupport::writeFile(old, other);
    EXPECT_EQ(defaultListFilePath().toStdString(), expected);
    EXPECT_EQ(testsupport::readFile(expected), bytes);
    EXPECT_EQ(testsupport::readFile(old), other);
    std::filesystem::remove(old);

    // Without XDG_DATA_HOME: ~/.local/share.
    ::unsetenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    ::setenv("HOME", data.c_str(), 1);
    EXPECT_EQ(defaultListFilePath(false).toStdString(),
              data + "/.local/share/Tarnwick/Mireldo/Mireldo.lst");
    if (home != nullptr) {
        ::setenv("HOME", home, 1);
    }
    ::setenv("XDG_DATA_HOME", previous.c_str(), 1);
}

TEST_F(ListFileSafety, TestsNeverReachTheRealUsersDataFolder) {
    const char* data = std::getenv("XDG_DATA_HOME");
    ASSERT_NE(data, nullptr);
    EXPECT_NE(std::string(data).find("mireldo-test-data-"), std::string::npos);
    EXPECT_EQ(userDataHome().toStdString(), data);
}
