#include "capture_session.h"
#include "recorder_fakes.h"
#include "test_support.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace mireldo::recorder;
using namespace mireldo::platform::audio;
using rectest::FakeDevice;
using rectest::fileBytes;
using rectest::square16;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes concat(std::initializer_list<const Bytes*> parts) {
    Bytes out;
    for (const Bytes* p : parts) {
        out.insert(out.end(), p->begin(), p->end());
    }
    return out;
}

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}
std::uint32_t le16(const Bytes& b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8;
}

// Limits the size of files this process writes (RLIMIT_FSIZE) for one scope; the signal that
// a write past the limit raises is ignored, so the write fails with EFBIG as on a full disk.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

  private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

// Makes every later write through `fd` fail (EBADF) by putting a read-only descriptor of the
// same file in its place: a disk that stops taking writes.
void makeUnwritable(int fd, const QString& path) {
    const int readOnly = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(readOnly, 0);
    ASSERT_EQ(::dup2(readOnly, fd), fd);
    ::close(readOnly);
}

// True when another open file description of `path` gets the lock at once.
bool lockIsFree(const QString& path) {
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

class CaptureSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rectest::coreApp();
        view.opts.formatRow = 12; // 8000 Hz, 16 bits, mono: 16,000 bytes a second
        view.opts.longBlankSeconds = 1;
    }

    CaptureSession& make() {
        CaptureSession::Environment env;
        env.openDevice = farm.opener();
        env.freeSpace = [this](const QString& folder) {
            askedFolders.push_back(folder);
            return space;
        };
        env.ticks = [this] { return ticks; };
        env.temporaryFolder = QString::fromStdString(dir.path().string());
        env.fileNumber = 4242;
        env.sizeLimit = sizeLimit;
        env.bufferCount = bufferCount;
        env.withPlayer = false;
        session = std::make_unique<CaptureSession>(view, env);
        session->setFinalisation(&fin);
        return *session;
    }

    // Fills the device's first queued buffer with `data` and hands it back.
    void deliver(const Bytes& data, FakeDevice* device = nullptr) {
        FakeDevice& d = device != nullptr ? *device : farm.last();
        ASSERT_FALSE(d.queued.empty());
        WaveHeader* h = d.queued.front();
        d.queued.pop_front();
        ASSERT_LE(data.size(), h->bufferLength);
        if (!data.empty()) {
            std::memcpy(h->data, data.data(), data.size());
        }
        h->bytesRecorded = static_cast<std::uint32_t>(data.size());
        h->flags = (h->flags & ~WHDR_INQUEUE) | WHDR_DONE;
        session->bufferDone(&d, h);
    }

    // Delivers what reset() handed back, as the posted messages would arrive.
    void deliverHandedBack(FakeDevice& d, std::uint32_t bytesInThem = 0) {
        auto back = std::move(d.handedBack);
        d.handedBack.clear();
        for (WaveHeader* h : back) {
            h->bytesRecorded = bytesInThem;
            std::memset(h->data, 0x55, bytesInThem);
            session->bufferDone(&d, h);
        }
    }

    Bytes data() const {
        Bytes all = fileBytes(session->temporaryWavPath());
        return all.size() >= 44 ? Bytes(all.begin() + 44, all.end()) : Bytes{};
    }

    testsupport::TempDir dir;
    rectest::FakeView view;
    rectest::DeviceFarm farm;
    rectest::FakeFinalisation fin;
    std::uint64_t ticks = 1000;
    std::optional<std::uint64_t> space = std::uint64_t{1} << 40;
    std::uint64_t sizeLimit = kRecordSizeLimit;
    int bufferCount = kCaptureBufferCount;
    std::vector<QString> askedFolders;
    std::unique_ptr<CaptureSession> session;

    const Bytes sound = square16(kCaptureBufferBytes, 8000);
    const Bytes quiet = square16(kCaptureBufferBytes, 20, 3000);
};

