#include "play_list_box.h"

#include "playlist_pictures.h"
#include "playlist_texts.h"
#include "profile_store.h"
#include "small_dialogs.h"

namespace mireldo::playlist {

namespace {

const QString kHistorySection = QStringLiteral("History");
const QString kDeleteFilesKey = QStringLiteral("DeleteFileWhileRemoveItem");

} // namespace

CPlayListBox::CPlayListBox(QWidget* parent) : CAudioListBox(kPlaylistCapacity, parent) {}

bool CPlayListBox::initialise(const QString& listPath, QMenu* contextMenu) {
    return CAudioListBox::initialise({defaultItemPicture()}, listPath, contextMenu);
}

QString CPlayListBox::emptyListHint() {
    return QStringLiteral(
        "To add some audio files (*.mp3, *.wma, *ogg, *.wav) into the list, click right button "
        "of your mouse and from the popup menu select command \"Add files\" or \"Add "
        "directory\".\n\nNew records will be automatically added into the audio list.\n\nTo "
        "learn how to begin with recording, please refer to the online help material.");
}

RemoveAnswer CPlayListBox::ConfirmRemove(int rows) {
    platform::ProfileStore store;
    ui::CRemoveItemsDialog dialog(rows, window());
    dialog.setDeleteFiles(store.getInt(kHistorySection, kDeleteFilesKey, 0) != 0);
    if (dialog.exec() != QDialog::Accepted) {
        return RemoveAnswer::Keep;
    }
    const bool deleteFiles = dialog.deleteFiles();
    store.setInt(kHistorySection, kDeleteFilesKey, deleteFiles ? 1 : 0);
    return deleteFiles ? RemoveAnswer::RemoveAndDeleteFiles : RemoveAnswer::Remove;
}

void CPlayListBox::OnPlayStarted(const QString& title) {
    if (statusSink_) {
        statusSink_(title.isEmpty() ? texts::ready() : texts::playStatus(title));
    }
}

} // namespace mireldo::playlist
