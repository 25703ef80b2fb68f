// The buttons, link label, small dialogs and position control on the offscreen platform.

#include "app_buttons.h"
#include "image_button.h"
#include "link_label.h"
#include "link_rules.h"
#include "message_receiver.h"
#include "pictures.h"
#include "position_control.h"
#include "progress_dialog.h"
#include "small_dialogs.h"
#include "text_list.h"
#include "textured_button.h"
#include "time_label.h"
#include "ui_strings.h"
#include "widget_test_app.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

#include <gtest/gtest.h>

#include <vector>

using namespace mireldo::ui;

namespace {

constexpr QRgb kMagenta = 0xFFFF00FFu;

// A parent filled with magenta, so that any pixel the button leaves undrawn shows as magenta.
struct AppFirst {
    AppFirst() { uitest::app(); }
};

struct Host : AppFirst {
    QWidget window;
    Host() {
        window.resize(200, 80);
        QPalette p = window.palette();
        p.setColor(QPalette::Window, QColor(kMagenta));
        window.setPalette(p);
        window.setAutoFillBackground(true);
    }
    QImage shot(QWidget* w) {
        return window.grab(w->geometry()).toImage().convertToFormat(QImage::Format_RGB32);
    }
};

enum class State { Normal, Hot, Pressed, Disabled };

void putInState(CImageButton* b, State s) {
    b->setEnabled(s != State::Disabled);
    b->setDown(s == State::Pressed);
    if (s == State::Hot || s == State::Pressed) {
        uitest::move(b, b->rect().center());
    } else {
        uitest::move(b, QPoint(-5, -5));
    }
}

} // namespace

TEST(ImageButton, ApplicationButtonsInEveryStateScreenshot) {
    Host host;
    const int ids[] = {104, 1023, 1021, 1028};
    QImage montage(4 * 48 + 8, 4 * 34 + 8, QImage::Format_RGB32);
    montage.fill(QColor(212, 208, 200));
    QPainter painter(&montage);
    for (int row = 0; row < 4; ++row) {
        auto* b = new CImageButton(&host.window);
        b->setGeometry(10, 10, ids[row] == 1028 ? 40 : 30, ids[row] == 1028 ? 26 : 30);
        ASSERT_TRUE(configureApplicationButton(*b, ids[row])) << ids[row];
        for (int col = 0; col < 4; ++col) {
            putInState(b, static_cast<State>(col));
            painter.drawImage(4 + col * 48, 4 + row * 34,
                              b->parentWidget()->grab(b->geometry()).toImage());
        }
        delete b;
    }
    painter.end();
    uitest::saveScreenshot(montage, QStringLiteral("image_buttons_normal_hot_pressed_disabled"));
    CImageButton other;
    EXPECT_FALSE(configureApplicationButton(other, 1022));
}

TEST(ImageButton, ApplicationButtonsCarryTheirTooltipsAndBorderFlags) {
    uitest::app();
    CImageButton play;
    configureApplicationButton(play, 104);
    EXPECT_EQ(play.tooltipText(), QStringLiteral("Play selected items"));
    EXPECT_EQ(play.toolTip(), QStringLiteral("Play selected items"));
    EXPECT_FALSE(play.drawsBorder());
    EXPECT_TRUE(play.drawsFlatFocus());
    CImageButton device;
    configureApplicationButton(device, 1028);
    EXPECT_EQ(device.tooltipText(), QStringLiteral("Choose audio playing device"));
    EXPECT_TRUE(device.drawsBorder());
    EXPECT_FALSE(device.drawsFlatFocus());
    // An empty text changes nothing; deactivating hides it but keeps it.
    device.setTooltipString(QString());
    EXPECT_EQ(device.tooltipText(), QStringLiteral("Choose audio playing device"));
    device.setTooltipText(kStrChoosePlayingDevice, false);
    EXPECT_FALSE(device.isTooltipActive());
    EXPECT_TRUE(device.toolTip().isEmpty());
}

