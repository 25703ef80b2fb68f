// A plug-in that lacks beDeinitStream: the table must refuse it.

#include "be_encoder.h"

extern "C" {
BE_ERR beInitStream(BeConfig*, uint32_t*, uint32_t*, HBE_STREAM*) {
    return 1;
}
BE_ERR beEncodeChunk(HBE_STREAM, uint32_t, const void*, uint8_t*, uint32_t*) {
    return 1;
}
BE_ERR beCloseStream(HBE_STREAM) {
    return 1;
}
void beVersion(BeVersion*) {}
BE_ERR beWriteVBRHeader(const char*) {
    return 1;
}
BE_ERR beWriteInfoTag(HBE_STREAM, const char*) {
    return 1;
}
}
