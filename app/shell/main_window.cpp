#include "main_window.h"

#include "app_buttons.h"
#include "app_info.h"
#include "audio/wave_in.h"
#include "audio/wave_out.h"
#include "audio_mode.h"
#include "dialog_templates.h"
#include "folder_browser.h"
#include "image_button.h"
#include "level_meter.h"
#include "link_label.h"
#include "link_rules.h"
#include "message_box.h"
#include "play_list_box.h"
#include "playlist_model.h"
#include "position_control.h"
#include "small_dialogs.h"
#include "string_table.h"
#include "text_list.h"
#include "time_label.h"
#include "waveform_scope.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <array>

namespace mireldo {

namespace {

/// The longest record folder the field holds: a path of this system (PATH_MAX less the NUL).
constexpr int kMaxRecordFolderLength = 4095;

/// True when `edit` still shows `stored` as writeControls() put it there, cut to the field's
/// width, and the user has not typed in it (typing the cut digits sets that value).
bool showsStoredValue(const QLineEdit* edit, int stored) {
    return !edit->isModified() && edit->text() == QString::number(stored).left(edit->maxLength());
}

// Controls hidden when an area collapses and moved when an area above them changes height.
constexpr std::initializer_list<MainCtl> kSilenceAreaControls{
    MainCtl::NoiseLevelLabel,    MainCtl::NoiseLevel,           MainCtl::MeasureNoise,
    MainCtl::NoiseMeasured,      MainCtl::DropSilence,          MainCtl::LongSilenceLabel,
    MainCtl::LongSilenceSeconds, MainCtl::SetLongSilence,       MainCtl::LongSilenceUnit,
    MainCtl::SilenceAction,      MainCtl::KeepBeforeSoundLabel, MainCtl::KeepBeforeSound,
    MainCtl::SoundMustLastLabel, MainCtl::SoundMustLast};
constexpr std::initializer_list<MainCtl> kSavingAreaControls{
    MainCtl::RecordFolderLabel, MainCtl::RecordFolder,    MainCtl::BrowseRecordFolder,
    MainCtl::AskForName,        MainCtl::DiscardShort,    MainCtl::ShortRecordSeconds,
    MainCtl::SetShortRecord,    MainCtl::ShortRecordUnit, MainCtl::EncodingLabel,
    MainCtl::QualityKbps,       MainCtl::EncodingMethod,  MainCtl::QualityLow,
    MainCtl::Quality,           MainCtl::QualityHigh,     MainCtl::QualityLabel};
constexpr std::initializer_list<MainCtl> kBelowSilenceArea{
    MainCtl::SavingGroup,        MainCtl::RecordFolderLabel, MainCtl::RecordFolder,
    MainCtl::BrowseRecordFolder, MainCtl::AskForName,        MainCtl::DiscardShort,
    MainCtl::ShortRecordSeconds, MainCtl::SetShortRecord,    MainCtl::ShortRecordUnit,
    MainCtl::EncodingLabel,      MainCtl::QualityLabel,      MainCtl::QualityKbps,
    MainCtl::EncodingMethod,     MainCtl::QualityLow,        MainCtl::Quality,
    MainCtl::QualityHigh,        MainCtl::AdvertisingLine,   MainCtl::LoopPlaying,
    MainCtl::PlaylistPlay,       MainCtl::PlaylistStop,      MainCtl::PlaylistPause,
    MainCtl::PlaylistPosition,   MainCtl::PlaylistStatus,    MainCtl::PlaylistTime,
    MainCtl::SavingToggle,       MainCtl::OutputDevice,      MainCtl::PlaybackVolume};
constexpr std::initializer_list<MainCtl> kBelowSavingArea{
    MainCtl::AdvertisingLine, MainCtl::LoopPlaying,   MainCtl::PlaylistPlay,
    MainCtl::PlaylistStop,    MainCtl::PlaylistPause, MainCtl::PlaylistPosition,
    MainCtl::PlaylistStatus,  MainCtl::PlaylistTime,  MainCtl::OutputDevice,
    MainCtl::PlaybackVolume};
constexpr std::initializer_list<MainCtl> kPlaylistPanel{
    MainCtl::Playlist, MainCtl::PlaylistPlay, MainCtl::PlaylistStop, MainCtl::PlaylistPause,
    MainCtl::PlaylistPosition};

// Kilobits per second of each quality step, shown beside the quality slider.
constexpr std::array<int, 16> kQualityKbps{8,  16,  32,  40,  48,  56,  64,  80,
                                           96, 112, 128, 160, 192, 224, 256, 320};

// Rows of the "Output format:" list: rate, bits, channels.
struct FormatRow {
    int rate;
    int bits;
    int channels;
};
constexpr std::array<int, 7> kFormatRates{48000, 44100, 32000, 22050, 16000, 11025, 8000};

FormatRow formatRow(int row) {
    const int bits = row < 14 ? 16 : 8;
    const auto rate = kFormatRates[static_cast<std::size_t>((row % 14) / 2)];
    return {rate, bits, row % 2 == 0 ? 1 : 2};
}

constexpr int kFormatRowCount = 28;

// Tooltips of controls that keep them for good.
constexpr std::array<std::pair<MainCtl, int>, 21> kTooltips{{
    {MainCtl::Play, 374},
    {MainCtl::ForceSelection, 441},
    {MainCtl::RecordingVolume, 440},
    {MainCtl::About, 477},
    {MainCtl::PlaybackVolume, 499},
    {MainCtl::Stop, 380},
    {MainCtl::CutTail, 377},
    {MainCtl::Waveform, 370},
    {MainCtl::OnlineHelp, 478},
    {MainCtl::SaveRecord, 378},
    {MainCtl::PositionText, 369},
    {MainCtl::LengthText, 371},
    {MainCtl::Home, 372},
    {MainCtl::End, 373},
    {MainCtl::NewRecord, 376},
    {MainCtl::Record, 375},
    {MainCtl::Advance, 444},
    {MainCtl::PlaylistPlay, 433},
    {MainCtl::PlaylistStop, 435},
    {MainCtl::PlaylistPause, 434},
    {MainCtl::OutputDevice, 497},
}};

QIcon icon(const char* name) {
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(QString::fromLatin1(name)));
}

void selectRow(QComboBox* combo, int row) {
    combo->setCurrentIndex(row >= 0 && row < combo->count() ? row : -1);
}

} // namespace

