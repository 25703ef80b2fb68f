// Reading a KLX container's metadata: the fixed header, then description, seek index, call-record
// entries and images in file order. Every count from the file is checked against the bytes that
// can hold its data (up to the payload offset, inside the file) before anything is allocated.
#include "byte_reader.h"
#include "decoder_stream.h"
#include "klx_format.h"
#include "klx_text.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <new>
#include <vector>

namespace sondrel {

using mireldo::common::ByteReader;
namespace {

// The fields of the fixed header, zero (or absent) where the header size has none.
struct KlxHeader {
    uint32_t size = 0;
    uint32_t payloadOffset = 0;
    uint16_t imageCount = 0;
    uint32_t lengthFrames = 0;
    uint32_t indexCount = 0;
    std::span<const uint8_t> topic;
    uint32_t descriptionLength = 0;
    bool hasCall = false; // header of 172 bytes or more with a non-negative call id
    int32_t callId = -1;
    int32_t callStart = 0;
    int32_t callEnd = 0;
    uint32_t entryCount = 0;
    std::span<const uint8_t> callText1, callText2, callText3;
    bool scrambled = false; // size 260
};

bool knownHeaderSize(uint32_t size) {
    return size == klx::kHeaderSize160 || size == klx::kHeaderSize164 ||
           size == klx::kHeaderSize172 || size == klx::kHeaderSize180 ||
           size == klx::kHeaderSize260;
}

bool parseHeader(std::span<const uint8_t> bytes, KlxHeader& h) {
    ByteReader r(bytes);
    h.size = r.u32();
    if (!knownHeaderSize(h.size)) {
        return false;
    }
    r.seek(klx::kOffsetPayloadOffset);
    h.payloadOffset = r.u32();
    r.seek(klx::kOffsetImageCount);
    h.imageCount = r.u16();
    r.seek(klx::kOffsetLengthFrames);
    h.lengthFrames = r.u32();
    h.indexCount = r.u32();
    h.topic = r.view(klx::kTopicBytes);
    if (h.size >= klx::kHeaderSize164) {
        r.seek(klx::kOffsetDescriptionLength);
        h.descriptionLength = r.u32();
    }
    if (h.size >= klx::kHeaderSize172) {
        r.seek(klx::kOffsetCallId);
        h.callId = r.i32();
        h.callStart = r.i32();
        h.hasCall = h.callId >= 0;
    }
    if (h.size >= klx::kHeaderSize180) {
        r.seek(klx::kOffsetCallEnd);
        h.callEnd = r.i32();
        h.entryCount = r.u32();
    }
    if (h.size == klx::kHeaderSize260) {
        h.scrambled = true;
        r.seek(klx::kOffsetCallText1);
        h.callText1 = r.view(klx::kCallText1Bytes);
        h.callText2 = r.view(klx::kCallText23Bytes);
        h.callText3 = r.view(klx::kCallText23Bytes);
    }
    return r.ok();
}

// Sequential reads of the variable part, bounded by the end of the metadata (the payload offset,
// never beyond the end of the file). A read that would cross the bound fails before any buffer
// for it is allocated.
class MetadataCursor {
  public:
    MetadataCursor(InputFile& file, uint64_t position, uint64_t limit)
        : file_(file), position_(position), limit_(limit) {}

    uint64_t position() const { return position_; }
    bool fits(uint64_t bytes) const { return bytes <= limit_ - position_; }

    /// Reads exactly count bytes into out (resized); false when they are not all there.
    bool read(std::vector<uint8_t>& out, uint64_t count) {
        if (!fits(count)) {
            return false;
        }
        out.resize(static_cast<size_t>(count));
        const size_t got = file_.read(out.data(), out.size());
        position_ += got;
        return got == out.size();
    }

    /// Reads up to count bytes into out, which has room for them; returns how many were read.
    size_t readSome(uint8_t* out, size_t count) {
        const size_t got = file_.read(out, count);
        position_ += got;
        return got;
    }

