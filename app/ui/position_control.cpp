#include "position_control.h"

#include "pictures.h"

#include <QMouseEvent>
#include <QPainter>

namespace mireldo::ui {

CPositionControl::CPositionControl(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool CPositionControl::setPictures(int track, int thumb, int pressedThumb, int leftEnd,
                                   int rightEnd) {
    QImage images[5] = {loadPicture(track), loadPicture(thumb), loadPicture(pressedThumb),
                        loadPicture(leftEnd), loadPicture(rightEnd)};
    for (const QImage& image : images) {
        if (image.isNull()) {
            return false;
        }
    }
    track_ = images[0];
    thumb_ = images[1];
    pressedThumb_ = images[2];
    leftEnd_ = images[3];
    rightEnd_ = images[4];
    updateGeometry();
    update();
    return true;
}

bool CPositionControl::setDefaultPictures() {
    return setPictures(kPicTrack, kPicThumb, kPicThumbPressed, kPicLeftEnd, kPicRightEnd);
}

PositionGeometry CPositionControl::geometryNow() const {
    return {width(), leftEnd_.width(), rightEnd_.width(), thumb_.width()};
}

int CPositionControl::thumbX() const {
    return thumbCentre(geometryNow(), minimum_, maximum_, position_);
}

void CPositionControl::setRange(std::uint32_t minimum, std::uint32_t maximum) {
    if (maximum < minimum) {
        std::swap(minimum, maximum);
    }
    minimum_ = minimum;
    maximum_ = maximum;
    position_ = std::clamp(position_, minimum_, maximum_);
    update();
}

void CPositionControl::setPosition(std::uint32_t value) {
    const int before = thumbX();
    position_ = std::clamp(value, minimum_, maximum_);
    if (thumbX() != before) {
        update();
    }
}

QSize CPositionControl::sizeHint() const {
    return QSize(leftEnd_.width() + track_.width() + rightEnd_.width(),
                 std::max(track_.height(), thumb_.height()));
}

void CPositionControl::paintEvent(QPaintEvent* /*event*/) {
    ++paintCount_;
    const int w = width();
    const int h = height();
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Button));
    if (!leftEnd_.isNull()) {
        p.drawImage(QPoint(0, 0), leftEnd_);
    }
    if (!rightEnd_.isNull()) {
        p.drawImage(QPoint(w - rightEnd_.width(), 0), rightEnd_);
    }
    const int trackLeft = leftEnd_.width();
    const int trackRight = w - rightEnd_.width();
    if (!track_.isNull() && trackRight > trackLeft) {
        p.drawImage(QRect(trackLeft, 0, trackRight - trackLeft, h), track_);
    }
    const QImage& thumb = dragging_ ? pressedThumb_ : thumb_;
    if (!thumb.isNull()) {
        p.drawImage(QPoint(thumbX() - thumb.width() / 2, 0), thumb);
    }
}

void CPositionControl::notify(int code) {
    if (!notify_.isNull()) {
        platform::postMessage(notify_, WM_HSCROLL, PositionScroll{this, code});
    }
    Q_EMIT scrolled(code);
}

void CPositionControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    grabMouse();
    dragging_ = true;
    position_ = positionForPress(geometryNow(), minimum_, maximum_, position_,
                                 event->position().toPoint().x());
    update();
    notify(kScrollThumbTrack);
}

void CPositionControl::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        return;
    }
    position_ = positionFromX(geometryNow(), minimum_, maximum_, event->position().toPoint().x());
    update();
    notify(kScrollThumbTrack);
}

void CPositionControl::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) {
        return;
    }
    releaseMouse();
    dragging_ = false;
    position_ = positionFromX(geometryNow(), minimum_, maximum_, event->position().toPoint().x());
    update();
    notify(kScrollEndScroll);
}

void CPositionControl::focusOutEvent(QFocusEvent* event) {
    if (dragging_) {
        releaseMouse();
        dragging_ = false;
        update();
        notify(kScrollEndScroll);
    }
    QWidget::focusOutEvent(event);
}

void CPositionControl::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void CPositionControl::resizeEvent(QResizeEvent* event) {
    update();
    QWidget::resizeEvent(event);
}

CPositionControl* makePlaylistPositionControl(QWidget* parent) {
    auto* control = new CPositionControl(parent);
    control->setDefaultPictures();
    control->setRange(0, 100);
    control->setPosition(0);
    return control;
}

} // namespace mireldo::ui
