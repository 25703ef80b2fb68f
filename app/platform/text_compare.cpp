#include "text_compare.h"

#include <algorithm>

namespace mireldo::platform {

QString asciiToLower(QStringView text) {
    QString out(text.size(), Qt::Uninitialized);
    std::transform(text.begin(), text.end(), out.begin(),
                   [](QChar c) { return QChar(asciiToLower(c.unicode())); });
    return out;
}

int compareIgnoreCase(QStringView a, QStringView b) {
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t ca = asciiToLower(a[i].unicode());
        const char16_t cb = asciiToLower(b[i].unicode());
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

bool equalsIgnoreCase(QStringView a, QStringView b) {
    return a.size() == b.size() && compareIgnoreCase(a, b) == 0;
}

bool endsWithIgnoreCase(QStringView text, QStringView suffix) {
    return suffix.size() <= text.size() && equalsIgnoreCase(text.right(suffix.size()), suffix);
}

QStringView extensionOf(QStringView path) {
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot < 0 ? QStringView() : path.mid(dot);
}

} // namespace mireldo::platform
