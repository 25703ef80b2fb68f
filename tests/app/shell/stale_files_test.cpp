#include "stale_files.h"

#include "test_support.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using mireldo::StaleFileOptions;
using mireldo::StaleFileReport;
using testsupport::TempDir;

constexpr std::int64_t kRunningPid = 4242;

// A temporary WAV as a crashed capture leaves it: the header still says "empty".
std::vector<uint8_t> crashedWav(uint16_t channels, uint16_t bits, size_t payloadBytes) {
    std::vector<uint8_t> bytes = testsupport::wavHeader(1, channels, 44100, bits, 0);
    bytes[4] = 36; // RIFF size of an empty file
    bytes[5] = bytes[6] = bytes[7] = 0;
    const std::vector<uint8_t> pcm = testsupport::patternBytes(payloadBytes, 7);
    bytes.insert(bytes.end(), pcm.begin(), pcm.end());
    return bytes;
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

void setModified(const std::string& path, time_t when) {
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

time_t modified(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mtime;
}

// 2024-03-05 06:07:08 local time.
time_t knownTime() {
    struct tm t {};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = 5;
    t.tm_hour = 6;
    t.tm_min = 7;
    t.tm_sec = 8;
    t.tm_isdst = -1;
    return ::mktime(&t);
}

class StaleFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(temp());
        fs::create_directories(home());
        options_.temporaryFolder = QString::fromStdString(temp());
        options_.recordFolder = QString::fromStdString(dir_.file("records"));
        options_.homeFolder = QString::fromStdString(home());
        options_.isRunningProcess = [](std::int64_t pid) { return pid == kRunningPid; };
    }
    std::string temp() const { return dir_.file("tmp"); }
    std::string home() const { return dir_.file("home"); }
    std::string tempFile(const std::string& name) const { return temp() + "/" + name; }
    StaleFileReport run() { return mireldo::removeStaleTemporaryFiles(options_); }

    TempDir dir_;
    StaleFileOptions options_;
};

TEST_F(StaleFiles, LostRecordIsRepairedAndMovedToTheRecordFolder) {
    // 16-bit stereo, 4000 bytes of frames and 3 bytes of a frame cut short by the crash.
    const std::vector<uint8_t> original = crashedWav(2, 16, 4003);
    const std::string wav = tempFile("mireldo_temp_1234.wav");
    testsupport::writeFile(wav, original);
    testsupport::writeFile(tempFile("mireldo_temp_1234.mp3"), testsupport::patternBytes(500));
    setModified(wav, knownTime());

    const StaleFileReport report = run();

    const std::string expected = dir_.file("records") + "/2024-03-05 06h07m08s (recovered).wav";
    ASSERT_EQ(report.recovered, QStringList{QString::fromStdString(expected)});
    EXPECT_TRUE(report.notRecovered.isEmpty());
    EXPECT_FALSE(fs::exists(wav));
    EXPECT_FALSE(fs::exists(tempFile("mireldo_temp_1234.mp3")));
    EXPECT_EQ(report.deleted.size(), 1);

    const std::vector<uint8_t> saved = testsupport::readFile(expected);
    ASSERT_EQ(saved.size(), 44u + 4000u);
    EXPECT_EQ(le32(saved, 4), saved.size() - 8);
    EXPECT_EQ(le32(saved, 40), 4000u);
    EXPECT_TRUE(std::equal(saved.begin() + 8, saved.begin() + 40, original.begin() + 8));
    EXPECT_TRUE(std::equal(saved.begin() + 44, saved.end(), original.begin() + 44));
    EXPECT_EQ(modified(expected), knownTime());
}

TEST_F(StaleFiles, CopyAcrossFileSystemsKeepsTheRecordWhole) {
    options_.forceCopy = true;
    const std::vector<uint8_t> original = crashedWav(1, 8, 70001);
    const std::string wav = tempFile("mireldo_temp_77.wav");
    testsupport::writeFile(wav, original);
    setModified(wav, knownTime());

    const StaleFileReport report = run();

    ASSERT_EQ(report.recovered.size(), 1);
    EXPECT_FALSE(fs::exists(wav));
    const std::vector<uint8_t> saved = testsupport::readFile(report.recovered[0].toStdString());
    ASSERT_EQ(saved.size(), original.size()); // 8-bit mono: every byte is a whole frame
    EXPECT_EQ(le32(saved, 40), 70001u);
    EXPECT_TRUE(std::equal(saved.begin() + 44, saved.end(), original.begin() + 44));
    EXPECT_EQ(modified(report.recovered[0].toStdString()), knownTime());
    // Nothing half-copied is left beside the record.
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_.file("records"))) {
        ++files;
    }
    EXPECT_EQ(files, 1u);
}

