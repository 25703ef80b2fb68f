// Files that change under an open stream, and files that are no regular files, through the
// library's exports. Each case runs in a child process: a signal fails the case, not the suite.
#include "child_process.h"
#include "sondrel_test_util.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace testsupport;
using namespace sondreltest;

namespace {

constexpr uint32_t kBlock = 4096; // frames per Decode call, as a player asks for them

class ChangingFile : public ::testing::TestWithParam<const char*> {
  protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir();
        const std::string wav = dir_->file("source.wav");
        run(std::string(MIRELDO_SOX_EXE) + " -n -r 44100 -c 2 -b 16 " + shellQuote(wav) +
            " synth 30 sine 440 sine 660");
        run(std::string(MIRELDO_LAME_EXE) + " --quiet -b 320 " + shellQuote(wav) + " " +
            shellQuote(dir_->file("fixture.mp3")));
        run(std::string(MIRELDO_TWOLAME_EXE) + " --quiet -b 384 " + shellQuote(wav) + " " +
            shellQuote(dir_->file("fixture.mp2")));
        run(std::string(MIRELDO_OGGENC_EXE) + " --quiet -q 3 -o " +
            shellQuote(dir_->file("fixture.ogg")) + " " + shellQuote(wav));
        run(std::string(MIRELDO_FFMPEG_EXE) + " -nostdin -v error -y -i " + shellQuote(wav) +
            " -c:a wmav2 -b:a 128k -f asf " + shellQuote(dir_->file("fixture.wma")));
        writeFile(dir_->file("fixture.wav"), makeWav(2, 44100, 16, patternBytes(44100 * 4 * 30)));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static void run(const std::string& command) {
        const auto r = runCommand(command + " 2>&1");
        ASSERT_EQ(r.exitCode, 0) << command << "\n" << r.output;
    }
    // A fresh copy of the fixture of the parameter's extension.
    static std::string copy(const std::string& name) {
        const std::string path = dir_->file(name + GetParam());
        std::filesystem::copy_file(dir_->file(std::string("fixture") + GetParam()), path,
                                   std::filesystem::copy_options::overwrite_existing);
        return path;
    }

    // The code a reader answers when a seek fails: the file it seeks in may be gone.
    static int32_t seekFailure() {
        return std::string(GetParam()) == ".wma" ? SONDREL_ERR_WINDOWS_MEDIA
                                                 : SONDREL_ERR_BEYOND_END;
    }

