// The recorder part of the main window: the capture session, the view it talks to (status
// line, message boxes, length and position labels, trackbar, live waveform, button states)
// and the connections of the recorder's controls.

#include "main_window.h"

#include "audio_mode.h"
#include "capture_session.h"
#include "endpoint_settings.h"
#include "level_meter.h"
#include "noise_calibration.h"
#include "progress_dialog.h"
#include "record_saving.h"
#include "recorder_health.h"
#include "recorder_labels.h"
#include "small_dialogs.h"
#include "string_table.h"
#include "text_list.h"
#include "waveform_scope.h"
#include "xfile_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QThread>

#include <cmath>

namespace mireldo {

namespace {

/// "These unfinished records could not be moved out of the temporary folder and were left
/// there:\n\n%1"
constexpr int kStrRecordsLeft = 601;
/// "Compressing audio data...."
constexpr int kStrCompressing = 432;
/// "Ready to record", the first of the recorder's status texts.
constexpr int kStrStatusBase = 489;

// RecorderView over the window's controls and message boxes.
class WindowRecorderView final : public recorder::RecorderView {
  public:
    WindowRecorderView(CRecorderDialog& window, UserMessages& messages,
                       std::function<bool()> readControls,
                       std::function<recorder::CaptureOptions()> options)
        : window_(window), messages_(messages), readControls_(std::move(readControls)),
          options_(std::move(options)),
          labels_(window.ui().lengthText, window.ui().positionText, window.ui().recordPosition),
          scope_(window.ui().waveform), meter_(window.ui().levelMeter),
          health_(window.ui().healthLine) {}

    bool readControls() override { return readControls_(); }
    recorder::CaptureOptions options() const override { return options_(); }

    void setStatusText(recorder::RecorderStatus code, const QString&) override {
        window_.setStatus(static_cast<int>(code));
    }
    std::optional<recorder::RecorderStatus> shownStatus() const override {
        // The window forgets its code when the playlist writes into the status line.
        const int code = window_.status();
        if (code < 0) {
            return std::nullopt;
        }
        return static_cast<recorder::RecorderStatus>(code);
    }
    recorder::RecorderAnswer ask(const QString& text) override {
        switch (messages_.showMessage(text, MessageIcon::Question, MessageButtons::YesNoCancel)) {
        case MessageAnswer::Yes:
            return recorder::RecorderAnswer::Yes;
        case MessageAnswer::No:
            return recorder::RecorderAnswer::No;
        default:
            return recorder::RecorderAnswer::Cancel;
        }
    }
    void showMessage(const QString& text, bool stopIcon) override {
        messages_.showMessage(text, stopIcon ? MessageIcon::Stop : MessageIcon::Exclamation,
                              MessageButtons::Ok);
    }
    void showRecordingFailed() override {
        ui::CRecordingFailedDialog dialog(&window_);
        dialog.exec();
    }
    void recordKept(const QString& path) override {
        // The record that could not be saved stays in the recording folder; the next start
        // recovers it into the record folder.
        messages_.showMessage(loadString(kStrRecordsLeft).arg(path), MessageIcon::Exclamation,
                              MessageButtons::Ok);
    }

    void showSaveProgress(int percent) override {
        // The record finished at a split is compressed while recording goes on: its progress
        // follows the recorder's status, which stays what it is ("Recording ...").
        const int code = window_.status();
        QLabel* line = window_.ui().statusLine;
        if (code < 0) {
            return; // another part of the window has the line; the next status takes it back
        }
        QString text = loadString(kStrStatusBase + code);
        if (percent >= 0) {
            text += QStringLiteral("   ") + loadString(kStrCompressing) +
                    QStringLiteral(" %1%").arg(percent);
        }
        line->setText(text);
        line->repaint();
    }

