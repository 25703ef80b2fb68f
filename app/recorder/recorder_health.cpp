#include "recorder_health.h"

#include "string_table.h"

#include <QStringList>

namespace mireldo::recorder {

QString hoursAndMinutes(std::uint64_t seconds) {
    const std::uint64_t minutes = seconds / 60;
    return QStringLiteral("%1:%2").arg(minutes / 60).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString healthText(const RecorderHealth& health) {
    QStringList parts;
    if (health.deviceLost) {
        parts << loadString(kStrDeviceLost);
    } else if (health.secondsLeft) {
        parts << loadString(kStrTimeLeft).arg(hoursAndMinutes(*health.secondsLeft));
    }
    if (health.overruns != 0) {
        parts << loadString(kStrOverruns).arg(health.overruns);
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace mireldo::recorder
