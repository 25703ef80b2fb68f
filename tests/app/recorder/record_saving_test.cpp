// Saving records and the two cuts, on a capture session fed by a fake device, with the real
// plug-ins from <build>/bin and a host that records what it was asked.

#include "record_saving.h"
#include "recorder_fakes.h"
#include "test_support.h"
#include "file_copy.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace mireldo::recorder;
using namespace mireldo::encoders;
using mireldo::platform::audio::WaveHeader;
using rectest::fileBytes;
using rectest::square16;

namespace {

using Bytes = std::vector<unsigned char>;

class FakeHost : public FinalisationHost {
  public:
    SaveSettings settings;
    std::optional<QString> saveAsAnswer; ///< nullopt: Cancel
    std::vector<QString> saveAsInitial, saveAsFilters;
    std::vector<QString> confirmations;
    bool confirmAnswer = true;
    int cancelAt = -1; ///< the progress's cancel check that answers true
    std::vector<QString> saved;
    std::vector<bool> cursor;
    int progresses = 0;
    QDateTime time = QDateTime(QDate(2024, 3, 2), QTime(9, 5, 3));

    SaveSettings saveSettings() const override { return settings; }
    std::optional<QString> askSaveAs(const QString& initial, const QString&,
                                     const QString& filter) override {
        saveAsInitial.push_back(initial);
        saveAsFilters.push_back(filter);
        return saveAsAnswer;
    }
    bool confirm(const QString& text) override {
        confirmations.push_back(text);
        return confirmAnswer;
    }
    void setWaitCursor(bool on) override { cursor.push_back(on); }
    std::unique_ptr<CompressProgress> makeProgress() override;
    void recordSaved(const QString& path) override { saved.push_back(path); }
    QDateTime now() const override { return time; }
    void sleepMs(int) override {}
};

class CancellingProgress : public CompressProgress {
  public:
    explicit CancellingProgress(int at) : at_(at) {}
    void setPercent(int) override {}
    bool cancelRequested() override { return checks_++ == at_; }
    void pause(int) override {}

  private:
    int at_;
    int checks_ = 0;
};

std::unique_ptr<CompressProgress> FakeHost::makeProgress() {
    ++progresses;
    return std::make_unique<CancellingProgress>(cancelAt);
}

class RecordSavingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rectest::coreApp();
        view.opts.formatRow = 12; // 8000 Hz, 16 bits, mono: 16,000 bytes a second
        view.opts.encodeMethod = kEncodeWav;
        host.settings.recordFolder = folder();
    }
    // Loaded once and never unloaded: unloading the WMA plug-in takes FFmpeg's libraries with
    // it, which leak what they allocate when loaded (LeakSanitizer would report it).
    static EncoderTable& table() {
        static EncoderTable* t = [] {
            auto* loaded = new EncoderTable;
            loaded->load(QString::fromStdString(testsupport::binDir()));
            return loaded;
        }();
        return *t;
    }
    QString folder() const { return QString::fromStdString(dir.path().string()); }

    CaptureSession& make(const EncoderTable& t = table()) {
        saving = std::make_unique<RecordSaving>(t, host);
        CaptureSession::Environment env;
        env.openDevice = farm.opener();
        env.freeSpace = [](const QString&) { return std::optional<std::uint64_t>(1ull << 40); };
        env.ticks = [] { return std::uint64_t{1000}; };
        QDir(folder()).mkpath(QStringLiteral("tmp"));
        env.temporaryFolder = folder() + QStringLiteral("/tmp");
        env.fileNumber = 77;
        env.withPlayer = false;
        session = std::make_unique<CaptureSession>(view, env);
        session->setFinalisation(saving.get());
        return *session;
    }

    void deliver(const Bytes& data) {
        rectest::FakeDevice& d = farm.last();
        ASSERT_FALSE(d.queued.empty());
        WaveHeader* h = d.queued.front();
        d.queued.pop_front();
        std::memcpy(h->data, data.data(), data.size());
        h->bytesRecorded = static_cast<std::uint32_t>(data.size());
        h->flags = (h->flags & ~mireldo::platform::audio::WHDR_INQUEUE) |
                   mireldo::platform::audio::WHDR_DONE;
        session->bufferDone(&d, h);
    }

    // Records `bytes` of sound (a multiple of 2) and stops.
    void recordBytes(std::uint32_t bytes) {
        session->record();
        while (bytes > 0) {
            const std::uint32_t n = std::min(bytes, kCaptureBufferBytes);
            deliver(square16(n, 8000));
            bytes -= n;
        }
        stopRecording();
    }

    void stopRecording() {
        session->stop();
        // The stopped device hands its queued buffers back empty, as the messages would.
        rectest::FakeDevice& d = farm.last();
        auto back = std::move(d.handedBack);
        d.handedBack.clear();
        for (WaveHeader* h : back) {
            h->bytesRecorded = 0;
            session->bufferDone(&d, h);
        }
    }

    Bytes recordData() const {
        Bytes all = fileBytes(session->temporaryWavPath());
        return Bytes(all.begin() + 44, all.end());
    }

    testsupport::TempDir dir;
    rectest::FakeView view;
    rectest::DeviceFarm farm;
    FakeHost host;
    std::unique_ptr<RecordSaving> saving;
    std::unique_ptr<CaptureSession> session;
};

