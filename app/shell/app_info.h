#pragma once

#include <QString>
#include <QUrl>

namespace mireldo {

/// Title of the main window.
QString applicationTitle();

/// The online help page ("Online Help" in the recorder area).
QUrl helpPageUrl();

/// The online help page about recording devices (the "Device not listed?" link).
QUrl deviceHelpPageUrl();

} // namespace mireldo
