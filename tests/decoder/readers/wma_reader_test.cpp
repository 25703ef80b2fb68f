// The WMA reader: on files ffmpeg makes at test time through the real runtime (loaded by name
// beside the program), and on a scripted runtime in this file where exact sample sizes matter.
#include "decoder_stream.h"
#include "stream_dispatch.h"
#include "test_support.h"
#include "wma_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> decodeRange(sondrel::DecoderStream& s, uint32_t first, uint32_t count,
                                 int32_t* codeOut = nullptr) {
    std::vector<uint8_t> out(size_t{count} * s.format().nBlockAlign);
    uint32_t got = 0;
    const int32_t code = s.Decode(first, count, out.data(), &got);
    if (codeOut != nullptr) {
        *codeOut = code;
    }
    EXPECT_LE(got, count);
    out.resize(size_t{got} * s.format().nBlockAlign);
    return out;
}

void run(const std::string& command) {
    const auto r = runCommand(command + " 2>&1");
    ASSERT_EQ(r.exitCode, 0) << command << "\n" << r.output;
}

// A one-second sox signal at 44,100 Hz encoded by ffmpeg with the given audio options.
void makeAsf(const std::string& out, int channels, const std::string& codecArgs, int bits = 16,
             uint32_t rate = 44100) {
    const std::string wav = out + ".wav";
    run(std::string(MIRELDO_SOX_EXE) + " -n -r " + std::to_string(rate) + " -b " +
        std::to_string(bits) + " -c " + std::to_string(channels) + " " + shellQuote(wav) +
        " synth 1 sine 440" + (channels > 1 ? " sine 555" : ""));
    run(std::string(MIRELDO_FFMPEG_EXE) + " -nostdin -v error -y -i " + shellQuote(wav) + " " +
        codecArgs + " -f asf " + shellQuote(out));
}

// What ffmpeg itself decodes from a file, as 16-bit interleaved PCM.
std::vector<uint8_t> ffmpegPcm(const std::string& file) {
    const std::string raw = file + ".raw";
    run(std::string(MIRELDO_FFMPEG_EXE) + " -nostdin -v error -y -i " + shellQuote(file) +
        " -f s16le " + shellQuote(raw));
    return readFile(raw);
}

class WmaReader : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = new TempDir();
        makeAsf(dir->file("v2-mono.wma"), 1, "-c:a wmav2 -b:a 64k");
        makeAsf(dir->file("v2-stereo.wma"), 2, "-c:a wmav2 -b:a 128k");
        makeAsf(dir->file("v1-mono.wma"), 1, "-c:a wmav1 -b:a 64k");
        makeAsf(dir->file("v1-stereo.wma"), 2, "-c:a wmav1 -b:a 128k");
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    static std::unique_ptr<sondrel::DecoderStream> open(const std::string& path, int32_t& code) {
        std::unique_ptr<sondrel::DecoderStream> s;
        code = sondrel::openStream(path.c_str(), 1, 1, s);
        return s;
    }
    static TempDir* dir;
};
TempDir* WmaReader::dir = nullptr;

