// The converter dialog and its "Time range" dialog on the offscreen platform: what opening
// shows and loads, the source list's buttons, the destination choice, the refusals, and jobs run
// through Convert with the real plug-ins (statuses, deleted failures, the completion question,
// outputs added to the playlist, a cancel pressed while the job runs). Screenshots go to
// <build>/screenshots.

#include "converter_dialog.h"
#include "converter_fixtures.h"
#include "converter_session.h"
#include "profile_store.h"
#include "string_table.h"
#include "test_support.h"
#include "time_range_dialog.h"
#include "user_messages.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include <filesystem>

using namespace mireldo;
using namespace mireldo::converter;
using convtest::qs;

extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace {

void ensureApp() {
    if (QCoreApplication::instance() == nullptr) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_converter_widgets";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
}

void screenshot(QWidget& w, const char* name) {
    const QPixmap shot = w.grab();
    ASSERT_FALSE(shot.isNull());
    QDir().mkpath(QStringLiteral(MIRELDO_SCREENSHOT_DIR));
    EXPECT_TRUE(shot.save(QStringLiteral(MIRELDO_SCREENSHOT_DIR "/") + QLatin1String(name)));
}

struct Shown {
    QString text;
    MessageIcon icon;
    MessageButtons buttons;
};

/// Records every message; questions are answered with `answer`.
class FakeMessages : public UserMessages {
  public:
    MessageAnswer answer = MessageAnswer::Yes;
    std::vector<Shown> shown;
    MessageAnswer showMessage(const QString& text, MessageIcon icon,
                              MessageButtons buttons) override {
        shown.push_back({text, icon, buttons});
        return buttons == MessageButtons::YesNo ? answer : MessageAnswer::Ok;
    }
};

class ConverterDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureApp();
        forgetRememberedFolders();
        store_ = std::make_unique<platform::ProfileStore>(qs(dir_.file("settings.ini")));
        services_.encoders = &convtest::builtTable();
        services_.messages = &messages_;
        services_.addToPlaylist = [this](const QString& p) { added_.append(p); };
        services_.chooseSources = [](const QString&) { return std::optional<QStringList>(); };
    }

    std::unique_ptr<CConverterDialog> open(const QStringList& paths) {
        auto d = std::make_unique<CConverterDialog>(paths, services_, *store_);
        d->setPacing(false);
        d->show();
        return d;
    }

    QString tone(const std::string& name, std::uint32_t frames = 22050) {
        return qs(convtest::writeTone(dir_.file(name), 22050, 2, frames));
    }

    QString status(int id) { return loadString(id); }

    testsupport::TempDir dir_;
    std::unique_ptr<platform::ProfileStore> store_;
    FakeMessages messages_;
    ConverterServices services_;
    QStringList added_;
};

void click(CConverterDialog& d, ConvCtl id) {
    d.controlAs<QPushButton>(id)->click();
}

// Rules without a window ---------------------------------------------------------------------

TEST(ConverterSession, SaveChoiceLosesOnlyAThreeCharacterExtensionOfTheFileName) {
    EXPECT_EQ(destinationFromSaveChoice(QStringLiteral("/out/song.mp3")),
              QStringLiteral("/out/song"));
    EXPECT_EQ(destinationFromSaveChoice(QStringLiteral("/out/song.WAV")),
              QStringLiteral("/out/song"));
    EXPECT_EQ(destinationFromSaveChoice(QStringLiteral("/out/take.flac")),
              QStringLiteral("/out/take.flac"));
    EXPECT_EQ(destinationFromSaveChoice(QStringLiteral("/out/take.aa")),
              QStringLiteral("/out/take.aa"));
    // A dot in a folder name is no extension.
    EXPECT_EQ(destinationFromSaveChoice(QStringLiteral("/o.a/bc")), QStringLiteral("/o.a/bc"));
    EXPECT_TRUE(holdsSource({QStringLiteral("/a/Song.mp3")}, QStringLiteral("/A/song.MP3")));
    EXPECT_FALSE(holdsSource({QStringLiteral("/a/Song.mp3")}, QStringLiteral("/a/Song.mp")));
}

// Opening and closing ------------------------------------------------------------------------

