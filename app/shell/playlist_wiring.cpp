// CRecorderDialog: the playlist panel. The playlist control with the buttons Play Selected,
// Pause/Continue and Stop Playing, the playing volume, the loop option, the position control,
// the time label, the status line, and the output-device menu whose setting both players use.

#include "main_window.h"

#include "converter_dialog.h"
#include "mail_dialog.h"
#include "play_list_box.h"
#include "position_control.h"
#include "profile_store.h"
#include "recorder_app.h"
#include "string_table.h"
#include "tag_editing.h"
#include "time_label.h"

#include <QAbstractButton>
#include <QActionGroup>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QSlider>

namespace mireldo {

namespace {

/// Command of the menu's first entry, the default device; device n is command 1145 + n.
constexpr int kOutputMenuFirst = 1144;
/// The string of the menu's first entry.
constexpr int kStrDefaultOutputDevice = 498;

} // namespace

void CRecorderDialog::wirePlaylist() {
    // The output-device menu, built once: the default device, a separator, then the devices.
    outputMenu_ = new QMenu(this);
    auto* group = new QActionGroup(outputMenu_);
    group->setExclusive(true);
    const auto addDevice = [this, group](const QString& text, int command) {
        QAction* action = outputMenu_->addAction(text);
        action->setCheckable(true);
        action->setData(command);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, command] {
            settings_.outputDevice = command - kOutputMenuFirst;
            ui_.playlist->setOutputDevice(settings_.outputDevice);
        });
    };
    addDevice(loadString(kStrDefaultOutputDevice), kOutputMenuFirst);
    outputMenu_->addSeparator();
    if (services_.outputDeviceNames) {
        if (const auto names = services_.outputDeviceNames()) {
            const qsizetype count = std::min<qsizetype>(names->size(), kMaxOutputDevices);
            for (qsizetype i = 0; i < count; ++i) {
                addDevice(names->at(i), kOutputMenuFirst + 1 + static_cast<int>(i));
            }
        }
    }
    connect(ui_.outputDevice, &QAbstractButton::clicked, this, [this] { showOutputDeviceMenu(); });

    playlist::CPlayListBox* list = ui_.playlist;
    if (list->commands() == nullptr) {
        return; // no list file: the panel has nothing to play
    }
    list->attachPositionControl(ui_.playlistPosition);
    ui_.playlistPosition->setEnabled(true);
    list->attachTimeLabel(ui_.playlistTime);
    list->setMessageSink([this](const QString& text) {
        messages().showMessage(text, MessageIcon::Stop, MessageButtons::Ok);
    });
    list->setStatusSink([this](const QString& text) {
        ui_.statusLine->setText(text);
        ui_.statusLine->repaint();
        // The recorder's next status shows again even when its code is unchanged.
        status_ = -1;
    });
    list->setMainCommandSink([this](int id) {
        if (auto* button = controlAs<QAbstractButton>(id); button && button->isEnabled()) {
            button->click();
        }
    });
    // "MP3/WMA Tag": the list has checked the selection and the ending; the item is loaded
    // again afterwards (its stream closed, back to pending, queued) so its row shows the tag.
    list->setTagHook([this, list](playlist::PlaylistItem* item) {
        const auto tell = [this](int id) { messages().showString(id, MessageIcon::Stop); };
        const QString path = item->path;
        const bool wma = path.right(3).compare(QLatin1String("wma"), Qt::CaseInsensitive) == 0;
        const auto outcome =
            wma ? tags::editWmaTags(this, path, tell) : tags::editMp3Tags(this, path, tell);
        if (outcome != tags::TagEditOutcome::NotShown) {
            list->controller()->reloadItem(item);
        }
    });
    // "Audio Convertor/Merger": the selected items' paths; outputs the user takes are added
    // to the list, each selected as it is added.
    list->setConverterHook([this, list](const QStringList& paths) {
        converter::ConverterServices services;
        services.encoders = &encoderTable();
        services.messages = &messages();
        services.addToPlaylist = [controller = list->controller()](const QString& path) {
            controller->addFile(path, true);
        };
        converter::runConverterDialog(this, paths, std::move(services));
    });
    // "E-mail...": the list has checked the selection (1 to 50 items); the dialog sends them.
    list->setMailHook([this](const QStringList& paths) {
        platform::ProfileStore store;
        auto composer = std::make_unique<mail::MailComposer>(
            store, [this](const QString& text, bool errorIcon) {
                messages().showMessage(text, errorIcon ? MessageIcon::Stop : MessageIcon::None,
                                       MessageButtons::Ok);
            });
        mail::CMailDialog dialog(std::move(composer), paths, this);
        dialog.exec();
    });
    list->setOutputDevice(settings_.outputDevice);
    list->setLoop(ui_.loopPlaying->isChecked());
    connect(ui_.loopPlaying, &QCheckBox::toggled, list, [list](bool on) { list->setLoop(on); });
    list->setPlayingVolume(ui_.playbackVolume->value());
    connect(ui_.playbackVolume, &QSlider::valueChanged, list,
            [list](int value) { list->setPlayingVolume(value); });
    connect(ui_.playlistPlay, &QAbstractButton::clicked, this, [list] { list->playSelected(); });
    connect(ui_.playlistPause, &QAbstractButton::clicked, this, [list] { list->pauseContinue(); });
    connect(ui_.playlistStop, &QAbstractButton::clicked, this, [list] { list->stopPlaying(); });

    if (CRecorderApp* app = CRecorderApp::instance()) {
        FolderHistory& folders = app->folders();
        list->setStartFolders(folders.folder(FolderHistory::AddFiles),
                              folders.folder(FolderHistory::AddDir));
        list->setFolderSink([app](bool addDirectory, const QString& folder) {
            app->folders().setFolder(addDirectory ? FolderHistory::AddDir : FolderHistory::AddFiles,
                                     folder);
        });
    }
}

int CRecorderDialog::addRecordToPlaylist(const QString& path) {
    playlist::CPlayListBox* list = ui_.playlist;
    if (list->model() == nullptr) {
        return -1;
    }
    const int index = list->addFile(path, true);
    return index >= 0 && index < list->model()->capacity() ? index : -1;
}

void CRecorderDialog::openFiles(const QStringList& paths) {
    for (const QString& path : paths) {
        addRecordToPlaylist(path);
    }
}

void CRecorderDialog::mailCommand() {
    ui_.playlist->onCommand(playlist::ID_EMAIL);
}

void CRecorderDialog::showOutputDeviceMenu() {
    QAbstractButton* button = ui_.outputDevice;
    if (outputMenu_ == nullptr) {
        return;
    }
    const int checked = kOutputMenuFirst + settings_.outputDevice;
    for (QAction* action : outputMenu_->actions()) {
        if (action->isCheckable()) {
            action->setChecked(action->data().toInt() == checked);
        }
    }
    // Right-aligned at the button's lower right corner.
    const QPoint corner = button->mapToGlobal(QPoint(button->width(), button->height()));
    outputMenu_->popup(corner - QPoint(outputMenu_->sizeHint().width(), 0));
}

} // namespace mireldo
