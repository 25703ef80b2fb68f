#pragma once

// Message maps: a receiver registers one handler per message id and posted messages are
// dispatched to them on the receiver's own thread. An id without a handler is ignored.
//
// MessageReceiverBase<QBase> adds a message map and a ReceiverHandle to any QObject class,
// so a dialog can be a receiver as well as a plain object:
//     class PlayerWindow : public MessageReceiverBase<QObject> { ... };
//     onMessage(WM_USER + 19, [this](std::uintptr_t w, std::intptr_t l) { ... });
//     onMessage<WaveBufferDone>(MM_WOM_DONE, [this](const WaveBufferDone& done) { ... });
// A message's handler is either plain (the two integers) or typed (one payload type). A
// message that does not match its handler (a payload of another type, a payload for a plain
// handler, none for a typed one) is a programming error: an assert in debug builds, and
// otherwise it is dropped without running the handler.
//
// Threads: onMessage(), stopReceiving() and the handlers run on the thread the receiver
// lives on (its owner thread); handle() and postMessage(handle(), ...) from any thread.
// Ownership: the receiver owns its handlers and whatever they capture.

#include "messages.h"

#include <QCoreApplication>
#include <QObject>

#include <cstdint>
#include <functional>
#include <type_traits>
#include <unordered_map>
#include <utility>

namespace mireldo::platform {

/// Handlers by message id. Owner thread only.
class MessageMap {
  public:
    using Handler = std::function<void(std::uintptr_t wParam, std::intptr_t lParam)>;
    template <typename Payload>
    using TypedHandler = std::function<void(Payload& payload)>;

    /// Sets the plain handler of `msg`, replacing any earlier one; an empty handler removes it.
    void onMessage(std::uint32_t msg, Handler handler);
    /// Sets the handler of `msg` for messages carrying a `Payload`, replacing any earlier one;
    /// an empty handler removes it.
    template <typename Payload>
    void onMessage(std::uint32_t msg, TypedHandler<Payload> handler) {
        if (!handler) {
            onMessage(msg, Handler());
            return;
        }
        handlers_[msg] = [h = std::move(handler), msg](MessageEvent& e) {
            Payload* payload = e.payload().get<Payload>();
            if (payload == nullptr) {
                wrongPayload(msg);
                return false;
            }
            h(*payload);
            return true;
        };
    }
    /// Runs the handler of `msg` with two plain numbers; false (and nothing runs) when there is
    /// none or it takes a payload.
    bool dispatch(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) const;
    /// Runs the handler of `event`'s message; false (and nothing runs) when there is none or
    /// the event does not match it.
    bool dispatch(MessageEvent& event) const;
    /// True when `msg` has a handler.
    bool handles(std::uint32_t msg) const { return handlers_.count(msg) != 0; }

  private:
    // True when the handler ran.
    using Entry = std::function<bool(MessageEvent& event)>;

    /// A message that does not fit its handler: asserts in debug builds.
    static void wrongPayload(std::uint32_t msg);

    std::unordered_map<std::uint32_t, Entry> handlers_;
};

/// A QObject-derived receiver of posted messages with its own message map.
template <typename QBase>
class MessageReceiverBase : public QBase {
  public:
    /// Passes its arguments to QBase (for example the parent) and registers the receiver.
    template <typename... Args>
    requires std::is_constructible_v<QBase, Args...>
    explicit MessageReceiverBase(Args&&... args)
        : QBase(std::forward<Args>(args)...), handle_(registerReceiver(this)) {}

    /// Unregisters first, so no post can reach the object once QBase's destructor runs.
    ~MessageReceiverBase() override { unregisterReceiver(handle_); }

    MessageReceiverBase(const MessageReceiverBase&) = delete;
    MessageReceiverBase(MessageReceiverBase&&) = delete;
    MessageReceiverBase& operator=(const MessageReceiverBase&) = delete;
    MessageReceiverBase& operator=(MessageReceiverBase&&) = delete;

    /// The handle posters use; stays valid (but fails posts) after this object is gone.
    ReceiverHandle handle() const { return handle_; }

    /// Makes later posts fail and drops messages already queued. For a subclass whose
    /// destructor must stop messages before it tears its own members down. Owner thread.
    void stopReceiving() {
        unregisterReceiver(handle_);
        QCoreApplication::removePostedEvents(this, MessageEvent::eventType());
    }

  protected:
    /// Sets the handler of `msg` (see MessageMap::onMessage). Owner thread.
    void onMessage(std::uint32_t msg, MessageMap::Handler handler) {
        map_.onMessage(msg, std::move(handler));
    }
    /// Sets the handler of `msg` for messages carrying a `Payload`. Owner thread.
    template <typename Payload>
    void onMessage(std::uint32_t msg, MessageMap::TypedHandler<Payload> handler) {
        map_.onMessage<Payload>(msg, std::move(handler));
    }

    bool event(QEvent* e) override {
        if (e->type() == MessageEvent::eventType()) {
            map_.dispatch(*static_cast<MessageEvent*>(e));
            return true;
        }
        return QBase::event(e);
    }

  private:
    MessageMap map_;
    ReceiverHandle handle_;
};

/// A plain QObject receiver, for objects that live on a worker thread.
using MessageReceiver = MessageReceiverBase<QObject>;

} // namespace mireldo::platform
