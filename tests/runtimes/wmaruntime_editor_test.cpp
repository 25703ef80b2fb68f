// The runtime's metadata editor and protection check through their exports, loaded with dlopen
// like the WMA dialog loads them. ffmpeg makes the files; ffprobe is the outside reader.
#include "test_support.h"
#include "wmaruntime_api.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

using namespace testsupport;
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

struct EditorRelease {
    void operator()(WmrMetadataEditor* e) const { e->vtbl->Release(e); }
};
using EditorPtr = std::unique_ptr<WmrMetadataEditor, EditorRelease>;

/// The format tags ffprobe reads, by key.
std::map<std::string, std::string> probe(const std::string& path) {
    const auto r =
        runCommand(std::string(MIRELDO_FFPROBE_EXE) +
                   " -v error -show_entries format_tags -of default=nw=1 " + shellQuote(path));
    std::map<std::string, std::string> tags;
    std::size_t start = 0;
    while (start < r.output.size()) {
        std::size_t end = r.output.find('\n', start);
        end = end == std::string::npos ? r.output.size() : end;
        const std::string line = r.output.substr(start, end - start);
        const auto eq = line.find('=');
        if (line.rfind("TAG:", 0) == 0 && eq != std::string::npos) {
            tags[line.substr(4, eq - 4)] = line.substr(eq + 1);
        }
        start = end + 1;
    }
    return tags;
}

/// The tag of `key`, or "<absent>".
std::string tagOf(const std::map<std::string, std::string>& tags, const std::string& key) {
    const auto it = tags.find(key);
    return it == tags.end() ? "<absent>" : it->second;
}

uint64_t le(const Bytes& b, std::size_t at, int width) {
    uint64_t v = 0;
    for (int i = 0; i < width; ++i) {
        v |= uint64_t{b.at(at + static_cast<std::size_t>(i))} << (8 * i);
    }
    return v;
}

void setLe(Bytes& b, std::size_t at, uint64_t v, int width) {
    for (int i = 0; i < width; ++i) {
        b.at(at + static_cast<std::size_t>(i)) = static_cast<uint8_t>(v >> (8 * i));
    }
}

/// Everything after the header object: the data packets and any index.
Bytes afterHeader(const Bytes& file) {
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(le(file, 16, 8)), file.end());
}

/// A content encryption object (protection type "DRM") in the file's byte order.
Bytes encryptionObject() {
    Bytes o = {0xFB, 0xB3, 0x11, 0x22, 0x23, 0xBD, 0xD2, 0x11,
               0xB4, 0xB7, 0x00, 0xA0, 0xC9, 0x55, 0xFC, 0x6E};
    Bytes body;
    putU32(body, 4);
    putBytes(body, "ABCD");
    putU32(body, 4);
    putBytes(body, "DRM");
    body.push_back(0);
    putU32(body, 0);
    putU32(body, 0);
    putU32(o, static_cast<uint32_t>(24 + body.size()));
    putU32(o, 0);
    o.insert(o.end(), body.begin(), body.end());
    return o;
}

/// `file` with `object` as the header's first object.
Bytes withHeaderObject(Bytes file, const Bytes& object) {
    setLe(file, 16, le(file, 16, 8) + object.size(), 8);
    setLe(file, 24, le(file, 24, 4) + 1, 4);
    file.insert(file.begin() + 30, object.begin(), object.end());
    return file;
}

/// `file` with `object` as the first object inside its header extension.
Bytes withExtensionObject(Bytes file, const Bytes& object) {
    const uint8_t extension[4] = {0xB5, 0x03, 0xBF, 0x5F};
    std::size_t at = 30;
    while (std::memcmp(file.data() + at, extension, 4) != 0) {
        at += static_cast<std::size_t>(le(file, at + 16, 8));
        if (at + 24 > le(file, 16, 8)) {
            ADD_FAILURE() << "no header extension";
            return file;
        }
    }
    setLe(file, 16, le(file, 16, 8) + object.size(), 8);
    setLe(file, at + 16, le(file, at + 16, 8) + object.size(), 8);
    setLe(file, at + 42, le(file, at + 42, 4) + object.size(), 4);
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(at + 46), object.begin(), object.end());
    return file;
}

