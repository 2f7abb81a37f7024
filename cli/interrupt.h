// Ctrl-C: the handler only notes the request; the terminal window acts on it in its
// message pump, on the operations' own thread, as the dialog acts on being closed.
#pragma once

#include <atomic>

// Installs the SIGINT handler.
void InstallInterruptHandler();
// True once Ctrl-C was pressed.
bool InterruptRequested();
// The flag itself, for the waits that end early on Ctrl-C (the clock, the virtual drive).
const std::atomic<bool>& InterruptFlag();
// For the tests: as if Ctrl-C had been pressed (or not).
void SetInterruptRequested(bool requested);

// While one exists (a question waits for its answer), Ctrl-C ends the program at once
// with exit code 130: there is nothing to stop on the drive yet.
class InterruptEndsProgram {
  public:
    InterruptEndsProgram();
    ~InterruptEndsProgram();
    InterruptEndsProgram(const InterruptEndsProgram&) = delete;
    InterruptEndsProgram& operator=(const InterruptEndsProgram&) = delete;
};
