#include "mail_accounts_dialog.h"

#include "secret_passwords.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace mireldo::mail {

namespace {

const QStringList kSecurities = {QStringLiteral("none"), QStringLiteral("starttls"),
                                 QStringLiteral("tls")};

} // namespace

CMailAccountsDialog::CMailAccountsDialog(const QString& settingsFile, QWidget* parent)
    : QDialog(parent), settingsFile_(settingsFile), accounts_(readMailAccounts(settingsFile)) {
    setWindowTitle(QStringLiteral("Mail accounts"));
    list_ = new QListWidget(this);
    name_ = new QLineEdit(this);
    server_ = new QLineEdit(this);
    port_ = new QSpinBox(this);
    port_->setRange(0, 65535);
    port_->setSpecialValueText(QStringLiteral("usual"));
    security_ = new QComboBox(this);
    security_->addItems(
        {QStringLiteral("None"), QStringLiteral("STARTTLS"), QStringLiteral("TLS")});
    user_ = new QLineEdit(this);
    from_ = new QLineEdit(this);
    caFile_ = new QLineEdit(this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    password_->setPlaceholderText(QStringLiteral("unchanged"));
    typedPasswords_.resize(accounts_.size());
    add_ = new QPushButton(QStringLiteral("Add"), this);
    remove_ = new QPushButton(QStringLiteral("Remove"), this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Name:"), name_);
    form->addRow(QStringLiteral("SMTP server:"), server_);
    form->addRow(QStringLiteral("Port:"), port_);
    form->addRow(QStringLiteral("Security:"), security_);
    form->addRow(QStringLiteral("User name:"), user_);
    form->addRow(QStringLiteral("Password:"), password_);
    form->addRow(QStringLiteral("Sender address:"), from_);
    form->addRow(QStringLiteral("CA certificate file:"), caFile_);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(add_);
    listButtons->addWidget(remove_);
    listButtons->addStretch(1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(listButtons);
    layout->addLayout(form);
    layout->addWidget(buttons);

    for (const MailAccount& a : accounts_) {
        list_->addItem(a.name);
    }
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        storeFields();
        showAccount(row);
    });
    for (QLineEdit* e : {name_, server_, user_, from_, caFile_, password_}) {
        connect(e, &QLineEdit::textEdited, this, [this] { storeFields(); });
    }
    connect(port_, &QSpinBox::valueChanged, this, [this] { storeFields(); });
    connect(security_, &QComboBox::currentIndexChanged, this, [this] { storeFields(); });
    connect(add_, &QPushButton::clicked, this, [this] {
        if (accounts_.size() >= kMaxMailAccounts) {
            return;
        }
        MailAccount a;
        a.name = QStringLiteral("Account %1").arg(accounts_.size() + 1);
        accounts_.append(a);
        typedPasswords_.append(QString());
        list_->addItem(a.name);
        list_->setCurrentRow(static_cast<int>(accounts_.size() - 1));
        name_->setFocus();
        name_->selectAll();
    });
    connect(remove_, &QPushButton::clicked, this, [this] {
        const int row = list_->currentRow();
        if (row < 0) {
            return;
        }
        row_ = -1; // the fields belong to the removed account
        accounts_.removeAt(row);
        typedPasswords_.removeAt(row);
        delete list_->takeItem(row);
        showAccount(list_->currentRow());
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &CMailAccountsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    list_->setCurrentRow(accounts_.isEmpty() ? -1 : 0);
    showAccount(list_->currentRow());
}

void CMailAccountsDialog::showAccount(int row) {
    loading_ = true;
    row_ = row;
    const bool any = row >= 0 && row < accounts_.size();
    const MailAccount a = any ? accounts_[row] : MailAccount{};
    name_->setText(a.name);
    server_->setText(a.server);
    port_->setValue(a.port);
    security_->setCurrentIndex(
        static_cast<int>(std::max<qsizetype>(0, kSecurities.indexOf(a.security))));
    user_->setText(a.user);
    from_->setText(a.from);
    caFile_->setText(a.caFile);
    password_->setText(any ? typedPasswords_.value(row) : QString());
    for (QWidget* w : std::initializer_list<QWidget*>{name_, server_, port_, security_, user_,
                                                      from_, caFile_, password_, remove_}) {
        w->setEnabled(any);
    }
    loading_ = false;
}

void CMailAccountsDialog::storeFields() {
    if (loading_ || row_ < 0 || row_ >= accounts_.size()) {
        return;
    }
    MailAccount& a = accounts_[row_];
    a.name = name_->text().trimmed();
    a.server = server_->text().trimmed();
    a.port = port_->value();
    a.security = kSecurities.value(security_->currentIndex(), QStringLiteral("none"));
    a.user = user_->text();
    a.from = from_->text().trimmed();
    a.caFile = caFile_->text();
    typedPasswords_[row_] = password_->text();
    if (QListWidgetItem* item = list_->item(row_)) {
        item->setText(a.name);
    }
}

void CMailAccountsDialog::accept() {
    storeFields();
    QList<MailAccount> named;
    QStringList passwords;
    for (qsizetype i = 0; i < accounts_.size(); ++i) {
        if (!accounts_[i].name.isEmpty()) {
            named.append(accounts_[i]);
            passwords.append(typedPasswords_.value(i));
        }
    }
    if (!writeMailAccounts(settingsFile_, named)) {
        QMessageBox::critical(this, windowTitle(),
                              QStringLiteral("The accounts could not be saved."));
        return;
    }
    // The accounts are saved; a password the keyring refuses is only reported, since Send
    // asks for it when logging on without one fails.
    QStringList refused;
    for (qsizetype i = 0; i < named.size(); ++i) {
        QString error;
        if (!passwords[i].isEmpty() &&
            !storeMailPassword(named[i].server, named[i].user, passwords[i], &error)) {
            refused.append(QStringLiteral("%1: %2").arg(named[i].name, error));
        }
    }
    if (!refused.isEmpty()) {
        QMessageBox::warning(
            this, windowTitle(),
            QStringLiteral("The accounts were saved, but these passwords could not be kept in "
                           "the keyring; you will be asked for them when sending:\n") +
                refused.join(QLatin1Char('\n')));
    }
    accounts_ = named;
    typedPasswords_ = QStringList(named.size());
    QDialog::accept();
}

} // namespace mireldo::mail
