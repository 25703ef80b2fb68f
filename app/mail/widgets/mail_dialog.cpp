#include "mail_dialog.h"

#include "mail_accounts_dialog.h"
#include "textured_button.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <qdrawutil.h>

namespace mireldo::mail {

namespace {

constexpr int kAccountLimit = 256;
constexpr int kRecipientsLimit = 512;
constexpr int kSubjectLimit = 1024;

/// The hint line: its text on the tooltip colour, nothing else behind it.
class HintLabel : public QLabel {
  public:
    using QLabel::QLabel;

  protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::ToolTipBase));
        painter.end();
        QLabel::paintEvent(event);
    }
};

QPlainTextEdit* textEdit(QWidget* parent, int lines) {
    auto* e = new QPlainTextEdit(parent);
    e->setFixedHeight(e->fontMetrics().lineSpacing() * lines + 12);
    return e;
}

/// Text of a multi-line edit as the dialog's edits hold it: lines ending in CR LF.
QString withCrLf(const QString& text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return out;
}

QString withLf(const QString& text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return out;
}

} // namespace

CMailDialog::CMailDialog(std::unique_ptr<MailComposer> composer, const QStringList& attachmentPaths,
                         QWidget* parent)
    : QDialog(parent), composer_(std::move(composer)) {
    setWindowTitle(QStringLiteral("E-mail"));
    account_ = new QComboBox(this);
    account_->setEditable(true);
    account_->lineEdit()->setMaxLength(kAccountLimit);
    recipients_ = new QLineEdit(this);
    recipients_->setMaxLength(kRecipientsLimit);
    subject_ = new QLineEdit(this);
    subject_->setMaxLength(kSubjectLimit);
    body_ = textEdit(this, 6);
    includeSignature_ = new QCheckBox(QStringLiteral("Include the following signature"), this);
    signature_ = textEdit(this, 3);
    attachments_ = textEdit(this, 4);
    attachments_->setLineWrapMode(QPlainTextEdit::NoWrap);
    hint_ = new HintLabel(
        QStringLiteral("Ensure the account exists and your mail client is industry-standard. "),
        this);
    send_ = new ui::CTexturedButton(QStringLiteral("Send"), this);
    cancel_ = new ui::CTexturedButton(QStringLiteral("Cancel"), this);
    send_->setDefault(true);

    auto* grid = new QGridLayout;
    int row = 0;
    auto addRow = [&](const QString& label, QWidget* w) {
        auto* l = new QLabel(label, this);
        l->setBuddy(w);
        grid->addWidget(l, row, 0, Qt::AlignTop);
        grid->addWidget(w, row++, 1);
    };
    accountsButton_ = new QPushButton(QStringLiteral("Accounts..."), this);
    auto* accountRow = new QHBoxLayout;
    accountRow->addWidget(account_, 1);
    accountRow->addWidget(accountsButton_);
    {
        auto* l = new QLabel(QStringLiteral("My account:"), this);
        l->setBuddy(account_);
        grid->addWidget(l, row, 0);
        grid->addLayout(accountRow, row++, 1);
    }
    addRow(QStringLiteral("Recipients (Separated by semicolon):"), recipients_);
    addRow(QStringLiteral("Subject:"), subject_);
    addRow(QStringLiteral("Message body:"), body_);
    grid->addWidget(includeSignature_, row++, 1);
    grid->addWidget(signature_, row++, 1);
    addRow(QStringLiteral("Attachments (One line for each file):"), attachments_);
    grid->setColumnMinimumWidth(1, 380);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(hint_, 1);
    buttons->addSpacing(8);
    buttons->addWidget(send_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(send_, &QPushButton::clicked, this, &CMailDialog::send);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(accountsButton_, &QPushButton::clicked, this, &CMailDialog::editAccounts);

    composer_->setPasswordSource([this](const MailAccount& account) {
        return QInputDialog::getText(
            this, windowTitle(),
            QStringLiteral("Password of %1 (%2):").arg(account.name, account.user),
            QLineEdit::Password);
    });
    const MailFields f = composer_->open(attachmentPaths);
    fillAccounts(f.account);
    recipients_->setText(f.recipients);
    subject_->setText(f.subject);
    body_->setPlainText(withLf(f.body));
    includeSignature_->setChecked(f.includeSignature);
    signature_->setPlainText(withLf(f.signature));
    attachments_->setPlainText(withLf(f.attachments));
    send_->setEnabled(composer_->canSend());
}

MailFields CMailDialog::fields() const {
    MailFields f;
    f.account = account_->currentText();
    f.recipients = recipients_->text();
    f.subject = subject_->text();
    f.body = withCrLf(body_->toPlainText());
    f.includeSignature = includeSignature_->isChecked();
    f.signature = withCrLf(signature_->toPlainText());
    f.attachments = withCrLf(attachments_->toPlainText());
    return f;
}

QWidget* CMailDialog::control(MailCtl id) const {
    switch (id) {
    case MailCtl::Send:
        return send_;
    case MailCtl::Cancel:
        return cancel_;
    case MailCtl::Subject:
        return subject_;
    case MailCtl::Hint:
        return hint_;
    case MailCtl::Body:
        return body_;
    case MailCtl::IncludeSignature:
        return includeSignature_;
    case MailCtl::Recipients:
        return recipients_;
    case MailCtl::Attachments:
        return attachments_;
    case MailCtl::Signature:
        return signature_;
    case MailCtl::Account:
        return account_;
    }
    return nullptr;
}

void CMailDialog::fillAccounts(const QString& text) {
    account_->clear();
    for (const MailAccount& a : composer_->accounts()) {
        account_->addItem(a.name);
    }
    if (composer_->selectedAccount() >= 0) {
        account_->setCurrentIndex(composer_->selectedAccount());
    } else {
        account_->setCurrentIndex(-1);
        account_->setEditText(text);
    }
}

void CMailDialog::editAccounts() {
    CMailAccountsDialog dialog(composer_->settingsFile(), this);
    if (dialog.exec() == QDialog::Accepted) {
        const QString text = account_->currentText();
        composer_->reloadAccounts(text);
        fillAccounts(text);
    }
}

void CMailDialog::send() {
    if (composer_->send(fields())) {
        accept();
    }
}

void CMailDialog::done(int result) {
    if (!closed_) {
        closed_ = true;
        composer_->close();
    }
    QDialog::done(result);
}

void CMailDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    const QRect edge = hint_->geometry().adjusted(-1, -1, 1, 1);
    qDrawShadePanel(&painter, edge, palette(), false, 1);
}

void CMailDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!texturesMade_) {
        texturesMade_ = true;
        ui::setUpTexturedButtons(this);
    }
}

} // namespace mireldo::mail
