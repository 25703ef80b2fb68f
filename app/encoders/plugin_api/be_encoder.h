#pragma once

// The encoder plug-in interface: the seven BE entry points every encoder plug-in exports, the
// 331-byte configuration record handed to beInitStream and the 128-byte ID3v1.1 tag record.
//
// This header is the only thing of the program a plug-in includes; it depends on the C library
// alone and compiles as C or C++.
//
// Calls for one output file, in this order:
//   1. beInitStream(config, &samples, &bufferSize, &stream). On entry `bufferSize` holds the
//      caller's output file descriptor (open for writing, positioned where the plug-in's first
//      byte will go) and `stream` the address of the caller's BeId3v1Tag. The plug-in overwrites
//      both: `bufferSize` becomes the size in bytes of the output buffer the caller must supply
//      to every later call, `stream` the stream handle. `samples` receives a suggested count of
//      sample values per chunk, which callers may ignore.
//   2. beEncodeChunk(stream, count, samples, output, &written), repeatedly. `count` is a number
//      of sample values (one per channel per frame), at most bufferSize / bytes per value; the
//      values are 16-bit signed little-endian, or 8-bit unsigned when the record's
//      `bitsPerSample` is 8 (WAV plug-in only). At most `bufferSize` bytes are written to
//      `output`; the caller writes them to its file at once.
//   3. beDeinitStream(stream, output, &written): the rest of the encoded data. The stream may be
//      fed again afterwards; the output then continues the same file.
//   4. beCloseStream(stream).
//   5. beWriteInfoTag(stream, fileName) or beWriteVBRHeader(fileName): completes the finished
//      file in place (lengths in headers, the MP3 info frame). The handle of step 5 is the one
//      closed in step 4; the plug-in keeps what it needs until this call.
// Every call returns BE_ERR_SUCCESSFUL (0) on success. Plug-ins never print and never crash on
// bad arguments: null pointers, unknown handles, unsupported rates or channel counts, counts
// above the buffer size and calls out of order give a non-zero result.
//
// The caller must have written every byte handed out before it calls beDeinitStream and
// beWriteInfoTag / beWriteVBRHeader, unbuffered: at those points a plug-in may rewrite header
// bytes it handed out earlier, through the file itself.

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/// Result of every BE call; 0 is success.
typedef uint32_t BE_ERR;

/// Stream handle: an opaque pointer-sized value, never 0 for a live stream.
typedef uintptr_t HBE_STREAM;

#define BE_ERR_SUCCESSFUL 0x00000000u
#define BE_ERR_INVALID_FORMAT 0x00000001u
#define BE_ERR_INVALID_FORMAT_PARAMETERS 0x00000002u
#define BE_ERR_NO_MORE_HANDLES 0x00000003u
#define BE_ERR_INVALID_HANDLE 0x00000004u
#define BE_ERR_BUFFER_TOO_SMALL 0x00000005u

/// Value of BeConfig::config for the extended (LAME) layout, the only one accepted.
#define BE_CONFIG_LAME 256u
/// BeConfig::structVersion and structSize.
#define BE_CONFIG_VERSION 1u
#define BE_CONFIG_SIZE 331u

/// BeConfig::mode values.
#define BE_MP3_MODE_STEREO 0
#define BE_MP3_MODE_JSTEREO 1
#define BE_MP3_MODE_DUALCHANNEL 2
#define BE_MP3_MODE_MONO 3

#pragma pack(push, 1)

/// Encoder configuration, 331 bytes, little-endian, zeroed before it is filled.
typedef struct BeConfig {
    uint32_t config;        ///< 0: BE_CONFIG_LAME
    uint32_t structVersion; ///< 4: BE_CONFIG_VERSION
    uint32_t structSize;    ///< 8: BE_CONFIG_SIZE
    uint32_t sampleRate;    ///< 12: input rate in Hz
    uint32_t resampleRate;  ///< 16: output rate in Hz; 0 lets the encoder decide
    int32_t mode;           ///< 20: BE_MP3_MODE_MONO for one channel; else two channels
    uint32_t bitrate;       ///< 24: constant bit rate in kbit/s
    uint32_t maxBitrate;    ///< 28: 0
    int32_t preset;         ///< 32: 2
    uint32_t mpegVersion;   ///< 36: 1 for 32000, 44100 and 48000 Hz (MPEG-1), else 0
    uint32_t psyModel;      ///< 40: 0
    uint32_t emphasis;      ///< 44: 0
    int32_t privateBit;     ///< 48: 0
    int32_t crc;            ///< 52: 0
    int32_t copyright;      ///< 56: 0
    int32_t original;       ///< 60: 1 (the stream is no copy)
    int32_t writeVbrHeader; ///< 64: 1
    int32_t enableVbr;      ///< 68: 0
    int32_t vbrQuality;     ///< 72: 0
    uint32_t vbrAbrBps;     ///< 76: 0
    int32_t vbrMethod;      ///< 80: 0
    int32_t noReservoir;    ///< 84: 1 (no bit reservoir)
    int32_t strictIso;      ///< 88: 0
    uint16_t quality;       ///< 92: 10
    /// 94: sample width of the values given to beEncodeChunk, in bits. 0 (the value every
    /// caller leaves in the zeroed record) means 16; 8 means unsigned 8-bit values, which only
    /// the WAV plug-in accepts and only WAV records set. Part of the reserved area of the
    /// original layout, so older callers always pass 0.
    uint16_t bitsPerSample;
    uint8_t reserved[235]; ///< 96..330: 0
} BeConfig;

