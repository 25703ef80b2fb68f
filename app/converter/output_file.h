#pragma once

// One output of a converter job: the file written under a temporary name in the destination
// folder and the encoder stream that fills it. In a merge every source feeds the same stream,
// which is flushed once, when the output is finished.
//
// Threads: the thread that runs the job, one at a time.
// Ownership: owns the pending file, the plug-in stream and its output buffer; the encoder
// slot it uses must outlive it. Destroying an unfinished output closes its stream and removes
// the temporary file: nothing appears under the output name.

#include "be_encoder.h"
#include "encoder_table.h"
#include "file_system.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace mireldo::converter {

class OutputFile {
  public:
    /// Why starting an output or its stream failed.
    enum class StartError { None, Write, Memory };

    OutputFile() = default;
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    /// Creates the temporary file for `target`; false when it cannot be created.
    bool open(const QString& target);
    bool isOpen() const { return file_.valid(); }
    const QString& target() const { return target_; }

    /// The stream is running: its format is fixed for every later source.
    bool streaming() const { return stream_ != 0; }
    std::uint32_t rate() const { return rate_; }
    int channels() const { return channels_; }

    /// Starts the encoder stream of `slot` for `rate` Hz, `channels` channels at `kbps`, with
    /// the job's pre-tag `tag` (which must live as long as this output).
    StartError startStream(const encoders::EncoderSlot& slot, std::uint32_t rate, int channels,
                           std::uint32_t kbps, BeId3v1Tag* tag);

    /// Encodes `values` 16-bit values in pieces sized from the output buffer, appending the
    /// bytes to the file. `cancelled` is asked after every piece; when it answers true the
    /// rest is dropped. False on an encoder or write failure.
    bool encode(const std::int16_t* samples, std::size_t values,
                const std::function<bool()>& cancelled);

    /// Flushes and closes the stream, completes the file through the plug-in and renames it
    /// to the target (replacing a file there only when `replace`). False when any step failed;
    /// the temporary file is then gone and the target untouched.
    bool finish(bool replace);
    /// Closes the stream (if any) and removes the temporary file.
    void discard();

  private:
    bool writeOut(std::uint32_t count);
    void closeStream();

    platform::PendingFile file_;
    QString target_;
    const encoders::EncoderSlot* slot_ = nullptr;
    HBE_STREAM stream_ = 0;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::uint32_t capacity_ = 0;
    std::uint32_t rate_ = 0;
    int channels_ = 0;
};

} // namespace mireldo::converter
