#pragma once

// The temporary WAV that holds the record being captured: a 44-byte canonical header
// followed by PCM frames, in a file only its owner may read. Writes go to an explicit file
// pointer, so recording can resume (and overwrite) from any position; data after the
// overwritten stretch stays.
//
// While it is open the file carries an exclusive advisory lock (flock): the start-up recovery
// of any run of the program leaves a locked temporary WAV alone, whichever program (the window
// or the command line) records into it, and takes the same lock before it touches one.
//
// Threads: one thread at a time: the capture session's, or a background save's once the file
// has been moved to it (a record finished at a split).
// Ownership: owns its descriptor (and with it the lock); the file itself is deleted only by
// remove(). Moving hands the open file, its lock and its path to the new object.

#include "sondrel.h"
#include "unique_fd.h"

#include <QString>

#include <array>
#include <cstdint>

namespace mireldo::recorder {

/// Bytes of the canonical WAV header at the start of the record.
inline constexpr std::uint32_t kWavHeaderBytes = 44;

/// The 44 header bytes for `format`, with the RIFF size `riffSize` and data size `dataSize`.
std::array<unsigned char, kWavHeaderBytes>
makeWavHeader(const WAVEFORMATEX& format, std::uint32_t riffSize, std::uint32_t dataSize);

/// "<folder>mireldo_temp_<process>_<index><extension>" when `folder` ends with '/', else with
/// a '/' between: one name per record of a run, so a record kept after a failed save is never
/// emptied by the next one.
QString temporaryRecordName(const QString& folder, long long process, long long index,
                            const char* extension);

class RecordFile {
  public:
    RecordFile() = default;
    ~RecordFile() { close(); }
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;
    RecordFile(RecordFile&& other) noexcept;
    /// Closes the file held (it stays on disk) and takes `other`'s.
    RecordFile& operator=(RecordFile&& other) noexcept;

    /// Creates `path` as a new private file (0600, never through a link) for reading and
    /// writing and locks it. The file pointer is 0 and the length 0. False, with errno set, on
    /// failure; EEXIST when something is at `path` already or another process holds it (an
    /// existing file is never emptied or taken over).
    bool create(const QString& path);
    bool isOpen() const { return fd_.valid(); }
    const QString& path() const { return path_; }
    /// The open descriptor (-1 when closed).
    int descriptor() const { return fd_.get(); }

    /// Writes `count` bytes at the file pointer and advances it. False when not everything
    /// could be written (the pointer and length then count what was).
    bool write(const void* data, std::uint32_t count);
    /// Writes the header for `format` with the given sizes at offset 0; the pointer stays.
    bool writeHeader(const WAVEFORMATEX& format, std::uint32_t riffSize, std::uint32_t dataSize);
    /// Rewrites the header for `format` with the sizes of the file as it is now: the data
    /// chunk runs to the end in whole frames (at most what the header can describe).
    bool writeSizes(const WAVEFORMATEX& format);
    /// Cuts or extends the file to `length` bytes (used by cuts at save and by the editors).
    bool truncate(std::uint64_t length);

    void seek(std::uint64_t offset) { pointer_ = offset; }
    std::uint64_t pointer() const { return pointer_; }
    std::uint64_t length() const { return length_; }

    /// Closes the descriptor (releasing the lock); the file stays.
    void close();
    /// Closes the descriptor and forgets the file, which stays on disk (a kept record).
    void release();
    /// Closes and deletes the file; the path is forgotten.
    void remove();

  private:
    platform::UniqueFd fd_;
    QString path_;
    std::uint64_t pointer_ = 0;
    std::uint64_t length_ = 0;
};

} // namespace mireldo::recorder