TEST_F(ConverterDialogTest, OpeningShowsOneRowPerSourceAndTheListsInTheirOrder) {
    auto d = open({QStringLiteral("/music/a/one.mp3"), QStringLiteral("/music/two.wav")});
    auto* list = d->controlAs<QTableWidget>(ConvCtl::List);
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(d->cellText(0, ColPath), QStringLiteral("/music/a"));
    EXPECT_EQ(d->cellText(0, ColName), QStringLiteral("one.mp3"));
    EXPECT_EQ(d->cellText(1, ColRange), QStringLiteral("entire file"));
    EXPECT_EQ(d->cellText(1, ColStatus), QString());
    EXPECT_EQ(list->horizontalHeaderItem(3)->text(), QStringLiteral("Status"));
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    // Widths in percent of the list's width: 24, 34, 21, 15.
    const int width = list->viewport()->width();
    EXPECT_EQ(list->columnWidth(1), width * 34 / 100);

    auto* type = d->controlAs<QComboBox>(ConvCtl::Type);
    ASSERT_EQ(type->count(), 4);
    EXPECT_EQ(type->itemText(1), QStringLiteral("WAV File Type"));
    auto* rate = d->controlAs<QComboBox>(ConvCtl::Rate);
    ASSERT_EQ(rate->count(), 7);
    EXPECT_EQ(rate->itemText(0), QStringLiteral("Keep it unchanged"));
    EXPECT_EQ(rate->itemText(2), QStringLiteral("22050 Hz"));
    auto* channels = d->controlAs<QComboBox>(ConvCtl::Channels);
    ASSERT_EQ(channels->count(), 3);
    EXPECT_EQ(channels->itemText(2), QStringLiteral("2, Stereo"));
    auto* bitrate = d->controlAs<QComboBox>(ConvCtl::Bitrate);
    ASSERT_EQ(bitrate->count(), 16);
    EXPECT_EQ(bitrate->itemText(5), QStringLiteral("128 kbps"));
    EXPECT_EQ(bitrate->itemText(15), QStringLiteral("8   Kbps"));
    // Defaults: MP3, keep, keep, 128 kbit/s; skip checked, merge cleared.
    EXPECT_EQ(bitrate->currentIndex(), 5);
    EXPECT_TRUE(d->controlAs<QCheckBox>(ConvCtl::Skip)->isChecked());
    EXPECT_FALSE(d->controlAs<QCheckBox>(ConvCtl::Merge)->isChecked());
}

TEST_F(ConverterDialogTest, StoredIndicesAreClampedAndClosingWritesTheHeldChoices) {
    const QString history = QStringLiteral("History");
    store_->setInt(history, QStringLiteral("AudioConvertorBitrate"), 40);
    store_->setInt(history, QStringLiteral("AudioConvertorSampleRate"), -3);
    store_->setInt(history, QStringLiteral("AudioConvertorFileType"), 2);
    store_->setString(history, QStringLiteral("AudioConvertorDestination"), QStringLiteral("/d"));
    auto d = open({});
    EXPECT_EQ(d->controlAs<QComboBox>(ConvCtl::Bitrate)->currentIndex(), 15);
    EXPECT_EQ(d->controlAs<QComboBox>(ConvCtl::Rate)->currentIndex(), 0);
    EXPECT_EQ(d->controlAs<QComboBox>(ConvCtl::Type)->currentIndex(), 2);
    EXPECT_EQ(d->controlAs<QLineEdit>(ConvCtl::Destination)->text(), QStringLiteral("/d"));

    // A choice made after the last Convert is not written; the clamped values are.
    d->controlAs<QComboBox>(ConvCtl::Type)->setCurrentIndex(3);
    d->reject();
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(store_->getInt(history, QStringLiteral("AudioConvertorBitrate"), -1), 15);
    EXPECT_EQ(store_->getInt(history, QStringLiteral("AudioConvertorSampleRate"), -1), 0);
    EXPECT_EQ(store_->getInt(history, QStringLiteral("AudioConvertorFileType"), -1), 2);
}

// The source list's buttons ------------------------------------------------------------------

