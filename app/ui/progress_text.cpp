#include "progress_text.h"

#include "ui_strings.h"

#include <QElapsedTimer>

#include <limits>

namespace mireldo::ui {

namespace {

// The time of the last replacement of any progress text; "never" at start.
std::int64_t gLastChangeMs = std::numeric_limits<std::int64_t>::min();

} // namespace

int percentOf(std::int64_t position, std::int64_t lower, std::int64_t upper) {
    if (upper == lower) {
        return 0;
    }
    const std::int64_t percent = (position - lower) * 100 / (upper - lower);
    return static_cast<int>(percent == 100 ? 100 : percent % 100);
}

QString progressText(int percent, const ProgressEstimate& estimate) {
    if (estimate.total > 0) {
        const std::int64_t perSecond = estimate.perSecond > 0 ? estimate.perSecond : 1;
        std::int64_t seconds = (estimate.total - estimate.done) / perSecond;
        if (seconds < 0) {
            seconds = 0;
        }
        return QString::asprintf(uiString(kStrProgressTimeRemaining).toUtf8().constData(), percent,
                                 static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
    }
    return QString::asprintf("%d%c", percent, '%');
}

bool ProgressTextThrottle::shouldReplace(const QString& shown, const QString& text,
                                         std::int64_t nowMs) {
    if (text == shown) {
        return false;
    }
    if (gLastChangeMs != std::numeric_limits<std::int64_t>::min() && nowMs - gLastChangeMs < 300) {
        return false;
    }
    gLastChangeMs = nowMs;
    return true;
}

void ProgressTextThrottle::reset() {
    gLastChangeMs = std::numeric_limits<std::int64_t>::min();
}

std::int64_t ProgressTextThrottle::nowMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

} // namespace mireldo::ui