DialogServices defaultServices() {
    DialogServices services;
    services.inputDeviceNames = [] { return platform::audio::waveInDeviceNames(); };
    services.outputDeviceNames = []() -> std::optional<QStringList> {
        return platform::audio::waveOutDeviceNames();
    };
    services.showAbout = ui::showAboutDialog;
    services.playlistFile = playlist::defaultListFilePath();
    return services;
}

CRecorderDialog::CRecorderDialog(QWidget* parent) : CRecorderDialog(defaultServices(), parent) {}

CRecorderDialog::CRecorderDialog(DialogServices services, QWidget* parent)
    : MessageReceiverBase<QDialog>(parent), services_(std::move(services)) {
    // Construction: the capture defaults are the recorder's; here the settings.
    std::optional<int> outputCount;
    if (services_.outputDeviceNames) {
        if (const auto names = services_.outputDeviceNames()) {
            outputCount = static_cast<int>(std::min<qsizetype>(names->size(), kMaxOutputDevices));
        }
    }
    settings_ = readRecorderSettings(platform::ProfileStore(), outputCount);

    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    buildControls(mainWindowTemplate());
    bindMainControls(ui_, [this](MainCtl id) { return control(id); });
    // Creation of the window: the plug-ins the recorder and the converter encode with.
    if (services_.pluginFolder.isEmpty()) {
        encoders_.load();
    } else {
        encoders_.load(services_.pluginFolder);
    }
    initDialog();
}

