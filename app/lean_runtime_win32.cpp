// The window programs' own throw helpers for the standard library, in place of the
// library's: its helpers build the logic and runtime error classes, which bring a second
// (copy-on-write) string implementation, and its verbose terminate handler brings the
// symbol demangler and a printf engine for a message on a console that a window program
// does not have. Together over 100 KB of code.
//
// Every throw still throws, so the window's callback guard (ui/callback_guard.h) still
// catches it and leaves the message to the default processing. The memory and cast errors
// keep their own types; the logic and runtime errors (out_of_range, length_error, ...)
// arrive as LibraryError, a std::exception with the library's message: nothing in the
// window programs catches them by their own type (a handler that needs to must catch
// std::exception). Only the window executables link this file, never the tests.
#include <bits/functexcept.h>

#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

namespace {

class LibraryError final : public std::exception {
  public:
    explicit LibraryError(const char* message) noexcept : m_message(message) {}
    const char* what() const noexcept override { return m_message; }

  private:
    const char* m_message; // the library passes string literals
};

} // namespace

namespace std {
void __throw_bad_exception() {
    throw std::bad_exception();
}
void __throw_bad_alloc() {
    throw std::bad_alloc();
}
void __throw_bad_array_new_length() {
    throw std::bad_array_new_length();
}
void __throw_bad_cast() {
    throw std::bad_cast();
}
void __throw_bad_typeid() {
    throw std::bad_typeid();
}
void __throw_logic_error(const char* message) {
    throw LibraryError(message);
}
void __throw_domain_error(const char* message) {
    throw LibraryError(message);
}
void __throw_invalid_argument(const char* message) {
    throw LibraryError(message);
}
void __throw_length_error(const char* message) {
    throw LibraryError(message);
}
void __throw_out_of_range(const char* message) {
    throw LibraryError(message);
}
void __throw_out_of_range_fmt(const char* format, ...) {
    throw LibraryError(format);
}
void __throw_runtime_error(const char* message) {
    throw LibraryError(message);
}
void __throw_range_error(const char* message) {
    throw LibraryError(message);
}
void __throw_overflow_error(const char* message) {
    throw LibraryError(message);
}
void __throw_underflow_error(const char* message) {
    throw LibraryError(message);
}
} // namespace std

namespace __gnu_cxx {
// Terminate ends the process as the library's handler does, without its message.
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx
