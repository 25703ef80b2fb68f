#include "image_ops.h"

namespace mireldo::ui {

namespace {

QImage asRgb32(const QImage& picture) {
    return picture.convertToFormat(QImage::Format_RGB32);
}

} // namespace

QImage greyCopy(const QImage& picture, QRgb transparent) {
    if (picture.isNull()) {
        return {};
    }
    QImage out = asRgb32(picture);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if (sameRgb(line[x], transparent)) {
                continue;
            }
            const double level =
                0.299 * qRed(line[x]) + 0.587 * qGreen(line[x]) + 0.114 * qBlue(line[x]);
            const int g = static_cast<int>(level); // truncation, as the rule asks
            line[x] = qRgb(g, g, g);
        }
    }
    return out;
}

QImage darkerCopy(const QImage& picture, QRgb transparent) {
    if (picture.isNull()) {
        return {};
    }
    QImage out = asRgb32(picture);
    const auto darker = [](int c) { return static_cast<int>(c - 0.25 * c); };
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if (sameRgb(line[x], transparent)) {
                continue;
            }
            line[x] = qRgb(darker(qRed(line[x])), darker(qGreen(line[x])), darker(qBlue(line[x])));
        }
    }
    return out;
}

QImage makeMask(const QImage& picture, QRgb transparent) {
    if (picture.isNull()) {
        return {};
    }
    const QImage rgb = asRgb32(picture);
    QImage mask(rgb.size(), QImage::Format_Mono);
    if (mask.isNull()) {
        return {};
    }
    mask.setColorCount(2);
    mask.setColor(0, qRgb(0, 0, 0));
    mask.setColor(1, qRgb(255, 255, 255));
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            mask.setPixel(x, y, sameRgb(line[x], transparent) ? 1u : 0u);
        }
    }
    return mask;
}

QImage blackenTransparent(const QImage& picture, QRgb transparent) {
    if (picture.isNull()) {
        return {};
    }
    QImage out = asRgb32(picture);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if (sameRgb(line[x], transparent)) {
                line[x] = qRgb(0, 0, 0);
            }
        }
    }
    return out;
}

QImage maskedPicture(const QImage& picture, const QImage& mask) {
    if (picture.isNull() || mask.size() != picture.size()) {
        return {};
    }
    QImage out = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            line[x] = mask.pixelIndex(x, y) == 1 ? qRgba(0, 0, 0, 0) : (line[x] | 0xFF000000u);
        }
    }
    return out;
}

QImage disabledPicture(const QImage& picture, const QImage& mask, QRgb highlight, QRgb shadow) {
    if (picture.isNull() || mask.size() != picture.size()) {
        return {};
    }
    const QImage rgb = asRgb32(picture);
    const int w = rgb.width();
    const int h = rgb.height();
    // Ink: pixels that stay visible once the picture is composed on white.
    const auto ink = [&](int x, int y) {
        return mask.pixelIndex(x, y) == 0 && !sameRgb(rgb.pixel(x, y), qRgb(255, 255, 255));
    };
    QImage out(rgb.size(), QImage::Format_ARGB32);
    out.fill(qRgba(0, 0, 0, 0));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (ink(x, y) && x + 1 < w && y + 1 < h) {
                out.setPixel(x + 1, y + 1, highlight | 0xFF000000u);
            }
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (ink(x, y)) {
                out.setPixel(x, y, shadow | 0xFF000000u);
            }
        }
    }
    return out;
}

} // namespace mireldo::ui
