// wmaruntime's reader through its export and its function tables, loaded with dlopen like its
// hosts.
#include "test_support.h"
#include "wmaruntime_api.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <memory>
#include <set>
#include <sstream>

using namespace testsupport;

namespace {

struct ReaderRelease {
    void operator()(WmrSyncReader* r) const { r->vtbl->Release(r); }
};
using ReaderPtr = std::unique_ptr<WmrSyncReader, ReaderRelease>;
struct SampleRelease {
    void operator()(WmrSample* s) const { s->vtbl->Release(s); }
};
using SamplePtr = std::unique_ptr<WmrSample, SampleRelease>;

class WmaRuntime : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = new TempDir();
        file = dir->file("tone.wma");
        const std::string wav = dir->file("tone.wav");
        const auto sox = runCommand(std::string(MIRELDO_SOX_EXE) + " -n -r 44100 -b 16 -c 2 " +
                                    shellQuote(wav) + " synth 1 sine 440 sine 555 2>&1");
        ASSERT_EQ(sox.exitCode, 0) << sox.output;
        const auto enc =
            runCommand(std::string(MIRELDO_FFMPEG_EXE) + " -nostdin -v error -y -i " +
                       shellQuote(wav) + " -c:a wmav2 -b:a 128k " + shellQuote(file) + " 2>&1");
        ASSERT_EQ(enc.exitCode, 0) << enc.output;
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    void SetUp() override {
        library = dlopen(WMARUNTIME_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        ASSERT_NE(library, nullptr) << dlerror();
        factory = reinterpret_cast<WmrCreateSyncReaderFn>(dlsym(library, WMR_FACTORY_NAME));
        ASSERT_NE(factory, nullptr);
    }
    void TearDown() override {
        if (library != nullptr) {
            dlclose(library);
        }
    }
    ReaderPtr create() {
        WmrSyncReader* r = nullptr;
        EXPECT_EQ(factory(WMR_API_VERSION, WMR_RIGHTS_PLAYBACK, &r), WMR_OK);
        return ReaderPtr(r);
    }
    // An open reader with its audio stream (number 1) selected for decoded samples.
    ReaderPtr openSelected() {
        ReaderPtr r = create();
        EXPECT_EQ(r->vtbl->Open(r.get(), file.c_str()), WMR_OK);
        EXPECT_EQ(r->vtbl->SetStreamSelected(r.get(), 1, 1), WMR_OK);
        EXPECT_EQ(r->vtbl->SetReadStreamSamples(r.get(), 1, 0), WMR_OK);
        return r;
    }
    // Every frame delivered from here to the end.
    static std::vector<uint8_t> drain(WmrSyncReader* r, std::vector<uint64_t>* times = nullptr) {
        std::vector<uint8_t> out;
        for (;;) {
            WmrSample* raw = nullptr;
            uint64_t time = 0;
            uint64_t duration = 0;
            const int32_t hr = r->vtbl->GetNextSample(r, 1, &raw, &time, &duration);
            if (hr != WMR_OK) {
                EXPECT_EQ(hr, WMR_E_NO_MORE_SAMPLES);
                return out;
            }
            SamplePtr s(raw);
            uint8_t* data = nullptr;
            uint32_t length = 0;
            EXPECT_EQ(s->vtbl->GetBufferAndLength(s.get(), &data, &length), WMR_OK);
            EXPECT_EQ(length % 4, 0u);
            out.insert(out.end(), data, data + length);
            if (times != nullptr) {
                times->push_back(time);
            }
        }
    }

    static TempDir* dir;
    static std::string file;
    void* library = nullptr;
    WmrCreateSyncReaderFn factory = nullptr;
};
TempDir* WmaRuntime::dir = nullptr;
std::string WmaRuntime::file;

TEST_F(WmaRuntime, ExportsOnlyTheFactoriesAndTheProtectionCheck) {
    const auto r = runCommand("nm -D --defined-only " + shellQuote(WMARUNTIME_PATH) + " 2>&1");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    std::set<std::string> exported;
    std::istringstream lines(r.output);
    std::string address, type, name;
    while (lines >> address >> type >> name) {
        exported.insert(name);
    }
    EXPECT_EQ(exported, (std::set<std::string>{"WMCreateSyncReader", "WMCreateEditor",
                                               "WMIsContentProtected"}));
}

TEST_F(WmaRuntime, FactoryRefusesOtherVersionsAndRights) {
    WmrSyncReader* r = nullptr;
    EXPECT_EQ(factory(WMR_API_VERSION + 1, WMR_RIGHTS_PLAYBACK, &r), WMR_E_INVALIDARG);
    EXPECT_EQ(factory(WMR_API_VERSION, 0, &r), WMR_E_INVALIDARG);
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(factory(WMR_API_VERSION, WMR_RIGHTS_PLAYBACK, nullptr), WMR_E_INVALIDARG);
}

TEST_F(WmaRuntime, AttributesAreAskedForLengthThenValue) {
    ReaderPtr r = create();
    uint32_t type = 0;
    uint16_t length = 0;
    EXPECT_EQ(r->vtbl->GetAttributeByName(r.get(), 0, "Duration", &type, nullptr, &length),
              WMR_E_UNEXPECTED)
        << "nothing is open yet";
    ASSERT_EQ(r->vtbl->Open(r.get(), file.c_str()), WMR_OK);

    ASSERT_EQ(r->vtbl->GetAttributeByName(r.get(), 0, "Duration", &type, nullptr, &length), WMR_OK);
    EXPECT_EQ(type, WMR_TYPE_QWORD);
    ASSERT_EQ(length, 8);
    uint8_t small[4] = {};
    length = sizeof small;
    EXPECT_EQ(r->vtbl->GetAttributeByName(r.get(), 0, "Duration", &type, small, &length),
              WMR_E_BUFFER_TOO_SMALL);
    uint64_t duration = 0;
    length = 8;
    ASSERT_EQ(r->vtbl->GetAttributeByName(r.get(), 0, "Duration", &type,
                                          reinterpret_cast<uint8_t*>(&duration), &length),
              WMR_OK);
    // One second of input; the header counts the encoder's last 2048-frame block whole.
    EXPECT_GE(duration, 10'000'000u);
    EXPECT_LE(duration, 10'000'000ull + 2048ull * 10'000'000ull / 44100ull + 10'000ull);

    uint32_t bitrate = 0;
    length = 4;
    ASSERT_EQ(r->vtbl->GetAttributeByName(r.get(), 0, "Bitrate", &type,
                                          reinterpret_cast<uint8_t*>(&bitrate), &length),
              WMR_OK);
    EXPECT_EQ(type, WMR_TYPE_DWORD);
    EXPECT_EQ(bitrate, 128000u);

    EXPECT_EQ(r->vtbl->GetAttributeByName(r.get(), 0, "NoSuchThing", &type, nullptr, &length),
              WMR_E_NOT_FOUND);
    EXPECT_EQ(r->vtbl->GetAttributeByName(r.get(), 9, "Duration", &type, nullptr, &length),
              WMR_E_NOT_FOUND);
}

TEST_F(WmaRuntime, DescribesItsAudioOutput) {
    ReaderPtr r = create();
    ASSERT_EQ(r->vtbl->Open(r.get(), file.c_str()), WMR_OK);
    uint32_t outputs = 0;
    ASSERT_EQ(r->vtbl->GetOutputCount(r.get(), &outputs), WMR_OK);
    ASSERT_EQ(outputs, 1u);
    uint16_t number = 0;
    WmrGuid major{};
    ASSERT_EQ(r->vtbl->GetStream(r.get(), 0, &number, &major), WMR_OK);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(std::memcmp(&major, &WMR_MEDIATYPE_Audio, sizeof major), 0);
    EXPECT_EQ(r->vtbl->GetStream(r.get(), 1, &number, &major), WMR_E_NOT_FOUND);

    WmrMediaType type{};
    ASSERT_EQ(r->vtbl->GetOutputFormat(r.get(), 0, 0, &type), WMR_OK);
    ASSERT_EQ(type.formatSize, 18u);
    const uint8_t expected[18] = {1,    0, 2, 0, 0x44, 0xAC, 0, 0, 0x10,
                                  0xB1, 2, 0, 4, 0,    16,   0, 0, 0};
    EXPECT_EQ(std::memcmp(type.format, expected, 18), 0); // PCM, 2 ch, 44100 Hz, 16 bit
    EXPECT_EQ(r->vtbl->GetOutputFormat(r.get(), 0, 1, &type), WMR_E_NOT_FOUND);
    EXPECT_EQ(r->vtbl->SetReadStreamSamples(r.get(), 1, 1), WMR_E_UNSUPPORTED);
}

TEST_F(WmaRuntime, RangesStartAtTheNearestFrameAndEndWhereAsked) {
    ReaderPtr r = openSelected();
    std::vector<uint64_t> times;
    const std::vector<uint8_t> all = drain(r.get(), &times);
    ASSERT_GT(all.size(), size_t{40000} * 4);
    EXPECT_EQ(times.front(), 0u);
    // Once at the end, it stays there.
    WmrSample* none = nullptr;
    EXPECT_EQ(r->vtbl->GetNextSample(r.get(), 1, &none, nullptr, nullptr), WMR_E_NO_MORE_SAMPLES);
    EXPECT_EQ(none, nullptr);

    // Frame 25000 starts at 5668934.24 units: a truncated start still finds it. 1000 frames
    // later (226757 units) delivery stops.
    ASSERT_EQ(r->vtbl->SetRange(r.get(), 5668934, 226757), WMR_OK);
    times.clear();
    const std::vector<uint8_t> part = drain(r.get(), &times);
    ASSERT_EQ(part.size(), size_t{1000} * 4);
    EXPECT_EQ(std::memcmp(part.data(), all.data() + size_t{25000} * 4, part.size()), 0);
    EXPECT_EQ(times.front(), 5668934u);

    // A start beyond the end is accepted and delivers nothing.
    ASSERT_EQ(r->vtbl->SetRange(r.get(), 50'000'000, 0), WMR_OK);
    EXPECT_TRUE(drain(r.get()).empty());
    EXPECT_EQ(r->vtbl->SetRange(r.get(), 0, -1), WMR_E_INVALIDARG);
    // And from the start again it is the same stream.
    ASSERT_EQ(r->vtbl->SetRange(r.get(), 0, 0), WMR_OK);
    EXPECT_TRUE(drain(r.get()) == all);
}

TEST_F(WmaRuntime, CallsOutOfOrderAndBadFilesAreAnswered) {
    ReaderPtr r = create();
    WmrSample* s = nullptr;
    EXPECT_EQ(r->vtbl->GetNextSample(r.get(), 1, &s, nullptr, nullptr), WMR_E_UNEXPECTED);
    EXPECT_EQ(r->vtbl->SetRange(r.get(), 0, 0), WMR_E_UNEXPECTED);
    EXPECT_EQ(r->vtbl->Close(r.get()), WMR_E_UNEXPECTED);
    EXPECT_EQ(r->vtbl->Open(r.get(), dir->file("missing.wma").c_str()), WMR_E_INVALID_FILE);
    EXPECT_EQ(r->vtbl->Open(r.get(), nullptr), WMR_E_INVALIDARG);
    // A name that looks like a protocol is a file name all the same.
    EXPECT_EQ(r->vtbl->Open(r.get(), "pipe:0"), WMR_E_INVALID_FILE);

    ASSERT_EQ(r->vtbl->Open(r.get(), file.c_str()), WMR_OK);
    EXPECT_EQ(r->vtbl->GetNextSample(r.get(), 1, &s, nullptr, nullptr), WMR_E_UNEXPECTED)
        << "no stream selected";
    EXPECT_EQ(r->vtbl->SetStreamSelected(r.get(), 5, 1), WMR_E_NOT_FOUND);
    ASSERT_EQ(r->vtbl->SetStreamSelected(r.get(), 1, 1), WMR_OK);
    EXPECT_EQ(r->vtbl->GetNextSample(r.get(), 2, &s, nullptr, nullptr), WMR_E_NOT_FOUND);

    // A sample outlives the reader that made it.
    ASSERT_EQ(r->vtbl->GetNextSample(r.get(), 1, &s, nullptr, nullptr), WMR_OK);
    SamplePtr kept(s);
    EXPECT_EQ(r->vtbl->Close(r.get()), WMR_OK);
    r.reset();
    uint8_t* data = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(kept->vtbl->GetBufferAndLength(kept.get(), &data, &length), WMR_OK);
    ASSERT_GT(length, 0u);
    const std::vector<uint8_t> copy(data, data + length); // still readable (the sanitizers watch)
    EXPECT_EQ(copy.size(), length);
}

} // namespace
