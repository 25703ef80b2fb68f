#pragma once

#include <QString>

#include <cassert>
#include <utility>
#include <variant>

namespace mireldo::platform {

/// Why a platform operation failed: the errno value (or the closest one) and a sentence
/// naming the path involved, for logs and tests; user-visible texts come from the string table.
struct PlatformError {
    int code = 0;
    QString message;
};

/// A value or the error that prevented it. Plain value type; no thread affinity.
template <typename T>
class Result {
  public:
    Result(T value) : state_(std::move(value)) {}             // NOLINT: implicit by design
    Result(PlatformError error) : state_(std::move(error)) {} // NOLINT: implicit by design

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    /// The value; only valid when ok().
    T& value() & {
        assert(ok());
        return std::get<0>(state_);
    }
    const T& value() const& {
        assert(ok());
        return std::get<0>(state_);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(state_));
    }

    /// The error; only valid when !ok().
    const PlatformError& error() const {
        assert(!ok());
        return std::get<1>(state_);
    }

  private:
    std::variant<T, PlatformError> state_;
};

} // namespace mireldo::platform
