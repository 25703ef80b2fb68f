#include "audio_list_box.h"

#include "item_text.h"
#include "playlist_pictures.h"

#include <QGuiApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QScrollBar>
#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif
#include <QTimerEvent>
#include <QToolTip>

#ifdef MIRELDO_PLAYLIST_HAS_PLAYER
#include "audio_play_thread.h"
#endif

#include <algorithm>

namespace mireldo::playlist {

namespace {

constexpr int kTooltipTools = 60;
constexpr int kTooltipRowHeight = 30;

Picture ownPicture(const QImage& image) {
    Picture p;
    p.width = image.width();
    p.height = image.height();
    p.ownImage = &image;
    return p;
}

} // namespace

std::unique_ptr<PlayerPort> makeListPlayerPort(playback::CAudioPlayThread* player);

CAudioListBox::CAudioListBox(int capacity, QWidget* parent)
    : MessageReceiverBase<QListWidget>(parent), capacity_(capacity) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(false);
    setSpacing(0);
    setFrameShape(QFrame::StyledPanel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // The context menu opens on the right button's release and on F12 (see the mouse and key
    // handlers), not on the platform's context-menu event.
    setContextMenuPolicy(Qt::PreventContextMenu);
    onMessage(PLAYLIST_PLAYER_MSG, [this](std::uintptr_t position, std::intptr_t end) {
        if (commands_ != nullptr) {
            commands_->onPlayerPosition(static_cast<std::uint32_t>(position), end != 0);
        }
    });
}

CAudioListBox::~CAudioListBox() {
    shutdownList();
    // The play queue names items of the model: it goes first.
    commands_.reset();
    // The player goes before the model: it must never outlive the streams it may be given.
    player_.reset();
    model_.reset();
}

bool CAudioListBox::initialise(const std::vector<QImage>& defaultPictures,
                               const QString& listPath, QMenu* contextMenu) {
    contextMenu_ = contextMenu;
    defaultImages_ = defaultPictures;
    if (defaultImages_.empty()) {
        defaultImages_.push_back(defaultItemPicture());
    }
    const SharedPictures& shared = SharedPictures::get();
    ModelPictures pictures;
    for (const QImage& frame : shared.loading) {
        pictures.loading.push_back(ownPicture(frame));
    }
    pictures.failed = ownPicture(shared.failed);
    for (const QImage& image : defaultImages_) {
        pictures.defaults.push_back(ownPicture(image));
    }
    model_ = std::make_unique<PlaylistModel>(capacity_, std::move(pictures));
    if (opener_) {
        model_->setOpener(opener_);
    }
    model_->setListener(this);

    clear();
    auto* dummy = new QListWidgetItem;
    dummy->setFlags(Qt::NoItemFlags);
    dummy->setSizeHint(QSize(0, 0));
    addItem(dummy);

#ifdef MIRELDO_PLAYLIST_HAS_PLAYER
    auto player = std::make_unique<playback::CAudioPlayThread>();
    if (player->CreateThread()) {
        player->SetNotify(handle(), PLAYLIST_PLAYER_MSG, 80);
        player_ = std::move(player);
    }
#endif

#if QT_CONFIG(sessionmanager)
    // The session is ending (log-off or shutdown): keep the list as it is now.
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QObject::connect(gui, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
            if (model_ != nullptr) {
                model_->save();
            }
        });
    }
#endif

    playerPort_ = makeListPlayerPort(player_.get());
    commands_ = std::make_unique<PlaylistCommands>(*model_, *playerPort_,
                                                   static_cast<PlaylistHost&>(*this));
    commands_->setLoop(loop_);
    commands_->setOutputDevice(outputDevice_);
    if (contextMenu_ == nullptr) {
        buildContextMenu();
    }

    const bool started = model_->initialise(listPath);
    if (!model_->listNotice().isEmpty()) {
        // Told once the window is up, through the message sink the window sets after this.
        QMetaObject::invokeMethod(
            this, [this] { showStopMessage(model_->listNotice()); }, Qt::QueuedConnection);
    }
    animationTimer_ = startTimer(kAnimationMs);
    viewport()->setMouseTracking(true);
    return started;
}

int CAudioListBox::addFile(const QString& path, bool select) {
    if (model_ == nullptr) {
        return kAddRefused;
    }
    const int index = model_->addFile(path);
    if (select && index >= 0 && index < capacity_) {
        clearSelection();
        setCurrentRow(index + 1, QItemSelectionModel::ClearAndSelect);
        viewport()->update();
    }
    return index;
}

void CAudioListBox::removeItem(int index, bool deleteFile) {
    if (model_ == nullptr || index < 0 || index >= model_->count()) {
        return;
    }
    PlaylistItem* entry = model_->item(index);
    if (commands_ != nullptr && entry == commands_->currentItem()) {
        commands_->stopPlaying();
    }
    if (commands_ != nullptr && entry->queued != 0) {
        commands_->forgetItem(entry);
    }
    delete takeItem(index + 1);
    model_->removeItem(index, deleteFile);
    viewport()->update();
}

void CAudioListBox::shutdownList() {
    if (shutDown_) {
        return;
    }
    shutDown_ = true;
    if (animationTimer_ != 0) {
        killTimer(animationTimer_);
        animationTimer_ = 0;
    }
    if (model_ != nullptr) {
        model_->shutdown(); // saves when modified, then stops the loader
    }
#ifdef MIRELDO_PLAYLIST_HAS_PLAYER
    if (player_ != nullptr) {
        if (player_->IsOpen()) {
            player_->Stop();
        }
        player_->Quit(30);
    }
#endif
}

