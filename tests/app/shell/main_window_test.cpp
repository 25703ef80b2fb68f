#include "audio_mode.h"
#include "dialog_templates.h"
#include "main_controls.h"
#include "main_window.h"
#include "pictures.h"
#include "play_list_box.h"
#include "message_box.h"
#include "profile_store.h"
#include "string_table.h"

#include "test_support.h"
#include "widget_app.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>

namespace {

using mireldo::CRecorderDialog;
using mireldo::MessageAnswer;
using mireldo::MessageButtons;
using mireldo::MessageIcon;
using mireldo::platform::ProfileStore;

QApplication& app() {
    return testsupport::widgetApp();
}

struct ShownMessage {
    QString text;
    MessageIcon icon;
    MessageButtons buttons;
};

class FakeMessages : public mireldo::UserMessages {
  public:
    MessageAnswer showMessage(const QString& text, MessageIcon icon,
                              MessageButtons buttons) override {
        shown.push_back({text, icon, buttons});
        return MessageAnswer::Ok;
    }
    std::vector<ShownMessage> shown;
};

void saveScreenshot(QWidget& w, const QString& name) {
    const QPixmap shot = w.grab();
    ASSERT_FALSE(shot.isNull());
    QDir().mkpath(QStringLiteral(MIRELDO_SCREENSHOT_DIR));
    EXPECT_TRUE(shot.save(QStringLiteral(MIRELDO_SCREENSHOT_DIR "/") + name));
}

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        app();
        ProfileStore::setFolderForTesting(QString::fromStdString(dir_.path().string()));
        mireldo::setAudioMode(mireldo::AudioMode::Virtual);
    }
    void TearDown() override {
        ProfileStore::setFolderForTesting(QString());
        mireldo::setAudioMode(mireldo::AudioMode::Virtual);
    }

    std::unique_ptr<CRecorderDialog> makeDialog(int outputDevices = 2) {
        mireldo::DialogServices services;
        services.inputDeviceNames = [] {
            return QStringList{QStringLiteral("Line in"), QStringLiteral("USB microphone")};
        };
        services.outputDeviceNames = [outputDevices]() -> std::optional<QStringList> {
            QStringList names;
            for (int i = 0; i < outputDevices; ++i) {
                names << QStringLiteral("Output %1").arg(i);
            }
            return names;
        };
        services.showAbout = [this](QWidget*) { ++aboutShown_; };
        services.messages = &messages_;
        services.pluginFolder = QString::fromStdString(dir_.path().string());
        return std::make_unique<CRecorderDialog>(std::move(services));
    }

    ProfileStore store() const { return ProfileStore(); }

    testsupport::TempDir dir_;
    FakeMessages messages_;
    int aboutShown_ = 0;
};

