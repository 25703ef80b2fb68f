// CAudioListBox: the playlist's commands, keys, mouse and context menu, and the window the
// controller reaches through PlaylistHost.

#include "audio_list_box.h"

#include "folder_browser.h"
#include "native_path.h"
#include "playlist_texts.h"
#include "position_control.h"
#include "small_dialogs.h"
#include "time_label.h"
#include "xfile_dialog.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScrollBar>
#include <QUrl>

#include <algorithm>

namespace mireldo::playlist {

namespace {

/// The longest folder the folder browser hands back.
constexpr int kFolderBufferSize = 4096;

/// The extension of `path` with its dot (".mp3"); empty when it has none.
QString dottedSuffix(const QString& path) {
    const QString suffix = QFileInfo(path).suffix();
    return suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
}

} // namespace

// Selection -----------------------------------------------------------------------------------

std::vector<int> CAudioListBox::selectedRows() const {
    std::vector<int> rows;
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    rows.reserve(static_cast<std::size_t>(selected.size()));
    for (const QModelIndex& index : selected) {
        if (index.row() > 0) {
            rows.push_back(index.row());
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

std::vector<int> CAudioListBox::selectedIndices() const {
    std::vector<int> items = selectedRows();
    for (int& row : items) {
        row -= 1;
    }
    return items;
}

void CAudioListBox::selectRows(const std::vector<int>& rows) {
    QItemSelection selection;
    for (int row : rows) {
        const QModelIndex index = QListWidget::model()->index(row, 0);
        selection.select(index, index);
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!rows.empty()) {
        selectionModel()->setCurrentIndex(QListWidget::model()->index(rows.front(), 0),
                                          QItemSelectionModel::NoUpdate);
    }
}

// PlaylistHost --------------------------------------------------------------------------------

void CAudioListBox::showStopMessage(const QString& text) {
    if (messageSink_) {
        messageSink_(text);
    } else {
        QMessageBox::critical(window(), QGuiApplication::applicationDisplayName(), text);
    }
}

void CAudioListBox::setPositionRange(std::uint32_t maximum) {
    if (position_ != nullptr) {
        position_->setRange(0, maximum);
    }
}

void CAudioListBox::setPosition(std::uint32_t position) {
    if (position_ != nullptr) {
        position_->setPosition(position);
    }
}

void CAudioListBox::setTimeText(const QString& text) {
    if (timeLabel_ != nullptr && (text.isEmpty() || timeLabel_->isVisible())) {
        timeLabel_->setText(text);
    }
}

void CAudioListBox::repaintList() {
    setPlayingItem(commands() != nullptr ? commands()->currentItem() : nullptr);
    viewport()->update();
}

void CAudioListBox::itemRemoving(int index) {
    delete takeItem(index + 1);
}

void CAudioListBox::selectOnly(int index) {
    selectRows({index + 1});
}

void CAudioListBox::setBusy(bool busy) {
    if (busy) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

// Questions -----------------------------------------------------------------------------------

bool CAudioListBox::ConfirmMultiPlay(int) {
    return true;
}

RemoveAnswer CAudioListBox::ConfirmRemove(int rows) {
    const auto answer =
        QMessageBox::question(window(), QGuiApplication::applicationDisplayName(),
                              QStringLiteral("Remove %1 items from the list?").arg(rows));
    return answer == QMessageBox::Yes ? RemoveAnswer::Remove : RemoveAnswer::Keep;
}

void CAudioListBox::OnPlayStarted(const QString&) {}

QStringList CAudioListBox::askFilesToAdd(const QString& startFolder) {
    QFileDialog dialog(window());
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDirectory(startFolder);
    dialog.setNameFilters(ui::nameFiltersFromPairs(texts::addFilesFilter()));
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles();
}

QString CAudioListBox::askFolder(const QString& prompt, const QString& startFolder) {
    QString folder;
    if (!ui::browseForFolder(window(), prompt, startFolder, folder, kFolderBufferSize)) {
        return {};
    }
    return folder;
}

QString CAudioListBox::askCopyTarget(const QString& baseName, const QString& extension,
                                     const QString& startFolder) {
    ui::CXFileDialog dialog(false, extension.mid(1), baseName, texts::copyToFilter(extension),
                            window());
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!startFolder.isEmpty()) {
        dialog.setDirectory(startFolder);
    }
    if (dialog.showDialog() != ui::CXFileDialog::kChosen || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

std::optional<QString> CAudioListBox::askNewName(const QString& oldName, const QString& extension) {
    ui::CRenameDialog dialog(oldName, extension, window());
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.newName();
}

void CAudioListBox::openFolder(const QString& folder) {
    // Built from the folder's bytes: a name that is not valid UTF-8 stays the same folder.
    const QByteArray bytes = platform::encodePath(folder);
    QDesktopServices::openUrl(
        QUrl::fromEncoded(QByteArray("file://") + bytes.toPercentEncoding("/"), QUrl::StrictMode));
}

// Commands ------------------------------------------------------------------------------------

void CAudioListBox::setStartFolders(const QString& addFiles, const QString& addDirectory) {
    addFilesFolder_ = addFiles;
    addDirFolder_ = addDirectory;
}

void CAudioListBox::attachPositionControl(ui::CPositionControl* control) {
    position_ = control;
    if (control != nullptr) {
        QObject::connect(control, &ui::CPositionControl::scrolled, this, [this](int code) {
            if (commands() != nullptr && position_ != nullptr) {
                commands()->onPositionControl(code == ui::kScrollThumbTrack
                                                  ? PositionAction::Dragging
                                                  : PositionAction::MovedTo,
                                              position_->position());
            }
        });
    }
}

void CAudioListBox::playSelected() {
    if (commands() != nullptr) {
        commands()->playSelected(selectedIndices());
    }
}

void CAudioListBox::pauseContinue() {
    if (commands() != nullptr) {
        commands()->pauseContinue();
    }
}

void CAudioListBox::stopPlaying() {
    if (commands() != nullptr) {
        commands()->stopPlaying();
    }
}

void CAudioListBox::setPlayingVolume(int position) {
    if (commands() != nullptr) {
        commands()->setVolume(position);
    }
}

void CAudioListBox::setLoop(bool on) {
    loop_ = on;
    if (commands() != nullptr) {
        commands()->setLoop(on);
    }
}

void CAudioListBox::setOutputDevice(int setting) {
    outputDevice_ = setting;
    if (commands() != nullptr) {
        commands()->setOutputDevice(setting);
    }
}

void CAudioListBox::onCommand(int id) {
    if (commands() == nullptr) {
        return;
    }
    switch (id) {
    case ID_ADD_FILES:
        addFilesCommand();
        break;
    case ID_ADD_DIRECTORY:
        addDirectoryCommand();
        break;
    case ID_REMOVE_ITEMS:
        removeSelected();
        break;
    case ID_OPEN_FOLDER:
        openFolderCommand();
        break;
    case ID_COPY_TO:
        copyToCommand();
        break;
    case ID_CONVERTER:
        converterCommand();
        break;
    case ID_EMAIL:
        mailCommand();
        break;
    case ID_TAG:
        tagCommand();
        break;
    case ID_MOVE_UP:
        moveCommand(true);
        break;
    case ID_MOVE_DOWN:
        moveCommand(false);
        break;
    case ID_RENAME_FILE:
        renameCommand();
        break;
    default:
        break;
    }
}

void CAudioListBox::addFilesCommand() {
    const QStringList paths = askFilesToAdd(addFilesFolder_);
    if (paths.isEmpty()) {
        return;
    }
    const QString folder = commands()->addFiles(paths);
    if (!folder.isEmpty()) {
        addFilesFolder_ = folder;
        if (folderSink_) {
            folderSink_(false, folder);
        }
    }
}

void CAudioListBox::addDirectoryCommand() {
    const QString folder = askFolder(texts::addDirectoryPrompt(), addDirFolder_);
    if (folder.isEmpty()) {
        return;
    }
    commands()->addDirectory(folder);
    addDirFolder_ = folder;
    if (folderSink_) {
        folderSink_(true, folder);
    }
}

void CAudioListBox::removeSelected() {
    const std::vector<int> items = selectedIndices();
    if (commands()->refuseEmpty(items)) {
        return;
    }
    const RemoveAnswer answer = ConfirmRemove(static_cast<int>(items.size()));
    if (answer == RemoveAnswer::Keep) {
        return;
    }
    commands()->removeItems(items, answer);
    // Hiding and showing the scroll bar once makes it take the new length at once.
    QScrollBar* bar = verticalScrollBar();
    if (bar->isVisible()) {
        bar->hide();
        bar->show();
    }
}

void CAudioListBox::openFolderCommand() {
    const std::vector<int> items = selectedIndices();
    if (commands()->refuseEmpty(items)) {
        return;
    }
    setBusy(true);
    openFolder(folderOf(model()->item(items.front())->path));
    setBusy(false);
}

void CAudioListBox::copyToCommand() {
    const std::vector<int> items = selectedIndices();
    if (commands()->refuseEmpty(items)) {
        return;
    }
    if (items.size() == 1) {
        const int index = items.front();
        const QString path = model()->item(index)->path;
        const QString target =
            askCopyTarget(QFileInfo(path).completeBaseName(), dottedSuffix(path), copyFolder_);
        if (target.isEmpty()) {
            return;
        }
        copyFolder_ = folderOf(target);
        commands()->copyItemTo(index, target);
        return;
    }
    const QString folder = askFolder(texts::copyToFolderPrompt(), copyFolder_);
    if (folder.isEmpty()) {
        return;
    }
    copyFolder_ = folder;
    commands()->copyItemsToFolder(items, folder);
}

void CAudioListBox::moveCommand(bool up) {
    const std::vector<int> items = selectedIndices();
    std::vector<int> moved = up ? commands()->moveUp(items) : commands()->moveDown(items);
    for (int& index : moved) {
        index += 1; // back to rows
    }
    selectRows(moved);
}

void CAudioListBox::renameCommand() {
    const std::vector<int> items = selectedIndices();
    if (commands()->refuseEmpty(items) || commands()->refusePlayingEdit(items)) {
        return;
    }
    const int index = items.front();
    const QString path = model()->item(index)->path;
    const std::optional<QString> name = askNewName(QFileInfo(path).fileName(), dottedSuffix(path));
    if (name) {
        commands()->renameItem(index, *name);
    }
}

void CAudioListBox::tagCommand() {
    const std::vector<int> items = selectedIndices();
    if (commands()->refuseEmpty(items) || commands()->refusePlayingEdit(items)) {
        return;
    }
    PlaylistItem* item = model()->item(items.front());
    const QString kind = item->path.right(3);
    const bool tagged = kind.compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0 ||
                        kind.compare(QLatin1String("wma"), Qt::CaseInsensitive) == 0;
    if (tagged && tagHook_) {
        tagHook_(item);
    }
}

void CAudioListBox::converterCommand() {
    if (converterHook_) {
        converterHook_(controller_->selectedPaths());
    }
}

void CAudioListBox::mailCommand() {
    const QStringList paths = controller_->selectedPaths();
    if (paths.isEmpty()) {
        showStopMessage(QStringLiteral("No item was selected."));
        return;
    }
    if (paths.size() > kMaxMailItems) {
        showStopMessage(QStringLiteral("Error: Too many attachment files!"));
        return;
    }
    if (mailHook_) {
        mailHook_(paths);
    }
}

// Context menu, keys and mouse ----------------------------------------------------------------

void CAudioListBox::buildContextMenu() {
    contextMenu_ = new QMenu(this);
    const std::pair<int, const char*> entries[] = {
        {ID_ADD_FILES, "Add Files"},
        {ID_ADD_DIRECTORY, "Add Directory"},
        {ID_REMOVE_ITEMS, "Remove Items"},
        {0, nullptr},
        {ID_OPEN_FOLDER, "Open Folder"},
        {ID_COPY_TO, "Copy To ..."},
        {0, nullptr},
        {ID_CONVERTER, "Audio Convertor/Merger"},
        {ID_TAG, "MP3/WMA Tag"},
        {ID_EMAIL, "E-mail..."},
        {0, nullptr},
        {ID_MOVE_UP, "Move Up"},
        {ID_MOVE_DOWN, "Move Down"},
        {ID_RENAME_FILE, "Rename File"},
    };
    for (const auto& [id, text] : entries) {
        if (text == nullptr) {
            contextMenu_->addSeparator();
            continue;
        }
        QAction* action = contextMenu_->addAction(QString::fromLatin1(text));
        action->setData(id);
        QObject::connect(action, &QAction::triggered, this, [this, id = id] { onCommand(id); });
    }
}

void CAudioListBox::updateMenuForSelection() {
    if (contextMenu_ == nullptr) {
        return;
    }
    const bool any = !selectedRows().empty();
    for (QAction* action : contextMenu_->actions()) {
        switch (action->data().toInt()) {
        case ID_REMOVE_ITEMS:
        case ID_OPEN_FOLDER:
        case ID_COPY_TO:
        case ID_TAG:
        case ID_MOVE_UP:
        case ID_MOVE_DOWN:
            action->setEnabled(any);
            break;
        default:
            // The commands no selection case names are reset to enabled at every popup, so
            // that an earlier popup cannot leave them grayed.
            action->setEnabled(true);
            break;
        }
    }
}

void CAudioListBox::showContextMenu(const QPoint& globalPos) {
    if (contextMenu_ == nullptr) {
        return;
    }
    updateMenuForSelection();
    contextMenu_->popup(globalPos);
}

void CAudioListBox::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The key reaches the list only while it has the focus.
        playSelected();
        event->accept();
        return;
    case Qt::Key_Space:
        if (mainCommand_) {
            mainCommand_(kMainPauseContinue);
        } else {
            pauseContinue();
        }
        event->accept();
        return;
    case Qt::Key_Period:
        if (mainCommand_) {
            mainCommand_(kMainRecorderStop);
        }
        event->accept();
        return;
    case Qt::Key_Delete:
        if (commands() != nullptr) {
            removeSelected();
        }
        event->accept();
        return;
    case Qt::Key_F12: {
        QPoint at = viewport()->rect().topLeft();
        for (int row : selectedRows()) {
            if (rowVisible(row)) {
                at = visualItemRect(item(row)).topLeft();
                break;
            }
        }
        showContextMenu(viewport()->mapToGlobal(at + QPoint(10, 10)));
        event->accept();
        return;
    }
    default:
        break;
    }
    const int top = topRow();
    QListWidget::keyPressEvent(event);
    if (topRow() != top) {
        viewport()->update();
    }
}

void CAudioListBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid() && index.row() > 0 && !selectionModel()->isSelected(index)) {
            selectRows({index.row()});
        }
        event->accept();
        return;
    }
    QListWidget::mousePressEvent(event);
}

void CAudioListBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        showContextMenu(event->globalPosition().toPoint());
        event->accept();
        return;
    }
    QListWidget::mouseReleaseEvent(event);
}

void CAudioListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && model() != nullptr && model()->count() > 0) {
        playSelected();
        event->accept();
        return;
    }
    QListWidget::mouseDoubleClickEvent(event);
}

} // namespace mireldo::playlist
