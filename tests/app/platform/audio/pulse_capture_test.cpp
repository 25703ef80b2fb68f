// The endpoint capture device against a private PulseAudio server: null sinks fed by pacat are
// the sources, their monitors are captured, and what comes back is compared with what was
// played. The server fades a new playback stream in over its first few hundred milliseconds,
// so comparisons start half a second into the played audio.

#include "audio/pulse_wave_in.h"
#include "core_app.h"
#include "message_receiver.h"
#include "pulse_server.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace mireldo::platform;
using namespace mireldo::platform::audio;
using testsupport::shellQuote;

namespace {

using Bytes = std::vector<unsigned char>;

// Collects what a device hands back; re-queues each buffer unless told to hold them.
class Collector : public MessageReceiver {
  public:
    explicit Collector(std::size_t buffers = 24) : headers(buffers), blocks(buffers) {
        for (std::size_t i = 0; i < buffers; ++i) {
            blocks[i].assign(10240, 0);
            headers[i].data = reinterpret_cast<char*>(blocks[i].data());
            headers[i].bufferLength = 10240;
        }
        onMessage<WaveBufferDone>(MM_WIM_DATA, [this](const WaveBufferDone& done) {
            WaveHeader* h = done.header;
            ++handedBack;
            if (h->bytesRecorded == 0) {
                ++empty;
            }
            data.insert(data.end(), h->data, h->data + h->bytesRecorded);
            if (requeue && device) {
                queue(*h);
            } else {
                held.push_back(h);
            }
        });
        onMessage<WaveInputLost>(MM_WIM_LOST,
                                 [this](const WaveInputLost& lost) { lostMs = lost.lostMs; });
    }

    void queue(WaveHeader& h) {
        prepareHeader(h);
        ASSERT_EQ(device->addBuffer(&h), DeviceError::None);
    }
    void queueAll(std::size_t count) {
        for (std::size_t i = 0; i < count && i < headers.size(); ++i) {
            queue(headers[i]);
        }
    }
    // Queues the buffers held back while requeue was off.
    void releaseHeld() {
        const std::vector<WaveHeader*> h = std::move(held);
        held.clear();
        for (WaveHeader* header : h) {
            queue(*header);
        }
    }

    WaveInPtr device;
    std::vector<WaveHeader> headers;
    std::vector<Bytes> blocks;
    Bytes data;
    std::vector<WaveHeader*> held;
    bool requeue = true;
    int handedBack = 0;
    int empty = 0;
    std::int64_t lostMs = -1;
};

// Runs a command on a thread of its own while the test thread handles messages.
class Background {
  public:
    explicit Background(std::string command)
        : thread_([this, c = std::move(command)] {
              result_ = testsupport::runCommand(c);
              done_ = true;
          }) {}
    ~Background() { thread_.join(); }
    bool done() const { return done_; }
    int exitCode() const { return result_.exitCode; }

  private:
    testsupport::CommandResult result_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// Deterministic 16-bit stereo frames, full range.
Bytes randomPcm16(std::size_t frames, std::uint32_t seed) {
    Bytes out(frames * 4);
    for (auto& b : out) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(seed >> 24);
    }
    return out;
}

// Where `needle` first occurs in `hay`, searching at frame steps of `step` bytes.
std::optional<std::size_t> findFrames(const Bytes& hay, const Bytes& needle, std::size_t step) {
    for (std::size_t at = 0; at + needle.size() <= hay.size(); at += step) {
        if (std::equal(needle.begin(), needle.end(),
                       hay.begin() + static_cast<std::ptrdiff_t>(at))) {
            return at;
        }
    }
    return std::nullopt;
}

// Waits (seconds at most) until `player` has ended and everything it played from byte `from`
// of `pcm` on (16-bit stereo) stands in `captured`; where in `captured` it starts, or nothing.
template <typename Player>
std::optional<std::size_t> waitForPlayedFrom(const Bytes& captured, const Player& player,
                                             const Bytes& pcm, std::size_t from) {
    const Bytes probe(pcm.begin() + static_cast<std::ptrdiff_t>(from),
                      pcm.begin() + static_cast<std::ptrdiff_t>(from + 64));
    std::optional<std::size_t> at;
    const bool found = platformtest::processEventsUntil(
        [&] {
            at = findFrames(captured, probe, 4);
            return player.done() && at && captured.size() >= *at + (pcm.size() - from);
        },
        15000);
    return found ? at : std::nullopt;
}

class PulseCapture : public ::testing::Test {
  protected:
    void SetUp() override { platformtest::coreApp(); }

    void startServer(const std::string& modules) {
        server.emplace(dir, modules);
        ASSERT_TRUE(server->waitReady());
    }

