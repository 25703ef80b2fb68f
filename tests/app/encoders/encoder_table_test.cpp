// The plug-in table: which slots load from a folder, which stay unloaded, and the records it
// fills for the plug-ins.

#include "encoder_table.h"
#include "test_support.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace {

using mireldo::encoders::EncoderTable;
namespace fs = std::filesystem;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// Keeps FFmpeg's libraries resident for the whole run: unloading libavformat together with the
// WMA plug-in leaks what its own dependencies allocate when loaded (LeakSanitizer reports it),
// which is none of the table's doing.
const unsigned kFfmpegResident = avformat_version();

// Each test runs in a process of its own (CTest), so no plug-in is loaded before it starts.

TEST(EncoderTable, LoadsAllFourFromTheBuildFolderWithTheirNames) {
    EncoderTable table;
    EXPECT_FALSE(table.isLoaded(0));
    table.load(qs(testsupport::binDir()));
    const char* files[] = {"mpeg_enc.so", "wma_enc.so", "ogg_enc.so", "wave_enc.so"};
    const char* extensions[] = {"mp3", "wma", "ogg", "wav"};
    const char* names[] = {"MP3 File", "WMA File", "OGG File", "WAV File"};
    for (int i = 0; i < EncoderTable::kSlotCount; ++i) {
        const auto& slot = table.slot(i);
        EXPECT_TRUE(slot.loaded()) << files[i];
        EXPECT_STREQ(slot.fileName, files[i]);
        EXPECT_STREQ(slot.extension, extensions[i]);
        EXPECT_STREQ(slot.displayName, names[i]);
        EXPECT_NE(slot.beInitStream, nullptr);
        EXPECT_NE(slot.beWriteInfoTag, nullptr);
    }
    EXPECT_FALSE(table.slot(4).loaded());
    EXPECT_FALSE(table.slot(-1).loaded());
}

TEST(EncoderTable, IncompleteAndMissingLibrariesLeaveTheirSlotsUnloaded) {
    testsupport::TempDir dir;
    const fs::path bin = testsupport::binDir();
    fs::create_symlink(bin / "mpeg_enc.so", dir.path() / "mpeg_enc.so");
    fs::create_symlink(bin / "wave_enc.so", dir.path() / "wave_enc.so");
    fs::copy_file(INCOMPLETE_PLUGIN_PATH, dir.path() / "wma_enc.so");
    // ogg_enc.so is missing.
    EncoderTable table;
    table.load(qs(dir.path().string()));
    EXPECT_TRUE(table.isLoaded(0));
    EXPECT_FALSE(table.isLoaded(1)) << "beDeinitStream missing";
    EXPECT_EQ(table.slot(1).beInitStream, nullptr);
    EXPECT_FALSE(table.isLoaded(2)) << "no library";
    EXPECT_TRUE(table.isLoaded(3));
    // The refused library was released again.
    EXPECT_EQ(dlopen("wma_enc.so", RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST(EncoderTable, ReusesALibraryAlreadyLoadedUnderTheName) {
    const std::string path = testsupport::binDir() + "/ogg_enc.so";
    void* already = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(already, nullptr);
    testsupport::TempDir empty;
    {
        EncoderTable table;
        table.load(qs(empty.path().string()));
        EXPECT_TRUE(table.isLoaded(2)) << "found in the process, not in the folder";
        EXPECT_EQ(table.slot(2).beInitStream, dlsym(already, "beInitStream"));
        EXPECT_FALSE(table.isLoaded(0));
    }
    // The table released only its own reference.
    EXPECT_NE(dlopen("ogg_enc.so", RTLD_NOW | RTLD_NOLOAD), nullptr);
    dlclose(already);
}

TEST(EncoderTable, LoadsOnlyOnce) {
    testsupport::TempDir empty;
    EncoderTable table;
    table.load(qs(empty.path().string()));
    table.load(qs(testsupport::binDir()));
    EXPECT_FALSE(table.isLoaded(3));
}

TEST(EncoderConfig, RecordBytesAreTheDocumentedLayout) {
    BeConfig c;
    std::memset(&c, 0xAB, sizeof c);
    mireldo::encoders::fillEncoderConfig(c, 44100, 1, 128);
    const auto* b = reinterpret_cast<const uint8_t*>(&c);
    auto u32 = [&](size_t at) {
        uint32_t v;
        std::memcpy(&v, b + at, 4);
        return v;
    };
    EXPECT_EQ(u32(0), 256u);
    EXPECT_EQ(u32(4), 1u);
    EXPECT_EQ(u32(8), 331u);
    EXPECT_EQ(u32(12), 44100u);
    EXPECT_EQ(u32(16), 0u);
    EXPECT_EQ(u32(20), 3u);
    EXPECT_EQ(u32(24), 128u);
    EXPECT_EQ(u32(32), 2u);
    EXPECT_EQ(u32(36), 1u);
    EXPECT_EQ(u32(60), 1u);
    EXPECT_EQ(u32(64), 1u);
    EXPECT_EQ(u32(84), 1u);
    EXPECT_EQ(b[92], 10);
    EXPECT_EQ(b[93], 0);
    for (size_t at : {28u, 40u, 44u, 48u, 52u, 56u, 68u, 72u, 76u, 80u, 88u}) {
        EXPECT_EQ(u32(at), 0u) << at;
    }
    for (size_t at = 94; at < 331; ++at) {
        ASSERT_EQ(b[at], 0) << at;
    }
    mireldo::encoders::fillEncoderConfig(c, 22050, 2, 64, 8);
    EXPECT_EQ(u32(20), 0u);
    EXPECT_EQ(u32(36), 0u);
    EXPECT_EQ(c.bitsPerSample, 8);
}

TEST(EncoderConfig, PreTagIsBlankId3v11WithTrackOne) {
    const BeId3v1Tag t = mireldo::encoders::makeId3v1PreTag();
    const auto* b = reinterpret_cast<const uint8_t*>(&t);
    EXPECT_EQ(std::memcmp(b, "TAG", 3), 0);
    for (size_t at = 3; at < 125; ++at) {
        ASSERT_EQ(b[at], ' ') << at;
    }
    EXPECT_EQ(b[125], 0);
    EXPECT_EQ(b[126], 1);
    EXPECT_EQ(b[127], 0);
}

} // namespace
