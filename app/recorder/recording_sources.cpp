#include "recording_sources.h"

#include "string_table.h"

#include <algorithm>

namespace mireldo::recorder {

using platform::audio::SourceSelection;

RecordingSources::RecordingSources(RecordingSourcesView& view, MixerOpener opener)
    : view_(view), opener_(std::move(opener)) {}

void RecordingSources::selectDevice(int index) {
    if (index == deviceIndex_) {
        return;
    }
    deviceIndex_ = index;
    mixer_.reset();
    cache_.clear();
    selectedRow_ = -1;
    view_.setSourceRows({});
    if (index == -1) {
        return;
    }
    mixer_ = opener_ ? opener_(index) : nullptr;
    if (!mixer_) {
        return; // the list stays empty and the slider as it was
    }
    QStringList names;
    for (int row = 0; row < mixer_->rowCount(); ++row) {
        names.push_back(mixer_->rowName(row).value_or(loadString(kStrErrorGettingName)));
    }
    view_.setSourceRows(names);
    const int row = readSelection(false);
    selectedRow_ = row;
    view_.selectSourceRow(row);
    refreshVolume();
}

void RecordingSources::selectRow(int row) {
    selectedRow_ = row;
    refreshVolume();
}

int RecordingSources::readSelection(bool enforce) {
    if (!mixer_) {
        return -1;
    }
    const auto rows = static_cast<std::size_t>(mixer_->rowCount());
    std::vector<bool> states(rows, true);
    if (mixer_->selection() != SourceSelection::None) {
        const auto read = mixer_->readSelection();
        if (!read || read->size() != rows) {
            return -1;
        }
        states = *read;
        if (enforce && force_) {
            const std::size_t held = std::min(rows, cache_.size());
            if (!std::equal(states.begin(), states.begin() + static_cast<long>(held),
                            cache_.begin())) {
                // Put back what the cache holds; rows beyond it keep what they have.
                std::copy(cache_.begin(), cache_.begin() + static_cast<long>(held), states.begin());
                mixer_->writeSelection(states);
                return -1;
            }
        }
    }
    cache_.assign(states.begin(),
                  states.begin() + static_cast<long>(std::min<std::size_t>(rows, kCachedRows)));
    view_.setSourceChecks(states);
    if (selectedRow_ >= 0) {
        return selectedRow_;
    }
    const auto first = std::find(states.begin(), states.end(), true);
    return first == states.end() ? -1 : static_cast<int>(first - states.begin());
}

void RecordingSources::sourceToggled(const std::vector<bool>& checked) {
    if (!mixer_ || checked.size() != static_cast<std::size_t>(mixer_->rowCount())) {
        return;
    }
    std::size_t row = checked.size();
    for (std::size_t i = 0; i < checked.size() && row == checked.size(); ++i) {
        if (checked[i] && !cached(i)) {
            row = i;
        }
    }
    for (std::size_t i = 0; i < checked.size() && row == checked.size(); ++i) {
        if (!checked[i] && cached(i)) {
            row = i;
        }
    }
    if (row == checked.size()) {
        return;
    }
    if (mixer_->selection() == SourceSelection::None) {
        // Every source records and nothing can change that: the list is read-only.
        std::vector<bool> undone = checked;
        undone[row] = !undone[row];
        view_.setSourceChecks(undone);
        view_.beep();
        return;
    }
    std::vector<bool> values = checked;
    if (mixer_->selection() == SourceSelection::Mux) {
        // One source always records: the newly checked one, or the one unchecked again.
        std::fill(values.begin(), values.end(), false);
        values[row] = true;
    }
    mixer_->writeSelection(values);
    readSelection(false);
}

void RecordingSources::setForceSelection(bool force) {
    force_ = force;
}

void RecordingSources::mixerChanged() {
    if (!mixer_) {
        return;
    }
    refreshVolume();
    readSelection(true);
}

void RecordingSources::refreshVolume() {
    if (!mixer_ || selectedRow_ < 0) {
        return;
    }
    const auto volume = mixer_->volume(selectedRow_);
    if (!volume) {
        return;
    }
    view_.setVolumeRange(volume->minimum, volume->maximum,
                         (volume->maximum - volume->minimum) / 10);
    view_.setVolumeValue(volume->value);
}

void RecordingSources::setVolume(long value) {
    if (mixer_ && selectedRow_ >= 0) {
        mixer_->setVolume(selectedRow_, value);
    }
}

} // namespace mireldo::recorder
