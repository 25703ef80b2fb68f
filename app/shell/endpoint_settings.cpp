#include "endpoint_settings.h"

#include "text_list.h"

#include <QCheckBox>
#include <QSignalBlocker>
#include <QSlider>

namespace mireldo {

using platform::audio::PulseSource;

int preselectedEndpointRow(const QStringList& names, const QString& defaultName,
                           const QString& savedName) {
    int savedRow = -1;
    int defaultRow = -1;
    for (int row = 0; row < names.size(); ++row) {
        if (!savedName.isEmpty() && names[row] == savedName) {
            savedRow = row;
        }
        if (!defaultName.isEmpty() && names[row] == defaultName) {
            defaultRow = row;
        }
    }
    if (savedRow >= 0) {
        return savedRow;
    }
    if (defaultRow >= 0) {
        return defaultRow;
    }
    return names.isEmpty() ? -1 : 0;
}

EndpointSettings::EndpointSettings(ui::CTextList* list, QSlider* volume, QCheckBox* mute,
                                   QString savedName, QObject* parent)
    : QObject(parent), list_(list), volume_(volume), mute_(mute), savedName_(std::move(savedName)) {
    connect(&endpoints_, &platform::audio::PulseEndpoints::listsChanged, this,
            &EndpointSettings::rebuild, Qt::QueuedConnection);
    connect(
        &endpoints_, &platform::audio::PulseEndpoints::sourceChanged, this,
        [this](const PulseSource& source) {
            if (source.name == selectedSourceName()) {
                refresh();
            }
        },
        Qt::QueuedConnection);
    connect(list_, &QListWidget::currentRowChanged, this, [this] { refresh(); });
    connect(volume_, &QSlider::valueChanged, this, &EndpointSettings::volumeMoved);
    connect(mute_, &QCheckBox::toggled, this, &EndpointSettings::muteToggled);
}

bool EndpointSettings::start(int timeoutMs) {
    const bool started = endpoints_.start(timeoutMs);
    rebuild();
    return started;
}

QString EndpointSettings::selectedSourceName() const {
    const int row = list_->currentRow();
    return row >= 0 && row < rowNames_.size() ? rowNames_[row] : QString();
}

const PulseSource* EndpointSettings::selectedSource() const {
    const QString name = selectedSourceName();
    for (const PulseSource& s : state_.sources) {
        if (s.name == name) {
            return &s;
        }
    }
    return nullptr;
}

void EndpointSettings::rebuild() {
    const QString keep = selectedSourceName();
    state_ = endpoints_.state();
    QStringList descriptions;
    rowNames_.clear();
    {
        const QSignalBlocker blocker(list_);
        list_->clearRows();
        for (const PulseSource& s : state_.sources) {
            list_->addRow(s.description);
            descriptions.push_back(s.description);
            rowNames_.push_back(s.name);
        }
        int row = -1;
        if (built_ && !keep.isEmpty()) {
            row = static_cast<int>(rowNames_.indexOf(keep));
        }
        if (!built_ || row < 0) {
            QString defaultDescription;
            for (const PulseSource& s : state_.sources) {
                if (s.name == state_.defaultSource) {
                    defaultDescription = s.description;
                }
            }
            // The first time the name saved at the last close counts; later a vanished
            // selection falls back on the server's default source.
            row = preselectedEndpointRow(descriptions, defaultDescription,
                                         built_ ? QString() : savedName_);
        }
        list_->setCurrentRow(row);
    }
    built_ = true;
    refresh();
    Q_EMIT listRebuilt();
}

void EndpointSettings::refresh() {
    // The state as the server reported it last; a single source's change arrives before the
    // copy here is renewed, so take the connection's state.
    state_ = endpoints_.state();
    const PulseSource* source = selectedSource();
    {
        const QSignalBlocker volumeBlocker(volume_);
        const QSignalBlocker muteBlocker(mute_);
        volume_->setValue(source != nullptr ? source->volumePercent() : 0);
        mute_->setChecked(source != nullptr && source->muted);
    }
    ++refreshes_;
    Q_EMIT refreshed();
}

void EndpointSettings::volumeMoved(int value) {
    const QString name = selectedSourceName();
    if (name.isEmpty()) {
        return;
    }
    {
        const QSignalBlocker blocker(mute_);
        mute_->setChecked(false);
    }
    endpoints_.setVolume(name, value);
}

void EndpointSettings::muteToggled(bool on) {
    const QString name = selectedSourceName();
    if (!name.isEmpty()) {
        endpoints_.setMute(name, on);
    }
}

} // namespace mireldo
