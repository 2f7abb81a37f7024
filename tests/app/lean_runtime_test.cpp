// The window programs' throw helpers: what the standard library throws still arrives as an
// exception that the window's callback guard catches, and the memory and cast errors keep
// their types.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <typeinfo>
#include <vector>

#include "ui/callback_guard.h"

namespace {

TEST(LeanRuntime, LibraryErrorsReachTheCallbackGuard) {
    const std::vector<std::pair<const char*, int (*)()>> throwing = {
        {"at past the end", [] { return static_cast<int>(std::string("E:").at(5)); }},
        {"substr past the end",
         [] { return static_cast<int>(std::string("E:").substr(9).size()); }},
        {"vector too long",
         [] {
             std::vector<int> v;
             v.reserve(v.max_size() + 1);
             return 0;
         }},
    };
    for (const auto& [what, handler] : throwing) {
        EXPECT_EQ(CallOrFallBack(handler, [] { return -1; }), -1) << what;
    }
}

TEST(LeanRuntime, MessagesAndTypesSurvive) {
    try {
        (void)std::string("E:").at(5);
        FAIL() << "no throw";
    } catch (const std::exception& error) {
        EXPECT_NE(std::string(error.what()), "");
    }
    EXPECT_THROW(std::__throw_bad_alloc(), std::bad_alloc);
    EXPECT_THROW(std::__throw_bad_cast(), std::bad_cast);
}

} // namespace
