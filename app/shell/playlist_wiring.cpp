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
            if (auto* list = dynamic_cast<playlist::CPlayListBox*>(control(MainCtl::Playlist))) {
                list->setOutputDevice(settings_.outputDevice);
            }
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
    if (auto* button = controlAs<QAbstractButton>(MainCtl::OutputDevice)) {
        connect(button, &QAbstractButton::clicked, this, [this] { showOutputDeviceMenu(); });
    }

    auto* list = dynamic_cast<playlist::CPlayListBox*>(control(MainCtl::Playlist));
    if (list == nullptr || list->commands() == nullptr) {
        return; // no list file: the panel has nothing to play
    }
    auto* position = qobject_cast<ui::CPositionControl*>(control(MainCtl::PlaylistPosition));
    list->attachPositionControl(position);
    if (position != nullptr) {
        position->setEnabled(true);
    }
    list->attachTimeLabel(qobject_cast<ui::CTimeLabel*>(control(MainCtl::PlaylistTime)));
    list->setMessageSink([this](const QString& text) {
        messages().showMessage(text, MessageIcon::Stop, MessageButtons::Ok);
    });
    list->setStatusSink([this](const QString& text) {
        if (auto* line = controlAs<QLabel>(MainCtl::StatusLine)) {
            line->setText(text);
            line->repaint();
        }
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
    if (auto* loop = controlAs<QCheckBox>(MainCtl::LoopPlaying)) {
        list->setLoop(loop->isChecked());
        connect(loop, &QCheckBox::toggled, list, [list](bool on) { list->setLoop(on); });
    }
    if (auto* volume = controlAs<QSlider>(MainCtl::PlaybackVolume)) {
        list->setPlayingVolume(volume->value());
        connect(volume, &QSlider::valueChanged, list,
                [list](int value) { list->setPlayingVolume(value); });
    }
    const auto onClick = [this](MainCtl id, auto slot) {
        if (auto* button = controlAs<QAbstractButton>(id)) {
            connect(button, &QAbstractButton::clicked, this, slot);
        }
    };
    onClick(MainCtl::PlaylistPlay, [list] { list->playSelected(); });
    onClick(MainCtl::PlaylistPause, [list] { list->pauseContinue(); });
    onClick(MainCtl::PlaylistStop, [list] { list->stopPlaying(); });

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
    auto* list = dynamic_cast<playlist::CPlayListBox*>(control(MainCtl::Playlist));
    if (list == nullptr || list->model() == nullptr) {
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
    if (auto* list = dynamic_cast<playlist::CPlayListBox*>(control(MainCtl::Playlist))) {
        list->onCommand(playlist::ID_EMAIL);
    }
}

void CRecorderDialog::showOutputDeviceMenu() {
    auto* button = control(MainCtl::OutputDevice);
    if (outputMenu_ == nullptr || button == nullptr) {
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