TEST_F(StaleFiles, EmptyRecordsAndCompanionsOfDeadProcessesAreDeleted) {
    testsupport::writeFile(tempFile("mireldo_temp_10.wav"),
                           testsupport::wavHeader(1, 1, 8000, 16, 0));
    testsupport::writeFile(tempFile("mireldo_temp_11.wav"), {}); // crashed before its header
    testsupport::writeFile(tempFile("mireldo_temp_12.wav"), crashedWav(2, 16, 3)); // no whole frame
    testsupport::writeFile(tempFile("mireldo_temp_13.mp3"), testsupport::patternBytes(1000));
    testsupport::writeFile(tempFile("other.wav"), testsupport::wavHeader(1, 1, 8000, 16, 0));

    const StaleFileReport report = run();

    EXPECT_EQ(report.deleted.size(), 4);
    EXPECT_TRUE(report.recovered.isEmpty());
    EXPECT_FALSE(fs::exists(tempFile("mireldo_temp_10.wav")));
    EXPECT_FALSE(fs::exists(tempFile("mireldo_temp_11.wav")));
    EXPECT_FALSE(fs::exists(tempFile("mireldo_temp_12.wav")));
    EXPECT_FALSE(fs::exists(tempFile("mireldo_temp_13.mp3")));
    EXPECT_TRUE(fs::exists(tempFile("other.wav")));
    EXPECT_FALSE(fs::exists(dir_.file("records")));
}

TEST_F(StaleFiles, FilesOfARunningProcessAreLeftAlone) {
    const std::string wav = tempFile("mireldo_temp_4242.wav");
    const std::string mp3 = tempFile("mireldo_temp_4242.mp3");
    const std::vector<uint8_t> recording = crashedWav(1, 16, 2000);
    testsupport::writeFile(wav, recording);
    testsupport::writeFile(mp3, testsupport::patternBytes(300));

    const StaleFileReport report = run();

    EXPECT_EQ(report.kept.size(), 2);
    EXPECT_TRUE(report.deleted.isEmpty());
    EXPECT_TRUE(report.recovered.isEmpty());
    EXPECT_EQ(testsupport::readFile(wav), recording); // not even the header was touched
    EXPECT_EQ(testsupport::readFile(mp3).size(), 300u);
}

TEST_F(StaleFiles, WavsThatAreNotOursAreNeverDeleted) {
    std::vector<uint8_t> foreign = crashedWav(1, 16, 2000);
    foreign[20] = 3; // float samples: the recorder never writes these
    testsupport::writeFile(tempFile("mireldo_temp_5.wav"), foreign);
    std::vector<uint8_t> garbage = testsupport::patternBytes(5000);
    testsupport::writeFile(tempFile("mireldo_temp_6.wav"), garbage);

    const StaleFileReport report = run();

    EXPECT_EQ(report.kept.size(), 2);
    EXPECT_EQ(testsupport::readFile(tempFile("mireldo_temp_5.wav")), foreign);
    EXPECT_EQ(testsupport::readFile(tempFile("mireldo_temp_6.wav")), garbage);
}

