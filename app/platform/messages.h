#pragma once

// Messages between threads: a message (msg, wParam, lParam) is posted as an event to a
// receiver QObject and handled on the thread that receiver lives on, in the order posted.
// wParam and lParam carry plain numbers only (a position, a code, a count); a message that
// refers to an object carries a typed payload instead (postMessage(to, msg, Payload{...}),
// received with MessageMap::onMessage<Payload>), posted and ordered like any other message.
//
// Receivers are addressed by a ReceiverHandle, never by pointer: a handle outlives its
// receiver safely, and a post to a receiver that is gone (or being destroyed on another
// thread at that very moment) returns false instead of touching freed memory. A handle is
// never reused for a later receiver.
//
// Threads: postMessage() may be called from any thread, including threads Qt did not start.
// Ownership: the posted event, payload included, belongs to Qt's event queue; the receiver
// owns nothing of the poster. A payload is destroyed exactly once: on the receiver's thread
// after its handler ran (or when a queued message is dropped), or on the poster's thread,
// before postMessage() returns false, when it could not be posted.

#include <QEvent>

#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

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

/// A typed value carried by a message; empty for a message of two plain numbers. Move-only,
/// so a payload may own what it carries (a unique_ptr, a shared_ptr that keeps a buffer
/// alive). Used by one thread at a time: the poster's, then the receiver's.
class MessagePayload {
  public:
    MessagePayload() = default;

    /// A payload holding `value`.
    template <typename T>
    static MessagePayload of(T&& value) {
        MessagePayload p;
        p.holder_ = std::make_unique<Holder<std::remove_cvref_t<T>>>(std::forward<T>(value));
        return p;
    }

    bool empty() const { return holder_ == nullptr; }
    /// The value when it is a T; null when the payload is empty or of another type.
    template <typename T>
    T* get() {
        auto* holder = dynamic_cast<Holder<T>*>(holder_.get());
        return holder == nullptr ? nullptr : &holder->value;
    }

  private:
    struct Base {
        virtual ~Base() = default;
    };
    template <typename T>
    struct Holder final : Base {
        template <typename U>
        explicit Holder(U&& v) : value(std::forward<U>(v)) {}
        T value;
    };

    std::unique_ptr<Base> holder_;
};

/// The event that carries one posted message.
class MessageEvent : public QEvent {
  public:
    MessageEvent(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam);
    /// A message whose content is `payload` (wParam and lParam are 0).
    MessageEvent(std::uint32_t msg, MessagePayload payload);

    /// The QEvent type of every MessageEvent (registered once per process).
    static QEvent::Type eventType();

    std::uint32_t msg() const { return msg_; }
    std::uintptr_t wParam() const { return wParam_; }
    std::intptr_t lParam() const { return lParam_; }
    MessagePayload& payload() { return payload_; }

  private:
    std::uint32_t msg_;
    std::uintptr_t wParam_ = 0;
    std::intptr_t lParam_ = 0;
    MessagePayload payload_;
};

/// Queues (msg, wParam, lParam) for the receiver named by `to`, to be handled on its thread.
/// Returns false, posting nothing, when `to` is null or its receiver has been destroyed
/// or has stopped receiving. Any thread.
bool postMessage(ReceiverHandle to, std::uint32_t msg, std::uintptr_t wParam = 0,
                 std::intptr_t lParam = 0);

/// Queues `event` for the receiver named by `to`. On success the event belongs to Qt's queue
/// and `event` is left empty; on failure (as postMessage()) `event` is left as it was, so
/// the caller destroys it outside the registry's lock. Any thread.
bool postMessageEvent(ReceiverHandle to, std::unique_ptr<MessageEvent>& event);

/// Queues `msg` carrying `payload` (a struct declared beside the message id), in order with
/// the other messages to the same receiver. On failure the payload is destroyed before this
/// returns false. The receiver's handler must be registered for that payload type
/// (MessageMap::onMessage<Payload>). Any thread.
template <typename Payload>
requires std::is_class_v<std::remove_cvref_t<Payload>>
bool postMessage(ReceiverHandle to, std::uint32_t msg, Payload&& payload) {
    // Taken even when `to` is null, so a refused payload always goes the same way.
    auto event =
        std::make_unique<MessageEvent>(msg, MessagePayload::of(std::forward<Payload>(payload)));
    return postMessageEvent(to, event);
}

/// Runs the handler of `msg` at once when the receiver named by `to` lives on the calling
/// thread, and returns after it ran; a receiver on another thread gets the message posted
/// instead. False, running nothing, when `to` is null or names no live receiver. Any thread.
bool sendMessage(ReceiverHandle to, std::uint32_t msg, std::uintptr_t wParam = 0,
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
