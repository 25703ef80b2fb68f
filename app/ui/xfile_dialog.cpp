#include "xfile_dialog.h"

#include "file_system.h"
#include "profile_store.h"
#include "text_compare.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShowEvent>

namespace mireldo::ui {

namespace {

// Set when the first dialog of the run has put its focus on the recent-folders list.
bool gFirstDialogShown = false;

constexpr int kMaxFileNameText = 519;

} // namespace

CRecentListCombo::CRecentListCombo(QWidget* parent) : QComboBox(parent) {
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(20);
}

QString CRecentListCombo::load(const RecentListSettings& settings) {
    list_ = RecentFolderList(settings);
    const platform::ProfileStore store;
    const QString last = list_.load(store);
    refill();
    if (!last.isEmpty() && list_.selected() < 0 && isEditable()) {
        setEditText(last);
    }
    return last;
}

void CRecentListCombo::addEntry(const QString& text) {
    list_.add(text);
    refill();
}

bool CRecentListCombo::save(bool addCurrent) {
    platform::ProfileStore store;
    const QString current = currentText();
    const bool ok = list_.save(store, current, addCurrent);
    if (addCurrent) {
        refill();
    }
    return ok;
}

void CRecentListCombo::refill() {
    const QSignalBlocker block(this);
    clear();
    addItems(list_.entries());
    setCurrentIndex(list_.selected());
}

QStringList nameFiltersFromPairs(const QString& filter) {
    QStringList parts = filter.split(u'|');
    while (!parts.isEmpty() && parts.last().isEmpty()) {
        parts.removeLast();
    }
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        QString patterns = parts[i + 1];
        patterns.replace(u';', u' ');
        // Qt reads the patterns from the last parentheses; drop any the description has.
        if (description.endsWith(u')')) {
            const qsizetype open = description.lastIndexOf(u'(');
            if (open >= 0) {
                description = description.left(open).trimmed();
            }
        }
        out.append(description + QStringLiteral(" (") + patterns.trimmed() + u')');
    }
    return out;
}

CXFileDialog::CXFileDialog(bool open, const QString& defaultExtension, const QString& fileName,
                           const QString& filter, QWidget* owner)
    : QFileDialog(owner) {
    // Qt's own dialog, not the desktop's, so that it can carry the extra row.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    QString suffix = defaultExtension;
    if (suffix.startsWith(u'.')) {
        suffix.remove(0, 1);
    }
    setDefaultSuffix(suffix);
    if (!filter.isEmpty()) {
        setNameFilters(nameFiltersFromPairs(filter));
    }
    if (!fileName.isEmpty()) {
        selectFile(fileName);
    }

    recentLabel_ = new QLabel(QStringLiteral("Recent &folders:"), this);
    recentLabel_->setObjectName(QStringLiteral("recentFoldersLabel"));
    recent_ = new CRecentListCombo(this);
    recent_->setObjectName(QStringLiteral("recentFoldersCombo"));
    recentLabel_->setBuddy(recent_);
    // The extra row goes under the file-type row, its list aligned with the file-name field
    // and as wide as the file-type list.
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        const int row = grid->rowCount();
        grid->addWidget(recentLabel_, row, 0);
        grid->addWidget(recent_, row, 1);
    }
    recent_->load(folderHistorySettings());
    connect(recent_, qOverload<int>(&QComboBox::activated), this, &CXFileDialog::chooseRecent);
}

void CXFileDialog::setTitle(const QString& title) {
    title_ = title;
    if (!title.isEmpty()) {
        setWindowTitle(title);
    }
}

QLineEdit* CXFileDialog::fileNameField() const {
    return findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

void CXFileDialog::resetFirstDialogOfRun() {
    gFirstDialogShown = false;
}

int CXFileDialog::showDialog() {
    const QPointer<QWidget> focus = QApplication::focusWidget();
    const int result = exec() == QDialog::Accepted ? kChosen : kCancelled;
    if (focus != nullptr) {
        focus->setFocus();
    }
    return result;
}

void CXFileDialog::showEvent(QShowEvent* event) {
    QFileDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    if (!gFirstDialogShown) {
        gFirstDialogShown = true;
        recent_->setFocus(Qt::OtherFocusReason);
    } else if (QLineEdit* name = fileNameField()) {
        name->selectAll();
        name->setFocus(Qt::OtherFocusReason);
    }
}

void CXFileDialog::chooseRecent(int index) {
    const QString folder = recent_->itemText(index);
    if (folder.isEmpty() || !platform::folderExists(folder)) {
        return;
    }
    QLineEdit* name = fileNameField();
    const QString kept = name != nullptr ? name->text().left(kMaxFileNameText) : QString();
    setDirectory(folder);
    if (name != nullptr) {
        name->setText(kept);
    }
}

void CXFileDialog::done(int result) {
    if (result == QDialog::Accepted) {
        const QStringList files = selectedFiles();
        if (!files.isEmpty()) {
            recent_->addEntry(folderOfPath(files.first()));
            recent_->save();
        }
    }
    QFileDialog::done(result);
}

} // namespace mireldo::ui
