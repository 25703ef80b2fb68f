// Recording sources through real ALSA: a control plug-in of the tests (ctl_mireldotest.cpp)
// serves a mixer whose elements live in a state file, defined in a private .asoundrc. amixer
// changes it from another process, as another program would; the change reaches our mixer as
// an event on its poll descriptors.

#include "audio/alsa_devices.h"
#include "audio/alsa_mixer.h"
#include "audio/wave_in.h"
#include "recording_sources.h"
#include "string_table.h"
#include "test_support.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace mireldo::platform::audio;
using mireldo::recorder::RecordingSources;
using mireldo::recorder::RecordingSourcesView;

namespace {

// Sets an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
            had_ = true;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (had_) {
            ::setenv(name_, old_.c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

struct ShownView final : RecordingSourcesView {
    QStringList rows;
    std::vector<bool> checks;
    int selectedRow = -1;
    long minimum = -1;
    long maximum = -1;
    long page = -1;
    long value = -1;
    int beeps = 0;

    void setSourceRows(const QStringList& names) override {
        rows = names;
        checks.assign(static_cast<std::size_t>(names.size()), false);
    }
    void setSourceChecks(const std::vector<bool>& c) override { checks = c; }
    void selectSourceRow(int row) override { selectedRow = row; }
    void setVolumeRange(long lo, long hi, long p) override {
        minimum = lo;
        maximum = hi;
        page = p;
    }
    void setVolumeValue(long v) override { value = v; }
    void beep() override { ++beeps; }
    std::vector<bool> clicked(int row) const {
        auto c = checks;
        c[static_cast<std::size_t>(row)] = !c[static_cast<std::size_t>(row)];
        return c;
    }
};

// A private HOME whose .asoundrc defines one test mixer per profile (mx<profile>), each with
// its own state file, and PCMs for the device list.
class AlsaMixerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::ofstream rc(dir_.file(".asoundrc"));
        rc << "ctl_type.mireldotest { lib \"" << MIRELDO_TEST_CTL_PLUGIN << "\" }\n";
        for (const char* profile : {"full", "switches", "volumes", "input"}) {
            rc << "ctl.mx" << profile << " { type mireldotest state \"" << statePath(profile)
               << "\" profile \"" << profile << "\" }\n";
        }
        // A hint's description may carry the direction after '|', as ALSA's own hints do.
        rc << "pcm.mxfull { type null hint { show on description \"Test card\" } }\n"
              "pcm.mxplay { type null hint { show on description \"Test out|IOIDOutput\" } }\n";
        rc.close();
        snd_config_update_free_global();
    }
    void TearDown() override { snd_config_update_free_global(); }

    std::string statePath(const std::string& profile) const {
        return dir_.file("state-" + profile);
    }

    // The line "name=..." of a mixer's state file, without the name.
    std::string stateOf(const std::string& profile, const std::string& name) const {
        std::ifstream in(statePath(profile));
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind(name + "=", 0) == 0) {
                return line.substr(name.size() + 1);
            }
        }
        return "(missing)";
    }

    // Runs amixer on test mixer mx<profile>, as another program would.
    void amixer(const std::string& profile, const std::string& args) {
        const auto r = testsupport::runCommand("amixer -q -D mx" + profile + " " + args);
        ASSERT_EQ(r.exitCode, 0) << args;
    }

    // An engine whose every device is test mixer mx<profile>.
    RecordingSources::MixerOpener openerOf(const std::string& profile) {
        return [this, profile](int) -> std::unique_ptr<RecordingMixer> {
            auto m = AlsaMixer::open("mx" + profile);
            alsa_ = m.get();
            return m;
        };
    }

    // Waits (up to 5 s) for the mixer to report a change; false when none came.
    static bool waitForChange(AlsaMixer& mixer) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            auto fds = mixer.pollDescriptors();
            if (fds.empty()) {
                return false;
            }
            ::poll(fds.data(), fds.size(), 100);
            if (mixer.handleEvents()) {
                return true;
            }
        }
        return false;
    }

    testsupport::TempDir dir_;
    ScopedEnv home_{"HOME", dir_.path().string()};
    ScopedEnv mode_{"MIRELDO_AUDIO_MODE", "alsa"};
    AlsaMixer* alsa_ = nullptr;
    ShownView view_;
};

} // namespace