    // pacat playing `file` (a WAV, or raw with `rawArgs`) into `sink`, on its own thread.
    std::unique_ptr<Background> play(const std::string& sink, const std::string& file,
                                     const std::string& rawArgs = "--file-format=wav") {
        return std::make_unique<Background>(server->environmentPrefix() + "pacat " + rawArgs +
                                            " -d " + shellQuote(sink) + " " + shellQuote(file) +
                                            " 2>&1");
    }

    // Handles messages until `player` has finished and `bytes` have been captured.
    static bool captureUntil(Collector& c, const Background& player, std::size_t bytes) {
        return platformtest::processEventsUntil(
            [&] { return player.done() && c.data.size() >= bytes; }, 15000);
    }

    testsupport::TempDir dir;
    std::optional<testsupport::PulseServer> server;
};

} // namespace

TEST_F(PulseCapture, AMonitorAtItsOwnFormatGivesThePlayedSamplesExactly) {
    startServer("load-module module-null-sink sink_name=rec format=s16le rate=44100 channels=2");
    const std::size_t frames = 44100 * 3 / 2;
    const Bytes pcm = randomPcm16(frames, 5);
    const std::string wav = dir.file("played.wav");
    testsupport::writeFile(wav, testsupport::makeWav(2, 44100, 16, pcm));

    Collector c;
    DeviceError error = DeviceError::Failed;
    c.device = openPulseWaveIn(QStringLiteral("rec.monitor"), {2, 44100, 16}, c.handle(), &error);
    ASSERT_TRUE(c.device) << error;
    EXPECT_EQ(error, DeviceError::None);
    c.queueAll(24);
    ASSERT_EQ(c.device->start(), DeviceError::None);
    const auto player = play("rec", wav);

    // From half a second in, the played frames appear unchanged and in order.
    const std::size_t from = 22050 * 4;
    const auto at = waitForPlayedFrom(c.data, *player, pcm, from);
    ASSERT_TRUE(at) << "captured " << c.data.size() << " bytes";
    EXPECT_EQ(player->exitCode(), 0);
    EXPECT_TRUE(std::equal(pcm.begin() + static_cast<std::ptrdiff_t>(from), pcm.end(),
                           c.data.begin() + static_cast<std::ptrdiff_t>(*at)));
    EXPECT_EQ(c.device->close(), DeviceError::None);

    const auto counts = endpointCaptureCounts(*c.device);
    ASSERT_TRUE(counts);
    EXPECT_EQ(counts->lost, 0u);
    EXPECT_EQ(counts->consumed, counts->produced); // same format: a copy
    EXPECT_EQ(c.empty, 0);
}

