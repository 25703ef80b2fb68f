#pragma once

// The ASF header object read straight from a file: the bytes the metadata editor edits and the
// protection check walks. No FFmpeg or TagLib here, so a damaged header costs nothing but a code.

#include "wmaruntime_api.h"

#include <cstdint>
#include <span>
#include <vector>

namespace wmaruntime {

/// Size of the header object's fixed part: identifier, size, object count, two reserved bytes.
inline constexpr std::size_t kAsfHeaderPreamble = 30;

/// Reads the whole header object at the start of the open file `fd` into `out`. WMR_E_INVALID_FILE
/// when the file does not start with one or is shorter than the size it declares.
int32_t readAsfHeader(int fd, std::vector<uint8_t>& out);

/// True when the header (or its header extension) carries a content encryption object of any
/// kind. Objects are walked within the header's bounds; a walk that runs out of them stops.
bool hasContentEncryption(std::span<const uint8_t> header);

} // namespace wmaruntime
