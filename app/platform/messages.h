#pragma once

// Messages between threads: a message (msg, wParam, lParam) is posted as an event to a
// receiver QObject and handled on the thread that receiver lives on, in the order posted.
//
// Receivers are addressed by a ReceiverHandle, never by pointer: a handle outlives its
// receiver safely, and a post to a receiver that is gone (or being destroyed on another
// thread at that very moment) returns false instead of touching freed memory. A handle is
// never reused for a later receiver.
//
// Threads: postMessage() may be called from any thread, including threads Qt did not start.
// Ownership: the posted event belongs to Qt's event queue; the receiver owns nothing of the
// poster.

#include <QEvent>

#include <cstdint>

class QObject;

namespace mireldo::platform {

/// First message id free for the program's own messages.
inline constexpr std::uint32_t WM_USER = 0x0400;
/// An output buffer has been played and is handed back to its owner.
inline constexpr std::uint32_t MM_WOM_DONE = 0x3BD;
/// A capture buffer has been filled and is handed to its owner.
inline constexpr std::uint32_t MM_WIM_DATA = 0x3C0;

/// Names one live receiver; 0 names none. Copyable, usable from any thread.
class ReceiverHandle {
  public:
    constexpr ReceiverHandle() = default;
    constexpr explicit ReceiverHandle(std::uint64_t id) : id_(id) {}

    constexpr std::uint64_t id() const { return id_; }
    constexpr bool isNull() const { return id_ == 0; }
    friend constexpr bool operator==(ReceiverHandle, ReceiverHandle) = default;

  private:
    std::uint64_t id_ = 0;
};

/// The event that carries one posted message.
class MessageEvent : public QEvent {
  public:
    MessageEvent(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);

    /// The QEvent type of every MessageEvent (registered once per process).
    static QEvent::Type eventType();

    std::uint32_t msg() const { return msg_; }
    std::uintptr_t wParam() const { return wParam_; }
    std::intptr_t lParam() const { return lParam_; }

  private:
    std::uint32_t msg_;
    std::uintptr_t wParam_;
    std::intptr_t lParam_;
};

/// Queues (msg, wParam, lParam) for the receiver named by `to`, to be handled on its thread.
/// Returns false, posting nothing, when `to` is null or its receiver has been destroyed
/// or has stopped receiving. Any thread.
bool postMessage(ReceiverHandle to, std::uint32_t msg, std::uintptr_t wParam = 0,
                 std::intptr_t lParam = 0);

/// Registers `object` as a receiver and returns its new handle. The caller must call
/// unregisterReceiver() before `object` is destroyed (MessageReceiverBase does both).
/// Any thread.
ReceiverHandle registerReceiver(QObject* object);

/// Makes later posts to `handle` fail. When it returns, no post to `handle` is in progress,
/// so the object may be destroyed. Idempotent. Any thread.
void unregisterReceiver(ReceiverHandle handle);

/// True while `handle` names a registered receiver. Any thread; the answer can change at once.
bool isReceiverAlive(ReceiverHandle handle);

} // namespace mireldo::platform