  private:
    InputFile& file_;
    uint64_t position_;
    uint64_t limit_;
};

std::optional<std::string> presentOrNone(std::string text) {
    if (text.empty()) {
        return std::nullopt;
    }
    return text;
}

// The call record of a header that has one; entries are read later from the file.
std::unique_ptr<OwnedCallRecord> makeCallRecord(const KlxHeader& h) {
    auto record = std::make_unique<OwnedCallRecord>();
    record->info.callId = h.callId;
    record->info.startTime = h.callStart < 0 ? 0 : h.callStart;
    record->info.endTime = record->info.startTime;
    if (h.size >= klx::kHeaderSize180 && h.callEnd > record->info.startTime) {
        record->info.endTime = h.callEnd;
    }
    if (h.scrambled) {
        record->text1 = klx::unscrambleRotated(h.callText1);
        klx::cutText(record->text1, klx::kMaxCallText1);
        klx::trimText(record->text1);
        std::string text2 = klx::unscrambleRotated(h.callText2);
        klx::cutText(text2, klx::kMaxCallText23);
        record->text2 = presentOrNone(std::move(text2));
        std::string text3 = klx::unscrambleRotated(h.callText3);
        klx::cutText(text3, klx::kMaxCallText23);
        record->text3 = presentOrNone(std::move(text3));
    }
    return record;
}

// Whether an image with this info header can be shown. Images carry no palette, so only
// true-colour, uncompressed bitmaps of a real size qualify.
bool imageHeaderUsable(const SondrelBitmapInfoHeader& info) {
    const bool trueColour = info.biBitCount == 16 || info.biBitCount == 24 || info.biBitCount == 32;
    constexpr uint32_t kUncompressedRgb = 0;
    return info.biWidth > 0 && info.biHeight != 0 && info.biPlanes == 1 && trueColour &&
           info.biCompression == kUncompressedRgb;
}

SondrelBitmapInfoHeader parseInfoHeader(std::span<const uint8_t> bytes) {
    ByteReader r(bytes);
    SondrelBitmapInfoHeader info{};
    info.biSize = r.u32();
    info.biWidth = r.i32();
    info.biHeight = r.i32();
    info.biPlanes = r.u16();
    info.biBitCount = r.u16();
    info.biCompression = r.u32();
    info.biSizeImage = r.u32();
    info.biXPelsPerMeter = r.i32();
    info.biYPelsPerMeter = r.i32();
    info.biClrUsed = r.u32();
    info.biClrImportant = r.u32();
    return info;
}

// Reads one image (file header, info header, pixels) into a record. Returns 0, 4 (missing or
// unusable headers, pixels that do not fit) or 14 (no bitmap can be made, or no pixel read).
int32_t readImage(MetadataCursor& cursor, std::unique_ptr<OwnedImage>& imageOut) {
    std::vector<uint8_t> headers;
    if (!cursor.read(headers, klx::kBitmapFileHeaderBytes + klx::kBitmapInfoHeaderBytes)) {
        return SONDREL_ERR_DAMAGED;
    }
    ByteReader r(headers);
    const uint8_t b = r.u8();
    const uint8_t m = r.u8();
    r.seek(klx::kBitmapFileHeaderBytes);
    const SondrelBitmapInfoHeader info = parseInfoHeader(r.view(klx::kBitmapInfoHeaderBytes));
    if (!r.ok() || b != 'B' || m != 'M' || info.biSizeImage == 0 || info.biClrUsed != 0 ||
        !cursor.fits(info.biSizeImage)) {
        return SONDREL_ERR_DAMAGED;
    }
    if (!imageHeaderUsable(info)) {
        return SONDREL_ERR_IMAGE;
    }

    auto image = std::make_unique<OwnedImage>();
    image->record.header = info;
    image->pixels.assign(info.biSizeImage, 0);
    const size_t got = cursor.readSome(image->pixels.data(), image->pixels.size());
    if (got == 0) {
        return SONDREL_ERR_IMAGE;
    }
    image->record.pixelBytes = static_cast<uint32_t>(got);
    image->record.pixels = image->pixels.data();
    imageOut = std::move(image);
    return SONDREL_OK;
}

} // namespace

int32_t DecoderStream::ReadKlxMetadata() {
    topic_.reset();
    description_.reset();
    seekIndex_.clear();
    callRecord_.reset();
    ownedImages_.clear();
    images_.clear();
    imageCount_ = 0;
    voidBytes_ = 0;

    try {
        std::array<uint8_t, klx::kFullHeaderSize> bytes{};
        if (file_.read(bytes.data(), bytes.size()) != bytes.size()) {
            return SONDREL_ERR_DAMAGED;
        }
        KlxHeader h;
        if (!parseHeader(bytes, h)) {
            return SONDREL_ERR_DAMAGED;
        }

        // The metadata ends where the payload begins, and both lie inside the file: a payload
        // offset inside the fixed header or beyond the end of the file marks a damaged container.
        if (h.payloadOffset < h.size || h.payloadOffset > fileLength_ ||
            h.descriptionLength > klx::kMaxDescriptionBytes) {
            return SONDREL_ERR_DAMAGED;
        }
        if (!file_.seek(h.size)) {
            return SONDREL_ERR_DAMAGED;
        }
        MetadataCursor cursor(file_, h.size, h.payloadOffset);

        // Description: plain in the smaller headers, rotated in size 260; always stored.
        std::vector<uint8_t> block;
        if (!cursor.read(block, h.descriptionLength)) {
            return SONDREL_ERR_DAMAGED;
        }
        description_ = h.scrambled ? klx::unscrambleRotated(block) : klx::plainText(block);
        std::string topic = h.scrambled ? klx::unscrambleTopic(h.topic) : klx::plainText(h.topic);
        klx::cutText(topic, klx::kMaxTopic);
        topic_ = presentOrNone(std::move(topic));
        payloadOffset_ = h.payloadOffset;
        lengthFrames_ = h.lengthFrames;

        // Seek index, validated as a whole before its entries are allocated.
        if (!cursor.read(block, uint64_t{h.indexCount} * klx::kIndexEntryBytes)) {
            return SONDREL_ERR_DAMAGED;
        }
        {
            ByteReader r(block);
            seekIndex_.resize(h.indexCount);
            for (SeekIndexEntry& entry : seekIndex_) {
                entry.framePosition = r.u32();
                entry.byteOffset = r.u32();
            }
        }

        // Call record: entries of three values in size 260, of two (the third set to -1) before.
        if (h.hasCall) {
            auto record = makeCallRecord(h);
            if (h.entryCount != 0) {
                const uint32_t entryBytes =
                    h.scrambled ? klx::kWideEntryBytes : klx::kNarrowEntryBytes;
                if (!cursor.read(block, uint64_t{h.entryCount} * entryBytes)) {
                    return SONDREL_ERR_DAMAGED;
                }
                ByteReader r(block);
                record->entries.resize(size_t{h.entryCount} * 3);
                for (size_t i = 0; i < record->entries.size(); i += 3) {
                    record->entries[i] = r.i32();
                    record->entries[i + 1] = r.i32();
                    record->entries[i + 2] = h.scrambled ? r.i32() : -1;
                }
            }
            record->bindPointers();
            callRecord_ = std::move(record);
        }
        block = {};

        // Images: the first ten; any further ones are left in the gap.
        const uint16_t count = std::min(h.imageCount, klx::kMaxImages);
        ownedImages_.reserve(count);
        for (uint16_t i = 0; i < count; ++i) {
            std::unique_ptr<OwnedImage> image;
            if (const int32_t code = readImage(cursor, image); code != SONDREL_OK) {
                return code;
            }
            ownedImages_.push_back(std::move(image));
        }
        images_.reserve(ownedImages_.size());
        for (const auto& image : ownedImages_) {
            images_.push_back(&image->record);
        }
        imageCount_ = static_cast<uint16_t>(images_.size());

        // The gap is never negative (the payload offset bounds every read); one beyond the range
        // of the 32-bit count is reported as its largest value.
        voidBytes_ =
            static_cast<int32_t>(std::min<uint64_t>(payloadOffset_ - cursor.position(), INT32_MAX));
        return SONDREL_OK;
    } catch (const std::bad_alloc&) {
        return SONDREL_ERR_MEMORY;
    }
}

} // namespace sondrel