TEST(ImageButton, TransparentPixelsShowTheParentInEveryState) {
    Host host;
    auto* b = new CImageButton(&host.window);
    b->setGeometry(10, 10, 30, 30);
    b->setTransparentBackground(true);
    ASSERT_EQ(b->setPictures(kPicPlayHot, kPictureGrey, kPicPlay, kPictureGrey), 0);
    // The pictures' corner pixel is the transparent colour; the picture sits centred at (3, 3).
    for (State s : {State::Normal, State::Hot, State::Pressed}) {
        putInState(b, s);
        const QImage shot = host.shot(b);
        const QPoint corner = s == State::Pressed ? QPoint(4, 4) : QPoint(3, 3);
        EXPECT_EQ(shot.pixel(corner), kMagenta) << static_cast<int>(s);
        EXPECT_NE(shot.pixel(15, 15), kMagenta) << "the symbol itself is drawn";
    }
}

TEST(ImageButton, OnlyAHotPictureIsShownInAllStates) {
    Host host;
    auto* b = new CImageButton(&host.window);
    b->setGeometry(10, 10, 30, 30);
    ASSERT_EQ(b->setPictures(kPicStopHot, kPictureGrey, CImageButton::kNoPicture, kPictureGrey), 0);
    putInState(b, State::Normal);
    const QImage normal = b->currentPicture();
    putInState(b, State::Hot);
    EXPECT_EQ(normal, b->currentPicture());
    EXPECT_FALSE(normal.isNull());
}

TEST(ImageButton, GreyAndDarkerNormalPicturesAreMadeFromTheHotOne) {
    uitest::app();
    CImageButton b;
    ASSERT_EQ(b.setPictures(kPicPlayHot, kPictureGrey, CImageButton::kGreyCopy, kPictureGrey), 0);
    const QImage grey = b.currentPicture();
    const QRgb px = grey.pixel(12, 12);
    EXPECT_EQ(qRed(px), qGreen(px));
    EXPECT_EQ(qGreen(px), qBlue(px));
    ASSERT_EQ(b.setPictures(kPicPlayHot, kPictureGrey, CImageButton::kDarkerCopy, kPictureGrey), 0);
    const QRgb hot = loadPicture(kPicPlayHot).pixel(12, 12);
    EXPECT_EQ(qGreen(b.currentPicture().pixel(12, 12)), static_cast<int>(qGreen(hot) * 0.75));
    EXPECT_EQ(b.setPictures(9999, kPictureGrey, CImageButton::kNoPicture, 0),
              CImageButton::kBadPictureSize);
    EXPECT_EQ(b.setPressedStyle(2), CImageButton::kInvalidStyle);
    EXPECT_EQ(b.setPressedStyle(1), 0);
    EXPECT_EQ(b.pressedOffset(), QPoint(0, 2));
}

TEST(ImageButton, WithoutBorderHoveringChangesOnlyThePicture) {
    Host host;
    auto* b = new CImageButton(&host.window);
    b->setGeometry(10, 10, 40, 40);
    configureApplicationButton(*b, 104);
    putInState(b, State::Normal);
    const QImage normal = host.shot(b);
    putInState(b, State::Hot);
    ASSERT_TRUE(b->isMouseOver());
    const QImage hot = host.shot(b);
    const QRect picture(8, 8, 24, 24);
    int changedInside = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            if (normal.pixel(x, y) != hot.pixel(x, y)) {
                ASSERT_TRUE(picture.contains(x, y)) << x << "," << y;
                ++changedInside;
            }
        }
    }
    EXPECT_GT(changedInside, 0);
    // With the border flag (the device button) a frame appears too.
    b->setDrawBorder(true);
    const QImage framed = host.shot(b);
    EXPECT_NE(framed.pixel(0, 20), hot.pixel(0, 20));
}

TEST(ImageButton, HoverNeedsFlatModeAndIsNotTakenWhileTheButtonIsHeldElsewhere) {
    Host host;
    auto* b = new CImageButton(&host.window);
    b->setGeometry(10, 10, 30, 30);
    uitest::move(b, QPoint(5, 5), Qt::LeftButton);
    EXPECT_FALSE(b->isMouseOver());
    uitest::move(b, QPoint(5, 5));
    EXPECT_TRUE(b->isMouseOver());
    uitest::move(b, QPoint(50, 5));
    EXPECT_FALSE(b->isMouseOver());
    b->setFlat(false);
    uitest::move(b, QPoint(5, 5));
    EXPECT_FALSE(b->isMouseOver());
}