void CAudioListBox::itemAdded(int index) {
    auto* row = new QListWidgetItem;
    row->setSizeHint(QSize(0, model_->item(index)->imageHeight));
    addItem(row);
    // A new row lies at or above the bottom of the visible rows only while the view is not yet
    // full; asking the view for row geometry here would lay out every row once per add.
    if (isVisible() && !verticalScrollBar()->isVisible()) {
        viewport()->update();
    }
}

void CAudioListBox::itemChanged(int index) {
    if (index < 0) {
        return;
    }
    updateRowHeight(index);
    if (isVisible() && rowVisible(index + 1)) {
        viewport()->update();
    }
}

void CAudioListBox::updateRowHeight(int index) {
    QListWidgetItem* row = item(index + 1);
    const int height = model_->item(index)->imageHeight;
    if (row != nullptr && row->sizeHint().height() != height) {
        row->setSizeHint(QSize(0, height));
    }
}

int CAudioListBox::topRow() const {
    if (count() <= 1) {
        return 0;
    }
    const QModelIndex top = indexAt(QPoint(1, 0));
    return top.isValid() ? std::max(top.row(), 1) : 1;
}

bool CAudioListBox::rowVisible(int row) const {
    const QListWidgetItem* it = item(row);
    return it != nullptr && visualItemRect(it).intersects(viewport()->rect());
}

const RowPainter& CAudioListBox::painter() {
    if (!painter_) {
        painter_.emplace(font(), palette());
    }
    return *painter_;
}

void CAudioListBox::resizeEvent(QResizeEvent* event) {
    QListWidget::resizeEvent(event);
    viewport()->update();
}

void CAudioListBox::scrollContentsBy(int dx, int dy) {
    QListWidget::scrollContentsBy(dx, dy);
    // The background below the last row and the corner picture stay put while rows move.
    viewport()->update();
}

void CAudioListBox::selectionChanged(const QItemSelection& selected,
                                     const QItemSelection& deselected) {
    QListWidget::selectionChanged(selected, deselected);
    viewport()->update();
}

void CAudioListBox::paintEvent(QPaintEvent* event) {
    QWidget* view = viewport();
    const QRect client = view->rect();
    if (offscreen_.size() != client.size()) {
        offscreen_ = QPixmap(client.size());
    }
    const RowPainter& rows = painter();
    {
        QPainter off(&offscreen_);
        const int itemCount = model_ != nullptr ? model_->count() : 0;
        if (itemCount == 0) {
            rows.drawRow(off, 0, QRect(client.topLeft(), QSize(client.width(), 0)), client, true,
                         false, nullptr, false);
            rows.drawHint(off, client, hintText());
        } else {
            const int anchor = currentRow();
            for (int row = topRow(); row <= itemCount; ++row) {
                QListWidgetItem* it = item(row);
                const QRect rect = visualItemRect(it);
                const QRect full(client.left(), rect.top(), client.width(), rect.height());
                const PlaylistItem* entry = model_->item(row - 1);
                const bool highlighted = it->isSelected() || row == anchor;
                if (event->rect().intersects(
                        QRect(full.topLeft(),
                              QPoint(full.right(), row == itemCount ? client.bottom()
                                                                    : full.bottom())))) {
                    rows.drawRow(off, row, full, client, row == itemCount, highlighted, entry,
                                 entry == playingItem_);
                }
                if (full.bottom() >= client.bottom()) {
                    break;
                }
            }
        }
    }
    QPainter screen(view);
    screen.drawPixmap(event->rect(), offscreen_, event->rect());
}

void CAudioListBox::timerEvent(QTimerEvent* event) {
    if (event->timerId() != animationTimer_) {
        QListWidget::timerEvent(event);
        return;
    }
    ++animationTicks_;
    if (!isVisible() || model_ == nullptr || model_->count() == 0) {
        return;
    }
    const QRect client = viewport()->rect();
    for (int row = topRow(); row <= model_->count(); ++row) {
        const QRect rect = visualItemRect(item(row));
        if (rect.top() > client.bottom()) {
            break;
        }
        PlaylistItem* entry = model_->item(row - 1);
        if (entry->imageCount > 1) {
            entry->imageIndex = static_cast<std::int8_t>((entry->imageIndex + 1) % entry->imageCount);
            viewport()->update(QRect(QPoint(client.left(), rect.top()),
                                     QSize(entry->imageWidth, entry->imageHeight)));
        }
    }
}

QString CAudioListBox::tooltipForTool(int tool) const {
    if (model_ == nullptr || tool < 1 || tool > kTooltipTools) {
        return {};
    }
    const int index = std::max(topRow(), 1) + tool - 2;
    if (index < 0 || index >= model_->count()) {
        return {};
    }
    return tooltipText(*model_->item(index), index);
}

bool CAudioListBox::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int tool = help->pos().y() / kTooltipRowHeight + 1;
        QString text = tooltipForTool(tool);
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            text.remove(QLatin1Char('\r'));
            QToolTip::showText(help->globalPos(), text, viewport());
        }
        return true;
    }
    return QListWidget::viewportEvent(event);
}

} // namespace mireldo::playlist