TEST(RecordSavingRules, NamesQuestionsExtensionsAndTheDiscardRule) {
    rectest::coreApp();
    EXPECT_EQ(automaticRecordName(QDateTime(QDate(2024, 3, 2), QTime(9, 5, 3))),
              QStringLiteral("2024-03-02 09h05m03s"));
    // 75.4 s at 8000 Hz; minutes with three digits, tenths truncated.
    EXPECT_EQ(cutQuestion(485, 603200 + 799, 8000),
              QStringLiteral("Are you sure to cut out data before time 001:15.4 ?"));
    EXPECT_EQ(cutQuestion(484, 0, 44100),
              QStringLiteral("Are you sure to cut out data after time 000:00.0 ?"));
    EXPECT_EQ(withSlotExtension(QStringLiteral("/x/take.MP3"), QStringLiteral("mp3")),
              QStringLiteral("/x/take.MP3"));
    EXPECT_EQ(withSlotExtension(QStringLiteral("/x/take"), QStringLiteral("mp3")),
              QStringLiteral("/x/take.mp3"));
    EXPECT_EQ(withSlotExtension(QStringLiteral("/x/take.wav"), QStringLiteral("mp3")),
              QStringLiteral("/x/take.wav.mp3"));

    WAVEFORMATEX f{};
    f.nBlockAlign = 2;
    f.nSamplesPerSec = 8000;
    SaveSettings s;
    s.discardShortRecord = true;
    const std::uint64_t bytes49 = 4 * 16000 + 14400; // 4.9 s
    s.shortRecordSeconds = 5;
    EXPECT_TRUE(discardsRecord(bytes49, f, s));
    s.shortRecordSeconds = 4;
    EXPECT_FALSE(discardsRecord(bytes49, f, s));
    s.discardShortRecord = false;
    s.shortRecordSeconds = 5;
    EXPECT_FALSE(discardsRecord(bytes49, f, s));
    EXPECT_TRUE(discardsRecord(0, f, s)); // empty records go whatever the setting
}

TEST_F(RecordSavingTest, AutomaticSaveCopiesTheWavUnderTheTimeNameAndNeverOverwrites) {
    make();
    recordBytes(32000);
    saving->save(*session, true);
    const QString first = folder() + QStringLiteral("/2024-03-02 09h05m03s.wav");
    ASSERT_EQ(host.saved, std::vector<QString>{first});
    EXPECT_TRUE(session->saved());
    EXPECT_EQ(fileBytes(first), fileBytes(session->temporaryWavPath()));
    EXPECT_EQ(host.cursor, (std::vector<bool>{true, false}));
    ASSERT_GE(view.statuses.size(), 2u);
    EXPECT_EQ(view.statuses[view.statuses.size() - 2], RecorderStatus::Saving);
    EXPECT_EQ(view.statuses.back(), RecorderStatus::Ready);

    saving->save(*session, true); // same second
    ASSERT_EQ(host.saved.size(), 2u);
    EXPECT_EQ(host.saved[1], folder() + QStringLiteral("/2024-03-02 09h05m03s (2).wav"));
    saving->save(*session, true);
    EXPECT_EQ(host.saved[2], folder() + QStringLiteral("/2024-03-02 09h05m03s (3).wav"));
    EXPECT_TRUE(host.saveAsInitial.empty());
}

