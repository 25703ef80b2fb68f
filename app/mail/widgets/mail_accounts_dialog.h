#pragma once

// "Mail accounts": adds, edits and removes the accounts kept in the settings file. The list
// shows the names; the fields below edit the selected account. OK writes every account back;
// Cancel changes nothing. A password typed here goes to the desktop's secret service at OK,
// never into the file; an account whose password field stays empty keeps what is stored.
//
// Threads: the user-interface thread only.

#include "mail_accounts.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace mireldo::mail {

class CMailAccountsDialog : public QDialog {
    Q_OBJECT
  public:
    /// Shows the accounts of the INI file `settingsFile`.
    explicit CMailAccountsDialog(const QString& settingsFile, QWidget* parent = nullptr);

    /// The accounts as edited so far.
    const QList<MailAccount>& accounts() const { return accounts_; }

    /// The list and the controls (for tests and screenshots).
    QListWidget* list() const { return list_; }
    QLineEdit* nameEdit() const { return name_; }
    QLineEdit* serverEdit() const { return server_; }
    QSpinBox* portBox() const { return port_; }
    QComboBox* securityBox() const { return security_; }
    QLineEdit* userEdit() const { return user_; }
    QLineEdit* fromEdit() const { return from_; }
    QLineEdit* passwordEdit() const { return password_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* removeButton() const { return remove_; }

    void accept() override;

  private:
    void showAccount(int row);
    void storeFields();

    QString settingsFile_;
    QList<MailAccount> accounts_;
    QStringList typedPasswords_; ///< beside accounts_: what was typed, empty when nothing
    int row_ = -1;
    bool loading_ = false;
    QListWidget* list_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* server_ = nullptr;
    QSpinBox* port_ = nullptr;
    QComboBox* security_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* from_ = nullptr;
    QLineEdit* caFile_ = nullptr;
    QLineEdit* password_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
};

} // namespace mireldo::mail
