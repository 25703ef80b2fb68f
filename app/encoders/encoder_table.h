#pragma once

// The four encoder plug-in slots, indexed by the encoding method (0 MP3, 1 WMA, 2 OGG, 3 WAV),
// shared by the recorder and the converter.
//
// Threads: load() runs once on the window thread when the main window is created; afterwards
// the table is read-only and its slots may be read from any thread. The table owns the library
// handles it opened and releases them on destruction.

#include "be_encoder.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace mireldo::encoders {

/// Index of a slot: the encoding method setting.
enum EncodeMethod : int { kEncodeMp3 = 0, kEncodeWma = 1, kEncodeOgg = 2, kEncodeWav = 3 };

/// One plug-in: its library handle, the seven entry points and its names. A slot is loaded when
/// its library handle is set; then the first six entry points are set too.
struct EncoderSlot {
    void* library = nullptr;
    BEINITSTREAM beInitStream = nullptr;
    BEENCODECHUNK beEncodeChunk = nullptr;
    BEDEINITSTREAM beDeinitStream = nullptr;
    BECLOSESTREAM beCloseStream = nullptr;
    BEVERSION beVersion = nullptr; ///< resolved, never called
    BEWRITEVBRHEADER beWriteVBRHeader = nullptr;
    BEWRITEINFOTAG beWriteInfoTag = nullptr; ///< optional
    char fileName[32] = {};
    char extension[4] = {};
    char displayName[48] = {};

    bool loaded() const { return library != nullptr; }
};

class EncoderTable {
  public:
    static constexpr int kSlotCount = 4;

    /// Fills the names of the four slots; nothing is loaded yet.
    EncoderTable();
    ~EncoderTable();
    EncoderTable(const EncoderTable&) = delete;
    EncoderTable& operator=(const EncoderTable&) = delete;

    /// Loads every slot from the plug-in folders (platform::pluginFolders(): the installed
    /// tree's <libdir>/mireldo, then the executable's folder). Only the first call does anything.
    void load();
    /// Loads every slot from `folder`: a library already loaded under the slot's file name is
    /// reused, else the file of that name in `folder` is opened. A library lacking one of the
    /// six required entry points is released and its slot stays unloaded; nothing is reported.
    /// Only the first call does anything.
    void load(const QString& folder);
    /// load(folder) over several folders: each slot takes the first folder that gives it a
    /// complete plug-in.
    void load(const QStringList& folders);

    /// The slot of `method`; an out-of-range method gives an unloaded, nameless slot.
    const EncoderSlot& slot(int method) const;
    bool isLoaded(int method) const { return slot(method).loaded(); }

  private:
    void loadSlot(EncoderSlot& slot, const QString& folder);

    std::array<EncoderSlot, kSlotCount> slots_;
    EncoderSlot none_;
    bool loadDone_ = false;
};

/// Fills `config` as every caller of beInitStream does: zeroed, then the fields for a capture
/// of `rate` Hz, `channels` channels and `kbps` kbit/s. `bitsPerSample` 8 marks 8-bit values
/// (WAV records only); any other value leaves the width field 0 (16-bit).
void fillEncoderConfig(BeConfig& config, uint32_t rate, int channels, uint32_t kbps,
                       int bitsPerSample = 16);

/// The blank ID3v1.1 tag record handed to beInitStream: "TAG", blank texts, a zero byte,
/// track 1, genre 0.
BeId3v1Tag makeId3v1PreTag();

} // namespace mireldo::encoders
