// Argument checks, call order, exports and the finishing calls of all four plug-ins.

#include "be_harness.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

namespace {

using namespace betest;

const char* const kPlugins[] = {"mpeg_enc.so", "wma_enc.so", "ogg_enc.so", "wave_enc.so"};

class EveryPlugin : public ::testing::TestWithParam<const char*> {};

TEST_P(EveryPlugin, ExportsExactlyTheSevenBeFunctions) {
    const auto r = testsupport::runCommand(
        std::string(MIRELDO_NM_EXE) + " -D --defined-only --format=just-symbols " +
        testsupport::shellQuote(testsupport::binDir() + "/" + GetParam()));
    ASSERT_EQ(r.exitCode, 0);
    std::set<std::string> symbols;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) {
            symbols.insert(line);
        }
    }
    const std::set<std::string> expected = {"beInitStream",  "beEncodeChunk", "beDeinitStream",
                                            "beCloseStream", "beVersion",     "beWriteVBRHeader",
                                            "beWriteInfoTag"};
    EXPECT_EQ(symbols, expected);
}

/// Redirects standard output and error to a file for its lifetime; what was printed is read back.
class CapturedOutput {
  public:
    CapturedOutput() : file_(dir_.file("printed")) {
        std::fflush(stdout);
        std::fflush(stderr);
        savedOut_ = ::dup(1);
        savedErr_ = ::dup(2);
        const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ::close(fd);
    }
    std::string finish() {
        std::fflush(stdout);
        std::fflush(stderr);
        ::dup2(savedOut_, 1);
        ::dup2(savedErr_, 2);
        ::close(savedOut_);
        ::close(savedErr_);
        const auto bytes = testsupport::readFile(file_);
        return std::string(bytes.begin(), bytes.end());
    }

  private:
    testsupport::TempDir dir_;
    std::string file_;
    int savedOut_ = -1;
    int savedErr_ = -1;
};

TEST_P(EveryPlugin, RejectsBadArgumentsAndCallsOutOfOrderWithoutPrinting) {
    PluginLibrary lib(GetParam());
    ASSERT_TRUE(lib.loaded());
    const bool isWave = std::string(GetParam()) == "wave_enc.so";
    testsupport::TempDir dir;
    const std::string path = dir.file("out.bin");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);

    CapturedOutput printed;
    uint32_t samples = 0;
    uint32_t size = static_cast<uint32_t>(fd);
    HBE_STREAM h = 0;
    BeConfig good = makeConfig(44100, 2, 128);

    // Null pointers at init.
    EXPECT_NE(lib.init(nullptr, &samples, &size, &h), 0u);
    EXPECT_NE(lib.init(&good, nullptr, &size, &h), 0u);
    EXPECT_NE(lib.init(&good, &samples, nullptr, &h), 0u);
    EXPECT_NE(lib.init(&good, &samples, &size, nullptr), 0u);

    // Records it cannot encode.
    auto rejects = [&](BeConfig cfg) {
        uint32_t s = static_cast<uint32_t>(fd);
        HBE_STREAM stream = 0;
        return lib.init(&cfg, &samples, &s, &stream) != 0;
    };
    BeConfig bad = good;
    bad.structSize = 330;
    EXPECT_TRUE(rejects(bad));
    bad = good;
    bad.config = 0;
    EXPECT_TRUE(rejects(bad));
    bad = good;
    bad.mode = 4;
    EXPECT_TRUE(rejects(bad));
    bad = good;
    bad.sampleRate = isWave ? 999 : 7999;
    EXPECT_TRUE(rejects(bad));
    bad = good;
    bad.sampleRate = isWave ? 400000 : 48001;
    EXPECT_TRUE(rejects(bad));
    bad = good;
    bad.bitsPerSample = 24;
    EXPECT_TRUE(rejects(bad));
    if (!isWave) {
        bad = good;
        bad.bitsPerSample = 8;
        EXPECT_TRUE(rejects(bad)) << "8-bit values are for WAV records only";
        bad = good;
        bad.bitrate = 0;
        EXPECT_TRUE(rejects(bad));
    }

    // A good stream, then every misuse of it.
    size = static_cast<uint32_t>(fd);
    ASSERT_EQ(lib.init(&good, &samples, &size, &h), 0u);
    ASSERT_NE(h, 0u);
    ASSERT_GT(size, 0u);
    std::vector<uint8_t> out(size);
    std::vector<uint8_t> pcm(size + 4, 0);
    uint32_t written = 0;
    EXPECT_NE(lib.encode(h, size / 2 + 2, pcm.data(), out.data(), &written), 0u)
        << "more values than the buffer allows";
    EXPECT_NE(lib.encode(h, 4, nullptr, out.data(), &written), 0u);
    EXPECT_NE(lib.encode(h, 4, pcm.data(), nullptr, &written), 0u);
    EXPECT_NE(lib.encode(h, 4, pcm.data(), out.data(), nullptr), 0u);
    EXPECT_NE(lib.encode(h + 1, 4, pcm.data(), out.data(), &written), 0u) << "unknown handle";
    EXPECT_NE(lib.encode(0, 4, pcm.data(), out.data(), &written), 0u);
    EXPECT_NE(lib.deinit(h, nullptr, &written), 0u);
    EXPECT_NE(lib.deinit(h, out.data(), nullptr), 0u);
    EXPECT_NE(lib.writeInfoTag(h, path.c_str()), 0u) << "info tag before the flush";
    EXPECT_NE(lib.writeInfoTag(h, nullptr), 0u);
    EXPECT_EQ(lib.encode(h, size / 2, pcm.data(), out.data(), &written), 0u);
    EXPECT_LE(written, size);
    EXPECT_EQ(lib.close(h), 0u);
    EXPECT_NE(lib.close(h), 0u) << "closed twice";
    EXPECT_NE(lib.encode(h, 4, pcm.data(), out.data(), &written), 0u) << "fed after close";
    EXPECT_NE(lib.deinit(h, out.data(), &written), 0u) << "flushed after close";
    EXPECT_NE(lib.writeInfoTag(h, path.c_str()), 0u) << "never flushed: nothing to complete";
    EXPECT_NE(lib.writeVbrHeader(nullptr), 0u);
    EXPECT_NE(lib.writeVbrHeader(dir.file("missing").c_str()), 0u);
    lib.version(nullptr);
    BeVersion v{};
    lib.version(&v);
    EXPECT_EQ(v.dllMajorVersion, 1);
    ::close(fd);
    EXPECT_EQ(printed.finish(), "");
}

