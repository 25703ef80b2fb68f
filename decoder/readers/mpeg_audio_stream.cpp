#include "mpeg_audio_stream.h"

#include "mpeg_frame_scan.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <new>

namespace sondrel {
namespace {

// How far one frame search looks before giving up.
constexpr uint32_t kSearchWindow = 480000;
// One seek-index entry per this many payload bytes per channel, at most kMaxIndexEntries.
constexpr uint32_t kIndexBytesPerEntry = 20480;
constexpr uint32_t kMaxIndexEntries = 1024;
constexpr uint32_t kInitialPending = 8192;
// Bytes the length scan asks the file window for at least, per run of plain frames.
constexpr uint32_t kScanRun = 4096;

bool matches(std::span<const uint8_t> bytes, size_t offset, const char* text) {
    const size_t count = std::strlen(text);
    return offset <= bytes.size() && count <= bytes.size() - offset &&
           std::memcmp(bytes.data() + offset, text, count) == 0;
}

// Size of an ID3v2 tag at the start of bytes (header, body and footer), or 0 when none is there.
uint32_t id3v2TagSize(std::span<const uint8_t> bytes) {
    if (bytes.size() < 10 || !matches(bytes, 0, "ID3") || bytes[3] == 0xFF || bytes[4] == 0xFF) {
        return 0;
    }
    uint32_t size = 0;
    for (size_t i = 6; i < 10; ++i) {
        if (bytes[i] & 0x80) {
            return 0; // not a valid synchsafe size: no tag
        }
        size = (size << 7) | bytes[i];
    }
    const bool footer = (bytes[5] & 0x10) != 0;
    return 10 + size + (footer ? 10 : 0);
}

} // namespace

uint32_t mpegSearchStart(std::span<const uint8_t> payload, uint64_t payloadSize) {
    uint32_t start = 0;
    if (matches(payload, 0, "RIFF")) {
        if (matches(payload, 8, "WAVEfmt")) {
            if (matches(payload, 50, "fact")) {
                start += 70;
            } else if (matches(payload, 52, "fact")) {
                start += 72;
            } else if (matches(payload, 50, "data")) {
                start += 58;
            }
        }
        if (matches(payload, 8, "RMP3") && matches(payload, 12, "data")) {
            start += 16;
        }
    }
    // Tags at the front (often with pictures) hold bytes that look like frames: step over them.
    if (start < payload.size()) {
        const uint64_t tag = id3v2TagSize(payload.subspan(start));
        start = static_cast<uint32_t>(std::min<uint64_t>(start + tag, payloadSize));
    }
    return static_cast<uint32_t>(std::min<uint64_t>(start, payloadSize));
}

MpegAudioStream::MpegAudioStream() = default;

MpegAudioStream::~MpegAudioStream() = default;

int32_t MpegAudioStream::fail(int32_t code) {
    window_.detach();
    BaseClose();
    return code;
}

std::span<const uint8_t> MpegAudioStream::window(uint32_t offset, uint32_t wanted) {
    const std::span<const uint8_t> got = window_.bytes(offset, wanted);
    if (got.size() >= wanted) {
        return got;
    }
    // Near the end of the payload the header parser and the decoder still get the length they
    // expect; what lies past the end reads as zeros.
    tail_.assign(wanted, 0);
    if (!got.empty()) {
        std::memcpy(tail_.data(), got.data(), got.size());
    }
    return tail_;
}

uint32_t MpegAudioStream::framesOf(const MpegFrameInfo& info) const {
    return static_cast<uint32_t>(info.outputBytes) / format_.nBlockAlign;
}

namespace {

// Payload bytes of [payloadOffset, fileLength): less the 128 bytes of an ID3v1 tag at the end.
uint32_t payloadLength(const InputFile& file, uint64_t fileLength, uint32_t payloadOffset) {
    const uint64_t length = fileLength > payloadOffset ? fileLength - payloadOffset : 0;
    if (length >= 128) {
        char tag[3] = {};
        if (file.readAt(fileLength - 128, tag, 3) == 3 && std::memcmp(tag, "TAG", 3) == 0) {
            return static_cast<uint32_t>(length - 128);
        }
    }
    return static_cast<uint32_t>(length);
}

// Bytes a RIFF wrapper's or an ID3v2 tag's header needs to be recognised.
constexpr uint32_t kSearchStartHead = 128;

} // namespace

int32_t MpegAudioStream::Open(const char* path, int32_t shareMode) {
    if (const int32_t code = BaseOpen(path, shareMode); code != SONDREL_OK) {
        BaseClose();
        return code;
    }
    if (fileLength_ == 0) {
        // A file of no bytes has nothing to read at all.
        return fail(SONDREL_ERR_MAPPING);
    }
    payloadEnd_ = payloadLength(file_, fileLength_, payloadOffset_);
    window_.attach(file_.descriptor(), payloadOffset_, payloadEnd_);

    // The first frame whose header parses fixes the stream's format.
    uint32_t offset = mpegSearchStart(window_.bytes(0, kSearchStartHead), payloadEnd_);
    MpegFrameInfo firstInfo;
    for (;;) {
        const uint32_t end = window_.end();
        const int64_t sync =
            offset < end ? window_.findSync(offset, std::min(end - offset, kSearchWindow)) : -1;
        if (sync < 0) {
            return fail(SONDREL_ERR_NO_SYNC);
        }
        offset = static_cast<uint32_t>(sync);
        if (parseMpegFrameHeader(window(offset, kMpegMinParseLength), firstInfo) == kMpegHeaderOk) {
            break;
        }
        ++offset;
    }
    const auto channels = static_cast<uint16_t>(firstInfo.channels);
    const auto sampleRate = static_cast<uint32_t>(firstInfo.sampleRate);
    {
        // A rough upper bound of a frame's size, from the layer III tables whatever the layer
        // (and the MPEG-2 tables for MPEG-2.5).
        const int versionForTables = firstInfo.version == 1 ? 1 : 2;
        const int kbps = mpegBitrateKbps(versionForTables, 3, firstInfo.bitrateIndex);
        const int rate = mpegSampleRate(versionForTables, firstInfo.sampleRateIndex);
        const int estimate = rate > 0 ? static_cast<int>(int64_t{kbps} * 2440000 / rate) : 0;
        parseWindow_ = static_cast<uint16_t>(std::clamp(estimate, 156, 65535));
    }
    format_.nChannels = channels;
    format_.nBlockAlign = static_cast<uint16_t>(channels * 2);

    if (seekIndex_.empty()) {
        if (!scanLength(offset, channels)) {
            return fail(SONDREL_ERR_DAMAGED);
        }
    }

    // A container's index may point anywhere: its first entry must hold a frame.
    MpegFrameInfo first;
    const uint32_t firstOffset = seekIndex_.front().byteOffset;
    if (firstOffset >= window_.end() ||
        parseMpegFrameHeader(window(firstOffset, parseWindow_), first) != kMpegHeaderOk) {
        return fail(SONDREL_ERR_DAMAGED);
    }
    format_.wFormatTag = 1;
    format_.nSamplesPerSec = sampleRate;
    format_.wBitsPerSample = 16;
    format_.nAvgBytesPerSec = static_cast<uint32_t>(first.bitrate) / 8;
    format_.cbSize = 18;

    position_ = 0;
    readOffset_ = firstOffset;
    pendingFrames_ = 0;
    pendingOffset_ = 0;
    window_.releaseBuffer();
    tail_ = {};
    FixCallRecordEnd();
    return SONDREL_OK;
}

bool MpegAudioStream::scanLength(uint32_t offset, uint32_t channels) {
    // The whole payload is read once, front to back.
    posix_fadvise(file_.descriptor(), static_cast<off_t>(payloadOffset_), 0, POSIX_FADV_SEQUENTIAL);
    const uint32_t span = payloadEnd_ - offset;
    const uint32_t indexSize =
        std::clamp(span / channels / kIndexBytesPerEntry, 1u, kMaxIndexEntries);
    const uint32_t indexStep = span / indexSize;
    seekIndex_.reserve(indexSize);
    uint64_t total = 0;
    uint32_t lastIndexed = offset;
    bool full = false;
    // Counts the frame at frameOffset and indexes it when due; false once the count is full.
    auto count = [&](uint32_t frameOffset, uint32_t samples, uint32_t frameChannels) {
        if (seekIndex_.empty() ||
            (frameOffset - lastIndexed >= indexStep && seekIndex_.size() < indexSize)) {
            seekIndex_.push_back({static_cast<uint32_t>(total), frameOffset});
            lastIndexed = frameOffset;
        }
        total += samples * frameChannels / channels;
        full = total >= 0xFFFFFFFFull;
        return !full;
    };
    while (offset < window_.end() && !full) {
        // Plain frames straight from the bytes read so far, one header look-up each.
        const std::span<const uint8_t> run = window_.bytesFrom(offset, kScanRun);
        offset += static_cast<uint32_t>(walkPlainMpegFrames(
            run, 0, [&](std::size_t at, uint32_t samples, uint32_t frameChannels) {
                return count(offset + static_cast<uint32_t>(at), samples, frameChannels);
            }));
        if (full || offset >= window_.end()) {
            break;
        }
        // The general step for whatever the walk left: a sync to search for, a header that does
        // not parse (passed by one byte), a tag frame, the last bytes of the payload.
        const int64_t sync =
            window_.findSync(offset, std::min(window_.end() - offset, kSearchWindow));
        if (sync < 0) {
            break;
        }
        offset = static_cast<uint32_t>(sync);
        MpegFrameInfo info;
        if (parseMpegFrameHeader(window(offset, parseWindow_), info) != kMpegHeaderOk) {
            ++offset;
            continue;
        }
        count(offset, static_cast<uint32_t>(mpegSamplesPerFrame(info.version, info.layer)),
              static_cast<uint32_t>(info.channels));
        offset += static_cast<uint32_t>(std::max(mpegSteppingLength(info), 1));
    }
    if (total == 0) {
        return false;
    }
    lengthFrames_ = full ? 0xFFFFFFFFu : static_cast<uint32_t>(total);
    return true;
}

void MpegAudioStream::initDecoderAtFirstEntry() {
    decoder_->Reset();
    decoder_->Init(window(seekIndex_.front().byteOffset, parseWindow_));
}

int32_t MpegAudioStream::BeginDecode() {
    if (!file_.isOpen() || seekIndex_.empty()) {
        return SONDREL_ERR_VIEW;
    }
    if (pending_.empty()) {
        pending_.resize(kInitialPending);
    }
    if (!decoder_) {
        decoder_.reset(new (std::nothrow) MpegAudioDecoder());
        if (!decoder_) {
            pending_ = {};
            return SONDREL_ERR_MEMORY;
        }
    }
    initDecoderAtFirstEntry();
    // The decoder starts afresh: whatever it held for the current position is gone, so the next
    // Decode finds its place as after any jump, even when it starts at the current position.
    pendingFrames_ = 0;
    pendingOffset_ = 0;
    seekFirst_ = true;
    return SONDREL_OK;
}

int32_t MpegAudioStream::EndDecode() {
    window_.releaseBuffer();
    tail_ = {};
    decoder_.reset();
    pending_ = {};
    pendingFrames_ = 0;
    return SONDREL_OK;
}

bool MpegAudioStream::nextFrame(uint32_t& offset, MpegFrameInfo& info, bool& noSync) {
    noSync = false;
    while (offset < window_.end()) {
        const int64_t sync =
            window_.findSync(offset, std::min(window_.end() - offset, kSearchWindow));
        if (sync < 0) {
            noSync = true;
            return false;
        }
        offset = static_cast<uint32_t>(sync);
        if (decoder_->ParseHeader(window(offset, parseWindow_), info, false) == kMpegHeaderOk) {
            return true;
        }
        ++offset;
    }
    return false;
}

void MpegAudioStream::decodeFrame(uint32_t offset, const MpegFrameInfo& info,
                                  std::span<uint8_t> out) {
    std::fill(out.begin(), out.end(), uint8_t{0});
    MpegDecodeRequest request;
    request.header = info;
    request.input = window(offset, static_cast<uint32_t>(mpegSteppingLength(info)));
    request.output = std::span<int16_t>(reinterpret_cast<int16_t*>(out.data()), out.size() / 2);
    decodedFrames_ += framesOf(info);
    if (mpegCarriesTag(request.input, info)) {
        // An encoder's tag frame counts as a frame of silence; its bytes are no audio, so the
        // next frame must not take main data from them.
        decoder_->SkipFrame();
        return;
    }
    decoder_->Decode(request);
}

int32_t MpegAudioStream::Decode(uint32_t firstFrame, uint32_t frameCount, void* buffer,
                                uint32_t* framesOut) {
    if (framesOut == nullptr) {
        return SONDREL_ERR_OPEN;
    }
    *framesOut = 0;
    if (firstFrame >= lengthFrames_) {
        return SONDREL_ERR_BEYOND_END;
    }
    if (!decoder_) {
        // Decoding needs BeginDecode first.
        return SONDREL_ERR_VIEW;
    }
    if (buffer == nullptr) {
        return SONDREL_ERR_OPEN;
    }
    frameCount = std::min(frameCount, lengthFrames_ - firstFrame);
    if (firstFrame != position_ || seekFirst_) {
        if (!seek(firstFrame)) {
            return SONDREL_ERR_BEYOND_END;
        }
        seekFirst_ = false;
    }

    const uint32_t blockAlign = format_.nBlockAlign;
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t delivered = std::min(frameCount, pendingFrames_);
    std::memcpy(out, pending_.data() + pendingOffset_, size_t{delivered} * blockAlign);
    pendingOffset_ += delivered * blockAlign;
    pendingFrames_ -= delivered;

    // The decoder writes 16-bit samples straight into the caller's buffer when it is aligned.
    const bool aligned = reinterpret_cast<uintptr_t>(buffer) % alignof(int16_t) == 0;
    while (delivered < frameCount && readOffset_ < window_.end()) {
        MpegFrameInfo info;
        bool noSync = false;
        if (!nextFrame(readOffset_, info, noSync)) {
            if (noSync && !window_.shrunk()) {
                return SONDREL_ERR_NO_SYNC;
            }
            break; // a file cut short since open ends the stream where it now ends
        }
        const uint32_t frames = framesOf(info);
        const uint32_t wanted = frameCount - delivered;
        const auto bytes = static_cast<size_t>(info.outputBytes);
        if (wanted < frames || pendingFrames_ > 0 || !aligned) {
            if (pending_.size() < bytes) {
                pending_.resize(bytes);
            }
            decodeFrame(readOffset_, info, std::span<uint8_t>(pending_.data(), bytes));
            const uint32_t take = std::min(wanted, frames);
            std::memcpy(out + size_t{delivered} * blockAlign, pending_.data(),
                        size_t{take} * blockAlign);
            delivered += take;
            pendingOffset_ = take * blockAlign;
            pendingFrames_ = frames - take;
        } else {
            decodeFrame(readOffset_, info,
                        std::span<uint8_t>(out + size_t{delivered} * blockAlign,
                                           size_t{frames} * blockAlign));
            delivered += frames;
        }
        readOffset_ += static_cast<uint32_t>(std::max(mpegSteppingLength(info), 1));
    }
    *framesOut = delivered;
    position_ = firstFrame + delivered;
    return SONDREL_OK;
}

bool MpegAudioStream::seek(uint32_t target) {
    // The entry whose range [frame, next frame) holds target; the last reaches to the end.
    auto next =
        std::upper_bound(seekIndex_.begin(), seekIndex_.end(), target,
                         [](uint32_t t, const SeekIndexEntry& e) { return t < e.framePosition; });
    if (next == seekIndex_.begin() || target >= lengthFrames_) {
        return false;
    }
    const SeekIndexEntry& entry = *(next - 1);
    if (entry.byteOffset >= window_.end()) {
        return false;
    }
    pendingFrames_ = 0;
    pendingOffset_ = 0;
    uint32_t offset = entry.byteOffset;
    uint32_t frame = entry.framePosition;
    decoder_->Reset();
    decoder_->Init(window(offset, parseWindow_));

    // Frames before the target are stepped over without decoding.
    while (frame < target) {
        MpegFrameInfo info;
        bool noSync = false;
        if (!nextFrame(offset, info, noSync)) {
            return false;
        }
        const uint32_t frames = framesOf(info);
        const uint32_t step = static_cast<uint32_t>(std::max(mpegSteppingLength(info), 1));
        if (target < frame + frames) {
            const auto bytes = static_cast<size_t>(info.outputBytes);
            if (pending_.size() < bytes) {
                pending_.resize(bytes);
            }
            decodeFrame(offset, info, std::span<uint8_t>(pending_.data(), bytes));
            pendingOffset_ = (target - frame) * format_.nBlockAlign;
            pendingFrames_ = frames - (target - frame);
            offset += step;
            break;
        }
        frame += frames;
        offset += step;
    }
    position_ = target;
    readOffset_ = offset;
    return true;
}

int32_t MpegAudioStream::ExtractIndex(uint32_t* countOut, SeekIndexEntry* entriesOut) {
    if (countOut == nullptr) {
        return SONDREL_ERR_OPEN;
    }
    *countOut = static_cast<uint32_t>(seekIndex_.size());
    if (entriesOut != nullptr && !seekIndex_.empty()) {
        std::memcpy(entriesOut, seekIndex_.data(), seekIndex_.size() * sizeof(SeekIndexEntry));
    }
    return SONDREL_OK;
}

int32_t MpegAudioStream::Close() {
    window_.detach();
    decoder_.reset();
    pending_ = {};
    pendingFrames_ = 0;
    tail_ = {};
    seekFirst_ = false;
    return BaseClose();
}

int32_t getMp3SampleRate(const char* path, uint32_t* rateOut) {
    InputFile file;
    if (const int32_t code = file.open(path); code != SONDREL_OK) {
        return code;
    }
    if (file.size() == 0) {
        return SONDREL_ERR_MAPPING;
    }
    const uint32_t length = payloadLength(file, std::min<uint64_t>(file.size(), UINT32_MAX), 0);
    FileWindow window;
    window.attach(file.descriptor(), 0, length);
    const uint32_t start = mpegSearchStart(window.bytes(0, kSearchStartHead), length);
    const int64_t sync = start < window.end()
                             ? window.findSync(start, std::min(window.end() - start, kSearchWindow))
                             : -1;
    if (sync < 0) {
        return SONDREL_ERR_NO_SYNC;
    }
    const auto at = static_cast<uint32_t>(sync);
    const std::span<const uint8_t> header =
        window.bytes(at, std::min(window.end() - at, kSearchWindow));
    MpegFrameInfo info;
    if (parseMpegFrameHeader(header, info) != kMpegHeaderOk) {
        return SONDREL_ERR_NO_SYNC;
    }
    *rateOut = static_cast<uint32_t>(info.sampleRate);
    return SONDREL_OK;
}

} // namespace sondrel
