#include "messages.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>

#include <memory>
#include <mutex>
#include <unordered_map>

namespace mireldo::platform {

namespace {

// Live receivers by handle id. The post happens while the lock is held, so a receiver
// cannot finish unregistering (and then be destroyed) between the look-up and the post.
// Lock order: this mutex, then Qt's post-event lock inside postEvent(); unregistering takes
// only this mutex, so the two never wait on each other in the opposite order.
struct Registry {
    std::mutex mutex;
    std::unordered_map<std::uint64_t, QObject*> receivers;
    std::uint64_t nextId = 1;
};

// Never destroyed, so receivers that outlive static destruction can still unregister.
Registry& registry() {
    static Registry* const instance = new Registry;
    return *instance;
}

} // namespace

MessageEvent::MessageEvent(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam)
    : QEvent(eventType()), msg_(msg), wParam_(wParam), lParam_(lParam) {}

MessageEvent::MessageEvent(std::uint32_t msg, MessagePayload payload)
    : QEvent(eventType()), msg_(msg), payload_(std::move(payload)) {}

QEvent::Type MessageEvent::eventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool postMessageEvent(ReceiverHandle to, std::unique_ptr<MessageEvent>& event) {
    if (to.isNull() || !event) {
        return false;
    }
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    const auto it = reg.receivers.find(to.id());
    if (it == reg.receivers.end()) {
        return false;
    }
    QCoreApplication::postEvent(it->second, event.release());
    return true;
}

bool postMessage(ReceiverHandle to, std::uint32_t msg, std::uintptr_t wParam,
                 std::intptr_t lParam) {
    if (to.isNull()) {
        return false;
    }
    auto event = std::make_unique<MessageEvent>(msg, wParam, lParam);
    // A refused event is destroyed here, after the registry's lock is released.
    return postMessageEvent(to, event);
}

bool sendMessage(ReceiverHandle to, std::uint32_t msg, std::uintptr_t wParam,
                 std::intptr_t lParam) {
    if (to.isNull()) {
        return false;
    }
    QObject* target = nullptr;
    {
        Registry& reg = registry();
        std::lock_guard lock(reg.mutex);
        const auto it = reg.receivers.find(to.id());
        if (it == reg.receivers.end()) {
            return false;
        }
        if (it->second->thread() != QThread::currentThread()) {
            QCoreApplication::postEvent(it->second, new MessageEvent(msg, wParam, lParam));
            return true;
        }
        target = it->second;
    }
    // The receiver lives on this thread, so nothing else can destroy it before the event is
    // handled; the lock is released first, because the handler may post or send messages.
    MessageEvent event(msg, wParam, lParam);
    QCoreApplication::sendEvent(target, &event);
    return true;
}

ReceiverHandle registerReceiver(QObject* object) {
    if (object == nullptr) {
        return {};
    }
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    const std::uint64_t id = reg.nextId++;
    reg.receivers.emplace(id, object);
    return ReceiverHandle(id);
}

void unregisterReceiver(ReceiverHandle handle) {
    if (handle.isNull()) {
        return;
    }
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    reg.receivers.erase(handle.id());
}

bool isReceiverAlive(ReceiverHandle handle) {
    if (handle.isNull()) {
        return false;
    }
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    return reg.receivers.count(handle.id()) != 0;
}

} // namespace mireldo::platform