class WmaEditor : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = new TempDir();
        // Text attributes as ffmpeg stores them: title, artist and comment in the content
        // description, the others as string attributes.
        const std::string f = dir->file("tagged.wma");
        const auto enc = runCommand(
            std::string(MIRELDO_FFMPEG_EXE) +
            " -nostdin -v error -y -f lavfi -i sine=f=440:d=1:r=44100 -c:a wmav2 -b:a 64k"
            " -metadata title='Café ж' -metadata artist=Artist -metadata album=Album"
            " -metadata date=1999 -metadata comment='A comment' -metadata track=7"
            " -metadata genre=Jazz " +
            shellQuote(f) + " 2>&1");
        ASSERT_EQ(enc.exitCode, 0) << enc.output;
        tagged = new Bytes(readFile(f));
    }
    static void TearDownTestSuite() {
        delete tagged;
        delete dir;
        tagged = nullptr;
        dir = nullptr;
    }
    void SetUp() override {
        library = dlopen(WMARUNTIME_PATH, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        ASSERT_NE(library, nullptr) << dlerror();
        createEditor = reinterpret_cast<WmrCreateEditorFn>(dlsym(library, WMR_EDITOR_FACTORY_NAME));
        isProtected =
            reinterpret_cast<WmrIsContentProtectedFn>(dlsym(library, WMR_PROTECTION_CHECK_NAME));
        ASSERT_NE(createEditor, nullptr);
        ASSERT_NE(isProtected, nullptr);
        writeFile(path, *tagged);
    }
    void TearDown() override {
        if (library != nullptr) {
            dlclose(library);
        }
    }
    EditorPtr open(const std::string& file) {
        WmrMetadataEditor* e = nullptr;
        EXPECT_EQ(createEditor(WMR_API_VERSION, &e), WMR_OK);
        EditorPtr editor(e);
        EXPECT_EQ(e->vtbl->Open(e, file.c_str()), WMR_OK);
        return editor;
    }
    /// A string attribute of stream 0, asked for its size first as the dialog does.
    static std::string text(WmrMetadataEditor* e, const char* name) {
        uint32_t type = 0;
        uint32_t length = 0;
        const int32_t hr = e->vtbl->GetAttributeByName(e, 0, name, &type, nullptr, &length);
        if (hr == WMR_E_NOT_FOUND) {
            return "<missing>";
        }
        EXPECT_EQ(hr, WMR_OK) << name;
        EXPECT_EQ(type, WMR_TYPE_STRING) << name;
        std::string value(length, '\0');
        EXPECT_EQ(e->vtbl->GetAttributeByName(e, 0, name, &type,
                                              reinterpret_cast<uint8_t*>(value.data()), &length),
                  WMR_OK);
        EXPECT_TRUE(length > 0 && value[length - 1] == '\0') << name << ": NUL-terminated";
        return value.substr(0, value.find('\0'));
    }
    static int32_t setText(WmrMetadataEditor* e, const char* name, const std::string& value) {
        return e->vtbl->SetAttribute(e, 0, name, WMR_TYPE_STRING,
                                     reinterpret_cast<const uint8_t*>(value.data()),
                                     static_cast<uint32_t>(value.size()));
    }
    std::size_t filesInFolder() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(work.path()), fs::directory_iterator()));
    }

    static TempDir* dir;
    static Bytes* tagged;
    TempDir work;
    std::string path = work.file("song.wma");
    void* library = nullptr;
    WmrCreateEditorFn createEditor = nullptr;
    WmrIsContentProtectedFn isProtected = nullptr;
};
TempDir* WmaEditor::dir = nullptr;
Bytes* WmaEditor::tagged = nullptr;

// The seven attributes the WMA dialog edits, in the order it reads them, with ffprobe's keys.
// ffmpeg writes the year as "date" and names "WM/Year" by its own name when reading.
const std::pair<const char*, const char*> kSeven[] = {
    {"Title", "title"},   {"Author", "artist"},       {"Description", "comment"},
    {"WM/Year", "date"},  {"WM/AlbumTitle", "album"}, {"WM/TrackNumber", "track"},
    {"WM/Genre", "genre"}};
std::string keyAfterWrite(const std::string& key) {
    return key == "date" ? "WM/Year" : key;
}

