#include "converter_session.h"

namespace mireldo::converter {

RememberedFolders& rememberedFolders() {
    static RememberedFolders folders;
    return folders;
}

void forgetRememberedFolders() {
    rememberedFolders() = RememberedFolders{};
}

QString destinationFromSaveChoice(const QString& path) {
    const qsizetype dot = path.lastIndexOf(u'.');
    // A dot inside a folder name is no extension.
    if (dot >= 0 && path.size() - dot - 1 == 3 && path.indexOf(u'/', dot) < 0) {
        return path.left(dot);
    }
    return path;
}

bool holdsSource(const QStringList& sources, const QString& path) {
    for (const QString& source : sources) {
        if (source.compare(path, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace mireldo::converter