TEST_F(CaptureSessionTest, NoFormatRowRecords48kHz16BitMonoIntoAPrivateFile) {
    view.opts.formatRow = -1;
    view.opts.inputDevice = -1;
    CaptureSession& s = make();
    s.record();
    ASSERT_TRUE(s.recording());
    EXPECT_EQ(farm.openedIndices, std::vector<int>{-1});
    EXPECT_EQ(farm.last().format(), (PcmFormat{1, 48000, 16}));
    EXPECT_EQ(QFileInfo(s.temporaryWavPath()).fileName(),
              QStringLiteral("mireldo_temp_4242_1.wav"));
    EXPECT_EQ(QFileInfo(s.temporaryCompressedPath()).fileName(),
              QStringLiteral("mireldo_temp_4242_1.mp3"));
    struct stat st {};
    ASSERT_EQ(::stat(s.temporaryWavPath().toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const Bytes header = fileBytes(s.temporaryWavPath());
    ASSERT_EQ(header.size(), 44u);
    EXPECT_EQ(std::memcmp(header.data(), "RIFF", 4), 0);
    EXPECT_EQ(le32(header, 4), 36u);
    EXPECT_EQ(le16(header, 22), 1u);
    EXPECT_EQ(le32(header, 24), 48000u);
    EXPECT_EQ(le32(header, 28), 96000u);
    EXPECT_EQ(le16(header, 32), 2u);
    EXPECT_EQ(le16(header, 34), 16u);
    EXPECT_EQ(le32(header, 40), 0u);
    EXPECT_EQ(s.silence().marker, 44u);
    EXPECT_EQ(farm.last().queued.size(), 150u);
    EXPECT_EQ(farm.last().starts, 1);
    EXPECT_EQ(view.fullScale, 32768);
    EXPECT_EQ(fin.starts, 1); // 16-bit at 48 kHz compresses on the fly
}

TEST_F(CaptureSessionTest, EightBitRowsSetTheirScaleAndNeverCompressOnTheFly) {
    view.opts.formatRow = 17; // 44100 Hz, 8 bits, stereo
    CaptureSession& s = make();
    s.record();
    EXPECT_EQ(farm.last().format(), (PcmFormat{2, 44100, 8}));
    EXPECT_EQ(view.fullScale, 128);
    EXPECT_EQ(fin.starts, 0);
    EXPECT_EQ(s.silence().thresholdBytes, 88200u);
}

TEST_F(CaptureSessionTest, Mp3AtLowRatesIsNotCompressedOnTheFlyButOtherMethodsAre) {
    view.opts.formatRow = 10; // 11025 Hz 16-bit
    view.opts.encodeMethod = 0;
    make().record();
    EXPECT_EQ(fin.starts, 0);
    session.reset();
    view.opts.encodeMethod = 2;
    make().record();
    EXPECT_EQ(fin.starts, 1);
}

TEST_F(CaptureSessionTest, StopWritesTheSizesAndRecordContinuesAtTheEnd) {
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    deliver(quiet);
    s.stop();
    EXPECT_FALSE(s.recording());
    EXPECT_TRUE(s.deviceOpen());
    const Bytes header = fileBytes(s.temporaryWavPath());
    EXPECT_EQ(le32(header, 4), 36u + 2 * kCaptureBufferBytes);
    EXPECT_EQ(le32(header, 40), 2 * kCaptureBufferBytes);
    EXPECT_EQ(view.statuses.back(), RecorderStatus::Paused);
    EXPECT_TRUE(view.buttons.playCutSave);
    EXPECT_TRUE(view.buttons.record);
    EXPECT_FALSE(view.buttons.deviceLists);

    deliverHandedBack(farm.last()); // arriving after Stop: freed
    for (const CaptureBuffer& b : s.buffers()) {
        EXPECT_EQ(b.header.user, 0u);
    }
    s.record();
    EXPECT_EQ(fin.discards, 0); // resuming at the end leaves compression alone
    EXPECT_EQ(farm.last().queued.size(), 150u);
    const Bytes more = square16(4000, 5000);
    deliver(more);
    EXPECT_EQ(data(), concat({&sound, &quiet, &more}));
    EXPECT_EQ(s.position(), (2 * kCaptureBufferBytes + 4000) / 2);
    EXPECT_EQ(view.positionFrame, s.position());
    EXPECT_EQ(view.lengthBytes, 2 * kCaptureBufferBytes + 4000);
}

TEST_F(CaptureSessionTest, RecordingFromAnEarlierPositionOverwritesAndKeepsTheTail) {
    CaptureSession& s = make();
    s.record();
    const Bytes a = square16(kCaptureBufferBytes, 1000);
    const Bytes b = square16(kCaptureBufferBytes, 2000);
    const Bytes c = square16(kCaptureBufferBytes, 3000);
    deliver(a);
    deliver(b);
    deliver(c);
    s.stop();
    deliverHandedBack(farm.last());
    s.sliderMoved(kCaptureBufferBytes / 2); // the start of b
    EXPECT_EQ(view.positionFrame, kCaptureBufferBytes / 2);
    s.record();
    EXPECT_EQ(fin.discards, 1); // on-the-fly compression no longer matches the record
    const Bytes d = square16(4096, 9000);
    deliver(d);
    const Bytes tail(b.begin() + 4096, b.end());
    EXPECT_EQ(data(), concat({&a, &d, &tail, &c}));
    EXPECT_EQ(s.position(), (kCaptureBufferBytes + 4096) / 2);
    EXPECT_EQ(s.dataLength(), 3 * kCaptureBufferBytes);
}

TEST_F(CaptureSessionTest, StatusTextIsSetOnlyWhenTheCodeChanges) {
    view.opts.silence.dropBlanks = true;
    CaptureSession& s = make();
    s.record();
    deliver(quiet);
    deliver(quiet);
    EXPECT_EQ(s.dataLength(), 0u); // leading silence is dropped
    deliver(sound);
    deliver(sound);
    deliver(quiet);
    s.stop();
    s.stop();
    EXPECT_EQ(view.statuses,
              (std::vector<RecorderStatus>{RecorderStatus::WaitForSound, RecorderStatus::Recording,
                                           RecorderStatus::Paused}));
    EXPECT_EQ(data(), concat({&sound, &sound, &quiet}));
}

TEST_F(CaptureSessionTest, ExactlyOneHundredMebibytesFreeContinuesOneByteLessStops) {
    space = kLowDiskSpaceBytes;
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    EXPECT_TRUE(s.recording());
    ASSERT_FALSE(askedFolders.empty());
    EXPECT_EQ(askedFolders.back(), QString::fromStdString(dir.path().string()));
    space = kLowDiskSpaceBytes - 1;
    deliver(sound);
    EXPECT_FALSE(s.recording());
    EXPECT_TRUE(s.deviceOpen());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_TRUE(view.messages[0].startsWith(QStringLiteral("Recording stopped due to low disk")));
    EXPECT_TRUE(view.messages[0].contains(QString::fromStdString(dir.path().string())));
    EXPECT_EQ(data(), concat({&sound, &sound})); // the record is kept
    EXPECT_EQ(le32(fileBytes(s.temporaryWavPath()), 40), 2 * kCaptureBufferBytes);
}

TEST_F(CaptureSessionTest, UnknownFreeSpaceStillAppliesTheSizeLimit) {
    space = std::nullopt;
    sizeLimit = 44 + kCaptureBufferBytes;
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    EXPECT_EQ(fin.saves.size(), 1u);
    EXPECT_TRUE(s.recording());
}

TEST_F(CaptureSessionTest, SizeLimitSavesAndStartsANewRecordWithTheNextBuffer) {
    sizeLimit = 44 + 3 * kCaptureBufferBytes;
    view.opts.encodeMethod = 2; // compressed on the fly at 8000 Hz
    CaptureSession& s = make();
    s.record();
    const QString first = s.temporaryWavPath();
    deliver(sound);
    deliver(sound);
    EXPECT_TRUE(fin.saves.empty());
    deliver(quiet);
    ASSERT_EQ(fin.saves, std::vector<bool>{true});
    const Bytes expected = concat({&sound, &sound, &quiet});
    ASSERT_EQ(fin.savedCopies[0].size(), 44 + expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), fin.savedCopies[0].begin() + 44));
    EXPECT_EQ(le32(fin.savedCopies[0], 40), expected.size()); // the header has its sizes
    // The device runs on: never stopped, reset or closed, every buffer still queued.
    ASSERT_EQ(farm.devices.size(), 1u);
    EXPECT_EQ(farm.last().closes + farm.last().resets + farm.last().stops, 0);
    EXPECT_EQ(farm.last().queued.size(), 150u);
    EXPECT_TRUE(s.recording());
    EXPECT_EQ(s.dataLength(), 0u);
    EXPECT_NE(s.temporaryWavPath(), first);
    EXPECT_FALSE(QFileInfo::exists(first)); // saved, so gone
    EXPECT_EQ(fin.starts, 2);            // the new record is compressed on the fly from its start
    EXPECT_TRUE(view.questions.empty()); // the record was saved: nothing to ask
    EXPECT_EQ(view.statuses.back(), RecorderStatus::Recording);

    // The next buffer is the new record's first, after a whole header.
    deliver(sound);
    EXPECT_EQ(data(), sound);
    EXPECT_EQ(s.position(), kCaptureBufferBytes / 2);
    s.stop();
    EXPECT_EQ(le32(fileBytes(s.temporaryWavPath()), 40), kCaptureBufferBytes);
}

