// Lossless path conversion: bytes that are not UTF-8 survive a trip through text, and the
// file-system helpers reach files whose names hold such bytes.

#include "native_path.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

using namespace mireldo::platform;

namespace {

QByteArray bytes(const char* text) {
    return QByteArray(text);
}

} // namespace

TEST(NativePath, ValidUtf8DecodesAsUsual) {
    const QByteArray utf8 = bytes("/m\xc3\xbcsic/\xe2\x82\xac \xf0\x9f\x8e\xb5.wav");
    EXPECT_EQ(decodePath(utf8), QString::fromUtf8(utf8));
    EXPECT_EQ(encodePath(QString::fromUtf8(utf8)), utf8);
}

TEST(NativePath, InvalidBytesRoundTripWhereQtLosesThem) {
    const QByteArray cases[] = {
        bytes("/old/lat\xe9.wav"),           // Latin-1
        bytes("\xff\xfe\x80"),               // never valid
        bytes("\xc3"),                       // cut short at the end
        bytes("\xc3(x"),                     // cut short before ASCII
        bytes("\xc0\xaf"),                   // overlong '/'
        bytes("\xed\xa0\x80\xed\xb2\x80"),   // encoded surrogates (U+D800, U+DC80)
        bytes("\xf4\x90\x80\x80"),           // above U+10FFFF
        bytes("a\xe9\xf0\x90\x82\x80\xe9z"), // escapes around a valid four-byte character
    };
    for (const QByteArray& raw : cases) {
        const QString text = decodePath(raw);
        EXPECT_EQ(encodePath(text), raw) << raw.toHex().constData();
        EXPECT_EQ(decodePath(encodePath(text)), text);
        EXPECT_NE(QFile::encodeName(QFile::decodeName(raw)), raw)
            << "Qt's own conversion loses these bytes: " << raw.toHex().constData();
    }
    EXPECT_EQ(decodePath(bytes("lat\xe9")), QStringLiteral("lat") + QChar(char16_t(0xDCE9)));
}

TEST(NativePath, ACharacterWhoseLowSurrogateLooksLikeAnEscapeStaysACharacter) {
    // U+10080 is D800 DC80 in UTF-16: the pair is a character, not an escaped 0x80.
    const QByteArray raw = bytes("\xf0\x90\x82\x80");
    EXPECT_EQ(encodePath(decodePath(raw)), raw);
    EXPECT_EQ(decodePath(raw).size(), 2);
}

TEST(NativePath, ArgumentsKeepTheirBytes) {
    char a0[] = "mireldo-cli";
    char a1[] = "lat\xe9.wav";
    char* argv[] = {a0, a1, nullptr};
    const QStringList args = argumentsOf(2, argv);
    ASSERT_EQ(args.size(), 2);
    EXPECT_EQ(encodePath(args[1]), bytes("lat\xe9.wav"));
}

TEST(NativePath, FolderEntriesAndStatReachNamesThatAreNotUtf8) {
    testsupport::TempDir dir;
    const QByteArray name = bytes("lat\xe9.wav");
    const QByteArray full = QByteArray(dir.path().string().c_str()) + '/' + name;
    const int fd = ::open(full.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);

    const auto entries = folderEntries(decodePath(QByteArray(dir.path().string().c_str())));
    ASSERT_TRUE(entries.has_value());
    ASSERT_EQ(entries->size(), 1);
    EXPECT_EQ(encodePath(entries->front()), name);
    EXPECT_TRUE(statPath(decodePath(full)).has_value());
    EXPECT_FALSE(statPath(QFile::decodeName(full)).has_value()) << "Qt's name misses the file";
    EXPECT_FALSE(folderEntries(decodePath(full + "/nothing")).has_value());
}

TEST(NativePath, AbsolutePathIsCleanedWithoutTouchingTheBytes) {
    testsupport::TempDir dir;
    const QByteArray here = QByteArray(dir.path().string().c_str());
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(here.constData()), 0);
    const QString relative = decodePath(bytes("./sub/../lat\xe9.wav"));
    const QString absolute = absolutePath(relative);
    ASSERT_EQ(::chdir(old), 0);
    EXPECT_EQ(encodePath(absolute), here + "/lat\xe9.wav");
    EXPECT_EQ(absolutePath(QStringLiteral("/a//b/./c")), QStringLiteral("/a/b/c"));
}