TEST_F(StaleFiles, TakenNamesAreNeverOverwritten) {
    fs::create_directories(dir_.file("records"));
    const std::string taken = dir_.file("records") + "/2024-03-05 06h07m08s (recovered).wav";
    testsupport::writeFile(taken, {1, 2, 3});
    for (const char* name : {"mireldo_temp_1.wav", "mireldo_temp_2.wav"}) {
        testsupport::writeFile(tempFile(name), crashedWav(1, 16, 100));
        setModified(tempFile(name), knownTime());
    }

    const StaleFileReport report = run();

    ASSERT_EQ(report.recovered.size(), 2);
    EXPECT_TRUE(report.recovered.contains(
        QString::fromStdString(dir_.file("records") + "/2024-03-05 06h07m08s (recovered 2).wav")));
    EXPECT_TRUE(report.recovered.contains(
        QString::fromStdString(dir_.file("records") + "/2024-03-05 06h07m08s (recovered 3).wav")));
    EXPECT_EQ(testsupport::readFile(taken), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(StaleFiles, WithoutARecordFolderRecordsGoHome) {
    options_.recordFolder.clear();
    testsupport::writeFile(tempFile("mireldo_temp_3.wav"), crashedWav(1, 16, 100));
    const StaleFileReport report = run();
    ASSERT_EQ(report.recovered.size(), 1);
    EXPECT_EQ(QFileInfo(report.recovered[0]).absolutePath(), QString::fromStdString(home()));
}

TEST_F(StaleFiles, UnusableRecordFolderFallsBackToHomeAndNothingIsLostWhenBothFail) {
    testsupport::writeFile(dir_.file("records"), {}); // a file where the folder should be
    testsupport::writeFile(tempFile("mireldo_temp_3.wav"), crashedWav(1, 16, 100));
    StaleFileReport report = run();
    ASSERT_EQ(report.recovered.size(), 1);
    EXPECT_EQ(QFileInfo(report.recovered[0]).absolutePath(), QString::fromStdString(home()));

    const std::vector<uint8_t> recording = crashedWav(1, 16, 100);
    testsupport::writeFile(tempFile("mireldo_temp_4.wav"), recording);
    options_.homeFolder = QString::fromStdString(dir_.file("records") + "/below-a-file");
    report = run();
    EXPECT_TRUE(report.recovered.isEmpty());
    ASSERT_EQ(report.notRecovered.size(), 1);
    const std::vector<uint8_t> left = testsupport::readFile(tempFile("mireldo_temp_4.wav"));
    ASSERT_EQ(left.size(), recording.size());
    EXPECT_TRUE(std::equal(left.begin() + 44, left.end(), recording.begin() + 44));
}

TEST_F(StaleFiles, FolderWithTrailingSeparatorFindsTheFiles) {
    options_.temporaryFolder += u'/';
    testsupport::writeFile(tempFile("mireldo_temp_8.wav"),
                           testsupport::wavHeader(1, 1, 8000, 16, 0));
    testsupport::writeFile(tempFile("mireldo_temp_8.mp3"), {});
    const StaleFileReport report = run();
    ASSERT_EQ(report.deleted.size(), 2);
    for (const QString& path : report.deleted) {
        EXPECT_FALSE(path.contains(QStringLiteral("//"))) << path.toStdString();
    }
    EXPECT_FALSE(fs::exists(tempFile("mireldo_temp_8.wav")));
}

TEST_F(StaleFiles, LinksPlantedUnderATemporaryNameAreNotFollowed) {
    const std::string target = dir_.file("precious.wav");
    const std::vector<uint8_t> precious = crashedWav(1, 16, 1000);
    testsupport::writeFile(target, precious);
    fs::create_symlink(target, tempFile("mireldo_temp_9.wav"));
    const StaleFileReport report = run();
    EXPECT_TRUE(report.recovered.isEmpty());
    EXPECT_EQ(testsupport::readFile(target), precious);
}

TEST(TemporaryNames, NumbersAndJoining) {
    EXPECT_EQ(mireldo::temporaryFileNumber(u"mireldo_temp_123.wav", u".wav"), 123);
    EXPECT_FALSE(mireldo::temporaryFileNumber(u"mireldo_temp_.wav", u".wav"));
    EXPECT_FALSE(mireldo::temporaryFileNumber(u"mireldo_temp_12a.wav", u".wav"));
    EXPECT_FALSE(mireldo::temporaryFileNumber(u"mireldo_temp_12.mp3", u".wav"));
    // One name per record: the process id, then the record's index.
    EXPECT_EQ(mireldo::temporaryFileNumber(u"mireldo_temp_123_4.wav", u".wav"), 123);
    EXPECT_EQ(mireldo::temporaryFileNumber(u"mireldo_temp_123_45.mp3", u".mp3"), 123);
    EXPECT_FALSE(mireldo::temporaryFileNumber(u"mireldo_temp_123_.wav", u".wav"));
    EXPECT_FALSE(mireldo::temporaryFileNumber(u"mireldo_temp__4.wav", u".wav"));
    EXPECT_FALSE(mireldo::temporaryFileNumber(u"mireldo_temp_1_2_3.wav", u".wav"));
    EXPECT_EQ(mireldo::joinFolder(QStringLiteral("/tmp/x/"), QStringLiteral("a")),
              QStringLiteral("/tmp/x/a"));
    EXPECT_EQ(mireldo::joinFolder(QStringLiteral("/tmp/x"), QStringLiteral("a")),
              QStringLiteral("/tmp/x/a"));
}

TEST(RunningProcess, OnlyLiveProcessesOfThisProgramCount) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::pause();
        ::_exit(0);
    }
    // The child runs this very executable.
    EXPECT_TRUE(mireldo::isRunningMireldoProcess(child));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_FALSE(mireldo::isRunningMireldoProcess(child));
    // A child that has ended but was not waited for (a zombie) is not running either.
    const pid_t zombie = ::fork();
    ASSERT_GE(zombie, 0);
    if (zombie == 0) {
        ::_exit(0);
    }
    for (int i = 0; i < 500; ++i) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(zombie), &info, WEXITED | WNOWAIT) == 0) {
            break;
        }
    }
    EXPECT_FALSE(mireldo::isRunningMireldoProcess(zombie));
    ::waitpid(zombie, &status, 0);
    // The calling process owns no temporary files at start-up.
    EXPECT_FALSE(mireldo::isRunningMireldoProcess(::getpid()));
    EXPECT_FALSE(mireldo::isRunningMireldoProcess(0));
    EXPECT_FALSE(mireldo::isRunningMireldoProcess(-5));
    EXPECT_FALSE(mireldo::isRunningMireldoProcess(INT64_MAX));
}

