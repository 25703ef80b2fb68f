// The recording-source rules over a scripted mixer: device setup, reading the selection into
// the check boxes, "Force selection", toggling rows of each kind of mixer, and the slider.

#include "recording_sources.h"
#include "string_table.h"

#include <gtest/gtest.h>

#include <map>

using mireldo::platform::audio::MixerVolume;
using mireldo::platform::audio::RecordingMixer;
using mireldo::platform::audio::SourceSelection;
using mireldo::recorder::RecordingSources;
using mireldo::recorder::RecordingSourcesView;

namespace {

// A mixer whose rows, selection and volumes the test sets; it counts what it was asked.
struct ScriptedMixer final : RecordingMixer {
    SourceSelection kind = SourceSelection::Mixer;
    std::vector<std::optional<QString>> names;
    std::vector<bool> selected;
    std::map<int, MixerVolume> volumes;
    int writes = 0;
    std::vector<std::pair<int, long>> volumeWrites;

    SourceSelection selection() const override { return kind; }
    int rowCount() const override { return static_cast<int>(names.size()); }
    std::optional<QString> rowName(int row) const override {
        return names.at(static_cast<std::size_t>(row));
    }
    std::optional<std::vector<bool>> readSelection() override { return selected; }
    bool writeSelection(const std::vector<bool>& s) override {
        ++writes;
        selected = s;
        return true;
    }
    std::optional<MixerVolume> volume(int row) override {
        const auto v = volumes.find(row);
        return v == volumes.end() ? std::nullopt : std::optional(v->second);
    }
    bool setVolume(int row, long value) override {
        volumeWrites.emplace_back(row, value);
        volumes[row].value = value;
        return true;
    }
};

// A view that keeps what it was told, as the widgets would show it.
struct RecordingView final : RecordingSourcesView {
    QStringList rows;
    std::vector<bool> checks;
    int selectedRow = -2;
    long minimum = -1;
    long maximum = -1;
    long page = -1;
    long value = -1;
    int beeps = 0;
    int rowResets = 0;