    void showLength(std::uint32_t dataBytes, const WAVEFORMATEX& format) override {
        labels_.showLength(dataBytes, format.nBlockAlign, format.nSamplesPerSec);
    }
    void showPosition(std::uint32_t frame, const WAVEFORMATEX& format, bool moveTrackbar) override {
        labels_.showPosition(frame, format.nSamplesPerSec, moveTrackbar);
    }
    void updateButtons(const recorder::RecorderButtons& b) override {
        const MainControls& ui = window_.ui();
        enable({ui.record}, b.record);
        enable({ui.home, ui.end, ui.recordPosition}, b.homeEnd);
        enable({ui.play, ui.cutHead, ui.cutTail, ui.saveRecord}, b.playCutSave);
        enable({ui.newRecord}, b.newRecord);
        enable({ui.stop}, b.stop);
        enable({ui.recordingDevice, ui.outputFormat, ui.endpointList, ui.measureNoise},
               b.deviceLists);
    }

    void setWaveformFullScale(int fullScale) override {
        if (scope_ != nullptr) {
            scope_->setFullScale(fullScale);
        }
    }
    void showWaveform(const unsigned char* data, std::uint32_t bytes,
                      const WAVEFORMATEX& format) override {
        if (scope_ != nullptr) {
            scope_->feed(data, bytes, format.nChannels, format.wBitsPerSample);
            scope_->repaint();
        }
    }

    void showLevels(const unsigned char* data, std::uint32_t bytes,
                    const WAVEFORMATEX& format) override {
        if (meter_ != nullptr) {
            meter_->feed(data, bytes, format.nChannels, format.wBitsPerSample);
        }
    }
    void showHealth(const recorder::RecorderHealth& health) override {
        if (health_ != nullptr) {
            health_->setText(recorder::healthText(health));
        }
    }

  private:
    static void enable(std::initializer_list<QWidget*> controls, bool on) {
        for (QWidget* w : controls) {
            w->setEnabled(on);
        }
    }

    CRecorderDialog& window_;
    UserMessages& messages_;
    std::function<bool()> readControls_;
    std::function<recorder::CaptureOptions()> options_;
    waveform::CRecorderLabels labels_;
    waveform::CWaveformScope* scope_;
    waveform::CLevelMeter* meter_;
    QLabel* health_;
};

// The "Progress" dialog as the compression's progress display.
class DialogProgress final : public encoders::CompressProgress {
  public:
    explicit DialogProgress(QWidget* owner) : dialog_(owner, loadString(kStrCompressing)) {
        dialog_.setRange(0, 100);
        dialog_.show();
    }
    void setPercent(int percent) override { dialog_.setPosition(percent); }
    bool cancelRequested() override { return dialog_.checkCancel(); }
    void pause(int ms) override { QThread::msleep(static_cast<unsigned long>(ms)); }

  private:
    ui::CProgressDialog dialog_;
};

// What saving a record needs of the window: its settings, the Save As dialog, questions, the
// wait cursor, the progress dialog and the playlist.
class WindowFinalisationHost final : public recorder::FinalisationHost {
  public:
    WindowFinalisationHost(CRecorderDialog& window, UserMessages& messages,
                           std::function<recorder::SaveSettings()> settings,
                           std::function<void(const QString&)> saved)
        : window_(window), messages_(messages), settings_(std::move(settings)),
          saved_(std::move(saved)) {}
    ~WindowFinalisationHost() override {
        while (waitCursors_ > 0) {
            setWaitCursor(false);
        }
    }

    recorder::SaveSettings saveSettings() const override { return settings_(); }
    std::optional<QString> askSaveAs(const QString& initialName, const QString& extension,
                                     const QString& filter) override {
        ui::CXFileDialog dialog(false, extension, initialName, filter, &window_);
        if (dialog.showDialog() != ui::CXFileDialog::kChosen || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        return dialog.selectedFiles().constFirst();
    }
    bool confirm(const QString& text) override {
        return messages_.showMessage(text, MessageIcon::Question, MessageButtons::YesNo) ==
               MessageAnswer::Yes;
    }
    void setWaitCursor(bool on) override {
        if (on) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            ++waitCursors_;
        } else if (waitCursors_ > 0) {
            QApplication::restoreOverrideCursor();
            --waitCursors_;
        }
    }
    std::unique_ptr<encoders::CompressProgress> makeProgress() override {
        return std::make_unique<DialogProgress>(&window_);
    }
    void recordSaved(const QString& path) override { saved_(path); }