// Holds the recorders' advisory lock on a file, as a process recording into it does.
class HeldLock {
  public:
    explicit HeldLock(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CLOEXEC)) {
        EXPECT_GE(fd_, 0);
        EXPECT_EQ(::flock(fd_, LOCK_EX | LOCK_NB), 0);
    }
    ~HeldLock() { release(); }
    void release() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

  private:
    int fd_;
};

TEST_F(StaleFiles, ALockedRecordIsInUseWhateverItsProcessIdSays) {
    // The process test would call these dead: only the lock tells that a recorder (the
    // window, or mireldo-cli, which the process test once missed) is writing.
    options_.isRunningProcess = [](std::int64_t) { return false; };
    const std::vector<uint8_t> live = crashedWav(2, 16, 40000);
    const std::string wav = tempFile("mireldo_temp_999_3.wav");
    const std::string mp3 = tempFile("mireldo_temp_999_3.mp3");
    const std::string fresh = tempFile("mireldo_temp_999_4.wav"); // just made, still empty
    testsupport::writeFile(wav, live);
    testsupport::writeFile(mp3, testsupport::patternBytes(300));
    testsupport::writeFile(fresh, {});
    HeldLock recording(wav);
    HeldLock starting(fresh);

    StaleFileReport report = run();
    EXPECT_TRUE(report.recovered.isEmpty());
    EXPECT_TRUE(report.deleted.isEmpty());
    EXPECT_EQ(report.kept.size(), 3);
    EXPECT_EQ(testsupport::readFile(wav), live); // not even its header was touched
    EXPECT_TRUE(fs::exists(mp3));
    EXPECT_TRUE(fs::exists(fresh));

    // Once nobody holds it (a record kept after a failed save, or a killed recorder), it is
    // recovered whole.
    recording.release();
    starting.release();
    report = run();
    ASSERT_EQ(report.recovered.size(), 1);
    const std::vector<uint8_t> saved = testsupport::readFile(report.recovered[0].toStdString());
    ASSERT_EQ(saved.size(), live.size());
    EXPECT_TRUE(std::equal(saved.begin() + 44, saved.end(), live.begin() + 44));
    EXPECT_FALSE(fs::exists(mp3));
    EXPECT_FALSE(fs::exists(fresh));
}

TEST_F(StaleFiles, TheFolderOfEarlierVersionsIsLookedAtAndRemovedWhenEmpty) {
    const std::string old = dir_.file("mireldo-0");
    fs::create_directories(old);
    const std::vector<uint8_t> lost = crashedWav(1, 16, 8000);
    testsupport::writeFile(old + "/mireldo_temp_31.wav", lost);
    testsupport::writeFile(old + "/mireldo_temp_31.mp3", testsupport::patternBytes(10));
    testsupport::writeFile(tempFile("mireldo_temp_32_1.wav"), crashedWav(1, 16, 2000));
    options_.legacyFolder = QString::fromStdString(old);
    const StaleFileReport report = run();
    EXPECT_EQ(report.recovered.size(), 2);
    EXPECT_FALSE(fs::exists(old));

    // A folder still holding something (a file of a running process) stays.
    fs::create_directories(old);
    const std::string running = old + "/mireldo_temp_" + std::to_string(kRunningPid) + ".wav";
    testsupport::writeFile(running, lost);
    const StaleFileReport second = run();
    EXPECT_TRUE(second.recovered.isEmpty());
    EXPECT_TRUE(fs::exists(running));
}

} // namespace