TEST_P(EveryPlugin, FinishingCallCompletesOnlyTheFileItWrote) {
    PluginLibrary lib(GetParam());
    testsupport::TempDir dir;
    const std::string path = dir.file("out.bin");
    const std::string other = dir.file("other.bin");
    const auto pcm = toneBytes(22050, 2, 0.2);
    // Another file with the same bytes as the output, to be left untouched.
    EncodeOptions noFinish;
    const EncodeResult r = encodeFile(lib, makeConfig(22050, 2, 96), pcm, path, noFinish);
    ASSERT_TRUE(r.ok());
    const auto finished = testsupport::readFile(path);
    testsupport::writeFile(other, std::vector<uint8_t>(finished.size(), 0x55));

    // beWriteVBRHeader knows the file by name alone, as the converter calls it.
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC);
    ASSERT_GE(fd, 0);
    BeConfig cfg = makeConfig(22050, 2, 96);
    uint32_t samples = 0;
    uint32_t size = static_cast<uint32_t>(fd);
    HBE_STREAM h = 0;
    ASSERT_EQ(lib.init(&cfg, &samples, &size, &h), 0u);
    std::vector<uint8_t> out(size);
    uint32_t written = 0;
    ASSERT_EQ(
        lib.encode(h, static_cast<uint32_t>(pcm.size() / 2), pcm.data(), out.data(), &written), 0u);
    ASSERT_EQ(::write(fd, out.data(), written), static_cast<ssize_t>(written));
    ASSERT_EQ(lib.deinit(h, out.data(), &written), 0u);
    ASSERT_EQ(::write(fd, out.data(), written), static_cast<ssize_t>(written));
    ASSERT_EQ(lib.close(h), 0u);
    EXPECT_NE(lib.writeVbrHeader(other.c_str()), 0u) << "a file this plug-in did not write";
    EXPECT_EQ(testsupport::readFile(other), std::vector<uint8_t>(finished.size(), 0x55));
    EXPECT_EQ(lib.writeVbrHeader(path.c_str()), 0u);
    EXPECT_NE(lib.writeVbrHeader(path.c_str()), 0u) << "completed once";
    ::close(fd);
    EXPECT_EQ(testsupport::readFile(path), finished) << "same bytes as through beWriteInfoTag";
}

TEST_P(EveryPlugin, ForgetsOldestClosedStreamsNeverCompleted) {
    PluginLibrary lib(GetParam());
    testsupport::TempDir dir;
    const auto pcm = toneBytes(16000, 1, 0.05);
    std::vector<HBE_STREAM> handles;
    for (int i = 0; i < 20; ++i) {
        const std::string path = dir.file("f" + std::to_string(i));
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        BeConfig cfg = makeConfig(16000, 1, 64);
        uint32_t samples = 0;
        uint32_t size = static_cast<uint32_t>(fd);
        HBE_STREAM h = 0;
        ASSERT_EQ(lib.init(&cfg, &samples, &size, &h), 0u);
        std::vector<uint8_t> out(size);
        uint32_t written = 0;
        lib.encode(h, static_cast<uint32_t>(pcm.size() / 2), pcm.data(), out.data(), &written);
        ASSERT_EQ(::write(fd, out.data(), written), static_cast<ssize_t>(written));
        lib.deinit(h, out.data(), &written);
        ASSERT_EQ(::write(fd, out.data(), written), static_cast<ssize_t>(written));
        lib.close(h);
        ::close(fd);
        handles.push_back(h);
    }
    EXPECT_NE(lib.writeInfoTag(handles.front(), dir.file("f0").c_str()), 0u);
    EXPECT_EQ(lib.writeInfoTag(handles.back(), dir.file("f19").c_str()), 0u);
}

