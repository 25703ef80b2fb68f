#include "klx_writer.h"

#include "test_support.h"

#include <algorithm>
#include <cstddef>

namespace klxtest {
namespace {

void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// Moves every bit of the string one place towards byte 0's top: the top bit of byte 0 comes
// back in at the bottom of the last byte.
void rotateLeftOneBit(std::vector<uint8_t>& bits) {
    if (bits.empty()) {
        return;
    }
    const uint8_t carry = static_cast<uint8_t>(bits[0] >> 7);
    for (size_t i = 0; i + 1 < bits.size(); ++i) {
        bits[i] = static_cast<uint8_t>((bits[i] << 1) | (bits[i + 1] >> 7));
    }
    bits.back() = static_cast<uint8_t>((bits.back() << 1) | carry);
}

} // namespace

std::vector<uint8_t> scrambleTopic(const std::string& text) {
    std::vector<uint8_t> out(129, 0);
    for (size_t i = 0; i < text.size() && i < out.size(); ++i) {
        out[i] = static_cast<uint8_t>(text[i]);
    }
    for (auto& b : out) {
        b ^= 0xA7;
    }
    return out;
}

std::vector<uint8_t> scrambleRotated(const std::string& text, size_t n, uint8_t k) {
    if (n == 0) {
        return {};
    }
    std::vector<uint8_t> body(n - 1);
    for (size_t i = 0; i < body.size(); ++i) {
        if (i < text.size()) {
            body[i] = static_cast<uint8_t>(static_cast<uint8_t>(text[i]) ^ 0xC5);
        } else if (i == text.size()) {
            body[i] = 0;
        } else {
            body[i] = static_cast<uint8_t>(0x30 + i % 40); // padding, never read back
        }
    }
    // Whole bytes first, then the remaining bits one at a time.
    if (!body.empty()) {
        const size_t bits = k % (body.size() * 8);
        std::rotate(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(bits / 8), body.end());
        for (size_t step = 0; step < bits % 8; ++step) {
            rotateLeftOneBit(body);
        }
    }
    body.push_back(k);
    return body;
}

KlxImage KlxImage::rgb(int32_t width, int32_t height, uint32_t seed) {
    KlxImage image;
    image.width = width;
    image.height = height;
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    image.pixels = testsupport::patternBytes(stride * static_cast<size_t>(height), seed);
    return image;
}

std::vector<uint8_t> KlxImage::bytes() const {
    std::vector<uint8_t> out{magic[0], magic[1]};
    out.resize(14, 0);
    const auto u = [](int32_t v) { return static_cast<uint32_t>(v); };
    testsupport::putU32(out, 40);
    testsupport::putU32(out, u(width));
    testsupport::putU32(out, u(height));
    testsupport::putU16(out, planes);
    testsupport::putU16(out, bitCount);
    testsupport::putU32(out, compression);
    testsupport::putU32(out, sizeImage.value_or(static_cast<uint32_t>(pixels.size())));
    testsupport::putU32(out, 2835);
    testsupport::putU32(out, 2835);
    testsupport::putU32(out, clrUsed);
    testsupport::putU32(out, 0);
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

uint32_t KlxFile::metadataBytes() const {
    std::vector<uint8_t> all = bytes();
    return static_cast<uint32_t>(all.size() - payload.size());
}

std::vector<uint8_t> KlxFile::bytes() const {
    const bool scrambled = headerSize >= 260;
    std::vector<uint8_t> out(headerSize, 0);
    put32(out, 0, headerSize);
    out[4] = 'F';
    out[5] = 'X';
    out[6] = 'L';
    out[7] = 'K';
    put32(out, 12, payloadType);
    const auto storedImages = imageCount.value_or(static_cast<uint16_t>(images.size()));
    out[16] = static_cast<uint8_t>(storedImages);
    out[17] = static_cast<uint8_t>(storedImages >> 8);
    put32(out, 20, lengthFrames);
    put32(out, 24, indexCount.value_or(static_cast<uint32_t>(index.size())));
    std::vector<uint8_t> topicField = topicBytes;
    if (topicField.empty()) {
        if (scrambled) {
            topicField = scrambleTopic(topic);
        } else {
            topicField.assign(129, 0);
            std::copy(topic.begin(), topic.end(), topicField.begin());
        }
    }
    std::copy(topicField.begin(), topicField.end(), out.begin() + 28);

    std::vector<uint8_t> descriptionBlock;
    if (headerSize >= 164) {
        if (scrambled) {
            const size_t n = descriptionLength.value_or(
                description.empty() ? 0 : static_cast<uint32_t>(description.size() + 2));
            descriptionBlock = scrambleRotated(description, n, descriptionRotation);
        } else {
            descriptionBlock.assign(description.begin(), description.end());
        }
        put32(out, 160, descriptionLength.value_or(static_cast<uint32_t>(descriptionBlock.size())));
    }
    const bool hasCall = headerSize >= 172 && callId >= 0;
    if (headerSize >= 172) {
        put32(out, 164, static_cast<uint32_t>(callId));
        put32(out, 168, static_cast<uint32_t>(callStart));
    }
    if (headerSize >= 180) {
        put32(out, 172, static_cast<uint32_t>(callEnd));
        put32(out, 176, entryCount.value_or(static_cast<uint32_t>(entries.size())));
    }
    if (scrambled) {
        const auto t1 = scrambleRotated(callText1, 10, callTextRotation[0]);
        const auto t2 = scrambleRotated(callText2, 34, callTextRotation[1]);
        const auto t3 = scrambleRotated(callText3, 34, callTextRotation[2]);
        std::copy(t1.begin(), t1.end(), out.begin() + 180);
        std::copy(t2.begin(), t2.end(), out.begin() + 190);
        std::copy(t3.begin(), t3.end(), out.begin() + 224);
    }

    out.insert(out.end(), descriptionBlock.begin(), descriptionBlock.end());
    for (const auto& entry : index) {
        testsupport::putU32(out, entry[0]);
        testsupport::putU32(out, entry[1]);
    }
    if (hasCall && headerSize >= 180) {
        for (const auto& entry : entries) {
            testsupport::putU32(out, static_cast<uint32_t>(entry[0]));
            testsupport::putU32(out, static_cast<uint32_t>(entry[1]));
            if (scrambled) {
                testsupport::putU32(out, static_cast<uint32_t>(entry[2]));
            }
        }
    }
    for (const auto& image : images) {
        const auto b = image.bytes();
        out.insert(out.end(), b.begin(), b.end());
    }
    out.insert(out.end(), gap.begin(), gap.end());
    put32(out, 8, payloadOffset.value_or(static_cast<uint32_t>(out.size())));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

} // namespace klxtest