TEST_F(CaptureSessionTest, ASplitWithoutRoomForTheNextRecordStopsAndKeepsTheRecord) {
    sizeLimit = 44 + 2 * kCaptureBufferBytes;
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    // The recording folder is gone when the next record needs a file.
    const std::string moved = dir.path().string() + "-moved";
    ASSERT_EQ(::rename(dir.path().c_str(), moved.c_str()), 0);
    deliver(sound);
    ASSERT_EQ(::rename(moved.c_str(), dir.path().c_str()), 0);
    EXPECT_TRUE(fin.saves.empty());
    EXPECT_FALSE(s.recording());
    EXPECT_EQ(view.statuses.back(), RecorderStatus::Paused);
    EXPECT_EQ(s.fault(), RecordingFault::Write);
    // The record stays in the session, whole, to be saved as after Stop.
    EXPECT_EQ(data(), concat({&sound, &sound}));
    EXPECT_EQ(le32(fileBytes(s.temporaryWavPath()), 40), 2 * kCaptureBufferBytes);
    EXPECT_FALSE(s.saved());
}

TEST_F(CaptureSessionTest, StaleBuffersAreRequeuedUnwrittenAfterRecordingResumes) {
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    s.stop();
    // Record again before the device's returns arrive: every buffer is still out, so none
    // is queued now; each goes back to the device as its stale return arrives.
    s.record();
    EXPECT_TRUE(farm.last().queued.empty());
    deliverHandedBack(farm.last(), kCaptureBufferBytes);
    EXPECT_EQ(data(), sound);
    EXPECT_EQ(farm.last().queued.size(), 150u);
    for (const CaptureBuffer& b : s.buffers()) {
        EXPECT_EQ(b.header.user, 2u);
    }
    deliver(quiet);
    EXPECT_EQ(data(), concat({&sound, &quiet}));
}