  private:
    CRecorderDialog& window_;
    UserMessages& messages_;
    std::function<recorder::SaveSettings()> settings_;
    std::function<void(const QString&)> saved_;
    int waitCursors_ = 0;
};

// The integer an edit field holds, 0 when it holds something else.
std::int32_t fieldInteger(QLineEdit* edit) {
    return edit != nullptr ? parseDialogInteger(edit->text()).value_or(0) : 0;
}

} // namespace

struct CRecorderDialog::RecorderParts {
    std::unique_ptr<WindowRecorderView> view;
    std::unique_ptr<WindowFinalisationHost> host;
    std::unique_ptr<recorder::RecordSaving> saving;
    std::unique_ptr<recorder::CaptureSession> session;       // after the others: destroyed first
    std::unique_ptr<recorder::NoiseCalibration> calibration; // holds the input while it listens
};

void CRecorderDialog::RecorderPartsDeleter::operator()(RecorderParts* parts) const {
    delete parts;
}

recorder::CaptureSession* CRecorderDialog::captureSession() const {
    return recorder_ ? recorder_->session.get() : nullptr;
}

void CRecorderDialog::wireRecorder() {
    ui_.waveform->initColumns();
    auto options = [this] {
        recorder::CaptureOptions o;
        o.inputDevice = ui_.recordingDevice->currentIndex();
        o.formatRow = ui_.outputFormat->currentIndex();
        o.endpointMode = isEndpointMode();
        o.endpointSelected = ui_.endpointList->currentItem() != nullptr;
        if (endpointSettings_ != nullptr) {
            o.endpointName = endpointSettings_->selectedSourceName();
        }
        o.encodeMethod = settings_.encodeMethod;
        o.outputDevice = settings_.outputDevice;
        o.longBlankSeconds = settings_.longBlankSeconds;
        o.silence.dropBlanks = settings_.dropSilence;
        o.silence.actionAtBlank = settings_.actionAtBlank;
        o.silence.noiseLevel = settings_.noiseLevel;
        o.silence.preRollTenths = settings_.preRollTenths;
        o.silence.holdMilliseconds = settings_.holdMilliseconds;
        return o;
    };
    recorder_.reset(new RecorderParts);
    recorder_->view = std::make_unique<WindowRecorderView>(
        *this, messages(), [this] { return readControls(); }, options);
    recorder_->host = std::make_unique<WindowFinalisationHost>(
        *this, messages(),
        [this] {
            recorder::SaveSettings s;
            s.recordFolder = settings_.recordFolder;
            s.askForRenaming = settings_.askForRenaming;
            s.discardShortRecord = settings_.discardShortRecord;
            s.shortRecordSeconds = settings_.shortRecordSeconds;
            s.recordQuality = settings_.recordQuality;
            return s;
        },
        [this](const QString& path) { addRecordToPlaylist(path); });
    recorder_->saving = std::make_unique<recorder::RecordSaving>(encoders_, *recorder_->host);
    recorder_->session = std::make_unique<recorder::CaptureSession>(*recorder_->view);
    recorder::CaptureSession* session = recorder_->session.get();
    recorder::RecordSaving* saving = recorder_->saving.get();
    session->setFinalisation(saving);

    const auto onClick = [this](QAbstractButton* button, auto slot) {
        connect(button, &QAbstractButton::clicked, this, slot);
    };
    // Recording needs the input the noise measurement may be holding.
    onClick(ui_.record, [this, session] {
        if (recorder_->calibration->running()) {
            recorder_->calibration->cancel();
            ui_.noiseMeasured->clear();
        }
        session->record();
    });
    onClick(ui_.stop, [session] { session->stop(); });
    onClick(ui_.play, [session] { session->play(); });
    onClick(ui_.home, [session] { session->home(); });
    onClick(ui_.end, [session] { session->end(); });
    onClick(ui_.newRecord, [session] { session->newRecord(); });
    onClick(ui_.saveRecord, [session, saving] { saving->save(*session, false); });
    onClick(ui_.cutHead, [session, saving] { saving->cutHead(*session); });
    onClick(ui_.cutTail, [session, saving] { saving->cutTail(*session); });
    onClick(ui_.setLongSilence, [this, session] {
        settings_.longBlankSeconds = fieldInteger(ui_.longSilenceSeconds);
        session->setLongBlankSeconds(settings_.longBlankSeconds);
    });
    onClick(ui_.setShortRecord,
            [this] { settings_.shortRecordSeconds = fieldInteger(ui_.shortRecordSeconds); });

    {
        QSlider* slider = ui_.recordPosition;
        const auto value = [slider] {
            return static_cast<std::uint32_t>(slider->sliderPosition());
        };
        connect(slider, &QSlider::sliderMoved, this,
                [session, value] { session->sliderTracking(value()); });
        connect(slider, &QSlider::sliderReleased, this,
                [session, value] { session->sliderReleased(value()); });
        // Clicks on the track and keys: the new position is known before the value changes.
        connect(slider, &QSlider::actionTriggered, this, [session, value](int action) {
            if (action != QAbstractSlider::SliderMove) {
                session->sliderMoved(value());
            }
        });
    }

    ui_.levelMeter->setToolTip(loadString(kStrLevelMeterTip));
    ui_.keepBeforeSoundLabel->setText(loadString(kStrKeepBeforeSound));
    ui_.soundMustLastLabel->setText(loadString(kStrSoundMustLast));

    // "Keep before sound" in seconds with one decimal; the setting holds tenths.
    auto* preRoll = ui_.keepBeforeSound;
    preRoll->setRange(0.0, recorder::kMaxPreRollTenths / 10.0);
    preRoll->setDecimals(1);
    preRoll->setSingleStep(0.1);
    preRoll->setSuffix(loadString(kStrSecondsSuffix));
    preRoll->setValue(settings_.preRollTenths / 10.0);
    preRoll->setToolTip(loadString(kStrKeepBeforeSoundTip));
    connect(preRoll, &QDoubleSpinBox::valueChanged, this, [this](double seconds) {
        settings_.preRollTenths = static_cast<std::int32_t>(std::lround(seconds * 10.0));
    });
    auto* hold = ui_.soundMustLast;
    hold->setRange(0.0, recorder::kMaxHoldMilliseconds);
    hold->setDecimals(0);
    hold->setSingleStep(10.0);
    hold->setSuffix(loadString(kStrMillisecondsSuffix));
    hold->setValue(settings_.holdMilliseconds);
    hold->setToolTip(loadString(kStrSoundMustLastTip));
    connect(hold, &QDoubleSpinBox::valueChanged, this, [this](double ms) {
        settings_.holdMilliseconds = static_cast<std::int32_t>(std::lround(ms));
    });

    // "Measure": listens to the input the recorder would use and selects the level proposed.
    recorder_->calibration = std::make_unique<recorder::NoiseCalibration>();
    auto* measure = ui_.measureNoise;
    auto* measured = ui_.noiseMeasured;
    measure->setText(loadString(kStrMeasure));
    measure->setToolTip(loadString(kStrMeasureTip));
    connect(measure, &QPushButton::clicked, this, [this, measure, measured, options] {
        if (recorder_->session->deviceOpen() || !readControls()) {
            return;
        }
        const auto done = [this, measure, measured](const recorder::NoiseMeasurement& m) {
            measure->setEnabled(!recorder_->session->deviceOpen());
            if (!m.ok) {
                measured->setText(loadString(kStrNoiseNotMeasured));
                return;
            }
            // The list numbers its levels from 1.
            measured->setText(loadString(kStrNoiseMeasured).arg(m.deviation).arg(m.level + 1));
            ui_.noiseLevel->setCurrentIndex(m.level);
        };
        if (!recorder_->calibration->start(options(), done)) {
            measured->setText(loadString(kStrNoiseNotMeasured));
            return;
        }
        measure->setEnabled(false);
        measured->setText(loadString(kStrMeasuring));
    });

    session->refreshDisplays();
    session->updateButtons();
}

bool CRecorderDialog::recorderAllowsClose() {
    return !recorder_ || recorder_->session->requestClose();
}

} // namespace mireldo
