#pragma once
// Event handlers run their bodies through swallowErrors: an unexpected failure in a handler must never
// show a box or end the program; the handler simply stops and the program goes on.

#include <utility>

namespace zelq {

template <typename Fn>
bool swallowErrors(Fn&& body) noexcept {
    try {
        std::forward<Fn>(body)();
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace zelq