TEST_F(RecordSavingTest, Mp3At11025HzSavesAWav) {
    view.opts.formatRow = 10; // 11025 Hz 16-bit mono
    view.opts.encodeMethod = kEncodeMp3;
    make();
    recordBytes(22050);
    saving->save(*session, true);
    ASSERT_EQ(host.saved.size(), 1u);
    EXPECT_TRUE(host.saved[0].endsWith(QStringLiteral(".wav")));
    EXPECT_FALSE(saving->compressor().active()); // MP3 below 16 kHz never started
}

TEST_F(RecordSavingTest, SaveWithoutQualityChangeCopiesTheOnTheFlyFileElseCompressesAgain) {
    view.opts.formatRow = 0; // 48000 Hz mono
    view.opts.encodeMethod = kEncodeMp3;
    make();
    recordBytes(10240 * 20);
    saving->save(*session, true);
    ASSERT_EQ(host.saved.size(), 1u);
    const QString temp = session->temporaryCompressedPath();
    ASSERT_TRUE(QFileInfo::exists(temp));
    EXPECT_EQ(fileBytes(host.saved[0]), fileBytes(temp));
    EXPECT_EQ(host.progresses, 0); // a copy shows no progress dialog

    host.settings.recordQuality = 12; // 192 kbps
    host.time = host.time.addSecs(1);
    saving->save(*session, true);
    ASSERT_EQ(host.saved.size(), 2u);
    EXPECT_NE(fileBytes(host.saved[1]), fileBytes(temp));
    EXPECT_GT(fileBytes(host.saved[1]).size(), fileBytes(temp).size());
    EXPECT_EQ(host.progresses, 1);
}

TEST_F(RecordSavingTest, RecordingOnAfterASaveDropsTheFlushedCompression) {
    view.opts.formatRow = 0;
    view.opts.encodeMethod = kEncodeWma; // a flushed WMA stream cannot take more audio
    make();
    recordBytes(10240 * 4);
    saving->save(*session, true);
    ASSERT_TRUE(saving->compressor().active());
    recordBytes(10240 * 4); // resumes at the end
    EXPECT_FALSE(saving->compressor().active());
    EXPECT_FALSE(QFileInfo::exists(session->temporaryCompressedPath()));
    host.time = host.time.addSecs(1);
    saving->save(*session, true);
    ASSERT_EQ(host.saved.size(), 2u);
    EXPECT_GT(fileBytes(host.saved[1]).size(), fileBytes(host.saved[0]).size());
}

TEST_F(RecordSavingTest, ATrailingSilenceCutCompressesFromTheCutWavInsteadOfCopying) {
    view.opts.formatRow = 0; // 48000 Hz mono
    view.opts.encodeMethod = kEncodeWav;
    view.opts.silence.dropBlanks = true;
    make();
    session->record();
    for (int i = 0; i < 4; ++i) {
        deliver(square16(kCaptureBufferBytes, 8000));
    }
    for (int i = 0; i < 3; ++i) {
        deliver(Bytes(kCaptureBufferBytes, 0));
    }
    stopRecording();
    ASSERT_TRUE(saving->compressor().active());
    saving->save(*session, true);
    // The on-the-fly file held the silence and a header counting it; it is gone, and the
    // saved WAV holds the sound alone with sizes that agree.
    EXPECT_FALSE(saving->compressor().active());
    ASSERT_EQ(host.saved.size(), 1u);
    const Bytes saved = fileBytes(host.saved[0]);
    ASSERT_EQ(saved.size(), 44u + 4 * kCaptureBufferBytes);
    EXPECT_EQ(saved[40] | saved[41] << 8 | saved[42] << 16, 4 * kCaptureBufferBytes);
}

TEST_F(RecordSavingTest, CancelDeletesTheDestinationWithoutAnError) {
    view.opts.formatRow = 1; // 48000 Hz stereo
    view.opts.encodeMethod = kEncodeOgg;
    make();
    recordBytes(10240 * 60);
    host.settings.recordQuality = 3; // not the on-the-fly rate: compresses
    host.cancelAt = 0;
    saving->save(*session, true);
    EXPECT_TRUE(host.saved.empty());
    EXPECT_TRUE(view.messages.empty());
    EXPECT_FALSE(session->saved());
    EXPECT_TRUE(QDir(folder()).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(view.statuses.back(), RecorderStatus::Ready);
}

TEST_F(RecordSavingTest, AFailedSaveSaysSoAndKeepsTheRecordUnsaved) {
    make();
    recordBytes(16000);
    host.settings.askForRenaming = true;
    host.saveAsAnswer = folder() + QStringLiteral("/missing/take");
    saving->save(*session, false);
    EXPECT_TRUE(host.saved.empty());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], QStringLiteral("Failed to save file."));
    EXPECT_FALSE(session->saved());
}

