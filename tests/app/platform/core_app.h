#pragma once

#include <QCoreApplication>

#include <functional>

namespace platformtest {

/// The process's QCoreApplication, made on first use (from the main thread).
QCoreApplication& coreApp();

/// Processes events on the calling thread until `done` holds or `timeoutMs` passes.
/// Returns `done()` at the end.
bool processEventsUntil(const std::function<bool()>& done, int timeoutMs = 5000);

} // namespace platformtest
