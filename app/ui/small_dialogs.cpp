#include "small_dialogs.h"

#include "link_label.h"
#include "rename_rules.h"
#include "textured_button.h"
#include "ui_strings.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>

namespace mireldo::ui {

namespace {

constexpr int kStrHomepage = 833;        ///< "Homepage:"
constexpr int kStrSupport = 834;         ///< "Support:"
constexpr int kStrOK = 762;              ///< "OK"
constexpr int kStrRecordingFailed = 835; ///< "Recording Failed"
constexpr int kStrRecordingDeviceFailed =
    836; ///< "Fail to open the audio recording device! Please ensure th..."
constexpr int kStrOnlineHelp = 837;              ///< "Online Help"
constexpr int kStrRemoveItems = 838;             ///< "Remove Items"
constexpr int kStrRemoveItemsQuestion = 839;     ///< "Remove %1 items from the list?"
constexpr int kStrAlsoDeleteFilesFromDisk = 840; ///< "Also delete files from disk"
constexpr int kStrYes = 841;                     ///< "Yes"
constexpr int kStrNo = 842;                      ///< "No"
constexpr int kStrRenameAFile = 843;             ///< "Rename a File"
constexpr int kStrOldFileName = 844;             ///< "Old file name:"
constexpr int kStrNewFileName = 845;             ///< "New file name:"
constexpr int kStrRenameHint = 846;              ///< "No need to enter path and extension."
constexpr int kStrCancel = 665;                  ///< "Cancel"

} // namespace

namespace {

constexpr QSize kButtonSize{75, 23};

CTexturedButton* makeButton(QWidget* parent, const QString& text, QPoint at) {
    auto* button = new CTexturedButton(text, parent);
    button->setGeometry(QRect(at, kButtonSize));
    // The texture follows the button's size at set-up, which is fixed from here on.
    button->setUpTexture();
    return button;
}

QLabel* makeLabel(QWidget* parent, const QString& text, const QRect& r) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(r);
    return label;
}

} // namespace

QWidget* CIdDialog::control(int id) const {
    const auto it = controls_.find(id);
    return it != controls_.end() ? it->second : nullptr;
}

QUrl productWebAddress() {
    return QUrl(QStringLiteral("https://mireldo.tarnwick.example/"));
}

QString supportMailAddress() {
    return QStringLiteral("support@mireldo.tarnwick.example");
}

QUrl recordingDeviceHelpAddress() {
    return QUrl(QStringLiteral("https://mireldo.tarnwick.example/help/recording-devices.html"));
}

CAboutDialog::CAboutDialog(QWidget* parent) : CIdDialog(parent) {
    setWindowTitle(uiString(kStrAboutMireldo));
    setFixedSize(380, 150);
    auto* title = add(1262, makeLabel(this, QStringLiteral("Mireldo 5.0"), QRect(20, 16, 340, 20)));
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    title->setFont(bold);
    makeLabel(this, loadString(kStrHomepage), QRect(20, 50, 70, 18));
    makeLabel(this, loadString(kStrSupport), QRect(20, 74, 70, 18));

    auto* home = add(1019, new CLinkLabel(this));
    home->setGeometry(96, 50, 270, 18);
    home->setTarget(productWebAddress().toString());
    home->setText(productWebAddress().toString());
    home->setIsWebAddress(true);
    home->attach();

    auto* support = add(1021, new CLinkLabel(this));
    support->setGeometry(96, 74, 270, 18);
    support->setTarget(supportMailAddress());
    support->setIsWebAddress(false);
    support->attach();

    auto* ok = add(1, makeButton(this, loadString(kStrOK), QPoint(152, 112)));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void showAboutDialog(QWidget* parent) {
    CAboutDialog dialog(parent);
    dialog.exec();
}

CRecordingFailedDialog::CRecordingFailedDialog(QWidget* parent) : CIdDialog(parent) {
    setWindowTitle(loadString(kStrRecordingFailed));
    setFixedSize(340, 120);
    auto* text = makeLabel(this, loadString(kStrRecordingDeviceFailed), QRect(16, 12, 308, 52));
    text->setWordWrap(true);
    opener_ = openAddressWithDesktop;
    auto* help = add(1091, makeButton(this, loadString(kStrOnlineHelp), QPoint(84, 80)));
    connect(help, &QPushButton::clicked, this,
            [this] { opener_(recordingDeviceHelpAddress().toString()); });
    auto* ok = add(1, makeButton(this, loadString(kStrOK), QPoint(180, 80)));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void CRecordingFailedDialog::showEvent(QShowEvent* event) {
    QApplication::beep();
    CIdDialog::showEvent(event);
}

CRemoveItemsDialog::CRemoveItemsDialog(int itemCount, QWidget* parent) : CIdDialog(parent) {
    setWindowTitle(loadString(kStrRemoveItems));
    setFixedSize(260, 110);
    add(1111, makeLabel(this, loadString(kStrRemoveItemsQuestion).arg(itemCount),
                        QRect(16, 12, 228, 18)));
    check_ = add(1058, new QCheckBox(loadString(kStrAlsoDeleteFilesFromDisk), this));
    check_->setGeometry(16, 38, 228, 18);
    check_->setChecked(true);
    auto* yes = add(1, makeButton(this, loadString(kStrYes), QPoint(46, 74)));
    yes->setDefault(true);
    connect(yes, &QPushButton::clicked, this, [this] {
        deleteFiles_ = check_->isChecked();
        accept();
    });
    auto* no = add(2, makeButton(this, loadString(kStrNo), QPoint(138, 74)));
    connect(no, &QPushButton::clicked, this, &QDialog::reject);
}

void CRemoveItemsDialog::setDeleteFiles(bool on) {
    deleteFiles_ = on;
    check_->setChecked(on);
}

CRenameDialog::CRenameDialog(const QString& oldName, const QString& extension, QWidget* parent)
    : CIdDialog(parent), extension_(extension) {
    setWindowTitle(loadString(kStrRenameAFile));
    setFixedSize(400, 150);
    makeLabel(this, loadString(kStrOldFileName), QRect(16, 14, 100, 18));
    add(1044, makeLabel(this, oldName.left(128), QRect(120, 14, 264, 18)));
    makeLabel(this, loadString(kStrNewFileName), QRect(16, 44, 100, 18));
    edit_ = add(1046, new QLineEdit(this));
    edit_->setGeometry(120, 42, 264, 22);
    edit_->setMaxLength(128);
    makeLabel(this, loadString(kStrRenameHint), QRect(120, 70, 264, 18));
    reportError_ = [this](const QString& message) {
        QMessageBox::critical(this, windowTitle(), message);
    };
    auto* ok = add(1, makeButton(this, loadString(kStrOK), QPoint(114, 110)));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CRenameDialog::accept);
    auto* cancel = add(2, makeButton(this, loadString(kStrCancel), QPoint(210, 110)));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CRenameDialog::accept() {
    const RenameResult result = applyRename(edit_->text(), extension_);
    switch (result.status) {
    case RenameResult::Status::ForbiddenCharacter:
        reportError_(uiString(kStrBadFileNameCharacters));
        return;
    case RenameResult::Status::Empty:
        reportError_(emptyFileNameText());
        return;
    case RenameResult::Status::Ok:
        newName_ = result.name;
        QDialog::accept();
        return;
    }
}

} // namespace mireldo::ui
