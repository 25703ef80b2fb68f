#pragma once

// The conversion of one source into a job's output: decoding through the decoder library in
// blocks of 102,400 bytes, cutting to the source's time range, converting channels and rate,
// and feeding the encoder stream of the output. The output's stream is started by the first
// source that reaches it; later sources of a merge are converted to that stream's rate and
// channel count. The stream is not flushed here: the job finishes the output.
//
// Threads: the thread that runs the job. The view is called on that thread; its
// cancelRequested() is where a window pumps its events.
// Ownership: the pipeline owns its decode and conversion buffers, allocated once and reused
// for every source.

#include "converter_choices.h"
#include "encoder_table.h"
#include "output_file.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace mireldo::converter {

/// Result of one source, as the job reports it; 0 to 5 are the pipeline's codes.
enum class ConvertResult : int {
    Converted = 0,
    ReadFailed = 1,  ///< source cannot be opened or decoded, or its format is unusable
    WriteFailed = 2, ///< output cannot be created, encoder cannot start, encoding or writing fails
    Cancelled = 3,
    NoEncoder = 4, ///< the output type's plug-in is not loaded
    NoMemory = 5,  ///< no memory for the encoder output buffer
    Skipped = 6,   ///< the output exists and existing outputs are skipped
};

/// What the pipeline shows and asks while it runs.
class ConversionView {
  public:
    virtual ~ConversionView() = default;
    /// The source now converted: its file name.
    virtual void setCurrentName(const QString& /*name*/) {}
    /// Progress of the current source, 0..100.
    virtual void setSourcePercent(int /*percent*/) {}
    /// True when the user asked to cancel; a window lets its events run here first.
    virtual bool cancelRequested() { return false; }
    /// The pacing pause of `ms` milliseconds at every tenth of a source.
    virtual void pause(int /*ms*/) {}
    /// The source could not be opened: the window tells the user.
    virtual void sourceUnreadable(const QString& /*path*/) {}
};

/// What one source is converted with.
struct SourceRequest {
    QString path;
    TimeRange range;
    ConverterChoices choices;
    bool pacing = false; ///< pause 50 ms at every tenth of the source
};

/// Bytes of one decode block.
inline constexpr std::size_t kDecodeBlockBytes = 102400;
/// Bytes of the conversion buffer: 24 decode blocks.
inline constexpr std::size_t kConversionBufferBytes = 24 * kDecodeBlockBytes;

/// The window of source frames a range selects: first and count.
struct FrameWindow {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};
/// The frames of a source of `length` frames at `rate` Hz that `range` selects: all of them
/// when the range is empty or ends at or before its start; a start beyond the end starts at
/// frame 0; an end beyond the end ends at the last frame.
FrameWindow frameWindow(const TimeRange& range, std::uint32_t rate, std::uint32_t length);

class ConversionPipeline {
  public:
    explicit ConversionPipeline(const encoders::EncoderTable& table);
    ~ConversionPipeline();
    ConversionPipeline(const ConversionPipeline&) = delete;
    ConversionPipeline& operator=(const ConversionPipeline&) = delete;

    /// Converts `source` into `output` (open; its stream started here when not yet running)
    /// with the job's pre-tag `tag`. Never writes to the source.
    ConvertResult convert(const SourceRequest& source, OutputFile& output, BeId3v1Tag& tag,
                          ConversionView& view);

  private:
    const encoders::EncoderTable& table_;
    std::unique_ptr<std::int16_t[]> decoded_;   ///< one decode block of 16-bit values
    std::unique_ptr<std::uint8_t[]> raw_;       ///< 8-bit samples before widening
    std::unique_ptr<std::int16_t[]> converted_; ///< the conversion buffer
};

} // namespace mireldo::converter