TEST(ImageButton, DisabledButtonShowsTheDisabledPictureAndCannotBeHovered) {
    Host host;
    auto* b = new CImageButton(&host.window);
    b->setGeometry(10, 10, 30, 30);
    configureApplicationButton(*b, 104);
    uitest::move(b, QPoint(5, 5));
    ASSERT_TRUE(b->isMouseOver());
    b->setEnabled(false);
    EXPECT_FALSE(b->isMouseOver());
    uitest::move(b, QPoint(6, 6));
    EXPECT_FALSE(b->isMouseOver());
    const QImage pic = b->currentPicture();
    // Embossed in the palette's shadow and highlight colours only.
    const QRgb shadow = b->palette().color(QPalette::Active, QPalette::Dark).rgb();
    const QRgb light = b->palette().color(QPalette::Active, QPalette::Light).rgb();
    bool sawShadow = false;
    for (int y = 0; y < pic.height(); ++y) {
        for (int x = 0; x < pic.width(); ++x) {
            const QRgb p = pic.pixel(x, y);
            if (qAlpha(p) == 0) {
                continue;
            }
            ASSERT_TRUE(p == (shadow | 0xFF000000u) || p == (light | 0xFF000000u));
            sawShadow = sawShadow || p == (shadow | 0xFF000000u);
        }
    }
    EXPECT_TRUE(sawShadow);
}

TEST(ImageButton, CheckBoxModeTogglesOnClickAndShowsHotWhileChecked) {
    Host host;
    auto* b = new CImageButton(QStringLiteral("Loop"), &host.window);
    b->setGeometry(10, 10, 80, 30);
    b->setPictures(kPicPlayHot, kPictureGrey, kPicPlay, kPictureGrey);
    b->setCheckBoxMode(true);
    const QImage unchecked = b->currentPicture();
    b->click();
    EXPECT_TRUE(b->isChecked());
    uitest::move(b, QPoint(-3, -3));
    EXPECT_NE(b->currentPicture(), unchecked);
    b->click();
    EXPECT_FALSE(b->isChecked());
    EXPECT_EQ(b->currentPicture(), unchecked);
}

TEST(TexturedButton, TextureIsMadeOnceAtSetUpSizeAndDrawnTheSameEachTime) {
    Host host;
    auto* b = new CTexturedButton(QStringLiteral("OK"), &host.window);
    b->setGeometry(10, 10, 75, 23);
    b->setUpTexture();
    ASSERT_TRUE(b->hasTexture());
    EXPECT_EQ(b->texture().face.width(), 75);
    const QImage first = host.shot(b);
    const QImage second = host.shot(b);
    EXPECT_EQ(first, second);
    // Hot: the tinted image, so the face looks different.
    uitest::move(b, QPoint(5, 5));
    EXPECT_NE(host.shot(b), first);
    uitest::move(b, QPoint(-5, -5));
    // Resized later: the texture keeps its size, drawn from the top-left corner.
    b->resize(120, 30);
    EXPECT_EQ(b->texture().face.width(), 75);
    const QImage wide = host.shot(b);
    EXPECT_EQ(wide.copy(3, 3, 60, 2), first.copy(3, 3, 60, 2));
    // Another button set up afterwards continues the random sequence: new scratches.
    auto* c = new CTexturedButton(QStringLiteral("OK"), &host.window);
    c->setGeometry(10, 40, 75, 23);
    c->setUpTexture();
    EXPECT_NE(c->texture().face.toImage(), b->texture().face.toImage());
}

TEST(TexturedButton, ColoursAreThoseOfSetUpTime) {
    Host host;
    auto* b = new CTexturedButton(&host.window);
    b->setGeometry(0, 0, 40, 20);
    b->setUpTexture();
    const QRgb before = b->texture().face.color(0);
    QPalette p = b->palette();
    p.setColor(QPalette::Dark, Qt::red);
    b->setPalette(p);
    EXPECT_EQ(b->texture().face.color(0), before);
}

