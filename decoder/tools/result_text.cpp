#include "result_text.h"

#include <cstdio>

const char* resultText(int32_t code) {
    switch (code) {
    case 0:
        return "success";
    case 1:
        return "file not found";
    case 2:
        return "access denied";
    case 3:
        return "cannot open file";
    case 4:
        return "damaged file";
    case 5:
        return "unsupported file";
    case 6:
        return "call-record file refused";
    case 8:
        return "WMA reader failed";
    case 9:
        return "position beyond the end";
    case 10:
        return "cannot map file";
    case 11:
        return "cannot map a view of the file";
    case 12:
        return "out of memory";
    case 13:
        return "no MPEG frame header found";
    case 14:
        return "cannot make image";
    case 16:
        return "empty stream";
    case 17:
        return "WMA runtime missing";
    default:
        return "unknown result";
    }
}

std::string formatDuration(uint64_t frames, uint32_t rate) {
    if (rate == 0) {
        return "0:00:00.0";
    }
    const uint64_t tenths = frames * 10 / rate;
    const uint64_t seconds = tenths / 10;
    char text[64];
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu.%llu",
                  static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60),
                  static_cast<unsigned long long>(seconds % 60),
                  static_cast<unsigned long long>(tenths % 10));
    return text;
}
