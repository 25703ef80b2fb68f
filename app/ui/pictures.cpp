#include "pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace mireldo::ui {

namespace {

QImage canvas(int w, int h, QRgb background) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(background);
    return image;
}

// Shapes are drawn without antialiasing so that no pixel blends into the transparent colour
// (a blended edge would show as a grey fringe over any other background).
void playShape(QPainter& p, const QColor& fill, const QColor& edge) {
    QPainterPath path;
    path.moveTo(7, 4);
    path.lineTo(19, 12);
    path.lineTo(7, 20);
    path.closeSubpath();
    p.setPen(edge);
    p.setBrush(fill);
    p.drawPath(path);
}

void stopShape(QPainter& p, const QColor& fill, const QColor& edge) {
    p.setPen(edge);
    p.setBrush(fill);
    p.drawRect(6, 6, 12, 12);
}

void pauseShape(QPainter& p, const QColor& fill, const QColor& edge) {
    p.setPen(edge);
    p.setBrush(fill);
    p.drawRect(6, 5, 4, 14);
    p.drawRect(14, 5, 4, 14);
}

using Shape = void (*)(QPainter&, const QColor&, const QColor&);

QImage buttonPicture(Shape shape, bool hot) {
    QImage image = canvas(24, 24, kPictureGrey);
    QPainter p(&image);
    // Normal: a dark green symbol; hot: a bright one.
    const QColor fill = hot ? QColor(40, 200, 60) : QColor(30, 120, 45);
    const QColor edge = hot ? QColor(10, 90, 20) : QColor(10, 60, 15);
    shape(p, fill, edge);
    return image;
}

QImage speakerPicture() {
    // 28 pixels wide: it fits the 30-pixel output-device button inside its 1-pixel frame.
    QImage image = canvas(28, 20, qRgb(255, 255, 255));
    QPainter p(&image);
    p.setPen(QColor(40, 40, 40));
    p.setBrush(QColor(90, 90, 100));
    QPainterPath body;
    body.moveTo(2, 7);
    body.lineTo(6, 7);
    body.lineTo(11, 3);
    body.lineTo(11, 16);
    body.lineTo(6, 12);
    body.lineTo(2, 12);
    body.closeSubpath();
    p.drawPath(body);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.drawArc(QRect(8, 6, 7, 8), -60 * 16, 120 * 16);
    p.drawArc(QRect(8, 3, 12, 14), -60 * 16, 120 * 16);
    // The drop-down hint: a small triangle at the right.
    QPainterPath arrow;
    arrow.moveTo(21, 8);
    arrow.lineTo(27, 8);
    arrow.lineTo(24, 12);
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    p.drawPath(arrow);
    return image;
}

QImage trackPicture() {
    QImage image = canvas(42, 21, qRgb(212, 208, 200));
    QPainter p(&image);
    // A sunken groove through the middle.
    p.setPen(QColor(128, 128, 128));
    p.drawLine(0, 9, 41, 9);
    p.setPen(QColor(64, 64, 64));
    p.drawLine(0, 10, 41, 10);
    p.setPen(QColor(255, 255, 255));
    p.drawLine(0, 11, 41, 11);
    return image;
}

QImage endPicture(bool left) {
    QImage image = canvas(7, 21, qRgb(212, 208, 200));
    QPainter p(&image);
    p.setPen(QColor(128, 128, 128));
    const int x0 = left ? 3 : 0;
    const int x1 = left ? 6 : 3;
    p.drawLine(x0, 9, x1, 9);
    p.setPen(QColor(64, 64, 64));
    p.drawLine(x0, 10, x1, 10);
    p.setPen(QColor(255, 255, 255));
    p.drawLine(x0, 11, x1, 11);
    const int cap = left ? 3 : 3;
    p.setPen(QColor(128, 128, 128));
    p.drawLine(cap, 8, cap, 12);
    return image;
}

QImage thumbPicture(bool pressed) {
    QImage image = canvas(14, 21, qRgb(212, 208, 200));
    QPainter p(&image);
    QLinearGradient g(0, 0, 14, 0);
    g.setColorAt(0, pressed ? QColor(120, 150, 210) : QColor(235, 235, 240));
    g.setColorAt(1, pressed ? QColor(60, 90, 160) : QColor(170, 175, 185));
    p.setPen(QColor(64, 64, 64));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1.5, 2.5, 11, 16), 2, 2);
    p.setPen(pressed ? QColor(230, 235, 255) : QColor(110, 110, 120));
    for (int y = 7; y <= 13; y += 3) {
        p.drawLine(4, y, 9, y);
    }
    return image;
}

QImage labelPicture() {
    // The recorder's emblem: a microphone on a grey card whose corner area, in the button
    // shadow colour, may be flood-filled with the window's colour.
    QImage image = canvas(48, 48, qRgb(128, 128, 128));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 40, 40));
    p.drawEllipse(QRectF(6, 6, 36, 36));
    p.setBrush(QColor(240, 240, 240));
    p.drawRoundedRect(QRectF(19, 12, 10, 17), 5, 5);
    p.setPen(QPen(QColor(240, 240, 240), 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(15, 16, 18, 17), 180 * 16, 180 * 16);
    p.drawLine(24, 33, 24, 37);
    p.drawLine(19, 37, 29, 37);
    return image;
}

} // namespace

QImage loadPicture(int id) {
    switch (id) {
    case kPicPlayHot:
        return buttonPicture(playShape, true);
    case kPicPlay:
        return buttonPicture(playShape, false);
    case kPicStopHot:
        return buttonPicture(stopShape, true);
    case kPicStop:
        return buttonPicture(stopShape, false);
    case kPicPauseHot:
        return buttonPicture(pauseShape, true);
    case kPicPause:
        return buttonPicture(pauseShape, false);
    case kPicSpeaker:
        return speakerPicture();
    case kPicTrack:
        return trackPicture();
    case kPicThumb:
        return thumbPicture(false);
    case kPicThumbPressed:
        return thumbPicture(true);
    case kPicLeftEnd:
        return endPicture(true);
    case kPicRightEnd:
        return endPicture(false);
    case kPicLabel:
        return labelPicture();
    default:
        return {};
    }
}

} // namespace mireldo::ui