TEST_F(CaptureSessionTest, BuffersThatFailedToAllocateAreNeverQueued) {
    bufferCount = 5;
    CaptureSession& s = make();
    s.record();
    EXPECT_EQ(farm.last().queued.size(), 5u);
    EXPECT_EQ(s.buffers()[5].block, nullptr);
}

TEST_F(CaptureSessionTest, LongSilenceNoActionKeepsRecording) {
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    for (int i = 0; i < 5; ++i) {
        deliver(quiet);
    }
    EXPECT_TRUE(s.recording());
    EXPECT_EQ(s.silence().marker, 44u + kCaptureBufferBytes);
    EXPECT_EQ(s.dataLength(), 6 * kCaptureBufferBytes);
}

TEST_F(CaptureSessionTest, LongSilencePauseSkipsSilenceButKeepsTheFirstBufferOfSound) {
    view.opts.silence.actionAtBlank = 1;
    CaptureSession& s = make(); // threshold 16,000 bytes: the second silent buffer is long
    s.record();
    deliver(sound);
    deliver(quiet);
    deliver(quiet);
    deliver(quiet);
    deliver(quiet);
    EXPECT_EQ(s.dataLength(), 3 * kCaptureBufferBytes);
    const Bytes first = square16(kCaptureBufferBytes, 7000);
    deliver(first); // written, whole, and the marker follows it
    EXPECT_EQ(s.silence().marker, 44u + 4 * kCaptureBufferBytes);
    deliver(sound);
    EXPECT_EQ(data(), concat({&sound, &quiet, &quiet, &first, &sound}));
    EXPECT_TRUE(s.recording());
}

