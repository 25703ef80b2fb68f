#pragma once

// What the four encoder plug-ins share: checking the configuration record, the table of stream
// handles, the virtual output file that hands encoded bytes out through the caller's buffers
// and remembers later rewrites of bytes already handed out, and the code that applies those
// rewrites to the finished file.
//
// Threads: the stream table is safe from any thread; one stream is used by one thread at a time
// (the caller's rule), so a stream's own objects take no lock.

#include "be_encoder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace beplugin {

/// Bytes of output buffer every plug-in asks for; a multiple of 4 so that the caller's pieces of
/// bufferSize / 2 values are whole stereo frames.
inline constexpr uint32_t kOutputBufferBytes = 128 * 1024;

/// Rewrites are kept for the first bytes of the output only (headers); anything further is a
/// plug-in fault.
inline constexpr uint64_t kMaxPatchedBytes = 1 << 20;

/// Bytes at the start of the output compared with the file before it is rewritten in place
/// (those never rewritten).
inline constexpr size_t kSignatureBytes = 4096;

/// The audio format a configuration record asks for.
struct AudioFormat {
    uint32_t rate = 0;
    int channels = 0;
    int bits = 16;     ///< of the values given to beEncodeChunk
    uint32_t kbps = 0; ///< the record's constant bit rate
};

/// Checks the fixed fields of `config` and reads the format. `allow8Bit` only for WAV;
/// `minRate`..`maxRate` in Hz. Returns 0 or a BE error.
BE_ERR readConfig(const BeConfig* config, bool allow8Bit, uint32_t minRate, uint32_t maxRate,
                  AudioFormat& format);

/// Checks the arguments common to beEncodeChunk: pointers and the count limit.
BE_ERR checkChunkArgs(uint32_t count, const void* samples, const uint8_t* output,
                      const uint32_t* written, int bytesPerValue);

/// Reads the little-endian 16-bit value `index` of `samples` without alignment assumptions.
inline int16_t sampleAt(const void* samples, size_t index) {
    int16_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(samples) + index * 2, sizeof v);
    return v;
}

/// Which file the caller handed in at beInitStream, so that header rewrites reach that file and
/// no other: device and inode, and the offset of the plug-in's first byte in it.
struct FileIdentity {
    bool known = false;
    dev_t device = 0;
    ino_t inode = 0;
    int fd = -1;
    uint64_t base = 0;

    /// Identity of the descriptor `fd` (the caller's file); unknown when it is no open regular
    /// file.
    static FileIdentity ofDescriptor(uint32_t fdValue);

    bool matches(const struct stat& st) const {
        return known && st.st_dev == device && st.st_ino == inode;
    }
};

/// Rewrites of bytes already handed out: a byte image of the start of the output with a mask of
/// the bytes rewritten, and a copy of the original first bytes to recognise the file by.
struct Finisher {
    FileIdentity identity;
    std::vector<uint8_t> signature; ///< the first bytes as handed out
    std::vector<uint8_t> image;     ///< rewritten bytes, valid where mask is set
    std::vector<uint8_t> mask;      ///< 1 for every byte rewritten at any time

    bool empty() const { return std::find(mask.begin(), mask.end(), 1) == mask.end(); }

    /// Applies the rewrites to the open descriptor `fd` (read-write). Returns 0 or an error.
    /// Writes nothing unless the file holds every byte to be rewritten and its first bytes are
    /// the ones handed out, except those rewritten (now or by an earlier flush).
    BE_ERR applyTo(int fd) const;

    /// Applies the rewrites to the file `path`, which must be the file given at beInitStream
    /// when that one is known.
    BE_ERR applyToPath(const char* path) const;

    /// Applies the rewrites through the caller's own descriptor, reopened read-write, when it
    /// still names the file given at beInitStream. Used when the stream is flushed, so that a
    /// copy of the file made before the finishing call is complete too.
    void applyToCallerFile() const;
};