// Every visible control lies inside the window and overlaps no other; a control is either
// wholly inside a group box or wholly outside it; texts fit their controls.
void expectCleanLayout(const CRecorderDialog& dialog) {
    const QRect client(QPoint(0, 0), dialog.size());
    std::vector<const QWidget*> visible;
    for (const QWidget* w : dialog.allControls()) {
        if (!w->isVisibleTo(&dialog)) {
            continue;
        }
        EXPECT_TRUE(client.contains(w->geometry()) ||
                    w->geometry().left() >= dialog.width()) // the hidden panel's side
            << w->objectName().toStdString();
        visible.push_back(w);
    }
    for (size_t i = 0; i < visible.size(); ++i) {
        for (size_t j = i + 1; j < visible.size(); ++j) {
            const QWidget* a = visible[i];
            const QWidget* b = visible[j];
            const bool aGroup = qobject_cast<const QGroupBox*>(a) != nullptr;
            const bool bGroup = qobject_cast<const QGroupBox*>(b) != nullptr;
            const QRect ra = a->geometry();
            const QRect rb = b->geometry();
            if (aGroup != bGroup) {
                const QRect group = aGroup ? ra : rb;
                const QRect other = aGroup ? rb : ra;
                EXPECT_TRUE(group.contains(other) || !group.intersects(other))
                    << "straddles a group: " << a->objectName().toStdString() << " / "
                    << b->objectName().toStdString();
            } else {
                EXPECT_FALSE(ra.intersects(rb)) << "overlap: " << a->objectName().toStdString()
                                                << " " << b->objectName().toStdString();
            }
        }
        // Legible: the text fits.
        const QWidget* w = visible[i];
        const QFontMetrics fm(w->font());
        EXPECT_GE(w->height(), fm.height()) << w->objectName().toStdString();
        if (const auto* label = qobject_cast<const QLabel*>(w);
            label != nullptr && label->textFormat() == Qt::PlainText && label->frameStyle() == 0) {
            EXPECT_LE(fm.horizontalAdvance(label->text()), w->width())
                << "text cut: " << label->text().toStdString();
        }
        if (const auto* button = qobject_cast<const QPushButton*>(w)) {
            EXPECT_LE(fm.horizontalAdvance(button->text()) + 8, w->width())
                << "text cut: " << button->text().toStdString();
        }
        if (qobject_cast<const QCheckBox*>(w) != nullptr ||
            qobject_cast<const QComboBox*>(w) != nullptr) {
            EXPECT_LE(w->sizeHint().width(), w->width())
                << "text cut: " << w->objectName().toStdString();
        }
        if (const auto* group = qobject_cast<const QGroupBox*>(w)) {
            // The group's title is not covered by its toggle button.
            for (const QWidget* other : visible) {
                if (qobject_cast<const QToolButton*>(other) != nullptr &&
                    group->geometry().contains(other->geometry())) {
                    EXPECT_GT(other->x(), group->x() + 10 + fm.horizontalAdvance(group->title()))
                        << group->title().toStdString();
                }
            }
        }
    }
}

TEST_F(MainWindow, FirstStartShowsTheDefaultsAndWritesThem) {
    {
        auto dialog = makeDialog();
        dialog->show();
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Mireldo 5.0"));
        EXPECT_FALSE(dialog->windowIcon().isNull());
        EXPECT_EQ(dialog->controlAs<QComboBox>(1003)->currentIndex(), 0);
        EXPECT_EQ(dialog->controlAs<QSlider>(1004)->value(), 10);
        EXPECT_EQ(dialog->controlAs<QLabel>(1017)->text(), QStringLiteral("128 kbps"));
        EXPECT_EQ(dialog->controlAs<QComboBox>(1217)->currentText(),
                  QStringLiteral("44100 Hz 16 bits stereo"));
        EXPECT_EQ(dialog->controlAs<QComboBox>(1217)->count(), 28);
        EXPECT_EQ(dialog->controlAs<QComboBox>(1266)->currentIndex(), 0);
        EXPECT_EQ(dialog->controlAs<QLineEdit>(1031)->text(), QStringLiteral("2"));
        EXPECT_EQ(dialog->controlAs<QLabel>(1008)->text(), QStringLiteral("Ready to record"));
        EXPECT_TRUE(dialog->isAreaExpanded(CRecorderDialog::Area::Silence));
        EXPECT_TRUE(dialog->isAreaExpanded(CRecorderDialog::Area::Saving));
        EXPECT_EQ(dialog->size(),
                  QSize(mireldo::mainWindowTemplate().width, mireldo::mainWindowTemplate().height));
        EXPECT_EQ(dialog->controlAs<QSlider>(1016)->value(), 65535);
        EXPECT_EQ(dialog->controlAs<QLineEdit>(1031)->maxLength(), 2);
        EXPECT_EQ(dialog->control(1127)->toolTip(), QStringLiteral("Begin recording"));
        EXPECT_TRUE(dialog->control(1127)->isEnabled());
        EXPECT_FALSE(dialog->control(1022)->isEnabled());
        saveScreenshot(*dialog, QStringLiteral("main_window.png"));
    }
    const ProfileStore s = store();
    EXPECT_EQ(s.getInt(QStringLiteral("Settings"), QStringLiteral("RecordQuality"), -1), 10);
    EXPECT_EQ(s.getInt(QStringLiteral("Settings"), QStringLiteral("EncodeMethod"), -1), 0);
    EXPECT_EQ(s.getInt(QStringLiteral("History"), QStringLiteral("OfflineRecFmt2"), -1), 3);
    EXPECT_EQ(s.getInt(QStringLiteral("Settings"), QStringLiteral("ShowRightPanel"), -1), 1);
    EXPECT_TRUE(s.contains(QStringLiteral("Settings"), QStringLiteral("RecordFolder")));
}