TEST_F(CaptureSessionTest, LongSilenceSaveAndRenew) {
    view.opts.silence.actionAtBlank = 2;
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    deliver(quiet);
    EXPECT_TRUE(fin.saves.empty());
    deliver(quiet);
    ASSERT_EQ(fin.saves, std::vector<bool>{true});
    EXPECT_EQ(fin.savedCopies[0].size(), 44 + 3 * kCaptureBufferBytes);
    EXPECT_EQ(farm.devices.size(), 1u); // the device is not closed for a split
    EXPECT_TRUE(s.recording());
    EXPECT_EQ(s.dataLength(), 0u);
    EXPECT_EQ(s.silence().marker, 44u);
    // The silence goes on in the new record, which splits again after its own long silence
    // (more than 16,000 bytes past its header).
    deliver(quiet);
    EXPECT_EQ(fin.saves.size(), 1u);
    deliver(quiet);
    ASSERT_EQ(fin.saves.size(), 2u);
    EXPECT_EQ(fin.savedCopies[1].size(), 44 + 2 * kCaptureBufferBytes);
}

TEST_F(CaptureSessionTest, LongSilenceStopIsPostedAndKeepsTheRecord) {
    view.opts.silence.actionAtBlank = 3;
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    deliver(quiet);
    deliver(quiet);
    EXPECT_TRUE(s.recording()); // stops when the posted command is handled
    deliver(quiet);
    ASSERT_TRUE(rectest::pumpUntil([&] { return !s.recording(); }, 2000));
    EXPECT_EQ(view.statuses.back(), RecorderStatus::Paused);
    EXPECT_TRUE(fin.saves.empty());
    EXPECT_EQ(s.dataLength(), 4 * kCaptureBufferBytes);
    EXPECT_TRUE(s.deviceOpen());
}

TEST_F(CaptureSessionTest, LongSilenceSaveAndPause) {
    view.opts.silence.actionAtBlank = 4;
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    deliver(quiet);
    deliver(quiet);
    EXPECT_FALSE(s.recording());
    EXPECT_EQ(fin.saves, std::vector<bool>{true});
    EXPECT_TRUE(s.deviceOpen());
    EXPECT_TRUE(s.fileOpen());
    EXPECT_EQ(farm.devices.size(), 1u);
    EXPECT_EQ(view.statuses.back(), RecorderStatus::Paused);
}

TEST_F(CaptureSessionTest, ThresholdBytesChangeOnlyWithANewSessionOrButton1032) {
    CaptureSession& s = make();
    s.record();
    EXPECT_EQ(s.silence().thresholdBytes, 16000u);
    view.opts.longBlankSeconds = 5;
    view.opts.formatRow = 0;
    s.stop();
    s.record();
    EXPECT_EQ(s.silence().thresholdBytes, 16000u);
    s.setLongBlankSeconds(3);
    EXPECT_EQ(s.silence().thresholdBytes, 48000u); // still the session's 8 kHz format
}

TEST_F(CaptureSessionTest, AnEmptyBufferWhileRecordingIsADeviceErrorThatKeepsTheRecord) {
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    deliver({});
    EXPECT_FALSE(s.recording());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_TRUE(view.messages[0].startsWith(QStringLiteral("Fail to open the audio recording")));
    EXPECT_EQ(data(), sound);
    EXPECT_EQ(le32(fileBytes(s.temporaryWavPath()), 40), kCaptureBufferBytes);

    view.opts.endpointMode = true;
    view.opts.endpointSelected = true;
    deliverHandedBack(farm.last());
    s.record();
    farm.last().refuseBuffers = true;
    deliver(quiet); // its re-queue is refused
    EXPECT_FALSE(s.recording());
    EXPECT_EQ(view.recordingFailedDialogs, 1);
    EXPECT_EQ(data(), concat({&sound, &quiet}));
}

