#include "encoding_pipeline.h"

#include "fd_io.h"
#include "file_copy.h"
#include "private_file.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace mireldo::encoders {

namespace {

using common::readAll;
using common::writeAll;
using platform::UniqueFd;

void removeFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    ::unlink(name.constData());
}

std::uint32_t bytesPerValue(const PcmShape& format) {
    return format.bits == 8 ? 1 : 2;
}

// Completes a finished output in place: the info tag when the plug-in has it, else the VBR
// header. The result does not change the outcome.
void completeFile(const EncoderSlot& slot, HBE_STREAM stream, const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (slot.beWriteInfoTag != nullptr) {
        slot.beWriteInfoTag(stream, name.constData());
    } else if (slot.beWriteVBRHeader != nullptr) {
        slot.beWriteVBRHeader(name.constData());
    }
}

// One compression of the temporary WAV into an open destination. Returns success; sets
// `cancelled` when the user stopped it. The caller deletes the destination on failure.
bool encodeInto(const EncoderSlot& slot, std::uint32_t kbps, const CompressSource& source, int out,
                const QString& destination, CompressProgress* progress, bool& cancelled) {
    BeConfig config;
    fillEncoderConfig(config, source.format.rate, source.format.channels, kbps, source.format.bits);
    BeId3v1Tag tag = makeId3v1PreTag();
    std::uint32_t samples = 0;
    // On entry the plug-in finds the output descriptor and the tag record in these two.
    std::uint32_t bufferSize = static_cast<std::uint32_t>(out);
    HBE_STREAM stream = reinterpret_cast<HBE_STREAM>(&tag);
    if (slot.beInitStream(&config, &samples, &bufferSize, &stream) != BE_ERR_SUCCESSFUL ||
        stream == 0) {
        return false;
    }
    const std::uint32_t valueBytes = bytesPerValue(source.format);
    const std::uint32_t pieceValues = bufferSize / valueBytes;
    std::unique_ptr<std::uint8_t[]> output(new (std::nothrow) std::uint8_t[bufferSize]);
    if (!output || pieceValues == 0) {
        slot.beCloseStream(stream);
        return false;
    }

    const std::uint32_t align = std::max<std::uint32_t>(source.format.blockAlign(), 1);
    const std::uint32_t chunkBytes = kCompressChunkBytes / align * align;
    std::unique_ptr<std::uint8_t[]> chunk(new (std::nothrow) std::uint8_t[chunkBytes]);
    const QByteArray wavName = QFile::encodeName(source.wavPath);
    UniqueFd in(::open(wavName.constData(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!chunk || !in.valid() || ::fstat(in.get(), &st) != 0 ||
        ::lseek(in.get(), static_cast<off_t>(source.dataStart), SEEK_SET) < 0) {
        slot.beCloseStream(stream);
        return false;
    }
    const std::uint64_t fileLength = static_cast<std::uint64_t>(st.st_size);
    const std::uint64_t total = fileLength > source.dataStart ? fileLength - source.dataStart : 0;
    std::uint64_t done = 0;
    int nextMark = 0;
    bool ok = true;
    while (ok) {
        const ssize_t got = readAll(in.get(), chunk.get(), chunkBytes);
        if (got < 0) {
            ok = false;
            break;
        }
        const auto bytes = static_cast<std::uint32_t>(got);
        std::uint32_t values = bytes / valueBytes;
        if (values == 0) {
            break;
        }
        const std::uint8_t* at = chunk.get();
        while (values > 0 && ok) {
            const std::uint32_t piece = std::min(values, pieceValues);
            std::uint32_t written = 0;
            if (slot.beEncodeChunk(stream, piece, at, output.get(), &written) !=
                    BE_ERR_SUCCESSFUL ||
                written > bufferSize || !writeAll(out, output.get(), written)) {
                ok = false;
            }
            at += std::size_t{piece} * valueBytes;
            values -= piece;
        }
        if (!ok || progress == nullptr) {
            continue;
        }
        if (progress->cancelRequested()) {
            cancelled = true;
            ok = false;
            break;
        }
        done += bytes;
        const int percent =
            total > 0 ? static_cast<int>(std::min<std::uint64_t>(done * 100 / total, 100)) : 100;
        progress->setPercent(percent);
        while (percent >= nextMark) {
            nextMark += 10;
            progress->pause(60);
        }
    }
    if (!ok) {
        slot.beCloseStream(stream);
        return false;
    }
    std::uint32_t written = 0;
    if (slot.beDeinitStream(stream, output.get(), &written) != BE_ERR_SUCCESSFUL ||
        written > bufferSize || !writeAll(out, output.get(), written)) {
        slot.beCloseStream(stream);
        return false;
    }
    slot.beCloseStream(stream);
    completeFile(slot, stream, destination);
    return true;
}

} // namespace

std::uint32_t bitrateFor(const EncoderSlot& slot, int quality) {
    if (QString::fromLatin1(slot.extension).compare(QStringLiteral("wma"), Qt::CaseInsensitive) ==
        0) {
        return 320;
    }
    return kBitrateTable[static_cast<std::size_t>(std::clamp(quality, 0, 15))];
}

int outputSlot(const EncoderTable& table, int encodeMethod, const PcmShape& format) {
    if (encodeMethod < kEncodeMp3 || encodeMethod > kEncodeWav || !table.isLoaded(encodeMethod) ||
        format.bits == 8 || (encodeMethod == kEncodeMp3 && format.rate < 16000)) {
        return kEncodeWav;
    }
    return encodeMethod;
}

bool copyInto(const QString& from, platform::PendingFile& out) {
    const QByteArray fromName = QFile::encodeName(from);
    UniqueFd in(::open(fromName.constData(), O_RDONLY | O_CLOEXEC));
    if (!in.valid() || !out.restart()) {
        return false;
    }
    // A reflink, else copy_file_range, else read/write; the pending file's commit syncs it.
    return common::copyData(in.get(), out.fd()).ok;
}

bool copyFileOver(const QString& from, const QString& to) {
    auto out = platform::PendingFile::create(to);
    if (!out) {
        return false;
    }
    return copyInto(from, out.value()) && out.value().commit(to, true).ok();
}

bool onTheFlyMatches(const OnTheFlyCompressor* onTheFly, int slotIndex, std::uint32_t kbps) {
    return onTheFly != nullptr && !onTheFly->path().isEmpty() && onTheFly->flushed() &&
           onTheFly->bitrate() == kbps && onTheFly->slot() == slotIndex;
}

CompressOutcome compressInto(const EncoderTable& table, int slotIndex, std::uint32_t kbps,
                             const CompressSource& source, platform::PendingFile& out,
                             CompressProgress* progress) {
    CompressOutcome outcome;
    const EncoderSlot& slot = table.slot(slotIndex);
    if (!slot.loaded() || !out.restart()) {
        return outcome;
    }
    outcome.ok =
        encodeInto(slot, kbps, source, out.fd(), out.temporaryPath(), progress, outcome.cancelled);
    return outcome;
}

CompressOutcome compress(const EncoderTable& table, int slotIndex, std::uint32_t kbps,
                         const CompressSource& source, const QString& destination,
                         CompressProgress* progress, const OnTheFlyCompressor* onTheFly) {
    CompressOutcome outcome;
    auto out = platform::PendingFile::create(destination);
    if (!out) {
        return outcome;
    }
    if (onTheFlyMatches(onTheFly, slotIndex, kbps) && copyInto(onTheFly->path(), out.value())) {
        outcome.ok = out.value().commit(destination, true).ok();
        return outcome;
    }
    outcome = compressInto(table, slotIndex, kbps, source, out.value(), progress);
    if (outcome.ok && !out.value().commit(destination, true)) {
        outcome.ok = false;
    }
    return outcome;
}

// ---------------------------------------------------------------------------------------

OnTheFlyCompressor::~OnTheFlyCompressor() {
    finish(true);
}

void OnTheFlyCompressor::start(int encodeMethod, int quality, const PcmShape& format,
                               const QString& path) {
    if (active() || closed_) {
        finish(true);
    }
    const int slotIndex = outputSlot(table_, encodeMethod, format);
    const EncoderSlot& slot = table_.slot(slotIndex);
    if (!slot.loaded() || format.bits != 16) {
        return;
    }
    // Private to us (0600, never through a link): the file holds the user's audio.
    auto file = platform::createPrivateFile(path, platform::ExistingFile::Truncate);
    if (!file) {
        return;
    }
    file_ = std::move(file).value();
    path_ = path;
    length_ = 0;
    flushed_ = false;

    BeConfig config;
    const std::uint32_t kbps = bitrateFor(slot, quality);
    fillEncoderConfig(config, format.rate, format.channels, kbps, 16);
    bitrate_ = kbps;
    slot_ = slotIndex;
    tag_ = makeId3v1PreTag();
    std::uint32_t samples = 0;
    std::uint32_t bufferSize = static_cast<std::uint32_t>(file_.get());
    HBE_STREAM stream = reinterpret_cast<HBE_STREAM>(&tag_);
    if (slot.beInitStream(&config, &samples, &bufferSize, &stream) != BE_ERR_SUCCESSFUL ||
        stream == 0) {
        file_.reset();
        removeFile(path_);
        path_.clear();
        return;
    }
    stream_ = stream;
    if (capacity_ < bufferSize || !buffer_) {
        buffer_.reset(new (std::nothrow) std::uint8_t[bufferSize]);
        capacity_ = buffer_ ? bufferSize : 0;
        if (!buffer_) {
            abandon();
        }
    }
}

bool OnTheFlyCompressor::writeOut(std::uint32_t count) {
    if (count > capacity_ || !writeAll(file_.get(), buffer_.get(), count)) {
        return false;
    }
    // The plug-in may have rewritten earlier bytes through the descriptor; the file's end is
    // where the next output goes.
    const off_t end = ::lseek(file_.get(), 0, SEEK_CUR);
    length_ = end >= 0 ? static_cast<std::uint64_t>(end) : length_ + count;
    return true;
}

void OnTheFlyCompressor::feed(const unsigned char* data, std::uint32_t bytes) {
    if (!active()) {
        return;
    }
    if (flushed_) {
        // A flushed stream is never fed again: the compressed file stops matching the
        // record, so it goes and the next save compresses from the temporary WAV.
        finish(true);
        return;
    }
    const EncoderSlot& slot = table_.slot(slot_);
    std::uint32_t values = bytes / 2;
    const std::uint32_t pieceValues = capacity_ / 2;
    while (values > 0 && pieceValues > 0) {
        const std::uint32_t piece = std::min(values, pieceValues);
        std::uint32_t written = 0;
        if (slot.beEncodeChunk(stream_, piece, data, buffer_.get(), &written) !=
                BE_ERR_SUCCESSFUL ||
            !writeOut(written)) {
            abandon();
            return;
        }
        data += std::size_t{piece} * 2;
        values -= piece;
    }
}

void OnTheFlyCompressor::finish(bool discard) {
    if (!active()) {
        if (discard && closed_) {
            // A completed file that was kept for a copy.
            removeFile(path_);
            path_.clear();
            length_ = 0;
            flushed_ = false;
            closed_ = false;
        }
        return;
    }
    const EncoderSlot& slot = table_.slot(slot_);
    if (!flushed_) {
        std::uint32_t written = 0;
        if (slot.beDeinitStream(stream_, buffer_.get(), &written) != BE_ERR_SUCCESSFUL ||
            !writeOut(written)) {
            abandon();
            return;
        }
        flushed_ = true;
    }
    if (!discard) {
        return;
    }
    slot.beCloseStream(stream_);
    completeFile(slot, stream_, path_);
    stream_ = 0;
    capacity_ = 0;
    buffer_.reset();
    file_.reset();
    removeFile(path_);
    path_.clear();
    length_ = 0;
    flushed_ = false;
}

void OnTheFlyCompressor::close() {
    finish(false);
    if (!active()) {
        return; // the flush failed and the compression is gone
    }
    const EncoderSlot& slot = table_.slot(slot_);
    slot.beCloseStream(stream_);
    completeFile(slot, stream_, path_);
    stream_ = 0;
    capacity_ = 0;
    buffer_.reset();
    file_.reset();
    const QByteArray name = QFile::encodeName(path_);
    struct stat st {};
    if (::stat(name.constData(), &st) == 0) {
        length_ = static_cast<std::uint64_t>(st.st_size);
    }
    closed_ = true;
}

void OnTheFlyCompressor::truncate(std::uint64_t length) {
    if (!file_.valid() || length >= length_) {
        return;
    }
    if (::ftruncate(file_.get(), static_cast<off_t>(length)) == 0 &&
        ::lseek(file_.get(), static_cast<off_t>(length), SEEK_SET) >= 0) {
        length_ = length;
    }
}

void OnTheFlyCompressor::abandon() {
    if (stream_ != 0) {
        table_.slot(slot_).beCloseStream(stream_);
    }
    stream_ = 0;
    capacity_ = 0;
    buffer_.reset();
    file_.reset();
    if (!path_.isEmpty()) {
        removeFile(path_);
    }
    path_.clear();
    length_ = 0;
    flushed_ = false;
    closed_ = false;
}

} // namespace mireldo::encoders