TEST(LinkLabel, SupportLabelOpensMailAndBecomesVisited) {
    Host host;
    auto* link = new CLinkLabel(&host.window);
    link->setGeometry(10, 10, 150, 20);
    link->setTarget(QStringLiteral("help@example.org"));
    link->attach();
    EXPECT_EQ(link->text(), QStringLiteral("help@example.org"));
    QString opened;
    link->setOpener([&](const QString& a) {
        opened = a;
        return 42;
    });
    link->setErrorReporter([](const QString&) { FAIL() << "no error expected"; });
    EXPECT_EQ(link->currentColor(), QColor(0, 0, 238));
    uitest::release(link, QPoint(3, 3));
    EXPECT_EQ(opened, QStringLiteral("mailto:help@example.org"));
    EXPECT_TRUE(link->isVisited());
    EXPECT_EQ(link->currentColor(), QColor(85, 26, 139));
    // Fitted to its text, its left edge kept.
    EXPECT_EQ(link->x(), 10);
    EXPECT_LT(link->width(), 150);
}

TEST(LinkLabel, FailedOpenShowsTheErrorAndIsNotVisited) {
    Host host;
    auto* link = new CLinkLabel(QStringLiteral("https://example.org/"), &host.window);
    link->setIsWebAddress(true);
    link->attach();
    QString error;
    QString opened;
    link->setOpener([&](const QString& a) {
        opened = a;
        return 31; // no program for the address
    });
    link->setErrorReporter([&](const QString& m) { error = m; });
    EXPECT_FALSE(link->open());
    EXPECT_EQ(opened, QStringLiteral("https://example.org/"));
    EXPECT_EQ(error, QStringLiteral("Unable to open hyperlink:\n\nThere is no application "
                                    "associated\nwith the given filename extension."));
    EXPECT_FALSE(link->isVisited());
}

TEST(LinkLabel, HoverColoursAndUnderlines) {
    Host host;
    auto* link = new CLinkLabel(QStringLiteral("x@example.org"), &host.window);
    link->attach();
    EXPECT_FALSE(link->isUnderlined());
    uitest::move(link, QPoint(2, 2));
    EXPECT_TRUE(link->isMouseOver());
    EXPECT_TRUE(link->isUnderlined());
    EXPECT_EQ(link->currentColor(), QColor(255, 0, 0));
    link->setUnderlineMode(CLinkLabel::Underline::Never);
    EXPECT_FALSE(link->isUnderlined());
}

TEST(SmallDialogs, TexturedDialogsScreenshots) {
    uitest::app();
    CAboutDialog about;
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Mireldo"));
    EXPECT_EQ(about.controlAs<QLabel>(1262)->text(), QStringLiteral("Mireldo 5.0"));
    EXPECT_TRUE(about.controlAs<CLinkLabel>(1019)->isWebAddress());
    EXPECT_EQ(about.controlAs<CLinkLabel>(1021)->address(),
              QStringLiteral("mailto:") + supportMailAddress());
    uitest::saveScreenshot(about.grab().toImage(), QStringLiteral("dialog_about"));

    CRemoveItemsDialog remove(3);
    EXPECT_EQ(remove.controlAs<QLabel>(1111)->text(),
              QStringLiteral("Remove 3 items from the list?"));
    uitest::saveScreenshot(remove.grab().toImage(), QStringLiteral("dialog_remove_items"));
    remove.controlAs<QCheckBox>(1058)->setChecked(false);
    remove.controlAs<QPushButton>(1)->click();
    EXPECT_EQ(remove.result(), QDialog::Accepted);
    EXPECT_FALSE(remove.deleteFiles());

    CRecordingFailedDialog failed;
    QString opened;
    failed.setOpener([&](const QString& a) {
        opened = a;
        return 42;
    });
    failed.controlAs<QPushButton>(1091)->click();
    EXPECT_EQ(opened, recordingDeviceHelpAddress().toString());
    uitest::saveScreenshot(failed.grab().toImage(), QStringLiteral("dialog_recording_failed"));
}

