#pragma once

// The text rules of the "Progress" dialog: the percent shown for a position in a range, the
// text with or without a time estimate, and the one timestamp all progress dialogs share so
// that their text changes at most every 300 ms.
//
// Threads: percentOf() and progressText() from any thread; ProgressTextThrottle on the
// user-interface thread only.

#include <QString>

#include <cstdint>

namespace mireldo::ui {

/// (position - lower) * 100 / (upper - lower), integer; a result other than 100 is taken
/// modulo 100. An empty range (upper equal to lower) gives 0.
int percentOf(std::int64_t position, std::int64_t lower, std::int64_t upper);

/// The time estimate: the total amount, the amount done and the amount per second.
struct ProgressEstimate {
    std::int64_t total = 0;
    std::int64_t done = 0;
    std::int64_t perSecond = 100;
};

/// "%d%% done, time remaining: %02d mins %02d secs" when the total is above 0, else "%d%".
QString progressText(int percent, const ProgressEstimate& estimate);

/// The 300 ms rule over one timestamp shared by every progress dialog of the process.
class ProgressTextThrottle {
  public:
    /// True when `text` differs from `shown` and 300 ms have passed since the last change of
    /// any progress text (then `nowMs` becomes that last change). `nowMs`: a monotonic clock.
    static bool shouldReplace(const QString& shown, const QString& text, std::int64_t nowMs);
    /// Forgets the last change (tests, or a fresh start).
    static void reset();
    /// A monotonic clock in milliseconds.
    static std::int64_t nowMs();
};

} // namespace mireldo::ui