TEST_F(ConverterDialogTest, AddSkipsKnownPathsInAnyCaseAndRemembersTheFirstFolder) {
    QStringList chosen{QStringLiteral("/x/ONE.mp3"), QStringLiteral("/y/three.ogg"),
                       QStringLiteral("/x/two.wav")};
    QString startedIn;
    services_.chooseSources = [&](const QString& folder) {
        startedIn = folder;
        return std::optional<QStringList>(chosen);
    };
    auto d = open({QStringLiteral("/x/one.mp3")});
    click(*d, ConvCtl::Add);
    EXPECT_EQ(d->sources(),
              (QStringList{QStringLiteral("/x/one.mp3"), QStringLiteral("/y/three.ogg"),
                           QStringLiteral("/x/two.wav")}));
    EXPECT_EQ(d->controlAs<QTableWidget>(ConvCtl::List)->rowCount(), 3);
    EXPECT_EQ(d->cellText(2, ColName), QStringLiteral("two.wav"));
    EXPECT_EQ(rememberedFolders().add, QStringLiteral("/x"));

    // A second dialog of the run starts in the remembered folder.
    auto second = open({});
    click(*second, ConvCtl::Add);
    EXPECT_EQ(startedIn, QStringLiteral("/x"));
}

TEST_F(ConverterDialogTest, CancellingTheFirstAddOfTheRunClosesTheDialog) {
    auto d = open({QStringLiteral("/x/one.mp3")});
    click(*d, ConvCtl::Add);
    EXPECT_FALSE(d->isVisible());

    // Once a folder is remembered a cancelled Add changes nothing.
    rememberedFolders().add = QStringLiteral("/x");
    auto again = open({QStringLiteral("/x/one.mp3")});
    click(*again, ConvCtl::Add);
    EXPECT_TRUE(again->isVisible());
    EXPECT_EQ(again->sources().size(), 1);
}

TEST_F(ConverterDialogTest, RemoveKeepsSourcesAndRowsInStep) {
    auto d = open({QStringLiteral("/a/1.wav"), QStringLiteral("/a/2.wav"),
                   QStringLiteral("/a/3.wav"), QStringLiteral("/a/4.wav")});
    auto* list = d->controlAs<QTableWidget>(ConvCtl::List);
    list->selectRow(0);
    list->setSelectionMode(QAbstractItemView::MultiSelection);
    list->selectRow(2);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    click(*d, ConvCtl::Remove);
    EXPECT_EQ(d->sources(), (QStringList{QStringLiteral("/a/2.wav"), QStringLiteral("/a/4.wav")}));
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(d->cellText(1, ColName), QStringLiteral("4.wav"));
    click(*d, ConvCtl::RemoveAll);
    EXPECT_TRUE(d->sources().isEmpty());
    EXPECT_EQ(list->rowCount(), 0);
}

TEST_F(ConverterDialogTest, SetTimeRangeWritesTheRangeIntoEverySelectedRow) {
    std::optional<RangeFields> shownRange;
    bool shownEntire = false;
    services_.runTimeRange = [&](CTimeRangeDialog& r) {
        shownEntire = r.entireFile();
        shownRange = r.fields();
        qobject_cast<QCheckBox*>(r.control(RangeCtl::Entire))->click();
        const char* values[] = {"0", "1", "05", "3", "1", "2", "0", "9"};
        for (int i = 0; i < 8; ++i) {
            qobject_cast<QLineEdit*>(r.control(static_cast<int>(RangeCtl::StartHours) + i))
                ->setText(QLatin1String(values[i]));
        }
        qobject_cast<QPushButton*>(r.control(RangeCtl::Ok))->click();
        return r.result();
    };
    auto d = open({QStringLiteral("/a/1.wav"), QStringLiteral("/a/2.wav"),
                   QStringLiteral("/a/3.wav"), QStringLiteral("/a/4.wav")});
    click(*d, ConvCtl::SetRange); // nothing selected: nothing happens
    EXPECT_FALSE(shownRange.has_value());

    d->controlAs<QTableWidget>(ConvCtl::List)->selectAll();
    d->controlAs<QTableWidget>(ConvCtl::List)
        ->setRangeSelected(QTableWidgetSelectionRange(3, 0, 3, 3), false);
    click(*d, ConvCtl::SetRange);
    EXPECT_TRUE(shownEntire);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(d->cellText(row, ColRange), QStringLiteral("0:01:05.3-1:02:00.9")) << row;
    }
    EXPECT_EQ(d->cellText(3, ColRange), QStringLiteral("entire file"));

    // The next dialog opens with the first selected row's numbers filled in.
    d->controlAs<QTableWidget>(ConvCtl::List)->selectRow(1);
    services_.runTimeRange = [&](CTimeRangeDialog& r) {
        shownEntire = r.entireFile();
        shownRange = r.fields();
        return static_cast<int>(QDialog::Rejected);
    };
    d = std::make_unique<CConverterDialog>(d->sources(), services_, *store_);
    // A fresh dialog has fresh rows; set the text the way the user would have.
    auto* list = d->controlAs<QTableWidget>(ConvCtl::List);
    list->item(1, ColRange)->setText(QStringLiteral("0:01:05.3-1:02:00.9"));
    list->selectRow(1);
    click(*d, ConvCtl::SetRange);
    EXPECT_FALSE(shownEntire);
    EXPECT_EQ(*shownRange, (RangeFields{0, 1, 5, 3, 1, 2, 0, 9}));
    EXPECT_EQ(d->cellText(1, ColRange), QStringLiteral("0:01:05.3-1:02:00.9")); // cancelled
}