TEST_F(MainWindow, SettingsSurviveConstructionAndDestruction) {
    {
        auto dialog = makeDialog();
        dialog->controlAs<QComboBox>(1003)->setCurrentIndex(2);
        dialog->controlAs<QComboBox>(1030)->setCurrentIndex(3);
        dialog->controlAs<QComboBox>(1033)->setCurrentIndex(4);
        dialog->controlAs<QComboBox>(1217)->setCurrentIndex(20);
        dialog->controlAs<QComboBox>(1266)->setCurrentIndex(1);
        dialog->controlAs<QSlider>(1004)->setValue(3);
        dialog->controlAs<QCheckBox>(1024)->setChecked(true);
        dialog->controlAs<QCheckBox>(1025)->setChecked(true);
        dialog->controlAs<QCheckBox>(1027)->setChecked(true);
        dialog->controlAs<QCheckBox>(1034)->setChecked(true);
        dialog->controlAs<QLineEdit>(1031)->setText(QStringLiteral("15"));
        dialog->controlAs<QLineEdit>(1035)->setText(QStringLiteral("7"));
        dialog->controlAs<QLineEdit>(1001)->setText(QStringLiteral("/srv/my records"));
        dialog->toggleArea(CRecorderDialog::Area::Saving);
        EXPECT_EQ(dialog->controlAs<QLabel>(1017)->text(), QStringLiteral("40 kbps"));
    }
    auto dialog = makeDialog();
    EXPECT_EQ(dialog->controlAs<QComboBox>(1003)->currentIndex(), 2);
    EXPECT_EQ(dialog->controlAs<QComboBox>(1030)->currentIndex(), 3);
    EXPECT_EQ(dialog->controlAs<QComboBox>(1033)->currentIndex(), 4);
    EXPECT_EQ(dialog->controlAs<QComboBox>(1217)->currentIndex(), 20);
    EXPECT_EQ(dialog->controlAs<QComboBox>(1266)->currentIndex(), 1);
    EXPECT_EQ(dialog->controlAs<QSlider>(1004)->value(), 3);
    EXPECT_TRUE(dialog->controlAs<QCheckBox>(1024)->isChecked());
    EXPECT_TRUE(dialog->controlAs<QCheckBox>(1025)->isChecked());
    EXPECT_TRUE(dialog->controlAs<QCheckBox>(1027)->isChecked());
    EXPECT_TRUE(dialog->controlAs<QCheckBox>(1034)->isChecked());
    EXPECT_EQ(dialog->controlAs<QLineEdit>(1031)->text(), QStringLiteral("15"));
    EXPECT_EQ(dialog->controlAs<QLineEdit>(1035)->text(), QStringLiteral("7"));
    EXPECT_EQ(dialog->controlAs<QLineEdit>(1001)->text(), QStringLiteral("/srv/my records"));
    EXPECT_FALSE(dialog->isAreaExpanded(CRecorderDialog::Area::Saving));
    EXPECT_TRUE(dialog->isAreaExpanded(CRecorderDialog::Area::Silence));
}

