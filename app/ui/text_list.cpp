#include "text_list.h"

#include "pictures.h"

#include <QPainter>
#include <QStyledItemDelegate>

#include <vector>

namespace mireldo::ui {

namespace {

class TextRowDelegate final : public QStyledItemDelegate {
  public:
    TextRowDelegate(const QStringList& rows, QObject* parent)
        : QStyledItemDelegate(parent), rows_(rows) {}

    QSize sizeHint(const QStyleOptionViewItem& option,
                   const QModelIndex& /*index*/) const override {
        return QSize(option.rect.width(), CTextList::kRowHeight);
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool marked = (option.state & QStyle::State_Selected) != 0 ||
                            (option.state & QStyle::State_HasFocus) != 0;
        p->fillRect(option.rect, marked ? QColor(CTextList::kSelectedColor) : QColor(Qt::white));
        const int row = index.row();
        if (row < 0 || row >= rows_.size()) {
            return;
        }
        const QFontMetrics metrics(option.font);
        // Centred by the height of "ajh", as every row of these lists is.
        const int textHeight = metrics.boundingRect(QStringLiteral("ajh")).height();
        const QRect r(option.rect.left() + 3,
                      option.rect.top() + (option.rect.height() - textHeight) / 2,
                      option.rect.width() - 3, textHeight);
        p->setPen(Qt::black);
        p->drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, rows_[row]);
    }

  private:
    const QStringList& rows_;
};

} // namespace

CTextList::CTextList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new TextRowDelegate(rows_, this));
    setUniformItemSizes(true);
}

void CTextList::addRow(const QString& text) {
    rows_.append(text);
    auto* item = new QListWidgetItem(text, this);
    item->setSizeHint(QSize(0, kRowHeight));
}

void CTextList::clearRows() {
    clear();
    rows_.clear();
}

QImage floodFilled(const QImage& image, QPoint start, QRgb fill) {
    QImage out = image.convertToFormat(QImage::Format_RGB32);
    if (!out.rect().contains(start)) {
        return out;
    }
    const QRgb target = out.pixel(start);
    if ((target & 0xFFFFFFu) == (fill & 0xFFFFFFu)) {
        return out;
    }
    std::vector<QPoint> stack{start};
    while (!stack.empty()) {
        const QPoint pt = stack.back();
        stack.pop_back();
        if (!out.rect().contains(pt) || out.pixel(pt) != target) {
            continue;
        }
        out.setPixel(pt, fill | 0xFF000000u);
        stack.push_back(pt + QPoint(1, 0));
        stack.push_back(pt - QPoint(1, 0));
        stack.push_back(pt + QPoint(0, 1));
        stack.push_back(pt - QPoint(0, 1));
    }
    return out;
}

CPictureLabel::CPictureLabel(QWidget* parent, bool keepShadow)
    : QLabel(parent), keepShadow_(keepShadow) {}

void CPictureLabel::paintEvent(QPaintEvent* /*event*/) {
    if (picture_.isNull()) {
        picture_ = loadPicture(kPicLabel);
        const QRgb shadow = palette().color(QPalette::Dark).rgb();
        if (!keepShadow_ && !picture_.isNull() &&
            (picture_.pixel(0, 0) & 0xFFFFFFu) == (shadow & 0xFFFFFFu)) {
            picture_ = floodFilled(picture_, QPoint(0, 0), palette().color(QPalette::Window).rgb());
        }
    }
    QPainter p(this);
    p.drawImage(QPoint(0, 0), picture_);
}

} // namespace mireldo::ui
