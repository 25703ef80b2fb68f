#pragma once

// CAudioListBox: the owner-drawn, multi-selection list of audio files. Row 0 is a dummy row of
// height 0 that is never drawn or selected; row i + 1 shows item i of the model. Rows are drawn
// off-screen and copied to the screen in one operation; the loading animation runs on a
// 500 ms timer over the visible rows only.
//
// Threads: the GUI thread only. The model's loader thread reports through posted messages.
// Ownership: the control owns its model (items, list file, loader) and its player engine.
// Destruction order: timer, list-file save and loader first (shutdownList()), then the player,
// then the model closes every stream and deletes the items.

#include "item_loader.h"
#include "message_receiver.h"
#include "playlist_model.h"
#include "row_painter.h"

#include <QImage>
#include <QListWidget>
#include <QPixmap>

#include <memory>
#include <optional>
#include <vector>

class QMenu;

namespace mireldo::playback {
class CAudioPlayThread;
}

namespace mireldo::playlist {

/// The player's position notification to the control (wParam position, lParam end flag).
inline constexpr std::uint32_t PLAYLIST_PLAYER_MSG = platform::WM_USER + 100;
/// Animation timer period in milliseconds.
inline constexpr int kAnimationMs = 500;

class CAudioListBox : public platform::MessageReceiverBase<QListWidget>,
                      public PlaylistListener {
  public:
    CAudioListBox(int capacity, QWidget* parent = nullptr);
    ~CAudioListBox() override;

    /// Replaces how the loader opens files (tests). Before initialise() only.
    void setLoaderOpener(ItemLoader::Opener opener) { opener_ = std::move(opener); }

    /// Makes the model with the shared pictures and `defaultPictures`, adds the dummy row,
    /// starts the loader and the player, loads the list file at `listPath` (saving it at once),
    /// and starts the animation timer. False when the loader thread could not start.
    bool initialise(const std::vector<QImage>& defaultPictures, const QString& listPath,
                    QMenu* contextMenu = nullptr);

    /// Adds a file for another subsystem; with `select` (and room in the list) selects only
    /// its row. Saves the list file. addPath()'s answer.
    int addFile(const QString& path, bool select);

    /// Removes item `index` (its row goes too); see PlaylistModel::removeItem.
    void removeItem(int index, bool deleteFile = false);

    /// Stops what runs: the animation timer, the list file (saved when modified), the loader
    /// and the player. Idempotent; the destructor calls it.
    void shutdownList();

    PlaylistModel* model() const { return model_.get(); }
    playback::CAudioPlayThread* player() const { return player_.get(); }

    /// The text of tooltip tool `tool` (1 to 60) for the current top row; empty for none.
    QString tooltipForTool(int tool) const;
    /// The row at the top of the view (0 when the list is empty).
    int topRow() const;
    /// Animation ticks handled so far (tests watch the window thread with it).
    int animationTicks() const { return animationTicks_; }
    /// The item of the current play node, which gets the playing marker (null: none).
    void setPlayingItem(const PlaylistItem* item) { playingItem_ = item; }

  protected:
    /// The empty-list hint text.
    virtual QString hintText() const = 0;

    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

    // PlaylistListener
    void itemAdded(int index) override;
    void itemChanged(int index) override;

  private:
    bool rowVisible(int row) const;
    void updateRowHeight(int index);
    const RowPainter& painter();

    const int capacity_;
    std::unique_ptr<PlaylistModel> model_;
    std::unique_ptr<playback::CAudioPlayThread> player_;
    ItemLoader::Opener opener_;
    std::vector<QImage> defaultImages_;
    QMenu* contextMenu_ = nullptr;
    QPixmap offscreen_;
    std::optional<RowPainter> painter_;
    const PlaylistItem* playingItem_ = nullptr;
    int animationTimer_ = 0;
    int animationTicks_ = 0;
    bool shutDown_ = false;
};

} // namespace mireldo::playlist