TEST_F(WmaReader, FfmpegFilesDecodeLikeFfmpegInPiecesOfAnySize) {
    struct Case {
        const char* name;
        uint16_t channels;
        uint32_t bitrate;
    };
    for (const Case& c : {Case{"v2-mono.wma", 1, 64000}, Case{"v2-stereo.wma", 2, 128000},
                          Case{"v1-mono.wma", 1, 64000}, Case{"v1-stereo.wma", 2, 128000}}) {
        SCOPED_TRACE(c.name);
        const std::string path = dir->file(c.name);
        int32_t code = -1;
        auto s = open(path, code);
        ASSERT_EQ(code, SONDREL_OK);
        const WAVEFORMATEX& f = s->format();
        EXPECT_EQ(f.wFormatTag, 1);
        EXPECT_EQ(f.nChannels, c.channels);
        EXPECT_EQ(f.nSamplesPerSec, 44100u);
        EXPECT_EQ(f.wBitsPerSample, 16);
        EXPECT_EQ(f.nBlockAlign, c.channels * 2);
        EXPECT_EQ(f.nAvgBytesPerSec, c.bitrate / 8);
        EXPECT_EQ(f.cbSize, 18);
        // One second of input is 22 frames of 2048 in the header (1.021 s); the decoder
        // delivers one frame fewer, and the length says so.
        EXPECT_EQ(s->lengthFrames(), 21u * 2048u);

        const std::vector<uint8_t> expected = ffmpegPcm(path);
        ASSERT_GT(expected.size(), size_t{40000} * f.nBlockAlign);
        std::vector<uint8_t> all;
        uint32_t at = 0;
        for (;;) {
            const auto piece = decodeRange(*s, at, 1000);
            all.insert(all.end(), piece.begin(), piece.end());
            at += static_cast<uint32_t>(piece.size() / f.nBlockAlign);
            if (piece.size() < size_t{1000} * f.nBlockAlign) {
                break;
            }
        }
        EXPECT_TRUE(all == expected) << all.size() << " bytes against ffmpeg's " << expected.size();
        EXPECT_EQ(all.size(), size_t{s->lengthFrames()} * f.nBlockAlign);
        auto* wma = dynamic_cast<sondrel::WmaStream*>(s.get());
        ASSERT_NE(wma, nullptr);
        EXPECT_EQ(wma->rangeCount(), 0u);
    }
}

// Decodes the whole stream in pieces of 4096 frames; returns the frames delivered.
uint64_t decodedFrames(sondrel::DecoderStream& s) {
    uint64_t total = 0;
    for (;;) {
        const auto piece = decodeRange(s, static_cast<uint32_t>(total), 4096);
        total += piece.size() / s.format().nBlockAlign;
        if (piece.size() < size_t{4096} * s.format().nBlockAlign) {
            return total;
        }
    }
}

TEST_F(WmaReader, LengthIsWhatDecodeDelivers) {
    struct Case {
        int channels;
        uint32_t rate;
        const char* codec;
    };
    for (const Case& c :
         {Case{1, 8000, "-c:a wmav2 -b:a 32k"}, Case{2, 16000, "-c:a wmav2 -b:a 64k"},
          Case{1, 22050, "-c:a wmav2 -b:a 48k"}, Case{2, 32000, "-c:a wmav1 -b:a 96k"},
          Case{2, 44100, "-c:a wmav2 -b:a 320k"}, Case{2, 48000, "-c:a wmav2 -b:a 128k"}}) {
        const std::string path =
            dir->file("len-" + std::to_string(c.channels) + "-" + std::to_string(c.rate) + ".wma");
        makeAsf(path, c.channels, c.codec, 16, c.rate);
        SCOPED_TRACE(path);
        int32_t code = -1;
        auto s = open(path, code);
        ASSERT_EQ(code, SONDREL_OK);
        const uint32_t length = s->lengthFrames();
        EXPECT_EQ(decodedFrames(*s), length);
        // A Decode just before the reported end still has its frames.
        EXPECT_EQ(decodeRange(*s, length - 100, 100, &code).size(), 100u * s->format().nBlockAlign);
        EXPECT_EQ(code, SONDREL_OK);
    }
}

TEST_F(WmaReader, AFileCutShortOpensAndPlaysWhatItHolds) {
    const std::string whole = dir->file("ten-seconds.wma");
    const std::string wav = whole + ".wav";
    run(std::string(MIRELDO_SOX_EXE) + " -n -r 44100 -b 16 -c 2 " + shellQuote(wav) +
        " synth 10 sine 440 sine 555");
    run(std::string(MIRELDO_FFMPEG_EXE) + " -nostdin -v error -y -i " + shellQuote(wav) +
        " -c:a wmav2 -b:a 128k -f asf " + shellQuote(whole));
    const auto bytes = readFile(whole);
    // Cut to 32,000 bytes (the header still claims ten seconds), and cut by a few per cent.
    for (const size_t size : {size_t{32000}, bytes.size() * 97 / 100}) {
        const std::string cut = dir->file("cut-" + std::to_string(size) + ".wma");
        writeFile(cut,
                  std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(size)));
        SCOPED_TRACE(cut);
        int32_t code = -1;
        auto s = open(cut, code);
        ASSERT_EQ(code, SONDREL_OK);
        const uint32_t length = s->lengthFrames();
        const auto expected = ffmpegPcm(cut);
        EXPECT_EQ(size_t{length} * 4, expected.size()) << "the length is what the file still holds";
        EXPECT_EQ(decodedFrames(*s), length);
        const auto all = decodeRange(*s, 0, length + 5000);
        EXPECT_TRUE(all == expected) << all.size() << " bytes against ffmpeg's " << expected.size();
    }
}