TEST_F(RecordSavingTest, SaveAsProposesTheNameAndAppliesTheExtensionRule) {
    view.opts.formatRow = 0;
    view.opts.encodeMethod = kEncodeMp3;
    make();
    recordBytes(10240 * 2);
    host.settings.askForRenaming = true;
    host.saveAsAnswer = std::nullopt;
    saving->save(*session, false);
    EXPECT_FALSE(session->saved());
    ASSERT_EQ(host.saveAsInitial.size(), 1u);
    EXPECT_EQ(host.saveAsInitial[0], folder() + QStringLiteral("/2024-03-02 09h05m03s"));
    EXPECT_EQ(host.saveAsFilters[0], QStringLiteral("MP3 File (*.mp3)|*.mp3||"));

    host.saveAsAnswer = folder() + QStringLiteral("/take.MP3");
    saving->save(*session, false);
    host.saveAsAnswer = folder() + QStringLiteral("/take");
    saving->save(*session, false);
    EXPECT_EQ(host.saved, (std::vector<QString>{folder() + QStringLiteral("/take.MP3"),
                                                folder() + QStringLiteral("/take.mp3")}));
    // Automatic saves never ask; a missing folder always does.
    saving->save(*session, true);
    EXPECT_EQ(host.saveAsInitial.size(), 3u);
    host.settings.recordFolder = folder() + QStringLiteral("/gone/");
    host.saveAsAnswer = std::nullopt;
    saving->save(*session, true);
    EXPECT_EQ(host.saveAsInitial.size(), 4u);
    EXPECT_EQ(host.saveAsInitial.back(), QStringLiteral("2024-03-02 09h05m03s"));
}

TEST_F(RecordSavingTest, ShortRecordsAreDiscardedSilentlyButCountAsSaved) {
    make();
    recordBytes(4 * 16000 + 14400); // 4.9 s
    host.settings.discardShortRecord = true;
    host.settings.shortRecordSeconds = 5;
    saving->save(*session, true);
    EXPECT_TRUE(host.saved.empty());
    EXPECT_TRUE(session->saved());
    EXPECT_TRUE(QDir(folder()).entryList(QDir::Files).isEmpty());
    host.settings.shortRecordSeconds = 4;
    saving->save(*session, true);
    EXPECT_EQ(host.saved.size(), 1u);
}

TEST_F(RecordSavingTest, CutHeadThenWavSaveGoesThroughThePluginWithoutTheHead) {
    make();
    recordBytes(32000); // 2 s
    const Bytes data = recordData();
    session->setPosition(8000); // 1 s
    saving->cutHead(*session);
    ASSERT_EQ(host.confirmations.size(), 1u);
    EXPECT_EQ(host.confirmations[0],
              QStringLiteral("Are you sure to cut out data before time 000:01.0 ?"));
    EXPECT_EQ(session->headOffset(), 8000u);
    EXPECT_EQ(session->position(), 0u);
    EXPECT_EQ(session->dataLength(), 16000u);
    saving->save(*session, true);
    ASSERT_EQ(host.saved.size(), 1u);
    const Bytes saved = fileBytes(host.saved[0]);
    ASSERT_EQ(saved.size(), 44u + 16000u);
    EXPECT_EQ(Bytes(saved.begin() + 44, saved.end()), Bytes(data.begin() + 16000, data.end()));
    EXPECT_EQ(host.progresses, 1); // compressed, not copied
}

