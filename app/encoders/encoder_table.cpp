#include "encoder_table.h"

#include "file_system.h"

#include <dlfcn.h>

#include <cstring>

namespace mireldo::encoders {

namespace {

struct SlotNames {
    const char* fileName;
    const char* extension;
    const char* displayName;
};

constexpr SlotNames kSlotNames[EncoderTable::kSlotCount] = {
    {"mpeg_enc.so", "mp3", "MP3 File"},
    {"wma_enc.so", "wma", "WMA File"},
    {"ogg_enc.so", "ogg", "OGG File"},
    {"wave_enc.so", "wav", "WAV File"},
};

template <size_t N>
void copyName(char (&to)[N], const char* from) {
    std::strncpy(to, from, N - 1);
    to[N - 1] = '\0';
}

template <typename Fn>
Fn resolve(void* library, const char* name) {
    return reinterpret_cast<Fn>(dlsym(library, name));
}

} // namespace

EncoderTable::EncoderTable() {
    for (int i = 0; i < kSlotCount; ++i) {
        copyName(slots_[static_cast<size_t>(i)].fileName, kSlotNames[i].fileName);
        copyName(slots_[static_cast<size_t>(i)].extension, kSlotNames[i].extension);
        copyName(slots_[static_cast<size_t>(i)].displayName, kSlotNames[i].displayName);
    }
}

EncoderTable::~EncoderTable() {
    for (EncoderSlot& s : slots_) {
        if (s.library != nullptr) {
            dlclose(s.library);
        }
    }
}

void EncoderTable::load() {
    load(platform::pluginFolders());
}

void EncoderTable::load(const QString& folder) {
    load(QStringList{folder});
}

void EncoderTable::load(const QStringList& folders) {
    if (loadDone_) {
        return;
    }
    loadDone_ = true;
    // No folder at all still takes a plug-in the process has already loaded.
    const QStringList tried = folders.isEmpty() ? QStringList{QString()} : folders;
    for (EncoderSlot& s : slots_) {
        for (const QString& folder : tried) {
            loadSlot(s, folder);
            if (s.loaded()) {
                break;
            }
        }
    }
}

void EncoderTable::loadSlot(EncoderSlot& s, const QString& folder) {
    // A library already in the process under this name is taken as it is.
    void* library = dlopen(s.fileName, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (library == nullptr && !folder.isEmpty()) {
        const QByteArray path =
            (folder + QLatin1Char('/') + QLatin1String(s.fileName)).toLocal8Bit();
        library = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    }
    if (library == nullptr) {
        return;
    }
    s.beInitStream = resolve<BEINITSTREAM>(library, "beInitStream");
    s.beEncodeChunk = resolve<BEENCODECHUNK>(library, "beEncodeChunk");
    s.beDeinitStream = resolve<BEDEINITSTREAM>(library, "beDeinitStream");
    s.beCloseStream = resolve<BECLOSESTREAM>(library, "beCloseStream");
    s.beVersion = resolve<BEVERSION>(library, "beVersion");
    s.beWriteVBRHeader = resolve<BEWRITEVBRHEADER>(library, "beWriteVBRHeader");
    s.beWriteInfoTag = resolve<BEWRITEINFOTAG>(library, "beWriteInfoTag");
    if (s.beInitStream == nullptr || s.beEncodeChunk == nullptr || s.beDeinitStream == nullptr ||
        s.beCloseStream == nullptr || s.beVersion == nullptr || s.beWriteVBRHeader == nullptr) {
        dlclose(library);
        s.beInitStream = nullptr;
        s.beEncodeChunk = nullptr;
        s.beDeinitStream = nullptr;
        s.beCloseStream = nullptr;
        s.beVersion = nullptr;
        s.beWriteVBRHeader = nullptr;
        s.beWriteInfoTag = nullptr;
        return;
    }
    // An accepted plug-in stays mapped for the process (RTLD_NODELETE on the loaded object):
    // the codec libraries behind it keep state for the process's life and cannot be unloaded
    // cleanly. The extra reference taken to set the flag is given back at once.
    if (Dl_info info{};
        dladdr(reinterpret_cast<void*>(s.beInitStream), &info) != 0 && info.dli_fname != nullptr) {
        if (void* pinned =
                dlopen(info.dli_fname, RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD | RTLD_NODELETE)) {
            dlclose(pinned);
        }
    }
    s.library = library;
}

const EncoderSlot& EncoderTable::slot(int method) const {
    if (method < 0 || method >= kSlotCount) {
        return none_;
    }
    return slots_[static_cast<size_t>(method)];
}

void fillEncoderConfig(BeConfig& config, uint32_t rate, int channels, uint32_t kbps,
                       int bitsPerSample) {
    std::memset(&config, 0, sizeof config);
    config.config = BE_CONFIG_LAME;
    config.structVersion = BE_CONFIG_VERSION;
    config.structSize = BE_CONFIG_SIZE;
    config.sampleRate = rate;
    config.resampleRate = 0;
    config.mode = channels == 1 ? BE_MP3_MODE_MONO : BE_MP3_MODE_STEREO;
    config.bitrate = kbps;
    config.preset = 2;
    config.mpegVersion = (rate == 32000 || rate == 44100 || rate == 48000) ? 1 : 0;
    config.original = 1;
    config.writeVbrHeader = 1;
    config.noReservoir = 1;
    config.quality = 10;
    config.bitsPerSample = bitsPerSample == 8 ? 8 : 0;
}

BeId3v1Tag makeId3v1PreTag() {
    BeId3v1Tag tag;
    std::memset(&tag, ' ', sizeof tag);
    std::memcpy(tag.tag, "TAG", 3);
    tag.zero = 0;
    tag.track = 1;
    tag.genre = 0;
    return tag;
}

} // namespace mireldo::encoders
