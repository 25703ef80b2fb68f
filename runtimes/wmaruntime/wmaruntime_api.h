/// wmaruntime: the Windows Media runtime of this system, a shared library loaded by name at run
/// time ("libwmaruntime.so"). Its reading half is a synchronous reader that opens an ASF/WMA
/// file, answers header attributes, describes its outputs and hands out decoded PCM samples of
/// varying size. Its editing half is a metadata editor that reads and writes the descriptive
/// attributes of a file's header, and a check for protected content.
///
/// The library exports three functions: WMCreateSyncReader, WMCreateEditor and
/// WMIsContentProtected. The objects it hands out carry a table of functions as their first
/// member (called as `reader->vtbl->Open(reader, path)`). Every function returns WMR_OK (0) or a
/// negative WMR_E_* code and never lets an exception escape. Times are in 100-nanosecond units.
///
/// Threads: one reader or editor is used by one thread at a time; different objects are
/// independent. Ownership: a reader or editor belongs to whoever created it and is destroyed by
/// its Release; a sample belongs to whoever received it from GetNextSample and is destroyed by
/// its Release. Samples stay valid after their reader is closed or released.
#ifndef WMARUNTIME_API_H
#define WMARUNTIME_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(WMARUNTIME_BUILDING)
#define WMR_API __attribute__((visibility("default")))
#else
#define WMR_API
#endif

/// File name under which hosts load the runtime (found beside the program).
#define WMR_LIBRARY_NAME "libwmaruntime.so"
/// Name of the reader factory.
#define WMR_FACTORY_NAME "WMCreateSyncReader"
/// Name of the metadata editor factory.
#define WMR_EDITOR_FACTORY_NAME "WMCreateEditor"
/// Name of the protection check.
#define WMR_PROTECTION_CHECK_NAME "WMIsContentProtected"
/// Version of the function tables below; the factory refuses any other.
#define WMR_API_VERSION 1u
/// Rights asked of a new reader: playback.
#define WMR_RIGHTS_PLAYBACK 0x8u

/* Result codes (negative, 32-bit). */
#define WMR_OK 0
#define WMR_E_FAIL ((int32_t)0x80004005)             /* unspecified failure */
#define WMR_E_INVALIDARG ((int32_t)0x80070057)       /* bad argument or version */
#define WMR_E_OUTOFMEMORY ((int32_t)0x8007000E)      /* allocation failed */
#define WMR_E_UNEXPECTED ((int32_t)0x8000FFFF)       /* call out of order (reader not open) */
#define WMR_E_INVALID_FILE ((int32_t)0xC00D0BB8)     /* not a readable ASF file */
#define WMR_E_NOT_FOUND ((int32_t)0xC00D07F0)        /* no such attribute, stream or output */
#define WMR_E_NO_MORE_SAMPLES ((int32_t)0xC00D0BCF)  /* end of the selected range or stream */
#define WMR_E_BUFFER_TOO_SMALL ((int32_t)0xC00D07D4) /* value buffer shorter than the value */
#define WMR_E_UNSUPPORTED ((int32_t)0xC00D0BC6)      /* no decoder for the stream's codec */
/* the file could not be saved; it is as it was */
#define WMR_E_WRITE_FAILED ((int32_t)0xC00D0BBA)

/* Attribute data types. */
#define WMR_TYPE_DWORD 0u  /* uint32, little-endian */
#define WMR_TYPE_STRING 1u /* UTF-8, NUL-terminated */
#define WMR_TYPE_BINARY 2u
#define WMR_TYPE_BOOL 3u  /* uint32 0 or 1 */
#define WMR_TYPE_QWORD 4u /* uint64, little-endian */
#define WMR_TYPE_WORD 5u  /* uint16, little-endian */
#define WMR_TYPE_GUID 6u  /* 16 bytes, the file's byte order */

#pragma pack(push, 1)

/// A 128-bit identifier in the platform's layout.
typedef struct WmrGuid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
} WmrGuid;

/// Media type of an output or stream: the major type and, for audio, an 18-byte WAVEFORMATEX
/// (tag 1, channels, rate, bytes per second, block align, bits, cbSize) in `format`.
typedef struct WmrMediaType {
    WmrGuid majorType;
    uint32_t formatSize; /* bytes used in format: 18 for audio, 0 otherwise */
    uint8_t format[18];
} WmrMediaType;

#pragma pack(pop)