TEST_F(WmaReader, ContinuingSetsNoRangeAndGoingBackDoes) {
    int32_t code = -1;
    auto s = open(dir->file("v2-stereo.wma"), code);
    ASSERT_EQ(code, SONDREL_OK);
    auto* wma = dynamic_cast<sondrel::WmaStream*>(s.get());
    ASSERT_NE(wma, nullptr);

    const auto a = decodeRange(*s, 0, 1000);
    const auto b = decodeRange(*s, 1000, 1000);
    EXPECT_EQ(wma->rangeCount(), 0u);
    ASSERT_EQ(a.size(), 4000u);
    ASSERT_EQ(b.size(), 4000u);

    const auto again = decodeRange(*s, 0, 2000);
    EXPECT_EQ(wma->rangeCount(), 1u);
    std::vector<uint8_t> both(a);
    both.insert(both.end(), b.begin(), b.end());
    EXPECT_TRUE(again == both);
}

TEST_F(WmaReader, SeeksLandOnTheFrameReadingFromTheStartReaches) {
    int32_t code = -1;
    const std::string path = dir->file("v1-stereo.wma");
    auto s = open(path, code);
    ASSERT_EQ(code, SONDREL_OK);
    const std::vector<uint8_t> expected = ffmpegPcm(path);
    const uint32_t total = static_cast<uint32_t>(expected.size() / 4);
    // Forward and backward, inside the first codec frames and far from them, up to the end.
    for (uint32_t first : {30001u, 777u, 20000u, 12345u, 1u, total - 500}) {
        SCOPED_TRACE(first);
        const auto got = decodeRange(*s, first, 3000);
        const size_t want = std::min<size_t>(3000, total - first) * 4;
        ASSERT_EQ(got.size(), want);
        EXPECT_EQ(std::memcmp(got.data(), expected.data() + size_t{first} * 4, want), 0);
    }
}

TEST_F(WmaReader, FileWithoutBitRateGives8) {
    // ffmpeg's ASF files carry the bit rate only in the audio stream's format record
    // (bytes per second at offset 8 of the stream-specific data); zero it.
    std::vector<uint8_t> bytes = readFile(dir->file("v2-mono.wma"));
    const uint8_t streamProperties[16] = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                          0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
    const auto at = std::search(bytes.begin(), bytes.end(), std::begin(streamProperties),
                                std::end(streamProperties));
    ASSERT_NE(at, bytes.end());
    const size_t avgBytes = static_cast<size_t>(at - bytes.begin()) + 78 + 8;
    ASSERT_LT(avgBytes + 4, bytes.size());
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(avgBytes), 4, 0);
    const std::string path = dir->file("no-bitrate.wma");
    writeFile(path, bytes);
    int32_t code = -1;
    auto s = open(path, code);
    EXPECT_EQ(code, SONDREL_ERR_WINDOWS_MEDIA);
    EXPECT_EQ(s, nullptr);
}

