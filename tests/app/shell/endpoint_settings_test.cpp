// The endpoint list, volume and mute of the main window against a private PulseAudio server:
// null sinks (so their monitors) and a sine source give real sources to list, set and watch.

#include "audio_mode.h"
#include "endpoint_settings.h"
#include "main_window.h"
#include "message_box.h"
#include "profile_store.h"
#include "text_list.h"

#include "pulse_server.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QSlider>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using mireldo::CRecorderDialog;
using mireldo::EndpointSettings;
using mireldo::platform::ProfileStore;
using mireldo::platform::audio::PulseSource;

QApplication& app() {
    static int argc = 1;
    static char name[] = "test_endpoint_settings";
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

// Runs the event loop until `done` or `ms` milliseconds pass.
bool waitUntil(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

// Runs the event loop for `ms` milliseconds.
void settle(int ms) {
    waitUntil([] { return false; }, ms);
}

// The source names `pactl list short sources` prints, in its order.
QStringList pactlSourceNames(const testsupport::PulseServer& server) {
    QStringList names;
    const auto listed = server.pactl("list short sources");
    for (const QString& line : QString::fromStdString(listed.output).split(u'\n')) {
        const QStringList fields = line.split(u'\t');
        if (fields.size() > 1) {
            names.push_back(fields[1]);
        }
    }
    return names;
}

// "Volume: front-left: 24248 /  37% / ..." -> 37 for the first channel.
int pactlVolumePercent(const testsupport::PulseServer& server, const std::string& source) {
    const auto out = server.pactl("get-source-volume " + source).output;
    const auto slash = out.find('/');
    return slash == std::string::npos ? -1 : std::atoi(out.c_str() + slash + 1);
}

class EndpointSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        app();
        ProfileStore::setFolderForTesting(QString::fromStdString(dir_.path().string()));
        server_ = std::make_unique<testsupport::PulseServer>(
            dir_, "load-module module-null-sink sink_name=speakers "
                  "sink_properties=device.description=Speakers\n"
                  "load-module module-sine-source source_name=sine frequency=440\n"
                  "load-module module-null-sink sink_name=headset "
                  "sink_properties=device.description=Headset\n"
                  "set-default-source sine");
        ASSERT_TRUE(server_->waitReady()) << "the private PulseAudio server did not start";
        mireldo::setAudioMode(mireldo::AudioMode::Pulse);
    }
    void TearDown() override {
        dialog_.reset();
        ProfileStore::setFolderForTesting(QString());
        mireldo::setAudioMode(mireldo::AudioMode::Virtual);
    }

    CRecorderDialog& makeDialog() {
        mireldo::DialogServices services = mireldo::defaultServices();
        services.messages = &messages_;
        services.pluginFolder = QString::fromStdString(dir_.path().string());
        services.playlistFile.clear();
        dialog_ = std::make_unique<CRecorderDialog>(std::move(services));
        return *dialog_;
    }
    EndpointSettings& settings() { return *dialog_->endpointSettings(); }
    mireldo::ui::CTextList& list() {
        return *dialog_->controlAs<mireldo::ui::CTextList>(mireldo::MainCtl::EndpointList);
    }
    QSlider& volume() { return *dialog_->controlAs<QSlider>(mireldo::MainCtl::RecordingVolume); }
    QCheckBox& mute() { return *dialog_->controlAs<QCheckBox>(mireldo::MainCtl::Mute); }

    testsupport::TempDir dir_;
    SilentMessages messages_;
    std::unique_ptr<testsupport::PulseServer> server_;
    std::unique_ptr<CRecorderDialog> dialog_;
};

TEST_F(EndpointSettingsTest, ListsTheServersSourcesAndPreselectsTheDefault) {
    CRecorderDialog& dialog = makeDialog();
    ASSERT_NE(dialog.endpointSettings(), nullptr);
    const auto state = settings().endpoints().state();
    QStringList names;
    for (const PulseSource& s : state.sources) {
        names.push_back(s.name);
    }
    EXPECT_EQ(names, pactlSourceNames(*server_));
    EXPECT_EQ(list().rows(), (QStringList{QStringLiteral("Monitor of Speakers"),
                                          QStringLiteral("Sine source at 440 Hz"),
                                          QStringLiteral("Monitor of Headset")}));
    EXPECT_EQ(settings().selectedSourceName(), QStringLiteral("sine"));
    dialog.show();
    QDir().mkpath(QStringLiteral(MIRELDO_SCREENSHOT_DIR));
    EXPECT_TRUE(dialog.grab().save(
        QStringLiteral(MIRELDO_SCREENSHOT_DIR "/main_window_endpoint_rows.png")));
}

TEST_F(EndpointSettingsTest, TheSavedNameWinsOverTheDefault) {
    ProfileStore().setString(QStringLiteral("History"), QStringLiteral("Win7DeviceNameSel"),
                             QStringLiteral("Monitor of Headset"));
    makeDialog();
    EXPECT_EQ(settings().selectedSourceName(), QStringLiteral("headset.monitor"));
    // Closing the window keeps the friendly name of the selection.
    list().setCurrentRow(0);
    dialog_.reset();
    EXPECT_EQ(ProfileStore().getString(QStringLiteral("History"),
                                       QStringLiteral("Win7DeviceNameSel"), QString()),
              QStringLiteral("Monitor of Speakers"));
}

