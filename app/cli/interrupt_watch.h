#pragma once

// Turns SIGINT and SIGTERM into a call on the main thread: the signal handler only writes a
// byte to a pipe, which a socket notifier watches from the event loop.
//
// Threads: construct, use and destroy on the main thread; one instance at a time.

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace mireldo::cli {

class InterruptWatch {
  public:
    explicit InterruptWatch(std::function<void()> onInterrupt);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    /// True once a signal has arrived.
    bool interrupted() const { return interrupted_; }

  private:
    std::function<void()> onInterrupt_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool interrupted_ = false;
};

} // namespace mireldo::cli
