#include "folder_browser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>

namespace mireldo::ui {

namespace {

constexpr int kMaxInitialFolder = 518;

bool isChoosableFolder(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && info.isDir() && !info.isSymLink();
}

} // namespace

QString folderBrowserStart(const QString& initial) {
    return initial.isEmpty() ? QDir::currentPath() : initial.left(kMaxInitialFolder);
}

std::unique_ptr<QFileDialog> makeFolderBrowser(QWidget* owner, const QString& title,
                                               const QString& initial) {
    auto dialog = std::make_unique<QFileDialog>(owner, title, folderBrowserStart(initial));
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    QFileDialog* raw = dialog.get();
    // OK stays disabled while the selection is not an existing folder (links excluded).
    QObject::connect(raw, &QFileDialog::currentChanged, raw, [raw](const QString& path) {
        if (auto* box = raw->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))) {
            if (QPushButton* ok = box->button(QDialogButtonBox::Open)) {
                ok->setEnabled(isChoosableFolder(path));
            }
        }
    });
    return dialog;
}

bool browseForFolder(QWidget* owner, const QString& title, const QString& initial, QString& out,
                     int bufferSize) {
    if (bufferSize < kMinFolderBufferSize) {
        return false;
    }
    out.clear();
    const auto dialog = makeFolderBrowser(owner, title, initial);
    if (dialog->exec() != QDialog::Accepted) {
        return false;
    }
    const QStringList chosen = dialog->selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) {
        return false;
    }
    out = chosen.first().left(bufferSize - 1);
    return true;
}

} // namespace mireldo::ui
