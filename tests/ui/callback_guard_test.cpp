// The rule at every system callback: a handler that throws yields the fallback's result.
#include "ui/callback_guard.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

namespace {

TEST(CallbackGuard, AThrowingHandlerGivesTheFallbacksResultAndNothingEscapes) {
    struct Case {
        const char* name;
        std::function<long()> handler;
        std::function<long()> fallback;
        long expected;
        int fallbackRuns;
    };
    const Case cases[] = {
        {"handled", [] { return 1L; }, [] { return 2L; }, 1, 0},
        {"bad_alloc", []() -> long { throw std::bad_alloc(); }, [] { return 2L; }, 2, 1},
        {"runtime_error", []() -> long { throw std::runtime_error("x"); }, [] { return 2L; }, 2, 1},
        {"not an exception class", []() -> long { throw 7; }, [] { return 2L; }, 2, 1},
        {"the fallback throws too", []() -> long { throw 7; },
         []() -> long { throw std::string("y"); }, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int fallbackRuns = 0;
        const long result = CallOrFallBack(c.handler, [&] {
            ++fallbackRuns;
            return c.fallback();
        });
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(fallbackRuns, c.fallbackRuns);
    }
    static_assert(noexcept(CallOrFallBack([] { return 0; }, [] { return 0; })));
}

} // namespace