TEST_F(CaptureSessionTest, DeviceOpenFailureDeletesTheFileAndTellsByMode) {
    farm.fail = true;
    CaptureSession& s = make();
    s.record();
    EXPECT_FALSE(s.recording());
    EXPECT_FALSE(s.fileOpen());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], QStringLiteral("Fail to open the audio recording device!\nPlease "
                                               "ensure the device is enabled and audio lines are "
                                               "connected."));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    view.opts.endpointMode = true;
    s.record(); // no endpoint selected: nothing happens
    EXPECT_EQ(farm.openedIndices.size(), 1u);
    view.opts.endpointSelected = true;
    s.record();
    EXPECT_EQ(view.recordingFailedDialogs, 1);
    EXPECT_EQ(view.messages.size(), 1u);
}

TEST_F(CaptureSessionTest, UnreadableControlsStopRecordBeforeAnythingOpens) {
    view.readOk = false;
    make().record();
    EXPECT_TRUE(farm.openedIndices.empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(CaptureSessionTest, NewRecordAsksAboutAModifiedRecord) {
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    s.stop();
    const QString path = s.temporaryWavPath();

    view.answers = {RecorderAnswer::Cancel};
    s.newRecord();
    EXPECT_TRUE(s.fileOpen());

    fin.saveSucceeds = false; // Yes, but the save is cancelled
    view.answers = {RecorderAnswer::Yes};
    s.newRecord();
    EXPECT_TRUE(s.fileOpen());
    EXPECT_EQ(fin.saves, std::vector<bool>{false});

    view.answers = {RecorderAnswer::No};
    s.newRecord();
    EXPECT_EQ(view.questions.size(), 3u);
    EXPECT_EQ(view.questions[0], QStringLiteral("Save modifications made to the current record?"));
    EXPECT_FALSE(s.fileOpen());
    EXPECT_FALSE(s.deviceOpen());
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(s.position(), 0u);
    EXPECT_EQ(view.lengthBytes, 0u);
    EXPECT_EQ(view.statuses.back(), RecorderStatus::Ready);
    EXPECT_EQ(fin.discards, 1);
    EXPECT_TRUE(view.buttons.deviceLists);
    EXPECT_FALSE(view.buttons.homeEnd);
}

TEST_F(CaptureSessionTest, ClosingTheWindow) {
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    EXPECT_FALSE(s.requestClose());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], QStringLiteral("Please stop recording before exit!"));
    s.stop();
    view.answers = {RecorderAnswer::Cancel};
    EXPECT_FALSE(s.requestClose());
    view.answers = {RecorderAnswer::No};
    EXPECT_TRUE(s.requestClose());
}

TEST_F(CaptureSessionTest, ButtonsFollowTheState) {
    CaptureSession& s = make();
    s.record();
    EXPECT_EQ(view.buttons, (RecorderButtons{false, false, false, false, true, false}));
    deliver(sound);
    s.stop();
    EXPECT_EQ(view.buttons, (RecorderButtons{true, true, true, true, false, false}));
}

TEST_F(CaptureSessionTest, WaveformIsFedAtMostEveryHundredMilliseconds) {
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    deliver(sound);
    EXPECT_EQ(view.waveforms, 1);
    ticks += 100;
    deliver(sound);
    EXPECT_EQ(view.waveforms, 1);
    ticks += 1;
    deliver(sound);
    EXPECT_EQ(view.waveforms, 2);
    (void)s;
}

TEST_F(CaptureSessionTest, SliderDragDoesNotMoveTheTrackbarAndHomeEndSetThePosition) {
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    s.stop();
    const int moves = view.trackbarMoves;
    s.sliderTracking(100);
    EXPECT_EQ(view.positionFrame, 100u);
    EXPECT_EQ(view.trackbarMoves, moves);
    s.sliderReleased(200);
    EXPECT_EQ(s.position(), 200u);
    s.end();
    EXPECT_EQ(s.position(), kCaptureBufferBytes / 2);
    s.home();
    EXPECT_EQ(s.position(), 0u);
    s.playerPosition(300, false);
    EXPECT_EQ(s.position(), 300u);
}

