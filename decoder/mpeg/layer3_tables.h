#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace sondrel {

class BitReader;

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

    /// Decodes one pair of big values with table 0..31 (before linbits and signs).
    void decodePair(int table, BitReader& bits, int& x, int& y) const;

    /// Decodes one count-1 quadruple with table A (0) or B (1): bits v w x y of the result.
    int decodeQuad(int table, BitReader& bits) const;

private:
    // An entry is a leaf (symbol in bits 0..7, code length in bits 8..15) or, with bit 31
    // set, a link to a sub-table (offset in bits 0..23, index width in bits 24..28).
    struct Tree {
        uint32_t offset = 0;
        int rootBits = 0;
    };

    Tree build(const uint16_t* codes, const uint8_t* lengths, int count, int xsize);
    uint32_t decodeSymbol(const Tree& tree, BitReader& bits) const;

    std::vector<uint32_t> entries_;
    std::array<Tree, 34> trees_{}; // 0..31 big values (0, 4, 14 empty), 32 and 33 count-1
};

} // namespace sondrel
