#pragma once

#include <cstdint>
#include <string>

/// The meaning of a library result code, as the tools print it.
const char* resultText(int32_t code);

/// frames at rate as h:mm:ss.t (tenths truncated).
std::string formatDuration(uint64_t frames, uint32_t rate);