TEST_F(ConverterDialogTest, TimeRangeRefusesAnEndBeforeTheStartEvenForAnEntireFile) {
    CTimeRangeDialog r(messages_);
    r.setRange(RangeFields{0, 0, 10, 0, 0, 0, 9, 9});
    r.show();
    auto* field = qobject_cast<QLineEdit*>(r.control(RangeCtl::StartHours));
    EXPECT_TRUE(field->isEnabled());
    EXPECT_EQ(field->maxLength(), 1);
    EXPECT_EQ(qobject_cast<QLineEdit*>(r.control(static_cast<int>(RangeCtl::StartHours) + 1))
                  ->maxLength(),
              2);
    qobject_cast<QPushButton*>(r.control(RangeCtl::Ok))->click();
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text,
              QStringLiteral("Start time can not be larger than end time."));
    EXPECT_EQ(messages_.shown[0].icon, MessageIcon::Stop);
    EXPECT_TRUE(r.isVisible());
    screenshot(r, "converter_time_range.png");

    // Checking "Entire audio file" disables the fields but the check still applies.
    qobject_cast<QCheckBox*>(r.control(RangeCtl::Entire))->click();
    EXPECT_FALSE(field->isEnabled());
    qobject_cast<QPushButton*>(r.control(RangeCtl::Ok))->click();
    EXPECT_EQ(messages_.shown.size(), 2u);
    EXPECT_TRUE(r.isVisible());

    // Equal times are accepted.
    r.setRange(RangeFields{0, 0, 10, 0, 0, 0, 10, 0});
    qobject_cast<QPushButton*>(r.control(RangeCtl::Ok))->click();
    EXPECT_EQ(r.result(), QDialog::Accepted);
    EXPECT_EQ(r.rowText(), QStringLiteral("0:00:10.0-0:00:10.0"));
}

// Destination and refusals -------------------------------------------------------------------

TEST_F(ConverterDialogTest, DestinationIsASaveChoiceForOneSourceAndAFolderOtherwise) {
    QString saveStart;
    QString folderStart;
    services_.chooseSaveFile = [&](const QString& f) {
        saveStart = f;
        return std::optional<QString>(QStringLiteral("/out/new/song.mp3"));
    };
    services_.chooseFolder = [&](const QString& s) {
        folderStart = s;
        return std::optional<QString>(QStringLiteral("/out/all"));
    };
    auto d = open({QStringLiteral("/a/1.wav")});
    click(*d, ConvCtl::Browse);
    EXPECT_EQ(d->controlAs<QLineEdit>(ConvCtl::Destination)->text(),
              QStringLiteral("/out/new/song"));
    EXPECT_EQ(d->choices().destination, QStringLiteral("/out/new/song"));
    EXPECT_EQ(rememberedFolders().destination, QStringLiteral("/out/new"));
    click(*d, ConvCtl::Browse);
    EXPECT_EQ(saveStart, QStringLiteral("/out/new"));

    auto two = open({QStringLiteral("/a/1.wav"), QStringLiteral("/a/2.wav")});
    two->controlAs<QLineEdit>(ConvCtl::Destination)->setText(QStringLiteral("/typed"));
    click(*two, ConvCtl::Browse);
    EXPECT_TRUE(folderStart.isEmpty()); // the held destination, not the typed text
    EXPECT_EQ(two->controlAs<QLineEdit>(ConvCtl::Destination)->text(), QStringLiteral("/out/all"));
    // What "..." chose is written at closing.
    two->reject();
    EXPECT_EQ(
        store_->getString(QStringLiteral("History"), QStringLiteral("AudioConvertorDestination")),
        QStringLiteral("/out/all"));
}

