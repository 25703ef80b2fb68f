#include "decoder_stream.h"

namespace sondrel {

// Reading the container's metadata (texts, call record, index, images) is not built yet, so
// containers are refused as unsupported rather than read half-way.
int32_t DecoderStream::ReadKlxMetadata() {
    return SONDREL_ERR_UNSUPPORTED;
}

} // namespace sondrel