CRecorderDialog::~CRecorderDialog() {
    stopReceiving();
    exchangeFromControls(false);
    bool endpointSelected = false;
    if (isEndpointMode() && ui_.endpointList->currentItem() != nullptr) {
        history_.endpointName = ui_.endpointList->currentItem()->text();
        endpointSelected = true;
    }
    // A list without a selection (its device is gone, or no device layer lists any) keeps
    // the stored row, so the choice is there again when the device comes back.
    if (ui_.recordingDevice->currentIndex() >= 0) {
        history_.recordingDevice = ui_.recordingDevice->currentIndex();
    }
    if (ui_.outputFormat->currentIndex() >= 0) {
        history_.outputFormat = ui_.outputFormat->currentIndex();
    }
    platform::ProfileStore store;
    writeRecorderState(store, settings_, history_, endpointSelected);
}

QWidget* CRecorderDialog::control(int id) const {
    const auto it = controls_.find(id);
    return it != controls_.end() ? it->second : nullptr;
}

void CRecorderDialog::buildControls(const DialogTemplate& tmpl) {
    for (const ControlTemplate& c : tmpl.controls) {
        QWidget* w = createControl(c);
        w->setGeometry(c.x, c.y, c.width, c.height);
        w->setVisible((c.flags & kCtlHidden) == 0);
        if (c.id != kStaticId) {
            w->setObjectName(QStringLiteral("control_%1").arg(c.id));
            controls_.emplace(c.id, w);
        }
        allControls_.push_back(w);
    }
    fullSize_ = QSize(tmpl.width, tmpl.height);
    setFixedSize(fullSize_);
}

QWidget* CRecorderDialog::createControl(const ControlTemplate& c) {
    const QString text = QString::fromUtf8(c.text);
    switch (c.kind) {
    case ControlKind::GroupBox:
        return new QGroupBox(text, this);
    case ControlKind::Label: {
        if (c.id == static_cast<int>(MainCtl::PlaylistTime)) {
            auto* time = new ui::CTimeLabel(this);
            time->setFormatFlags(Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine);
            time->setText(text);
            return time;
        }
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        if (c.id == static_cast<int>(MainCtl::PlaylistTime) ||
            c.id == static_cast<int>(MainCtl::QualityKbps)) {
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        return label;
    }
    case ControlKind::TextBox: {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignCenter);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        return label;
    }
    case ControlKind::StatusText: {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, QColor(180, 0, 0));
        label->setPalette(p);
        return label;
    }
    case ControlKind::Button: {
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(false); // Enter never presses a button of this window
        return button;
    }
    case ControlKind::ToolButton: {
        if (ui::isApplicationButton(c.id)) {
            auto* button = new ui::CImageButton(this);
            ui::configureApplicationButton(*button, c.id);
            return button;
        }
        auto* button = new QToolButton(this);
        button->setText(text);
        button->setAutoRaise(true);
        return button;
    }
    case ControlKind::CheckBox:
        return new QCheckBox(text, this);
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox(this);
        if (!text.isEmpty()) {
            combo->addItems(text.split(u'\n'));
        }
        return combo;
    }
    case ControlKind::Edit:
        return new QLineEdit(text, this);
    case ControlKind::Slider:
        return new QSlider(Qt::Horizontal, this);
    case ControlKind::Position:
        return ui::makePlaylistPositionControl(this);
    case ControlKind::Playlist:
        return new playlist::CPlayListBox(this);
    case ControlKind::ListBox:
        if (c.id == static_cast<int>(MainCtl::EndpointList)) {
            return new ui::CTextList(this);
        }
        [[fallthrough]];
    case ControlKind::CheckList: {
        auto* list = new QListWidget(this);
        list->setUniformItemSizes(true);
        return list;
    }
    case ControlKind::Waveform:
        return waveform::makeWaveformScope(this);
    case ControlKind::LevelMeter:
        return waveform::makeLevelMeter(this);
    case ControlKind::SpinBox:
        return new QDoubleSpinBox(this);
    case ControlKind::Link: {
        auto* link = new ui::CLinkLabel(this);
        link->setText(text);
        link->setTarget(deviceHelpPageUrl().toString());
        link->setIsWebAddress(true);
        return link;
    }
    }
    return new QWidget(this);
}

