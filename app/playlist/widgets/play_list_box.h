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

    /// Where "Play: %s" and "Ready" go (the main window's status line).
    void setStatusSink(std::function<void(const QString&)> sink) { statusSink_ = std::move(sink); }

  protected:
    QString hintText() const override { return emptyListHint(); }
    /// Always agrees.
    bool ConfirmMultiPlay(int) override { return true; }
    /// The "Remove Items" dialog with "Also delete files from disk" kept in the setting
    /// DeleteFileWhileRemoveItem (section History).
    RemoveAnswer ConfirmRemove(int rows) override;
    /// Sets the status text to "Play: <title>", or "Ready" for an empty title.
    void OnPlayStarted(const QString& title) override;

  private:
    std::function<void(const QString&)> statusSink_;
};

} // namespace mireldo::playlist