TEST_F(PulseCapture, FloatMono48kGives44kFramesTheRulesPredict) {
    startServer("load-module module-null-sink sink_name=f format=float32le rate=48000 "
                "channels=1");
    // Two seconds of float noise, played raw.
    std::vector<float> played(96000);
    std::uint32_t seed = 9;
    for (float& v : played) {
        seed = seed * 1664525u + 1013904223u;
        v = static_cast<float>(static_cast<double>(seed >> 8) / 8388608.0 - 1.0) * 0.95f;
    }
    const std::string raw = dir.file("played.f32");
    Bytes bytes(played.size() * 4);
    std::memcpy(bytes.data(), played.data(), bytes.size());
    testsupport::writeFile(raw, bytes);

    Collector mono;
    Collector stereo;
    mono.device = openPulseWaveIn(QStringLiteral("f.monitor"), {1, 44100, 16}, mono.handle());
    stereo.device = openPulseWaveIn(QStringLiteral("f.monitor"), {2, 44100, 16}, stereo.handle());
    ASSERT_TRUE(mono.device && stereo.device);
    mono.queueAll(24);
    stereo.queueAll(24);
    ASSERT_EQ(mono.device->start(), DeviceError::None);
    ASSERT_EQ(stereo.device->start(), DeviceError::None);
    const auto player = play("f", raw, "--raw --format=float32le --rate=48000 --channels=1");
    ASSERT_TRUE(platformtest::processEventsUntil([&] { return player->done(); }, 15000));
    // The monitor goes on with silence; wait until the last played frame must be in.
    const std::size_t seen = mono.data.size();
    ASSERT_TRUE(platformtest::processEventsUntil(
        [&] { return mono.data.size() >= seen + 44100 / 2 * 2; }, 10000));
    // Close hands every buffer back; take them all in before counting what they hold.
    mono.requeue = false;
    stereo.requeue = false;
    mono.device->close();
    stereo.device->close();
    ASSERT_TRUE(platformtest::processEventsUntil(
        [&] { return mono.held.size() == 24 && stereo.held.size() == 24; }, 10000));

    const auto expected = [](float v) { return static_cast<int>(std::trunc(v * 32767.0L)); };
    for (Collector* c : {&mono, &stereo}) {
        const std::size_t channels = c == &mono ? 1 : 2;
        const std::size_t outFrames = c->data.size() / (2 * channels);
        const auto sample = [&](std::size_t frame) {
            const std::size_t at = frame * 2 * channels;
            return static_cast<int>(static_cast<std::int16_t>(c->data[at] | c->data[at + 1] << 8));
        };
        // Output frame j of the stream holds input frame ceil((j + 1) * 48000 / 44100) of the
        // stream. Played frame 0 is at stream frame d, unknown: pacat may even have started
        // before the capture did (d < 0).
        const auto inputOf = [](std::size_t j) {
            return static_cast<long long>(((j + 1) * 48000 + 44099) / 44100);
        };
        const auto playedAt = [&](std::size_t j, long long d) -> std::optional<float> {
            const long long k = inputOf(j) - d;
            if (k < 0 || k >= static_cast<long long>(played.size())) {
                return std::nullopt;
            }
            return played[static_cast<std::size_t>(k)];
        };
        const std::size_t first = [&] {
            std::size_t j = 0;
            while (j < outFrames && sample(j) == 0) {
                ++j;
            }
            return j;
        }();
        ASSERT_LT(first, outFrames);
        const std::size_t j0 = first + 44100 * 6 / 10; // past the fade-in
        std::optional<long long> start;
        for (long long d = -static_cast<long long>(played.size()); d <= inputOf(j0) && !start;
             ++d) {
            bool match = true;
            for (std::size_t j = j0; j < j0 + 16 && match; ++j) {
                const auto v = playedAt(j, d);
                match = v && sample(j) == expected(*v);
            }
            if (match) {
                start = d;
            }
        }
        ASSERT_TRUE(start) << channels << " channel(s)";
        ASSERT_LE(j0 + 44100, outFrames);
        int wrong = 0;
        for (std::size_t j = j0; j < j0 + 44100; ++j) {
            const auto v = playedAt(j, *start);
            ASSERT_TRUE(v) << "output frame " << j << " is past the played audio";
            const int want = expected(*v);
            wrong += sample(j) != want;
            if (channels == 2) {
                const std::size_t at = j * 4 + 2;
                wrong += static_cast<std::int16_t>(c->data[at] | c->data[at + 1] << 8) != want;
            }
        }
        EXPECT_EQ(wrong, 0) << channels << " channel(s)";

        const auto counts = endpointCaptureCounts(*c->device);
        ASSERT_TRUE(counts);
        EXPECT_EQ(counts->sourceRate, 48000u);
        EXPECT_EQ(counts->lost, 0u);
        EXPECT_EQ(counts->produced, outFrames); // everything produced was handed back
        EXPECT_EQ(counts->produced, (counts->consumed - 1) * 44100 / 48000);
    }
}