TEST_F(MainWindow, StoredValuesAreNormalisedOnConstruction) {
    ProfileStore s = store();
    s.setInt(QStringLiteral("Settings"), QStringLiteral("CurrentOutputDevice"), 3);
    s.setInt(QStringLiteral("Settings"), QStringLiteral("EncodeMethod"), 6);
    s.setString(QStringLiteral("Settings"), QStringLiteral("RecordFolder"),
                QStringLiteral("/a/b//"));
    s.setInt(QStringLiteral("History"), QStringLiteral("OfflineRecDev"), 9);
    {
        auto dialog = makeDialog(2);
        EXPECT_EQ(dialog->settings().outputDevice, 0);
        EXPECT_EQ(dialog->controlAs<QComboBox>(1003)->currentIndex(), 2);
        EXPECT_EQ(dialog->controlAs<QLineEdit>(1001)->text(), QStringLiteral("/a/b"));
        // Row 9 is not in the list of two devices: nothing is selected ...
        EXPECT_EQ(dialog->controlAs<QComboBox>(1266)->currentIndex(), -1);
    }
    EXPECT_EQ(s.getInt(QStringLiteral("Settings"), QStringLiteral("CurrentOutputDevice"), -1), 0);
    // ... and the stored row stays for when the device is back.
    EXPECT_EQ(s.getInt(QStringLiteral("History"), QStringLiteral("OfflineRecDev"), -1), 9);
}

TEST_F(MainWindow, NonIntegerFieldStopsTheOperationWithThePrompt) {
    auto dialog = makeDialog();
    dialog->show();
    dialog->controlAs<QCheckBox>(1024)->setChecked(true);
    dialog->controlAs<QLineEdit>(1031)->setText(QStringLiteral("x1"));
    EXPECT_FALSE(dialog->readControls());
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text, QStringLiteral("Please enter an integer."));
    EXPECT_FALSE(dialog->settings().askForRenaming); // nothing was taken
    EXPECT_EQ(dialog->settings().longBlankSeconds, 2);

    // Closing is an operation that reads the controls: the window stays.
    dialog->reject();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(messages_.shown.size(), 2u);

    dialog->controlAs<QLineEdit>(1031)->setText(QStringLiteral("-5"));
    dialog->controlAs<QLineEdit>(1035)->setText(QString());
    EXPECT_FALSE(dialog->readControls());
    dialog->controlAs<QLineEdit>(1035)->setText(QStringLiteral("3"));
    EXPECT_TRUE(dialog->readControls());
    EXPECT_EQ(dialog->settings().longBlankSeconds, -5);
    EXPECT_EQ(dialog->settings().shortRecordSeconds, 3);
    EXPECT_TRUE(dialog->settings().askForRenaming);
    dialog->reject();
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(MainWindow, ShowsEveryControlLegiblyWithoutOverlaps) {
    auto dialog = makeDialog();
    dialog->show();
    for (const mireldo::ControlTemplate& c : mireldo::mainWindowTemplate().controls) {
        if (c.id != mireldo::kStaticId) {
            ASSERT_NE(dialog->control(c.id), nullptr) << c.id;
            EXPECT_EQ(dialog->control(c.id)->isVisible(), (c.flags & mireldo::kCtlEndpoint) == 0)
                << c.id;
        }
    }
    expectCleanLayout(*dialog);
}

