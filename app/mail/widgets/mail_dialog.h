#pragma once

// CMailDialog: the "E-mail" dialog (template 293). It shows the fields MailComposer opens
// with, forwards Send and closing to it, and stays open with its contents when Send fails.
// Send and Cancel are textured buttons; the hint line is drawn on the tooltip colour with a
// raised edge one pixel outside it.
//
// Threads: the user-interface thread only. The dialog owns its composer.

#include "mail_composer.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace mireldo::ui {
class CTexturedButton;
}

namespace mireldo::mail {

/// Control ids of template 293.
enum class MailCtl : int {
    Send = 1,
    Cancel = 2,
    Subject = 1045,
    Hint = 1061,
    Body = 1242,
    IncludeSignature = 1243,
    Recipients = 1244,
    Attachments = 1247,
    Signature = 1249,
    Account = 1263,
};

class CMailDialog : public QDialog {
    Q_OBJECT
  public:
    /// Opens `composer` with `attachmentPaths` and fills the controls.
    CMailDialog(std::unique_ptr<MailComposer> composer, const QStringList& attachmentPaths,
                QWidget* parent = nullptr);

    /// The fields as the controls hold them now.
    MailFields fields() const;
    /// The control of `id` (for tests and screenshots).
    QWidget* control(MailCtl id) const;
    /// The button that opens "Mail accounts".
    QPushButton* accountsButton() const { return accountsButton_; }

    void done(int result) override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void send();
    void editAccounts();
    void fillAccounts(const QString& text);

    std::unique_ptr<MailComposer> composer_;
    QComboBox* account_ = nullptr;
    QPushButton* accountsButton_ = nullptr;
    QLineEdit* recipients_ = nullptr;
    QLineEdit* subject_ = nullptr;
    QPlainTextEdit* body_ = nullptr;
    QCheckBox* includeSignature_ = nullptr;
    QPlainTextEdit* signature_ = nullptr;
    QPlainTextEdit* attachments_ = nullptr;
    QLabel* hint_ = nullptr;
    ui::CTexturedButton* send_ = nullptr;
    ui::CTexturedButton* cancel_ = nullptr;
    bool texturesMade_ = false;
    bool closed_ = false;
};

} // namespace mireldo::mail
