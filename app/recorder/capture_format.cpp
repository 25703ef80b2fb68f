#include "capture_format.h"

namespace mireldo::recorder {

// Rows come in pairs (mono, stereo) per rate; the 16-bit rates first, then the 8-bit ones.
const std::array<std::uint16_t, CaptureFormatTable::kRows> CaptureFormatTable::bits{
    16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16,
    8,  8,  8,  8,  8,  8,  8,  8,  8,  8,  8,  8,  8,  8};
const std::array<std::uint16_t, CaptureFormatTable::kRows> CaptureFormatTable::channels{
    1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2};
const std::array<std::uint16_t, CaptureFormatTable::kRows> CaptureFormatTable::rate{
    48000, 48000, 44100, 44100, 32000, 32000, 22050, 22050, 16000, 16000, 11025, 11025, 8000, 8000,
    48000, 48000, 44100, 44100, 32000, 32000, 22050, 22050, 16000, 16000, 11025, 11025, 8000, 8000};

WAVEFORMATEX captureFormatForRow(int row) {
    if (row < 0 || row >= CaptureFormatTable::kRows) {
        row = 0;
    }
    const auto i = static_cast<std::size_t>(row);
    WAVEFORMATEX f{};
    f.wFormatTag = 1;
    f.nChannels = CaptureFormatTable::channels[i];
    f.nSamplesPerSec = CaptureFormatTable::rate[i];
    f.wBitsPerSample = CaptureFormatTable::bits[i];
    f.nBlockAlign = static_cast<std::uint16_t>(f.wBitsPerSample * f.nChannels / 8);
    f.nAvgBytesPerSec = f.nSamplesPerSec * f.nBlockAlign;
    f.cbSize = 0;
    return f;
}

WAVEFORMATEX defaultCaptureFormat() {
    return captureFormatForRow(0);
}

QString captureFormatRowText(int row) {
    const WAVEFORMATEX f = captureFormatForRow(row);
    return f.nChannels == 1 ? QString::asprintf("%u Hz %u bits mono", f.nSamplesPerSec,
                                                unsigned{f.wBitsPerSample})
                            : QString::asprintf("%u Hz %u bits stereo", f.nSamplesPerSec,
                                                unsigned{f.wBitsPerSample});
}

} // namespace mireldo::recorder