TEST_F(MainWindow, EndpointModeRearrangesTheRecordingSettings) {
    mireldo::setAudioMode(mireldo::AudioMode::Pulse);
    auto dialog = makeDialog();
    dialog->show();
    for (int id : {1266, 1051, 1268, 1009, 1147}) {
        EXPECT_FALSE(dialog->control(id)->isVisible()) << id;
    }
    for (int id : {1049, 1052, 1053, 1071, 1010}) {
        EXPECT_TRUE(dialog->control(id)->isVisible()) << id;
    }
    const QRect list = dialog->control(1049)->geometry();
    EXPECT_EQ(list.left(), dialog->control(1051)->x());
    EXPECT_EQ(list.top(), dialog->control(1268)->y());
    EXPECT_EQ(list.right(), dialog->control(1268)->geometry().right());
    EXPECT_EQ(list.bottom(), dialog->control(1147)->geometry().bottom());
    EXPECT_EQ(dialog->controlAs<QSlider>(1010)->maximum(), 100);
    EXPECT_EQ(dialog->control(1052)->x(), dialog->control(1010)->geometry().right() + 1);
    expectCleanLayout(*dialog);
    saveScreenshot(*dialog, QStringLiteral("main_window_endpoint_mode.png"));
}

TEST_F(MainWindow, TheTenthOutputDeviceCanBeChosenAndIsKept) {
    {
        auto dialog = makeDialog(12); // more than ten: the menu offers ten
        auto* button = dialog->controlAs<QAbstractButton>(1028);
        ASSERT_NE(button, nullptr);
        QMenu* menu = dialog->findChild<QMenu*>();
        QAction* tenth = nullptr;
        int devices = 0;
        for (QMenu* m : dialog->findChildren<QMenu*>()) {
            for (QAction* a : m->actions()) {
                if (a->isCheckable() && a->data().toInt() > 1144) {
                    ++devices;
                }
                if (a->data().toInt() == 1154) {
                    tenth = a;
                    menu = m;
                }
            }
        }
        EXPECT_EQ(devices, 10);
        ASSERT_NE(tenth, nullptr);
        EXPECT_EQ(tenth->text(), QStringLiteral("Output 9"));
        tenth->trigger();
        EXPECT_EQ(dialog->settings().outputDevice, 10);
        button->click(); // the menu shows the choice checked
        EXPECT_TRUE(tenth->isChecked());
        menu->hide();
    }
    EXPECT_EQ(store().getInt(QStringLiteral("Settings"), QStringLiteral("CurrentOutputDevice"), 0),
              10);
    auto again = makeDialog(10);
    EXPECT_EQ(again->settings().outputDevice, 10);
}

TEST_F(MainWindow, ThePlaylistsTagAndConverterCommandsWorkFromTheStart) {
    mireldo::DialogServices services;
    services.messages = &messages_;
    services.pluginFolder = QString::fromStdString(dir_.path().string());
    services.playlistFile = QString::fromStdString(dir_.file("list.lst"));
    CRecorderDialog dialog(std::move(services));
    auto* list =
        dynamic_cast<mireldo::playlist::CPlayListBox*>(dialog.control(mireldo::MainCtl::Playlist));
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->hasCommandHooks());
}

TEST_F(MainWindow, TheEmailCommandChecksThePlaylistSelection) {
    mireldo::DialogServices services;
    services.messages = &messages_;
    services.pluginFolder = QString::fromStdString(dir_.path().string());
    services.playlistFile = QString::fromStdString(dir_.file("list.lst"));
    CRecorderDialog dialog(std::move(services));
    auto* list =
        dynamic_cast<mireldo::playlist::CPlayListBox*>(dialog.control(mireldo::MainCtl::Playlist));
    ASSERT_NE(list, nullptr);

    dialog.mailCommand();
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text, QStringLiteral("No item was selected."));

    std::vector<int> rows;
    for (int i = 0; i < 51; ++i) {
        const std::string path = dir_.file("take" + std::to_string(i) + ".wav");
        testsupport::writeFile(path, std::vector<uint8_t>(64, 0));
        ASSERT_GE(dialog.addRecordToPlaylist(QString::fromStdString(path)), 0);
        rows.push_back(i + 1); // row 0 is the list's fixed first row
    }
    list->selectRows(rows);
    dialog.mailCommand();
    ASSERT_EQ(messages_.shown.size(), 2u);
    EXPECT_EQ(messages_.shown[1].text, QStringLiteral("Error: Too many attachment files!"));
}