TEST_F(WmaEditor, ReadsWhatFfprobeReadsAndWritesWhatItThenReads) {
    const auto before = probe(path);
    EditorPtr e = open(path);
    for (const auto& [name, key] : kSeven) {
        EXPECT_EQ(text(e.get(), name), tagOf(before, key)) << name;
    }

    // Write all seven as strings (the dialog's way), including text beyond Latin-1, a blank and
    // a genre no list knows.
    const std::map<std::string, std::string> written = {
        {"Title", "Zürich ж naïve"}, {"Author", "Someone Else"},  {"Description", " "},
        {"WM/Year", "2024"},         {"WM/AlbumTitle", "Second"}, {"WM/TrackNumber", "12"},
        {"WM/Genre", "Chiptune"}};
    for (const auto& [name, key] : kSeven) {
        ASSERT_EQ(setText(e.get(), name, written.at(name)), WMR_OK) << name;
        EXPECT_EQ(text(e.get(), name), written.at(name)) << name << " is seen before Flush";
    }
    EXPECT_EQ(readFile(path), *tagged) << "nothing reaches the file before Flush";
    ASSERT_EQ(e->vtbl->Flush(e.get()), WMR_OK);
    EXPECT_EQ(e->vtbl->Close(e.get()), WMR_E_UNEXPECTED) << "Flush closes";

    const auto after = probe(path);
    EditorPtr again = open(path);
    for (const auto& [name, key] : kSeven) {
        EXPECT_EQ(text(again.get(), name), written.at(name)) << name;
        EXPECT_EQ(tagOf(after, keyAfterWrite(key)), written.at(name)) << key;
    }
    EXPECT_EQ(tagOf(after, "date"), "<absent>") << "the year has one value left";
    // Only the header changed: the packets after it are the old ones byte for byte.
    const Bytes now = readFile(path);
    EXPECT_NE(le(now, 16, 8), le(*tagged, 16, 8));
    EXPECT_TRUE(afterHeader(now) == afterHeader(*tagged));
    EXPECT_EQ(filesInFolder(), 1u) << "no temporary file is left behind";
}

