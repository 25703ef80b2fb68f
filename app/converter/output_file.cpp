#include "output_file.h"

#include "fd_io.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <unistd.h>

namespace mireldo::converter {

bool OutputFile::open(const QString& target) {
    discard();
    auto created = platform::PendingFile::create(target);
    if (!created) {
        return false;
    }
    file_ = std::move(created).value();
    target_ = target;
    return true;
}

OutputFile::StartError OutputFile::startStream(const encoders::EncoderSlot& slot,
                                               std::uint32_t rate, int channels, std::uint32_t kbps,
                                               BeId3v1Tag* tag) {
    BeConfig config;
    encoders::fillEncoderConfig(config, rate, channels, kbps, 16);
    std::uint32_t samples = 0;
    // The plug-in takes the descriptor from the buffer-size variable and the pre-tag from the
    // stream variable, and overwrites both.
    std::uint32_t bufferSize = static_cast<std::uint32_t>(file_.fd());
    HBE_STREAM stream = reinterpret_cast<HBE_STREAM>(tag);
    if (!isOpen() ||
        slot.beInitStream(&config, &samples, &bufferSize, &stream) != BE_ERR_SUCCESSFUL ||
        stream == 0 || stream == reinterpret_cast<HBE_STREAM>(tag)) {
        return StartError::Write;
    }
    slot_ = &slot;
    stream_ = stream;
    buffer_.reset(new (std::nothrow) std::uint8_t[std::max<std::uint32_t>(bufferSize, 2)]);
    if (!buffer_) {
        closeStream();
        return StartError::Memory;
    }
    capacity_ = bufferSize;
    rate_ = rate;
    channels_ = channels;
    return StartError::None;
}

bool OutputFile::writeOut(std::uint32_t count) {
    return count <= capacity_ && common::writeAll(file_.fd(), buffer_.get(), count);
}

bool OutputFile::encode(const std::int16_t* samples, std::size_t values,
                        const std::function<bool()>& cancelled) {
    // A piece is at most half the output buffer in values, in whole frames.
    const std::size_t ch = static_cast<std::size_t>(channels_);
    std::size_t pieceMax = capacity_ / 2 / ch * ch;
    if (pieceMax == 0) {
        return false;
    }
    while (values > 0) {
        const std::size_t piece = std::min(values, pieceMax);
        std::uint32_t written = 0;
        if (slot_->beEncodeChunk(stream_, static_cast<std::uint32_t>(piece), samples, buffer_.get(),
                                 &written) != BE_ERR_SUCCESSFUL ||
            !writeOut(written)) {
            return false;
        }
        values -= piece;
        samples += piece;
        if (values > 0 && cancelled && cancelled()) {
            break;
        }
    }
    return true;
}

void OutputFile::closeStream() {
    if (stream_ != 0) {
        slot_->beCloseStream(stream_);
        stream_ = 0;
    }
    buffer_.reset();
    capacity_ = 0;
}

bool OutputFile::finish(bool replace) {
    bool ok = isOpen();
    if (ok && stream_ != 0) {
        std::uint32_t written = 0;
        ok = slot_->beDeinitStream(stream_, buffer_.get(), &written) == BE_ERR_SUCCESSFUL &&
             writeOut(written);
        slot_->beCloseStream(stream_);
        stream_ = 0;
        // The plug-in completes the file by the name it is written under.
        const QByteArray name = file_.temporaryPath().toLocal8Bit();
        if (ok && slot_->beWriteVBRHeader != nullptr) {
            slot_->beWriteVBRHeader(name.constData());
        }
    }
    buffer_.reset();
    capacity_ = 0;
    if (!ok) {
        discard();
        return false;
    }
    const bool committed = file_.commit(target_, replace).ok();
    file_.discard();
    return committed;
}

void OutputFile::discard() {
    closeStream();
    file_.discard();
}

} // namespace mireldo::converter
