// The MPEG reader's length scan and seek index against a plain reference scan (search a sync,
// parse the header, step by its length, pass a bad header by one byte) over the same bytes held
// in memory: on long files whose frames cross the reader's buffer, with tag frames in the middle,
// garbage between frames, channel changes and a cut last frame.
#include "file_window.h"
#include "mpeg_audio_stream.h"
#include "mpeg_header.h"
#include "sondrel_test_util.h"
#include "stream_dispatch.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

using namespace testsupport;

namespace {

struct Scan {
    uint32_t length = 0;
    std::vector<SeekIndexEntry> index;
};

// The reference: every frame through the general search and the header parser.
Scan referenceScan(const std::vector<uint8_t>& file) {
    uint32_t end = static_cast<uint32_t>(file.size());
    if (end >= 128 && std::memcmp(file.data() + end - 128, "TAG", 3) == 0) {
        end -= 128;
    }
    const std::span<const uint8_t> payload(file.data(), end);
    auto window = [&](uint32_t offset, uint32_t wanted) {
        std::vector<uint8_t> bytes(wanted, 0);
        const uint32_t have = std::min(wanted, end - offset);
        std::memcpy(bytes.data(), payload.data() + offset, have);
        return bytes;
    };
    auto findSync = [&](uint32_t offset) -> int64_t {
        const int64_t found = sondrel::findFrameSync(
            payload.subspan(offset, std::min<uint32_t>(end - offset, 480000)));
        return found < 0 ? -1 : offset + found;
    };
    uint32_t offset = sondrel::mpegSearchStart(payload);
    sondrel::MpegFrameInfo first;
    for (;; ++offset) {
        const int64_t sync = findSync(offset);
        if (sync < 0) {
            return {};
        }
        offset = static_cast<uint32_t>(sync);
        if (sondrel::parseMpegFrameHeader(window(offset, 156), first) == 0) {
            break;
        }
    }
    const uint32_t channels = static_cast<uint32_t>(first.channels);
    const int kbps = sondrel::mpegBitrateKbps(first.version == 1 ? 1 : 2, 3, first.bitrateIndex);
    const int rate = sondrel::mpegSampleRate(first.version == 1 ? 1 : 2, first.sampleRateIndex);
    const auto parseWindow =
        static_cast<uint32_t>(std::clamp<int64_t>(int64_t{kbps} * 2440000 / rate, 156, 65535));
    const uint32_t span = end - offset;
    const uint32_t indexSize = std::clamp(span / channels / 20480u, 1u, 1024u);
    const uint32_t indexStep = span / indexSize;
    Scan scan;
    uint64_t total = 0;
    uint32_t lastIndexed = offset;
    while (offset < end) {
        const int64_t sync = findSync(offset);
        if (sync < 0) {
            break;
        }
        offset = static_cast<uint32_t>(sync);
        sondrel::MpegFrameInfo info;
        if (sondrel::parseMpegFrameHeader(window(offset, parseWindow), info) != 0) {
            ++offset;
            continue;
        }
        if (scan.index.empty() ||
            (offset - lastIndexed >= indexStep && scan.index.size() < indexSize)) {
            scan.index.push_back({static_cast<uint32_t>(total), offset});
            lastIndexed = offset;
        }
        total += static_cast<uint32_t>(info.outputBytes) / (channels * 2);
        offset += static_cast<uint32_t>(std::max(sondrel::mpegSteppingLength(info), 1));
    }
    scan.length = static_cast<uint32_t>(total);
    return scan;
}

Scan readerScan(const std::string& path) {
    std::unique_ptr<sondrel::DecoderStream> s;
    EXPECT_EQ(sondrel::openStream(path.c_str(), 1, 1, s), SONDREL_OK) << path;
    if (!s) {
        return {};
    }
    Scan scan;
    s->GetLength(&scan.length);
    uint32_t count = 0;
    s->ExtractIndex(&count, nullptr);
    scan.index.resize(count);
    s->ExtractIndex(&count, scan.index.data());
    return scan;
}

void expectSameScan(const std::string& path) {
    const Scan want = referenceScan(readFile(path));
    const Scan got = readerScan(path);
    ASSERT_GT(want.length, 0u) << path;
    EXPECT_EQ(got.length, want.length) << path;
    ASSERT_EQ(got.index.size(), want.index.size()) << path;
    for (size_t i = 0; i < want.index.size(); ++i) {
        EXPECT_EQ(got.index[i].framePosition, want.index[i].framePosition)
            << path << " entry " << i;
        EXPECT_EQ(got.index[i].byteOffset, want.index[i].byteOffset) << path << " entry " << i;
    }
}

class MpegLengthScan : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir();
        const std::string sox = MIRELDO_SOX_EXE;
        const std::string lame = std::string(MIRELDO_LAME_EXE) + " --quiet ";
        run(sox + " -n -r 44100 -c 2 -b 16 " + q("st.wav") + " synth 3 pinknoise sine 440 vol 0.3");
        run(sox + " -n -r 44100 -c 1 -b 16 " + q("mono.wav") + " synth 2 sine 523");
        run(lame + "-V 2 " + q("st.wav") + " " + q("vbr.mp3"));
        run(lame + "-b 128 " + q("st.wav") + " " + q("cbr.mp3"));
        run(lame + "-b 64 " + q("mono.wav") + " " + q("mono.mp3"));
        run(std::string(MIRELDO_TWOLAME_EXE) + " --quiet -b 192 " + q("st.wav") + " " +
            q("l2.mp2"));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string file(const std::string& name) { return dir_->file(name); }
    static std::string q(const std::string& name) { return shellQuote(file(name)); }
    static void run(const std::string& command) {
        const auto r = runCommand(command + " 2>&1");
        ASSERT_EQ(r.exitCode, 0) << command << "\n" << r.output;
    }
    // Copies of the named files one after the other (each keeps its tag frame).
    static std::vector<uint8_t> joined(std::initializer_list<const char*> names, int times) {
        std::vector<uint8_t> out;
        for (int t = 0; t < times; ++t) {
            for (const char* name : names) {
                const auto bytes = readFile(file(name));
                out.insert(out.end(), bytes.begin(), bytes.end());
            }
        }
        return out;
    }
    static TempDir* dir_;
};
TempDir* MpegLengthScan::dir_ = nullptr;

