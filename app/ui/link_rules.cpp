#include "link_rules.h"

namespace mireldo::ui {

QString linkAddress(const QString& target, bool isWebAddress) {
    return isWebAddress ? target : QStringLiteral("mailto:") + target;
}

QString openErrorText(int code) {
    // Only the codes openAddressWithDesktop() produces have texts of their own.
    switch (code) {
    case kOpenFileNotFound:
        return QStringLiteral("The specified file was not found.");
    case kOpenNoAssociation:
        return QStringLiteral("There is no application associated\nwith the given filename "
                              "extension.");
    default:
        return QStringLiteral("Unknown Error (%1) occurred.").arg(code);
    }
}

QString openErrorMessage(int code) {
    return QStringLiteral("Unable to open hyperlink:\n\n") + openErrorText(code);
}

} // namespace mireldo::ui
