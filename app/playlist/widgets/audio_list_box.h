#pragma once

// CAudioListBox: the owner-drawn, multi-selection list of audio files. Row 0 is a dummy row of
// height 0 that is never drawn or selected; row i + 1 shows item i of the model. Rows are drawn
// off-screen and copied to the screen in one operation; the loading animation runs on a
// 500 ms timer over the visible rows only.
//
// The control draws and asks; the engine (model, loader, player and commands) is its
// PlaylistController, to which it hands the selection as item indices and forwards commands.
//
// Threads: the GUI thread only. The loader and the player report to the controller through
// posted messages.
// Ownership: the control owns its controller. Destruction order: the timer first, then the
// controller (list-file save and loader, then the player, then the model; shutdownList()).

#include "item_loader.h"
#include "message_receiver.h"
#include "playlist_commands.h"
#include "playlist_controller.h"
#include "playlist_model.h"
#include "row_painter.h"

#include <QImage>
#include <QListWidget>
#include <QPixmap>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QMenu;

namespace mireldo::ui {
class CPositionControl;
class CTimeLabel;
} // namespace mireldo::ui

namespace mireldo::playlist {

/// Most items the e-mail command attaches.
inline constexpr int kMaxMailItems = 50;

/// Animation timer period in milliseconds.
inline constexpr int kAnimationMs = 500;

/// Commands of the playlist's context menu.
enum PlaylistCommandId {
    ID_EMAIL = 32772, ///< the main window's e-mail command, offered in the menu too
    ID_OPEN_FOLDER = 32773,
    ID_COPY_TO = 32774,
    ID_CONVERTER = 32775,
    ID_ADD_DIRECTORY = 32776,
    ID_ADD_FILES = 32777,
    ID_TAG = 32778,
    ID_MOVE_UP = 32779,
    ID_REMOVE_ITEMS = 32780,
    ID_MOVE_DOWN = 32781,
    ID_RENAME_FILE = 32782,
};

/// Main-window commands the list sends for its keys: Pause/Continue (Space) and the
/// recorder's stop button (period).
inline constexpr int kMainPauseContinue = 1021;
inline constexpr int kMainRecorderStop = 1022;

class CAudioListBox : public platform::MessageReceiverBase<QListWidget>,
                      public PlaylistListener,
                      private PlaylistHost,
                      private PlaylistSelection {
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

    PlaylistModel* model() const { return controller_ ? &controller_->model() : nullptr; }
    playback::CAudioPlayThread* player() const {
        return controller_ ? controller_->player() : nullptr;
    }
    /// The playlist's engine (null before initialise()).
    PlaylistController* controller() const { return controller_.get(); }

    /// The text of tooltip tool `tool` (1 to 60) for the current top row; empty for none.
    QString tooltipForTool(int tool) const;
    /// The row at the top of the view (0 when the list is empty).
    int topRow() const;
    /// Animation ticks handled so far (tests watch the window thread with it).
    int animationTicks() const { return animationTicks_; }
    /// The item of the current play node, which gets the playing marker (null: none).
    void setPlayingItem(const PlaylistItem* item) { playingItem_ = item; }

    /// The commands on this list (null before initialise()).
    PlaylistCommands* commands() const { return controller_ ? &controller_->commands() : nullptr; }
    /// Runs context-menu command `id` (the main window hands the menu's commands here).
    void onCommand(int id);
    /// The list box's selected rows, ascending, without the dummy row.
    std::vector<int> selectedRows() const;
    /// The selected item indices, ascending (row r shows item r - 1).
    std::vector<int> selectedIndices() const override;
    /// Selects exactly `rows`.
    void selectRows(const std::vector<int>& rows);
    /// The context menu (built at initialise() unless one was given).
    QMenu* contextMenu() const { return contextMenu_; }
    /// Enables the menu's commands for the selection now, as before each popup.
    void updateMenuForSelection();

    // The playing commands, as the main window's buttons and slider call them.
    void playSelected();
    void pauseContinue();
    void stopPlaying();
    void setPlayingVolume(int position);
    void setLoop(bool on);
    /// 0 the default device, n the output device n - 1.
    void setOutputDevice(int setting);

    /// The position control (1015) and time label (1014) the list drives; not owned.
    void attachPositionControl(ui::CPositionControl* control);
    void attachTimeLabel(ui::CTimeLabel* label) { timeLabel_ = label; }

    /// Where stop-icon messages go; a message box over the list when not set.
    void setMessageSink(std::function<void(const QString&)> sink) {
        messageSink_ = std::move(sink);
    }
    /// Where the keys' main-window commands go (kMainPauseContinue, kMainRecorderStop).
    void setMainCommandSink(std::function<void(int)> sink) { mainCommand_ = std::move(sink); }
    /// The tag editor for one item and the converter for paths; nothing happens while unset.
    void setTagHook(std::function<void(PlaylistItem*)> hook) { tagHook_ = std::move(hook); }
    /// True once the window has installed the tag and converter commands.
    bool hasCommandHooks() const { return tagHook_ && converterHook_; }
    void setConverterHook(std::function<void(const QStringList&)> hook) {
        converterHook_ = std::move(hook);
    }
    /// The e-mail dialog for the selected paths (1 to kMaxMailItems); nothing while unset.
    void setMailHook(std::function<void(const QStringList&)> hook) { mailHook_ = std::move(hook); }
    /// Start folders of Add Files and Add Directory, and who hears when a command changes one
    /// (false: Add Files, true: Add Directory).
    void setStartFolders(const QString& addFiles, const QString& addDirectory);
    void setFolderSink(std::function<void(bool addDirectory, const QString&)> sink) {
        folderSink_ = std::move(sink);
    }
    QString addFilesFolder() const { return addFilesFolder_; }
    QString addDirectoryFolder() const { return addDirFolder_; }

  protected:
    // Questions and dialogs, overridable so tests answer them without a window.
    /// Asked before several rows are played; true plays them.
    virtual bool ConfirmMultiPlay(int rows);
    /// Asked before `rows` rows are removed.
    virtual RemoveAnswer ConfirmRemove(int rows);
    /// Playing `title` began; empty: playing ended.
    virtual void OnPlayStarted(const QString& title);
    /// Files to add (empty: cancelled).
    virtual QStringList askFilesToAdd(const QString& startFolder);
    /// A folder (empty: cancelled).
    virtual QString askFolder(const QString& prompt, const QString& startFolder);
    /// Where one item's file is copied (empty: cancelled).
    virtual QString askCopyTarget(const QString& baseName, const QString& extension,
                                  const QString& startFolder);
    /// The new file name with extension (nullopt: cancelled).
    virtual std::optional<QString> askNewName(const QString& oldName, const QString& extension);
    /// Opens `folder` in the desktop's file manager.
    virtual void openFolder(const QString& folder);

    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

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
    // PlaylistHost
    void showStopMessage(const QString& text) override;
    bool confirmMultiPlay(int rows) override { return ConfirmMultiPlay(rows); }
    void onPlayStarted(const QString& title) override { OnPlayStarted(title); }
    void setPositionRange(std::uint32_t maximum) override;
    void setPosition(std::uint32_t position) override;
    void setTimeText(const QString& text) override;
    void repaintList() override;
    void itemRemoving(int index) override;
    void selectOnly(int index) override;
    void setBusy(bool busy) override;

    void buildContextMenu();
    void showContextMenu(const QPoint& globalPos);
    void removeSelected();
    void addFilesCommand();
    void addDirectoryCommand();
    void openFolderCommand();
    void copyToCommand();
    void moveCommand(bool up);
    void renameCommand();
    void tagCommand();
    void converterCommand();
    void mailCommand();

    bool rowVisible(int row) const;
    void updateRowHeight(int index);
    const RowPainter& painter();

    const int capacity_;
    std::unique_ptr<PlaylistController> controller_;
    ItemLoader::Opener opener_;
    std::vector<QImage> defaultImages_;
    QMenu* contextMenu_ = nullptr;
    ui::CPositionControl* position_ = nullptr;
    ui::CTimeLabel* timeLabel_ = nullptr;
    std::function<void(const QString&)> messageSink_;
    std::function<void(int)> mainCommand_;
    std::function<void(PlaylistItem*)> tagHook_;
    std::function<void(const QStringList&)> converterHook_;
    std::function<void(const QStringList&)> mailHook_;
    std::function<void(bool, const QString&)> folderSink_;
    QString addFilesFolder_;
    QString addDirFolder_;
    QString copyFolder_; ///< the remembered Copy To folder, for this run only
    bool loop_ = false;
    int outputDevice_ = 0;
    QPixmap offscreen_;
    std::optional<RowPainter> painter_;
    const PlaylistItem* playingItem_ = nullptr;
    int animationTimer_ = 0;
    int animationTicks_ = 0;
    bool shutDown_ = false;
};

} // namespace mireldo::playlist
