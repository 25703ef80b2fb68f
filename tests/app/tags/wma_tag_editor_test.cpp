// The WMA dialog's editor over the real runtime: what it reads from files ffmpeg makes, the
// value conversions by type, what an Update stores, and the files it refuses.

#include "test_support.h"
#include "wma_tag_editor.h"
#include "wmaruntime_api.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <map>

using namespace mireldo::tags;
using namespace testsupport;
using Bytes = std::vector<uint8_t>;

namespace {

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

void makeWma(const std::string& path, const std::string& metadata) {
    const auto r = runCommand(std::string(MIRELDO_FFMPEG_EXE) +
                              " -nostdin -v error -y -f lavfi -i sine=d=0.5 -c:a wmav2 " +
                              metadata + " " + shellQuote(path) + " 2>&1");
    ASSERT_EQ(r.exitCode, 0) << r.output;
}

/// Stores a 32-bit "WM/TrackNumber" through the runtime, as other programs write it.
void setDwordTrack(const std::string& path, uint32_t track) {
    void* library = dlopen(WMR_LIBRARY_NAME, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(library, nullptr) << dlerror();
    auto create = reinterpret_cast<WmrCreateEditorFn>(dlsym(library, WMR_EDITOR_FACTORY_NAME));
    WmrMetadataEditor* e = nullptr;
    ASSERT_EQ(create(WMR_API_VERSION, &e), WMR_OK);
    ASSERT_EQ(e->vtbl->Open(e, path.c_str()), WMR_OK);
    const uint8_t value[4] = {static_cast<uint8_t>(track), static_cast<uint8_t>(track >> 8),
                              static_cast<uint8_t>(track >> 16), static_cast<uint8_t>(track >> 24)};
    EXPECT_EQ(e->vtbl->SetAttribute(e, 0, "WM/TrackNumber", WMR_TYPE_DWORD, value, 4), WMR_OK);
    EXPECT_EQ(e->vtbl->Flush(e), WMR_OK);
    e->vtbl->Release(e);
    dlclose(library);
}

class WmaTagEditing : public ::testing::Test {
  protected:
    QString qpath() const { return QString::fromStdString(path_); }
    TempDir dir_;
    std::string path_ = dir_.file("song.wma");
};

TEST_F(WmaTagEditing, ReadsTheSevenFieldsAsFfprobeDoesAndTrimsThem) {
    makeWma(path_, "-metadata title='  Spaced title  ' -metadata artist='Ärger ж'"
                   " -metadata album=Album -metadata comment=Words -metadata track='12/14'"
                   " -metadata genre=Jazz");
    WmaTagEditor editor;
    ASSERT_TRUE(editor.open(qpath()));
    EXPECT_TRUE(editor.isOpen());
    const TagFields f = editor.fields();
    const auto tags = probe(path_);
    EXPECT_EQ(f.title.toStdString(), "Spaced title");
    EXPECT_EQ(f.artist.toStdString(), tags.at("artist"));
    EXPECT_EQ(f.album.toStdString(), tags.at("album"));
    EXPECT_EQ(f.comment.toStdString(), tags.at("comment"));
    EXPECT_EQ(f.track, 12) << "the leading number of \"12/14\"";
    EXPECT_EQ(f.genreText.toStdString(), tags.at("genre"));
    EXPECT_TRUE(f.year.isEmpty()) << "no year: the field keeps its default";
}

TEST_F(WmaTagEditing, AThirtyTwoBitTrackReadsAsItsNumberAndIsWrittenBackAsText) {
    makeWma(path_, "-metadata title=T");
    setDwordTrack(path_, 7);
    WmaTagEditor editor;
    ASSERT_TRUE(editor.open(qpath()));
    EXPECT_EQ(editor.fields().track, 7);
    EXPECT_EQ(editor.fields().genreText, QString()) << "no genre attribute";

    TagFields f = editor.fields();
    f.comment = QString(); // stored as one blank
    f.year = QStringLiteral("1987   ");
    f.track = 300; // clamped to 254
    ASSERT_TRUE(editor.write(f));
    const auto tags = probe(path_);
    EXPECT_EQ(tags.at("comment"), " ");
    EXPECT_EQ(tags.at("WM/Year"), "1987");
    EXPECT_EQ(tags.at("track"), "254");
    EXPECT_EQ(tags.at("genre"), "Other") << "the selected entry's text, position 12";
    EXPECT_EQ(tags.at("artist"), " ");

    WmaTagEditor again;
    ASSERT_TRUE(again.open(qpath()));
    EXPECT_EQ(again.fields().comment, QString()) << "the blank trims away";
    EXPECT_EQ(again.fields().track, 254);

    // And a track of 7 goes back as the string "7".
    f = again.fields();
    f.track = 7;
    ASSERT_TRUE(again.write(f));
    EXPECT_EQ(probe(path_).at("track"), "7");
}

TEST_F(WmaTagEditing, ValuesBecomeTextByTheirType) {
    const auto text = [](uint32_t type, Bytes value) {
        QString out = QStringLiteral("unchanged");
        const bool ok = attributeText(type, value.data(), static_cast<uint32_t>(value.size()), out);
        return ok ? out.toStdString() : "<none>";
    };
    EXPECT_EQ(text(WMR_TYPE_DWORD, {7, 0, 0, 0}), "7");
    EXPECT_EQ(text(WMR_TYPE_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}), "-1") << "signed, as %d";
    EXPECT_EQ(text(WMR_TYPE_QWORD, Bytes(8, 0xFF)), "18446744073709551615");
    EXPECT_EQ(text(WMR_TYPE_WORD, {0xFF, 0xFF}), "65535");
    EXPECT_EQ(text(WMR_TYPE_BOOL, {1, 0, 0, 0}), "True");
    EXPECT_EQ(text(WMR_TYPE_BOOL, {2, 0, 0, 0}), "False");
    EXPECT_EQ(text(WMR_TYPE_STRING, {'a', 0xC3, 0xA9, 0, 'x'}), "a\xC3\xA9");
    EXPECT_EQ(text(WMR_TYPE_BINARY, {1, 2}), "<none>");
    EXPECT_EQ(text(WMR_TYPE_GUID, Bytes(16, 1)), "<none>");
    EXPECT_EQ(text(WMR_TYPE_DWORD, {7, 0}), "<none>") << "too short for its type";
}

TEST_F(WmaTagEditing, ProtectedUnreadableOrRuntimeLessFilesAreNotEdited) {
    makeWma(path_, "-metadata title=T");
    Bytes file = readFile(path_);
    // A content encryption object as the header's first object.
    Bytes object = {0xFB, 0xB3, 0x11, 0x22, 0x23, 0xBD, 0xD2, 0x11,
                    0xB4, 0xB7, 0x00, 0xA0, 0xC9, 0x55, 0xFC, 0x6E};
    putU32(object, 40);
    putU32(object, 0);
    object.resize(40, 0);
    file[16] = static_cast<uint8_t>(file[16] + 40); // headers of these files are under 200 bytes
    file[24] = static_cast<uint8_t>(file[24] + 1);
    file.insert(file.begin() + 30, object.begin(), object.end());
    writeFile(path_, file);

    WmaTagEditor editor;
    EXPECT_FALSE(editor.open(qpath()));
    EXPECT_FALSE(editor.isOpen());
    EXPECT_FALSE(editor.write(TagFields{}));
    EXPECT_EQ(readFile(path_), file);

    const std::string wav = dir_.file("fake.wma");
    writeFile(wav, makeWav(1, 8000, 16, patternBytes(100)));
    WmaTagEditor notAsf;
    EXPECT_FALSE(notAsf.open(QString::fromStdString(wav)));

    makeWma(path_, "-metadata title=T");
    WmaTagEditor absent("libwmaruntime-absent.so");
    EXPECT_FALSE(absent.open(qpath()));
    EXPECT_FALSE(absent.write(TagFields{}));
}

TEST_F(WmaTagEditing, TheCommandLineShowsAndWritesThroughTheSameEditor) {
    makeWma(path_, "-metadata title=Before -metadata genre=Jazz");
    const auto cli = [](const std::string& args) {
        return runCommand(shellQuote(binDir() + "/mireldo-cli") + " tag " + args + " 2>&1");
    };
    auto r = cli(shellQuote(path_));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("Title: Before\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Genre: Jazz\n"), std::string::npos) << r.output;

    r = cli(shellQuote(path_) + " --title After --track 9 --comment ''");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("Title: After\nArtist: \n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Track: 9\n"), std::string::npos) << r.output;
    const auto tags = probe(path_);
    EXPECT_EQ(tags.at("title"), "After");
    EXPECT_EQ(tags.at("track"), "9");
    EXPECT_EQ(tags.at("genre"), "Jazz");
    EXPECT_EQ(tags.at("comment"), " ");

    // The extension decides, in any case; a file that is not ASF is refused untouched.
    const std::string fake = dir_.file("FAKE.WMA");
    const Bytes wav = makeWav(1, 8000, 16, patternBytes(100));
    writeFile(fake, wav);
    r = cli(shellQuote(fake) + " --title X");
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_EQ(readFile(fake), wav);
}

} // namespace