TEST_F(RecordSavingTest, WithoutTheWavPluginTheWavIsWrittenDirectly) {
    EncoderTable none; // never loaded: no slot has its plug-in
    make(none);
    recordBytes(32000);
    const Bytes data = recordData();
    session->setPosition(4000);
    saving->cutHead(*session);
    saving->save(*session, true);
    ASSERT_EQ(host.saved.size(), 1u);
    const Bytes saved = fileBytes(host.saved[0]);
    ASSERT_EQ(saved.size(), 44u + 24000u);
    EXPECT_EQ(std::memcmp(saved.data(), "RIFF", 4), 0);
    EXPECT_EQ(Bytes(saved.begin() + 44, saved.end()), Bytes(data.begin() + 8000, data.end()));
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(RecordSavingTest, CutsAtTheEdgesDoNothingAndCutTailShortensTheFile) {
    make();
    recordBytes(32000);
    const Bytes data = recordData();
    session->setPosition(0);
    saving->cutHead(*session);
    EXPECT_EQ(session->headOffset(), 0u);
    session->setPosition(16000); // the end
    saving->cutTail(*session);
    EXPECT_EQ(host.confirmations.size(), 2u);
    EXPECT_EQ(session->dataLength(), 32000u);

    host.confirmAnswer = false;
    session->setPosition(4000);
    saving->cutTail(*session);
    EXPECT_EQ(session->dataLength(), 32000u);

    host.confirmAnswer = true;
    saving->cutTail(*session);
    EXPECT_EQ(host.confirmations.back(),
              QStringLiteral("Are you sure to cut out data after time 000:00.5 ?"));
    EXPECT_EQ(session->dataLength(), 8000u);
    const Bytes file = fileBytes(session->temporaryWavPath());
    ASSERT_EQ(file.size(), 44u + 8000u);
    EXPECT_EQ(Bytes(file.begin() + 44, file.end()), Bytes(data.begin(), data.begin() + 8000));
    // RIFF and data sizes follow the new length.
    EXPECT_EQ(file[4] | file[5] << 8, (44 + 8000 - 8) & 0xFFFF);
    EXPECT_EQ(file[40] | file[41] << 8, 8000);
}

// Files in `folder` other than the record folder's own "tmp" (temporary files left behind).
QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

TEST_F(RecordSavingTest, AFailedSaveOverAChosenFileLeavesTheOldFile) {
    view.opts.formatRow = 1; // 48000 Hz stereo
    view.opts.encodeMethod = kEncodeOgg;
    make();
    recordBytes(10240 * 60);
    const QString chosen = folder() + QStringLiteral("/take.ogg");
    testsupport::writeFile(chosen.toStdString(), {'o', 'l', 'd'});
    host.settings.askForRenaming = true;
    host.saveAsAnswer = chosen;
    host.settings.recordQuality = 3; // not the on-the-fly rate: compresses
    host.cancelAt = 2;               // cancelled part-way through the compression
    saving->save(*session, false);
    EXPECT_TRUE(host.saved.empty());
    EXPECT_FALSE(session->saved());
    EXPECT_EQ(fileBytes(chosen), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(filesIn(folder()), QStringList{QStringLiteral("take.ogg")});

    // A write error while copying (the file size limit standing in for a full disk).
    view.opts.encodeMethod = kEncodeWav;
    const QString wav = folder() + QStringLiteral("/take.wav");
    testsupport::writeFile(wav.toStdString(), {'o', 'l', 'd'});
    host.saveAsAnswer = wav;
    {
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old;
        limit.rlim_cur = 100000; // less than the record's 614,444 bytes
        ::setrlimit(RLIMIT_FSIZE, &limit);
        saving->save(*session, false);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, handler);
    }
    EXPECT_TRUE(host.saved.empty());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], QStringLiteral("Failed to save file."));
    EXPECT_EQ(fileBytes(wav), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(filesIn(folder()).size(), 2);

    // With room, the chosen file is replaced whole.
    saving->save(*session, false);
    ASSERT_EQ(host.saved, std::vector<QString>{wav});
    EXPECT_EQ(fileBytes(wav), fileBytes(session->temporaryWavPath()));
    EXPECT_EQ(filesIn(folder()).size(), 2);
}

// Runs `body` with the file size limit at `bytes` (standing in for a full disk).
template <typename Body>
void withFileSizeLimit(rlim_t bytes, Body body) {
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    body();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
}

