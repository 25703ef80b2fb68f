#include "play_list_box.h"

#include "playlist_pictures.h"

namespace mireldo::playlist {

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

} // namespace mireldo::playlist
