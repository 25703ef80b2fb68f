#include "app_info.h"

namespace mireldo {

QString applicationTitle() {
    return QStringLiteral("Mireldo 5.0");
}

QUrl helpPageUrl() {
    return QUrl(QStringLiteral("https://mireldo.tarnwick.example/help/"));
}

QUrl deviceHelpPageUrl() {
    return QUrl(QStringLiteral("https://mireldo.tarnwick.example/help/recording-devices.html"));
}

} // namespace mireldo