void CRecorderDialog::initDialog() {
    setWindowTitle(applicationTitle());

    systemMenu_ = new QMenu(this);
    const QString aboutText = loadString(kStrAboutMenu);
    if (!aboutText.isEmpty()) {
        systemMenu_->addSeparator();
        systemMenu_->addAction(aboutText, this, [this] { systemCommand(16); });
    }

    setWindowIcon(icon("mireldo"));
    setStatus(0);

    if (isEndpointMode()) {
        arrangeForEndpointMode();
    }
    setUpPictures();
    if (services_.openAddress) {
        ui_.deviceNotListed->setOpener(services_.openAddress);
    }
    ui_.deviceNotListed->setErrorReporter([this](const QString& message) {
        messages().showMessage(message, MessageIcon::Exclamation, MessageButtons::Ok);
    });
    ui_.deviceNotListed->attach();
    if (!services_.playlistFile.isEmpty()) {
        ui_.playlist->initialise(services_.playlistFile);
    }
    computeLayoutValues();

    // Each area starts expanded, as the template is; one whose setting is 0 collapses now.
    const bool showPanel = settings_.showPlaylist;
    const bool showSilence = settings_.showSilenceArea;
    const bool showSaving = settings_.showSavingArea;
    settings_.showPlaylist = true;
    settings_.showSilenceArea = true;
    settings_.showSavingArea = true;
    updatePanelToggle();
    updateToggle(Area::Silence);
    updateToggle(Area::Saving);
    if (!showPanel) {
        togglePlaylistPanel();
    }
    if (!showSilence) {
        toggleArea(Area::Silence);
    }
    if (!showSaving) {
        toggleArea(Area::Saving);
    }

    for (const auto& [id, stringId] : kTooltips) {
        if (QWidget* w = control(id)) {
            w->setToolTip(loadString(stringId));
        }
    }
    fillDeviceAndFormatLists();
    wireRecordingSettings();

    // Recorder buttons as they stand without a record: only Record and New Record can act.
    for (QWidget* w :
         std::initializer_list<QWidget*>{ui_.recordPosition, ui_.home, ui_.end, ui_.play, ui_.stop,
                                         ui_.cutHead, ui_.cutTail, ui_.saveRecord}) {
        w->setEnabled(false);
    }

    auto* quality = ui_.quality;
    quality->setRange(0, 15);
    quality->setPageStep(1);
    quality->setValue(settings_.recordQuality);
    ui_.qualityKbps->setText(QStringLiteral("%1 kbps").arg(
        kQualityKbps[static_cast<std::size_t>(settings_.recordQuality)]));

    for (QLineEdit* edit : {ui_.longSilenceSeconds, ui_.shortRecordSeconds}) {
        edit->setMaxLength(2);
        // Grey only while enabled: the disabled state keeps the style's own colours, so the
        // digits stay readable while the window is disabled during compression.
        QPalette p = edit->palette();
        p.setColor(QPalette::Active, QPalette::Base, QColor(190, 190, 190));
        p.setColor(QPalette::Inactive, QPalette::Base, QColor(190, 190, 190));
        edit->setPalette(p);
    }
    // A folder path of this system may be up to PATH_MAX long; a shorter limit would cut a
    // stored folder when it is read back from the field.
    ui_.recordFolder->setMaxLength(kMaxRecordFolderLength);
    auto* volume = ui_.playbackVolume;
    volume->setRange(0, 65535);
    volume->setValue(65535);
    ui_.playlistPosition->setEnabled(false); // no current playlist item yet

    writeControls();
    connectControls();
    wireRecorder();
    wirePlaylist();
}