TEST_F(PulseCapture, ResetAndCloseHandBackEveryQueuedBuffer) {
    startServer("load-module module-sine-source source_name=sine");
    Collector c(40);
    c.requeue = false;
    c.device = openPulseWaveIn(QStringLiteral("sine"), {1, 8000, 8}, c.handle());
    ASSERT_TRUE(c.device);
    c.queueAll(40);
    // Stopped: reset returns all forty at once, each marked done and no longer queued.
    ASSERT_EQ(c.device->reset(), DeviceError::None);
    for (const WaveHeader& h : c.headers) {
        EXPECT_EQ(h.flags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    }
    ASSERT_TRUE(platformtest::processEventsUntil([&] { return c.handedBack == 40; }));

    // Running: some come back filled, the rest with the reset; each exactly once.
    c.held.clear();
    c.queueAll(40);
    ASSERT_EQ(c.device->start(), DeviceError::None);
    ASSERT_TRUE(platformtest::processEventsUntil([&] { return c.handedBack > 40; }));
    ASSERT_EQ(c.device->reset(), DeviceError::None);
    ASSERT_TRUE(platformtest::processEventsUntil([&] { return c.handedBack == 80; }));
    std::vector<WaveHeader*> back = c.held;
    std::sort(back.begin(), back.end());
    EXPECT_EQ(std::unique(back.begin(), back.end()), back.end());
    EXPECT_EQ(back.size(), 40u);

    // Close returns what is queued too, and nothing comes afterwards.
    c.held.clear();
    c.queueAll(10);
    ASSERT_EQ(c.device->close(), DeviceError::None);
    ASSERT_TRUE(platformtest::processEventsUntil([&] { return c.handedBack == 90; }));
    EXPECT_EQ(c.device->addBuffer(&c.headers[0]), DeviceError::InvalidHandle);
    QCoreApplication::processEvents();
    EXPECT_EQ(c.handedBack, 90);
}

TEST_F(PulseCapture, ASlowConsumerLosesNothingTheRingCanHold) {
    startServer("load-module module-null-sink sink_name=rec format=s16le rate=44100 channels=2");
    const std::size_t frames = 44100 * 5 / 2;
    const Bytes pcm = randomPcm16(frames, 21);
    const std::string wav = dir.file("played.wav");
    testsupport::writeFile(wav, testsupport::makeWav(2, 44100, 16, pcm));

    Collector c(150);
    c.device = openPulseWaveIn(QStringLiteral("rec.monitor"), {2, 44100, 16}, c.handle());
    ASSERT_TRUE(c.device);
    c.requeue = false;
    c.queueAll(4); // a fifth of a second of room, then nothing for over a second
    ASSERT_EQ(c.device->start(), DeviceError::None);
    const auto player = play("rec", wav);
    ASSERT_TRUE(platformtest::processEventsUntil([&] { return c.handedBack == 4; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    c.requeue = true;
    c.releaseHeld();
    for (std::size_t i = 4; i < c.headers.size(); ++i) {
        c.queue(c.headers[i]);
    }

    const std::size_t from = 22050 * 4;
    const auto at = waitForPlayedFrom(c.data, *player, pcm, from);
    ASSERT_TRUE(at);
    EXPECT_TRUE(std::equal(pcm.begin() + static_cast<std::ptrdiff_t>(from), pcm.end(),
                           c.data.begin() + static_cast<std::ptrdiff_t>(*at)))
        << "a gap in the captured audio";
    c.requeue = false;
    c.device->close();
    ASSERT_TRUE(platformtest::processEventsUntil([&] { return c.held.size() == 150; }));
    const auto counts = endpointCaptureCounts(*c.device);
    ASSERT_TRUE(counts);
    EXPECT_EQ(counts->lost, 0u);
    EXPECT_EQ(c.lostMs, -1) << "no loss was to be reported";
    EXPECT_EQ(c.device->overruns(), 0u) << "nothing overran";
    EXPECT_EQ(counts->produced * 4, c.data.size());
}

TEST_F(PulseCapture, OpenFailuresSayWhy) {
    startServer("load-module module-null-sink sink_name=wide format=s24le rate=96000 channels=4");
    Collector c;
    DeviceError error = DeviceError::None;
    EXPECT_FALSE(
        openPulseWaveIn(QStringLiteral("nothing.here"), {1, 44100, 16}, c.handle(), &error));
    EXPECT_EQ(error, DeviceError::NoDriver);
    EXPECT_FALSE(openPulseWaveIn(QString(), {3, 44100, 16}, c.handle(), &error));
    EXPECT_EQ(error, DeviceError::BadFormat);

    // A 24-bit source records all the same (as float from the server), here as the default.
    ASSERT_EQ(server->pactl("set-default-source wide.monitor").exitCode, 0);
    c.device = openPulseWaveIn(QString(), {2, 48000, 8}, c.handle(), &error);
    ASSERT_TRUE(c.device) << error;
    c.queueAll(8);
    ASSERT_EQ(c.device->start(), DeviceError::None);
    ASSERT_TRUE(platformtest::processEventsUntil([&] { return c.data.size() >= 4800 * 2; }));
    EXPECT_EQ(endpointCaptureCounts(*c.device)->sourceRate, 96000u);
    c.device->close();

    // No server at all.
    server.reset();
    error = DeviceError::None;
    EXPECT_FALSE(openPulseWaveIn(QString(), {1, 44100, 16}, c.handle(), &error));
    EXPECT_EQ(error, DeviceError::NoDriver);
}

TEST_F(PulseCapture, ASourceThatGoesAwayFailsTheDevice) {
    startServer("load-module module-null-sink sink_name=keep");
    const auto loaded = server->pactl("load-module module-sine-source source_name=gone");
    ASSERT_EQ(loaded.exitCode, 0);
    Collector c;
    c.device = openPulseWaveIn(QStringLiteral("gone"), {1, 44100, 16}, c.handle());
    ASSERT_TRUE(c.device);
    c.queueAll(24);
    ASSERT_EQ(c.device->start(), DeviceError::None);
    ASSERT_TRUE(platformtest::processEventsUntil([&] { return c.data.size() >= 44100; }));
    ASSERT_EQ(server->pactl("unload-module " + loaded.output.substr(0, loaded.output.find('\n')))
                  .exitCode,
              0);
    // Buffers now come back empty, and any buffer queued later comes straight back.
    ASSERT_TRUE(platformtest::processEventsUntil([&] { return c.empty > 0; }));
    EXPECT_EQ(c.device->close(), DeviceError::None);
}
