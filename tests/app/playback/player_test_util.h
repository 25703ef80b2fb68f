#pragma once

// Helpers of the player tests: the process's QCoreApplication, an event pump, a receiver that
// records position notifications, and WAV fixtures played through Sondrel. The PCM, WAV and
// environment helpers the device tests share live in tests/support.

#include "message_receiver.h"
#include "sondrel.h"
#include "test_support.h"

#include <QCoreApplication>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace playertest {

/// The process's QCoreApplication, made on first use (main thread).
QCoreApplication& coreApp();

/// Handles events on this thread until `done` holds or `timeoutMs` passes; returns done().
bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 10000);
/// Handles events on this thread for `ms` milliseconds.
void pumpFor(int ms);

/// One position notification.
struct Report {
    std::uint32_t position;
    bool end;
};

/// Records the notify message of a player (main thread).
class ReportLog : public mireldo::platform::MessageReceiver {
  public:
    static constexpr std::uint32_t kMessage = mireldo::platform::WM_USER + 100;
    ReportLog();
    std::vector<Report> reports;
    int ends() const;
};

using testsupport::ScopedEnv;
using testsupport::testPcm;
using testsupport::wavPayload;

/// A Sondrel stream on a file, closed on destruction.
class Stream {
  public:
    explicit Stream(const std::string& path);
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    SondrelStream* handle() const { return handle_; }
    const WAVEFORMATEX& format() const { return *format_; }
    std::uint32_t length() const { return length_; }

  private:
    SondrelStream* handle_ = nullptr;
    WAVEFORMATEX* format_ = nullptr;
    std::uint32_t length_ = 0;
};

} // namespace playertest