void CRecorderDialog::arrangeForEndpointMode() {
    setControlsVisible({MainCtl::RecordingDevice, MainCtl::RecordingSourceLabel,
                        MainCtl::RecordingSources, MainCtl::ForceSelection, MainCtl::Advance},
                       false);
    const QRect label = ui_.recordingSourceLabel->geometry();
    const QRect sources = ui_.recordingSources->geometry();
    const QRect advance = ui_.advance->geometry();
    ui_.endpointList->setGeometry(
        QRect(QPoint(label.left(), sources.top()), QPoint(sources.right(), advance.bottom())));
    ui_.endpointList->show();

    const QRect volumeLabel = ui_.recordingVolumeLabel->geometry();
    QWidget* mute = ui_.mute;
    const int muteWidth = mute->width();
    const QRect slider(sources.left(), volumeLabel.top() - 1, sources.width() - muteWidth,
                       volumeLabel.height() + 9);
    ui_.recordingVolume->setGeometry(slider);
    mute->move(slider.right() + 1, slider.top() + (slider.height() - mute->height()) / 2);
    setControlsVisible({MainCtl::Mute, MainCtl::RecordingVolumeLabel, MainCtl::DeviceNotListed},
                       true);
    auto* volume = ui_.recordingVolume;
    volume->setRange(0, 100);
    volume->setPageStep(5);
    volume->setValue(0);
}

void CRecorderDialog::setUpPictures() {
    // The position control sits on the row of the playlist's buttons and reaches to 10 pixels
    // from the window's right edge.
    QWidget* position = ui_.playlistPosition;
    const QRect play = ui_.playlistPlay->geometry();
    const int left = position->x();
    position->setGeometry(left, play.top() + (play.height() - position->height()) / 2,
                          width() - 10 - left, position->height());

    const std::array<std::pair<QAbstractButton*, const char*>, 5> pictures{
        {{ui_.home, "home"},
         {ui_.end, "end"},
         {ui_.play, "play"},
         {ui_.stop, "stop"},
         {ui_.record, "record"}}};
    for (const auto& [button, name] : pictures) {
        // The text stays as the accessible name of a picture-only button.
        button->setAccessibleName(button->text().isEmpty() ? button->toolTip() : button->text());
        button->setText(QString());
        button->setIcon(icon(name));
        button->setIconSize(QSize(18, 18));
    }
    auto* about = ui_.about;
    about->setAccessibleName(loadString(kStrAboutMireldo));
    about->setText(QString());
    about->setIcon(icon("about"));
}

void CRecorderDialog::fillDeviceAndFormatLists() {
    auto* devices = ui_.recordingDevice;
    if (services_.inputDeviceNames) {
        devices->addItems(services_.inputDeviceNames());
    }
    auto* formats = ui_.outputFormat;
    for (int row = 0; row < kFormatRowCount; ++row) {
        const FormatRow f = formatRow(row);
        formats->addItem(f.channels == 1
                             ? QString::asprintf("%d Hz %d bits mono", f.rate, f.bits)
                             : QString::asprintf("%d Hz %d bits stereo", f.rate, f.bits));
    }
    history_ = readRecorderHistory(platform::ProfileStore(), isEndpointMode());
    selectRow(devices, history_.recordingDevice);
    selectRow(formats, history_.outputFormat);
}

void CRecorderDialog::computeLayoutValues() {
    silenceGroup_ = ui_.silenceGroup->geometry();
    savingGroup_ = ui_.savingGroup->geometry();
    const auto bottom = [](const QRect& r) { return r.y() + r.height(); };
    silenceAmount_ = bottom(ui_.silenceToggle->geometry()) - bottom(silenceGroup_) + 3;
    savingAmount_ = bottom(ui_.savingToggle->geometry()) - bottom(savingGroup_) + 3;
    narrowWidth_ = ui_.playlist->x() + 3;
}