TEST_F(MainWindow, WideStoredSecondsAreKeptUnlessEditedAndStayReadableWhileDisabled) {
    ProfileStore s = store();
    s.setInt(QStringLiteral("Settings"), QStringLiteral("ShortRecordSeconds"), 123);
    s.setInt(QStringLiteral("Settings"), QStringLiteral("LongBlankSeconds"), 456);
    {
        auto dialog = makeDialog();
        auto* shortEdit = dialog->controlAs<QLineEdit>(mireldo::MainCtl::ShortRecordSeconds);
        auto* longEdit = dialog->controlAs<QLineEdit>(mireldo::MainCtl::LongSilenceSeconds);
        EXPECT_EQ(shortEdit->text(), QStringLiteral("12")); // the field holds two digits
        longEdit->setText(QStringLiteral("30"));
        EXPECT_TRUE(dialog->readControls());
        EXPECT_EQ(dialog->settings().shortRecordSeconds, 123);
        EXPECT_EQ(dialog->settings().longBlankSeconds, 30);

        // The grey fill belongs to the enabled field only: disabled, the style's colours show
        // the digits.
        dialog->setEnabled(false);
        const QPalette p = shortEdit->palette();
        EXPECT_EQ(p.color(QPalette::Active, QPalette::Base), QColor(190, 190, 190));
        EXPECT_NE(p.color(QPalette::Disabled, QPalette::Base), QColor(190, 190, 190));
        EXPECT_NE(p.color(QPalette::Disabled, QPalette::Base),
                  p.color(QPalette::Disabled, QPalette::Text));
        dialog->setEnabled(true);
    }
    EXPECT_EQ(s.getInt(QStringLiteral("Settings"), QStringLiteral("ShortRecordSeconds"), -1), 123);
    EXPECT_EQ(s.getInt(QStringLiteral("Settings"), QStringLiteral("LongBlankSeconds"), -1), 30);

    // Typing the digits the field showed sets that value.
    {
        auto dialog = makeDialog();
        auto* shortEdit = dialog->controlAs<QLineEdit>(mireldo::MainCtl::ShortRecordSeconds);
        EXPECT_EQ(shortEdit->text(), QStringLiteral("12"));
        shortEdit->setModified(true);
        EXPECT_TRUE(dialog->readControls());
        EXPECT_EQ(dialog->settings().shortRecordSeconds, 12);
    }
}

TEST_F(MainWindow, OnlineHelpSaysWhyWhenNoBrowserCanBeStarted) {
    mireldo::DialogServices services;
    services.messages = &messages_;
    services.pluginFolder = QString::fromStdString(dir_.path().string());
    QStringList opened;
    int answer = 31; // no program for the address
    services.openAddress = [&](const QString& address) {
        opened.append(address);
        return answer;
    };
    CRecorderDialog dialog(std::move(services));
    dialog.controlAs<QPushButton>(mireldo::MainCtl::OnlineHelp)->click();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].startsWith(QStringLiteral("http"))) << opened[0].toStdString();
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_TRUE(messages_.shown[0].text.startsWith(QStringLiteral("Unable to open hyperlink:")))
        << messages_.shown[0].text.toStdString();
    answer = 42; // opened
    dialog.controlAs<QPushButton>(mireldo::MainCtl::OnlineHelp)->click();
    EXPECT_EQ(messages_.shown.size(), 1u);
}

TEST_F(MainWindow, TheRecordFolderButtonOpensTheFolderBrowserAndThePictureFitsItsButton) {
    auto dialog = makeDialog();
    dialog->show();
    bool sawBrowser = false;
    QTimer::singleShot(0, [&] {
        auto* browser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (browser != nullptr) {
            sawBrowser = browser->testOption(QFileDialog::ShowDirsOnly) &&
                         browser->testOption(QFileDialog::DontUseNativeDialog) &&
                         browser->fileMode() == QFileDialog::Directory;
            browser->reject();
        }
    });
    dialog->controlAs<QPushButton>(mireldo::MainCtl::BrowseRecordFolder)->click();
    EXPECT_TRUE(sawBrowser);

    // The output-device button's picture lies inside its one-pixel frame.
    const QWidget* output = dialog->control(mireldo::MainCtl::OutputDevice);
    EXPECT_LE(mireldo::ui::loadPicture(mireldo::ui::kPicSpeaker).width(), output->width() - 2);
}