// The save by copy tries a reflink, then copy_file_range, then read/write: started at each in
// turn, a copy that runs out of room leaves the chosen file as it was, no temporary file and
// the record; with room it writes the record's bytes exactly. The same for the WAV written
// without the WAV plug-in (header, then the frames after the cut head).
TEST_F(RecordSavingTest, EveryCopyMethodFailsCleanlyWhenTheDiskIsFullAndCopiesExactlyWithRoom) {
    EncoderTable none;       // never loaded: the cut record is written here, not by a plug-in
    view.opts.formatRow = 1; // 48000 Hz stereo
    make();
    recordBytes(10240 * 60);
    const Bytes record = fileBytes(session->temporaryWavPath());
    const QString chosen = folder() + QStringLiteral("/take.wav");
    RecordFiles files;
    files.wavPath = session->temporaryWavPath();
    files.format = session->format();
    SaveTarget target;
    target.path = chosen;
    target.replace = true;
    target.slot = kEncodeWav;
    using mireldo::common::CopyMethod;
    for (const CopyMethod first :
         {CopyMethod::Reflink, CopyMethod::CopyRange, CopyMethod::ReadWrite}) {
        SCOPED_TRACE(static_cast<int>(first));
        mireldo::common::copyStartForTests() = first;
        for (const std::uint64_t dataStart : {std::uint64_t{44}, std::uint64_t{44 + 4000}}) {
            SCOPED_TRACE(dataStart);
            files.dataStart = dataStart;
            const EncoderTable& used = dataStart == 44 ? table() : none;
            testsupport::writeFile(chosen.toStdString(), {'o', 'l', 'd'});
            SaveResult result;
            withFileSizeLimit(100000, [&] { result = saveRecordFile(used, files, target, host); });
            EXPECT_FALSE(result.ok);
            EXPECT_EQ(fileBytes(chosen), (Bytes{'o', 'l', 'd'}));
            EXPECT_EQ(filesIn(folder()), QStringList{QStringLiteral("take.wav")});
            EXPECT_EQ(fileBytes(session->temporaryWavPath()), record);

            result = saveRecordFile(used, files, target, host);
            ASSERT_TRUE(result.ok);
            const Bytes saved = fileBytes(chosen);
            ASSERT_EQ(saved.size(), record.size() - (dataStart - 44));
            EXPECT_TRUE(std::equal(saved.begin() + 44, saved.end(),
                                   record.begin() + static_cast<std::ptrdiff_t>(dataStart)));
            EXPECT_EQ(filesIn(folder()), QStringList{QStringLiteral("take.wav")});
        }
    }
    mireldo::common::copyStartForTests() = CopyMethod::Reflink;
    EXPECT_EQ(host.progresses, 0); // a copy shows no progress dialog
}

TEST_F(RecordSavingTest, AnAutomaticSaveNeverReplacesAFileThatAppearedUnderItsName) {
    make();
    recordBytes(16000);
    const QString name = folder() + QStringLiteral("/2024-03-02 09h05m03s.wav");
    RecordFiles record;
    record.wavPath = session->temporaryWavPath();
    record.format = session->format();
    SaveTarget target;
    target.path = name; // chosen while free...
    target.slot = kEncodeWav;
    testsupport::writeFile(name.toStdString(), {'o', 't', 'h', 'e', 'r'}); // ...taken since
    const SaveResult result = saveRecordFile(table(), record, target, host);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.path, folder() + QStringLiteral("/2024-03-02 09h05m03s (2).wav"));
    EXPECT_EQ(fileBytes(name), (Bytes{'o', 't', 'h', 'e', 'r'}));
    EXPECT_EQ(fileBytes(result.path), fileBytes(session->temporaryWavPath()));
}

TEST_F(RecordSavingTest, AHeaderThatCannotBeWrittenStopsTheCopy) {
    make();
    recordBytes(16000);
    const int fd = session->file().descriptor();
    const int readOnly =
        ::open(session->temporaryWavPath().toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(readOnly, 0);
    ASSERT_EQ(::dup2(readOnly, fd), fd);
    ::close(readOnly);
    saving->save(*session, true);
    EXPECT_TRUE(host.saved.empty());
    EXPECT_FALSE(session->saved());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], QStringLiteral("Failed to save file."));
    EXPECT_TRUE(filesIn(folder()).isEmpty());
}

TEST_F(RecordSavingTest, ARecordEndingInSoundIsCopiedFromTheOnTheFlyFileWhenDroppingSilence) {
    view.opts.formatRow = 0; // 48000 Hz mono
    view.opts.encodeMethod = kEncodeMp3;
    view.opts.silence.dropBlanks = true;
    make();
    recordBytes(10240 * 20);
    saving->save(*session, true);
    ASSERT_EQ(host.saved.size(), 1u);
    const QString temp = session->temporaryCompressedPath();
    ASSERT_TRUE(QFileInfo::exists(temp));
    // Copied: the same bytes as the on-the-fly file, and no progress dialog.
    EXPECT_EQ(fileBytes(host.saved[0]), fileBytes(temp));
    EXPECT_EQ(host.progresses, 0);
    EXPECT_TRUE(saving->compressor().active());
}

} // namespace
