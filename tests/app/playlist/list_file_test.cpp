// The list file's bytes: what is written, what is read back, and what is refused.

#include "list_file.h"
#include "playlist_item.h"
#include "playlist_test_util.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace mireldo::playlist;
using playlisttest::appendRecord;
using playlisttest::listHeader;
using playlisttest::qs;

namespace {

std::vector<ListEntry> parse(const std::vector<std::uint8_t>& bytes, bool* accepted = nullptr,
                             const QString& folder = QStringLiteral("/lists")) {
    std::vector<ListEntry> out;
    const bool ok = parseListFile(bytes, folder, [&](ListEntry e) { out.push_back(e); });
    if (accepted != nullptr) {
        *accepted = ok;
    }
    return out;
}

std::vector<std::uint8_t> bytesOf(const QByteArray& a) {
    return {a.begin(), a.end()};
}

std::uint32_t u32At(const QByteArray& a, qsizetype at) {
    std::uint32_t v = 0;
    std::memcpy(&v, a.constData() + at, 4);
    return v;
}

} // namespace

TEST(ListFileWrite, HeaderAndRecordsHaveTheVersion3Layout) {
    const QByteArray file = buildListFile(
        {{QStringLiteral("/m/a.mp3"), 0}, {QStringLiteral("/m/b.wav"), 5}}, 0x11223344u);
    ASSERT_EQ(file.size(), 12 + 2 * 264);
    EXPECT_EQ(file.left(4), QByteArray("TSIL"));
    EXPECT_EQ(u32At(file, 4), 3u);
    EXPECT_EQ(static_cast<unsigned char>(file[8]), 2);
    EXPECT_EQ(static_cast<unsigned char>(file[9]), 0);
    EXPECT_EQ(static_cast<unsigned char>(file[10]), 264 & 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(file[11]), 264 >> 8);
    EXPECT_STREQ(file.constData() + 12, "/m/a.mp3");
    EXPECT_EQ(u32At(file, 12 + 256), 0x11223344u);
    EXPECT_EQ(u32At(file, 12 + 260), 0u);
    EXPECT_EQ(u32At(file, 12 + 264 + 256), 0x11223344u) << "one time for every record";
    EXPECT_EQ(u32At(file, 12 + 264 + 260), 5u << 1) << "kind in bits 1-3";
}

TEST(ListFileWrite, RoundTripKeepsPathsAndKindsInOrder) {
    std::vector<ListEntry> entries;
    for (int i = 0; i < 6; ++i) {
        entries.push_back(
            {QStringLiteral("/music/Take %1.mp3").arg(i), static_cast<std::uint8_t>(i)});
    }
    const auto back = parse(bytesOf(buildListFile(entries, 1)));
    ASSERT_EQ(back.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(back[i].path, entries[i].path);
        EXPECT_EQ(back[i].kind, entries[i].kind);
    }
}

TEST(ListFileWrite, PathOf256BytesOrMoreOverwritesTheTimeAndReadsBack) {
    for (int length : {256, 259}) {
        QString path = QStringLiteral("/");
        while (path.size() < length) {
            path += QLatin1Char('x');
        }
        const QByteArray file = buildListFile({{path, 2}}, 0xAABBCCDDu);
        EXPECT_NE(u32At(file, 12 + 256), 0xAABBCCDDu) << length;
        const auto back = parse(bytesOf(file));
        ASSERT_EQ(back.size(), 1u) << length;
        EXPECT_EQ(back[0].path, path);
        EXPECT_EQ(back[0].kind, 2);
    }
}

TEST(ListFileRead, RefusedHeadersLoadNothing) {
    auto good = listHeader(kListFileMagic, 3, 1, 264);
    appendRecord(good, "/a.wav", 264);
    bool accepted = false;
    EXPECT_EQ(parse(good, &accepted).size(), 1u);
    EXPECT_TRUE(accepted);

    auto version4 = listHeader(kListFileMagic, 4, 1, 264);
    appendRecord(version4, "/a.wav", 264);
    auto badMagic = listHeader(0x4C495355u, 3, 1, 264);
    appendRecord(badMagic, "/a.wav", 264);
    auto shortBody = listHeader(kListFileMagic, 3, 2, 264);
    appendRecord(shortBody, "/a.wav", 264);
    appendRecord(shortBody, "/b.wav", 263);
    std::vector<std::uint8_t> shortHeader(good.begin(), good.begin() + 11);
    for (const auto& bytes : {version4, badMagic, shortBody, shortHeader}) {
        EXPECT_TRUE(parse(bytes, &accepted).empty());
        EXPECT_FALSE(accepted);
    }
}