TEST_F(ConverterDialogTest, ConvertRefusesWithoutSourcesOrDestination) {
    auto d = open({});
    d->controlAs<QLineEdit>(ConvCtl::Destination)->setText(qs(dir_.file("out")));
    click(*d, ConvCtl::Convert);
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text, QStringLiteral("No source file was specified."));
    EXPECT_EQ(messages_.shown[0].icon, MessageIcon::Stop);

    auto one = open({tone("a.wav")});
    one->controlAs<QLineEdit>(ConvCtl::Destination)->setText(QStringLiteral("   "));
    click(*one, ConvCtl::Convert);
    ASSERT_EQ(messages_.shown.size(), 2u);
    EXPECT_EQ(messages_.shown[1].text,
              QStringLiteral("No destination file or directory was specified."));
    EXPECT_FALSE(std::filesystem::exists(dir_.file("out.mp3")));
}

// Jobs through the plug-ins ------------------------------------------------------------------

TEST_F(ConverterDialogTest, JobShowsEachRowsResultDeletesFailuresAndOffersTheOutputs) {
    const QString good1 = tone("first.wav");
    const QString broken = qs(dir_.file("broken.wav"));
    testsupport::writeFile(broken.toStdString(), std::vector<std::uint8_t>(4000, 0x5a));
    const QString good2 = tone("third.wav");
    const std::string out = dir_.file("out");
    std::filesystem::create_directory(out);

    auto d = open({good1, broken, good2});
    d->setPacing(true);
    d->controlAs<QLineEdit>(ConvCtl::Destination)->setText(qs(out));
    d->controlAs<QComboBox>(ConvCtl::Type)->setCurrentIndex(0); // MP3
    d->controlAs<QComboBox>(ConvCtl::Channels)->setCurrentIndex(1);
    std::vector<QString> seenWhenStarted;
    QObject::connect(d.get(), &CConverterDialog::sourceStarted, d.get(), [&](int row) {
        seenWhenStarted.push_back(d->cellText(row, ColStatus));
        EXPECT_TRUE(d->busy());
        EXPECT_FALSE(d->controlAs<QComboBox>(ConvCtl::Type)->isEnabled());
        if (row == 2) {
            // One converted, one failed, one converting.
            screenshot(*d, "converter_dialog_job.png");
        }
    });
    click(*d, ConvCtl::Convert);

    EXPECT_EQ(seenWhenStarted, (std::vector<QString>{status(705), status(705), status(705)}));
    EXPECT_EQ(d->cellText(0, ColStatus), QStringLiteral("Convert OK"));
    EXPECT_EQ(d->cellText(1, ColStatus), QStringLiteral("Fail to read"));
    EXPECT_EQ(d->cellText(2, ColStatus), QStringLiteral("Convert OK"));
    EXPECT_FALSE(d->busy());
    EXPECT_TRUE(d->controlAs<QComboBox>(ConvCtl::Type)->isEnabled());
    EXPECT_EQ(d->controlAs<QProgressBar>(ConvCtl::Progress1)->value(), 3);
    EXPECT_EQ(d->controlAs<QProgressBar>(ConvCtl::Progress2)->value(), 100);
    EXPECT_EQ(d->controlAs<QLabel>(ConvCtl::CurrentName)->text(), QStringLiteral("third.wav"));

    EXPECT_TRUE(std::filesystem::exists(out + "/first.mp3"));
    EXPECT_FALSE(std::filesystem::exists(out + "/broken.mp3"));
    EXPECT_TRUE(convtest::hiddenFiles(out).empty());
    const auto decoded = convtest::decodeAll(out + "/third.mp3");
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.channels, 1);

    // The unreadable source's message, then the question with the count.
    ASSERT_EQ(messages_.shown.size(), 2u);
    EXPECT_EQ(messages_.shown[0].text, status(763));
    EXPECT_EQ(messages_.shown[1].text,
              QStringLiteral("Converting completed. 2 files converted successfully. Add the output "
                             "file(s) to playlist?"));
    EXPECT_EQ(messages_.shown[1].icon, MessageIcon::Question);
    EXPECT_EQ(added_, (QStringList{qs(out + "/first.mp3"), qs(out + "/third.mp3")}));

    // Convert took the controls: closing writes them.
    d->reject();
    EXPECT_EQ(
        store_->getInt(QStringLiteral("History"), QStringLiteral("AudioConvertorChannels"), -1), 1);

    // Again with skip checked: both outputs exist, so nothing is offered and nothing is added.
    auto again = open({good1, good2});
    again->controlAs<QLineEdit>(ConvCtl::Destination)->setText(qs(out));
    messages_.answer = MessageAnswer::No;
    click(*again, ConvCtl::Convert);
    EXPECT_EQ(again->cellText(0, ColStatus), QStringLiteral("Skipped"));
    ASSERT_EQ(messages_.shown.size(), 3u);
    EXPECT_EQ(messages_.shown[2].text,
              QStringLiteral("Converting completed. 0 files converted successfully."));
    EXPECT_EQ(messages_.shown[2].buttons, MessageButtons::Ok);
    EXPECT_EQ(added_.size(), 2);
}