    static TempDir* dir_;
};
TempDir* ChangingFile::dir_ = nullptr;

// Decodes from frame `first` in blocks until a call yields fewer frames than asked. Returns the
// frames delivered, or sets problem when a call fails with a code other than `allowed`.
uint64_t decodeToTheEnd(SondrelStream* s, uint32_t first, std::string& problem,
                        int32_t allowed = SONDREL_OK) {
    WAVEFORMATEX* f = nullptr;
    Sondrel_GetStreamFormat(s, &f);
    std::vector<uint8_t> buffer(size_t{kBlock} * f->nBlockAlign);
    uint64_t total = 0;
    for (uint32_t at = first;;) {
        uint32_t got = 0;
        const int32_t code = Sondrel_DecodeAudio(s, at, kBlock, buffer.data(), &got);
        if (code != SONDREL_OK && code != allowed) {
            problem = "Decode at " + std::to_string(at) + " answered " + std::to_string(code);
            return total;
        }
        total += got;
        at += got;
        if (got < kBlock) {
            return total;
        }
    }
}

TEST_P(ChangingFile, CutShortBetweenOpenAndBeginEndsTheStreamEarly) {
    const std::string path = copy("cut-before-begin");
    const std::string problem = runInChild([&]() -> std::string {
        int32_t code = -1;
        StreamPtr s = open(path, code);
        if (!s) {
            return "open answered " + std::to_string(code);
        }
        uint32_t length = 0;
        Sondrel_GetStreamLength(s.get(), &length);
        if (truncate(path.c_str(), static_cast<off_t>(std::filesystem::file_size(path) / 3)) != 0) {
            return "truncate failed";
        }
        if (const int32_t begin = Sondrel_DecodeAudioBegin(s.get()); begin != SONDREL_OK) {
            return "Begin answered " + std::to_string(begin);
        }
        std::string failure;
        const uint64_t total = decodeToTheEnd(s.get(), 0, failure);
        if (!failure.empty()) {
            return failure;
        }
        if (total == 0 || total >= length) {
            return "a third of the file gave " + std::to_string(total) + " of " +
                   std::to_string(length) + " frames";
        }
        // Cut to nothing: every call still answers, with no frames.
        if (truncate(path.c_str(), 0) != 0) {
            return "truncate failed";
        }
        Sondrel_DecodeAudioEnd(s.get());
        Sondrel_DecodeAudioBegin(s.get());
        const uint64_t none = decodeToTheEnd(s.get(), 0, failure, seekFailure());
        if (!failure.empty()) {
            return failure + " on an empty file";
        }
        return none == 0 ? "" : std::to_string(none) + " frames from an empty file";
    });
    EXPECT_EQ(problem, "") << GetParam();
}

TEST_P(ChangingFile, CutShortBehindTheDecodePositionEndsTheStreamThere) {
    const std::string path = copy("cut-mid-decode");
    const std::string problem = runInChild([&]() -> std::string {
        int32_t code = -1;
        StreamPtr s = open(path, code);
        if (!s) {
            return "open answered " + std::to_string(code);
        }
        uint32_t length = 0;
        Sondrel_GetStreamLength(s.get(), &length);
        if (Sondrel_DecodeAudioBegin(s.get()) != SONDREL_OK) {
            return "Begin failed";
        }
        // Play half, then another program rewrites the file to a quarter of its size.
        const auto half = decode(s.get(), 0, length / 2, &code);
        if (code != SONDREL_OK || half.empty()) {
            return "the first half answered " + std::to_string(code);
        }
        const uint32_t at = static_cast<uint32_t>(length / 2);
        if (truncate(path.c_str(), static_cast<off_t>(std::filesystem::file_size(path) / 4)) != 0) {
            return "truncate failed";
        }
        std::string failure;
        const uint64_t rest = decodeToTheEnd(s.get(), at, failure, seekFailure());
        if (!failure.empty()) {
            return failure;
        }
        // Some readers still hold a little decoded audio; never the half that is gone.
        if (rest >= length - at) {
            return "the cut file still gave " + std::to_string(rest) + " frames after the middle";
        }
        // What is left can still be played from the start.
        const uint64_t again = decodeToTheEnd(s.get(), 0, failure, seekFailure());
        if (!failure.empty()) {
            return failure + " from the start";
        }
        return again < length ? "" : "the whole length came back from a quarter of the file";
    });
    EXPECT_EQ(problem, "") << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Formats, ChangingFile,
                         ::testing::Values(".mp3", ".mp2", ".wav", ".ogg", ".wma"),
                         [](const auto& paramInfo) { return std::string(paramInfo.param + 1); });

// Something that is not a regular file is refused at once; a FIFO would block a reader forever.
TEST(NotARegularFile, FifoIsRefusedWithoutWaitingForAWriter) {
    TempDir dir;
    for (const char* name : {"x.mp3", "x.mp2", "x.wav", "x.ogg", "x.wma", "x.klx"}) {
        const std::string path = dir.file(name);
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        const std::string problem = runInChild(
            [&]() -> std::string {
                const int32_t code = openCode(path);
                if (code != SONDREL_ERR_OPEN) {
                    return "open answered " + std::to_string(code);
                }
                return "";
            },
            10);
        EXPECT_EQ(problem, "") << name;
    }
    const std::string problem = runInChild(
        [&]() -> std::string {
            uint32_t rate = 0;
            const int32_t code = Sondrel_GetMP3SampleRate(dir.file("x.mp3").c_str(), &rate);
            return code == SONDREL_ERR_OPEN ? "" : "sample rate answered " + std::to_string(code);
        },
        10);
    EXPECT_EQ(problem, "");
    // A device is no file either.
    uint32_t rate = 0;
    EXPECT_EQ(Sondrel_GetMP3SampleRate("/dev/null", &rate), SONDREL_ERR_OPEN);
}

} // namespace
