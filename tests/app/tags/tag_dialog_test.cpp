// The tag dialogs on the offscreen platform: what they show, what Update writes, the WMA
// dialog without the runtime's editor, and screenshots of both in <build>/screenshots.

#include "mp3_tag_file.h"
#include "string_table.h"
#include "tag_dialog.h"
#include "tag_editing.h"
#include "wma_tag_editor.h"
#include "tag_test_util.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

#include <signal.h>
#include <sys/resource.h>

using namespace mireldo::tags;
using namespace tagtest;

extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

void ensureApp() {
    if (QCoreApplication::instance() == nullptr) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_tags_widgets";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
}

void screenshot(QWidget& w, const char* name) {
    QDir().mkpath(QStringLiteral(MIRELDO_SCREENSHOT_DIR));
    w.adjustSize();
    const QPixmap shot = w.grab();
    EXPECT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QStringLiteral(MIRELDO_SCREENSHOT_DIR "/") + QLatin1String(name)));
}

QLineEdit* editOf(CTagDialog& d, TagCtl id) {
    return static_cast<QLineEdit*>(d.control(id));
}

void pressUpdate(CTagDialog& d) {
    for (QPushButton* b : d.findChildren<QPushButton*>()) {
        if (b->text() == QStringLiteral("Update")) {
            b->click();
        }
    }
}

/// A short WMA file with tags, made by ffmpeg.
void makeWma(const std::string& path) {
    const auto r = testsupport::runCommand(
        std::string(MIRELDO_FFMPEG_EXE) +
        " -nostdin -v error -y -f lavfi -i sine=d=0.5 -c:a wmav2 -metadata title=Before"
        " -metadata artist=Someone -metadata genre=Chiptune -metadata track=3 " +
        testsupport::shellQuote(path) + " 2>&1");
    ASSERT_EQ(r.exitCode, 0) << r.output;
}

class TagDialogs : public ::testing::Test {
  protected:
    void SetUp() override { ensureApp(); }
    QString qpath() const { return QString::fromStdString(path_); }
    testsupport::TempDir dir_;
    std::string path_ = dir_.file("song.mp3");
    std::vector<int> messages_;
    TagMessage message_ = [this](int id) { messages_.push_back(id); };
};

TEST_F(TagDialogs, Mp3DialogShowsTheTagAndUpdateWritesIt) {
    testsupport::writeFile(
        path_,
        tag(3, {frame(3, "TIT2", latin1Text("A title longer than thirty characters")),
                frame(3, "TCON", latin1Text("Chiptune")), frame(3, "TRCK", latin1Text("3"))}) +
            mp3Audio());
    const auto outcome = editMp3Tags(nullptr, qpath(), message_, [](CTagDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Mp3 Tag Information"));
        EXPECT_EQ(editOf(d, TagCtl::Title)->text(),
                  QStringLiteral("A title longer than thirty characters"));
        auto* genre = static_cast<QComboBox*>(d.control(TagCtl::Genre));
        EXPECT_EQ(genre->count(), 149) << "the unlisted genre is an extra entry";
        EXPECT_EQ(genre->currentText(), QStringLiteral("Chiptune"));
        EXPECT_EQ(editOf(d, TagCtl::Track)->text(), QStringLiteral("3"));
        editOf(d, TagCtl::Year)->setText(QStringLiteral("2003"));
        screenshot(d, "mp3_tag_dialog.png");
        return static_cast<int>(QDialog::Accepted);
    });
    EXPECT_EQ(outcome, TagEditOutcome::Updated);
    EXPECT_TRUE(messages_.empty());
    const TagFields f = readMp3Tag(qpath()).tag.fields;
    EXPECT_EQ(f.year, QStringLiteral("2003"));
    EXPECT_EQ(f.title, QStringLiteral("A title longer than thirty characters"));
    EXPECT_EQ(f.genreText, QStringLiteral("Chiptune"));
}

