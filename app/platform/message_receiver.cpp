#include "message_receiver.h"

namespace mireldo::platform {

void MessageMap::onMessage(std::uint32_t msg, Handler handler) {
    if (handler) {
        handlers_[msg] = std::move(handler);
    } else {
        handlers_.erase(msg);
    }
}

bool MessageMap::dispatch(std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) const {
    const auto it = handlers_.find(msg);
    if (it == handlers_.end()) {
        return false;
    }
    // A copy, so a handler may replace or remove handlers (its own included) while it runs.
    const Handler handler = it->second;
    handler(wParam, lParam);
    return true;
}

} // namespace mireldo::platform
