#pragma once

#include <QString>

namespace mireldo {

/// Title of the main window.
QString applicationTitle();

} // namespace mireldo