void CRecorderDialog::connectControls() {
    connect(ui_.silenceToggle, &QToolButton::clicked, this, [this] { toggleArea(Area::Silence); });
    connect(ui_.savingToggle, &QToolButton::clicked, this, [this] { toggleArea(Area::Saving); });
    connect(ui_.panelToggle, &QToolButton::clicked, this, [this] { togglePlaylistPanel(); });
    connect(ui_.about, &QToolButton::clicked, this, [this] { systemCommand(16); });
    connect(ui_.onlineHelp, &QPushButton::clicked, this, [this] { openHelpPage(); });
    connect(ui_.browseRecordFolder, &QPushButton::clicked, this, [this] { chooseRecordFolder(); });

    // Settings that take effect the moment they change.
    connect(ui_.quality, &QSlider::valueChanged, this, [this](int value) {
        settings_.recordQuality = value & 15;
        ui_.qualityKbps->setText(QStringLiteral("%1 kbps").arg(
            kQualityKbps[static_cast<std::size_t>(settings_.recordQuality)]));
    });
    connect(ui_.noiseLevel, &QComboBox::currentIndexChanged, this,
            [this](int index) { settings_.noiseLevel = index; });
    connect(ui_.silenceAction, &QComboBox::currentIndexChanged, this,
            [this](int index) { settings_.actionAtBlank = index; });
    connect(ui_.dropSilence, &QCheckBox::toggled, this,
            [this](bool on) { settings_.dropSilence = on; });
    connect(ui_.discardShort, &QCheckBox::toggled, this,
            [this](bool on) { settings_.discardShortRecord = on; });
    connect(ui_.forceSelection, &QCheckBox::toggled, this,
            [this](bool on) { forceSelection_ = on; });
}

bool CRecorderDialog::readControls() {
    return exchangeFromControls(true);
}

bool CRecorderDialog::exchangeFromControls(bool prompt) {
    auto* shortEdit = ui_.shortRecordSeconds;
    auto* longEdit = ui_.longSilenceSeconds;
    const auto shortSeconds = parseDialogInteger(shortEdit->text());
    const auto longSeconds = parseDialogInteger(longEdit->text());
    if (prompt && (!shortSeconds || !longSeconds)) {
        QLineEdit* bad = !shortSeconds ? shortEdit : longEdit;
        messages().showString(kStrEnterInteger, MessageIcon::Exclamation);
        bad->setFocus();
        bad->selectAll();
        return false;
    }

    settings_.encodeMethod = ui_.encodingMethod->currentIndex();
    settings_.actionAtBlank = ui_.silenceAction->currentIndex();
    settings_.noiseLevel = ui_.noiseLevel->currentIndex();
    forceSelection_ = ui_.forceSelection->isChecked();
    settings_.askForRenaming = ui_.askForName->isChecked();
    settings_.loopPlaying = ui_.loopPlaying->isChecked();
    settings_.discardShortRecord = ui_.discardShort->isChecked();
    mute_ = ui_.mute->isChecked();
    settings_.dropSilence = ui_.dropSilence->isChecked();
    // Without a prompt (the window is going away) a field that holds no integer keeps the
    // value it had, rather than losing it. A field that still shows the stored value keeps
    // it too: a value wider than the two-character field is shown cut, and writing the cut
    // digits back would change a setting the user never touched.
    if (shortSeconds && !showsStoredValue(shortEdit, settings_.shortRecordSeconds)) {
        settings_.shortRecordSeconds = *shortSeconds;
    }
    if (longSeconds && !showsStoredValue(longEdit, settings_.longBlankSeconds)) {
        settings_.longBlankSeconds = *longSeconds;
    }
    settings_.recordFolder = ui_.recordFolder->text();
    return true;
}

