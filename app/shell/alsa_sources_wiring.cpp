#include "alsa_sources_wiring.h"

#include "audio/alsa_devices.h"
#include "audio/alsa_mixer.h"
#include "message_box.h"
#include "string_table.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <algorithm>
#include <limits>

namespace mireldo {

using platform::audio::AlsaMixer;

namespace {

int toInt(long value) {
    return static_cast<int>(
        std::clamp<long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

} // namespace

// The engine's view over the widgets. What the engine sets is not a user action: the
// widgets' signals are blocked meanwhile.
class AlsaRecordingSettings::View final : public recorder::RecordingSourcesView {
  public:
    View(QListWidget* list, QSlider* slider) : list_(list), slider_(slider) {}

    void setSourceRows(const QStringList& names) override {
        const QSignalBlocker block(list_);
        list_->clear();
        for (const QString& name : names) {
            auto* item = new QListWidgetItem(name, list_);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
        }
    }
    void setSourceChecks(const std::vector<bool>& checked) override {
        const QSignalBlocker block(list_);
        const int rows = std::min(list_->count(), static_cast<int>(checked.size()));
        for (int row = 0; row < rows; ++row) {
            list_->item(row)->setCheckState(checked[static_cast<std::size_t>(row)] ? Qt::Checked
                                                                                   : Qt::Unchecked);
        }
    }
    void selectSourceRow(int row) override {
        const QSignalBlocker block(list_);
        list_->setCurrentRow(row);
    }
    void setVolumeRange(long minimum, long maximum, long page) override {
        const QSignalBlocker block(slider_);
        slider_->setRange(toInt(minimum), toInt(maximum));
        slider_->setPageStep(std::max(toInt(page), 1));
    }
    void setVolumeValue(long value) override {
        const QSignalBlocker block(slider_);
        slider_->setValue(toInt(value));
    }
    void beep() override { QApplication::beep(); }

    // Every row's check state as the list shows it.
    std::vector<bool> checks() const {
        std::vector<bool> out;
        for (int row = 0; row < list_->count(); ++row) {
            out.push_back(list_->item(row)->checkState() == Qt::Checked);
        }
        return out;
    }

  private:
    QListWidget* list_;
    QSlider* slider_;
};

AlsaRecordingSettings::AlsaRecordingSettings(QComboBox* devices, QListWidget* sources,
                                             QCheckBox* force, QPushButton* advance,
                                             QSlider* volume, QWidget* parent)
    : QObject(parent), devices_(devices), sources_(sources), parent_(parent),
      view_(std::make_unique<View>(sources, volume)) {
    engine_ = std::make_unique<recorder::RecordingSources>(
        *view_, [this](int index) -> std::unique_ptr<platform::audio::RecordingMixer> {
            const auto list = platform::audio::alsaCaptureDevices();
            if (index < 0 || static_cast<std::size_t>(index) >= list.size()) {
                return nullptr;
            }
            mixerName_ = list[static_cast<std::size_t>(index)].mixer;
            auto mixer = AlsaMixer::open(mixerName_);
            alsa_ = mixer.get();
            return mixer;
        });
    connect(devices, &QComboBox::currentIndexChanged, this, &AlsaRecordingSettings::deviceChanged);
    connect(sources, &QListWidget::itemChanged, this,
            [this](QListWidgetItem*) { engine_->sourceToggled(view_->checks()); });
    connect(sources, &QListWidget::currentRowChanged, this,
            [this](int row) { engine_->selectRow(row); });
    connect(force, &QCheckBox::toggled, this, [this](bool on) { engine_->setForceSelection(on); });
    connect(volume, &QSlider::valueChanged, this, [this](int value) { engine_->setVolume(value); });
    connect(advance, &QPushButton::clicked, this, &AlsaRecordingSettings::openMixerProgram);
    engine_->setForceSelection(force->isChecked());
    deviceChanged(devices->currentIndex());
}

AlsaRecordingSettings::~AlsaRecordingSettings() {
    qDeleteAll(notifiers_);
}

void AlsaRecordingSettings::deviceChanged(int index) {
    if (index == engine_->deviceIndex()) {
        return;
    }
    qDeleteAll(notifiers_);
    notifiers_.clear();
    alsa_ = nullptr;
    mixerName_.clear();
    engine_->selectDevice(index);
    if (engine_->mixer() == nullptr) {
        alsa_ = nullptr;
    }
    watchMixer();
}

void AlsaRecordingSettings::watchMixer() {
    if (alsa_ == nullptr) {
        return;
    }
    for (const pollfd& fd : alsa_->pollDescriptors()) {
        auto* notifier = new QSocketNotifier(fd.fd, QSocketNotifier::Read);
        connect(notifier, &QSocketNotifier::activated, this, &AlsaRecordingSettings::mixerActivity);
        notifiers_.push_back(notifier);
    }
}

void AlsaRecordingSettings::mixerActivity() {
    if (alsa_ != nullptr && alsa_->handleEvents()) {
        engine_->mixerChanged();
    }
}

void AlsaRecordingSettings::openMixerProgram() {
    const QString pavucontrol = QStandardPaths::findExecutable(QStringLiteral("pavucontrol"));
    if (!pavucontrol.isEmpty() &&
        QProcess::startDetached(pavucontrol, {QStringLiteral("--tab=4")})) {
        return;
    }
    const QString terminal = QStandardPaths::findExecutable(QStringLiteral("x-terminal-emulator"));
    if (!terminal.isEmpty() &&
        !QStandardPaths::findExecutable(QStringLiteral("alsamixer")).isEmpty()) {
        const std::string mixer = mixerName_.empty() ? std::string("default") : mixerName_;
        QStringList args{QStringLiteral("-e"), QStringLiteral("alsamixer"), QStringLiteral("-V"),
                         QStringLiteral("capture")};
        if (const int card = platform::audio::alsaCardOfMixer(mixer); card >= 0) {
            args << QStringLiteral("-c") << QString::number(card);
        } else {
            args << QStringLiteral("-D") << QString::fromStdString(mixer);
        }
        if (QProcess::startDetached(terminal, args)) {
            return;
        }
    }
    makeMessageBox(parent_, loadString(kStrNoMixerProgram), MessageIcon::Exclamation,
                   MessageButtons::Ok)
        ->exec();
}

} // namespace mireldo