/// Major type of audio streams and outputs: {73647561-0000-0010-8000-00AA00389B71}.
static const WmrGuid WMR_MEDIATYPE_Audio = {
    0x73647561u, 0x0000u, 0x0010u, {0x80u, 0x00u, 0x00u, 0xAAu, 0x00u, 0x38u, 0x9Bu, 0x71u}};
/// Major type of video streams: {73646976-0000-0010-8000-00AA00389B71}.
static const WmrGuid WMR_MEDIATYPE_Video = {
    0x73646976u, 0x0000u, 0x0010u, {0x80u, 0x00u, 0x00u, 0xAAu, 0x00u, 0x38u, 0x9Bu, 0x71u}};

typedef struct WmrSyncReader WmrSyncReader;
typedef struct WmrSample WmrSample;

/// Functions of a decoded sample.
typedef struct WmrSampleVtbl {
    /// Destroys the sample.
    void (*Release)(WmrSample* self);
    /// Writes the address and byte length of the sample's PCM (whole frames of the output
    /// format); valid until Release.
    int32_t (*GetBufferAndLength)(WmrSample* self, uint8_t** bufferOut, uint32_t* lengthOut);
} WmrSampleVtbl;

struct WmrSample {
    const WmrSampleVtbl* vtbl;
};

/// Functions of a synchronous reader.
typedef struct WmrSyncReaderVtbl {
    /// Closes the reader if open and destroys it.
    void (*Release)(WmrSyncReader* self);
    /// Opens an ASF file by path (UTF-8 or the file system's bytes).
    int32_t (*Open)(WmrSyncReader* self, const char* path);
    /// Closes the file; the reader may be opened again. WMR_E_UNEXPECTED when not open.
    int32_t (*Close)(WmrSyncReader* self);
    /// Reads a header attribute of a stream (0: the file). With value null, writes the value's
    /// type and length in bytes; otherwise *lengthInOut is the room in value, and the value and
    /// its length are written (WMR_E_BUFFER_TOO_SMALL when it does not fit). Attributes:
    /// "Duration" (QWORD, 100-ns units) and "Bitrate" (DWORD, bits per second); WMR_E_NOT_FOUND
    /// when the file does not carry the attribute. "PlayableDuration" (QWORD, 100-ns units) is
    /// what the reader's samples of the first audio stream cover: the header's duration less the
    /// codec's delay, or, for a file cut short (no duration, or fewer bytes than its header
    /// declares), the span of its complete packets, found by reading them without decoding.
    int32_t (*GetAttributeByName)(WmrSyncReader* self, uint16_t streamNumber, const char* name,
                                  uint32_t* typeOut, uint8_t* value, uint16_t* lengthInOut);
    /// Number of outputs (one per stream of the file).
    int32_t (*GetOutputCount)(WmrSyncReader* self, uint32_t* countOut);
    /// Number of streams in the file's profile.
    int32_t (*GetStreamCount)(WmrSyncReader* self, uint32_t* countOut);
    /// Stream number (1..127) and major type of the profile's stream at index.
    int32_t (*GetStream)(WmrSyncReader* self, uint32_t index, uint16_t* streamNumberOut,
                         WmrGuid* majorTypeOut);
    /// Stream number delivered through an output.
    int32_t (*GetStreamNumberForOutput)(WmrSyncReader* self, uint32_t output,
                                        uint16_t* streamNumberOut);
    /// Format formatIndex (only 0 exists) of an output: for audio, the PCM it delivers
    /// (8 or 16 bits, the file's channels and rate). WMR_E_UNSUPPORTED when it cannot be decoded.
    int32_t (*GetOutputFormat)(WmrSyncReader* self, uint32_t output, uint32_t formatIndex,
                               WmrMediaType* typeOut);
    /// Selects (nonzero) or deselects a stream; only one stream is delivered at a time.
    int32_t (*SetStreamSelected)(WmrSyncReader* self, uint16_t streamNumber, int32_t selected);
    /// Asks for a stream's samples compressed (nonzero, not offered) or decoded (0).
    int32_t (*SetReadStreamSamples)(WmrSyncReader* self, uint16_t streamNumber, int32_t compressed);
    /// Restricts delivery to [start, start + duration), 100-ns units; duration 0 reads to the
    /// end. The next sample starts at the frame nearest to start. A start beyond the end is
    /// accepted and delivers nothing.
    int32_t (*SetRange)(WmrSyncReader* self, uint64_t start, int64_t duration);
    /// Hands out the next decoded sample of the selected stream with its time and duration
    /// (100-ns units). WMR_E_NO_MORE_SAMPLES at the end.
    int32_t (*GetNextSample)(WmrSyncReader* self, uint16_t streamNumber, WmrSample** sampleOut,
                             uint64_t* timeOut, uint64_t* durationOut);
} WmrSyncReaderVtbl;

