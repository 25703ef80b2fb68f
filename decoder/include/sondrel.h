/// Sondrel: the decoder library's exported C interface.
///
/// Every export returns a 32-bit result code (SONDREL_OK on success). Positions, counts and lengths
/// are in frames (one sample of every channel). Everything a query hands out belongs to the stream
/// and stays valid until Sondrel_CloseStream. A stream may be used from any thread, one at a time.
#ifndef SONDREL_H
#define SONDREL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(SONDREL_BUILDING)
#define SONDREL_API __attribute__((visibility("default")))
#else
#define SONDREL_API
#endif

/* Result codes. */
#define SONDREL_OK 0
#define SONDREL_ERR_NOT_FOUND 1        /* file not found, or bad path */
#define SONDREL_ERR_ACCESS 2           /* access denied, or sharing violation */
#define SONDREL_ERR_OPEN 3             /* any other failure to open the file */
#define SONDREL_ERR_DAMAGED 4          /* KLX header or metadata unreadable; MPEG without a frame */
#define SONDREL_ERR_UNSUPPORTED 5      /* unknown extension or format */
#define SONDREL_ERR_CALL_RECORD 6      /* KLX call-record file refused */
#define SONDREL_ERR_WINDOWS_MEDIA 8    /* the WMA reader failed */
#define SONDREL_ERR_BEYOND_END 9       /* position beyond the end, or the seek failed */
#define SONDREL_ERR_MAPPING 10         /* mapping the file failed */
#define SONDREL_ERR_VIEW 11            /* no view of the mapped file */
#define SONDREL_ERR_MEMORY 12          /* out of memory */
#define SONDREL_ERR_NO_SYNC 13         /* no MPEG frame header found */
#define SONDREL_ERR_IMAGE 14           /* a KLX image could not be made */
#define SONDREL_ERR_EMPTY 16           /* the stream holds no frame */
#define SONDREL_ERR_RUNTIME_MISSING 17 /* the WMA runtime or its reader factory is missing */

#pragma pack(push, 1)

/// Output PCM format of a stream; 18 bytes, little-endian.
typedef struct WAVEFORMATEX {
    uint16_t wFormatTag;      /* 1: PCM */
    uint16_t nChannels;       /* 1 or 2 */
    uint32_t nSamplesPerSec;  /* Hz */
    uint32_t nAvgBytesPerSec; /* WAV: rate x block align; compressed sources: bit rate / 8 */
    uint16_t nBlockAlign;     /* nChannels x wBitsPerSample / 8 */
    uint16_t wBitsPerSample;  /* 8 (unsigned) or 16 (signed) */
    uint16_t cbSize;          /* 18 */
} WAVEFORMATEX;

/// One entry of a seek index: where an MPEG frame starts (8 bytes).
typedef struct SeekIndexEntry {
    uint32_t framePosition; /* PCM frame position of the MPEG frame */
    uint32_t byteOffset;    /* offset of its header, relative to the payload offset */
} SeekIndexEntry;

/// Call-record information of a KLX file. Four 32-bit values, then four pointers.
typedef struct CallRecordInfo {
    int32_t callId;      /* never negative */
    int32_t startTime;   /* seconds, never negative */
    int32_t endTime;     /* seconds, never below startTime */
    uint32_t entryCount; /* entries of three int32 each */
    int32_t* entries;    /* entryCount x 3 values */
    char* text1;         /* at most 8 characters, trimmed, never null when the record exists */
    char* text2;         /* at most 32 characters or null */
    char* text3;         /* at most 32 characters or null */
} CallRecordInfo;

/// Image header in the layout of a device-independent bitmap's info header (40 bytes).
typedef struct SondrelBitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight; /* positive: rows stored bottom-up */
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage; /* bytes of pixels */
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} SondrelBitmapInfoHeader;

/// An image of a KLX file: its info header and its pixel bytes, owned by the stream.
typedef struct SondrelImage {
    SondrelBitmapInfoHeader header;
    uint32_t pixelBytes; /* bytes actually read into pixels (at most header.biSizeImage) */
    uint8_t* pixels;     /* header.biSizeImage bytes, rows padded to 4 bytes */
} SondrelImage;

#pragma pack(pop)

/// The bitmap handle handed out by Sondrel_GetImageArray.
typedef SondrelImage* SondrelBitmap;

/// Opaque stream handle.
typedef struct SondrelStream SondrelStream;