/// A seekable output file of which the caller receives the bytes in order through its
/// buffers. Writes behind what was handed out become rewrites (Finisher); writes ahead extend
/// what is pending. Byte positions are relative to the plug-in's first byte.
class OutputFile {
  public:
    explicit OutputFile(FileIdentity identity) { finisher_.identity = identity; }

    /// Writes `n` bytes at the current position.
    bool write(const uint8_t* data, size_t n);

    bool write(const std::vector<uint8_t>& bytes) { return write(bytes.data(), bytes.size()); }

    /// Moves the position; positions past the end are filled with zeros when written.
    void seek(uint64_t pos) { pos_ = pos; }
    uint64_t tell() const { return pos_; }
    uint64_t size() const { return handedOut_ + (pending_.size() - readFrom_); }
    size_t pendingBytes() const { return pending_.size() - readFrom_; }

    /// Copies up to `capacity` pending bytes to `out`; returns how many.
    size_t handOut(uint8_t* out, size_t capacity);

    Finisher& finisher() { return finisher_; }
    const Finisher& finisher() const { return finisher_; }

    /// The rewrites to make so far; used when an open stream is completed.
    Finisher snapshot() const { return finisher_; }

  private:
    bool patch(uint64_t at, const uint8_t* data, size_t n);

    Finisher finisher_;
    std::vector<uint8_t> pending_;
    size_t readFrom_ = 0;    ///< index in pending_ of the first byte not handed out
    uint64_t handedOut_ = 0; ///< bytes given to the caller so far
    uint64_t pos_ = 0;
};

/// The output every encoder stream hands out: the image of the caller's file and whether the
/// stream was flushed (since it was last fed, and ever). Streams derive from it.
class StreamOutput {
  public:
    explicit StreamOutput(FileIdentity identity) : out_(identity) {}

    bool flushed() const { return flushed_; }
    Finisher finisherNow() const { return out_.finisher(); }
    /// What the finishing call needs once the stream is closed; nothing before a flush.
    std::optional<Finisher> release() {
        if (!everFlushed_) {
            return std::nullopt;
        }
        return std::move(out_.finisher());
    }

  protected:
    /// Hands out the next encoded bytes, at most one output buffer.
    uint32_t handOut(uint8_t* output) {
        return static_cast<uint32_t>(out_.handOut(output, kOutputBufferBytes));
    }

    /// Hands out what a flush produced. When all of it fit, completes the caller's file (when
    /// the format patches it) and marks the stream flushed.
    BE_ERR finishFlush(uint8_t* output, uint32_t* written, bool completeFile);

    OutputFile out_;
    bool flushed_ = false;
    bool everFlushed_ = false;
};

/// Handles of one plug-in's streams. A closed stream leaves its Finisher behind for the
/// finishing call; at most kMaxClosed are kept (the oldest go first), so a caller that never
/// makes that call leaks nothing lasting.
template <typename Stream>
class StreamTable {
  public:
    static constexpr size_t kMaxClosed = 16;

    HBE_STREAM add(std::unique_ptr<Stream> stream) {
        std::lock_guard lock(mutex_);
        const HBE_STREAM handle = next_;
        next_ += 16;
        open_.emplace(handle, std::move(stream));
        return handle;
    }

    /// The open stream of `handle`, or null.
    Stream* find(HBE_STREAM handle) {
        std::lock_guard lock(mutex_);
        const auto it = open_.find(handle);
        return it == open_.end() ? nullptr : it->second.get();
    }

    /// Destroys the stream of `handle`, keeping its Finisher. False for an unknown handle.
    bool close(HBE_STREAM handle) {
        std::unique_ptr<Stream> stream;
        {
            std::lock_guard lock(mutex_);
            const auto it = open_.find(handle);
            if (it == open_.end()) {
                return false;
            }
            stream = std::move(it->second);
            open_.erase(it);
        }
        std::optional<Finisher> finisher = stream->release();
        stream.reset();
        std::lock_guard lock(mutex_);
        if (finisher) {
            closed_.emplace(handle, std::move(*finisher));
            while (closed_.size() > kMaxClosed) {
                closed_.erase(closed_.begin());
            }
        }
        return true;
    }