TEST_F(WmaReader, PcmInAsfGivesItsOwnFormat) {
    // 8-bit PCM comes out as 8-bit frames, byte for byte as it went in.
    const std::string u8 = dir->file("u8.wma");
    makeAsf(u8, 1, "-c:a pcm_u8", 8, 22050);
    int32_t code = -1;
    auto s = open(u8, code);
    ASSERT_EQ(code, SONDREL_OK);
    EXPECT_EQ(s->format().wBitsPerSample, 8);
    EXPECT_EQ(s->format().nBlockAlign, 1);
    EXPECT_EQ(s->lengthFrames(), 22050u);
    const std::vector<uint8_t> wav = readFile(u8 + ".wav");
    const auto pcm = decodeRange(*s, 0, 30000);
    ASSERT_EQ(pcm.size(), 22050u);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), wav.end() - 22050));

    // Three channels cannot be played: unsupported.
    const std::string three = dir->file("three.wma");
    makeAsf(three, 3, "-c:a pcm_s16le");
    EXPECT_EQ(sondrel::openStream(three.c_str(), 1, 1, s), SONDREL_ERR_UNSUPPORTED);
}

TEST_F(WmaReader, DamagedFilesFailWith8) {
    std::unique_ptr<sondrel::DecoderStream> s;
    const std::string wav = dir->file("wav.wma");
    writeFile(wav, makeWav(1, 8000, 16, patternBytes(800)));
    EXPECT_EQ(sondrel::openStream(wav.c_str(), 1, 1, s), SONDREL_ERR_WINDOWS_MEDIA);
    std::vector<uint8_t> cut = readFile(dir->file("v2-mono.wma"));
    cut.resize(300);
    writeFile(dir->file("cut.wma"), cut);
    EXPECT_EQ(sondrel::openStream(dir->file("cut.wma").c_str(), 1, 1, s),
              SONDREL_ERR_WINDOWS_MEDIA);
    EXPECT_EQ(sondrel::openStream(dir->file("missing.wma").c_str(), 1, 1, s),
              SONDREL_ERR_NOT_FOUND);
    EXPECT_EQ(s, nullptr);
}

// sondrel-info from a folder: the result line it prints for path.
std::string infoResult(const std::string& folder, const std::string& path) {
    const auto r =
        runCommand(shellQuote(folder + "/sondrel-info") + " " + shellQuote(path) + " 2>/dev/null");
    const size_t at = r.output.find("result: ");
    return at == std::string::npos ? r.output : r.output.substr(at, r.output.find('\n', at) - at);
}

TEST_F(WmaReader, RuntimeIsFoundBesideTheLibraryAndItsAbsenceOnlyFailsWma) {
    const std::string wma = dir->file("v2-mono.wma");
    const std::string wav = dir->file("plain.wav");
    writeFile(wav, makeWav(2, 44100, 16, patternBytes(4000)));

    EXPECT_EQ(infoResult(binDir(), wma), "result: 0 (success)");

    // The program and the library alone in a folder: no runtime beside them.
    const fs::path bare = dir->path() / "bare";
    fs::create_directory(bare);
    fs::copy_file(binDir() + "/sondrel-info", bare / "sondrel-info");
    fs::copy_file(SONDREL_LIBRARY_PATH, bare / SONDREL_SONAME);
    EXPECT_EQ(infoResult(bare.string(), wma), "result: 17 (WMA runtime missing)");
    EXPECT_EQ(infoResult(bare.string(), wav), "result: 0 (success)");

    // A library of that name without the reader factory is no runtime either.
    fs::copy_file(SONDREL_LIBRARY_PATH, bare / "libwmaruntime.so");
    EXPECT_EQ(infoResult(bare.string(), wma), "result: 17 (WMA runtime missing)");
    EXPECT_EQ(infoResult(bare.string(), wav), "result: 0 (success)");
}

// A scripted runtime: one mono 16-bit output at 44,100 Hz whose samples are `sampleFrames`
// long and hold their own frame numbers, so every delivered frame tells where it came from.
struct Script {
    bool hasBitrate = true;
    uint64_t duration = 10'000'000;
    uint32_t sampleFrames = 4096;
    uint32_t totalFrames = 44100;
    // What the runtime saw.
    uint32_t fetched = 0;
    uint32_t ranges = 0;
    uint64_t lastRangeStart = 0;
    uint32_t next = 0;
    bool opened = false;
};
Script* script = nullptr;