struct WmrSyncReader {
    const WmrSyncReaderVtbl* vtbl;
};

typedef struct WmrMetadataEditor WmrMetadataEditor;

/// Functions of a metadata editor. Attributes are those of the file's header; stream 0 is the
/// file as a whole (the only stream with attributes here). "Title", "Author" and "Description"
/// (with "Copyright" and "Rating") live in the header's content description; every other name
/// is an extended attribute such as "WM/AlbumTitle", kept with its stored type. Files written
/// through FFmpeg carry the seven names the tag dialog edits also (or only) as attributes named
/// by FFmpeg's keys ("title", "date", ...); those stand in for a missing name when reading, and
/// writing a name replaces them.
typedef struct WmrMetadataEditorVtbl {
    /// Closes the editor without saving if open, and destroys it.
    void (*Release)(WmrMetadataEditor* self);
    /// Opens an ASF file by path for editing; a symbolic link is followed to the file it names,
    /// and that file is the one saved. Reads the header only. WMR_E_INVALID_FILE when the file
    /// is not a readable ASF file.
    int32_t (*Open)(WmrMetadataEditor* self, const char* path);
    /// Forgets every change and closes the file. WMR_E_UNEXPECTED when not open.
    int32_t (*Close)(WmrMetadataEditor* self);
    /// Saves the changes and closes the file. The new file is written beside the old one in the
    /// same folder with the old one's permissions, flushed to disk and renamed over it, so the
    /// old file stays whole until the new one is complete. On failure (WMR_E_WRITE_FAILED) the
    /// old file is unchanged, no temporary file remains and the editor stays open.
    /// WMR_E_UNEXPECTED when not open.
    int32_t (*Flush)(WmrMetadataEditor* self);
    /// Reads an attribute as the reader's GetAttributeByName does: with value null, writes its
    /// type and length in bytes; otherwise *lengthInOut is the room in value (strings are UTF-8
    /// with a terminating NUL counted in the length). WMR_E_NOT_FOUND when the file does not
    /// carry it (an empty content-description text counts as missing). Changes made with
    /// SetAttribute are seen at once.
    int32_t (*GetAttributeByName)(WmrMetadataEditor* self, uint16_t streamNumber, const char* name,
                                  uint32_t* typeOut, uint8_t* value, uint32_t* lengthInOut);
    /// Sets an attribute of stream 0, replacing every value of that name, to length bytes of
    /// value of the given type (a string: UTF-8, no terminating NUL needed; the five
    /// content-description names take strings only). Nothing is written until Flush.
    int32_t (*SetAttribute)(WmrMetadataEditor* self, uint16_t streamNumber, const char* name,
                            uint32_t type, const uint8_t* value, uint32_t length);
} WmrMetadataEditorVtbl;

struct WmrMetadataEditor {
    const WmrMetadataEditorVtbl* vtbl;
};

/// Type of the factory, as a host finds it with dlsym.
typedef int32_t (*WmrCreateSyncReaderFn)(uint32_t apiVersion, uint32_t rights,
                                         WmrSyncReader** readerOut);

/// Type of the editor factory, as a host finds it with dlsym.
typedef int32_t (*WmrCreateEditorFn)(uint32_t apiVersion, WmrMetadataEditor** editorOut);
/// Type of the protection check, as a host finds it with dlsym.
typedef int32_t (*WmrIsContentProtectedFn)(const char* path, int32_t* protectedOut);

/// Creates a reader. apiVersion must be WMR_API_VERSION; rights WMR_RIGHTS_PLAYBACK.
WMR_API int32_t WMCreateSyncReader(uint32_t apiVersion, uint32_t rights, WmrSyncReader** readerOut);
/// Creates a metadata editor. apiVersion must be WMR_API_VERSION.
WMR_API int32_t WMCreateEditor(uint32_t apiVersion, WmrMetadataEditor** editorOut);
/// Writes 1 to *protectedOut when the ASF file at path carries a content encryption object
/// (in its header or its header extension), else 0. WMR_E_INVALID_FILE when the file cannot be
/// read or does not start with a well-formed ASF header.
WMR_API int32_t WMIsContentProtected(const char* path, int32_t* protectedOut);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(WmrGuid) == 16, "GUID is 16 bytes");
static_assert(sizeof(WmrMediaType) == 38, "major type, size, 18-byte format");
#endif

#endif /* WMARUNTIME_API_H */