    /// Takes the Finisher left by the closed stream `handle`.
    std::optional<Finisher> takeClosed(HBE_STREAM handle) {
        std::lock_guard lock(mutex_);
        const auto it = closed_.find(handle);
        if (it == closed_.end()) {
            return std::nullopt;
        }
        Finisher f = std::move(it->second);
        closed_.erase(it);
        return f;
    }

    /// Takes the Finisher of the most recently opened closed stream that wrote the file `st`.
    std::optional<Finisher> takeClosedFor(const struct stat& st) {
        std::lock_guard lock(mutex_);
        for (auto it = closed_.rbegin(); it != closed_.rend(); ++it) {
            if (it->second.identity.matches(st)) {
                Finisher f = std::move(it->second);
                closed_.erase(std::next(it).base());
                return f;
            }
        }
        return std::nullopt;
    }

  private:
    std::mutex mutex_;
    HBE_STREAM next_ = 0x10000;
    std::map<HBE_STREAM, std::unique_ptr<Stream>> open_;
    std::map<HBE_STREAM, Finisher> closed_;
};

/// Runs `body` and turns any exception into an error code: nothing crosses the C boundary.
template <typename Body>
BE_ERR guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return BE_ERR_NO_MORE_HANDLES;
    } catch (...) {
        return BE_ERR_INVALID_FORMAT;
    }
}

/// The part of the seven entry points that is the same in every plug-in. `Stream` provides
///   static BE_ERR open(const BeConfig&, FileIdentity, std::unique_ptr<Stream>&);
///   BE_ERR encode(uint32_t count, const void* samples, uint8_t* out, uint32_t* written);
///   BE_ERR flush(uint8_t* out, uint32_t* written);
///   bool flushed() const;                  // flushed and not fed since
///   Finisher finisherNow() const;          // the rewrites made so far
///   std::optional<Finisher> release();     // what completing the file needs; none when the
///                                          // stream was never flushed (a failed output)
template <typename Stream>
struct Entry {
    static StreamTable<Stream>& table() {
        static StreamTable<Stream> instance;
        return instance;
    }

    static BE_ERR init(BeConfig* config, uint32_t* samples, uint32_t* bufferSize,
                       HBE_STREAM* handle) {
        return guarded([&]() -> BE_ERR {
            if (config == nullptr || samples == nullptr || bufferSize == nullptr ||
                handle == nullptr) {
                return BE_ERR_INVALID_FORMAT_PARAMETERS;
            }
            std::unique_ptr<Stream> stream;
            const BE_ERR rc =
                Stream::open(*config, FileIdentity::ofDescriptor(*bufferSize), stream);
            if (rc != BE_ERR_SUCCESSFUL) {
                return rc;
            }
            *handle = table().add(std::move(stream));
            *bufferSize = kOutputBufferBytes;
            *samples = kOutputBufferBytes / 2;
            return BE_ERR_SUCCESSFUL;
        });
    }

    static BE_ERR encode(HBE_STREAM handle, uint32_t count, const void* samples, uint8_t* output,
                         uint32_t* written) {
        return guarded([&]() -> BE_ERR {
            Stream* stream = table().find(handle);
            if (stream == nullptr) {
                return BE_ERR_INVALID_HANDLE;
            }
            if (written != nullptr) {
                *written = 0;
            }
            return stream->encode(count, samples, output, written);
        });
    }

    static BE_ERR deinit(HBE_STREAM handle, uint8_t* output, uint32_t* written) {
        return guarded([&]() -> BE_ERR {
            Stream* stream = table().find(handle);
            if (stream == nullptr) {
                return BE_ERR_INVALID_HANDLE;
            }
            if (output == nullptr || written == nullptr) {
                return BE_ERR_INVALID_FORMAT_PARAMETERS;
            }
            *written = 0;
            return stream->flush(output, written);
        });
    }

