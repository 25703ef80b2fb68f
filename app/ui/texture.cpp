#include "texture.h"

#include <algorithm>

namespace mireldo::ui {

Random15& sharedRandom() {
    static Random15 generator;
    return generator;
}

PaletteImage::PaletteImage(int width, int height)
    : width_(std::max(width, 1)), height_(std::max(height, 1)), stride_((width_ * 8 + 31) / 32 * 4),
      pixels_(static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height_), 0) {
    colors_.fill(qRgb(0, 0, 0));
}

void PaletteImage::tint(QRgb rgb, int percent) {
    const int p = std::clamp(percent, 0, 100);
    const auto mix = [p](int colour, int channel) {
        return (colour * p + channel * (100 - p)) / 100;
    };
    for (QRgb& entry : colors_) {
        entry = qRgb(mix(qRed(rgb), qRed(entry)), mix(qGreen(rgb), qGreen(entry)),
                     mix(qBlue(rgb), qBlue(entry)));
    }
}

void PaletteImage::fill(std::uint8_t index) {
    for (int row = 0; row < height_; ++row) {
        std::fill_n(&stored(row, 0), width_, index);
    }
}

void PaletteImage::setPixel(int x, int y, std::uint8_t index) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return;
    }
    stored(height_ - 1 - y, x) = index;
}

std::uint8_t PaletteImage::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) {
        return 0;
    }
    return pixels_[static_cast<std::size_t>(height_ - 1 - y) * static_cast<std::size_t>(stride_) +
                   static_cast<std::size_t>(x)];
}

QImage PaletteImage::toImage() const {
    if (isNull()) {
        return {};
    }
    QImage out(width_, height_, QImage::Format_Indexed8);
    out.setColorTable(QList<QRgb>(colors_.begin(), colors_.end()));
    for (int y = 0; y < height_; ++y) {
        std::copy_n(
            &pixels_[static_cast<std::size_t>(height_ - 1 - y) * static_cast<std::size_t>(stride_)],
            width_, out.scanLine(y));
    }
    return out;
}

void fillButtonColorTable(PaletteImage& image, const ButtonColors& colors) {
    const auto spread = [](QRgb from, QRgb to, int weightFrom, int weightTo) {
        return qRgb((qRed(from) * weightFrom + qRed(to) * weightTo) / 128,
                    (qGreen(from) * weightFrom + qGreen(to) * weightTo) / 128,
                    (qBlue(from) * weightFrom + qBlue(to) * weightTo) / 128);
    };
    for (int i = 0; i <= 128; ++i) {
        image.setColor(i, spread(colors.shadow, colors.face, 128 - i, i));
    }
    for (int j = 1; j <= 128; ++j) {
        image.setColor(127 + j, spread(colors.face, colors.highlight, 128 - j, j));
    }
}

void drawScratches(PaletteImage& image, const RandomSource& random) {
    const int w = image.width();
    const int h = image.height();
    // A divisor of 0 (an image wider than the generator's range) is taken as 1.
    const auto scale = [](int extent) { return std::max(32767 / std::max(extent, 1), 1); };
    for (int n = 0; n < 200; ++n) {
        const int x = random() / scale(w);
        const int y = random() / scale(h);
        const int length = random() / scale(std::min(w, h));
        const auto value = static_cast<std::uint8_t>(random() / 819);
        for (int k = 0; k < length / 2; ++k) {
            if (x - k > 0 && y + k < h) {
                image.setPixel(x - k, y + k, value);
            }
            if (x + k < w && y - k > 0) {
                image.setPixel(w - x + k, y - k, value);
            }
        }
    }
}

void addShading(PaletteImage& image, int noise, const RandomSource& random) {
    const int w = image.width();
    const int h = image.height();
    const int n = std::max(noise, 0);
    const int e = (255 - 2 * n - 40) / 2;
    const int noiseDivisor = n > 0 ? std::max(32767 / (2 * n), 1) : 0;
    for (int r = 0; r < h; ++r) {
        for (int i = 0; i < w; ++i) {
            const int noiseValue = noiseDivisor > 0 ? random() / noiseDivisor : 0;
            const int add = r * e / h + (w * e - i * e) / w + noiseValue;
            std::uint8_t& px = image.stored(r, i);
            px = static_cast<std::uint8_t>(px + add); // 8-bit arithmetic, as the pattern wants
        }
    }
}

Texture makeTexture(int width, int height, const ButtonColors& colors, const TextureParams& params,
                    const RandomSource& random) {
    Texture t;
    t.face = PaletteImage(width, height);
    fillButtonColorTable(t.face, colors);
    t.face.tint(params.faceTintColor, params.faceTint);
    t.face.fill(0);
    if (params.style == 8) {
        drawScratches(t.face, random);
        addShading(t.face, params.noise, random);
    } else {
        // Pure noise around the face colour.
        const int n = std::max(params.noise, 1);
        for (int r = 0; r < t.face.height(); ++r) {
            for (int i = 0; i < t.face.width(); ++i) {
                t.face.stored(r, i) =
                    static_cast<std::uint8_t>(128 - n + random() / std::max(32767 / (2 * n), 1));
            }
        }
    }
    t.hot = t.face;
    t.hot.tint(colors.highlight, params.hotTint);
    return t;
}

} // namespace mireldo::ui