TEST_F(CaptureSessionTest, TrailingSilenceCutGoesBackToTheMarker) {
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    deliver(quiet);
    deliver(quiet);
    s.stop();
    s.cutTrailingSilence();
    EXPECT_EQ(data(), sound);
    EXPECT_EQ(le32(fileBytes(s.temporaryWavPath()), 40), kCaptureBufferBytes);
    EXPECT_EQ(s.position(), kCaptureBufferBytes / 2);
}

} // namespace

namespace {

TEST_F(CaptureSessionTest, ADeviceThatTakesNoBufferStopsRecordingAtOnce) {
    CaptureSession& s = make();
    // The device opens but refuses every buffer.
    s.record();
    s.stop();
    deliverHandedBack(farm.last());
    farm.last().refuseBuffers = true;
    s.record();
    EXPECT_FALSE(s.recording());
    EXPECT_EQ(view.messages.size(), 1u);
}

} // namespace

namespace {

TEST_F(CaptureSessionTest, EveryRecordHasItsOwnLockedFileAndANameInUseIsPassedOver) {
    // A file left by a dead process with the same id, not recovered yet.
    const std::string left = dir.file("mireldo_temp_4242_1.wav");
    testsupport::writeFile(left, {'k', 'e', 'e', 'p'});
    CaptureSession& s = make();
    s.record();
    ASSERT_TRUE(s.recording());
    EXPECT_EQ(QFileInfo(s.temporaryWavPath()).fileName(),
              QStringLiteral("mireldo_temp_4242_2.wav"));
    EXPECT_EQ(QFileInfo(s.temporaryCompressedPath()).fileName(),
              QStringLiteral("mireldo_temp_4242_2.mp3"));
    EXPECT_EQ(testsupport::readFile(left), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    // Whoever records into the file holds its lock; the start-up recovery of another run
    // tests it.
    EXPECT_FALSE(lockIsFree(s.temporaryWavPath()));
    deliver(sound);
    s.stop();
    EXPECT_FALSE(lockIsFree(s.temporaryWavPath()));
}

TEST_F(CaptureSessionTest, AFailedSplitSaveKeepsTheRecordAndRecordsOnIntoANewOne) {
    view.opts.silence.actionAtBlank = 2;
    fin.saveSucceeds = false;
    CaptureSession& s = make();
    s.record();
    const QString first = s.temporaryWavPath();
    deliver(sound);
    deliver(quiet);
    deliver(quiet); // long: the save fails
    ASSERT_EQ(fin.saves, std::vector<bool>{true});
    // The record stays on disk, whole and unlocked for the next start's recovery...
    ASSERT_EQ(view.kept, std::vector<QString>{first});
    EXPECT_EQ(s.keptRecords(), QStringList{first});
    const Bytes kept = fileBytes(first);
    ASSERT_EQ(kept.size(), 44u + 3 * kCaptureBufferBytes);
    EXPECT_EQ(le32(kept, 40), 3 * kCaptureBufferBytes);
    EXPECT_TRUE(std::equal(sound.begin(), sound.end(), kept.begin() + 44));
    EXPECT_TRUE(lockIsFree(first));
    EXPECT_TRUE(view.questions.empty());
    // ...and recording goes on into a record of its own, which never touches the kept one.
    EXPECT_TRUE(s.recording());
    EXPECT_NE(s.temporaryWavPath(), first);
    EXPECT_EQ(farm.devices.size(), 1u);
    deliver(sound);
    EXPECT_EQ(data(), sound);
    EXPECT_EQ(fileBytes(first), kept);

    // A session that ends with audio nobody saved leaves it too.
    const QString second = s.temporaryWavPath();
    s.stop();
    session.reset();
    EXPECT_EQ(fileBytes(second).size(), 44u + kCaptureBufferBytes);
    EXPECT_EQ(fileBytes(first), kept);
}

TEST_F(CaptureSessionTest, KeepingARecordClosesTheSessionWithoutDeletingIt) {
    CaptureSession& s = make();
    EXPECT_TRUE(s.keepRecord().isEmpty()); // no record
    s.record();
    deliver(sound);
    const QString path = s.keepRecord();
    EXPECT_EQ(path, QString::fromStdString(dir.file("mireldo_temp_4242_1.wav")));
    EXPECT_FALSE(s.recording());
    EXPECT_FALSE(s.deviceOpen());
    EXPECT_FALSE(s.fileOpen());
    EXPECT_EQ(s.dataLength(), 0u);
    EXPECT_EQ(view.statuses.back(), RecorderStatus::Ready);
    EXPECT_EQ(fin.discards, 1); // its compression is of no use any more
    EXPECT_EQ(fileBytes(path).size(), 44u + kCaptureBufferBytes);
    s.newRecord(); // nothing to ask, nothing deleted
    EXPECT_TRUE(view.questions.empty());
    EXPECT_TRUE(QFileInfo::exists(path));
}

TEST_F(CaptureSessionTest, EarlyEndsAreRemembered) {
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    s.stop();
    EXPECT_EQ(s.fault(), RecordingFault::None); // asked to stop

    s.record();
    deliverHandedBack(farm.last());
    space = kLowDiskSpaceBytes - 1;
    deliver(sound);
    EXPECT_FALSE(s.recording());
    EXPECT_EQ(s.fault(), RecordingFault::LowDiskSpace);

    space = std::uint64_t{1} << 40;
    s.record();
    deliverHandedBack(farm.last());
    deliver(Bytes{}); // an empty buffer: the device is broken
    EXPECT_FALSE(s.recording());
    EXPECT_EQ(s.fault(), RecordingFault::Device);
}

TEST_F(CaptureSessionTest, AWriteThatStopsInsideAFrameLeavesWholeFramesAndEndsRecording) {
    view.opts.formatRow = 13; // 8000 Hz 16-bit stereo: 4-byte frames
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    {
        // Room for 1,001 more bytes: the next buffer stops in its 251st frame.
        const FileSizeLimit limit(44 + kCaptureBufferBytes + 1001);
        deliver(sound);
    }
    EXPECT_FALSE(s.recording());
    EXPECT_EQ(s.fault(), RecordingFault::Write);
    ASSERT_FALSE(view.messages.empty());
    EXPECT_EQ(view.messages.back(), QStringLiteral("Fail to create a file for audio recording!"));
    const Bytes file = fileBytes(s.temporaryWavPath());
    ASSERT_EQ(file.size(), 44u + kCaptureBufferBytes + 1000);
    EXPECT_EQ(le32(file, 40), kCaptureBufferBytes + 1000);
    EXPECT_EQ(s.position(), (kCaptureBufferBytes + 1000) / 4);
    EXPECT_EQ(fin.discards, 1); // the compression got audio the record did not
    // Recording resumes at a frame boundary.
    s.record();
    deliverHandedBack(farm.last());
    deliver(sound);
    EXPECT_EQ(s.dataLength(), 2 * kCaptureBufferBytes + 1000);
}

TEST_F(CaptureSessionTest, AHeaderThatCannotBeWrittenAtStopIsReported) {
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    makeUnwritable(s.file().descriptor(), s.temporaryWavPath());
    s.stop();
    EXPECT_FALSE(s.recording());
    EXPECT_EQ(s.fault(), RecordingFault::Write);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], QStringLiteral("Fail to create a file for audio recording!"));
    EXPECT_EQ(view.statuses.back(), RecorderStatus::Paused);
}

TEST_F(CaptureSessionTest, TheStatusShowsAgainAfterAnotherWriterUsedTheLine) {
    CaptureSession& s = make();
    s.record();
    deliver(sound);
    s.stop();
    s.stop();
    EXPECT_EQ(view.statuses,
              (std::vector<RecorderStatus>{RecorderStatus::Recording, RecorderStatus::Paused}));
    view.shown.reset(); // the playlist wrote "Play: ..." into the line
    s.stop();
    EXPECT_EQ(view.statuses.back(), RecorderStatus::Paused);
    EXPECT_EQ(view.statuses.size(), 3u);
}

TEST_F(CaptureSessionTest, ALongSilenceThresholdIsComputedWithoutOverflow) {
    view.opts.formatRow = 1; // 48000 Hz 16-bit stereo
    view.opts.longBlankSeconds = 3000;
    CaptureSession& s = make();
    s.record();
    // 3,000 s x 192,000 bytes; in 32 bits it wrapped to 39,129,088 (a split after 204 s).
    EXPECT_EQ(s.silence().thresholdBytes, 576000000u);
}

} // namespace