    static BE_ERR close(HBE_STREAM handle) {
        return guarded([&]() -> BE_ERR {
            return table().close(handle) ? BE_ERR_SUCCESSFUL : BE_ERR_INVALID_HANDLE;
        });
    }

    static BE_ERR writeInfoTag(HBE_STREAM handle, const char* fileName) {
        return guarded([&]() -> BE_ERR {
            if (fileName == nullptr || *fileName == '\0') {
                return BE_ERR_INVALID_FORMAT_PARAMETERS;
            }
            if (Stream* open = table().find(handle)) {
                // Completing a stream that is still open: only after it was flushed.
                if (!open->flushed()) {
                    return BE_ERR_INVALID_HANDLE;
                }
                return open->finisherNow().applyToPath(fileName);
            }
            const std::optional<Finisher> f = table().takeClosed(handle);
            if (!f) {
                return BE_ERR_INVALID_HANDLE;
            }
            return f->applyToPath(fileName);
        });
    }

    static BE_ERR writeVbrHeader(const char* fileName) {
        return guarded([&]() -> BE_ERR {
            if (fileName == nullptr || *fileName == '\0') {
                return BE_ERR_INVALID_FORMAT_PARAMETERS;
            }
            struct stat st {};
            if (::stat(fileName, &st) != 0) {
                return BE_ERR_INVALID_HANDLE;
            }
            const std::optional<Finisher> f = table().takeClosedFor(st);
            if (!f) {
                return BE_ERR_INVALID_HANDLE;
            }
            return f->applyToPath(fileName);
        });
    }
};

/// Fills a BeVersion record.
inline void fillVersion(BeVersion* version, uint8_t codecMajor, uint8_t codecMinor) {
    if (version == nullptr) {
        return;
    }
    std::memset(version, 0, sizeof *version);
    version->dllMajorVersion = 1;
    version->dllMinorVersion = 0;
    version->majorVersion = codecMajor;
    version->minorVersion = codecMinor;
    version->day = 1;
    version->month = 1;
    version->year = 2025;
}

} // namespace beplugin

/// Defines the seven exported BE functions of a plug-in on top of Entry<Stream>.
#define BE_DEFINE_EXPORTS(Stream, codecMajor, codecMinor)                                          \
    extern "C" {                                                                                   \
    BE_ERR beInitStream(BeConfig* config, uint32_t* samples, uint32_t* bufferSize,                 \
                        HBE_STREAM* stream) {                                                      \
        return beplugin::Entry<Stream>::init(config, samples, bufferSize, stream);                 \
    }                                                                                              \
    BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t count, const void* samples, uint8_t* output,  \
                         uint32_t* written) {                                                      \
        return beplugin::Entry<Stream>::encode(stream, count, samples, output, written);           \
    }                                                                                              \
    BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t* output, uint32_t* written) {                 \
        return beplugin::Entry<Stream>::deinit(stream, output, written);                           \
    }                                                                                              \
    BE_ERR beCloseStream(HBE_STREAM stream) {                                                      \
        return beplugin::Entry<Stream>::close(stream);                                             \
    }                                                                                              \
    void beVersion(BeVersion* version) {                                                           \
        beplugin::fillVersion(version, codecMajor, codecMinor);                                    \
    }                                                                                              \
    BE_ERR beWriteVBRHeader(const char* fileName) {                                                \
        return beplugin::Entry<Stream>::writeVbrHeader(fileName);                                  \
    }                                                                                              \
    BE_ERR beWriteInfoTag(HBE_STREAM stream, const char* fileName) {                               \
        return beplugin::Entry<Stream>::writeInfoTag(stream, fileName);                            \
    }                                                                                              \
    }
