// The recorder in the main window on the offscreen platform: Record, capture through the
// virtual input until its end, the displays and buttons it leaves, and closing the window.

#include "audio_mode.h"
#include "capture_session.h"
#include "dialog_templates.h"
#include "level_meter.h"
#include "main_window.h"
#include "play_list_box.h"
#include "profile_store.h"
#include "test_support.h"
#include "widget_app.h"
#include "user_messages.h"
#include "waveform_scope.h"
#include "audio/virtual_clock.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

using mireldo::CRecorderDialog;
using mireldo::MessageAnswer;
using mireldo::MessageButtons;
using mireldo::MessageIcon;

QApplication& app() {
    return testsupport::widgetApp();
}

class ScriptedMessages : public mireldo::UserMessages {
  public:
    MessageAnswer showMessage(const QString& text, MessageIcon, MessageButtons) override {
        shown.push_back(text);
        return answer;
    }
    std::vector<QString> shown;
    MessageAnswer answer = MessageAnswer::Ok;
};

// The main window on the virtual devices, shown, its messages going to `messages` and its
// plug-ins loaded from the test's folder.
std::unique_ptr<CRecorderDialog> openWindow(ScriptedMessages& messages,
                                            const testsupport::TempDir& dir) {
    mireldo::DialogServices services;
    services.inputDeviceNames = [] { return QStringList{QStringLiteral("Virtual input")}; };
    services.outputDeviceNames = []() -> std::optional<QStringList> {
        return QStringList{QStringLiteral("Virtual output")};
    };
    services.messages = &messages;
    services.pluginFolder = QString::fromStdString(dir.path().string());
    auto window = std::make_unique<CRecorderDialog>(std::move(services));
    window->show();
    return window;
}

bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 15000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

TEST(RecorderWindow, RecordsThroughTheVirtualInputAndClosesAfterAsking) {
    app();
    testsupport::TempDir dir;
    mireldo::platform::ProfileStore::setFolderForTesting(
        QString::fromStdString(dir.path().string()));
    mireldo::setAudioMode(mireldo::AudioMode::Virtual);
    // 2 s of a 440 Hz tone at 8000 Hz, 16-bit mono.
    std::vector<std::uint8_t> pcm;
    for (int i = 0; i < 16000; ++i) {
        const auto s = static_cast<std::int16_t>(20000 * std::sin(i * 2 * 3.14159265 * 440 / 8000));
        testsupport::putU16(pcm, static_cast<std::uint16_t>(s));
    }
    const std::string input = dir.file("input.wav");
    testsupport::writeFile(input, testsupport::makeWav(1, 8000, 16, pcm));
    // Set here as well: the device layer reads the variable, and the test runner's
    // environment does not always carry it.
    ::setenv("MIRELDO_AUDIO_MODE", "virtual", 1);
    ::setenv("MIRELDO_VIRTUAL_INPUT", input.c_str(), 1);
    ::setenv("MIRELDO_VIRTUAL_SPEED", "10", 1);
    // The records in progress go to the test's folder, never to the user's state folder.
    const std::string recording = dir.file("recording");
    ::setenv("MIRELDO_TEMP_DIR", recording.c_str(), 1);

    ScriptedMessages messages;
    auto window = openWindow(messages, dir);
    mireldo::recorder::CaptureSession* session = window->captureSession();
    ASSERT_NE(session, nullptr);
    EXPECT_FALSE(window->control(103)->isEnabled());
    EXPECT_TRUE(window->control(1127)->isEnabled());

    window->controlAs<QComboBox>(1217)->setCurrentIndex(12); // 8000 Hz 16 bits mono
    window->controlAs<QAbstractButton>(1127)->click();
    ASSERT_TRUE(session->recording())
        << (messages.shown.empty() ? std::string() : messages.shown.back().toStdString());
    EXPECT_TRUE(session->temporaryWavPath().startsWith(QString::fromStdString(recording) + u'/'));
    EXPECT_FALSE(window->control(1217)->isEnabled());
    EXPECT_TRUE(window->control(1022)->isEnabled());
    ASSERT_TRUE(pumpUntil([&] { return !session->recording(); })); // the input ends

    EXPECT_EQ(session->dataLength(), 32000u);
    EXPECT_EQ(window->controlAs<QLabel>(1120)->text(), QStringLiteral("\nLength:\n0:00:02.0"));
    EXPECT_EQ(window->controlAs<QLabel>(1119)->text(), QStringLiteral("\nPosition:\n0:00:02.0"));
    EXPECT_EQ(window->controlAs<QLabel>(1008)->text(), QStringLiteral("Recording paused"));
    EXPECT_EQ(window->controlAs<QSlider>(1121)->maximum(), 15999);
    EXPECT_TRUE(window->control(103)->isEnabled());
    EXPECT_TRUE(window->control(1121)->isEnabled());
    EXPECT_FALSE(window->control(1217)->isEnabled()); // the device stays open
    auto* scope = qobject_cast<mireldo::waveform::CWaveformScope*>(window->control(1084));
    ASSERT_NE(scope, nullptr);
    EXPECT_EQ(scope->fullScale(), 32768);
    EXPECT_TRUE(std::any_of(scope->columns().begin(), scope->columns().end(),
                            [](std::int16_t v) { return std::abs(v) > 5000; }));
    const QPixmap shot = window->grab();
    QDir().mkpath(QStringLiteral(MIRELDO_SCREENSHOT_DIR));
    EXPECT_TRUE(shot.save(QStringLiteral(MIRELDO_SCREENSHOT_DIR "/recorder_after_recording.png")));

    // Home moves the position and the trackbar.
    window->controlAs<QAbstractButton>(1122)->click();
    EXPECT_EQ(window->controlAs<QSlider>(1121)->value(), 0);
    EXPECT_EQ(window->controlAs<QLabel>(1119)->text(), QStringLiteral("\nPosition:\n0:00:00.0"));

    // Closing asks about the unsaved record; Cancel keeps the window, No lets it go.
    const QString record = session->temporaryWavPath();
    messages.answer = MessageAnswer::Cancel;
    window->reject();
    EXPECT_TRUE(window->isVisible());
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown.back(),
              QStringLiteral("Save modifications made to the current record?"));
    messages.answer = MessageAnswer::No;
    window->reject();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(QFileInfo::exists(record));
    window.reset();

    ::unsetenv("MIRELDO_VIRTUAL_INPUT");
    ::unsetenv("MIRELDO_TEMP_DIR");
    mireldo::platform::ProfileStore::setFolderForTesting(QString());
}

