#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace sondrel {

/// Scale-factor band boundaries (in spectral lines) of one version and sample rate.
struct Layer3Bands {
    int16_t longBounds[23];  ///< start of long bands 0..21, then 576
    int16_t shortBounds[14]; ///< start of short bands 0..12 (per window), then 192
};

/// Band table for version (1..3) and sample-rate index (0..2).
const Layer3Bands& layer3Bands(int version, int sampleRateIndex);

/// Pre-emphasis added to the long-block scale factors when preflag is set.
extern const int8_t kLayer3Pretab[22];

/// Decoding tables of the layer III Huffman codes, built once from the code lists.
class Layer3Huffman {
  public:
    Layer3Huffman();

    /// Linbits of big-value table 0..31.
    static int linbits(int table);

    /// Whether big-value table 0..31 codes anything (tables 0, 4 and 14 do not: all zero).
    bool codesValues(int table) const {
        return trees_[static_cast<std::size_t>(table & 31)].rootBits != 0;
    }

    /// Decodes one pair of big values with table 0..31 (before linbits and signs) from the
    /// look-ahead window, starting used bits into it and advancing used past the code: x in
    /// bits 4..7 of the result, y in bits 0..3. Only for tables that codesValues().
    uint32_t decodePair(int table, uint64_t window, int& used) const {
        return decodeSymbol(trees_[static_cast<std::size_t>(table & 31)], window, used);
    }

    /// Decodes one count-1 quadruple with table A (0) or B (1), as decodePair: bits v w x y.
    int decodeQuad(int table, uint64_t window, int& used) const {
        return static_cast<int>(decodeSymbol(trees_[table ? 33u : 32u], window, used));
    }

  private:
    // An entry is a leaf (symbol in bits 0..7, code length in bits 8..15) or, with bit 31
    // set, a link to a sub-table (offset in bits 0..23, index width in bits 24..28).
    struct Tree {
        uint32_t offset = 0;
        int rootBits = 0;
    };

    static constexpr uint32_t kLinkFlag = 0x80000000u;

    Tree build(const uint16_t* codes, const uint8_t* lengths, int count, int xsize);

    // Walks the tables on a look-ahead window of at least 57 bits; no code is longer than 19.
    uint32_t decodeSymbol(const Tree& tree, uint64_t window, int& used) const {
        const uint32_t* entries = entries_.data();
        uint32_t offset = tree.offset;
        int width = tree.rootBits;
        for (;;) {
            const auto index = static_cast<uint32_t>((window << used) >> (64 - width));
            const uint32_t entry = entries[offset + index];
            if ((entry & kLinkFlag) == 0) {
                used += static_cast<int>((entry >> 8) & 0xFF);
                return entry & 0xFF;
            }
            used += width;
            offset = entry & 0xFFFFFF;
            width = static_cast<int>((entry >> 24) & 0x1F);
        }
    }

    std::vector<uint32_t> entries_;
    std::array<Tree, 34> trees_{}; // 0..31 big values (0, 4, 14 empty), 32 and 33 count-1
};

} // namespace sondrel
