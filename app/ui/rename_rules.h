#pragma once

// The rule of the "Rename a File" dialog: what the user typed becomes the new file name, or
// the reason it is refused.
//
// Threads: any thread; pure functions.

#include <QString>

namespace mireldo::ui {

struct RenameResult {
    enum class Status { Ok, ForbiddenCharacter, Empty };
    Status status = Status::Ok;
    QString name; ///< the new name with the extension, when Ok
};

/// True when `name` holds any of \ / : * ? > < | or a double quote.
bool hasForbiddenFileNameCharacter(const QString& name);

/// Trims `typed`; refuses it when it holds a forbidden character or is empty; otherwise
/// appends `extension` (".mp3") unless the name is at least 5 characters long and its last
/// 4 characters equal the extension, letter case ignored.
RenameResult applyRename(const QString& typed, const QString& extension);

/// The text shown for an empty name.
QString emptyFileNameText();

} // namespace mireldo::ui
