#pragma once

// The rules of the link labels: the address a label opens and the texts shown when opening
// fails, by the error code of the opener (the shell's codes: 0 and 2..32).
//
// Threads: any thread; pure functions.

#include <QString>

namespace mireldo::ui {

/// "mailto:" + target when the target is not a web address, else the target unchanged.
QString linkAddress(const QString& target, bool isWebAddress);

/// The text for the opener's error `code` ("Unknown Error (%d) occurred." for codes it does
/// not know).
QString openErrorText(int code);

/// "Unable to open hyperlink:\n\n" followed by openErrorText(code).
QString openErrorMessage(int code);

/// The opener's codes this program produces itself.
inline constexpr int kOpenFileNotFound = 2;
inline constexpr int kOpenNoAssociation = 31;

} // namespace mireldo::ui