TEST_F(MainWindow, CollapsedAreasOpenCollapsedAndMoveWhatIsBelow) {
    auto expanded = makeDialog();
    const auto geometry = [&](int id) { return expanded->control(id)->geometry(); };
    const QRect silence = geometry(1037);
    const QRect saving = geometry(1041);
    const QRect playlist = geometry(1011);
    const QRect volume = geometry(1016);
    const int a = geometry(1018).bottom() - silence.bottom() + 3; // < 0
    const int b = geometry(1019).bottom() - saving.bottom() + 3;
    const QSize full = expanded->size();
    expanded.reset();

    ProfileStore s = store();
    s.setInt(QStringLiteral("Settings"), QStringLiteral("ShowBlankElimination"), 0);
    s.setInt(QStringLiteral("Settings"), QStringLiteral("ShowSaveSettings"), 0);
    auto dialog = makeDialog();
    dialog->show();
    EXPECT_EQ(dialog->size(), QSize(full.width(), full.height() + a + b));
    EXPECT_EQ(dialog->control(1037)->height(), silence.height() + a);
    EXPECT_EQ(dialog->control(1041)->y(), saving.y() + a); // right below the silence area
    EXPECT_EQ(dialog->control(1011)->height(), playlist.height() + a + b);
    EXPECT_EQ(dialog->control(1016)->y(), volume.y() + a + b);
    EXPECT_FALSE(dialog->control(1033)->isVisible());
    EXPECT_FALSE(dialog->control(1001)->isVisible());
    EXPECT_EQ(dialog->control(1018)->toolTip(), QStringLiteral("Expend silence detection area"));
    expectCleanLayout(*dialog);
    saveScreenshot(*dialog, QStringLiteral("main_window_collapsed.png"));

    // Hiding the playlist keeps the collapsed height at the narrow width.
    dialog->togglePlaylistPanel();
    EXPECT_EQ(dialog->size(), QSize(playlist.left() + 3, full.height() + a + b));
    EXPECT_FALSE(dialog->control(1011)->isVisible());
    EXPECT_EQ(dialog->control(1007)->toolTip(), QStringLiteral("Show playlist"));
    expectCleanLayout(*dialog);
    saveScreenshot(*dialog, QStringLiteral("main_window_narrow.png"));
    dialog->togglePlaylistPanel();

    // Expanding the silence area moves the collapsed saving group and the panel's lower
    // controls down by the silence amount.
    dialog->toggleArea(CRecorderDialog::Area::Silence);
    EXPECT_EQ(dialog->control(1041)->y(), saving.y());
    EXPECT_EQ(dialog->control(1041)->height(), saving.height() + b);
    EXPECT_EQ(dialog->control(1016)->y(), volume.y() + b);
    EXPECT_EQ(dialog->size(), QSize(full.width(), full.height() + b));
    dialog->toggleArea(CRecorderDialog::Area::Saving);
    EXPECT_EQ(dialog->size(), full);
    EXPECT_EQ(dialog->control(1011)->geometry(), playlist);
    EXPECT_EQ(dialog->control(1041)->geometry(), saving);
    EXPECT_TRUE(dialog->control(1001)->isVisible());
}

