// The window program's command line: files, the end of options, Qt's own options, and the
// answers given without a window.

#include "command_line.h"
#include "mireldo_version.h"

#include <QDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using mireldo::CommandLine;
using mireldo::parseCommandLine;

CommandLine parse(std::initializer_list<const char*> args) {
    QStringList list{QStringLiteral("mireldo")};
    for (const char* a : args) {
        list.append(QString::fromUtf8(a));
    }
    return parseCommandLine(list);
}

QString inCurrentFolder(const char* name) {
    return QDir::currentPath() + QLatin1Char('/') + QString::fromUtf8(name);
}

// What answerWithoutWindow() writes, through a memory stream.
struct Captured {
    int status = 0;
    std::string out;
    std::string err;
};

Captured answer(const CommandLine& line) {
    char* outBuf = nullptr;
    char* errBuf = nullptr;
    std::size_t outLen = 0;
    std::size_t errLen = 0;
    std::FILE* out = open_memstream(&outBuf, &outLen);
    std::FILE* err = open_memstream(&errBuf, &errLen);
    Captured c;
    c.status = mireldo::answerWithoutWindow(line, out, err);
    std::fclose(out);
    std::fclose(err);
    c.out.assign(outBuf, outLen);
    c.err.assign(errBuf, errLen);
    std::free(outBuf);
    std::free(errBuf);
    return c;
}

TEST(CommandLine, FilesBecomeAbsoluteInTheOrderGiven) {
    const auto line = parse({"b.wav", "/music/a.mp3", "sub/../c.ogg"});
    EXPECT_EQ(line.action, CommandLine::Action::Run);
    EXPECT_EQ(line.files, (QStringList{inCurrentFolder("b.wav"), QStringLiteral("/music/a.mp3"),
                                       inCurrentFolder("c.ogg")}));
    EXPECT_TRUE(parse({}).files.isEmpty());
}

TEST(CommandLine, AfterTheEndOfOptionsEverythingIsAFile) {
    const auto line = parse({"--", "-take.wav", "--help"});
    EXPECT_EQ(line.action, CommandLine::Action::Run);
    EXPECT_EQ(line.files, (QStringList{inCurrentFolder("-take.wav"), inCurrentFolder("--help")}));
}

TEST(CommandLine, QtsOwnOptionsAndTheirValuesAreNoFiles) {
    const auto line = parse({"-platform", "offscreen", "a.wav", "-style=fusion", "--reverse",
                             "--stylesheet", "x.qss", "b.wav"});
    EXPECT_EQ(line.action, CommandLine::Action::Run);
    EXPECT_EQ(line.files, (QStringList{inCurrentFolder("a.wav"), inCurrentFolder("b.wav")}));
}

TEST(CommandLine, HelpAndVersionWinOverFiles) {
    EXPECT_EQ(parse({"a.wav", "--help"}).action, CommandLine::Action::Help);
    EXPECT_EQ(parse({"-h"}).action, CommandLine::Action::Help);
    EXPECT_EQ(parse({"--version", "a.wav"}).action, CommandLine::Action::Version);
}

TEST(CommandLine, UnknownOptionsAndMissingValuesAreWrongUsage) {
    auto line = parse({"a.wav", "--bogus"});
    EXPECT_EQ(line.action, CommandLine::Action::UsageError);
    EXPECT_EQ(line.error, QStringLiteral("unknown option '--bogus'"));
    line = parse({"-x"});
    EXPECT_EQ(line.action, CommandLine::Action::UsageError);
    line = parse({"a.wav", "-platform"});
    EXPECT_EQ(line.action, CommandLine::Action::UsageError);
    EXPECT_EQ(line.error, QStringLiteral("option '-platform' needs a value"));
}

TEST(CommandLine, AnswersWithoutAWindow) {
    auto c = answer(parse({"--help"}));
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.out.rfind("usage: mireldo [--] [FILE...]\n", 0), 0u) << c.out;
    EXPECT_EQ(c.err, "");

    c = answer(parse({"--version"}));
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.out, std::string("mireldo ") + MIRELDO_VERSION + "\n");

    c = answer(parse({"--bogus"}));
    EXPECT_EQ(c.status, 2);
    EXPECT_EQ(c.out, "");
    EXPECT_EQ(c.err.rfind("mireldo: unknown option '--bogus'\nusage: mireldo", 0), 0u) << c.err;

    EXPECT_EQ(answer(parse({"a.wav"})).status, -1) << "the window has to start";
}

} // namespace