TEST_F(MpegLengthScan, LongFilesWithTagFramesInsideMatchTheReference) {
    // Several megabytes: frames and tag frames across the reader's buffer boundaries.
    writeFile(file("vbr-long.mp3"), joined({"vbr.mp3"}, 40));
    expectSameScan(file("vbr-long.mp3"));
    writeFile(file("cbr-long.mp3"), joined({"cbr.mp3"}, 40));
    expectSameScan(file("cbr-long.mp3"));
    writeFile(file("l2-long.mp2"), joined({"l2.mp2"}, 30));
    expectSameScan(file("l2-long.mp2"));
}

TEST_F(MpegLengthScan, ChannelChangesCountAsTheReferenceCounts) {
    writeFile(file("st-mono.mp3"), joined({"cbr.mp3", "mono.mp3"}, 10));
    expectSameScan(file("st-mono.mp3"));
    writeFile(file("mono-st.mp3"), joined({"mono.mp3", "cbr.mp3"}, 10));
    expectSameScan(file("mono-st.mp3"));
}

TEST_F(MpegLengthScan, GarbageBetweenFramesAndACutEndMatchTheReference) {
    std::mt19937 rng(31);
    for (int trial = 0; trial < 6; ++trial) {
        std::vector<uint8_t> bytes = joined({"vbr.mp3", "cbr.mp3"}, 8);
        // Runs of garbage, full of sync-like bytes, at random places (mid-frame too).
        for (int cut = 0; cut < 30; ++cut) {
            const auto at = static_cast<size_t>(rng() % bytes.size());
            std::vector<uint8_t> junk(1 + rng() % 700);
            for (auto& b : junk) {
                b = (rng() % 3 == 0) ? 0xFF : static_cast<uint8_t>(rng() % 256);
            }
            bytes.insert(bytes.begin() + static_cast<long>(at), junk.begin(), junk.end());
        }
        // The last frame cut short.
        bytes.resize(bytes.size() - 1 - rng() % 300);
        const std::string path = file("junk" + std::to_string(trial) + ".mp3");
        writeFile(path, bytes);
        expectSameScan(path);
    }
}

TEST_F(MpegLengthScan, AHeaderWithAReservedLayerNeverFixesTheFormat) {
    // Before the first frame: a sync, MPEG-2, the reserved layer code, 22,050 Hz, single
    // channel. It is no frame header, so the stereo 44.1 kHz frames after it fix the format.
    std::vector<uint8_t> bytes = {0xFF, 0xF0, 0x90, 0xC0, 0, 0, 0, 0};
    const auto clean = readFile(file("cbr.mp3"));
    bytes.insert(bytes.end(), clean.begin(), clean.end());
    writeFile(file("reserved-layer.mp3"), bytes);
    std::unique_ptr<sondrel::DecoderStream> s;
    ASSERT_EQ(sondrel::openStream(file("reserved-layer.mp3").c_str(), 1, 1, s), SONDREL_OK);
    WAVEFORMATEX* format = nullptr;
    s->GetFormat(&format);
    EXPECT_EQ(format->nChannels, 2);
    EXPECT_EQ(format->nSamplesPerSec, 44100u);
    EXPECT_EQ(readerScan(file("reserved-layer.mp3")).length, readerScan(file("cbr.mp3")).length);
    expectSameScan(file("reserved-layer.mp3"));
}

TEST_F(MpegLengthScan, TagsAtBothEndsAreSkippedAsByTheReference) {
    std::vector<uint8_t> bytes;
    putBytes(bytes, "ID3");
    bytes.insert(bytes.end(), {3, 0, 0, 0, 0, 0x08, 0}); // 1,024 bytes of tag body
    for (int i = 0; i < 1024; ++i) {
        bytes.push_back(i % 2 ? 0xFB : 0xFF); // frame-like bytes inside the tag
    }
    const auto audio = joined({"cbr.mp3"}, 5);
    bytes.insert(bytes.end(), audio.begin(), audio.end());
    putBytes(bytes, "TAG");
    for (int i = 0; i < 125; ++i) {
        bytes.push_back(i % 2 ? 0xFB : 0xFF);
    }
    writeFile(file("tagged.mp3"), bytes);
    expectSameScan(file("tagged.mp3"));
}

} // namespace