void CRecorderDialog::writeControls() {
    selectRow(ui_.encodingMethod, settings_.encodeMethod);
    selectRow(ui_.silenceAction, settings_.actionAtBlank);
    selectRow(ui_.noiseLevel, settings_.noiseLevel);
    ui_.forceSelection->setChecked(forceSelection_);
    ui_.askForName->setChecked(settings_.askForRenaming);
    ui_.loopPlaying->setChecked(settings_.loopPlaying);
    ui_.discardShort->setChecked(settings_.discardShortRecord);
    ui_.mute->setChecked(mute_);
    ui_.dropSilence->setChecked(settings_.dropSilence);
    ui_.shortRecordSeconds->setText(QString::number(settings_.shortRecordSeconds));
    ui_.longSilenceSeconds->setText(QString::number(settings_.longBlankSeconds));
    ui_.recordFolder->setText(settings_.recordFolder);
}

void CRecorderDialog::setStartupReport(const StaleFileReport& report) {
    recovered_ = report.recovered;
    notRecovered_ = report.notRecovered;
    // Recovered records join the playlist as saved records do.
    for (const QString& path : recovered_) {
        addRecordToPlaylist(path);
    }
    reportPending_ = !recovered_.isEmpty() || !notRecovered_.isEmpty();
    if (reportPending_ && isVisible()) {
        QTimer::singleShot(0, this, [this] { tellStartupReport(); });
    }
}

void CRecorderDialog::tellStartupReport() {
    if (!reportPending_) {
        return;
    }
    reportPending_ = false;
    if (!recovered_.isEmpty()) {
        messages().showMessage(loadString(kStrRecordsRecovered).arg(recovered_.join(u'\n')),
                               MessageIcon::Information, MessageButtons::Ok);
    }
    if (!notRecovered_.isEmpty()) {
        messages().showMessage(loadString(kStrRecordsNotRecovered).arg(notRecovered_.join(u'\n')),
                               MessageIcon::Exclamation, MessageButtons::Ok);
    }
}

void CRecorderDialog::systemCommand(int command) {
    if (command < 16 || command > 31) {
        return;
    }
    if (services_.showAbout) {
        services_.showAbout(this);
        return;
    }
    QMessageBox::about(this, loadString(kStrAboutMireldo), applicationTitle());
}

bool CRecorderDialog::isAreaExpanded(Area area) const {
    return area == Area::Silence ? settings_.showSilenceArea : settings_.showSavingArea;
}

void CRecorderDialog::updateToggle(Area area) {
    const bool expanded = isAreaExpanded(area);
    QToolButton* button = area == Area::Silence ? ui_.silenceToggle : ui_.savingToggle;
    button->setIcon(icon(expanded ? "collapse" : "expand"));
    const int tip = area == Area::Silence ? (expanded ? kStrCollapseSilence : kStrExpandSilence)
                                          : (expanded ? kStrCollapseSaving : kStrExpandSaving);
    button->setToolTip(loadString(tip));
}

void CRecorderDialog::updatePanelToggle() {
    const bool shown = settings_.showPlaylist;
    auto* button = ui_.panelToggle;
    button->setIcon(icon(shown ? "panel_hide" : "panel_show"));
    button->setToolTip(loadString(shown ? kStrHidePlaylist : kStrShowPlaylist));
}

void CRecorderDialog::applyWindowSize() {
    int height = fullSize_.height();
    if (!settings_.showSilenceArea) {
        height += silenceAmount_;
    }
    if (!settings_.showSavingArea) {
        height += savingAmount_;
    }
    const int width = settings_.showPlaylist ? fullSize_.width() : narrowWidth_;
    setFixedSize(width, height);
}

