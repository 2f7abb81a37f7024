#include "cli/interrupt.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

#include "cli/cli_options.h"

namespace {

std::atomic<bool> g_interruptRequested{false};
std::atomic<bool> g_interruptEndsProgram{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs lock-free flags");

extern "C" void OnInterrupt(int) {
    // At a question, or a second time (a command that cannot be cut short is under way):
    // there is nothing left to wait for.
    if (g_interruptEndsProgram.load() || g_interruptRequested.load()) {
        std::_Exit(exit_code::kInterrupted);
    }
    g_interruptRequested.store(true);
    // Some platforms reset the handler once it ran.
    std::signal(SIGINT, OnInterrupt);
}

} // namespace

void InstallInterruptHandler() {
    std::signal(SIGINT, OnInterrupt);
}

bool InterruptRequested() {
    return g_interruptRequested.load();
}

const std::atomic<bool>& InterruptFlag() {
    return g_interruptRequested;
}

void SetInterruptRequested(bool requested) {
    g_interruptRequested.store(requested);
}

InterruptEndsProgram::InterruptEndsProgram() {
    g_interruptEndsProgram.store(true);
}

InterruptEndsProgram::~InterruptEndsProgram() {
    g_interruptEndsProgram.store(false);
}
