#include "playlist_pictures.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <vector>

namespace mireldo::playlist {

namespace {

constexpr int kSide = 30;
const QColor kKey(255, 0, 255); // drawn behind the markers, then made transparent

QImage blank(int w, int h, const QColor& fill = Qt::white) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

// A ring of eight dots around a disc; the dark pair travels a quarter turn per frame.
QImage loadingFrame(int frame) {
    QImage image = blank(kSide, kSide);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 8; ++i) {
        const double angle = (i * 45.0 - 90.0) * M_PI / 180.0;
        const QPointF c(15.0 + 10.0 * std::cos(angle), 15.0 + 10.0 * std::sin(angle));
        const bool lit = (i / 2) == frame;
        p.setBrush(lit ? QColor(40, 110, 190) : QColor(190, 205, 225));
        p.drawEllipse(c, lit ? 3.2 : 2.4, lit ? 3.2 : 2.4);
    }
    p.setBrush(QColor(120, 150, 190));
    p.drawEllipse(QPointF(15, 15), 2.5, 2.5);
    return image;
}

QImage failedPicture() {
    QImage image = blank(kSide, kSide);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A page with a folded corner, crossed out in red.
    p.setPen(QPen(QColor(120, 120, 120), 1.2));
    p.setBrush(QColor(245, 245, 245));
    QPainterPath page;
    page.moveTo(7, 3);
    page.lineTo(19, 3);
    page.lineTo(24, 8);
    page.lineTo(24, 27);
    page.lineTo(7, 27);
    page.closeSubpath();
    p.drawPath(page);
    p.setPen(QPen(QColor(200, 30, 30), 3.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 11), QPointF(21, 22));
    p.drawLine(QPointF(21, 11), QPointF(10, 22));
    return image;
}

QImage marker(const QColor& colour, bool triangle) {
    QImage image = blank(9, 9, kKey);
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    if (triangle) {
        const QPointF points[] = {{1, 0}, {8.5, 4.5}, {1, 9}};
        p.drawPolygon(points, 3);
    } else {
        p.drawRect(2, 2, 5, 5);
    }
    return image;
}

QImage cornerPicture() {
    // A size grip: three diagonals of small dots ending in the bottom-right pixel.
    QImage image = blank(15, 14);
    QPainter p(&image);
    for (int d = 0; d < 3; ++d) {
        for (int k = 0; k <= d; ++k) {
            const int x = 12 - 4 * (d - k);
            const int y = 11 - 4 * k;
            p.fillRect(x, y, 2, 2, QColor(150, 150, 150));
            p.fillRect(x + 1, y + 1, 2, 2, Qt::white);
            p.fillRect(x, y, 2, 2, QColor(130, 130, 130));
        }
    }
    return image;
}

} // namespace

const SharedPictures& SharedPictures::get() {
    static const SharedPictures pictures = [] {
        SharedPictures s;
        for (int i = 0; i < 4; ++i) {
            s.loading[static_cast<std::size_t>(i)] = loadingFrame(i);
        }
        s.failed = failedPicture();
        s.queuedMarker = keyTopLeftTransparent(marker(QColor(90, 90, 90), false));
        s.playingMarker = keyTopLeftTransparent(marker(QColor(30, 160, 60), true));
        s.corner = cornerPicture();
        return s;
    }();
    return pictures;
}

QImage defaultItemPicture() {
    QImage image = blank(kSide, kSide);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A rounded tile with a waveform: a record of sound.
    p.setPen(QPen(QColor(60, 110, 170), 1.2));
    p.setBrush(QColor(225, 236, 248));
    p.drawRoundedRect(QRectF(3.5, 5.5, 23, 19), 4, 4);
    p.setPen(QPen(QColor(40, 90, 160), 1.6, Qt::SolidLine, Qt::RoundCap));
    const int heights[] = {3, 6, 9, 5, 8, 4, 7, 2};
    for (int i = 0; i < 8; ++i) {
        const double x = 7.5 + i * 2.2;
        p.drawLine(QPointF(x, 15 - heights[i] * 0.8), QPointF(x, 15 + heights[i] * 0.8));
    }
    return image;
}

QImage keyTopLeftTransparent(const QImage& image) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    if (out.isNull()) {
        return out;
    }
    const QRgb key = out.pixel(0, 0);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if (line[x] == key) {
                line[x] = qRgba(0, 0, 0, 0);
            }
        }
    }
    return out;
}

void floodFillWhiteFromCorner(QImage& image, QRgb colour) {
    if (image.isNull() || image.format() != QImage::Format_RGB32) {
        return;
    }
    const QRgb white = qRgb(255, 255, 255);
    if (image.pixel(0, 0) != white || colour == white) {
        return;
    }
    std::vector<QPoint> stack{QPoint(0, 0)};
    while (!stack.empty()) {
        const QPoint pt = stack.back();
        stack.pop_back();
        if (pt.x() < 0 || pt.y() < 0 || pt.x() >= image.width() || pt.y() >= image.height()) {
            continue;
        }
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(pt.y()));
        if (line[pt.x()] != white) {
            continue;
        }
        line[pt.x()] = colour;
        stack.push_back({pt.x() + 1, pt.y()});
        stack.push_back({pt.x() - 1, pt.y()});
        stack.push_back({pt.x(), pt.y() + 1});
        stack.push_back({pt.x(), pt.y() - 1});
    }
}

} // namespace mireldo::playlist
