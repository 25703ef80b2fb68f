#pragma once

#include "input_file.h"
#include "sondrel.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sondrel {

/// Call-record information together with the storage its pointers refer to.
struct OwnedCallRecord {
    CallRecordInfo info{};
    std::vector<int32_t> entries; // entryCount x 3 values
    std::string text1;            // always present
    std::optional<std::string> text2, text3;

    /// Points the record's pointers at the owned storage; call after any change.
    void bindPointers();
};

/// An image of the stream: the record handed out and its pixel storage.
struct OwnedImage {
    SondrelImage record{};
    std::vector<uint8_t> pixels;
};

/// Base of every reader. A stream is used by one thread at a time; everything handed out by a
/// query belongs to the stream and lives until it is destroyed.
///
/// The virtual operations keep a fixed order: destructor, Close, Decode, GetLength, GetFormat,
/// Open, BeginDecode, EndDecode, ExtractIndex.
class DecoderStream {
  public:
    DecoderStream();
    virtual ~DecoderStream();
    DecoderStream(const DecoderStream&) = delete;
    DecoderStream& operator=(const DecoderStream&) = delete;

    /// Releases file, buffers, strings, images and index. Safe to call more than once.
    virtual int32_t Close();
    /// Decodes up to frameCount frames from firstFrame into buffer; framesOut gets the count.
    virtual int32_t Decode(uint32_t firstFrame, uint32_t frameCount, void* buffer,
                           uint32_t* framesOut) = 0;
    /// Writes lengthFrames.
    virtual int32_t GetLength(uint32_t* framesOut);
    /// Writes the address of the format record.
    virtual int32_t GetFormat(WAVEFORMATEX** formatOut);
    /// Opens and parses the file; returns a result code.
    virtual int32_t Open(const char* path, int32_t shareMode) = 0;
    /// Prepares decoding; nothing to do for most readers.
    virtual int32_t BeginDecode();
    /// Releases what BeginDecode prepared.
    virtual int32_t EndDecode();
    /// Writes the seek-index count and, when entriesOut is given, copies the entries.
    virtual int32_t ExtractIndex(uint32_t* countOut, SeekIndexEntry* entriesOut);

    // Query helpers behind the exports; they cannot fail.
    const std::optional<std::string>& topic() const { return topic_; }
    const std::optional<std::string>& description() const { return description_; }
    CallRecordInfo* callRecord() { return callRecord_ ? &callRecord_->info : nullptr; }
    int32_t voidBytes() const { return voidBytes_; }
    SondrelBitmap* imageArray() { return images_.empty() ? nullptr : images_.data(); }
    uint16_t imageCount() const { return imageCount_; }
    uint32_t seekIndexCount() const { return static_cast<uint32_t>(seekIndex_.size()); }
    const WAVEFORMATEX& format() const { return format_; }
    uint32_t lengthFrames() const { return lengthFrames_; }

  protected:
    /// Opens the file and, for a ".klx" path, reads the container's metadata. Sets fileLength,
    /// payloadOffset and voidBytes. Returns 0 or the failure code (1, 2, 3, 4, 5, 12, 14).
    int32_t BaseOpen(const char* path, int32_t shareMode);
    /// Releases everything the base owns; returns 0.
    int32_t BaseClose();
    /// When a call record's end equals its start, extends it by the stream's whole seconds.
    void FixCallRecordEnd();
    /// Reads a KLX container's metadata from offset 0 of the open file (klx_metadata.cpp).
    int32_t ReadKlxMetadata();

    InputFile file_;
    uint32_t fileLength_ = 0;    // bytes; files beyond 4 GiB are seen as 4 GiB - 1
    uint32_t payloadOffset_ = 0; // first byte of the audio data
    WAVEFORMATEX format_{};
    uint32_t lengthFrames_ = 0;
    std::unique_ptr<OwnedCallRecord> callRecord_;
    uint16_t imageCount_ = 0;
    std::vector<std::unique_ptr<OwnedImage>> ownedImages_;
    std::vector<SondrelBitmap> images_; // handed out by Sondrel_GetImageArray
    std::vector<SeekIndexEntry> seekIndex_;
    int32_t voidBytes_ = 0;
    std::optional<std::string> topic_;
    std::optional<std::string> description_;
};

/// True when the path's extension (the text from its last '.') equals ext, ignoring case.
bool hasExtension(const char* path, const char* ext);

} // namespace sondrel