TEST(ListFileRead, OlderVersionsUseTheirRecordSizeAndKindZero) {
    for (std::uint32_t version : {1u, 2u}) {
        auto bytes = listHeader(kListFileMagic, version, 2, 100);
        appendRecord(bytes, "/old/one.mp3", 100);
        appendRecord(bytes, "/old/two.mp3", 100);
        const auto back = parse(bytes);
        ASSERT_EQ(back.size(), 2u);
        EXPECT_EQ(back[1].path, QStringLiteral("/old/two.mp3"));
        EXPECT_EQ(back[1].kind, 0);
    }
    auto version0 = listHeader(kListFileMagic, 0, 1, 264);
    appendRecord(version0, "/zero.mp3", 264);
    bool accepted = false;
    EXPECT_TRUE(parse(version0, &accepted).empty());
    EXPECT_TRUE(accepted) << "version 0 is read; its records are skipped";
}

TEST(ListFileRead, RecordsLargerThan264AreReadOneByOneWithoutOverrun) {
    auto bytes = listHeader(kListFileMagic, 3, 3, 400);
    appendRecord(bytes, "/big/a.mp3", 400, 3u << 1);
    appendRecord(bytes, "/big/b.mp3", 400, 4u << 1);
    appendRecord(bytes, "/big/c.mp3", 400);
    const auto back = parse(bytes);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].kind, 3);
    EXPECT_EQ(back[1].path, QStringLiteral("/big/b.mp3"));
    EXPECT_EQ(back[1].kind, 4);
    EXPECT_EQ(back[2].path, QStringLiteral("/big/c.mp3"));
}

TEST(ListFileRead, KindIsTakenModuloSixAndReservedBitIgnored) {
    auto bytes = listHeader(kListFileMagic, 3, 2, 264);
    appendRecord(bytes, "/k/a.mp3", 264, (7u << 1) | (1u << 4) | 1u);
    appendRecord(bytes, "/k/b.mp3", 264, (6u << 1) | 1u);
    const auto back = parse(bytes);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].kind, 7 % 6);
    EXPECT_EQ(back[1].kind, 0);
}

TEST(ListFileRead, RelativePathsResolveAgainstTheListFolder) {
    auto bytes = listHeader(kListFileMagic, 3, 3, 264);
    appendRecord(bytes, "song.mp3", 264);
    appendRecord(bytes, "sub/take.wav", 264);
    appendRecord(bytes, "/abs/x.ogg", 264);
    const auto back = parse(bytes, nullptr, QStringLiteral("/home/u/lists"));
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].path, QStringLiteral("/home/u/lists/song.mp3"));
    EXPECT_EQ(back[1].path, QStringLiteral("/home/u/lists/sub/take.wav"));
    EXPECT_EQ(back[2].path, QStringLiteral("/abs/x.ogg"));
    EXPECT_EQ(listFolderOf(QStringLiteral("/home/u/lists/Mireldo.lst")),
              QStringLiteral("/home/u/lists"));
}

TEST(ListFileRead, UnusableRecordsAreSkippedAndTheRestRead) {
    auto bytes = listHeader(kListFileMagic, 3, 4, 264);
    appendRecord(bytes, "", 264);                    // empty path
    appendRecord(bytes, std::string(260, 'p'), 264); // no terminator within 260 bytes
    // Relative path that no longer fits once the folder is put in front.
    appendRecord(bytes, std::string(250, 'r'), 264);
    appendRecord(bytes, "/fine.wav", 264);
    const auto back = parse(bytes, nullptr, QStringLiteral("/a/folder/name"));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].path, QStringLiteral("/fine.wav"));
}

TEST(ListFileRead, ShortRecordWithoutTerminatorEndsAtTheRecord) {
    auto bytes = listHeader(kListFileMagic, 2, 2, 8);
    appendRecord(bytes, "/abcdefgh", 8); // fills the record: the path is its 8 bytes
    appendRecord(bytes, "/x.wav", 8);
    const auto back = parse(bytes);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].path, QStringLiteral("/abcdefg"));
    EXPECT_EQ(back[1].path, QStringLiteral("/x.wav"));
}

TEST(ListFileDisk, WriteReplacesAndReadFindsTheFolder) {
    testsupport::TempDir dir;
    const QString path = qs(dir.file("Mireldo.lst"));
    auto relative = listHeader(kListFileMagic, 3, 1, 264);
    appendRecord(relative, "rel.wav", 264);
    ASSERT_TRUE(writeListFile(path, QByteArray(reinterpret_cast<const char*>(relative.data()),
                                               static_cast<qsizetype>(relative.size()))));
    std::vector<ListEntry> back;
    EXPECT_TRUE(readListFile(path, [&](ListEntry e) { back.push_back(e); }));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].path, qs(dir.file("rel.wav")));
    EXPECT_FALSE(readListFile(qs(dir.file("missing.lst")), [](ListEntry) {}));
    EXPECT_FALSE(writeListFile(qs(dir.file("no/such/folder/x.lst")), QByteArray("x")));
}