INSTANTIATE_TEST_SUITE_P(Plugins, EveryPlugin, ::testing::ValuesIn(kPlugins),
                         [](const ::testing::TestParamInfo<const char*>& paramInfo) {
                             std::string name = paramInfo.param;
                             return name.substr(0, name.find('.'));
                         });

TEST(Mp3Plugin, InfoFrameIsWrittenIntoTheFinishedFile) {
    PluginLibrary lib("mpeg_enc.so");
    testsupport::TempDir dir;
    const std::string path = dir.file("out.mp3");
    const auto pcm = toneBytes(44100, 2, 0.5);
    ASSERT_TRUE(encodeFile(lib, makeConfig(44100, 2, 128), pcm, path).ok());
    const auto file = testsupport::readFile(path);
    const std::string head(file.begin(), file.begin() + 64);
    EXPECT_NE(head.find("Info"), std::string::npos) << "LAME's info frame at the start";
    // The ffmpeg program trims delay and padding through it: the exact length comes back.
    const auto decoded = decodeWithTool(path);
    EXPECT_EQ(decoded.size(), pcm.size() / 2);
}

TEST(WmaPlugin, HeaderCarriesDurationAndSizeForFfprobe) {
    PluginLibrary lib("wma_enc.so");
    testsupport::TempDir dir;
    const std::string path = dir.file("out.wma");
    const auto pcm = toneBytes(44100, 2, 1.0);
    ASSERT_TRUE(encodeFile(lib, makeConfig(44100, 2, 320), pcm, path).ok());
    const auto file = testsupport::readFile(path);
    uint64_t fileSize = 0;
    std::memcpy(&fileSize, file.data() + 70, 8); // File Properties: file size
    EXPECT_EQ(fileSize, file.size());
    const ProbeInfo info = probeWithTool(path);
    EXPECT_EQ(info.codec, "wmav2");
    EXPECT_NEAR(info.duration, 1.0, 4096.0 / 44100);
}

TEST(CodecPlugins, FedAfterTheFlushTheFileGoesOn) {
    // A merge flushes after each source and feeds the next one into the same stream.
    for (const char* name : {"mpeg_enc.so", "ogg_enc.so"}) {
        PluginLibrary lib(name);
        testsupport::TempDir dir;
        const std::string path = dir.file("merged");
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        BeConfig cfg = makeConfig(44100, 2, 128);
        uint32_t samples = 0;
        uint32_t size = static_cast<uint32_t>(fd);
        HBE_STREAM h = 0;
        ASSERT_EQ(lib.init(&cfg, &samples, &size, &h), 0u);
        std::vector<uint8_t> out(size);
        const auto pcm = toneBytes(44100, 2, 0.4);
        for (int part = 0; part < 2; ++part) {
            uint32_t written = 0;
            ASSERT_EQ(lib.encode(h, static_cast<uint32_t>(pcm.size() / 2), pcm.data(), out.data(),
                                 &written),
                      0u);
            ASSERT_EQ(::write(fd, out.data(), written), static_cast<ssize_t>(written));
            ASSERT_EQ(lib.deinit(h, out.data(), &written), 0u);
            ASSERT_EQ(::write(fd, out.data(), written), static_cast<ssize_t>(written));
        }
        ASSERT_EQ(lib.close(h), 0u);
        EXPECT_EQ(lib.writeInfoTag(h, path.c_str()), 0u);
        ::close(fd);
        const auto decoded = decodeWithTool(path);
        // Both parts, each with at most a codec frame and the encoder delay of its own.
        EXPECT_NEAR(static_cast<double>(decoded.size()) / 2 / 44100, 0.8,
                    2 * (2048.0 + 1105) / 44100)
            << name;
    }
}

TEST(WmaPlugin, FedAfterTheFlushIsRefused) {
    PluginLibrary lib("wma_enc.so");
    testsupport::TempDir dir;
    const std::string path = dir.file("x.wma");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    BeConfig cfg = makeConfig(44100, 2, 320);
    uint32_t samples = 0;
    uint32_t size = static_cast<uint32_t>(fd);
    HBE_STREAM h = 0;
    ASSERT_EQ(lib.init(&cfg, &samples, &size, &h), 0u);
    std::vector<uint8_t> out(size);
    const auto pcm = toneBytes(44100, 2, 0.1);
    uint32_t written = 0;
    ASSERT_EQ(
        lib.encode(h, static_cast<uint32_t>(pcm.size() / 2), pcm.data(), out.data(), &written), 0u);
    ASSERT_EQ(lib.deinit(h, out.data(), &written), 0u);
    EXPECT_NE(lib.encode(h, 4, pcm.data(), out.data(), &written), 0u);
    lib.close(h);
    ::close(fd);
}

} // namespace
