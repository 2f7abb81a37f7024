// The window program catches no C++ exception: whatever is thrown in it ends the process.
// These definitions stand in for the standard library's throw helpers and its verbose
// terminate handler, so that the linker leaves out what those would bring for a message
// that a window program without a console never shows: the library's exception classes
// with a second (copy-on-write) string, the symbol demangler and a printf engine. The
// process still ends at the same point, with the same abnormal exit.
#include <bits/functexcept.h>

#include <cstdlib>
#include <exception>

namespace {
[[noreturn]] void EndProcess() {
    std::abort();
}
} // namespace

namespace std {
void __throw_bad_exception() {
    EndProcess();
}
void __throw_bad_alloc() {
    EndProcess();
}
void __throw_bad_array_new_length() {
    EndProcess();
}
void __throw_bad_cast() {
    EndProcess();
}
void __throw_bad_typeid() {
    EndProcess();
}
void __throw_logic_error(const char*) {
    EndProcess();
}
void __throw_domain_error(const char*) {
    EndProcess();
}
void __throw_invalid_argument(const char*) {
    EndProcess();
}
void __throw_length_error(const char*) {
    EndProcess();
}
void __throw_out_of_range(const char*) {
    EndProcess();
}
void __throw_out_of_range_fmt(const char*, ...) {
    EndProcess();
}
void __throw_runtime_error(const char*) {
    EndProcess();
}
void __throw_range_error(const char*) {
    EndProcess();
}
void __throw_overflow_error(const char*) {
    EndProcess();
}
void __throw_underflow_error(const char*) {
    EndProcess();
}
} // namespace std

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    EndProcess();
}
} // namespace __gnu_cxx