TEST_F(MainWindow, RecoveredRecordsAreToldOnceWhenTheWindowShows) {
    auto dialog = makeDialog();
    mireldo::StaleFileReport report;
    report.recovered << QStringLiteral("/home/u/2024-01-02 03h04m05s (recovered).wav");
    dialog->setStartupReport(report);
    EXPECT_TRUE(messages_.shown.empty());
    dialog->show();
    QApplication::processEvents();
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_TRUE(messages_.shown[0].text.contains(report.recovered[0]));
    EXPECT_EQ(messages_.shown[0].icon, MessageIcon::Information);
    dialog->hide();
    dialog->show();
    QApplication::processEvents();
    EXPECT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(dialog->recoveredRecords(), report.recovered);
}

TEST_F(MainWindow, SystemMenuOffersTheAboutBox) {
    auto dialog = makeDialog();
    const QList<QAction*> actions = dialog->systemMenu()->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_TRUE(actions[0]->isSeparator());
    EXPECT_EQ(actions[1]->text(), QStringLiteral("&About Mireldo..."));
    actions[1]->trigger();
    EXPECT_EQ(aboutShown_, 1);
    dialog->systemCommand(31);
    dialog->systemCommand(15);
    dialog->systemCommand(32);
    EXPECT_EQ(aboutShown_, 2);
    dialog->controlAs<QToolButton>(1013)->click();
    EXPECT_EQ(aboutShown_, 3);
}

TEST_F(MainWindow, StatusTextChangesOnlyWithItsCode) {
    auto dialog = makeDialog();
    auto* line = dialog->controlAs<QLabel>(1008);
    line->setText(QStringLiteral("changed elsewhere"));
    dialog->setStatus(0); // same code: left as it is
    EXPECT_EQ(line->text(), QStringLiteral("changed elsewhere"));
    dialog->setStatus(3);
    EXPECT_EQ(line->text(), QStringLiteral("Recording paused"));
    EXPECT_EQ(line->palette().color(QPalette::WindowText), QColor(180, 0, 0));
}

// The window's code trusts its typed controls; a template that lost one, or made it of another
// class, must stop the program at once, naming the control, rather than leave a null member.
TEST(MainControlsDeathTest, AMissingOrMistypedControlStopsTheProgramNamingIt) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    mireldo::MainControls controls;
    EXPECT_DEATH(mireldo::bindMainControls(controls, [](mireldo::MainCtl) { return nullptr; }),
                 "control 1266 is missing or of the wrong class");
    EXPECT_DEATH(
        {
            app();
            QComboBox combo;
            // Every list is a QComboBox, so the first other control fails: the source label.
            mireldo::bindMainControls(controls, [&combo](mireldo::MainCtl) { return &combo; });
        },
        "control 1051 is missing or of the wrong class");
}

TEST(MessageBoxes, IconsButtonsAndAnswers) {
    app();
    const auto box = mireldo::makeMessageBox(nullptr, mireldo::loadString(364),
                                             MessageIcon::Question, MessageButtons::YesNoCancel);
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->text(), QStringLiteral("Save modifications made to the current record?"));
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(box->standardButton(box->escapeButton()), QMessageBox::Cancel);
    EXPECT_EQ(mireldo::answerFor(*box, QMessageBox::No), MessageAnswer::No);
    EXPECT_EQ(mireldo::answerFor(*box, -1), MessageAnswer::Cancel); // closed by the window manager

    const auto stop = mireldo::makeMessageBox(nullptr, QStringLiteral("x"), MessageIcon::Stop,
                                              MessageButtons::Ok);
    EXPECT_EQ(stop->icon(), QMessageBox::Critical);
    EXPECT_EQ(mireldo::answerFor(*stop, -1), MessageAnswer::Ok);
    EXPECT_EQ(mireldo::makeMessageBox(nullptr, {}, MessageIcon::Information, MessageButtons::YesNo)
                  ->icon(),
              QMessageBox::Information);
    EXPECT_EQ(
        mireldo::makeMessageBox(nullptr, {}, MessageIcon::Exclamation, MessageButtons::Ok)->icon(),
        QMessageBox::Warning);
}

} // namespace
