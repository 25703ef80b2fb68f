#pragma once

// The texture of the textured buttons: an 8-bit palette image (a device-independent bitmap
// kept in memory, rows bottom first, each padded to 4 bytes), its colour table spread from the
// button shadow over the face to the highlight colour, and the pattern of style 8: mirrored
// diagonal scratches on a face shaded from the bright top left to the dark bottom right.
//
// Threads: any thread; a PaletteImage is used by one thread at a time. The process-wide
// generator (sharedRandom()) belongs to the user-interface thread.

#include <QColor>
#include <QImage>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace mireldo::ui {

/// A pseudo-random generator with the range 0 to 32767 (a linear congruential generator of
/// the C runtime's kind: state = state * 214013 + 2531011, the value is bits 16..30).
class Random15 {
  public:
    explicit Random15(std::uint32_t seed = 1) : state_(seed) {}
    int operator()() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }

  private:
    std::uint32_t state_;
};

/// The generator all textures of the process draw from, so that every new dialog continues
/// the sequence and gets new scratches. User-interface thread only.
Random15& sharedRandom();

/// Any source of values 0 to 32767 (the shared generator, a seeded one, or a script in tests).
using RandomSource = std::function<int()>;

class PaletteImage {
  public:
    PaletteImage() = default;
    /// An image of width x height (each at least 1; smaller values are taken as 1), all
    /// pixels index 0 and the colour table black.
    PaletteImage(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    bool isNull() const { return width_ == 0; }
    /// Bytes per stored row: (width * 8 + 31) / 32 * 4.
    int stride() const { return stride_; }
    /// stride * height.
    std::size_t imageSize() const { return pixels_.size(); }

    /// Colour-table entry `index` (0..255).
    QRgb color(int index) const { return colors_[static_cast<std::size_t>(index & 0xFF)]; }
    void setColor(int index, QRgb rgb) { colors_[static_cast<std::size_t>(index & 0xFF)] = rgb; }
    /// Moves every colour-table entry towards `rgb` by `percent` (limited to 0..100): each
    /// channel becomes (colour * p + channel * (100 - p)) / 100.
    void tint(QRgb rgb, int percent);

    /// Sets every pixel to `index`.
    void fill(std::uint8_t index);
    /// Pixel (x, y), y counted from the top; outside the image nothing happens.
    void setPixel(int x, int y, std::uint8_t index);
    /// Pixel (x, y), y counted from the top; 0 outside.
    std::uint8_t pixel(int x, int y) const;
    /// The byte of stored row `row` (0 is the bottom row) at column `x`; the image must hold it.
    std::uint8_t& stored(int row, int x) {
        return pixels_[static_cast<std::size_t>(row) * static_cast<std::size_t>(stride_) +
                       static_cast<std::size_t>(x)];
    }

    /// The image as an indexed QImage (top row first) with this colour table.
    QImage toImage() const;

  private:
    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::array<QRgb, 256> colors_{};
    std::vector<std::uint8_t> pixels_;
};

/// The system colours a texture is spread over.
struct ButtonColors {
    QRgb shadow;
    QRgb face;
    QRgb highlight;
};

/// Fills entries 0..255: 0..128 from shadow to face, then 128..255 from face to highlight
/// (entry 128 is taken from the second rule), each channel with integer division by 128.
void fillButtonColorTable(PaletteImage& image, const ButtonColors& colors);

/// The parameters of a texture; every button of the program uses the defaults.
struct TextureParams {
    int style = 8;
    int noise = 8;    ///< n: the shading noise runs from 0 to 2n
    int hotTint = 10; ///< percent towards the highlight colour for the hot image
    int faceTint = 0; ///< percent towards faceTintColor for the face image
    QRgb faceTintColor = 0;
};

/// The face and hot images of one button.
struct Texture {
    PaletteImage face;
    PaletteImage hot;
};

/// Draws 200 mirrored diagonal scratches into `image` (values 0..40), as style 8 does.
void drawScratches(PaletteImage& image, const RandomSource& random);

/// Adds the style-8 shading to every pixel (8-bit wrap-around): row share r * e / h (stored
/// row r, 0 at the bottom), column share (w * e - i * e) / w and noise random / (32767 / 2n),
/// where e = (255 - 2n - 40) / 2.
void addShading(PaletteImage& image, int noise, const RandomSource& random);

/// Generates the texture of a button of width x height. Styles other than 8 give pure noise.
Texture makeTexture(int width, int height, const ButtonColors& colors, const TextureParams& params,
                    const RandomSource& random);

} // namespace mireldo::ui