TEST(SmallDialogs, RenameRefusesBadNamesAndAddsTheExtension) {
    uitest::app();
    CRenameDialog dialog(QStringLiteral("2024-01-01 10h00m00s.mp3"), QStringLiteral(".mp3"));
    QStringList errors;
    dialog.setErrorReporter([&](const QString& m) { errors << m; });
    auto* edit = dialog.controlAs<QLineEdit>(1046);
    EXPECT_EQ(edit->maxLength(), 128);
    edit->setText(QStringLiteral("a:b"));
    dialog.controlAs<QPushButton>(1)->click();
    edit->setText(QStringLiteral("  "));
    dialog.controlAs<QPushButton>(1)->click();
    ASSERT_EQ(errors.size(), 2);
    EXPECT_EQ(errors[0], uiString(kStrBadFileNameCharacters));
    EXPECT_EQ(errors[1], QStringLiteral("File name can not be empty!"));
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    edit->setText(QStringLiteral("take2"));
    uitest::saveScreenshot(dialog.grab().toImage(), QStringLiteral("dialog_rename"));
    dialog.controlAs<QPushButton>(1)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.newName(), QStringLiteral("take2.mp3"));
}

TEST(SmallDialogs, ProgressDisablesItsOwnerShowsPercentAndKeepsCancel) {
    uitest::app();
    ProgressTextThrottle::reset();
    QWidget owner;
    owner.show();
    {
        CProgressDialog progress(&owner, QStringLiteral("Compressing audio data...."));
        EXPECT_FALSE(owner.isEnabled());
        EXPECT_TRUE(progress.isEnabled());
        progress.setRange(0, 200);
        progress.setPosition(250);
        EXPECT_EQ(progress.shownText(), QStringLiteral("25%"));
        uitest::saveScreenshot(progress.grab().toImage(), QStringLiteral("dialog_progress"));
        EXPECT_FALSE(progress.checkCancel());
        progress.controlAs<QPushButton>(2)->click();
        EXPECT_TRUE(progress.isVisible()); // stays until its owner destroys it
        EXPECT_TRUE(progress.checkCancel());
        EXPECT_FALSE(progress.checkCancel());
    }
    EXPECT_TRUE(owner.isEnabled());
    ProgressTextThrottle::reset();
}

TEST(PositionControl, PressesDragsAndNotifications) {
    Host host;
    auto* pos = makePlaylistPositionControl(&host.window);
    pos->setGeometry(10, 10, 114, 21); // track 100 pixels
    QList<int> codes;
    QObject::connect(pos, &CPositionControl::scrolled, [&](int code) { codes << code; });
    pos->setRange(0, 2);
    pos->setPosition(1);
    uitest::press(pos, QPoint(57, 10)); // on the thumb
    EXPECT_EQ(pos->position(), 1u);
    EXPECT_TRUE(pos->isDragging());
    uitest::release(pos, QPoint(57, 10));
    EXPECT_EQ(pos->position(), 1u);
    uitest::press(pos, QPoint(65, 10)); // just right of the thumb
    EXPECT_EQ(pos->position(), 2u);
    uitest::move(pos, QPoint(7, 10), Qt::LeftButton);
    EXPECT_EQ(pos->position(), 0u);
    uitest::release(pos, QPoint(107, 10));
    EXPECT_EQ(pos->position(), 2u);
    EXPECT_EQ(codes, QList<int>({5, 8, 5, 5, 8}));
    EXPECT_FALSE(pos->isDragging());

    pos->setRange(4, 4);
    EXPECT_EQ(pos->position(), 4u);
    EXPECT_EQ(pos->thumbX(), 7);
    uitest::press(pos, QPoint(100, 10));
    EXPECT_EQ(pos->position(), 4u);
    uitest::release(pos, QPoint(100, 10));
}

