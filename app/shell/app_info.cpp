#include "app_info.h"

namespace mireldo {

QString applicationTitle() {
    return QStringLiteral("Mireldo 5.0");
}

} // namespace mireldo
