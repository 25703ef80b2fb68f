#include "mpeg_frame_scan.h"

#include "mpeg_header.h"

#include <array>

namespace sondrel {
namespace {

// The shapes are worked out at compile time, so that opening a file costs no table building.
// They use the header tables of mpeg_header.h and follow the frame lengths of mpeg_header.cpp
// (a test compares them with the parser for every header word).
constexpr MpegScanShape shapeOf(uint32_t key) {
    // key: bit 11 the version bit above "MPEG-2.5" (set: MPEG-1 or MPEG-2), bit 10 MPEG-1,
    // bits 9..8 the layer code, bit 7 protection, bits 6..3 bit rate, 2..1 sample rate, 0 padding.
    const uint32_t b1 = 0xE0 | (key >> 7);
    const uint32_t b2 = (key & 0x7F) << 1;
    const int version = (b1 & 0x10) ? ((b1 & 0x08) ? 1 : 2) : 3;
    const int layerCode = (b1 >> 1) & 3;
    const int bitrateIndex = static_cast<int>(b2 >> 4);
    const int rateIndex = static_cast<int>((b2 >> 2) & 3);
    const uint32_t padding = (b2 >> 1) & 1;
    if (layerCode == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) {
        return {};
    }
    const int layer = 4 - layerCode;
    const uint32_t bitrate =
        static_cast<uint32_t>(kMpegBitrates[version == 1 ? 0 : 1][layer - 1][bitrateIndex]) * 1000u;
    const uint32_t rate = static_cast<uint32_t>(kMpegSampleRates[version - 1][rateIndex]);
    MpegScanShape shape;
    if (layer == 1) {
        shape.length = static_cast<uint16_t>((bitrate * 12 / rate) * 4 + padding * 4);
        shape.samples = 384;
        return shape;
    }
    uint32_t length = bitrate * 144 / rate;
    if (layer == 3 && version != 1) {
        length /= 2;
    }
    shape.length = static_cast<uint16_t>(length + padding);
    shape.samples = (layer == 3 && version != 1) ? 576 : 1152;
    if (layer == 3) {
        shape.sideMono = version == 1 ? 17 : 9;
        shape.sideStereo = version == 1 ? 32 : 17;
    }
    return shape;
}

constexpr std::array<MpegScanShape, 4096> makeShapes() {
    std::array<MpegScanShape, 4096> shapes{};
    for (uint32_t key = 0; key < 4096; ++key) {
        shapes[key] = shapeOf(key);
    }
    return shapes;
}

constexpr std::array<MpegScanShape, 4096> kShapes = makeShapes();

} // namespace

const MpegScanShape* mpegScanShapes() {
    return kShapes.data();
}

} // namespace sondrel
