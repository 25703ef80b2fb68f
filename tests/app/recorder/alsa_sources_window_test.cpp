// The ALSA-mode recording settings wired to real widgets (offscreen) and to the tests' own
// control plug-in: the device list's selection opens the mixer, check boxes and the slider
// reach it, and a change made by amixer reaches the window through its event loop.

#include "alsa_sources_wiring.h"
#include "audio_mode.h"
#include "main_window.h"
#include "profile_store.h"
#include "audio/wave_in.h"
#include "test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QThread>

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

QApplication& widgetApp() {
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

std::string stateLine(const std::string& path, const std::string& name) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(name + "=", 0) == 0) {
            return line.substr(name.size() + 1);
        }
    }
    return "(missing)";
}

// Handles the window's events until `done` holds or 5 s pass.
bool pumpUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 5000) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    return done();
}

std::vector<bool> checksOf(const QListWidget& list) {
    std::vector<bool> out;
    for (int row = 0; row < list.count(); ++row) {
        out.push_back(list.item(row)->checkState() == Qt::Checked);
    }
    return out;
}

} // namespace

TEST(AlsaRecordingSettingsWindow, TheWidgetsDriveTheMixerAndForceSelectionHoldsAgainstAmixer) {
    widgetApp();
    testsupport::TempDir dir;
    const std::string state = dir.file("state");
    {
        std::ofstream rc(dir.file(".asoundrc"));
        rc << "ctl_type.mireldotest { lib \"" << MIRELDO_TEST_CTL_PLUGIN << "\" }\n"
           << "ctl.mxwin { type mireldotest state \"" << state << "\" profile \"full\" }\n"
           << "pcm.mxwin { type null hint { show on description \"Window test card\" } }\n";
    }
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome != nullptr ? oldHome : "";
    ::setenv("HOME", dir.path().c_str(), 1);
    ::setenv("MIRELDO_AUDIO_MODE", "alsa", 1);
    snd_config_update_free_global();

    {
        QWidget window;
        auto* devices = new QComboBox(&window);
        auto* list = new QListWidget(&window);
        auto* force = new QCheckBox(&window);
        auto* advance = new QPushButton(&window);
        auto* slider = new QSlider(&window);
        const QStringList names = mireldo::platform::audio::waveInDeviceNames();
        devices->addItems(names);
        const int index = static_cast<int>(names.indexOf(QStringLiteral("Window test card")));
        ASSERT_GT(index, 0);
        auto* settings =
            new mireldo::AlsaRecordingSettings(devices, list, force, advance, slider, &window);
        devices->setCurrentIndex(index);
        EXPECT_EQ(settings->engine().deviceIndex(), index);

        ASSERT_EQ(list->count(), 3);
        EXPECT_EQ(list->item(0)->text(), QStringLiteral("Line"));
        EXPECT_EQ(list->item(1)->text(), QStringLiteral("Mic"));
        EXPECT_EQ(list->item(2)->text(), QStringLiteral("Aux"));
        EXPECT_EQ(checksOf(*list), (std::vector<bool>{false, true, false}));
        EXPECT_EQ(list->currentRow(), 1);
        EXPECT_EQ(slider->minimum(), 0);
        EXPECT_EQ(slider->maximum(), 31);
        EXPECT_EQ(slider->pageStep(), 3);
        EXPECT_EQ(slider->value(), 20);

        // A click on Aux's check box chooses it; the slider sets the selected source (Mic).
        list->item(2)->setCheckState(Qt::Checked);
        EXPECT_EQ(stateLine(state, "Capture Source"), "2");
        EXPECT_EQ(checksOf(*list), (std::vector<bool>{false, false, true}));
        slider->setValue(7);
        EXPECT_EQ(stateLine(state, "Mic Capture Volume"), "7,7");

        // Another program chooses Line: held back while forced, followed otherwise.
        force->setChecked(true);
        ASSERT_EQ(
            testsupport::runCommand("amixer -q -D mxwin cset name='Capture Source' 1").exitCode, 0);
        EXPECT_TRUE(pumpUntil([&] { return stateLine(state, "Capture Source") == "2"; }))
            << stateLine(state, "Capture Source");
        EXPECT_EQ(checksOf(*list), (std::vector<bool>{false, false, true}));

        force->setChecked(false);
        ASSERT_EQ(testsupport::runCommand("amixer -q -D mxwin sset Line cap").exitCode, 0);
        EXPECT_TRUE(pumpUntil([&]() -> bool { return checksOf(*list)[0]; }));
        EXPECT_EQ(checksOf(*list), (std::vector<bool>{true, false, false}));
        EXPECT_EQ(stateLine(state, "Capture Source"), "1");
    }

    ::setenv("HOME", savedHome.c_str(), 1);
    snd_config_update_free_global();
}

// The main window in ALSA mode with the test mixer as its stored device: the source rows,
// checks and slider are there when the window opens; a screenshot shows them.
TEST(AlsaRecordingSettingsWindow, TheMainWindowShowsTheStoredDevicesSources) {
    widgetApp();
    testsupport::TempDir dir;
    {
        std::ofstream rc(dir.file(".asoundrc"));
        rc << "ctl_type.mireldotest { lib \"" << MIRELDO_TEST_CTL_PLUGIN << "\" }\n"
           << "ctl.mxmain { type mireldotest state \"" << dir.file("state")
           << "\" profile \"full\" }\n"
           << "pcm.mxmain { type null hint { show on description \"Studio microphone\" } }\n";
    }
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome != nullptr ? oldHome : "";
    ::setenv("HOME", dir.path().c_str(), 1);
    snd_config_update_free_global();
    mireldo::platform::ProfileStore::setFolderForTesting(QString::fromStdString(dir.file("cfg")));
    mireldo::setAudioMode(mireldo::AudioMode::Alsa);
    const QStringList names = mireldo::platform::audio::waveInDeviceNames();
    const int index = static_cast<int>(names.indexOf(QStringLiteral("Studio microphone")));
    ASSERT_GT(index, 0);
    mireldo::platform::ProfileStore().setInt(QStringLiteral("History"),
                                             QStringLiteral("OfflineRecDev"), index);
    {
        mireldo::DialogServices services = mireldo::defaultServices();
        services.outputDeviceNames = nullptr;
        services.playlistFile.clear();
        services.pluginFolder = QString::fromStdString(dir.path().string());
        mireldo::CRecorderDialog window(std::move(services));
        ASSERT_NE(window.alsaSettings(), nullptr);
        auto* list = window.controlAs<QListWidget>(mireldo::MainCtl::RecordingSources);
        ASSERT_EQ(list->count(), 3);
        EXPECT_EQ(checksOf(*list), (std::vector<bool>{false, true, false}));
        EXPECT_EQ(window.controlAs<QSlider>(mireldo::MainCtl::RecordingVolume)->value(), 20);
        window.show();
        QDir().mkpath(QStringLiteral(MIRELDO_SCREENSHOT_DIR));
        EXPECT_TRUE(window.grab().save(
            QStringLiteral(MIRELDO_SCREENSHOT_DIR "/main_window_alsa_sources.png")));
    }
    mireldo::platform::ProfileStore::setFolderForTesting(QString());
    mireldo::setAudioMode(mireldo::AudioMode::Virtual);
    ::setenv("HOME", savedHome.c_str(), 1);
    snd_config_update_free_global();
}
