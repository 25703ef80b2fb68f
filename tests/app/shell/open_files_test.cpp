// `mireldo FILE...`: the files named on the command line join the playlist, in the window itself
// and when a second program hands them to the running one.

#include "main_window.h"
#include "play_list_box.h"
#include "playlist_model.h"
#include "profile_store.h"
#include "user_messages.h"

#include "test_support.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <sys/stat.h>
#include <thread>

namespace {

using testsupport::runCommand;
using testsupport::shellQuote;

QApplication& app() {
    static int argc = 1;
    static char name[] = "test_shell_open_files";
    static char* argv[] = {name, nullptr};
    static QApplication instance(argc, argv);
    return instance;
}

class SilentMessages : public mireldo::UserMessages {
  public:
    mireldo::MessageAnswer showMessage(const QString&, mireldo::MessageIcon,
                                       mireldo::MessageButtons) override {
        return mireldo::MessageAnswer::Ok;
    }
};

std::string makeWavFile(const testsupport::TempDir& dir, const std::string& name) {
    const std::string path = dir.file(name);
    testsupport::writeFile(path,
                           testsupport::makeWav(2, 44100, 16, testsupport::patternBytes(4 * 4410)));
    return path;
}

TEST(OpenFiles, FilesOfTheCommandLineJoinThePlaylistInOrderTheLastSelected) {
    app();
    testsupport::TempDir dir;
    mireldo::platform::ProfileStore::setFolderForTesting(QString::fromStdString(dir.path()));
    SilentMessages messages;
    const QString a = QString::fromStdString(makeWavFile(dir, "a.wav"));
    const QString b = QString::fromStdString(makeWavFile(dir, "b take.wav"));
    const QString listFile = QString::fromStdString(dir.file("list.lst"));
    {
        mireldo::DialogServices services;
        services.messages = &messages;
        services.pluginFolder = QString::fromStdString(dir.path().string());
        services.playlistFile = listFile;
        mireldo::CRecorderDialog dialog(std::move(services));
        auto* list = dynamic_cast<mireldo::playlist::CPlayListBox*>(
            dialog.control(mireldo::MainCtl::Playlist));
        ASSERT_NE(list, nullptr);
        ASSERT_NE(list->model(), nullptr);

        dialog.openFiles({a, b});
        ASSERT_EQ(list->model()->count(), 2);
        EXPECT_EQ(list->model()->item(0)->path, a);
        EXPECT_EQ(list->model()->item(1)->path, b);
        EXPECT_EQ(list->selectedIndices(), std::vector<int>{1});

        // A file already in the list is not added twice.
        dialog.openFiles({a});
        EXPECT_EQ(list->model()->count(), 2);
    }
    // The list was saved with both (`playlist show` numbers the items by their titles).
    const auto shown =
        runCommand(shellQuote(testsupport::binDir() + "/mireldo-cli") + " playlist --list " +
                   shellQuote(listFile.toStdString()) + " show");
    EXPECT_EQ(shown.exitCode, 0);
    EXPECT_EQ(shown.output.rfind("1. a\n", 0), 0u) << shown.output;
    EXPECT_NE(shown.output.find("\n2. b take\n"), std::string::npos) << shown.output;
    mireldo::platform::ProfileStore::setFolderForTesting(QString());
}

// Two real programs: the first window runs on the offscreen platform; a second `mireldo FILE`
// gives the file to it and exits 0; the first's list then holds it.
TEST(OpenFiles, ASecondProgramHandsItsFilesToTheRunningWindow) {
    testsupport::TempDir dir;
    const std::string run = dir.file("run");
    ASSERT_EQ(::mkdir(run.c_str(), 0700), 0);
    const std::string env = "env HOME=" + shellQuote(dir.path().string()) +
                            " XDG_RUNTIME_DIR=" + shellQuote(run) +
                            " XDG_DATA_HOME=" + shellQuote(dir.file("data")) +
                            " XDG_STATE_HOME=" + shellQuote(dir.file("state")) +
                            " MIRELDO_CONFIG_DIR=" + shellQuote(dir.file("config")) +
                            " MIRELDO_AUDIO_MODE=virtual QT_QPA_PLATFORM=offscreen ";
    const std::string mireldo = shellQuote(testsupport::binDir() + "/mireldo");

    const std::string firstCommand =
        "exec " + env + mireldo + " >" + shellQuote(dir.file("first.log")) + " 2>&1";
    const pid_t first = ::fork();
    if (first == 0) {
        ::execl("/bin/sh", "sh", "-c", firstCommand.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(first, 0);
    // The first window is ended however the test ends (waits up to 30 s for it to go).
    struct Ender {
        pid_t pid;
        ~Ender() {
            ::kill(pid, SIGTERM);
            int status = 0;
            for (int i = 0; i < 600 && ::waitpid(pid, &status, WNOHANG) == 0; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
    } ender{first};
    // The first is ready when its socket exists (waits up to 30 s).
    bool listening = false;
    for (int i = 0; i < 600 && !listening; ++i) {
        for (const auto& entry : std::filesystem::directory_iterator(run)) {
            listening = listening || entry.path().extension() == ".sock";
        }
        if (!listening) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ASSERT_TRUE(listening) << "the first window never listened";

    makeWavFile(dir, "take.wav");
    const auto second = runCommand("cd " + shellQuote(dir.path().string()) + " && " + env +
                                   mireldo + " take.wav 2>&1");
    EXPECT_EQ(second.exitCode, 0) << second.output;

    const auto shown = runCommand(env + shellQuote(testsupport::binDir() + "/mireldo-cli") +
                                  " playlist show 2>&1");
    EXPECT_EQ(shown.output.rfind("1. take\n", 0), 0u) << shown.output;
}

} // namespace