TEST_F(TagDialogs, Mp3DialogLimitsId3v1FieldsAndPicksGenreByPosition) {
    testsupport::writeFile(path_, mp3Audio());
    const auto outcome = editMp3Tags(nullptr, qpath(), message_, [](CTagDialog& d) {
        EXPECT_EQ(editOf(d, TagCtl::Title)->maxLength(), 30);
        EXPECT_EQ(editOf(d, TagCtl::Comments)->maxLength(), 28);
        EXPECT_EQ(editOf(d, TagCtl::Year)->maxLength(), 4);
        auto* genre = static_cast<QComboBox*>(d.control(TagCtl::Genre));
        EXPECT_EQ(genre->currentIndex(), 12);
        genre->setCurrentIndex(8);
        editOf(d, TagCtl::Title)->setText(QStringLiteral("New"));
        return static_cast<int>(QDialog::Accepted);
    });
    EXPECT_EQ(outcome, TagEditOutcome::Updated);
    const Mp3TagRead r = readMp3Tag(qpath());
    EXPECT_EQ(r.tag.kind, TagKind::Id3v1);
    EXPECT_EQ(r.tag.fields.genrePosition, 8);
    EXPECT_EQ(r.tag.fields.title, QStringLiteral("New"));
}

TEST_F(TagDialogs, Mp3FailuresShowTheMessageAndKeepTheFile) {
    EXPECT_EQ(editMp3Tags(nullptr, QString::fromStdString(dir_.file("absent.mp3")), message_),
              TagEditOutcome::NotShown);
    EXPECT_EQ(messages_, std::vector<int>{650});
    messages_.clear();
    Bytes broken = tag(3, {frame(3, "TIT2", latin1Text("x"))});
    broken[10 + 7] = 0x7F;
    testsupport::writeFile(path_, broken + mp3Audio());
    const auto outcome = editMp3Tags(nullptr, qpath(), message_, [](CTagDialog& d) {
        editOf(d, TagCtl::Title)->setText(QStringLiteral("y"));
        return static_cast<int>(QDialog::Accepted);
    });
    EXPECT_EQ(outcome, TagEditOutcome::Failed);
    EXPECT_EQ(messages_, std::vector<int>{650});
    EXPECT_EQ(testsupport::readFile(path_), broken + mp3Audio());
    testsupport::writeFile(path_, Bytes(10, 1));
    messages_.clear();
    EXPECT_EQ(editMp3Tags(nullptr, qpath(), message_), TagEditOutcome::NotShown);
    EXPECT_TRUE(messages_.empty()) << "a file under 16 bytes ends the command silently";
}

TEST_F(TagDialogs, WmaDialogWithoutTheEditorTellsItCannotReadOrModify) {
    const std::string wma = dir_.file("clip.wma");
    testsupport::writeFile(wma, Bytes(64, 0));
    const auto outcome =
        editWmaTags(nullptr, QString::fromStdString(wma), message_, [this](CTagDialog& d) {
            EXPECT_EQ(d.windowTitle(), QStringLiteral("WMA Tag Information"));
            EXPECT_EQ(editOf(d, TagCtl::FileName)->text(), QStringLiteral("clip.wma"));
            EXPECT_EQ(editOf(d, TagCtl::Comments)->maxLength(), 512);
            EXPECT_EQ(static_cast<QComboBox*>(d.control(TagCtl::Genre))->currentIndex(), 12);
            screenshot(d, "wma_tag_dialog.png");
            // Update without an open editor: the modify message, and the dialog stays open.
            for (QPushButton* b : d.findChildren<QPushButton*>()) {
                if (b->text() == QStringLiteral("Update")) {
                    b->click();
                }
            }
            EXPECT_EQ(messages_, (std::vector<int>{651, 652}));
            EXPECT_NE(d.result(), static_cast<int>(QDialog::Accepted));
            return static_cast<int>(QDialog::Rejected);
        });
    EXPECT_EQ(outcome, TagEditOutcome::Cancelled);
    EXPECT_EQ(messages_, (std::vector<int>{651, 652}));
}

