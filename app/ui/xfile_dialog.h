#pragma once

// CXFileDialog: the program's open and save dialog, a file dialog with one extra row at the
// bottom, "Recent &folders:", listing the folders files were recently chosen from (shared by
// every use, kept in section "FolderHistory"). Choosing a folder there moves the dialog to it;
// accepting a file puts its folder first in the list and saves the list.
//
// The first dialog shown in a run puts the focus on the recent-folders list, later ones on the
// file-name field with its text selected.
//
// Threads: the user-interface thread only.

#include "recent_folders.h"

#include <QComboBox>
#include <QFileDialog>
#include <QPointer>

class QLabel;

namespace mireldo::ui {

/// A combo box over a RecentFolderList.
class CRecentListCombo : public QComboBox {
    Q_OBJECT

  public:
    explicit CRecentListCombo(QWidget* parent = nullptr);

    /// Loads the list from the profile store and returns the stored last selection, which is
    /// selected when it equals an entry (or, for an editable list, put into the edit field).
    QString load(const RecentListSettings& settings);
    /// Adds an entry by the history rules and shows the list again.
    void addEntry(const QString& text);
    /// Saves the list (adding the current text first when asked). False when a write failed.
    bool save(bool addCurrent = false);

    const RecentFolderList& list() const { return list_; }

  private:
    void refill();

    RecentFolderList list_;
};

class CXFileDialog : public QFileDialog {
    Q_OBJECT

  public:
    static constexpr int kChosen = 1;
    static constexpr int kCancelled = 2;

    /// `open` true for an open dialog, false for a save dialog. `filter`: "|"-separated pairs
    /// of description and patterns ending with "||".
    CXFileDialog(bool open, const QString& defaultExtension, const QString& fileName,
                 const QString& filter, QWidget* owner = nullptr);

    /// The caption; empty keeps the standard one.
    void setTitle(const QString& title);
    /// Runs the dialog: kChosen when the user chose a file, kCancelled otherwise.
    int showDialog();

    CRecentListCombo* recentFolders() const { return recent_; }
    QLabel* recentLabel() const { return recentLabel_; }
    /// The file-name field of the dialog.
    QLineEdit* fileNameField() const;

    /// Makes the next dialog behave as the first of the run (tests).
    static void resetFirstDialogOfRun();

    void done(int result) override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void chooseRecent(int index);

    CRecentListCombo* recent_ = nullptr;
    QLabel* recentLabel_ = nullptr;
    QString title_;
};

/// Qt name filters from "|"-separated pairs ("MP3 files (*.mp3)|*.mp3|All files|*.*||").
QStringList nameFiltersFromPairs(const QString& filter);

} // namespace mireldo::ui
