#pragma once

// The folder browser: a dialog that lets the user choose an existing folder.
//
// Threads: the user-interface thread only.

#include <QString>

#include <memory>

class QFileDialog;
class QWidget;

namespace mireldo::ui {

/// Buffers shorter than this are refused at once (the platform's longest path).
inline constexpr int kMinFolderBufferSize = 260;

/// The folder the browser starts in: `initial` (its first 518 characters) or, when empty,
/// the current directory.
QString folderBrowserStart(const QString& initial);

/// A folder browser over `owner` with `title`, showing folders only and starting in
/// folderBrowserStart(initial); its OK button accepts only existing folders that are not links.
std::unique_ptr<QFileDialog> makeFolderBrowser(QWidget* owner, const QString& title,
                                               const QString& initial);

/// Shows the folder browser. `out` is cleared first; returns false at once when `bufferSize`
/// is below kMinFolderBufferSize, and when the user cancels. On OK `out` receives the folder
/// (at most bufferSize - 1 characters) and the result is true.
bool browseForFolder(QWidget* owner, const QString& title, const QString& initial, QString& out,
                     int bufferSize);

} // namespace mireldo::ui