TEST(AlsaDeviceNames, CardDevicesUseTheCardsMixerAndPluginsTheirOwn) {
    EXPECT_EQ(alsaMixerNameForPcm("plughw:1,0"), "hw:1");
    EXPECT_EQ(alsaMixerNameForPcm("hw:0"), "hw:0");
    EXPECT_EQ(alsaMixerNameForPcm("hw:CARD=PCH,DEV=0"), "hw:PCH");
    EXPECT_EQ(alsaMixerNameForPcm("sysdefault:CARD=PCH"), "hw:PCH");
    EXPECT_EQ(alsaMixerNameForPcm("dsnoop:CARD=PCH,DEV=0"), "hw:PCH");
    EXPECT_EQ(alsaMixerNameForPcm("default"), "default");
    EXPECT_EQ(alsaMixerNameForPcm("pulse"), "pulse");
    EXPECT_EQ(alsaMixerNameForPcm("mine:foo"), "mine");
    EXPECT_EQ(alsaCardOfMixer("pulse"), -1);
    EXPECT_EQ(alsaCardOfMixer("hw:"), -1);
}

TEST_F(AlsaMixerTest, TheCaptureListStartsWithDefaultThenTheConfigurationsInputPcms) {
    const auto devices = alsaCaptureDevices();
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(devices[0].pcm, "default");
    EXPECT_EQ(devices[0].mixer, "default");
    int found = -1;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        EXPECT_NE(devices[i].pcm, "null");
        EXPECT_NE(devices[i].pcm, "mxplay"); // output only
        for (std::size_t j = 0; j < i; ++j) {
            EXPECT_NE(devices[i].pcm, devices[j].pcm);
        }
        if (devices[i].pcm == "mxfull") {
            found = static_cast<int>(i);
        }
    }
    ASSERT_GT(found, 0);
    EXPECT_EQ(devices[static_cast<std::size_t>(found)].name, QStringLiteral("Test card"));
    EXPECT_EQ(devices[static_cast<std::size_t>(found)].mixer, "mxfull");

    // The wave-in list is that list, and its indexes open those PCMs.
    const QStringList names = waveInDeviceNames();
    ASSERT_EQ(names.size(), static_cast<qsizetype>(devices.size()));
    EXPECT_EQ(names[found], QStringLiteral("Test card"));
    DeviceError error = DeviceError::None;
    EXPECT_TRUE(openWaveIn(found, PcmFormat{1, 8000, 16}, {}, &error)) << error;
    EXPECT_FALSE(openWaveIn(static_cast<int>(names.size()), PcmFormat{1, 8000, 16}, {}, &error));
    EXPECT_EQ(error, DeviceError::BadDeviceId);
}

