#pragma once

// CPlayListBox: the application's playlist control, a CAudioListBox of 5000 items with one
// default picture and the application's empty-list hint.
//
// Threads: the GUI thread only.

#include "audio_list_box.h"

namespace mireldo::playlist {

class CPlayListBox : public CAudioListBox {
  public:
    explicit CPlayListBox(QWidget* parent = nullptr);

    /// Initialises the control with its default picture on the list file at `listPath`
    /// (defaultListFilePath() in the application).
    bool initialise(const QString& listPath, QMenu* contextMenu = nullptr);

    /// The hint an empty list shows.
    static QString emptyListHint();

  protected:
    QString hintText() const override { return emptyListHint(); }
};

} // namespace mireldo::playlist