TEST(RecorderWindow, TheRecorderStatusShowsAgainAfterThePlaylistWroteTheLine) {
    app();
    testsupport::TempDir dir;
    mireldo::platform::ProfileStore::setFolderForTesting(
        QString::fromStdString(dir.path().string()));
    mireldo::setAudioMode(mireldo::AudioMode::Virtual);
    std::vector<std::uint8_t> pcm;
    for (int i = 0; i < 4000; ++i) {
        const auto v = static_cast<std::int16_t>(20000 * std::sin(i * 2 * 3.14159265 * 440 / 8000));
        testsupport::putU16(pcm, static_cast<std::uint16_t>(v));
    }
    const std::string input = dir.file("input.wav");
    testsupport::writeFile(input, testsupport::makeWav(1, 8000, 16, pcm));
    ::setenv("MIRELDO_AUDIO_MODE", "virtual", 1);
    ::setenv("MIRELDO_VIRTUAL_INPUT", input.c_str(), 1);
    ::setenv("MIRELDO_VIRTUAL_SPEED", "10", 1);
    ::setenv("MIRELDO_TEMP_DIR", dir.file("recording").c_str(), 1);

    ScriptedMessages messages;
    mireldo::DialogServices services;
    services.inputDeviceNames = [] { return QStringList{QStringLiteral("Virtual input")}; };
    services.outputDeviceNames = []() -> std::optional<QStringList> {
        return QStringList{QStringLiteral("Virtual output")};
    };
    services.messages = &messages;
    services.pluginFolder = QString::fromStdString(dir.path().string());
    services.playlistFile = QString::fromStdString(dir.file("list.lst"));
    auto window = std::make_unique<CRecorderDialog>(std::move(services));
    window->show();
    mireldo::recorder::CaptureSession* session = window->captureSession();
    auto* list = dynamic_cast<mireldo::playlist::CPlayListBox*>(window->control(1011));
    ASSERT_NE(list, nullptr);
    auto* line = window->controlAs<QLabel>(1008);

    window->controlAs<QComboBox>(1217)->setCurrentIndex(12);
    window->controlAs<QAbstractButton>(1127)->click();
    ASSERT_TRUE(pumpUntil([&] { return !session->recording(); }));
    EXPECT_EQ(line->text(), QStringLiteral("Recording paused"));

    // The playlist plays an item and writes "Play: ..." into the same line.
    const int row = window->addRecordToPlaylist(QString::fromStdString(input));
    ASSERT_GE(row, 0);
    ASSERT_TRUE(pumpUntil([&] { return list->model()->isSettled(); }));
    list->playSelected(); // the added item is selected
    ASSERT_TRUE(pumpUntil([&] { return line->text().startsWith(QStringLiteral("Play: ")); }));

    // The recorder's next status shows although its code did not change.
    session->stop();
    EXPECT_EQ(line->text(), QStringLiteral("Recording paused"));

    ASSERT_TRUE(pumpUntil([&] { return list->commands()->currentItem() == nullptr; }));
    messages.answer = MessageAnswer::No;
    window->reject();
    window.reset();
    ::unsetenv("MIRELDO_VIRTUAL_INPUT");
    ::unsetenv("MIRELDO_TEMP_DIR");
    mireldo::platform::ProfileStore::setFolderForTesting(QString());
}