TEST_F(AlsaMixerTest, CaptureSourceItemsAreAMuxThatAlwaysKeepsOneSource) {
    RecordingSources sources(view_, openerOf("full"));
    sources.selectDevice(0);
    ASSERT_NE(alsa_, nullptr);
    EXPECT_EQ(alsa_->selection(), SourceSelection::Mux);
    // The simple mixer's order; the switch elements merge with the items of the same name.
    EXPECT_EQ(view_.rows,
              (QStringList{QStringLiteral("Line"), QStringLiteral("Mic"), QStringLiteral("Aux")}));
    EXPECT_EQ(view_.checks, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(view_.selectedRow, 1);

    sources.sourceToggled(view_.clicked(2)); // Aux
    EXPECT_EQ(stateOf("full", "Capture Source"), "2");
    EXPECT_EQ(view_.checks, (std::vector<bool>{false, false, true}));

    sources.sourceToggled(view_.clicked(2)); // unchecking the only source keeps it
    EXPECT_EQ(stateOf("full", "Capture Source"), "2");
    EXPECT_EQ(view_.checks, (std::vector<bool>{false, false, true}));

    sources.sourceToggled(view_.clicked(0)); // Line
    EXPECT_EQ(stateOf("full", "Capture Source"), "1");
    EXPECT_EQ(view_.checks, (std::vector<bool>{true, false, false}));
    EXPECT_EQ(view_.beeps, 0);
}

TEST_F(AlsaMixerTest, CaptureSwitchesAreAMixerWithSeveralSources) {
    RecordingSources sources(view_, openerOf("switches"));
    sources.selectDevice(0);
    ASSERT_NE(alsa_, nullptr);
    EXPECT_EQ(alsa_->selection(), SourceSelection::Mixer);
    EXPECT_EQ(view_.rows, (QStringList{QStringLiteral("Line"), QStringLiteral("Mic")}));
    EXPECT_EQ(view_.checks, (std::vector<bool>{false, true}));

    sources.sourceToggled(view_.clicked(0));
    EXPECT_EQ(stateOf("switches", "Line Capture Switch"), "1,1");
    EXPECT_EQ(stateOf("switches", "Mic Capture Switch"), "1,1");
    EXPECT_EQ(view_.checks, (std::vector<bool>{true, true}));

    sources.sourceToggled(view_.clicked(1));
    EXPECT_EQ(stateOf("switches", "Mic Capture Switch"), "0,0");
    EXPECT_EQ(view_.checks, (std::vector<bool>{true, false}));
}

TEST_F(AlsaMixerTest, VolumesWithoutSwitchesAreAReadOnlyList) {
    RecordingSources sources(view_, openerOf("volumes"));
    sources.selectDevice(0);
    ASSERT_NE(alsa_, nullptr);
    EXPECT_EQ(alsa_->selection(), SourceSelection::None);
    EXPECT_EQ(view_.rows, (QStringList{QStringLiteral("Line"), QStringLiteral("Mic"),
                                       QStringLiteral("Capture")}));
    EXPECT_EQ(view_.checks, (std::vector<bool>(3, true)));
    sources.sourceToggled(view_.clicked(1));
    EXPECT_EQ(view_.checks, (std::vector<bool>(3, true)));
    EXPECT_EQ(view_.beeps, 1);
}

TEST_F(AlsaMixerTest, AnInputSourceListIsAMuxAndAnUnreadableItemSaysSo) {
    RecordingSources sources(view_, openerOf("input"));
    sources.selectDevice(0);
    ASSERT_NE(alsa_, nullptr);
    EXPECT_EQ(alsa_->selection(), SourceSelection::Mux);
    EXPECT_EQ(view_.rows, (QStringList{QStringLiteral("Front Mic"),
                                       mireldo::loadString(mireldo::kStrErrorGettingName),
                                       QStringLiteral("Line")}));
    EXPECT_EQ(view_.checks, (std::vector<bool>{true, false, false}));
    sources.sourceToggled(view_.clicked(2));
    EXPECT_EQ(stateOf("input", "Input Source"), "2");
    EXPECT_EQ(view_.checks, (std::vector<bool>{false, false, true}));
    // Items have no volume of their own: the slider drives "Capture".
    EXPECT_EQ(view_.maximum, 63);
    EXPECT_EQ(view_.value, 40);
}

TEST_F(AlsaMixerTest, ForceSelectionRevertsAnotherProgramsChoiceAtOnceAndOffFollowsIt) {
    RecordingSources sources(view_, openerOf("full"));
    sources.selectDevice(0);
    ASSERT_NE(alsa_, nullptr);
    sources.setForceSelection(true);

    amixer("full", "cset name='Capture Source' 2"); // Aux
    ASSERT_TRUE(waitForChange(*alsa_));
    sources.mixerChanged();
    EXPECT_EQ(stateOf("full", "Capture Source"), "0"); // Mic again
    EXPECT_EQ(view_.checks, (std::vector<bool>{false, true, false}));

    sources.setForceSelection(false);
    amixer("full", "sset Line cap");
    ASSERT_TRUE(waitForChange(*alsa_));
    sources.mixerChanged();
    EXPECT_EQ(stateOf("full", "Capture Source"), "1");
    EXPECT_EQ(view_.checks, (std::vector<bool>{true, false, false}));
}

TEST_F(AlsaMixerTest, TheSliderShowsAndSetsTheSelectedSourcesVolume) {
    RecordingSources sources(view_, openerOf("full"));
    sources.selectDevice(0);
    ASSERT_NE(alsa_, nullptr);
    // Mic, the checked source, is selected: its own volume.
    EXPECT_EQ(view_.minimum, 0);
    EXPECT_EQ(view_.maximum, 31);
    EXPECT_EQ(view_.page, 3);
    EXPECT_EQ(view_.value, 20);

    sources.setVolume(25);
    EXPECT_EQ(stateOf("full", "Mic Capture Volume"), "25,25");
    const auto r = testsupport::runCommand("amixer -D mxfull sget Mic");
    EXPECT_NE(r.output.find("Capture 25"), std::string::npos) << r.output;

    // Aux has no volume: the slider drives "Capture", and follows changes made elsewhere.
    sources.selectRow(2);
    EXPECT_EQ(view_.maximum, 63);
    EXPECT_EQ(view_.page, 6);
    EXPECT_EQ(view_.value, 40);
    amixer("full", "sset Capture 50");
    ASSERT_TRUE(waitForChange(*alsa_));
    sources.mixerChanged();
    EXPECT_EQ(view_.value, 50);
}
