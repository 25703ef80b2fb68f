#include "mpeg_frame_scan.h"

#include "mpeg_header.h"

namespace sondrel {
namespace {

struct ShapeTable {
    MpegScanShape shapes[4096];

    ShapeTable() {
        for (uint32_t key = 0; key < 4096; ++key) {
            // The header bytes FF, 111vvllp, bbbbrrpx with the key's bits; channel mode stereo.
            const auto b1 = static_cast<uint8_t>(0xE0 | (key >> 7));
            const auto b2 = static_cast<uint8_t>((key & 0x7F) << 1);
            uint8_t frame[kMpegMinParseLength] = {0xFF, b1, b2, 0x00};
            MpegFrameInfo info;
            if (parseMpegFrameHeader(frame, info) != kMpegHeaderOk) {
                continue;
            }
            MpegScanShape& shape = shapes[key];
            shape.length = static_cast<uint16_t>(mpegSteppingLength(info));
            shape.samples = static_cast<uint16_t>(mpegSamplesPerFrame(info.version, info.layer));
            if (info.layer == 3) {
                shape.sideMono = static_cast<uint8_t>(mpegSideInfoBytes(info.version, 1));
                shape.sideStereo = static_cast<uint8_t>(mpegSideInfoBytes(info.version, 2));
            }
        }
    }
};

} // namespace

const MpegScanShape* mpegScanShapes() {
    static const ShapeTable table;
    return table.shapes;
}

} // namespace sondrel
