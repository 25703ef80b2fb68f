#pragma once

// The small dialogs: "About" (100), "Recording Failed" (1100), "Remove Items" (196) and "Rename
// a File" (1055). Controls are placed as in their templates and reached by id; their push
// buttons are textured buttons, set up when the dialog is made.
//
// Threads: the user-interface thread only.

#include <QDialog>
#include <QUrl>

#include <functional>
#include <map>

class QCheckBox;
class QLineEdit;

namespace mireldo::ui {

class CLinkLabel;

/// A dialog whose controls are reached by their template ids.
class CIdDialog : public QDialog {
    Q_OBJECT

  public:
    using QDialog::QDialog;
    /// The control with `id`; nullptr when the dialog has none.
    QWidget* control(int id) const;
    template <typename T>
    T* controlAs(int id) const {
        return qobject_cast<T*>(control(id));
    }

  protected:
    /// Registers `widget` under `id` and returns it.
    template <typename T>
    T* add(int id, T* widget) {
        controls_[id] = widget;
        return widget;
    }

  private:
    std::map<int, QWidget*> controls_;
};

/// The addresses the dialogs show.
QUrl productWebAddress();
QString supportMailAddress();
QUrl recordingDeviceHelpAddress();

/// "About Mireldo": the title line (1262), "Homepage:" with link 1019, "Support:" with link
/// 1021 (mail), OK (1).
class CAboutDialog : public CIdDialog {
    Q_OBJECT

  public:
    explicit CAboutDialog(QWidget* parent = nullptr);
};

/// Shows the About box modally over `parent` (what the main window's About command calls).
void showAboutDialog(QWidget* parent);

/// "Recording Failed": the message, "Online Help" (1091) opening the recording-device help
/// page, OK (1). Beeps when shown.
class CRecordingFailedDialog : public CIdDialog {
    Q_OBJECT

  public:
    explicit CRecordingFailedDialog(QWidget* parent = nullptr);
    /// Replaces how "Online Help" opens the page (tests); returns > 32 on success.
    void setOpener(std::function<int(const QString&)> opener) { opener_ = std::move(opener); }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    std::function<int(const QString&)> opener_;
};

/// "Remove Items": "Remove %d items from the list?" (1111), "Also delete files from disk"
/// (1058, checked at creation), Yes (1) and No (2).
class CRemoveItemsDialog : public CIdDialog {
    Q_OBJECT

  public:
    explicit CRemoveItemsDialog(int itemCount, QWidget* parent = nullptr);
    void setDeleteFiles(bool on);
    /// The check's state taken when Yes was pressed.
    bool deleteFiles() const { return deleteFiles_; }

  private:
    QCheckBox* check_ = nullptr;
    bool deleteFiles_ = true;
};

/// "Rename a File": the old name (1044), the new name (1046, at most 128 characters) and the
/// hint. OK checks the name by applyRename() and closes only with a usable one.
class CRenameDialog : public CIdDialog {
    Q_OBJECT

  public:
    CRenameDialog(const QString& oldName, const QString& extension, QWidget* parent = nullptr);
    /// The new name with the extension, after OK.
    QString newName() const { return newName_; }
    /// Replaces how a refusal is shown (an error box by default).
    void setErrorReporter(std::function<void(const QString&)> report) {
        reportError_ = std::move(report);
    }

    void accept() override;

  private:
    QString extension_;
    QString newName_;
    QLineEdit* edit_ = nullptr;
    std::function<void(const QString&)> reportError_;
};

} // namespace mireldo::ui