/// Opens a file by extension (.wav .mp3 .mp2 .mp1 .wma .ogg .klx). shareMode: 0 exclusive,
/// 2 deny none, other values deny write. acceptCallRecords 0 refuses KLX call-record files (6).
/// handleOut is written only on success.
SONDREL_API int32_t Sondrel_OpenStream(SondrelStream** handleOut, const char* path,
                                       int32_t acceptCallRecords, int32_t shareMode);
/// Closes and destroys the stream.
SONDREL_API int32_t Sondrel_CloseStream(SondrelStream* handle);
/// Writes the address of the stream's format record.
SONDREL_API int32_t Sondrel_GetStreamFormat(SondrelStream* handle, WAVEFORMATEX** formatOut);
/// Writes the stream's length in frames (0xFFFFFFFF when it does not fit).
SONDREL_API int32_t Sondrel_GetStreamLength(SondrelStream* handle, uint32_t* framesOut);
/// Prepares decoding (required for MPEG streams).
SONDREL_API int32_t Sondrel_DecodeAudioBegin(SondrelStream* handle);
/// Decodes up to frameCount frames from firstFrame into buffer (frameCount x nBlockAlign bytes).
/// A short count means the end of the stream.
SONDREL_API int32_t Sondrel_DecodeAudio(SondrelStream* handle, uint32_t firstFrame,
                                        uint32_t frameCount, void* buffer, uint32_t* framesOut);
/// Releases what Sondrel_DecodeAudioBegin prepared.
SONDREL_API int32_t Sondrel_DecodeAudioEnd(SondrelStream* handle);
/// Writes the stream's image array (null when none) and its count.
SONDREL_API int32_t Sondrel_GetImageArray(SondrelStream* handle, SondrelBitmap** arrayOut,
                                          int16_t* countOut);
/// Copies the topic (or an empty string) into buffer, never writing past bufferSize bytes.
SONDREL_API int32_t Sondrel_GetTopic(SondrelStream* handle, char* buffer, int32_t bufferSize);
/// Copies the description (or an empty string) into buffer, never writing past bufferSize bytes.
SONDREL_API int32_t Sondrel_GetDescription(SondrelStream* handle, char* buffer, int32_t bufferSize);
/// Writes the address of the stream's call-record information, or null.
SONDREL_API int32_t Sondrel_GetCallRecordInfo(SondrelStream* handle, CallRecordInfo** out);
/// Writes the number of bytes between the KLX metadata and the payload.
SONDREL_API int32_t Sondrel_GetNumberOfVoidBytes(SondrelStream* handle, int32_t* out);
/// Writes the seek-index count and copies the entries (entriesOut needs room for all of them).
SONDREL_API int32_t Sondrel_ExtractIndexs(SondrelStream* handle, uint32_t* countOut,
                                          SeekIndexEntry* entriesOut);
/// Finds the first MPEG audio frame of the file at path and writes its sample rate.
SONDREL_API int32_t Sondrel_GetMP3SampleRate(const char* path, uint32_t* rateOut);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes");
static_assert(offsetof(WAVEFORMATEX, nChannels) == 2);
static_assert(offsetof(WAVEFORMATEX, nSamplesPerSec) == 4);
static_assert(offsetof(WAVEFORMATEX, nAvgBytesPerSec) == 8);
static_assert(offsetof(WAVEFORMATEX, nBlockAlign) == 12);
static_assert(offsetof(WAVEFORMATEX, wBitsPerSample) == 14);
static_assert(offsetof(WAVEFORMATEX, cbSize) == 16);
static_assert(sizeof(SeekIndexEntry) == 8, "SeekIndexEntry is 8 bytes");
static_assert(offsetof(SeekIndexEntry, byteOffset) == 4);
static_assert(sizeof(CallRecordInfo) == 16 + 4 * sizeof(void*), "four int32 and four pointers");
static_assert(offsetof(CallRecordInfo, entryCount) == 12);
static_assert(offsetof(CallRecordInfo, entries) == 16);
static_assert(offsetof(CallRecordInfo, text3) == 16 + 3 * sizeof(void*));
static_assert(sizeof(SondrelBitmapInfoHeader) == 40, "BITMAPINFOHEADER layout");
static_assert(offsetof(SondrelBitmapInfoHeader, biSizeImage) == 20);
static_assert(offsetof(SondrelBitmapInfoHeader, biClrUsed) == 32);
#endif

#endif /* SONDREL_H */
