#include "main_window.h"

#include "app_info.h"
#include "audio/wave_in.h"
#include "audio/wave_out.h"
#include "audio_mode.h"
#include "dialog_templates.h"
#include "message_box.h"
#include "app_buttons.h"
#include "image_button.h"
#include "link_label.h"
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
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
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

// Controls hidden when an area collapses and moved when an area above them changes height.
constexpr std::initializer_list<int> kSilenceAreaControls{1038, 1033, 1027, 1039,
                                                          1031, 1032, 1040, 1030};
constexpr std::initializer_list<int> kSavingAreaControls{
    1042, 1001, 1002, 1024, 1034, 1035, 1036, 1043, 1047, 1017, 1003, 1045, 1004, 1046, 1044};
constexpr std::initializer_list<int> kBelowSilenceArea{
    101,  1041, 1042, 1001, 1002, 1024, 1034, 1035, 1036, 1043, 1047, 1044, 1017, 1003, 1045,
    1004, 1046, 1026, 1025, 104,  1023, 1021, 1015, 1012, 1014, 1019, 1028, 1016};
constexpr std::initializer_list<int> kBelowSavingArea{101,  1026, 1025, 104,  1023, 1021,
                                                      1015, 1012, 1014, 1028, 1016};
constexpr std::initializer_list<int> kPlaylistPanel{1011, 104, 1023, 1021, 1015};