TEST_F(ConverterDialogTest, MergeThroughTheDialogOffersOneFileOnce) {
    const QString a = tone("a.wav");
    const QString b = tone("b.wav", 11025);
    auto d = open({a, b});
    d->controlAs<QLineEdit>(ConvCtl::Destination)->setText(qs(dir_.file("joined.mp3")));
    d->controlAs<QComboBox>(ConvCtl::Type)->setCurrentIndex(1); // WAV
    d->controlAs<QCheckBox>(ConvCtl::Merge)->setChecked(true);
    click(*d, ConvCtl::Convert);
    EXPECT_EQ(d->cellText(1, ColStatus), QStringLiteral("Convert OK"));
    EXPECT_EQ(added_, QStringList{qs(dir_.file("joined.wav"))});
    const auto decoded = convtest::decodeAll(dir_.file("joined.wav"));
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.frames, 22050u + 11025u);
}

TEST_F(ConverterDialogTest, CancelDuringTheSecondSourceKeepsTheFirstAndAsksNothing) {
    const QString a = tone("a.wav", 88200);
    const QString b = tone("b.wav", 88200);
    const QString c = tone("c.wav", 88200);
    const std::string out = dir_.file("out");
    std::filesystem::create_directory(out);
    auto d = open({a, b, c});
    d->setPacing(true);
    d->controlAs<QLineEdit>(ConvCtl::Destination)->setText(qs(out));
    d->controlAs<QComboBox>(ConvCtl::Type)->setCurrentIndex(1); // WAV
    bool stillShownAfterClose = false;
    int sourcesDuringJob = -1;
    bool firstJob = true;
    QObject::connect(d.get(), &CConverterDialog::sourceStarted, d.get(), [&](int row) {
        if (row != 1 || !firstJob) {
            return;
        }
        firstJob = false;
        // Queued: these run from the job's event pump, as a user's clicks would.
        QMetaObject::invokeMethod(
            d.get(),
            [&] {
                d->reject(); // closing does nothing while the job runs
                stillShownAfterClose = d->isVisible();
                click(*d, ConvCtl::RemoveAll); // neither does Remove all
                sourcesDuringJob = static_cast<int>(d->sources().size());
                click(*d, ConvCtl::CancelJob);
            },
            Qt::QueuedConnection);
    });
    click(*d, ConvCtl::Convert);

    EXPECT_TRUE(stillShownAfterClose);
    EXPECT_EQ(sourcesDuringJob, 3);
    EXPECT_EQ(d->cellText(0, ColStatus), QStringLiteral("Convert OK"));
    EXPECT_EQ(d->cellText(1, ColStatus), QStringLiteral("Canceled"));
    EXPECT_EQ(d->cellText(2, ColStatus), QString());
    EXPECT_EQ(d->controlAs<QProgressBar>(ConvCtl::Progress1)->value(), 2);
    EXPECT_TRUE(std::filesystem::exists(out + "/a.wav"));
    EXPECT_FALSE(std::filesystem::exists(out + "/b.wav"));
    EXPECT_FALSE(std::filesystem::exists(out + "/c.wav"));
    EXPECT_TRUE(convtest::hiddenFiles(out).empty());
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_TRUE(added_.isEmpty());
    EXPECT_FALSE(d->busy());
    EXPECT_TRUE(d->controlAs<QCheckBox>(ConvCtl::Merge)->isEnabled());
    screenshot(*d, "converter_dialog_cancelled.png");

    // The next job clears the statuses and runs again; Cancel outside a job does nothing.
    click(*d, ConvCtl::CancelJob);
    d->setPacing(false);
    click(*d, ConvCtl::Convert);
    EXPECT_EQ(d->cellText(0, ColStatus), QStringLiteral("Skipped"));
    EXPECT_EQ(d->cellText(2, ColStatus), QStringLiteral("Convert OK"));
}

} // namespace
