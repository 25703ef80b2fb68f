#include "row_painter.h"

#include "item_text.h"
#include "klx_image.h"
#include "playlist_pictures.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace mireldo::playlist {

namespace {

const QColor kInfoOnSelection(100, 100, 100);
const QColor kStateText(180, 0, 0);

QFont sized(QFont font, int pixels) {
    font.setPixelSize(pixels);
    return font;
}

} // namespace

QImage pictureImage(const Picture& picture) {
    if (picture.ownImage != nullptr) {
        return *static_cast<const QImage*>(picture.ownImage);
    }
    if (picture.streamImage != nullptr) {
        return imageFromSondrel(*picture.streamImage);
    }
    return {};
}

RowPainter::RowPainter(const QFont& listFont, const QPalette& palette)
    : large_(sized(listFont, 16)), small_(sized(listFont, 10)),
      greyText_(palette.color(QPalette::Disabled, QPalette::WindowText)),
      buttonText_(palette.color(QPalette::Active, QPalette::ButtonText)) {}

void RowPainter::drawRow(QPainter& p, int row, const QRect& rect, const QRect& client, bool lastRow,
                         bool highlighted, const PlaylistItem* item, bool playing) const {
    const int imageWidth = item != nullptr ? item->imageWidth : 0;
    // Background: the row (down to the bottom of the client area for the last row); a
    // highlighted row takes the selection colour right of its picture, and white covers only
    // what lies below it.
    QRect area = rect;
    if (lastRow) {
        area.setBottom(std::max(rect.bottom(), client.bottom()));
    }
    if (highlighted && item != nullptr) {
        p.fillRect(QRect(QPoint(rect.left() + imageWidth, rect.top()), rect.bottomRight()),
                   QColor::fromRgb(kSelectionColour));
        area.setTop(rect.bottom() + 1);
    }
    if (area.isValid()) {
        p.fillRect(area, Qt::white);
        const QImage& corner = SharedPictures::get().corner;
        const QRect cornerRect(client.right() - corner.width() + 1,
                               client.bottom() - corner.height() + 1, corner.width(),
                               corner.height());
        if (area.intersects(cornerRect)) {
            p.save();
            p.setClipRect(area);
            p.drawImage(cornerRect.topLeft(), corner);
            p.restore();
        }
    }
    if (row == 0 || item == nullptr) {
        return;
    }

    QRect text = rect;
    text.setLeft(rect.left() + imageWidth + 5);
    const QString number = QStringLiteral("%1. ").arg(row);
    p.setPen(buttonText_);
    p.setFont(small_);
    p.drawText(QPoint(text.left(), rect.top() + 2 + QFontMetrics(small_).ascent()), number);
    const int numberWidth = QFontMetrics(small_).horizontalAdvance(number);
    p.setFont(large_);
    p.drawText(QRect(text.left() + numberWidth + 2, rect.top(),
                     std::max(0, text.right() - (text.left() + numberWidth + 2) + 1),
                     QFontMetrics(large_).height()),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, itemTitle(*item));

    text.setTop(rect.top() + QFontMetrics(large_).height() - 1);
    text.setLeft(text.left() + 10);
    p.setFont(small_);
    const int lineHeight = QFontMetrics(small_).height();
    const QRect line(text.left(), text.top(), std::max(0, text.width()), lineHeight);
    if (item->isLoaded()) {
        p.setPen(highlighted ? kInfoOnSelection : greyText_);
        p.drawText(line, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, itemInfoLine(*item));
        p.drawText(line, Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine,
                   extensionText(item->path));
    } else {
        p.setPen(kStateText);
        p.drawText(line, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   stateText(item->lengthOrState));
    }

    drawPicture(p, *item, rect.topLeft(), highlighted);

    if (item->queued != 0) {
        const SharedPictures& shared = SharedPictures::get();
        p.drawImage(QPoint(rect.left() + 33, rect.top() + rect.height() - 9 - 4),
                    playing ? shared.playingMarker : shared.queuedMarker);
    }
}

void RowPainter::drawPicture(QPainter& p, const PlaylistItem& item, QPoint at,
                             bool selected) const {
    const QRect box(at, QSize(item.imageWidth, item.imageHeight));
    if (item.imageIndex < 0 || item.imageIndex >= item.imageCount || item.images == nullptr) {
        p.fillRect(box, Qt::white);
        return;
    }
    const QImage picture = pictureImage(item.images[item.imageIndex]);
    if (!selected) {
        p.fillRect(box, Qt::white);
        p.drawImage(at, picture);
        return;
    }
    // The scratch picture is 30 x 30, or the picture's size when that is larger.
    QImage scratch(std::max({30, box.width(), picture.width()}),
                   std::max({30, box.height(), picture.height()}), QImage::Format_RGB32);
    scratch.fill(Qt::white);
    {
        QPainter sp(&scratch);
        sp.drawImage(QPoint(0, 0), picture);
    }
    floodFillWhiteFromCorner(scratch, kSelectionColour);
    p.drawImage(at, scratch, QRect(QPoint(0, 0), box.size()));
}

void RowPainter::drawHint(QPainter& p, const QRect& client, const QString& hint) const {
    p.setFont(large_);
    p.setPen(greyText_);
    const QRect box(client.left() + 10, client.top() + 15, client.width() - 20,
                    client.height() - 15);
    p.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, hint);
}

} // namespace mireldo::playlist