TEST(PositionControl, NotifyWindowGetsTheControlAndTheCodeInOrder) {
    Host host;
    auto* pos = makePlaylistPositionControl(&host.window);
    pos->setGeometry(10, 10, 114, 21);
    struct Notified : mireldo::platform::MessageReceiver {
        Notified() {
            onMessage<PositionScroll>(WM_HSCROLL, [this](const PositionScroll& s) {
                from.push_back(s.from);
                codes << s.code;
            });
        }
        std::vector<CPositionControl*> from;
        QList<int> codes;
    } window;
    pos->setNotifyWindow(window.handle());
    uitest::press(pos, QPoint(30, 10));
    uitest::move(pos, QPoint(60, 10), Qt::LeftButton);
    uitest::release(pos, QPoint(60, 10));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.codes, QList<int>({5, 5, 8}));
    EXPECT_EQ(window.from, std::vector<CPositionControl*>(3, pos));
}

TEST(PositionControl, APositionThatMovesTheThumbByNoPixelDoesNotRepaint) {
    Host host;
    auto* pos = makePlaylistPositionControl(&host.window);
    pos->setGeometry(10, 10, 114, 21);
    host.window.show();
    pos->setRange(0, 100000);
    QCoreApplication::processEvents();
    const int painted = pos->paintCount();
    pos->setPosition(100); // trunc(100 / 100000 * 100) = 0: same pixel
    QCoreApplication::processEvents();
    EXPECT_EQ(pos->paintCount(), painted);
    pos->setPosition(50000);
    QCoreApplication::processEvents();
    EXPECT_GT(pos->paintCount(), painted);
    uitest::saveScreenshot(host.shot(pos), QStringLiteral("position_control"));
}

TEST(PositionControl, LosingTheFocusWhileDraggingEndsTheScroll) {
    Host host;
    auto* pos = makePlaylistPositionControl(&host.window);
    pos->setGeometry(10, 10, 114, 21);
    QList<int> codes;
    QObject::connect(pos, &CPositionControl::scrolled, [&](int code) { codes << code; });
    uitest::press(pos, QPoint(30, 10));
    QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
    QCoreApplication::sendEvent(pos, &out);
    EXPECT_FALSE(pos->isDragging());
    EXPECT_EQ(codes, QList<int>({5, 8}));
}

TEST(TimeLabel, RepaintsOnlyWhenTheTextChanges) {
    Host host;
    auto* label = new CTimeLabel(&host.window);
    label->setGeometry(10, 10, 100, 20);
    host.window.show();
    label->setText(QStringLiteral("0:01 / 3:00"));
    QCoreApplication::processEvents();
    const int painted = label->paintCount();
    label->setText(QStringLiteral("0:01 / 3:00"));
    QCoreApplication::processEvents();
    EXPECT_EQ(label->paintCount(), painted);
    label->setText(QStringLiteral("0:02 / 3:00"));
    QCoreApplication::processEvents();
    EXPECT_GT(label->paintCount(), painted);
}

TEST(TextList, RowsAre17PixelsAndTheSelectedOneIsBlue) {
    Host host;
    auto* list = new CTextList(&host.window);
    list->setGeometry(0, 0, 180, 70);
    list->addRow(QStringLiteral("Microphone (USB)"));
    list->addRow(QStringLiteral("Line in"));
    list->setCurrentRow(1);
    host.window.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(list->visualItemRect(list->item(1)).height(), CTextList::kRowHeight);
    const QImage shot = list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shot.pixel(170, 17 + 8), CTextList::kSelectedColor);
    EXPECT_EQ(shot.pixel(170, 8), qRgb(255, 255, 255));
}

TEST(PictureLabel, FloodFillTakesOnlyTheConnectedArea) {
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(qRgb(128, 128, 128));
    image.setPixel(2, 0, qRgb(0, 0, 0));
    image.setPixel(2, 1, qRgb(0, 0, 0));
    image.setPixel(2, 2, qRgb(0, 0, 0));
    const QImage out = floodFilled(image, QPoint(0, 0), qRgb(1, 2, 3));
    EXPECT_EQ(out.pixel(1, 2), qRgb(1, 2, 3));
    EXPECT_EQ(out.pixel(2, 1), qRgb(0, 0, 0));
    EXPECT_EQ(out.pixel(3, 1), qRgb(128, 128, 128)); // beyond the black wall
}