// Saves a picture of the window under the screenshot folder.
void saveShot(const QPixmap& shot, const QString& name) {
    QDir().mkpath(QStringLiteral(MIRELDO_SCREENSHOT_DIR));
    EXPECT_TRUE(shot.save(QStringLiteral(MIRELDO_SCREENSHOT_DIR "/") + name));
}

// The voice-activated controls in the window: "Keep before sound" and "Sound must last" show
// and change their settings, "Measure" proposes a noise level from a virtual input of noise,
// and while recording the level meter and the health line follow the input. The virtual
// devices run on a manual clock the test moves.
TEST(RecorderWindow, VoiceControlsMeasureNoiseAndTheMeterFollowsTheRecording) {
    using mireldo::MainCtl;
    app();
    testsupport::TempDir dir;
    mireldo::platform::ProfileStore::setFolderForTesting(
        QString::fromStdString(dir.path().string()));
    {
        mireldo::platform::ProfileStore store;
        store.setInt(QStringLiteral("Settings"), QStringLiteral("PreRollTenths"), 5);
        store.setInt(QStringLiteral("Settings"), QStringLiteral("HoldMilliseconds"), 120);
    }
    mireldo::setAudioMode(mireldo::AudioMode::Virtual);
    // Noise about 260 (8000 Hz mono) for the measurement; a loud stereo tone for the recording,
    // its left channel at full scale, its right at a quarter.
    std::vector<std::uint8_t> noise;
    std::uint32_t state = 7;
    for (int i = 0; i < 8000 * 4; ++i) {
        state = state * 1664525u + 1013904223u;
        const int v = static_cast<int>((state >> 8) % 1041u) - 520;
        testsupport::putU16(noise, static_cast<std::uint16_t>(static_cast<std::int16_t>(v)));
    }
    std::vector<std::uint8_t> tone;
    for (int i = 0; i < 8000 * 4; ++i) {
        const double v = std::sin(i * 2 * 3.14159265358979 * 500 / 8000);
        testsupport::putU16(tone, static_cast<std::uint16_t>(static_cast<std::int16_t>(
                                      std::lround(32767 * v * (i < 16000 ? 0.3 : 1.0)))));
        testsupport::putU16(
            tone, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(8192 * v))));
    }
    const std::string noiseInput = dir.file("noise.wav");
    const std::string toneInput = dir.file("tone.wav");
    testsupport::writeFile(noiseInput, testsupport::makeWav(1, 8000, 16, noise));
    testsupport::writeFile(toneInput, testsupport::makeWav(2, 8000, 16, tone));
    ::setenv("MIRELDO_AUDIO_MODE", "virtual", 1);
    ::setenv("MIRELDO_VIRTUAL_SPEED", "1", 1);
    ::setenv("MIRELDO_TEMP_DIR", dir.file("recording").c_str(), 1);
    mireldo::platform::audio::ManualClock clock;
    const auto step = [&clock] {
        clock.advance(std::chrono::milliseconds(320));
        QApplication::processEvents(QEventLoop::AllEvents);
    };

    ScriptedMessages messages;
    auto window = openWindow(messages, dir);
    mireldo::recorder::CaptureSession* session = window->captureSession();

    auto* preRoll = window->controlAs<QDoubleSpinBox>(MainCtl::KeepBeforeSound);
    auto* hold = window->controlAs<QDoubleSpinBox>(MainCtl::SoundMustLast);
    ASSERT_NE(preRoll, nullptr);
    ASSERT_NE(hold, nullptr);
    EXPECT_DOUBLE_EQ(preRoll->value(), 0.5);
    EXPECT_DOUBLE_EQ(hold->value(), 120.0);
    EXPECT_EQ(preRoll->text(), QStringLiteral("0.5 s"));
    preRoll->setValue(1.2);
    hold->setValue(200);
    EXPECT_EQ(window->settings().preRollTenths, 12);
    EXPECT_EQ(window->settings().holdMilliseconds, 200);

    // Measure: three seconds of the noise, then level 3 of the list ("3, Microphone, open
    // environment"), the list's third row.
    window->controlAs<QComboBox>(MainCtl::OutputFormat)->setCurrentIndex(12); // 8000 Hz mono
    ::setenv("MIRELDO_VIRTUAL_INPUT", noiseInput.c_str(), 1);
    auto* measure = window->controlAs<QPushButton>(MainCtl::MeasureNoise);
    auto* measured = window->controlAs<QLabel>(MainCtl::NoiseMeasured);
    ASSERT_TRUE(measure->isEnabled());
    measure->click();
    EXPECT_FALSE(measure->isEnabled());
    EXPECT_EQ(measured->text(), QStringLiteral("Measuring..."));
    for (int i = 0; i < 40 && !measure->isEnabled(); ++i) {
        step();
    }
    ASSERT_TRUE(measure->isEnabled());
    EXPECT_TRUE(measured->text().startsWith(QStringLiteral("Noise 2")))
        << measured->text().toStdString();
    EXPECT_TRUE(measured->text().endsWith(QStringLiteral(": level 3")));
    EXPECT_EQ(window->controlAs<QComboBox>(MainCtl::NoiseLevel)->currentIndex(), 2);
    EXPECT_EQ(window->settings().noiseLevel, 2);
    saveShot(window->grab(window->control(MainCtl::SilenceGroup)->geometry()),
             QStringLiteral("silence_area_voice_settings.png"));

    // Recording the stereo tone: the meter shows both channels and the left one clips; the
    // health line tells the time left on the disk. Measure waits while the device is held.
    hold->setValue(0);
    window->controlAs<QComboBox>(MainCtl::OutputFormat)->setCurrentIndex(13); // 8000 Hz stereo
    ::setenv("MIRELDO_VIRTUAL_INPUT", toneInput.c_str(), 1);
    window->controlAs<QAbstractButton>(MainCtl::Record)->click();
    ASSERT_TRUE(session->recording());
    EXPECT_FALSE(measure->isEnabled());
    for (int i = 0; i < 12; ++i) {
        step();
    }
    ASSERT_TRUE(session->recording());
    auto* meter =
        qobject_cast<mireldo::waveform::CLevelMeter*>(window->control(MainCtl::LevelMeter));
    ASSERT_NE(meter, nullptr);
    saveShot(window->grab(), QStringLiteral("recorder_meter_while_recording.png"));
    const auto& levels = meter->values();
    ASSERT_EQ(levels.channels(), 2);
    EXPECT_NEAR(levels.channel(0).holdDb, 0.0, 0.01);
    EXPECT_TRUE(levels.channel(0).clipped);
    EXPECT_FALSE(levels.channel(1).clipped);
    EXPECT_LT(levels.channel(1).peakDb, -11.0);
    const QString health = window->controlAs<QLabel>(MainCtl::HealthLine)->text();
    EXPECT_TRUE(health.endsWith(QStringLiteral(" left"))) << health.toStdString();

    window->controlAs<QAbstractButton>(MainCtl::Stop)->click();
    messages.answer = MessageAnswer::No;
    window->controlAs<QAbstractButton>(MainCtl::NewRecord)->click();
    EXPECT_TRUE(measure->isEnabled()); // the device is free again
    window->reject();
    window.reset();
    ::unsetenv("MIRELDO_VIRTUAL_INPUT");
    ::unsetenv("MIRELDO_TEMP_DIR");
    mireldo::platform::ProfileStore::setFolderForTesting(QString());
}

} // namespace
