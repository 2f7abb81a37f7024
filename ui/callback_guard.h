// The rule at every place where the system calls into the program (window and dialog
// procedures, the entry point): no C++ exception may travel on through the system's own
// frames, which cannot unwind it. A handler that throws counts as not having handled its
// message, and the system's default processing runs instead, so the message is not lost.
#pragma once

#include <type_traits>

// Returns `handler()`, or `fallback()` when the handler throws; a fallback that throws as
// well gives a value-initialised result. Nothing escapes.
template <class Handler, class Fallback>
auto CallOrFallBack(Handler&& handler, Fallback&& fallback) noexcept
    -> std::invoke_result_t<Handler&> {
    try {
        return handler();
    } catch (...) {
        // Not handled: the default below takes the message.
    }
    try {
        return fallback();
    } catch (...) {
        return {};
    }
}
