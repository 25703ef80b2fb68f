#include "rename_rules.h"

#include "text_compare.h"

namespace mireldo::ui {

bool hasForbiddenFileNameCharacter(const QString& name) {
    static const QString kForbidden = QStringLiteral("\\/:*?><|\"");
    for (const QChar c : name) {
        if (kForbidden.contains(c)) {
            return true;
        }
    }
    return false;
}

RenameResult applyRename(const QString& typed, const QString& extension) {
    const QString name = typed.trimmed();
    if (hasForbiddenFileNameCharacter(name)) {
        return {RenameResult::Status::ForbiddenCharacter, {}};
    }
    if (name.isEmpty()) {
        return {RenameResult::Status::Empty, {}};
    }
    // The extension counts as present only with at least one character before it
    // ("a.mp3" keeps its name; ".mp3" alone is a name, not an extension).
    const bool hasExtension = name.size() >= 5 && !extension.isEmpty() &&
                              platform::equalsIgnoreCase(QStringView(name).right(4), extension);
    return {RenameResult::Status::Ok, hasExtension ? name : name + extension};
}

QString emptyFileNameText() {
    return QStringLiteral("File name can not be empty!");
}

} // namespace mireldo::ui