    void setSourceRows(const QStringList& names) override {
        rows = names;
        checks.assign(static_cast<std::size_t>(names.size()), false);
        ++rowResets;
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

    // What a click on the check box of `row` leaves in the list.
    std::vector<bool> clicked(int row) const {
        auto c = checks;
        c[static_cast<std::size_t>(row)] = !c[static_cast<std::size_t>(row)];
        return c;
    }
};

// An engine whose opener hands out a scripted mixer per device index.
struct Fixture {
    RecordingView view;
    std::map<int, ScriptedMixer*> made; // owned by the engine once opened
    std::vector<int> opened;
    std::function<std::unique_ptr<ScriptedMixer>(int)> make;
    RecordingSources sources{view, [this](int index) -> std::unique_ptr<RecordingMixer> {
                                 opened.push_back(index);
                                 auto m = make ? make(index) : nullptr;
                                 made[index] = m.get();
                                 return m;
                             }};
};

std::unique_ptr<ScriptedMixer> mixerOf(SourceSelection kind, std::vector<bool> selected) {
    auto m = std::make_unique<ScriptedMixer>();
    m->kind = kind;
    for (std::size_t i = 0; i < selected.size(); ++i) {
        m->names.push_back(QStringLiteral("Source %1").arg(i));
    }
    m->selected = std::move(selected);
    return m;
}

} // namespace

TEST(RecordingSourcesSetup, ListsTheRowsInMixerOrderChecksThemAndSelectsTheFirstChecked) {
    Fixture f;
    f.make = [](int) {
        auto m = mixerOf(SourceSelection::Mixer, {false, true, true});
        m->names[2] = std::nullopt;
        m->volumes[1] = {0, 31, 12};
        return m;
    };
    f.sources.selectDevice(2);
    EXPECT_EQ(f.opened, std::vector<int>{2});
    EXPECT_EQ(f.view.rows, (QStringList{QStringLiteral("Source 0"), QStringLiteral("Source 1"),
                                        mireldo::loadString(mireldo::kStrErrorGettingName)}));
    EXPECT_EQ(f.view.rows[2], QStringLiteral("Error getting name."));
    EXPECT_EQ(f.view.checks, (std::vector<bool>{false, true, true}));
    EXPECT_EQ(f.view.selectedRow, 1);
    EXPECT_EQ(f.sources.selectedRow(), 1);
    // The slider shows row 1's volume with a tenth of the range as its page.
    EXPECT_EQ(f.view.minimum, 0);
    EXPECT_EQ(f.view.maximum, 31);
    EXPECT_EQ(f.view.page, 3);
    EXPECT_EQ(f.view.value, 12);
}

TEST(RecordingSourcesSetup, SameDeviceDoesNothingOtherDeviceReopensAndMinusOneEmpties) {
    Fixture f;
    f.make = [](int) { return mixerOf(SourceSelection::Mixer, {true}); };
    f.sources.selectDevice(0);
    f.sources.selectDevice(0);
    EXPECT_EQ(f.opened, std::vector<int>{0});
    EXPECT_EQ(f.view.rowResets, 2); // emptied, then filled

    f.sources.selectDevice(1);
    EXPECT_EQ(f.opened, (std::vector<int>{0, 1}));
    EXPECT_EQ(f.sources.deviceIndex(), 1);

    f.sources.selectDevice(-1);
    EXPECT_EQ(f.opened.size(), 2u);
    EXPECT_TRUE(f.view.rows.isEmpty());
    EXPECT_EQ(f.sources.mixer(), nullptr);
}

TEST(RecordingSourcesSetup, AMixerThatCannotBeOpenedLeavesTheListEmptyAndTheSliderAlone) {
    Fixture f;
    f.view.value = 77;
    f.sources.selectDevice(3);
    EXPECT_EQ(f.opened, std::vector<int>{3});
    EXPECT_TRUE(f.view.rows.isEmpty());
    EXPECT_EQ(f.view.value, 77);
    EXPECT_EQ(f.view.minimum, -1);
    f.sources.setVolume(5); // nothing to set
    f.sources.mixerChanged();
    EXPECT_EQ(f.view.value, 77);
}

TEST(RecordingSourcesToggle, MuxSwitchesToTheNewRowAndKeepsACheckedRowChecked) {
    Fixture f;
    f.make = [](int) { return mixerOf(SourceSelection::Mux, {false, true, false}); };
    f.sources.selectDevice(0);
    ScriptedMixer& m = *f.made[0];

    f.sources.sourceToggled(f.view.clicked(2));
    EXPECT_EQ(m.selected, (std::vector<bool>{false, false, true}));
    EXPECT_EQ(f.view.checks, (std::vector<bool>{false, false, true}));

    // Unchecking the only source sets it again.
    f.sources.sourceToggled(f.view.clicked(2));
    EXPECT_EQ(m.selected, (std::vector<bool>{false, false, true}));
    EXPECT_EQ(f.view.checks, (std::vector<bool>{false, false, true}));
    EXPECT_EQ(f.view.beeps, 0);
}

TEST(RecordingSourcesToggle, MixerTakesEveryCheckBoxAsItIs) {
    Fixture f;
    f.make = [](int) { return mixerOf(SourceSelection::Mixer, {true, false, false}); };
    f.sources.selectDevice(0);
    ScriptedMixer& m = *f.made[0];
    f.sources.sourceToggled(f.view.clicked(2));
    EXPECT_EQ(m.selected, (std::vector<bool>{true, false, true}));
    f.sources.sourceToggled(f.view.clicked(0));
    EXPECT_EQ(m.selected, (std::vector<bool>{false, false, true}));
    EXPECT_EQ(f.view.checks, m.selected);
    // A list that matches the cache holds no change: nothing is written.
    const int writes = m.writes;
    f.sources.sourceToggled(f.view.checks);
    EXPECT_EQ(m.writes, writes);
}

TEST(RecordingSourcesToggle, WithoutASelectionControlTheChangeIsUndoneWithABeep) {
    Fixture f;
    f.make = [](int) { return mixerOf(SourceSelection::None, {false, false}); };
    f.sources.selectDevice(0);
    EXPECT_EQ(f.view.checks, (std::vector<bool>{true, true})); // all count as checked
    f.sources.sourceToggled(f.view.clicked(1));
    EXPECT_EQ(f.view.checks, (std::vector<bool>{true, true}));
    EXPECT_EQ(f.view.beeps, 1);
    EXPECT_EQ(f.made[0]->writes, 0);
}

TEST(RecordingSourcesForce, AChangeByAnotherProgramIsRevertedOnlyWhileForced) {
    Fixture f;
    f.make = [](int) { return mixerOf(SourceSelection::Mux, {true, false, false}); };
    f.sources.selectDevice(0);
    ScriptedMixer& m = *f.made[0];

    f.sources.setForceSelection(true);
    m.selected = {false, true, false}; // another program chose row 1
    f.sources.mixerChanged();
    EXPECT_EQ(m.selected, (std::vector<bool>{true, false, false}));
    EXPECT_EQ(f.view.checks, (std::vector<bool>{true, false, false}));
    // The mixer's own report of the write back finds the cache and changes nothing.
    const int writes = m.writes;
    f.sources.mixerChanged();
    EXPECT_EQ(m.writes, writes);

    // The program's own choice is no "change by others": it is taken and then held.
    f.sources.sourceToggled(f.view.clicked(2));
    m.selected = {true, false, false};
    f.sources.mixerChanged();
    EXPECT_EQ(m.selected, (std::vector<bool>{false, false, true}));

    f.sources.setForceSelection(false);
    m.selected = {false, true, false};
    f.sources.mixerChanged();
    EXPECT_EQ(m.selected, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(f.view.checks, (std::vector<bool>{false, true, false}));
}

TEST(RecordingSourcesForce, OnlyTheFirstThirtyRowsAreHeld) {
    Fixture f;
    f.make = [](int) { return mixerOf(SourceSelection::Mixer, std::vector<bool>(32, false)); };
    f.sources.selectDevice(0);
    ScriptedMixer& m = *f.made[0];
    f.sources.setForceSelection(true);
    m.selected[31] = true; // beyond the cache: followed
    f.sources.mixerChanged();
    EXPECT_TRUE(m.selected[31]);
    EXPECT_TRUE(f.view.checks[31]);
    m.selected[29] = true; // within it: reverted, row 31 left as it is
    f.sources.mixerChanged();
    EXPECT_FALSE(m.selected[29]);
    EXPECT_TRUE(m.selected[31]);
}

TEST(RecordingSourcesVolume, TheSliderFollowsTheSelectedRowAndSetsItsVolume) {
    Fixture f;
    f.make = [](int) {
        auto m = mixerOf(SourceSelection::Mixer, {true, false});
        m->volumes[0] = {0, 31, 20};
        m->volumes[1] = {-10, 90, 5};
        return m;
    };
    f.sources.selectDevice(0);
    ScriptedMixer& m = *f.made[0];
    EXPECT_EQ(f.view.value, 20);

    f.sources.selectRow(1);
    EXPECT_EQ(f.view.minimum, -10);
    EXPECT_EQ(f.view.maximum, 90);
    EXPECT_EQ(f.view.page, 10);
    EXPECT_EQ(f.view.value, 5);

    f.sources.setVolume(42);
    EXPECT_EQ(m.volumeWrites, (std::vector<std::pair<int, long>>{{1, 42}}));

    // A change elsewhere reaches the slider with the next mixer report.
    m.volumes[1].value = 60;
    f.sources.mixerChanged();
    EXPECT_EQ(f.view.value, 60);
}
