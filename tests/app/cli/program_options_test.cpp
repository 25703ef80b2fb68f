// The four programs' common command-line contract, run as users run them: --help prints the
// usage on standard output and exits 0 (the window program without any display), --version
// prints the name and the release, and wrong usage exits 2 with the usage on standard error.

#include "mireldo_version.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

using testsupport::runCommand;
using testsupport::shellQuote;

namespace {

struct Program {
    const char* name;
    const char* wrongUsage; // arguments that are wrong usage
};

// Test names show the program, not the record's bytes.
void PrintTo(const Program& program, std::ostream* os) {
    *os << program.name;
}

constexpr Program kPrograms[] = {
    {"mireldo", "--bogus"},
    {"mireldo-cli", "--bogus"},
    {"sondrel-info", "--bogus x.wav"},
    {"sondrel-decode", "only-one-argument"},
};

class ProgramOptions : public ::testing::TestWithParam<Program> {
  protected:
    // No display of any kind: --help and --version must not need one.
    std::string run(const std::string& args, const std::string& redirect) const {
        return "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
               shellQuote(testsupport::binDir() + "/" + GetParam().name) + " " + args + " " +
               redirect;
    }
};

TEST_P(ProgramOptions, HelpGoesToStandardOutputWithoutADisplay) {
    const auto r = run("--help", "2>/dev/null");
    const auto result = runCommand(r);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.output.find("usage: "), std::string::npos) << result.output;
    EXPECT_NE(result.output.find(GetParam().name), std::string::npos) << result.output;
}

TEST_P(ProgramOptions, VersionNamesTheProgramAndTheRelease) {
    const auto result = runCommand(run("--version", "2>/dev/null"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, std::string(GetParam().name) + " " + MIRELDO_VERSION + "\n");
}

TEST_P(ProgramOptions, WrongUsageExitsTwoWithTheUsageOnStandardError) {
    const auto quiet = runCommand(run(GetParam().wrongUsage, "2>/dev/null"));
    EXPECT_EQ(quiet.exitCode, 2);
    EXPECT_EQ(quiet.output, "") << "nothing on standard output";
    const auto both = runCommand(run(GetParam().wrongUsage, "2>&1"));
    EXPECT_NE(both.output.find("usage: "), std::string::npos) << both.output;
}

INSTANTIATE_TEST_SUITE_P(EveryProgram, ProgramOptions, ::testing::ValuesIn(kPrograms),
                         [](const auto& paramInfo) {
                             std::string name = paramInfo.param.name;
                             for (char& c : name) {
                                 c = c == '-' ? '_' : c;
                             }
                             return name;
                         });

TEST(ProgramOptionsSondrel, AFileNamedLikeAnOptionIsReadAfterTheEndOfOptions) {
    testsupport::TempDir dir;
    const std::string path = dir.file("-odd.wav");
    testsupport::writeFile(path, testsupport::makeWav(1, 8000, 16, testsupport::patternBytes(800)));
    const auto r =
        runCommand("cd " + shellQuote(dir.path().string()) + " && " +
                   shellQuote(testsupport::binDir() + "/sondrel-info") + " -- -odd.wav 2>&1");
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("result: 0"), std::string::npos) << r.output;
}

TEST(ProgramOptionsSondrel, LibraryResultCodesStayTheExitStatus) {
    testsupport::TempDir dir;
    const auto r = runCommand(shellQuote(testsupport::binDir() + "/sondrel-info") + " " +
                              shellQuote(dir.file("missing.wav")) + " 2>/dev/null");
    EXPECT_EQ(r.exitCode, 1) << "result code 1: file not found";
}

} // namespace
