// mireldo-cli convert as users run it: sources made by sox, outputs read by ffprobe and ffmpeg.

#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using testsupport::runCommand;
using testsupport::shellQuote;

class ConvertCli : public ::testing::Test {
  protected:
    testsupport::TempDir dir;

    std::string file(const std::string& name) { return dir.file(name); }

    std::string tone(const std::string& name, int rate, int channels, double seconds) {
        const std::string path = file(name);
        const auto r =
            runCommand(std::string(MIRELDO_SOX_EXE) + " -n -b 16 -r " + std::to_string(rate) +
                       " -c " + std::to_string(channels) + " " + shellQuote(path) + " synth " +
                       std::to_string(seconds) + " sine 440");
        EXPECT_EQ(r.exitCode, 0);
        return path;
    }

    testsupport::CommandResult convert(const std::string& args) {
        return runCommand("cd " + shellQuote(dir.path().string()) + " && " +
                          shellQuote(testsupport::binDir() + "/mireldo-cli") + " convert " + args +
                          " 2>/dev/null");
    }

    // Seconds of audio the file decodes to, and its rate and channels.
    std::string shape(const std::string& path) {
        return runCommand(std::string(MIRELDO_FFPROBE_EXE) +
                          " -v error -show_entries stream=sample_rate,channels -of csv=p=0 " +
                          shellQuote(path))
            .output;
    }
    double seconds(const std::string& path) {
        const auto r = runCommand(std::string(MIRELDO_FFMPEG_EXE) + " -v error -i " +
                                  shellQuote(path) + " -ac 1 -ar 8000 -f s16le - | wc -c");
        return std::stod(r.output) / 16000.0;
    }
};

} // namespace

TEST_F(ConvertCli, ConvertsWithTheChosenFormatAndReportsEachSource) {
    tone("a.wav", 44100, 2, 2.0);
    const auto r = convert("--type mp3 --rate 22050 --channels 1 --bitrate 64 --to out.MP3 a.wav");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, "Convert OK\t" + file("out.mp3") + "\n");
    EXPECT_EQ(shape(file("out.mp3")), "22050,1\n");
    EXPECT_NEAR(seconds(file("out.mp3")), 2.0, 0.1);
}

TEST_F(ConvertCli, FolderDestinationsSkipsAndOverwrite) {
    tone("a.wav", 16000, 1, 0.5);
    tone("b.wav", 16000, 1, 0.5);
    std::filesystem::create_directory(file("out"));
    // One source and an existing folder: the output goes inside it.
    auto r = convert("--type ogg --to out a.wav");
    EXPECT_EQ(r.output, "Convert OK\t" + file("out/a.ogg") + "\n");
    r = convert("--type ogg --to out/ a.wav b.wav");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output,
              "Skipped\t" + file("out/a.ogg") + "\nConvert OK\t" + file("out/b.ogg") + "\n");
    r = convert("--type ogg --overwrite --to out a.wav");
    EXPECT_EQ(r.output, "Convert OK\t" + file("out/a.ogg") + "\n");
}

TEST_F(ConvertCli, MergeAndRangeMakeOneFileOfTheSummedLength) {
    tone("a.wav", 44100, 2, 1.0);
    tone("b.wav", 22050, 1, 1.0);
    auto r = convert("--type wma --merge --to m.wma a.wav b.wav");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(shape(file("m.wma")), "44100,2\n");
    EXPECT_NEAR(seconds(file("m.wma")), 2.0, 0.1);

    r = convert("--type wav --range 0:00:00.2-0:00:00.7 --merge --to cut.wav a.wav b.wav");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NEAR(seconds(file("cut.wav")), 1.0, 0.01);
}

TEST_F(ConvertCli, FailuresExitOneAndLeaveNoOutput) {
    tone("a.wav", 16000, 1, 0.5);
    testsupport::writeFile(file("bad.mp3"), {'j', 'u', 'n', 'k'});
    const auto before = testsupport::readFile(file("a.wav"));
    auto r = convert("--type wav --overwrite --to a.wav a.wav");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, "Fail to write\t" + file("a.wav") + "\n");
    EXPECT_EQ(testsupport::readFile(file("a.wav")), before);

    r = convert("--type wav --to outs bad.mp3 a.wav");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, "Fail to write\t" + file("outs/bad.wav") + "\nFail to write\t" +
                            file("outs/a.wav") + "\n");

    r = convert("--type mp3 --to x.mp3 bad.mp3");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, "Fail to read\t" + file("x.mp3") + "\n");
    EXPECT_FALSE(std::filesystem::exists(file("x.mp3")));
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
    }
}

TEST_F(ConvertCli, UsageErrorsExitTwo) {
    tone("a.wav", 16000, 1, 0.5);
    for (const char* args :
         {"a.wav", "--to x", "--bitrate 100 --to x a.wav", "--type flac --to x a.wav",
          "--rate 11025 --to x a.wav", "--channels 3 --to x a.wav",
          "--range 1:00-2:00 --to x a.wav", "--range 0:00:02.0-0:00:01.0 --to x a.wav",
          "--frobnicate --to x a.wav", "--to"}) {
        const auto r = convert(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_EQ(r.output, "") << args;
    }
}
