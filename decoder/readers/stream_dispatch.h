#pragma once

#include "decoder_stream.h"

#include <cstdint>
#include <memory>

namespace sondrel {

/// Chooses a reader by the path's extension (a KLX container by the payload type in its
/// header), opens the file with it and hands the open stream to streamOut. Returns 0 or a result
/// code; streamOut is written only on success and nothing stays open after a failure.
int32_t openStream(const char* path, int32_t acceptCallRecords, int32_t shareMode,
                   std::unique_ptr<DecoderStream>& streamOut);

} // namespace sondrel
