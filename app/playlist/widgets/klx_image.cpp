#include "klx_image.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace mireldo::playlist {

QImage imageFromSondrel(const SondrelImage& image) {
    const SondrelBitmapInfoHeader& h = image.header;
    const int bits = h.biBitCount;
    if ((bits != 16 && bits != 24 && bits != 32) || image.pixels == nullptr || h.biWidth == 0 ||
        h.biHeight == 0) {
        return {};
    }
    const std::int64_t width = std::llabs(static_cast<std::int64_t>(h.biWidth));
    const std::int64_t height = std::llabs(static_cast<std::int64_t>(h.biHeight));
    const bool bottomUp = h.biHeight > 0;
    const std::uint64_t stride =
        ((static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bits) + 31) / 32) * 4;
    // What may be read: the bytes actually read from the file, and never more than the image.
    const std::uint64_t available =
        std::min<std::uint64_t>(image.pixelBytes, stride * static_cast<std::uint64_t>(height));
    const int outWidth = static_cast<int>(std::min<std::int64_t>(width, kMaxPictureSide));
    const int outHeight = static_cast<int>(std::min<std::int64_t>(height, kMaxPictureSide));
    const std::uint64_t bytesPerPixel = static_cast<std::uint64_t>(bits) / 8;

    QImage out(outWidth, outHeight, QImage::Format_RGB32);
    out.fill(Qt::white);
    for (int y = 0; y < outHeight; ++y) {
        const std::uint64_t sourceRow =
            bottomUp ? static_cast<std::uint64_t>(height - 1 - y) : static_cast<std::uint64_t>(y);
        const std::uint64_t rowStart = sourceRow * stride;
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < outWidth; ++x) {
            const std::uint64_t at = rowStart + static_cast<std::uint64_t>(x) * bytesPerPixel;
            if (at + bytesPerPixel > available) {
                break; // the rest of this row (and the rows after it) lie beyond the bytes read
            }
            const std::uint8_t* p = image.pixels + at;
            if (bits == 16) {
                const unsigned v = unsigned{p[0]} | (unsigned{p[1]} << 8);
                const auto expand = [](unsigned c) { return (c << 3) | (c >> 2); };
                line[x] =
                    qRgb(static_cast<int>(expand((v >> 10) & 31)),
                         static_cast<int>(expand((v >> 5) & 31)), static_cast<int>(expand(v & 31)));
            } else {
                line[x] = qRgb(p[2], p[1], p[0]);
            }
        }
    }
    return out;
}

} // namespace mireldo::playlist
