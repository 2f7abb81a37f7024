// The console the program writes to (one implementation per platform).
#pragma once

enum class StandardStream { Out, Err };

// True when the stream is an interactive terminal (progress then rewrites one line).
bool IsTerminal(StandardStream stream);
// Prepares the console for UTF-8 output and in-place line updates.
void PrepareConsole();
