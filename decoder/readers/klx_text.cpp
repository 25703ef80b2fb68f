#include "klx_text.h"

#include "klx_format.h"

#include <algorithm>
#include <vector>

namespace sondrel::klx {

std::string plainText(std::span<const uint8_t> stored) {
    const auto end = std::find(stored.begin(), stored.end(), uint8_t{0});
    return std::string(stored.begin(), end);
}

void cutText(std::string& text, size_t maxChars) {
    if (text.size() > maxChars) {
        text.resize(maxChars);
    }
}

void trimText(std::string& text) {
    constexpr const char* kWhiteSpace = " \t\n\v\f\r";
    const size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string::npos) {
        text.clear();
        return;
    }
    const size_t last = text.find_last_not_of(kWhiteSpace);
    text = text.substr(first, last - first + 1);
}

std::string unscrambleTopic(std::span<const uint8_t> stored) {
    std::string text;
    for (const uint8_t b : stored) {
        const auto c = static_cast<uint8_t>(b ^ kTopicKey);
        if (c == 0) {
            break;
        }
        text.push_back(static_cast<char>(c));
    }
    cutText(text, kMaxTopic);
    return text;
}

std::string unscrambleRotated(std::span<const uint8_t> stored) {
    if (stored.size() < 2) {
        return {};
    }
    const size_t m = stored.size() - 1; // bytes of the bit string; the last byte is the count
    const size_t bits = stored[m] % (m * 8);
    const size_t byteShift = bits / 8;
    const unsigned bitShift = static_cast<unsigned>(bits % 8);

    // Rotating right by whole bytes moves byte j - q to j; the remaining bit shift pulls the low
    // bits of the byte before (wrapping from the last to the first) into the top of each byte.
    std::vector<uint8_t> rotated(m);
    for (size_t j = 0; j < m; ++j) {
        const uint8_t here = stored[(j + m - byteShift) % m];
        const uint8_t before = stored[(j + 2 * m - byteShift - 1) % m];
        rotated[j] = bitShift == 0
                         ? here
                         : static_cast<uint8_t>((here >> bitShift) | (before << (8 - bitShift)));
    }

    std::string text;
    for (const uint8_t b : rotated) {
        if (b == 0) {
            break;
        }
        text.push_back(static_cast<char>(b ^ kRotatedTextKey));
    }
    return text;
}

} // namespace sondrel::klx