struct FakeSample : WmrSample {
    std::vector<uint8_t> bytes;
};

void fakeSampleRelease(WmrSample* s) {
    delete static_cast<FakeSample*>(s);
}
int32_t fakeSampleBuffer(WmrSample* s, uint8_t** data, uint32_t* length) {
    auto* f = static_cast<FakeSample*>(s);
    *data = f->bytes.data();
    *length = static_cast<uint32_t>(f->bytes.size());
    return WMR_OK;
}
const WmrSampleVtbl kFakeSample{&fakeSampleRelease, &fakeSampleBuffer};

const WmrSyncReaderVtbl kFakeReader{
    [](WmrSyncReader* r) { delete r; },
    [](WmrSyncReader*, const char*) {
        script->opened = true;
        return int32_t{WMR_OK};
    },
    [](WmrSyncReader*) {
        script->opened = false;
        return int32_t{WMR_OK};
    },
    [](WmrSyncReader*, uint16_t, const char* name, uint32_t* type, uint8_t* value,
       uint16_t* length) -> int32_t {
        uint64_t v = 0;
        uint16_t width = 0;
        if (std::strcmp(name, "Duration") == 0) {
            v = script->duration;
            width = 8;
            *type = WMR_TYPE_QWORD;
        } else if (std::strcmp(name, "Bitrate") == 0 && script->hasBitrate) {
            v = 128000;
            width = 4;
            *type = WMR_TYPE_DWORD;
        } else {
            return WMR_E_NOT_FOUND;
        }
        if (value != nullptr) {
            std::memcpy(value, &v, width);
        }
        *length = width;
        return WMR_OK;
    },
    [](WmrSyncReader*, uint32_t* n) {
        *n = 1;
        return int32_t{WMR_OK};
    },
    [](WmrSyncReader*, uint32_t* n) {
        *n = 1;
        return int32_t{WMR_OK};
    },
    [](WmrSyncReader*, uint32_t, uint16_t* number, WmrGuid* type) {
        *number = 1;
        *type = WMR_MEDIATYPE_Audio;
        return int32_t{WMR_OK};
    },
    [](WmrSyncReader*, uint32_t, uint16_t* number) {
        *number = 1;
        return int32_t{WMR_OK};
    },
    [](WmrSyncReader*, uint32_t, uint32_t, WmrMediaType* t) {
        *t = WmrMediaType{};
        t->majorType = WMR_MEDIATYPE_Audio;
        t->formatSize = 18;
        const WAVEFORMATEX f{1, 1, 44100, 88200, 2, 16, 0};
        std::memcpy(t->format, &f, 18);
        return int32_t{WMR_OK};
    },
    [](WmrSyncReader*, uint16_t, int32_t) { return int32_t{WMR_OK}; },
    [](WmrSyncReader*, uint16_t, int32_t) { return int32_t{WMR_OK}; },
    [](WmrSyncReader*, uint64_t start, int64_t) {
        ++script->ranges;
        script->lastRangeStart = start;
        script->next = static_cast<uint32_t>((start * 44100 + 5'000'000) / 10'000'000);
        return int32_t{WMR_OK};
    },
    [](WmrSyncReader*, uint16_t, WmrSample** out, uint64_t*, uint64_t*) -> int32_t {
        ++script->fetched;
        if (script->next >= script->totalFrames) {
            return WMR_E_NO_MORE_SAMPLES;
        }
        auto* s = new FakeSample{};
        s->vtbl = &kFakeSample;
        const uint32_t n = std::min(script->sampleFrames, script->totalFrames - script->next);
        for (uint32_t i = 0; i < n; ++i) {
            const auto v = static_cast<uint16_t>(script->next + i);
            s->bytes.push_back(static_cast<uint8_t>(v));
            s->bytes.push_back(static_cast<uint8_t>(v >> 8));
        }
        script->next += n;
        *out = s;
        return WMR_OK;
    },
};

