#pragma once

// Turning a record into its saved file through an encoder plug-in: the choice of the output
// slot and bit rate, compression of the temporary WAV into a destination in 204,800-byte
// chunks with progress and cancel, and on-the-fly compression into the temporary compressed
// file while the record is captured, whose result a save may copy instead.
//
// No widgets here: progress goes through CompressProgress, which the "Progress" dialog
// implements in the window and tests fake.
//
// Threads: one thread at a time. An OnTheFlyCompressor lives on the user-interface thread (the
// capture session's) while its record is captured; a finished one may be handed whole to a
// background save, which then alone uses it. compress() and compressInto() run on any thread:
// the plug-ins keep their state per stream.
// Ownership: OnTheFlyCompressor owns its plug-in stream, its output buffer, the descriptor of
// the temporary compressed file and the file itself (deleted when it is discarded or
// destroyed); the EncoderTable it uses must outlive it.

#include "encoder_table.h"
#include "file_system.h"
#include "unique_fd.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>

namespace mireldo::encoders {

/// The PCM layout of a record: what the plug-ins are configured with.
struct PcmShape {
    std::uint32_t rate = 44100;
    int channels = 2;
    int bits = 16; ///< 8 (unsigned) or 16 (signed little-endian)
    std::uint32_t blockAlign() const { return static_cast<std::uint32_t>(channels * (bits / 8)); }
};

/// Bit rates in kbit/s, indexed by RecordQuality (0..15).
inline constexpr std::array<std::uint32_t, 16> kBitrateTable{8,  16,  32,  40,  48,  56,  64,  80,
                                                             96, 112, 128, 160, 192, 224, 256, 320};

/// Bytes of the temporary WAV read (and handed to the plug-in) at a time, before rounding
/// down to whole frames.
inline constexpr std::uint32_t kCompressChunkBytes = 204800;

/// The bit rate passed to `slot` for `quality` (clamped to 0..15): the table's value, but 320
/// for the slot whose extension is "wma".
std::uint32_t bitrateFor(const EncoderSlot& slot, int quality);

/// The slot a record in `format` is saved with for `encodeMethod`: the WAV slot when the chosen
/// slot is not loaded, the capture has 8 bits, or MP3 is chosen below 16000 Hz.
int outputSlot(const EncoderTable& table, int encodeMethod, const PcmShape& format);

/// What the compression shows and asks while it runs.
class CompressProgress {
  public:
    virtual ~CompressProgress() = default;
    /// Shows `percent` (0..100).
    virtual void setPercent(int percent) = 0;
    /// True when the user asked to cancel since the last call.
    virtual bool cancelRequested() = 0;
    /// Lets the display breathe for `ms` milliseconds (the pacing after every tenth).
    virtual void pause(int ms) = 0;
};

/// Where the PCM to compress comes from: the temporary WAV from `dataStart` to its end.
struct CompressSource {
    QString wavPath;
    std::uint64_t dataStart = 44;
    PcmShape format;
};

/// How a compression ended.
struct CompressOutcome {
    bool ok = false;
    bool cancelled = false; ///< the user cancelled; the destination is gone
};

class OnTheFlyCompressor;

/// Compresses `source` into `destination` with the plug-in of `slotIndex` at `kbps`. When
/// `onTheFly` holds a finished compression made with the same slot and bit rate, its file is
/// copied instead (falling back to compressing when the copy fails). The output is written
/// under a temporary name beside `destination` and renamed over it when complete: a failure
/// leaves whatever was at `destination` untouched. `progress` may be null (no dialog).
CompressOutcome compress(const EncoderTable& table, int slotIndex, std::uint32_t kbps,
                         const CompressSource& source, const QString& destination,
                         CompressProgress* progress, const OnTheFlyCompressor* onTheFly);

/// Compresses `source` into the pending file `out` (from its start) with the plug-in of
/// `slotIndex` at `kbps`; the plug-in completes the file by its temporary name. The caller
/// commits or discards `out`.
CompressOutcome compressInto(const EncoderTable& table, int slotIndex, std::uint32_t kbps,
                             const CompressSource& source, platform::PendingFile& out,
                             CompressProgress* progress);

/// True when `onTheFly` holds a complete compression of the whole record made with `slotIndex`
/// at `kbps`, which a save may copy instead of compressing.
bool onTheFlyMatches(const OnTheFlyCompressor* onTheFly, int slotIndex, std::uint32_t kbps);

/// Copies the file `from` over `to`, through a temporary file beside `to` renamed when
/// complete: on failure `to` is as it was.
bool copyFileOver(const QString& from, const QString& to);

/// Copies the whole file `from` into the pending file `out` (written from its start).
bool copyInto(const QString& from, platform::PendingFile& out);

/// On-the-fly compression: the record's buffers are encoded as they are captured into the
/// temporary compressed file.
///
/// After finish(false) the plug-in stream has been flushed and may not be fed again; the next
/// feed instead ends it as finish(true) does and drops the buffer, so the following save
/// compresses from the temporary WAV.
class OnTheFlyCompressor {
  public:
    explicit OnTheFlyCompressor(const EncoderTable& table) : table_(table) {}
    ~OnTheFlyCompressor();
    OnTheFlyCompressor(const OnTheFlyCompressor&) = delete;
    OnTheFlyCompressor& operator=(const OnTheFlyCompressor&) = delete;

    /// Starts compressing a 16-bit record in `format` with the slot of `encodeMethod` at the
    /// bit rate of `quality` into `path`. Does nothing when the slot is not loaded; a failure
    /// leaves the compressor inactive without a file.
    void start(int encodeMethod, int quality, const PcmShape& format, const QString& path);
    /// Encodes `bytes` of 16-bit PCM. An encoder or write error ends the compression silently.
    void feed(const unsigned char* data, std::uint32_t bytes);
    /// Flushes; with `discard` also ends the stream, completes and deletes the file.
    void finish(bool discard);
    /// For a record that is finished for good: flushes, ends the stream and completes the file
    /// (the plug-in's info tag or VBR header) in place, which a save then copies. The file stays
    /// until the compressor is discarded or destroyed; nothing can be fed any more.
    void close();

    /// A stream is open (possibly flushed).
    bool active() const { return stream_ != 0; }
    /// close() completed the file: it holds the whole record and nothing more comes.
    bool closed() const { return closed_; }
    /// The compression was flushed and not fed since: its file is complete.
    bool flushed() const { return flushed_; }
    /// The temporary compressed file; empty when there is none.
    const QString& path() const { return path_; }
    int slot() const { return slot_; }
    std::uint32_t bitrate() const { return bitrate_; }
    /// Bytes in the temporary compressed file.
    std::uint64_t length() const { return length_; }
    /// Cuts the temporary compressed file to `length` bytes; later output follows it.
    void truncate(std::uint64_t length);

  private:
    void abandon();
    bool writeOut(std::uint32_t count);

    const EncoderTable& table_;
    HBE_STREAM stream_ = 0;
    int slot_ = kEncodeWav;
    std::uint32_t bitrate_ = 128;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::uint32_t capacity_ = 0;
    platform::UniqueFd file_;
    QString path_;
    std::uint64_t length_ = 0;
    bool flushed_ = false;
    bool closed_ = false;
    BeId3v1Tag tag_ = makeId3v1PreTag();
};

} // namespace mireldo::encoders
