#include "time_label.h"

#include <QPainter>

namespace mireldo::ui {

CTimeLabel::CTimeLabel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CTimeLabel::setText(const QString& text) {
    if (text == text_) {
        return;
    }
    text_ = text;
    update();
}

void CTimeLabel::setFormatFlags(int flags) {
    flags_ = flags;
    update();
}

void CTimeLabel::setMargins(const QMargins& margins) {
    margins_ = margins;
    update();
}

void CTimeLabel::paintEvent(QPaintEvent* /*event*/) {
    ++paintCount_;
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Button));
    p.setFont(parentWidget() != nullptr ? parentWidget()->font() : font());
    p.setPen(palette().color(QPalette::ButtonText));
    // The margins are added to each edge, as the label's four margins are.
    const QRect r(rect().left() + margins_.left(), rect().top() + margins_.top(),
                  rect().width() + margins_.right() - margins_.left(),
                  rect().height() + margins_.bottom() - margins_.top());
    p.drawText(r, flags_, text_);
}

} // namespace mireldo::ui