int32_t fakeFactory(uint32_t, uint32_t, WmrSyncReader** out) {
    *out = new WmrSyncReader{&kFakeReader};
    return WMR_OK;
}

class ScriptedRuntime : public ::testing::Test {
  protected:
    void SetUp() override {
        script = &state;
        // The reader's base open needs a file; the scripted runtime never reads it.
        writeFile(path, patternBytes(64));
    }
    void TearDown() override {
        stream.Close();
        script = nullptr;
    }
    int32_t open() { return stream.Open(path.c_str(), 1); }

    TempDir dir;
    std::string path = dir.file("scripted.wma");
    Script state;
    sondrel::WmaStream stream{&fakeFactory};
};

// Frame numbers held by 16-bit mono PCM.
std::vector<uint16_t> frameNumbers(const std::vector<uint8_t>& pcm) {
    std::vector<uint16_t> out(pcm.size() / 2);
    std::memcpy(out.data(), pcm.data(), out.size() * 2);
    return out;
}

TEST_F(ScriptedRuntime, ASampleReadInFourPiecesIsFetchedOnce) {
    ASSERT_EQ(open(), SONDREL_OK);
    EXPECT_EQ(stream.lengthFrames(), 44100u); // 1 s at 44,100 Hz
    EXPECT_EQ(stream.format().nAvgBytesPerSec, 128000u / 8);
    uint32_t at = 0;
    for (uint32_t count : {1000u, 1000u, 1000u, 1096u}) {
        const auto pcm = decodeRange(stream, at, count);
        const auto numbers = frameNumbers(pcm);
        ASSERT_EQ(numbers.size(), count);
        EXPECT_EQ(numbers.front(), at);
        EXPECT_EQ(numbers.back(), at + count - 1);
        at += count;
    }
    EXPECT_EQ(state.fetched, 1u);
    EXPECT_EQ(state.ranges, 0u);
    // The next frame opens the next sample.
    EXPECT_EQ(frameNumbers(decodeRange(stream, at, 1)).front(), 4096);
    EXPECT_EQ(state.fetched, 2u);
}

TEST_F(ScriptedRuntime, ARequestSpanningSamplesAndTheEnd) {
    state.totalFrames = 10000;
    ASSERT_EQ(open(), SONDREL_OK);
    const auto numbers = frameNumbers(decodeRange(stream, 0, 20000));
    ASSERT_EQ(numbers.size(), 10000u); // short: the end of the stream
    for (uint32_t i = 0; i < numbers.size(); ++i) {
        ASSERT_EQ(numbers[i], i);
    }
    EXPECT_TRUE(decodeRange(stream, 10000, 100).empty());
}

TEST_F(ScriptedRuntime, SeekingDropsThePendingSampleAndSetsTheRangeInTimeUnits) {
    ASSERT_EQ(open(), SONDREL_OK);
    decodeRange(stream, 0, 1000);
    const auto numbers = frameNumbers(decodeRange(stream, 30000, 10));
    EXPECT_EQ(state.ranges, 1u);
    // Frame 30000 at 44,100 Hz starts at 6802721.08... units, truncated.
    EXPECT_EQ(state.lastRangeStart, 6802721u);
    ASSERT_EQ(numbers.size(), 10u);
    EXPECT_EQ(numbers.front(), 30000);
    EXPECT_EQ(stream.rangeCount(), 1u);
}

TEST_F(ScriptedRuntime, HeaderProblemsAtOpen) {
    state.hasBitrate = false;
    EXPECT_EQ(open(), SONDREL_ERR_WINDOWS_MEDIA);
    EXPECT_FALSE(state.opened) << "the runtime's reader is closed again";
    state.hasBitrate = true;
    state.duration = 200; // 20 microseconds: less than one frame
    EXPECT_EQ(open(), SONDREL_ERR_EMPTY);
    state.duration = 10'000'000ull * 200'000; // beyond 32 bits of frames
    ASSERT_EQ(open(), SONDREL_OK);
    EXPECT_EQ(stream.lengthFrames(), 0xFFFFFFFFu);
}

} // namespace