TEST_F(WmaEditor, KeepsEachValueTypeAndAsksForRoom) {
    EditorPtr e = open(path);
    const uint8_t dword[4] = {7, 0, 0, 0};
    const uint8_t qword[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const uint8_t word[2] = {0x34, 0x12};
    const uint8_t yes[4] = {1, 0, 0, 0};
    const uint8_t blob[3] = {9, 0, 9};
    ASSERT_EQ(e->vtbl->SetAttribute(e.get(), 0, "WM/TrackNumber", WMR_TYPE_DWORD, dword, 4),
              WMR_OK);
    ASSERT_EQ(e->vtbl->SetAttribute(e.get(), 0, "Test/Q", WMR_TYPE_QWORD, qword, 8), WMR_OK);
    ASSERT_EQ(e->vtbl->SetAttribute(e.get(), 0, "Test/W", WMR_TYPE_WORD, word, 2), WMR_OK);
    ASSERT_EQ(e->vtbl->SetAttribute(e.get(), 0, "Test/B", WMR_TYPE_BOOL, yes, 4), WMR_OK);
    ASSERT_EQ(e->vtbl->SetAttribute(e.get(), 0, "Test/Bin", WMR_TYPE_BINARY, blob, 3), WMR_OK);
    // Widths that do not fit the type, identifiers, typed content-description names, and
    // streams other than the file's are refused.
    EXPECT_EQ(e->vtbl->SetAttribute(e.get(), 0, "Test/Q", WMR_TYPE_QWORD, qword, 4),
              WMR_E_INVALIDARG);
    EXPECT_EQ(e->vtbl->SetAttribute(e.get(), 0, "Test/G", WMR_TYPE_GUID, qword, 8),
              WMR_E_INVALIDARG);
    EXPECT_EQ(e->vtbl->SetAttribute(e.get(), 0, "Title", WMR_TYPE_DWORD, dword, 4),
              WMR_E_INVALIDARG);
    EXPECT_EQ(e->vtbl->SetAttribute(e.get(), 3, "WM/Year", WMR_TYPE_DWORD, dword, 4),
              WMR_E_NOT_FOUND);
    ASSERT_EQ(e->vtbl->Flush(e.get()), WMR_OK);

    EXPECT_EQ(tagOf(probe(path), "track"), "7") << "ffprobe reads the 32-bit number too";
    EditorPtr again = open(path);
    const struct {
        const char* name;
        uint32_t type;
        Bytes value;
    } expected[] = {{"WM/TrackNumber", WMR_TYPE_DWORD, {7, 0, 0, 0}},
                    {"Test/Q", WMR_TYPE_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
                    {"Test/W", WMR_TYPE_WORD, {0x34, 0x12}},
                    {"Test/B", WMR_TYPE_BOOL, {1, 0, 0, 0}},
                    {"Test/Bin", WMR_TYPE_BINARY, {9, 0, 9}}};
    for (const auto& x : expected) {
        uint32_t type = 99;
        uint32_t length = 0;
        ASSERT_EQ(again->vtbl->GetAttributeByName(again.get(), 0, x.name, &type, nullptr, &length),
                  WMR_OK)
            << x.name;
        EXPECT_EQ(type, x.type) << x.name;
        ASSERT_EQ(length, x.value.size()) << x.name;
        Bytes value(length + 2, 0xEE);
        uint32_t small = length - 1;
        EXPECT_EQ(
            again->vtbl->GetAttributeByName(again.get(), 0, x.name, &type, value.data(), &small),
            WMR_E_BUFFER_TOO_SMALL)
            << x.name;
        uint32_t room = static_cast<uint32_t>(value.size());
        ASSERT_EQ(
            again->vtbl->GetAttributeByName(again.get(), 0, x.name, &type, value.data(), &room),
            WMR_OK);
        EXPECT_EQ(room, length) << "the length written back is the value's";
        value.resize(length);
        EXPECT_EQ(value, x.value) << x.name;
    }
}

TEST_F(WmaEditor, AnswersMissingAttributesCallsOutOfOrderAndOtherFiles) {
    WmrMetadataEditor* raw = nullptr;
    EXPECT_EQ(createEditor(WMR_API_VERSION + 1, &raw), WMR_E_INVALIDARG);
    EXPECT_EQ(raw, nullptr);
    EXPECT_EQ(createEditor(WMR_API_VERSION, nullptr), WMR_E_INVALIDARG);
    ASSERT_EQ(createEditor(WMR_API_VERSION, &raw), WMR_OK);
    EditorPtr e(raw);
    uint32_t type = 0;
    uint32_t length = 0;
    EXPECT_EQ(e->vtbl->GetAttributeByName(e.get(), 0, "Title", &type, nullptr, &length),
              WMR_E_UNEXPECTED);
    EXPECT_EQ(setText(e.get(), "Title", "x"), WMR_E_UNEXPECTED);
    EXPECT_EQ(e->vtbl->Flush(e.get()), WMR_E_UNEXPECTED);
    EXPECT_EQ(e->vtbl->Close(e.get()), WMR_E_UNEXPECTED);

    // Not ASF: a WAV, a missing file, a header that claims more bytes than the file has.
    const std::string wav = work.file("x.wav");
    writeFile(wav, makeWav(1, 8000, 16, patternBytes(400)));
    EXPECT_EQ(e->vtbl->Open(e.get(), wav.c_str()), WMR_E_INVALID_FILE);
    EXPECT_EQ(e->vtbl->Open(e.get(), work.file("none.wma").c_str()), WMR_E_INVALID_FILE);
    EXPECT_EQ(e->vtbl->Open(e.get(), nullptr), WMR_E_INVALIDARG);
    const std::string cut = work.file("cut.wma");
    writeFile(cut, Bytes(tagged->begin(), tagged->begin() + 200));
    EXPECT_EQ(e->vtbl->Open(e.get(), cut.c_str()), WMR_E_INVALID_FILE);

    // Missing attributes, and attributes of a stream the file has none for.
    ASSERT_EQ(createEditor(WMR_API_VERSION, &raw), WMR_OK);
    EditorPtr plain(raw);
    const std::string bare = work.file("bare.wma");
    const auto enc = runCommand(std::string(MIRELDO_FFMPEG_EXE) +
                                " -nostdin -v error -y -f lavfi -i sine=d=0.5 -c:a wmav2"
                                " -fflags +bitexact -map_metadata -1 " +
                                shellQuote(bare) + " 2>&1");
    ASSERT_EQ(enc.exitCode, 0) << enc.output;
    ASSERT_EQ(plain->vtbl->Open(plain.get(), bare.c_str()), WMR_OK);
    for (const auto& [name, key] : kSeven) {
        EXPECT_EQ(text(plain.get(), name), "<missing>") << name;
    }
    EXPECT_EQ(plain->vtbl->GetAttributeByName(plain.get(), 5, "WM/Genre", &type, nullptr, &length),
              WMR_E_NOT_FOUND);

    // Close forgets the changes.
    EditorPtr edited = open(path);
    ASSERT_EQ(setText(edited.get(), "Title", "Never saved"), WMR_OK);
    EXPECT_EQ(edited->vtbl->Close(edited.get()), WMR_OK);
    edited.reset();
    EXPECT_EQ(readFile(path), *tagged);
}

TEST_F(WmaEditor, FindsContentEncryptionInTheHeaderAndItsExtension) {
    int32_t isProt = -1;
    ASSERT_EQ(isProtected(path.c_str(), &isProt), WMR_OK);
    EXPECT_EQ(isProt, 0);

    const std::string top = work.file("top.wma");
    writeFile(top, withHeaderObject(*tagged, encryptionObject()));
    ASSERT_EQ(isProtected(top.c_str(), &isProt), WMR_OK);
    EXPECT_EQ(isProt, 1);

    const std::string nested = work.file("nested.wma");
    Bytes inside = encryptionObject();
    inside[0] = 0x33; // the advanced content encryption object lives in the extension
    inside[1] = 0x85;
    inside[2] = 0x05;
    inside[3] = 0x43;
    const uint8_t advanced[12] = {0x81, 0x69, 0xE6, 0x49, 0x9B, 0x74,
                                  0xAD, 0x12, 0xCB, 0x86, 0xD5, 0x8C};
    std::memcpy(inside.data() + 4, advanced, sizeof advanced);
    writeFile(nested, withExtensionObject(*tagged, inside));
    ASSERT_EQ(isProtected(nested.c_str(), &isProt), WMR_OK);
    EXPECT_EQ(isProt, 1);
    EXPECT_EQ(tagOf(probe(nested), "title"), "Café ж") << "the test's header is still well formed";

    // A header whose object claims to run past it is walked no further.
    Bytes broken = withHeaderObject(*tagged, encryptionObject());
    setLe(broken, 30 + 16, 1u << 30, 8);
    const std::string bad = work.file("bad.wma");
    writeFile(bad, broken);
    ASSERT_EQ(isProtected(bad.c_str(), &isProt), WMR_OK);
    EXPECT_EQ(isProt, 0);

    const std::string wav = work.file("x.wav");
    writeFile(wav, makeWav(1, 8000, 16, patternBytes(400)));
    EXPECT_EQ(isProtected(wav.c_str(), &isProt), WMR_E_INVALID_FILE);
    EXPECT_EQ(isProtected(nullptr, &isProt), WMR_E_INVALIDARG);
    EXPECT_EQ(isProtected(path.c_str(), nullptr), WMR_E_INVALIDARG);
}

TEST_F(WmaEditor, SaveGoesThroughALinkAndKeepsTheMode) {
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const std::string link = work.file("link.wma");
    fs::create_symlink("song.wma", link);
    EditorPtr e = open(link);
    ASSERT_EQ(setText(e.get(), "WM/AlbumTitle", "Through the link"), WMR_OK);
    ASSERT_EQ(e->vtbl->Flush(e.get()), WMR_OK);
    EXPECT_TRUE(fs::is_symlink(link)) << "the link is still a link";
    EXPECT_EQ(fs::read_symlink(link), fs::path("song.wma"));
    EXPECT_EQ(tagOf(probe(path), "album"), "Through the link");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(filesInFolder(), 2u);
}

TEST_F(WmaEditor, AnInterruptedSaveLeavesTheOldFileWhole) {
    EditorPtr e = open(path);
    ASSERT_EQ(setText(e.get(), "Title", "Grown title that does not fit"), WMR_OK);

    // The new file cannot grow past a few kilobytes: the copy stops part-way, as on a full disk.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
    struct rlimit low = old;
    low.rlim_cur = 6000;
    ASSERT_LT(low.rlim_cur, tagged->size());
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
    const int32_t hr = e->vtbl->Flush(e.get());
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_EQ(hr, WMR_E_WRITE_FAILED);
    EXPECT_EQ(readFile(path), *tagged);
    EXPECT_EQ(filesInFolder(), 1u) << "the half-written copy is removed";

    // The editor stays open with its change; once the disk has room the save goes through.
    EXPECT_EQ(text(e.get(), "Title"), "Grown title that does not fit");
    ASSERT_EQ(e->vtbl->Flush(e.get()), WMR_OK);
    EXPECT_EQ(tagOf(probe(path), "title"), "Grown title that does not fit");
    EXPECT_TRUE(afterHeader(readFile(path)) == afterHeader(*tagged));
}

TEST_F(WmaEditor, AFileChangedSinceOpeningIsNotOverwritten) {
    EditorPtr e = open(path);
    ASSERT_EQ(setText(e.get(), "Title", "Mine"), WMR_OK);
    // Another program retags the file meanwhile.
    EditorPtr other = open(path);
    ASSERT_EQ(setText(other.get(), "Title", "Theirs"), WMR_OK);
    ASSERT_EQ(other->vtbl->Flush(other.get()), WMR_OK);
    const Bytes theirs = readFile(path);
    EXPECT_EQ(e->vtbl->Flush(e.get()), WMR_E_WRITE_FAILED);
    EXPECT_EQ(readFile(path), theirs);
    EXPECT_EQ(filesInFolder(), 1u);
}

} // namespace