TEST(EndpointPreselection, SavedThenDefaultThenFirstAndTheLaterOfEqualNames) {
    const QStringList names{QStringLiteral("Mic"), QStringLiteral("Line"), QStringLiteral("Mic")};
    EXPECT_EQ(mireldo::preselectedEndpointRow(names, QStringLiteral("Line"), QStringLiteral("Mic")),
              2);
    EXPECT_EQ(
        mireldo::preselectedEndpointRow(names, QStringLiteral("Line"), QStringLiteral("Gone")), 1);
    EXPECT_EQ(mireldo::preselectedEndpointRow(names, QStringLiteral("Mic"), QString()), 2);
    EXPECT_EQ(mireldo::preselectedEndpointRow(names, QString(), QString()), 0);
    EXPECT_EQ(mireldo::preselectedEndpointRow({}, QStringLiteral("Mic"), QString()), -1);
}

TEST_F(EndpointSettingsTest, TheSliderSetsTheVolumeWithoutARefreshAndUnmutes) {
    makeDialog();
    server_->pactl("set-source-mute sine 1");
    ASSERT_TRUE(waitUntil([&] { return mute().isChecked(); }));
    const int before = settings().refreshCount();
    volume().setValue(37);
    ASSERT_TRUE(waitUntil([&] { return pactlVolumePercent(*server_, "sine") == 37; }));
    EXPECT_EQ(server_->pactl("get-source-mute sine").output, "Mute: no\n");
    EXPECT_FALSE(mute().isChecked());
    settle(300); // the server's change notices have arrived by now
    EXPECT_EQ(settings().refreshCount(), before);
    EXPECT_EQ(volume().value(), 37);

    // Several quick moves (a drag) are all the program's own as well.
    for (int v : {40, 45, 52, 60}) {
        volume().setValue(v);
    }
    ASSERT_TRUE(waitUntil([&] { return pactlVolumePercent(*server_, "sine") == 60; }));
    settle(300);
    EXPECT_EQ(settings().refreshCount(), before);

    mute().setChecked(true);
    ASSERT_TRUE(
        waitUntil([&] { return server_->pactl("get-source-mute sine").output == "Mute: yes\n"; }));
    settle(300);
    EXPECT_EQ(settings().refreshCount(), before);
}

TEST_F(EndpointSettingsTest, ChangesByOtherProgramsRefreshTheControls) {
    makeDialog();
    const int before = settings().refreshCount();
    server_->pactl("set-source-volume sine 23%");
    ASSERT_TRUE(waitUntil([&] { return volume().value() == 23; }));
    EXPECT_GT(settings().refreshCount(), before);
    server_->pactl("set-source-mute sine 1");
    ASSERT_TRUE(waitUntil([&] { return mute().isChecked(); }));
    // Louder than 100 % shows as 100.
    server_->pactl("set-source-volume sine 150%");
    ASSERT_TRUE(waitUntil([&] { return volume().value() == 100; }));
    // A change to a source that is not selected leaves the controls alone.
    const int count = settings().refreshCount();
    server_->pactl("set-source-volume speakers.monitor 10%");
    settle(300);
    EXPECT_EQ(settings().refreshCount(), count);
}

TEST_F(EndpointSettingsTest, SourcesPluggedInAndRemovedAppearAndDisappear) {
    makeDialog();
    list().setCurrentRow(2); // Monitor of Headset
    const auto loaded = server_->pactl("load-module module-null-sink sink_name=usb "
                                       "sink_properties=device.description=USB");
    ASSERT_EQ(loaded.exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return list().rows().size() == 4; }));
    EXPECT_EQ(list().rows().last(), QStringLiteral("Monitor of USB"));
    EXPECT_EQ(settings().selectedSourceName(), QStringLiteral("headset.monitor"));

    server_->pactl("unload-module " + loaded.output);
    ASSERT_TRUE(waitUntil([&] { return list().rows().size() == 3; }));
    EXPECT_EQ(settings().selectedSourceName(), QStringLiteral("headset.monitor"));

    // The selected source going away falls back on the server's default.
    server_->pactl("unload-module module-null-sink"); // every null sink
    ASSERT_TRUE(waitUntil([&] { return list().rows().size() == 1; }));
    EXPECT_EQ(settings().selectedSourceName(), QStringLiteral("sine"));
}

TEST(PulseVolumes, PercentIsRoundedAsPactlPrintsItAndScalingKeepsTheBalance) {
    using mireldo::platform::audio::scaledVolumes;
    PulseSource s;
    s.volumes = {24248, 12000};
    EXPECT_EQ(s.volumePercent(), 37);
    s.volumes = {0x10000 * 2};
    EXPECT_EQ(s.volumePercent(), 100);
    const auto scaled = scaledVolumes({0x10000, 0x8000}, 50);
    ASSERT_EQ(scaled.size(), 2u);
    EXPECT_EQ(scaled[0], 0x8000u);
    EXPECT_EQ(scaled[1], 0x4000u);
    EXPECT_EQ(scaledVolumes({0, 0}, 100), (std::vector<std::uint32_t>{0x10000, 0x10000}));
}

} // namespace