void CRecorderDialog::toggleArea(Area area) {
    const bool silence = area == Area::Silence;
    bool& setting = silence ? settings_.showSilenceArea : settings_.showSavingArea;
    setting = !setting;
    const bool expanded = setting;
    updateToggle(area);

    QWidget* group = silence ? static_cast<QWidget*>(ui_.silenceGroup) : ui_.savingGroup;
    const QRect stored = silence ? silenceGroup_ : savingGroup_;
    const int amount = silence ? silenceAmount_ : savingAmount_;
    const int oldHeight = group->height();
    if (silence) {
        setControlsVisible(kSilenceAreaControls, expanded);
    } else {
        setControlsVisible(kSavingAreaControls, expanded);
    }
    group->setGeometry(group->x(), group->y(), group->width(),
                       expanded ? stored.height() : stored.height() + amount);
    const int d = group->height() - oldHeight;

    applyWindowSize();
    QWidget* playlist = ui_.playlist;
    playlist->resize(playlist->width(), playlist->height() + d);
    if (silence) {
        moveControls(kBelowSilenceArea, d);
        savingGroup_.translate(0, d);
    } else {
        moveControls(kBelowSavingArea, d);
    }
}

void CRecorderDialog::togglePlaylistPanel() {
    settings_.showPlaylist = !settings_.showPlaylist;
    updatePanelToggle();
    setControlsVisible(kPlaylistPanel, settings_.showPlaylist);
    applyWindowSize();
}

void CRecorderDialog::moveControls(std::initializer_list<MainCtl> ids, int dy) {
    for (MainCtl id : ids) {
        if (QWidget* w = control(id)) {
            w->move(w->x(), w->y() + dy);
        }
    }
}

void CRecorderDialog::setControlsVisible(std::initializer_list<MainCtl> ids, bool visible) {
    for (MainCtl id : ids) {
        if (QWidget* w = control(id)) {
            w->setVisible(visible);
        }
    }
}

void CRecorderDialog::setStatus(int code) {
    if (code == status_ || code < 0 || code > 4) {
        return;
    }
    status_ = code;
    auto* line = ui_.statusLine;
    line->setText(loadString(kStrReadyToRecord + code));
    line->repaint();
}

void CRecorderDialog::openHelpPage() {
    const QString address = helpPageUrl().toString();
    const int result = services_.openAddress ? services_.openAddress(address)
                                             : ui::openAddressWithDesktop(address);
    if (result <= 32) { // the opener's codes 0..32 are errors
        // Said as the About box's links say it, rather than nothing at all.
        messages().showMessage(ui::openErrorMessage(result), MessageIcon::Exclamation,
                               MessageButtons::Ok);
    }
}

void CRecorderDialog::chooseRecordFolder() {
    const QString start =
        settings_.recordFolder.isEmpty() ? QDir::homePath() : settings_.recordFolder;
    // Our folder browser: its OK takes only an existing folder that is not a link.
    QString chosen;
    if (!ui::browseForFolder(this, loadString(kStrChooseRecordFolder), start, chosen,
                             kMaxRecordFolderLength + 1) ||
        chosen.isEmpty()) {
        return;
    }
    settings_.recordFolder = normaliseRecordFolder(chosen);
    ui_.recordFolder->setText(settings_.recordFolder);
}

UserMessages& CRecorderDialog::messages() {
    if (services_.messages != nullptr) {
        return *services_.messages;
    }
    if (!ownMessages_) {
        ownMessages_ = std::make_unique<WidgetMessages>(this);
    }
    return *ownMessages_;
}

void CRecorderDialog::reject() {
    // Esc and the close box: what the controls show must be readable before the window goes.
    if (!readControls() || !recorderAllowsClose()) {
        return;
    }
    QDialog::reject();
}

void CRecorderDialog::keyPressEvent(QKeyEvent* event) {
    // Enter never closes the window; the playlist will take it.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CRecorderDialog::contextMenuEvent(QContextMenuEvent* event) {
    systemMenu_->popup(event->globalPos());
    event->accept();
}

void CRecorderDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (reportPending_) {
        QTimer::singleShot(0, this, [this] { tellStartupReport(); });
    }
}

} // namespace mireldo