/// ID3v1.1 tag record, 128 bytes: "TAG", blank-filled texts, a zero byte, track, genre.
typedef struct BeId3v1Tag {
    char tag[3];      ///< 0: "TAG"
    char title[30];   ///< 3
    char artist[30];  ///< 33
    char album[30];   ///< 63
    char year[4];     ///< 93
    char comment[28]; ///< 97
    uint8_t zero;     ///< 125: 0, marks the ID3v1.1 layout
    uint8_t track;    ///< 126: track number
    uint8_t genre;    ///< 127: genre number
} BeId3v1Tag;

/// Version record filled by beVersion.
typedef struct BeVersion {
    uint8_t dllMajorVersion;
    uint8_t dllMinorVersion;
    uint8_t majorVersion; ///< of the codec library
    uint8_t minorVersion;
    uint8_t day; ///< release date of the plug-in
    uint8_t month;
    uint16_t year;
    char homepage[129]; ///< NUL-terminated
    uint8_t alphaLevel;
    uint8_t betaLevel;
    uint8_t mmxEnabled;
    uint8_t reserved[125];
} BeVersion;

#pragma pack(pop)

#ifdef __cplusplus
#define BE_STATIC_ASSERT(cond, text) static_assert(cond, text)
#else
#define BE_STATIC_ASSERT(cond, text) _Static_assert(cond, text)
#endif

BE_STATIC_ASSERT(sizeof(BeConfig) == 331, "BeConfig is 331 bytes");
BE_STATIC_ASSERT(offsetof(BeConfig, sampleRate) == 12, "sampleRate at 12");
BE_STATIC_ASSERT(offsetof(BeConfig, resampleRate) == 16, "resampleRate at 16");
BE_STATIC_ASSERT(offsetof(BeConfig, mode) == 20, "mode at 20");
BE_STATIC_ASSERT(offsetof(BeConfig, bitrate) == 24, "bitrate at 24");
BE_STATIC_ASSERT(offsetof(BeConfig, preset) == 32, "preset at 32");
BE_STATIC_ASSERT(offsetof(BeConfig, mpegVersion) == 36, "mpegVersion at 36");
BE_STATIC_ASSERT(offsetof(BeConfig, original) == 60, "original at 60");
BE_STATIC_ASSERT(offsetof(BeConfig, writeVbrHeader) == 64, "writeVbrHeader at 64");
BE_STATIC_ASSERT(offsetof(BeConfig, enableVbr) == 68, "enableVbr at 68");
BE_STATIC_ASSERT(offsetof(BeConfig, noReservoir) == 84, "noReservoir at 84");
BE_STATIC_ASSERT(offsetof(BeConfig, strictIso) == 88, "strictIso at 88");
BE_STATIC_ASSERT(offsetof(BeConfig, quality) == 92, "quality at 92");
BE_STATIC_ASSERT(offsetof(BeConfig, bitsPerSample) == 94, "bitsPerSample at 94");
BE_STATIC_ASSERT(offsetof(BeConfig, reserved) == 96, "reserved from 96");
BE_STATIC_ASSERT(sizeof(BeId3v1Tag) == 128, "BeId3v1Tag is 128 bytes");
BE_STATIC_ASSERT(offsetof(BeId3v1Tag, comment) == 97, "comment at 97");
BE_STATIC_ASSERT(offsetof(BeId3v1Tag, track) == 126, "track at 126");

#undef BE_STATIC_ASSERT

/// Entry point types, as resolved by the loader.
typedef BE_ERR (*BEINITSTREAM)(BeConfig* config, uint32_t* samples, uint32_t* bufferSize,
                               HBE_STREAM* stream);
typedef BE_ERR (*BEENCODECHUNK)(HBE_STREAM stream, uint32_t count, const void* samples,
                                uint8_t* output, uint32_t* written);
typedef BE_ERR (*BEDEINITSTREAM)(HBE_STREAM stream, uint8_t* output, uint32_t* written);
typedef BE_ERR (*BECLOSESTREAM)(HBE_STREAM stream);
typedef void (*BEVERSION)(BeVersion* version);
typedef BE_ERR (*BEWRITEVBRHEADER)(const char* fileName);
typedef BE_ERR (*BEWRITEINFOTAG)(HBE_STREAM stream, const char* fileName);

#if defined(BE_PLUGIN_BUILD)
#define BE_PLUGIN_API __attribute__((visibility("default")))
#else
#define BE_PLUGIN_API
#endif

/// Opens an encoder stream for the format in `config` (see the call sequence above).
BE_PLUGIN_API BE_ERR beInitStream(BeConfig* config, uint32_t* samples, uint32_t* bufferSize,
                                  HBE_STREAM* stream);
/// Encodes `count` sample values; the encoded bytes go to `output`, their number to `written`.
BE_PLUGIN_API BE_ERR beEncodeChunk(HBE_STREAM stream, uint32_t count, const void* samples,
                                   uint8_t* output, uint32_t* written);
/// Flushes the encoder: the remaining encoded bytes go to `output`.
BE_PLUGIN_API BE_ERR beDeinitStream(HBE_STREAM stream, uint8_t* output, uint32_t* written);
/// Releases the encoder; what the info tag needs is kept for beWriteInfoTag.
BE_PLUGIN_API BE_ERR beCloseStream(HBE_STREAM stream);
/// Fills `version` with the plug-in's and the codec library's versions.
BE_PLUGIN_API void beVersion(BeVersion* version);
/// Completes the most recent finished stream written to `fileName`.
BE_PLUGIN_API BE_ERR beWriteVBRHeader(const char* fileName);
/// Completes the file `fileName` written by `stream`, then forgets the stream.
BE_PLUGIN_API BE_ERR beWriteInfoTag(HBE_STREAM stream, const char* fileName);

#ifdef __cplusplus
}
#endif
