#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "fast_transforms.h"
#include "layer3_tables.h"
#include "mpeg_header.h"
#include "mpeg_kernels.h"

namespace sondrel {

class BitReader;
class PolyphaseSynthesis;

/// Decoder of layer III frames: side information, the main-data buffer with its reach-back,
/// scale factors, Huffman decoding, dequantisation, stereo processing and the hybrid filter
/// bank. Holds the state carried from frame to frame (main data, overlap, scale factors).
class Layer3Decoder {
  public:
    Layer3Decoder();

    /// Forgets everything carried between frames: buffered main data, overlap, scale factors.
    void reset();

    /// Forgets the buffered main data only: the next frame cannot reach back before this point.
    void dropMainData() { mainDataFill_ = 0; }

    /// Decodes one frame (header included) into interleaved 16-bit samples: 1152 (MPEG-1) or
    /// 576 per channel. Returns false and leaves out untouched when the frame's main data
    /// reaches back before the data buffered so far.
    bool decodeFrame(const MpegFrameInfo& info, std::span<const uint8_t> frame,
                     PolyphaseSynthesis& synthesis, int16_t* out);

    /// Spectral lines decoded per granule: the top subband (lines 558..575) is never computed.
    static constexpr int kBandLimit = 558;
    static constexpr int kSubbands = 31;

  private:
    struct GranuleChannel {
        int part23Length = 0;
        int bigValues = 0;
        int globalGain = 0;
        int scalefacCompress = 0;
        bool windowSwitching = false;
        int blockType = 0;
        bool mixedBlock = false;
        int tableSelect[3] = {};
        int subblockGain[3] = {};
        int region0Count = 0;
        int region1Count = 0;
        bool preflag = false;
        int scalefacScale = 0;
        int count1Table = 0;
    };

    struct SideInfo {
        int mainDataBegin = 0;
        int scfsi[2] = {};
        GranuleChannel gr[2][2];
    };

    // Scale factors of one channel: long bands and short bands by window, plus for the
    // right channel of MPEG-2 intensity stereo the largest (illegal) position per band.
    struct ScaleFactors {
        int longBands[22] = {};
        int shortBands[13][3] = {};
        int longMax[22] = {};
        int shortMax[13][3] = {};
        int intensityScale = 0;
    };

    bool readSideInfo(const MpegFrameInfo& info, BitReader& bits, SideInfo& side) const;
    void readScaleFactorsMpeg1(BitReader& bits, const GranuleChannel& g, int ch, int granule,
                               const int* scfsi);
    void readScaleFactorsMpeg2(BitReader& bits, GranuleChannel& g, int ch, bool intensityRight);
    void decodeHuffman(BitReader& bits, const GranuleChannel& g, const Layer3Bands& bands,
                       std::size_t endBit, int ch);
    void dequantise(const GranuleChannel& g, const Layer3Bands& bands, int ch, bool mpeg1);
    void stereo(const MpegFrameInfo& info, const GranuleChannel& g, const Layer3Bands& bands);
    void reorder(const GranuleChannel& g, const Layer3Bands& bands, int ch, bool mpeg1);
    void antialias(const GranuleChannel& g, int ch);
    void hybrid(const GranuleChannel& g, int ch);

    const Layer3Huffman huffman_;
    const MpegKernels& kernels_ = mpegKernels();

    // Main data of recent frames; granule data is read from here.
    static constexpr int kMainDataCapacity = 8192;
    std::array<uint8_t, kMainDataCapacity> mainData_{};
    int mainDataFill_ = 0;

    // sign(x) |x|^(4/3) at index x + kPow43Offset, for every value the codes reach (15 plus
    // up to 13 linbits): a look-up with the sign folded in.
    static constexpr int kPow43Offset = 8206;
    std::array<float, 2 * kPow43Offset + 1> pow43_{};
    std::array<float, 512> gainPow2_{}; // 2^(q / 4) x 32768 for quarter steps q = -456..55
    std::array<float, 8> isRatioLeft_{}, isRatioRight_{};
    std::array<float, 36> windowLong_[4]{}; // block types 0, 1, 2 (unused), 3
    std::array<float, 12> windowShort_{};
    ImdctTables imdct_;
    float aliasCs_[8]{}, aliasCa_[8]{};

    // Per granule and channel.
    int quantised_[2][576]{}; // signed integer values out of the Huffman decoder
    float spectrum_[2][576]{};
    int nonZero_[2]{}; // lines from this index on are zero
    ScaleFactors scale_[2];
    // Second halves of the last granule's inverse MDCTs: [channel][sample][subband].
    float overlap_[2][18][32]{};
    // Subband by time slot, rows padded to 24 slots (the padding stays zero) for the synthesis.
    static constexpr int kSlotStride = 24;
    float hybridOut_[2][32][kSlotStride]{};
};

} // namespace sondrel