// Kilobits per second of each quality step, shown beside the quality slider.
constexpr std::array<int, 16> kQualityKbps{8,   16,  32,  40,  48,  56,  64,  80,
                                           96,  112, 128, 160, 192, 224, 256, 320};

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
constexpr std::array<std::pair<int, int>, 21> kTooltips{{
    {103, 374},  {1009, 441}, {1010, 440}, {1013, 477}, {1016, 499}, {1022, 380}, {1124, 377},
    {1084, 370}, {1091, 478}, {1116, 378}, {1119, 369}, {1120, 371}, {1122, 372}, {1123, 373},
    {1125, 376}, {1127, 375}, {1147, 444}, {104, 433},  {1023, 435}, {1021, 434}, {1028, 497},
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
    if (auto* endpoints = controlAs<QListWidget>(1049);
        endpoints != nullptr && isEndpointMode() && endpoints->currentItem() != nullptr) {
        history_.win7DeviceNameSel = endpoints->currentItem()->text();
        endpointSelected = true;
    }
    // A list without a selection (its device is gone, or no device layer lists any) keeps
    // the stored row, so the choice is there again when the device comes back.
    if (auto* devices = controlAs<QComboBox>(1266); devices && devices->currentIndex() >= 0) {
        history_.offlineRecDev = devices->currentIndex();
    }
    if (auto* formats = controlAs<QComboBox>(1217); formats && formats->currentIndex() >= 0) {
        history_.offlineRecFmt2 = formats->currentIndex();
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
        if (c.id == 1014) {
            auto* time = new ui::CTimeLabel(this);
            time->setFormatFlags(Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine);
            time->setText(text);
            return time;
        }
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        if (c.id == 1014 || c.id == 1017) {
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
    if (auto* link = qobject_cast<ui::CLinkLabel*>(control(1071))) {
        link->attach();
    }
    if (!services_.playlistFile.isEmpty()) {
        static_cast<playlist::CPlayListBox*>(control(1011))->initialise(services_.playlistFile);
    }
    computeLayoutValues();

    // Each area starts expanded, as the template is; one whose setting is 0 collapses now.
    const bool showPanel = settings_.showRightPanel != 0;
    const bool showSilence = settings_.showBlankElimination != 0;
    const bool showSaving = settings_.showSaveSettings != 0;
    settings_.showRightPanel = 1;
    settings_.showBlankElimination = 1;
    settings_.showSaveSettings = 1;
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
    for (int id : {1121, 1122, 1123, 103, 1022, 1055, 1124, 1116}) {
        control(id)->setEnabled(false);
    }

    auto* quality = controlAs<QSlider>(1004);
    quality->setRange(0, 15);
    quality->setPageStep(1);
    quality->setValue(settings_.recordQuality);
    controlAs<QLabel>(1017)->setText(
        QStringLiteral("%1 kbps").arg(kQualityKbps[static_cast<std::size_t>(settings_.recordQuality)]));

    for (int id : {1031, 1035}) {
        auto* edit = controlAs<QLineEdit>(id);
        edit->setMaxLength(2);
        QPalette p = edit->palette();
        p.setColor(QPalette::Base, QColor(190, 190, 190));
        edit->setPalette(p);
    }
    // A folder path of this system may be up to PATH_MAX long; a shorter limit would cut a
    // stored folder when it is read back from the field.
    controlAs<QLineEdit>(1001)->setMaxLength(4095);
    auto* volume = controlAs<QSlider>(1016);
    volume->setRange(0, 65535);
    volume->setValue(65535);
    control(1015)->setEnabled(false); // no current playlist item yet

    writeControls();
    connectControls();
    wireRecorder();
    wirePlaylist();
}

void CRecorderDialog::arrangeForEndpointMode() {
    setControlsVisible({1266, 1051, 1268, 1009, 1147}, false);
    const QRect label = control(1051)->geometry();
    const QRect sources = control(1268)->geometry();
    const QRect advance = control(1147)->geometry();
    control(1049)->setGeometry(QRect(QPoint(label.left(), sources.top()),
                                     QPoint(sources.right(), advance.bottom())));
    control(1049)->show();

    const QRect volumeLabel = control(1053)->geometry();
    QWidget* mute = control(1052);
    const int muteWidth = mute->width();
    const QRect slider(sources.left(), volumeLabel.top() - 1, sources.width() - muteWidth,
                       volumeLabel.height() + 9);
    control(1010)->setGeometry(slider);
    mute->move(slider.right() + 1, slider.top() + (slider.height() - mute->height()) / 2);
    setControlsVisible({1052, 1053, 1071}, true);
    auto* volume = controlAs<QSlider>(1010);
    volume->setRange(0, 100);
    volume->setPageStep(5);
    volume->setValue(0);
}

void CRecorderDialog::setUpPictures() {
    // The position control sits on the row of the playlist's buttons and reaches to 10 pixels
    // from the window's right edge.
    QWidget* position = control(1015);
    const QRect play = control(104)->geometry();
    const int left = position->x();
    position->setGeometry(left, play.top() + (play.height() - position->height()) / 2,
                          width() - 10 - left, position->height());

    const std::array<std::pair<int, const char*>, 5> pictures{{{1122, "home"},
                                                               {1123, "end"},
                                                               {103, "play"},
                                                               {1022, "stop"},
                                                               {1127, "record"}}};
    for (const auto& [id, name] : pictures) {
        auto* button = qobject_cast<QAbstractButton*>(control(id));
        // The text stays as the accessible name of a picture-only button.
        button->setAccessibleName(button->text().isEmpty() ? button->toolTip() : button->text());
        button->setText(QString());
        button->setIcon(icon(name));
        button->setIconSize(QSize(18, 18));
    }
    auto* about = controlAs<QToolButton>(1013);
    about->setAccessibleName(loadString(kStrAboutMireldo));
    about->setText(QString());
    about->setIcon(icon("about"));
}

void CRecorderDialog::fillDeviceAndFormatLists() {
    auto* devices = controlAs<QComboBox>(1266);
    if (services_.inputDeviceNames) {
        devices->addItems(services_.inputDeviceNames());
    }
    auto* formats = controlAs<QComboBox>(1217);
    for (int row = 0; row < kFormatRowCount; ++row) {
        const FormatRow f = formatRow(row);
        formats->addItem(f.channels == 1
                             ? QString::asprintf("%d Hz %d bits mono", f.rate, f.bits)
                             : QString::asprintf("%d Hz %d bits stereo", f.rate, f.bits));
    }
    history_ = readRecorderHistory(platform::ProfileStore(), isEndpointMode());
    selectRow(devices, history_.offlineRecDev);
    selectRow(formats, history_.offlineRecFmt2);
}

void CRecorderDialog::computeLayoutValues() {
    silenceGroup_ = control(1037)->geometry();
    savingGroup_ = control(1041)->geometry();
    const auto bottom = [](const QRect& r) { return r.y() + r.height(); };
    silenceAmount_ = bottom(control(1018)->geometry()) - bottom(silenceGroup_) + 3;
    savingAmount_ = bottom(control(1019)->geometry()) - bottom(savingGroup_) + 3;
    narrowWidth_ = control(1011)->x() + 3;
}

void CRecorderDialog::connectControls() {
    connect(controlAs<QToolButton>(1018), &QToolButton::clicked, this,
            [this] { toggleArea(Area::Silence); });
    connect(controlAs<QToolButton>(1019), &QToolButton::clicked, this,
            [this] { toggleArea(Area::Saving); });
    connect(controlAs<QToolButton>(1007), &QToolButton::clicked, this,
            [this] { togglePlaylistPanel(); });
    connect(controlAs<QToolButton>(1013), &QToolButton::clicked, this,
            [this] { systemCommand(16); });
    connect(controlAs<QPushButton>(1091), &QPushButton::clicked, this,
            [] { QDesktopServices::openUrl(helpPageUrl()); });
    connect(controlAs<QPushButton>(1002), &QPushButton::clicked, this,
            [this] { chooseRecordFolder(); });

    // Settings that take effect the moment they change.
    connect(controlAs<QSlider>(1004), &QSlider::valueChanged, this, [this](int value) {
        settings_.recordQuality = value & 15;
        controlAs<QLabel>(1017)->setText(QStringLiteral("%1 kbps").arg(
            kQualityKbps[static_cast<std::size_t>(settings_.recordQuality)]));
    });
    connect(controlAs<QComboBox>(1033), &QComboBox::currentIndexChanged, this,
            [this](int index) { settings_.noiseLevel = index; });
    connect(controlAs<QComboBox>(1030), &QComboBox::currentIndexChanged, this,
            [this](int index) { settings_.actionAtBlank = index; });
    connect(controlAs<QCheckBox>(1027), &QCheckBox::toggled, this,
            [this](bool on) { settings_.toDropBlanks = on ? 1 : 0; });
    connect(controlAs<QCheckBox>(1034), &QCheckBox::toggled, this,
            [this](bool on) { settings_.discardShortRecord = on ? 1 : 0; });
    connect(controlAs<QCheckBox>(1009), &QCheckBox::toggled, this,
            [this](bool on) { forceSelection_ = on; });
}

bool CRecorderDialog::readControls() {
    return exchangeFromControls(true);
}

bool CRecorderDialog::exchangeFromControls(bool prompt) {
    auto* shortEdit = controlAs<QLineEdit>(1035);
    auto* longEdit = controlAs<QLineEdit>(1031);
    const auto shortSeconds = parseDialogInteger(shortEdit->text());
    const auto longSeconds = parseDialogInteger(longEdit->text());
    if (prompt && (!shortSeconds || !longSeconds)) {
        QLineEdit* bad = !shortSeconds ? shortEdit : longEdit;
        messages().showString(kStrEnterInteger, MessageIcon::Exclamation);
        bad->setFocus();
        bad->selectAll();
        return false;
    }

    settings_.encodeMethod = controlAs<QComboBox>(1003)->currentIndex();
    settings_.actionAtBlank = controlAs<QComboBox>(1030)->currentIndex();
    settings_.noiseLevel = controlAs<QComboBox>(1033)->currentIndex();
    forceSelection_ = controlAs<QCheckBox>(1009)->isChecked();
    settings_.askForRenaming = controlAs<QCheckBox>(1024)->isChecked() ? 1 : 0;
    settings_.looplyPlaying = controlAs<QCheckBox>(1025)->isChecked() ? 1 : 0;
    settings_.discardShortRecord = controlAs<QCheckBox>(1034)->isChecked() ? 1 : 0;
    mute_ = controlAs<QCheckBox>(1052)->isChecked();
    settings_.toDropBlanks = controlAs<QCheckBox>(1027)->isChecked() ? 1 : 0;
    // Without a prompt (the window is going away) a field that holds no integer keeps the
    // value it had, rather than losing it.
    if (shortSeconds) {
        settings_.shortRecordSeconds = *shortSeconds;
    }
    if (longSeconds) {
        settings_.longBlankSeconds = *longSeconds;
    }
    settings_.recordFolder = controlAs<QLineEdit>(1001)->text();
    return true;
}

void CRecorderDialog::writeControls() {
    selectRow(controlAs<QComboBox>(1003), settings_.encodeMethod);
    selectRow(controlAs<QComboBox>(1030), settings_.actionAtBlank);
    selectRow(controlAs<QComboBox>(1033), settings_.noiseLevel);
    controlAs<QCheckBox>(1009)->setChecked(forceSelection_);
    controlAs<QCheckBox>(1024)->setChecked(settings_.askForRenaming != 0);
    controlAs<QCheckBox>(1025)->setChecked(settings_.looplyPlaying != 0);
    controlAs<QCheckBox>(1034)->setChecked(settings_.discardShortRecord != 0);
    controlAs<QCheckBox>(1052)->setChecked(mute_);
    controlAs<QCheckBox>(1027)->setChecked(settings_.toDropBlanks != 0);
    controlAs<QLineEdit>(1035)->setText(QString::number(settings_.shortRecordSeconds));
    controlAs<QLineEdit>(1031)->setText(QString::number(settings_.longBlankSeconds));
    controlAs<QLineEdit>(1001)->setText(settings_.recordFolder);
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
    return (area == Area::Silence ? settings_.showBlankElimination : settings_.showSaveSettings) !=
           0;
}

void CRecorderDialog::updateToggle(Area area) {
    const bool expanded = isAreaExpanded(area);
    auto* button = controlAs<QToolButton>(area == Area::Silence ? 1018 : 1019);
    button->setIcon(icon(expanded ? "collapse" : "expand"));
    const int tip = area == Area::Silence ? (expanded ? kStrCollapseSilence : kStrExpandSilence)
                                          : (expanded ? kStrCollapseSaving : kStrExpandSaving);
    button->setToolTip(loadString(tip));
}

void CRecorderDialog::updatePanelToggle() {
    const bool shown = settings_.showRightPanel != 0;
    auto* button = controlAs<QToolButton>(1007);
    button->setIcon(icon(shown ? "panel_hide" : "panel_show"));
    button->setToolTip(loadString(shown ? kStrHidePlaylist : kStrShowPlaylist));
}

void CRecorderDialog::applyWindowSize() {
    int height = fullSize_.height();
    if (settings_.showBlankElimination == 0) {
        height += silenceAmount_;
    }
    if (settings_.showSaveSettings == 0) {
        height += savingAmount_;
    }
    const int width = settings_.showRightPanel != 0 ? fullSize_.width() : narrowWidth_;
    setFixedSize(width, height);
}

void CRecorderDialog::toggleArea(Area area) {
    const bool silence = area == Area::Silence;
    int& setting = silence ? settings_.showBlankElimination : settings_.showSaveSettings;
    setting = setting != 0 ? 0 : 1;
    const bool expanded = setting != 0;
    updateToggle(area);

    QWidget* group = control(silence ? 1037 : 1041);
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
    QWidget* playlist = control(1011);
    playlist->resize(playlist->width(), playlist->height() + d);
    if (silence) {
        moveControls(kBelowSilenceArea, d);
        savingGroup_.translate(0, d);
    } else {
        moveControls(kBelowSavingArea, d);
    }
}

void CRecorderDialog::togglePlaylistPanel() {
    settings_.showRightPanel = settings_.showRightPanel != 0 ? 0 : 1;
    updatePanelToggle();
    setControlsVisible(kPlaylistPanel, settings_.showRightPanel != 0);
    applyWindowSize();
}

void CRecorderDialog::moveControls(std::initializer_list<int> ids, int dy) {
    for (int id : ids) {
        if (QWidget* w = control(id)) {
            w->move(w->x(), w->y() + dy);
        }
    }
}

void CRecorderDialog::setControlsVisible(std::initializer_list<int> ids, bool visible) {
    for (int id : ids) {
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
    auto* line = controlAs<QLabel>(1008);
    line->setText(loadString(kStrReadyToRecord + code));
    line->repaint();
}

void CRecorderDialog::chooseRecordFolder() {
    const QString start = settings_.recordFolder.isEmpty() ? QDir::homePath()
                                                           : settings_.recordFolder;
    const QString chosen =
        QFileDialog::getExistingDirectory(this, loadString(kStrChooseRecordFolder), start);
    if (chosen.isEmpty()) {
        return;
    }
    settings_.recordFolder = normaliseRecordFolder(chosen);
    controlAs<QLineEdit>(1001)->setText(settings_.recordFolder);
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
