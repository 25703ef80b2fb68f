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
}

CAudioListBox::~CAudioListBox() {
    shutdownList();
    controller_.reset();
}

bool CAudioListBox::initialise(const std::vector<QImage>& defaultPictures, const QString& listPath,
                               QMenu* contextMenu) {
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
    controller_ = std::make_unique<PlaylistController>(capacity_, std::move(pictures),
                                                       static_cast<PlaylistHost&>(*this),
                                                       static_cast<PlaylistSelection&>(*this));
    PlaylistModel& model = controller_->model();
    if (opener_) {
        model.setOpener(opener_);
    }
    model.setListener(this);

    clear();
    auto* dummy = new QListWidgetItem;
    dummy->setFlags(Qt::NoItemFlags);
    dummy->setSizeHint(QSize(0, 0));
    addItem(dummy);

#if QT_CONFIG(sessionmanager)
    // The session is ending (log-off or shutdown): keep the list as it is now.
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QObject::connect(gui, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
            if (controller_ != nullptr) {
                controller_->model().save();
            }
        });
    }
#endif

    controller_->commands().setLoop(loop_);
    controller_->commands().setOutputDevice(outputDevice_);
    if (contextMenu_ == nullptr) {
        buildContextMenu();
    }

    // Starts the player engine, then loads the list.
    const bool started = controller_->initialise(listPath);
    if (!model.listNotice().isEmpty()) {
        // Told once the window is up, through the message sink the window sets after this.
        QMetaObject::invokeMethod(
            this, [this] { showStopMessage(controller_->model().listNotice()); },
            Qt::QueuedConnection);
    }
    animationTimer_ = startTimer(kAnimationMs);
    viewport()->setMouseTracking(true);
    return started;
}

int CAudioListBox::addFile(const QString& path, bool select) {
    return controller_ != nullptr ? controller_->addFile(path, select) : kAddRefused;
}

void CAudioListBox::removeItem(int index, bool deleteFile) {
    if (controller_ != nullptr) {
        controller_->removeItem(index, deleteFile);
    }
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
    if (controller_ != nullptr) {
        controller_->shutdown(); // the list file and the loader, then the player
    }
}

void CAudioListBox::itemAdded(int index) {
    auto* row = new QListWidgetItem;
    row->setSizeHint(QSize(0, model()->item(index)->imageHeight));
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
    const int height = model()->item(index)->imageHeight;
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
        const int itemCount = model() != nullptr ? model()->count() : 0;
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
                const PlaylistItem* entry = model()->item(row - 1);
                const bool highlighted = it->isSelected() || row == anchor;
                if (event->rect().intersects(QRect(
                        full.topLeft(), QPoint(full.right(), row == itemCount ? client.bottom()
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
    if (!isVisible() || model() == nullptr || model()->count() == 0) {
        return;
    }
    const QRect client = viewport()->rect();
    for (int row = topRow(); row <= model()->count(); ++row) {
        const QRect rect = visualItemRect(item(row));
        if (rect.top() > client.bottom()) {
            break;
        }
        PlaylistItem* entry = model()->item(row - 1);
        if (entry->imageCount > 1) {
            entry->imageIndex =
                static_cast<std::int8_t>((entry->imageIndex + 1) % entry->imageCount);
            viewport()->update(QRect(QPoint(client.left(), rect.top()),
                                     QSize(entry->imageWidth, entry->imageHeight)));
        }
    }
}

QString CAudioListBox::tooltipForTool(int tool) const {
    if (model() == nullptr || tool < 1 || tool > kTooltipTools) {
        return {};
    }
    const int index = std::max(topRow(), 1) + tool - 2;
    if (index < 0 || index >= model()->count()) {
        return {};
    }
    return tooltipText(*model()->item(index), index);
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
