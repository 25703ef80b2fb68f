#include "message_receiver.h"

#include <cassert>

namespace mireldo::platform {

void MessageMap::onMessage(std::uint32_t msg, Handler handler) {
    if (!handler) {
        handlers_.erase(msg);
        return;
    }
    handlers_[msg] = [h = std::move(handler), msg](MessageEvent& e) {
        if (!e.payload().empty()) {
            wrongPayload(msg);
            return false;
        }
        h(e.wParam(), e.lParam());
        return true;
    };
}

bool MessageMap::dispatch(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) const {
    MessageEvent event(msg, wParam, lParam);
    return dispatch(event);
}

bool MessageMap::dispatch(MessageEvent& event) const {
    const auto it = handlers_.find(event.msg());
    if (it == handlers_.end()) {
        return false;
    }
    // A copy, so a handler may replace or remove handlers (its own included) while it runs.
    const Entry entry = it->second;
    return entry(event);
}

void MessageMap::wrongPayload([[maybe_unused]] std::uint32_t msg) {
    assert(false && "a message does not carry the payload its handler takes");
}

} // namespace mireldo::platform
