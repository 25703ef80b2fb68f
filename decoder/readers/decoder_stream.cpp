#include "decoder_stream.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

namespace sondrel {

void OwnedCallRecord::bindPointers() {
    info.entryCount = static_cast<uint32_t>(entries.size() / 3);
    info.entries = entries.empty() ? nullptr : entries.data();
    info.text1 = text1.data();
    info.text2 = text2 ? text2->data() : nullptr;
    info.text3 = text3 ? text3->data() : nullptr;
}

bool hasExtension(const char* path, const char* ext) {
    if (path == nullptr) {
        return false;
    }
    const char* dot = std::strrchr(path, '.');
    return dot != nullptr && strcasecmp(dot, ext) == 0;
}

DecoderStream::DecoderStream() = default;

DecoderStream::~DecoderStream() = default;

int32_t DecoderStream::Close() {
    return BaseClose();
}

int32_t DecoderStream::GetLength(uint32_t* framesOut) {
    if (framesOut != nullptr) {
        *framesOut = lengthFrames_;
    }
    return SONDREL_OK;
}

int32_t DecoderStream::GetFormat(WAVEFORMATEX** formatOut) {
    if (formatOut != nullptr) {
        *formatOut = &format_;
    }
    return SONDREL_OK;
}

int32_t DecoderStream::BeginDecode() {
    return SONDREL_OK;
}

int32_t DecoderStream::EndDecode() {
    return SONDREL_OK;
}

int32_t DecoderStream::ExtractIndex(uint32_t* countOut, SeekIndexEntry* /*entriesOut*/) {
    if (countOut != nullptr) {
        *countOut = 0;
    }
    return SONDREL_OK;
}

int32_t DecoderStream::BaseOpen(const char* path, int32_t /*shareMode*/) {
    topic_.reset();
    ownedImages_.clear();
    images_.clear();
    imageCount_ = 0;

    if (const int32_t code = file_.open(path); code != SONDREL_OK) {
        return code;
    }
    fileLength_ = static_cast<uint32_t>(std::min<uint64_t>(file_.size(), UINT32_MAX));
    file_.seek(0);

    if (hasExtension(path, ".klx")) {
        return ReadKlxMetadata();
    }
    payloadOffset_ = 0;
    voidBytes_ = 0;
    return SONDREL_OK;
}

int32_t DecoderStream::BaseClose() {
    topic_.reset();
    description_.reset();
    seekIndex_.clear();
    seekIndex_.shrink_to_fit();
    callRecord_.reset();
    images_.clear();
    ownedImages_.clear();
    imageCount_ = 0;
    file_.close();
    return SONDREL_OK;
}

void DecoderStream::FixCallRecordEnd() {
    if (callRecord_ && callRecord_->info.endTime == callRecord_->info.startTime &&
        format_.nSamplesPerSec != 0) {
        const uint32_t seconds = lengthFrames_ / format_.nSamplesPerSec;
        const int64_t end = static_cast<int64_t>(callRecord_->info.startTime) + seconds;
        callRecord_->info.endTime = static_cast<int32_t>(std::min<int64_t>(end, INT32_MAX));
    }
}

} // namespace sondrel