TEST_F(TagDialogs, WmaDialogShowsTheAttributesAndUpdateSavesThemThroughTheRuntime) {
    const std::string wma = dir_.file("clip.wma");
    makeWma(wma);
    const QString qwma = QString::fromStdString(wma);
    const auto outcome = editWmaTags(nullptr, qwma, message_, [](CTagDialog& d) {
        EXPECT_EQ(editOf(d, TagCtl::Title)->text(), QStringLiteral("Before"));
        EXPECT_EQ(editOf(d, TagCtl::Artist)->text(), QStringLiteral("Someone"));
        EXPECT_EQ(editOf(d, TagCtl::Track)->text(), QStringLiteral("3"));
        EXPECT_EQ(static_cast<QComboBox*>(d.control(TagCtl::Genre))->currentText(),
                  QStringLiteral("Chiptune"));
        editOf(d, TagCtl::Title)->setText(QStringLiteral("After"));
        editOf(d, TagCtl::Album)->setText(QStringLiteral("New album  "));
        screenshot(d, "wma_tag_dialog_runtime.png");
        pressUpdate(d);
        return d.result();
    });
    EXPECT_EQ(outcome, TagEditOutcome::Updated);
    EXPECT_TRUE(messages_.empty());

    WmaTagEditor reread;
    ASSERT_TRUE(reread.open(qwma));
    EXPECT_EQ(reread.fields().title, QStringLiteral("After"));
    EXPECT_EQ(reread.fields().album, QStringLiteral("New album"));
    EXPECT_EQ(reread.fields().genreText, QStringLiteral("Chiptune")) << "kept as it was";
    EXPECT_EQ(reread.fields().track, 3);

    // Cancel writes nothing.
    const auto before = testsupport::readFile(wma);
    EXPECT_EQ(editWmaTags(nullptr, qwma, message_,
                          [](CTagDialog& d) {
                              editOf(d, TagCtl::Title)->setText(QStringLiteral("Dropped"));
                              return static_cast<int>(QDialog::Rejected);
                          }),
              TagEditOutcome::Cancelled);
    EXPECT_EQ(testsupport::readFile(wma), before);
}

TEST_F(TagDialogs, WmaSaveThatFailsShowsTheModifyMessageAndKeepsTheFileAndDialog) {
    const std::string wma = dir_.file("clip.wma");
    makeWma(wma);
    const auto before = testsupport::readFile(wma);
    const auto outcome =
        editWmaTags(nullptr, QString::fromStdString(wma), message_, [&](CTagDialog& d) {
            editOf(d, TagCtl::Title)->setText(QStringLiteral("A title the disk has no room for"));
            // The new file cannot grow past a few kilobytes, as on a full disk.
            struct rlimit old {};
            ::getrlimit(RLIMIT_FSIZE, &old);
            struct sigaction ignore {};
            struct sigaction previous {};
            ignore.sa_handler = SIG_IGN;
            ::sigaction(SIGXFSZ, &ignore, &previous);
            struct rlimit low = old;
            low.rlim_cur = 2048;
            ::setrlimit(RLIMIT_FSIZE, &low);
            pressUpdate(d);
            ::setrlimit(RLIMIT_FSIZE, &old);
            ::sigaction(SIGXFSZ, &previous, nullptr);
            EXPECT_EQ(messages_, std::vector<int>{653});
            EXPECT_NE(d.result(), static_cast<int>(QDialog::Accepted)) << "the dialog stays open";
            return static_cast<int>(QDialog::Rejected);
        });
    EXPECT_EQ(outcome, TagEditOutcome::Cancelled);
    EXPECT_EQ(testsupport::readFile(wma), before);
}

} // namespace
